// What the listing's walk over The Sleuth Kit's folders carries from entry to entry: the
// listing it fills, the diskette's bytes, the folders read as DOS reads them, and the work done
// so far against its limits.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "cli/fat_entries.h"
#include "cli/file_listing.h"
#include "cli/listing_tsk.h"

namespace cli {

using Cancelled = std::function<bool()>;

inline bool Asked(const Cancelled& cancelled) {
    return cancelled && cancelled();
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

inline void Leave(Walk* walk, LeftOut::Kind kind, const std::string& path, const std::string& why) {
    walk->listing->leftOut.push_back({kind, path, why});
}

// The Sleuth Kit decides whether to go into a folder from its name's type once this call has
// returned: marked a plain file, the folder is listed but not walked.
inline void StayOutOf(TSK_FS_FILE* file) {
    file->name->type = TSK_FS_NAME_TYPE_REG;
}

}  // namespace cli
