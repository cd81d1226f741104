// Makes every system call of a job fail in turn, at every point of compress, expand and
// verify, and checks that the job still ends cleanly each time: one end notice, at most one
// message, no descriptor or handle left open, the drive unlocked, no temporary file left, and
// the image at the path either the older one or the complete new one.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/handle.h"
#include "platform/syscalls.h"
#include "tests/engine/job_harness.h"

namespace {

std::string OperationName(int operation) {
    static const char* const names[] = {"Compress", "Expand", "Verify"};
    return names[operation];
}

struct SweepCase {
    int operation;
    int compress;
};

void PrintTo(const SweepCase& c, std::ostream* os) {
    *os << OperationName(c.operation) << (c.compress ? " run-length" : " uncompressed");
}

class FaultSweep : public JobTest, public ::testing::WithParamInterface<SweepCase> {
  protected:
    // Runs the operation with the nth system call failing (n < 0: none); returns the number of
    // calls the job made.
    int RunWithFault(int n, int code) {
        int calls = 0;
        platform::ScopedFaultHook hook(
            [&](platform::SysCall, const char*) { return calls++ == n ? code : 0; });
        NewWindow();
        if (GetParam().operation == Compress) WriteFileBytes(image, "older image");
        EXPECT_TRUE(Run(GetParam().operation, drive,
                        GetParam().operation == Compress ? image : goodImage, GetParam().compress));
        return calls;
    }

    void ExpectClean(int n) {
        SCOPED_TRACE("fault at call " + std::to_string(n));
        EXPECT_EQ(window->doneCount, 1);
        EXPECT_LE(window->boxes.size(), 1u);
        if (!window->boxes.empty()) {
            EXPECT_NE(window->boxes[0].caption, "") << window->boxes[0].text;
            // A new image whose folder could not be flushed is in place: the job is done
            // and says that its durability is not confirmed.
            if (window->boxes[0].text.rfind(kNotDurableText, 0) != 0) {
                EXPECT_NE(job->m_result, JobDone) << "a message means the job did not complete";
            }
        }
        EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
        // Unlocked: another lock succeeds.
        int fd = ::open(drive.c_str(), O_RDONLY);
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);
        if (GetParam().operation == Compress) {
            std::string now = ReadFileBytes(image);
            EXPECT_TRUE(now == "older image" || now == goodBytes) << "image at the path damaged";
            if (job->m_result == JobDone) {
                EXPECT_TRUE(now == goodBytes);
            }
        } else {
            EXPECT_TRUE(ReadFileBytes(goodImage) == goodBytes);
            if (GetParam().operation == Verify) {
                EXPECT_TRUE(ReadFileBytes(drive) == driveBytes);
            }
        }
        if (GetParam().operation != Compress && job->m_result == JobDone) {
            EXPECT_TRUE(ReadFileBytes(drive) == driveBytes);
        }
        job.reset();
        EXPECT_EQ(OpenDescriptorCount(), fdsBefore);
        EXPECT_EQ(platform::LiveHandleCount(), 0);
        job = std::make_unique<CDiskJob>(window.get());
    }

    std::string drive, image, goodImage, goodBytes, driveBytes;
    int fdsBefore = 0;
};

TEST_P(FaultSweep, EveryCallFailingInTurnEndsCleanly) {
    drive = Floppy(k360);
    driveBytes = ReadFileBytes(drive);
    image = dir / "disk.tvl";
    goodImage = dir / "good.tvl";
    ASSERT_TRUE(Run(Compress, drive, goodImage, GetParam().compress));
    goodBytes = ReadFileBytes(goodImage);
    job.reset();
    fdsBefore = OpenDescriptorCount();
    job = std::make_unique<CDiskJob>(window.get());

    const int total = RunWithFault(-1, 0);
    ASSERT_EQ(job->m_result, JobDone);
    ExpectClean(-1);
    ASSERT_GT(total, 80);
    int failedJobs = 0;
    for (int n = 0; n < total; ++n) {
        RunWithFault(n, n % 3 == 0 ? EIO : (n % 3 == 1 ? ENOSPC : EACCES));
        if (job->m_result != JobDone) ++failedJobs;
        ExpectClean(n);
        if (HasFailure()) break;
    }
    RecordProperty("faults_injected", total);
    // Only these may fail without failing the job: the closing calls after the work is safe,
    // the search for leftovers of killed jobs, the lock of the new image (not every file
    // system has one), the nameless new image (a named one is made instead), the folder's
    // opening for reading (it is written all the same), the look at whether the drive is a
    // block device (an image file opens the same either way) and the flush of the folder after
    // the rename (which the job reports).
    EXPECT_GE(failedJobs, total - 15);
}

INSTANTIATE_TEST_SUITE_P(Jobs, FaultSweep,
                         ::testing::Values(SweepCase{Compress, 0}, SweepCase{Compress, 1},
                                           SweepCase{Expand, 1}, SweepCase{Verify, 0},
                                           SweepCase{Verify, 1}),
                         [](const auto& info) {
                             return OperationName(info.param.operation) +
                                    (info.param.compress ? "RunLength" : "Uncompressed");
                         });

// A cancel at every poll point of a pass: each ends cancelled, cleanly, with nothing kept.
class CancelEverywhere : public JobTest, public ::testing::WithParamInterface<int> {};

TEST_P(CancelEverywhere, AtEverySide) {
    const int operation = GetParam();
    const std::string drive = Floppy(k360);
    const std::string driveBytes = ReadFileBytes(drive);
    const std::string image = dir / "disk.tvl";
    ASSERT_TRUE(Run(Compress, drive, image));
    const std::string imageBytes = ReadFileBytes(image);
    const std::string target = operation == Compress ? dir / "new.tvl" : image;
    for (int side = 0; side < 80; ++side) {
        NewWindow();
        int seen = 0;
        const std::string prefix =
            operation == Compress ? "Reading" : (operation == Expand ? "Writing" : "Verifing");
        window->onStatus = [&](const std::string& line) {
            if (line.rfind(prefix, 0) == 0 && seen++ == side) job->Cancel();
        };
        ASSERT_TRUE(Run(operation, drive, target));
        ASSERT_EQ(job->m_result, JobCancelled) << "side " << side;
        ASSERT_TRUE(window->boxes.empty());
        ASSERT_EQ(window->doneCount, 1);
        ASSERT_FALSE(FileExists(dir / "new.tvl"));
        ASSERT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
        ASSERT_TRUE(ReadFileBytes(image) == imageBytes);
        ASSERT_TRUE(ReadFileBytes(drive) == driveBytes);  // expand writes back the same bytes
    }
}

INSTANTIATE_TEST_SUITE_P(Passes, CancelEverywhere, ::testing::Values(Compress, Expand, Verify),
                         [](const auto& info) { return OperationName(info.param); });

}  // namespace
