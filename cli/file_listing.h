// What is on a diskette image: every file and folder of its FAT file system, deleted entries
// included, as The Sleuth Kit reads them, with their byte runs and hashes; and, with the
// rescue's map, which of them an unreadable sector damaged and what the other unreadable
// sectors were (boot sector, FAT, a folder, free space).
#pragma once

#include <string>
#include <vector>

namespace cli {

// Where a piece of a file lies: bytes from fileOffset of the file at imageOffset of the
// diskette's content (a raw image's byte offset), length bytes long.
struct ByteRun {
    long long fileOffset = 0;
    long long imageOffset = 0;
    long long length = 0;
};

struct ListedFile {
    std::string path;  // from the root folder, '/' between names: "Sub/Report 1999.doc"
    bool folder = false;
    // The volume label's entry: listed (the file walker lists it too), but not counted as a file.
    bool volumeLabel = false;
    bool allocated = true;  // false: a deleted entry
    long long size = 0;
    unsigned long long inode = 0;  // The Sleuth Kit's address of the entry
    int metaType = 0;              // its TSK_FS_META_TYPE (1 file, 2 folder)
    unsigned mode = 0;             // its permission bits (a read-only file has no write bits)
    int attributes = -1;           // the FAT attribute byte, -1 when unknown
    // The FAT times as the diskette holds them (local time, no zone): "1999-04-01T13:22:08";
    // accessed is a date ("1999-04-01"); empty when the entry has none.
    std::string written, accessed, created;
    std::vector<ByteRun> runs;
    bool hashed = false;  // false when the content could not be read
    std::string md5, sha1, sha256;
    long long damagedBytes = 0;  // of its runs, the bytes in unreadable sectors
};

// Unreadable sectors that belong to no file: "boot sector", "FAT", "second FAT",
// "root folder", "folder Sub", "free space", ...
struct DamagedArea {
    std::string what;
    int sectors = 0;
};

struct DisketteListing {
    bool hasFileSystem = false;
    std::string why;    // when there is none: one line
    int fileCount = 0;  // files, not folders, allocated and deleted
    int damagedFiles = 0;
    int unreadableSectors = 0;  // per the map; 0 without one
    std::string imagePath;
    std::string mapPath;     // the map used, "" when there was none
    std::string fileSystem;  // "FAT12"
    long long imageBytes = 0;
    int mendedFat = 0;              // unreadable sectors of the first FAT read from the second copy
    std::vector<ListedFile> files;  // folders before their content, as the walk met them
    std::vector<DamagedArea> damagedAreas;
};

// Lists the file system of an image (.tvl or raw, told by content). mapPath "" looks beside
// the image: IMAGE.map or, for NAME.tvl / NAME.img, NAME.map; none there is no damage known.
// A diskette without a FAT file system is no error: true with hasFileSystem false and why.
// False with a one-line reason when the image or the map cannot be read or do not fit.
bool ListImage(const std::string& imagePath, const std::string& mapPath, DisketteListing* listing,
               std::string* error);

// The whole Digital Forensics XML document, fileobjects as the common file walker writes them.
std::string ListingDfxml(const DisketteListing& listing, const std::string& imageName);

}  // namespace cli
