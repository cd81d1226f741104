// The command line itself: help, version, usage errors, what is printed where, --force,
// --quiet, drive letters from the profile, the drive listing, and info's forms.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <regex>

#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

namespace {

const FloppyFormat& Format144() {
    return kFloppyFormats[4];
}

class CliUsage : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        ASSERT_TRUE(MakeFloppyImage(original, Format144()));
        Shell("mkdir -p '" + config + "'");
    }
    // No profile of the machine's user may leak into a test.
    ToolEnv Env() const { return {{"XDG_CONFIG_HOME", config}}; }

    TempDir dir;
    std::string original = dir / "original.raw";
    std::string config = dir / "config";
};

TEST(CliCommandLine, HelpNamesEveryCommandAndTheExitCodes) {
    ToolResult r = RunTool({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word :
         {"compress", "expand", "verify", "info", "convert", "drives", "Exit codes", "64"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    for (const char* command : {"compress", "expand", "verify", "info", "convert", "drives"}) {
        r = RunTool({command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_NE(r.out.find("Exit codes"), std::string::npos) << command;
    }
    EXPECT_NE(RunTool({"compress", "--help"}).out.find("--force"), std::string::npos);
    EXPECT_NE(RunTool({"info", "--help"}).out.find("--map"), std::string::npos);
}

TEST(CliCommandLine, VersionIsOneLine) {
    ToolResult r = RunTool({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("tavrel-cli ", 0), 0u) << r.out;
    EXPECT_EQ(LineCount(r.out), 1);
}

TEST(CliCommandLine, UsageErrorsExitWith64) {
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"bogus"},
                                                                  {"compress", "A:"},
                                                                  {"info"},
                                                                  {"info", "x.img", "--bogus"},
                                                                  {"verify", "a", "b", "c"}}) {
        ToolResult r = RunTool(args);
        EXPECT_EQ(r.exitCode, 64) << (args.empty() ? "(none)" : args[0]) << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    // A word where the command goes is said to be none, with the commands there are; shown as
    // the shell would take it back, whatever it holds.
    ToolResult r = RunTool({"-q",
                            "im\x1b"
                            "age",
                            "A:", "x.tvl"});
    EXPECT_EQ(r.exitCode, 64);
    EXPECT_EQ(r.err,
              "tavrel-cli: $'im\\x1bage' is no command; the commands: compress, expand, verify, "
              "info, rescue, convert, batch, files, check, bag, report, drives (tavrel-cli --help "
              "says what each does)\n");
}

TEST_F(CliUsage, OffATerminalOnlyTheSummaryIsPrinted) {
    ToolResult r = RunTool({"compress", original, dir / "a.tvl"}, Env());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(LineCount(r.out), 1);
    // What was done, the format, the time and, for compress, size and ratio, in these words.
    const long long size = SizeOf(dir / "a.tvl");
    ASSERT_GT(size, 1000);
    ASSERT_LT(size, 1000000);
    char sizeText[48], percent[32];
    std::snprintf(sizeText, sizeof sizeText, "%lld,%03lld", size / 1000, size % 1000);
    std::snprintf(percent, sizeof percent, "%.1f%%", 100.0 * static_cast<double>(size) / 1474884);
    const std::string timeless =
        std::regex_replace(r.out, std::regex(" in [0-9]+\\.[0-9][0-9] s: "), " in T s: ");
    EXPECT_EQ(timeless, "Compressed " + original + " (1.44 MB (F0)) to " + dir / "a.tvl" +
                            " in T s: " + sizeText + " bytes, " + percent + " of 1,474,884\n");
}

TEST_F(CliUsage, QuietPrintsNothingButErrors) {
    ToolResult r = RunTool({"-q", "compress", original, dir / "a.tvl"}, Env());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    r = RunTool({"verify", dir / "a.tvl", original, "--quiet"}, Env());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    r = RunTool({"--quiet", "verify", dir / "missing.tvl", original}, Env());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(LineCount(r.err), 1);
}

TEST_F(CliUsage, AnExistingImageIsReplacedOnlyWithForce) {
    const std::string image = dir / "old.tvl";
    WriteFileBytes(image, "an older image");
    ToolResult r = RunTool({"compress", original, image}, Env());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(LineCount(r.err), 1);
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(image), "an older image");
    r = RunTool({"convert", original, image}, Env());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(ReadFileBytes(image), "an older image");

    r = RunTool({"compress", "--force", original, image}, Env());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(image).substr(0, 2), "Dk");
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"config", "old.tvl", "original.raw"}));
}

TEST_F(CliUsage, AReadOnlyImageIsNotReplacedEvenWithForce) {
    // As an ordinary user, for whom the mode counts, in a folder that would let the user
    // replace the file.
    const std::string folder = dir / "images", image = folder + "/old.tvl";
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chown(original.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    WriteFileBytes(image, "a read-only image");
    ASSERT_EQ(::chown(image.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(image.c_str(), 0444), 0);
    const std::string why = RunUnprivileged([&] {
        ToolResult r = RunTool({"compress", "--force", original, image}, Env());
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(r.err, "File Open Error: " + image + ": " + std::strerror(EACCES) + "\n");
        EXPECT_EQ(ReadFileBytes(image), "a read-only image");
        EXPECT_EQ(Listing(folder), std::vector<std::string>{"old.tvl"});
    });
    if (!why.empty()) SKIP_OR_FAIL(why);
}

TEST_F(CliUsage, DriveLettersComeFromTheProfile) {
    ASSERT_EQ(RunTool({"compress", original, dir / "a.tvl"}, Env()).exitCode, 0);
    WriteFileBytes(config + "/tavrel.INI", "[Drives]\nA=" + original + "\n");
    for (const char* letter : {"A:", "A", "a"}) {
        ToolResult r = RunTool({"verify", dir / "a.tvl", letter}, Env());
        EXPECT_EQ(r.exitCode, 0) << letter << ": " << r.err;
        EXPECT_NE(r.out.find("against A:"), std::string::npos) << r.out;
    }
    ToolResult r = RunTool({"drives"}, Env());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find(config + "/tavrel.INI"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("A:     profile   file       yes      yes       yes       " + original),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("B:     default"), std::string::npos) << r.out;
}

TEST_F(CliUsage, InfoDescribesTheImageAsTextMapAndJson) {
    const std::string image = dir / "a.tvl";
    ASSERT_EQ(RunTool({"compress", original, image}, Env()).exitCode, 0);
    ToolResult r = RunTool({"info", image, "--map"}, Env());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* part : {"1.44 MB (F0), media code 4", "run-length (method 1)", "160 of 160",
                             "complete and well-formed (the format has no checksum", "Track map",
                             "head 0  ", "head 1  "})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << " in " << r.out;
    size_t row = r.out.find("head 1  ");
    ASSERT_NE(row, std::string::npos);
    EXPECT_EQ(r.out.find('\n', row) - (row + 8), 80u);  // one character per cylinder

    r = RunTool({"info", image, "--json", "--map"}, Env());
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(LineCount(r.out), 1);
    EXPECT_NE(r.out.find("\"wellFormed\":true"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"expected\":160"), std::string::npos) << r.out;
    WriteFileBytes(dir / "info.json", r.out);
    if (Shell("command -v python3 >/dev/null") == 0) {
        EXPECT_EQ(Shell("python3 -c 'import json,sys; json.load(open(sys.argv[1]))' '" +
                        dir / "info.json" + "'"),
                  0);
    }
}

}  // namespace
