// batch DRIVE FOLDER: a box of diskettes, one after the other, without a keypress between
// them. Each is imaged, verified and hashed under hidden names, then filed under the next free
// name with an info file, its lines in the folder's manifests and its row in batch.csv (see
// batch_folder.h for how any number of batches share a folder and how a batch that stopped
// anywhere is finished by the next). batch --resume NAME goes on with the rescue of a diskette
// that was filed unfinished.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/atomic_output.h"
#include "cli/bad_sectors.h"
#include "cli/batch_folder.h"
#include "cli/batch_name.h"
#include "cli/batch_record.h"
#include "cli/batch_system.h"
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/console_text.h"
#include "cli/drive_target.h"
#include "cli/job_runner.h"
#include "cli/map_file.h"
#include "cli/medium_watch.h"
#include "cli/raw_image.h"
#include "cli/text_file.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"
#include "platform/cancel_signals.h"
#include "platform/medium_state.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

// The longest a batch waiting for a diskette takes to see a Ctrl+C.
constexpr int kCancelWaitMs = 500;

bool Exists(const std::string& path) {
    struct stat st {};
    return platform::SysLstat(path.c_str(), &st) == 0;
}

bool Committed(AtomicOutput& out, std::string* error) {
    const int result = out.Commit(error);
    return result == platform::ReplacementFile::Committed ||
           result == platform::ReplacementFile::CommittedNotDurable;
}

// The raw image is decoded from the .tvl just written, as convert would decode it.
bool WriteRaw(const std::string& tvl, const std::string& raw, std::string* error) {
    AtomicOutput out;
    if (!out.Open(raw, error)) return false;
    RawDecodeResult result;
    if (!DecodeRawImage(tvl, out, {}, &result, error)) {
        if (!out.WriteError().empty()) *error = out.WriteError();
        return false;
    }
    return Committed(out, error);
}

bool CopyFile(const std::string& from, const std::string& to, std::string* error) {
    std::string bytes;
    return ReadTextFile(from, &bytes, error) && WriteWholeFile(to, bytes, error, true);
}

DriveDescription DescribeDrive(const DriveTarget& target) {
    DriveModel model = DescribeDevice(target.path());
    return DriveDescription{target.label(), target.path(), model.vendor, model.model};
}

class Batch {
  public:
    Batch(const BatchOptions& options, Console& console, const DriveTarget& target,
          BatchFolder& folder)
        : m_options(options),
          m_console(console),
          m_target(target),
          m_folder(folder),
          m_drive(DescribeDrive(target)),
          m_input(options.count > 0) {}

    int Run();
    int Resume();

  private:
    bool Recover();
    bool WaitForDiskette();
    bool InputEnded() { return m_input.Ended(); }
    BatchRecord Begin(const std::string& name) const;
    void ImageOne(BatchRecord& d, bool resume);
    void VerifyImage(BatchRecord& d);
    void MakeRaw(BatchRecord& d);
    void KeepUnfinishedRescue(BatchRecord& d);
    bool FileAndSay(BatchRecord& d, Reservation* reservation);
    std::string GoOn(const std::string& name) const {
        return "go on with: tavrel-cli batch " + m_target.label() + " " + m_options.folder +
               " --rescue --resume " + name + (m_options.raw ? " --raw" : "");
    }

    const BatchOptions& m_options;
    Console& m_console;
    const DriveTarget& m_target;
    BatchFolder& m_folder;
    DriveDescription m_drive;
    platform::CancelSignals m_signals;
    int m_done = 0, m_failed = 0, m_unread = 0;
    MediumWatch m_watch;
    BatchInput m_input;
};

bool Batch::Recover() {
    std::vector<std::string> said;
    std::string error;
    BatchFolder::Held held(m_folder);
    if (!held.ok()) {
        m_console.Error("tavrel-cli: cannot lock " + m_folder.Path(".batch.lock") + ": " +
                        std::strerror(errno));
        return false;
    }
    // What stopped batches left is filed first, where it was begun; a bag is made of it after.
    const bool recovered =
        m_folder.Recover(m_options.hashes, &said, &error) &&
        (!m_options.bag ||
         m_folder.KeepAsBag(m_options.hashes, {m_options.operatorName, m_options.box}, &error));
    for (const std::string& line : said) m_console.Warning(line);
    if (!recovered) m_console.Error(error);
    return recovered;
}

// Waits until the drive holds a diskette still to image (see MediumWatch). False when the batch
// is to end: at a Ctrl+C, or at the end of input once the drive holds nothing left to image.
bool Batch::WaitForDiskette() {
    for (;;) {
        if (m_signals.Count() > 0) return false;
        platform::MediumState medium = platform::PollMedium(m_drive.device);
        if (m_watch.IsNew(medium)) return true;
        if (InputEnded()) return false;
        m_console.Progress((m_watch.AwaitsRemoval() ? "Remove the diskette" : "Insert a diskette") +
                           std::string(" (") + std::to_string(m_done) + " done, " +
                           std::to_string(m_failed) + " failed, " + std::to_string(m_unread) +
                           " unreadable sectors)");
        // A drive looked at seldom (its motor stops between looks) still hears a Ctrl+C or
        // the end of input soon: Windows wakes no wait for a Ctrl+C.
        for (int waited = 0; waited < medium.pollMs && m_signals.Count() == 0 && !InputEnded();
             waited += kCancelWaitMs)
            m_input.Wait(std::min(kCancelWaitMs, medium.pollMs - waited));
    }
}

BatchRecord Batch::Begin(const std::string& name) const {
    BatchRecord d;
    d.name = name;
    d.started = UtcNow();
    d.drive = m_drive;
    d.method = m_options.rescue ? "rescue" : "compress";
    return d;
}

// Images the diskette into its hidden files and says in d what came of it.
void Batch::ImageOne(BatchRecord& d, bool resume) {
    const std::string tvl = m_folder.PartPath(d.name, "tvl");
    const std::string shownImage = d.name + ".tvl";
    JobOutcome outcome;
    m_console.ForgetLastError();
    std::string jobError;
    if (m_options.rescue) {
        RescueOptions rescue;
        rescue.drive = m_options.drive;
        rescue.image = tvl;
        rescue.map = m_folder.PartPath(d.name, "map");
        rescue.noCompression = m_options.noCompression;
        rescue.commandLine = "tavrel-cli batch " + m_options.drive + " " + m_options.folder;
        rescue.hashes = m_options.hashes;
        rescue.outcome = &outcome;
        rescue.cancelAtSignal = 2;
        rescue.imageName = shownImage;
        rescue.mapName = d.name + ".map";
        rescue.goOn = GoOn(d.name);
        // Under --json standard output holds the JSON lines alone: the rescue's summary is not
        // printed.
        Console quiet(true);
        Console& console = m_options.json ? quiet : m_console;
        RunRescue(rescue, console);
        if (m_options.json) jobError = quiet.lastError();
    } else {
        JobRequest request{Compress, m_target.letter(), tvl, !m_options.noCompression};
        request.hashes = m_options.hashes;
        request.cancelAtSignal = 2;
        request.imageName = shownImage;
        request.driveName = m_target.label();
        outcome = RunDiskJob(request, m_console);
    }
    if (outcome.mediaRow >= 0) d.format = MediaTypeName(outcome.mediaRow);
    if (jobError.empty()) jobError = m_console.lastError();
    if (outcome.result != JobDone) {
        d.result = outcome.result == JobCancelled ? "cancelled" : "failed";
        d.message = outcome.result == JobCancelled ? "cancelled"
                    : jobError.empty()             ? "the job did not run"
                                                   : jobError;
        // A resume that changed nothing leaves the diskette as it was filed.
        if (resume && !outcome.rescueWritten) return;
        if (m_options.rescue) KeepUnfinishedRescue(d);
        return;
    }
    d.content = outcome.contentHashes;
    d.imageHashes = outcome.imageHashes;
    d.image = shownImage;
    if (m_options.rescue) {
        d.map = true;
        d.unread = outcome.map.Unread();
        if (d.unread)
            d.unreadRanges =
                UnreadRanges(outcome.map, MediaTypeTable[outcome.mediaRow].sectorsPerTrack);
    }
    d.result = d.unread ? "unreadable sectors" : "done";
    d.boot = ReadBootFields(tvl);
    VerifyImage(d);
    if (m_options.raw) MakeRaw(d);
}

// A rescue that stopped keeps what it read, image and map together, so --resume can go on.
void Batch::KeepUnfinishedRescue(BatchRecord& d) {
    const std::string tvl = m_folder.PartPath(d.name, "tvl");
    const std::string mapPath = m_folder.PartPath(d.name, "map");
    if (!Exists(tvl) || !Exists(mapPath)) return;
    SectorMap map;
    MapStatus status;
    std::string error;
    if (!LoadMapFile(mapPath, &map, &status, &error)) return;
    d.image = d.name + ".tvl";
    d.map = true;
    d.unread = map.Count(SectorBad);
    d.untried = map.sectors - map.Count(SectorFinished) - d.unread;
    d.boot = ReadBootFields(tvl);
    d.message += "; " + GoOn(d.name);
}

void Batch::VerifyImage(BatchRecord& d) {
    if (m_options.noVerify) {
        d.verify = "skipped";
        return;
    }
    if (d.unread) {
        d.verify = "skipped: unreadable sectors";
        return;
    }
    JobRequest request{Verify, m_target.letter(), m_folder.PartPath(d.name, "tvl"), true};
    request.cancelAtSignal = 2;
    request.imageName = d.name + ".tvl";
    request.driveName = m_target.label();
    m_console.ForgetLastError();
    JobOutcome verify = RunDiskJob(request, m_console);
    // A verify that could not read is no more a match than one that found a difference.
    d.verify = verify.result == JobDone ? "same"
               : verify.result == JobDifferent
                   ? "different at cylinder " + std::to_string(verify.diffCylinder) + " head " +
                         std::to_string(verify.diffHead)
               : verify.result == JobCancelled ? "cancelled"
                                               : "failed: " + m_console.lastError();
    if (verify.result != JobDone) {
        d.result = "failed";
        d.message = "verify: " + d.verify;
    }
}

// The raw image replaces the .tvl in the folder; where it cannot be written, the .tvl is filed
// instead, so nothing that was read is lost.
void Batch::MakeRaw(BatchRecord& d) {
    const std::string tvl = m_folder.PartPath(d.name, "tvl");
    std::string error;
    if (!WriteRaw(tvl, m_folder.PartPath(d.name, "img"), &error)) {
        d.result = "failed";
        d.message = d.name + ".img: " + error + " (the image is kept as " + d.name + ".tvl)";
        return;
    }
    platform::SysUnlink(tvl.c_str());
    d.image = d.name + ".img";
    // A raw image is the content itself.
    d.imageHashes = d.content;
}

bool Batch::FileAndSay(BatchRecord& d, Reservation* reservation) {
    d.ended = UtcNow();
    std::string error;
    {
        BatchFolder::Held held(m_folder);
        if (!held.ok() || !m_folder.File(d, m_options.hashes, reservation, &error)) {
            m_console.Error(error.empty() ? "tavrel-cli: cannot lock " + m_options.folder : error);
            return false;
        }
    }
    (d.Failed() ? m_failed : m_done)++;
    m_unread += d.unread;
    if (m_options.json)
        WriteOut(JsonLine(d));
    else
        WriteOut(ConsoleLine(d) + "\n");
    return true;
}

int Batch::Run() {
    if (!Recover()) return kExitFailed;
    int number = m_options.start;
    int imaged = 0;
    bool stopped = false;
    while (!stopped && (m_options.count == 0 || imaged < m_options.count)) {
        // At the end of input there is no next diskette to ask for.
        if (imaged > 0 && InputEnded()) break;
        if (imaged > 0)
            m_console.Warning("Remove the diskette, insert the next one (" +
                              std::string(kEndOfInputKeys) + " ends the batch)");
        if (!WaitForDiskette()) break;
        m_console.EndProgress();
        Reservation reservation;
        std::string error;
        {
            BatchFolder::Held held(m_folder);
            if (!held.ok() ||
                !m_folder.Reserve(m_options.pattern, &number, Begin(""), &reservation, &error)) {
                m_console.Error(error.empty() ? "tavrel-cli: cannot lock " + m_options.folder
                                              : error);
                return kExitFailed;
            }
        }
        BatchRecord d = Begin(reservation.name);
        ImageOne(d, false);
        m_watch.Imaged(platform::PollMedium(m_drive.device));
        if (!FileAndSay(d, &reservation)) return kExitFailed;
        ++imaged;
        ++number;
        stopped = d.result == "cancelled" || m_signals.Count() > 0;
    }
    m_console.EndProgress();
    m_console.Warning("Batch ended: " + std::to_string(m_done) + " done, " +
                      std::to_string(m_failed) + " failed, " + std::to_string(m_unread) +
                      " unreadable sectors");
    return m_failed ? kExitFailed : kExitDone;
}

int Batch::Resume() {
    if (!Recover()) return kExitFailed;
    const std::string& name = m_options.resume;
    Reservation reservation;
    std::string error;
    {
        BatchFolder::Held held(m_folder);
        if (!held.ok() || !m_folder.ReserveFiled(name, &reservation, &error)) {
            m_console.Error(error.empty() ? "tavrel-cli: cannot lock " + m_options.folder : error);
            return kExitFailed;
        }
    }
    bool found = false;
    BatchRecord filed = RecordFromInfo(ReadKeyValues(m_folder.PayloadPath(name + ".info"), &found));
    const std::string tvl = m_folder.PayloadPath(name + ".tvl"),
                      mapPath = m_folder.PayloadPath(name + ".map");
    if (filed.method != "rescue" || !Exists(tvl) || !Exists(mapPath)) {
        m_console.Error("tavrel-cli: " + name + " has no rescue to go on with: --resume needs " +
                        name + ".tvl and " + name + ".map, as a rescue files them");
        m_folder.Release(&reservation);
        return kExitFailed;
    }
    SectorMap map;
    MapStatus status;
    if (!LoadMapFile(mapPath, &map, &status, &error)) {
        m_console.Error(error);
        m_folder.Release(&reservation);
        return kExitFailed;
    }
    if (map.Unread() == 0) {
        m_console.Summary("Nothing to read: " + name + ".map marks every sector read");
        m_folder.Release(&reservation);
        return kExitDone;
    }
    // The rescue goes on in copies: the filed files stay as they are until it is filed again.
    if (!CopyFile(tvl, m_folder.PartPath(name, "tvl"), &error) ||
        !CopyFile(mapPath, m_folder.PartPath(name, "map"), &error)) {
        m_console.Error(error);
        m_folder.Release(&reservation);
        return kExitFailed;
    }
    if (!WaitForDiskette()) {
        m_folder.Release(&reservation);
        return kExitCancelled;
    }
    m_console.EndProgress();
    BatchRecord d = Begin(name);
    d.started = filed.started.empty() ? d.started : filed.started;
    ImageOne(d, true);
    if (d.image.empty()) {
        // Nothing new was read: the diskette stays filed as it was.
        m_folder.Release(&reservation);
        m_console.Error("tavrel-cli: " + name + " is filed as it was: " + d.message);
        return d.result == "cancelled" ? kExitCancelled : kExitFailed;
    }
    if (!FileAndSay(d, &reservation)) return kExitFailed;
    return d.Failed() ? kExitFailed : d.unread ? kExitUnreadable : kExitDone;
}

}  // namespace

int RunBatch(const BatchOptions& options, Console& console) {
    std::string why;
    if (!CheckNamePattern(options.pattern, &why)) {
        console.Error("tavrel-cli: --name " + options.pattern + ": " + why);
        return kExitUsage;
    }
    if (!options.resume.empty() && !CheckDisketteName(options.resume, &why)) {
        console.Error("tavrel-cli: --resume " + options.resume + ": " + why);
        return kExitUsage;
    }
    if (options.start < 0 || options.count < 0) {
        console.Error("tavrel-cli: --start and --count take a number of 0 or more");
        return kExitUsage;
    }
    if (options.folder.find_first_of("\r\n") != std::string::npos) {
        console.Error("tavrel-cli: FOLDER may not hold a line break");
        return kExitUsage;
    }
    // Each is one line of bag-info.txt.
    if ((options.operatorName + options.box).find_first_of("\r\n") != std::string::npos) {
        console.Error("tavrel-cli: --operator and --box may not hold a line break");
        return kExitUsage;
    }
    DriveTarget drive;
    std::string error;
    if (!drive.Resolve(options.drive, &error)) {
        console.Error(error);
        return kExitFailed;
    }
    // A letter with nothing behind it would have the batch wait for ever for a diskette.
    if (drive.path().empty()) {
        console.Error("Tavrel: Cannot find the drive specified.");
        return kExitFailed;
    }
    // Nor may a device or file that is not there: a typing error, or a PC without that drive.
    // (The system's device names, \\.\A:, are no files to look at.)
    struct stat st {};
    if (drive.path().rfind("\\\\.\\", 0) != 0 &&
        platform::SysLstat(drive.path().c_str(), &st) != 0 && errno == ENOENT) {
        console.Error("tavrel-cli: " +
                      (drive.path() == options.drive
                           ? options.drive + ": no such drive or file"
                           : drive.label() + " is " + drive.path() + ", which does not exist") +
                      " (tavrel-cli drives lists the drives)");
        return kExitUsage;
    }
    BatchFolder folder;
    if (!folder.Open(options.folder, &error)) {
        console.Error(error);
        return kExitFailed;
    }
    BatchOptions effective = options;
    if (!options.resume.empty()) effective.rescue = true;
    Batch batch(effective, console, drive, folder);
    return options.resume.empty() ? batch.Run() : batch.Resume();
}

}  // namespace cli
