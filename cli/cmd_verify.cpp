// verify IMAGE DRIVE: the same job as the dialog's "Verify file and drive", and on a
// difference the exact place, which the dialog's message cannot give.
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/drive_target.h"
#include "cli/image_check.h"
#include "cli/job_runner.h"
#include "cli/output_kind.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"
#include "engine/image_format.h"

namespace cli {
namespace {

std::string DifferenceLine(const JobOutcome& outcome) {
    int cylinder = outcome.diffCylinder, head = outcome.diffHead;
    std::string side = "cylinder " + std::to_string(cylinder) + ", head " + std::to_string(head);
    if (outcome.diffByte < 2)
        return "First difference: " + side + ": the record is labelled for another track side";
    const int spt = outcome.format.sectorsPerTrack;
    int byte = outcome.diffByte - 2;
    long long logical = static_cast<long long>(spt) * (outcome.format.heads * cylinder + head) +
                        byte / kSectorBytes;
    long long offset = logical * kSectorBytes + byte % kSectorBytes;
    // Sectors within a track count from 1, as the drive addresses them.
    return "First difference: " + side + ", sector " + std::to_string(byte / kSectorBytes + 1) +
           " (logical sector " + std::to_string(logical) + "), diskette offset " +
           std::to_string(offset);
}

}  // namespace

int RunVerify(const TransferOptions& options, Console& console) {
    DriveTarget drive;
    bool raw = false;
    if (!PrepareImageToDrive(options, &drive, console, &raw)) return kExitFailed;
    JobRequest request{Verify, drive.letter(), options.image, false};
    request.driveName = drive.label();
    request.rawImage = raw;
    JobOutcome outcome = RunDiskJob(request, console);
    if (outcome.result == JobDifferent) console.Error(DifferenceLine(outcome));
    if (outcome.result == JobCancelled)
        console.Warning("Cancelled: " + options.image + " was compared only in part");
    if (outcome.result != JobDone) return ExitCodeFor(outcome.result);
    console.Summary("Verified " + options.image + " against " + drive.label() + " (" +
                    FormatSummary(outcome.format) + ") in " + Duration(outcome.seconds) +
                    ": identical");
    return kExitDone;
}

}  // namespace cli
