// The five diskette layouts Tavrel supports, recognised from the boot sector.
#pragma once

#include <cstdint>

struct MediaTypeEntry {
    std::uint16_t mediaCode;  // 0 ends the table
    std::uint8_t mediaDescriptor;
    std::uint16_t sectorsPerTrack;
    std::uint16_t lastCylinder;
};

extern const MediaTypeEntry MediaTypeTable[];
constexpr int kMediaTypeRows = 5;  // not counting the end row

constexpr int kBootMediaDescriptorOffset = 0x15;
constexpr int kBootSectorsPerTrackOffset = 0x18;

// The row that a boot sector matches, first match wins; -1 when none does.
int MatchMediaType(const std::uint8_t* bootSector);

// Human-readable name of a row ("1.44 MB", ...), for the console tool.
const char* MediaTypeName(int row);
// Row of the first entry with this media code, or -1.
int MediaRowForCode(int mediaCode);
