// The tool's commands, one file each, over the shared library. main.cpp parses the command
// line into these option records; each command returns the process exit code.
#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/output_kind.h"

namespace cli {

struct JobOutcome;

struct CompressOptions {
    std::string drive;
    std::string image;
    bool noCompression = false;
    bool force = false;
    OutputKind kind = OutputKind::ByName;  // --raw, --tvl
};

// Expand and verify: an image and a drive.
struct TransferOptions {
    std::string image;
    std::string drive;
};

struct InfoOptions {
    std::string image;
    bool map = false;
    bool json = false;
    std::string badMap;   // a rescue's map: its unread sectors marked in the track map
    unsigned hashes = 0;  // the content hashes to print (FixityAlgorithm bits)
    std::string picture;  // where to write the surface picture (SVG), "" for none
};

struct RescueOptions {
    std::string drive;
    std::string image;
    std::string map;  // "" for IMAGE.map
    int retries = 3;
    int fillByte = -1;  // -1: the marker text
    bool noCompression = false;
    bool force = false;
    OutputKind kind = OutputKind::ByName;  // --raw, --tvl; a batch rescues into a .tvl
    std::string commandLine;               // for the map's header
    unsigned hashes = 0;                   // the fixity hashes to compute (FixityAlgorithm bits)
    JobOutcome* outcome = nullptr;         // where a batch learns what the job did
    // A batch's .tvl rescue: where a diskette a .tvl cannot hold is rescued raw instead.
    std::string rawPathIfForeign;
    int cancelAtSignal = 1;
    // A batch rescues into hidden files and goes on in its own way: what the messages call the
    // image and the map, and how to go on after a cancel ("" for the defaults).
    std::string imageName = {}, mapName = {}, goOn = {};
};

struct ConvertOptions {
    std::string source;
    std::string target;
    bool noCompression = false;
    bool force = false;
    OutputKind kind = OutputKind::ByName;  // --raw, --tvl
};

int RunCompress(const CompressOptions& options, Console& console);
int RunExpand(const TransferOptions& options, Console& console);
int RunVerify(const TransferOptions& options, Console& console);
int RunInfo(const InfoOptions& options, Console& console);
int RunConvert(const ConvertOptions& options, Console& console);
int RunRescue(const RescueOptions& options, Console& console);
int RunDrives(Console& console);

struct BatchOptions {
    std::vector<std::string> drives;  // one batch on each, at once
    std::string folder;
    std::string pattern = "disk-{n:03}";
    int start = 1;
    int count = 0;  // 0: until Ctrl+D or Ctrl+C
    bool rescue = false;
    bool raw = false;
    bool noCompression = false;
    bool noVerify = false;
    bool json = false;
    unsigned hashes = 4;                      // FixitySha256
    std::string resume = {};                  // a diskette filed unfinished, whose rescue goes on
    bool bag = false;                         // keep the folder as a BagIt bag (see bagit.h)
    std::string operatorName = {}, box = {};  // for the bag's bag-info.txt; operator for each info
    std::string ids = {};                     // a file of identifiers, taken in order as names
    bool ask = false;                         // ask each diskette's identifier and label text
    std::string note = {};                    // into every diskette's info
    std::string each = {};                    // a command run after each diskette is filed
};

int RunBatch(const BatchOptions& options, Console& console);

struct FilesOptions {
    std::string image;
    std::string map;  // "" to look beside the image
    bool wide = false;
    bool json = false;
    bool dfxml = false;
};

int RunFiles(const FilesOptions& options, Console& console);
int RunCheck(const std::string& folder, Console& console);
int RunBag(const std::string& folder, Console& console);
int RunReport(const std::string& folder, Console& console);

}  // namespace cli
