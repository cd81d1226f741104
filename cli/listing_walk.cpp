// The walk over the diskette's folders as The Sleuth Kit gives them, with each entry's name
// read as DOS reads it, its content's runs and hashes, and the map's damage: the listing
// module's one entry.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <memory>

#include "cli/fat_entries.h"
#include "cli/listing_module.h"

// After the project's headers: The Sleuth Kit defines TRUE and FALSE as macros, which the
// platform's own constants of those names must not meet.
#include "cli/listing_budget.h"
#include "cli/listing_damage.h"
#include "cli/listing_tsk.h"
#include "cli/listing_walk.h"

namespace cli {

namespace {

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

// Where the entry of an inode lies in the diskette's bytes, -1 when it lies nowhere there.
long long DentryOffset(const Walk& walk, TSK_INUM_T inode) {
    if (walk.rootStart <= 0 || inode < 3) return -1;
    const long long at = walk.rootStart + static_cast<long long>(inode - 3) * kEntryBytes;
    return at + kEntryBytes <= static_cast<long long>(walk.bytes->size()) ? at : -1;
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

bool WalkFileSystem(const ListingInput& input, DisketteListing* listing, std::string* error) {
    listing->tskVersion = tsk_version_get_str();
    std::string& bytes = *input.bytes;
    const std::string& imagePath = *input.imagePath;
    const Cancelled& cancelled = *input.cancelled;
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
    if (input.map && MendFirstFat(SystemRegions(fs.get(), fs->block_size), *input.map, &bytes,
                                  &listing->mendedFat)) {
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
    if (input.map) MarkDamage(fs.get(), *input.map, system, listing);
    return true;
}

}  // namespace

}  // namespace cli

// The one symbol the module shows; everything else in it is hidden (cli/listing_module.cmake).
__attribute__((visibility("default"))) bool tavrel_list_file_system_1(
    const cli::ListingInput& input, cli::DisketteListing* listing, std::string* error) {
    return cli::WalkFileSystem(input, listing, error);
}
