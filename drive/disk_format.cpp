#include "drive/disk_format.h"

#include <cstdio>

#include "drive/media_table.h"
#include "platform/le.h"

namespace {

struct KnownFormat {
    const char* name;
    int cylinders, heads, sectorsPerTrack;
    std::uint8_t descriptor;  // the one the format is written with
};

// Every layout a PC's controller writes, in the order their sizes grow.
constexpr KnownFormat kKnownFormats[] = {
    {"160 KB", 40, 1, 8, 0xFE},   {"180 KB", 40, 1, 9, 0xFC},       {"320 KB", 40, 2, 8, 0xFF},
    {"360 KB", 40, 2, 9, 0xFD},   {"720 KB", 80, 2, 9, 0xF9},       {"1.2 MB", 80, 2, 15, 0xF9},
    {"1.44 MB", 80, 2, 18, 0xF0}, {"DMF 1.68 MB", 80, 2, 21, 0xF0}, {"1.72 MB", 82, 2, 21, 0xF0},
    {"2.88 MB", 80, 2, 36, 0xF0},
};

const KnownFormat* Known(const DiskFormat& f) {
    for (const KnownFormat& k : kKnownFormats)
        if (k.cylinders == f.cylinders && k.heads == f.heads &&
            k.sectorsPerTrack == f.sectorsPerTrack)
            return &k;
    return nullptr;
}

// The table's rows by layout: the row of the descriptor when it has one, else the common one.
int TableRow(const DiskFormat& f) {
    if (f.heads != 2) return -1;
    int found = -1;
    for (int row = 0; MediaTypeTable[row].mediaCode != 0; ++row) {
        const MediaTypeEntry& e = MediaTypeTable[row];
        if (e.sectorsPerTrack != f.sectorsPerTrack || e.lastCylinder + 1 != f.cylinders) continue;
        if (e.mediaDescriptor == f.descriptor) return row;
        if (found < 0 || e.mediaDescriptor == 0xF0) found = row;
    }
    return found;
}

bool Sound(int cylinders, int heads, int sectorsPerTrack) {
    return cylinders >= 1 && cylinders <= kMaxFormatCylinders && heads >= 1 && heads <= 2 &&
           sectorsPerTrack >= 1 && sectorsPerTrack <= kMaxFormatSectors;
}

std::string Hex(std::uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

}  // namespace

bool FormatFromBootSector(const std::uint8_t* boot, DiskFormat* format) {
    *format = DiskFormat{};
    const int row = MatchMediaType(boot);
    if (row >= 0) {
        const MediaTypeEntry& e = MediaTypeTable[row];
        *format = {e.lastCylinder + 1, 2,  e.sectorsPerTrack, GeometrySource::BootSector,
                   e.mediaDescriptor,  row};
        return true;
    }
    // A parameter block is trusted only whole: its sizes must describe the layout exactly.
    const int bytesPerSector = le::Get16(boot + 0x0B);
    const int perCluster = boot[0x0D];
    const int fats = boot[0x10];
    const int total = le::Get16(boot + 0x13);
    const std::uint8_t descriptor = boot[kBootMediaDescriptorOffset];
    const int sectorsPerTrack = le::Get16(boot + kBootSectorsPerTrackOffset);
    const int heads = le::Get16(boot + 0x1A);
    if (bytesPerSector != 512 || perCluster == 0 || (perCluster & (perCluster - 1)) != 0 ||
        fats < 1 || fats > 2 || descriptor < 0xF0 || heads < 1 || heads > 2 ||
        sectorsPerTrack < 1 || sectorsPerTrack > kMaxFormatSectors ||
        total % (heads * sectorsPerTrack) != 0)
        return false;
    const int cylinders = total / (heads * sectorsPerTrack);
    if (!Sound(cylinders, heads, sectorsPerTrack)) return false;
    // Not a row of the table even where the layout is one of its: the table's formats are those
    // whose boot sector it matches, and a .tvl is refused any other.
    *format = {cylinders, heads, sectorsPerTrack, GeometrySource::BootSector, descriptor, -1};
    return true;
}

bool FormatFromFatId(const std::uint8_t* sector1, int driveCylinders, DiskFormat* format) {
    *format = DiskFormat{};
    if (sector1[1] != 0xFF || sector1[2] != 0xFF) return false;
    int heads = 0, sectorsPerTrack = 0;
    switch (sector1[0]) {
        case 0xFE:
            heads = 1, sectorsPerTrack = 8;
            break;
        case 0xFF:
            heads = 2, sectorsPerTrack = 8;
            break;
        case 0xFC:
            heads = 1, sectorsPerTrack = 9;
            break;
        case 0xFD:
            heads = 2, sectorsPerTrack = 9;
            break;
        default:
            return false;
    }
    const int cylinders =
        driveCylinders > 0 && driveCylinders <= kMaxFormatCylinders ? driveCylinders : 40;
    *format = {cylinders, heads, sectorsPerTrack, GeometrySource::FatId, sector1[0], -1};
    return true;
}

int CylindersOfSize(const DiskFormat& format, long long bytes) {
    const long long cylinderBytes = 512LL * format.heads * format.sectorsPerTrack;
    if (cylinderBytes <= 0 || bytes <= 0 || bytes % cylinderBytes != 0 ||
        bytes / cylinderBytes > kMaxFormatCylinders)
        return 0;
    return static_cast<int>(bytes / cylinderBytes);
}

bool FormatFromDrive(long long cylinders, long heads, long sectorsPerTrack, long long bytes,
                     DiskFormat* format) {
    *format = DiskFormat{};
    DiskFormat f;
    f.source = GeometrySource::Drive;
    if (cylinders > 0) {
        if (!Sound(static_cast<int>(cylinders), static_cast<int>(heads),
                   static_cast<int>(sectorsPerTrack)))
            return false;
        f.cylinders = static_cast<int>(cylinders);
        f.heads = static_cast<int>(heads);
        f.sectorsPerTrack = static_cast<int>(sectorsPerTrack);
    } else {
        const KnownFormat* match = nullptr;
        for (const KnownFormat& k : kKnownFormats)
            if (512LL * k.cylinders * k.heads * k.sectorsPerTrack == bytes) match = &k;
        if (!match) return false;
        f.cylinders = match->cylinders;
        f.heads = match->heads;
        f.sectorsPerTrack = match->sectorsPerTrack;
    }
    f.mediaRow = TableRow(f);
    *format = f;
    return true;
}

std::string FormatName(const DiskFormat& format) {
    if (const KnownFormat* k = Known(format)) return k->name;
    return std::to_string(format.bytes() / 1024) + " KB";
}

std::string GeometryText(const DiskFormat& format) {
    return std::to_string(format.cylinders) + "\xC3\x97" + std::to_string(format.heads) +
           "\xC3\x97" + std::to_string(format.sectorsPerTrack);
}

std::string DescribeFormat(const DiskFormat& format) {
    const std::string name = FormatName(format);
    switch (format.source) {
        case GeometrySource::BootSector:
            return "a " + name + " diskette (" + Hex(format.descriptor) + ", " +
                   std::to_string(format.sectorsPerTrack) + " sectors per track)";
        case GeometrySource::FatId:
            return "a " + name + (format.heads == 1 ? " single-sided" : " double-sided") +
                   " DOS 1.x diskette (FAT ID " + Hex(format.descriptor) + ")";
        case GeometrySource::Drive:
            return "no FAT boot sector: imaged by the drive's geometry, " + GeometryText(format);
        case GeometrySource::None:
            break;
    }
    return "a diskette of unknown format";
}

std::string DisketteText(const DiskFormat& format) {
    if (format.source != GeometrySource::Drive) return DescribeFormat(format);
    return "a diskette whose boot sector names no format (" + GeometryText(format) +
           " by the drive's geometry)";
}

const char* GeometrySourceName(GeometrySource source) {
    switch (source) {
        case GeometrySource::BootSector:
            return "boot sector";
        case GeometrySource::FatId:
            return "FAT ID";
        case GeometrySource::Drive:
            return "drive";
        case GeometrySource::None:
            break;
    }
    return "none";
}

const char* TableFormatNames() {
    return "360 KB, 720 KB, 1.2 MB and 1.44 MB";
}
