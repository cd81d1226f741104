// A FAT folder's 32-byte entries read the way DOS reads them: their names, long and short, their
// first cluster, and the entries DOS would list that The Sleuth Kit passed over.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/file_listing.h"

namespace cli {

constexpr long long kEntryBytes = 32;

// A folder's 32-byte entries in order, by where each lies in the diskette's bytes.
struct Folder {
    std::string path;  // the listing's, with its '/' ("" for the root)
    std::vector<long long> slots;
    std::unordered_map<long long, size_t> index;
};

Folder MakeFolder(const std::string& path, const std::vector<ByteRun>& runs, long long size);

// The long name before the short entry at slots[i], as the diskette holds it; "" when it has
// none that belongs to it (the parts' checksum and order, as DOS checks them).
std::string LongName(const std::string& bytes, const std::vector<long long>& slots, size_t i);

// "README.TXT" from the 11 bytes of a short entry, its bytes as they are, in lower case where
// its flags say so (as Windows and mtools mark "readme.txt").
std::string ShortName(const unsigned char* entry);

// A short name The Sleuth Kit would not give as it is: it puts '^' for each byte outside
// printable ASCII, so two names could list alike.
bool HasOddByte(const unsigned char* entry);

// The first cluster of the entry at dentry; the high half of it counts on FAT32 only.
unsigned FirstCluster(const std::string& bytes, long long dentry, bool fat32);

struct Walk;

// The entries DOS would list that The Sleuth Kit passed over, in each folder walked.
void FindRefused(Walk* walk);

}  // namespace cli
