#include "app/qt/qt_app.h"

#include <QApplication>
#include <cstdio>

#include "app/qt/message_box.h"
#include "app/qt/qt_main_dlg.h"

namespace {
char g_programName[] = "tavrel";
char* g_defaultArgv[] = {g_programName, nullptr};
}  // namespace

QtTavrelApp::QtTavrelApp(char** argv) : m_argv(argv ? argv : g_defaultArgv) {}

QtTavrelApp::~QtTavrelApp() = default;

void QtTavrelApp::StartToolkit() {
    if (QApplication::instance()) return;
    // Every argument is the dialog's ("-name" is its no-save option N, "-reverse" one it
    // ignores): Qt sees only the program's name and takes its platform from QT_QPA_PLATFORM.
    m_application = std::make_unique<QApplication>(m_qtArgc, m_argv);
}

void QtTavrelApp::ShowText(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void QtTavrelApp::ShowRefusal(const std::string& text, const std::string& caption) {
    StartToolkit();
    app::ShowMessageBox(nullptr, text, caption, MB_OK | MB_ICONERROR);
}

JobResult QtTavrelApp::RunMainDialog(const CTavrelCommandLineInfo& cmdInfo) {
    StartToolkit();
    QtMainDlg dlg;
    dlg.m_pCmdInfo = &cmdInfo;
    dlg.DoModal();
    return dlg.m_lastJobResult;
}
