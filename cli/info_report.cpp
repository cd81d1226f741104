#include "cli/info_report.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "cli/console_text.h"
#include "cli/json_output.h"
#include "cli/shown_argument.h"
#include "engine/image_format.h"

namespace cli {
namespace {

char SideChar(SideState state) {
    switch (state) {
        case SideState::Fill:
            return '.';
        case SideState::Packed:
            return '+';
        case SideState::Raw:
            return '#';
        case SideState::Bad:
            return 'X';
        case SideState::Missing:
            break;
    }
    return '-';
}

const char* MethodName(int method) {
    switch (method) {
        case None:
            return "none";
        case RunLength:
            return "run-length";
        default:
            return "unknown";
    }
}

long long UncompressedSize(const ImageReport& r) {
    return UncompressedImageSize(r.cylinders, r.trackBytes());
}

std::string Line(const char* label, const std::string& value) {
    char head[24];
    std::snprintf(head, sizeof head, "  %-14s", label);
    return head + value + "\n";
}

// Well-formed is all the format can tell: it keeps no checksum, so a byte changed inside a
// record goes unseen here. What the user can turn to for that is said with it.
std::string State(const ImageReport& r) {
    return r.wellFormed() ? "complete and well-formed (the format has no checksum: a batch's "
                            "hashes and tavrel-cli check find a changed byte)"
                          : r.problem;
}

}  // namespace

std::vector<std::string> TrackMap(const ImageReport& report, const UnreadMarks* marks) {
    std::vector<std::string> rows(2, std::string(static_cast<size_t>(report.cylinders), '-'));
    for (size_t i = 0; i < report.sides.size(); ++i)
        rows[i % 2][i / 2] = SideChar(report.sides[i].state);
    if (marks) {
        for (size_t i = 0; i < marks->damagedSides.size() && i / 2 < rows[0].size(); ++i)
            if (marks->damagedSides[i]) rows[i % 2][i / 2] = '!';
    }
    return rows;
}

std::string MapLegend(const UnreadMarks* marks) {
    std::string legend = ". fill  + packed  # raw  - missing  X bad";
    return marks ? legend + "  ! unreadable sectors" : legend;
}

std::string InfoText(const std::string& path, const ImageReport& r, bool withMap,
                     const UnreadMarks* marks) {
    std::string out = path + "\n";
    char text[160];
    std::snprintf(text, sizeof text,
                  "%s, media code %d: %d cylinders, 2 heads, %d sectors per track",
                  FormatName(r).c_str(), r.mediaCode, r.cylinders, r.sectorsPerTrack);
    out += Line("Format:", text);
    out += Line("Compression:",
                std::string(MethodName(r.method)) + " (method " + std::to_string(r.method) + ")");
    out += Line("Records:", std::to_string(r.present) + " of " + std::to_string(r.expected));
    out += Line("Encodings:", "raw " + std::to_string(r.raw) + ", fill " + std::to_string(r.fill) +
                                  ", packed " + std::to_string(r.packed));
    out += Line("Image size:", WithThousands(r.fileSize) + " bytes");
    out += Line("Uncompressed:", WithThousands(UncompressedSize(r)) + " bytes (the image is " +
                                     Percent(r.fileSize, UncompressedSize(r)) + " of it)");
    out += Line("State:", State(r));
    if (marks) {
        int sides = 0;
        for (bool damaged : marks->damagedSides) sides += damaged;
        out += Line("Unreadable:",
                    WithThousands(marks->unreadSectors) +
                        (marks->unreadSectors == 1 ? " sector on " : " sectors on ") +
                        std::to_string(sides) + (sides == 1 ? " track side (" : " track sides (") +
                        marks->mapPath + ")");
    }
    if (withMap) {
        out += "\n  Track map (" + MapLegend(marks) + ")\n";
        std::string tens = "            ", ones = "            ";
        for (int c = 0; c < r.cylinders; ++c) {
            tens += c % 10 == 0 ? static_cast<char>('0' + c / 10 % 10) : ' ';
            ones += static_cast<char>('0' + c % 10);
        }
        tens.erase(tens.find_last_not_of(' ') + 1);
        out += tens + "\n" + ones + "\n";
        std::vector<std::string> rows = TrackMap(r, marks);
        for (size_t head = 0; head < rows.size(); ++head)
            out += "    head " + std::to_string(head) + "  " + rows[head] + "\n";
    }
    return out;
}

std::string InfoJson(const std::string& path, const ImageReport& r, bool withMap,
                     const UnreadMarks* marks, const HashSet* hashes) {
    Json out;
    out["path"] = path;
    out["size"] = r.fileSize;
    out["complete"] = r.complete();
    out["wellFormed"] = r.wellFormed();
    out["problem"] = r.wellFormed() ? Json(nullptr) : Json(r.problem);
    if (r.headerValid) {
        out["format"] = {{"name", FormatName(r)},
                         {"mediaCode", r.mediaCode},
                         {"cylinders", r.cylinders},
                         {"heads", 2},
                         {"sectorsPerTrack", r.sectorsPerTrack}};
        out["compression"] = {{"method", r.method}, {"name", MethodName(r.method)}};
        out["records"] = {{"present", r.present}, {"expected", r.expected}};
        out["encodings"] = {{"raw", r.raw}, {"fill", r.fill}, {"packed", r.packed}};
        out["uncompressedSize"] = UncompressedSize(r);
        // Four decimals, as a number: the double nearest the rounded text prints as that text.
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%.4f",
                      static_cast<double>(r.fileSize) / static_cast<double>(UncompressedSize(r)));
        out["ratio"] = std::strtod(ratio, nullptr);
        out["trailingBytes"] = r.trailingBytes;
        out["badRecord"] = r.badRecord < 0 ? Json(nullptr) : Json(r.badRecord);
        if (marks) out["unreadableSectors"] = marks->unreadSectors;
        if (withMap) {
            std::vector<std::string> rows = TrackMap(r, marks);
            out["map"] = {{"legend", MapLegend(marks)}, {"heads", Json::array({rows[0], rows[1]})}};
        }
    } else if (r.mediaCode >= 0) {
        out["header"] = {{"mediaCode", r.mediaCode}, {"method", r.method}};
    }
    if (hashes && !hashes->empty()) out["contentHashes"] = *hashes;
    return OneLineJson(out);
}

std::string RawInfoText(const std::string& path, const ImageReport& r, int unread,
                        const std::string& mapPath) {
    const DiskFormat& f = r.rawFormat;
    // The name as a shell takes it back: a control character in it never reaches the terminal.
    std::string out = ShownArgument(path) + "\n";
    out += Line("Kind:", "raw image (the diskette's sectors in order)");
    out += Line("Format:", FormatName(f) + ": " + std::to_string(f.cylinders) + " cylinders, " +
                               std::to_string(f.heads) + (f.heads == 1 ? " head, " : " heads, ") +
                               std::to_string(f.sectorsPerTrack) + " sectors per track");
    // A file's size is all that stands for a drive's geometry here.
    out += Line("Geometry:", GeometryText(f) + " from the " + GeometrySourceName(f.source) +
                                 (f.source == GeometrySource::Drive
                                      ? std::string(" (no FAT boot sector: the file's size)")
                                      : ": " + DescribeFormat(f)));
    out += Line("Image size:", WithThousands(r.fileSize) + " bytes");
    out += Line("In a .tvl:", f.mediaRow >= 0 ? "yes (tavrel-cli convert makes one)"
                                              : std::string("no: a .tvl holds ") +
                                                    TableFormatNames() + " diskettes only");
    if (unread >= 0)
        out += Line("Unreadable:", WithThousands(unread) +
                                       (unread == 1 ? " sector (" : " sectors (") + mapPath + ")");
    return out;
}

std::string RawInfoJson(const std::string& path, const ImageReport& r, const HashSet* hashes,
                        int unread) {
    const DiskFormat& f = r.rawFormat;
    Json out;
    out["path"] = path;
    out["size"] = r.fileSize;
    out["kind"] = "raw";
    out["format"] = FormatName(f);
    out["geometry"] = {{"cylinders", f.cylinders},
                       {"heads", f.heads},
                       {"sectorsPerTrack", f.sectorsPerTrack},
                       {"source", GeometrySourceName(f.source)}};
    out["tvl"] = f.mediaRow >= 0;
    if (unread >= 0) out["unreadableSectors"] = unread;
    if (hashes && !hashes->empty()) out["contentHashes"] = *hashes;
    return OneLineJson(out);
}

}  // namespace cli
