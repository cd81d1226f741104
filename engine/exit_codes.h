// The process exit codes of the console tool and the dialog. Scripts test these, so they never
// change meaning.
#pragma once

#include "engine/job_ids.h"

enum ExitCode : int {
    kExitDone = 0,
    kExitCancelled = 1,
    kExitFailed = 2,
    kExitDifferent = 3,
    kExitUnreadable = 4,  // rescue: the image is complete, but some sectors could not be read
    kExitUnfinished = 5,  // check: a batch stopped while it filed a diskette, which is unchecked
    kExitUsage = 64,      // sysexits' EX_USAGE
};

inline int ExitCodeFor(JobResult result) {
    switch (result) {
        case JobDone:
            return kExitDone;
        case JobCancelled:
            return kExitCancelled;
        case JobDifferent:
            return kExitDifferent;
        case JobNotRun:
        case JobFailed:
            break;
    }
    return kExitFailed;
}
