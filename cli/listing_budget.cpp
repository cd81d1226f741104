#include "cli/listing_budget.h"

#include <algorithm>
#include <tuple>

#include "engine/fixity.h"

namespace cli {

namespace {

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

}  // namespace

void ReadContent(Walk* walk, TSK_FS_FILE* file, long long dentry, ListedFile* entry) {
    const long long size = file->meta->size;
    const long long diskette = static_cast<long long>(walk->bytes->size());
    const auto key =
        std::make_tuple(dentry >= 0 ? FirstCluster(*walk->bytes, dentry, walk->fat32) : 0U, size,
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

}  // namespace cli
