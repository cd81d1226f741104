// Reads an image file from front to back through the engine's record decoder and says what it
// holds: format, method, each track side's encoding, and whether the file is complete and
// well-formed. info reports this; convert takes the decoded track sides from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "drive/disk_format.h"

namespace cli {

enum class SideState : std::uint8_t { Missing, Raw, Fill, Packed, Bad };

// What a file holds, told from its content and never from its name: an image with its "Dk"
// header, a raw image (the diskette's sectors, exactly one format's size), or neither.
enum class FileKind : std::uint8_t { Image, RawImage, Neither };

// The problem InspectImage gives for a raw image, so every command says the same.
extern const char* const kRawImageProblem;

// Judges a file from its first bytes (up to one sector; fewer when the file is shorter) and
// its size. Neither comes with problem set to why the file is not an image.
FileKind ClassifyImageFile(const std::uint8_t* start, std::size_t got, long long fileSize,
                           std::string* problem);

struct SideReport {
    SideState state = SideState::Missing;
    long long offset = -1;  // where the record starts in the file
    int packedLength = 0;
};

struct ImageReport {
    long long fileSize = 0;
    FileKind kind = FileKind::Neither;
    // The first thing wrong with the file, one line; empty when complete and well-formed.
    std::string problem;
    bool headerValid = false;  // magic, a known media code and a known method
    int mediaCode = -1;        // -1 until 4 header bytes were read
    int method = -1;
    int mediaRow = -1;  // the row whose geometry the records follow
    int bootRow = -1;   // the row the boot sector in the first record matches, if any
    int cylinders = 0;
    int sectorsPerTrack = 0;
    int expected = 0;
    int present = 0;
    int raw = 0;
    int fill = 0;
    int packed = 0;
    int badRecord = -1;
    long long trailingBytes = 0;
    std::vector<SideReport> sides;
    DiskFormat rawFormat;  // a raw image's layout, and what told it

    int trackBytes() const { return sectorsPerTrack * 512; }
    bool complete() const { return headerValid && expected > 0 && present == expected; }
    bool wellFormed() const { return problem.empty(); }
    long long diskBytes() const { return 2LL * cylinders * trackBytes(); }
};

// Each track side as it is decoded, in file order; returning false stops the reading.
using TrackVisitor = std::function<bool(int cylinder, int head, const std::uint8_t* data, int n)>;

// False when the file could not be opened or read at all (report->problem says why). A file
// that opened is described in report, whatever it holds (a raw image or neither only by kind
// and problem); visit sees only sound track sides.
bool InspectImage(const std::string& path, ImageReport* report, const TrackVisitor& visit = {});

// A raw image's layout from its first bytes (got of them, up to two sectors) and its size:
// its boot sector's, else its FAT ID's, else its size's ("drive": the file stands for one).
bool RawImageFormat(const std::uint8_t* start, std::size_t got, long long fileSize,
                    DiskFormat* format);

// "1.44 MB (F0)" when the boot sector tells the variant, else the format's common name.
std::string FormatName(const ImageReport& report);

// "record 57 (cylinder 28, head 1)".
std::string RecordName(int index);

}  // namespace cli
