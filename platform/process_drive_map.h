// The two places of the drive map that every system shares: the letters mapped inside this
// process (ScopedDriveMapping), looked up first, and section "Drives" of the profile file.
#pragma once

#include <string>

namespace platform {

// True with the path when the letter (upper case) is mapped in this process.
bool ProcessDriveMapping(char letter, std::string* path);

// The value of the letter's key (upper case) in section "Drives" of the profile; "" for none.
std::string ProfileDriveMapping(char letter);

}  // namespace platform
