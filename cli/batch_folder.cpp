#include "cli/batch_folder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <set>

#include "cli/atomic_output.h"
#include "cli/bad_sectors.h"
#include "cli/batch_name.h"
#include "cli/box_report.h"
#include "cli/file_listing.h"
#include "cli/image_scan.h"
#include "cli/map_file.h"
#include "cli/shown_argument.h"
#include "cli/text_file.h"
#include "drive/media_table.h"
#include "engine/fixity.h"
#include "platform/folder_list.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

constexpr FixityAlgorithm kAlgorithms[3] = {FixityMd5, FixitySha1, FixitySha256};
constexpr const char* kLockName = ".batch.lock";
// No diskette's name begins with a dot: this one is the report's.
constexpr const char* kRelisting = "..report.filing";
constexpr const char* kPartExtensions[] = {"tvl", "img", "map", "dfxml", "svg", "info", "begun"};

bool Exists(const std::string& path) {
    struct stat st {};
    return platform::SysLstat(path.c_str(), &st) == 0;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string Reason(int error) {
    return std::strerror(error ? error : EIO);
}

bool Rename(const std::string& from, const std::string& to, std::string* error) {
    if (platform::SysRename(from.c_str(), to.c_str()) == 0) return true;
    *error = "tavrel-cli: cannot rename " + from + " to " + to + ": " + Reason(errno);
    return false;
}

// Never over the older file in place: a manifest's new text holds the older one.
bool WriteWhole(const std::string& path, const std::string& text, std::string* error) {
    return WriteWholeFile(path, text, error, false);
}

// The text's lines, each with its end.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        // A line some other writer left unfinished stays a line of its own.
        if (line.back() != '\n') line += '\n';
        lines.push_back(line);
        start = end;
    }
    return lines;
}

std::string ManifestPath(const std::string& folder, FixityAlgorithm algorithm) {
    return folder + "/manifest-" + FixityName(algorithm) + ".txt";
}

// An info written before its diskette was listed, with the listing's line where InfoText puts
// it: before the message and what --each came to. The rest stays as written, to the byte.
std::string WithListing(const std::string& info, const BatchRecord& record) {
    const std::string listed = InfoText(record);
    const size_t at = listed.find("\nfiles: ");
    if (at == std::string::npos) return info;
    const std::string line = listed.substr(at + 1, listed.find('\n', at + 1) - at);
    std::string text;
    bool placed = false;
    for (const std::string& kept : Lines(info)) {
        if (kept.rfind("files: ", 0) == 0) continue;
        if (!placed && (kept.rfind("message: ", 0) == 0 || kept.rfind("each: ", 0) == 0)) {
            text += line;
            placed = true;
        }
        text += kept;
    }
    return placed ? text : text + line;
}

}  // namespace

std::vector<std::string> FolderEntries(const std::string& folder) {
    return platform::ListFolder(folder);
}

namespace {

// The reservations in folder whose lock can be taken (free) or cannot (!free).
std::vector<std::string> Reservations(const std::string& folder, bool free) {
    std::vector<std::string> names;
    for (const std::string& file : FolderEntries(folder)) {
        if (file.size() < 8 || file[0] != '.' || !EndsWith(file, ".batch")) continue;
        platform::LockFile lock;
        if (lock.Open(folder + "/" + file, platform::LockFile::Existing) &&
            lock.Lock(true, false) == free)
            names.push_back(file.substr(1, file.size() - 7));
    }
    return names;
}

}  // namespace

std::vector<std::string> UnfinishedDiskettes(const std::string& folder) {
    return Reservations(folder, true);
}

std::vector<std::string> DiskettesAtWork(const std::string& folder) {
    return Reservations(folder, false);
}

std::vector<std::string> InterruptedFilings(const std::string& folder) {
    std::vector<std::string> names;
    for (const std::string& file : FolderEntries(folder))
        if (file.size() > 8 && file[0] == '.' && EndsWith(file, ".filing"))
            names.push_back(file.substr(1, file.size() - 8));
    return names;
}

bool BatchFolder::Open(const std::string& folder, std::string* error) {
    m_folder = folder;
    if (platform::SysMkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        *error = "tavrel-cli: cannot create " + folder + ": " + Reason(errno);
        return false;
    }
    if (!m_lock.Open(Path(kLockName), platform::LockFile::OpenOrCreate)) {
        *error = "tavrel-cli: cannot open " + Path(kLockName) + ": " + Reason(errno);
        return false;
    }
    return true;
}

bool BatchFolder::OpenExisting(const std::string& folder, std::string* error) {
    struct stat st {};
    if (platform::SysStat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = "tavrel-cli: " + folder + ": no such folder";
        return false;
    }
    return Open(folder, error);
}

BatchFolder::Held::Held(BatchFolder& folder, bool wait)
    : m_folder(folder), m_ok(folder.m_lock.Lock(true, wait)) {
    // Another process may have made the folder a bag since the lock was last held.
    if (m_ok) folder.m_payload = IsBag(folder.m_folder) ? kBagPayload : "";
}

BatchFolder::Held::~Held() {
    if (m_ok) m_folder.m_lock.Unlock();
}

bool BatchFolder::KeepAsBag(unsigned hashes, const BagFields& fields, std::string* error) {
    m_bagFields = fields;
    if (!MakeBag(m_folder, hashes, fields, error)) return false;
    m_payload = kBagPayload;
    return true;
}

bool BatchFolder::Taken(const std::string& name) const {
    for (const char* end : {".tvl", ".img", ".info", ".map", ".dfxml", ".svg"})
        if (Exists(PayloadPath(name + end))) return true;
    if (Exists(Path("." + name + ".batch"))) return true;
    for (const char* ext : kPartExtensions)
        if (Exists(PartPath(name, ext))) return true;
    return false;
}

void BatchFolder::RemoveParts(const std::string& name) const {
    for (const char* ext : kPartExtensions) platform::SysUnlink(PartPath(name, ext).c_str());
}

bool BatchFolder::Reserve(const std::string& pattern, int* number, BatchRecord begun,
                          Reservation* reservation, std::string* error) {
    for (int n = *number;; ++n) {
        const std::string name = NameFor(pattern, n);
        if (!Taken(name)) {
            // Made new, so two processes that both found the name free cannot both have it.
            if (reservation->lock.Open(Path("." + name + ".batch"),
                                       platform::LockFile::CreateNew) &&
                reservation->lock.Lock(true, false)) {
                reservation->name = name;
                *number = n;
                begun.name = name;
                if (WriteWhole(PartPath(name, "begun"), InfoText(begun), error)) return true;
                Release(reservation);
                return false;
            }
            if (errno != EEXIST) {
                *error = "tavrel-cli: cannot reserve " + Path(name) + ": " + Reason(errno);
                return false;
            }
        }
        if (n == INT_MAX) {
            *error = "tavrel-cli: " + m_folder + ": no name is left for the next diskette";
            return false;
        }
    }
}

bool BatchFolder::ReserveNamed(const std::string& name, BatchRecord begun, Reservation* reservation,
                               bool* taken, std::string* error) {
    *taken = Taken(name);
    if (!*taken &&
        reservation->lock.Open(Path("." + name + ".batch"), platform::LockFile::CreateNew)) {
        if (!reservation->lock.Lock(true, false)) {
            *error = "tavrel-cli: cannot reserve " + Path(name) + ": " + Reason(errno);
            reservation->lock.Close();
            return false;
        }
        reservation->name = name;
        begun.name = name;
        if (WriteWhole(PartPath(name, "begun"), InfoText(begun), error)) return true;
        Release(reservation);
        return false;
    }
    if (!*taken && errno != EEXIST) {
        *error = "tavrel-cli: cannot reserve " + Path(name) + ": " + Reason(errno);
        return false;
    }
    *taken = true;
    *error =
        "tavrel-cli: " + name + " is " +
        (Exists(PayloadPath(name + ".info")) ? "filed already (" + PayloadPath(name + ".info") + ")"
         : Exists(Path("." + name + ".batch")) ? "being imaged by another batch"
                                               : "taken by another file in " + m_folder) +
        ": no second diskette is filed under it";
    return false;
}

bool BatchFolder::ReserveFiled(const std::string& name, Reservation* reservation,
                               std::string* error) {
    if (!Exists(PayloadPath(name + ".info"))) {
        *error = "tavrel-cli: " + PayloadPath(name + ".info") + " does not exist: no diskette " +
                 name + " is filed in " + m_folder;
        return false;
    }
    if (!reservation->lock.Open(Path("." + name + ".batch"), platform::LockFile::CreateNew) ||
        !reservation->lock.Lock(true, false)) {
        *error = errno == EEXIST
                     ? "tavrel-cli: another batch is at work on " + name
                     : "tavrel-cli: cannot reserve " + Path(name) + ": " + Reason(errno);
        return false;
    }
    reservation->name = name;
    return true;
}

void BatchFolder::Release(Reservation* reservation) {
    if (reservation->name.empty()) return;
    RemoveParts(reservation->name);
    platform::SysUnlink(Path("." + reservation->name + ".batch").c_str());
    reservation->lock.Close();
    reservation->name.clear();
}

std::string BatchFolder::SameContent(const BatchRecord& record) const {
    if (record.content.empty()) return {};
    for (const std::string& file : FolderEntries(PayloadFolder())) {
        if (file[0] == '.' || !EndsWith(file, ".info") || file == record.name + ".info") continue;
        bool found = false;
        const auto info = ReadKeyValues(PayloadPath(file), &found);
        for (const auto& [name, hex] : record.content) {
            auto other = info.find("content-" + name);
            if (other != info.end() && other->second == hex) {
                auto otherName = info.find("name");
                return otherName != info.end() ? otherName->second
                                               : file.substr(0, file.size() - 5);
            }
        }
    }
    return {};
}

bool BatchFolder::Prepare(BatchRecord& record, const std::function<bool()>& cancelled,
                          std::string* error) {
    const std::string infoPath = PartPath(record.name, "info");
    if (!WriteWhole(infoPath, InfoText(record), error) ||
        !WriteListing(record.name, record, cancelled, error) ||
        !WriteWhole(infoPath, InfoText(record), error))
        return false;
    return DrawPicture(record.name, error);
}

bool BatchFolder::File(BatchRecord& record, unsigned hashes, Reservation* reservation,
                       std::string* error) {
    if (record.sameAs.empty()) record.sameAs = SameContent(record);
    if (!FileNamed(record.name, record, InfoText(record), hashes, error)) return false;
    Release(reservation);
    return true;
}

bool BatchFolder::Amend(BatchRecord& record, unsigned hashes, std::string* error) {
    return FileNamed(record.name, record, InfoText(record), hashes, error);
}

bool BatchFolder::WriteListing(const std::string& name, BatchRecord& record,
                               const std::function<bool()>& cancelled, std::string* error) {
    const std::string ext =
        record.image.size() > 4 ? record.image.substr(record.image.size() - 3) : std::string();
    if (ext != "tvl" && ext != "img") return true;  // no image filed: nothing to list
    const std::string image = PartPath(name, ext), map = PartPath(name, "map");
    DisketteListing listing;
    std::string why;
    const bool asked = cancelled && cancelled();
    const bool listed =
        !asked && ListImage(image, Exists(map) ? map : std::string(), &listing, &why, cancelled);
    if (asked || listing.cancelled) {
        // The image that was read is kept; only its listing is missing. A diskette cancelled
        // before (in its verify, in a rescue) keeps what it says of that.
        record.files = -1;
        record.noListing = "cancelled before its files were listed";
        if (record.result != "cancelled") {
            record.result = "cancelled";
            record.message = "cancelled while its files were listed; the image is kept";
        }
        return true;
    }
    if (!listed) {
        // An image the listing cannot read is still filed; its info says why there is no list.
        record.files = -1;
        if (why.rfind("tavrel-cli: ", 0) == 0) why.erase(0, 12);
        record.noListing = why.empty() ? std::string("the image could not be listed") : why;
        return true;
    }
    if (!listing.hasFileSystem) {
        record.files = -1;
        record.noListing = listing.why;
        return true;
    }
    const std::string xml = ListingDfxml(listing, record.image);
    std::string noXml;
    if (xml.empty() && !CanWriteDfxml(&noXml)) {
        // Filed all the same, as without the listing module: its info says why there is no list.
        record.files = -1;
        record.noListing = "the XML of the listing could not be written: " + noXml;
        return true;
    }
    record.files = listing.fileCount;
    record.damaged = listing.damagedFiles;
    record.noListing.clear();
    return WriteWhole(PartPath(name, "dfxml"), xml, error);
}

bool BatchFolder::DrawPicture(const std::string& name, std::string* error) const {
    const std::string infoPath =
        Exists(PartPath(name, "info")) ? PartPath(name, "info") : PayloadPath(name + ".info");
    const std::string mapPath = Exists(PartPath(name, "map"))        ? PartPath(name, "map")
                                : Exists(PayloadPath(name + ".map")) ? PayloadPath(name + ".map")
                                                                     : "";
    bool drawn = false;
    if (!WriteDiskettePicture(infoPath, mapPath, PartPath(name, "svg"), &drawn, error))
        return false;
    // Drawn nothing (no format known), it keeps no picture from before.
    if (!drawn) platform::SysUnlink(PartPath(name, "svg").c_str());
    return true;
}

// infoText: the info to file, written hidden first. What a stop anywhere in here leaves is told
// by .NAME.filing, and the next batch to take the folder files it again from the start.
bool BatchFolder::FileNamed(const std::string& name, BatchRecord& record,
                            const std::string& infoText, unsigned hashes, std::string* error) {
    const std::string filing = Path("." + name + ".filing");
    if (!WriteWhole(filing, "", error)) return false;
    if (!WriteWhole(PartPath(name, "info"), infoText, error)) return false;
    // A diskette filed again (after --each, or by a recovery) draws its picture anew.
    if (!Exists(PartPath(name, "svg")) && !DrawPicture(name, error)) return false;
    const bool drawn = Exists(PartPath(name, "svg"));
    // The image, map, listing and picture first, the info last: an info file in its place says
    // the rest is.
    for (const char* ext : {"tvl", "img", "map", "dfxml", "svg"}) {
        const std::string part = PartPath(name, ext), filed = PayloadPath(name + "." + ext);
        if (Exists(part) && !Rename(part, filed, error)) return false;
    }
    // A rescue finished raw replaces the .tvl it was kept in while unfinished.
    for (const char* ext : {"tvl", "img"}) {
        const std::string file = name + "." + ext;
        if (!record.image.empty() && file != record.image && Exists(PayloadPath(file)))
            platform::SysUnlink(PayloadPath(file).c_str());
    }
    // Filed again without a picture, it keeps none from before.
    if (!drawn) platform::SysUnlink(PayloadPath(name + ".svg").c_str());
    if (!Rename(PartPath(name, "info"), PayloadPath(name + ".info"), error)) return false;
    platform::SysUnlink(PartPath(name, "begun").c_str());
    // batch.csv and report.html are written before the manifests list them, and a bag's tag
    // files follow the manifests.
    if (!RewriteLog(record, error) ||
        !WriteBoxReport(PayloadFolder(), FolderTitle(m_folder), PayloadPath("report.html"),
                        error) ||
        !RewriteManifests(name, record, infoText, hashes, error) ||
        (!m_payload.empty() && !WriteBagTags(m_folder, m_bagFields, error)))
        return false;
    platform::SysUnlink(filing.c_str());
    return true;
}

bool BatchFolder::RewriteManifests(const std::string& name, const BatchRecord& record,
                                   const std::string& infoText, unsigned hashes,
                                   std::string* error) {
    // Every manifest the folder has takes the diskette, whatever this run was asked for.
    unsigned present = 0;
    for (FixityAlgorithm algorithm : kAlgorithms)
        if (Exists(ManifestPath(m_folder, algorithm))) present |= algorithm;
    const unsigned wanted = hashes | present;
    const NameCoding coding = m_payload.empty() ? NameCoding::Plain : NameCoding::Bag;
    // The diskette's files, in the order they are listed.
    // Named as the manifests list them: Path() of such a name is the file.
    std::vector<std::pair<std::string, HashSet>> files;
    if (!record.image.empty() && Exists(PayloadPath(record.image))) {
        HashSet known = record.imageHashes;
        bool complete = true;
        for (FixityAlgorithm algorithm : kAlgorithms)
            complete &= !(wanted & algorithm) || known.count(FixityName(algorithm)) > 0;
        if (!complete && !FileHashes(PayloadPath(record.image), wanted, &known)) {
            *error = "tavrel-cli: cannot read " + PayloadPath(record.image);
            return false;
        }
        files.emplace_back(Listed(record.image), known);
    }
    if (Exists(PayloadPath(name + ".map"))) {
        HashSet map;
        if (!FileHashes(PayloadPath(name + ".map"), wanted, &map)) {
            *error = "tavrel-cli: cannot read " + PayloadPath(name + ".map");
            return false;
        }
        files.emplace_back(Listed(name + ".map"), map);
    }
    for (const char* ext : {".dfxml", ".svg"}) {
        if (!Exists(PayloadPath(name + ext))) continue;
        HashSet sums;
        if (!FileHashes(PayloadPath(name + ext), wanted, &sums)) {
            *error = "tavrel-cli: cannot read " + PayloadPath(name + ext);
            return false;
        }
        files.emplace_back(Listed(name + ext), sums);
    }
    files.emplace_back(Listed(name + ".info"), TextHashes(infoText, wanted));
    std::set<std::string> own;
    for (const char* ext : {".tvl", ".img", ".map", ".dfxml", ".svg", ".info"})
        own.insert(Listed(name + ext));
    // batch.csv, with the row just written, and the report just written: the record of what
    // was read is under fixity like what was read.
    for (const char* file : {"batch.csv", "report.html"}) {
        if (!Exists(PayloadPath(file))) continue;
        HashSet sums;
        if (!FileHashes(PayloadPath(file), wanted, &sums)) {
            *error = "tavrel-cli: cannot read " + PayloadPath(file);
            return false;
        }
        files.emplace_back(Listed(file), sums);
        own.insert(Listed(file));
    }

    // The names the folder's manifests list: a manifest made now starts with all of them.
    std::vector<std::string> listed;
    for (FixityAlgorithm algorithm : kAlgorithms) {
        if (!(present & algorithm)) continue;
        std::string text;
        if (!ReadTextFile(ManifestPath(m_folder, algorithm), &text, error)) return false;
        for (const std::string& line : Lines(text)) {
            const std::string file = ManifestLineName(line, coding);
            if (!file.empty() && !own.count(file) &&
                std::find(listed.begin(), listed.end(), file) == listed.end())
                listed.push_back(file);
        }
        break;
    }
    for (FixityAlgorithm algorithm : kAlgorithms) {
        if (!(wanted & algorithm)) continue;
        const std::string hashName = FixityName(algorithm),
                          path = ManifestPath(m_folder, algorithm);
        std::string text, kept;
        if (present & algorithm) {
            if (!ReadTextFile(path, &text, error)) return false;
            for (const std::string& line : Lines(text))
                if (!own.count(ManifestLineName(line, coding))) kept += line;
        } else {
            for (const std::string& file : listed) {
                HashSet sums;
                if (!FileHashes(Path(file), algorithm, &sums)) {
                    *error = "tavrel-cli: cannot read " + Path(file) + " for a new " + path;
                    return false;
                }
                kept += ManifestLineText(sums[hashName], file, coding);
            }
        }
        for (const auto& [file, sums] : files) {
            auto sum = sums.find(hashName);
            if (sum != sums.end()) kept += ManifestLineText(sum->second, file, coding);
        }
        if (!WriteWhole(path, kept, error)) return false;
    }
    return true;
}

bool BatchFolder::Relist(const std::vector<std::string>& files, std::string* error) {
    const std::set<std::string> own(files.begin(), files.end());
    const NameCoding coding = m_payload.empty() ? NameCoding::Plain : NameCoding::Bag;
    for (FixityAlgorithm algorithm : kAlgorithms) {
        const std::string path = ManifestPath(m_folder, algorithm);
        if (!Exists(path)) continue;
        std::string text, kept;
        if (!ReadTextFile(path, &text, error)) return false;
        for (const std::string& line : Lines(text))
            if (!own.count(ManifestLineName(line, coding))) kept += line;
        for (const std::string& file : files) {
            HashSet sums;
            if (!Exists(Path(file))) continue;
            if (!FileHashes(Path(file), algorithm, &sums)) {
                *error = "tavrel-cli: cannot read " + Path(file);
                return false;
            }
            kept += ManifestLineText(sums[FixityName(algorithm)], file, coding);
        }
        if (!WriteWhole(path, kept, error)) return false;
    }
    return m_payload.empty() || WriteBagTags(m_folder, m_bagFields, error);
}

bool BatchFolder::BeginRelisting(std::string* error) {
    return WriteWhole(Path(kRelisting), "", error);
}

bool BatchFolder::EndRelisting(std::string* error) {
    if (platform::SysUnlink(Path(kRelisting).c_str()) == 0 || errno == ENOENT) return true;
    *error = "tavrel-cli: cannot remove " + Path(kRelisting) + ": " + Reason(errno);
    return false;
}

bool BatchFolder::RewriteLog(const BatchRecord& record, std::string* error) {
    const std::string path = PayloadPath("batch.csv");
    std::string text, kept;
    if (!ReadTextFile(path, &text, error, MissingFile::IsEmpty)) return false;
    // The header is always today's: a folder begun by an older version gains its new columns.
    for (const std::string& line : Lines(text))
        if (CsvRowName(line) != record.name && line.rfind("name,", 0) != 0) kept += line;
    return WriteWhole(path, kCsvHeader + kept + CsvRow(record), error);
}

bool BatchFolder::Recover(unsigned hashes, std::vector<std::string>* said, std::string* error) {
    std::set<std::string> names;
    for (const std::string& file : FolderEntries(m_folder)) {
        if (file.size() < 2 || file[0] != '.') continue;
        if (EndsWith(file, ".batch")) names.insert(file.substr(1, file.size() - 7));
        if (EndsWith(file, ".filing")) names.insert(file.substr(1, file.size() - 8));
        const size_t part = file.rfind(".part.");
        if (part != std::string::npos && part > 1) names.insert(file.substr(1, part - 1));
    }
    // A report stopped before its manifests: what it made is listed as it is now.
    if (Exists(Path(kRelisting))) {
        std::vector<std::string> made{Listed("report.html")};
        for (const std::string& file : FolderEntries(PayloadFolder()))
            if (file[0] != '.' && EndsWith(file, ".svg")) made.push_back(Listed(file));
        if (!Relist(made, error) || !EndRelisting(error)) return false;
    }
    for (const std::string& name : names) {
        if (name[0] == '.') continue;
        std::string line;
        if (!RecoverOne(name, hashes, &line, error)) return false;
        if (!line.empty()) said->push_back(line);
    }
    return true;
}

bool BatchFolder::RecoverOne(const std::string& name, unsigned hashes, std::string* said,
                             std::string* error) {
    Reservation reservation;
    const std::string lockPath = Path("." + name + ".batch");
    if (Exists(lockPath)) {
        // A batch at work on it holds its lock: not ours to touch.
        if (!reservation.lock.Open(lockPath, platform::LockFile::Existing) ||
            !reservation.lock.Lock(true, false))
            return true;
    }
    reservation.name = name;
    // What was known when it began; a resume began from the diskette's filed info.
    bool found = false;
    BatchRecord begun = RecordFromInfo(ReadKeyValues(PartPath(name, "begun"), &found));
    if (!found) begun = RecordFromInfo(ReadKeyValues(PayloadPath(name + ".info"), &found));
    if (Exists(PartPath(name, "info"))) {
        // Stopped once the diskette was read: it is filed, listed first when the listing was
        // not reached.
        std::string info;
        if (!ReadTextFile(PartPath(name, "info"), &info, error)) return false;
        bool read = false;
        BatchRecord record = RecordFromInfo(ReadKeyValues(PartPath(name, "info"), &read));
        if (record.files < 0 && record.noListing.empty()) {
            if (!WriteListing(name, record, nullptr, error)) return false;
            info = WithListing(info, record);
        }
        if (!FileNamed(name, record, info, hashes, error)) return false;
        *said = name + ": filed (the batch that imaged it stopped while filing it)";
    } else if (Exists(PartPath(name, "tvl")) && Exists(PartPath(name, "map"))) {
        // A rescue stopped: image and map agree, the map never being ahead of the image.
        BatchRecord record = begun;
        record.name = name;
        record.method = "rescue";
        record.result = "interrupted";
        record.verify = "not run";
        record.ended = UtcNow();
        record.image = name + ".tvl";
        record.map = true;
        SectorMap map;
        MapStatus status;
        ImageReport report;
        if (LoadMapFile(PartPath(name, "map"), &map, &status, error) &&
            InspectImage(PartPath(name, "tvl"), &report) && report.mediaRow >= 0) {
            record.format = FormatName(report);
            record.unread = map.Count(SectorBad);
            record.untried = map.sectors - map.Count(SectorFinished) - record.unread;
            record.unreadRanges =
                record.unread ? UnreadRanges(map, MediaTypeTable[report.mediaRow].sectorsPerTrack)
                              : "";
        }
        error->clear();
        record.boot = ReadBootFields(PartPath(name, "tvl"));
        record.message =
            "the batch was stopped during the rescue; go on with: tavrel-cli batch " +
            (begun.drive.label.empty() ? std::string("DRIVE") : ShownArgument(begun.drive.label)) +
            " " + ShownArgument(m_folder) + " --rescue --resume " + name;
        if (!WriteListing(name, record, nullptr, error) ||
            !FileNamed(name, record, InfoText(record), hashes, error))
            return false;
        *said = name + ": filed as interrupted with the sectors its rescue read (" +
                std::to_string(record.untried) + " not tried)";
    } else if (Exists(PayloadPath(name + ".info"))) {
        // Stopped after its info took its name, or a resume that had copied nothing yet.
        RemoveParts(name);
        std::string info;
        if (!ReadTextFile(PayloadPath(name + ".info"), &info, error)) return false;
        bool read = false;
        BatchRecord record = RecordFromInfo(ReadKeyValues(PayloadPath(name + ".info"), &read));
        if (!FileNamed(name, record, info, hashes, error)) return false;
        *said = name + ": its manifest lines and batch.csv row made whole";
    } else {
        const bool had = Exists(PartPath(name, "tvl")) || Exists(PartPath(name, "img"));
        *said = had ? name +
                          ": the unfinished image of a batch that stopped removed; the name "
                          "is free again"
                    : "";
    }
    platform::SysUnlink(Path("." + name + ".filing").c_str());
    Release(&reservation);
    return true;
}

}  // namespace cli
