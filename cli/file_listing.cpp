#include "cli/file_listing.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>

#include "cli/image_scan.h"
#include "cli/listing_names.h"
#include "cli/map_file.h"
#include "drive/disk_errors.h"
#include "engine/fixity.h"
#include "platform/file_api.h"
#include "platform/handle.h"
#include "platform/last_error.h"

// After the project's headers: The Sleuth Kit defines TRUE and FALSE as macros, which the
// platform's own constants of those names must not meet.
#include <tsk/libtsk.h>

namespace cli {

namespace {

constexpr long long kSector = 512;
constexpr long long kEntryBytes = 32;

// The limit of work per diskette, in diskettes' worth of bytes: a sound diskette needs one of
// each (every file and every folder once), a damaged one with cross-linked or deleted files a
// little more. A hostile one gets no further: folders whose entries all claim the same chain
// would otherwise have whole diskettes hashed tens of thousands of times.
constexpr long long kHashedDiskettes = 8;
constexpr long long kFolderDiskettes = 2;
// The runs of The Sleuth Kit's own parts (boot sector, FATs, root folder) are taken whole.
constexpr long long kWhole = 1LL << 40;

using Cancelled = std::function<bool()>;

bool Asked(const Cancelled& cancelled) {
    return cancelled && cancelled();
}

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

// A raw image's bytes, read in pieces so a cancel is heard between them.
bool ReadRaw(const std::string& path, std::string* bytes, std::string* error,
             const Cancelled& cancelled) {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) {
        *error = "tavrel-cli: cannot read " + path + ": " + DiskErrorText(GetLastError(), FALSE);
        return false;
    }
    char chunk[65536];
    for (;;) {
        if (Asked(cancelled)) return false;
        DWORD done = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &done, nullptr)) {
            *error =
                "tavrel-cli: cannot read " + path + ": " + DiskErrorText(GetLastError(), FALSE);
            return false;
        }
        if (done == 0) return true;
        bytes->append(chunk, done);
    }
}

// The diskette's sectors: a raw image's bytes, or an image's track sides decoded in place.
bool LoadContent(const std::string& path, std::string* bytes, std::string* error,
                 const Cancelled& cancelled) {
    ImageReport report;
    std::string content;
    const bool read =
        InspectImage(path, &report, [&](int cylinder, int head, const std::uint8_t* data, int n) {
            const size_t at = static_cast<size_t>((cylinder * 2 + head) * n);
            if (content.size() < at + static_cast<size_t>(n)) content.resize(at + n);
            std::memcpy(content.data() + at, data, static_cast<size_t>(n));
            return !Asked(cancelled);
        });
    if (Asked(cancelled)) return false;
    if (read && report.kind == FileKind::RawImage) return ReadRaw(path, bytes, error, cancelled);
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
    long long limit;  // bytes: the diskette's, as no chain of it can hold more
    long long found = 0;
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
    collector->found += static_cast<long long>(size);
    return collector->found >= collector->limit ? TSK_WALK_STOP : TSK_WALK_CONT;
}

std::vector<ByteRun> Runs(TSK_FS_FILE* file, long long blockSize, long long limit) {
    std::vector<ByteRun> runs;
    RunCollector collector{&runs, blockSize, limit};
    if (tsk_fs_file_walk(file, TSK_FS_FILE_WALK_FLAG_AONLY, CollectRun, &collector)) {
        tsk_error_reset();  // a deleted file's clusters may be past recovery: what was found
    }
    return runs;
}

bool HashContent(TSK_FS_FILE* file, long long size, ListedFile* entry, const Cancelled& cancelled) {
    FixityHash hash;
    if (!hash.Start(kFixityAll)) return false;
    std::string chunk(65536, '\0');
    for (long long offset = 0; offset < size;) {
        if (Asked(cancelled)) return false;
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

// A folder's 32-byte entries in order, by where each lies in the diskette's bytes.
struct Folder {
    std::string path;  // the listing's, with its '/' ("" for the root)
    std::vector<long long> slots;
    std::unordered_map<long long, size_t> index;
};

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

std::uint16_t U16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// The long name before the short entry at slots[i], as the diskette holds it; "" when it has
// none that belongs to it (the parts' checksum and order, as DOS checks them).
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

// "README.TXT" from the 11 bytes of a short entry, its bytes as they are, in lower case where
// its flags say so (as Windows and mtools mark "readme.txt").
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

// A short name The Sleuth Kit would not give as it is: it puts '^' for each byte outside
// printable ASCII, so two names could list alike.
bool HasOddByte(const unsigned char* entry) {
    for (int k = 0; k < 11; ++k)
        if (entry[k] < 0x20 || entry[k] > 0x7E) return true;
    return false;
}

struct Walk {
    DisketteListing* listing = nullptr;
    TSK_FS_INFO* fs = nullptr;
    const std::string* bytes = nullptr;
    long long blockSize = 512;
    long long rootStart = 0;
    const Cancelled* cancelled = nullptr;
    long long entryLimit = 0, hashLimit = 0, folderLimit = 0;
    long long entries = 0, hashed = 0, folderBytes = 0;
    bool fat32 = false;
    bool crossLinked = false;
    // Content already read, by what decides it (first cluster, size, deleted, folder): its file.
    std::map<std::tuple<unsigned, long long, bool, bool>, size_t> contents;
    std::set<long long> folderStarts;
    std::deque<Folder> folders;
    std::map<std::string, Folder*> byWalkPath;  // by The Sleuth Kit's path, the latest of a name
    std::set<TSK_INUM_T> reported;
};

void Leave(Walk* walk, LeftOut::Kind kind, const std::string& path, const std::string& why) {
    walk->listing->leftOut.push_back({kind, path, why});
}

// Where the entry of an inode lies in the diskette's bytes, -1 when it lies nowhere there.
long long DentryOffset(const Walk& walk, TSK_INUM_T inode) {
    if (walk.rootStart <= 0 || inode < 3) return -1;
    const long long at = walk.rootStart + static_cast<long long>(inode - 3) * kEntryBytes;
    return at + kEntryBytes <= static_cast<long long>(walk.bytes->size()) ? at : -1;
}

unsigned FirstCluster(const Walk& walk, long long dentry) {
    const auto* entry = reinterpret_cast<const unsigned char*>(walk.bytes->data()) + dentry;
    return U16(entry + 26) | (walk.fat32 ? static_cast<unsigned>(U16(entry + 20)) << 16 : 0U);
}

// The Sleuth Kit's own entries that are no entries of the diskette: $MBR, $FAT1 and $FAT2,
// the folder $OrphanFiles (its deleted entries are listed under its name, as the file walker
// does), and each folder's "." and "..".
bool IsVirtual(const TSK_FS_FILE* file) {
    const char* name = file->name->name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return true;
    return file->meta && (file->meta->type == TSK_FS_META_TYPE_VIRT ||
                          file->meta->type == TSK_FS_META_TYPE_VIRT_DIR);
}

// The Sleuth Kit decides whether to go into a folder from its name's type once this call has
// returned: marked a plain file, the folder is listed but not walked.
void StayOutOf(TSK_FS_FILE* file) {
    file->name->type = TSK_FS_NAME_TYPE_REG;
}

// Byte runs and hashes; content met before (entries that share a chain) is taken from there.
void ReadContent(Walk* walk, TSK_FS_FILE* file, long long dentry, ListedFile* entry) {
    const long long size = file->meta->size;
    const long long diskette = static_cast<long long>(walk->bytes->size());
    const auto key = std::make_tuple(dentry >= 0 ? FirstCluster(*walk, dentry) : 0U, size,
                                     entry->allocated, entry->folder);
    if (dentry >= 0) {
        auto found = walk->contents.find(key);
        if (found != walk->contents.end()) {
            const ListedFile& same = walk->listing->files[found->second];
            entry->runs = same.runs;
            entry->hashed = same.hashed;
            entry->md5 = same.md5, entry->sha1 = same.sha1, entry->sha256 = same.sha256;
            return;
        }
        walk->contents.emplace(key, walk->listing->files.size());
    }
    entry->runs = Runs(file, walk->blockSize, diskette);
    if (size > diskette) {
        Leave(walk, LeftOut::Content, entry->path,
              "content not read: its size of " + std::to_string(size) +
                  " bytes is more than the diskette holds");
        return;
    }
    if (walk->hashed + size > walk->hashLimit) {
        Leave(walk, LeftOut::Content, entry->path,
              "content not read: the listing read " + std::to_string(walk->hashed) +
                  " bytes of files, its limit for a diskette of this size");
        return;
    }
    walk->hashed += size;
    entry->hashed = HashContent(file, size, entry, *walk->cancelled);
}

// Before The Sleuth Kit goes into a folder: each chain of clusters once, within the limit.
void EnterFolder(Walk* walk, TSK_FS_FILE* file, const std::string& walkPath,
                 const ListedFile& entry) {
    const long long first = entry.runs.empty() ? -1 : entry.runs.front().imageOffset;
    long long bytes = 0;
    for (const ByteRun& run : entry.runs) bytes += run.length;
    if (first >= 0 && !walk->folderStarts.insert(first).second) {
        walk->crossLinked = true;
        StayOutOf(file);
        Leave(walk, LeftOut::Folder, entry.path,
              "not walked: its clusters are those of a folder listed before");
        return;
    }
    if (walk->folderBytes + bytes > walk->folderLimit) {
        StayOutOf(file);
        Leave(walk, LeftOut::Folder, entry.path,
              "not walked: the listing read " + std::to_string(walk->folderBytes) +
                  " bytes of folders, its limit for a diskette of this size");
        return;
    }
    walk->folderBytes += bytes;
    walk->folders.push_back(
        MakeFolder(entry.path + "/", entry.runs, static_cast<long long>(walk->bytes->size())));
    walk->byWalkPath[walkPath + "/"] = &walk->folders.back();
}

TSK_WALK_RET_ENUM VisitEntry(TSK_FS_FILE* file, const char* parent, void* context) {
    auto* walk = static_cast<Walk*>(context);
    if (Asked(*walk->cancelled)) {
        walk->listing->cancelled = true;
        return TSK_WALK_STOP;
    }
    if (!file->name) return TSK_WALK_CONT;
    walk->reported.insert(file->name->meta_addr);
    const auto found = walk->byWalkPath.find(parent);
    const Folder* folder = found == walk->byWalkPath.end() ? nullptr : found->second;
    const std::string folderPath = folder ? folder->path : std::string(parent);
    if (file->name->meta_addr == TSK_FS_ORPHANDIR_INUM(walk->fs)) {
        // Finding the deleted entries that no folder holds walks every folder again, out of
        // reach of the limits: cross-linked folders would take it round and round.
        if (walk->crossLinked) {
            StayOutOf(file);
            Leave(walk, LeftOut::Folder, folderPath + file->name->name,
                  "not searched: deleted entries outside the folders, as the folders are "
                  "cross-linked");
        } else {
            walk->folders.push_back(Folder{folderPath + file->name->name + "/", {}, {}});
            walk->byWalkPath[std::string(parent) + file->name->name + "/"] = &walk->folders.back();
        }
        return TSK_WALK_CONT;
    }
    if (IsVirtual(file)) return TSK_WALK_CONT;
    if (++walk->entries > walk->entryLimit) {
        Leave(walk, LeftOut::Rest, folderPath,
              "the listing stopped after " + std::to_string(walk->entryLimit) +
                  " entries, as many as a diskette of this size has room for: its folders are "
                  "cross-linked");
        return TSK_WALK_STOP;
    }
    const long long dentry = DentryOffset(*walk, file->name->meta_addr);
    std::string name;
    if (folder && dentry >= 0) {
        auto slot = folder->index.find(dentry);
        if (slot != folder->index.end()) name = LongName(*walk->bytes, folder->slots, slot->second);
    }
    if (name.empty() && dentry >= 0 && (file->name->flags & TSK_FS_NAME_FLAG_ALLOC)) {
        const auto* short83 = reinterpret_cast<const unsigned char*>(walk->bytes->data()) + dentry;
        if (short83[11] != 0x0F && HasOddByte(short83)) name = ShortName(short83);
    }
    if (name.empty()) name = file->name->name;
    ListedFile entry;
    entry.path = folderPath + name;
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
        ReadContent(walk, file, dentry, &entry);
        if (Asked(*walk->cancelled)) {
            walk->listing->cancelled = true;
            return TSK_WALK_STOP;
        }
        if (TSK_FS_IS_DIR_META(meta.type))
            EnterFolder(walk, file, std::string(parent) + file->name->name, entry);
    }
    // Attribute 0x08 without the other low bits (a long name's parts have all four) is the label.
    entry.volumeLabel = entry.attributes >= 0 && (entry.attributes & 0x0F) == 0x08;
    if (!entry.folder && !entry.volumeLabel) ++walk->listing->fileCount;
    walk->listing->files.push_back(std::move(entry));
    return TSK_WALK_CONT;
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

// The entries DOS would list that The Sleuth Kit passed over, in each folder walked.
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
                  Refusal(entry, FirstCluster(*walk, folder.slots[i]), last));
            ++walk->listing->leftOutEntries;
        }
    }
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
    return Runs(file.get(), blockSize, kWhole);
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
        for (const ByteRun& run : Runs(file.get(), blockSize, kWhole))
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

const char* LeftOutKindName(LeftOut::Kind kind) {
    switch (kind) {
        case LeftOut::Entry:
            return "entry";
        case LeftOut::Content:
            return "content";
        case LeftOut::Folder:
            return "folder";
        case LeftOut::Rest:
            break;
    }
    return "rest";
}

bool ListImage(const std::string& imagePath, const std::string& mapPath, DisketteListing* listing,
               std::string* error, const std::function<bool()>& cancelled) {
    *listing = DisketteListing{};
    listing->imagePath = imagePath;
    std::string bytes;
    if (!LoadContent(imagePath, &bytes, error, cancelled)) {
        listing->cancelled = Asked(cancelled);
        if (listing->cancelled) error->clear();
        return false;
    }
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
    const long long diskette = listing->imageBytes;
    Walk walk;
    walk.listing = listing;
    walk.fs = fs.get();
    walk.bytes = &bytes;
    walk.blockSize = blockSize;
    walk.rootStart = root.empty() ? 0 : root.front().imageOffset;
    walk.cancelled = &cancelled;
    // No diskette has room for more entries than 32-byte slots.
    walk.entryLimit = diskette / kEntryBytes;
    walk.hashLimit = kHashedDiskettes * diskette;
    walk.folderLimit = kFolderDiskettes * diskette;
    walk.fat32 = fs->ftype == TSK_FS_TYPE_FAT32;
    walk.folders.push_back(MakeFolder("", root, diskette));
    walk.byWalkPath[""] = &walk.folders.back();
    if (!root.empty()) walk.folderStarts.insert(root.front().imageOffset);
    const int flags =
        TSK_FS_DIR_WALK_FLAG_RECURSE | TSK_FS_DIR_WALK_FLAG_ALLOC | TSK_FS_DIR_WALK_FLAG_UNALLOC;
    if (tsk_fs_dir_walk(fs.get(), fs->root_inum, static_cast<TSK_FS_DIR_WALK_FLAG_ENUM>(flags),
                        VisitEntry, &walk)) {
        *error = "tavrel-cli: " + imagePath + ": " + TskError();
        return false;
    }
    if (listing->cancelled) return false;
    // The Sleuth Kit's reasons are its own: what it passed over is found by reading each folder
    // walked as DOS does, once the walk saw everything it would give.
    const bool stopped = !listing->leftOut.empty() && listing->leftOut.back().kind == LeftOut::Rest;
    if (!stopped) FindRefused(&walk);
    if (!listing->mapPath.empty()) MarkDamage(fs.get(), map, system, listing);
    return true;
}

}  // namespace cli
