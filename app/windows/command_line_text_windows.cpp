// The order follows Microsoft's documentation of AttachConsole for /SUBSYSTEM:WINDOWS
// programs: standard handles the parent handed down (tavrel --help > help.txt, or | more) are
// used as they are; otherwise the program attaches to its parent's console
// (ATTACH_PARENT_PROCESS) and writes to its screen buffer, CONOUT$. Started from Explorer or a
// shortcut there is no such console, and a message box shows the text.
#include "app/windows/command_line_text_windows.h"

#include "platform/windows/wide_path.h"

namespace {

// The console takes UTF-16 whatever its code page; a file or a pipe gets the UTF-8 bytes.
bool WriteAll(HANDLE handle, const std::string& text) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = platform::Widen(text);
        for (size_t done = 0; done < wide.size();) {
            DWORD written = 0;
            if (!WriteConsoleW(handle, wide.data() + done, static_cast<DWORD>(wide.size() - done),
                               &written, nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        return true;
    }
    for (size_t done = 0; done < text.size();) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                       nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

void ShowCommandLineText(const std::string& text, const std::string& caption) {
    const std::string lines = WithCrLf(text);
    // A handle inherited from a parent that has no such stream, or one of a console this
    // process is not attached to, fails the write, and the next way is tried.
    if (WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), lines)) return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        // The shell does not wait for a GUI program, so its prompt is already out: the text
        // starts on a line of its own.
        const bool written = WriteAll(console, "\r\n" + lines);
        if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
        FreeConsole();
        if (written) return;
    }
    MessageBoxW(nullptr, platform::Widen(text).c_str(), platform::Widen(caption).c_str(),
                MB_OK | MB_ICONINFORMATION);
}
