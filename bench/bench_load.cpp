// Loading the stack the views keep, against libnetpbm's reader over the same
// PGM files and against only reading the files' bytes into a fresh buffer.
//   bench_load <pgm-dir> <raw-dir>   directories as the loader takes them (ending in '/')
//   bench_load                       on a stand-in brain of 181 slices, written to a temp dir
#include "BenchUtil.h"

#include "SliceFiles.h"
#include "core/slices/SliceLoader.h"

#include <netpbm/pgm.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumidra;

namespace {

constexpr int kRuns = 21;
constexpr int kStandInSlices = 181;

// The loader's "File opened" lines go to /dev/null while it is timed.
class QuietStdout {
public:
    QuietStdout()
    {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }

private:
    int saved_;
};

std::vector<std::string> slicePaths(const std::string& dir, const char* suffix)
{
    std::vector<std::string> paths;
    for (int i = 0;; ++i) {
        std::string path = dir + slicefiles::sliceName(i, suffix);
        if (::access(path.c_str(), R_OK) != 0)
            return paths;
        paths.push_back(path);
    }
}

std::size_t fileSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
}

// Every file's bytes into one fresh buffer, as a floor for any loader. The
// buffer is mapped for each run: from malloc, a buffer of this size comes
// back on the same, already faulted pages after the first run, while the
// loader's block is always new memory. It gets huge pages as the block does.
std::size_t readAllBytes(const std::vector<std::string>& paths)
{
    std::size_t total = 0;
    for (const std::string& p : paths)
        total += fileSize(p);
    void* mapped =
        ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return 0;
    ::madvise(mapped, total, MADV_HUGEPAGE);
    auto* buffer = static_cast<char*>(mapped);
    std::size_t at = 0;
    for (const std::string& p : paths) {
        int fd = ::open(p.c_str(), O_RDONLY);
        ssize_t n;
        while (fd >= 0 && at < total && (n = ::read(fd, buffer + at, total - at)) > 0)
            at += static_cast<std::size_t>(n);
        ::close(fd);
    }
    ::munmap(mapped, total);
    return at;
}

// libnetpbm's reader as a real reader would use it: every slice kept until
// the whole stack is read.
unsigned long netpbmStack(const std::vector<std::string>& paths)
{
    std::vector<gray**> slices;
    slices.reserve(paths.size());
    unsigned long sum = 0;
    for (const std::string& p : paths) {
        std::FILE* file = std::fopen(p.c_str(), "r");
        int cols = 0;
        int rows = 0;
        gray maxval = 0;
        slices.push_back(pgm_readpgm(file, &cols, &rows, &maxval));
        sum += slices.back()[rows / 2][cols / 2];
        std::fclose(file);
    }
    for (gray** grays : slices)
        pgm_freearray(grays, kSliceSide);
    return sum;
}

// The loader must give what netpbm reads, before either is timed.
bool loaderAgreesWithNetpbm(const SliceStack& stack, const std::vector<std::string>& paths)
{
    for (std::size_t z = 0; z < paths.size(); ++z) {
        std::FILE* file = std::fopen(paths[z].c_str(), "r");
        int cols = 0;
        int rows = 0;
        gray maxval = 0;
        gray** grays = pgm_readpgm(file, &cols, &rows, &maxval);
        std::fclose(file);
        bool same = cols == kSliceSide && rows == kSliceSide;
        for (int y = 0; same && y < rows; ++y)
            for (int x = 0; x < cols; ++x)
                same = same && stack.greyAt(static_cast<int>(z), y * kSliceSide + x) == grays[y][x];
        pgm_freearray(grays, rows);
        if (!same)
            return false;
    }
    return true;
}

// Slice z of a count-slice head: dark background with faint noise, a bright
// skull shell, and grey and white matter around dark ventricles.
std::vector<std::uint8_t> brainSlice(int z, int count)
{
    std::vector<std::uint8_t> grey(kSliceSamples);
    double dz = (z - count / 2.0) / (count / 2.0);
    for (int y = 0; y < kSliceSide; ++y)
        for (int x = 0; x < kSliceSide; ++x) {
            double dx = (x - 128) / 100.0;
            double dy = (y - 124) / 118.0;
            double r = dx * dx + dy * dy + dz * dz;
            std::uint32_t hash = (static_cast<std::uint32_t>(x) * 73856093u ^
                                  static_cast<std::uint32_t>(y) * 19349663u ^
                                  static_cast<std::uint32_t>(z) * 83492791u) *
                                 2654435761u;
            int noise = static_cast<int>(hash >> 28);
            double value;
            if (r > 1.0)
                value = noise < 12 ? 0 : noise - 10;
            else if (r > 0.86)
                value = 185 + 3 * noise;
            else if (r > 0.80)
                value = 30 + noise;
            else if (dx * dx * 9 + dy * dy * 4 + dz * dz * 6 < 0.25)
                value = 25 + noise;
            else
                value = 130 + 35 * std::sin(x * 0.11 + z * 0.05) * std::cos(y * 0.09) + 2 * noise;
            grey[static_cast<std::size_t>(y) * kSliceSide + x] = static_cast<std::uint8_t>(value);
        }
    return grey;
}

// The stand-in brain written into a PGM directory and a raw directory.
void writeBrain(const std::string& pgmPrefix, const std::string& rawPrefix, int count)
{
    for (int z = 0; z < count; ++z) {
        std::vector<std::uint8_t> grey = brainSlice(z, count);
        slicefiles::writeFile(pgmPrefix + slicefiles::sliceName(z, ".pgm"),
                              slicefiles::plainPgm(grey));
        std::vector<std::uint16_t> samples(grey.begin(), grey.end());
        for (std::uint16_t& s : samples)
            s = static_cast<std::uint16_t>(s * 16 + (s & 15));
        slicefiles::writeFile(rawPrefix + slicefiles::sliceName(z, ""),
                              slicefiles::rawSlice(samples));
    }
}

SharedSliceStack loadQuietly(const std::string& dir)
{
    QuietStdout quiet;
    return loadImageDirectory(dir.c_str());
}

int run(const std::string& pgmDir, const std::string& rawDir)
{
    std::vector<std::string> pgmPaths = slicePaths(pgmDir, ".pgm");
    std::vector<std::string> rawPaths = slicePaths(rawDir, "");
    SharedSliceStack stack = loadQuietly(pgmDir);
    if (pgmPaths.empty() || stack->count() != static_cast<int>(pgmPaths.size()) ||
        !loaderAgreesWithNetpbm(*stack, pgmPaths)) {
        std::fprintf(stderr, "bench_load: the PGM slices of %s do not load as netpbm reads them\n",
                     pgmDir.c_str());
        return 1;
    }
    if (rawPaths.empty()) {
        std::fprintf(stderr, "bench_load: no raw slices in %s\n", rawDir.c_str());
        return 1;
    }
    std::printf("%zu PGM slices in %s, %zu raw slices in %s; median of %d alternating rounds\n",
                pgmPaths.size(), pgmDir.c_str(), rawPaths.size(), rawDir.c_str(), kRuns);

    // Each timed load starts with no stack of its directory held, so it
    // builds one; the second view's load, which finds the first view's
    // stack and keeps it, is timed apart.
    stack.reset();
    unsigned long sink = 0;
    auto load = [&](const std::string& dir) {
        return [&sink, dir] { sink += static_cast<unsigned long>(loadQuietly(dir)->count()); };
    };
    SharedSliceStack held;
    auto secondLoad = [&](const std::string& dir) {
        return [&, dir] {
            held = loadQuietly(dir);
            SharedSliceStack second = loadQuietly(dir);
            sink += second == held ? 1 : 0;
            held.reset();
        };
    };
    std::vector<double> t = bench::alternatingMedians(
        {load(pgmDir), [&] { sink += readAllBytes(pgmPaths); }, load(rawDir),
         [&] { sink += readAllBytes(rawPaths); }, secondLoad(pgmDir), secondLoad(rawDir),
         [&] { sink += netpbmStack(pgmPaths); }},
        kRuns);
    const double pgmLoad = t[0], pgmBytes = t[1], rawLoad = t[2], rawBytes = t[3];
    const double pgmTwice = t[4], rawTwice = t[5], netpbm = t[6];

    bench::printFigure("loadImageDirectory, PGM", pgmLoad);
    bench::printFigure("read the PGM files' bytes", pgmBytes);
    bench::printFigure("libnetpbm pgm_readpgm, every slice kept", netpbm);
    bench::printFigure("two views' loads of the PGM directory", pgmTwice);
    bench::printFigure("loadImageDirectory, raw", rawLoad);
    bench::printFigure("read the raw files' bytes", rawBytes);
    bench::printFigure("two views' loads of the raw directory", rawTwice);
    bench::printRatio("PGM: libnetpbm time / loader time", netpbm / pgmLoad, ">=", 3.0);
    bench::printRatio("PGM: loader time / bare read time", pgmLoad / pgmBytes, "<=", 1.3);
    bench::printRatio("raw: loader time / bare read time", rawLoad / rawBytes, "<=", 1.3);
    return sink == 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    pm_init(argv[0], 0);
    if (argc == 3)
        return run(argv[1], argv[2]);
    if (argc != 1) {
        std::fprintf(stderr, "usage: %s [<pgm-dir> <raw-dir>]\n", argv[0]);
        return 2;
    }
    slicefiles::TempDir pgm;
    slicefiles::TempDir raw;
    writeBrain(pgm.prefix(), raw.prefix(), kStandInSlices);
    std::printf("stand-in brain (no directories given)\n");
    return run(pgm.prefix(), raw.prefix());
}
