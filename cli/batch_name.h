// A batch's name pattern, "disk-{n:03}": the text around one number. Every name it makes ends
// up in manifests that sha256sum -c reads line by line and in folders that may be copied to
// any system, so a pattern that could make an unsafe or unreadable name is refused at once.
#pragma once

#include <string>

namespace cli {

// Whether pattern makes a distinct, safe file name for every number; false with the reason.
bool CheckNamePattern(const std::string& pattern, std::string* why);

// "disk-{n:03}" with n = 7 is "disk-007"; the pattern must have passed CheckNamePattern.
std::string NameFor(const std::string& pattern, int n);

// A diskette's name as a user may give it on the command line (--resume): a name the pattern
// could have made, so nothing outside the folder and nothing hidden.
bool CheckDisketteName(const std::string& name, std::string* why);

}  // namespace cli
