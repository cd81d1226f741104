// FormatMessage and LocalFree are the system's; its texts come in the user's language.
#pragma once

#include <string>

#include "platform/win_types.h"
#include "platform/windows/wide_path.h"

namespace platform {
// The wide call, whatever the ANSI code page (the manifest's UTF-8 one needs Windows 10 1903).
// Inserts are left as they are: texts such as ERROR_WRONG_DISK's ("Insert %2 ... into drive %1")
// want arguments no caller has, and without the flag the call fails for them. Language 0 is the
// documented chain (the thread's, the user's, the system's, then English); a named language that
// is not installed would fail.
inline bool SystemErrorText(DWORD code, std::string* text) {
    wchar_t* found = nullptr;
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                            FORMAT_MESSAGE_IGNORE_INSERTS,
                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&found), 0, nullptr) ||
        !found)
        return false;
    std::wstring wide = found;
    LocalFree(found);
    // The system ends its texts with a line break; the messages go on after them.
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' '))
        wide.pop_back();
    *text = Narrow(wide);
    return true;
}

inline void UseUserLanguage() {}
}  // namespace platform
