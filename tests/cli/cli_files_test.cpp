// What the tool does with the files around an image that a plain job test cannot show: a
// folder that takes no new file (as a user who may write the image but not the folder), and
// system texts in the user's language.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

namespace {

class CliFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        ASSERT_TRUE(MakeFloppyImage(disk, kFloppyFormats[0]));
    }
    TempDir dir;
    const std::string disk = dir / "disk.raw";
};

TEST_F(CliFiles, FolderThatTakesNoNewFileIsWrittenInPlace) {
    const std::string folder = dir / "kept";
    const std::string image = folder + "/disk.tvl";
    ASSERT_EQ(Shell("mkdir '" + folder + "'"), 0);
    WriteFileBytes(image, "older image");
    struct stat before;
    ASSERT_EQ(::stat(image.c_str(), &before), 0);

    // Root may create files anywhere: the job then runs as a user who owns the image but not
    // its folder. Anybody else simply loses the right to create files in the folder.
    const bool root = geteuid() == 0;
    std::string run = std::string(TAVREL_CLI);
    if (root) {
        if (Shell("command -v setpriv >/dev/null") != 0)
            SKIP_OR_FAIL("setpriv (util-linux) is needed to run the tool as another user");
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(disk.c_str(), 0644), 0);
        ASSERT_EQ(::chown(image.c_str(), 65534, 65534), 0);
        run = "setpriv --reuid=65534 --regid=65534 --clear-groups " + run;
    } else {
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    }
    const std::string err = dir / "err.txt";
    int code =
        Shell(run + " compress --force '" + disk + "' '" + image + "' 2>'" + err + "' >/dev/null");
    if (!root) ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(code, 0) << ReadFileBytes(err);
    EXPECT_EQ(ReadFileBytes(err),
              "tavrel-cli: cannot create a file beside " + image + ": writing over it in place\n");
    struct stat after;
    ASSERT_EQ(::stat(image.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the image itself was written";
    EXPECT_EQ(Listing(folder), std::vector<std::string>{"disk.tvl"});
    EXPECT_EQ(RunTool({"verify", image, disk}).exitCode, 0);
}

TEST_F(CliFiles, ConvertNeverPutsAFileInPlaceOfAPipe) {
    const std::string pipe = dir / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    ToolResult r = RunTool({"convert", "--force", disk, pipe});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "tavrel-cli: cannot create a file beside " + pipe + ": Invalid argument\n");
    struct stat st;
    ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"disk.raw", "pipe"}));
}

TEST_F(CliFiles, SystemTextsFollowTheUsersLanguage) {
    const std::string locales = dir / "locales";
    if (Shell("mkdir -p '" + locales + "' && localedef -i de_DE -f UTF-8 '" + locales +
              "/de_DE.UTF-8' >/dev/null 2>&1") != 0)
        SKIP_OR_FAIL("cannot make a German locale here (localedef and the locales package)");
    if (Shell("test -f /usr/share/locale/de/LC_MESSAGES/libc.mo") != 0)
        SKIP_OR_FAIL("the C library's German texts are not installed (libc-l10n)");
    const ToolEnv german = {
        {"LOCPATH", locales}, {"LC_ALL", "de_DE.UTF-8"}, {"LANG", "de_DE.UTF-8"}};
    ToolResult r = RunTool({"compress", disk, dir / "missing/disk.tvl"}, german);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "File Open Error: " + (dir / "missing/disk.tvl") +
                         ": Datei oder Verzeichnis nicht gefunden\n");

    // The program's own texts and numbers stay as they are.
    ToolResult c = RunTool({"compress", "--no-compression", disk, dir / "disk.tvl"}, german);
    EXPECT_EQ(c.exitCode, 0);
    EXPECT_NE(c.out.find("368,804 bytes, 100.0% of 368,804"), std::string::npos) << c.out;
}

}  // namespace
