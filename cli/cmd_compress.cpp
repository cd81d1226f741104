// compress DRIVE IMAGE: the same job as the dialog's "Compress drive to file". A raw IMAGE is
// decoded from the .tvl the job writes to a hidden file beside it, as batch --raw does.
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/drive_target.h"
#include "cli/job_runner.h"
#include "cli/output_kind.h"
#include "cli/output_path.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"
#include "engine/image_format.h"
#include "platform/cancel_signals.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

// The hidden .tvl goes whatever happens to the raw image made from it.
struct RemovedAtEnd {
    std::string path;
    ~RemovedAtEnd() {
        if (!path.empty()) platform::SysUnlink(path.c_str());
    }
};

}  // namespace

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

    // Outermost, so a request after the job and before the raw image is whole is heard too.
    platform::CancelSignals signals;
    RemovedAtEnd hidden;
    if (raw) hidden.path = HiddenImageBeside(options.image);
    const std::string& written = raw ? hidden.path : options.image;
    JobRequest request{Compress, drive.letter(), written, !options.noCompression};
    request.driveName = drive.label();
    request.imageName = options.image;
    JobOutcome outcome = RunDiskJob(request, console);
    if (outcome.result == JobDone && raw) {
        const int code = signals.Requested() ? kExitCancelled
                                             : DecodeToRaw(
                                                   hidden.path, options.image,
                                                   [&] { return signals.Requested(); }, console);
        if (code != kExitDone) outcome.result = code == kExitCancelled ? JobCancelled : JobFailed;
    }
    if (outcome.result == JobCancelled) {
        console.Warning(hadImage ? "Cancelled: " + options.image + " is unchanged"
                                 : "Cancelled: no image was written");
    }
    if (outcome.result != JobDone) return ExitCodeFor(outcome.result);

    const MediaTypeEntry& media = MediaTypeTable[outcome.mediaRow];
    long long size = FileSize(options.image);
    if (raw) {
        console.Summary("Compressed " + drive.label() + " (" + MediaTypeName(outcome.mediaRow) +
                        ") to the raw image " + options.image + " in " + Duration(outcome.seconds) +
                        ": " + WithThousands(size) + " bytes");
        return kExitDone;
    }
    long long uncompressed =
        UncompressedImageSize(media.lastCylinder + 1, media.sectorsPerTrack * kSectorBytes);
    console.Summary("Compressed " + drive.label() + " (" + MediaTypeName(outcome.mediaRow) +
                    ") to " + options.image + " in " + Duration(outcome.seconds) + ": " +
                    WithThousands(size) + " bytes, " + Percent(size, uncompressed) + " of " +
                    WithThousands(uncompressed));
    return kExitDone;
}

}  // namespace cli
