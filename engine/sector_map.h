// What a rescue knows of each sector of a diskette: one state per logical sector, in the order
// of a raw image of the diskette (cylinder by cylinder, head 0 before head 1). The states are
// the characters the map file uses for them.
#pragma once

#include <cstdint>
#include <cstring>

constexpr int kMaxDiskSectors = 6048;  // 84 cylinders, 2 heads, 36 sectors

enum SectorState : char {
    SectorNonTried = '?',
    SectorNonTrimmed = '*',
    SectorNonScraped = '/',
    SectorBad = '-',
    SectorFinished = '+',
};

// How many reads a sector took, counted up to kMaxTries: a sector that needed many is worn,
// and one that read only at the last try may not read again.
constexpr int kMaxTries = 255;

struct SectorMap {
    int sectors = 0;
    char states[kMaxDiskSectors] = {};
    // The reads that included each sector, whole-side reads too; known only for a map that a
    // rescue kept from its start (older maps have no counts).
    bool triesKnown = false;
    std::uint8_t tries[kMaxDiskSectors] = {};

    void Reset(int count, SectorState state) {
        sectors = count;
        std::memset(states, state, static_cast<size_t>(count));
        std::memset(tries, 0, sizeof tries);
        triesKnown = false;
    }
    void AddTries(int sector, long reads) {
        const long sum = tries[sector] + reads;
        tries[sector] = static_cast<std::uint8_t>(sum > kMaxTries ? kMaxTries : sum);
    }
    int Count(SectorState state) const {
        int n = 0;
        for (int i = 0; i < sectors; ++i) n += states[i] == state;
        return n;
    }
    // Everything but a finished sector is still to be read.
    int Unread() const { return sectors - Count(SectorFinished); }
};

// Keeps a rescue's map beside its image while the rescue runs: called on the job's thread, each
// time after the image was replaced (before it, the first time). False stops the rescue; the
// keeper itself tells why.
class RescueMapKeeper {
  public:
    enum Moment { Reading, Cancelled, Finished };
    // The diskette's boot sector, or nullptr when it could not be read, before anything is
    // written: false refuses the diskette.
    virtual bool Identify(const std::uint8_t* bootSector) = 0;
    // Replaces the map by map, which the image at the path now holds (or holds more than).
    virtual bool Save(const SectorMap& map, Moment moment) = 0;

  protected:
    ~RescueMapKeeper() = default;
};

// What the image holds for a sector that could not be read: fillByte in every byte, or with
// fillByte -1 a marker text repeated from the sector's start.
void FillUnreadableSector(std::uint8_t* sector, int fillByte);
