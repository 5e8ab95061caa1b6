// The Analysis window on a real stack: what it adds to a region-colour
// change, its statistics updates, the stack histogram it computes once per
// stack, and Suggest Regions.
//   bench_analysis RAW_DIR/      (needs an X display with OpenGL)
#include "BenchUtil.h"
#include "BenchWorkplace.h"

#include "core/common/Parallel.h"
#include "core/stats/HistogramCache.h"
#include "core/stats/Otsu.h"
#include "gui/analysis/AnalysisWindow.h"
#include "gui/analysis/SuggestRegionsDialog.h"
#include "gui/app/MainWidget.h"
#include "gui/controls/ImageSelect.h"
#include "gui/controls/InputRegion.h"
#include "gui/controls/RtSlider.h"
#include "gui/views/DisplayRegion.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>

#include <chrono>
#include <cstdio>
#include <memory>
#include <numeric>

using namespace lumidra;

namespace {

void waitUntilDrawn(QWidget* w)
{
    w->show();
    QElapsedTimer clock;
    clock.start();
    while (!w->isVisible() || clock.elapsed() < 300)
        QApplication::processEvents();
}

// Median of `runs` timings of `timed`, with `untimed` run before each.
template <typename Prepare, typename Timed>
double medianMicrosAfter(Prepare&& untimed, Timed&& timed, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        untimed();
        const auto start = std::chrono::steady_clock::now();
        timed();
        const auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void printTarget(const char* what, double micros, double targetMs)
{
    std::printf("%-48s %12.3f ms  (target <= %.0f ms: %s)\n", what, micros / 1000.0, targetMs,
                micros <= targetMs * 1000.0 ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_analysis RAW_DIR/\n");
        return 2;
    }
    QApplication app(argc, argv);
    bench::Workplace place(argv[1]);
    std::unique_ptr<MainWidget> window;
    {
        bench::QuietStdout quiet;
        window = std::make_unique<MainWidget>();
    }
    window->resize(675, 575);
    waitUntilDrawn(window.get());
    const SharedSliceStack stack = window->greyView()->sliceStack();
    std::printf("stack: %d slices, %zu samples\n", stack->count(), stack->size());

    // A region-colour change as the user makes it, through every redraw it
    // causes: dr2 at once, the Analysis window (when open) at the next turn
    // of the event loop.
    QSlider* red = window->findChild<InputRegion*>("ir")->redSlider->findChild<QSlider*>("minSL");
    int v = 0;
    auto change = [&] {
        red->setValue(v = (v + 1) % 256);
        QApplication::processEvents();
    };
    // Paging to another slice: both views redraw; the window counts the slice.
    auto* imgSel = window->findChild<ImageSelect*>("imgSel");
    int z = 0;
    auto step = [&] {
        imgSel->setValue(z = (z + 7) % stack->count());
        QApplication::processEvents();
    };
    // Open and closed alternate in rounds, so a machine busy with something
    // else weighs on both alike.
    window->showAnalysis();
    AnalysisWindow* analysis = window->analysisWindow();
    std::vector<double> changeOpen, changeClosed, stepOpen, stepClosed;
    for (int round = 0; round < 6; ++round) {
        analysis->hide();
        QApplication::processEvents();
        changeClosed.push_back(bench::medianMicros(change, 30));
        stepClosed.push_back(bench::medianMicros(step, 15));
        waitUntilDrawn(analysis);
        changeOpen.push_back(bench::medianMicros(change, 30));
        stepOpen.push_back(bench::medianMicros(step, 15));
    }
    const double closed = median(changeClosed);
    const double open = median(changeOpen);
    bench::printFigure("colour change, Analysis window closed", closed);
    bench::printFigure("colour change, Analysis window open", open);
    bench::printRatio("colour change, open / closed", open / closed, "<=", 1.5);
    printTarget("colour change, Analysis window open", open, 16);
    // Most of a change is the main window's own redraw (software OpenGL
    // here); what the Analysis window adds to it:
    std::printf("%-48s %12.3f ms\n", "colour change, the Analysis window's share",
                (open - closed) / 1000.0);
    bench::printFigure("slice step, Analysis window closed", median(stepClosed));
    bench::printFigure("slice step, Analysis window open", median(stepOpen));
    bench::printRatio("slice step, open / closed", median(stepOpen) / median(stepClosed),
                      "<=", 1.5);

    // The stack histogram, once per stack, as the window computes it (on the
    // cores), against one plain pass over the same samples on one thread.
    volatile std::uint64_t sink = 0;
    const double histogram = bench::medianMicros(
        [&] { sink = stackHistogram(*stack, lumidra::defaultWorkThreads()).total(); }, 15);
    const double pass = bench::medianMicros(
        [&] {
            sink = stack->visit([](auto voxels) {
                return std::accumulate(voxels.begin(), voxels.end(), std::uint64_t{0});
            });
        },
        15);
    bench::printFigure("stack histogram, once per stack, on the cores", histogram);
    bench::printFigure("one pass summing the same samples, one thread", pass);
    std::printf("%-48s %8.2fx\n", "stack histogram / plain pass", histogram / pass);

    // What the window recomputes after a change, before anything is painted:
    // the statistics of the cached stack histogram after a range edit, and
    // those of a slice it has not counted yet.
    analysis->setShowsWholeStack(true);
    RtSlider* minSlider = window->findChild<InputRegion*>("ir")->minSlider;
    const int min0 = minSlider->currentValue();
    int edit = 0;
    const double stackUpdate =
        medianMicrosAfter([&] { minSlider->setValue((min0 + (++edit % 2) * 9) % 256); },
                          [&] { analysis->refresh(); }, 200);
    printTarget("stack statistics update after a range edit", stackUpdate, 2);
    analysis->setShowsWholeStack(false);
    const double sliceUpdate = medianMicrosAfter(
        [&] { imgSel->setValue(z = (z + 7) % stack->count()); }, [&] { analysis->refresh(); }, 100);
    printTarget("slice statistics update (new slice)", sliceUpdate, 2);
    QApplication::processEvents();

    // Suggest Regions with six classes: the split itself, and the dialog
    // that computes and lists it.
    HistogramCache cache;
    const GreyCounts counts = cache.stack(stack).count;
    const double otsu6 = bench::medianMicros([&] { sink = multiOtsu(counts, 6).size(); }, 50);
    const double otsu2 = bench::medianMicros([&] { sink = multiOtsu(counts, 2).size(); }, 50);
    const double dialog = bench::medianMicros(
        [&] {
            SuggestRegionsDialog d(counts, analysis);
            d.setClassCount(6);
            sink = d.classes().size();
        },
        20);
    bench::printFigure("Otsu, 2 classes", otsu2);
    bench::printFigure("Otsu, 6 classes", otsu6);
    bench::printRatio("Otsu, 6 classes / 2 classes", otsu6 / otsu2, "<=", 10.0);
    printTarget("Suggest Regions, k = 6 (dialog with its split)", dialog, 50);
    return 0;
}
