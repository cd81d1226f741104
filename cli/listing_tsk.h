// The Sleuth Kit as the listing drives it: the diskette's content handed to it as an image of
// its own kind, its handles and its last error, and where a file's bytes lie.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/file_listing.h"
#include "platform/win_types.h"

// After the project's headers: The Sleuth Kit defines TRUE and FALSE as macros, which the
// platform's own constants of those names must not meet. With those constants declared here
// first, a file may include this header before or after the platform's.
#include <tsk/libtsk.h>

namespace cli {

constexpr long long kSector = 512;
// The runs of The Sleuth Kit's own parts (boot sector, FATs, root folder) are taken whole.
constexpr long long kWhole = 1LL << 40;

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
using ImageHandle = std::unique_ptr<TSK_IMG_INFO, ImageCloser>;
using FsHandle = std::unique_ptr<TSK_FS_INFO, FsCloser>;

// The Sleuth Kit's last error, on one line.
std::string TskError();

// The content as an image of The Sleuth Kit's, and its FAT file system; fs stays empty when
// there is none. False only when the image could not be opened.
bool OpenFs(const std::string& bytes, ImageHandle* image, FsHandle* fs, std::string* error);

std::vector<ByteRun> Runs(TSK_FS_FILE* file, long long blockSize, long long limit);

std::vector<ByteRun> RunsOf(TSK_FS_INFO* fs, TSK_INUM_T inode, long long blockSize);

}  // namespace cli
