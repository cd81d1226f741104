// Ctrl+C and SIGTERM in the middle of a compress, expand, verify or convert, over a drive or
// file that a FUSE file system makes slow: the work is cancelled cleanly and says so, no new
// file is left and an older image is untouched. Each signal is sent once the work is seen
// under way: its file created beside the target, or the drive locked. In a batch, a second
// Ctrl+C in each of a diskette's steps files it with what was read whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/cli_fixtures.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

class CliCancel : public ::testing::TestWithParam<int> {};

TEST_P(CliCancel, CancelledCompressLeavesTheOldImage) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    // A raw name: the job writes its .tvl to a hidden file beside the image, which goes too.
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
    const std::string original = dir / "original.raw", image = dir / "disk.tvl";
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
                      image = dir / "disk.tvl";
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

// The steps of a diskette in a batch: reading it, verifying the image, and filing it under the
// folder's lock (its listing, before the lock, is cancelled in the filing tests).
enum class Step { Reading, Verifying, Filing };

class CliBatchCancel : public BatchFixture, public ::testing::WithParamInterface<Step> {};

TEST_P(CliBatchCancel, ASecondCtrlCFilesTheDisketteWithWhatWasReadWhole) {
    // 160 track sides at 10 ms a read, and as many to verify.
    SlowMount slow(Disk(0), dir / "mnt", 10);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", slow.file(), folder}));
    const std::string part = folder + "/.disk-001.part.tvl";
    int held = -1;
    if (GetParam() == Step::Reading) {
        ASSERT_TRUE(WaitWhileRunning(tool, [&] { return !tool.FileBeingWritten(folder).empty(); }));
    } else {
        // The image is in place once it is read whole; the verify locks the drive.
        ASSERT_TRUE(WaitWhileRunning(
            tool, [&] { return FileExists(part) && tool.HoldsLockOn(slow.file()); }));
    }
    if (GetParam() == Step::Filing) {
        // The folder's lock, taken from the batch: it waits with the diskette verified.
        held = open((folder + "/.batch.lock").c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(held, 0);
        ASSERT_EQ(flock(held, LOCK_EX), 0);
        ASSERT_TRUE(
            WaitWhileRunning(tool, [&] { return SomeoneWaitsForLockOn(folder + "/.batch.lock"); }));
    }
    tool.Signal(SIGINT);
    tool.Signal(SIGTERM);
    if (held >= 0) close(held);
    ToolResult r = tool.Wait();
    const std::string info = ReadFileBytes(folder + "/disk-001.info");
    const std::string manifest = ReadFileBytes(folder + "/manifest-sha256.txt");
    if (GetParam() == Step::Reading) {
        // Part of a diskette is not the diskette: no image is kept.
        EXPECT_NE(info.find("result: cancelled\n"), std::string::npos) << info;
        EXPECT_NE(info.find("verify: not run\n"), std::string::npos) << info;
        EXPECT_FALSE(FileExists(folder + "/disk-001.tvl"));
        EXPECT_EQ(manifest.find("disk-001.tvl"), std::string::npos) << manifest;
    } else {
        EXPECT_EQ(RunTool({"verify", folder + "/disk-001.tvl", Disk(0)}).exitCode, 0);
        EXPECT_NE(manifest.find("  disk-001.tvl\n"), std::string::npos) << manifest;
        EXPECT_NE(info.find("content-sha256: " + Sha256Of(Disk(0))), std::string::npos) << info;
    }
    if (GetParam() == Step::Verifying) {
        EXPECT_NE(info.find("result: cancelled\n"), std::string::npos) << info;
        EXPECT_NE(info.find("verify: cancelled\n"), std::string::npos) << info;
    }
    if (GetParam() == Step::Filing) {
        // Verified already: done, or cancelled in its listing.
        EXPECT_NE(info.find("verify: same\n"), std::string::npos) << info;
        const bool done = info.find("result: done\n") != std::string::npos;
        EXPECT_TRUE(done || info.find("result: cancelled\n") != std::string::npos) << info;
        EXPECT_EQ(r.exitCode, done ? 0 : 2) << r.err;
    } else {
        EXPECT_EQ(r.exitCode, 2) << r.err;
    }
    EXPECT_EQ(LineCount(r.out), 1) << r.out;
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    EXPECT_FALSE(FileExists(part));
}

INSTANTIATE_TEST_SUITE_P(Steps, CliBatchCancel,
                         ::testing::Values(Step::Reading, Step::Verifying, Step::Filing),
                         [](const auto& info) {
                             return std::string(info.param == Step::Reading     ? "Reading"
                                                : info.param == Step::Verifying ? "Verifying"
                                                                                : "Filing");
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
