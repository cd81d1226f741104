#include "cli/map_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <vector>

#include "cli/text_file.h"
#include "drive/disk_errors.h"
#include "platform/error_codes.h"
#include "platform/file_api.h"
#include "platform/last_error.h"
#include "platform/local_time.h"
#include "platform/replace_file.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

constexpr long long kSector = 512;

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (in >> field) fields.push_back(field);
    return fields;
}

constexpr char kDisketteComment[] = "# Diskette: boot sector FNV-1a 0x";
// Each sector's reads, run-length coded from sector 0: "1*2870 4 9*3 0*6" (COUNT*SECTORS, or
// COUNT for one sector).
constexpr char kTriesComment[] = "# Sector tries: ";
constexpr char kSerialText[] = ", volume serial ";

// A C-style number (0x hexadecimal or decimal) and nothing else, not negative. The whole text
// must be the number: a NUL byte inside it ends the C string, not the field.
bool Number(const std::string& text, long long* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || end != text.c_str() + text.size()) return false;
    *value = v;
    return true;
}

// strchr finds the terminating NUL too: a NUL byte is no status.
bool IsBlockStatus(const std::string& s) {
    return s.size() == 1 && s[0] != '\0' && std::strchr("?*/-+", s[0]) != nullptr;
}

bool IsRunStatus(const std::string& s) {
    return s.size() == 1 && s[0] != '\0' && std::strchr("?*/-FG+", s[0]) != nullptr;
}

// Exactly digits hexadecimal digits at text[at], upper or lower case.
bool Hex(const std::string& text, size_t at, int digits, std::uint64_t* value) {
    if (text.size() < at + static_cast<size_t>(digits)) return false;
    std::uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[at + static_cast<size_t>(i)];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                             : -1;
        if (d < 0) return false;
        v = v << 4 | static_cast<std::uint64_t>(d);
    }
    *value = v;
    return true;
}

// The diskette comment as FormatMapFile writes it; anything else leaves the map unbound.
DisketteId ParseDiskette(const std::string& line) {
    DisketteId id;
    const size_t at = sizeof kDisketteComment - 1;
    if (line.compare(0, at, kDisketteComment) != 0 || !Hex(line, at, 16, &id.bootHash)) return {};
    id.known = true;
    const size_t serial = line.find(kSerialText, at + 16);
    std::uint64_t high, low;
    if (serial == at + 16 && Hex(line, serial + sizeof kSerialText - 1, 4, &high) &&
        line.size() > serial + sizeof kSerialText + 3 &&
        line[serial + sizeof kSerialText + 3] == '-' &&
        Hex(line, serial + sizeof kSerialText + 4, 4, &low)) {
        id.hasSerial = true;
        id.serial = static_cast<std::uint32_t>(high << 16 | low);
    }
    return id;
}

// A comment line must stay one line.
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

// When one sector spans blocks of different states, a bad byte makes it bad and any other
// unfinished byte makes it unread.
char Merge(char sector, char block) {
    if (sector == SectorBad || block == SectorBad) return SectorBad;
    if (sector == SectorFinished) return block;
    return sector;
}

std::string TriesText(const SectorMap& map) {
    std::string text;
    for (int s = 0; s < map.sectors;) {
        int run = s;
        while (run < map.sectors && map.tries[run] == map.tries[s]) ++run;
        text += (s ? " " : "") + std::to_string(map.tries[s]);
        if (run - s > 1) text += "*" + std::to_string(run - s);
        s = run;
    }
    return text;
}

// The counts of the comment line into map, which must cover exactly its sectors; a line that
// does not leaves the map without counts, as an older map has none.
void ParseTries(const std::string& line, SectorMap* map) {
    std::istringstream in(line.substr(sizeof kTriesComment - 1));
    std::string token;
    int at = 0;
    while (in >> token) {
        const size_t star = token.find('*');
        long long count, run = 1;
        if (!Number(token.substr(0, star), &count) || count > kMaxTries ||
            (star != std::string::npos && (!Number(token.substr(star + 1), &run) || run < 1)) ||
            run > map->sectors - at)
            return;
        std::memset(map->tries + at, static_cast<int>(count), static_cast<size_t>(run));
        at += static_cast<int>(run);
    }
    map->triesKnown = at == map->sectors;
    if (!map->triesKnown) std::memset(map->tries, 0, sizeof map->tries);
}

std::string Now() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    platform::LocalTime(t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

DisketteId IdentifyDiskette(const std::uint8_t* bootSector) {
    DisketteId id;
    id.known = true;
    id.bootHash = 0xCBF29CE484222325ULL;
    for (int i = 0; i < 512; ++i) id.bootHash = (id.bootHash ^ bootSector[i]) * 0x100000001B3ULL;
    if (bootSector[0x26] == 0x29) {
        id.hasSerial = true;
        id.serial = static_cast<std::uint32_t>(bootSector[0x27] | bootSector[0x28] << 8 |
                                               bootSector[0x29] << 16) |
                    static_cast<std::uint32_t>(bootSector[0x2A]) << 24;
    }
    return id;
}

std::string SerialText(const DisketteId& id) {
    if (!id.hasSerial) return "none";
    char text[16];
    std::snprintf(text, sizeof text, "%04X-%04X", static_cast<unsigned>(id.serial >> 16),
                  static_cast<unsigned>(id.serial & 0xFFFF));
    return text;
}

bool ParseMapFile(const std::string& text, SectorMap* map, MapStatus* status, std::string* error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool haveStatus = false;
    long long end = 0;
    SectorMap result;
    DisketteId diskette;
    std::string triesLine;
    auto fail = [&](const std::string& why) {
        *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        std::vector<std::string> f = Fields(line);
        if (!diskette.known) diskette = ParseDiskette(line);
        if (line.rfind(kTriesComment, 0) == 0) triesLine = line;
        if (f.empty() || f[0][0] == '#') continue;
        if (!haveStatus) {
            long long position, pass = 1;
            if (f.size() < 2 || f.size() > 3 || !Number(f[0], &position) || !IsRunStatus(f[1]) ||
                (f.size() == 3 && (!Number(f[2], &pass) || pass < 1 || pass > 1000000)))
                return fail("expected the status line 'current_pos current_status current_pass'");
            status->position = position;
            status->status = f[1][0];
            status->pass = static_cast<int>(pass);
            haveStatus = true;
            continue;
        }
        long long position, size;
        if (f.size() != 3 || !Number(f[0], &position) || !Number(f[1], &size) ||
            !IsBlockStatus(f[2]))
            return fail("expected a block 'pos size status' with status one of ?*/-+");
        if (position != end)
            return fail("the block starts at " + std::to_string(position) + ", not at " +
                        std::to_string(end) + " where the one before ends");
        if (size <= 0) return fail("a block of size 0");
        if (size > kMaxDiskSectors * kSector - end)
            return fail("the map reaches beyond " + std::to_string(kMaxDiskSectors * kSector) +
                        " bytes, more than any diskette holds");
        for (long long s = position / kSector; s <= (position + size - 1) / kSector; ++s) {
            char& state = result.states[s];
            state = s < result.sectors ? Merge(state, f[2][0]) : f[2][0];
            result.sectors = static_cast<int>(s + 1);
        }
        end = position + size;
    }
    if (!haveStatus)
        *error = "no status line: not a map file";
    else if (end == 0)
        *error = "no blocks: the map covers nothing";
    else if (end % kSector != 0)
        *error = "the map covers " + std::to_string(end) + " bytes, not whole sectors";
    if (!haveStatus || end == 0 || end % kSector != 0) return false;
    status->diskette = diskette;
    if (!triesLine.empty()) ParseTries(triesLine, &result);
    *map = result;
    return true;
}

std::string FormatMapFile(const SectorMap& map, const MapStatus& status,
                          const std::string& commandLine, const std::string& comment) {
    std::string out = "# Mapfile. Created by tavrel-cli " TAVREL_VERSION "\n";
    out += "# Command line: " + Printable(commandLine) + "\n";
    out += "# Current time: " + Now() + "\n";
    char line[96];
    if (status.diskette.known) {
        std::snprintf(line, sizeof line, "%s%016llX", kDisketteComment,
                      static_cast<unsigned long long>(status.diskette.bootHash));
        out += line + std::string(kSerialText) + SerialText(status.diskette) + "\n";
    }
    if (!comment.empty()) out += "# " + Printable(comment) + "\n";
    if (map.triesKnown) out += kTriesComment + TriesText(map) + "\n";
    out += "# current_pos  current_status  current_pass\n";
    std::snprintf(line, sizeof line, "0x%08llX     %c               %d\n", status.position,
                  status.status, status.pass);
    out += line;
    out += "#      pos        size  status\n";
    for (int s = 0; s < map.sectors;) {
        int run = s;
        while (run < map.sectors && map.states[run] == map.states[s]) ++run;
        std::snprintf(line, sizeof line, "0x%08llX  0x%08llX  %c\n", s * kSector,
                      (run - s) * kSector, map.states[s]);
        out += line;
        s = run;
    }
    return out;
}

std::string MapBesideImage(const std::string& imagePath) {
    auto exists = [](const std::string& path) {
        struct stat st {};
        return platform::SysStat(path.c_str(), &st) == 0;
    };
    if (exists(imagePath + ".map")) return imagePath + ".map";
    for (const char* end : {".tvl", ".img"}) {
        const size_t length = std::strlen(end);
        if (imagePath.size() < length ||
            imagePath.compare(imagePath.size() - length, length, end) != 0)
            continue;
        const std::string name = imagePath.substr(0, imagePath.size() - length) + ".map";
        if (exists(name)) return name;
    }
    return {};
}

bool LoadMapFile(const std::string& path, SectorMap* map, MapStatus* status, std::string* error) {
    std::string text;
    if (!ReadTextFile(path, &text, error)) return false;
    std::string why;
    if (!ParseMapFile(text, map, status, &why)) {
        *error = "tavrel-cli: " + path + ": not a usable map: " + why;
        return false;
    }
    return true;
}

bool SaveMapFile(const std::string& path, const std::string& text, std::string* error,
                 std::string* warning) {
    // Never over the older map in place: a crash in the middle would leave no map at all.
    platform::ReplacementFile file;
    auto fail = [&](DWORD code) {
        *error = "tavrel-cli: cannot write the map " + path + ": " + DiskErrorText(code, FALSE);
        return false;
    };
    if (!file.Open(path, false)) return fail(GetLastError());
    const auto size = static_cast<DWORD>(text.size());
    DWORD done = 0;
    const BOOL written = WriteFile(file.Handle(), text.data(), size, &done, nullptr);
    if (!written || done != size) {
        // A write that stops short without an error means the disk is full.
        const DWORD code = written ? platform::kErrorDiskFull : GetLastError();
        file.Abandon();
        return fail(code);
    }
    switch (file.Commit()) {
        case platform::ReplacementFile::CommitFailed:
            return fail(GetLastError());
        case platform::ReplacementFile::CommittedNotDurable:
            *warning = "tavrel-cli: " + path +
                       " was replaced, but the system could not confirm that it is safely on "
                       "the disk: " +
                       DiskErrorText(GetLastError(), FALSE);
            break;
        default:
            break;
    }
    return true;
}

}  // namespace cli
