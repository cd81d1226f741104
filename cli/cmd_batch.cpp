// batch DRIVE FOLDER: a box of diskettes, one after the other, without a keypress between
// them. Each is imaged, verified and hashed, and filed under the next free name with an info
// file; the folder's manifests and batch.csv grow by one diskette at a time, each replaced
// whole, so a batch that stops anywhere leaves a folder that checks, and a new run goes on
// from there.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "cli/atomic_output.h"
#include "cli/bad_sectors.h"
#include "cli/batch_system.h"
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/drive_target.h"
#include "cli/fixity_files.h"
#include "cli/image_scan.h"
#include "cli/job_runner.h"
#include "cli/map_file.h"
#include "cli/raw_image.h"
#include "cli/text_file.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"
#include "engine/fixity.h"
#include "platform/cancel_signals.h"
#include "platform/medium_state.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

constexpr FixityAlgorithm kAlgorithms[3] = {FixityMd5, FixitySha1, FixitySha256};

std::string UtcNow() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return platform::SysLstat(path.c_str(), &st) == 0;
}

// "disk-{n:03}" with n = 7 is "disk-007"; "" when the pattern has no {n}.
std::string NameFor(const std::string& pattern, int n) {
    size_t open = pattern.find("{n");
    size_t close = open == std::string::npos ? open : pattern.find('}', open);
    if (close == std::string::npos) return {};
    std::string format = pattern.substr(open + 2, close - open - 2);
    int width = 0;
    bool zeros = false;
    if (!format.empty()) {
        if (format[0] != ':' || format.size() < 2 ||
            format.find_first_not_of("0123456789", 1) != std::string::npos)
            return {};
        zeros = format[1] == '0';
        width = std::stoi(format.substr(1));
    }
    char number[32];
    std::snprintf(number, sizeof number, zeros ? "%0*d" : "%*d", width, n);
    return pattern.substr(0, open) + number + pattern.substr(close + 1);
}

// The boot sector's OEM name, volume label and serial number, where it has them.
struct BootFields {
    std::string oemName, label, serial;
};

std::string Printable(const std::uint8_t* bytes, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '?';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

BootFields ReadBootFields(const std::string& image) {
    BootFields fields;
    ImageReport report;
    InspectImage(image, &report, [&](int, int, const std::uint8_t* data, int) {
        fields.oemName = Printable(data + 3, 8);
        // The label is there where the serial number is: after the extended boot signature.
        const DisketteId id = IdentifyDiskette(data);
        if (id.hasSerial) {
            fields.serial = SerialText(id);
            fields.label = Printable(data + 43, 11);
        }
        return false;
    });
    return fields;
}

struct Drive {
    std::string label, device, vendor, model;
};

Drive DescribeDrive(const DriveTarget& target) {
    DriveModel model = DescribeDevice(target.path());
    return Drive{target.label(), target.path(), model.vendor, model.model};
}

// One diskette's outcome, as filed.
struct Diskette {
    std::string name, started, ended, format = "unknown", result = "failed", verify = "not run",
                                      message, unreadRanges;
    int unread = 0;
    std::string image;  // the file name, "" when nothing was filed
    HashSet content, imageHashes;
};

std::string Csv(const std::string& field) {
    if (field.find_first_of(",\"\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// Never over the older file in place: a manifest's new text holds the older one, which an
// interrupted overwrite would lose.
bool WriteWhole(const std::string& path, const std::string& text, std::string* error) {
    AtomicOutput out;
    if (!out.Open(path, error, false)) return false;
    if (!out.Write(text.data(), static_cast<std::uint32_t>(text.size()))) {
        *error = out.WriteError();
        return false;
    }
    int result = out.Commit(error);
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
    int committed = out.Commit(error);
    return committed == platform::ReplacementFile::Committed ||
           committed == platform::ReplacementFile::CommittedNotDurable;
}

// A manifest or the log takes a diskette's lines by being replaced whole, never appended to:
// a batch killed or a disk filled up mid-write leaves the older file as it was, not half a
// line. A file that did not exist (or was empty) starts with header.
bool AddLines(const std::string& path, const std::string& header, const std::string& lines,
              std::string* error) {
    std::string text;
    if (!ReadTextFile(path, &text, error, MissingFile::IsEmpty)) return false;
    if (text.empty()) text = header;
    // A line some other writer left unfinished stays a line of its own.
    if (!text.empty() && text.back() != '\n') text += '\n';
    return WriteWhole(path, text + lines, error);
}

std::string InfoText(const Diskette& d, const Drive& drive, const BootFields& boot,
                     const BatchOptions& options) {
    std::string text = "tool: tavrel-cli " TAVREL_VERSION "\n";
    text += "name: " + d.name + "\n";
    text += "started: " + d.started + "\nended: " + d.ended + "\n";
    text += "drive: " + drive.label + "\ndevice: " + drive.device + "\n";
    if (!drive.vendor.empty()) text += "vendor: " + drive.vendor + "\n";
    if (!drive.model.empty()) text += "model: " + drive.model + "\n";
    text += "format: " + d.format + "\n";
    text += "oem-name: " + boot.oemName + "\nvolume-label: " + boot.label +
            "\nvolume-serial: " + boot.serial + "\n";
    text += std::string("method: ") + (options.rescue ? "rescue" : "compress") + "\n";
    text += "result: " + d.result + "\n";
    text += "unreadable-sectors: " + std::to_string(d.unread) +
            (d.unreadRanges.empty() ? "" : " (" + d.unreadRanges + ")") + "\n";
    text += "verify: " + d.verify + "\n";
    if (!d.image.empty()) text += "image: " + d.image + "\n";
    for (const auto& [name, hex] : d.content) text += "content-" + name + ": " + hex + "\n";
    for (const auto& [name, hex] : d.imageHashes) text += "image-" + name + ": " + hex + "\n";
    if (!d.message.empty()) text += "message: " + d.message + "\n";
    return text;
}

std::string JsonLine(const Diskette& d) {
    std::string hashes;
    for (const auto& [name, hex] : d.content)
        hashes += (hashes.empty() ? "" : ",") + JsonString(name) + ":" + JsonString(hex);
    return "{\"name\":" + JsonString(d.name) + ",\"image\":" + JsonString(d.image) +
           ",\"started\":" + JsonString(d.started) + ",\"ended\":" + JsonString(d.ended) +
           ",\"format\":" + JsonString(d.format) + ",\"result\":" + JsonString(d.result) +
           ",\"unreadableSectors\":" + std::to_string(d.unread) +
           ",\"verify\":" + JsonString(d.verify) + ",\"contentHashes\":{" + hashes +
           "},\"message\":" + JsonString(d.message) + "}\n";
}

class Batch {
  public:
    Batch(const BatchOptions& options, Console& console, const DriveTarget& target)
        : m_options(options),
          m_console(console),
          m_target(target),
          m_drive(DescribeDrive(target)) {}

    int Run();

  private:
    bool WaitForDiskette(bool next);
    Diskette ImageOne(const std::string& name);
    bool File(Diskette& d, const BootFields& boot);
    std::string Path(const std::string& file) const { return m_options.folder + "/" + file; }
    std::string NextName();

    const BatchOptions& m_options;
    Console& m_console;
    const DriveTarget& m_target;
    Drive m_drive;
    platform::CancelSignals m_signals;
    int m_number = 0;
    int m_done = 0, m_failed = 0, m_unread = 0;
    std::string m_lastIdentity;
    BatchInput m_input;
};

// Waits until the drive holds a diskette: with next, one other than the last imaged, which
// must be taken out first where the drive can tell. False when the batch is to end.
bool Batch::WaitForDiskette(bool next) {
    bool removed = !next;
    for (;;) {
        if (m_signals.Count() > 0 || m_input.Ended()) return false;
        platform::MediumState medium = platform::PollMedium(m_drive.device);
        if (!medium.present || medium.changed) removed = true;
        bool changed = !medium.identity.empty() && medium.identity != m_lastIdentity;
        if (medium.present && (removed || changed)) {
            m_lastIdentity = medium.identity;
            return true;
        }
        m_console.Progress((next && !removed ? "Remove the diskette" : "Insert a diskette") +
                           std::string(" (") + std::to_string(m_done) + " done, " +
                           std::to_string(m_failed) + " failed, " + std::to_string(m_unread) +
                           " unreadable sectors)");
        m_input.Wait(medium.pollMs);
    }
}

std::string Batch::NextName() {
    for (;; ++m_number) {
        std::string name = NameFor(m_options.pattern, m_number);
        bool taken = false;
        for (const char* end : {".tvl", ".img", ".info", ".map"}) taken |= Exists(Path(name + end));
        if (!taken) return name;
    }
}

Diskette Batch::ImageOne(const std::string& name) {
    Diskette d;
    d.name = name;
    d.started = UtcNow();
    const std::string image = name + (m_options.raw ? ".img" : ".tvl");
    const std::string tvl = m_options.raw ? Path("." + name + ".part.tvl") : Path(image);
    JobOutcome outcome;
    m_console.ForgetLastError();
    std::string jobError;
    if (m_options.rescue) {
        RescueOptions rescue;
        rescue.drive = m_options.drive;
        rescue.image = tvl;
        rescue.map = Path(name + ".map");
        rescue.noCompression = m_options.noCompression;
        rescue.commandLine = "tavrel-cli batch " + m_options.drive + " " + m_options.folder;
        rescue.hashes = m_options.hashes;
        rescue.outcome = &outcome;
        rescue.cancelAtSignal = 2;
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
        outcome = RunDiskJob(request, m_console);
    }
    if (outcome.mediaRow >= 0) d.format = MediaTypeName(outcome.mediaRow);
    if (outcome.result != JobDone) {
        d.result = outcome.result == JobCancelled ? "cancelled" : "failed";
        if (jobError.empty()) jobError = m_console.lastError();
        d.message = outcome.result == JobCancelled ? "cancelled" : jobError;
        // A cancelled or failed rescue keeps what it read: its map says how far it got.
        if (Exists(tvl) && !m_options.raw) d.image = image;
        d.ended = UtcNow();
        return d;
    }
    d.content = outcome.contentHashes;
    d.imageHashes = outcome.imageHashes;
    d.unread = m_options.rescue ? outcome.map.Unread() : 0;
    if (d.unread)
        d.unreadRanges =
            UnreadRanges(outcome.map, MediaTypeTable[outcome.mediaRow].sectorsPerTrack);
    d.result = d.unread ? "unreadable sectors" : "done";
    if (m_options.noVerify) {
        d.verify = "skipped";
    } else if (d.unread) {
        d.verify = "skipped: unreadable sectors";
    } else {
        JobRequest request{Verify, m_target.letter(), tvl, true};
        request.cancelAtSignal = 2;
        JobOutcome verify = RunDiskJob(request, m_console);
        d.verify = verify.result == JobDone ? "same"
                   : verify.result == JobDifferent
                       ? "different at cylinder " + std::to_string(verify.diffCylinder) + " head " +
                             std::to_string(verify.diffHead)
                       : "failed: " + m_console.lastError();
        if (verify.result != JobDone) {
            d.result = "failed";
            d.message = "verify: " + d.verify;
        }
    }
    if (m_options.raw) {
        std::string error;
        if (!WriteRaw(tvl, Path(image), &error)) {
            d.result = "failed";
            d.message = image + ": " + error;
        } else {
            // A raw image is the content itself.
            d.imageHashes = d.content;
        }
    }
    if (d.result != "failed" || !m_options.raw) d.image = image;
    d.ended = UtcNow();
    return d;
}

bool Batch::File(Diskette& d, const BootFields& boot) {
    const std::string info = InfoText(d, m_drive, boot, m_options);
    std::string error;
    if (!WriteWhole(Path(d.name + ".info"), info, &error)) {
        m_console.Error("tavrel-cli: " + Path(d.name + ".info") + ": " + error);
        return false;
    }
    HashSet infoHashes = TextHashes(info, m_options.hashes);
    HashSet mapHashes;
    const bool withMap = m_options.rescue && Exists(Path(d.name + ".map")) &&
                         FileHashes(Path(d.name + ".map"), m_options.hashes, &mapHashes);
    for (FixityAlgorithm algorithm : kAlgorithms) {
        if (!(m_options.hashes & algorithm)) continue;
        const std::string name = FixityName(algorithm);
        std::string lines;
        if (!d.image.empty() && d.imageHashes.count(name))
            lines += d.imageHashes[name] + "  " + d.image + "\n";
        if (withMap) lines += mapHashes[name] + "  " + d.name + ".map\n";
        lines += infoHashes[name] + "  " + d.name + ".info\n";
        if (!AddLines(Path("manifest-" + name + ".txt"), "", lines, &error)) {
            m_console.Error(error);
            return false;
        }
    }
    const std::string csv = Path("batch.csv");
    const std::string row = Csv(d.name) + "," + d.started + "," + Csv(d.format) + "," +
                            Csv(d.result) + "," + std::to_string(d.unread) + "," +
                            (d.content.count("sha256") ? d.content["sha256"] : "") + "," +
                            Csv(d.message) + "\n";
    if (!AddLines(csv, "name,time,format,result,unreadable sectors,content sha256,message\n", row,
                  &error)) {
        m_console.Error(error);
        return false;
    }
    return true;
}

int Batch::Run() {
    m_number = m_options.start;
    int imaged = 0;
    bool stopped = false;
    while (!stopped && (m_options.count == 0 || imaged < m_options.count)) {
        if (imaged > 0)
            m_console.Warning("Remove the diskette, insert the next one (" +
                              std::string(kEndOfInputKeys) + " ends the batch)");
        if (!WaitForDiskette(imaged > 0)) break;
        m_console.EndProgress();
        Diskette d = ImageOne(NextName());
        BootFields boot;
        if (!d.image.empty() && !m_options.raw) boot = ReadBootFields(Path(d.image));
        if (!d.image.empty() && m_options.raw)
            boot = ReadBootFields(Path("." + d.name + ".part.tvl"));
        if (m_options.raw) platform::SysUnlink(Path("." + d.name + ".part.tvl").c_str());
        if (!File(d, boot)) return kExitFailed;
        ++imaged;
        ++m_number;
        (d.result == "failed" || d.result == "cancelled" ? m_failed : m_done)++;
        m_unread += d.unread;
        if (m_options.json) {
            std::fputs(JsonLine(d).c_str(), stdout);
        } else {
            std::string line = d.name + ": " + d.result;
            if (d.format != "unknown") line += ", " + d.format;
            if (d.unread) line += ", " + std::to_string(d.unread) + " unreadable sectors";
            if (d.content.count("sha256")) line += ", sha256 " + d.content["sha256"];
            if (!d.message.empty()) line += " (" + d.message + ")";
            std::printf("%s\n", line.c_str());
        }
        std::fflush(stdout);
        stopped = d.result == "cancelled" || m_signals.Count() > 0;
    }
    m_console.EndProgress();
    m_console.Warning("Batch ended: " + std::to_string(m_done) + " done, " +
                      std::to_string(m_failed) + " failed, " + std::to_string(m_unread) +
                      " unreadable sectors");
    return m_failed ? kExitFailed : kExitDone;
}

}  // namespace

int RunBatch(const BatchOptions& options, Console& console) {
    if (NameFor(options.pattern, 1).empty()) {
        console.Error("tavrel-cli: --name must hold {n} or {n:0W}: " + options.pattern);
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
    if (platform::SysMkdir(options.folder.c_str(), 0777) != 0 && errno != EEXIST) {
        console.Error("tavrel-cli: cannot create " + options.folder + ": " + std::strerror(errno));
        return kExitFailed;
    }
    Batch batch(options, console, drive);
    return batch.Run();
}

}  // namespace cli
