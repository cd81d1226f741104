#include "app/qt/qt_main_dlg.h"

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

#include "app/qt/drop_down_combo.h"
#include "app/qt/message_box.h"
#include "app/qt/pictures.h"
#include "app/resource_ids.h"
#include "engine/disk_job.h"
#include "platform/profile.h"

#ifndef TAVREL_VERSION
#define TAVREL_VERSION "1.0"
#endif

namespace {

// The drive box takes as many upper-case letters as its limit, whatever is typed. Only typing
// is limited: a longer text from the profile stays as it is, for Start to refuse.
class UpperCaseValidator : public QValidator {
  public:
    UpperCaseValidator(int limit, QObject* parent) : QValidator(parent), m_limit(limit) {}
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return input.size() > m_limit ? Invalid : Acceptable;
    }

  private:
    int m_limit;
};

constexpr int kRadios[] = {IDC_OP_COMPRESS, IDC_OP_EXPAND, IDC_OP_VERIFY};

}  // namespace

QtAboutDlg::QtAboutDlg(QWidget* parent) : QDialog(parent) {
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

QtAboutDlg::~QtAboutDlg() = default;

QtMainDlg::QtMainDlg() : QDialog(nullptr), QtWindow(this) {
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

QtMainDlg::~QtMainDlg() {
    if (m_pJob) {
        // Only reached when the dialog goes away with a job still running (the program is
        // being torn down): let the job end, answering its sends, before it is deleted.
        if (m_pJob->IsRunning()) m_pJob->Cancel();
        while (m_pJob->IsRunning()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

QWidget* QtMainDlg::GetDlgItem(int id) const {
    auto it = m_controls.byId.find(id);
    return it == m_controls.byId.end() ? nullptr : it->second;
}

QComboBox* QtMainDlg::Combo(int id) const {
    return qobject_cast<QComboBox*>(GetDlgItem(id));
}

void QtMainDlg::Create() {
    if (m_created) return;
    m_created = true;
    m_controls = BuildDialog(*this, LoadDialogTemplate("IDD_MAIN"));
    m_driveCombo = Combo(IDC_DRIVE);
    m_fileCombo = Combo(IDC_FILENAME);
    m_animation = static_cast<QLabel*>(GetDlgItem(IDC_ANIMATION));
    m_progress = static_cast<QProgressBar*>(GetDlgItem(IDC_PROGRESS));

    // Every button reports its identifier, as the system's buttons send WM_COMMAND.
    for (int id :
         {IDC_START, IDCANCEL_BUTTON, IDC_BROWSE, IDC_OP_COMPRESS, IDC_OP_EXPAND, IDC_OP_VERIFY}) {
        connect(static_cast<QAbstractButton*>(GetDlgItem(id)), &QAbstractButton::clicked, this,
                [this, id] { OnCommand(static_cast<WPARAM>(id), 0); });
    }
    connect(static_cast<DropDownCombo*>(m_driveCombo), &DropDownCombo::aboutToShowPopup, this,
            [this] { RefreshDriveList(); });
    connect(m_driveCombo, &QComboBox::editTextChanged, this,
            [this](const QString& text) { UpdateDriveTip(text); });
    // The context menu stands in for the title bar's menu, which the window manager owns.
    auto* menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this,
            [this] { ShowContextMenu(mapToGlobal(rect().center())); });

    setWindowIcon(ApplicationIcon());
    // The sixteen pictures are loaded once.
    for (int id : {146, 147, 148, 149, 150, 151, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168})
        m_frames[id] = LoadPicture(id);
    m_animation->setProperty("iconId", IDI_FRAME0);
    OnInitDialog();
    GetDlgItem(IDC_OP_COMPRESS)->setFocus();
}

int QtMainDlg::DoModal() {
    Create();
    return exec();
}

std::string QtMainDlg::GetItemText(int id) {
    if (QComboBox* combo = Combo(id)) return combo->currentText().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
        return button->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(GetDlgItem(id))) return label->text().toStdString();
    return {};
}

void QtMainDlg::SetItemText(int id, const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (QComboBox* combo = Combo(id)) {
        combo->setEditText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id))) {
        button->setText(value);
    } else if (id == IDC_STATUS) {
        // Whatever was still to be drawn is dropped with it.
        m_statusRedraw.stop();
        m_statusBehind = false;
        static_cast<QLabel*>(GetDlgItem(id))->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(GetDlgItem(id))) {
        label->setText(value);
    }
}

bool QtMainDlg::IsChecked(int id) {
    return static_cast<QAbstractButton*>(GetDlgItem(id))->isChecked();
}

void QtMainDlg::SetChecked(int id, bool checked) {
    auto* button = static_cast<QAbstractButton*>(GetDlgItem(id));
    // Exclusive buttons cannot all be cleared; lift that while setting one.
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(exclusive);
}

void QtMainDlg::EnableItem(int id, bool enable) {
    GetDlgItem(id)->setEnabled(enable);
}

void QtMainDlg::ShowItem(int id, bool show) {
    GetDlgItem(id)->setVisible(show);
}

void QtMainDlg::FocusItem(int id) {
    GetDlgItem(id)->setFocus();
}

void QtMainDlg::LimitItemText(int id, int characters) {
    QComboBox* combo = Combo(id);
    combo->lineEdit()->setValidator(new UpperCaseValidator(characters, combo));
}

int QtMainDlg::ListCount(int id) {
    return Combo(id)->count();
}

std::string QtMainDlg::ListText(int id, int index) {
    return Combo(id)->itemText(index).toStdString();
}

void QtMainDlg::ListInsert(int id, int index, const std::string& text) {
    QComboBox* combo = Combo(id);
    combo->insertItem(index < 0 ? combo->count() : index, QString::fromStdString(text));
}

void QtMainDlg::ListDelete(int id, int index) {
    Combo(id)->removeItem(index);
}

void QtMainDlg::ListSelect(int id, int index) {
    QComboBox* combo = Combo(id);
    combo->setCurrentIndex(index);
    combo->setEditText(combo->itemText(index));
}

void QtMainDlg::ResetProgress() {
    m_progress->setValue(0);
}

void QtMainDlg::StepProgress() {
    // The status line shown catches up at every step, so the two always agree.
    if (std::exchange(m_statusBehind, false))
        static_cast<QLabel*>(GetDlgItem(IDC_STATUS))->setText(m_statusText);
    // Stepping past the end starts again from the bottom, as the progress control does.
    int next = m_progress->value() + 5;
    m_progress->setValue(next > m_progress->maximum() ? m_progress->minimum() + (next - 100)
                                                      : next);
}

void QtMainDlg::ShowAnimationFrame(int iconId) {
    m_animation->setPixmap(m_frames[iconId]);
    m_animation->setProperty("iconId", iconId);
}

void QtMainDlg::StartTimer() {
    m_timer.start();
}

void QtMainDlg::StopTimer() {
    m_timer.stop();
}

int QtMainDlg::ShowBox(const std::string& text, UINT type) {
    return app::ShowMessageBox(this, text, "Tavrel", type);
}

LRESULT QtMainDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE)
        OnCancel();
    else if (message == WM_COMMAND)
        OnCommand(wParam, lParam);
    return 0;
}

LRESULT QtMainDlg::OnItemMessage(int controlId, UINT message, WPARAM, LPARAM lParam) {
    auto* label = qobject_cast<QLabel*>(GetDlgItem(controlId));
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

int QtMainDlg::OnMessageBox(const std::string& text, const std::string& caption, UINT type) {
    return app::ShowMessageBox(this, text, caption, type);
}

void QtMainDlg::OnSettingsLoaded() {
    RefreshDriveList();
}

void QtMainDlg::PostPresetStart() {
    m_startAfterDrives = true;  // ShowFoundDrives posts the start
}

bool QtMainDlg::IsRecentEntry(int id, int index) {
    return !Combo(id)->itemData(index, kFoundDriveRole).toBool();
}

void QtMainDlg::OnSettingsSaved(const std::string& file, const std::vector<std::string>& letters) {
    // A letter this run gave to a drive it found, and then used, keeps reaching that drive.
    for (const auto& [letter, mapping] : m_foundMappings) {
        bool used = false;
        for (const std::string& entry : letters)
            used = used || (entry.size() == 1 &&
                            std::toupper(static_cast<unsigned char>(entry[0])) == letter);
        const char key[2] = {letter, '\0'};
        if (used)
            WritePrivateProfileStringA("Drives", key, platform::ResolveDriveLetter(letter).c_str(),
                                       file.c_str());
    }
}

void QtMainDlg::EndDialog() {
    QDialog::done(QDialog::Accepted);
}

void QtMainDlg::reject() {
    OnCancel();
}

void QtMainDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnCancel();
}

void QtMainDlg::contextMenuEvent(QContextMenuEvent* event) {
    ShowContextMenu(event->globalPos());
}

void QtMainDlg::ShowContextMenu(const QPoint& globalPos) {
    QString text = LoadResourceString(IDS_ABOUTBOX);
    if (text.isEmpty()) return;
    QMenu menu(this);
    QAction* about = menu.addAction(text);
    if (menu.exec(globalPos) == about) OnSysCommand(IDM_ABOUTBOX);
}

void QtMainDlg::ShowAboutBox() {
    QtAboutDlg about(this);
    about.DoModal();
}

bool QtMainDlg::AskImageFile(bool save, std::string& path) {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The Save form asks nothing about replacing a file: Start does.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({"Tavrel Files (*.tvl)", "Image Files (*.*14)", "All Files (*)"});
    dialog.selectFile("*.tvl");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first().toStdString();
    return true;
}
