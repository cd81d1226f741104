// batch DRIVE FOLDER: a box of diskettes, one after the other, without a keypress between
// them. Each is imaged, verified and hashed under hidden names, then filed under the next free
// name with an info file, its lines in the folder's manifests and its row in batch.csv (see
// batch_folder.h for how any number of batches share a folder and how a batch that stopped
// anywhere is finished by the next). batch --resume NAME goes on with the rescue of a diskette
// that was filed unfinished. Given several drives, one batch runs on each at once, on a thread
// of its own, into the same folder: each waits for its own diskettes, and what they share (the
// count, the identifiers, the questions, the screen) is in BatchShared.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/answer_input.h"
#include "cli/atomic_output.h"
#include "cli/bad_sectors.h"
#include "cli/batch_folder.h"
#include "cli/batch_name.h"
#include "cli/batch_record.h"
#include "cli/batch_system.h"
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/console_text.h"
#include "cli/drive_board.h"
#include "cli/drive_target.h"
#include "cli/each_command.h"
#include "cli/identifier_list.h"
#include "cli/job_runner.h"
#include "cli/map_file.h"
#include "cli/medium_watch.h"
#include "cli/raw_image.h"
#include "cli/shown_argument.h"
#include "cli/text_file.h"
#include "drive/disk_format.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"
#include "platform/cancel_signals.h"
#include "platform/medium_state.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

// The longest a batch waiting for a diskette takes to see a Ctrl+C.
constexpr int kCancelWaitMs = 500;

constexpr const char* kFirstCtrlC = "Ending after this diskette; Ctrl+C again cancels it.";

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
    return DriveDescription{target.label(), target.path(), model.vendor,
                            model.model,    model.kind,    model.serial};
}

// What the drives of one batch share: the end of input, the count over all drives, the
// identifiers, the questions of --ask, the tally, and a stop that one drive can call for all.
class BatchShared {
  public:
    explicit BatchShared(const BatchOptions& options)
        : m_options(options), m_input(options.count > 0) {}

    const BatchOptions& options() const { return m_options; }
    DriveBoard* board = nullptr;
    IdentifierList ids;
    std::atomic<int> done{0}, failed{0}, unread{0};
    // The drives with a diskette in hand: from the moment it is seen until it is filed.
    std::atomic<int> atWork{0};
    // Says a line for the whole batch, not for one drive, on standard error: beside the progress
    // line, or above the drives' board. Set before any drive starts.
    std::function<void(const std::string&)> say;

    // With --ask standard input holds the answers: only the end typed at a question ends the
    // batch, and nothing is read from it between questions.
    bool InputEnded() {
        if (m_ended) return true;
        if (m_options.ask) return false;
        std::lock_guard<std::mutex> lock(m_inputMutex);
        return m_ended = m_input.Ended();
    }
    void Wait(int ms) {
        if (m_options.ask)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        else
            m_input.Wait(ms);
    }
    void EndInput() { m_ended = true; }

    // Takes the next of --count's diskettes for a drive; false when every one is taken.
    bool TakeDiskette() {
        if (m_options.count == 0) return true;
        int taken = m_taken.load();
        while (taken < m_options.count)
            if (m_taken.compare_exchange_weak(taken, taken + 1)) return true;
        return false;
    }
    bool CountReached() const { return m_options.count > 0 && m_taken >= m_options.count; }

    // A drive found that the batch cannot go on (an identifier refused), or standard output
    // went away: the others end too, each once its diskette is filed.
    void Stop() { m_stopped = true; }
    bool Stopped() const { return m_stopped || OutIsGone(); }
    // Nobody reads the filed lines any more (`batch ... | head -1`): said once, on standard
    // error, which may still be read.
    void SayIfOutputGone() {
        if (OutIsGone() && !m_outputGoneSaid.exchange(true))
            say("tavrel-cli: standard output is closed: the batch ends once the diskettes being "
                "imaged are filed (batch.csv lists every one)");
    }

  private:
    const BatchOptions& m_options;
    BatchInput m_input;
    std::mutex m_inputMutex;
    std::atomic<bool> m_ended{false}, m_stopped{false}, m_outputGoneSaid{false};
    std::atomic<int> m_taken{0};
};

// A diskette in a drive's hands, counted while the object lives.
class AtWork {
  public:
    explicit AtWork(BatchShared& shared) : m_shared(shared) { ++m_shared.atWork; }
    ~AtWork() { --m_shared.atWork; }
    AtWork(const AtWork&) = delete;
    AtWork& operator=(const AtWork&) = delete;

  private:
    BatchShared& m_shared;
};

// The first Ctrl+C lets the diskette in hand be finished, and its progress goes on: said at
// once, or the operator presses again and cancels it. Once for the whole batch, on however many
// drives; nothing is said when no diskette is in hand (the batch ends at once) or when two came
// together or the terminal closed (it is cancelled at once).
class FirstCtrlCNotice {
  public:
    explicit FirstCtrlCNotice(BatchShared& shared) : m_shared(shared) {
        platform::SignalsBlocked blocked;
        m_thread = std::thread([this] { Watch(); });
    }
    ~FirstCtrlCNotice() {
        m_ended = true;
        m_signals.Wake();
        m_thread.join();
    }
    FirstCtrlCNotice(const FirstCtrlCNotice&) = delete;
    FirstCtrlCNotice& operator=(const FirstCtrlCNotice&) = delete;

  private:
    void Watch() {
        int count = 0;
        while (!m_ended && count == 0) count = m_signals.WaitForRequest(1000);
        if (count == 1 && !m_signals.SessionEnded() && m_shared.atWork > 0)
            m_shared.say(kFirstCtrlC);
    }

    BatchShared& m_shared;
    platform::CancelSignals m_signals;
    std::atomic<bool> m_ended{false};
    std::thread m_thread;
};

// How a diskette got its name: reserved, the batch ends here, or it cannot go on.
enum class Naming { Reserved, Ended, Failed };

class Batch {
  public:
    Batch(BatchShared& shared, Console& console, const DriveTarget& target)
        : m_options(shared.options()),
          m_shared(shared),
          m_console(console),
          m_target(target),
          m_drive(DescribeDrive(target)) {}

    int Run();
    int Resume();

  private:
    bool OpenFolder();
    bool Recover();
    bool WaitForDiskette(bool taken);
    bool InputEnded() { return m_shared.InputEnded(); }
    bool SeveralDrives() const { return m_shared.board != nullptr; }
    Naming Name(int* number, BatchRecord& begun, Reservation* reservation);
    Naming Ask(int* number, BatchRecord& begun, Reservation* reservation);
    void RunEach(BatchRecord& d);
    BatchRecord Begin(const std::string& name) const;
    void ImageOne(BatchRecord& d, bool resume);
    void VerifyImage(BatchRecord& d, bool raw);
    void MakeRaw(BatchRecord& d);
    void KeepUnfinishedRescue(BatchRecord& d);
    bool FileAndSay(BatchRecord& d, Reservation* reservation);
    std::string GoOn(const std::string& name) const {
        // Pasted into a shell, the folder and drive stay one word each.
        return "go on with: tavrel-cli batch " + ShownArgument(m_target.label()) + " " +
               ShownArgument(m_options.folder) + " --rescue --resume " + name +
               (m_options.raw ? " --raw" : "");
    }

    const BatchOptions& m_options;
    BatchShared& m_shared;
    Console& m_console;
    const DriveTarget& m_target;
    BatchFolder m_folder;
    DriveDescription m_drive;
    platform::CancelSignals m_signals;
    int m_done = 0, m_failed = 0, m_unread = 0;
    MediumWatch m_watch;
};

// Each drive has a lock of its own on the folder: the system keeps two batches of one process
// apart only when each opened the lock file itself.
bool Batch::OpenFolder() {
    std::string error;
    if (m_folder.Open(m_options.folder, &error)) return true;
    m_console.Error(error);
    return false;
}

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
// taken: the diskette waited for is counted already (--ask took it for its question), so the
// count reached is no reason to stop.
bool Batch::WaitForDiskette(bool taken) {
    for (;;) {
        if (m_signals.Count() > 0 || (!taken && m_shared.CountReached()) || m_shared.Stopped())
            return false;
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
            m_shared.Wait(std::min(kCancelWaitMs, medium.pollMs - waited));
    }
}

BatchRecord Batch::Begin(const std::string& name) const {
    BatchRecord d;
    d.name = name;
    d.started = UtcNow();
    d.drive = m_drive;
    d.method = m_options.rescue ? "rescue" : "compress";
    d.identifier = name;
    d.operatorName = m_options.operatorName;
    d.note = m_options.note;
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
        rescue.drive = m_target.label();
        rescue.image = tvl;
        rescue.kind = OutputKind::Tvl;  // the raw image, if any, is made once it is filed
        rescue.map = m_folder.PartPath(d.name, "map");
        rescue.noCompression = m_options.noCompression;
        rescue.commandLine = "tavrel-cli batch " + m_target.label() + " " + m_options.folder;
        rescue.hashes = m_options.hashes;
        rescue.outcome = &outcome;
        rescue.rawPathIfForeign = m_folder.PartPath(d.name, "img");
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
        request.rawPathIfForeign = m_folder.PartPath(d.name, "img");
        outcome = RunDiskJob(request, m_console);
    }
    if (outcome.mediaRow >= 0) d.format = MediaTypeName(outcome.mediaRow);
    if (outcome.format.known()) {
        if (outcome.mediaRow < 0) d.format = FormatName(outcome.format);
        d.geometry =
            GeometryText(outcome.format) + " (" + GeometrySourceName(outcome.format.source) + ")";
    }
    // What was read of the boot sector stays on record whatever came of the diskette.
    if (!outcome.bootSector.empty()) d.boot = BootFieldsOf(outcome.bootSector.data());
    const bool foreign = outcome.rawImage;
    if (foreign) d.imageKind = "raw: a .tvl cannot hold " + DisketteText(outcome.format);
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
    d.image = foreign ? d.name + ".img" : shownImage;
    if (m_options.rescue) {
        d.map = true;
        d.unread = outcome.map.Unread();
        if (d.unread)
            d.unreadRanges =
                UnreadRanges(outcome.map, outcome.format.sectorsPerTrack, outcome.format.heads);
    }
    d.result = d.unread ? "unreadable sectors" : "done";
    if (!foreign) d.boot = ReadBootFields(tvl);
    VerifyImage(d, foreign);
    if (m_options.raw && !foreign) MakeRaw(d);
}

// A rescue that stopped keeps what it read, image and map together, so --resume can go on.
void Batch::KeepUnfinishedRescue(BatchRecord& d) {
    const bool raw = !Exists(m_folder.PartPath(d.name, "tvl"));
    const std::string tvl = m_folder.PartPath(d.name, raw ? "img" : "tvl");
    const std::string mapPath = m_folder.PartPath(d.name, "map");
    if (!Exists(tvl) || !Exists(mapPath)) return;
    SectorMap map;
    MapStatus status;
    std::string error;
    if (!LoadMapFile(mapPath, &map, &status, &error)) return;
    d.image = d.name + (raw ? ".img" : ".tvl");
    d.map = true;
    d.unread = map.Count(SectorBad);
    d.untried = map.sectors - map.Count(SectorFinished) - d.unread;
    if (!raw) d.boot = ReadBootFields(tvl);
    d.message += "; " + GoOn(d.name);
}

void Batch::VerifyImage(BatchRecord& d, bool raw) {
    if (m_options.noVerify) {
        d.verify = "skipped";
        return;
    }
    if (d.unread) {
        d.verify = "skipped: unreadable sectors";
        return;
    }
    JobRequest request{Verify, m_target.letter(), m_folder.PartPath(d.name, raw ? "img" : "tvl"),
                       true};
    request.rawImage = raw;
    request.cancelAtSignal = 2;
    request.imageName = d.name + (raw ? ".img" : ".tvl");
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
    // Cancelled, the image read whole is kept all the same: it is the diskette as read, only not
    // compared again.
    if (verify.result == JobCancelled) {
        d.result = "cancelled";
        d.message = "cancelled while verifying: the image is kept, not verified";
    } else if (verify.result != JobDone) {
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
    // A request that comes while the files are listed cancels the listing as a second one
    // cancels a read (the first only ends the batch); the image is kept. Those the read or the
    // verify already answered are not heard again.
    const int answered = std::max(m_signals.Count(), 1);
    const auto cancelled = [this, answered] {
        return m_signals.Count() > answered || m_signals.SessionEnded();
    };
    if (!m_folder.Prepare(d, cancelled, &error)) {
        m_console.Error(error);
        return false;
    }
    {
        BatchFolder::Held held(m_folder);
        if (!held.ok() || !m_folder.File(d, m_options.hashes, reservation, &error)) {
            m_console.Error(error.empty() ? "tavrel-cli: cannot lock " + m_options.folder : error);
            return false;
        }
    }
    (d.Failed() ? m_failed : m_done)++;
    (d.Failed() ? m_shared.failed : m_shared.done)++;
    m_unread += d.unread;
    m_shared.unread += d.unread;
    if (m_options.json) {
        std::string line = JsonLine(d);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        m_console.Out(line);
    } else {
        // Beside other drives' diskettes, each says where it was read.
        m_console.Out((SeveralDrives() ? m_target.label() + "  " : std::string()) + ConsoleLine(d));
    }
    if (SeveralDrives()) m_console.Progress("filed " + d.name + " (" + d.result + ")");
    return true;
}

// The diskette's name: the next number, the next identifier of --ids, or the one typed for
// --ask. Failed when the identifiers are used up: the diskette in the drive is not imaged.
Naming Batch::Name(int* number, BatchRecord& begun, Reservation* reservation) {
    if (m_options.ask) return Ask(number, begun, reservation);
    std::string error;
    BatchFolder::Held held(m_folder);
    if (!held.ok()) {
        m_console.Error("tavrel-cli: cannot lock " + m_folder.Path(".batch.lock") + ": " +
                        std::strerror(errno));
        return Naming::Failed;
    }
    if (m_options.ids.empty()) {
        if (m_folder.Reserve(m_options.pattern, number, begun, reservation, &error))
            return Naming::Reserved;
        m_console.Error(error);
        return Naming::Failed;
    }
    // An identifier filed already, or taken by another batch on the same list, is passed over
    // with a word: no second diskette is filed under it.
    std::vector<std::string> passed;
    for (;;) {
        const std::string id = m_shared.ids.Next();
        if (id.empty()) {
            m_console.Error("tavrel-cli: every identifier in " + m_options.ids +
                            " is taken: the diskette in " + m_target.label() +
                            " is not imaged, and the batch ends");
            m_shared.Stop();
            return Naming::Failed;
        }
        bool taken = false;
        if (m_folder.ReserveNamed(id, begun, reservation, &taken, &error)) break;
        if (!taken) {
            m_console.Error(error);
            return Naming::Failed;
        }
        const std::string refused = ": no second diskette is filed under it";
        if (error.size() > refused.size() &&
            error.compare(error.size() - refused.size(), refused.size(), refused) == 0)
            error.resize(error.size() - refused.size());
        m_console.Error(error + ": passed over");
        passed.push_back(id);
    }
    if (!passed.empty())
        m_console.Error("tavrel-cli: the diskette in " + m_target.label() + " is " +
                        reservation->name + ", the next identifier in " + m_options.ids +
                        " not taken");
    return Naming::Reserved;
}

// The command's failure is said and kept in the diskette's info; the batch goes on either way.
void Batch::RunEach(BatchRecord& d) {
    if (SeveralDrives()) m_console.Progress(d.name + ": running --each");
    const EachOutcome outcome =
        RunEachCommand(m_options.each, EachCommandEnvironment(d, m_folder.PayloadFolder()));
    d.each = outcome.failure.empty() ? "done" : "failed: " + outcome.failure;
    if (!outcome.failure.empty())
        m_console.Error("tavrel-cli: --each for " + d.name + ": " + outcome.failure);
    std::string error;
    BatchFolder::Held held(m_folder);
    if (!held.ok() || !m_folder.Amend(d, m_options.hashes, &error))
        m_console.Error(error.empty() ? "tavrel-cli: cannot lock " + m_options.folder : error);
}

// Asks for the diskette's identifier (Enter: the next number) and its label's text; asks again
// for an identifier that is no name or is taken.
Naming Batch::Ask(int* number, BatchRecord& begun, Reservation* reservation) {
    // One question at a time, with the drives' board out of its way; one drive has no board
    // and nobody else to ask.
    std::unique_ptr<DriveBoard::Aside> aside;
    if (m_shared.board) aside = std::make_unique<DriveBoard::Aside>(*m_shared.board);
    auto cancelled = [this] { return m_signals.Count() > 0; };
    for (;;) {
        // Another drive's question may have met the end of input.
        if (InputEnded() || m_shared.Stopped() || cancelled()) return Naming::Ended;
        std::string next;
        {
            BatchFolder::Held held(m_folder);
            int n = *number;
            while (n < INT_MAX && m_folder.Taken(NameFor(m_options.pattern, n))) ++n;
            next = NameFor(m_options.pattern, n);
        }
        WriteErr("Identifier of the next diskette in " + m_target.label() + " [" + next + "]: ");
        std::string id;
        const Answer answer = ReadAnswer(&id, cancelled);
        if (answer != Answer::Given) {
            WriteErr("\n");
            if (answer == Answer::Ended) m_shared.EndInput();
            return Naming::Ended;
        }
        const size_t first = id.find_first_not_of(" \t");
        id = first == std::string::npos ? std::string()
                                        : id.substr(first, id.find_last_not_of(" \t") - first + 1);
        std::string error;
        bool reserved = false;
        {
            BatchFolder::Held held(m_folder);
            if (!held.ok()) {
                m_console.Error("tavrel-cli: cannot lock " + m_folder.Path(".batch.lock"));
                return Naming::Failed;
            }
            bool taken = false;
            std::string why;
            if (id.empty())
                reserved = m_folder.Reserve(m_options.pattern, number, begun, reservation, &error);
            else if (!CheckDisketteName(id, &why))
                error = "tavrel-cli: " + id + ": " + why;
            else
                reserved = m_folder.ReserveNamed(id, begun, reservation, &taken, &error);
        }
        if (!reserved) {
            // Said at once, beside the question: the board is aside.
            WriteErr(error + "\n");
            continue;
        }
        WriteErr("Text on its label (Enter: none): ");
        std::string label;
        const Answer labelAnswer = ReadAnswer(&label, cancelled);
        if (labelAnswer != Answer::Given) {
            WriteErr("\n");
            m_folder.Release(reservation);
            if (labelAnswer == Answer::Ended) m_shared.EndInput();
            return Naming::Ended;
        }
        begun.labelText = label;
        return Naming::Reserved;
    }
}

int Batch::Run() {
    if (!OpenFolder() || !Recover()) return kExitFailed;
    int number = m_options.start;
    int imaged = 0;
    bool stopped = false;
    while (!stopped) {
        // At the end of input there is no next diskette to ask for.
        if (imaged > 0 && InputEnded()) break;
        if (m_shared.CountReached() || m_shared.Stopped()) break;
        if (imaged > 0 && !SeveralDrives())
            m_console.Warning("Remove the diskette, insert the next one (" +
                              std::string(kEndOfInputKeys) + " ends the batch)");
        // --ask asks before each diskette goes in, the label in the operator's hand; otherwise
        // the diskette is named once it is in.
        Reservation reservation;
        BatchRecord begun = Begin("");
        Naming naming = Naming::Reserved;
        if (m_options.ask && m_shared.TakeDiskette())
            naming = Name(&number, begun, &reservation);
        else if (m_options.ask)
            break;
        if (naming == Naming::Failed) return kExitFailed;
        if (naming == Naming::Ended) break;
        if (!WaitForDiskette(m_options.ask)) {
            m_folder.Release(&reservation);
            break;
        }
        AtWork atWork(m_shared);
        if (!m_options.ask) {
            if (!m_shared.TakeDiskette()) break;
            naming = Name(&number, begun, &reservation);
            if (naming == Naming::Failed) return kExitFailed;
            if (naming == Naming::Ended) break;
        }
        m_console.EndProgress();
        BatchRecord d = Begin(reservation.name);
        d.labelText = begun.labelText;
        if (SeveralDrives()) m_console.Progress(d.name + ": reading");
        ImageOne(d, false);
        m_watch.Imaged(platform::PollMedium(m_drive.device));
        if (!FileAndSay(d, &reservation)) return kExitFailed;
        m_shared.SayIfOutputGone();
        if (!m_options.each.empty()) RunEach(d);
        // The next number is the first free one from here: an identifier takes none.
        ++imaged;
        stopped = d.result == "cancelled" || m_signals.Count() > 0;
    }
    m_shared.SayIfOutputGone();
    m_console.EndProgress();
    if (SeveralDrives())
        m_console.Progress("ended: " + std::to_string(m_done) + " done, " +
                           std::to_string(m_failed) + " failed");
    return m_failed ? kExitFailed : kExitDone;
}

int Batch::Resume() {
    if (!OpenFolder() || !Recover()) return kExitFailed;
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
    if (!WaitForDiskette(true)) {
        m_folder.Release(&reservation);
        return kExitCancelled;
    }
    AtWork atWork(m_shared);
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
    // Cancelled is cancelled, whether or not the rescue had read anything new: as rescue says.
    if (d.result == "cancelled") return kExitCancelled;
    return d.Failed() ? kExitFailed : d.unread ? kExitUnreadable : kExitDone;
}

}  // namespace

namespace {

// One line of text in an info file and in bag-info.txt.
bool OneLine(const std::string& text) {
    return text.find_first_of("\r\n") == std::string::npos;
}

bool CheckOptions(const BatchOptions& options, Console& console) {
    std::string why;
    if (!CheckNamePattern(options.pattern, &why)) {
        console.Error("tavrel-cli: --name " + options.pattern + ": " + why);
        return false;
    }
    if (!options.resume.empty() && !CheckDisketteName(options.resume, &why)) {
        console.Error("tavrel-cli: --resume " + options.resume + ": " + why);
        return false;
    }
    if (!options.resume.empty() && options.drives.size() > 1) {
        console.Error("tavrel-cli: --resume goes on with one diskette: name one drive");
        return false;
    }
    if (!options.ids.empty() && options.ask) {
        console.Error("tavrel-cli: --ids and --ask both name the diskettes: give one of them");
        return false;
    }
    if (options.start < 0 || options.count < 0) {
        console.Error("tavrel-cli: --start and --count take a number of 0 or more");
        return false;
    }
    if (!OneLine(options.folder)) {
        console.Error("tavrel-cli: FOLDER may not hold a line break");
        return false;
    }
    if (!OneLine(options.operatorName + options.box + options.note)) {
        console.Error("tavrel-cli: --operator, --box and --note may not hold a line break");
        return false;
    }
    return true;
}

// The drive as a target: false, said, when it names no drive there is.
bool ResolveDrive(const std::string& argument, DriveTarget& drive, Console& console,
                  int* exitCode) {
    std::string error;
    *exitCode = kExitFailed;
    if (!drive.Resolve(argument, &error)) {
        console.Error(error);
        return false;
    }
    // A letter with nothing behind it would have the batch wait for ever for a diskette.
    if (drive.path().empty()) {
        console.Error("Tavrel: Cannot find the drive specified: " +
                      MissingDriveReason(drive.label(), drive.letter()));
        return false;
    }
    // Nor may a device or file that is not there: a typing error, or a PC without that drive.
    // (The system's device names, \\.\A:, are no files to look at.)
    struct stat st {};
    if (drive.path().rfind("\\\\.\\", 0) != 0 &&
        platform::SysLstat(drive.path().c_str(), &st) != 0 && errno == ENOENT) {
        console.Error("tavrel-cli: " + MissingDriveReason(drive.label(), drive.letter()));
        *exitCode = kExitUsage;
        return false;
    }
    return true;
}

// One drive, on this thread: the batch's own lines go beside its progress line.
int RunOne(BatchShared& shared, Console& console, const DriveTarget& drive) {
    shared.say = [&console](const std::string& line) {
        const size_t columns = static_cast<size_t>(ErrColumns());
        WriteErr((console.interactive()
                      ? ProgressRedraw(line, columns > 1 ? columns - 1 : 1, ErrTakesEscapes())
                      : line) +
                 "\n");
    };
    FirstCtrlCNotice notice(shared);
    Batch batch(shared, console, drive);
    return shared.options().resume.empty() ? batch.Run() : batch.Resume();
}

// Every drive at once, each on its own thread; this thread only hears the Ctrl+C.
int RunSeveral(BatchShared& shared, const std::vector<std::unique_ptr<DriveTarget>>& drives,
               Console& console) {
    std::vector<std::string> labels;
    for (const auto& drive : drives) labels.push_back(drive->label());
    DriveBoard board(labels, console.interactive() && ErrTakesEscapes());
    shared.board = &board;
    std::vector<std::unique_ptr<Console>> consoles;
    for (size_t i = 0; i < drives.size(); ++i)
        consoles.push_back(std::make_unique<Console>(console.quiet(), &board.SinkFor(i)));
    std::vector<int> results(drives.size(), kExitDone);
    platform::CancelSignals signals;
    shared.say = [&board](const std::string& line) { board.Scroll(line, true); };
    FirstCtrlCNotice notice(shared);
    std::vector<std::thread> threads;
    {
        platform::SignalsBlocked blocked;
        for (size_t i = 0; i < drives.size(); ++i)
            threads.emplace_back([&, i] {
                Batch batch(shared, *consoles[i], *drives[i]);
                results[i] = batch.Run();
            });
    }
    for (std::thread& thread : threads) thread.join();
    board.Close();
    shared.board = nullptr;
    for (int result : results)
        if (result != kExitDone) return kExitFailed;
    return kExitDone;
}

}  // namespace

int RunBatch(const BatchOptions& options, Console& console) {
    if (!CheckOptions(options, console)) return kExitUsage;
    BatchOptions effective = options;
    if (!options.resume.empty()) effective.rescue = true;
    BatchShared shared(effective);
    std::string error;
    if (!options.ids.empty() && !shared.ids.Load(options.ids, &error)) {
        console.Error(error);
        return kExitUsage;
    }
    std::vector<std::unique_ptr<DriveTarget>> drives;
    for (const std::string& argument : options.drives) {
        drives.push_back(std::make_unique<DriveTarget>());
        int exitCode = kExitFailed;
        if (!ResolveDrive(argument, *drives.back(), console, &exitCode)) return exitCode;
        for (size_t i = 0; i + 1 < drives.size(); ++i)
            if (drives[i]->path() == drives.back()->path()) {
                console.Error("tavrel-cli: " + argument + " is named twice (as " +
                              drives[i]->label() + "): each drive images its own diskettes");
                return kExitUsage;
            }
    }
    {
        // The folder is made, or found unusable, before any drive starts.
        BatchFolder folder;
        if (!folder.Open(options.folder, &error)) {
            console.Error(error);
            return kExitFailed;
        }
    }
    // A closed standard output ends the batch as the first Ctrl+C does, and the code says the
    // lines were lost.
    platform::BrokenPipeSurvived brokenPipe;
    if (!options.resume.empty()) {
        const int result = RunOne(shared, console, *drives[0]);
        shared.SayIfOutputGone();
        return result == kExitDone && OutIsGone() ? kExitFailed : result;
    }
    const int result = drives.size() == 1 ? RunOne(shared, console, *drives[0])
                                          : RunSeveral(shared, drives, console);
    console.Warning("Batch ended: " + std::to_string(shared.done) + " done, " +
                    std::to_string(shared.failed) + " failed, " + std::to_string(shared.unread) +
                    " unreadable sectors");
    return shared.failed > 0 || OutIsGone() ? kExitFailed : result;
}

}  // namespace cli
