// compress DRIVE IMAGE: the same job as the dialog's "Compress drive to file", or, for a raw
// IMAGE, the diskette's sectors in order, which any format's diskette gives.
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/drive_target.h"
#include "cli/job_runner.h"
#include "cli/output_kind.h"
#include "cli/output_path.h"
#include "cli/shown_argument.h"
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
    const bool raw = ChooseOutputKind(options.image, options.kind, console) == OutputKind::Raw;
    bool hadImage = FileSize(options.image) >= 0;

    JobRequest request{Compress, drive.letter(), options.image, !options.noCompression};
    request.driveName = drive.label();
    request.rawImage = raw;
    request.rawCommand = "tavrel-cli compress " + ShownArgument(options.drive) + " " +
                         ShownArgument(RawNameFor(options.image));
    JobOutcome outcome = RunDiskJob(request, console);
    if (outcome.result == JobCancelled) {
        console.Warning(hadImage ? "Cancelled: " + options.image + " is unchanged"
                                 : "Cancelled: no image was written");
    }
    if (outcome.result != JobDone) return ExitCodeFor(outcome.result);

    // The drive's word on the layout is taken only where the diskette gives none: said, since a
    // drive's guess may be another format than the one the diskette was written in.
    if (outcome.format.source == GeometrySource::Drive)
        console.Warning("tavrel-cli: " + DescribeFormat(outcome.format));
    long long size = FileSize(options.image);
    const std::string format = FormatSummary(outcome.format);
    if (raw) {
        console.Summary("Compressed " + drive.label() + " (" + format + ") to the raw image " +
                        options.image + " in " + Duration(outcome.seconds) + ": " +
                        WithThousands(size) + " bytes");
        return kExitDone;
    }
    const MediaTypeEntry& media = MediaTypeTable[outcome.mediaRow];
    long long uncompressed =
        UncompressedImageSize(media.lastCylinder + 1, media.sectorsPerTrack * kSectorBytes);
    console.Summary("Compressed " + drive.label() + " (" + format + ") to " + options.image +
                    " in " + Duration(outcome.seconds) + ": " + WithThousands(size) + " bytes, " +
                    Percent(size, uncompressed) + " of " + WithThousands(uncompressed));
    return kExitDone;
}

}  // namespace cli
