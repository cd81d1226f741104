// A batch folder kept as a BagIt bag, judged by the reference validator (bagit-python, beside
// the project at ../shared/tools, never copied into it): after a batch, after a second run
// that adds diskettes, while a diskette is imaged and after a kill, after `bag` made an older
// folder one, with a % in a diskette's name, and after a byte changed in data/, where the
// validator and check both fail.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

const std::string kValidator =
    std::string(TAVREL_SOURCE_DIR) + "/../shared/tools/bagit_validate.py";

class CliBag : public BatchFixture {
  protected:
    void SetUp() override {
        BatchFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!FileExists(kValidator)) SKIP_OR_FAIL("the BagIt validator is not at " + kValidator);
    }
    // The validator's exit code, its output in *said.
    int Validate(std::string* said) {
        const std::string out = dir / "validator.txt";
        const int code =
            Shell("python3 '" + kValidator + "' '" + folder + "' > '" + out + "' 2>&1");
        *said = ReadFileBytes(out);
        return code;
    }
    void ExpectValid(const std::string& when) {
        std::string said;
        EXPECT_EQ(Validate(&said), 0) << when << ": " << said;
        EXPECT_EQ(said, "valid\n") << when;
        ToolResult r = RunTool({"check", folder});
        EXPECT_EQ(r.exitCode, 0) << when << ": " << r.out << r.err;
        EXPECT_NE(r.out.find(folder + " (bag): "), std::string::npos) << when << ": " << r.out;
    }
    // The folder's top, hidden files aside.
    std::vector<std::string> Top() {
        std::vector<std::string> names;
        for (const std::string& name : Listing(folder))
            if (name[0] != '.') names.push_back(name);
        return names;
    }
    const std::vector<std::string> kBagTop = {
        "bag-info.txt",          "bagit.txt",           "data",
        "manifest-md5.txt",      "manifest-sha256.txt", "tagmanifest-md5.txt",
        "tagmanifest-sha256.txt"};
};

TEST_F(CliBag, ABatchKeepsABagThatSecondRunsAddToAndAChangedByteBreaks) {
    ToolResult r = RunTool({"batch", Disk(0), folder, "--count", "1", "--bag", "--hash",
                            "md5,sha256", "--operator", "A. Archivist", "--box", "box-17"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectValid("after a batch");
    EXPECT_EQ(Top(), kBagTop);
    EXPECT_EQ(Listing(folder + "/data"),
              (std::vector<std::string>{"batch.csv", "disk-001.dfxml", "disk-001.info",
                                        "disk-001.svg", "disk-001.tvl", "report.html"}));
    const std::string info = ReadFileBytes(folder + "/bag-info.txt");
    for (const std::string field :
         {"Bag-Software-Agent: tavrel-cli ", "Bagging-Date: ", "Payload-Oxum: ",
          "Contact-Name: A. Archivist\n", "Internal-Sender-Identifier: box-17\n"})
        EXPECT_NE(info.find(field), std::string::npos) << field << " in " << info;
    EXPECT_EQ(ReadFileBytes(folder + "/bagit.txt"),
              "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n");

    // A second run, without --bag, keeps it a bag: the diskettes are added under data/.
    r = RunTool({"batch", Disk(1), folder, "--count", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunTool({"batch", Disk(2), folder, "--count", "1", "--bag", "--rescue"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectValid("after two more runs");
    EXPECT_EQ(Top(), kBagTop);
    EXPECT_EQ(LineCount(ReadFileBytes(folder + "/manifest-md5.txt")), 15);
    EXPECT_NE(ReadFileBytes(folder + "/manifest-sha256.txt").find("  data/disk-003.map\n"),
              std::string::npos);
    EXPECT_NE(ReadFileBytes(folder + "/bag-info.txt").find("Contact-Name: A. Archivist\n"),
              std::string::npos);

    // A changed byte in data/: both the validator and check fail, naming the file.
    FlipByte(folder + "/data/disk-002.tvl", 100);
    std::string said;
    EXPECT_EQ(Validate(&said), 1) << said;
    EXPECT_NE(said.find("invalid: Bag validation failed: "), std::string::npos) << said;
    EXPECT_NE(said.find("data/disk-002.tvl sha256 validation failed"), std::string::npos) << said;
    r = RunTool({"check", folder});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(
        r.out,
        "data/disk-002.tvl: sha256 differs from manifest-sha256.txt, md5 differs from "
        "manifest-md5.txt\ndata/disk-002.tvl: content sha256 differs from data/disk-002.info\n")
        << r.out;
    EXPECT_NE(r.err.find(folder + " (bag): 2 problems"), std::string::npos) << r.err;
}

// While a diskette is imaged its files are hidden at the bag's top, outside data/: the bag is
// valid then, and after the batch is killed.
TEST_F(CliBag, ABagIsValidWhileADisketteIsImagedAndAfterAKill) {
    ASSERT_EQ(RunTool({"batch", Disk(1), folder, "--count", "1", "--bag"}).exitCode, 0);
    SlowMount slow(Disk(0), dir / "mnt", 40);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", slow.file(), folder, "--count", "1", "--rescue"}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return SizeOf(folder + "/.disk-002.part.map") > 0; }));
    ExpectValid("while a diskette is imaged");
    tool.Signal(SIGKILL);
    tool.Wait();
    ExpectValid("after a kill");
    // The next batch files what the killed one read, and the bag stays valid.
    ToolResult r = RunTool({"batch", Disk(2), folder, "--count", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("disk-002: filed as interrupted"), std::string::npos) << r.err;
    ExpectValid("after the rerun");
}

TEST_F(CliBag, BagMakesAnOlderFolderABagOnceNoBatchIsAtWork) {
    ASSERT_EQ(RunTool({"batch", Disk(0), folder, "--count", "1", "--rescue"}).exitCode, 0);
    ASSERT_EQ(RunTool({"batch", Disk(1), folder, "--count", "1", "--hash", "md5"}).exitCode, 0);
    const std::vector<std::string> before = Listing(folder);

    // Refused while a batch holds the folder's lock, or with a file no manifest lists.
    {
        const int lock = ::open((folder + "/.batch.lock").c_str(), O_RDONLY);
        ASSERT_GE(lock, 0);
        ASSERT_EQ(::flock(lock, LOCK_EX), 0);
        ToolResult r = RunTool({"bag", folder});
        ::close(lock);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("a batch is at work in " + folder), std::string::npos) << r.err;
    }
    WriteFileBytes(folder + "/notes.txt", "box 17\n");
    ToolResult r = RunTool({"bag", folder});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("notes.txt is in no manifest"), std::string::npos) << r.err;
    ASSERT_EQ(::unlink((folder + "/notes.txt").c_str()), 0);
    EXPECT_EQ(Listing(folder), before);

    r = RunTool({"bag", folder});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, folder + " is a bag now: 11 files under " + folder + "/data\n");
    ExpectValid("after bag");
    // The md5 manifest lists the diskette filed before it was asked for, as the batch left it.
    EXPECT_EQ(LineCount(ReadFileBytes(folder + "/manifest-md5.txt")), 11);
    r = RunTool({"bag", folder});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, folder + " is a bag already (tavrel-cli check " + folder + " checks it)\n");

    // A tag file changed: its Payload-Oxum no longer the payload's.
    const std::string info = ReadFileBytes(folder + "/bag-info.txt");
    WriteFileBytes(folder + "/bag-info.txt",
                   info.substr(0, info.find("Payload-Oxum: ")) + "Payload-Oxum: 1.6\n");
    std::string said;
    EXPECT_EQ(Validate(&said), 1) << said;
    EXPECT_NE(said.find("invalid: Payload-Oxum validation failed"), std::string::npos) << said;
    r = RunTool({"check", folder});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.out.find("bag-info.txt: md5 differs from tagmanifest-md5.txt, sha256 differs "
                         "from tagmanifest-sha256.txt\nbag-info.txt: Payload-Oxum 1.6, but data/ "
                         "holds "),
              std::string::npos)
        << r.out;
}

// The cells of batch.csv as Python's csv module reads them, one row a line, cells joined by |.
std::string CsvCells(const std::string& csv, const TempDir& dir) {
    const std::string out = dir / "cells.txt";
    Shell(
        "python3 -c \"import csv, sys\nfor row in csv.reader(open(sys.argv[1], newline=''))"
        ": print('|'.join(row))\" '" +
        csv + "' > '" + out + "'");
    return ReadFileBytes(out);
}

// What an operator types reaches the manifests and batch.csv: a name holding a % is listed as
// every reader reads it, one that reads as percent-encoded is refused, and a cell a spreadsheet
// would take for a formula stays text.
TEST_F(CliBag, APercentInANameKeepsTheBagValidAndTypedFormulasStayText) {
    const std::string ids = dir / "ids.txt";
    WriteFileBytes(ids, "ACC%0a1\n");
    ToolResult r = RunTool({"batch", Disk(0), folder, "--count", "1", "--bag", "--ids", ids});
    EXPECT_EQ(r.exitCode, 64);
    EXPECT_NE(r.err.find("line 1: ACC%0a1: a diskette's name may not hold a % before two "
                         "hexadecimal digits"),
              std::string::npos)
        << r.err;
    // A pattern whose number would complete one: ACC%10.
    r = RunTool({"batch", Disk(0), folder, "--count", "1", "--bag", "--name", "ACC%{n}"});
    EXPECT_EQ(r.exitCode, 64);
    EXPECT_NE(r.err.find("a name may not hold a % before two hexadecimal digits"),
              std::string::npos)
        << r.err;

    WriteFileBytes(ids, "ACC%1\n=1+1\n");
    for (int i : {0, 1}) {
        r = RunTool({"batch", Disk(i), folder, "--count", "1", "--bag", "--hash", "sha256", "--ids",
                     ids, "--operator", "=cmd|' /C calc'!A0", "--note", "\t@shelf\t2"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    // A file put in data/ whose name holds a line end, listed as a bag lists it: kept when the
    // next diskette is filed, and read back by check as by the validator.
    WriteFileBytes(dir / "notes.txt", "box 7\n");
    WriteFileBytes(folder + "/data/notes\n1.txt", "box 7\n");
    WriteFileBytes(folder + "/manifest-sha256.txt", ReadFileBytes(folder + "/manifest-sha256.txt") +
                                                        Sha256Of(dir / "notes.txt") +
                                                        "  data/notes%0A1.txt\n");
    // A batch that stopped once =1+1 was filed left its reservation: the next one makes its
    // lines and its row whole, the row in place of the one there.
    WriteFileBytes(folder + "/.=1+1.batch", "");
    r = RunTool({"batch", Disk(2), folder, "--count", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("=1+1: its manifest lines and batch.csv row made whole"),
              std::string::npos)
        << r.err;
    ExpectValid("with a % and a formula in names");
    EXPECT_NE(ReadFileBytes(folder + "/manifest-sha256.txt").find("  data/ACC%1.tvl\n"),
              std::string::npos);

    const std::string cells = CsvCells(folder + "/data/batch.csv", dir);
    EXPECT_EQ(LineCount(cells), 4) << cells;
    EXPECT_EQ(cells.rfind("name|time|format|result|unreadable sectors|", 0), 0u) << cells;
    for (const std::string& row : std::vector<std::string>{
             "\nACC%1|",
             "|0|" + Sha256Of(Disk(0)) + "||ACC%1||'=cmd|' /C calc'!A0|' @shelf 2|image file|\n",
             "\n'=1+1|",
             "|0|" + Sha256Of(Disk(1)) + "||'=1+1||'=cmd|' /C calc'!A0|' @shelf 2|image file|\n",
             "\ndisk-001|"})
        EXPECT_NE(cells.find(row), std::string::npos) << row << " in " << cells;

    // A changed byte in the %-named image: both fail, naming it.
    FlipByte(folder + "/data/ACC%1.tvl", 100);
    std::string said;
    EXPECT_EQ(Validate(&said), 1) << said;
    EXPECT_NE(said.find("data/ACC%1.tvl sha256 validation failed"), std::string::npos) << said;
    r = RunTool({"check", folder});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.out.find("data/ACC%1.tvl: sha256 differs from manifest-sha256.txt\n"),
              std::string::npos)
        << r.out;
    // The file with a line end in its name gone: named on one line, as the manifest names it.
    ASSERT_EQ(::unlink((folder + "/data/notes\n1.txt").c_str()), 0);
    r = RunTool({"check", folder});
    EXPECT_NE(r.out.find("\ndata/notes%0A1.txt: missing (listed in manifest-sha256.txt)\n"),
              std::string::npos)
        << r.out;
}

// A name an older version took, ACC%0A1, would read as ACC, a line end and 1: made a bag, the
// folder lists it with its % encoded, and check decodes it. (The reference validator reads %25
// as itself, as most bag readers do: that is why such names are refused now.)
TEST_F(CliBag, BagEncodesAPercentThatWouldReadAsAnEncodedCharacter) {
    ASSERT_EQ(RunTool({"batch", Disk(0), folder, "--count", "1", "--hash", "sha256"}).exitCode, 0);
    ASSERT_EQ(Shell("cd '" + folder +
                    "' && for f in disk-001.*; do mv \"$f\" \"ACC%0A1.${f#*.}\"; done && "
                    "sed -i 's/disk-001/ACC%0A1/' ACC%0A1.info && "
                    "sha256sum ACC%0A1.* > manifest-sha256.txt"),
              0);
    ASSERT_EQ(RunTool({"check", folder}).exitCode, 0);
    ToolResult r = RunTool({"bag", folder});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string manifest = ReadFileBytes(folder + "/manifest-sha256.txt");
    EXPECT_NE(manifest.find("  data/ACC%250A1.tvl\n"), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("%0A1"), std::string::npos) << manifest;
    r = RunTool({"check", folder});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    FlipByte(folder + "/data/ACC%0A1.tvl", 100);
    r = RunTool({"check", folder});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.out.find("data/ACC%0A1.tvl: sha256 differs from manifest-sha256.txt\n"),
              std::string::npos)
        << r.out;
}

}  // namespace
