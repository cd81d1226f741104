// A batch folder kept as a BagIt bag, judged by the reference validator (bagit-python, beside
// the project at ../shared/tools, never copied into it): after a batch, after a second run
// that adds diskettes, while a diskette is imaged and after a kill, after `bag` made an older
// folder one, and after a byte changed in data/, where the validator and check both fail.
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

}  // namespace
