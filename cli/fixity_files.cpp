#include "cli/fixity_files.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>

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

namespace {

std::string EncodeBagName(const std::string& name) {
    std::string text;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\n')
            text += "%0A";
        else if (name[i] == '\r')
            text += "%0D";
        else if (name[i] == '%' && i + 2 < name.size() &&
                 std::isxdigit(static_cast<unsigned char>(name[i + 1])) &&
                 std::isxdigit(static_cast<unsigned char>(name[i + 2])))
            text += "%25";
        else
            text += name[i];
    }
    return text;
}

}  // namespace

std::string DecodeBagName(const std::string& name) {
    std::string decoded;
    for (size_t i = 0; i < name.size(); ++i) {
        std::string code = name[i] == '%' ? name.substr(i + 1, 2) : std::string();
        for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const char meant = code == "25" ? '%' : code == "0A" ? '\n' : code == "0D" ? '\r' : 0;
        if (meant) {
            decoded += meant;
            i += 2;
        } else {
            decoded += name[i];
        }
    }
    return decoded;
}

std::string ManifestLineText(const std::string& hash, const std::string& name, NameCoding coding) {
    return hash + "  " + (coding == NameCoding::Bag ? EncodeBagName(name) : name) + "\n";
}

bool ParseManifestLine(const std::string& line, NameCoding coding, ManifestLine* parsed) {
    const bool bag = coding == NameCoding::Bag;
    size_t end = line.size();
    // A line end, a Windows one too; in a bag, blanks after the name, which its readers drop.
    while (end > 0 && std::strchr(bag ? "\r\n \t" : "\r\n", line[end - 1])) --end;
    const size_t blank = line.find_first_of(bag ? " \t" : " ");
    if (end == 0 || line[0] == '#' || blank == 0 || blank == std::string::npos || blank + 1 >= end)
        return false;
    // sha256sum's "HASH  NAME", or "HASH *NAME" in binary mode; a bag's "HASH NAME" with any
    // blanks between, as its readers take it.
    size_t name = blank + 2;
    if (bag) {
        name = line.find_first_not_of(" \t", blank);
        while (name < end && line[name] == '*') ++name;
    }
    if (name >= end) return false;
    parsed->hash = line.substr(0, blank);
    parsed->name = line.substr(name, end - name);
    if (bag) parsed->name = DecodeBagName(parsed->name);
    return true;
}

std::string ManifestLineName(const std::string& line, NameCoding coding) {
    ManifestLine parsed;
    return ParseManifestLine(line, coding, &parsed) ? parsed.name : std::string();
}

std::vector<ManifestLine> ReadManifest(const std::string& path, bool* found, std::string* error,
                                       NameCoding coding) {
    std::vector<ManifestLine> lines;
    for (const std::string& line : FileLines(path, found, error)) {
        ManifestLine parsed;
        if (ParseManifestLine(line, coding, &parsed)) lines.push_back(parsed);
    }
    return lines;
}

}  // namespace cli
