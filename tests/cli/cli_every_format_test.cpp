// Every PC diskette format, an image file standing in for the drive, through every command: raw
// images byte for byte, .tvl only for the four formats its table holds, and a batch that files
// the others raw whatever it was asked for. Each sector the file system leaves alone carries
// its own number, so a sector read from the wrong place or a track left out shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

namespace {

// What is on the diskette: a FAT file system as mtools makes it, the same with its boot
// sector's parameter block wiped as DOS 1.x left it, or no FAT at all.
enum Content { Fat, Dos1, ZeroedBoot, Tar };

struct Format {
    const char* test;
    const char* name;  // as the tool prints it
    int cylinders, heads, sectors;
    const char* mformat;  // how mformat makes it
    Content content;
    bool tvl;            // a .tvl can hold it
    const char* source;  // where its geometry comes from, as info --json says it
    long long Bytes() const { return 512LL * cylinders * heads * sectors; }
};

void PrintTo(const Format& f, std::ostream* out) {
    *out << f.test;
}

const Format kFormats[] = {
    {"F160", "160 KB", 40, 1, 8, "-f 160", Fat, false, "boot sector"},
    {"F180", "180 KB", 40, 1, 9, "-f 180", Fat, false, "boot sector"},
    {"F320", "320 KB", 40, 2, 8, "-f 320", Fat, false, "boot sector"},
    {"F360", "360 KB", 40, 2, 9, "-f 360", Fat, true, "boot sector"},
    {"F720", "720 KB", 80, 2, 9, "-f 720", Fat, true, "boot sector"},
    {"F1200", "1.2 MB", 80, 2, 15, "-f 1200", Fat, true, "boot sector"},
    {"F1440", "1.44 MB", 80, 2, 18, "-f 1440", Fat, true, "boot sector"},
    {"Dmf", "DMF 1.68 MB", 80, 2, 21, "-t 80 -h 2 -s 21", Fat, false, "boot sector"},
    {"F1720", "1.72 MB", 82, 2, 21, "-t 82 -h 2 -s 21", Fat, false, "boot sector"},
    {"F2880", "2.88 MB", 80, 2, 36, "-f 2880", Fat, false, "boot sector"},
    {"Dos1_160", "160 KB", 40, 1, 8, "-f 160", Dos1, false, "FAT ID"},
    {"Dos1_180", "180 KB", 40, 1, 9, "-f 180", Dos1, false, "FAT ID"},
    // A .tvl holds the formats its table matches in the boot sector, and these name none.
    {"NoFat1440", "1.44 MB", 80, 2, 18, "", ZeroedBoot, false, "drive"},
    {"Tar720", "720 KB", 80, 2, 9, "", Tar, false, "drive"},
};

// Names mtools keeps as long names: one not ASCII, one with a control character (DEL).
const std::vector<std::string> kFiles = {"Café.txt", "ctl\x7fname.txt", "LONG.TXT"};
// How files shows them.
const std::vector<std::string> kShown = {"  Café.txt\n", "  ctl\\x7fname.txt\n", "  LONG.TXT\n"};

class CliEveryFormat : public ::testing::TestWithParam<Format> {
  protected:
    void SetUp() override {
        if (!HaveFatTools() || Shell("command -v mformat >/dev/null") != 0)
            SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        ASSERT_TRUE(MakeDiskette(drive));
    }

    bool MakeDiskette(const std::string& path) {
        const Format& f = GetParam();
        std::string bytes;
        for (long long s = 0; s < f.Bytes() / 512; ++s) {
            char stamp[48];
            std::snprintf(stamp, sizeof stamp, "%s sector %05lld|", f.test, s);
            std::string sector;
            while (sector.size() < 512) sector += stamp;
            bytes += sector.substr(0, 512);
        }
        const std::string files = dir / "files";
        Shell("mkdir -p '" + files + "'");
        WriteFileBytes(files + "/" + kFiles[0], "café\n");
        WriteFileBytes(files + "/" + kFiles[1], "control\n");
        std::string longer;
        for (int i = 0; i < 900; ++i) longer += "Line " + std::to_string(i) + " of many.\n";
        WriteFileBytes(files + "/" + kFiles[2], longer);
        std::string list;
        for (const std::string& name : kFiles) list += " '" + files + "/" + name + "'";
        if (f.content == ZeroedBoot) bytes.replace(0, 512, std::string(512, '\0'));
        if (f.content == Tar) {
            if (Shell("tar -cf '" + dir / "files.tar" + "' -C '" + files + "' .") != 0)
                return false;
            const std::string tar = ReadFileBytes(dir / "files.tar");
            bytes.replace(0, tar.size(), tar);
        }
        WriteFileBytes(path, bytes);
        if (f.content == ZeroedBoot || f.content == Tar) return true;
        const std::string mtools = "MTOOLS_SKIP_CHECK=1 ";
        if (Shell(mtools + "mformat -i '" + path + "' " + f.mformat + " :: && " + mtools +
                  "mcopy -i '" + path + "'" + list + " ::/ >/dev/null") != 0)
            return false;
        // DOS 1.x wrote no parameter block: the FAT ID byte of sector 1 alone names the format.
        if (f.content == Dos1) {
            bytes = ReadFileBytes(path);
            bytes.replace(0x0B, 0x3E - 0x0B, std::string(0x3E - 0x0B, '\0'));
            WriteFileBytes(path, bytes);
        }
        return true;
    }

    // The place verify names for a changed byte at offset.
    std::string Difference(long long offset) const {
        const Format& f = GetParam();
        const long long logical = offset / 512, track = logical / f.sectors;
        return "cylinder " + std::to_string(track / f.heads) + ", head " +
               std::to_string(track % f.heads) + ", sector " +
               std::to_string(logical % f.sectors + 1) + " (logical sector " +
               std::to_string(logical) + "), diskette offset " + std::to_string(offset);
    }
    // How the messages name the diskette.
    std::string Diskette() const {
        const Format& f = GetParam();
        if (f.content == Fat || f.content == Dos1) return "a " + std::string(f.name);
        return "a diskette whose boot sector names no format (" + Geometry() +
               " by the drive's geometry)";
    }
    std::string Geometry() const {
        const Format& f = GetParam();
        return std::to_string(f.cylinders) + "×" + std::to_string(f.heads) + "×" +
               std::to_string(f.sectors);
    }

    TempDir dir;
    const std::string drive = dir / "drive";
};

TEST_P(CliEveryFormat, ImagedRawByteForByteDescribedRescuedAndExpanded) {
    const Format& f = GetParam();
    const std::string image = dir / "out.img";
    ToolResult r = RunTool({"compress", drive, image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(f.name), std::string::npos) << r.out;
    // A table format read by its boot sector is named as it always was.
    if (!f.tvl || f.content != Fat) {
        EXPECT_NE(r.out.find(Geometry() + " from the " + std::string(f.source)), std::string::npos)
            << r.out;
    }
    EXPECT_TRUE(SameBytes(image, drive));

    r = RunTool({"info", image});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(f.name), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(f.source), std::string::npos) << r.out;
    r = RunTool({"info", "--json", image});
    const nlohmann::json info = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(info.is_object()) << r.out;
    EXPECT_EQ(info["format"], f.name) << r.out;
    EXPECT_EQ(info["geometry"], (nlohmann::json{{"cylinders", f.cylinders},
                                                {"heads", f.heads},
                                                {"sectorsPerTrack", f.sectors},
                                                {"source", f.source}}));
    if (f.content == Fat) {
        r = RunTool({"files", image});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.rfind("FAT12, 3 files (0 deleted), 0 folders\n", 0), 0u) << r.out;
        for (const std::string& name : kShown)
            EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
    }

    r = RunTool({"rescue", drive, dir / "rescued.img"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(dir / "rescued.img", drive));

    // A blank drive of the same size takes every byte.
    const std::string second = dir / "second";
    WriteFileBytes(second, std::string(static_cast<size_t>(f.Bytes()), '\0'));
    r = RunTool({"expand", image, second});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(second, drive));

    // Nor does a drive of another format take it, nor a drive the image one track short.
    const std::string other = dir / "other";
    const std::string blank(f.Bytes() == 2949120 ? 1474560 : 2949120, '\0');
    WriteFileBytes(other, blank);
    EXPECT_EQ(RunTool({"expand", image, other}).exitCode, 2);
    EXPECT_EQ(ReadFileBytes(other), blank);
    WriteFileBytes(dir / "short.img", ReadFileBytes(image).substr(0, f.Bytes() - 512 * f.sectors));
    EXPECT_EQ(RunTool({"expand", dir / "short.img", second}).exitCode, 2);
    EXPECT_EQ(RunTool({"verify", dir / "short.img", drive}).exitCode, 2);
    EXPECT_TRUE(SameBytes(second, drive));

    EXPECT_EQ(RunTool({"verify", image, drive}).exitCode, 0);
    // The last sector of the last track side, so a track left out is a difference too.
    const long long offset = f.Bytes() - 5;
    FlipByte(drive, offset);
    r = RunTool({"verify", image, drive});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find("First difference: " + Difference(offset) + "\n"), std::string::npos)
        << r.err;
}

// What compress, rescue and convert make of a .tvl's name or --tvl: the four formats of its
// table, or a refusal that names the format and the raw command, with nothing written.
TEST_P(CliEveryFormat, TvlOnlyForTheFormatsItsTableHolds) {
    const Format& f = GetParam();
    ASSERT_EQ(RunTool({"compress", drive, dir / "raw.img"}).exitCode, 0);
    const std::vector<std::vector<std::string>> runs = {
        {"compress", drive, "out.tvl"},          {"compress", drive, "out.img", "--tvl"},
        {"compress", drive, "out.other"},        {"rescue", drive, "out.tvl"},
        {"convert", dir / "raw.img", "out.tvl"},
    };
    int n = 0;
    for (std::vector<std::string> args : runs) {
        const std::string folder = dir / ("run-" + std::to_string(++n));
        ASSERT_EQ(Shell("mkdir '" + folder + "'"), 0);
        args[2] = folder + "/" + args[2];
        SCOPED_TRACE(args[0] + " " + args[2]);
        const ToolResult r = RunTool(args);
        const bool convert = args[0] == "convert";
        if (!f.tvl) {
            EXPECT_EQ(r.exitCode, 2) << r.err;
            EXPECT_EQ(Listing(folder), std::vector<std::string>{});
            // One line says it all (--tvl under a raw image's name adds its warning).
            EXPECT_EQ(LineCount(r.err), args.size() == 3 ? 1 : 2) << r.err;
            const std::string tables = "360 KB, 720 KB, 1.2 MB and 1.44 MB diskettes only";
            const std::string held =
                convert ? "a .tvl holds " + tables + "; " + args[1] + " holds " + Diskette()
                        : "Tavrel: Drive media type not supported in a .tvl, which holds " +
                              tables + ": " + drive + " holds " + Diskette();
            EXPECT_NE(r.err.find(held), std::string::npos) << r.err;
            const std::string raw = folder + "/out.img\n";
            EXPECT_NE(r.err.find(convert ? ": keep it as the raw image it is\n"
                                         : "; image it raw with tavrel-cli " + args[0] + " " +
                                               drive + " " + raw),
                      std::string::npos)
                << r.err;
            continue;
        }
        ASSERT_EQ(r.exitCode, 0) << r.err;
        ASSERT_EQ(ReadFileBytes(args[2]).substr(0, 2), "Dk");
        ASSERT_EQ(RunTool({"convert", args[2], folder + "/back.img"}).exitCode, 0);
        EXPECT_TRUE(SameBytes(folder + "/back.img", drive));
    }
    // --raw makes a raw image whatever the name says.
    ASSERT_EQ(RunTool({"compress", "--raw", drive, dir / "raw.tvl"}).exitCode, 0);
    EXPECT_TRUE(SameBytes(dir / "raw.tvl", drive));
}

// A batch files what a .tvl cannot hold as NAME.img, with or without --tvl, and says why.
TEST_P(CliEveryFormat, BatchFilesRawWhatATvlCannotHold) {
    const Format& f = GetParam();
    for (const std::vector<std::string>& flags :
         {std::vector<std::string>{}, std::vector<std::string>{"--tvl"}}) {
        const std::string folder = dir / ("box" + std::to_string(flags.size()));
        std::vector<std::string> args = {"batch", drive, folder, "--count", "1"};
        args.insert(args.end(), flags.begin(), flags.end());
        SCOPED_TRACE(flags.empty() ? "default" : flags[0]);
        const ToolResult r = RunTool(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string info = ReadFileBytes(folder + "/disk-001.info");
        if (f.tvl) {
            EXPECT_TRUE(FileExists(folder + "/disk-001.tvl"));
            EXPECT_FALSE(FileExists(folder + "/disk-001.img"));
            continue;
        }
        EXPECT_TRUE(SameBytes(folder + "/disk-001.img", drive));
        EXPECT_FALSE(FileExists(folder + "/disk-001.tvl"));
        EXPECT_NE(info.find("geometry: " + Geometry() + " (" + f.source + ")\n"), std::string::npos)
            << info;
        EXPECT_NE(info.find("image-kind: raw: a .tvl cannot hold " + Diskette()), std::string::npos)
            << info;
        EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, CliEveryFormat, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.test); });

}  // namespace
