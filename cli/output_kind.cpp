#include "cli/output_kind.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <random>

#include "cli/atomic_output.h"
#include "cli/raw_image.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"

namespace cli {
namespace {

// The ending after the last dot of the name (not of a folder), lower-case; "" without one.
std::string Ending(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path name(std::u8string(path.begin(), path.end()));
    const std::u8string ext = name.extension().u8string();
    std::string text(ext.begin(), ext.end());
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

bool RawByName(const std::string& path) {
    const std::string ext = Ending(path);
    return ext == ".img" || ext == ".ima" || ext == ".flp" || ext == ".vfd" || ext == ".dsk";
}

bool TvlByName(const std::string& path) {
    return Ending(path) == ".tvl";
}

OutputKind ChooseOutputKind(const std::string& path, OutputKind flag, Console& console) {
    if (flag == OutputKind::ByName) return RawByName(path) ? OutputKind::Raw : OutputKind::Tvl;
    if (flag == OutputKind::Raw && TvlByName(path))
        console.Warning("tavrel-cli: " + path +
                        ": writing a raw image under a .tvl name, as --raw "
                        "says");
    if (flag == OutputKind::Tvl && RawByName(path))
        console.Warning("tavrel-cli: " + path +
                        ": writing a .tvl image under a raw image's name, "
                        "as --tvl says");
    return flag;
}

std::string HiddenImageBeside(const std::string& path) {
    namespace fs = std::filesystem;
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    const fs::path name(std::u8string(path.begin(), path.end()));
    const std::u8string base = name.filename().u8string();
    std::string hidden = "." + std::string(base.begin(), base.end()) + ".";
    for (int i = 0; i < 6; ++i) hidden += kAlphabet[pick(random)];
    hidden += ".tvl";
    const std::u8string full =
        (name.parent_path() / fs::path(std::u8string(hidden.begin(), hidden.end()))).u8string();
    return std::string(full.begin(), full.end());
}

int DecodeToRaw(const std::string& tvl, const std::string& target,
                const std::function<bool()>& cancelled, Console& console) {
    AtomicOutput out;
    std::string error;
    // The job has just written beside target, so its folder takes new files: never in place.
    if (!out.Open(target, &error, false)) {
        console.Error(error);
        return kExitFailed;
    }
    RawDecodeResult result;
    if (!DecodeRawImage(tvl, out, cancelled, &result, &error)) {
        if (result.cancelled) return kExitCancelled;
        const std::string why = out.WriteError();
        console.Error(why.empty() ? error : why);
        return kExitFailed;
    }
    return CommitOutput(out, console);
}

int CommitOutput(AtomicOutput& out, Console& console) {
    std::string error;
    switch (out.Commit(&error)) {
        case platform::ReplacementFile::CommitFailed:
            console.Error(error);
            return kExitFailed;
        case platform::ReplacementFile::CommittedNotDurable:
            console.Warning(error);
            break;
        default:
            break;
    }
    return kExitDone;
}

}  // namespace cli

namespace cli {

std::string RawNameFor(const std::string& path) {
    std::filesystem::path name(std::u8string(path.begin(), path.end()));
    const std::u8string text = name.replace_extension(".img").u8string();
    return std::string(text.begin(), text.end());
}

std::string FormatSummary(const DiskFormat& format) {
    if (format.mediaRow >= 0 && format.source == GeometrySource::BootSector)
        return MediaTypeName(format.mediaRow);
    return FormatName(format) + ", " + GeometryText(format) + " from the " +
           GeometrySourceName(format.source);
}

}  // namespace cli
