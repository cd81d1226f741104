#include "platform/profile.h"

#include <strings.h>

// Header-only use, plain 8-bit text: profile files hold paths and numbers.
#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/last_error.h"

namespace platform {
namespace {

std::mutex g_pathMutex;
std::optional<std::string> g_pathOverride;

}  // namespace

std::string ProfilePath() {
    {
        std::lock_guard lock(g_pathMutex);
        if (g_pathOverride) return *g_pathOverride;
    }
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::string(xdg) + "/tavrel.INI";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/tavrel.INI";
    return {};
}

ScopedProfilePath::ScopedProfilePath(std::string path) {
    std::lock_guard lock(g_pathMutex);
    m_had = g_pathOverride.has_value();
    if (m_had) m_previous = *g_pathOverride;
    g_pathOverride = std::move(path);
}

ScopedProfilePath::~ScopedProfilePath() {
    std::lock_guard lock(g_pathMutex);
    if (m_had)
        g_pathOverride = m_previous;
    else
        g_pathOverride.reset();
}

}  // namespace platform

namespace {

bool LoadIni(CSimpleIniA& ini, const char* file) {
    if (!file || !*file) return false;
    return ini.LoadFile(file) >= 0;
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

bool Same(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
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
    if (!section || !file || !*file) {
        SetLastError(EINVAL);
        return FALSE;
    }
    std::vector<std::string> lines;
    {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
    }

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
        if (sectionAt < 0) return TRUE;
        lines.erase(lines.begin() + sectionAt, lines.begin() + sectionEnd);
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

    std::string tmp = std::string(file) + ".new";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out) {
            SetLastError(errno ? static_cast<DWORD>(errno) : EIO);
            return FALSE;
        }
        for (const auto& l : lines) out << l << '\n';
        out.flush();
        if (!out) {
            SetLastError(EIO);
            return FALSE;
        }
    }
    if (std::rename(tmp.c_str(), file) != 0) {
        SetLastError(static_cast<DWORD>(errno));
        std::remove(tmp.c_str());
        return FALSE;
    }
    return TRUE;
}
