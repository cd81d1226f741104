// The main dialog's decisions, apart from any toolkit: the options and recent lists, the
// command line's presets, the checks before a job, the job's wiring and the animation. A face
// shows it: Qt on Linux (app/qt), the system's dialog manager on Windows (app/windows). The
// face makes the controls from the template IDD_MAIN, calls the handlers below for what the
// user and the job do, and implements the control operations, which address the controls by
// the template's identifiers the way the system addresses a dialog's items.
#pragma once

#include <string>
#include <vector>

#include "engine/job_ids.h"
#include "platform/win_types.h"

class CDiskJob;
class CTavrelCommandLineInfo;
class Window;

class CMainDlg {
  public:
    // The posted start of a preset operation carries this in lParam; a start by hand does not.
    static constexpr LPARAM kPresetStart = 1;

    CMainDlg();
    virtual ~CMainDlg();
    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    const CTavrelCommandLineInfo* m_pCmdInfo = nullptr;
    CDiskJob* m_pJob = nullptr;
    int m_bSaveSettings = 1;
    int m_bCancelRequested = 0;
    // How the last job ended, read once its thread was gone; JobNotRun until a job ended.
    JobResult m_lastJobResult = JobNotRun;
    std::string m_strDrive;
    std::string m_strFileName;
    int m_bAutoClose = 0;
    int m_bCompression = 1;
    int m_nOperation = 0;

    // The handlers. The face calls OnInitDialog once its controls exist; OnCommand for every
    // WM_COMMAND (Start, the radio buttons, what the job sends; the face's own buttons Browse
    // and Close/Cancel may call OnBrowse and OnCancel directly); OnTimer every 250 ms; OnCancel
    // for the Close/Cancel button, Escape and a close request; OnSysCommand for the system
    // menu's commands.
    void OnInitDialog();
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnTimer();
    void OnStart(bool preset = false);
    void OnBrowse();
    void OnSysCommand(UINT command);
    void OnCancel();
    void OnOK();
    void LoadSettings();
    void SaveSettings();
    // Loads the fields into the controls (false) or saves the controls into the fields (true).
    void UpdateData(bool saveAndValidate);
    // Whether the dialog has ended.
    bool Closed() const { return m_closed; }

  protected:
    // --- The face: what the logic asks of the controls, by template identifier. ---
    // Texts are UTF-8. A combo box's text is its edit field's.
    virtual std::string GetItemText(int id) = 0;
    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual bool IsChecked(int id) = 0;  // check boxes and radio buttons
    virtual void SetChecked(int id, bool checked) = 0;
    virtual void EnableItem(int id, bool enable) = 0;
    virtual void ShowItem(int id, bool show) = 0;
    virtual void FocusItem(int id) = 0;
    // The most characters that can be typed into a combo box's edit field.
    virtual void LimitItemText(int id, int characters) = 0;
    // A combo box's list; inserting at index -1 appends.
    virtual int ListCount(int id) = 0;
    virtual std::string ListText(int id, int index) = 0;
    virtual void ListInsert(int id, int index, const std::string& text) = 0;
    virtual void ListDelete(int id, int index) = 0;
    // Selects an entry, which then shows in the edit field.
    virtual void ListSelect(int id, int index) = 0;
    // The progress bar: back to 0, or one step of 5 (past the end starts from the bottom).
    virtual void ResetProgress() = 0;
    virtual void StepProgress() = 0;
    // Shows animation picture iconId (146 to 151, 159 to 168) in IDC_ANIMATION.
    virtual void ShowAnimationFrame(int iconId) = 0;
    virtual void StartTimer() = 0;  // OnTimer every 250 ms
    virtual void StopTimer() = 0;
    // A message box owned by the dialog, with the caption "Tavrel"; returns the answer.
    virtual int ShowBox(const std::string& text, UINT type) = 0;
    // The file dialog, with the filters "Tavrel Files (*.tvl)", "Image Files (*.*14)" and
    // "All Files"; the Save As form (asking nothing about replacing) when save, else Open.
    // True with the chosen full path.
    virtual bool AskImageFile(bool save, std::string& path) = 0;
    virtual void ShowAboutBox() = 0;
    // Ends the modal dialog.
    virtual void EndDialog() = 0;
    // The window the job reports to: its sends and posts reach OnCommand on the dialog's
    // thread, and its status text goes straight to IDC_STATUS.
    virtual Window* JobOwner() = 0;

    // --- What a face may change. ---
    // After LoadSettings, before the lists' first entries become the fields.
    virtual void OnSettingsLoaded() {}
    // Posts the start of a preset operation (WM_COMMAND IDC_START with kPresetStart); a face
    // that must learn something first (the machine's drives, on Linux) may post it later.
    virtual void PostPresetStart();
    // Whether a list entry is one the user chose, kept in the recent list, rather than one the
    // face added on its own.
    virtual bool IsRecentEntry(int id, int index);
    // After the settings went into the batch of profile writes, with the drive letters kept.
    virtual void OnSettingsSaved(const std::string& file, const std::vector<std::string>& letters);
    // Whether the system takes two file names that differ only in case for the same file.
    virtual bool FileNamesIgnoreCase() const { return false; }

  private:
    void OnJobProgress();
    void OnJobDone();
    void OnCompressSelected();
    void OnExpandOrVerifySelected();
    void UpdateRecentLists();
    void StartJob();
    void EnableJobControls(bool enable);
    void LoadCombo(int id, const std::string& value, bool ignoreCase);
    void MoveToTop(int id, const std::string& value, bool ignoreCase);

    bool m_closed = false;
};
