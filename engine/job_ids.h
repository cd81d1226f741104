// Command and control identifiers shared by the job and the windows that own it.
#pragma once

enum JobOperation { Compress = 0, Expand = 1, Verify = 2 };

constexpr int ID_JOB_PROGRESS = 101;
constexpr int ID_JOB_DONE = 103;
constexpr int IDC_STATUS = 1006;

// How the last job ended, so that its owner can tell without parsing messages.
enum JobResult { JobNotRun = 0, JobDone, JobCancelled, JobFailed, JobDifferent };
