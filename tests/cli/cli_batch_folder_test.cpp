// A batch folder through what goes wrong: a batch killed, cancelled or failing half-way, several
// batches filing into one folder at once, input that must be refused, and the end of standard
// input. Afterwards the folder must check, a rerun must leave nothing unlisted, and no sector
// that was read may be lost.
#include <gtest/gtest.h>
#include <signal.h>

#include <set>
#include <sstream>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

class CliBatchFolder : public BatchFixture {
  protected:
    // The hidden files in the folder, its lock file aside: unfinished work of a batch.
    static std::vector<std::string> Leftovers(const std::string& folder) {
        std::vector<std::string> hidden;
        for (const std::string& name : Listing(folder))
            if (name[0] == '.' && name != ".batch.lock") hidden.push_back(name);
        return hidden;
    }
    // A drive that serves Disk(0) slowly, and fails reads as plan says once it is replaced.
    bool SlowDrive(const std::string& plan) {
        WriteFileBytes(planFile, plan);
        slow = std::make_unique<SlowMount>(Disk(0), dir / "mnt", planFile);
        return slow->mounted();
    }
    void SetPlan(const std::string& plan) {
        WriteFileBytes(planFile + ".new", plan);
        ASSERT_EQ(::rename((planFile + ".new").c_str(), planFile.c_str()), 0);
    }
    // The bytes the map marks read, each as the image holds it and as the diskette has it;
    // the number of them, or -1 where one differs.
    long long SectorsReadAndKept(const std::string& base) {
        const std::string raw = dir / "decoded.raw";
        EXPECT_EQ(RunTool({"convert", base + ".tvl", raw, "--force"}).exitCode, 0);
        const std::string image = ReadFileBytes(raw), disk = ReadFileBytes(Disk(0));
        std::istringstream map(ReadFileBytes(base + ".map"));
        std::string line;
        long long read = 0;
        bool status = false;
        while (std::getline(map, line)) {
            if (line.empty() || line[0] == '#') continue;
            if (!status) {
                status = true;  // "current_pos current_status current_pass"
                continue;
            }
            std::istringstream block(line);
            long long pos = 0, size = 0;
            char state = 0;
            block >> std::hex >> pos >> size >> state;
            if (state != '+') continue;
            if (image.compare(pos, size, disk, pos, size) != 0) return -1;
            read += size;
        }
        return read;
    }
    const std::string planFile = dir / "plan";
    std::unique_ptr<SlowMount> slow;
};

// Four ways a diskette's imaging ends early. The folder checks afterwards, a rerun files or
// clears what was left, and whatever a rescue read stays in the folder.
TEST_F(CliBatchFolder, AnInterruptedBatchLeavesAFolderThatChecksAndARerunFinishesIt) {
    if (!SlowDrive("delay 15\n"))
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    // A diskette filed first, so the folder has manifests to check.
    ASSERT_EQ(RunTool({"batch", Disk(1), folder, "--count", "1"}).exitCode, 0);
    const std::string part = folder + "/.disk-002.part.tvl";

    // 1. Killed during verify: the image is complete under its hidden name, nothing filed.
    {
        ToolProcess tool;
        ASSERT_TRUE(tool.Start({"batch", slow->file(), folder, "--count", "1"}));
        ASSERT_TRUE(WaitWhileRunning(tool, [&] { return SizeOf(part) > 0; }));
        tool.Signal(SIGKILL);
        tool.Wait();
        EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
        ToolResult rerun = RunTool({"batch", Disk(2), folder, "--count", "1"});
        EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
        EXPECT_NE(rerun.err.find("disk-002: the unfinished image"), std::string::npos) << rerun.err;
        // The name came free again, and the new diskette took it.
        EXPECT_NE(ReadFileBytes(folder + "/disk-002.info").find(Sha256Of(Disk(2))),
                  std::string::npos);
        EXPECT_EQ(Leftovers(folder), std::vector<std::string>{});
        EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    }
    // 2 and 3. A rescue cancelled, as .tvl and with --raw: image and map are filed together,
    // and --resume finishes them in the folder.
    for (const std::string name : {"disk-003", "disk-004"}) {
        const bool raw = name == "disk-004";
        ToolProcess tool;
        std::vector<std::string> args = {"batch", slow->file(), folder, "--rescue"};
        if (raw) args.push_back("--raw");
        ASSERT_TRUE(tool.Start(args));
        ASSERT_TRUE(
            WaitWhileRunning(tool, [&] { return SizeOf(folder + "/." + name + ".part.tvl") > 0; }));
        tool.Signal(SIGINT);
        tool.Signal(SIGTERM);
        ToolResult r = tool.Wait();
        EXPECT_EQ(r.exitCode, 2) << r.err;
        const std::string info = ReadFileBytes(folder + "/" + name + ".info");
        EXPECT_NE(info.find("result: cancelled\n"), std::string::npos) << info;
        EXPECT_NE(info.find("untried-sectors: "), std::string::npos) << info;
        EXPECT_NE(info.find("--resume " + name), std::string::npos) << info;
        ASSERT_GT(SizeOf(folder + "/" + name + ".tvl"), 0) << r.err;
        EXPECT_GT(SectorsReadAndKept(folder + "/" + name), 0) << r.err;
        EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);

        std::vector<std::string> resume = {"batch", Disk(0), folder, "--resume", name};
        if (raw) resume.push_back("--raw");
        EXPECT_NE(info.find(raw ? name + " --raw" : name + "\n"), std::string::npos) << info;
        ToolResult resumed = RunTool(resume);
        EXPECT_EQ(resumed.exitCode, 0) << resumed.err << resumed.out;
        const std::string done = ReadFileBytes(folder + "/" + name + ".info");
        EXPECT_NE(done.find("result: done\n"), std::string::npos) << done;
        EXPECT_NE(done.find("content-sha256: " + Sha256Of(Disk(0))), std::string::npos) << done;
        if (raw) {
            EXPECT_TRUE(SameBytes(folder + "/" + name + ".img", Disk(0)));
            EXPECT_EQ(SizeOf(folder + "/" + name + ".tvl"), -1);
        }
        EXPECT_EQ(Leftovers(folder), std::vector<std::string>{});
        EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    }
    // 4. --raw, and the verify cannot read a sector the compress read: filed as failed, with
    // the raw image it made listed and its boot fields read.
    {
        SetPlan("delay 5\n");
        ToolProcess tool;
        ASSERT_TRUE(tool.Start({"batch", slow->file(), folder, "--count", "1", "--raw"}));
        ASSERT_TRUE(
            WaitWhileRunning(tool, [&] { return SizeOf(folder + "/.disk-005.part.tvl") > 0; }));
        SetPlan("bad 2870\n");
        ToolResult r = tool.Wait();
        EXPECT_EQ(r.exitCode, 2) << r.err;
        const std::string info = ReadFileBytes(folder + "/disk-005.info");
        EXPECT_NE(info.find("result: failed\n"), std::string::npos) << info;
        EXPECT_NE(info.find("verify: failed"), std::string::npos) << info;
        EXPECT_NE(info.find("oem-name: mkfs.fat\n"), std::string::npos) << info;
        EXPECT_TRUE(SameBytes(folder + "/disk-005.img", Disk(0)));
        EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    }
    // 5. The diskette differs from its image at the verify: the message names the diskette's
    // entry and the drive as the user gave it, not the hidden file and a letter of the tool's.
    {
        SetPlan("delay 5\n");
        ToolProcess tool;
        ASSERT_TRUE(tool.Start({"batch", slow->file(), folder, "--count", "1"}));
        ASSERT_TRUE(
            WaitWhileRunning(tool, [&] { return SizeOf(folder + "/.disk-006.part.tvl") > 0; }));
        // One byte written in place: a whole new file would be short for a moment, and read so.
        ASSERT_EQ(Shell("printf 'Z' | dd of='" + Disk(0) + "' bs=1 seek=" +
                        std::to_string(2870 * 512 + 10) + " conv=notrunc status=none"),
                  0);
        ToolResult r = tool.Wait();
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find("disk-006.tvl and " + slow->file() + " are NOT the same!"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(ReadFileBytes(folder + "/disk-006.info").find("verify: different at"),
                  std::string::npos);
        EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    }
    EXPECT_EQ(Shell("cd '" + folder + "' && sha256sum --quiet -c manifest-sha256.txt"), 0);
}

// Batches on three drives file into one folder at the same moment: every image is kept under a
// name of its own, and the manifests agree with the files.
TEST_F(CliBatchFolder, SeveralBatchesFileIntoOneFolderAtOnce) {
    for (int round = 0; round < 3; ++round) {
        std::vector<std::unique_ptr<ToolProcess>> tools;
        for (int i = 0; i < 3; ++i) {
            tools.push_back(std::make_unique<ToolProcess>());
            ASSERT_TRUE(tools.back()->Start(
                {"batch", Disk(i), folder, "--count", "1", "--hash", "md5,sha256"}));
        }
        for (auto& tool : tools) {
            ToolResult r = tool->Wait();
            EXPECT_EQ(r.exitCode, 0) << r.err;
        }
    }
    std::set<std::string> contents;
    for (int n = 1; n <= 9; ++n) {
        const std::string info = ReadFileBytes(folder + "/disk-00" + std::to_string(n) + ".info");
        const size_t at = info.find("content-sha256: ");
        ASSERT_NE(at, std::string::npos) << n;
        contents.insert(info.substr(at + 16, 64));
    }
    EXPECT_EQ(contents,
              (std::set<std::string>{Sha256Of(Disk(0)), Sha256Of(Disk(1)), Sha256Of(Disk(2))}));
    // Four files a diskette, and batch.csv and report.html.
    EXPECT_EQ(LineCount(ReadFileBytes(folder + "/manifest-sha256.txt")), 38);
    EXPECT_EQ(LineCount(ReadFileBytes(folder + "/batch.csv")), 10);
    // The page, written whole after each diskette, has every one of them.
    const std::string page = ReadFileBytes(folder + "/report.html");
    for (int n = 1; n <= 9; ++n)
        EXPECT_NE(page.find("<tr id=\"disk-00" + std::to_string(n) + "\""), std::string::npos) << n;
    EXPECT_EQ(Shell("cd '" + folder + "' && sha256sum --quiet -c manifest-sha256.txt"), 0);
    EXPECT_EQ(Shell("cd '" + folder + "' && md5sum --quiet -c manifest-md5.txt"), 0);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    EXPECT_EQ(Leftovers(folder), std::vector<std::string>{});
}

// What would hang, spin, crash or write unreadable manifests is refused before anything runs.
TEST_F(CliBatchFolder, InputThatCannotWorkIsRefusedAtOnce) {
    const std::vector<std::vector<std::string>> refused = {
        {"batch", Disk(0), folder, "--name", "d{n:040}"},
        {"batch", Disk(0), folder, "--name", "d{n:99999999999}"},
        {"batch", Disk(0), folder, "--name", "d{n}\nx"},
        {"batch", Disk(0), folder, "--name", "../d{n}"},
        {"batch", Disk(0), folder, "--name", ".d{n}"},
        {"batch", Disk(0), folder, "--name", "d{n}{n}"},
        {"batch", dir / "no-such-drive.img", folder},
        {"batch", Disk(0), folder, "--resume", "../disk-001"},
    };
    for (const auto& args : refused) {
        ToolResult r = RunTool(args);
        EXPECT_EQ(r.exitCode, 64) << args[3] << ": " << r.err;
        EXPECT_NE(r.err.find("tavrel-cli: "), std::string::npos) << r.err;
    }
    EXPECT_FALSE(FileExists(folder));
}

// Without --count the end of standard input ends the batch, once the diskette already in the
// drive is filed; a diskette filed again is named as such.
TEST_F(CliBatchFolder, TheEndOfInputEndsTheBatchAfterTheDisketteInTheDrive) {
    const std::string cli = TAVREL_CLI;
    for (const std::string input : {"< /dev/null", "true |"}) {
        const std::string command =
            input == "true |"
                ? "true | '" + cli + "' batch '" + Disk(0) + "' '" + folder + "'"
                : "'" + cli + "' batch '" + Disk(0) + "' '" + folder + "' < /dev/null";
        ASSERT_EQ(Shell(command + " > '" + dir / "out.txt" + "' 2>&1"), 0) << input;
        EXPECT_NE(ReadFileBytes(dir / "out.txt").find("Batch ended: 1 done"), std::string::npos)
            << ReadFileBytes(dir / "out.txt");
    }
    const std::string second = ReadFileBytes(dir / "out.txt");
    EXPECT_NE(second.find("disk-002: done"), std::string::npos) << second;
    EXPECT_NE(second.find("same content as disk-001"), std::string::npos) << second;
    EXPECT_NE(ReadFileBytes(folder + "/disk-002.info").find("same-content-as: disk-001\n"),
              std::string::npos);
}

}  // namespace
