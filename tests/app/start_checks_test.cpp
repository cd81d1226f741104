// Start by hand: every check before a job and its message, the recent lists, and the drive box.
#include "tests/app/app_fixture.h"
#include "tests/support/facility.h"

namespace {

class StartChecks : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        MakeDriveA("[Drive Letters]\nEntry0=B\nEntry1=A\n[File Names]\nEntry0=" + dir / "old.tvl" +
                   "\nEntry1=" + dir / "disk.tvl" + "\n");
        Open();
    }
    // The refusal left everything as it was: no job, lists and texts unchanged.
    void ExpectRefused(const std::vector<std::string>& drives,
                       const std::vector<std::string>& files) {
        EXPECT_FALSE(Running());
        EXPECT_TRUE(Button(IDC_START)->isEnabled());
        EXPECT_EQ(Items(dlg->m_driveCombo), drives);
        EXPECT_EQ(Items(dlg->m_fileCombo), files);
        EXPECT_EQ(dlg->m_lastJobResult, JobNotRun);
    }
};

TEST_F(StartChecks, CompressWantsANameAfterTheLastSlashBeforeADrive) {
    const auto drives = Items(dlg->m_driveCombo), files = Items(dlg->m_fileCombo);
    for (std::string text : {std::string(""), dir / "", std::string("C:\\IMAGES\\")}) {
        boxes.clear();
        SetDrive("");  // the name is checked first
        SetFile(text);
        Click(IDC_START);
        ASSERT_EQ(boxes.size(), 1u) << text;
        EXPECT_EQ(boxes[0].text, "  Please specify an image file name. ");
        EXPECT_EQ(boxes[0].caption, "Tavrel");
        EXPECT_EQ(boxes[0].type, MB_ICONERROR);
        EXPECT_EQ(dlg->m_fileCombo->currentText().toStdString(), text);
        ExpectRefused(drives, files);
    }
    boxes.clear();
    SetFile(dir / "new.tvl");
    Click(IDC_START);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "  Drive letter must be 'A' through 'Z' ");
    EXPECT_EQ(boxes[0].type, MB_ICONINFORMATION);
    ExpectRefused(drives, files);
    EXPECT_FALSE(FileExists(dir / "new.tvl"));
}

TEST_F(StartChecks, ExpandAndVerifyCheckTheDriveThenTheFile) {
    const auto drives = Items(dlg->m_driveCombo), files = Items(dlg->m_fileCombo);
    for (int op : {IDC_OP_EXPAND, IDC_OP_VERIFY}) {
        Click(op);
        EXPECT_FALSE(Check(IDC_COMPRESSION)->isEnabled());
        SetFile(dir / "missing.tvl");
        // A longer text (as a profile may hold) is refused, not cut to its first letter.
        for (const char* drive : {"", "AB"}) {
            boxes.clear();
            SetDrive(drive);
            Click(IDC_START);
            ASSERT_EQ(boxes.size(), 1u) << drive;
            EXPECT_EQ(boxes[0].text, "  Drive letter must be 'A' through 'Z' ");
        }

        boxes.clear();
        SetDrive("A");
        Click(IDC_START);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "  Could not locate file: " + dir / "missing.tvl" + " ");
        EXPECT_EQ(boxes[0].type, MB_ICONERROR);

        boxes.clear();
        SetFile("");
        Click(IDC_START);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "  Could not locate file:  ");
        ExpectRefused(drives, files);
    }
    Click(IDC_OP_COMPRESS);
    EXPECT_TRUE(Check(IDC_COMPRESSION)->isEnabled());
}

TEST_F(StartChecks, ReplacingAnImageByHandAsksFirst) {
    const std::string image = dir / "disk.tvl";
    WriteFileBytes(image, "an older image");
    const auto drives = Items(dlg->m_driveCombo), files = Items(dlg->m_fileCombo);
    SetDrive("A");
    SetFile(image);
    answers = {IDNO};
    Click(IDC_START);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "  " + image + " already exists. \n  Do you want to replace it? ");
    EXPECT_EQ(boxes[0].type, MB_YESNO | MB_ICONEXCLAMATION);
    ExpectRefused(drives, files);
    EXPECT_EQ(ReadFileBytes(image), "an older image");

    // A folder counts as existing too.
    boxes.clear();
    SetFile(dir.path());
    answers = {IDNO};
    Click(IDC_START);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, MB_YESNO | MB_ICONEXCLAMATION);

    boxes.clear();
    SetFile(image);
    answers = {IDYES};
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(dlg->m_lastJobResult, JobDone);
    EXPECT_NE(ReadFileBytes(image), "an older image");
    // Started entries move to the top without a second copy.
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(Items(dlg->m_fileCombo), (std::vector<std::string>{image, dir / "old.tvl"}));
}

TEST_F(StartChecks, FileNamesAreFoundInTheirListByExactCase) {
    // Two files whose names differ only in case are two files here.
    SetDrive("A");
    const std::string upper = dir / "DISK.TVL";
    SetFile(upper);
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(FileExists(upper));
    EXPECT_FALSE(FileExists(dir / "disk.tvl"));
    EXPECT_EQ(Items(dlg->m_fileCombo),
              (std::vector<std::string>{upper, dir / "old.tvl", dir / "disk.tvl"}));
    EXPECT_EQ(dlg->m_strFileName, upper);
    // Of two copies, the one after entry 0 goes.
    dlg->m_fileCombo->addItem(QString::fromStdString(upper));
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Items(dlg->m_fileCombo),
              (std::vector<std::string>{upper, upper, dir / "old.tvl", dir / "disk.tvl"}));
}

TEST_F(StartChecks, DriveBoxTakesOneUpperCaseLetter) {
    QLineEdit* edit = dlg->m_driveCombo->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, "bc");
    EXPECT_EQ(edit->text(), "B");
    edit->clear();
    SetFile("");
    QTest::keyClicks(dlg->m_fileCombo->lineEdit(), "Mixed.Tvl");
    EXPECT_EQ(dlg->m_fileCombo->currentText(), "Mixed.Tvl");

    // Nothing completes the file name: a list entry that differs from it in case is another
    // file, also when Enter starts the job.
    const std::string listed = dir / "Img1.tvl";
    WriteFileBytes(listed, "listed image");
    dlg->m_fileCombo->insertItem(0, QString::fromStdString(listed));
    SetDrive("A");
    QLineEdit* file = dlg->m_fileCombo->lineEdit();
    file->clear();
    QTest::keyClicks(file, QString::fromStdString(dir / "img1.tvl"));
    QTest::keyClick(file, Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return dlg->m_lastJobResult != JobNotRun; }));
    EXPECT_EQ(dlg->m_strFileName, dir / "img1.tvl");
    EXPECT_TRUE(ReadFileBytes(listed) == "listed image") << "the listed file was written";
}

TEST_F(StartChecks, NoOperationSelectedDoesNothing) {
    dlg.reset();
    WriteProfile(ReadFileBytes(Profile()) + "[Options]\nOperation=7\n");
    Open();
    for (int id : {IDC_OP_COMPRESS, IDC_OP_EXPAND, IDC_OP_VERIFY})
        EXPECT_FALSE(Button(id)->isChecked());
    EXPECT_FALSE(Check(IDC_COMPRESSION)->isEnabled());
    Click(IDC_START);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(Running());
    // The picture stands still over ticks.
    const QVariant shown = dlg->m_animation->property("iconId");
    for (int i = 0; i < 7; ++i) dlg->OnTimer();
    EXPECT_EQ(dlg->m_animation->property("iconId"), shown);
}

}  // namespace
