// Jobs through a real block device: a loop device over a diskette image.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/drive_map.h"
#include "platform/drive_volume.h"
#include "platform/file_api.h"
#include "platform/floppy_format.h"
#include "platform/handle.h"
#include "tests/engine/job_harness.h"
#include "tests/support/facility.h"

namespace {

// Attaches a loop device to a file for the lifetime of the object.
class LoopDevice {
  public:
    LoopDevice(const std::string& file, bool readOnly) {
        std::string cmd = std::string("losetup -f --show ") + (readOnly ? "-r " : "") + "'" + file +
                          "' 2>/dev/null";
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char line[256] = {};
            if (fgets(line, sizeof line, p)) m_device = std::string(line, strcspn(line, "\n"));
            pclose(p);
        }
    }
    ~LoopDevice() {
        if (!m_device.empty()) Shell("losetup -d " + m_device + " 2>/dev/null");
    }
    const std::string& device() const { return m_device; }

  private:
    std::string m_device;
};

class LoopJob : public JobTest {
  protected:
    void SetUp() override {
        JobTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (geteuid() != 0 || Shell("command -v losetup >/dev/null") != 0)
            SKIP_OR_FAIL("loop devices need root and losetup; not available here");
    }
    // Attaches or skips the test with the reason.
    std::unique_ptr<LoopDevice> Attach(const std::string& file, bool readOnly = false) {
        auto loop = std::make_unique<LoopDevice>(file, readOnly);
        if (loop->device().empty()) return nullptr;
        return loop;
    }
};

#define ATTACH_OR_SKIP(var, ...)    \
    auto var = Attach(__VA_ARGS__); \
    if (!var)                       \
    SKIP_OR_FAIL("this machine does not allow attaching a loop device (losetup -f failed)")
TEST_F(LoopJob, CompressExpandVerifyReachTheMedium) {
    const std::string source = Floppy(k144, "source.img");
    const std::string target = dir / "target.img";
    ASSERT_TRUE(MakeFloppyImage(target, k144, false));
    ATTACH_OR_SKIP(sourceLoop, source);
    ATTACH_OR_SKIP(targetLoop, target);

    {
        platform::ScopedDriveMapping mapping('A', sourceLoop->device());
        UniqueHandle v(CreateFileA("\\\\.\\A:", GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(v.valid());
        platform::VolumeInfo info;
        ASSERT_TRUE(platform::QueryVolumeInfo(v.get(), &info));
        EXPECT_TRUE(info.isBlockDevice);
        EXPECT_TRUE(info.directIo) << "transfers bypass the page cache";
        EXPECT_EQ(info.size, 1474560);
    }

    const std::string image = dir / "disk.tvl";
    ASSERT_TRUE(Run(Compress, sourceLoop->device(), image));
    EXPECT_TRUE(window->boxes.empty()) << window->boxes[0].text;
    EXPECT_EQ(job->m_result, JobDone);

    NewWindow();
    ASSERT_TRUE(Run(Expand, targetLoop->device(), image));
    EXPECT_TRUE(window->boxes.empty()) << window->boxes[0].text;
    // The job is over: its writes are in the backing file, not only in a cache.
    EXPECT_TRUE(ReadFileBytes(target) == ReadFileBytes(source));

    NewWindow();
    ASSERT_TRUE(Run(Verify, targetLoop->device(), image));
    EXPECT_TRUE(window->boxes.empty()) << window->boxes[0].text;
    EXPECT_EQ(job->m_result, JobDone);

    // A change made behind the device's back is seen by the next verify.
    std::string bytes = ReadFileBytes(target);
    bytes[9216 * 3 + 5] ^= 1;
    WriteFileBytes(target, bytes);
    NewWindow();
    ASSERT_TRUE(Run(Verify, targetLoop->device(), image));
    EXPECT_EQ(job->m_result, JobDifferent);
    EXPECT_EQ(job->m_diffCylinder, 1);
    EXPECT_EQ(job->m_diffHead, 1);
}

TEST_F(LoopJob, AnotherExclusiveOpenRefusesTheLock) {
    const std::string source = Floppy(k720);
    ATTACH_OR_SKIP(loop, source);
    int holder = ::open(loop->device().c_str(), O_RDONLY | O_EXCL);
    ASSERT_GE(holder, 0);
    ASSERT_TRUE(Run(Compress, loop->device(), dir / "disk.tvl"));
    ::close(holder);
    ASSERT_EQ(window->boxes.size(), 1u);
    EXPECT_EQ(window->boxes[0].caption, "Drive Error");
    EXPECT_EQ(window->boxes[0].text, std::strerror(EBUSY));
    EXPECT_FALSE(FileExists(dir / "disk.tvl"));

    // Released after the job: an exclusive open works again.
    NewWindow();
    ASSERT_TRUE(Run(Compress, loop->device(), dir / "disk.tvl"));
    int again = ::open(loop->device().c_str(), O_RDONLY | O_EXCL);
    EXPECT_GE(again, 0);
    if (again >= 0) ::close(again);
}

TEST_F(LoopJob, WriteProtectedDiskIsReadableButNotWritable) {
    const std::string source = Floppy(k360);
    ATTACH_OR_SKIP(loop, source, true);
    const std::string before = ReadFileBytes(source);
    ASSERT_TRUE(Run(Compress, loop->device(), dir / "disk.tvl"));
    EXPECT_TRUE(window->boxes.empty()) << window->boxes[0].text;
    EXPECT_EQ(job->m_result, JobDone);

    NewWindow();
    ASSERT_TRUE(Run(Expand, loop->device(), dir / "disk.tvl"));
    ASSERT_EQ(window->boxes.size(), 1u);
    EXPECT_EQ(window->boxes[0].caption, "Write Error");
    EXPECT_EQ(window->boxes[0].text, "The diskette is write-protected.");
    EXPECT_TRUE(ReadFileBytes(source) == before);
}

// Only the floppy driver is told a layout: the device of another driver and an image file
// standing in for a drive are left as they are, and a job on them does not fail over it.
TEST_F(LoopJob, NoFloppyLayoutForAnotherDriverOrAnImageFile) {
    const std::string image = Floppy(k144);
    ATTACH_OR_SKIP(loop, image);
    for (const std::string& path : {loop->device(), image}) {
        platform::ScopedDriveMapping mapping('B', path);
        HANDLE volume = platform::OpenDriveVolume('B', GENERIC_READ, FILE_SHARE_READ);
        ASSERT_NE(volume, INVALID_HANDLE_VALUE) << path;
        bool set = true;
        EXPECT_TRUE(platform::SetFloppyLayout(volume, {80, 2, 21}, &set)) << path;
        EXPECT_FALSE(set) << path;
        EXPECT_TRUE(platform::ClearFloppyLayout(volume)) << path;
        CloseHandle(volume);
    }
}

}  // namespace
