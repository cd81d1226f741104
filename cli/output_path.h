// The check every command that writes a file makes first: an existing target (a link too) is
// replaced only when asked, never when it is a directory, and never through a link that
// another user put in a shared folder such as /tmp.
#pragma once

#include <string>

#include "cli/console.h"

namespace cli {

// False, after printing why, when path must not be written.
bool CheckOutputPath(const std::string& path, bool force, Console& console);

// Size of a file, -1 when it cannot be told.
long long FileSize(const std::string& path);

}  // namespace cli
