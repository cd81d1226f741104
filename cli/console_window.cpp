#include "cli/console_window.h"

#include "cli/console_text.h"
#include "engine/job_ids.h"
#include "platform/last_error.h"

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

namespace {

bool WordEdge(const std::string& text, size_t at) {
    return at >= text.size() || text[at] == ' ' || text[at] == ',' || text[at] == '.' ||
           text[at] == '!' || text[at] == ')';
}

// Every whole occurrence of from in text, as a word.
std::string ReplaceWord(std::string text, const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        if ((at == 0 || text[at - 1] == ' ') && WordEdge(text, at + from.size())) {
            text.replace(at, from.size(), to);
            at += to.size();
        } else {
            at += from.size();
        }
    }
    return text;
}

}  // namespace

std::string ConsoleWindow::Renamed(const std::string& text) const {
    return ReplaceWord(ReplaceWord(text, imageFrom, imageTo), driveFrom, driveTo);
}

int ConsoleWindow::OnMessageBox(const std::string& text, const std::string& caption, UINT type) {
    // A direct window runs this on the job's thread, right after the failure it reports.
    const DWORD code = GetLastError();
    const std::string title = Trim(caption), said = Trim(Renamed(text));
    m_console.Error(title + ": " + (onMessageText ? Trim(onMessageText(title, said, code)) : said));
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
