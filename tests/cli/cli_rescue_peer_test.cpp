// rescue beside GNU ddrescue on the same faulty drive: the same sectors recovered, the same
// map as ddrescuelog reads it, and the same bytes once ddrescue's holes carry our fill.
#include <gtest/gtest.h>

#include "tests/cli/rescue_fixtures.h"

namespace {

const FloppyFormat& k144 = kFloppyFormats[4];

TEST(CliRescuePeer, DdrescueOnTheSameFaultsRecoversExactlyTheSameSectors) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    if (!HaveDdrescue()) SKIP_OR_FAIL("GNU ddrescue (package gddrescue) is not installed");
    TempDir dir;
    ASSERT_TRUE(MakeFloppyImage(dir / "original.raw", k144));
    const std::string original = ReadFileBytes(dir / "original.raw");

    // A bad track, a bad sector, two bad neighbours across a side's end, bad sectors beside
    // the boot sector, and weak sectors that a second or third read recovers.
    std::set<int> bad = {Logical(k144, 40, 0, 9), Logical(k144, 60, 0, 18), Logical(k144, 60, 1, 1),
                         1, 2};
    for (int s = 1; s <= 18; ++s) bad.insert(Logical(k144, 20, 1, s));
    std::string plan;
    for (int s : bad) plan += "bad " + std::to_string(s) + "\n";
    plan += "weak " + std::to_string(Logical(k144, 30, 0, 4)) + " 1\n";
    plan += "weak " + std::to_string(Logical(k144, 75, 1, 11)) + " 2\n";

    FaultyDrive drive(dir / "original.raw", dir.path(), plan);
    if (!drive.problem().empty()) SKIP_OR_FAIL(drive.problem());

    const std::string image = dir / "ours.tvl", ours = image + ".map";
    ToolResult r = RunTool({"rescue", drive.path(), image});
    ASSERT_EQ(r.exitCode, 4) << r.err;
    const FaultyStats ourReads = drive.Stats();

    drive.SetPlan(plan);  // the weak sectors weak again
    const std::string theirs = dir / "theirs.map", theirRaw = dir / "theirs.raw";
    ASSERT_EQ(Shell("ddrescue -q -d -b512 -r3 '" + drive.path() + "' '" + theirRaw + "' '" +
                    theirs + "'"),
              0);
    const FaultyStats theirReads = drive.Stats();

    EXPECT_EQ(ListedBy(ours, '-', dir.path()), bad);
    EXPECT_EQ(ListedBy(theirs, '-', dir.path()), bad);
    EXPECT_EQ(ListedBy(ours, '+', dir.path()), ListedBy(theirs, '+', dir.path()));
    // ddrescuelog compares the two maps block by block.
    EXPECT_EQ(Shell("ddrescuelog -q -p '" + theirs + "' '" + ours + "'"), 0);

    // ddrescue leaves its holes as they were; filled with our marker they match our image.
    WriteFileBytes(dir / "fill.bin", Fill(-1));
    ASSERT_EQ(
        Shell("cp '" + theirs + "' '" + dir / "fill.map" + "' && ddrescue -q --fill-mode=- '" +
              dir / "fill.bin" + "' '" + theirRaw + "' '" + dir / "fill.map" + "'"),
        0);
    EXPECT_EQ(RawOf(image, dir.path()), ReadFileBytes(theirRaw));
    EXPECT_EQ(ReadFileBytes(theirRaw), WithFill(original, bad));

    RecordProperty("tavrel_reads", std::to_string(ourReads.reads));
    RecordProperty("tavrel_sectors_asked", std::to_string(ourReads.sectors));
    RecordProperty("ddrescue_reads", std::to_string(theirReads.reads));
    RecordProperty("ddrescue_sectors_asked", std::to_string(theirReads.sectors));
}

TEST(CliRescuePeer, ARescueGoesOnFromGnuDdrescuesOwnMap) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    if (!HaveDdrescue()) SKIP_OR_FAIL("GNU ddrescue (package gddrescue) is not installed");
    TempDir dir;
    ASSERT_TRUE(MakeFloppyImage(dir / "original.raw", k144));
    const std::string original = ReadFileBytes(dir / "original.raw");
    const int bad = Logical(k144, 33, 1, 7);
    FaultyDrive drive(dir / "original.raw", dir.path(), "bad " + std::to_string(bad) + "\n");
    if (!drive.problem().empty()) SKIP_OR_FAIL(drive.problem());

    // ddrescue's first pass only, without trimming: the area around the bad sector stays
    // untried in ddrescue's own terms.
    const std::string raw = dir / "dd.raw", map = dir / "dd.map", image = dir / "dd.tvl";
    ASSERT_EQ(
        Shell("ddrescue -q -d -b512 -n -N '" + drive.path() + "' '" + raw + "' '" + map + "'"), 0);
    ASSERT_FALSE(ListedBy(map, '*', dir.path()).empty() && ListedBy(map, '/', dir.path()).empty())
        << ReadFileBytes(map);
    ASSERT_EQ(RunTool({"convert", raw, image}).exitCode, 0);

    ToolResult r = RunTool({"rescue", drive.path(), image, "--map", map});
    ASSERT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.out.find("Resumed "), std::string::npos) << r.out;
    EXPECT_EQ(ListedBy(map, '-', dir.path()), std::set<int>{bad});
    EXPECT_EQ(ListedBy(map, '+', dir.path()).size(), 2879u);
    // The sector that still fails keeps what ddrescue's image held there.
    std::string expected = original;
    expected.replace(static_cast<size_t>(bad) * 512, 512, std::string(512, '\0'));
    EXPECT_EQ(RawOf(image, dir.path()), expected);
}

// GNU ddrescue told to copy from the middle of the first sector to the middle of the last
// leaves both half read; a resume reads them again, whichever half its map lists first.
TEST(CliRescuePeer, SectorsGnuDdrescueReadInPartAreReadAgain) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    if (!HaveDdrescue()) SKIP_OR_FAIL("GNU ddrescue (package gddrescue) is not installed");
    TempDir dir;
    const std::string disk = dir / "original.raw";
    ASSERT_TRUE(MakeFloppyImage(disk, k144));
    const std::string raw = dir / "dd.raw", map = dir / "dd.map", image = dir / "dd.tvl";
    // ddrescue writes only what it read: the raw file starts with the boot sector, which
    // convert needs for the format, and is the diskette's size.
    WriteFileBytes(raw, ReadFileBytes(disk).substr(0, 512));
    ASSERT_EQ(Shell("truncate -s 1474560 '" + raw + "'"), 0);
    ASSERT_EQ(Shell("ddrescue -q -i0x100 -s0x167E00 '" + disk + "' '" + raw + "' '" + map + "'"),
              0);
    const std::string text = ReadFileBytes(map);
    ASSERT_NE(text.find("0x00000000  0x00000100  ?"), std::string::npos) << text;
    ASSERT_NE(text.find("0x00167F00  0x00000100  ?"), std::string::npos) << text;
    ASSERT_EQ(RunTool({"convert", raw, image}).exitCode, 0);

    ToolResult r = RunTool({"rescue", disk, image, "--map", map});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("2,880 of 2,880 sectors read (2 of them now)"), std::string::npos)
        << r.out;
    EXPECT_EQ(RawOf(image, dir.path()), ReadFileBytes(disk));
}

}  // namespace
