#include "platform/profile.h"

#include <strings.h>

// Header-only use, plain 8-bit text: profile files hold paths and numbers.
#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/file_api.h"
#include "platform/last_error.h"
#include "platform/replace_file.h"
#include "platform/syscalls.h"

namespace platform {

std::string SystemProfilePath() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::string(xdg) + "/tavrel.INI";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/tavrel.INI";
    return {};
}

}  // namespace platform

namespace {

using Pending = std::map<std::string, std::vector<std::string>>;
// The files of this thread's open batch, and the first write it could not take.
thread_local Pending* t_pending = nullptr;
thread_local DWORD* t_batchFailure = nullptr;

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + '\n';
    return text;
}

bool LoadIni(CSimpleIniA& ini, const char* file) {
    if (!file || !*file) return false;
    if (t_pending) {
        if (auto it = t_pending->find(file); it != t_pending->end()) {
            const std::string text = Joined(it->second);
            return ini.LoadData(text.data(), text.size()) >= 0;
        }
    }
    return ini.LoadFile(file) >= 0;
}

// The file's lines, none for a file that does not exist yet. A file that exists but cannot be
// read is a failure: writing it from nothing would lose its other keys.
bool ReadLines(const char* file, std::vector<std::string>& lines) {
    lines.clear();
    int fd = platform::SysOpen(file, O_RDONLY);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        SetLastError(static_cast<DWORD>(errno));
        return false;
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        ssize_t n =
            platform::SysPread(fd, chunk, sizeof chunk, static_cast<off_t>(text.size()), file);
        if (n < 0) {
            DWORD code = static_cast<DWORD>(errno);
            platform::SysClose(fd, file);
            SetLastError(code);
            return false;
        }
        if (n == 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    platform::SysClose(fd, file);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return true;
}

// Every folder of the path that is missing, private to the user as settings folders are.
bool MakeFolders(const std::string& folder) {
    for (size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
        const std::string prefix = folder.substr(0, at);
        if (platform::SysMkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            SetLastError(static_cast<DWORD>(errno));
            return false;
        }
        if (at == std::string::npos) return true;
    }
}

BOOL WriteLines(const std::string& file, const std::vector<std::string>& lines) {
    const std::string text = Joined(lines);
    platform::ReplacementFile out;
    if (!out.Open(file)) {
        if (GetLastError() != ENOENT) return FALSE;
        const std::string target = out.Target().empty() ? file : out.Target();
        if (!MakeFolders(platform::FolderOf(target)) || !out.Open(file)) return FALSE;
    }
    DWORD written = 0;
    BOOL wrote =
        WriteFile(out.Handle(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (!wrote || written != text.size()) {
        DWORD code = wrote ? static_cast<DWORD>(ENOSPC) : GetLastError();
        out.Abandon();
        SetLastError(code);
        return FALSE;
    }
    // A rename the folder did not make durable still put the new file in place.
    return out.Commit() != platform::ReplacementFile::CommitFailed;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string> SectionOf(const std::string& line) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// The key of a "key=value" line, or nothing for comments and other lines.
std::optional<std::string> KeyOf(const std::string& line) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#' || t[0] == '[') return std::nullopt;
    size_t eq = t.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return Trim(t.substr(0, eq));
}

// A line break inside a section, key or value would end its line early: what follows would be
// read back as lines of its own, another section and its keys among them.
bool BreaksLine(const char* text) {
    return text && std::strpbrk(text, "\r\n") != nullptr;
}

bool Same(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

void EditLines(std::vector<std::string>& lines, const char* section, const char* key,
               const char* value) {
    // Find the section and, inside it, the key; edit only those lines.
    long sectionAt = -1, sectionEnd = static_cast<long>(lines.size()), keyAt = -1;
    for (long i = 0; i < static_cast<long>(lines.size()); ++i) {
        if (auto s = SectionOf(lines[i])) {
            if (sectionAt >= 0) {
                sectionEnd = i;
                break;
            }
            if (Same(*s, section)) sectionAt = i;
        } else if (sectionAt >= 0 && key && keyAt < 0) {
            if (auto k = KeyOf(lines[i]); k && Same(*k, key)) keyAt = i;
        }
    }

    if (!key) {
        if (sectionAt >= 0) lines.erase(lines.begin() + sectionAt, lines.begin() + sectionEnd);
    } else if (!value) {
        if (keyAt >= 0) lines.erase(lines.begin() + keyAt);
    } else {
        std::string entry = std::string(key) + "=" + value;
        if (keyAt >= 0) {
            lines[keyAt] = entry;
        } else if (sectionAt >= 0) {
            // After the section's last non-blank line, so blank separators stay where they are.
            long at = sectionEnd;
            while (at - 1 > sectionAt && Trim(lines[at - 1]).empty()) --at;
            lines.insert(lines.begin() + at, entry);
        } else {
            std::string header = "[";
            header += section;
            header += ']';
            lines.push_back(header);
            lines.push_back(entry);
        }
    }
}

}  // namespace

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                           const char* file) {
    CSimpleIniA ini;
    if (!LoadIni(ini, file)) return static_cast<UINT>(defaultValue);
    const char* v = ini.GetValue(section, key, nullptr);
    if (!v) return static_cast<UINT>(defaultValue);
    // Like the system call: leading digits count, anything else reads as 0.
    const char* p = v;
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = *p == '-';
    if (negative) ++p;
    long long n = 0;
    while (*p >= '0' && *p <= '9') {
        n = n * 10 + (*p - '0');
        if (n > 0xFFFFFFFFLL) break;
        ++p;
    }
    return static_cast<UINT>(negative ? -n : n);
}

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* file) {
    if (!buffer || size == 0) return 0;
    CSimpleIniA ini;
    const char* v = nullptr;
    if (LoadIni(ini, file)) v = ini.GetValue(section, key, nullptr);
    if (!v) v = defaultValue ? defaultValue : "";
    size_t n = std::strlen(v);
    if (n > size - 1) n = size - 1;
    std::memcpy(buffer, v, n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file) {
    if (!section || !file || !*file || BreaksLine(section) || BreaksLine(key) ||
        BreaksLine(value)) {
        SetLastError(EINVAL);
        return FALSE;
    }
    if (Pending* pending = t_pending) {
        auto it = pending->find(file);
        if (it == pending->end()) {
            std::vector<std::string> lines;
            if (!ReadLines(file, lines)) {
                if (!*t_batchFailure) *t_batchFailure = GetLastError();
                return FALSE;
            }
            it = pending->emplace(file, std::move(lines)).first;
        }
        EditLines(it->second, section, key, value);
        return TRUE;
    }
    std::vector<std::string> lines;
    if (!ReadLines(file, lines)) return FALSE;
    EditLines(lines, section, key, value);
    return WriteLines(file, lines);
}

namespace platform {

ProfileBatch::ProfileBatch() : m_joined(t_pending != nullptr) {
    if (m_joined) return;
    t_pending = &m_files;
    t_batchFailure = &m_failure;
}

ProfileBatch::~ProfileBatch() {
    if (m_joined) return;
    Commit();
    t_pending = nullptr;
    t_batchFailure = nullptr;
}

BOOL ProfileBatch::Commit() {
    if (m_joined) return TRUE;
    DWORD code = std::exchange(m_failure, 0);
    BOOL ok = code == 0;
    for (const auto& [file, lines] : m_files) {
        if (!WriteLines(file, lines) && ok) {
            ok = FALSE;
            code = GetLastError();
        }
    }
    m_files.clear();
    if (!ok) SetLastError(code);
    return ok;
}

}  // namespace platform
