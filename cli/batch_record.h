// One diskette of a batch as it is filed: what its info file, its row in batch.csv, its JSON
// line and its console line say, and the same read back from an info file.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "cli/fixity_files.h"

namespace cli {

// The boot sector's OEM name, volume label and serial number, where it has them.
struct BootFields {
    std::string oemName, label, serial;
};
// Read from the first track side of a .tvl image; empty fields when it has none.
BootFields ReadBootFields(const std::string& tvlImage);
// Read from a boot sector's 512 bytes.
BootFields BootFieldsOf(const std::uint8_t* bootSector);

// The drive that read a diskette, so one that later proves faulty can be traced to what it read.
struct DriveDescription {
    std::string label, device, vendor, model;
    // How it is attached ("USB", "floppy controller", "image file", ...) and its serial number,
    // where the system says.
    std::string kind = {}, serial = {};
};

struct BatchRecord {
    std::string name, started, ended, format = "unknown", method = "compress", result = "failed",
                                      verify = "not run", message;
    int unread = 0;  // sectors found unreadable
    std::string unreadRanges;
    int untried = 0;     // a rescue that stopped early: sectors it never tried
    std::string image;   // the image's file name, "" when none is filed
    bool map = false;    // NAME.map is filed beside it
    std::string sameAs;  // the diskette already filed with the same content, if any
    std::string each;    // what the --each command came to, "" when none ran
    // What is on it: its files and how many a bad sector damaged (NAME.dfxml beside the image),
    // or, with files -1, why there is no listing.
    int files = -1, damaged = 0;
    std::string noListing;
    HashSet content, imageHashes;
    DriveDescription drive;
    BootFields boot;
    // The layout and what told it ("80×2×21 (boot sector)"), and why the image is raw where a
    // .tvl was asked for; "" where there is nothing to say.
    std::string geometry, imageKind;
    // What the operator said of the diskette: an identifier (an accession number, say), the text
    // on its label, who imaged it, and a note. Each may be empty.
    std::string identifier, labelText, operatorName, note;

    // Counts as a failure in the batch's tally and exit code.
    bool Failed() const;
};

std::string UtcNow();

std::string InfoText(const BatchRecord& record);
// What filing needs of an info file already written: the fields batch.csv and the console show.
BatchRecord RecordFromInfo(const std::map<std::string, std::string>& info);

extern const char* const kCsvHeader;
std::string CsvRow(const BatchRecord& record);
// The row's name, read back: "" for the header or a line that is not a row.
std::string CsvRowName(const std::string& line);

std::string JsonLine(const BatchRecord& record);
std::string ConsoleLine(const BatchRecord& record);

}  // namespace cli
