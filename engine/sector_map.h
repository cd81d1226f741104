// What a rescue knows of each sector of a diskette: one state per logical sector, in the order
// of a raw image of the diskette (cylinder by cylinder, head 0 before head 1). The states are
// the characters the map file uses for them.
#pragma once

#include <cstdint>
#include <cstring>

constexpr int kMaxDiskSectors = 2880;  // 80 cylinders, 2 heads, 18 sectors

enum SectorState : char {
    SectorNonTried = '?',
    SectorNonTrimmed = '*',
    SectorNonScraped = '/',
    SectorBad = '-',
    SectorFinished = '+',
};

struct SectorMap {
    int sectors = 0;
    char states[kMaxDiskSectors] = {};

    void Reset(int count, SectorState state) {
        sectors = count;
        std::memset(states, state, static_cast<size_t>(count));
    }
    int Count(SectorState state) const {
        int n = 0;
        for (int i = 0; i < sectors; ++i) n += states[i] == state;
        return n;
    }
    // Everything but a finished sector is still to be read.
    int Unread() const { return sectors - Count(SectorFinished); }
};

// What the image holds for a sector that could not be read: fillByte in every byte, or with
// fillByte -1 a marker text repeated from the sector's start.
void FillUnreadableSector(std::uint8_t* sector, int fillByte);
