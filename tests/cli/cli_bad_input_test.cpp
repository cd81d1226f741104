// Input that is not what it should be: every case ends with one clear line on standard
// error and exit code 2, never a crash, and never a file left behind.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/image_format.h"
#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

namespace {

class CliBadInput : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        ASSERT_TRUE(MakeFloppyImage(drive, kFloppyFormats[4]));
        ASSERT_EQ(RunTool({"compress", drive, good}).exitCode, 0);
        Shell("mkdir -p '" + config + "'");
    }

    // Runs the tool and expects a clean failure that leaves the folder as it was.
    void ExpectCleanFailure(const std::vector<std::string>& args, const std::string& wanted) {
        std::vector<std::string> before = Listing(dir.path());
        std::string driveBytes = ReadFileBytes(drive);
        ToolResult r = RunTool(args, {{"XDG_CONFIG_HOME", config}});
        std::string what = args[0] + " " + args[1];
        EXPECT_EQ(r.signal, 0) << what;
        EXPECT_EQ(r.exitCode, 2) << what << ": " << r.err;
        EXPECT_EQ(LineCount(r.err), 1) << what << ": " << r.err;
        EXPECT_NE(r.err.find(wanted), std::string::npos) << what << ": " << r.err;
        EXPECT_EQ(Listing(dir.path()), before) << what;
        EXPECT_TRUE(ReadFileBytes(drive) == driveBytes) << what << " changed the drive";
    }

    // Every command that reads an image, on one bad image.
    void ExpectImageRefused(const std::string& image, const std::string& wanted) {
        ExpectCleanFailure({"info", image}, wanted);
        ExpectCleanFailure({"expand", image, drive}, wanted);
        ExpectCleanFailure({"verify", image, drive}, wanted);
    }

    std::string Good() const { return ReadFileBytes(good); }

    TempDir dir;
    std::string drive = dir / "drive.raw";
    std::string good = dir / "good.tvl";
    std::string bad = dir / "bad.tvl";
    std::string out = dir / "out.raw";
    std::string config = dir / "config";
};

TEST_F(CliBadInput, EmptyFile) {
    WriteFileBytes(bad, "");
    ExpectImageRefused(bad, "the file is empty");
    ExpectCleanFailure({"convert", bad, out}, "the file is empty");
}

TEST_F(CliBadInput, TruncatedImage) {
    // The last track sides of a mostly empty diskette are 4-byte fill records.
    std::string bytes = Good();
    WriteFileBytes(bad, bytes.substr(0, bytes.size() - 102));
    ExpectImageRefused(bad, "truncated: the file ends inside record 134 (cylinder 67, head 0)");
    WriteFileBytes(bad, bytes.substr(0, bytes.size() - 100));
    ExpectImageRefused(
        bad, "truncated: the file ends after record 134 (cylinder 67, head 0), 135 of 160 records");
    ExpectCleanFailure({"convert", bad, out}, "truncated");
    WriteFileBytes(bad, bytes.substr(0, 4));
    ExpectImageRefused(bad, "truncated: the file holds the header and no record");
    WriteFileBytes(bad, bytes.substr(0, 3));
    ExpectImageRefused(bad, "the file ends inside the 4-byte header");
}

TEST_F(CliBadInput, HeaderOfAnotherFormat) {
    WriteFileBytes(bad, std::string("PK\x03\x04", 4) + std::string(2000, 'x'));
    ExpectImageRefused(bad, "not an image: no \"Dk\" header (the file begins 50 4B 03 04)");
    // Not an image, so convert takes it for a raw image, whose boot sector it does not know.
    ExpectCleanFailure({"convert", bad, out}, "boot sector not recognised");
    std::string bytes = Good();
    bytes[2] = 9;
    WriteFileBytes(bad, bytes);
    ExpectImageRefused(bad, "unknown media code 9");
    bytes = Good();
    bytes[3] = 2;
    WriteFileBytes(bad, bytes);
    ExpectImageRefused(bad, "unknown compression method 2");
}

TEST_F(CliBadInput, RecordWithABadEncodingByte) {
    std::string bytes = Good();
    bytes[4 + 2] = 7;  // record 0: cylinder, head, then the encoding
    WriteFileBytes(bad, bytes);
    ExpectImageRefused(bad, "record 0 (cylinder 0, head 0) at offset 4: unknown encoding byte 7");
    ExpectCleanFailure({"convert", bad, out}, "unknown encoding byte 7");
}

TEST_F(CliBadInput, RecordLabelledWithTheWrongHead) {
    const std::string plain = dir / "plain.tvl";
    ASSERT_EQ(RunTool({"compress", "--no-compression", drive, plain}).exitCode, 0);
    std::string bytes = ReadFileBytes(plain);
    const long long record3 = 4 + 3 * (2 + 9216);  // cylinder 1, head 1
    bytes[static_cast<size_t>(record3) + 1] = 0;
    WriteFileBytes(bad, bytes);
    ExpectImageRefused(bad, "record 3 (cylinder 1, head 1) at offset " + std::to_string(record3) +
                                ": labelled cylinder 1, head 0");
}

TEST_F(CliBadInput, PackedRecordThatOverruns) {
    // 37 runs of 255 bytes make 9435 bytes, more than the 9216 of a 1.44 MB track side.
    std::string packed;
    for (int i = 0; i < 37; ++i) packed += std::string("\x00\xFF\x00", 3);
    std::string record =
        std::string("\x00\x00\x02", 3) + static_cast<char>(packed.size()) + '\0' + packed;
    WriteFileBytes(bad, std::string("Dk\x04\x01", 4) + record);
    ExpectImageRefused(
        bad, "record 0 (cylinder 0, head 0) at offset 4: packed data does not describe exactly");
    ExpectCleanFailure({"convert", bad, out},
                       "packed data does not describe exactly one track side");
}

TEST_F(CliBadInput, RawImageWithAnUnknownBootSector) {
    WriteFileBytes(bad, std::string(1474560, '\0'));
    // Its size tells its layout, but no .tvl holds a diskette its boot sector does not name.
    ExpectCleanFailure({"convert", bad, dir / "out.tvl"},
                       "holds a diskette whose boot sector names no format (80\u00D72\u00D718 by "
                       "the drive's geometry): keep it as the raw image it is");
    // As a drive, the job itself refuses it, before any image file is made.
    ExpectCleanFailure({"compress", bad, dir / "out.tvl"},
                       "Tavrel: Drive media type not supported in a .tvl, which holds 360 KB, "
                       "720 KB, 1.2 MB and 1.44 MB diskettes only: " +
                           bad + " holds a diskette whose boot sector names no format");
}

TEST_F(CliBadInput, MissingDrive) {
    ExpectCleanFailure(
        {"compress", dir / "no-such-drive", dir / "out.tvl"},
        "Tavrel: Cannot find the drive specified: " + (dir / "no-such-drive") + " does not exist");
    ExpectCleanFailure(
        {"verify", good, dir / "no-such-drive"},
        "Tavrel: Cannot find the drive specified: " + (dir / "no-such-drive") + " does not exist");
    // A letter with nothing behind it in this profile.
    ExpectCleanFailure({"compress", "Q:", dir / "out.tvl"},
                       "Tavrel: Cannot find the drive specified: Q: is not in the drive map");
}

TEST_F(CliBadInput, DirectoryAsImage) {
    const std::string folder = dir / "folder";
    Shell("mkdir -p '" + folder + "'");
    ExpectImageRefused(folder, "Is a directory");
    ExpectCleanFailure({"compress", drive, folder}, "is a directory");
    ExpectCleanFailure({"compress", "--force", drive, folder}, "is a directory");
    ExpectCleanFailure({"convert", folder, out}, "Is a directory");
    ExpectCleanFailure({"convert", good, folder, "--force"}, "is a directory");
}

TEST_F(CliBadInput, TrailingBytesAreReportedButDoNotStopAJob) {
    WriteFileBytes(bad, Good() + std::string(100, '\x1A'));
    ToolResult r = RunTool({"info", bad});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("100 trailing bytes after the last record"), std::string::npos) << r.err;
    r = RunTool({"verify", bad, drive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = RunTool({"convert", bad, out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("ignoring 100 trailing bytes"), std::string::npos) << r.err;
    EXPECT_TRUE(SameBytes(out, drive));
}

// A drive or image named with control characters is shown as the shell takes it back in the
// refusals that name it: nothing of the name reaches the terminal as a control character.
TEST(CliHostileNames, RefusalsNameTheDriveAsAWord) {
    TempDir dir;
    const std::string drive = dir / "d\x1b[31m%s\r\n=<b>.img";
    const std::string plain = dir / "dmf.img";
    if (!HaveFatTools() ||
        Shell("MTOOLS_SKIP_CHECK=1 mformat -C -i '" + plain + "' -t 80 -h 2 -s 21 ::") != 0)
        SKIP_OR_FAIL("mtools is not installed");
    ASSERT_EQ(std::rename(plain.c_str(), drive.c_str()), 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"compress", drive, dir / "out.tvl"},
          std::vector<std::string>{"convert", drive, dir / "out.tvl"},
          {"info", drive}}) {
        const ToolResult r = RunTool(args);
        const std::string said = r.out + r.err;
        EXPECT_EQ(said.find('\x1b'), std::string::npos) << args[0] << ": " << said;
        EXPECT_NE(said.find("$'" + dir.path() + "/d\\x1b[31m%s\\x0d\\x0a=<b>.img'"),
                  std::string::npos)
            << args[0] << ": " << said;
    }
}

}  // namespace
