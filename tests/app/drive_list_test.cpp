// The drive list offers the floppy drives the machine has: a letter for each, with what it is
// as a tooltip, kept for later runs only once it was used, and looked for again each time the
// list drops down.
#include <condition_variable>
#include <memory>
#include <mutex>

#include "tests/app/app_fixture.h"
#include "tests/support/facility.h"

namespace {

class DriveList : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        // A and B lead elsewhere, whatever this machine has as /dev/fd0 and /dev/fd1.
        WriteProfile("[Drives]\nA=" + dir / "a.raw" + "\nB=" + dir / "gone.raw" + "\n");
    }
    // A USB drive holding a 1.44 MB diskette, made as a file with the files on it.
    FloppyDrive UsbDrive(const std::string& name) {
        FloppyDrive drive;
        drive.device = dir / name;
        EXPECT_TRUE(MakeFloppyImage(drive.device, kFloppyFormats[4]));
        drive.format = "1.44 MB";
        drive.medium = FloppyMedium::Present;
        drive.vendor = "TEAC";
        drive.model = "USB UF000x";
        return drive;
    }
    std::string Tip(int index) const {
        return dlg->m_driveCombo->itemData(index, Qt::ToolTipRole).toString().toStdString();
    }
    std::string ReadProfileKey(const char* section, const char* key) {
        char value[4096];
        GetPrivateProfileStringA(section, key, "<none>", value, sizeof value, Profile().c_str());
        return value;
    }
};

TEST_F(DriveList, AFoundDriveIsOfferedFirstOnAFirstRunAndNotKeptUnused) {
    foundDrives.push_back(UsbDrive("sdb.raw"));
    Open();
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"C"}));
    EXPECT_EQ(Tip(0), dir / "sdb.raw" + ": TEAC USB UF000x, 1.44 MB");
    EXPECT_EQ(dlg->m_driveCombo->currentText(), "C");
    EXPECT_EQ(dlg->m_driveCombo->toolTip().toStdString(), Tip(0));

    Click(IDCANCEL_BUTTON);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(ReadProfileKey("Drive Letters", "Entry0"), "<none>");
    EXPECT_EQ(ReadProfileKey("Drives", "C"), "<none>");
}

TEST_F(DriveList, AUsedFoundDriveIsSavedWithItsDevice) {
    const std::string a = dir / "a.raw";
    ASSERT_TRUE(MakeFloppyImage(a, kFloppyFormats[4]));
    WriteProfile(ReadFileBytes(Profile()) + "[Drive Letters]\nEntry0=A\n");
    FloppyDrive mappedAlready = UsbDrive("a.raw");
    mappedAlready.vendor.clear();
    mappedAlready.model.clear();
    mappedAlready.loop = true;
    foundDrives = {mappedAlready, UsbDrive("sdb.raw")};
    Open();
    // A reaches the first drive already: no second entry, only its tooltip.
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(Tip(0), a + ": loop device, 1.44 MB");
    EXPECT_EQ(dlg->m_driveCombo->currentText(), "A");

    SetDrive("C");
    SetFile(dir / "found.tvl");
    Click(IDC_START);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dlg->m_lastJobResult, JobDone);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"C", "A"}));

    Click(IDCANCEL_BUTTON);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(ReadProfileKey("Drive Letters", "Entry0"), "C");
    EXPECT_EQ(ReadProfileKey("Drive Letters", "Entry1"), "A");
    EXPECT_EQ(ReadProfileKey("Drives", "C"), dir / "sdb.raw");
    EXPECT_EQ(ReadProfileKey("Drives", "A"), a);
    EXPECT_EQ(ReadProfileKey("Drives", "B"), dir / "gone.raw");
}

TEST_F(DriveList, DroppingTheListDownLooksAgain) {
    Open();
    EXPECT_EQ(dlg->m_driveCombo->count(), 0);
    SetDrive("D");

    // Plugged in while the dialog is open.
    foundDrives.push_back(UsbDrive("sdb.raw"));
    dlg->m_driveCombo->showPopup();
    dlg->m_driveCombo->hidePopup();
    ASSERT_TRUE(WaitDriveSearch());
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"C"}));
    EXPECT_EQ(dlg->m_driveCombo->currentText(), "D");  // what was typed stays
    EXPECT_EQ(platform::ResolveDriveLetter('C'), dir / "sdb.raw");

    // Taken out again: its entry and its letter go.
    foundDrives.clear();
    dlg->m_driveCombo->showPopup();
    dlg->m_driveCombo->hidePopup();
    ASSERT_TRUE(WaitDriveSearch());
    EXPECT_EQ(dlg->m_driveCombo->count(), 0);
    EXPECT_EQ(platform::ResolveDriveLetter('C'), "");
}

// The disk service may take seconds to answer: the list shows what is known, the window goes
// on, and the newest look's answer is what the list ends up with.
TEST_F(DriveList, ASlowLookHoldsNothingUpAndTheNewestAnswerWins) {
    foundDrives.push_back(UsbDrive("sdb.raw"));
    Open();
    ASSERT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"C"}));

    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
    int looks = 0, answered = 0;
    std::vector<FloppyDrive> machine;  // the drives when a look starts: taken out at once
    app::SetDriveFinder([&] {
        std::unique_lock lock(mutex);
        std::vector<FloppyDrive> seen = machine;
        ++looks;
        // Bounded, so that a window that waits for the look fails here instead of hanging.
        released.wait_for(lock, std::chrono::seconds(10), [&] { return open; });
        ++answered;
        return seen;
    });
    dlg->m_driveCombo->showPopup();
    dlg->m_driveCombo->hidePopup();
    bool ticked = false;
    QTimer::singleShot(0, dlg.get(), [&] { ticked = true; });
    EXPECT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return ticked && looks == 1;
    }));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(answered, 0) << "the drop-down waited for the look";
        machine.push_back(UsbDrive("sdc.raw"));  // plugged in while the first look runs
    }
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"C"}));  // what is known
    dlg->m_driveCombo->showPopup();
    dlg->m_driveCombo->hidePopup();

    {
        std::lock_guard lock(mutex);
        open = true;
    }
    released.notify_all();
    ASSERT_TRUE(WaitDriveSearch());
    EXPECT_EQ(looks, 2);
    EXPECT_EQ(Items(dlg->m_driveCombo), (std::vector<std::string>{"C"}));
    EXPECT_EQ(Tip(0), dir / "sdc.raw" + ": TEAC USB UF000x, 1.44 MB");
}

// The dialog closed while the disk service is slow to answer goes at once; the look ends on
// its own later, touching only what it shares with nobody gone.
TEST_F(DriveList, DestroyingTheDialogDoesNotWaitForASlowLook) {
    Open();
    struct Latch {
        std::mutex mutex;
        std::condition_variable changed;
        bool started = false, released = false, returned = false;
    };
    auto latch = std::make_shared<Latch>();
    app::SetDriveFinder([latch] {
        std::unique_lock lock(latch->mutex);
        latch->started = true;
        latch->changed.notify_all();
        // Bounded, so that a dialog that waits for the look fails below instead of hanging.
        latch->changed.wait_for(lock, std::chrono::seconds(20), [&] { return latch->released; });
        latch->returned = true;
        latch->changed.notify_all();
        return std::vector<FloppyDrive>{};
    });
    dlg->m_driveCombo->showPopup();
    dlg->m_driveCombo->hidePopup();
    std::unique_lock lock(latch->mutex);
    ASSERT_TRUE(latch->changed.wait_for(lock, std::chrono::milliseconds(kDeadlineMs),
                                        [&] { return latch->started; }));
    lock.unlock();

    dlg.reset();

    lock.lock();
    EXPECT_FALSE(latch->returned) << "the dialog waited for the look to end";
    latch->released = true;
    latch->changed.notify_all();
    EXPECT_TRUE(latch->changed.wait_for(lock, std::chrono::milliseconds(kDeadlineMs),
                                        [&] { return latch->returned; }));
}

}  // namespace
