// Real diskette images made by mkfs.fat and filled with mtools, one per supported layout.
#pragma once

#include <string>

struct FloppyFormat {
    const char* name;
    int kilobytes;
    int mediaDescriptor;
    int sectorsPerTrack;
    int cylinders;
    int mediaCode;
};

constexpr FloppyFormat kFloppyFormats[] = {
    {"360K", 360, 0xFD, 9, 40, 1},       {"1200K", 1200, 0xF9, 15, 80, 2},
    {"720K", 720, 0xF9, 9, 80, 3},       {"1440K-F9", 1440, 0xF9, 18, 80, 4},
    {"1440K-F0", 1440, 0xF0, 18, 80, 4},
};

// Formats a raw image at path with mkfs.fat and, when withFiles is set, copies a few text and
// binary files onto it with mcopy. False when the tools failed.
bool MakeFloppyImage(const std::string& path, const FloppyFormat& format, bool withFiles = true);
// True when mkfs.fat and mcopy are installed.
bool HaveFatTools();
