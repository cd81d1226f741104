#include "cli/fixity_files.h"

#include <sys/stat.h>

#include "cli/image_scan.h"
#include "cli/text_file.h"
#include "engine/fixity.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

constexpr FixityAlgorithm kAlgorithms[3] = {FixityMd5, FixitySha1, FixitySha256};

bool Collect(FixityHash& hash, HashSet* hashes) {
    if (!hash.Finish()) return false;
    for (FixityAlgorithm algorithm : kAlgorithms)
        if (hash.algorithms() & algorithm) (*hashes)[FixityName(algorithm)] = hash.Hex(algorithm);
    return true;
}

}  // namespace

bool FileHashes(const std::string& path, unsigned algorithms, HashSet* hashes) {
    // Through the platform's reads (wide paths of any length on Windows), whose errors count.
    std::string bytes, error;
    FixityHash hash;
    if (!ReadTextFile(path, &bytes, &error) || !hash.Start(algorithms)) return false;
    return hash.Update(bytes.data(), bytes.size()) && Collect(hash, hashes);
}

HashSet TextHashes(const std::string& text, unsigned algorithms) {
    HashSet hashes;
    FixityHash hash;
    if (hash.Start(algorithms) && hash.Update(text.data(), text.size())) Collect(hash, &hashes);
    return hashes;
}

bool ImageContentHashes(const std::string& path, unsigned algorithms, HashSet* hashes,
                        std::string* error) {
    FixityHash hash;
    if (!hash.Start(algorithms)) {
        *error = "the hashes could not be computed";
        return false;
    }
    ImageReport report;
    bool read = InspectImage(path, &report, [&](int, int, const std::uint8_t* data, int n) {
        return hash.Update(data, static_cast<std::size_t>(n)) != 0;
    });
    // A raw image's bytes are the diskette's content.
    if (read && report.kind == FileKind::RawImage) {
        if (FileHashes(path, algorithms, hashes)) return true;
        *error = "cannot be read";
        return false;
    }
    if (!read || !report.complete() || !report.wellFormed()) {
        *error = report.problem.empty() ? "incomplete image" : report.problem;
        return false;
    }
    if (Collect(hash, hashes)) return true;
    *error = "the hashes could not be computed";
    return false;
}

namespace {

// The file's lines; none, with error set, when it cannot be read to its end.
std::vector<std::string> FileLines(const std::string& path, bool* found, std::string* error) {
    std::string text, why;
    // A missing file reads as empty here, and is told apart by its name: it has none.
    const bool read = ReadTextFile(path, &text, &why, MissingFile::IsEmpty);
    struct stat st {};
    *found = !read || platform::SysLstat(path.c_str(), &st) == 0;
    if (!read) {
        if (error) *error = why;
        return {};
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::map<std::string, std::string> ReadKeyValues(const std::string& path, bool* found,
                                                 std::string* error) {
    std::map<std::string, std::string> values;
    for (const std::string& line : FileLines(path, found, error)) {
        size_t colon = line.find(": ");
        if (colon == std::string::npos || line[0] == '#') continue;
        values.emplace(line.substr(0, colon), line.substr(colon + 2));
    }
    return values;
}

std::vector<ManifestLine> ReadManifest(const std::string& path, bool* found, std::string* error) {
    std::vector<ManifestLine> lines;
    for (const std::string& line : FileLines(path, found, error)) {
        // "HASH  NAME" in text mode, "HASH *NAME" in binary mode.
        size_t space = line.find(' ');
        if (space == std::string::npos || space + 2 > line.size()) continue;
        lines.push_back({line.substr(0, space), line.substr(space + 2)});
    }
    return lines;
}

}  // namespace cli
