#include "cli/image_check.h"

#include "cli/image_scan.h"

namespace cli {

bool CheckImageInput(const std::string& path, Console& console, bool* raw) {
    ImageReport report;
    bool opened = InspectImage(path, &report);
    if (raw) *raw = opened && report.kind == FileKind::RawImage;
    // A raw image is the diskette's bytes: the job checks its size against the diskette's.
    if (raw && *raw) return true;
    // Padding after the last record is never read by a job.
    bool onlyPadding = opened && report.complete() && report.badRecord < 0;
    if (report.wellFormed() || onlyPadding) return true;
    console.Error("tavrel-cli: " + path + ": " + report.problem);
    return false;
}

bool PrepareImageToDrive(const TransferOptions& options, DriveTarget* drive, Console& console,
                         bool* raw) {
    std::string error;
    if (!drive->Resolve(options.drive, &error)) {
        console.Error(error);
        return false;
    }
    return CheckImageInput(options.image, console, raw);
}

}  // namespace cli
