#include "cli/file_listing.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>

#include "cli/image_scan.h"
#include "cli/map_file.h"
#include "cli/text_file.h"
#include "engine/fixity.h"

// After the project's headers: The Sleuth Kit defines TRUE and FALSE as macros, which the
// platform's own constants of those names must not meet.
#include <tsk/libtsk.h>

namespace cli {

namespace {

constexpr long long kSector = 512;

// The diskette's content in memory, handed to The Sleuth Kit as an image of its own kind: the
// TSK_IMG_INFO (with its read cache) must come first, and is allocated by us.
struct MemoryImage {
    TSK_IMG_INFO info;
    const std::string* bytes;
};

ssize_t ReadMemory(TSK_IMG_INFO* img, TSK_OFF_T offset, char* buffer, size_t length) {
    const std::string& bytes = *reinterpret_cast<MemoryImage*>(img)->bytes;
    if (offset < 0 || static_cast<size_t>(offset) > bytes.size()) return -1;
    const size_t n = std::min(length, bytes.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, bytes.data() + offset, n);
    return static_cast<ssize_t>(n);
}
void CloseMemory(TSK_IMG_INFO* img) {
    std::free(img);
}
void StatMemory(TSK_IMG_INFO*, FILE*) {}

struct ImageCloser {
    void operator()(TSK_IMG_INFO* img) const { tsk_img_close(img); }
};
struct FsCloser {
    void operator()(TSK_FS_INFO* fs) const { tsk_fs_close(fs); }
};
struct FileCloser {
    void operator()(TSK_FS_FILE* file) const { tsk_fs_file_close(file); }
};
using FileHandle = std::unique_ptr<TSK_FS_FILE, FileCloser>;

// The Sleuth Kit's last error, on one line.
std::string TskError() {
    std::string text = tsk_error_get() ? tsk_error_get() : "unknown error";
    tsk_error_reset();
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The diskette's sectors: a raw image's bytes, or an image's track sides decoded in place.
bool LoadContent(const std::string& path, std::string* bytes, std::string* error) {
    ImageReport report;
    std::string content;
    const bool read =
        InspectImage(path, &report, [&](int cylinder, int head, const std::uint8_t* data, int n) {
            const size_t at = static_cast<size_t>((cylinder * 2 + head) * n);
            if (content.size() < at + static_cast<size_t>(n)) content.resize(at + n);
            std::memcpy(content.data() + at, data, static_cast<size_t>(n));
            return true;
        });
    if (read && report.kind == FileKind::RawImage) return ReadTextFile(path, bytes, error);
    if (!read || !report.complete() || !report.wellFormed()) {
        *error = "tavrel-cli: " + path + ": " +
                 (report.problem.empty() ? std::string("incomplete image") : report.problem);
        return false;
    }
    content.resize(static_cast<size_t>(report.diskBytes()));
    *bytes = std::move(content);
    return true;
}

// A FAT time as the diskette holds it. The Sleuth Kit read the entry's fields as local time
// (mktime), so local time turns them back into those fields.
std::string FatTime(std::time_t when, bool dateOnly) {
    if (when <= 0) return {};
    std::tm fields{};
    if (!localtime_r(&when, &fields)) return {};
    char text[32];
    std::strftime(text, sizeof text, dateOnly ? "%Y-%m-%d" : "%Y-%m-%dT%H:%M:%S", &fields);
    return text;
}

// The attribute byte of a FAT entry. The Sleuth Kit keeps only read-only of it (in the mode);
// its inode number counts the 32-byte entries from the first sector of the root folder
// (FATFS_INODE_2_SECT), which is on a FAT12 or FAT16 diskette where the entry lies.
int FatAttributes(const std::string& bytes, long long rootStart, TSK_INUM_T inode) {
    if (rootStart <= 0 || inode < 3) return -1;
    const long long at = rootStart + static_cast<long long>(inode - 3) * 32 + 11;
    if (at >= static_cast<long long>(bytes.size())) return -1;
    return static_cast<unsigned char>(bytes[static_cast<size_t>(at)]);
}

struct RunCollector {
    std::vector<ByteRun>* runs;
    long long blockSize;
};

TSK_WALK_RET_ENUM CollectRun(TSK_FS_FILE*, TSK_OFF_T offset, TSK_DADDR_T address, char*,
                             size_t size, TSK_FS_BLOCK_FLAG_ENUM flags, void* context) {
    auto* collector = static_cast<RunCollector*>(context);
    if (flags & (TSK_FS_BLOCK_FLAG_SPARSE | TSK_FS_BLOCK_FLAG_RES)) return TSK_WALK_CONT;
    const long long at = static_cast<long long>(address) * collector->blockSize;
    std::vector<ByteRun>& runs = *collector->runs;
    if (!runs.empty() && runs.back().imageOffset + runs.back().length == at &&
        runs.back().fileOffset + runs.back().length == offset) {
        runs.back().length += static_cast<long long>(size);
    } else {
        runs.push_back({offset, at, static_cast<long long>(size)});
    }
    return TSK_WALK_CONT;
}

std::vector<ByteRun> Runs(TSK_FS_FILE* file, long long blockSize) {
    std::vector<ByteRun> runs;
    RunCollector collector{&runs, blockSize};
    if (tsk_fs_file_walk(file, TSK_FS_FILE_WALK_FLAG_AONLY, CollectRun, &collector)) {
        tsk_error_reset();  // a deleted file's clusters may be past recovery: what was found
    }
    return runs;
}

bool HashContent(TSK_FS_FILE* file, long long size, ListedFile* entry) {
    FixityHash hash;
    if (!hash.Start(kFixityAll)) return false;
    std::string chunk(65536, '\0');
    for (long long offset = 0; offset < size;) {
        const size_t want = static_cast<size_t>(std::min<long long>(size - offset, 65536));
        const ssize_t got =
            tsk_fs_file_read(file, offset, chunk.data(), want, TSK_FS_FILE_READ_FLAG_NONE);
        if (got <= 0) {
            tsk_error_reset();
            return false;
        }
        if (!hash.Update(chunk.data(), static_cast<size_t>(got))) return false;
        offset += got;
    }
    if (!hash.Finish()) return false;
    entry->md5 = hash.Hex(FixityMd5);
    entry->sha1 = hash.Hex(FixitySha1);
    entry->sha256 = hash.Hex(FixitySha256);
    return true;
}

struct Walk {
    DisketteListing* listing;
    const std::string* bytes;
    long long blockSize;
    long long rootStart;
};

// The Sleuth Kit's own entries that are no entries of the diskette: $MBR, $FAT1 and $FAT2,
// the folder $OrphanFiles (its deleted entries are listed under its name, as the file walker
// does), and each folder's "." and "..".
bool IsVirtual(const TSK_FS_FILE* file) {
    const char* name = file->name->name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return true;
    return file->meta && (file->meta->type == TSK_FS_META_TYPE_VIRT ||
                          file->meta->type == TSK_FS_META_TYPE_VIRT_DIR);
}

TSK_WALK_RET_ENUM VisitEntry(TSK_FS_FILE* file, const char* parent, void* context) {
    auto* walk = static_cast<Walk*>(context);
    if (!file->name || IsVirtual(file)) return TSK_WALK_CONT;
    ListedFile entry;
    entry.path = std::string(parent) + file->name->name;
    entry.allocated = (file->name->flags & TSK_FS_NAME_FLAG_ALLOC) != 0;
    entry.inode = file->name->meta_addr;
    entry.folder = TSK_FS_IS_DIR_NAME(file->name->type) != 0;
    if (file->meta) {
        const TSK_FS_META& meta = *file->meta;
        entry.folder = entry.folder || TSK_FS_IS_DIR_META(meta.type);
        entry.size = meta.size;
        entry.metaType = meta.type;
        entry.mode = meta.mode;
        entry.written = FatTime(meta.mtime, false);
        entry.accessed = FatTime(meta.atime, true);
        entry.created = FatTime(meta.crtime, false);
        entry.attributes = FatAttributes(*walk->bytes, walk->rootStart, meta.addr);
        entry.runs = Runs(file, walk->blockSize);
        entry.hashed = HashContent(file, meta.size, &entry);
    }
    // Attribute 0x08 without the other low bits (a long name's parts have all four) is the label.
    entry.volumeLabel = entry.attributes >= 0 && (entry.attributes & 0x0F) == 0x08;
    if (!entry.folder && !entry.volumeLabel) ++walk->listing->fileCount;
    walk->listing->files.push_back(std::move(entry));
    return TSK_WALK_CONT;
}

// Where an unreadable sector lies: the runs of The Sleuth Kit's virtual files and folders
// name the parts that are no file.
struct Region {
    long long start, end;  // bytes of the image
    std::string what;
};

std::vector<ByteRun> RunsOf(TSK_FS_INFO* fs, TSK_INUM_T inode, long long blockSize) {
    FileHandle file(tsk_fs_file_open_meta(fs, nullptr, inode));
    if (!file) {
        tsk_error_reset();
        return {};
    }
    return Runs(file.get(), blockSize);
}

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
        for (const ByteRun& run : Runs(file.get(), blockSize))
            regions.push_back({run.imageOffset, run.imageOffset + run.length, part.what});
    }
    for (const ByteRun& run : RunsOf(fs, fs->root_inum, blockSize))
        regions.push_back({run.imageOffset, run.imageOffset + run.length, "root folder"});
    return regions;
}

// Marks the files the map's unreadable sectors touch, and names the other unreadable sectors.
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

bool LoadMap(const std::string& path, long long imageBytes, SectorMap* map, std::string* error) {
    MapStatus status;
    if (!LoadMapFile(path, map, &status, error)) return false;
    if (map->sectors * kSector != imageBytes) {
        *error = "tavrel-cli: " + path + " maps " + std::to_string(map->sectors) +
                 " sectors, not the " + std::to_string(imageBytes / kSector) + " of the image";
        return false;
    }
    return true;
}

using ImageHandle = std::unique_ptr<TSK_IMG_INFO, ImageCloser>;
using FsHandle = std::unique_ptr<TSK_FS_INFO, FsCloser>;

// The content as an image of The Sleuth Kit's, and its FAT file system; fs stays empty when
// there is none. False only when the image could not be opened.
bool OpenFs(const std::string& bytes, ImageHandle* image, FsHandle* fs, std::string* error) {
    auto* memory = static_cast<MemoryImage*>(std::calloc(1, sizeof(MemoryImage)));
    if (!memory) {
        *error = "out of memory";
        return false;
    }
    memory->bytes = &bytes;
    image->reset(tsk_img_open_external(memory, static_cast<TSK_OFF_T>(bytes.size()), kSector,
                                       ReadMemory, CloseMemory, StatMemory));
    if (!*image) {
        std::free(memory);
        *error = TskError();
        return false;
    }
    fs->reset(tsk_fs_open_img(image->get(), 0, TSK_FS_TYPE_FAT_DETECT));
    return true;
}

// Copies the second FAT's sector over each unreadable one of the first where the second's was
// read; true when it copied any (their count in mended).
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

}  // namespace

bool ListImage(const std::string& imagePath, const std::string& mapPath, DisketteListing* listing,
               std::string* error) {
    *listing = DisketteListing{};
    listing->imagePath = imagePath;
    std::string bytes;
    if (!LoadContent(imagePath, &bytes, error)) return false;
    listing->imageBytes = static_cast<long long>(bytes.size());
    listing->mapPath = mapPath.empty() ? MapBesideImage(imagePath) : mapPath;
    SectorMap map;
    if (!listing->mapPath.empty() && !LoadMap(listing->mapPath, listing->imageBytes, &map, error))
        return false;
    listing->unreadableSectors = listing->mapPath.empty() ? 0 : map.Unread();

    std::unique_ptr<TSK_IMG_INFO, ImageCloser> image;
    std::unique_ptr<TSK_FS_INFO, FsCloser> fs;
    if (!OpenFs(bytes, &image, &fs, error)) {
        *error = "tavrel-cli: " + imagePath + ": " + *error;
        return false;
    }
    if (!fs) {
        listing->why = "no FAT file system (The Sleuth Kit: " + TskError() + ")";
        return true;
    }
    // The Sleuth Kit follows the first FAT only: where a sector of it was unreadable and the
    // second copy's was not, the listing reads the second copy's, as DOS would.
    if (!listing->mapPath.empty() &&
        MendFirstFat(SystemRegions(fs.get(), fs->block_size), map, &bytes, &listing->mendedFat)) {
        fs.reset();
        image.reset();
        if (!OpenFs(bytes, &image, &fs, error) || (!fs && (*error = TskError(), true))) {
            *error = "tavrel-cli: " + imagePath + ": " + *error;
            return false;
        }
    }
    listing->hasFileSystem = true;
    listing->fileSystem = tsk_fs_type_toname(fs->ftype);
    std::transform(listing->fileSystem.begin(), listing->fileSystem.end(),
                   listing->fileSystem.begin(), [](char c) { return std::toupper(c); });
    const long long blockSize = fs->block_size;
    const std::vector<Region> system = SystemRegions(fs.get(), blockSize);
    const std::vector<ByteRun> root = RunsOf(fs.get(), fs->root_inum, blockSize);
    Walk walk{listing, &bytes, blockSize, root.empty() ? 0 : root.front().imageOffset};
    const int flags =
        TSK_FS_DIR_WALK_FLAG_RECURSE | TSK_FS_DIR_WALK_FLAG_ALLOC | TSK_FS_DIR_WALK_FLAG_UNALLOC;
    if (tsk_fs_dir_walk(fs.get(), fs->root_inum, static_cast<TSK_FS_DIR_WALK_FLAG_ENUM>(flags),
                        VisitEntry, &walk)) {
        *error = "tavrel-cli: " + imagePath + ": " + TskError();
        return false;
    }
    if (!listing->mapPath.empty()) MarkDamage(fs.get(), map, system, listing);
    return true;
}

}  // namespace cli
