// Feeds arbitrary text to the rescue map's parser. A map it accepts must come back unchanged
// from its own round trip: written out (with the text as the command line) and read again.
// A resume writes every map it reads, so anything else is a map the tool later refuses, or
// one whose tries are lost.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/map_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    SectorMap map, again;
    cli::MapStatus status, statusAgain;
    std::string error;
    if (!cli::ParseMapFile(text, &map, &status, &error)) return 0;
    const std::string written = cli::FormatMapFile(map, status, text.substr(0, 300),
                                                   "Cancelled: not every sector was tried");
    if (!cli::ParseMapFile(written, &again, &statusAgain, &error) || !(statusAgain == status) ||
        again.sectors != map.sectors ||
        std::memcmp(again.states, map.states, static_cast<size_t>(map.sectors)) != 0 ||
        again.triesKnown != map.triesKnown ||
        std::memcmp(again.tries, map.tries, static_cast<size_t>(map.sectors)) != 0)
        std::abort();
    return 0;
}
