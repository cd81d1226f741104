// expand IMAGE DRIVE: the same job as the dialog's "Expand file to drive".
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/drive_target.h"
#include "cli/image_check.h"
#include "cli/job_runner.h"
#include "cli/output_kind.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"

namespace cli {

int RunExpand(const TransferOptions& options, Console& console) {
    DriveTarget drive;
    bool raw = false;
    if (!PrepareImageToDrive(options, &drive, console, &raw)) return kExitFailed;
    JobRequest request{Expand, drive.letter(), options.image, false};
    request.driveName = drive.label();
    request.rawImage = raw;
    JobOutcome outcome = RunDiskJob(request, console);
    if (outcome.result == JobCancelled)
        console.Warning("Cancelled: the diskette in " + drive.label() + " is partly overwritten");
    if (outcome.result != JobDone) return ExitCodeFor(outcome.result);
    console.Summary("Expanded " + options.image + " onto " + drive.label() + " (" +
                    FormatSummary(outcome.format) + ") in " + Duration(outcome.seconds));
    return kExitDone;
}

}  // namespace cli
