// A box of diskettes through batch: an image file stands in for the drive, and putting another
// file in its place is putting in the next diskette. What is filed is checked by the system's
// own sha256sum and md5sum as well as by the tool's check.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/loop_device.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

class CliBatch : public BatchFixture {
  protected:
    // Puts diskette i in the drive: written over the drive's file in place, as `cat b.img > drive`
    // does, which keeps its inode and size.
    void Overwrite(int i) { ASSERT_EQ(Shell("cat '" + Disk(i) + "' > '" + drive + "'"), 0); }
    // Puts diskette i in the drive: a new file takes the drive's name at once.
    void Insert(int i) {
        ASSERT_EQ(Shell("cp '" + Disk(i) + "' '" + drive + ".new' && mv '" + drive + ".new' '" +
                        drive + "'"),
                  0);
    }
    const std::string drive = dir / "drive";
    // The files (not folders) the listing of an image counts.
    int FilesIn(const std::string& image) {
        const std::string out = RunTool({"files", image, "--json"}).out;
        const size_t at = out.find("\"fileCount\": ");
        return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 13);
    }
};

TEST_F(CliBatch, DiskettesSwappedAreImagedHashedFiledAndCheckedAndARunGoesOn) {
    Insert(0);
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", drive, folder, "--count", "3", "--hash", "md5,sha256"}));
    for (int i = 1; i < 3; ++i) {
        // Swapped once the diskette is filed, its line printed: the batch must wait for another.
        const std::string filed = "disk-00" + std::to_string(i) + ": ";
        ASSERT_TRUE(WaitWhileRunning(tool, [&] {
            return tool.OutputSoFar().find(filed) != std::string::npos;
        })) << filed;
        if (i == 2) {
            ASSERT_EQ(::remove(drive.c_str()), 0);  // taken out before the next goes in
            Insert(i);
        } else {
            Overwrite(i);
        }
    }
    ToolResult batch = tool.Wait();
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_EQ(LineCount(batch.out), 3) << batch.out;

    for (int i = 0; i < 3; ++i) {
        const std::string name = folder + "/disk-00" + std::to_string(i + 1);
        const std::string info = ReadFileBytes(name + ".info");
        // The content hash is that of the diskette's sectors, and the image alone gives it back.
        const std::string content = "content-sha256: " + Sha256Of(Disk(i)) + "\n";
        EXPECT_NE(info.find(content), std::string::npos) << info;
        EXPECT_NE(info.find("verify: same\n"), std::string::npos) << info;
        EXPECT_NE(info.find("volume-serial: "), std::string::npos) << info;
        EXPECT_NE(info.find("image-sha256: " + Sha256Of(name + ".tvl")), std::string::npos);
        ToolResult shown = RunTool({"info", name + ".tvl", "--hash", "sha256"});
        EXPECT_NE(shown.out.find(content), std::string::npos) << shown.out;
        // What is on it, filed beside it: the listing files writes, and its count in the info.
        ToolResult listed = RunTool({"files", name + ".tvl", "--dfxml"});
        EXPECT_EQ(ReadFileBytes(name + ".dfxml"), listed.out);
        EXPECT_NE(listed.out.find("<fileobject>"), std::string::npos) << listed.out;
        EXPECT_NE(info.find("files: " + std::to_string(FilesIn(name + ".tvl")) + ", damaged: 0\n"),
                  std::string::npos)
            << info;
    }
    EXPECT_EQ(LineCount(ReadFileBytes(folder + "/batch.csv")), 4);
    EXPECT_EQ(Shell("cd '" + folder + "' && sha256sum --quiet -c manifest-sha256.txt"), 0);
    EXPECT_EQ(Shell("cd '" + folder + "' && md5sum --quiet -c manifest-md5.txt"), 0);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);

    // A second run on the folder goes on with the next number and the same manifests.
    Insert(1);
    ToolResult again = RunTool({"-q", "batch", drive, folder, "--count", "1", "--json"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out.rfind("{\"name\":\"disk-004\"", 0), 0u) << again.out;
    EXPECT_EQ(LineCount(ReadFileBytes(folder + "/manifest-sha256.txt")), 16);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);

    // A changed byte is found, and so is a file gone.
    FlipByte(folder + "/disk-002.tvl", SizeOf(folder + "/disk-002.tvl") / 2);
    ASSERT_EQ(::remove((folder + "/disk-003.info").c_str()), 0);
    ToolResult check = RunTool({"check", folder});
    EXPECT_EQ(check.exitCode, 3);
    EXPECT_NE(check.out.find("disk-002.tvl: sha256 differs"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("disk-003.info: missing"), std::string::npos) << check.out;
}

TEST_F(CliBatch, RawImagesAndAFailedDisketteAreFiledToo) {
    // Not a diskette: logged with its reason, and the batch goes on to the next.
    WriteFileBytes(drive, std::string(1474560, '\0'));
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", drive, folder, "--count", "2", "--raw", "--name", "box{n}"}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return SizeOf(folder + "/box1.info") > 0; }));
    Insert(2);
    ToolResult batch = tool.Wait();
    EXPECT_EQ(batch.exitCode, 2) << batch.err;
    EXPECT_NE(ReadFileBytes(folder + "/box1.info").find("result: failed\n"), std::string::npos);
    EXPECT_TRUE(SameBytes(folder + "/box2.img", Disk(2)));
    EXPECT_EQ(
        Listing(folder),
        (std::vector<std::string>{".batch.lock", "batch.csv", "box1.info", "box2.dfxml", "box2.img",
                                  "box2.info", "box2.svg", "manifest-sha256.txt", "report.html"}));
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    // A name whose only file is its info is taken: a rerun goes on with the next.
    ToolResult rerun = RunTool({"batch", drive, folder, "--count", "1", "--name", "box{n}"});
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
    EXPECT_NE(rerun.out.find("box3: done"), std::string::npos) << rerun.out;

    // A letter with no drive behind it is refused at once, not waited on for ever.
    ToolResult none = RunTool({"batch", "Q:", dir / "other"});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.err,
              "Tavrel: Cannot find the drive specified: Q: is not in the drive map (tavrel-cli "
              "drives lists the drive letters)\n");
}

// The first Ctrl+C ends the batch once the diskette in the drive is filed; a second one
// cancels that diskette, which is logged as such.
TEST_F(CliBatch, CtrlCEndsTheBatchAfterTheDisketteAndASecondCancelsIt) {
    SlowMount slow(Disk(0), dir / "mnt", 10);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    for (int signals : {1, 2}) {
        const std::string box = folder + std::to_string(signals);
        ToolProcess tool;
        ASSERT_TRUE(tool.Start({"batch", slow.file(), box}));
        ASSERT_TRUE(WaitWhileRunning(tool, [&] { return !tool.FileBeingWritten(box).empty(); }));
        // Two of one signal may arrive as one; a SIGTERM counts as a Ctrl+C.
        tool.Signal(SIGINT);
        if (signals == 2) tool.Signal(SIGTERM);
        ToolResult r = tool.Wait();
        const std::string info = ReadFileBytes(box + "/disk-001.info");
        if (signals == 1) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(RunTool({"verify", box + "/disk-001.tvl", Disk(0)}).exitCode, 0);
            EXPECT_NE(info.find("verify: same\n"), std::string::npos) << info;
        } else {
            EXPECT_EQ(r.exitCode, 2) << r.err;
            EXPECT_NE(info.find("result: cancelled\n"), std::string::npos) << info;
            EXPECT_EQ(SizeOf(box + "/disk-001.tvl"), -1);
        }
        EXPECT_EQ(LineCount(r.out), 1) << r.out;
        EXPECT_EQ(RunTool({"check", box}).exitCode, 0);
    }
}

// A diskette whose boot sector names its format but whose file system is not FAT (no root
// folder) is imaged and filed all the same; its info says why nothing is listed.
TEST_F(CliBatch, ADisketteWithoutAFatFileSystemIsFiledWithTheReason) {
    std::string bytes = ReadFileBytes(Disk(0));
    bytes[17] = bytes[18] = '\0';  // no root folder entries: no FAT file system
    WriteFileBytes(drive, bytes);
    ToolResult r = RunTool({"batch", drive, folder, "--count", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string info = ReadFileBytes(folder + "/disk-001.info");
    EXPECT_NE(info.find("result: done\n"), std::string::npos) << info;
    EXPECT_NE(info.find("files: none (no FAT file system"), std::string::npos) << info;
    // The drive that read it: here a file standing in for one.
    EXPECT_NE(info.find("\ndrive-kind: image file\n"), std::string::npos) << info;
    EXPECT_FALSE(FileExists(folder + "/disk-001.dfxml"));
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

// A block device: the diskette is taken out (the loop device detached, its size 0) and another
// put in (a new file attached), and the batch sees both from the device.
TEST_F(CliBatch, ADisketteSwappedInABlockDeviceIsSeen) {
    LoopDevice loop(Disk(0));
    if (loop.path().empty()) SKIP_OR_FAIL("no loop device can be set up here");
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", loop.path(), folder, "--count", "2"}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return SizeOf(folder + "/disk-001.info") > 0; }));
    // The batch's own look at the device may hold it open a moment: losetup is tried again.
    ASSERT_EQ(Shell("losetup -d " + loop.path() + " && until losetup " + loop.path() + " '" +
                    Disk(1) + "' 2>/dev/null; do :; done"),
              0);
    ToolResult r = tool.Wait();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string info = ReadFileBytes(folder + "/disk-002.info");
    EXPECT_NE(info.find("content-sha256: " + Sha256Of(Disk(1))), std::string::npos);
    EXPECT_NE(info.find("\ndrive-kind: loop device on "), std::string::npos) << info;
}

}  // namespace
