// What tavrel-cli's help says besides its options: the exit codes each command can end with and
// one example of it, and a layout of CLI11's help that shows only what a user types.
#pragma once

#include <memory>
#include <string>

namespace CLI {
class Formatter;
}

namespace cli {

// The closing lines of COMMAND's --help: the exit codes it can end with, and an example. For ""
// the whole tool's table of exit codes.
std::string HelpFooter(const std::string& command);

// Option lines without CLI11's type and validator names (LIST:LIST, N:POSITIVE), requirements in
// words, and every text wrapped to a terminal's 80 columns.
std::shared_ptr<CLI::Formatter> MakeHelpFormatter();

}  // namespace cli
