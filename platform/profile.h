// The profile file tavrel.INI and its batches of writes; the profile calls themselves are the
// system's, or their stand-ins where the system has none (platform/profile_api.h).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/profile_api.h"
#include "platform/win_types.h"

namespace platform {

// The path of the innermost ScopedProfilePath alive, else SystemProfilePath().
std::string ProfilePath();

// Linux: tavrel.INI in $XDG_CONFIG_HOME, else in ~/.config. Windows: %APPDATA%\tavrel.INI.
// "" when the system names no such folder.
std::string SystemProfilePath();

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

// Collects the profile writes of this thread and writes each changed file once, at Commit or
// at the end of the scope; reads on this thread see the collected writes. A batch opened
// inside another joins it: the outer one writes. Windows writes each line at once, so there a
// batch has nothing left to do.
class ProfileBatch {
  public:
    ProfileBatch();
    ~ProfileBatch();
    ProfileBatch(const ProfileBatch&) = delete;
    ProfileBatch& operator=(const ProfileBatch&) = delete;

    // Writes every file changed so far; FALSE with the first failure (of a write taken or of
    // this one) in the last-error value.
    BOOL Commit();

  private:
    bool m_joined;
    DWORD m_failure = 0;  // the first write that could not be taken
    std::map<std::string, std::vector<std::string>> m_files;  // a changed file's lines
};

}  // namespace platform
