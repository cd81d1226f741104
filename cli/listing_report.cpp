#include "cli/listing_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/json_output.h"
#include "cli/listing_names.h"

namespace cli {

namespace {

std::string Plural(long long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Kind(const ListedFile& file) {
    std::string kind = file.folder ? "folder" : file.volumeLabel ? "volume label" : "file";
    return file.allocated ? kind : "deleted " + kind;
}

// A path as JSON carries it: exactly when it is UTF-8, else readable with its bytes beside it.
void JsonPath(nlohmann::ordered_json& entry, const std::string& path) {
    entry["path"] = IsUtf8(path) ? path : VisibleName(path);
    if (!IsUtf8(path)) entry["pathBytes"] = HexBytes(path);
}

std::string Padded(const std::string& text, size_t width, bool right = false) {
    if (text.size() >= width) return text;
    const std::string pad(width - text.size(), ' ');
    return right ? pad + text : text + pad;
}

}  // namespace

std::string AttributeLetters(int attributes) {
    if (attributes < 0) return {};
    std::string letters;
    const struct {
        int bit;
        char letter;
    } flags[] = {{0x01, 'R'}, {0x02, 'H'}, {0x04, 'S'}, {0x20, 'A'}};
    for (const auto& flag : flags) letters += (attributes & flag.bit) ? flag.letter : '-';
    return letters;
}

std::string DamageLine(const DisketteListing& listing) {
    // A compress reads every sector or makes no image; only a rescue leaves sectors unread, and
    // its map names them.
    if (listing.mapPath.empty())
        return "No damage recorded: no rescue map is beside the image (a compress reads every "
               "sector or makes no image).";
    if (listing.unreadableSectors == 0)
        return "No damage: the map " + VisibleName(listing.mapPath) + " has no unreadable sectors.";
    std::string files;
    for (const ListedFile& file : listing.files) {
        if (file.folder || file.damagedBytes == 0) continue;
        files += (files.empty() ? "" : ", ") + VisibleName(file.path) + " (" +
                 std::to_string(file.damagedBytes) + " of " + std::to_string(file.size) + " bytes" +
                 (file.allocated ? "" : ", deleted") + ")";
    }
    std::string areas;
    for (const DamagedArea& area : listing.damagedAreas)
        areas += (areas.empty() ? "" : ", ") + VisibleName(area.what) + " (" +
                 Plural(area.sectors, "sector", "sectors") +
                 (area.what == "FAT" && listing.mendedFat ? ", read from the second FAT" : "") +
                 ")";
    const std::string sectors =
        Plural(listing.unreadableSectors, "unreadable sector", "unreadable sectors");
    std::string line = listing.damagedFiles == 0 ? "No file damaged by " + sectors
                                                 : Plural(listing.damagedFiles, "file", "files") +
                                                       " damaged by " + sectors + ": " + files;
    if (!areas.empty()) line += (listing.damagedFiles == 0 ? ": " : "; not in a file: ") + areas;
    return line + ".";
}

std::string LeftOutText(const DisketteListing& listing) {
    std::string text;
    for (const LeftOut& left : listing.leftOut) {
        const std::string where =
            left.kind == LeftOut::Rest
                ? (left.path.empty() ? "the root folder" : "folder " + VisibleName(left.path))
                : VisibleName(left.path);
        text += "Left out: " + where + ": " + left.why + "\n";
    }
    return text;
}

std::string ListingText(const DisketteListing& listing, bool wide) {
    std::string text;
    if (!listing.hasFileSystem) return "No listing: " + VisibleName(listing.why) + "\n";
    int folders = 0, deleted = 0;
    for (const ListedFile& file : listing.files) {
        folders += file.folder;
        deleted += !file.folder && !file.volumeLabel && !file.allocated;
    }
    text += listing.fileSystem + ", " + Plural(listing.fileCount, "file", "files") + " (" +
            std::to_string(deleted) + " deleted), " + Plural(folders, "folder", "folders") +
            (listing.leftOutEntries
                 ? ", " + Plural(listing.leftOutEntries, "entry", "entries") + " not listed"
                 : "") +
            "\n";
    text += "     Size  Entry           Unreadable  SHA-256           ";
    if (wide) text += "Written              Accessed    Created              Attr  ";
    text += "Name\n";
    for (const ListedFile& file : listing.files) {
        std::string line = Padded(file.folder ? "-" : std::to_string(file.size), 9, true) + "  ";
        line += Padded(Kind(file), 16);
        line += Padded(file.damagedBytes ? std::to_string(file.damagedBytes) : "", 10, true) + "  ";
        line += Padded(file.folder || !file.hashed ? "" : file.sha256.substr(0, 16), 18);
        if (wide) {
            line += Padded(file.written, 21) + Padded(file.accessed, 12) +
                    Padded(file.created, 21) + Padded(AttributeLetters(file.attributes), 6);
        }
        text += line + VisibleName(file.path) + (file.folder ? "/" : "") + "\n";
    }
    return text + LeftOutText(listing) + DamageLine(listing) + "\n";
}

std::string ListingJson(const DisketteListing& listing) {
    nlohmann::ordered_json json;
    json["image"] = listing.imagePath;
    json["map"] = listing.mapPath.empty() ? nlohmann::ordered_json()
                                          : nlohmann::ordered_json(listing.mapPath);
    json["hasFileSystem"] = listing.hasFileSystem;
    if (!listing.hasFileSystem) json["why"] = listing.why;
    json["fileSystem"] = listing.fileSystem;
    json["fileCount"] = listing.fileCount;
    json["damagedFiles"] = listing.damagedFiles;
    json["unreadableSectors"] = listing.unreadableSectors;
    json["fatSectorsFromSecondCopy"] = listing.mendedFat;
    json["leftOutEntries"] = listing.leftOutEntries;
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    for (const ListedFile& file : listing.files) {
        nlohmann::ordered_json entry;
        JsonPath(entry, file.path);
        entry["type"] = file.folder ? "folder" : file.volumeLabel ? "volume label" : "file";
        entry["allocated"] = file.allocated;
        entry["size"] = file.size;
        entry["inode"] = file.inode;
        entry["written"] = file.written;
        entry["accessed"] = file.accessed;
        entry["created"] = file.created;
        entry["attributes"] = AttributeLetters(file.attributes);
        nlohmann::ordered_json runs = nlohmann::ordered_json::array();
        for (const ByteRun& run : file.runs)
            runs.push_back({{"fileOffset", run.fileOffset},
                            {"imageOffset", run.imageOffset},
                            {"length", run.length}});
        entry["byteRuns"] = runs;
        if (file.hashed) {
            entry["md5"] = file.md5;
            entry["sha1"] = file.sha1;
            entry["sha256"] = file.sha256;
        }
        entry["unreadableBytes"] = file.damagedBytes;
        files.push_back(entry);
    }
    json["files"] = files;
    nlohmann::ordered_json areas = nlohmann::ordered_json::array();
    for (const DamagedArea& area : listing.damagedAreas)
        areas.push_back({{"what", area.what}, {"sectors", area.sectors}});
    json["unreadableOutsideFiles"] = areas;
    nlohmann::ordered_json left = nlohmann::ordered_json::array();
    for (const LeftOut& item : listing.leftOut) {
        nlohmann::ordered_json entry;
        entry["what"] = LeftOutKindName(item.kind);
        JsonPath(entry, item.path);
        entry["why"] = item.why;
        left.push_back(entry);
    }
    json["leftOut"] = left;
    return PrettyJson(json);
}

}  // namespace cli
