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
// this process's environment with variables added (or replaced where the name is taken; a
// value ends at a zero byte). Their values are never read as part of the command line: sh puts
// a "$NAME" in after it has read the line; cmd.exe, which puts a %NAME% in before, runs with
// delayed expansion (/v:on), and each %NAME% or %NAME:...% of an added variable in command is
// made !NAME! or !NAME:...!, put in after the line is read. So on Windows a ! in command is
// read as in a batch file after "setlocal EnableDelayedExpansion".
// Returns when the shell has ended; what it left running in the background is not waited for.
ShellOutcome RunShell(const std::string& command,
                      const std::vector<std::pair<std::string, std::string>>& variables,
                      size_t keepOutput);

}  // namespace platform
