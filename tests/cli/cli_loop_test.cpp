// The tool on real block devices: loop devices over mkfs.fat images, where the machine allows
// them. Also a drive held by someone else, which every job must refuse.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/cli/cli_fixtures.h"
#include "tests/cli/loop_device.h"
#include "tests/support/facility.h"

namespace {

// Closes the descriptor it holds; the lock or exclusive open goes with it.
class HeldOpen {
  public:
    HeldOpen(const std::string& path, int flags) : m_fd(::open(path.c_str(), flags | O_CLOEXEC)) {}
    ~HeldOpen() {
        if (m_fd >= 0) ::close(m_fd);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    int fd() const { return m_fd; }

  private:
    int m_fd;
};

class CliLoop : public ::testing::TestWithParam<FloppyFormat> {};

TEST_P(CliLoop, RoundTripOnALoopDevice) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    const FloppyFormat& format = GetParam();
    TempDir dir;
    const std::string original = dir / "original.raw", target = dir / "target.raw";
    ASSERT_TRUE(MakeFloppyImage(original, format));
    ASSERT_TRUE(MakeFloppyImage(target, format, false));
    LoopDevice source(original);
    if (source.path().empty())
        SKIP_OR_FAIL("no loop device: losetup is not allowed on this machine");
    LoopDevice drive(target);
    ASSERT_FALSE(drive.path().empty());

    // From the device, the same image as from the file it shows.
    ASSERT_EQ(RunTool({"compress", original, dir / "fromfile.tvl"}).exitCode, 0);
    ToolResult r = RunTool({"compress", source.path(), dir / "a.tvl"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(dir / "a.tvl", dir / "fromfile.tvl"));

    r = RunTool({"expand", dir / "a.tvl", drive.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Shell("fsck.fat -n '" + drive.path() + "' >/dev/null 2>&1"), 0);
    ASSERT_TRUE(ExtractFiles(original, dir / "files-original"));
    ASSERT_TRUE(ExtractFiles(drive.path(), dir / "files-expanded"));
    EXPECT_EQ(Shell("diff -r '" + dir / "files-original" + "' '" + dir / "files-expanded" + "'"),
              0);

    r = RunTool({"verify", dir / "a.tvl", drive.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    // One byte changed on the device itself, past the page cache.
    const long long offset = MiddleOffset(format);
    const long long sector = offset / 512;
    ASSERT_EQ(Shell("dd if='" + drive.path() + "' of='" + dir / "sector" + "' bs=512 skip=" +
                    std::to_string(sector) + " count=1 iflag=direct status=none"),
              0);
    FlipByte(dir / "sector", offset % 512);
    ASSERT_EQ(Shell("dd if='" + dir / "sector" + "' of='" + drive.path() + "' bs=512 seek=" +
                    std::to_string(sector) + " count=1 oflag=direct conv=notrunc status=none"),
              0);
    r = RunTool({"verify", dir / "a.tvl", drive.path()});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find(DifferenceLine(format, offset) + "\n"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, CliLoop, ::testing::ValuesIn(kFloppyFormats),
                         [](const auto& info) { return FormatTestName(info.param); });

TEST(CliDriveHeld, AnExclusivelyOpenDeviceIsRefused) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    ASSERT_TRUE(MakeFloppyImage(dir / "original.raw", kFloppyFormats[4]));
    LoopDevice device(dir / "original.raw");
    if (device.path().empty())
        SKIP_OR_FAIL("no loop device: losetup is not allowed on this machine");
    HeldOpen holder(device.path(), O_RDONLY | O_EXCL);
    ASSERT_GE(holder.fd(), 0);
    ToolResult r = RunTool({"compress", device.path(), dir / "a.tvl"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Drive Error: Device or resource busy: " + device.path() +
                         " is held by another program (close it, or wait for it to end)\n");
    EXPECT_FALSE(FileExists(dir / "a.tvl"));
}

TEST(CliDriveHeld, ALockedImageFileIsRefused) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    const std::string drive = dir / "original.raw";
    ASSERT_TRUE(MakeFloppyImage(drive, kFloppyFormats[4]));
    ASSERT_EQ(RunTool({"compress", drive, dir / "a.tvl"}).exitCode, 0);
    HeldOpen holder(drive, O_RDONLY);
    ASSERT_EQ(flock(holder.fd(), LOCK_EX), 0);
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"compress", drive, dir / "b.tvl"},
                                               {"expand", dir / "a.tvl", drive},
                                               {"verify", dir / "a.tvl", drive}}) {
        ToolResult r = RunTool(args);
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_EQ(r.err, "Drive Error: Device or resource busy: " + drive +
                             " is held by another program (close it, or wait for it to end)\n")
            << args[0];
    }
    EXPECT_FALSE(FileExists(dir / "b.tvl"));
}

}  // namespace
