// Running a command line through the system's shell and waiting for it to end: /bin/sh -c on
// Linux, cmd.exe /c on Windows. Nothing is shared between calls, so any number of threads may
// run commands at once.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct ShellOutcome {
    bool started = false;  // the shell was started
    bool exited = false;   // it ended by itself, with exitStatus
    int exitStatus = -1;
    int signal = 0;  // Linux: the signal that ended it
    // Its standard output and standard error together, in the order written: the last
    // keepOutput bytes of them.
    std::string output;
    std::string failure;  // why it could not be started or waited for, in the system's words
};

// Runs command with standard input from the null device, its output and error captured, in
// this process's environment with variables added (or replaced where the name is taken).
// Returns when the shell has ended; what it left running in the background is not waited for.
ShellOutcome RunShell(const std::string& command,
                      const std::vector<std::pair<std::string, std::string>>& variables,
                      size_t keepOutput);

}  // namespace platform
