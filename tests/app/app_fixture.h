// What the dialog's tests share: a profile file of their own in a fresh folder, diskettes made
// by mkfs.fat and mapped as drive letters in its "Drives" section, message boxes answered and
// recorded through the message-box seam, a made-up set of floppy drives for the drive list
// (none unless a test adds some), and the dialog driven through its widgets.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/drive_list.h"
#include "app/qt/message_box.h"
#include "app/qt/qt_app.h"
#include "app/qt/qt_main_dlg.h"
#include "app/resource_ids.h"
#include "engine/disk_job.h"
#include "platform/profile.h"
#include "tests/support/floppy_images.h"
#include "tests/support/temp_dir.h"

struct RecordedBox {
    std::string text;
    std::string caption;
    UINT type;
};

// Generous: the machine is shared, and a wait ends as soon as its condition holds.
constexpr int kDeadlineMs = 60000;

// Runs the event loop until done() holds, looking every few milliseconds; false at the
// deadline. The loop never sleeps while events wait, so a job's sends are answered at once.
inline bool WaitUntil(const std::function<bool()>& done, int deadlineMs = kDeadlineMs) {
    if (done()) return true;
    QEventLoop loop;
    QTimer look, deadline;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done()) loop.exit(0);
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    look.start(2);
    deadline.setSingleShot(true);
    deadline.start(deadlineMs);
    return loop.exec() == 0;
}

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The machine's own drives (other tests' loop devices among them) stay out of the list.
        app::SetDriveFinder([this] { return foundDrives; });
        m_profile = std::make_unique<platform::ScopedProfilePath>(dir / "tavrel.INI");
        app::SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, UINT type) {
                boxes.push_back({text, caption, type});
                if (onBox) onBox(boxes.back());
                int answer = IDOK;
                if (!answers.empty()) {
                    answer = answers.front();
                    answers.pop_front();
                } else if ((type & MB_TYPEMASK) == MB_YESNO) {
                    answer = IDYES;
                }
                return answer;
            });
    }
    void TearDown() override {
        app::SetMessageBoxHook(nullptr);
        // A look still under way would call the finder, which reads this fixture, after the
        // dialog is gone: the dialog no longer waits for it.
        if (dlg) {
            EXPECT_TRUE(WaitDriveSearch());
        }
        dlg.reset();
        app::SetDriveFinder(nullptr);
        m_profile.reset();
    }

    std::string Profile() const { return dir / "tavrel.INI"; }
    void WriteProfile(const std::string& text) { WriteFileBytes(Profile(), text); }

    // A 1.44 MB diskette with files on it, mapped as drive A in the profile (plus lines).
    std::string MakeDriveA(const std::string& moreProfileLines = "") {
        const std::string raw = dir / "disk.raw";
        EXPECT_TRUE(MakeFloppyImage(raw, kFloppyFormats[4]));
        WriteProfile("[Drives]\nA=" + raw + "\n" + moreProfileLines);
        return raw;
    }

    QtMainDlg& Open(const CTavrelCommandLineInfo* cmd = nullptr) {
        dlg = std::make_unique<QtMainDlg>();
        dlg->m_pCmdInfo = cmd;
        dlg->Create();
        dlg->show();
        // The drive list's first look answers on its own time: tests start from its answer.
        EXPECT_TRUE(WaitDriveSearch());
        return *dlg;
    }

    QAbstractButton* Button(int id) const {
        return static_cast<QAbstractButton*>(dlg->GetDlgItem(id));
    }
    QCheckBox* Check(int id) const { return static_cast<QCheckBox*>(dlg->GetDlgItem(id)); }
    QLabel* Status() const { return static_cast<QLabel*>(dlg->GetDlgItem(IDC_STATUS)); }
    void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
    void SetFile(const std::string& text) {
        dlg->m_fileCombo->setEditText(QString::fromStdString(text));
    }
    void SetDrive(const std::string& text) {
        dlg->m_driveCombo->setEditText(QString::fromStdString(text));
    }
    std::vector<std::string> Items(QComboBox* combo) const {
        std::vector<std::string> items;
        for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
        return items;
    }
    bool Running() const { return dlg->m_pJob && dlg->m_pJob->IsRunning(); }
    // Waits until the job ended and the dialog is idle again.
    bool WaitIdle() {
        return WaitUntil([&] { return Button(IDC_START)->isEnabled() && !Running(); }, kDeadlineMs);
    }
    bool WaitDriveSearch() {
        return WaitUntil([&] { return !dlg->DriveSearchRunning(); });
    }
    bool WaitClosed() {
        return WaitUntil([&] { return !dlg->isVisible(); }, kDeadlineMs);
    }

    TempDir dir;
    std::vector<RecordedBox> boxes;
    std::deque<int> answers;
    std::function<void(const RecordedBox&)> onBox;
    std::vector<FloppyDrive> foundDrives;  // what the drive list finds on this "machine"
    std::unique_ptr<QtMainDlg> dlg;

  private:
    std::unique_ptr<platform::ScopedProfilePath> m_profile;
};

inline CTavrelCommandLineInfo Parse(const std::vector<std::string>& args) {
    CTavrelCommandLineInfo info;
    std::vector<std::string> all{"tavrel"};
    all.insert(all.end(), args.begin(), args.end());
    ParseCommandLine(info, all);
    return info;
}
