// Whole compress, expand and verify jobs in this process, on a 1.44 MB image file standing in
// for drive A:. The CPU time is the whole process's, so the owner thread's share of the status
// lines and progress steps counts too; per track side it must stay under 0.05 ms.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_images.h"
#include "engine/disk_job.h"
#include "platform/drive_map.h"
#include "platform/window.h"

namespace {

constexpr int kSides = 160;

// An owner that takes every status line and progress step and keeps only the end notice and
// the text of any message box, as a quiet console tool would.
class QuietWindow final : public platform::QueuedWindow {
  public:
    int doneCount = 0;
    std::string lastBox;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_COMMAND && LOWORD(wParam) == ID_JOB_DONE) ++doneCount;
        return 0;
    }
    LRESULT OnItemMessage(int, UINT, WPARAM, LPARAM) override { return TRUE; }
    int OnMessageBox(const std::string& text, const std::string&, UINT) override {
        lastBox = text;
        return IDOK;
    }
};

enum class Threading { Worker, Inline };

// Runs one job; "" on success, else why not.
std::string RunOne(CDiskJob& job, QuietWindow& window, Threading threading) {
    window.lastBox.clear();
    if (threading == Threading::Inline) {
        job.RunJob();
        job.NotifyDone();
        window.PumpOnce(0);
    } else {
        int before = window.doneCount;
        if (!job.Start()) return "no thread";
        window.PumpUntil([&] { return window.doneCount > before; }, 60000);
        while (job.IsRunning()) window.PumpOnce(1);
    }
    // The hashes are part of the work: their threads may still be catching up.
    for (FixityHash* hash : {&job.m_contentHash, &job.m_imageHash})
        if (hash->algorithms() && !hash->Finish()) return "hashes failed";
    if (job.m_result == JobDone) return "";
    return window.lastBox.empty() ? "job failed" : window.lastBox;
}

bool CopyFile(const std::string& from, const std::string& to) {
    std::string command = "cp '" + from + "' '" + to + "'";
    return std::system(command.c_str()) == 0;
}

void BM_Job(benchmark::State& state, int operation, int compress, unsigned hashes,
            ImageContent content, Threading threading) {
    const ImageLayout& layout = kImageLayouts[2];
    std::string source = BenchImagePath(layout, content);
    std::string tag = std::string(ImageContentName(content)) + "-" + std::to_string(operation) +
                      std::to_string(compress) + std::to_string(hashes) +
                      (threading == Threading::Worker ? "w" : "i");
    std::string drive = BenchWorkDir() + "/drive-" + tag + ".img";
    std::string image = BenchWorkDir() + "/image-" + tag + ".tvr";
    if (BenchImage(layout, content).empty() || !CopyFile(source, drive))
        return state.SkipWithError("no image");

    QuietWindow window;
    platform::ScopedDriveMapping mapping('A', drive);
    CDiskJob job(&window);
    job.m_driveLetter = "A";
    job.m_imagePath = image;
    job.m_compress = compress;
    job.m_hashAlgorithms = hashes;
    if (operation != Compress) {
        // Expand and verify read an image that a compress of this very diskette wrote.
        job.m_operation = Compress;
        if (std::string why = RunOne(job, window, threading); !why.empty())
            return state.SkipWithError(why.c_str());
    }
    job.m_operation = operation;
    for (auto _ : state) {
        if (std::string why = RunOne(job, window, threading); !why.empty())
            return state.SkipWithError(why.c_str());
    }
    state.counters["cpu_per_side"] = benchmark::Counter(
        kSides, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    std::remove(image.c_str());
    std::remove(drive.c_str());
}

const bool registered = [] {
    struct Op {
        const char* name;
        int operation;
        int compress;
        unsigned hashes;
    };
    // CompressHashed beside Compress: what the fixity hashes of a batch cost.
    const Op ops[] = {{"Compress", Compress, 1, 0},
                      {"CompressHashed", Compress, 1, kFixityAll},
                      {"CompressRaw", Compress, 0, 0},
                      {"Expand", Expand, 1, 0},
                      {"Verify", Verify, 1, 0}};
    for (Threading threading : {Threading::Worker, Threading::Inline})
        for (const Op& op : ops)
            for (ImageContent content : kImageContents) {
                std::string name = std::string("Job/") + op.name + "/1440K/" +
                                   ImageContentName(content) +
                                   (threading == Threading::Worker ? "/worker" : "/inline");
                benchmark::RegisterBenchmark(name.c_str(), BM_Job, op.operation, op.compress,
                                             op.hashes, content, threading)
                    ->MeasureProcessCPUTime()
                    ->Unit(benchmark::kMillisecond);
            }
    return true;
}();

}  // namespace
