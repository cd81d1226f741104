// Private profile files: sections and keys match without regard to case, a missing file,
// section or key gives the default, and writing one key leaves every other line as it was.
#pragma once

#include <string>

#include "platform/win_types.h"

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                           const char* file);
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* file);
// A null value removes the key; a null key removes the whole section.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file);

namespace platform {

// tavrel.INI in $XDG_CONFIG_HOME, else in ~/.config; "" when neither can be found.
std::string ProfilePath();

class ScopedProfilePath {
  public:
    explicit ScopedProfilePath(std::string path);
    ~ScopedProfilePath();
    ScopedProfilePath(const ScopedProfilePath&) = delete;
    ScopedProfilePath& operator=(const ScopedProfilePath&) = delete;

  private:
    bool m_had;
    std::string m_previous;
};

}  // namespace platform
