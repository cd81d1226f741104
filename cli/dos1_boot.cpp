#include "cli/dos1_boot.h"

#include <cstdint>

#include "drive/disk_format.h"
#include "platform/le.h"

namespace cli {
namespace {

struct Dos1Layout {
    std::uint8_t fatId;
    std::uint8_t sectorsPerCluster;
    std::uint16_t rootEntries;
    std::uint16_t sectorsPerFat;
};

// As DOS 2 and later take them for a diskette with no parameter block.
constexpr Dos1Layout kDos1Layouts[] = {
    {0xFE, 1, 64, 1},   // 160 KB
    {0xFC, 1, 64, 2},   // 180 KB
    {0xFF, 2, 112, 1},  // 320 KB
    {0xFD, 2, 112, 2},  // 360 KB
};

}  // namespace

bool SupplyDos1ParameterBlock(std::string* content) {
    if (content->size() < 1024) return false;
    auto* bytes = reinterpret_cast<std::uint8_t*>(content->data());
    DiskFormat format;
    const long long size = static_cast<long long>(content->size());
    if (FormatFromBootSector(bytes, &format) || !FormatFromFatId(bytes + 512, 0, &format) ||
        !FormatFromFatId(bytes + 512, CylindersOfSize(format, size), &format) ||
        format.bytes() != size)
        return false;
    for (const Dos1Layout& layout : kDos1Layouts) {
        if (layout.fatId != format.descriptor) continue;
        le::Put16(bytes + 0x0B, 512);
        bytes[0x0D] = layout.sectorsPerCluster;
        le::Put16(bytes + 0x0E, 1);  // the boot sector
        bytes[0x10] = 2;
        le::Put16(bytes + 0x11, layout.rootEntries);
        le::Put16(bytes + 0x13, static_cast<std::uint16_t>(format.sectors()));
        bytes[0x15] = layout.fatId;
        le::Put16(bytes + 0x16, layout.sectorsPerFat);
        le::Put16(bytes + 0x18, static_cast<std::uint16_t>(format.sectorsPerTrack));
        le::Put16(bytes + 0x1A, static_cast<std::uint16_t>(format.heads));
        bytes[510] = 0x55;
        bytes[511] = 0xAA;
        return true;
    }
    return false;
}

}  // namespace cli
