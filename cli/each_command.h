// batch --each COMMAND: a command of the user's run after each diskette is filed (to take a
// photograph of its label, to print a receipt), told about the diskette in its environment.
// What it does is its own affair: its failure is reported and filed, and the batch goes on.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "cli/batch_record.h"

namespace cli {

using EachEnvironment = std::vector<std::pair<std::string, std::string>>;

// How much of the command's output is kept: its end, where a failure is said.
constexpr size_t kEachOutputKept = 4096;

struct EachOutcome {
    bool ran = false;     // it was started
    int exitStatus = -1;  // what it exited with, when it ended by itself
    // Its standard output and error together, the last kEachOutputKept bytes.
    std::string output;
    // "" when it exited with status 0; else one line: "exited with status 3: <its last line>",
    // "killed by signal 9", "cannot run /bin/sh: <why>".
    std::string failure;
};

// Runs command through the system's shell (/bin/sh -c; cmd.exe /d /v:on /s /c on Windows) with
// standard input from the null device, in this process's environment with environment added,
// and waits for the shell to end. The values are never read as part of the command: on Windows
// a %NAME% of them is read as !NAME! (see platform/process_run.h). Any number of threads may run
// commands at once.
EachOutcome RunEachCommand(const std::string& command, const EachEnvironment& environment);

// What the command is told of a filed diskette; folder is where its files lie (the bag's data
// folder in a bag). Paths are absolute; a variable without a value is there, empty, so nothing
// of the same name is passed on from the batch's own environment:
//   TAVREL_NAME, TAVREL_IDENTIFIER, TAVREL_LABEL_TEXT, TAVREL_RESULT, TAVREL_DRIVE (as given to
//   the batch), TAVREL_FOLDER, TAVREL_IMAGE, TAVREL_INFO, TAVREL_MAP, and TAVREL_FILES: every
//   file filed for it (image, map, listing, info), one path a line.
EachEnvironment EachCommandEnvironment(const BatchRecord& record, const std::string& folder);

}  // namespace cli
