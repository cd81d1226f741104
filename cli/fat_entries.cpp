#include "cli/fat_entries.h"

#include <cstdint>
#include <cstdio>
#include <set>

#include "cli/listing_names.h"
#include "cli/listing_walk.h"

namespace cli {

namespace {

std::uint16_t U16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// Where the clusters end, from the boot sector: a first cluster past it is refused.
unsigned LastCluster(const std::string& bytes) {
    if (bytes.size() < 512) return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto u16 = [&](int at) { return static_cast<unsigned>(b[at] | (b[at + 1] << 8)); };
    const auto u32 = [&](int at) { return u16(at) | (u16(at + 2) << 16); };
    const unsigned sectorBytes = u16(11), perCluster = b[13];
    if (sectorBytes == 0 || perCluster == 0) return 0;
    const unsigned long long total = u16(19) ? u16(19) : u32(32);
    const unsigned long long fat = u16(22) ? u16(22) : u32(36);
    const unsigned long long rootSectors = (u16(17) * 32ULL + sectorBytes - 1) / sectorBytes;
    const unsigned long long before = u16(14) + b[16] * fat + rootSectors;
    if (total <= before) return 0;
    return static_cast<unsigned>((total - before) / perCluster + 1);
}

// Why The Sleuth Kit passed over an entry DOS lists, as far as its bytes tell.
std::string Refusal(const unsigned char* entry, unsigned first, unsigned last) {
    for (int k = 0; k < 11; ++k) {
        if (entry[k] >= 0x20 || (k == 0 && entry[k] == 0x05)) continue;
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", entry[k]);
        return std::string("not listed: its short name holds the control character ") + hex +
               ", which The Sleuth Kit refuses";
    }
    if (last > 0 && first > last)
        return "not listed: its first cluster " + std::to_string(first) +
               " lies past the diskette's last cluster " + std::to_string(last) +
               ", which The Sleuth Kit refuses";
    return "not listed: The Sleuth Kit does not take it for an entry";
}

}  // namespace

Folder MakeFolder(const std::string& path, const std::vector<ByteRun>& runs, long long size) {
    Folder folder{path, {}, {}};
    for (const ByteRun& run : runs) {
        for (long long at = run.imageOffset;
             at + kEntryBytes <= run.imageOffset + run.length && at + kEntryBytes <= size;
             at += kEntryBytes) {
            folder.index.emplace(at, folder.slots.size());
            folder.slots.push_back(at);
        }
    }
    return folder;
}

std::string LongName(const std::string& bytes, const std::vector<long long>& slots, size_t i) {
    const auto* entry = reinterpret_cast<const unsigned char*>(bytes.data()) + slots[i];
    if (entry[11] == 0x0F) return {};
    unsigned char sum = 0;
    for (int k = 0; k < 11; ++k)
        sum = static_cast<unsigned char>(((sum & 1) << 7) + (sum >> 1) + entry[k]);
    const bool deleted = entry[0] == 0xE5;
    std::vector<std::uint16_t> units;
    bool complete = false;
    for (size_t j = i, order = 1; j-- > 0 && order <= 20; ++order) {
        const auto* part = reinterpret_cast<const unsigned char*>(bytes.data()) + slots[j];
        if (part[11] != 0x0F || part[13] != sum) break;
        // A deleted name's parts lost their order byte to the deletion mark.
        if (deleted ? part[0] != 0xE5 : (part[0] & 0x1F) != order) break;
        for (int at : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30})
            units.push_back(U16(part + at));
        if (!deleted && (part[0] & 0x40)) {
            complete = true;
            break;
        }
    }
    if (!deleted && !complete) return {};
    return Utf16Name(units);
}

std::string ShortName(const unsigned char* entry) {
    std::string base(reinterpret_cast<const char*>(entry), 8),
        ext(reinterpret_cast<const char*>(entry) + 8, 3);
    if (base[0] == 0x05) base[0] = static_cast<char>(0xE5);  // DOS's stand-in for a leading E5
    while (!base.empty() && base.back() == ' ') base.pop_back();
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    const auto lower = [](std::string& part) {
        for (char& c : part)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    };
    if (entry[12] & 0x08) lower(base);
    if (entry[12] & 0x10) lower(ext);
    return ext.empty() ? base : base + "." + ext;
}

bool HasOddByte(const unsigned char* entry) {
    for (int k = 0; k < 11; ++k)
        if (entry[k] < 0x20 || entry[k] > 0x7E) return true;
    return false;
}

unsigned FirstCluster(const std::string& bytes, long long dentry, bool fat32) {
    const auto* entry = reinterpret_cast<const unsigned char*>(bytes.data()) + dentry;
    return U16(entry + 26) | (fat32 ? static_cast<unsigned>(U16(entry + 20)) << 16 : 0U);
}

void FindRefused(Walk* walk) {
    const unsigned last = LastCluster(*walk->bytes);
    std::set<long long> scanned;
    for (const Folder& folder : walk->folders) {
        if (folder.slots.empty() || !scanned.insert(folder.slots.front()).second) continue;
        for (size_t i = 0; i < folder.slots.size(); ++i) {
            const auto* entry =
                reinterpret_cast<const unsigned char*>(walk->bytes->data()) + folder.slots[i];
            if (entry[0] == 0x00) break;  // where DOS stops reading the folder
            if (entry[0] == 0xE5 || entry[11] == 0x0F || entry[0] == '.') continue;
            const auto inode =
                static_cast<TSK_INUM_T>((folder.slots[i] - walk->rootStart) / kEntryBytes + 3);
            if (walk->reported.count(inode)) continue;
            std::string name = LongName(*walk->bytes, folder.slots, i);
            if (name.empty()) name = ShortName(entry);
            Leave(walk, LeftOut::Entry, folder.path + name,
                  Refusal(entry, FirstCluster(*walk->bytes, folder.slots[i], walk->fat32), last));
            ++walk->listing->leftOutEntries;
        }
    }
}

}  // namespace cli
