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

// The row of a diskette of that physical layout (two sides), or of that many bytes, as the
// drive's driver reports it; -1 when none fits. Where rows share a layout and differ only in
// the media descriptor (1.44 MB: F9 or F0), the F0 row: the one diskettes are formatted with.
int MediaRowForGeometry(long long cylinders, long heads, long sectorsPerTrack, long bytesPerSector);
int MediaRowForSize(long long bytes);

// Human-readable name of a row ("1.44 MB", ...), for the console tool.
const char* MediaTypeName(int row);
// Row of the first entry with this media code, or -1.
int MediaRowForCode(int mediaCode);
