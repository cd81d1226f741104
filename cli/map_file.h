// The map a rescue writes beside its image, in GNU ddrescue's mapfile format so that
// ddrescuelog and map viewers read it as their own: comment lines, one status line
// "current_pos current_status current_pass", then blocks "pos size status" that cover the
// diskette from byte 0 without gaps, positions and sizes in hexadecimal.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sector_map.h"

namespace cli {

// What ties a map to its diskette, kept in a comment line (which ddrescue skips): a 64-bit
// FNV-1a hash of the boot sector, and the volume serial number that DOS 4 and later write into
// it (after the signature 0x29 at offset 0x26).
struct DisketteId {
    bool known = false;
    std::uint64_t bootHash = 0;
    bool hasSerial = false;
    std::uint32_t serial = 0;
    bool operator==(const DisketteId&) const = default;
};

DisketteId IdentifyDiskette(const std::uint8_t* bootSector);
// "1A2B-3C4D", as DOS shows it; "none" without one.
std::string SerialText(const DisketteId& id);

// The status line: where the last run stopped, what it was doing, and its pass number; and
// the diskette, from the comment line "# Diskette: ..." (unknown without one).
struct MapStatus {
    long long position = 0;
    char status = '+';
    int pass = 1;
    DisketteId diskette;
    bool operator==(const MapStatus&) const = default;
};

// Reads a map. A sector is finished only when every byte of it is; a sector with any byte
// found bad is bad, and any other is still to read. False with "line N: why" (or a whole-file
// fault) when the text is not a map of at most a diskette's size in whole sectors.
bool ParseMapFile(const std::string& text, SectorMap* map, MapStatus* status, std::string* error);

// The text of the map. comment goes on a header line of its own ("" for none); control
// characters in it and in commandLine become '?', so that the map stays a map.
std::string FormatMapFile(const SectorMap& map, const MapStatus& status,
                          const std::string& commandLine, const std::string& comment);

// The map beside an image, as rescue names it: IMAGE.map, or NAME.map beside NAME.tvl or
// NAME.img; "" when there is none.
std::string MapBesideImage(const std::string& imagePath);

// The file read whole and parsed; false with a one-line reason that names the path.
bool LoadMapFile(const std::string& path, SectorMap* map, MapStatus* status, std::string* error);
// The text written through a replacement of path, never over it in place; false with a
// one-line reason. A warning (the rename may not survive a crash) comes back in warning.
bool SaveMapFile(const std::string& path, const std::string& text, std::string* error,
                 std::string* warning);

}  // namespace cli
