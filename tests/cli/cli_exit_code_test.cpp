// One end, one exit code: a batch cancelled on one drive or on several, and a resumed rescue
// cancelled before or after it rewrote its copies, end as their help and man page say.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <vector>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

class CliExitCode : public BatchFixture {
  protected:
    // Drives that serve Disk(0) slowly enough to be cancelled in the middle of a diskette.
    bool SlowDrives(int count) {
        for (int i = 0; i < count; ++i) {
            slow.push_back(
                std::make_unique<SlowMount>(Disk(0), dir / ("mnt" + std::to_string(i)), kDelayMs));
            if (!slow.back()->mounted()) return false;
        }
        return true;
    }
    // The hidden images being written in the folder, with something in them already.
    int ImagesBegun() const {
        int begun = 0;
        for (const std::string& name : Listing(folder))
            if (name.size() > 9 && name.compare(name.size() - 9, 9, ".part.tvl") == 0 &&
                SizeOf(folder + "/" + name) > 0)
                ++begun;
        return begun;
    }
    static constexpr unsigned kDelayMs = 15;
    std::vector<std::unique_ptr<SlowMount>> slow;
};

TEST_F(CliExitCode, ABatchCancelledOnSeveralDrivesEndsAsOnOne) {
    if (!SlowDrives(2)) SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission)");
    for (const size_t drives : {1u, 2u}) {
        // A rescue's image is there from its first checkpoint on, long before the end.
        std::vector<std::string> args = {"batch", "--rescue"};
        for (size_t i = 0; i < drives; ++i) args.push_back(slow[i]->file());
        args.push_back(folder);
        ToolProcess tool;
        ASSERT_TRUE(tool.Start(args));
        ASSERT_TRUE(WaitWhileRunning(tool, [&] { return ImagesBegun() == int(drives); }));
        // The first Ctrl+C ends the batch after the diskettes in the drives, the second
        // cancels them: a diskette cancelled counts as failed.
        tool.Signal(SIGINT);
        tool.Signal(SIGTERM);
        ToolResult r = tool.Wait();
        EXPECT_EQ(r.exitCode, 2) << drives << " drives: " << r.err;
        EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    }
}

TEST_F(CliExitCode, AResumedRescueCancelledEndsCancelledWhateverItHadWritten) {
    if (!SlowDrives(1)) SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission)");
    const std::string name = "disk-001";
    {
        ToolProcess tool;
        ASSERT_TRUE(tool.Start({"batch", slow[0]->file(), folder, "--rescue"}));
        ASSERT_TRUE(WaitWhileRunning(tool, [&] { return ImagesBegun() == 1; }));
        tool.Signal(SIGINT);
        tool.Signal(SIGTERM);
        ASSERT_EQ(tool.Wait().exitCode, 2);
    }
    // Cancelled once its first checkpoint replaced the copy of the map (a new pass), so the
    // diskette is filed again with what it read.
    const std::string filedMap = ReadFileBytes(folder + "/" + name + ".map");
    ASSERT_FALSE(filedMap.empty());
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", slow[0]->file(), folder, "--resume", name}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] {
        const std::string map = ReadFileBytes(folder + "/." + name + ".part.map");
        return !map.empty() && map != filedMap;
    }));
    tool.Signal(SIGINT);
    tool.Signal(SIGTERM);
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(ReadFileBytes(folder + "/" + name + ".info").find("result: cancelled\n"),
              std::string::npos);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

}  // namespace
