#include "platform/version.h"

#include <sys/utsname.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/last_error.h"

namespace {
std::atomic<DWORD> g_platformId{VER_PLATFORM_WIN32_NT};
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(EINVAL);
        return FALSE;
    }
    std::memset(reinterpret_cast<char*>(info) + sizeof(DWORD), 0, sizeof(*info) - sizeof(DWORD));
    info->dwPlatformId = g_platformId.load();
    struct utsname u;
    if (uname(&u) == 0) {
        unsigned major = 0, minor = 0, build = 0;
        std::sscanf(u.release, "%u.%u.%u", &major, &minor, &build);
        info->dwMajorVersion = major;
        info->dwMinorVersion = minor;
        info->dwBuildNumber = build;
        std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", u.sysname);
    }
    return TRUE;
}

namespace platform {
ScopedPlatformId::ScopedPlatformId(DWORD platformId)
    : m_previous(g_platformId.exchange(platformId)) {}
ScopedPlatformId::~ScopedPlatformId() {
    g_platformId = m_previous;
}
}  // namespace platform
