// The main dialog, the whole user interface: operation, options, drive letter and image file
// with their recent lists, Start and Close/Cancel, and while a job runs its status line,
// progress bar and animation. It owns one CDiskJob for its whole life and is the job's owner
// window. CAboutDlg is the small box reached from the dialog's context menu.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/dialog_template.h"
#include "app/qt_window.h"
#include "engine/job_ids.h"
#include "platform/drive_map.h"

class CDiskJob;
class CTavrelCommandLineInfo;
struct FloppyDrive;
namespace app {
class DriveSearch;
}
class QComboBox;
class QLabel;
class QProgressBar;
class QAbstractButton;

class CAboutDlg : public QDialog {
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;
    int DoModal() { return exec(); }
};

class CMainDlg : public QDialog, public QtWindow {
  public:
    // The posted start of a preset operation carries this in lParam; a start by hand does not.
    static constexpr LPARAM kPresetStart = 1;

    CMainDlg();
    ~CMainDlg() override;

    // Builds the controls from IDD_MAIN and initialises the dialog, once; DoModal does it
    // when it has not been done yet.
    void Create();
    int DoModal();

    const CTavrelCommandLineInfo* m_pCmdInfo = nullptr;
    CDiskJob* m_pJob = nullptr;
    int m_bSaveSettings = 1;
    int m_bCancelRequested = 0;
    // How the last job ended, read once its thread was gone; JobNotRun until a job ended.
    JobResult m_lastJobResult = JobNotRun;
    QComboBox* m_driveCombo = nullptr;
    QLabel* m_animation = nullptr;
    QProgressBar* m_progress = nullptr;
    QComboBox* m_fileCombo = nullptr;
    std::string m_strDrive;
    std::string m_strFileName;
    int m_bAutoClose = 0;
    int m_bCompression = 1;
    int m_nOperation = 0;
    QPixmap m_compressFrames[6];
    QPixmap m_expandFrames[6];
    QPixmap m_verifyFrames[6];

    // Entries of the drive list that stand for a drive found on the machine, not for a letter
    // used before, carry true in this role; they are not saved with the recent letters.
    static constexpr int kFoundDriveRole = Qt::UserRole + 1;

    // The control with a template identifier, or null.
    QWidget* GetDlgItem(int id) const;
    const BuiltDialog& Controls() const { return m_controls; }

    // Message handlers, public so that the ways in (buttons, keys, timer, the job) stay thin.
    void OnTimer();
    void OnStart(bool preset = false);
    void OnBrowse();
    void OnSysCommand(int command);
    void OnCancel();
    void OnOK();
    void LoadSettings();
    void SaveSettings();
    void UpdateData(bool saveAndValidate);
    // Looks for the machine's floppy drives off the window's thread; ShowFoundDrives takes the
    // answer. Whether a look has not answered yet.
    void RefreshDriveList();
    bool DriveSearchRunning() const;
    // Adds the letter of every floppy drive found and not in the list yet, maps letters for
    // drives no letter reaches yet (for this run; saved settings keep those that were used),
    // and gives each entry that reaches a drive the drive's description as its tooltip.
    void ShowFoundDrives(std::vector<FloppyDrive> drives);

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnItemMessage(int controlId, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnMessageBox(const std::string& text, const std::string& caption, UINT type) override;

    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void OnInitDialog();
    void OnJobProgress();
    void OnJobDone();
    void OnCompressSelected();
    void OnExpandOrVerifySelected();
    void UpdateRecentLists();
    void StartJob();
    void EnableJobControls(bool enable);
    void ShowContextMenu(const QPoint& globalPos);
    // The drive box's tooltip says what the letter in it reaches.
    void UpdateDriveTip(const QString& text);
    int MessageBox(const std::string& text, UINT type);

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
    bool m_closed = false;
};
