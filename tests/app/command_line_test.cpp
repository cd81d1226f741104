// The command line: what each option presets, and what the application does with it.
#include "app/command_line_help.h"
#include "platform/version.h"
#include "tests/app/app_fixture.h"

namespace {

TEST(CommandLine, OptionsPresetTheirFields) {
    CTavrelCommandLineInfo none = Parse({});
    EXPECT_EQ(none.m_nOperation, -1);
    EXPECT_EQ(none.m_strDriveLetter, "");
    EXPECT_EQ(none.m_strImageFile, "");
    EXPECT_EQ(none.m_nCompression, -1);
    EXPECT_EQ(none.m_nAutoClose, -1);
    EXPECT_EQ(none.m_nSaveSettings, -1);

    CTavrelCommandLineInfo all = Parse({"/O:VERIFY", "/d:b", "/A", "-U", "/N"});
    EXPECT_EQ(all.m_nOperation, 2);
    EXPECT_EQ(all.m_strDriveLetter, "B");
    EXPECT_EQ(all.m_nAutoClose, 1);
    EXPECT_EQ(all.m_nCompression, 0);
    EXPECT_EQ(all.m_nSaveSettings, 0);

    // Only the first letter decides; a bare argument is an option too.
    EXPECT_EQ(Parse({"/AUTO"}).m_nAutoClose, 1);
    EXPECT_EQ(Parse({"ARCHIVE.TVL"}).m_nAutoClose, 1);
    EXPECT_EQ(Parse({"nosave"}).m_nSaveSettings, 0);
    EXPECT_EQ(Parse({"/X", "/Zebra", "/"}).m_nOperation, -1);
}

TEST(CommandLine, OperationNeedsItsExactNameAfterAnySeparator) {
    EXPECT_EQ(Parse({"/O:compress"}).m_nOperation, 0);
    EXPECT_EQ(Parse({"/O=EXPAND"}).m_nOperation, 1);
    EXPECT_EQ(Parse({"-o:Verify"}).m_nOperation, 2);
    EXPECT_EQ(Parse({"/OEXPAND"}).m_nOperation, -1);
    EXPECT_EQ(Parse({"/O:EXPANDED"}).m_nOperation, -1);
    EXPECT_EQ(Parse({"/O"}).m_nOperation, -1);
    EXPECT_EQ(Parse({"/O:"}).m_nOperation, -1);
    // Later overrides earlier; a text that names nothing leaves the earlier one.
    EXPECT_EQ(Parse({"/O:COMPRESS", "/O:EXPAND"}).m_nOperation, 1);
    EXPECT_EQ(Parse({"/O:VERIFY", "/O:NONE"}).m_nOperation, 2);
}

TEST(CommandLine, FileNameKeepsItsCaseAndDriveLetterIsUpperCase) {
    EXPECT_EQ(Parse({"/f:/srv/Disks/One.tvl"}).m_strImageFile, "/srv/Disks/One.tvl");
    EXPECT_EQ(Parse({"FILE.TVL"}).m_strImageFile, "LE.TVL");
    EXPECT_EQ(Parse({"/F"}).m_strImageFile, "");
    EXPECT_EQ(Parse({"/F:"}).m_strImageFile, "");
    EXPECT_EQ(Parse({"/F:a.tvl", "/F:b.tvl"}).m_strImageFile, "b.tvl");
    EXPECT_EQ(Parse({"/d:b"}).m_strDriveLetter, "B");
    EXPECT_EQ(Parse({"/D=c"}).m_strDriveLetter, "C");
    EXPECT_EQ(Parse({"/D"}).m_strDriveLetter, "");
    EXPECT_EQ(Parse({"/D:"}).m_strDriveLetter, "");
    EXPECT_EQ(Parse({"/D:A", "/D:B"}).m_strDriveLetter, "B");
}

TEST(CommandLine, ProfileAndRefusalAreNamedAfterTheProgram) {
    platform::ScopedProfilePath base("/home/someone/.config/tavrel.INI");
    EXPECT_EQ(ProfileFileFor("/usr/bin/tavrel"), "/home/someone/.config/tavrel.INI");
    EXPECT_EQ(ProfileFileFor("/opt/x/floppy2"), "/home/someone/.config/floppy2.INI");
    EXPECT_EQ(ProfileFileFor("TAVREL.EXE"), "/home/someone/.config/TAVREL.INI");
    EXPECT_EQ(ApplicationName("/usr/local/bin/tavrel"), "tavrel");
}

TEST(CommandLine, HelpAndVersionAreWholeArgumentsAndTheFirstCounts) {
    for (const char* help : {"--help", "-h", "/?"})
        EXPECT_EQ(Parse({help}).m_ask, CommandLineAsk::Usage) << help;
    EXPECT_EQ(Parse({"--version"}).m_ask, CommandLineAsk::Version);
    EXPECT_EQ(Parse({"/O:VERIFY", "-h", "/A"}).m_ask, CommandLineAsk::Usage);
    EXPECT_EQ(Parse({"--version", "--help"}).m_ask, CommandLineAsk::Version);
    EXPECT_EQ(Parse({"/?", "--version"}).m_ask, CommandLineAsk::Usage);
    // What the first-letter rule reads stays as it was: none of these asks for a text.
    for (const char* other : {"-help", "/H", "-H", "/Hold", "HELP.TVL", "--HELP", "-?", "?",
                              "/version", "-v", "--versions", "--", "-"})
        EXPECT_EQ(Parse({other}).m_ask, CommandLineAsk::Dialog) << other;
    // The options around it are read as ever; the asking argument itself presets nothing.
    CTavrelCommandLineInfo both = Parse({"/A", "--version", "/N"});
    EXPECT_EQ(both.m_nAutoClose, 1);
    EXPECT_EQ(both.m_nSaveSettings, 0);
}

// A face that records what the application asks of it.
class RecordingApp : public CTavrelApp {
  public:
    std::vector<std::string> texts;
    int refusals = 0;
    int dialogs = 0;

  protected:
    void ShowText(const std::string& text) override { texts.push_back(text); }
    void ShowRefusal(const std::string&, const std::string&) override { ++refusals; }
    JobResult RunMainDialog(const CTavrelCommandLineInfo&) override {
        ++dialogs;
        return JobFailed;
    }
};

class Platform : public AppTest {};

TEST_F(Platform, HelpAndVersionPrintOnlyTheirTextAndEndWithZero) {
    // Even where the dialog would be refused: the text needs nothing of the system.
    platform::ScopedPlatformId wrong(VER_PLATFORM_WIN32s);
    RecordingApp help;
    help.InitInstance({"/usr/bin/tavrel", "/O:COMPRESS", "/D:A", "-h"});
    EXPECT_EQ(help.ExitInstance(), 0);
    EXPECT_EQ(help.texts, std::vector<std::string>{CommandLineUsage("tavrel")});
    EXPECT_EQ(help.refusals + help.dialogs, 0);

    RecordingApp version;
    version.InitInstance({"/usr/bin/tavrel", "--version", "/?"});
    EXPECT_EQ(version.ExitInstance(), 0);
    EXPECT_EQ(version.texts, std::vector<std::string>{VersionLine()});
    EXPECT_EQ(version.refusals + version.dialogs, 0);
    EXPECT_FALSE(FileExists(Profile())) << "printing a text touches no settings";
}

TEST_F(Platform, OnlyTheTwoSupportedPlatformFamiliesStart) {
    for (DWORD id : {VER_PLATFORM_WIN32s, DWORD{3}}) {
        platform::ScopedPlatformId wrong(id);
        boxes.clear();
        QtTavrelApp theApp;
        EXPECT_FALSE(theApp.InitInstance({"/usr/bin/tavrel", "/O:COMPRESS"}));
        EXPECT_EQ(theApp.ExitInstance(), 2) << id;
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "  Tavrel supports only Windows 95 and Windows NT. ");
        EXPECT_EQ(boxes[0].caption, "tavrel");
        EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONERROR);
        EXPECT_FALSE(FileExists(Profile())) << "a refused run touches no settings";
    }
    // The Windows 95 family starts the dialog: close it as soon as it is up.
    boxes.clear();
    platform::ScopedPlatformId windows95(VER_PLATFORM_WIN32_WINDOWS);
    bool opened = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* main = dynamic_cast<QtMainDlg*>(w); main && main->isVisible()) {
                opened = true;
                main->OnCancel();
            }
    });
    QtTavrelApp theApp;
    theApp.InitInstance({"/usr/bin/tavrel"});
    EXPECT_TRUE(opened);
    EXPECT_EQ(theApp.ExitInstance(), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(FileExists(Profile())) << "the dialog saved its settings on the way out";
}

}  // namespace
