// Command and control identifiers shared by the job and the windows that own it.
#pragma once

enum JobOperation { Compress = 0, Expand = 1, Verify = 2, Rescue = 3 };

constexpr int ID_JOB_PROGRESS = 101;
constexpr int ID_JOB_DONE = 103;
constexpr int IDC_STATUS = 1006;

// How the last job ended, so that its owner can tell without parsing messages.
enum JobResult { JobNotRun = 0, JobDone, JobCancelled, JobFailed, JobDifferent };

// The status line of a compress whose image's folder takes no new file: the old image is
// overwritten in place, and an interrupted job then loses it.
constexpr char kWritingInPlaceStatus[] = "Cannot create a file beside the image: writing over it";
// Opens the warning shown when a new image replaced the old one but the folder could not be
// flushed; the system's text follows.
constexpr char kNotDurableText[] =
    "  The image was replaced, but the system could not confirm that it is safely on the disk: ";
