// Ctrl+C and SIGTERM in the middle of a compress, expand, verify or convert, over a drive or
// file that a FUSE file system makes slow: the work is cancelled cleanly and says so, no new
// file is left and an older image is untouched. Each signal is sent once the work is seen
// under way: its file created beside the target, or the drive locked.
#include <gtest/gtest.h>
#include <signal.h>

#include "tests/cli/cli_fixtures.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

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
    // The pass is under way once the new image beside the old one holds a record.
    ASSERT_TRUE(WaitWhileRunning(tool, [&] {
        const std::string file = tool.FileBeingWritten(dir / "out");
        return !file.empty() && SizeOf(file) > 4;
    }));
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
    ASSERT_TRUE(
        WaitWhileRunning(tool, [&] { return !tool.FileBeingWritten(dir / "out").empty(); }));
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
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return tool.HoldsLockOn(slow.file()); }));
    tool.Signal(GetParam());
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "Cancelled: " + image + " was compared only in part\n");
    EXPECT_EQ(ReadFileBytes(image), imageBytes);
}

TEST_P(CliCancel, CancelledExpandSaysTheDisketteIsPartlyOverwritten) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    const std::string original = dir / "original.raw", blank = dir / "blank.raw",
                      image = dir / "disk.img";
    ASSERT_TRUE(MakeFloppyImage(original, kFloppyFormats[4]));
    ASSERT_TRUE(MakeFloppyImage(blank, kFloppyFormats[4], false));
    ASSERT_EQ(RunTool({"convert", original, image}).exitCode, 0);
    const std::string imageBytes = ReadFileBytes(image);
    SlowMount slow(blank, dir / "mnt", 15);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");

    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"expand", image, slow.file()}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return tool.HoldsLockOn(slow.file()); }));
    tool.Signal(GetParam());
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "Cancelled: the diskette in " + slow.file() + " is partly overwritten\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFileBytes(image), imageBytes);
}

TEST_P(CliCancel, CancelledConvertLeavesTheOlderFileAndNothingElse) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    const std::string original = dir / "original.raw", target = dir / "out" + "/disk.tvl";
    ASSERT_TRUE(MakeFloppyImage(original, kFloppyFormats[4]));
    Shell("mkdir -p '" + dir / "out" + "'");
    WriteFileBytes(target, "an older image");
    SlowMount slow(original, dir / "mnt", 15);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");

    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"convert", "--force", slow.file(), target}));
    ASSERT_TRUE(
        WaitWhileRunning(tool, [&] { return !tool.FileBeingWritten(dir / "out").empty(); }));
    tool.Signal(GetParam());
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "Cancelled: " + target + " was not written\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFileBytes(target), "an older image");
    EXPECT_EQ(Listing(dir / "out"), std::vector<std::string>{"disk.tvl"});
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
