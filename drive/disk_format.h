// Which PC diskette a drive holds, whatever its format: the five layouts of the image table and
// every other one (DMF, 1.72 MB, the single-sided and 8-sector diskettes of the first PCs,
// 2.88 MB, diskettes with no FAT at all), with where its geometry was learnt. A format outside
// the table can only be imaged raw.
#pragma once

#include <cstdint>
#include <string>

enum class GeometrySource : std::uint8_t { None, BootSector, FatId, Drive };

constexpr int kMaxFormatCylinders = 84;
constexpr int kMaxFormatSectors = 36;

struct DiskFormat {
    int cylinders = 0;
    int heads = 0;
    int sectorsPerTrack = 0;
    GeometrySource source = GeometrySource::None;
    // The boot sector's media descriptor or the FAT ID byte; 0 when neither named the format.
    std::uint8_t descriptor = 0;
    // The MediaTypeTable row the boot sector matches (or, where it cannot be read, the drive's
    // layout fits); -1 for any other diskette, which only a raw image holds.
    int mediaRow = -1;

    bool known() const { return source != GeometrySource::None; }
    int sectors() const { return cylinders * heads * sectorsPerTrack; }
    long long bytes() const { return 512LL * sectors(); }
};

// From the boot sector: a table row (matched as the image table always was) or a sound
// parameter block; false when it names no format.
bool FormatFromBootSector(const std::uint8_t* bootSector, DiskFormat* format);

// DOS 1.x wrote no parameter block: the FAT's first byte (sector 1) names the sides and
// sectors, and the drive its cylinder count (driveCylinders; 0 when it does not say: 40, as
// DOS 1.x wrote them).
bool FormatFromFatId(const std::uint8_t* sector1, int driveCylinders, DiskFormat* format);

// The cylinders a drive or file of that many bytes holds for format's sides and sectors; 0
// when the size is no whole number of them.
int CylindersOfSize(const DiskFormat& format, long long bytes);

// From what the drive reports: its driver's layout (cylinders > 0), else its size, which must be
// one of the PC formats'. The table row is the one that layout fits, for a diskette whose boot
// sector cannot be read.
bool FormatFromDrive(long long cylinders, long heads, long sectorsPerTrack, long long bytes,
                     DiskFormat* format);

// "DMF 1.68 MB", "180 KB", "1.44 MB": the format's common name; for an unnamed layout its size.
std::string FormatName(const DiskFormat& format);
// What the messages say of it: "a DMF 1.68 MB diskette (F0, 21 sectors per track)", "a 180 KB
// single-sided DOS 1.x diskette (FAT ID FC)", "no FAT boot sector: imaged by the drive's
// geometry, 80×2×18".
std::string DescribeFormat(const DiskFormat& format);
// The diskette as a message names it: DescribeFormat's words, but for one whose boot sector
// names no format "a diskette whose boot sector names no format (80×2×18 by the drive's
// geometry)".
std::string DisketteText(const DiskFormat& format);
// "80×2×21".
std::string GeometryText(const DiskFormat& format);
// "boot sector", "FAT ID", "drive".
const char* GeometrySourceName(GeometrySource source);
// The formats the image table holds, for messages: "360 KB, 720 KB, 1.2 MB and 1.44 MB".
const char* TableFormatNames();
