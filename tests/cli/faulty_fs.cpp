// A one-file FUSE file system that serves a raw diskette image as MOUNT/disk.img and fails
// reads that touch chosen sectors with EIO, as a worn diskette does. What fails is read from
// a plan file, again whenever that file is replaced; MOUNT/stats counts the reads since.
//
// Usage: tavrel-faultyfs BACKING_FILE MOUNTPOINT PLAN_FILE
//
// Plan lines (sectors are logical, 512 bytes, from 0; '#' starts a comment):
//   bad FIRST [COUNT]                  every read touching these sectors fails
//   weak SECTOR K                      the first K reads touching the sector fail
//   chance SEED PERCENT FIRST [COUNT]  each read touching one fails with that chance; the
//                                      n-th read of a sector fails or not by SEED alone
//   delay MS                           every read and write of the disk waits this long
//                                      first, so that a job over it can be interrupted
#define FUSE_USE_VERSION 31
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

constexpr long long kSector = 512;
constexpr const char* kDisk = "/disk.img";
constexpr const char* kStats = "/stats";

struct Fault {
    enum Kind { Bad, Weak, Chance } kind = Bad;
    long long failures = 0;  // weak: how many reads fail
    std::uint64_t seed = 0;
    int percent = 0;
    long long reads = 0;  // reads that touched the sector so far
};

int g_backing = -1;
std::string g_planPath;
struct stat g_planStat {};
std::map<long long, Fault> g_faults;
unsigned g_delayMs = 0;
long long g_reads = 0, g_failed = 0, g_sectors = 0;

bool SamePlan(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Reads the plan again when its file changed; that also starts the counts afresh. The file
// system runs single-threaded, so nothing here needs a lock.
void RefreshPlan() {
    struct stat now {};
    if (stat(g_planPath.c_str(), &now) != 0) now = {};
    if (SamePlan(now, g_planStat)) return;
    g_planStat = now;
    g_faults.clear();
    g_delayMs = 0;
    g_reads = g_failed = g_sectors = 0;
    std::ifstream in(g_planPath);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string kind;
        if (!(words >> kind)) continue;
        Fault fault;
        long long first = 0, count = 1;
        if (kind == "bad") {
            words >> first;
            if (!(words >> count)) count = 1;
        } else if (kind == "weak") {
            fault.kind = Fault::Weak;
            words >> first >> fault.failures;
        } else if (kind == "chance") {
            fault.kind = Fault::Chance;
            words >> fault.seed >> fault.percent >> first;
            if (!(words >> count)) count = 1;
        } else if (kind == "delay") {
            words >> g_delayMs;
            continue;
        } else {
            std::fprintf(stderr, "tavrel-faultyfs: unknown plan line: %s\n", line.c_str());
            continue;
        }
        for (long long s = first; s < first + count; ++s) g_faults[s] = fault;
    }
}

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Counts the read for every faulty sector it touches; true when any of them fails it.
bool ReadFails(off_t offset, size_t size) {
    if (size == 0) return false;
    bool fails = false;
    auto it = g_faults.lower_bound(offset / kSector);
    auto end = g_faults.upper_bound((offset + static_cast<off_t>(size) - 1) / kSector);
    for (; it != end; ++it) {
        Fault& f = it->second;
        long long n = f.reads++;
        switch (f.kind) {
            case Fault::Bad:
                fails = true;
                break;
            case Fault::Weak:
                fails = fails || n < f.failures;
                break;
            case Fault::Chance:
                fails = fails || Mix(f.seed ^ Mix(static_cast<std::uint64_t>(it->first) ^
                                                  (static_cast<std::uint64_t>(n) << 32))) %
                                         100 <
                                     static_cast<std::uint64_t>(f.percent);
                break;
        }
    }
    return fails;
}

std::string StatsText() {
    return "reads " + std::to_string(g_reads) + "\nfailed " + std::to_string(g_failed) +
           "\nsectors " + std::to_string(g_sectors) + "\n";
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    st->st_nlink = 1;
    if (std::strcmp(path, kStats) == 0) {
        st->st_mode = S_IFREG | 0444;
        st->st_size = 4096;  // served with direct I/O: the reads say how much there is
        return 0;
    }
    if (std::strcmp(path, kDisk) != 0) return -ENOENT;
    struct stat backing;
    if (fstat(g_backing, &backing) != 0) return -errno;
    st->st_mode = S_IFREG | 0644;
    st->st_size = backing.st_size;
    return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) return -ENOENT;
    for (const char* name : {".", "..", kDisk + 1, kStats + 1})
        fill(buffer, name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    if (std::strcmp(path, kDisk) != 0 && std::strcmp(path, kStats) != 0) return -ENOENT;
    // Every read reaches this process, none is served from the page cache.
    fi->direct_io = 1;
    return 0;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*) {
    RefreshPlan();
    if (std::strcmp(path, kStats) == 0) {
        std::string text = StatsText();
        if (offset >= static_cast<off_t>(text.size())) return 0;
        size_t n = std::min(size, text.size() - static_cast<size_t>(offset));
        std::memcpy(buffer, text.data() + offset, n);
        return static_cast<int>(n);
    }
    // The medium's own pace, not a test waiting: a test that signals the tool cannot see when
    // the tool has turned the signal into a cancel request, so the job must stay slower than
    // that hand-over (up to one 50 ms message slice) for the cancel to land mid-pass.
    if (g_delayMs) usleep(g_delayMs * 1000);
    ++g_reads;
    g_sectors += static_cast<long long>((size + kSector - 1) / kSector);
    if (ReadFails(offset, size)) {
        ++g_failed;
        return -EIO;
    }
    ssize_t n = pread(g_backing, buffer, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int Write(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info*) {
    if (std::strcmp(path, kDisk) != 0) return -EACCES;
    if (g_delayMs) usleep(g_delayMs * 1000);
    ssize_t n = pwrite(g_backing, buffer, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s BACKING_FILE MOUNTPOINT PLAN_FILE\n", argv[0]);
        return 64;
    }
    g_backing = open(argv[1], O_RDWR | O_CLOEXEC);
    if (g_backing < 0) {
        std::perror(argv[1]);
        return 1;
    }
    // FUSE may change the working folder: keep the plan's full path.
    char* plan = realpath(argv[3], nullptr);
    g_planPath = plan ? plan : argv[3];
    std::free(plan);
    RefreshPlan();
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
