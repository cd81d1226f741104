// The tool's commands, one file each, over the shared library. main.cpp parses the command
// line into these option records; each command returns the process exit code.
#pragma once

#include <string>

#include "cli/console.h"

namespace cli {

struct CompressOptions {
    std::string drive;
    std::string image;
    bool noCompression = false;
    bool force = false;
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
};

struct ConvertOptions {
    std::string source;
    std::string target;
    bool noCompression = false;
    bool force = false;
};

int RunCompress(const CompressOptions& options, Console& console);
int RunExpand(const TransferOptions& options, Console& console);
int RunVerify(const TransferOptions& options, Console& console);
int RunInfo(const InfoOptions& options, Console& console);
int RunConvert(const ConvertOptions& options, Console& console);
int RunDrives(Console& console);

}  // namespace cli
