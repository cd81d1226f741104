#include "cli/console_window.h"

#include "cli/console_text.h"
#include "engine/job_ids.h"

namespace cli {

LRESULT ConsoleWindow::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_COMMAND) return 0;
    if (LOWORD(wParam) == ID_JOB_PROGRESS && onProgress) onProgress();
    if (LOWORD(wParam) == ID_JOB_DONE) ++doneCount;
    return 0;
}

LRESULT ConsoleWindow::OnItemMessage(int controlId, UINT message, WPARAM, LPARAM lParam) {
    if (controlId == IDC_STATUS && message == WM_SETTEXT && onStatus)
        onStatus(reinterpret_cast<const char*>(lParam));
    return TRUE;
}

int ConsoleWindow::OnMessageBox(const std::string& text, const std::string& caption, UINT type) {
    m_console.Error(Trim(caption) + ": " + Trim(text));
    // Nobody is there to answer: take the choice that changes nothing.
    switch (type & MB_TYPEMASK) {
        case MB_YESNO:
            return IDNO;
        case MB_OKCANCEL:
            return IDCANCEL;
        default:
            return IDOK;
    }
}

}  // namespace cli
