// The viewer window: start-up to the first drawn page as a whole process
// (with its peak memory at 100 %), a resize in a fit mode, which redraws,
// and a resize at 100 %, which only moves controls. Runs on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
#include "frm_main.h"
#include "support_routines.h"

#include <QCoreApplication>
#include <QProcess>
#include <QToolButton>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

std::unique_ptr<frmMain> Started(const char *zoomCaption)
{
    auto window = std::make_unique<frmMain>();
    window->Load();
    while (window->Build_Page_Calls == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for (Toolbar_Button &button : window->Toolbar->All())
        if (button.Caption == QLatin1String(zoomCaption))
            button.action->trigger();
    QCoreApplication::processEvents();
    return window;
}

void BM_Startup_To_First_Page(benchmark::State &state)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUORVEL_HARNESS_STOP"), QStringLiteral("first-page"));
    rusage start{};
    getrusage(RUSAGE_CHILDREN, &start);
    for (auto _ : state) {
        QProcess harness;
        harness.setProcessEnvironment(env);
        harness.start(QStringLiteral(QUORVEL_HARNESS), {});
        if (!harness.waitForFinished(10000) || harness.exitCode() != 0) {
            state.SkipWithError("the harness did not draw its first page");
            break;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    // Peak memory of the largest start-up (at 100 %), and the processor time
    // of one start-up, which a busy machine does not inflate as it does the
    // wall time.
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024.0;
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    const double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime) - seconds(start.ru_utime) -
                       seconds(start.ru_stime);
    state.counters["cpu_ms"] = 1000.0 * cpu / double(state.iterations());
}
BENCHMARK(BM_Startup_To_First_Page)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// Alternating between two sizes, every resize lays out and (in a fit mode)
// redraws: the window's handling of the resize, which Qt delivers at once.
// With `repaint`, Qt's repaint of the resized window is timed as well.
void Resize(benchmark::State &state, const char *zoomCaption, int expectedDrawings, bool repaint = false)
{
    auto window = Started(zoomCaption);
    window->resize(700, 500);
    QCoreApplication::processEvents();
    const int before = window->Build_Page_Calls;
    bool wide = false;
    for (auto _ : state) {
        wide = !wide;
        window->resize(wide ? 760 : 700, wide ? 560 : 500);
        if (!repaint)
            state.PauseTiming();
        QCoreApplication::processEvents();
        if (!repaint)
            state.ResumeTiming();
    }
    const int drawn = window->Build_Page_Calls - before;
    if (drawn != expectedDrawings * int(state.iterations()))
        state.SkipWithError("the resize did not draw as expected");
    state.counters["drawings_per_resize"] = double(drawn) / double(state.iterations());
}

void BM_Resize_Fit_Page(benchmark::State &state)
{
    Resize(state, "Fit Pg", 1);
}
BENCHMARK(BM_Resize_Fit_Page)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void BM_Resize_Fit_Width(benchmark::State &state)
{
    Resize(state, "Fit Wd", 1);
}
BENCHMARK(BM_Resize_Fit_Width)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void BM_Resize_100_Percent(benchmark::State &state)
{
    Resize(state, "100%", 0);
}
BENCHMARK(BM_Resize_100_Percent)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(1.0);

void BM_Resize_100_Percent_With_Repaint(benchmark::State &state)
{
    Resize(state, "100%", 0, true);
}
BENCHMARK(BM_Resize_100_Percent_With_Repaint)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(1.0);

} // namespace
