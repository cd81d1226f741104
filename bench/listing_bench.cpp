// What a batch diskette's listing costs beside its compress: the files of a full 1.44 MB .tvl
// walked and hashed (MD5, SHA-1, SHA-256) and its DFXML written, as batch files NAME.dfxml. The
// goal is under a second per diskette; the wall time is what the batch waits. Beside it a hostile
// diskette: a folder of 45,552 entries that each claim the whole diskette through one chain
// (hashed naively, 66 GB), and one whose 2,847 entries each claim a chain of their own; any
// diskette must list in under 2 s.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_images.h"
#include "cli/file_listing.h"
#include "tests/cli/hostile_fat.h"

namespace {

// The image listed and its DFXML written in each run, as a batch files it; the counts of the
// last run beside the time.
void ListEach(benchmark::State& state, const std::string& image) {
    cli::DisketteListing listing;
    for (auto _ : state) {
        listing = cli::DisketteListing{};
        std::string error;
        if (!cli::ListImage(image, "", &listing, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(cli::ListingDfxml(listing, "listed.img"));
    }
    state.counters["files"] = listing.fileCount;
    state.counters["left_out"] = static_cast<double>(listing.leftOut.size());
}

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
    ListEach(state, image);
    std::remove(raw.c_str());
    std::remove(image.c_str());
}

void HostileListing(benchmark::State& state, bool distinct) {
    const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    const std::string image = dir + "/tavrel-listing-hostile.img";
    const std::string bytes = OneChainFolder(1 << 20, distinct).bytes();
    std::FILE* file = std::fopen(image.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        if (file) std::fclose(file);
        state.SkipWithError("the image could not be made");
        return;
    }
    std::fclose(file);
    ListEach(state, image);
    std::remove(image.c_str());
}

BENCHMARK_CAPTURE(Listing, 1440K_half, ImageContent::Half)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Listing, 1440K_full, ImageContent::Full)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HostileListing, one_chain_45552_entries, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HostileListing, own_chains_2847_entries, true)->Unit(benchmark::kMillisecond);

}  // namespace
