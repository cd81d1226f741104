// convert SRC DST: an image to a raw sector image or back, without a drive. What DST becomes
// its name says (or --raw, --tvl); a name that says neither makes the other kind than SRC. The
// output is written beside DST and renamed over it only when complete.
#include <chrono>

#include "cli/atomic_output.h"
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/image_scan.h"
#include "cli/output_kind.h"
#include "cli/output_path.h"
#include "cli/raw_image.h"
#include "cli/shown_argument.h"
#include "drive/disk_format.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"
#include "engine/image_format.h"
#include "platform/cancel_signals.h"

namespace cli {
namespace {

int ImageToRaw(const ConvertOptions& options, Console& console,
               const platform::CancelSignals& signals, AtomicOutput& out, std::string* summary) {
    RawDecodeResult result;
    std::string error;
    if (!DecodeRawImage(
            options.source, out, [&] { return signals.Requested(); }, &result, &error)) {
        if (result.cancelled) return kExitCancelled;
        std::string why = out.WriteError();
        console.Error(why.empty() ? error : why);
        return kExitFailed;
    }
    const ImageReport& report = result.report;
    // Padding after the last record (old transfer programs added it) does not touch the data.
    if (report.trailingBytes > 0)
        console.Warning("tavrel-cli: " + options.source + ": ignoring " +
                        std::to_string(report.trailingBytes) +
                        " trailing bytes after the last record");
    *summary = "Converted " + options.source + " (" + FormatName(report) +
               " image) to the raw image " + options.target + ", " +
               WithThousands(report.diskBytes()) + " bytes";
    return kExitDone;
}

int RawToImage(const ConvertOptions& options, Console& console,
               const platform::CancelSignals& signals, AtomicOutput& out, std::string* summary) {
    ImageReport raw;
    if (InspectImage(options.source, &raw) && raw.kind == FileKind::RawImage &&
        raw.rawFormat.known() && raw.rawFormat.mediaRow < 0) {
        console.Error(std::string("tavrel-cli: a .tvl holds ") + TableFormatNames() +
                      " diskettes only; " + ShownArgument(options.source) + " holds " +
                      DisketteText(raw.rawFormat) + ": keep it as the raw image it is");
        return kExitFailed;
    }
    RawEncodeResult result;
    std::string error;
    if (!EncodeRawImage(
            options.source, out, !options.noCompression, [&] { return signals.Requested(); },
            &result, &error)) {
        if (result.cancelled) return kExitCancelled;
        std::string why = out.WriteError();
        console.Error(why.empty() ? error : why);
        return kExitFailed;
    }
    if (result.ignoredBytes > 0)
        console.Warning("tavrel-cli: " + options.source + ": ignoring " +
                        std::to_string(result.ignoredBytes) + " bytes beyond the diskette's size");
    const MediaTypeEntry& media = MediaTypeTable[result.mediaRow];
    long long uncompressed =
        UncompressedImageSize(media.lastCylinder + 1, media.sectorsPerTrack * kSectorBytes);
    *summary = "Converted the raw image " + options.source + " (" + MediaTypeName(result.mediaRow) +
               ") to " + options.target + ", " + WithThousands(out.written()) + " bytes, " +
               Percent(out.written(), uncompressed) + " of " + WithThousands(uncompressed);
    return kExitDone;
}

}  // namespace

int RunConvert(const ConvertOptions& options, Console& console) {
    if (!CheckOutputPath(options.target, options.force, console)) return kExitFailed;
    const bool fromImage = LooksLikeImage(options.source);
    OutputKind kind = options.kind;
    if (kind == OutputKind::ByName && !RawByName(options.target) && !TvlByName(options.target))
        kind = fromImage ? OutputKind::Raw : OutputKind::Tvl;
    const bool toRaw = ChooseOutputKind(options.target, kind, console) == OutputKind::Raw;
    // The same kind again would be a copy: cp makes it, without a word on what changed.
    // (A SRC that cannot be read says so below instead.)
    ImageReport source;
    if (!fromImage && InspectImage(options.source, &source) && source.kind == FileKind::RawImage &&
        source.rawFormat.mediaRow < 0) {
        // No .tvl holds it, so there is nothing to convert it to.
        console.Error(std::string("tavrel-cli: a .tvl holds ") + TableFormatNames() +
                      " diskettes only; " + ShownArgument(options.source) + " holds " +
                      DisketteText(source.rawFormat) + ": keep it as the raw image it is");
        return kExitFailed;
    }
    if (toRaw != fromImage && FileSize(options.source) >= 0) {
        console.Error("tavrel-cli: " + options.source + " is " +
                      (fromImage ? "a .tvl image" : "no .tvl image (taken for a raw image)") +
                      " and " + options.target + " would be one too; name DST " +
                      (fromImage ? ".img, or add --raw" : ".tvl, or add --tvl"));
        return kExitFailed;
    }
    auto start = std::chrono::steady_clock::now();
    platform::CancelSignals signals;
    AtomicOutput out;
    std::string error;
    if (!out.Open(options.target, &error)) {
        console.Error(error);
        return kExitFailed;
    }
    if (out.InPlace())
        console.Warning("tavrel-cli: cannot create a file beside " + options.target +
                        ": writing over it in place");
    std::string summary;
    int code = fromImage ? ImageToRaw(options, console, signals, out, &summary)
                         : RawToImage(options, console, signals, out, &summary);
    if (code == kExitCancelled)
        console.Warning("Cancelled: " + options.target + " was not written");
    if (code != kExitDone || (code = CommitOutput(out, console)) != kExitDone) return code;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    console.Summary(summary + ", in " + Duration(seconds));
    return kExitDone;
}

}  // namespace cli
