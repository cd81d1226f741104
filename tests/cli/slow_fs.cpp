// A one-file FUSE file system that serves a raw diskette image as MOUNT/disk.img and waits
// before every read and write, so that a job over it is slow enough to interrupt for certain.
//
// Usage: tavrel-slowfs BACKING_FILE MOUNTPOINT DELAY_MS
#define FUSE_USE_VERSION 31
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int g_backing = -1;
unsigned g_delayMs = 0;
constexpr const char* kName = "/disk.img";

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, kName) != 0) return -ENOENT;
    struct stat backing;
    if (fstat(g_backing, &backing) != 0) return -errno;
    st->st_mode = S_IFREG | 0644;
    st->st_nlink = 1;
    st->st_size = backing.st_size;
    return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) return -ENOENT;
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, kName + 1, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    if (std::strcmp(path, kName) != 0) return -ENOENT;
    // Every read reaches this process, none is served from the page cache.
    fi->direct_io = 1;
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info*) {
    if (g_delayMs) usleep(g_delayMs * 1000);
    ssize_t n = pread(g_backing, buffer, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info*) {
    if (g_delayMs) usleep(g_delayMs * 1000);
    ssize_t n = pwrite(g_backing, buffer, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s BACKING_FILE MOUNTPOINT DELAY_MS\n", argv[0]);
        return 64;
    }
    g_backing = open(argv[1], O_RDWR | O_CLOEXEC);
    if (g_backing < 0) {
        std::perror(argv[1]);
        return 1;
    }
    g_delayMs = static_cast<unsigned>(std::atoi(argv[3]));
    fuse_operations ops;
    std::memset(&ops, 0, sizeof ops);
    ops.getattr = GetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.read = Read;
    ops.write = Write;
    // Foreground and single-threaded: the test owns this process and unmounts it.
    char foreground[] = "-f", single[] = "-s";
    char* args[] = {argv[0], foreground, single, argv[2], nullptr};
    int rc = fuse_main(4, args, &ops, nullptr);
    close(g_backing);
    return rc;
}
