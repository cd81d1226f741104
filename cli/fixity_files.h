// The files that keep a batch's fixity: key: value info files, manifests in the format of
// sha256sum -c (a bag's with some characters of its names encoded), and the hashes of the diskette
// content an image decodes to.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cli {

using HashSet = std::map<std::string, std::string>;  // algorithm name -> lower-case hex

// The hashes of the diskette content an image decodes to (its sectors in order), or of a raw
// image's bytes, which are that content; which of the two the file is, its content says, not
// its name. False, with error set, when the file is neither or the image is not complete and
// sound.
bool ImageContentHashes(const std::string& path, unsigned algorithms, HashSet* hashes,
                        std::string* error);
// The hashes of a file's bytes, or of a text.
bool FileHashes(const std::string& path, unsigned algorithms, HashSet* hashes);
HashSet TextHashes(const std::string& text, unsigned algorithms);

// An info file's "key: value" lines; a key met twice keeps its first value. found is false
// when there is no such file; a file that cannot be read to its end gives no values, found,
// and the reason in error.
std::map<std::string, std::string> ReadKeyValues(const std::string& path, bool* found,
                                                 std::string* error = nullptr);

// A manifest's lines: hash, then the file name relative to the manifest's folder.
struct ManifestLine {
    std::string hash;
    std::string name;
};
// How a manifest writes a name. A plain folder's are read by sha256sum -c, which takes a name
// as it stands (a batch's names hold none of what it escapes: no backslash, no line end). A
// bag's percent-encode a line end, and a % that would read as an encoded character (one before
// two hexadecimal digits): a % before anything else stays itself, which every bag reader reads
// as itself, while %25 only some decode.
enum class NameCoding { Plain, Bag };
std::string ManifestLineText(const std::string& hash, const std::string& name, NameCoding coding);
// A line's hash and name ("HASH  NAME", "HASH *NAME", its line end or none); false for a line
// that lists no file (blank, a comment, no name).
bool ParseManifestLine(const std::string& line, NameCoding coding, ManifestLine* parsed);
// The name a line lists, "" for none.
std::string ManifestLineName(const std::string& line, NameCoding coding);
std::string DecodeBagName(const std::string& name);
std::vector<ManifestLine> ReadManifest(const std::string& path, bool* found,
                                       std::string* error = nullptr,
                                       NameCoding coding = NameCoding::Plain);

}  // namespace cli
