// Every supported format, made by mkfs.fat and filled by mcopy, taken through the tool: compress
// with and without compression, convert both ways, expand onto a fresh diskette that fsck and
// mtools then accept, verify, and a changed byte found at its exact place.
#include <gtest/gtest.h>

#include "engine/image_format.h"
#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

namespace {

class CliFormats : public ::testing::TestWithParam<FloppyFormat> {};

TEST_P(CliFormats, RoundTripThroughEveryCommand) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    const FloppyFormat& format = GetParam();
    TempDir dir;
    const std::string original = dir / "original.raw", packed = dir / "packed.tvl",
                      plain = dir / "plain.tvl";
    ASSERT_TRUE(MakeFloppyImage(original, format));

    ToolResult r = RunTool({"compress", original, packed});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(LineCount(r.out), 1) << r.out;
    EXPECT_EQ(r.out.rfind("Compressed " + original, 0), 0u) << r.out;
    r = RunTool({"compress", "--no-compression", original, plain});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const long long uncompressed =
        UncompressedImageSize(format.cylinders, format.sectorsPerTrack * 512);
    EXPECT_EQ(SizeOf(plain), uncompressed);
    EXPECT_LT(SizeOf(packed), uncompressed);
    std::string header = ReadFileBytes(packed).substr(0, 4);
    EXPECT_EQ(header, std::string("Dk") + static_cast<char>(format.mediaCode) + '\x01');
    EXPECT_EQ(ReadFileBytes(plain)[3], '\x00');

    // Image to raw gives back the diskette; raw to image gives exactly what compress wrote.
    for (const std::string& image : {packed, plain}) {
        std::string raw = image + ".raw";
        r = RunTool({"convert", image, raw});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(SameBytes(raw, original)) << image;
    }
    r = RunTool({"convert", original, dir / "fromraw.tvl"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(dir / "fromraw.tvl", packed));
    r = RunTool({"convert", "--no-compression", original, dir / "fromraw-plain.tvl"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(dir / "fromraw-plain.tvl", plain));

    // Expand onto a freshly formatted diskette of the same format.
    const std::string target = dir / "target.raw";
    ASSERT_TRUE(MakeFloppyImage(target, format, false));
    r = RunTool({"expand", packed, target});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Expanded ", 0), 0u) << r.out;
    EXPECT_EQ(Shell("fsck.fat -n '" + target + "' >/dev/null 2>&1"), 0);
    ASSERT_TRUE(ExtractFiles(original, dir / "files-original"));
    ASSERT_TRUE(ExtractFiles(target, dir / "files-expanded"));
    EXPECT_EQ(Listing(dir / "files-original"),
              (std::vector<std::string>{"PROGRAM.BIN", "README.TXT"}));
    EXPECT_EQ(Shell("diff -r '" + dir / "files-original" + "' '" + dir / "files-expanded" + "'"),
              0);
    EXPECT_TRUE(SameBytes(target, original));

    for (const std::string& image : {packed, plain}) {
        r = RunTool({"verify", image, target});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.rfind("Verified ", 0), 0u) << r.out;
    }

    // One byte changed on the drive: found exactly there, exit code 3.
    const long long offset = MiddleOffset(format);
    FlipByte(target, offset);
    for (const std::string& image : {packed, plain}) {
        r = RunTool({"verify", image, target});
        EXPECT_EQ(r.exitCode, 3) << r.err;
        EXPECT_NE(r.err.find("are NOT the same!"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(DifferenceLine(format, offset) + "\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // The last byte of a track side is compared like every other.
    FlipByte(target, offset);
    const long long last =
        (offset / (format.sectorsPerTrack * 512) + 1) * format.sectorsPerTrack * 512 - 1;
    FlipByte(target, last);
    for (const std::string& image : {packed, plain}) {
        r = RunTool({"verify", image, target});
        EXPECT_EQ(r.exitCode, 3) << r.err;
        EXPECT_NE(r.err.find(DifferenceLine(format, last) + "\n"), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, CliFormats, ::testing::ValuesIn(kFloppyFormats),
                         [](const auto& info) { return FormatTestName(info.param); });

}  // namespace
