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

// ReplaceFileW keeps the old file's attributes, security, creation time, short name and
// streams, but refuses a read-only file: its mark is lifted for the swap (put back on failure).
bool Swap(const std::wstring& target, const std::wstring& temp, DWORD old) {
    const bool readOnly = old & FILE_ATTRIBUTE_READONLY;
    if (readOnly && !SetFileAttributesW(target.c_str(), old & ~FILE_ATTRIBUTE_READONLY))
        return false;
    if (ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                     nullptr))
        return true;
    DWORD code = GetLastError();
    // Without a backup name this failure comes after the old file was removed: the new one
    // takes the free name as a new file would.
    if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        return MoveFileExW(temp.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (readOnly) SetFileAttributesW(target.c_str(), old);
    SetLastError(code);
    return false;
}

// ReplaceFileW writes nothing through: the new file is flushed again under the target's name
// (on NTFS a file's flush writes the journal that holds the swap), its read-only mark put back
// first so that it is flushed too. 0, or the code of the step that failed.
DWORD Settle(const std::wstring& target, DWORD old) {
    UniqueHandle placed(CreateFileW(target.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    bool ok = placed.valid() &&
              (!(old & FILE_ATTRIBUTE_READONLY) ||
               SetFileAttributesW(target.c_str(),
                                  GetFileAttributesW(target.c_str()) | FILE_ATTRIBUTE_READONLY)) &&
              FlushFileBuffers(placed.get());
    DWORD code = ok ? 0 : GetLastError();
    if (!placed.Close() && !code) code = GetLastError();
    return code;
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

// Also what ReplaceFileW merges, but that merge may be skipped without a word (and Wine does
// not merge). Before the flush, so that it is durable with the data. The new file is newly
// written, so it keeps its archive mark; a read-only mark is put back after the swap.
bool ReplacementFile::CopyAttributes() {
    WIN32_FILE_ATTRIBUTE_DATA old;
    if (!GetFileAttributesExW(Widen(m_target).c_str(), GetFileExInfoStandard, &old)) return true;
    FILE_BASIC_INFO info = {};
    info.CreationTime.LowPart = old.ftCreationTime.dwLowDateTime;
    info.CreationTime.HighPart = static_cast<LONG>(old.ftCreationTime.dwHighDateTime);
    info.FileAttributes = (old.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)) |
                          FILE_ATTRIBUTE_ARCHIVE;
    return SetFileInformationByHandle(m_file.get(), FileBasicInfo, &info, sizeof info);
}

int ReplacementFile::Commit() {
    if (!m_file.valid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return CommitFailed;
    }
    // Full paths: Wine's ReplaceFileW fails on a bare name.
    const std::wstring target = Widen(Whereabouts(m_target)), temp = Widen(Whereabouts(m_temp));
    BOOL ok = CopyAttributes() && FlushFileBuffers(m_file.get());
    ok = m_file.Close() && ok;
    const DWORD old = ok ? GetFileAttributesW(target.c_str()) : INVALID_FILE_ATTRIBUTES;
    const bool replacing = old != INVALID_FILE_ATTRIBUTES;
    if (replacing)
        ok = Swap(target, temp, old);
    else
        ok = ok && GetLastError() == ERROR_FILE_NOT_FOUND &&
             MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DWORD code = GetLastError();
        // A swap that failed once the old file was gone leaves the new one the only copy.
        if (replacing && GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
            m_temp.clear();
        Abandon();
        SetLastError(code);
        return CommitFailed;
    }
    m_temp.clear();
    DWORD code = replacing ? Settle(target, old) : 0;
    if (code) {
        SetLastError(code);
        return CommittedNotDurable;
    }
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
