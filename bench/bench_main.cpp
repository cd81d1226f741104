// The benchmarks' entry point. With --make-images=DIR it only writes the benchmark images
// (LAYOUT-CONTENT.img) into DIR, so that the comparison with other tools uses the very same
// bytes; otherwise it runs the benchmarks with Google Benchmark's own options.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_images.h"

int main(int argc, char** argv) {
    const char* prefix = "--make-images=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) != 0) continue;
        std::string dir = argv[i] + std::strlen(prefix);
        for (const ImageLayout& layout : kImageLayouts)
            for (ImageContent content : kImageContents) {
                std::string path =
                    dir + "/" + layout.name + "-" + ImageContentName(content) + ".img";
                if (!MakeBenchImage(path, layout, content)) return 1;
                std::printf("%s\n", path.c_str());
            }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
