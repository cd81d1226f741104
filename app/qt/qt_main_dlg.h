// The main dialog's Qt face, for Linux: the controls built from IDD_MAIN as widgets, what they
// do handed to the shared CMainDlg, and the Linux extras: the machine's floppy drives found
// and offered in the drive list. QtAboutDlg is the small box reached from the dialog's context
// menu, which stands in for the title bar's system menu that the window manager owns.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "app/qt/dialog_template.h"
#include "app/qt/qt_window.h"
#include "platform/drive_map.h"

struct FloppyDrive;
namespace app {
class DriveSearch;
}
class QComboBox;
class QLabel;
class QProgressBar;

class QtAboutDlg : public QDialog {
  public:
    explicit QtAboutDlg(QWidget* parent = nullptr);
    ~QtAboutDlg() override;
    int DoModal() { return exec(); }
};

class QtMainDlg : public QDialog, public QtWindow, public CMainDlg {
  public:
    QtMainDlg();
    ~QtMainDlg() override;

    // Builds the controls from IDD_MAIN and initialises the dialog, once; DoModal does it
    // when it has not been done yet.
    void Create();
    int DoModal();

    QComboBox* m_driveCombo = nullptr;
    QLabel* m_animation = nullptr;
    QProgressBar* m_progress = nullptr;
    QComboBox* m_fileCombo = nullptr;
    // The pictures by resource number, loaded once.
    std::map<int, QPixmap> m_frames;

    // Entries of the drive list that stand for a drive found on the machine, not for a letter
    // used before, carry true in this role; they are not saved with the recent letters.
    static constexpr int kFoundDriveRole = Qt::UserRole + 1;

    // The control with a template identifier, or null.
    QWidget* GetDlgItem(int id) const;
    const BuiltDialog& Controls() const { return m_controls; }

    // Looks for the machine's floppy drives off the window's thread; ShowFoundDrives takes the
    // answer. Whether a look has not answered yet.
    void RefreshDriveList();
    bool DriveSearchRunning() const;
    // Adds the letter of every floppy drive found and not in the list yet, maps letters for
    // drives no letter reaches yet (for this run; saved settings keep those that were used),
    // and gives each entry that reaches a drive the drive's description as its tooltip.
    void ShowFoundDrives(std::vector<FloppyDrive> drives);

  protected:
    // QtWindow: what the job sends.
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnItemMessage(int controlId, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnMessageBox(const std::string& text, const std::string& caption, UINT type) override;

    // CMainDlg's face.
    std::string GetItemText(int id) override;
    void SetItemText(int id, const std::string& text) override;
    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;
    void EnableItem(int id, bool enable) override;
    void ShowItem(int id, bool show) override;
    void FocusItem(int id) override;
    void LimitItemText(int id, int characters) override;
    int ListCount(int id) override;
    std::string ListText(int id, int index) override;
    void ListInsert(int id, int index, const std::string& text) override;
    void ListDelete(int id, int index) override;
    void ListSelect(int id, int index) override;
    void ResetProgress() override;
    void StepProgress() override;
    void ShowAnimationFrame(int iconId) override;
    void StartTimer() override;
    void StopTimer() override;
    int ShowBox(const std::string& text, UINT type) override;
    bool AskImageFile(bool save, std::string& path) override;
    void ShowAboutBox() override;
    void EndDialog() override;
    Window* JobOwner() override { return this; }
    void OnSettingsLoaded() override;
    void PostPresetStart() override;
    bool IsRecentEntry(int id, int index) override;
    void OnSettingsSaved(const std::string& file, const std::vector<std::string>& letters) override;

    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    QComboBox* Combo(int id) const;
    void ShowContextMenu(const QPoint& globalPos);
    // The drive box's tooltip says what the letter in it reaches.
    void UpdateDriveTip(const QString& text);
    void ShowStatus(const QString& text);

    BuiltDialog m_controls;
    QTimer m_timer;
    // The job sends a status line for every track side, hundreds a second on a fast drive:
    // the status control takes each at once but is redrawn at most this often.
    QTimer m_statusRedraw;
    QString m_statusText;
    bool m_statusBehind = false;
    // Letters this run mapped to drives it found, until the drive is gone.
    std::map<char, std::unique_ptr<platform::ScopedDriveMapping>> m_foundMappings;
    std::shared_ptr<app::DriveSearch> m_driveSearch;  // made by the first look
    bool m_drivesShown = false;
    bool m_startAfterDrives = false;  // a preset operation starts once the drives are known
    bool m_created = false;
};
