#include "cli/startup.h"

namespace cli {

// Linux hands the arguments over as the bytes typed, UTF-8 under the locales the tool supports,
// and needs nothing set up.
std::vector<std::string> StartUp(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace cli
