// Feeds arbitrary bytes to what info and convert do with a file: the inspection and its text
// and JSON reports, the image-to-raw conversion, and the raw-to-image conversion.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "cli/image_scan.h"
#include "cli/info_report.h"
#include "cli/raw_image.h"

namespace {

class CountingSink final : public ByteSink {
  public:
    int Write(const void*, std::uint32_t count) override {
        bytes += count;
        return 1;
    }
    unsigned long long bytes = 0;
};

struct Scratch {
    Scratch() : fd(memfd_create("input", 0)), path("/proc/self/fd/" + std::to_string(fd)) {}
    int fd;
    std::string path;
    std::uint8_t raw[2 * 80 * 9216];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static Scratch* scratch = new Scratch;
    if (ftruncate(scratch->fd, 0) != 0 ||
        pwrite(scratch->fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;

    cli::ImageReport report;
    size_t at = 0;
    cli::InspectImage(scratch->path, &report, [&](int, int, const std::uint8_t* side, int n) {
        if (n <= 0 || at + static_cast<size_t>(n) > sizeof scratch->raw) return false;
        std::memcpy(scratch->raw + at, side, static_cast<size_t>(n));
        at += static_cast<size_t>(n);
        return true;
    });
    cli::InfoText(scratch->path, report, true);
    cli::InfoJson(scratch->path, report, true);
    cli::FormatName(report);

    for (bool compress : {false, true}) {
        CountingSink sink;
        cli::RawEncodeResult result;
        std::string error;
        cli::EncodeRawImage(
            scratch->path, sink, compress, [] { return false; }, &result, &error);
    }
    return 0;
}
