// Private profile files: sections and keys match without regard to case, a missing file,
// section or key gives the default, and writing one key leaves every other line as it was.
// A file is written whole through a ReplacementFile: a crash leaves the old file or the new
// one, a linked profile stays linked, and a missing folder is made (mode 0700).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/win_types.h"

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                           const char* file);
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* file);
// A null value removes the key; a null key removes the whole section. Inside a ProfileBatch of
// the same thread the change is kept for the batch to write.
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

// Collects the profile writes of this thread and writes each changed file once, at Commit or
// at the end of the scope; reads on this thread see the collected writes. A batch opened
// inside another joins it: the outer one writes.
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
