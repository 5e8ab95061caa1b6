// The Three Planes window on a 512 x 512 x 400 int16 volume: a crosshair
// move redrawn on screen, cutting and colouring the three planes against a
// bare copy of their voxels, and the memory the open window adds.
//   bench_planes      (needs an X display)
#include "BenchUtil.h"
#include "BenchWorkplace.h"

#include "NiftiFiles.h"
#include "core/planes/PlaneOverlay.h"
#include "core/volume/VolumeReader.h"
#include "gui/app/MainWidget.h"
#include "gui/planes/PlaneView.h"
#include "gui/planes/PlanesWindow.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

using namespace lumidra;

namespace {

constexpr int kNx = 512, kNy = 512, kNz = 400;

// A head-like phantom: an ellipsoid of "scalp" around a "brain" whose values
// ramp with depth, with a few bright and dark spheres, in air.
void writePhantom(const std::string& path)
{
    auto nim = niftifiles::makeVolume(DT_INT16, kNx, kNy, kNz);
    auto* v = static_cast<std::int16_t*>(nim->data);
    for (int k = 0; k < kNz; ++k)
        for (int j = 0; j < kNy; ++j)
            for (int i = 0; i < kNx; ++i) {
                const double x = (i - 256) / 230.0, y = (j - 256) / 250.0, z = (k - 200) / 190.0;
                const double r = x * x + y * y + z * z;
                std::int16_t value = -1000;
                if (r < 1.0)
                    value = r > 0.85 ? 900 : static_cast<std::int16_t>(20 + 60 * r + (i + j) % 7);
                const double dx = (i - 300) / 40.0, dy = (j - 200) / 40.0, dz = (k - 220) / 40.0;
                if (dx * dx + dy * dy + dz * dz < 1.0)
                    value = 1500;
                *v++ = value;
            }
    niftifiles::saveVolume(*nim, path);
}

// Resident and peak resident memory of this process, in bytes.
long statusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size())) * 1024;
    return -1;
}

// Starts a new peak (Linux: writing 5 to clear_refs resets VmHWM to VmRSS).
bool resetPeak()
{
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    refs.flush();
    return static_cast<bool>(refs);
}

void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents();
}

// Counts the paints of the three planes, so the figures are known to include them.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("lumidra-bench-planes-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    bench::Workplace place(dir); // an empty ./data/: the default regions
    const std::string path = (dir / "phantom.nii").string();
    writePhantom(path);
    const SharedSliceStack stack = openVolume(path);
    std::filesystem::remove(path);

    std::unique_ptr<MainWidget> window;
    {
        bench::QuietStdout quiet;
        window = std::make_unique<MainWidget>(StartupImages{path, stack, {}});
    }
    window->clkDefaultReg();
    window->clkShowAll();
    window->resize(675, 575);
    window->show();
    settle(500);

    // Memory: the peak over the same stretch of work, with and without the
    // window: without it, the main window pages through the same slices.
    auto sliceOf = [&](int n) { return 200 + (n % 41) - 20; };
    const bool peaks = resetPeak();
    for (int n = 0; n < 100; ++n) {
        window->workspace()->setSlice(sliceOf(n)); // k runs upward: slice z is plane z
        QApplication::processEvents();
    }
    settle(300);
    const long without = statusBytes("VmHWM:");
    resetPeak();
    window->showPlanes();
    PlanesWindow* planes = window->planesWindow();
    planes->resize(1080, 1140);
    settle(500);
    planes->showActualSize();
    PaintCounter counter;
    for (const Plane p : kPlanes)
        planes->view(p)->installEventFilter(&counter);

    // A crosshair move that changes every plane, drawn on screen.
    int step = 0;
    auto move = [&] {
        const int d = sliceOf(step++) - 200;
        planes->setCrosshair({256 + d, 256 - d, 200 + d});
        QApplication::processEvents();
    };
    const double followed = bench::medianMicros(move, 100);
    settle(300);
    const long with = statusBytes("VmHWM:");
    // The planes alone: the main window, hidden, draws nothing as it follows.
    window->hide();
    settle(200);
    counter.paints = 0;
    const double moveMicros = bench::medianMicros(move, 200);
    const double paintsPerMove = counter.paints / 200.0;

    const PlaneVolume volume(stack);
    std::array<PlaneAxes, 3> axes;
    std::size_t pictureBytes = 0;
    for (const Plane p : kPlanes) {
        axes[static_cast<int>(p)] = planeAxes(p, volume.shape());
        pictureBytes += static_cast<std::size_t>(axes[static_cast<int>(p)].width) *
                        axes[static_cast<int>(p)].height * 4;
    }
    const double budget = pictureBytes + 10.0 * 1024 * 1024;

    // Cutting and colouring, no drawing, against a bare copy of the same voxels.
    std::array<PlaneCut, 3> cuts;
    std::vector<std::uint32_t> pixels(kNx * kNy);
    const PlaneOverlay overlay(window->regionTable().records(), -1, 50);
    int at = 0;
    auto cutAndColour = [&] {
        const int d = (at++ % 41) - 20;
        for (int n = 0; n < 3; ++n) {
            volume.cut(axes[n], {256 + d, 256 - d, 200 + d}, cuts[n]);
            overlay.colour(cuts[n], pixels.data(), axes[n].width);
        }
    };
    // The peer copies the source's stored voxels as they are: the floor any cut stands on.
    const auto* s = reinterpret_cast<const std::int16_t*>(stack->source()->scan().bytes.get());
    std::vector<std::int16_t> copy(kNx * kNy + 2 * kNx * kNz);
    int bare = 0;
    auto bareCopy = [&] {
        const int d = (bare++ % 41) - 20;
        const std::size_t i0 = 256 + d, j0 = 256 - d, k0 = 200 + d;
        std::int16_t* to = copy.data();
        for (std::size_t j = 0; j < kNy; ++j)
            for (std::size_t i = 0; i < kNx; ++i)
                *to++ = s[i + kNx * (j + kNy * k0)];
        for (std::size_t k = 0; k < kNz; ++k)
            for (std::size_t i = 0; i < kNx; ++i)
                *to++ = s[i + kNx * (j0 + kNy * k)];
        for (std::size_t k = 0; k < kNz; ++k)
            for (std::size_t j = 0; j < kNy; ++j)
                *to++ = s[i0 + kNx * (j + kNy * k)];
    };
    const std::vector<double> m = bench::alternatingMedians({cutAndColour, bareCopy}, 60);

    std::printf("volume: %d x %d x %d int16; planes %d x %d, %d x %d, %d x %d at 1:1\n", kNx, kNy,
                kNz, axes[0].width, axes[0].height, axes[1].width, axes[1].height, axes[2].width,
                axes[2].height);
    std::printf("%-48s %12.3f ms  (target <= 8 ms: %s; %.1f plane paints a move)\n",
                "crosshair move, three planes on screen", moveMicros / 1000.0,
                moveMicros <= 8000.0 ? "met" : "MISSED", paintsPerMove);
    std::printf("%-48s %12.3f ms\n", "the same, the main window following on screen",
                followed / 1000.0);
    bench::printFigure("cut and colour the three planes", m[0]);
    bench::printFigure("bare copy of the three planes' voxels", m[1]);
    bench::printRatio("cut and colour / bare copy", m[0] / m[1], "<=", 3.0);
    if (peaks) {
        const double added = static_cast<double>(with - without);
        std::printf("%-48s %12.2f MiB  (target <= %.2f MiB, pictures %.2f MiB + 10: %s)\n",
                    "peak memory, window open minus closed", added / 1048576.0, budget / 1048576.0,
                    pictureBytes / 1048576.0, added <= budget ? "met" : "MISSED");
    } else {
        std::printf("peak memory: /proc/self/clear_refs is not writable here, not measured\n");
    }
    std::printf("%-48s %12.2f MiB\n", "the source's voxels, held once",
                stack->source()->scan().byteCount() / 1048576.0);
    window.reset();
    std::filesystem::remove_all(dir);
    return 0;
}
