// UTF-8, the program's text everywhere, to and from the UTF-16 of the system's wide calls.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace platform {

inline std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

inline std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

// A path as the wide calls take it at any length. A full path near MAX_PATH or beyond gets the
// \\?\ form (\\?\UNC\ for a share), which the wide file calls take up to 32,767 characters even
// where the manifest's longPathAware is not honoured (before Windows 10 1607, or without
// LongPathsEnabled). That form is used as it stands, without the usual clean-up ("/" to "\",
// "." and ".."), so it is made from the full path the system computes. Device names (\\.\A:),
// paths already in that form, and what the system cannot make a full path of are left as they
// are: the call they go to then fails with the system's own error.
inline std::wstring SystemPath(const std::string& path) {
    std::wstring wide = Widen(path);
    if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0) return wide;
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return wide;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (size == 0 || size >= full.size()) return wide;
    full.resize(size);
    // A folder's own limit is MAX_PATH less room for an 8.3 name.
    if (full.size() < MAX_PATH - 12) return wide;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace platform
