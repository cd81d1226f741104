#include "cli/listing_damage.h"

#include <algorithm>
#include <map>

namespace cli {

std::vector<Region> SystemRegions(TSK_FS_INFO* fs, long long blockSize) {
    std::vector<Region> regions;
    const struct {
        const char* path;
        const char* what;
    } parts[] = {{"/$MBR", "boot sector"}, {"/$FAT1", "FAT"}, {"/$FAT2", "second FAT"}};
    for (const auto& part : parts) {
        FileHandle file(tsk_fs_file_open(fs, nullptr, part.path));
        if (!file) {
            tsk_error_reset();
            continue;
        }
        for (const ByteRun& run : Runs(file.get(), blockSize, kWhole))
            regions.push_back({run.imageOffset, run.imageOffset + run.length, part.what});
    }
    for (const ByteRun& run : RunsOf(fs, fs->root_inum, blockSize))
        regions.push_back({run.imageOffset, run.imageOffset + run.length, "root folder"});
    return regions;
}

void MarkDamage(TSK_FS_INFO* fs, const SectorMap& map, const std::vector<Region>& system,
                DisketteListing* listing) {
    std::vector<bool> inFile(static_cast<size_t>(map.sectors), false);
    auto bad = [&](long long sector) {
        return sector < map.sectors && map.states[sector] != SectorFinished;
    };
    for (ListedFile& file : listing->files) {
        for (const ByteRun& run : file.runs) {
            for (long long at = run.imageOffset; at < run.imageOffset + run.length;) {
                const long long sector = at / kSector;
                const long long end =
                    std::min(run.imageOffset + run.length, (sector + 1) * kSector);
                if (bad(sector)) {
                    if (!file.folder) file.damagedBytes += end - at;
                    if (file.folder && file.allocated && !inFile[sector]) {
                        listing->damagedAreas.push_back({"folder " + file.path, 1});
                    }
                    if (file.allocated) inFile[sector] = true;
                }
                at = end;
            }
        }
        if (file.damagedBytes > 0) ++listing->damagedFiles;
    }
    std::map<std::string, int> others;
    for (int sector = 0; sector < map.sectors; ++sector) {
        if (!bad(sector) || inFile[sector]) continue;
        const long long at = sector * kSector;
        std::string what;
        for (const Region& region : system) {
            if (at >= region.start && at < region.end) what = region.what;
        }
        if (what.empty()) {
            // Allocated but in no file's bytes: the unused end of a file's last cluster.
            TSK_FS_BLOCK* block = tsk_fs_block_get(fs, nullptr, static_cast<TSK_DADDR_T>(sector));
            const bool used = block && (block->flags & TSK_FS_BLOCK_FLAG_ALLOC);
            if (block) tsk_fs_block_free(block);
            tsk_error_reset();
            what = used ? "slack of a file's last cluster" : "free space";
        }
        ++others[what];
    }
    // Folders were counted a sector at a time: one area each.
    std::map<std::string, int> folders;
    for (const DamagedArea& area : listing->damagedAreas) folders[area.what] += area.sectors;
    listing->damagedAreas.clear();
    for (const char* what : {"boot sector", "FAT", "second FAT", "root folder"}) {
        auto found = others.find(what);
        if (found == others.end()) continue;
        listing->damagedAreas.push_back({found->first, found->second});
        others.erase(found);
    }
    for (const auto& [what, sectors] : folders) listing->damagedAreas.push_back({what, sectors});
    for (const auto& [what, sectors] : others) listing->damagedAreas.push_back({what, sectors});
}

bool MendFirstFat(const std::vector<Region>& system, const SectorMap& map, std::string* bytes,
                  int* mended) {
    long long first = -1, second = -1, length = 0;
    for (const Region& region : system) {
        if (region.what == "FAT") first = region.start, length = region.end - region.start;
        if (region.what == "second FAT") second = region.start;
    }
    if (first < 0 || second < 0) return false;
    for (long long at = 0; at < length; at += kSector) {
        const long long a = (first + at) / kSector, b = (second + at) / kSector;
        if (b >= map.sectors || map.states[a] == SectorFinished || map.states[b] != SectorFinished)
            continue;
        bytes->replace(static_cast<size_t>(first + at), kSector, *bytes,
                       static_cast<size_t>(second + at), kSector);
        ++*mended;
    }
    return *mended > 0;
}

}  // namespace cli
