// Runs one CDiskJob to its end with the console as its owner window: the main thread pumps
// the window, turns Ctrl+C, SIGTERM or SIGHUP into Cancel, and returns once the job's thread is
// gone.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cli/console.h"
#include "drive/disk_format.h"
#include "engine/job_ids.h"
#include "engine/sector_map.h"

namespace cli {

// What only a rescue needs: see CDiskJob's rescue inputs.
struct RescueRequest {
    int retries = 3;
    int fillByte = -1;
    bool resume = false;
    SectorMap map;  // for a resume
    RescueMapKeeper* keeper = nullptr;
};

struct JobRequest {
    JobOperation operation = Compress;
    char letter = 'A';
    std::string imagePath;
    bool compress = true;
    const RescueRequest* rescue = nullptr;
    unsigned hashes = 0;     // compress and rescue: the fixity hashes wanted (FixityAlgorithm bits)
    int cancelAtSignal = 1;  // which Ctrl+C cancels the job: a batch lets the first end it
    // What the job's messages call the image and the drive, where the user knows them by
    // other names than the file written and the letter mapped for the job; "" as they are.
    std::string imageName = {}, driveName = {};
    bool rawImage = false;  // the image file is the diskette's sectors, of any format
    // A .tvl job: where a diskette a .tvl cannot hold is imaged raw instead ("" refuses it).
    std::string rawPathIfForeign = {};
    // The command that images the diskette raw, for the message that refuses it a .tvl.
    std::string rawCommand = {};
};

// What the job recorded, read after its thread ended.
struct JobOutcome {
    JobResult result = JobNotRun;
    double seconds = 0;
    int mediaRow = -1;  // -1 when the job never recognised the diskette, or a .tvl cannot hold it
    DiskFormat format;  // what the job recognised, also when it refused the diskette
    bool rawImage = false;  // the image is raw (asked for, or the diskette needed it)
    std::string imagePath;  // where the image went
    // The diskette's boot sector as the job read it; empty when it did not read.
    std::vector<std::uint8_t> bootSector;
    int diffCylinder = -1;
    int diffHead = -1;
    int diffByte = -1;
    // A rescue: whether a checkpoint replaced its image, the sectors this run read, the read
    // requests it issued, and the state of every sector.
    bool rescueWritten = false;
    int recovered = 0;
    long reads = 0;
    SectorMap map;
    // A finished compress or rescue with hashes asked for: the diskette's content and the
    // image file, lower-case hexadecimal by algorithm name ("sha256").
    std::map<std::string, std::string> contentHashes;
    std::map<std::string, std::string> imageHashes;
};

JobOutcome RunDiskJob(const JobRequest& request, Console& console);

}  // namespace cli
