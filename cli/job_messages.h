// What a job's message box says on the console. The job words its messages for the dialog,
// where the user sees the drive and the file; on a console they must name what the job looked
// at. The job's own words come first, as scripts match them.
#pragma once

#include <string>

#include "drive/disk_format.h"
#include "engine/job_ids.h"
#include "platform/win_types.h"

namespace cli {

// What the console knows of a running job when it shows a message.
struct JobScene {
    JobOperation operation = Compress;
    char letter = 'A';
    std::string drive;  // "A:" or the path given
    std::string image;  // the image as the user knows it
    // The image's format, for a job that reads an image onto or against a diskette: "720 KB".
    std::string imageFormat;
    // The track side the job went to last (cylinder 0, head 0 until it reads one), and the
    // diskette's format row once the job recognised it.
    int cylinder = 0;
    int head = 0;
    int diskRow = -1;
    // What the job recognised in the drive, and the command that images it raw ("" where the
    // job reads an image onto or against it).
    DiskFormat format;
    std::string rawCommand;
};

// The text after "caption: " for a message box the job shows with caption and text (trimmed),
// code being the job's last-error value when it showed it.
std::string JobMessageText(const std::string& caption, const std::string& text, DWORD code,
                           const JobScene& scene);

// The format of the image at path, as FormatName says it; "" when it is no readable image.
std::string ImageFormatOf(const std::string& path);

}  // namespace cli
