// Start-up of the real program: from process start (read by this driver
// just before it forks) to the moment both views have put their first
// complete picture on screen (printed by lumidra under LUMIDRA_TRACE_STARTUP),
// paired in the same run with the floor for this toolkit on this display: a
// minimal Qt program showing one 256 x 256 picture with glDrawPixels. The
// programs run alternately, several rounds, and every figure is a median. The
// peak resident memory of each run comes from the kernel (wait4).
//   bench_startup <brain-pgm-dir> <brain-raw-dir> <1000-pgm-dir> <1000-raw-dir>
//   (needs an X display with OpenGL)
#include "BenchUtil.h"

#include "core/common/SliceGeometry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 9;
constexpr int kTimeoutMillis = 60000;
constexpr const char* kTraceMark = "start-up complete at ";

double monotonicSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Run {
    double millis = -1;   // negative: the program never reported its picture
    double cpuMillis = 0; // user and system time of all its threads, to its end
    long peakKib = 0;
};

// One program to run: what it is called in the figures, the executable and
// the working directory, whose data/ is the image directory it reads.
struct Subject {
    std::string label;
    std::string exe;
    fs::path workdir;
    int slices = 0;
    std::vector<Run> runs;
};

// Reads the child's standard error until the trace line or the timeout;
// returns the time the line gives, or a negative number.
double awaitTrace(int fd, std::string& seen)
{
    char buffer[4096];
    double deadline = monotonicSeconds() + kTimeoutMillis / 1000.0;
    for (;;) {
        auto at = seen.find(kTraceMark);
        if (at != std::string::npos && seen.find('\n', at) != std::string::npos)
            return std::strtod(seen.c_str() + at + std::strlen(kTraceMark), nullptr);
        int left = static_cast<int>((deadline - monotonicSeconds()) * 1000);
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, left) <= 0)
            return -1;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return -1;
        seen.append(buffer, static_cast<std::size_t>(n));
    }
}

Run runOnce(const Subject& s)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return {};
    int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const char* argv[] = {s.exe.c_str(), nullptr};
    double start = monotonicSeconds();
    pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (::chdir(s.workdir.c_str()) != 0 || ::dup2(devNull, STDOUT_FILENO) < 0 ||
            ::dup2(pipeFds[1], STDERR_FILENO) < 0)
            ::_exit(127);
        ::execv(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::close(devNull);
    Run run;
    std::string seen;
    if (pid > 0) {
        double end = awaitTrace(pipeFds[0], seen);
        if (end > 0)
            run.millis = (end - start) * 1000.0;
        ::kill(pid, SIGKILL);
        int status = 0;
        rusage usage{};
        while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        run.peakKib = usage.ru_maxrss;
        run.cpuMillis = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    }
    ::close(pipeFds[0]);
    if (run.millis < 0)
        std::fprintf(stderr, "bench_startup: %s did not report its picture; it said:\n%s\n",
                     s.label.c_str(), seen.c_str());
    return run;
}

template <class Get> double median(const Subject& s, Get get)
{
    std::vector<double> values;
    for (const Run& r : s.runs)
        values.push_back(get(r));
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

fs::path workdirFor(const fs::path& root, const std::string& name, const char* imageDir)
{
    fs::path dir = root / name;
    fs::create_directories(dir);
    if (imageDir)
        fs::create_directory_symlink(fs::absolute(imageDir), dir / "data");
    else
        fs::create_directory(dir / "data");
    return dir;
}

int countSlices(const char* dir)
{
    int n = 0;
    char name[32];
    for (;; ++n) {
        std::snprintf(name, sizeof name, "slice%03d", n);
        if (!fs::exists(fs::path(dir) / name) &&
            !fs::exists(fs::path(dir) / (std::string(name) + ".pgm")))
            return n;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_startup <brain-pgm-dir> <brain-raw-dir> "
                             "<1000-pgm-dir> <1000-raw-dir>\n");
        return 2;
    }
    ::setenv("LUMIDRA_TRACE_STARTUP", "1", 1);
    fs::path root = fs::temp_directory_path() / ("lumidra-startup-" + std::to_string(::getpid()));
    fs::create_directories(root);

    std::vector<Subject> subjects;
    subjects.push_back({"minimal Qt program, one glDrawPixels",
                        LUMIDRA_FLOOR_EXE,
                        workdirFor(root, "floor", nullptr),
                        0,
                        {}});
    subjects.push_back(
        {"lumidra, empty ./data/", LUMIDRA_EXE, workdirFor(root, "empty", nullptr), 0, {}});
    const char* labels[] = {"lumidra, brain (181 slices), PGM", "lumidra, brain (181 slices), raw",
                            "lumidra, 1,000 slices, PGM", "lumidra, 1,000 slices, raw"};
    for (int k = 0; k < 4; ++k)
        subjects.push_back({labels[k],
                            LUMIDRA_EXE,
                            workdirFor(root, "dir" + std::to_string(k), argv[1 + k]),
                            countSlices(argv[1 + k]),
                            {}});

    // One unmeasured round brings the programs and the slices into the page
    // cache; then the rounds alternate the programs, each round in a
    // different order.
    for (Subject& s : subjects)
        runOnce(s);
    for (int round = 0; round < kRounds; ++round)
        for (std::size_t i = 0; i < subjects.size(); ++i) {
            Subject& s = subjects[(i + round) % subjects.size()];
            s.runs.push_back(runOnce(s));
        }
    fs::remove_all(root);

    std::printf("process start to both views' first complete picture, median of %d rounds\n",
                kRounds);
    for (const Subject& s : subjects) {
        if (s.slices > 0 && s.slices != (s.label.find("1,000") != std::string::npos ? 1000 : 181))
            std::printf("  (%s: %d slices found)\n", s.label.c_str(), s.slices);
        std::printf("%-48s %9.1f ms   CPU %7.1f ms   peak RSS %7.1f MiB\n", s.label.c_str(),
                    median(s, [](const Run& r) { return r.millis; }),
                    median(s, [](const Run& r) { return r.cpuMillis; }),
                    median(s, [](const Run& r) { return r.peakKib / 1024.0; }));
    }
    const double floor = median(subjects[0], [](const Run& r) { return r.millis; });
    auto ratio = [&](int k) {
        return median(subjects[k], [](const Run& r) { return r.millis; }) / floor;
    };
    std::printf("%-48s %8.2fx\n", "lumidra empty / minimal program", ratio(1));
    bool ok = bench::printRatio("brain PGM / minimal program", ratio(2), "<=", 1.2);
    ok &= bench::printRatio("brain raw / minimal program", ratio(3), "<=", 1.2);
    ok &= bench::printRatio("1,000 PGM slices / minimal program", ratio(4), "<=", 1.5);
    ok &= bench::printRatio("1,000 raw slices / minimal program", ratio(5), "<=", 1.5);

    // Memory: what each voxel of the 1,000 slices costs beyond the empty
    // window (the stack keeps a raw voxel in 2 bytes, a PGM voxel in 1), and
    // the brain's peak against the floor's.
    auto peak = [&](int k) {
        return median(subjects[k], [](const Run& r) { return r.peakKib * 1024.0; });
    };
    for (int k : {4, 5}) {
        const double voxels = static_cast<double>(subjects[k].slices) * lumidra::kSliceSamples;
        const double perVoxel = (peak(k) - peak(1)) / voxels;
        const double target = k == 4 ? 1.1 : 2.1;
        char what[96];
        std::snprintf(what, sizeof what, "peak RSS per voxel, 1,000 %s slices - empty",
                      k == 4 ? "PGM" : "raw");
        std::printf("%-48s %8.2f B  (target <= %.1f B: %s)\n", what, perVoxel, target,
                    perVoxel <= target ? "met" : "MISSED");
    }
    std::printf("%-48s %8.2fx\n", "peak RSS, empty / minimal program", peak(1) / peak(0));
    for (int k : {2, 3}) {
        const double ratio = peak(k) / peak(0);
        std::printf("%-48s %8.2fx  (target <= 1.15x: %s)\n",
                    k == 2 ? "peak RSS, brain PGM / minimal program"
                           : "peak RSS, brain raw / minimal program",
                    ratio, ratio <= 1.15 ? "met" : "MISSED");
    }
    return 0;
}
