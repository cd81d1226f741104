// The drive box's list: the letters used before, then a letter for every floppy drive the
// machine has now, looked for when the dialog opens and each time the list drops down.
#include "app/drive_list.h"

#include <QComboBox>

#include "app/main_dlg.h"

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

}  // namespace app

namespace {

int FindLetter(const QComboBox* combo, char letter) {
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).compare(QString(QChar(letter)), Qt::CaseInsensitive) == 0) return i;
    return -1;
}

}  // namespace

void CMainDlg::RefreshDriveList() {
    std::vector<FloppyDrive> drives = app::FindDrives();
    // Letters mapped on an earlier look count as mapped, so a drive keeps its letter.
    ChooseLetters(drives);

    std::map<char, std::unique_ptr<platform::ScopedDriveMapping>> kept;
    for (const FloppyDrive& drive : drives) {
        if (!drive.letter) continue;
        auto earlier = m_foundMappings.find(drive.letter);
        if (earlier != m_foundMappings.end()) {
            kept[drive.letter] = std::move(earlier->second);
        } else if (!drive.mapped) {
            kept[drive.letter] =
                std::make_unique<platform::ScopedDriveMapping>(drive.letter, drive.device);
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
    m_driveCombo->setEditText(text);
}

void CMainDlg::UpdateDriveTip(const QString& text) {
    QString tip;
    int at = text.size() == 1 ? FindLetter(m_driveCombo, text[0].toLatin1()) : -1;
    if (at >= 0) tip = m_driveCombo->itemData(at, Qt::ToolTipRole).toString();
    if (tip.isEmpty() && text.size() == 1) {
        std::string path = platform::ResolveDriveLetter(text[0].toLatin1());
        if (!path.empty()) tip = QString::fromStdString(path);
    }
    m_driveCombo->setToolTip(tip);
}
