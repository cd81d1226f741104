#include <cstdio>
#include <random>

#include "platform/replace_file.h"
#include "platform/windows/wide_path.h"

namespace platform {
namespace {

constexpr char kTempSuffix[] = ".tavrel-new";

std::string NameOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder == ".") return name;
    const char last = folder.back();
    return last == '/' || last == '\\' || last == ':' ? folder + name : folder + "\\" + name;
}

}  // namespace

std::string ResolveLinks(const std::string& path, std::string*) {
    return path;
}

std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos) {
        // "C:name" lies in the current folder of drive C.
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    }
    size_t end = path.find_last_not_of("/\\", cut);
    if (end == std::string::npos || (end == 1 && path[1] == ':')) return path.substr(0, cut + 1);
    return path.substr(0, end + 1);
}

std::string Whereabouts(const std::string& path) {
    std::wstring wide = Widen(path);
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    full.resize(size);
    return Narrow(full);
}

ReplacementFile::~ReplacementFile() {
    Abandon();
}

void ReplacementFile::RemoveLeftovers() {
    const std::string folder = FolderOf(m_target);
    const std::string pattern = Join(folder, "." + NameOf(m_target) + kTempSuffix + "-*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Widen(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        // One still being written is open for no one else and stays.
        DeleteFileW(Widen(Join(folder, Narrow(found.cFileName))).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

BOOL ReplacementFile::Open(const std::string& target, bool) {
    Abandon();
    m_target = target;
    RemoveLeftovers();
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "-%08x", static_cast<unsigned>(random()));
        std::string temp = Join(FolderOf(target), "." + NameOf(target) + kTempSuffix + tag);
        HANDLE file = CreateFileW(Widen(temp).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_file.reset(file);
            m_temp = temp;
            return TRUE;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return FALSE;
    }
    return FALSE;
}

int ReplacementFile::Commit() {
    if (!m_file.valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return CommitFailed;
    }
    BOOL ok = FlushFileBuffers(m_file.get());
    ok = m_file.Close() && ok;
    ok = ok && MoveFileExW(Widen(m_temp).c_str(), Widen(m_target).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DWORD code = GetLastError();
        Abandon();
        SetLastError(code);
        return CommitFailed;
    }
    m_temp.clear();
    return Committed;
}

BOOL ReplacementFile::Close() {
    return m_file.Close();
}

void ReplacementFile::Abandon() {
    DWORD code = GetLastError();
    m_file.Close();
    if (!m_temp.empty()) DeleteFileW(Widen(m_temp).c_str());
    m_temp.clear();
    SetLastError(code);
}

}  // namespace platform
