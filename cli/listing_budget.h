// The work a listing may do on one diskette, and content read once for every entry that shares
// it: a hostile diskette lists in bounded time.
#pragma once

#include <string>

#include "cli/file_listing.h"
#include "cli/listing_walk.h"

namespace cli {

// The limit of work per diskette, in diskettes' worth of bytes: a sound diskette needs one of
// each (every file and every folder once), a damaged one with cross-linked or deleted files a
// little more. A hostile one gets no further: folders whose entries all claim the same chain
// would otherwise have whole diskettes hashed tens of thousands of times.
constexpr long long kHashedDiskettes = 8;
constexpr long long kFolderDiskettes = 2;

// Byte runs and hashes; content met before (entries that share a chain) is taken from there.
void ReadContent(Walk* walk, TSK_FS_FILE* file, long long dentry, ListedFile* entry);

// Before The Sleuth Kit goes into a folder: each chain of clusters once, within the limit.
void EnterFolder(Walk* walk, TSK_FS_FILE* file, const std::string& walkPath,
                 const ListedFile& entry);

}  // namespace cli
