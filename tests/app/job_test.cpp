// Real jobs from the dialog: the owner window's sends, posts and message boxes, the preset
// unattended run, Cancel and Close while a job runs on a slow drive, and the exit codes.
#include <QMessageBox>
#include <QPushButton>

#include "tests/app/app_fixture.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

class DialogJobs : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    }
    // Runs the whole program as the command line asks, closing it after deadline at worst.
    int RunProgram(const std::vector<std::string>& args, bool* closedByItself = nullptr) {
        bool forced = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            forced = true;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* main = dynamic_cast<QtMainDlg*>(w)) main->OnCancel();
        });
        guard.start(kDeadlineMs);
        QtTavrelApp theApp;
        std::vector<std::string> all{"/usr/bin/tavrel"};
        all.insert(all.end(), args.begin(), args.end());
        theApp.InitInstance(all);
        if (closedByItself) *closedByItself = !forced;
        EXPECT_FALSE(forced) << "the dialog did not close by itself";
        return theApp.ExitInstance();
    }
};

TEST_F(DialogJobs, CompressVerifyExpandByHand) {
    const std::string raw = MakeDriveA();
    const std::string blank = dir / "blank.raw", image = dir / "Backup.tvl";
    ASSERT_TRUE(MakeFloppyImage(blank, kFloppyFormats[4], false));
    WriteProfile(ReadFileBytes(Profile()) + "B=" + blank + "\n");
    Open();
    int steps = 0;
    std::string statusAtStep;
    QObject::connect(dlg->m_progress, &QProgressBar::valueChanged, dlg.get(), [&](int v) {
        if (v == 0) return;
        ++steps;
        // The worker waits inside its send: status and buttons show the running job.
        if (steps == 10) {
            statusAtStep = Status()->text().toStdString();
            EXPECT_EQ(Button(IDCANCEL_BUTTON)->text(), "&Cancel");
            EXPECT_FALSE(Button(IDC_START)->isEnabled());
            EXPECT_TRUE(Button(IDCANCEL_BUTTON)->hasFocus());
        }
    });
    SetDrive("A");
    SetFile(image);
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(steps, 20);
    EXPECT_FALSE(statusAtStep.empty());
    EXPECT_EQ(dlg->m_lastJobResult, JobDone);
    EXPECT_EQ(Status()->text(), "");
    EXPECT_EQ(dlg->m_progress->value(), 0);
    EXPECT_EQ(Button(IDCANCEL_BUTTON)->text(), "&Close");
    EXPECT_TRUE(FileExists(image));

    Click(IDC_OP_VERIFY);
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_lastJobResult, JobDone);
    // After an Expand or Verify "Use compression" is enabled again, whatever is selected.
    EXPECT_TRUE(Check(IDC_COMPRESSION)->isEnabled());

    Click(IDC_OP_EXPAND);
    SetDrive("B");
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_lastJobResult, JobDone);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(ReadFileBytes(blank), ReadFileBytes(raw));
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"B", "A"}));
}

TEST_F(DialogJobs, JobMessageBoxIsModalOnTheDialogWhileTheWorkerWaits) {
    const std::string raw = MakeDriveA();
    const std::string image = dir / "disk.tvl";
    Open();
    SetDrive("A");
    SetFile(image);
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    {
        std::string bytes = ReadFileBytes(raw);
        bytes[40 * 18 * 512 + 7] ^= 0x5A;
        WriteFileBytes(raw, bytes);
    }
    app::SetMessageBoxHook(nullptr);  // the real box this time
    std::string shownText, shownCaption;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    bool workerWaited = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        answer.stop();
        shownText = box->text().toStdString();
        shownCaption = box->windowTitle().toStdString();
        shownIcon = box->icon();
        workerWaited = Running() && Button(IDCANCEL_BUTTON)->text() == "&Cancel";
        EXPECT_EQ(box->parentWidget(), dlg.get());
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    answer.start(5);
    Click(IDC_OP_VERIFY);
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(workerWaited);
    EXPECT_EQ(shownCaption, "Tavrel");
    EXPECT_EQ(shownIcon, QMessageBox::Information);
    EXPECT_EQ(shownText, "  disk.tvl and A: are NOT the same! ");
    EXPECT_EQ(dlg->m_lastJobResult, JobDifferent);

    // The dialog's own question, shown for real: Yes and No, exclamation icon; No keeps it.
    QMessageBox::StandardButtons buttons;
    QObject::disconnect(&answer, nullptr, nullptr, nullptr);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        answer.stop();
        buttons = box->standardButtons();
        shownIcon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    answer.start(5);
    Click(IDC_OP_COMPRESS);
    const std::string before = ReadFileBytes(image);
    Click(IDC_START);
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(shownIcon, QMessageBox::Warning);
    EXPECT_FALSE(Running());
    EXPECT_EQ(ReadFileBytes(image), before);
}

TEST_F(DialogJobs, PresetRunReplacesWithoutAskingThenClosesWithTheJobsExitCode) {
    const std::string image = dir / "Preset.tvl";
    // A listed name that only begins with the preset one is another file.
    const std::string raw = MakeDriveA("[File Names]\nEntry0=" + image + ".old\n");
    WriteFileBytes(image, "an older image");
    WriteFileBytes(image + ".old", "another image");
    const std::string profileBefore = ReadFileBytes(Profile());

    EXPECT_EQ(RunProgram({"/O:COMPRESS", "/D:a", "/F:" + image, "/A", "/N"}), 0);
    EXPECT_TRUE(boxes.empty()) << boxes[0].text;
    EXPECT_NE(ReadFileBytes(image), "an older image");
    EXPECT_TRUE(ReadFileBytes(image + ".old") == "another image") << "the listed file was written";
    EXPECT_EQ(ReadFileBytes(Profile()), profileBefore);

    // Unattended expand onto a second drive, no click at all.
    const std::string blank = dir / "blank.raw";
    ASSERT_TRUE(MakeFloppyImage(blank, kFloppyFormats[4], false));
    WriteProfile("[Drives]\nA=" + raw + "\nB=" + blank + "\n");
    EXPECT_EQ(RunProgram({"/O:EXPAND", "/D:B", "/F:" + image, "/A", "/N"}), 0);
    EXPECT_EQ(ReadFileBytes(blank), ReadFileBytes(raw));

    // A difference reads 3, a failed job 2, and saving on the way out without /N.
    std::string bytes = ReadFileBytes(blank);
    bytes[512 * 100] ^= 1;
    WriteFileBytes(blank, bytes);
    EXPECT_EQ(RunProgram({"/O:VERIFY", "/D:B", "/F:" + image, "/A", "/N"}), 3);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONINFORMATION);
    boxes.clear();
    EXPECT_EQ(RunProgram({"/O:VERIFY", "/D:Q", "/F:" + image, "/A"}), 2);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "  Cannot find the drive specified. ");
    char saved[16];
    GetPrivateProfileStringA("Drive Letters", "Entry0", "", saved, sizeof saved, Profile().c_str());
    EXPECT_STREQ(saved, "Q");
}

TEST_F(DialogJobs, StartByHandAsksAfterAPresetRun) {
    MakeDriveA();
    const std::string image = dir / "disk.tvl";
    WriteFileBytes(image, "an older image");
    CTavrelCommandLineInfo cmd = Parse({"/O:COMPRESS", "/D:A", "/F:" + image});
    Open(&cmd);
    ASSERT_TRUE(WaitUntil([&] { return dlg->m_lastJobResult != JobNotRun; }, kDeadlineMs));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_lastJobResult, JobDone);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(dlg->isVisible()) << "no /A: the dialog stays";
    answers = {IDNO};
    Click(IDC_START);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, MB_YESNO | MB_ICONEXCLAMATION);
}

class SlowDrive : public DialogJobs {
  protected:
    void SetUp() override {
        DialogJobs::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(MakeFloppyImage(dir / "original.raw", kFloppyFormats[4]));
        slow = std::make_unique<SlowMount>(dir / "original.raw", dir / "mnt", 10);
        if (!slow->mounted()) {
            bool ci = qEnvironmentVariable("CI") == "true";
            slow.reset();
            if (ci) FAIL() << "FUSE is not usable here";
            SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
        }
        WriteProfile("[Drives]\nS=" + slow->file() + "\n");
    }
    void TearDown() override {
        DialogJobs::TearDown();
        slow.reset();
    }
    // Starts a compress from S: and returns once its pass is under way.
    void StartSlowCompress(const std::string& image) {
        SetDrive("S");
        SetFile(image);
        Click(IDC_START);
        ASSERT_TRUE(WaitUntil([&] { return dlg->m_progress->value() >= 10; }, kDeadlineMs));
    }
    std::unique_ptr<SlowMount> slow;
};

TEST_F(SlowDrive, CancelAndCloseWhileRunningCancelTheJob) {
    Open();
    const std::string image = dir / "out.tvl";
    StartSlowCompress(image);
    Click(IDCANCEL_BUTTON);
    EXPECT_EQ(dlg->m_bCancelRequested, 1);
    EXPECT_TRUE(dlg->isVisible());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_lastJobResult, JobCancelled);
    EXPECT_FALSE(FileExists(image));
    EXPECT_TRUE(boxes.empty());

    // Escape and a close request while a job runs cancel it too, and the dialog stays.
    StartSlowCompress(image);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_lastJobResult, JobCancelled);
    StartSlowCompress(image);
    dlg->close();
    EXPECT_TRUE(dlg->isVisible());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_lastJobResult, JobCancelled);
    EXPECT_EQ(dlg->m_bCancelRequested, 1);
    // A later job that completes clears it.
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_lastJobResult, JobDone);
    EXPECT_EQ(dlg->m_bCancelRequested, 0);
}

TEST_F(SlowDrive, ExitCodeOfACancelledLastJobIsOne) {
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* main = dynamic_cast<QtMainDlg*>(w); main && main->m_progress->value() >= 10) {
                cancel.stop();
                main->OnCancel();
            }
    });
    cancel.start(5);
    EXPECT_EQ(RunProgram({"/O:COMPRESS", "/D:S", "/F:" + (dir / "out.tvl"), "/A", "/N"}), 1);
    EXPECT_FALSE(FileExists(dir / "out.tvl"));
}

TEST_F(SlowDrive, EndNoticeIsHandledOnlyOnceTheWorkerHasEnded) {
    CTavrelCommandLineInfo cmd = Parse({"/A", "/N"});
    Open(&cmd);
    StartSlowCompress(dir / "out.tvl");
    // An end notice that arrives while the worker still runs must wait for it.
    dlg->Post(WM_COMMAND, ID_JOB_DONE, 0);
    bool restoredEarly = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (Running() && (Button(IDC_START)->isEnabled() || !dlg->isVisible()))
                restoredEarly = true;
            return !Running();
        },
        kDeadlineMs));
    EXPECT_FALSE(restoredEarly);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(dlg->m_lastJobResult, JobDone);
    EXPECT_EQ(dlg->m_bCancelRequested, 0);
    EXPECT_TRUE(FileExists(dir / "out.tvl"));
}

}  // namespace
