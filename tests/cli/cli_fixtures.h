// What the console tool's tests share: files compared, folders listed, diskettes made, and
// where a changed byte lies on the diskette.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "tests/cli/tool_runner.h"
#include "tests/support/floppy_images.h"
#include "tests/support/temp_dir.h"

inline long long SizeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

inline bool SameBytes(const std::string& a, const std::string& b) {
    return SizeOf(a) >= 0 && ReadFileBytes(a) == ReadFileBytes(b);
}

// Every file on a FAT image, copied out with mtools into dir.
inline bool ExtractFiles(const std::string& image, const std::string& dir) {
    return Shell("mkdir -p '" + dir + "' && MTOOLS_SKIP_CHECK=1 mcopy -s -n -i '" + image +
                 "' '::/*' '" + dir + "/' >/dev/null 2>&1") == 0;
}

// What sha256sum says of a file; scratch is a folder for its output.
inline std::string Sha256Sum(const std::string& path, const TempDir& scratch) {
    const std::string out = scratch / "sha256sum.txt";
    if (Shell("sha256sum '" + path + "' > '" + out + "'") != 0) return "sha256sum failed";
    return ReadFileBytes(out).substr(0, 64);
}

inline void FlipByte(const std::string& path, long long offset) {
    std::string bytes = ReadFileBytes(path);
    bytes[static_cast<size_t>(offset)] =
        static_cast<char>(bytes[static_cast<size_t>(offset)] ^ 0x5A);
    WriteFileBytes(path, bytes);
}

// What verify prints for a difference at offset of a diskette of this format.
inline std::string DifferenceLine(const FloppyFormat& format, long long offset) {
    long long logical = offset / 512;
    long long side = logical / format.sectorsPerTrack;
    return "First difference: cylinder " + std::to_string(side / 2) + ", head " +
           std::to_string(side % 2) + ", sector " +
           std::to_string(logical % format.sectorsPerTrack + 1) + " (logical sector " +
           std::to_string(logical) + "), diskette offset " + std::to_string(offset);
}

// A byte in the middle of the diskette, on head 1, away from the boot sector and the FATs.
inline long long MiddleOffset(const FloppyFormat& format) {
    long long side = 2LL * (format.cylinders / 2) + 1;
    return (side * format.sectorsPerTrack + 3) * 512 + 77;
}

// Test names and messages show the format by name, not as bytes.
inline void PrintTo(const FloppyFormat& format, std::ostream* out) {
    *out << format.name;
}

inline std::string FormatTestName(const FloppyFormat& format) {
    std::string name = format.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}
