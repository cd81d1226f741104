// Makes every system call of a rescue's resume fail in turn: the resume reads the older image,
// then replaces it at every checkpoint, and whatever fails, the image at the path must stay
// whole. Here the older image already holds every sector, so the only right image is that one.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/handle.h"
#include "platform/syscalls.h"
#include "tests/engine/job_harness.h"

namespace {

class RescueSweep : public JobTest {
  protected:
    // Resumes with the nth system call failing (n < 0: none); returns the calls the job made.
    int ResumeWithFault(int n, int code) {
        NewWindow();
        job->m_rescueResume = 1;
        job->m_sectorMap = map;
        // Without retries a failed read of a sector leaves it unread.
        job->m_rescueRetries = 0;
        int calls = 0;
        platform::ScopedFaultHook hook(
            [&](platform::SysCall, const char*) { return calls++ == n ? code : 0; });
        EXPECT_TRUE(Run(Rescue, drive, image, 1));
        return calls;
    }

    void ExpectClean(int n) {
        SCOPED_TRACE("fault at call " + std::to_string(n));
        EXPECT_EQ(window->doneCount, 1);
        EXPECT_LE(window->boxes.size(), 1u);
        // A failure after a checkpoint keeps what that checkpoint wrote.
        if (job->m_result == JobDone) {
            EXPECT_TRUE(job->m_rescueWritten);
        }
        EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
        int fd = ::open(drive.c_str(), O_RDONLY);
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the drive was left locked";
        ::close(fd);
        EXPECT_TRUE(ReadFileBytes(image) == imageBytes) << "the image at the path changed";
        job.reset();
        EXPECT_EQ(OpenDescriptorCount(), fdsBefore);
        EXPECT_EQ(platform::LiveHandleCount(), 0);
        job = std::make_unique<CDiskJob>(window.get());
    }

    std::string drive, image, imageBytes;
    SectorMap map;
};

TEST_F(RescueSweep, EveryCallFailingInTurnLeavesTheImageWhole) {
    drive = Floppy(k360);
    image = dir / "disk.tvl";
    ASSERT_TRUE(Run(Rescue, drive, image, 1));
    ASSERT_EQ(job->m_result, JobDone);
    imageBytes = ReadFileBytes(image);
    // Two sectors left to read again, in different sides.
    map = job->m_sectorMap;
    map.states[7] = SectorBad;
    map.states[400] = SectorNonTried;
    job.reset();
    fdsBefore = OpenDescriptorCount();
    job = std::make_unique<CDiskJob>(window.get());

    const int total = ResumeWithFault(-1, 0);
    ASSERT_EQ(job->m_result, JobDone);
    EXPECT_EQ(job->m_sectorMap.Count(SectorFinished), map.sectors);
    ExpectClean(-1);
    ASSERT_GT(total, 80);
    for (int n = 0; n < total; ++n) {
        ResumeWithFault(n, n % 3 == 0 ? EIO : (n % 3 == 1 ? ENOSPC : EACCES));
        ExpectClean(n);
        if (HasFailure()) break;
    }
    RecordProperty("faults_injected", total);
}

}  // namespace
