// Feeds mutated FAT diskettes to what files does with them: the listing, its text, its JSON
// (which must parse) and its DFXML (which must be well-formed XML), within bounded work.
#include <libxml/parser.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/file_listing.h"
#include "cli/listing_report.h"

namespace {

// The input is the start of a 1.44 MB raw image; the rest is zeros, so small seeds (a boot
// sector, the FATs, a root folder and a few clusters) stand for whole diskettes.
constexpr size_t kDiskette = 1474560;

struct Scratch {
    Scratch() : fd(memfd_create("diskette", 0)), path("/proc/self/fd/" + std::to_string(fd)) {}
    int fd;
    std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static Scratch* scratch = new Scratch;
    std::string image(reinterpret_cast<const char*>(data), size < kDiskette ? size : kDiskette);
    image.resize(kDiskette, '\0');
    if (ftruncate(scratch->fd, 0) != 0 ||
        pwrite(scratch->fd, image.data(), image.size(), 0) != static_cast<ssize_t>(image.size()))
        return 0;

    cli::DisketteListing listing;
    std::string error;
    if (!cli::ListImage(scratch->path, "", &listing, &error)) return 0;
    cli::ListingText(listing, true);
    const std::string json = cli::ListingJson(listing);
    if (!nlohmann::json::accept(json)) __builtin_trap();
    const std::string xml = cli::ListingDfxml(listing, "fuzz.img");
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "fuzz.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) __builtin_trap();
    xmlFreeDoc(doc);
    return 0;
}
