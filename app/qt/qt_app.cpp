#include "app/qt/qt_app.h"

#include "app/qt/message_box.h"
#include "app/qt/qt_main_dlg.h"

void QtTavrelApp::ShowRefusal(const std::string& text, const std::string& caption) {
    app::ShowMessageBox(nullptr, text, caption, MB_OK | MB_ICONERROR);
}

JobResult QtTavrelApp::RunMainDialog(const CTavrelCommandLineInfo& cmdInfo) {
    QtMainDlg dlg;
    dlg.m_pCmdInfo = &cmdInfo;
    dlg.DoModal();
    return dlg.m_lastJobResult;
}
