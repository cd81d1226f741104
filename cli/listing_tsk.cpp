#include "cli/listing_tsk.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cli {

namespace {

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

}  // namespace

std::string TskError() {
    std::string text = tsk_error_get() ? tsk_error_get() : "unknown error";
    tsk_error_reset();
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

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

std::vector<ByteRun> Runs(TSK_FS_FILE* file, long long blockSize, long long limit) {
    std::vector<ByteRun> runs;
    RunCollector collector{&runs, blockSize, limit};
    if (tsk_fs_file_walk(file, TSK_FS_FILE_WALK_FLAG_AONLY, CollectRun, &collector)) {
        tsk_error_reset();  // a deleted file's clusters may be past recovery: what was found
    }
    return runs;
}

std::vector<ByteRun> RunsOf(TSK_FS_INFO* fs, TSK_INUM_T inode, long long blockSize) {
    FileHandle file(tsk_fs_file_open_meta(fs, nullptr, inode));
    if (!file) {
        tsk_error_reset();
        return {};
    }
    return Runs(file.get(), blockSize, kWhole);
}

}  // namespace cli
