// What a batch diskette's listing costs beside its compress: the files of a full 1.44 MB .tvl
// walked and hashed (MD5, SHA-1, SHA-256) and its DFXML written, as batch files NAME.dfxml. The
// goal is under a second per diskette; the wall time is what the batch waits.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_images.h"
#include "cli/file_listing.h"

namespace {

void Listing(benchmark::State& state, ImageContent content) {
    const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    const std::string raw = dir + "/tavrel-listing-bench.img";
    const std::string image = dir + "/tavrel-listing-bench.tvl";
    if (!MakeBenchImage(raw, kImageLayouts[2], content) ||
        std::system(
            (std::string(TAVREL_CLI_PATH) + " -q compress --force '" + raw + "' '" + image + "'")
                .c_str()) != 0) {
        state.SkipWithError("the image could not be made");
        return;
    }
    int files = 0;
    for (auto _ : state) {
        cli::DisketteListing listing;
        std::string error;
        if (!cli::ListImage(image, "", &listing, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(cli::ListingDfxml(listing, "tavrel-listing-bench.tvl"));
        files = listing.fileCount;
    }
    state.counters["files"] = files;
    std::remove(raw.c_str());
    std::remove(image.c_str());
}

BENCHMARK_CAPTURE(Listing, 1440K_half, ImageContent::Half)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Listing, 1440K_full, ImageContent::Full)->Unit(benchmark::kMillisecond);

}  // namespace
