// What the rescue tests share: a diskette with files on a faulty drive, the raw bytes an image
// stands for, and the sectors a map marks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <sstream>
#include <string>

#include "engine/sector_map.h"
#include "tests/cli/cli_fixtures.h"
#include "tests/cli/faulty_drive.h"
#include "tests/support/facility.h"

// Logical sector of (cylinder, head, sector from 1) on a diskette of that format.
inline int Logical(const FloppyFormat& f, int cylinder, int head, int sector) {
    return (2 * cylinder + head) * f.sectorsPerTrack + sector - 1;
}

inline std::string Fill(int fillByte) {
    std::string sector(512, '\0');
    FillUnreadableSector(reinterpret_cast<std::uint8_t*>(sector.data()), fillByte);
    return sector;
}

// The diskette's bytes with the given sectors replaced by what a rescue fills them with.
inline std::string WithFill(std::string raw, const std::set<int>& sectors, int fillByte = -1) {
    const std::string fill = Fill(fillByte);
    for (int s : sectors) raw.replace(static_cast<size_t>(s) * 512, 512, fill);
    return raw;
}

// The raw bytes an image stands for, through the tool's own convert.
inline std::string RawOf(const std::string& image, const std::string& dir) {
    const std::string raw = dir + "/raw-of-image.raw";
    ToolResult r = RunTool({"convert", "--force", image, raw});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ReadFileBytes(raw);
}

// The sectors a map marks with status (a ddrescuelog status letter), as ddrescuelog lists them.
inline std::set<int> ListedBy(const std::string& map, char status, const std::string& dir) {
    const std::string out = dir + "/listed.txt";
    std::set<int> sectors;
    if (Shell("ddrescuelog -b512 -l'" + std::string(1, status) + "' '" + map + "' >'" + out +
              "' 2>&1") != 0) {
        ADD_FAILURE() << "ddrescuelog cannot read " << map << ": " << ReadFileBytes(out);
        return sectors;
    }
    std::istringstream in(ReadFileBytes(out));
    long long block;
    while (in >> block) sectors.insert(static_cast<int>(block));
    return sectors;
}

inline bool HaveDdrescue() {
    return Shell("command -v ddrescue >/dev/null && command -v ddrescuelog >/dev/null") == 0;
}
