#include "platform/replace_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <utility>

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
// The kernel's own limit of links in one lookup.
constexpr int kMaxLinks = 40;

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

// A name in a folder given as a path; "" is the working folder.
std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder == ".") return name;
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string Shown(const std::string& folder) {
    return folder.empty() ? "." : folder;
}

// The folder above one reached without links, so ".." needs no lookup.
std::string Parent(const std::string& folder) {
    if (folder == "/") return folder;
    size_t slash = folder.find_last_of('/');
    std::string last = slash == std::string::npos ? folder : folder.substr(slash + 1);
    if (folder.empty() || last == "..") return Join(folder, "..");
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : folder.substr(0, slash);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

class Descriptor {
  public:
    Descriptor() = default;
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1) {
        if (m_fd >= 0) SysClose(m_fd);
        m_fd = fd;
    }

  private:
    int m_fd = -1;
};

// Puts the parts of a path in front of those still to be looked up. A path that ends in a
// slash names a folder: its last part is that folder's ".".
void PushFront(const std::string& path, std::deque<std::string>* parts) {
    std::deque<std::string> own;
    for (size_t at = 0; at < path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        if (end > at) own.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    if (path.back() == '/') own.push_back(".");
    parts->insert(parts->begin(), own.begin(), own.end());
}

// The rule the kernel applies with fs.protected_symlinks: in a sticky folder that everyone may
// write to, anyone may have put the link; it is followed only when it belongs to the one who
// follows it or to the folder's owner.
bool MayFollow(const struct stat& link, const struct stat& folder) {
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || link.st_uid == geteuid() || link.st_uid == folder.st_uid;
}

bool OpenStart(bool root, Descriptor* folder, std::string* folderPath) {
    const char* start = root ? "/" : ".";
    int fd = SysOpenat(AT_FDCWD, start, O_PATH | O_DIRECTORY, 0, start);
    if (fd < 0) {
        SetLastError(Errno());
        return false;
    }
    folder->reset(fd);
    *folderPath = root ? "/" : "";
    return true;
}

// Where a path leads: its folder, open and reached without following any link the rule
// refuses, and the name of the file in it. Each part is looked up in the folder opened before
// it, so nothing that changes the path after it was checked is followed.
bool FindPlace(const std::string& path, Descriptor* folder, std::string* folderPath,
               std::string* name, std::string* refusedLink) {
    if (path.empty()) {
        SetLastError(ENOENT);
        return false;
    }
    std::deque<std::string> parts;
    PushFront(path, &parts);
    if (!OpenStart(path[0] == '/', folder, folderPath)) return false;
    int links = 0;
    while (!parts.empty()) {
        std::string part = std::move(parts.front());
        parts.pop_front();
        const bool last = parts.empty();
        if (part == "." && !last) continue;
        const std::string shown = Join(*folderPath, part);
        struct stat st;
        if (SysFstatat(folder->get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW, shown.c_str()) != 0) {
            if (errno == ENOENT && last) {
                *name = part;
                return true;
            }
            SetLastError(Errno());
            return false;
        }
        if (S_ISLNK(st.st_mode)) {
            struct stat holder;
            if (++links > kMaxLinks) {
                SetLastError(ELOOP);
                return false;
            }
            if (SysFstat(folder->get(), &holder, Shown(*folderPath).c_str()) != 0) {
                SetLastError(Errno());
                return false;
            }
            if (!MayFollow(st, holder)) {
                if (refusedLink) *refusedLink = shown;
                SetLastError(EACCES);
                return false;
            }
            char text[PATH_MAX];
            ssize_t n =
                SysReadlinkat(folder->get(), part.c_str(), text, sizeof text, shown.c_str());
            if (n <= 0 || static_cast<size_t>(n) >= sizeof text) {
                SetLastError(n < 0 ? Errno() : n == 0 ? ENOENT : ENAMETOOLONG);
                return false;
            }
            const std::string target(text, static_cast<size_t>(n));
            PushFront(target, &parts);
            if (target[0] == '/' && !OpenStart(true, folder, folderPath)) return false;
            continue;
        }
        if (last) {
            *name = part;
            return true;
        }
        int next = SysOpenat(folder->get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW, 0,
                             shown.c_str());
        if (next < 0) {
            SetLastError(Errno());
            return false;
        }
        folder->reset(next);
        *folderPath = part == ".." ? Parent(*folderPath) : shown;
    }
    SetLastError(ENOENT);
    return false;
}

}  // namespace

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    size_t end = path.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

std::string ResolveLinks(const std::string& path, std::string* refusedLink) {
    Descriptor folder;
    std::string folderPath, name;
    if (!FindPlace(path, &folder, &folderPath, &name, refusedLink)) return "";
    return Join(folderPath, name);
}

std::string Whereabouts(const std::string& path) {
    std::string file = ResolveLinks(path);
    if (file.empty()) file = path;
    const std::string folder = FolderOf(file);
    char* real = ::realpath(folder.c_str(), nullptr);
    std::string where =
        (real ? std::string(real) : folder) + "/" + file.substr(file.find_last_of('/') + 1);
    std::free(real);
    return where;
}

ReplacementFile::~ReplacementFile() {
    Abandon();
}

BOOL ReplacementFile::Open(const std::string& target, bool mayWriteInPlace) {
    Abandon();
    m_inPlace = false;
    Descriptor folder;
    std::string folderPath;
    if (!FindPlace(target, &folder, &folderPath, &m_name, nullptr)) return FALSE;
    m_target = Join(folderPath, m_name);
    m_folderPath = Shown(folderPath);
    struct stat old;
    bool replacing =
        SysFstatat(folder.get(), m_name.c_str(), &old, AT_SYMLINK_NOFOLLOW, m_target.c_str()) == 0;
    if (!replacing && errno != ENOENT) {
        SetLastError(Errno());
        return FALSE;
    }
    // Only a regular file is replaced: a rename over a folder fails, and one over a device
    // or a pipe would put a file in its place. A link here was put there after the lookup.
    if (replacing && !S_ISREG(old.st_mode)) {
        SetLastError(S_ISDIR(old.st_mode) ? EISDIR : S_ISLNK(old.st_mode) ? ELOOP : EINVAL);
        return FALSE;
    }
    // Read access lists the folder and flushes it; a folder that grants none is still written.
    int readable = SysOpenat(folder.get(), ".", O_RDONLY | O_DIRECTORY, 0, m_folderPath.c_str());
    if (readable >= 0) folder.reset(readable);
    m_folder = folder.release();
    RemoveLeftovers();

    // Until it replaces a file, the new one is readable by its owner alone.
    int fd = SysOpenTempFile(m_folder, O_WRONLY, replacing ? 0600 : 0666, m_folderPath.c_str());
    if (fd < 0) return OpenNamed(replacing, mayWriteInPlace);
    // Locked for the moment between its link and its rename, when it has a name.
    SysLockForWriting(fd, m_target.c_str());
    m_fd = fd;
    m_file.reset(AdoptFileDescriptor(fd, m_target, GENERIC_WRITE));
    return TRUE;
}

BOOL ReplacementFile::OpenNamed(bool replacing, bool mayWriteInPlace) {
    DWORD code = EEXIST;
    for (int attempt = 0; attempt < 100 && code == EEXIST; ++attempt) {
        const std::string name = TempName(), temp = Join(m_folderPath, name);
        int fd = SysOpenat(m_folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW,
                           replacing ? 0600 : 0666, temp.c_str());
        if (fd < 0) {
            code = Errno();
            continue;
        }
        // A cleaner that took the file for a leftover before it was locked removes it: then
        // the name no longer leads to it, and another name is tried. A lock the file system
        // does not offer is done without.
        if (SysLockForWriting(fd, temp.c_str()) != 0 && errno == EAGAIN) {
            SysClose(fd, temp.c_str());
            continue;
        }
        struct stat held, named;
        if (SysFstat(fd, &held, temp.c_str()) != 0 ||
            SysFstatat(m_folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW, temp.c_str()) != 0) {
            code = Errno();
            if (code == ENOENT) {
                SysClose(fd, temp.c_str());
                code = EEXIST;
                continue;
            }
            SysUnlinkat(m_folder, name.c_str(), temp.c_str());
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
        m_tempName = name;
        return TRUE;
    }
    if (replacing && mayWriteInPlace && (code == EACCES || code == EPERM)) return OpenInPlace();
    CloseFolder();
    SetLastError(code);
    return FALSE;
}

BOOL ReplacementFile::OpenInPlace() {
    // Never through a link or into a pipe that took the file's place since it was looked up.
    int fd = SysOpenat(m_folder, m_name.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK, 0,
                       m_target.c_str());
    DWORD code = fd < 0 ? Errno() : 0;
    if (fd >= 0) {
        struct stat st;
        if (SysFstat(fd, &st, m_target.c_str()) != 0)
            code = Errno();
        else if (!S_ISREG(st.st_mode))
            code = EINVAL;
        if (code) SysClose(fd, m_target.c_str());
    }
    if (code) {
        CloseFolder();
        SetLastError(code);
        return FALSE;
    }
    m_fd = fd;
    m_file.reset(AdoptFileDescriptor(fd, m_target, GENERIC_WRITE));
    m_inPlace = true;
    return TRUE;
}

// A leftover whose lock can be taken has no writer any more, wherever that writer ran. The
// lock needs a descriptor open for writing (so NFS grants it); the name must still be the file
// that was locked, or a fresh writer's file could go.
void ReplacementFile::RemoveLeftovers() {
    int listing = SysOpenat(m_folder, ".", O_RDONLY | O_DIRECTORY, 0, m_folderPath.c_str());
    if (listing < 0) return;
    DIR* d = fdopendir(listing);
    if (!d) {
        SysClose(listing, m_folderPath.c_str());
        return;
    }
    while (dirent* e = readdir(d)) {
        if (!IsTempName(e->d_name)) continue;
        const std::string path = Join(m_folderPath, e->d_name);
        struct stat seen, held, named;
        if (SysFstatat(m_folder, e->d_name, &seen, AT_SYMLINK_NOFOLLOW, path.c_str()) != 0 ||
            !S_ISREG(seen.st_mode))
            continue;
        int fd = SysOpenat(m_folder, e->d_name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0,
                           path.c_str());
        if (fd < 0) continue;
        if (SysFstat(fd, &held, path.c_str()) == 0 && S_ISREG(held.st_mode) &&
            SysLockForWriting(fd, path.c_str()) == 0 &&
            SysFstatat(m_folder, e->d_name, &named, AT_SYMLINK_NOFOLLOW, path.c_str()) == 0 &&
            SameFile(held, named))
            SysUnlinkat(m_folder, e->d_name, path.c_str());
        SysClose(fd, path.c_str());
    }
    closedir(d);
}

// Done before the flush, so that the flush makes them durable with the data. Owner and group
// apart: a user who may not give the file the old owner may still give it the old group. The
// mode last: changing the owner or group may clear its set-id bits.
bool ReplacementFile::CopyAttributes() {
    struct stat old, now;
    if (SysFstatat(m_folder, m_name.c_str(), &old, AT_SYMLINK_NOFOLLOW, m_target.c_str()) != 0 ||
        !S_ISREG(old.st_mode) || SysFstat(m_fd, &now, m_target.c_str()) != 0)
        return true;
    const char* path = m_target.c_str();
    bool ok = (old.st_uid == now.st_uid ||
               SysFchown(m_fd, old.st_uid, static_cast<gid_t>(-1), path) == 0 || errno == EPERM) &&
              (old.st_gid == now.st_gid ||
               SysFchown(m_fd, static_cast<uid_t>(-1), old.st_gid, path) == 0 || errno == EPERM) &&
              (SysFchmod(m_fd, old.st_mode & 07777, path) == 0 || errno == EPERM);
    if (!ok) SetLastError(Errno());
    return ok;
}

// A nameless file gets a hidden name first (a rename needs one); the name is removed if the
// rename fails. Linking a descriptor takes CAP_DAC_READ_SEARCH; anyone may link it through
// /proc/self/fd.
bool ReplacementFile::PutInPlace() {
    if (m_tempName.empty()) {
        DWORD code = EEXIST;
        for (int attempt = 0; attempt < 100 && code == EEXIST; ++attempt) {
            const std::string name = TempName(), temp = Join(m_folderPath, name);
            int r = SysLinkat(m_fd, "", m_folder, name.c_str(), AT_EMPTY_PATH, temp.c_str());
            if (r != 0 && (errno == ENOENT || errno == EPERM)) {
                const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
                r = SysLinkat(AT_FDCWD, self.c_str(), m_folder, name.c_str(), AT_SYMLINK_FOLLOW,
                              temp.c_str());
            }
            code = r == 0 ? 0 : Errno();
            if (r == 0) {
                m_temp = temp;
                m_tempName = name;
            }
        }
        if (code) {
            SetLastError(code);
            return false;
        }
    }
    if (SysRenameat(m_folder, m_tempName.c_str(), m_folder, m_name.c_str(), m_target.c_str()) !=
        0) {
        SetLastError(Errno());
        return false;
    }
    return true;
}

int ReplacementFile::Commit() {
    if (!m_file.valid()) {
        SetLastError(EBADF);
        return CommitFailed;
    }
    bool ok;
    if (m_inPlace) {
        ok = FlushFileBuffers(m_file.get());
        ok = m_file.Close() && ok;
        m_fd = -1;
        CloseFolder();
        return ok ? Committed : CommitFailed;
    }
    ok = CopyAttributes() && FlushFileBuffers(m_file.get()) && PutInPlace();
    if (!ok) {
        DWORD code = GetLastError();
        Abandon();
        SetLastError(code);
        return CommitFailed;
    }
    // The new file holds the target's name now; its lock goes with the close.
    m_temp.clear();
    m_tempName.clear();
    m_fd = -1;
    BOOL closed = m_file.Close();
    DWORD closeCode = closed ? 0 : GetLastError();
    // A rename is durable only once the folder that holds the new name is.
    bool durable = SysFsync(m_folder, m_folderPath.c_str()) == 0;
    DWORD syncCode = durable ? 0 : Errno();
    CloseFolder();
    if (!durable) {
        SetLastError(syncCode);
        return CommittedNotDurable;
    }
    if (!closed) {
        SetLastError(closeCode);
        return CommittedNotDurable;
    }
    return Committed;
}

BOOL ReplacementFile::Close() {
    m_fd = -1;
    BOOL closed = m_file.Close();
    // Only a named file needs its folder again, for Abandon.
    if (m_tempName.empty()) CloseFolder();
    return closed;
}

void ReplacementFile::Abandon() {
    DWORD code = GetLastError();
    // Removed while still locked, so no cleaner can take it for somebody else's.
    if (!m_tempName.empty()) SysUnlinkat(m_folder, m_tempName.c_str(), m_temp.c_str());
    m_temp.clear();
    m_tempName.clear();
    m_file.Close();
    m_fd = -1;
    CloseFolder();
    SetLastError(code);
}

void ReplacementFile::CloseFolder() {
    if (m_folder >= 0) SysClose(m_folder, m_folderPath.c_str());
    m_folder = -1;
}

}  // namespace platform
