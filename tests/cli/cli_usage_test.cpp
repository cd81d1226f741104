// The command line itself: help, version, usage errors, what is printed where, --force,
// --quiet, drive letters from the profile, the drive listing, and info's forms.
#include <gtest/gtest.h>

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
}

TEST_F(CliUsage, OffATerminalOnlyTheSummaryIsPrinted) {
    ToolResult r = RunTool({"compress", original, dir / "a.img"}, Env());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(LineCount(r.out), 1);
    // What was done, the format, the time and, for compress, size and ratio.
    for (const char* part : {"Compressed", "1.44 MB", " s:", "bytes", "%"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << " in " << r.out;
}

TEST_F(CliUsage, QuietPrintsNothingButErrors) {
    ToolResult r = RunTool({"-q", "compress", original, dir / "a.img"}, Env());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    r = RunTool({"verify", dir / "a.img", original, "--quiet"}, Env());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    r = RunTool({"--quiet", "verify", dir / "missing.img", original}, Env());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(LineCount(r.err), 1);
}

TEST_F(CliUsage, AnExistingImageIsReplacedOnlyWithForce) {
    const std::string image = dir / "old.img";
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
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"config", "old.img", "original.raw"}));
}

TEST_F(CliUsage, DriveLettersComeFromTheProfile) {
    ASSERT_EQ(RunTool({"compress", original, dir / "a.img"}, Env()).exitCode, 0);
    WriteFileBytes(config + "/tavrel.INI", "[Drives]\nA=" + original + "\n");
    for (const char* letter : {"A:", "A", "a"}) {
        ToolResult r = RunTool({"verify", dir / "a.img", letter}, Env());
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
    const std::string image = dir / "a.img";
    ASSERT_EQ(RunTool({"compress", original, image}, Env()).exitCode, 0);
    ToolResult r = RunTool({"info", image, "--map"}, Env());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* part : {"1.44 MB (F0), media code 4", "run-length (method 1)", "160 of 160",
                             "complete and well-formed", "Track map", "head 0  ", "head 1  "})
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
