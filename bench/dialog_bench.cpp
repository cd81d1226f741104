// A whole 1.44 MB compress and verify through the dialog (offscreen, real widgets, the job's
// sends crossing to the GUI thread) beside the same two jobs through the console tool's job
// runner, on the same image file standing in for drive A:. The dialog should add at most half
// to a job. gui_max_gap_ms is the longest the GUI thread went without running its event loop
// during the dialog's jobs: it never waits for the worker, so this stays a few milliseconds.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "app/qt/message_box.h"
#include "app/qt/qt_main_dlg.h"
#include "app/resource_ids.h"
#include "bench/bench_images.h"
#include "cli/console.h"
#include "cli/job_runner.h"
#include "engine/disk_job.h"
#include "platform/drive_map.h"
#include "platform/profile.h"

namespace {

const ImageLayout& kLayout = kImageLayouts[2];  // 1440K

// Quits a loop when the Start button is enabled again, which the dialog does when a job ends.
class StartEnabled : public QObject {
  public:
    StartEnabled(QWidget* start, QEventLoop& loop) : m_loop(loop) {
        start->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange && static_cast<QWidget*>(watched)->isEnabled())
            m_loop.quit();
        return false;
    }

  private:
    QEventLoop& m_loop;
};

// Runs one job from the dialog by its Start button and returns when the dialog is idle again.
bool RunFromDialog(QtMainDlg& dlg, int operationId, double& maxGapMs) {
    static_cast<QAbstractButton*>(dlg.GetDlgItem(operationId))->click();
    QWidget* start = dlg.GetDlgItem(IDC_START);
    QEventLoop loop;
    StartEnabled filter(start, loop);
    QElapsedTimer sinceTick;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        maxGapMs = std::max(maxGapMs, sinceTick.nsecsElapsed() / 1e6 - 1.0);
        sinceTick.restart();
    });
    tick.start(1);
    sinceTick.start();
    static_cast<QAbstractButton*>(start)->click();
    if (start->isEnabled()) return false;  // refused
    loop.exec();
    while (dlg.m_pJob->IsRunning()) QCoreApplication::processEvents();
    return dlg.m_lastJobResult == JobDone;
}

void BM_DialogCompressVerify(benchmark::State& state) {
    const std::string source = BenchImagePath(kLayout, ImageContent::Full);
    if (BenchImage(kLayout, ImageContent::Full).empty()) return state.SkipWithError("no image");
    const std::string image = BenchWorkDir() + "/dialog.tvl";
    platform::ScopedProfilePath profile(BenchWorkDir() + "/dialog-bench.INI");
    platform::ScopedDriveMapping mapping('A', source);
    app::SetMessageBoxHook([](const std::string&, const std::string&, UINT) { return IDYES; });
    double maxGapMs = 0;
    {
        QtMainDlg dlg;
        dlg.m_bSaveSettings = 0;
        dlg.Create();
        dlg.show();
        dlg.m_driveCombo->setEditText("A");
        dlg.m_fileCombo->setEditText(QString::fromStdString(image));
        for (auto _ : state) {
            if (!RunFromDialog(dlg, IDC_OP_COMPRESS, maxGapMs) ||
                !RunFromDialog(dlg, IDC_OP_VERIFY, maxGapMs))
                return state.SkipWithError("a job did not complete");
        }
        dlg.OnCancel();
    }
    app::SetMessageBoxHook(nullptr);
    state.counters["gui_max_gap_ms"] = maxGapMs;
    std::remove(image.c_str());
}

void BM_ConsoleCompressVerify(benchmark::State& state) {
    const std::string source = BenchImagePath(kLayout, ImageContent::Full);
    if (BenchImage(kLayout, ImageContent::Full).empty()) return state.SkipWithError("no image");
    const std::string image = BenchWorkDir() + "/console.tvl";
    platform::ScopedDriveMapping mapping('A', source);
    cli::Console console(true);
    for (auto _ : state) {
        cli::JobRequest request;
        request.imagePath = image;
        request.operation = Compress;
        cli::JobOutcome compressed = cli::RunDiskJob(request, console);
        request.operation = Verify;
        cli::JobOutcome verified = cli::RunDiskJob(request, console);
        if (compressed.result != JobDone || verified.result != JobDone)
            return state.SkipWithError("a job did not complete");
    }
    std::remove(image.c_str());
}

BENCHMARK(BM_DialogCompressVerify)
    ->Name("CompressVerify/1440K/dialog")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConsoleCompressVerify)
    ->Name("CompressVerify/1440K/console")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
