// compress DRIVE IMAGE: the same job as the dialog's "Compress drive to file".
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/drive_target.h"
#include "cli/job_runner.h"
#include "cli/output_path.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"
#include "engine/image_format.h"

namespace cli {

int RunCompress(const CompressOptions& options, Console& console) {
    DriveTarget drive;
    std::string error;
    if (!drive.Resolve(options.drive, &error)) {
        console.Error(error);
        return kExitFailed;
    }
    if (!CheckOutputPath(options.image, options.force, console)) return kExitFailed;
    bool hadImage = FileSize(options.image) >= 0;

    JobRequest request{Compress, drive.letter(), options.image, !options.noCompression};
    request.driveName = drive.label();
    JobOutcome outcome = RunDiskJob(request, console);
    if (outcome.result == JobCancelled) {
        console.Warning(hadImage ? "Cancelled: " + options.image + " is unchanged"
                                 : "Cancelled: no image was written");
    }
    if (outcome.result != JobDone) return ExitCodeFor(outcome.result);

    const MediaTypeEntry& media = MediaTypeTable[outcome.mediaRow];
    long long size = FileSize(options.image);
    long long uncompressed =
        UncompressedImageSize(media.lastCylinder + 1, media.sectorsPerTrack * kSectorBytes);
    console.Summary("Compressed " + drive.label() + " (" + MediaTypeName(outcome.mediaRow) +
                    ") to " + options.image + " in " + Duration(outcome.seconds) + ": " +
                    WithThousands(size) + " bytes, " + Percent(size, uncompressed) + " of " +
                    WithThousands(uncompressed));
    return kExitDone;
}

}  // namespace cli
