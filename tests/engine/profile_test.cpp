// Profile files: defaults, case-insensitive names, and edits that leave other lines alone.
#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/last_error.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Profile, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir dir;
    std::string file = dir / "t.INI";
    char buffer[64];
    EXPECT_EQ(GetPrivateProfileIntA("Options", "Operation", 7, file.c_str()), 7u);
    EXPECT_EQ(GetPrivateProfileStringA("Options", "X", "def", buffer, sizeof buffer, file.c_str()),
              3u);
    EXPECT_STREQ(buffer, "def");
    WriteFileBytes(file, "[Options]\nOperation=2\n");
    EXPECT_EQ(GetPrivateProfileIntA("Other", "Operation", 7, file.c_str()), 7u);
    EXPECT_EQ(GetPrivateProfileIntA("Options", "Missing", 7, file.c_str()), 7u);
}

TEST(Profile, NamesMatchWithoutCase) {
    TempDir dir;
    std::string file = dir / "t.INI";
    WriteFileBytes(file, "[options]\noperation=2\nName=A:\\DISK.TVL\n");
    char buffer[64];
    EXPECT_EQ(GetPrivateProfileIntA("OPTIONS", "Operation", 0, file.c_str()), 2u);
    GetPrivateProfileStringA("Options", "NAME", "", buffer, sizeof buffer, file.c_str());
    EXPECT_STREQ(buffer, "A:\\DISK.TVL");
}

TEST(Profile, ShortBufferIsCutAndTerminated) {
    TempDir dir;
    std::string file = dir / "t.INI";
    WriteFileBytes(file, "[s]\nk=abcdefgh\n");
    char buffer[4];
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", buffer, sizeof buffer, file.c_str()), 3u);
    EXPECT_STREQ(buffer, "abc");
}

TEST(Profile, WritingOneKeyLeavesEveryOtherLine) {
    TempDir dir;
    std::string file = dir / "t.INI";
    const std::string before =
        "; settings\n[Options]\nOperation = 1\n  AutoClose=0\n\n[Drive Letters]\nDrive1=A\n# end\n";
    WriteFileBytes(file, before);
    ASSERT_TRUE(WritePrivateProfileStringA("options", "AUTOCLOSE", "1", file.c_str()));
    EXPECT_EQ(
        ReadFileBytes(file),
        "; settings\n[Options]\nOperation = 1\nAUTOCLOSE=1\n\n[Drive Letters]\nDrive1=A\n# end\n");
    ASSERT_TRUE(WritePrivateProfileStringA("Drive Letters", "Drive2", "B", file.c_str()));
    EXPECT_EQ(ReadFileBytes(file),
              "; settings\n[Options]\nOperation = 1\nAUTOCLOSE=1\n\n[Drive Letters]\nDrive1=A\n# "
              "end\nDrive2=B\n");
    ASSERT_TRUE(WritePrivateProfileStringA("File Names", "File1", "X.TVL", file.c_str()));
    EXPECT_EQ(GetPrivateProfileIntA("Options", "Operation", 0, file.c_str()), 1u);
    ASSERT_TRUE(WritePrivateProfileStringA("Options", "Operation", nullptr, file.c_str()));
    EXPECT_EQ(GetPrivateProfileIntA("Options", "Operation", 9, file.c_str()), 9u);
    ASSERT_TRUE(WritePrivateProfileStringA("Drive Letters", nullptr, nullptr, file.c_str()));
    char buffer[8];
    GetPrivateProfileStringA("Drive Letters", "Drive1", "-", buffer, sizeof buffer, file.c_str());
    EXPECT_STREQ(buffer, "-");
    GetPrivateProfileStringA("File Names", "File1", "-", buffer, sizeof buffer, file.c_str());
    EXPECT_STREQ(buffer, "X.TVL");
}

TEST(Profile, ABatchWritesTheFileBehindALinkOnceKeepingItsMode) {
    TempDir dir;
    const std::string real = dir / "real.INI", link = dir / "t.INI";
    WriteFileBytes(real, "[Options]\nOperation=1\n");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.INI", link.c_str()), 0);
    {
        platform::ProfileBatch batch;
        ASSERT_TRUE(WritePrivateProfileStringA("Options", "Operation", "2", link.c_str()));
        ASSERT_TRUE(WritePrivateProfileStringA("Drives", "A", "/dev/fd0", link.c_str()));
        EXPECT_EQ(GetPrivateProfileIntA("Options", "Operation", 0, link.c_str()), 2u);
        EXPECT_EQ(ReadFileBytes(real), "[Options]\nOperation=1\n");
    }
    EXPECT_EQ(ReadFileBytes(real), "[Options]\nOperation=2\n[Drives]\nA=/dev/fd0\n");
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"real.INI", "t.INI"}));
}

// A file name may hold a line break: written raw, it would start lines of its own.
TEST(Profile, ALineBreakAnywhereInAWriteIsRefusedAndTheFileKept) {
    TempDir dir;
    const std::string file = dir / "t.INI";
    const std::string before = "[File Names]\nEntry0=/old.tvl\n";
    WriteFileBytes(file, before);
    struct Write {
        const char *section, *key, *value;
    };
    for (const Write& w : {Write{"File Names", "Entry0", "x.tvl\n[Drives]\nA=/dev/sda"},
                           Write{"File Names", "Entry0", "x.tvl\r[Drives]\rA=/dev/sda"},
                           Write{"File Names", "Entry0\nA", "/dev/sda"},
                           Write{"Drives]\r[File Names", "Entry0", "x"}}) {
        SetLastError(0);
        EXPECT_FALSE(WritePrivateProfileStringA(w.section, w.key, w.value, file.c_str()))
            << w.section << "/" << w.key << "/" << w.value;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
        EXPECT_EQ(ReadFileBytes(file), before);
    }
    // In a batch the refused write is left out and the others are written.
    {
        platform::ProfileBatch batch;
        EXPECT_FALSE(WritePrivateProfileStringA("File Names", "Entry0", "a\n[Drives]\nA=/dev/sda",
                                                file.c_str()));
        ASSERT_TRUE(WritePrivateProfileStringA("File Names", "Entry1", "/b.tvl", file.c_str()));
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(ReadFileBytes(file), before + "Entry1=/b.tvl\n");
    char buffer[64];
    GetPrivateProfileStringA("Drives", "A", "-", buffer, sizeof buffer, file.c_str());
    EXPECT_STREQ(buffer, "-");
}

}  // namespace
