// tavrel-practice-drive: a diskette drive to practise a rescue on, with no failing diskette at
// hand. It serves a raw diskette image as FOLDER/disk.img through FUSE and fails the reads that
// touch chosen sectors with EIO, as a worn diskette does; writes go to the image. The tests use
// it as their slow and faulty drive, with a plan file they replace while it runs.
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

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr long long kSector = 512;
constexpr const char* kDisk = "/disk.img";
constexpr const char* kStats = "/stats";
constexpr int kUsage = 64;

struct Fault {
    enum Kind { Bad, Weak, Chance } kind = Bad;
    long long failures = 0;  // weak: how many reads fail
    std::uint64_t seed = 0;
    int percent = 0;
    long long reads = 0;  // reads that touched the sector so far
};

int g_backing = -1;
std::string g_fixedPlan;  // the plan lines the command line gave
std::string g_planPath;   // empty: no plan file
struct stat g_planStat {};
std::map<long long, Fault> g_faults;
unsigned g_delayMs = 0;
long long g_reads = 0, g_failed = 0, g_sectors = 0;

bool SamePlan(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Adds the faults of plan text; the lines it does not take go to badLines.
void ParsePlan(const std::string& text, std::vector<std::string>* badLines) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string kind;
        if (!(words >> kind)) continue;
        Fault fault;
        long long first = 0, count = 1;
        bool ok = true;
        if (kind == "bad") {
            ok = static_cast<bool>(words >> first);
            if (ok && !(words >> count)) count = 1;
        } else if (kind == "weak") {
            fault.kind = Fault::Weak;
            ok = static_cast<bool>(words >> first >> fault.failures);
        } else if (kind == "chance") {
            fault.kind = Fault::Chance;
            ok = static_cast<bool>(words >> fault.seed >> fault.percent >> first);
            if (ok && !(words >> count)) count = 1;
        } else if (kind == "delay") {
            ok = static_cast<bool>(words >> g_delayMs);
            if (ok) continue;
        } else {
            ok = false;
        }
        if (!ok || first < 0 || count < 1) {
            badLines->push_back(line);
            continue;
        }
        for (long long s = first; s < first + count; ++s) g_faults[s] = fault;
    }
}

std::string ReadPlanFile() {
    std::ifstream in(g_planPath);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Takes the plan afresh when its file changed; that also starts the counts afresh. The file
// system runs single-threaded, so nothing here needs a lock.
void RefreshPlan() {
    if (g_planPath.empty()) return;
    struct stat now {};
    if (stat(g_planPath.c_str(), &now) != 0) now = {};
    if (SamePlan(now, g_planStat)) return;
    g_planStat = now;
    g_faults.clear();
    g_delayMs = 0;
    g_reads = g_failed = g_sectors = 0;
    std::vector<std::string> badLines;
    ParsePlan(g_fixedPlan + ReadPlanFile(), &badLines);
    for (const std::string& line : badLines)
        std::fprintf(stderr, "tavrel-practice-drive: unknown plan line: %s\n", line.c_str());
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

// "FIRST" or "FIRST-LAST" as a plan's FIRST COUNT.
bool SectorRange(const std::string& text, long long* first, long long* count) {
    char* end = nullptr;
    errno = 0;
    long long a = std::strtoll(text.c_str(), &end, 10);
    long long b = a;
    if (*end == '-') b = std::strtoll(end + 1, &end, 10);
    if (errno || *end || end == text.c_str() || a < 0 || b < a) return false;
    *first = a;
    *count = b - a + 1;
    return true;
}

constexpr const char* kDescription =
    "Serves IMAGE, a raw diskette image, as FOLDER/disk.img: a drive whose reads of chosen "
    "sectors fail, to practise a rescue on. Give FOLDER/disk.img to tavrel-cli as the DRIVE. "
    "Sectors count from 0, 512 bytes each (cylinder by cylinder, head 0 before head 1; a 1.44 MB "
    "diskette has 18 sectors a track side, so cylinder 10 head 1 is sectors 378-395). The drive "
    "runs in the background until `fusermount3 -u FOLDER` stops it; FOLDER/stats counts its "
    "reads.";

constexpr const char* kFooter =
    "Example:\n"
    "  mkfs.fat -C practice.img 1440\n"
    "  tavrel-practice-drive practice.img drive --bad 378-395 --weak 1000:10\n"
    "  tavrel-cli rescue drive/disk.img rescued.tvl\n"
    "  fusermount3 -u drive\n"
    "\n"
    "IMAGE FOLDER PLAN, the form the tests use, is --plan PLAN --foreground.\n"
    "\n"
    "Plan lines: bad FIRST [COUNT], weak SECTOR K, chance SEED PERCENT FIRST [COUNT], delay MS.\n"
    "\n"
    "Exit codes: 0 stopped, 1 the image cannot be opened or FUSE failed, 64 usage error.";

}  // namespace

int main(int argc, char** argv) {
    CLI::App app(kDescription, "tavrel-practice-drive");
    app.footer(kFooter);
    app.get_formatter()->column_width(30);
    std::string image, folder, legacyPlan, planFile;
    std::vector<std::string> bad, weak;
    unsigned delayMs = 0;
    bool foreground = false;
    app.add_option("IMAGE", image, "The raw diskette image to serve (mkfs.fat -C makes one)")
        ->required();
    app.add_option("FOLDER", folder,
                   "Where the drive appears, as FOLDER/disk.img (made when missing)")
        ->required();
    app.add_option("PLAN", legacyPlan, "The tests' form: --plan PLAN --foreground");
    app.add_option("--bad", bad,
                   "Every read of these sectors fails: FIRST or FIRST-LAST; repeatable")
        ->type_name("SECTORS")
        ->allow_extra_args(false);
    app.add_option("--weak", weak,
                   "The first TRIES reads of these sectors fail, the later ones read: "
                   "SECTORS:TRIES; repeatable")
        ->type_name("SECTORS:TRIES")
        ->allow_extra_args(false);
    app.add_option("--slow", delayMs, "Every read and write waits MS milliseconds first")
        ->type_name("MS");
    app.add_option("--plan", planFile,
                   "Take more faults from this file, and again whenever it changes (which also "
                   "starts the counts afresh)")
        ->type_name("FILE");
    app.add_flag("-f,--foreground", foreground, "Stay in the foreground; Ctrl+C stops the drive");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);
        std::fprintf(stderr,
                     "tavrel-practice-drive: %s\n"
                     "Usage: tavrel-practice-drive [--bad SECTORS] [--weak SECTORS:TRIES] "
                     "[--slow MS] [--plan FILE] [-f] IMAGE FOLDER\n"
                     "tavrel-practice-drive --help tells more.\n",
                     e.what());
        return kUsage;
    }
    if (!legacyPlan.empty()) {
        if (!planFile.empty()) {
            std::fprintf(stderr, "tavrel-practice-drive: PLAN and --plan both given\n");
            return kUsage;
        }
        planFile = legacyPlan;
        foreground = true;
    }

    std::ostringstream plan;
    for (const std::string& range : bad) {
        long long first = 0, count = 0;
        if (!SectorRange(range, &first, &count)) {
            std::fprintf(stderr, "tavrel-practice-drive: --bad %s: not FIRST or FIRST-LAST\n",
                         range.c_str());
            return kUsage;
        }
        plan << "bad " << first << ' ' << count << '\n';
    }
    for (const std::string& entry : weak) {
        size_t colon = entry.rfind(':');
        long long first = 0, count = 0;
        char* end = nullptr;
        long long tries =
            colon == std::string::npos ? -1 : std::strtoll(entry.c_str() + colon + 1, &end, 10);
        if (colon == std::string::npos || !SectorRange(entry.substr(0, colon), &first, &count) ||
            *end || tries < 1) {
            std::fprintf(stderr, "tavrel-practice-drive: --weak %s: not SECTORS:TRIES\n",
                         entry.c_str());
            return kUsage;
        }
        for (long long s = first; s < first + count; ++s)
            plan << "weak " << s << ' ' << tries << '\n';
    }
    if (delayMs) plan << "delay " << delayMs << '\n';
    g_fixedPlan = plan.str();
    std::vector<std::string> unused;
    ParsePlan(g_fixedPlan, &unused);  // made above, so every line is taken
    if (!planFile.empty()) {
        // FUSE changes the working folder when it goes into the background: keep the full path.
        char* full = realpath(planFile.c_str(), nullptr);
        g_planPath = full ? full : planFile;
        std::free(full);
        RefreshPlan();
    }

    g_backing = open(image.c_str(), O_RDWR | O_CLOEXEC);
    if (g_backing < 0) {
        std::fprintf(stderr, "tavrel-practice-drive: %s: %s\n", image.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "tavrel-practice-drive: %s: %s\n", folder.c_str(),
                     std::strerror(errno));
        return 1;
    }
    fuse_operations ops;
    std::memset(&ops, 0, sizeof ops);
    ops.getattr = GetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.read = Read;
    ops.write = Write;
    // Single-threaded, so the counts need no lock. In the background FUSE returns to the shell
    // only once the drive is mounted, so the next command finds FOLDER/disk.img there.
    std::string name = "tavrel-practice-drive";
    char single[] = "-s", fg[] = "-f";
    std::vector<char*> args = {name.data(), single};
    if (foreground) args.push_back(fg);
    args.push_back(folder.data());
    args.push_back(nullptr);
    int rc = fuse_main(static_cast<int>(args.size()) - 1, args.data(), &ops, nullptr);
    close(g_backing);
    return rc == 0 ? 0 : 1;
}
