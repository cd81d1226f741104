#include "cli/bagit.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <set>

#include "cli/atomic_output.h"
#include "cli/fixity_files.h"
#include "cli/text_file.h"
#include "engine/fixity.h"
#include "platform/folder_list.h"
#include "platform/local_time.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

constexpr FixityAlgorithm kAlgorithms[3] = {FixityMd5, FixitySha1, FixitySha256};
constexpr const char* kBagitText = "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n";
// The fields bag-info.txt is given anew each time; any other is kept as it is.
constexpr const char* kOwnFields[] = {"Bag-Software-Agent", "Bagging-Date", "Payload-Oxum"};

std::string Join(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return platform::SysLstat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return platform::SysLstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ManifestName(FixityAlgorithm algorithm) {
    return std::string("manifest-") + FixityName(algorithm) + ".txt";
}

std::string TagManifestName(FixityAlgorithm algorithm) {
    return "tag" + ManifestName(algorithm);
}

// What a plain folder keeps of the box beside the diskettes' files, unlisted: a bag lists it.
bool IsFolderRecord(const std::string& name) {
    return name == "batch.csv" || name == "report.html";
}

bool IsManifestName(const std::string& name) {
    for (FixityAlgorithm algorithm : kAlgorithms)
        if (name == ManifestName(algorithm) || name == TagManifestName(algorithm)) return true;
    return false;
}

unsigned PresentManifests(const std::string& folder) {
    unsigned present = 0;
    for (FixityAlgorithm algorithm : kAlgorithms)
        if (Exists(Join(folder, ManifestName(algorithm)))) present |= algorithm;
    return present;
}

std::string Today() {
    std::tm local{};
    char date[16] = "";
    if (platform::LocalTime(std::time(nullptr), &local))
        std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return date;
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

void ListPayload(const std::string& folder, const std::string& under,
                 std::vector<std::string>* files) {
    for (const std::string& name : platform::ListFolder(Join(folder, under))) {
        const std::string relative = under + "/" + name;
        if (IsFolder(Join(folder, relative)))
            ListPayload(folder, relative, files);
        else
            files->push_back(relative);
    }
}

std::string PayloadOxum(const std::string& folder) {
    unsigned long long octets = 0, count = 0;
    for (const std::string& file : PayloadFiles(folder)) {
        struct stat st {};
        if (platform::SysLstat(Join(folder, file).c_str(), &st) == 0)
            octets += static_cast<unsigned long long>(st.st_size);
        ++count;
    }
    return std::to_string(octets) + "." + std::to_string(count);
}

// bag-info.txt's lines but those of kOwnFields, a folded line kept with its field.
std::string KeptFields(const std::string& text) {
    std::string kept;
    bool keeping = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        start = end;
        if (line.back() != '\n') line += '\n';
        if (line[0] != ' ' && line[0] != '\t') {
            const std::string label = line.substr(0, line.find(':'));
            keeping = std::find(std::begin(kOwnFields), std::end(kOwnFields), label) ==
                      std::end(kOwnFields);
        }
        if (keeping) kept += line;
    }
    return kept;
}

}  // namespace

bool IsBag(const std::string& folder) {
    return Exists(Join(folder, "bagit.txt"));
}

bool IsWholeBag(const std::string& folder) {
    if (!IsBag(folder)) return false;
    for (FixityAlgorithm algorithm : kAlgorithms)
        if (Exists(Join(folder, TagManifestName(algorithm)))) return true;
    return false;
}

std::vector<std::string> PayloadFiles(const std::string& folder) {
    std::vector<std::string> files;
    ListPayload(folder, "data", &files);
    std::sort(files.begin(), files.end());
    return files;
}

bool WriteBagTags(const std::string& folder, const BagFields& fields, std::string* error) {
    const std::string bagit = Join(folder, "bagit.txt"), info = Join(folder, "bag-info.txt");
    if (!Exists(bagit) && !WriteWholeFile(bagit, kBagitText, error, false)) return false;
    std::string old;
    if (!ReadTextFile(info, &old, error, MissingFile::IsEmpty)) return false;
    std::string text = std::string("Bag-Software-Agent: tavrel-cli ") + TAVREL_VERSION +
                       "\nBagging-Date: " + Today() + "\nPayload-Oxum: " + PayloadOxum(folder) +
                       "\n";
    const std::string kept = KeptFields(old);
    text += kept;
    // A second operator or box in one bag is added beside the first, not over it.
    for (const auto& [label, value] :
         {std::pair<std::string, std::string>{"Contact-Name", fields.operatorName},
          {"Internal-Sender-Identifier", fields.box}}) {
        const std::string line = label + ": " + OneLine(value) + "\n";
        if (!value.empty() && ("\n" + kept).find("\n" + line) == std::string::npos) text += line;
    }
    if (!WriteWholeFile(info, text, error, false)) return false;

    const unsigned present = PresentManifests(folder);
    std::vector<std::string> tagFiles = {"bagit.txt", "bag-info.txt"};
    for (FixityAlgorithm algorithm : kAlgorithms)
        if (present & algorithm) tagFiles.push_back(ManifestName(algorithm));
    for (FixityAlgorithm algorithm : kAlgorithms) {
        if (!(present & algorithm)) continue;
        std::string manifest;
        for (const std::string& file : tagFiles) {
            HashSet sums;
            if (!FileHashes(Join(folder, file), algorithm, &sums)) {
                *error = "tavrel-cli: cannot read " + Join(folder, file);
                return false;
            }
            manifest += ManifestLineText(sums[FixityName(algorithm)], file, NameCoding::Bag);
        }
        if (!WriteWholeFile(Join(folder, TagManifestName(algorithm)), manifest, error, false))
            return false;
    }
    return true;
}

bool MakeBag(const std::string& folder, unsigned hashes, const BagFields& fields,
             std::string* error) {
    if (IsBag(folder)) return IsWholeBag(folder) || WriteBagTags(folder, fields, error);
    const unsigned present = PresentManifests(folder), wanted = present | hashes;
    if (!wanted) {
        *error = "tavrel-cli: " + folder + ": no manifest-*.txt: not a batch folder";
        return false;
    }
    // Every name a manifest lists, as the bag lists it, in the order met.
    std::vector<std::string> listed;
    std::map<FixityAlgorithm, std::map<std::string, std::string>> known;
    const std::string payload = kBagPayload;
    for (FixityAlgorithm algorithm : kAlgorithms) {
        if (!(present & algorithm)) continue;
        bool found = false;
        std::string why;
        for (const ManifestLine& line :
             ReadManifest(Join(folder, ManifestName(algorithm)), &found, &why)) {
            // A folder made into a bag half-way names some files under data/ already, as a bag
            // names them; the others are named as a plain folder names them.
            const std::string name =
                line.name.rfind(payload, 0) == 0 ? DecodeBagName(line.name) : payload + line.name;
            if (std::find(listed.begin(), listed.end(), name) == listed.end())
                listed.push_back(name);
            known[algorithm][name] = line.hash;
        }
        if (!why.empty()) {
            *error = why;
            return false;
        }
    }
    // What is to move: nothing may come into the payload that the manifests do not list.
    std::vector<std::string> moving;
    for (const std::string& name : platform::ListFolder(folder)) {
        if (name[0] == '.' || IsManifestName(name)) continue;
        const std::string path = Join(folder, name);
        if (name == "data" && IsFolder(path)) continue;
        if (IsFolder(path) ||
            (!IsFolderRecord(name) &&
             std::find(listed.begin(), listed.end(), payload + name) == listed.end())) {
            *error = "tavrel-cli: " + path +
                     " is in no manifest: a bag's payload must be listed; move it out of " +
                     folder + " first";
            return false;
        }
        moving.push_back(name);
    }
    const std::string data = Join(folder, "data");
    if (platform::SysMkdir(data.c_str(), 0777) != 0 && errno != EEXIST) {
        *error = "tavrel-cli: cannot create " + data + ": " + std::strerror(errno);
        return false;
    }
    for (const std::string& name : moving) {
        const std::string from = Join(folder, name), to = Join(data, name);
        if (platform::SysRename(from.c_str(), to.c_str()) != 0) {
            *error = "tavrel-cli: cannot move " + from + " to " + to + ": " + std::strerror(errno);
            return false;
        }
    }
    for (const char* record : {"batch.csv", "report.html"})
        if (Exists(Join(data, record)) &&
            std::find(listed.begin(), listed.end(), payload + record) == listed.end())
            listed.push_back(payload + record);
    // Each manifest lists every file, with the hashes known kept and the others computed.
    for (FixityAlgorithm algorithm : kAlgorithms) {
        if (!(wanted & algorithm)) continue;
        std::string text;
        for (const std::string& name : listed) {
            auto sum = known[algorithm].find(name);
            std::string hex = sum != known[algorithm].end() ? sum->second : "";
            if (hex.empty()) {
                HashSet sums;
                if (!FileHashes(Join(folder, name), algorithm, &sums)) {
                    *error = "tavrel-cli: cannot read " + Join(folder, name);
                    return false;
                }
                hex = sums[FixityName(algorithm)];
            }
            text += ManifestLineText(hex, name, NameCoding::Bag);
        }
        if (!WriteWholeFile(Join(folder, ManifestName(algorithm)), text, error, false))
            return false;
    }
    return WriteBagTags(folder, fields, error);
}

int CheckBagTags(const std::string& folder, const std::function<void(const std::string&)>& report) {
    bool found = false;
    const auto bagit = ReadKeyValues(Join(folder, "bagit.txt"), &found);
    for (const char* field : {"BagIt-Version", "Tag-File-Character-Encoding"})
        if (!bagit.count(field)) report(std::string("bagit.txt: no ") + field);
    // One line for each tag file, however many tag manifests meet it.
    std::map<std::string, std::vector<std::string>> problems;
    std::set<std::string> listed;
    bool anyTagManifest = false;
    for (FixityAlgorithm algorithm : kAlgorithms) {
        const std::string tagManifest = TagManifestName(algorithm);
        const auto lines =
            ReadManifest(Join(folder, tagManifest), &found, nullptr, NameCoding::Bag);
        if (!found) continue;
        anyTagManifest = true;
        for (const ManifestLine& line : lines) {
            listed.insert(line.name);
            HashSet sums;
            if (!FileHashes(Join(folder, line.name), algorithm, &sums))
                problems[line.name].push_back("missing (listed in " + tagManifest + ")");
            else if (sums[FixityName(algorithm)] != line.hash)
                problems[line.name].push_back(std::string(FixityName(algorithm)) +
                                              " differs from " + tagManifest);
        }
    }
    if (!anyTagManifest)
        report("no tagmanifest-*.txt: the bag was not made whole (tavrel-cli bag " + folder +
               " finishes it)");
    for (const auto& [name, said] : problems) {
        std::string line = name + ": ";
        for (size_t i = 0; i < said.size(); ++i) line += (i ? ", " : "") + said[i];
        report(line);
    }
    const auto info = ReadKeyValues(Join(folder, "bag-info.txt"), &found);
    auto oxum = info.find("Payload-Oxum");
    const std::string actual = PayloadOxum(folder);
    if (oxum == info.end())
        report("bag-info.txt: no Payload-Oxum");
    else if (oxum->second != actual)
        report("bag-info.txt: Payload-Oxum " + oxum->second + ", but data/ holds " + actual +
               " (octets.files)");
    return static_cast<int>(listed.size() - problems.size());
}

}  // namespace cli
