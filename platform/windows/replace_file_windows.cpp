#include <cstdio>
#include <random>

#include "platform/last_error_note.h"
#include "platform/replace_file.h"
#include "platform/windows/wide_path.h"

namespace platform {
namespace {

constexpr char kTempSuffix[] = ".tavrel-new";
constexpr char kBackupSuffix[] = ".tavrel-old";

std::string NameOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder == ".") return name;
    const char last = folder.back();
    return last == '/' || last == '\\' || last == ':' ? folder + name : folder + "\\" + name;
}

// Where ReplaceFileW left the two files when it failed with the target's name free (the
// documented ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: the old file under the backup name, the new one
// under its own, which it could not move). The new one is tried once more, then the old one is
// put back; the new image, maybe the only copy of a long job, is kept and marked read-only,
// which the next run's cleaner leaves alone (a killed writer's file is never read-only), and
// the failure's note says where each one is. True when the new one got the target's name.
bool Recover(const std::wstring& target, const std::wstring& temp, const std::wstring& backup,
             DWORD old) {
    const DWORD code = GetLastError();
    if (MoveFileExW(temp.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(backup.c_str());
        return true;
    }
    const bool oldBack = GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES &&
                         MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    const std::wstring& oldPlace = oldBack ? target : backup;
    if (old & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(oldPlace.c_str(), old);
    // Not hidden either: the user is to find it.
    const DWORD kept = GetFileAttributesW(temp.c_str());
    const bool marked =
        SetFileAttributesW(temp.c_str(), ((kept == INVALID_FILE_ATTRIBUTES ? 0 : kept) &
                                          ~(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) |
                                             FILE_ATTRIBUTE_READONLY);
    std::string note = "The new image is kept" + std::string(marked ? ", read-only," : "") +
                       " as " + Narrow(temp) + "; ";
    if (oldBack)
        note += Narrow(target) + " is the old image again.";
    else if (GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES)
        note += "the old image is " + Narrow(backup) + ", and " + Narrow(target) + " is free.";
    else
        note += "the old image is gone, and " + Narrow(target) + " is free.";
    SetLastErrorNote(code, note);
    SetLastError(code);
    return false;
}

// ReplaceFileW keeps the old file's attributes, security, creation time, short name and
// streams, but refuses a read-only file: its mark is lifted for the swap (put back on failure).
// The old file goes through a backup name of our own, so that wherever a failure leaves it, its
// name is known (without one, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves it under a name the
// system made up); it is deleted once the new file is in place. With a backup name every other
// failure leaves both files under their own names.
bool Swap(const std::wstring& target, const std::wstring& temp, const std::wstring& backup,
          DWORD old, bool* keepNew) {
    const bool readOnly = old & FILE_ATTRIBUTE_READONLY;
    if (readOnly && !SetFileAttributesW(target.c_str(), old & ~FILE_ATTRIBUTE_READONLY))
        return false;
    if (ReplaceFileW(target.c_str(), temp.c_str(), backup.c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                     nullptr)) {
        DeleteFileW(backup.c_str());
        return true;
    }
    const DWORD code = GetLastError();
    if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
        SetLastError(code);
        *keepNew = true;
        return Recover(target, temp, backup, old);
    }
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
    HANDLE search = FindFirstFileW(SystemPath(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        // One still being written is open for no one else and stays; a read-only one is a new
        // image a failed swap kept (see Recover), maybe the only copy.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) continue;
        DeleteFileW(SystemPath(Join(folder, Narrow(found.cFileName))).c_str());
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
        HANDLE file = CreateFileW(SystemPath(temp).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    if (!GetFileAttributesExW(SystemPath(m_target).c_str(), GetFileExInfoStandard, &old))
        return true;
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
    const std::wstring target = SystemPath(Whereabouts(m_target)),
                       temp = SystemPath(Whereabouts(m_temp));
    const std::string tag = m_temp.substr(m_temp.rfind('-'));
    const std::wstring backup = SystemPath(
        Whereabouts(Join(FolderOf(m_target), "." + NameOf(m_target) + kBackupSuffix + tag)));
    BOOL ok = CopyAttributes() && FlushFileBuffers(m_file.get());
    ok = m_file.Close() && ok;
    const DWORD old = ok ? GetFileAttributesW(target.c_str()) : INVALID_FILE_ATTRIBUTES;
    const bool replacing = old != INVALID_FILE_ATTRIBUTES;
    bool keepNew = false;
    if (replacing)
        ok = Swap(target, temp, backup, old, &keepNew);
    else
        ok = ok && GetLastError() == ERROR_FILE_NOT_FOUND &&
             MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DWORD code = GetLastError();
        // A swap that failed once the old file had left its name keeps the new one.
        if (keepNew) m_temp.clear();
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
    if (!m_temp.empty()) DeleteFileW(SystemPath(m_temp).c_str());
    m_temp.clear();
    SetLastError(code);
}

}  // namespace platform
