// The names in a folder, as UTF-8, without "." and "..": opendir on Linux, FindFirstFileW on
// Windows (wide, at any path length). One function, one unit per system.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Sorted; empty when the folder cannot be read.
std::vector<std::string> ListFolder(const std::string& folder);

}  // namespace platform
