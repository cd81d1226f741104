// What is on a diskette image: every file and folder of its FAT file system, deleted entries
// included, as The Sleuth Kit reads them, with their byte runs and hashes; and, with the
// rescue's map, which of them an unreadable sector damaged and what the other unreadable
// sectors were (boot sector, FAT, a folder, free space).
#pragma once

#include <functional>
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
    // From the root folder, '/' between names: "Sub/Report 1999.doc". Any bytes the diskette
    // holds: a long name's half UTF-16 pair in its three-byte form, a short name's bytes as they
    // are (listing_names.h makes them fit each output).
    std::string path;
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

// What the listing did not give in full, and why: an entry The Sleuth Kit refuses, a file whose
// content was not read, a folder not walked again, or all that came after the work ran out.
struct LeftOut {
    enum Kind { Entry, Content, Folder, Rest };
    Kind kind = Entry;
    std::string path;  // as ListedFile::path; for Rest the folder it stopped in
    std::string why;   // one line, no name in it
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
    std::vector<LeftOut> leftOut;
    int leftOutEntries = 0;  // of leftOut, the entries on the diskette that are not listed
    bool cancelled = false;  // ListImage was asked to stop: false is returned, error empty
    std::string tskVersion;  // of The Sleuth Kit that listed, for the DFXML's creator
};

// Lists the file system of an image (.tvl or raw, told by content). mapPath "" looks beside
// the image: IMAGE.map or, for NAME.tvl / NAME.img, NAME.map; none there is no damage known.
// A diskette without a FAT file system is no error: true with hasFileSystem false and why.
// False with a one-line reason when the image or the map cannot be read or do not fit.
// Any diskette lists in bounded time: no file is read past the diskette's size, content met
// before is not hashed again, and past a limit of work the rest is left out, in leftOut.
// cancelled is asked between entries and reads (at least every few milliseconds of work); when it
// says yes, false is returned with listing->cancelled set.
bool ListImage(const std::string& imagePath, const std::string& mapPath, DisketteListing* listing,
               std::string* error, const std::function<bool()>& cancelled = {});

// How the outputs name a kind of LeftOut: "entry", "content", "folder", "rest".
const char* LeftOutKindName(LeftOut::Kind kind);

// The whole Digital Forensics XML document, fileobjects as the common file walker writes them.
std::string ListingDfxml(const DisketteListing& listing, const std::string& imageName);
// Whether DFXML can be written at all: false with a one-line reason where libxml2, loaded on
// first use, cannot be loaded (or the build has none).
bool CanWriteDfxml(std::string* why);

}  // namespace cli
