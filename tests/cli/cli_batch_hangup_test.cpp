// A terminal closed during a batch (SIGHUP): nobody is left to press Ctrl+C a second time, so the
// diskette being imaged is cancelled at once and filed as two Ctrl+C file it.
#include <gtest/gtest.h>
#include <signal.h>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

class CliBatchHangUp : public BatchFixture {};

TEST_F(CliBatchHangUp, CancelsTheDisketteAtOnceAndEndsTheBatch) {
    // 160 track sides at 40 ms a read: over six seconds, far longer than a cancel takes.
    SlowMount slow(Disk(0), dir / "mnt", 40);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", slow.file(), folder}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return !tool.FileBeingWritten(folder).empty(); }));
    tool.Signal(SIGHUP);
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    const std::string info = ReadFileBytes(folder + "/disk-001.info");
    EXPECT_NE(info.find("result: cancelled\n"), std::string::npos) << info;
    EXPECT_EQ(SizeOf(folder + "/disk-001.tvl"), -1);
    EXPECT_EQ(LineCount(r.out), 1) << r.out;
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

}  // namespace
