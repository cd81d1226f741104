// A word of a command line that a message tells the operator to run, written so that pasted
// into the system's shell it is that one word again, whatever the folder or name holds.
#pragma once

#include <string>

namespace cli {

// Linux: as it is when no character is special to the shell, else quoted for it (control
// characters as $'\x1b'). Windows: in double quotes when it holds a space or a special character.
std::string ShownArgument(const std::string& word);

}  // namespace cli
