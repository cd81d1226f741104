// check FOLDER: a batch folder read back. Every listed file is hashed against every manifest,
// and every image an info file names is decoded and its content hashed against that info file,
// so a damaged image is found without a diskette or a conversion. Each problem is one line,
// however many manifests or info files meet it. A bag (see bagit.h) is checked the same way
// over data/, whose every file, hidden or not, must be listed (batch.csv too), and its tag
// manifests and Payload-Oxum besides.

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "cli/bagit.h"
#include "cli/batch_folder.h"
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/fixity_files.h"
#include "cli/shown_argument.h"
#include "engine/exit_codes.h"
#include "engine/fixity.h"
#include "platform/folder_list.h"
#include "platform/lock_file.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

// A file that differs is named by its strongest hash first.
constexpr FixityAlgorithm kStrongestFirst[] = {FixitySha256, FixitySha1, FixityMd5};

struct Manifest {
    FixityAlgorithm algorithm;
    std::string file;
    std::map<std::string, std::string> hashes;  // file name -> hash
};

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    // A name starting with "." is a running batch's unfinished work, not yet filed.
    for (const std::string& name : platform::ListFolder(folder))
        if (name[0] != '.') names.push_back(name);
    return names;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string ManifestFile(FixityAlgorithm algorithm) {
    return std::string("manifest-") + FixityName(algorithm) + ".txt";
}

// The files that hold the folder's record rather than what it records.
bool IsBatchRecord(const std::string& name) {
    if (name == "batch.csv" || name == "report.html") return true;
    for (FixityAlgorithm algorithm : kStrongestFirst)
        if (name == ManifestFile(algorithm)) return true;
    return false;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

class FolderCheck {
  public:
    FolderCheck(const std::string& folder, bool bag)
        : m_folder(folder),
          m_payload(bag ? kBagPayload : ""),
          m_present(bag ? PayloadFiles(folder) : FilesIn(folder)) {}

    // False when the folder has no manifest: then it is no batch folder.
    bool ReadManifests() {
        for (FixityAlgorithm algorithm : kStrongestFirst) {
            bool found = false;
            std::string error;
            const auto lines =
                ReadManifest(Path(ManifestFile(algorithm)), &found, &error,
                             m_payload.empty() ? NameCoding::Plain : NameCoding::Bag);
            if (!found) continue;
            if (!error.empty()) Report(ManifestFile(algorithm) + ": " + error);
            Manifest manifest{algorithm, ManifestFile(algorithm), {}};
            for (const ManifestLine& line : lines) {
                manifest.hashes.emplace(line.name, line.hash);
                m_listed.insert(line.name);
            }
            m_manifests.push_back(std::move(manifest));
        }
        return !m_manifests.empty();
    }

    void CheckListedFiles() {
        for (const std::string& name : m_listed) CheckListedFile(name);
    }

    // A plain folder filed by an older version lists neither batch.csv nor report.html: said,
    // not counted, until the next diskette filed (or report) lists them.
    void CheckUnlistedFiles(Console& console) {
        for (const std::string& name : m_present) {
            if (m_listed.count(name)) continue;
            if (m_payload.empty() && IsBatchRecord(name)) {
                if (name == "batch.csv" || name == "report.html")
                    console.Warning("Note: " + name +
                                    " is in no manifest (a folder filed by an older version): "
                                    "tavrel-cli report lists it");
                continue;
            }
            Report(name + ": not in any manifest");
        }
    }

    void CheckContent() {
        for (const std::string& name : m_present)
            if (EndsWith(name, ".info")) CheckContent(name);
    }

    // A bag's own files; the number of tag files that match.
    int CheckBag() {
        return CheckBagTags(m_folder, [this](const std::string& line) { Report(line); });
    }

    int problems() const { return m_problems; }
    size_t listed() const { return m_listed.size(); }

  private:
    // name as the manifests list it.
    std::string Path(const std::string& name) const { return m_folder + "/" + name; }

    void Report(const std::string& line) {
        ++m_problems;
        // A name a bag's manifest decodes may hold a line end, and one on disk any control
        // character: each is shown percent-encoded, as a bag writes a line end, so the problem
        // stays one line and a terminal is not driven by it.
        std::string shown;
        for (char c : line) {
            const auto byte = static_cast<unsigned char>(c);
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", byte);
            shown += byte < 0x20 || byte == 0x7F ? std::string(code) : std::string(1, c);
        }
        WriteOut(shown + "\n");
    }

    void CheckListedFile(const std::string& name) {
        std::vector<std::string> listedIn, notIn;
        unsigned algorithms = 0;
        for (const Manifest& manifest : m_manifests) {
            if (manifest.hashes.count(name)) {
                listedIn.push_back(manifest.file);
                algorithms |= manifest.algorithm;
            } else {
                notIn.push_back(manifest.file);
            }
        }
        // A batch killed between two manifest rewrites leaves them disagreeing.
        if (!notIn.empty())
            Report(name + ": in " + Joined(listedIn) + " but not in " + Joined(notIn));
        HashSet hashes;
        if (!FileHashes(Path(name), algorithms, &hashes)) {
            m_missing.insert(name);
            Report(name + ": missing (listed in " + Joined(listedIn) + ")");
            return;
        }
        std::vector<std::string> differences;
        for (const Manifest& manifest : m_manifests) {
            auto listed = manifest.hashes.find(name);
            const std::string algorithm = FixityName(manifest.algorithm);
            if (listed != manifest.hashes.end() && hashes[algorithm] != listed->second)
                differences.push_back(algorithm + " differs from " + manifest.file);
        }
        if (!differences.empty()) Report(name + ": " + Joined(differences));
    }

    void CheckContent(const std::string& infoName) {
        bool found = false;
        std::string unread;
        auto info = ReadKeyValues(Path(infoName), &found, &unread);
        if (!unread.empty()) {
            Report(infoName + ": " + unread);
            return;
        }
        auto image = info.find("image");
        if (image == info.end()) return;  // a diskette that failed has no image
        // The info names its image beside it.
        const std::string imageName = m_payload + image->second;
        unsigned algorithms = 0;
        for (FixityAlgorithm algorithm : kStrongestFirst)
            if (info.count(std::string("content-") + FixityName(algorithm)))
                algorithms |= algorithm;
        if (!algorithms || m_missing.count(imageName)) return;
        if (!std::binary_search(m_present.begin(), m_present.end(), imageName)) {
            Report(imageName + ": missing (named by " + infoName + ")");
            return;
        }
        HashSet hashes;
        std::string error;
        if (!ImageContentHashes(Path(imageName), algorithms, &hashes, &error)) {
            Report(imageName + ": " + error);
            return;
        }
        std::vector<std::string> differing;
        for (FixityAlgorithm algorithm : kStrongestFirst) {
            const std::string name = FixityName(algorithm);
            if (hashes.count(name) && info["content-" + name] != hashes[name])
                differing.push_back(name);
        }
        if (!differing.empty())
            Report(imageName + ": content " + Joined(differing) +
                   (differing.size() == 1 ? " differs" : " differ") + " from " + infoName);
    }

    const std::string m_folder;
    const std::string m_payload;  // "" or kBagPayload
    const std::vector<std::string> m_present;
    std::vector<Manifest> m_manifests;
    std::set<std::string> m_listed;
    std::set<std::string> m_missing;
    int m_problems = 0;
};

}  // namespace

int RunCheck(const std::string& folder, Console& console) {
    // Said as bag and report say it, before anything is looked for in a folder that is not there.
    struct stat st {};
    if (platform::SysStat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        console.Error("tavrel-cli: " + folder + ": no such folder");
        return kExitFailed;
    }
    // A batch files a diskette under the folder's lock: held shared, the check never sees one
    // half filed. A folder without the lock file (or that cannot be opened) is checked as it is.
    platform::LockFile lock;
    if (lock.Open(folder + "/.batch.lock", platform::LockFile::Existing)) lock.Lock(false, true);
    // Half filed, a diskette's files and the manifests disagree in ways that say nothing of the
    // folder's health: that is said alone, and the next command to take the folder finishes it.
    const std::vector<std::string> interrupted = InterruptedFilings(folder);
    for (const std::string& name : interrupted)
        WriteOut(
            (name == ".report" ? std::string("the remaking of the report") : "filing of " + name) +
            " was interrupted: run tavrel-cli report " + ShownArgument(folder) +
            " (or any batch on the folder) to finish it\n");
    if (!interrupted.empty()) return kExitUnfinished;
    for (const std::string& name : UnfinishedDiskettes(folder))
        console.Warning("Note: " + name +
                        " was left unfinished by a batch that stopped; a batch "
                        "run on this folder finishes it");
    const bool bag = IsBag(folder);
    const std::string what = bag ? " (bag)" : " (folder)";
    FolderCheck check(folder, bag);
    if (!check.ReadManifests()) {
        console.Error("tavrel-cli: " + folder + ": no manifest-*.txt: not a batch folder" +
                      (bag ? " nor a bag" : ""));
        return kExitFailed;
    }
    check.CheckListedFiles();
    check.CheckUnlistedFiles(console);
    check.CheckContent();
    const int tagFiles = bag ? check.CheckBag() : 0;
    if (const int problems = check.problems()) {
        console.Error("tavrel-cli: " + folder + what + ": " + std::to_string(problems) +
                      (problems == 1 ? " problem" : " problems"));
        return kExitDifferent;
    }
    const int listed = check.listed();
    console.Summary(
        folder + what + ": " + std::to_string(listed) +
        (listed == 1 ? " file and its content match" : " files and their content match") +
        (bag ? ", and " + std::to_string(tagFiles) + " tag files and the Payload-Oxum"
             : std::string()));
    return kExitDone;
}

}  // namespace cli
