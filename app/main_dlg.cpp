#include "app/main_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QValidator>
#include <utility>

#include "app/app.h"
#include "app/drop_down_combo.h"
#include "app/message_box.h"
#include "app/pictures.h"
#include "app/resource_ids.h"
#include "engine/disk_job.h"
#include "platform/file_api.h"

#ifndef TAVREL_VERSION
#define TAVREL_VERSION "1.0"
#endif

namespace {

// Selects the next animation frame; one counter for all three operations.
int s_animFrame = 0;

// The drive box takes one upper-case letter, whatever is typed. Only typing is limited: a
// longer text from the profile stays as it is, for Start to refuse.
class DriveLetterValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return input.size() > 1 ? Invalid : Acceptable;
    }
};

void SetRadioChecks(const std::vector<QRadioButton*>& radios, int checked) {
    for (size_t i = 0; i < radios.size(); ++i) {
        // Exclusive buttons cannot all be cleared; lift that while setting them.
        radios[i]->setAutoExclusive(false);
        radios[i]->setChecked(static_cast<int>(i) == checked);
    }
    for (QRadioButton* r : radios) r->setAutoExclusive(true);
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    BuiltDialog built = BuildDialog(*this, LoadDialogTemplate("IDD_ABOUTBOX"));
    if (auto it = built.byId.find(IDC_VERSION); it != built.byId.end()) {
        auto* label = static_cast<QLabel*>(it->second);
        label->setText(label->text().replace("%s", TAVREL_VERSION));
        label->adjustSize();
    }
    if (auto it = built.byId.find(IDOK_BUTTON); it != built.byId.end()) {
        auto* ok = static_cast<QPushButton*>(it->second);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        ok->setFocus();
    }
    setWindowIcon(ApplicationIcon());
}

CAboutDlg::~CAboutDlg() = default;

CMainDlg::CMainDlg() : QDialog(nullptr), QtWindow(this) {
    // A fixed-size dialog: no maximise box, no resizing.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_statusRedraw.setSingleShot(true);
    m_statusRedraw.setInterval(40);
    connect(&m_statusRedraw, &QTimer::timeout, this, [this] {
        if (!std::exchange(m_statusBehind, false)) return;
        static_cast<QLabel*>(GetDlgItem(IDC_STATUS))->setText(m_statusText);
        m_statusRedraw.start();
    });
    m_timer.setInterval(250);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
}

CMainDlg::~CMainDlg() {
    if (m_pJob) {
        // Only reached when the dialog goes away with a job still running (the program is
        // being torn down): let the job end, answering its sends, before it is deleted.
        if (m_pJob->IsRunning()) m_pJob->Cancel();
        while (m_pJob->IsRunning()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        delete m_pJob;
        m_pJob = nullptr;
    }
}

QWidget* CMainDlg::GetDlgItem(int id) const {
    auto it = m_controls.byId.find(id);
    return it == m_controls.byId.end() ? nullptr : it->second;
}

void CMainDlg::Create() {
    if (m_created) return;
    m_created = true;
    m_controls = BuildDialog(*this, LoadDialogTemplate("IDD_MAIN"));
    m_driveCombo = static_cast<QComboBox*>(GetDlgItem(IDC_DRIVE));
    m_fileCombo = static_cast<QComboBox*>(GetDlgItem(IDC_FILENAME));
    m_animation = static_cast<QLabel*>(GetDlgItem(IDC_ANIMATION));
    m_progress = static_cast<QProgressBar*>(GetDlgItem(IDC_PROGRESS));

    auto button = [this](int id) { return static_cast<QAbstractButton*>(GetDlgItem(id)); };
    connect(button(IDC_START), &QAbstractButton::clicked, this, [this] { OnStart(); });
    connect(button(IDCANCEL_BUTTON), &QAbstractButton::clicked, this, [this] { OnCancel(); });
    connect(button(IDC_BROWSE), &QAbstractButton::clicked, this, [this] { OnBrowse(); });
    connect(button(IDC_OP_COMPRESS), &QAbstractButton::clicked, this,
            [this] { OnCompressSelected(); });
    connect(button(IDC_OP_EXPAND), &QAbstractButton::clicked, this,
            [this] { OnExpandOrVerifySelected(); });
    connect(button(IDC_OP_VERIFY), &QAbstractButton::clicked, this,
            [this] { OnExpandOrVerifySelected(); });
    connect(static_cast<DropDownCombo*>(m_driveCombo), &DropDownCombo::aboutToShowPopup, this,
            [this] { RefreshDriveList(); });
    connect(m_driveCombo, &QComboBox::editTextChanged, this,
            [this](const QString& text) { UpdateDriveTip(text); });
    // The context menu stands in for the title bar's menu, which the window manager owns.
    auto* menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this,
            [this] { ShowContextMenu(mapToGlobal(rect().center())); });
    OnInitDialog();
}

int CMainDlg::DoModal() {
    Create();
    return exec();
}

void CMainDlg::OnInitDialog() {
    UpdateData(false);
    setWindowIcon(ApplicationIcon());

    m_compressFrames[0] = m_expandFrames[0] = m_verifyFrames[0] = LoadPicture(IDI_FRAME0);
    for (int i = 1; i <= 5; ++i) {
        m_compressFrames[i] = LoadPicture(146 + i);
        m_expandFrames[i] = LoadPicture(158 + i);
        m_verifyFrames[i] = LoadPicture(163 + i);
    }
    m_animation->setProperty("iconId", IDI_FRAME0);

    m_pJob = new CDiskJob(this);
    GetDlgItem(ID_HELP)->hide();

    m_progress->setValue(0);
    m_driveCombo->lineEdit()->setValidator(new DriveLetterValidator(m_driveCombo));

    LoadSettings();
    RefreshDriveList();
    if (m_driveCombo->count() > 0) m_strDrive = m_driveCombo->itemText(0).toStdString();
    if (m_fileCombo->count() > 0) m_strFileName = m_fileCombo->itemText(0).toStdString();

    if (m_pCmdInfo) {
        const CTavrelCommandLineInfo& cmd = *m_pCmdInfo;
        if (cmd.m_nSaveSettings != -1) m_bSaveSettings = cmd.m_nSaveSettings;
        if (cmd.m_nAutoClose != -1) m_bAutoClose = cmd.m_nAutoClose;
        if (cmd.m_nCompression != -1) m_bCompression = cmd.m_nCompression;
        if (!cmd.m_strDriveLetter.empty()) m_strDrive = cmd.m_strDriveLetter;
        if (!cmd.m_strImageFile.empty()) m_strFileName = cmd.m_strImageFile;
        if (cmd.m_nOperation != -1) {
            m_nOperation = cmd.m_nOperation;
            m_startAfterDrives = true;  // ShowFoundDrives posts the start
        }
    }
    if (m_nOperation > 0) GetDlgItem(IDC_COMPRESSION)->setEnabled(false);

    UpdateData(false);
    m_timer.start();
    GetDlgItem(IDC_OP_COMPRESS)->setFocus();
}

void CMainDlg::UpdateData(bool save) {
    auto* compression = static_cast<QCheckBox*>(GetDlgItem(IDC_COMPRESSION));
    auto* autoClose = static_cast<QCheckBox*>(GetDlgItem(IDC_AUTOCLOSE));
    std::vector<QRadioButton*> radios;
    for (int id : {IDC_OP_COMPRESS, IDC_OP_EXPAND, IDC_OP_VERIFY})
        radios.push_back(static_cast<QRadioButton*>(GetDlgItem(id)));

    if (save) {
        m_strDrive = m_driveCombo->currentText().toStdString();
        m_strFileName = m_fileCombo->currentText().toStdString();
        m_bAutoClose = autoClose->isChecked() ? 1 : 0;
        m_bCompression = compression->isChecked() ? 1 : 0;
        m_nOperation = -1;
        for (size_t i = 0; i < radios.size(); ++i)
            if (radios[i]->isChecked()) m_nOperation = static_cast<int>(i);
        return;
    }

    // A combo box selects the list entry equal to the text, else shows the text itself: an
    // entry that only begins with it names another file. Drive letters match ignoring case;
    // file names are case-sensitive on this system.
    auto load = [](QComboBox* combo, const std::string& value, Qt::CaseSensitivity cs) {
        QString text = QString::fromStdString(value);
        for (int i = 0; i < combo->count(); ++i) {
            if (combo->itemText(i).compare(text, cs) == 0) {
                combo->setCurrentIndex(i);
                combo->setEditText(combo->itemText(i));
                return;
            }
        }
        combo->setEditText(text);
    };
    load(m_driveCombo, m_strDrive, Qt::CaseInsensitive);
    load(m_fileCombo, m_strFileName, Qt::CaseSensitive);
    // Check boxes take 0, 1 or 2; anything else shows cleared and is taken as 0.
    auto check = [](QCheckBox* box, int& value) {
        if (value < 0 || value > 2) value = 0;
        box->setChecked(value != 0);
    };
    check(autoClose, m_bAutoClose);
    check(compression, m_bCompression);
    SetRadioChecks(radios, m_nOperation);
}

LRESULT CMainDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        OnCancel();
        return 0;
    }
    if (message != WM_COMMAND) return 0;
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
        default:
            break;
    }
    return 0;
}

LRESULT CMainDlg::OnItemMessage(int controlId, UINT message, WPARAM, LPARAM lParam) {
    QWidget* item = GetDlgItem(controlId);
    auto* label = qobject_cast<QLabel*>(item);
    if (!label || message != WM_SETTEXT) return FALSE;
    QString text = QString::fromLocal8Bit(reinterpret_cast<const char*>(lParam));
    if (controlId != IDC_STATUS) {
        label->setText(text);
        return TRUE;
    }
    m_statusText = text;
    if (m_statusRedraw.isActive()) {
        m_statusBehind = true;
    } else {
        label->setText(text);
        m_statusRedraw.start();
    }
    return TRUE;
}

int CMainDlg::OnMessageBox(const std::string& text, const std::string& caption, UINT type) {
    return app::ShowMessageBox(this, text, caption, type);
}

int CMainDlg::MessageBox(const std::string& text, UINT type) {
    return app::ShowMessageBox(this, text, "Tavrel", type);
}

void CMainDlg::OnTimer() {
    const QPixmap* frames = nullptr;
    if (static_cast<QAbstractButton*>(GetDlgItem(IDC_OP_COMPRESS))->isChecked())
        frames = m_compressFrames;
    else if (static_cast<QAbstractButton*>(GetDlgItem(IDC_OP_EXPAND))->isChecked())
        frames = m_expandFrames;
    else if (static_cast<QAbstractButton*>(GetDlgItem(IDC_OP_VERIFY))->isChecked())
        frames = m_verifyFrames;
    if (frames) {
        m_animation->setPixmap(frames[s_animFrame]);
        int base = frames == m_compressFrames ? 146 : frames == m_expandFrames ? 158 : 163;
        m_animation->setProperty("iconId", s_animFrame == 0 ? IDI_FRAME0 : base + s_animFrame);
        ++s_animFrame;
    }
    if (s_animFrame > 5) s_animFrame = 0;
}

void CMainDlg::OnCompressSelected() {
    GetDlgItem(IDC_COMPRESSION)->setEnabled(true);
}

void CMainDlg::OnExpandOrVerifySelected() {
    GetDlgItem(IDC_COMPRESSION)->setEnabled(false);
}

void CMainDlg::OnStart(bool preset) {
    UpdateData(true);
    bool exists = GetFileAttributesA(m_strFileName.c_str()) != INVALID_FILE_ATTRIBUTES;
    bool driveOk = m_strDrive.size() == 1 && m_strDrive[0] >= 'A' && m_strDrive[0] <= 'Z';
    char text[4200];
    switch (m_nOperation) {
        case Compress: {
            size_t slash = m_strFileName.find_last_of("/\\");
            std::string name =
                slash == std::string::npos ? m_strFileName : m_strFileName.substr(slash + 1);
            if (name.empty()) {
                MessageBox("  Please specify an image file name. ", MB_ICONERROR);
                return;
            }
            if (!driveOk) {
                MessageBox("  Drive letter must be 'A' through 'Z' ", MB_ICONINFORMATION);
                return;
            }
            // An unattended preset run replaces the image; a start by hand always asks.
            if (!preset && exists) {
                std::snprintf(text, sizeof text,
                              "  %s already exists. \n  Do you want to replace it? ",
                              m_strFileName.c_str());
                if (MessageBox(text, MB_YESNO | MB_ICONEXCLAMATION) == IDNO) return;
            }
            break;
        }
        case Expand:
        case Verify:
            if (!driveOk) {
                MessageBox("  Drive letter must be 'A' through 'Z' ", MB_ICONINFORMATION);
                return;
            }
            if (!exists) {
                std::snprintf(text, sizeof text, "  Could not locate file: %s ",
                              m_strFileName.c_str());
                MessageBox(text, MB_ICONERROR);
                return;
            }
            break;
        default:
            return;
    }
    UpdateRecentLists();
    StartJob();
}

void CMainDlg::UpdateRecentLists() {
    auto moveToTop = [](QComboBox* combo, const std::string& value, Qt::CaseSensitivity cs) {
        QString text = QString::fromStdString(value);
        // The copy that goes is the first after entry 0, entry 0 itself only when no later
        // entry matches.
        const int count = combo->count();
        for (int n = 1; n <= count; ++n) {
            const int i = n % count;
            if (combo->itemText(i).compare(text, cs) == 0) {
                combo->removeItem(i);
                break;
            }
        }
        combo->insertItem(0, text);
    };
    moveToTop(m_driveCombo, m_strDrive, Qt::CaseInsensitive);
    moveToTop(m_fileCombo, m_strFileName, Qt::CaseSensitive);
    UpdateData(false);
}

void CMainDlg::EnableJobControls(bool enable) {
    for (int id : {IDC_OP_COMPRESS, IDC_OP_EXPAND, IDC_OP_VERIFY, IDC_COMPRESSION, IDC_AUTOCLOSE,
                   IDC_START, IDC_BROWSE, IDC_DRIVE, IDC_FILENAME})
        GetDlgItem(id)->setEnabled(enable);
}

void CMainDlg::StartJob() {
    m_bCancelRequested = 0;
    auto* cancel = static_cast<QAbstractButton*>(GetDlgItem(IDCANCEL_BUTTON));
    cancel->setText("&Cancel");
    EnableJobControls(false);
    cancel->setFocus();
    m_pJob->m_operation = m_nOperation;
    m_pJob->m_compress = m_bCompression;
    m_pJob->m_driveLetter = m_strDrive;
    m_pJob->m_imagePath = m_strFileName;
    m_pJob->Start();
}

void CMainDlg::OnJobProgress() {
    // The status line shown catches up at every step, so the two always agree.
    if (std::exchange(m_statusBehind, false))
        static_cast<QLabel*>(GetDlgItem(IDC_STATUS))->setText(m_statusText);
    // Stepping past the end starts again from the bottom, as the progress control does.
    int next = m_progress->value() + 5;
    m_progress->setValue(next > m_progress->maximum() ? m_progress->minimum() + (next - 100)
                                                      : next);
}

void CMainDlg::OnJobDone() {
    // The end notice is the job's last act, but its thread may not have ended yet. Come back
    // when it has, so that the close that may follow never finds a running job and takes
    // itself for a cancel. The GUI thread keeps running meanwhile.
    if (m_pJob && m_pJob->IsRunning()) {
        QTimer::singleShot(0, this, [this] { OnJobDone(); });
        return;
    }
    if (m_pJob) m_lastJobResult = m_pJob->m_result;
    static_cast<QAbstractButton*>(GetDlgItem(IDCANCEL_BUTTON))->setText("&Close");
    m_statusRedraw.stop();
    m_statusBehind = false;
    static_cast<QLabel*>(GetDlgItem(IDC_STATUS))->setText(QString());
    m_progress->setValue(0);
    EnableJobControls(true);
    if (m_bAutoClose) Post(WM_CLOSE, 0, 0);
}

void CMainDlg::OnCancel() {
    if (m_closed) return;
    if (m_pJob && m_pJob->IsRunning()) {
        m_pJob->Cancel();
        m_bCancelRequested = 1;
        return;
    }
    m_timer.stop();
    delete m_pJob;
    m_pJob = nullptr;
    OnOK();
}

void CMainDlg::OnOK() {
    if (m_bSaveSettings) SaveSettings();
    UpdateData(true);
    m_closed = true;
    QDialog::done(QDialog::Accepted);
}

void CMainDlg::reject() {
    OnCancel();
}

void CMainDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnCancel();
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
    ShowContextMenu(event->globalPos());
}

void CMainDlg::ShowContextMenu(const QPoint& globalPos) {
    QString text = LoadResourceString(IDS_ABOUTBOX);
    if (text.isEmpty()) return;
    QMenu menu(this);
    QAction* about = menu.addAction(text);
    if (menu.exec(globalPos) == about) OnSysCommand(IDM_ABOUTBOX);
}

void CMainDlg::OnSysCommand(int command) {
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
    }
}

void CMainDlg::OnBrowse() {
    UpdateData(true);
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The Save form asks nothing about replacing a file: Start does.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(m_nOperation == Compress ? QFileDialog::AcceptSave
                                                  : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({"Tavrel Files (*.tvl)", "Image Files (*.*14)", "All Files (*)"});
    dialog.selectFile("*.tvl");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    UpdateData(true);
    m_strFileName = dialog.selectedFiles().first().toStdString();
    UpdateData(false);
}
