#include "platform/replace_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/file_api.h"
#include "platform/last_error.h"
#include "platform/syscalls.h"

namespace platform {
namespace {

// ".tavrel-" and six letters or digits: short enough for any folder that holds the target.
constexpr char kTempPrefix[] = ".tavrel-";
constexpr size_t kTempPrefixLength = sizeof kTempPrefix - 1;
constexpr size_t kTempRandomLength = 6;
constexpr char kTempAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

DWORD Errno() {
    return static_cast<DWORD>(errno ? errno : EIO);
}

bool IsTempName(const char* name) {
    if (std::strncmp(name, kTempPrefix, kTempPrefixLength) != 0) return false;
    const char* rest = name + kTempPrefixLength;
    if (std::strlen(rest) != kTempRandomLength) return false;
    for (const char* c = rest; *c; ++c)
        if (!std::strchr(kTempAlphabet, *c)) return false;
    return true;
}

std::string TempName() {
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string name = kTempPrefix;
    std::uniform_int_distribution<size_t> pick(0, sizeof kTempAlphabet - 2);
    for (size_t i = 0; i < kTempRandomLength; ++i) name += kTempAlphabet[pick(random)];
    return name;
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A leftover whose lock can be taken has no writer any more, wherever that writer ran. The
// name must still be the file that was locked, or a fresh writer's file could go.
void RemoveLeftovers(const std::string& folder) {
    ForEachFolderEntry(folder, [&](const char* name) {
        if (!IsTempName(name)) return;
        std::string path = Join(folder, name);
        int fd = SysOpen(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) return;
        struct stat held, named;
        if (SysFstat(fd, &held, path.c_str()) == 0 && S_ISREG(held.st_mode) &&
            SysFlock(fd, LOCK_EX | LOCK_NB, path.c_str()) == 0 &&
            SysLstat(path.c_str(), &named) == 0 && SameFile(held, named))
            SysUnlink(path.c_str());
        SysClose(fd, path.c_str());
    });
}

// A rename is durable only once the folder that holds the new name is.
bool SyncFolder(const std::string& folder) {
    int fd = SysOpen(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        SetLastError(Errno());
        return false;
    }
    bool ok = SysFsync(fd, folder.c_str()) == 0;
    DWORD code = ok ? 0 : Errno();
    SysClose(fd, folder.c_str());
    if (!ok) SetLastError(code);
    return ok;
}

}  // namespace

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    size_t end = path.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

std::string ResolveLinks(const std::string& path) {
    std::string p = path;
    // The kernel's own limit of links in one lookup.
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat st;
        if (SysLstat(p.c_str(), &st) != 0) {
            if (errno == ENOENT) return p;
            SetLastError(Errno());
            return "";
        }
        if (!S_ISLNK(st.st_mode)) return p;
        char link[PATH_MAX];
        ssize_t n = SysReadlink(p.c_str(), link, sizeof link);
        if (n < 0 || static_cast<size_t>(n) >= sizeof link) {
            SetLastError(n < 0 ? Errno() : ENAMETOOLONG);
            return "";
        }
        std::string next(link, static_cast<size_t>(n));
        p = next[0] == '/' || p.find('/') == std::string::npos ? next : Join(FolderOf(p), next);
    }
    SetLastError(ELOOP);
    return "";
}

ReplacementFile::~ReplacementFile() {
    Abandon();
}

BOOL ReplacementFile::Open(const std::string& target, bool mayWriteInPlace) {
    Abandon();
    m_inPlace = false;
    m_target = ResolveLinks(target);
    if (m_target.empty()) return FALSE;
    struct stat old;
    bool replacing = SysStat(m_target.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT) {
        SetLastError(Errno());
        return FALSE;
    }
    // Only a regular file is replaced: a rename over a folder fails, and one over a device
    // or a pipe would put a file in its place.
    if (replacing && !S_ISREG(old.st_mode)) {
        SetLastError(S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
        return FALSE;
    }
    std::string folder = FolderOf(m_target);
    RemoveLeftovers(folder);

    DWORD code = EEXIST;
    for (int attempt = 0; attempt < 100 && code == EEXIST; ++attempt) {
        std::string temp = Join(folder, TempName());
        // Until it replaces a file, the new one is readable by its owner alone.
        int fd = SysOpen(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW,
                         replacing ? 0600 : 0666);
        if (fd < 0) {
            code = Errno();
            continue;
        }
        // A cleaner that took the file for a leftover before it was locked removes it: then
        // the name no longer leads to it, and another name is tried. A lock the file system
        // does not offer is done without.
        if (SysFlock(fd, LOCK_EX | LOCK_NB, temp.c_str()) != 0 && errno == EWOULDBLOCK) {
            SysClose(fd, temp.c_str());
            continue;
        }
        struct stat held, named;
        if (SysFstat(fd, &held, temp.c_str()) != 0 || SysLstat(temp.c_str(), &named) != 0) {
            code = Errno();
            if (code == ENOENT) {
                SysClose(fd, temp.c_str());
                code = EEXIST;
                continue;
            }
            SysUnlink(temp.c_str());
            SysClose(fd, temp.c_str());
            break;
        }
        if (!SameFile(held, named)) {
            SysClose(fd, temp.c_str());
            continue;
        }
        m_fd = fd;
        m_file.reset(AdoptFileDescriptor(fd, temp, GENERIC_WRITE));
        m_temp = temp;
        return TRUE;
    }
    if (replacing && mayWriteInPlace && (code == EACCES || code == EPERM)) return OpenInPlace();
    SetLastError(code);
    return FALSE;
}

BOOL ReplacementFile::OpenInPlace() {
    m_file.reset(
        CreateFileA(m_target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!m_file.valid()) return FALSE;
    m_fd = FileDescriptorOf(m_file.get());
    m_inPlace = true;
    return TRUE;
}

int ReplacementFile::Commit() {
    if (!m_file.valid()) {
        SetLastError(EBADF);
        return CommitFailed;
    }
    bool ok = FlushFileBuffers(m_file.get());
    if (ok && m_inPlace) {
        ok = m_file.Close();
        m_fd = -1;
        return ok ? Committed : CommitFailed;
    }
    struct stat old, now;
    if (ok && SysStat(m_target.c_str(), &old) == 0 && SysFstat(m_fd, &now, m_temp.c_str()) == 0) {
        // Owner and group first: changing them may clear the set-id bits of the mode.
        if ((old.st_uid != now.st_uid || old.st_gid != now.st_gid) &&
            SysFchown(m_fd, old.st_uid, old.st_gid, m_temp.c_str()) != 0 && errno != EPERM) {
            ok = false;
        }
        if (ok && SysFchmod(m_fd, old.st_mode & 07777, m_temp.c_str()) != 0 && errno != EPERM)
            ok = false;
        if (!ok) SetLastError(Errno());
    }
    if (ok && SysRename(m_temp.c_str(), m_target.c_str()) != 0) {
        SetLastError(Errno());
        ok = false;
    }
    if (!ok) {
        DWORD code = GetLastError();
        Abandon();
        SetLastError(code);
        return CommitFailed;
    }
    // The new file holds the target's name now; its lock goes with the close.
    m_temp.clear();
    m_fd = -1;
    BOOL closed = m_file.Close();
    DWORD closeCode = closed ? 0 : GetLastError();
    if (!SyncFolder(FolderOf(m_target))) return CommittedNotDurable;
    if (!closed) {
        SetLastError(closeCode);
        return CommittedNotDurable;
    }
    return Committed;
}

BOOL ReplacementFile::Close() {
    m_fd = -1;
    return m_file.Close();
}

void ReplacementFile::Abandon() {
    DWORD code = GetLastError();
    // Removed while still locked, so no cleaner can take it for somebody else's.
    if (!m_temp.empty()) SysUnlink(m_temp.c_str());
    m_temp.clear();
    m_file.Close();
    m_fd = -1;
    SetLastError(code);
}

}  // namespace platform
