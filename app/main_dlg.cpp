#include "app/main_dlg.h"

#include <cctype>
#include <cstdio>

#include "app/command_line.h"
#include "app/resource_ids.h"
#include "engine/disk_job.h"
#include "platform/file_api.h"
#include "platform/window.h"

namespace {

// Selects the next animation frame; one counter for all three operations.
int s_animFrame = 0;

constexpr int kJobControls[] = {IDC_OP_COMPRESS, IDC_OP_EXPAND, IDC_OP_VERIFY,
                                IDC_COMPRESSION, IDC_AUTOCLOSE, IDC_START,
                                IDC_BROWSE,      IDC_DRIVE,     IDC_FILENAME};
constexpr int kRadios[] = {IDC_OP_COMPRESS, IDC_OP_EXPAND, IDC_OP_VERIFY};

bool SameText(const std::string& a, const std::string& b, bool ignoreCase) {
    if (!ignoreCase) return a == b;
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The first picture of every set is the same; the others follow the operation's base number.
int FrameIcon(int operation, int frame) {
    if (frame == 0) return IDI_FRAME0;
    static constexpr int kBase[] = {146, 158, 163};
    return kBase[operation] + frame;
}

}  // namespace

CMainDlg::CMainDlg() = default;

CMainDlg::~CMainDlg() {
    delete m_pJob;
}

void CMainDlg::OnInitDialog() {
    UpdateData(false);
    m_pJob = new CDiskJob(JobOwner());
    ShowItem(ID_HELP, false);
    ResetProgress();
    LimitItemText(IDC_DRIVE, 1);

    LoadSettings();
    OnSettingsLoaded();
    if (ListCount(IDC_DRIVE) > 0) m_strDrive = ListText(IDC_DRIVE, 0);
    if (ListCount(IDC_FILENAME) > 0) m_strFileName = ListText(IDC_FILENAME, 0);

    if (m_pCmdInfo) {
        const CTavrelCommandLineInfo& cmd = *m_pCmdInfo;
        if (cmd.m_nSaveSettings != -1) m_bSaveSettings = cmd.m_nSaveSettings;
        if (cmd.m_nAutoClose != -1) m_bAutoClose = cmd.m_nAutoClose;
        if (cmd.m_nCompression != -1) m_bCompression = cmd.m_nCompression;
        if (!cmd.m_strDriveLetter.empty()) m_strDrive = cmd.m_strDriveLetter;
        if (!cmd.m_strImageFile.empty()) m_strFileName = cmd.m_strImageFile;
        if (cmd.m_nOperation != -1) {
            m_nOperation = cmd.m_nOperation;
            PostPresetStart();
        }
    }
    if (m_nOperation > 0) EnableItem(IDC_COMPRESSION, false);

    UpdateData(false);
    StartTimer();
}

void CMainDlg::PostPresetStart() {
    platform::PostTo(JobOwner(), WM_COMMAND, IDC_START, kPresetStart);
}

void CMainDlg::UpdateData(bool save) {
    if (save) {
        m_strDrive = GetItemText(IDC_DRIVE);
        m_strFileName = GetItemText(IDC_FILENAME);
        m_bAutoClose = IsChecked(IDC_AUTOCLOSE) ? 1 : 0;
        m_bCompression = IsChecked(IDC_COMPRESSION) ? 1 : 0;
        m_nOperation = -1;
        for (int i = 0; i < 3; ++i)
            if (IsChecked(kRadios[i])) m_nOperation = i;
        return;
    }
    LoadCombo(IDC_DRIVE, m_strDrive, true);
    LoadCombo(IDC_FILENAME, m_strFileName, FileNamesIgnoreCase());
    // Check boxes take 0, 1 or 2; anything else shows cleared and is taken as 0.
    for (auto [id, value] :
         {std::pair{IDC_AUTOCLOSE, &m_bAutoClose}, std::pair{IDC_COMPRESSION, &m_bCompression}}) {
        if (*value < 0 || *value > 2) *value = 0;
        SetChecked(id, *value != 0);
    }
    for (int i = 0; i < 3; ++i) SetChecked(kRadios[i], i == m_nOperation);
}

void CMainDlg::LoadCombo(int id, const std::string& value, bool ignoreCase) {
    // The list entry equal to the text, else the text itself: an entry that only begins with
    // it names another file.
    const int count = ListCount(id);
    for (int i = 0; i < count; ++i) {
        if (SameText(ListText(id, i), value, ignoreCase)) {
            ListSelect(id, i);
            return;
        }
    }
    SetItemText(id, value);
}

void CMainDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
        case ID_JOB_PROGRESS:
            OnJobProgress();
            break;
        case ID_JOB_DONE:
            OnJobDone();
            break;
        case IDC_START:
            OnStart(lParam == kPresetStart);
            break;
        case IDC_BROWSE:
            OnBrowse();
            break;
        case IDC_OP_COMPRESS:
            OnCompressSelected();
            break;
        case IDC_OP_EXPAND:
        case IDC_OP_VERIFY:
            OnExpandOrVerifySelected();
            break;
        case IDCANCEL_BUTTON:
            OnCancel();
            break;
        default:
            break;
    }
}

void CMainDlg::OnTimer() {
    for (int i = 0; i < 3; ++i) {
        if (!IsChecked(kRadios[i])) continue;
        ShowAnimationFrame(FrameIcon(i, s_animFrame));
        ++s_animFrame;
        break;
    }
    if (s_animFrame > 5) s_animFrame = 0;
}

void CMainDlg::OnCompressSelected() {
    EnableItem(IDC_COMPRESSION, true);
}

void CMainDlg::OnExpandOrVerifySelected() {
    EnableItem(IDC_COMPRESSION, false);
}

void CMainDlg::OnStart(bool preset) {
    UpdateData(true);
    const bool exists = GetFileAttributesA(m_strFileName.c_str()) != INVALID_FILE_ATTRIBUTES;
    const bool driveOk = m_strDrive.size() == 1 && m_strDrive[0] >= 'A' && m_strDrive[0] <= 'Z';
    char text[4200];
    switch (m_nOperation) {
        case Compress: {
            const size_t slash = m_strFileName.find_last_of("/\\");
            const std::string name =
                slash == std::string::npos ? m_strFileName : m_strFileName.substr(slash + 1);
            if (name.empty()) {
                ShowBox("  Please specify an image file name. ", MB_ICONERROR);
                return;
            }
            if (!driveOk) {
                ShowBox("  Drive letter must be 'A' through 'Z' ", MB_ICONINFORMATION);
                return;
            }
            // An unattended preset run replaces the image; a start by hand always asks.
            if (!preset && exists) {
                std::snprintf(text, sizeof text,
                              "  %s already exists. \n  Do you want to replace it? ",
                              m_strFileName.c_str());
                if (ShowBox(text, MB_YESNO | MB_ICONEXCLAMATION) == IDNO) return;
            }
            break;
        }
        case Expand:
        case Verify:
            if (!driveOk) {
                ShowBox("  Drive letter must be 'A' through 'Z' ", MB_ICONINFORMATION);
                return;
            }
            if (!exists) {
                std::snprintf(text, sizeof text, "  Could not locate file: %s ",
                              m_strFileName.c_str());
                ShowBox(text, MB_ICONERROR);
                return;
            }
            break;
        default:
            return;
    }
    UpdateRecentLists();
    StartJob();
}

void CMainDlg::MoveToTop(int id, const std::string& value, bool ignoreCase) {
    // The copy that goes is the first after entry 0, entry 0 itself only when no later entry
    // matches.
    const int count = ListCount(id);
    for (int n = 1; n <= count; ++n) {
        const int i = n % count;
        if (SameText(ListText(id, i), value, ignoreCase)) {
            ListDelete(id, i);
            break;
        }
    }
    ListInsert(id, 0, value);
}

void CMainDlg::UpdateRecentLists() {
    MoveToTop(IDC_DRIVE, m_strDrive, true);
    MoveToTop(IDC_FILENAME, m_strFileName, FileNamesIgnoreCase());
    UpdateData(false);
}

void CMainDlg::EnableJobControls(bool enable) {
    for (int id : kJobControls) EnableItem(id, enable);
}

void CMainDlg::StartJob() {
    m_bCancelRequested = 0;
    SetItemText(IDCANCEL_BUTTON, "&Cancel");
    EnableJobControls(false);
    FocusItem(IDCANCEL_BUTTON);
    m_pJob->m_operation = m_nOperation;
    m_pJob->m_compress = m_bCompression;
    m_pJob->m_driveLetter = m_strDrive;
    m_pJob->m_imagePath = m_strFileName;
    m_pJob->Start();
}

void CMainDlg::OnJobProgress() {
    StepProgress();
}

void CMainDlg::OnJobDone() {
    // The end notice is the job's last act, but its thread may not have ended yet. Come back
    // when it has, so that the close that may follow never finds a running job and takes
    // itself for a cancel. The dialog's thread keeps running meanwhile.
    if (m_pJob && m_pJob->IsRunning()) {
        platform::PostTo(JobOwner(), WM_COMMAND, ID_JOB_DONE, 0);
        return;
    }
    if (m_pJob) m_lastJobResult = m_pJob->m_result;
    SetItemText(IDCANCEL_BUTTON, "&Close");
    SetItemText(IDC_STATUS, "");
    ResetProgress();
    EnableJobControls(true);
    if (m_bAutoClose) platform::PostTo(JobOwner(), WM_CLOSE, 0, 0);
}

void CMainDlg::OnCancel() {
    if (m_closed) return;
    if (m_pJob && m_pJob->IsRunning()) {
        m_pJob->Cancel();
        m_bCancelRequested = 1;
        return;
    }
    StopTimer();
    delete m_pJob;
    m_pJob = nullptr;
    OnOK();
}

void CMainDlg::OnOK() {
    if (m_bSaveSettings) SaveSettings();
    UpdateData(true);
    m_closed = true;
    EndDialog();
}

void CMainDlg::OnSysCommand(UINT command) {
    if ((command & 0xFFF0) == IDM_ABOUTBOX) ShowAboutBox();
}

void CMainDlg::OnBrowse() {
    UpdateData(true);
    std::string path;
    if (!AskImageFile(m_nOperation == Compress, path)) return;
    UpdateData(true);
    m_strFileName = path;
    UpdateData(false);
}

bool CMainDlg::IsRecentEntry(int, int) {
    return true;
}

void CMainDlg::OnSettingsSaved(const std::string&, const std::vector<std::string>&) {}
