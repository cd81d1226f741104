// What the process sets up for its system before anything else runs.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Readies the process and returns its command line's arguments, the program's name first, as
// UTF-8, the tool's text everywhere.
std::vector<std::string> StartUp(int argc, char** argv);

}  // namespace cli
