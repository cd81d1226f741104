// A batch on several drives at once, each an image file standing in for a drive: each drive
// images its own diskettes, the count is over all of them, and the diskettes are named by a
// list of identifiers or by the answers typed at the terminal.
#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>
#include <map>
#include <memory>
#include <set>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/faulty_drive.h"
#include "tests/cli/pty_tool.h"
#include "tests/cli/slow_mount.h"

namespace {

// Whether text ends with line, a whole line of its own.
bool EndsWithLine(const std::string& text, const std::string& line) {
    const std::string whole = line + "\n";
    return text.size() >= whole.size() &&
           text.compare(text.size() - whole.size(), whole.size(), whole) == 0 &&
           (text.size() == whole.size() || text[text.size() - whole.size() - 1] == '\n');
}

class CliBatchDrives : public BatchFixture {
  protected:
    std::string Drive(int i) const { return dir / ("drive" + std::to_string(i)); }
    // Puts diskette d in drive i: a new file takes the drive's name at once.
    void Insert(int i, int d) {
        ASSERT_EQ(Shell("cp '" + Disk(d) + "' '" + Drive(i) + ".new' && mv '" + Drive(i) +
                        ".new' '" + Drive(i) + "'"),
                  0);
    }
    // The content hash in each info file of the folder, by diskette name.
    std::map<std::string, std::string> Filed() {
        std::map<std::string, std::string> filed;
        for (const std::string& name : ListNames(folder, ".info")) {
            const std::string info = ReadFileBytes(folder + "/" + name + ".info");
            const size_t at = info.find("content-sha256: ");
            filed[name] = at == std::string::npos ? "" : info.substr(at + 16, 64);
        }
        return filed;
    }
    std::vector<std::string> ListNames(const std::string& where, const std::string& ext) {
        const std::string list = dir / "list";
        Shell("ls '" + where + "' > '" + list + "' 2>/dev/null");
        std::vector<std::string> names;
        std::string all = ReadFileBytes(list);
        for (size_t start = 0, end; start < all.size(); start = end + 1) {
            end = all.find('\n', start);
            const std::string file = all.substr(start, end - start);
            if (file.size() > ext.size() &&
                file.compare(file.size() - ext.size(), ext.size(), ext) == 0)
                names.push_back(file.substr(0, file.size() - ext.size()));
        }
        return names;
    }
    // A drive whose diskette, d, has the faults of plan; nullptr (and why in *problem) where
    // the machine cannot offer one.
    std::unique_ptr<FaultyDrive> Faulty(int i, int d, const std::string& plan,
                                        std::string* problem) {
        const std::string where = dir / ("faulty" + std::to_string(i));
        Shell("mkdir -p '" + where + "'");
        auto drive = std::make_unique<FaultyDrive>(Disk(d), where, plan);
        *problem = drive->problem();
        return problem->empty() ? std::move(drive) : nullptr;
    }
};

TEST_F(CliBatchDrives, EachDriveImagesItsOwnDiskettesAndTheCountIsOverAllOfThem) {
    for (int i = 0; i < 3; ++i) Insert(i, i);
    ASSERT_EQ(RunTool({"batch", Drive(0), Drive(1), Drive(0), folder}).exitCode, 64)
        << "a drive named twice";
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", Drive(0), Drive(1), Drive(2), folder, "--count", "5"}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return LineCount(tool.OutputSoFar()) == 3; }))
        << tool.OutputSoFar();
    // Two drives get a new diskette each; the third waits on, and is stopped by the count.
    Insert(0, 1);
    Insert(1, 2);
    ToolResult batch = tool.Wait();
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    // Off a terminal only the filed diskettes are written, each with the drive that read it.
    ASSERT_EQ(LineCount(batch.out), 5) << batch.out;
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(batch.out.find(Drive(i) + "  disk-00"), std::string::npos) << batch.out;
    std::multiset<std::string> filed, expected;
    for (const auto& [name, sha] : Filed()) filed.insert(sha);
    for (int d : {0, 1, 2, 1, 2}) expected.insert(Sha256Of(Disk(d)));
    EXPECT_EQ(filed, expected);
    EXPECT_EQ(Filed().size(), 5u);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

TEST_F(CliBatchDrives, IdentifiersAreTakenInOrderAndNoneIsFiledTwice) {
    for (int i = 0; i < 3; ++i) Insert(i, i);
    const std::string ids = dir / "ids.txt";
    WriteFileBytes(ids, "MS-1\r\n\n  MS-2 \nMS-3\n");
    ToolResult two = RunTool({"batch", Drive(0), Drive(1), folder, "--ids", ids});
    ASSERT_EQ(two.exitCode, 0) << two.err;
    EXPECT_EQ(Filed().count("MS-1") + Filed().count("MS-2"), 2u) << two.out;

    // A later run passes over what is filed and says so.
    ToolResult next = RunTool({"batch", Drive(2), folder, "--ids", ids});
    ASSERT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(Filed()["MS-3"], Sha256Of(Disk(2)));
    EXPECT_NE(next.err.find("MS-1 is filed already"), std::string::npos) << next.err;

    // Used up: the diskette is not imaged under any other name.
    ToolResult none = RunTool({"batch", Drive(0), folder, "--ids", ids});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("is not imaged"), std::string::npos) << none.err;
    EXPECT_EQ(Filed().size(), 3u);

    WriteFileBytes(ids, "A\nB\nA\n");
    ToolResult twice = RunTool({"batch", Drive(0), folder, "--ids", ids});
    EXPECT_EQ(twice.exitCode, 64);
    EXPECT_NE(twice.err.find("line 3: A: it stands on line 1"), std::string::npos) << twice.err;
}

TEST_F(CliBatchDrives, AFailingEachCommandIsKeptWithTheDisketteAndTheBatchGoesOn) {
    Insert(0, 0);
    Insert(1, 1);
    ToolResult r = RunTool({"batch", Drive(0), Drive(1), folder, "--each",
                            "test \"$TAVREL_NAME\" = disk-001 || exit 3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("--each for disk-002: exited with status 3"), std::string::npos) << r.err;
    EXPECT_NE(ReadFileBytes(folder + "/disk-001.info").find("\neach: done\n"), std::string::npos);
    EXPECT_NE(ReadFileBytes(folder + "/disk-002.info").find("\neach: failed: exited with status 3"),
              std::string::npos);
    // The info written again is the one the manifests list.
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

TEST_F(CliBatchDrives, AskTakesEachIdentifierAndLabelAtTheTerminal) {
    Insert(0, 0);
    Insert(1, 1);
    PtyTool tool;
    ASSERT_TRUE(tool.Start({"batch", Drive(0), Drive(1), folder, "--ask"}));
    size_t at = 0;
    ASSERT_TRUE(tool.WaitFor("Identifier of the next diskette in ", 0, &at)) << tool.screen();
    tool.Type("MS-9\n");
    ASSERT_TRUE(tool.WaitFor("Text on its label", at, &at)) << tool.screen();
    tool.Type("Letters, 1987\n");
    // The same identifier for the other drive's diskette is refused and asked again.
    ASSERT_TRUE(tool.WaitFor("Identifier of the next diskette in ", at, &at)) << tool.screen();
    tool.Type("MS-9\n");
    ASSERT_TRUE(tool.WaitFor("MS-9 is ", at, &at)) << tool.screen();
    ASSERT_TRUE(tool.WaitFor("Identifier of the next diskette in ", at, &at)) << tool.screen();
    tool.Type("\n");  // the next number
    ASSERT_TRUE(tool.WaitFor("Text on its label", at, &at)) << tool.screen();
    tool.Type("\n");
    // Both are imaged; the drive done first asks for its next diskette, and Ctrl+D there ends
    // the batch. What was filed meanwhile is shown once the question is out of the way.
    ASSERT_TRUE(tool.WaitFor("Identifier of the next diskette in ", at, &at)) << tool.screen();
    tool.Type("\x04");
    EXPECT_EQ(tool.Wait(), 0) << tool.screen();
    EXPECT_NE(tool.screen().find("MS-9: done"), std::string::npos) << tool.screen();
    EXPECT_NE(tool.screen().find("disk-001: done"), std::string::npos) << tool.screen();
    const std::string info = ReadFileBytes(folder + "/MS-9.info");
    EXPECT_NE(info.find("label-text: Letters, 1987\n"), std::string::npos) << info;
    EXPECT_NE(info.find("identifier: MS-9\n"), std::string::npos) << info;
    EXPECT_EQ(Filed().size(), 2u);
}

TEST_F(CliBatchDrives, TheScreenKeepsALineForEachDriveAndCtrlCEndsThemAll) {
    Insert(0, 0);
    Insert(1, 1);
    // Narrow, so that a drive's line would wrap if it were not cut.
    PtyTool tool;
    ASSERT_TRUE(tool.Start({"batch", "drive0", "drive1", "box"}, 50, dir.path()));
    ASSERT_TRUE(tool.WaitFor("drive0  Remove the diskette")) << tool.screen();
    ASSERT_TRUE(tool.WaitFor("drive1  Remove the diskette")) << tool.screen();
    tool.Type("\x03");
    EXPECT_EQ(tool.Wait(), 0) << tool.screen();
    EXPECT_NE(tool.screen().find("Batch ended: 2 done"), std::string::npos) << tool.screen();
    // With no diskette in hand there is nothing to end after: the batch just ends.
    EXPECT_EQ(tool.screen().find("Ending after this diskette"), std::string::npos) << tool.screen();
    // A drive's line is drawn within the terminal's width (the escapes that move the cursor
    // take no room).
    std::string shown;
    for (size_t i = 0; i < tool.screen().size(); ++i) {
        const char c = tool.screen()[i];
        if (c == '\x1b') {
            while (i < tool.screen().size() &&
                   !std::isalpha(static_cast<unsigned char>(tool.screen()[i])))
                ++i;
            continue;
        }
        if (c == '^' && i + 1 < tool.screen().size() && tool.screen()[i + 1] == 'C')
            ++i;  // the terminal's echo of the Ctrl+C
        else if (c != '\r')
            shown += c;
    }
    for (size_t start = 0, end; start < shown.size(); start = end + 1) {
        end = shown.find('\n', start);
        const std::string line = shown.substr(start, end - start);
        const bool driveLine = line.find("  Remove the") != std::string::npos ||
                               line.find("  Insert a") != std::string::npos;
        if (driveLine) {
            EXPECT_LT(line.size(), 50u) << line;
        }
    }
}

// With -q and off a terminal, the first Ctrl+C is answered all the same, on standard error, and
// once for all the drives.
TEST_F(CliBatchDrives, TheFirstCtrlCIsAnsweredOnceForAllTheDrives) {
    SlowMount slow0(Disk(0), dir / "mnt0", 20), slow1(Disk(1), dir / "mnt1", 20);
    if (!slow0.mounted() || !slow1.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"-q", "batch", slow0.file(), slow1.file(), folder}));
    // Each drive is locked by the job reading it.
    ASSERT_TRUE(WaitWhileRunning(
        tool, [&] { return tool.HoldsLockOn(slow0.file()) && tool.HoldsLockOn(slow1.file()); }));
    tool.Signal(SIGINT);
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "Ending after this diskette; Ctrl+C again cancels it.\n");
    EXPECT_EQ(LineCount(r.out), 2) << r.out;
    EXPECT_EQ(Filed().size(), 2u);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

// Two diskettes rescued with sectors lost: the last line adds up every drive's.
TEST_F(CliBatchDrives, TheBatchEndedLineCountsTheSectorsLostOnEveryDrive) {
    std::string problem;
    auto first = Faulty(0, 0, "bad 100 3\n", &problem);
    if (!first) SKIP_OR_FAIL(problem);
    auto second = Faulty(1, 2, "bad 2000\n", &problem);
    if (!second) SKIP_OR_FAIL(problem);
    ToolResult r = RunTool({"batch", "--rescue", first->path(), second->path(), folder});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(EndsWithLine(r.err, "Batch ended: 2 done, 0 failed, 4 unreadable sectors"))
        << r.err;
    EXPECT_NE(r.out.find(first->path() + "  disk-00"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": unreadable sectors, 1.44 MB (F0), 3 unreadable sectors"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(": unreadable sectors, 1.44 MB (F0), 1 unreadable sector"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

// A diskette that fails on one drive is filed as failed, and the other drives go on until the
// count is reached.
TEST_F(CliBatchDrives, OneDrivesFailureLeavesTheOthersToGoOnToTheEnd) {
    std::string problem;
    auto faulty = Faulty(0, 0, "bad 100\n", &problem);
    if (!faulty) SKIP_OR_FAIL(problem);
    Insert(1, 1);
    Insert(2, 2);
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", faulty->path(), Drive(1), Drive(2), folder, "--count", "4"}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return LineCount(tool.OutputSoFar()) == 3; }))
        << tool.OutputSoFar();
    EXPECT_NE(tool.OutputSoFar().find(faulty->path() + "  disk-00"), std::string::npos);
    Insert(1, 0);
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(EndsWithLine(r.err, "Batch ended: 3 done, 1 failed, 0 unreadable sectors"))
        << r.err;
    std::multiset<std::string> filed, expected;
    for (const auto& [name, sha] : Filed()) filed.insert(sha);
    for (int d : {1, 2, 0}) expected.insert(Sha256Of(Disk(d)));
    expected.insert("");  // the failed one: no content
    EXPECT_EQ(filed, expected);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

}  // namespace
