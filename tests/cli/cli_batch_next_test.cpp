// What a batch takes up next and what it leaves alone: a file drive written over in place with
// another diskette of its size is the next diskette, and a diskette another batch is resuming is
// not resumed a second time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <utility>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/pty_tool.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

class CliBatchNext : public BatchFixture {
  protected:
    // The file's last change, which no one can set: any write moves it.
    static std::pair<long long, long> ChangeTime(const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return {-1, -1};
        return {st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
    }
    const std::string drive = dir / "drive";
};

TEST_F(CliBatchNext, AFileDriveWrittenOverInPlaceWithADisketteOfTheSameSizeHoldsTheNextOne) {
    ASSERT_EQ(SizeOf(Disk(0)), SizeOf(Disk(2)));
    ASSERT_NE(Sha256Of(Disk(0)), Sha256Of(Disk(2)));
    ASSERT_EQ(Shell("cp '" + Disk(0) + "' '" + drive + "'"), 0);
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", drive, folder, "--count", "2"}));
    ASSERT_TRUE(WaitWhileRunning(
        tool, [&] { return tool.OutputSoFar().find("disk-001: ") != std::string::npos; }));
    // Same inode, same size: only the change time tells. The kernel stamps it from a clock
    // that ticks every few milliseconds, so the write is made again until the stamp has moved.
    const auto imaged = ChangeTime(drive);
    do {
        ASSERT_EQ(
            Shell("dd if='" + Disk(2) + "' of='" + drive + "' bs=1474560 conv=notrunc status=none"),
            0);
    } while (ChangeTime(drive) == imaged);
    ASSERT_TRUE(WaitWhileRunning(tool, [&] {
        return tool.OutputSoFar().find("disk-002: ") != std::string::npos;
    })) << "the diskette written over the first one was never taken for the next";
    ToolResult batch = tool.Wait();
    EXPECT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_NE(ReadFileBytes(folder + "/disk-002.info")
                  .find("content-sha256: " + Sha256Of(Disk(2)) + "\n"),
              std::string::npos);
}

// The documented refusal, while the resume at work waits for its diskette; put in, the diskette
// is resumed by that batch alone.
TEST_F(CliBatchNext, ADisketteBeingResumedIsNotResumedByASecondBatch) {
    const std::string plan = dir / "plan";
    WriteFileBytes(plan, "bad 100 2\n");
    {
        SlowMount faulty(Disk(0), dir / "mnt", plan);
        if (!faulty.mounted())
            SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission)");
        ToolResult rescued = RunTool({"batch", faulty.file(), folder, "--count", "1", "--rescue"});
        ASSERT_EQ(rescued.exitCode, 0) << rescued.err;
    }
    const std::string info = ReadFileBytes(folder + "/disk-001.info");
    ASSERT_NE(info.find("unreadable-sectors: 2 "), std::string::npos) << info;

    // At a terminal, as an operator runs it, the batch waits there for the diskette.
    WriteFileBytes(drive, "");
    PtyTool first;
    ASSERT_TRUE(first.Start({"batch", drive, folder, "--resume", "disk-001"}));
    ASSERT_TRUE(first.WaitFor("Insert a diskette")) << first.screen();
    const std::string lock = folder + "/.disk-001.batch";

    ToolResult second = RunTool({"batch", Disk(0), folder, "--resume", "disk-001"});
    EXPECT_EQ(second.exitCode, 2) << second.out;
    EXPECT_EQ(second.err, "tavrel-cli: another batch is at work on disk-001\n");
    EXPECT_EQ(ReadFileBytes(folder + "/disk-001.info"), info);
    EXPECT_TRUE(FileExists(lock)) << "the refused batch took the reservation away";

    ASSERT_EQ(
        Shell("cp '" + Disk(0) + "' '" + drive + ".new' && mv '" + drive + ".new' '" + drive + "'"),
        0);
    EXPECT_EQ(first.Wait(), 0) << first.screen();
    const std::string done = ReadFileBytes(folder + "/disk-001.info");
    EXPECT_NE(done.find("result: done\n"), std::string::npos) << done;
    EXPECT_NE(done.find("content-sha256: " + Sha256Of(Disk(0))), std::string::npos) << done;
    EXPECT_FALSE(FileExists(lock));
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

}  // namespace
