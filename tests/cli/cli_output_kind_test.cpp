// What compress, rescue, convert and batch write, by the output's name and by --raw and --tvl:
// a raw output is the diskette byte for byte and mtools reads it, a .tvl one is Tavrel's own,
// and nothing else is left beside it.
#include <gtest/gtest.h>

#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

namespace {

enum Expect { Raw, Tvl, Refused, Usage };

struct Row {
    const char* command;  // convert-raw: convert from the raw diskette, convert: from its .tvl
    const char* name;     // the output's name; for batch, what its diskette is filed as
    std::vector<std::string> flags;
    Expect expect;
};

const Row kRows[] = {
    {"compress", "out.img", {}, Raw},
    {"compress", "out.ima", {}, Raw},
    {"compress", "out.flp", {}, Raw},
    {"compress", "out.vfd", {}, Raw},
    {"compress", "out.dsk", {}, Raw},
    {"compress", "OUT.IMG", {}, Raw},
    {"compress", "out.tvl", {}, Tvl},
    {"compress", "out.other", {}, Tvl},
    {"compress", "out.other", {"--raw"}, Raw},
    {"compress", "out.tvl", {"--raw"}, Raw},
    {"compress", "out.img", {"--tvl"}, Tvl},
    {"compress", "out.img", {"--raw", "--tvl"}, Usage},
    {"rescue", "out.img", {}, Raw},
    {"rescue", "out.dsk", {}, Raw},
    {"rescue", "out.tvl", {}, Tvl},
    {"rescue", "out.other", {}, Tvl},
    {"rescue", "out.other", {"--raw"}, Raw},
    {"rescue", "out.ima", {"--tvl"}, Tvl},
    {"rescue", "out.img", {"--raw", "--tvl"}, Usage},
    {"convert", "out.img", {}, Raw},
    {"convert", "out.vfd", {}, Raw},
    {"convert", "out.other", {}, Raw},
    {"convert", "out.tvl", {"--raw"}, Raw},
    {"convert", "out.tvl", {}, Refused},
    {"convert", "out.other", {"--tvl"}, Refused},
    {"convert-raw", "out.tvl", {}, Tvl},
    {"convert-raw", "out.other", {}, Tvl},
    {"convert-raw", "out.flp", {"--tvl"}, Tvl},
    {"convert-raw", "out.img", {}, Refused},
    {"convert-raw", "out.other", {"--raw"}, Refused},
    {"convert", "out.img", {"--raw", "--tvl"}, Usage},
    {"batch", "disk-001.tvl", {}, Tvl},
    {"batch", "disk-001.tvl", {"--tvl"}, Tvl},
    {"batch", "disk-001.img", {"--raw"}, Raw},
    {"batch", "disk-001.img", {"--raw", "--rescue"}, Raw},
    {"batch", "disk-001.tvl", {"--raw", "--tvl"}, Usage},
};

std::string Describe(const Row& row) {
    std::string text = std::string(row.command) + " " + row.name;
    for (const std::string& flag : row.flags) text += " " + flag;
    return text;
}

TEST(CliOutputKind, TheNameOrTheFlagSaysWhatIsWritten) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    const std::string disk = dir / "disk.raw", tvl = dir / "disk.tvl";
    ASSERT_TRUE(MakeFloppyImage(disk, kFloppyFormats[3]));
    ASSERT_EQ(RunTool({"compress", disk, tvl}).exitCode, 0);
    ASSERT_EQ(ReadFileBytes(tvl).substr(0, 2), "Dk");

    int n = 0;
    for (const Row& row : kRows) {
        SCOPED_TRACE(Describe(row));
        const std::string command = row.command, folder = dir / ("run-" + std::to_string(++n));
        ASSERT_EQ(Shell("mkdir '" + folder + "'"), 0);
        const bool batch = command == "batch";
        const std::string out = folder + "/" + row.name;
        std::vector<std::string> args =
            batch                  ? std::vector<std::string>{"batch", disk, folder, "--count", "1"}
            : command == "convert" ? std::vector<std::string>{"convert", tvl, out}
            : command == "convert-raw" ? std::vector<std::string>{"convert", disk, out}
                                       : std::vector<std::string>{command, disk, out};
        args.insert(args.end(), row.flags.begin(), row.flags.end());
        const ToolResult r = RunTool(args);
        if (row.expect == Usage || row.expect == Refused) {
            EXPECT_EQ(r.exitCode, row.expect == Usage ? 64 : 2) << r.err;
            EXPECT_EQ(Listing(folder), std::vector<std::string>{});
            continue;
        }
        ASSERT_EQ(r.exitCode, 0) << r.err;
        if (row.expect == Raw) {
            EXPECT_TRUE(SameBytes(out, disk));
            EXPECT_EQ(Shell("mdir -i '" + out + "' ::/ >/dev/null 2>&1"), 0);
        } else {
            EXPECT_EQ(ReadFileBytes(out).substr(0, 2), "Dk");
        }
        // No hidden .tvl stays behind a raw output, nor a rescue's working one once finished.
        if (!batch) {
            std::vector<std::string> expected = {row.name};
            if (command == "rescue") expected.push_back(std::string(row.name) + ".map");
            EXPECT_EQ(Listing(folder), expected);
        }
    }
}

}  // namespace
