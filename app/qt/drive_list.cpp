// The drive box's list: the letters used before, then a letter for every floppy drive the
// machine has now, looked for when the dialog opens and each time the list drops down. The
// list shows what is known at once and changes when the look answers.
#include "app/qt/drive_list.h"

#include <QComboBox>
#include <QMetaObject>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/qt/qt_main_dlg.h"
#include "app/resource_ids.h"
#include "platform/udisks.h"

namespace app {
namespace {

DriveFinder g_finder;  // touched on the GUI thread only

}  // namespace

std::vector<FloppyDrive> FindDrives() {
    return g_finder ? g_finder() : DiscoverFloppyDrives();
}

void SetDriveFinder(DriveFinder finder) {
    g_finder = std::move(finder);
}

struct DriveSearch::Shared {
    std::mutex mutex;  // guards what follows
    std::condition_variable wake;
    unsigned wanted = 0;   // the newest look asked for
    DriveFinder finder;    // the finder as it was when that look was asked for
    bool stop = false;     // the search is gone: nothing more is looked for or delivered
    bool inSysfs = false;  // the looking thread reads sysfs: the search's end waits for it
    DriveSearch* search;   // answers go to it while stop is false
};

DriveSearch::DriveSearch(Answer answer)
    : m_answer(std::move(answer)), m_shared(std::make_shared<Shared>()) {
    m_shared->search = this;
    std::thread(Run, m_shared).detach();
}

DriveSearch::~DriveSearch() {
    std::unique_lock lock(m_shared->mutex);
    m_shared->stop = true;
    m_shared->wake.notify_all();
    m_shared->wake.wait(lock, [&] { return !m_shared->inSysfs; });
}

void DriveSearch::Look() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->wanted = ++m_asked;
        m_shared->finder = g_finder;
    }
    m_shared->wake.notify_all();
}

// Touches nothing but SHARED once the search is gone: the thread may run on after the window,
// and after the end of main, until the disk service answers.
void DriveSearch::Run(std::shared_ptr<Shared> shared) {
    std::unique_lock lock(shared->mutex);
    unsigned done = 0;
    for (;;) {
        shared->wake.wait(lock, [&] { return shared->stop || shared->wanted != done; });
        if (shared->stop) return;
        done = shared->wanted;
        DriveFinder finder = shared->finder;
        lock.unlock();
        // The part that may take long (up to the service's timeout) uses no global of ours.
        std::vector<FloppyDrive> drives;
        std::vector<platform::BlockDeviceInfo> devices;
        bool service = false;
        if (finder)
            drives = finder();
        else
            service = platform::UdisksListBlockDevices(&devices);
        lock.lock();
        if (shared->stop) return;
        if (!finder) {
            // Goes through the syscall seam, whose state dies with the process's globals.
            shared->inSysfs = true;
            lock.unlock();
            drives = service ? FloppyDrivesAmong(devices) : FindFloppyDrives("/sys");
            lock.lock();
            shared->inSysfs = false;
            shared->wake.notify_all();
            if (shared->stop) return;
        }
        // Under the lock: the search, and its context, outlive the post.
        DriveSearch* search = shared->search;
        QMetaObject::invokeMethod(
            &search->m_context,
            [search, done, drives = std::move(drives)]() mutable {
                search->Deliver(done, std::move(drives));
            },
            Qt::QueuedConnection);
    }
}

void DriveSearch::Deliver(unsigned look, std::vector<FloppyDrive> drives) {
    if (look <= m_answered) return;  // an older look than one already shown
    m_answered = look;
    m_answer(std::move(drives));
}

}  // namespace app

namespace {

int FindLetter(const QComboBox* combo, char letter) {
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).compare(QString(QChar(letter)), Qt::CaseInsensitive) == 0) return i;
    return -1;
}

}  // namespace

void QtMainDlg::RefreshDriveList() {
    if (!m_driveSearch)
        m_driveSearch = std::make_shared<app::DriveSearch>(
            [this](std::vector<FloppyDrive> drives) { ShowFoundDrives(std::move(drives)); });
    m_driveSearch->Look();
}

bool QtMainDlg::DriveSearchRunning() const {
    return m_driveSearch && m_driveSearch->Looking();
}

void QtMainDlg::ShowFoundDrives(std::vector<FloppyDrive> drives) {
    // Letters mapped on an earlier look count as mapped, so a drive keeps its letter.
    ChooseLetters(drives);

    std::map<char, std::unique_ptr<platform::ScopedDriveMapping>> kept;
    for (const FloppyDrive& drive : drives) {
        if (!drive.letter) continue;
        auto earlier = m_foundMappings.find(drive.letter);
        if (earlier != m_foundMappings.end()) {
            kept[drive.letter] = std::move(earlier->second);
        } else if (!drive.mapped) {
            // The name that still reaches the drive when the settings keep the letter.
            kept[drive.letter] = std::make_unique<platform::ScopedDriveMapping>(
                drive.letter, platform::StableDevicePath(drive.device));
        }
    }
    m_foundMappings = std::move(kept);  // the letters of drives gone are free again

    // The edit text stays what it was while the list changes under it.
    const QString text = m_driveCombo->currentText();
    for (int i = m_driveCombo->count() - 1; i >= 0; --i) {
        if (m_driveCombo->itemData(i, kFoundDriveRole).toBool())
            m_driveCombo->removeItem(i);
        else
            m_driveCombo->setItemData(i, QVariant(), Qt::ToolTipRole);
    }
    for (const FloppyDrive& drive : drives) {
        if (!drive.letter) continue;
        int at = FindLetter(m_driveCombo, drive.letter);
        if (at < 0) {
            m_driveCombo->addItem(QString(QChar(drive.letter)));
            at = m_driveCombo->count() - 1;
            m_driveCombo->setItemData(at, true, kFoundDriveRole);
        }
        m_driveCombo->setItemData(at, QString::fromStdString(DescribeFloppyDrive(drive)),
                                  Qt::ToolTipRole);
    }
    // The first answer may bring the only letters there are: offer the first, as a list
    // known at once would have been.
    const bool first = !m_drivesShown;
    m_drivesShown = true;
    m_driveCombo->setEditText(
        first && text.isEmpty() && m_driveCombo->count() > 0 ? m_driveCombo->itemText(0) : text);
    UpdateDriveTip(m_driveCombo->currentText());  // its entry's tooltip may be new
    // A preset start waits for the drives: its letter may be one found here.
    if (m_startAfterDrives) {
        m_startAfterDrives = false;
        Post(WM_COMMAND, IDC_START, kPresetStart);
    }
}

void QtMainDlg::UpdateDriveTip(const QString& text) {
    QString tip;
    int at = text.size() == 1 ? FindLetter(m_driveCombo, text[0].toLatin1()) : -1;
    if (at >= 0) tip = m_driveCombo->itemData(at, Qt::ToolTipRole).toString();
    if (tip.isEmpty() && text.size() == 1) {
        std::string path = platform::ResolveDriveLetter(text[0].toLatin1());
        if (!path.empty()) tip = QString::fromStdString(path);
    }
    m_driveCombo->setToolTip(tip);
}
