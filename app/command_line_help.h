// What the dialog program prints instead of opening its window: the usage of its command line
// (tavrel --help) and its version (tavrel --version).
#pragma once

#include <string>

// The usage, named after the program as it was started (a renamed copy is its own program).
std::string CommandLineUsage(const std::string& programPath);
// "tavrel VERSION", one line.
std::string VersionLine();
