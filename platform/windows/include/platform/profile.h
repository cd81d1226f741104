// The profile is tavrel.INI in the user's application data folder, read and written with the
// system's own profile calls (GetPrivateProfileStringA and the rest).
#pragma once

#include <string>

#include "platform/win_types.h"

namespace platform {

// %APPDATA%\tavrel.INI; "" when the system names no such folder.
std::string ProfilePath();

// While it lives, ProfilePath() is path; for tests.
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

// The system writes each profile line at once; a batch has nothing left to do at its end.
class ProfileBatch {
  public:
    BOOL Commit() { return TRUE; }
};

}  // namespace platform
