// What compress, rescue and convert write, told by the output's name unless --raw or --tvl
// says it: emulators and mtools take an .img for the diskette's bytes, so that is what it holds.
#pragma once

#include <functional>
#include <string>

#include "cli/console.h"
#include "drive/disk_format.h"

namespace cli {

class AtomicOutput;

enum class OutputKind {
    ByName,  // neither --raw nor --tvl: the name decides
    Raw,     // the diskette's sectors in order
    Tvl,     // Tavrel's own image
};

// The kind the flag says, else the name's: .img, .ima, .flp, .vfd and .dsk (any case) are raw,
// anything else (.tvl among them) is Tavrel's. A name of the other kind than the flag's is
// written all the same, with a warning.
OutputKind ChooseOutputKind(const std::string& path, OutputKind flag, Console& console);

// True when the name alone makes an output raw.
bool RawByName(const std::string& path);
// True when the name is a .tvl's (any case).
bool TvlByName(const std::string& path);

// A hidden name beside path for the .tvl a job writes before it becomes path's raw image: a
// random part keeps two runs on one output apart.
std::string HiddenImageBeside(const std::string& path);

// The raw image of the image tvl put in place of target whole, so a failure or a cancel leaves
// target as it was. Returns an exit code; a failure printed, a cancel left to the caller.
int DecodeToRaw(const std::string& tvl, const std::string& target,
                const std::function<bool()>& cancelled, Console& console);

// path with its ending made .img: where the raw image of a diskette a .tvl cannot hold goes.
std::string RawNameFor(const std::string& path);

// "DMF 1.68 MB, 80×2×21 from the boot sector"; for a table format named by its boot sector,
// the table's name as always ("1.44 MB (F0)").
std::string FormatSummary(const DiskFormat& format);

// Puts out in place of its target: kExitDone (a replacement the system could not confirm is on
// the disk said as a warning), or kExitFailed with the reason said.
int CommitOutput(AtomicOutput& out, Console& console);

}  // namespace cli
