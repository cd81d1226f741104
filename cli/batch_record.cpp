#include "cli/batch_record.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "cli/image_scan.h"
#include "cli/json_output.h"
#include "cli/map_file.h"

namespace cli {
namespace {

std::string Printable(const std::uint8_t* bytes, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '?';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// What a spreadsheet opening batch.csv would take for a formula (or a command, as DDE): a cell
// whose first character, past any spaces and quotes, is one of these, or that begins with a
// tab or a carriage return, which some turn into one of them.
constexpr const char* kFormulaStarts = "=+-@";
constexpr const char* kPassedOver = " '";

bool LooksLikeFormula(const std::string& text) {
    const size_t first = text.find_first_not_of(kPassedOver);
    return first != std::string::npos && std::strchr(kFormulaStarts, text[first]) != nullptr;
}

// A text cell. Every control character becomes a space, as on an info line, so a row is one
// line; a cell that could run as a formula is neutralised as injection guidance advises: a quote
// before it, so a spreadsheet shows it as text, and the cell quoted. One that begins with quotes
// before such a character gets one more all the same, so CsvRowName can always take one away.
std::string Csv(const std::string& field) {
    std::string text = field;
    for (char& c : text)
        if ((c >= 0 && c < 0x20) || c == 0x7F) c = ' ';
    const bool formula =
        (!field.empty() && (field[0] == '\t' || field[0] == '\r')) || LooksLikeFormula(text);
    if (formula) text = "'" + text;
    if (!formula && text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// A value on an info line stays on its line.
std::string OneLine(const std::string& text) {
    std::string line = text;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

// What an operator typed may hold any control character (a tab, an escape from a label
// printer's scanner): on an info line it becomes a space, so the file reads back line by line
// and a terminal showing it is not driven by it.
std::string TypedLine(const std::string& text) {
    std::string line = text;
    for (char& c : line)
        if ((c >= 0 && c < 0x20) || c == 0x7F) c = ' ';
    return line;
}

void AddTyped(std::string* text, const char* key, const std::string& value) {
    if (!value.empty()) *text += std::string(key) + ": " + TypedLine(value) + "\n";
}

std::string Get(const std::map<std::string, std::string>& info, const std::string& key) {
    auto found = info.find(key);
    return found == info.end() ? std::string() : found->second;
}

}  // namespace

BootFields ReadBootFields(const std::string& tvlImage) {
    BootFields fields;
    ImageReport report;
    InspectImage(tvlImage, &report, [&](int, int, const std::uint8_t* data, int) {
        fields = BootFieldsOf(data);
        return false;
    });
    return fields;
}

BootFields BootFieldsOf(const std::uint8_t* data) {
    BootFields fields;
    fields.oemName = Printable(data + 3, 8);
    // The label is there where the serial number is: after the extended boot signature.
    const DisketteId id = IdentifyDiskette(data);
    if (id.hasSerial) {
        fields.serial = SerialText(id);
        fields.label = Printable(data + 43, 11);
    }
    return fields;
}

bool BatchRecord::Failed() const {
    return result == "failed" || result == "cancelled" || result == "interrupted";
}

std::string UtcNow() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string InfoText(const BatchRecord& d) {
    std::string text = "tool: tavrel-cli " TAVREL_VERSION "\n";
    text += "name: " + d.name + "\n";
    text += "started: " + d.started + "\nended: " + d.ended + "\n";
    text += "drive: " + OneLine(d.drive.label) + "\ndevice: " + OneLine(d.drive.device) + "\n";
    if (!d.drive.vendor.empty()) text += "vendor: " + OneLine(d.drive.vendor) + "\n";
    if (!d.drive.model.empty()) text += "model: " + OneLine(d.drive.model) + "\n";
    AddTyped(&text, "drive-kind", d.drive.kind);
    AddTyped(&text, "drive-serial", d.drive.serial);
    AddTyped(&text, "identifier", d.identifier);
    AddTyped(&text, "label-text", d.labelText);
    AddTyped(&text, "operator", d.operatorName);
    AddTyped(&text, "note", d.note);
    text += "format: " + d.format + "\n";
    // Tavrel's own words, never the diskette's.
    if (!d.geometry.empty()) text += "geometry: " + d.geometry + "\n";
    if (!d.imageKind.empty()) text += "image-kind: " + d.imageKind + "\n";
    text += "oem-name: " + d.boot.oemName + "\nvolume-label: " + d.boot.label +
            "\nvolume-serial: " + d.boot.serial + "\n";
    text += "method: " + d.method + "\n";
    text += "result: " + d.result + "\n";
    text += "unreadable-sectors: " + std::to_string(d.unread) +
            (d.unreadRanges.empty() ? "" : " (" + d.unreadRanges + ")") + "\n";
    if (d.untried) text += "untried-sectors: " + std::to_string(d.untried) + "\n";
    text += "verify: " + OneLine(d.verify) + "\n";
    if (!d.image.empty()) text += "image: " + d.image + "\n";
    if (d.map) text += "map: " + d.name + ".map\n";
    for (const auto& [name, hex] : d.content) text += "content-" + name + ": " + hex + "\n";
    for (const auto& [name, hex] : d.imageHashes) text += "image-" + name + ": " + hex + "\n";
    if (!d.sameAs.empty()) text += "same-content-as: " + d.sameAs + "\n";
    if (d.files >= 0)
        text +=
            "files: " + std::to_string(d.files) + ", damaged: " + std::to_string(d.damaged) + "\n";
    else if (!d.noListing.empty())
        text += "files: none (" + OneLine(d.noListing) + ")\n";
    if (!d.message.empty()) text += "message: " + OneLine(d.message) + "\n";
    if (!d.each.empty()) text += "each: " + OneLine(d.each) + "\n";
    return text;
}

BatchRecord RecordFromInfo(const std::map<std::string, std::string>& info) {
    BatchRecord d;
    d.name = Get(info, "name");
    d.started = Get(info, "started");
    d.ended = Get(info, "ended");
    d.format = Get(info, "format");
    d.geometry = Get(info, "geometry");
    d.imageKind = Get(info, "image-kind");
    d.method = Get(info, "method");
    d.result = Get(info, "result");
    d.verify = Get(info, "verify");
    d.unread = std::atoi(Get(info, "unreadable-sectors").c_str());
    d.untried = std::atoi(Get(info, "untried-sectors").c_str());
    d.image = Get(info, "image");
    d.map = !Get(info, "map").empty();
    d.each = Get(info, "each");
    d.sameAs = Get(info, "same-content-as");
    // "14, damaged: 2", or "none (why)".
    const std::string files = Get(info, "files");
    if (!files.empty() && files[0] >= '0' && files[0] <= '9') {
        d.files = std::atoi(files.c_str());
        const size_t at = files.find("damaged: ");
        if (at != std::string::npos) d.damaged = std::atoi(files.c_str() + at + 9);
    } else if (files.rfind("none (", 0) == 0 && files.size() > 7) {
        d.noListing = files.substr(6, files.size() - 7);
    }
    d.message = Get(info, "message");
    d.drive = {Get(info, "drive"), Get(info, "device"),     Get(info, "vendor"),
               Get(info, "model"), Get(info, "drive-kind"), Get(info, "drive-serial")};
    d.identifier = Get(info, "identifier");
    d.labelText = Get(info, "label-text");
    d.operatorName = Get(info, "operator");
    d.note = Get(info, "note");
    d.boot = {Get(info, "oem-name"), Get(info, "volume-label"), Get(info, "volume-serial")};
    for (const char* name : {"md5", "sha1", "sha256"})
        if (!Get(info, std::string("content-") + name).empty())
            d.content[name] = Get(info, std::string("content-") + name);
    return d;
}

const char* const kCsvHeader =
    "name,time,format,result,unreadable sectors,content sha256,message,identifier,label text,"
    "operator,note,drive kind,drive serial\n";

std::string CsvRow(const BatchRecord& d) {
    auto sha256 = d.content.find("sha256");
    // The count is the one cell left as it is: a number, never a formula.
    return Csv(d.name) + "," + Csv(d.started) + "," + Csv(d.format) + "," + Csv(d.result) + "," +
           std::to_string(d.unread) + "," + Csv(sha256 == d.content.end() ? "" : sha256->second) +
           "," + Csv(d.message) + "," + Csv(d.identifier) + "," + Csv(d.labelText) + "," +
           Csv(d.operatorName) + "," + Csv(d.note) + "," + Csv(d.drive.kind) + "," +
           Csv(d.drive.serial) + "\n";
}

std::string CsvRowName(const std::string& line) {
    if (line.empty() || line.rfind("name,", 0) == 0) return {};
    if (line[0] != '"') return line.substr(0, line.find(','));
    std::string name;
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] != '"') {
            name += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
            name += '"';
            ++i;
        } else {
            break;
        }
    }
    // A name neutralised as a formula has the quote Csv put before it.
    if (!name.empty() && name[0] == '\'' && LooksLikeFormula(name.substr(1))) name.erase(0, 1);
    return name;
}

std::string JsonLine(const BatchRecord& d) {
    Json line;
    line["name"] = d.name;
    line["image"] = d.image;
    line["started"] = d.started;
    line["ended"] = d.ended;
    line["format"] = d.format;
    line["result"] = d.result;
    line["unreadableSectors"] = d.unread;
    line["untriedSectors"] = d.untried;
    line["verify"] = d.verify;
    // An object even when no hash was taken, as readers of earlier lines expect.
    line["contentHashes"] = Json::object();
    for (const auto& [name, hex] : d.content) line["contentHashes"][name] = hex;
    line["sameContentAs"] = d.sameAs;
    line["message"] = d.message;
    line["identifier"] = d.identifier;
    line["labelText"] = d.labelText;
    line["operator"] = d.operatorName;
    line["note"] = d.note;
    line["driveKind"] = d.drive.kind;
    line["driveSerial"] = d.drive.serial;
    return OneLineJson(line);
}

std::string ConsoleLine(const BatchRecord& d) {
    std::string line = d.name + ": " + d.result;
    if (d.format != "unknown" && !d.format.empty()) line += ", " + d.format;
    if (d.unread) line += ", " + std::to_string(d.unread) + " unreadable sectors";
    if (d.untried) line += ", " + std::to_string(d.untried) + " not tried";
    auto sha256 = d.content.find("sha256");
    if (sha256 != d.content.end()) line += ", sha256 " + sha256->second;
    if (!d.sameAs.empty()) line += ", same content as " + d.sameAs;
    if (!d.message.empty()) line += " (" + d.message + ")";
    return line;
}

}  // namespace cli
