// The drive letters mapped inside this process (ScopedDriveMapping), the first place a letter
// is looked up on every system.
#pragma once

#include <string>

namespace platform {

// True with the path when the letter (upper case) is mapped in this process.
bool ProcessDriveMapping(char letter, std::string* path);

}  // namespace platform
