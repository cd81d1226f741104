// Runs one CDiskJob to its end with the console as its owner window: the main thread pumps
// the window, turns Ctrl+C or SIGTERM into Cancel, and returns once the job's thread is gone.
#pragma once

#include <string>

#include "cli/console.h"
#include "engine/job_ids.h"

namespace cli {

struct JobRequest {
    JobOperation operation = Compress;
    char letter = 'A';
    std::string imagePath;
    bool compress = true;
};

// What the job recorded, read after its thread ended.
struct JobOutcome {
    JobResult result = JobNotRun;
    double seconds = 0;
    int mediaRow = -1;  // -1 when the job never recognised the diskette
    int diffCylinder = -1;
    int diffHead = -1;
    int diffByte = -1;
};

JobOutcome RunDiskJob(const JobRequest& request, Console& console);

}  // namespace cli
