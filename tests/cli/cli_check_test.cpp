// check on a batch folder changed in one way at a time: each problem is one line, every file no
// manifest lists is one, and an image is told raw or compressed by its content, not its name.
#include <gtest/gtest.h>

#include <functional>

#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

namespace {

class CliCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        ASSERT_TRUE(MakeFloppyImage(disk, kFloppyFormats[4]));
        ASSERT_TRUE(MakeFloppyImage(other, kFloppyFormats[4], false));
    }
    // A folder batch filed the diskette in, with an MD5 and a SHA-256 manifest.
    void FileDiskette(const std::string& box, bool raw = false) {
        std::vector<std::string> args = {"batch", disk,     box,         "--count",
                                         "1",     "--hash", "md5,sha256"};
        if (raw) args.push_back("--raw");
        ToolResult r = RunTool(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    std::string Sha256Of(const std::string& path) { return Sha256Sum(path, dir); }
    TempDir dir;
    const std::string disk = dir / "disk.raw";
    const std::string other = dir / "other.raw";
};

// The manifests made anew, as the system's tools write them, for the files named.
void Remanifest(const std::string& box, const std::string& names) {
    ASSERT_EQ(Shell("cd '" + box + "' && sha256sum " + names + " > manifest-sha256.txt && md5sum " +
                    names + " > manifest-md5.txt"),
              0);
}

// The image renamed, in the info file and both manifests too.
void Rename(const std::string& box, const std::string& from, const std::string& to) {
    ASSERT_EQ(Shell("cd '" + box + "' && mv " + from + " " + to +
                    " && sed -i 's/^image: .*/image: " + to + "/' disk-001.info"),
              0);
    Remanifest(box, to + " disk-001.dfxml disk-001.svg disk-001.info batch.csv report.html");
}

TEST_F(CliCheck, EachProblemIsOneLineAndEveryUnlistedFileIsOne) {
    const std::string pristine = dir / "pristine";
    FileDiskette(pristine);
    struct Case {
        const char* what;
        std::function<void(const std::string& box)> change;
        std::string problems;  // check's standard output; none: the folder matches
    };
    const Case cases[] = {
        {"untouched", [](const std::string&) {}, ""},
        {"manifests with lines that list no file",
         [](const std::string& box) {
             Shell("cd '" + box + "' && printf '\\nbroken\\n# a note\\n' >> manifest-sha256.txt");
         },
         ""},
        {"an image no manifest lists",
         [](const std::string& box) {
             Remanifest(box, "disk-001.dfxml disk-001.svg disk-001.info batch.csv report.html");
         },
         "disk-001.tvl: not in any manifest\n"},
        // The record of what was read is under fixity like what was read.
        {"a changed row in batch.csv",
         [](const std::string& box) {
             Shell("sed -i 's/,done,/,failed,/' '" + box + "/batch.csv'");
         },
         "batch.csv: sha256 differs from manifest-sha256.txt, md5 differs from manifest-md5.txt\n"},
        {"a changed report.html",
         [](const std::string& box) { Shell("sed -i 's/done/failed/' '" + box + "/report.html'"); },
         "report.html: sha256 differs from manifest-sha256.txt, md5 differs from "
         "manifest-md5.txt\n"},
        // An older folder, which listed neither, is noted, not failed.
        {"batch.csv and report.html in no manifest",
         [](const std::string& box) {
             Remanifest(box, "disk-001.tvl disk-001.dfxml disk-001.svg disk-001.info");
         },
         ""},
        {"an info file no manifest lists",
         [](const std::string& box) {
             Shell("cp '" + box + "/disk-001.info' '" + box + "/disk-002.info'");
         },
         "disk-002.info: not in any manifest\n"},
        // Unlisted, the info is still read: the image it names is decoded against it.
        {"an info file no manifest lists, naming an image of other content",
         [&](const std::string& box) {
             ASSERT_EQ(RunTool({"compress", other, box + "/disk-002.tvl"}).exitCode, 0);
             Shell("sed 's/^image: .*/image: disk-002.tvl/' '" + box + "/disk-001.info' > '" + box +
                   "/disk-002.info'");
         },
         "disk-002.info: not in any manifest\ndisk-002.tvl: not in any manifest\n"
         "disk-002.tvl: content sha256, md5 differ from disk-002.info\n"},
        {"a map and a note no manifest lists",
         [](const std::string& box) {
             WriteFileBytes(box + "/disk-001.map", "0x00000000  +  1\n");
             WriteFileBytes(box + "/notes.txt", "box 7, shelf 2\n");
         },
         "disk-001.map: not in any manifest\nnotes.txt: not in any manifest\n"},
        {"a listed file gone",
         [](const std::string& box) { Shell("rm '" + box + "/disk-001.info'"); },
         "disk-001.info: missing (listed in manifest-sha256.txt, manifest-md5.txt)\n"},
        {"manifests that disagree, as a kill between two rewrites leaves them",
         [](const std::string& box) {
             Shell("cd '" + box +
                   "' && md5sum disk-001.tvl disk-001.dfxml disk-001.svg batch.csv report.html "
                   "> manifest-md5.txt");
         },
         "disk-001.info: in manifest-sha256.txt but not in manifest-md5.txt\n"},
        // File bytes and manifests agree; only decoding the image shows another diskette.
        {"an image of another diskette with manifests made to fit",
         [&](const std::string& box) {
             ASSERT_EQ(RunTool({"compress", "--force", other, box + "/disk-001.tvl"}).exitCode, 0);
             Remanifest(box,
                        "disk-001.tvl disk-001.dfxml disk-001.svg disk-001.info batch.csv "
                        "report.html");
         },
         "disk-001.tvl: content sha256, md5 differ from disk-001.info\n"},
        {"a compressed image named .img",
         [](const std::string& box) { Rename(box, "disk-001.tvl", "disk-001.img"); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string box = dir / "box";
        ASSERT_EQ(Shell("rm -rf '" + box + "' && cp -a '" + pristine + "' '" + box + "'"), 0);
        c.change(box);
        ToolResult r = RunTool({"check", box});
        if (c.problems.empty()) {
            EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
            const bool older = std::string(c.what) == "batch.csv and report.html in no manifest";
            EXPECT_EQ(r.err.find("Note: batch.csv is in no manifest") != std::string::npos, older)
                << r.err;
            EXPECT_EQ(r.out, box + " (folder): " + (older ? "4" : "6") +
                                 " files and their content match\n");
        } else {
            EXPECT_EQ(r.exitCode, 3) << r.err;
            EXPECT_EQ(r.out, c.problems);
            const int count = LineCount(c.problems);
            EXPECT_EQ(r.err, "tavrel-cli: " + box + " (folder): " + std::to_string(count) +
                                 (count == 1 ? " problem\n" : " problems\n"));
        }
    }
}

TEST_F(CliCheck, RawOrCompressedIsToldByTheContentNotTheName) {
    // A compressed image named .img (--tvl, or the name would make it raw) gives the diskette's
    // hash, as the same bytes named .tvl do.
    const std::string work = dir / "work.img";
    ASSERT_EQ(RunTool({"compress", "--tvl", disk, work}).exitCode, 0);
    ToolResult shown = RunTool({"info", work, "--hash", "sha256"});
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_NE(shown.out.find("content-sha256: " + Sha256Of(disk) + "\n"), std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("  Content hash: of the diskette's sectors in order, the sha256sum"),
              std::string::npos)
        << shown.out;

    // A raw image named .tvl is taken for the raw image it is, and so is one whose boot sector
    // begins like an image header: verify compares its bytes, not records read into them.
    const std::string raw = dir / "raw.tvl", lookalike = dir / "lookalike.tvl";
    Shell("cp '" + disk + "' '" + raw + "'");
    WriteFileBytes(lookalike, std::string("Dk\x04\x00", 4) + ReadFileBytes(disk).substr(4));
    for (const std::string& image : {raw, lookalike}) {
        ToolResult r = RunTool({"info", image});
        EXPECT_EQ(r.exitCode, 0) << image << ": " << r.err;
        EXPECT_NE(r.out.find("raw image (the diskette's sectors in order)"), std::string::npos)
            << r.out;
    }
    EXPECT_EQ(RunTool({"verify", raw, disk}).exitCode, 0);
    ToolResult differs = RunTool({"verify", lookalike, disk});
    EXPECT_EQ(differs.exitCode, 3) << differs.err;
    EXPECT_NE(differs.err.find("First difference: cylinder 0, head 0, sector 1 (logical sector "
                               "0), diskette offset 0"),
              std::string::npos)
        << differs.err;
    const std::string odd = dir / "odd.img";
    WriteFileBytes(odd, std::string("PK\x03\x04", 4) + std::string(996, 'x'));
    ToolResult r = RunTool({"info", odd});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("nor a raw image: 1000 bytes is no diskette's size"), std::string::npos)
        << r.err;

    // In a batch folder, a raw image named .tvl is checked by its bytes.
    const std::string box = dir / "box";
    FileDiskette(box, true);
    Rename(box, "disk-001.img", "disk-001.tvl");
    ToolResult check = RunTool({"check", box});
    EXPECT_EQ(check.exitCode, 0) << check.out;
}

// What check says of a folder that is not there, and of one file, in the words bag and report
// use and in the singular.
TEST(CliCheckWords, NoSuchFolderAndOneFile) {
    TempDir dir;
    const std::string missing = dir / "nosuch";
    ToolResult r = RunTool({"check", missing});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "tavrel-cli: " + missing + ": no such folder\n");
    const std::string one = dir / "one";
    ASSERT_EQ(Shell("mkdir '" + one + "' && cd '" + one +
                    "' && echo hi >a.txt && sha256sum a.txt >manifest-sha256.txt"),
              0);
    r = RunTool({"check", one});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, one + " (folder): 1 file and its content match\n");
}

}  // namespace
