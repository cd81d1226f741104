#include "drive/media_table.h"

#include "platform/le.h"

const MediaTypeEntry MediaTypeTable[] = {
    {1, 0xFD, 9, 39},   // 360 KB
    {2, 0xF9, 15, 79},  // 1.2 MB
    {3, 0xF9, 9, 79},   // 720 KB
    {4, 0xF9, 18, 79},  // 1.44 MB, descriptor F9
    {4, 0xF0, 18, 79},  // 1.44 MB, descriptor F0
    {0, 0, 0, 0},
};

int MatchMediaType(const std::uint8_t* bootSector) {
    std::uint8_t descriptor = bootSector[kBootMediaDescriptorOffset];
    std::uint16_t sectors = le::Get16(bootSector + kBootSectorsPerTrackOffset);
    for (int row = 0; MediaTypeTable[row].mediaCode != 0; ++row) {
        if (MediaTypeTable[row].mediaDescriptor == descriptor &&
            MediaTypeTable[row].sectorsPerTrack == sectors)
            return row;
    }
    return -1;
}

const char* MediaTypeName(int row) {
    static const char* const names[] = {"360 KB", "1.2 MB", "720 KB", "1.44 MB (F9)",
                                        "1.44 MB (F0)"};
    return row >= 0 && row < kMediaTypeRows ? names[row] : "unknown";
}

int MediaRowForCode(int mediaCode) {
    for (int row = 0; MediaTypeTable[row].mediaCode != 0; ++row)
        if (MediaTypeTable[row].mediaCode == mediaCode) return row;
    return -1;
}
