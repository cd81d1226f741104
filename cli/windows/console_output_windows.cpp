// A console takes UTF-16 through WriteConsoleW, whatever its code page: written as bytes, UTF-8
// would be read in the console's OEM code page ("BÃ¼ro"). A pipe or a file gets the UTF-8 bytes
// through the C runtime as before (which ends lines with CR LF there).
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "cli/console_output.h"
#include "platform/windows/wide_path.h"

namespace cli {
namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::atomic<bool> g_outGone{false};

// False when the stream's pipe has no reader any more: WriteFile said ERROR_NO_DATA (the pipe is
// being closed) or ERROR_BROKEN_PIPE, which the runtime reports as EPIPE.
bool Write(DWORD which, FILE* stream, const std::string& text) {
    const HANDLE handle = GetStdHandle(which);
    if (IsConsole(handle)) {
        std::fflush(stream);  // nothing may overtake what the runtime still holds
        const std::wstring wide = platform::Widen(text);
        size_t done = 0;
        while (done < wide.size()) {
            DWORD written = 0;
            if (!WriteConsoleW(handle, wide.data() + done, static_cast<DWORD>(wide.size() - done),
                               &written, nullptr) ||
                written == 0)
                return true;
            done += written;
        }
        return true;
    }
    errno = 0;
    SetLastError(ERROR_SUCCESS);
    if (std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0)
        return true;
    const DWORD error = GetLastError();
    return errno != EPIPE && error != ERROR_NO_DATA && error != ERROR_BROKEN_PIPE;
}

// The console's mode as it was before the tool switched escapes on, put back at exit: the
// console belongs to the shell that started the tool.
struct ConsoleModeRestore {
    HANDLE handle = nullptr;
    DWORD mode = 0;
    ~ConsoleModeRestore() {
        if (handle) SetConsoleMode(handle, mode);
    }
};

}  // namespace

void WriteOut(const std::string& utf8) {
    if (!Write(STD_OUTPUT_HANDLE, stdout, utf8)) g_outGone = true;
}

bool OutIsGone() {
    return g_outGone;
}

void WriteErr(const std::string& utf8) {
    Write(STD_ERROR_HANDLE, stderr, utf8);
}

bool ErrIsTerminal() {
    return IsConsole(GetStdHandle(STD_ERROR_HANDLE));
}

// Consoles from Windows 10 1511 on interpret escapes once asked to; the classic console and
// older systems refuse the mode, and the progress line is then redrawn without them.
bool ErrTakesEscapes() {
    static ConsoleModeRestore restore;
    static const bool takes = [] {
        const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
        DWORD mode = 0;
        if (!IsConsole(handle) || !GetConsoleMode(handle, &mode)) return false;
        if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
        if (!SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
        restore.handle = handle;
        restore.mode = mode;
        return true;
    }();
    return takes;
}

int ErrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : 80;
}

}  // namespace cli
