// Options and recent lists kept from one run to the next in the profile file.
#include <sys/stat.h>

#include "tests/app/app_fixture.h"
#include "tests/support/facility.h"

namespace {

class Settings : public AppTest {
  protected:
    std::string Read(const char* section, const char* key) {
        char value[4096];
        GetPrivateProfileStringA(section, key, "<none>", value, sizeof value, Profile().c_str());
        return value;
    }
    void CloseDialog() {
        Click(IDCANCEL_BUTTON);
        ASSERT_TRUE(WaitClosed());
    }
    std::string Entries(int count, const std::string& prefix) {
        std::string lines;
        for (int i = 0; i < count; ++i)
            lines += "Entry" + std::to_string(i) + "=" + prefix + std::to_string(i) + "\n";
        return lines;
    }
};

TEST_F(Settings, WithoutAFileTheDefaultsShow) {
    Open();
    EXPECT_TRUE(Check(IDC_COMPRESSION)->isChecked());
    EXPECT_TRUE(Check(IDC_COMPRESSION)->isEnabled());
    EXPECT_FALSE(Check(IDC_AUTOCLOSE)->isChecked());
    EXPECT_TRUE(Button(IDC_OP_COMPRESS)->isChecked());
    EXPECT_EQ(dlg->m_driveCombo->count(), 0);
    EXPECT_EQ(dlg->m_fileCombo->count(), 0);
    CloseDialog();
    EXPECT_EQ(ReadFileBytes(Profile()), "[Options]\nCompression=1\nAutoClose=0\nOperation=0\n");
}

TEST_F(Settings, AMissingFolderIsMadeAndAFailedSaveIsToldOnce) {
    {
        platform::ScopedProfilePath missing(dir / "config/tavrel/tavrel.INI");
        Open();
        CloseDialog();
        EXPECT_EQ(ReadFileBytes(dir / "config/tavrel/tavrel.INI"),
                  "[Options]\nCompression=1\nAutoClose=0\nOperation=0\n");
        struct stat st;
        ASSERT_EQ(stat((dir / "config").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    // A folder that cannot be made: the dialog closes all the same and says why, once.
    WriteFileBytes(dir / "file", "");
    platform::ScopedProfilePath blocked(dir / "file/tavrel.INI");
    Open();
    testing::internal::CaptureStderr();
    CloseDialog();
    const std::string told = testing::internal::GetCapturedStderr();
    const std::string line =
        "tavrel: settings not saved in " + dir / "file/tavrel.INI" + ": Not a directory\n";
    EXPECT_NE(told.find(line), std::string::npos) << told;
    EXPECT_EQ(told.find("settings not saved"), told.rfind("settings not saved")) << told;
}

TEST_F(Settings, NineEntriesAreReadTenWrittenAndStaleKeysStay) {
    WriteProfile(
        "[Drives]\nA=/nowhere/a.img\n; kept as written\n\n[Drive Letters]\nEntry0=c\n"
        "Entry5=D\n[File Names]\n" +
        Entries(10, "/srv/Disks/n") + "[Other]\nkey=value\n");
    Open();
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"C", "D"}));
    ASSERT_EQ(dlg->m_fileCombo->count(), 9);
    EXPECT_EQ(dlg->m_fileCombo->itemText(8), "/srv/Disks/n8");
    EXPECT_EQ(dlg->m_fileCombo->currentText(), "/srv/Disks/n0");
    EXPECT_EQ(dlg->m_driveCombo->currentText(), "C");
    CloseDialog();
    EXPECT_EQ(Read("Drive Letters", "Entry0"), "C");
    EXPECT_EQ(Read("Drive Letters", "Entry1"), "D");
    EXPECT_EQ(Read("Drive Letters", "Entry5"), "D") << "keys beyond the last written stay";
    EXPECT_EQ(Read("File Names", "Entry9"), "/srv/Disks/n9");
    EXPECT_EQ(Read("Drives", "A"), "/nowhere/a.img");
    EXPECT_EQ(Read("Other", "key"), "value");
    const std::string text = ReadFileBytes(Profile());
    EXPECT_EQ(text.rfind("[Drives]\nA=/nowhere/a.img\n; kept as written\n\n[Drive Letters]", 0), 0u)
        << text;

    Open();  // the stale Entry5 shows a second time
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"C", "D", "D"}));
}

TEST_F(Settings, OutOfRangeValuesAndTheStoredOperation) {
    WriteProfile("[Options]\nCompression=7\nAutoClose=2\nOperation=1\n");
    Open();
    EXPECT_FALSE(Check(IDC_COMPRESSION)->isChecked());
    EXPECT_FALSE(Check(IDC_COMPRESSION)->isEnabled());
    EXPECT_TRUE(Check(IDC_AUTOCLOSE)->isChecked());
    EXPECT_TRUE(Button(IDC_OP_EXPAND)->isChecked());
    EXPECT_EQ(dlg->m_bCompression, 0);
    // Options toggled but never taken by Start stay as stored, except the replaced value.
    Click(IDC_AUTOCLOSE);
    Click(IDC_OP_VERIFY);
    CloseDialog();
    EXPECT_EQ(Read("Options", "Compression"), "0");
    EXPECT_EQ(Read("Options", "AutoClose"), "2");
    EXPECT_EQ(Read("Options", "Operation"), "1");
}

// A file name reaches the list from "Open with Tavrel" as it is, and one may hold a line break.
TEST_F(Settings, ANameWithALineBreakIsNotKeptAndTheRestIsSaved) {
    WriteProfile("[File Names]\nEntry0=" + dir / "old.tvl" + "\n");
    Open();
    dlg->m_fileCombo->insertItem(0, QString::fromStdString(dir / "b.tvl"));
    dlg->m_fileCombo->insertItem(0, QString::fromStdString("x.tvl\r[Drives]\rA=/dev/sda"));
    dlg->m_fileCombo->insertItem(0, QString::fromStdString("x.tvl\n[Drives]\nA=/dev/sda"));
    testing::internal::CaptureStderr();
    CloseDialog();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(Read("Drives", "A"), "<none>");
    EXPECT_EQ(Read("File Names", "Entry0"), dir / "b.tvl");
    EXPECT_EQ(Read("File Names", "Entry1"), dir / "old.tvl");
    EXPECT_EQ(Read("File Names", "Entry2"), "<none>");
    EXPECT_EQ(Read("Options", "Compression"), "1");
}

TEST_F(Settings, ListsGrownDuringARunAndNoSaveFlag) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    MakeDriveA("[Options]\nOperation=0\n[File Names]\n" + Entries(9, dir / "old-"));
    const std::string before = ReadFileBytes(Profile());

    // With /N: jobs change the lists, the file stays byte for byte.
    CTavrelCommandLineInfo noSave = Parse({"/N"});
    Open(&noSave);
    SetDrive("A");
    SetFile(dir / "first.tvl");
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_fileCombo->count(), 10);
    CloseDialog();
    EXPECT_EQ(ReadFileBytes(Profile()), before);

    // Grown to twelve entries: ten written, nine read back.
    Open();
    SetDrive("A");
    for (const char* name : {"c.tvl", "b.tvl", "a.tvl"}) {
        SetFile(dir / name);
        Click(IDC_START);
        ASSERT_TRUE(WaitIdle()) << name;
    }
    Click(IDC_OP_VERIFY);
    SetFile(dir / "a.tvl");
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_lastJobResult, JobDone);
    ASSERT_EQ(dlg->m_fileCombo->count(), 12);
    CloseDialog();
    EXPECT_EQ(Read("Options", "Operation"), "2");
    EXPECT_EQ(Read("File Names", "Entry0"), dir / "a.tvl");
    EXPECT_EQ(Read("File Names", "Entry1"), dir / "b.tvl");
    EXPECT_EQ(Read("File Names", "Entry2"), dir / "c.tvl");
    EXPECT_EQ(Read("File Names", "Entry9"), dir / "old-6");
    EXPECT_EQ(Read("File Names", "Entry10"), "<none>");
    EXPECT_EQ(Read("Drive Letters", "Entry0"), "A");
    EXPECT_EQ(Read("Drives", "A"), dir / "disk.raw");
    Open();
    ASSERT_EQ(dlg->m_fileCombo->count(), 9);
    EXPECT_EQ(dlg->m_fileCombo->itemText(8).toStdString(), dir / "old-5");
}

}  // namespace
