// Ctrl+C and SIGTERM in the middle of a compress, over a drive that a FUSE file system makes
// slow: the job is cancelled cleanly, no new file is left and an older image is untouched.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "tests/cli/cli_fixtures.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

// Waits until the job has created its partial image, so that the pass is surely running.
bool WaitForPartialImage(const std::string& dir, const ToolProcess& tool) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline && tool.Running()) {
        if (CountFilesContaining(dir, ".tavrel-partial-") > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

class CliCancel : public ::testing::TestWithParam<int> {};

TEST_P(CliCancel, CancelledCompressLeavesTheOldImage) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    const std::string original = dir / "original.raw", image = dir / "out" + "/old.img";
    ASSERT_TRUE(MakeFloppyImage(original, kFloppyFormats[4]));
    Shell("mkdir -p '" + dir / "out" + "'");
    WriteFileBytes(image, "an older image");
    // 160 track sides at 15 ms a read: over two seconds to interrupt.
    SlowMount slow(original, dir / "mnt", 15);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");

    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"compress", "--force", slow.file(), image}));
    ASSERT_TRUE(WaitForPartialImage(dir / "out", tool));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    tool.Signal(GetParam());
    ToolResult r = tool.Wait();

    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "Cancelled: " + image + " is unchanged\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFileBytes(image), "an older image");
    EXPECT_EQ(Listing(dir / "out"), std::vector<std::string>{"old.img"});
}

TEST_P(CliCancel, CancelledCompressLeavesNoFile) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    const std::string original = dir / "original.raw";
    ASSERT_TRUE(MakeFloppyImage(original, kFloppyFormats[2]));
    Shell("mkdir -p '" + dir / "out" + "'");
    SlowMount slow(original, dir / "mnt", 15);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");

    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"compress", slow.file(), dir / "out" + "/new.img"}));
    ASSERT_TRUE(WaitForPartialImage(dir / "out", tool));
    tool.Signal(GetParam());
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "Cancelled: no image was written\n");
    EXPECT_EQ(Listing(dir / "out"), std::vector<std::string>{});
}

TEST_P(CliCancel, CancelledVerifySaysSoAndChangesNothing) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    const std::string original = dir / "original.raw", image = dir / "disk.img";
    ASSERT_TRUE(MakeFloppyImage(original, kFloppyFormats[4]));
    ASSERT_EQ(RunTool({"convert", original, image}).exitCode, 0);
    const std::string imageBytes = ReadFileBytes(image);
    SlowMount slow(original, dir / "mnt", 15);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");

    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"verify", image, slow.file()}));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_TRUE(tool.Running());
    tool.Signal(GetParam());
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "Cancelled: " + image + " was compared only in part\n");
    EXPECT_EQ(ReadFileBytes(image), imageBytes);
}

INSTANTIATE_TEST_SUITE_P(Signals, CliCancel, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) {
                             return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

TEST(CliSlowDrive, ACompressOverTheSlowDriveCompletes) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    const std::string original = dir / "original.raw";
    ASSERT_TRUE(MakeFloppyImage(original, kFloppyFormats[0]));
    SlowMount slow(original, dir / "mnt", 0);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    ASSERT_EQ(RunTool({"compress", original, dir / "direct.img"}).exitCode, 0);
    ToolResult r = RunTool({"compress", slow.file(), dir / "slow.img"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(dir / "slow.img", dir / "direct.img"));
}

}  // namespace
