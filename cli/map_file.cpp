#include "cli/map_file.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "cli/atomic_output.h"

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

// A C-style number (0x hexadecimal or decimal) and nothing else, not negative.
bool Number(const std::string& text, long long* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return false;
    *value = v;
    return true;
}

bool IsBlockStatus(const std::string& s) {
    return s.size() == 1 && std::strchr("?*/-+", s[0]) != nullptr;
}

bool IsRunStatus(const std::string& s) {
    return s.size() == 1 && std::strchr("?*/-FG+", s[0]) != nullptr;
}

// When one sector spans blocks of different states, a bad byte makes it bad and any other
// unfinished byte makes it unread.
char Merge(char sector, char block) {
    if (sector == SectorBad || block == SectorBad) return SectorBad;
    if (sector == SectorFinished) return block;
    return sector;
}

std::string Now() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

bool ParseMapFile(const std::string& text, SectorMap* map, MapStatus* status, std::string* error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool haveStatus = false;
    long long end = 0;
    SectorMap result;
    auto fail = [&](const std::string& why) {
        *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        std::vector<std::string> f = Fields(line);
        if (f.empty() || f[0][0] == '#') continue;
        if (!haveStatus) {
            long long position, pass = 1;
            if (f.size() < 2 || f.size() > 3 || !Number(f[0], &position) || !IsRunStatus(f[1]) ||
                (f.size() == 3 && (!Number(f[2], &pass) || pass < 1 || pass > 1000000)))
                return fail("expected the status line 'current_pos current_status current_pass'");
            *status = {position, f[1][0], static_cast<int>(pass)};
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
                        " bytes, the largest diskette");
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
    *map = result;
    return true;
}

std::string FormatMapFile(const SectorMap& map, const MapStatus& status,
                          const std::string& commandLine, const std::string& comment) {
    std::string out = "# Mapfile. Created by tavrel-cli " TAVREL_VERSION "\n";
    out += "# Command line: " + commandLine + "\n";
    out += "# Current time: " + Now() + "\n";
    if (!comment.empty()) out += "# " + comment + "\n";
    char line[96];
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

bool LoadMapFile(const std::string& path, SectorMap* map, MapStatus* status, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "tavrel-cli: cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        *error = "tavrel-cli: cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string why;
    if (!ParseMapFile(text, map, status, &why)) {
        *error = "tavrel-cli: " + path + ": not a usable map: " + why;
        return false;
    }
    return true;
}

bool SaveMapFile(const std::string& path, const std::string& text, std::string* error,
                 std::string* warning) {
    AtomicOutput out;
    if (!out.Open(path, error)) return false;
    out.Write(text.data(), static_cast<std::uint32_t>(text.size()));
    switch (out.Commit(error)) {
        case platform::ReplacementFile::CommitFailed:
            return false;
        case platform::ReplacementFile::CommittedNotDurable:
            *warning = *error;
            error->clear();
            break;
        default:
            break;
    }
    return true;
}

}  // namespace cli
