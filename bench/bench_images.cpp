#include "bench/bench_images.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <utility>

namespace {

int Run(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

unsigned Get16(const std::vector<std::uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8;
}

// Free bytes and cluster size of a freshly formatted FAT12 image, from its boot sector.
std::pair<long, long> FreeSpace(const std::vector<std::uint8_t>& image) {
    long sectorsPerCluster = image[13];
    long reserved = Get16(image, 14);
    long fats = image[16];
    long rootSectors = (Get16(image, 17) * 32L + 511) / 512;
    long total = Get16(image, 19);
    long perFat = Get16(image, 22);
    long clusters = (total - reserved - fats * perFat - rootSectors) / sectorsPerCluster;
    long clusterBytes = sectorsPerCluster * 512;
    return {clusters * clusterBytes, clusterBytes};
}

// Prose of the kind a diskette of notes carries: words, punctuation, short and long lines,
// an indented block now and then. Deterministic, so every run packs the same bytes.
std::string Text(std::mt19937& random, size_t bytes) {
    static const char* const words[] = {
        "the",     "disk",    "of",     "and",     "to",      "a",      "in",         "file",
        "is",      "that",    "for",    "track",   "it",      "with",   "as",         "was",
        "on",      "be",      "at",     "by",      "this",    "drive",  "sector",     "from",
        "or",      "have",    "an",     "they",    "which",   "one",    "you",        "were",
        "her",     "all",     "she",    "there",   "would",   "their",  "we",         "him",
        "been",    "has",     "when",   "who",     "will",    "more",   "no",         "if",
        "out",     "so",      "said",   "what",    "up",      "its",    "about",      "into",
        "than",    "them",    "can",    "only",    "other",   "new",    "some",       "could",
        "time",    "these",   "two",    "may",     "then",    "do",     "first",      "any",
        "my",      "now",     "such",   "like",    "our",     "over",   "man",        "me",
        "even",    "most",    "made",   "after",   "also",    "did",    "many",       "before",
        "must",    "through", "back",   "years",   "where",   "much",   "your",       "way",
        "well",    "down",    "should", "because", "each",    "just",   "those",      "people",
        "how",     "too",     "little", "state",   "good",    "very",   "make",       "world",
        "still",   "own",     "see",    "men",     "work",    "long",   "get",        "here",
        "between", "both",    "life",   "being",   "under",   "never",  "day",        "same",
        "another", "know",    "while",  "last",    "might",   "us",     "great",      "old",
        "year",    "off",     "come",   "since",   "against", "go",     "came",       "right",
        "used",    "take",    "three",  "1994",    "12.5",    "README", "CONFIG.SYS", "C:\\DOS"};
    constexpr size_t wordCount = sizeof words / sizeof words[0];
    std::string s;
    size_t line = 0;
    while (s.size() < bytes) {
        std::string w = words[random() % wordCount];
        if (line == 0 && !w.empty())
            w[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
        if (line + w.size() > 60 + random() % 16) {
            s += random() % 9 == 0 ? ".\r\n\r\n" : "\r\n";
            if (random() % 23 == 0) s += "        ";
            line = 0;
        } else if (line) {
            s += random() % 11 == 0 ? ", " : " ";
        }
        s += w;
        line += w.size() + 1;
    }
    s.resize(bytes);
    return s;
}

// Program files: slices of this machine's own executables, the nearest thing at hand to the
// programs a diskette carries (code, tables, zero padding, strings).
std::string Program(std::mt19937& random, size_t bytes) {
    static const char* const candidates[] = {"/bin/ls",       "/bin/cp",       "/bin/sed",
                                             "/bin/grep",     "/usr/bin/gzip", "/usr/bin/diff",
                                             "/usr/bin/find", "/bin/tar",      "/bin/bash"};
    std::vector<std::string> present;
    for (const char* c : candidates)
        if (access(c, R_OK) == 0) present.emplace_back(c);
    if (present.empty()) present.emplace_back("/proc/self/exe");
    const std::string& from = present[random() % present.size()];
    std::vector<std::uint8_t> all = ReadAll(from);
    std::string s;
    size_t at = all.size() > bytes ? (random() % (all.size() - bytes)) & ~size_t{4095} : 0;
    while (s.size() < bytes && !all.empty()) {
        size_t take = std::min(bytes - s.size(), all.size() - at);
        s.append(reinterpret_cast<const char*>(all.data() + at), take);
        at = 0;
    }
    s.resize(bytes);
    return s;
}

// Copies files onto the formatted image until fraction of its free space is used; at 1.0 the
// last file is cut to what is left, so the diskette ends full to the last cluster.
bool FillWithFiles(const std::string& path, double fraction, unsigned seed) {
    std::vector<std::uint8_t> image = ReadAll(path);
    auto [freeBytes, clusterBytes] = FreeSpace(image);
    long target = static_cast<long>(static_cast<double>(freeBytes) * fraction);
    std::string dir = path + ".files";
    if (Run("rm -rf '" + dir + "' && mkdir -p '" + dir + "'") != 0) return false;
    std::mt19937 random(seed);
    long used = 0;
    std::string names;
    for (int i = 0; used < target; ++i) {
        bool text = i % 2 == 0;
        long size = text ? 2000 + static_cast<long>(random() % 30000)
                         : 8000 + static_cast<long>(random() % 90000);
        long clusters = (size + clusterBytes - 1) / clusterBytes;
        if (used + clusters * clusterBytes > target) {
            size = target - used;
            clusters = (size + clusterBytes - 1) / clusterBytes;
        }
        char name[32];
        std::snprintf(name, sizeof name, text ? "DOC%03d.TXT" : "PROG%03d.EXE", i);
        std::string bytes = text ? Text(random, static_cast<size_t>(size))
                                 : Program(random, static_cast<size_t>(size));
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        names += " '" + dir + "/" + name + "'";
        used += clusters * clusterBytes;
    }
    int rc = Run("MTOOLS_SKIP_CHECK=1 mcopy -i '" + path + "'" + names + " ::/ >/dev/null");
    Run("rm -rf '" + dir + "'");
    return rc == 0;
}

bool Format(const std::string& path, const ImageLayout& layout) {
    char command[512];
    std::snprintf(command, sizeof command, "rm -f '%s' && mkfs.fat -C -M 0x%02X '%s' %d >/dev/null",
                  path.c_str(), layout.mediaDescriptor, path.c_str(), layout.kilobytes);
    return Run(command) == 0;
}

}  // namespace

const char* ImageContentName(ImageContent content) {
    switch (content) {
        case ImageContent::Blank:
            return "blank";
        case ImageContent::Half:
            return "half";
        case ImageContent::Full:
            return "full";
        case ImageContent::Random:
            return "random";
        case ImageContent::Worst:
            return "worst";
    }
    return "?";
}

bool MakeBenchImage(const std::string& path, const ImageLayout& layout, ImageContent content) {
    if (!Format(path, layout)) {
        std::fprintf(stderr, "mkfs.fat failed for %s\n", path.c_str());
        return false;
    }
    bool ok = true;
    switch (content) {
        case ImageContent::Blank:
            break;
        case ImageContent::Half:
            ok = FillWithFiles(path, 0.5, 1);
            break;
        case ImageContent::Full:
            ok = FillWithFiles(path, 1.0, 2);
            break;
        case ImageContent::Random:
        case ImageContent::Worst: {
            // The boot sector stays, so that the image is still recognised as a diskette.
            std::vector<std::uint8_t> image = ReadAll(path);
            std::mt19937 random(3);
            for (size_t i = 512; i < image.size(); ++i)
                image[i] =
                    static_cast<std::uint8_t>(content == ImageContent::Random ? random() : i % 251);
            ok = WriteAll(path, image);
            break;
        }
    }
    if (!ok) std::fprintf(stderr, "filling %s failed\n", path.c_str());
    return ok;
}

const std::string& BenchWorkDir() {
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tavrel-bench-XXXXXX";
        const char* made = mkdtemp(pattern.data());
        std::string d = made ? made : ".";
        static std::string remove;
        remove = d;
        std::atexit([] { Run("rm -rf '" + remove + "'"); });
        return d;
    }();
    return dir;
}

std::string BenchImagePath(const ImageLayout& layout, ImageContent content) {
    std::string path =
        BenchWorkDir() + "/" + layout.name + "-" + ImageContentName(content) + ".img";
    BenchImage(layout, content);
    return path;
}

const std::vector<std::uint8_t>& BenchImage(const ImageLayout& layout, ImageContent content) {
    static std::map<std::string, std::vector<std::uint8_t>> made;
    std::string path =
        BenchWorkDir() + "/" + layout.name + "-" + ImageContentName(content) + ".img";
    auto found = made.find(path);
    if (found != made.end()) return found->second;
    std::vector<std::uint8_t> bytes;
    if (MakeBenchImage(path, layout, content)) bytes = ReadAll(path);
    return made.emplace(path, std::move(bytes)).first->second;
}
