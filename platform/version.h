// The platform version query. On Linux it reports the NT platform; tests can make it report
// another platform identifier to take the other code paths.
#pragma once

#include "platform/win_types.h"

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

BOOL GetVersionExA(OSVERSIONINFOA* info);

namespace platform {
class ScopedPlatformId {
  public:
    explicit ScopedPlatformId(DWORD platformId);
    ~ScopedPlatformId();
    ScopedPlatformId(const ScopedPlatformId&) = delete;
    ScopedPlatformId& operator=(const ScopedPlatformId&) = delete;

  private:
    DWORD m_previous;
};
}  // namespace platform
