// Feeds arbitrary bytes to the image reader exactly as expand and verify read a file: the
// header check, then every record the diskette named by the header would have.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "drive/media_table.h"
#include "engine/disk_job.h"
#include "platform/window.h"

namespace {

struct Reader {
    Reader() : job(nullptr) {
        // Message boxes have no owner here; they are counted, not shown.
        platform::SetOwnerlessMessageBox([](const char*, const char*, UINT) { return IDOK; });
        fd = memfd_create("image", 0);
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    CDiskJob job;
    int fd;
    std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static Reader* reader = new Reader;
    CDiskJob& job = reader->job;
    if (ftruncate(reader->fd, 0) != 0 ||
        pwrite(reader->fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;

    // The diskette in the drive: the layout the header names when it names one.
    int row = size > 2 ? MediaRowForCode(data[2]) : -1;
    if (row < 0) row = 3;
    job.m_mediaIndex = row;
    job.m_mediaCode = MediaTypeTable[row].mediaCode;
    job.m_trackBytes = MediaTypeTable[row].sectorsPerTrack * 512;
    g_imageHeader.mediaCode = static_cast<std::uint8_t>(job.m_mediaCode);

    if (job.OpenImage(reader->path, TRUE) && job.ReadImageHeader()) {
        int sides = 2 * (MediaTypeTable[row].lastCylinder + 1);
        for (int i = 0; i < sides && job.ReadTrackRecord(); ++i) {
        }
    }
    job.CloseImage(FALSE);
    return 0;
}
