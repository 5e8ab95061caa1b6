#include "StatsRun.h"

#include "core/common/Diagnostics.h"
#include "core/common/StagedFile.h"
#include "core/dicom/DicomInput.h"
#include "core/regions/RegionFile.h"
#include "core/regions/RegionTable.h"
#include "core/stats/LabelMap.h"
#include "core/stats/RegionMap.h"
#include "core/stats/RegionStats.h"
#include "core/slices/SliceLoader.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <thread>

using namespace lumidra;

namespace fs = std::filesystem;

namespace {

struct InputResult {
    std::string rows;
    std::string error;              // empty when the input succeeded
    std::vector<std::string> notes; // the loader's complaints about single slices
};

// What the slice loader prints while it reads, caught per input: its
// "File opened" lines would otherwise land in the CSV.
class CaughtDiagnostics {
public:
    CaughtDiagnostics() : stream_(::open_memstream(&text_, &size_))
    {
        previous_ = setDiagStream(stream_);
    }
    ~CaughtDiagnostics()
    {
        setDiagStream(previous_);
        if (stream_)
            std::fclose(stream_);
        std::free(text_);
    }
    CaughtDiagnostics(const CaughtDiagnostics&) = delete;
    CaughtDiagnostics& operator=(const CaughtDiagnostics&) = delete;

    // The lines caught so far, but those that only say a file was opened.
    std::vector<std::string> complaints()
    {
        std::vector<std::string> lines;
        if (!stream_ || std::fflush(stream_) != 0)
            return lines;
        std::string_view text(text_, size_);
        while (!text.empty()) {
            const std::size_t end = std::min(text.find('\n'), text.size());
            const std::string_view line = text.substr(0, end);
            if (!line.empty() && line.rfind("File opened: ", 0) != 0)
                lines.emplace_back(line);
            text.remove_prefix(std::min(end + 1, text.size()));
        }
        return lines;
    }

private:
    char* text_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* stream_;
    std::FILE* previous_ = nullptr;
};

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

SharedSliceStack loadDirectory(const std::string& input, InputResult& result)
{
    std::string prefix = input;
    if (prefix.back() != '/')
        prefix += '/';
    CaughtDiagnostics caught;
    SharedSliceStack stack = loadImageDirectory(prefix.c_str());
    result.notes = caught.complaints();
    if (stack->count() == 0) {
        result.error = quoted(input) + " holds no slice files (slice000 or slice000.pgm)";
        if (!result.notes.empty())
            result.error += ": " + result.notes.front();
        result.notes.clear();
        return nullptr;
    }
    return stack;
}

// A volume's statistics and map are taken from its own voxels, so the views'
// stack of it is never built: only the source it would be built from.
SharedSliceStack countedVolume(const std::string& input, const WindowPolicy& window, int threads,
                               InputResult& result)
{
    auto stack = std::make_shared<SliceStack>();
    stack->setSource(readVolume(input, window, Placement::Fit, threads).source);
    if (const std::uint64_t nonFinite = nonFiniteVoxels(*stack))
        result.notes.push_back(std::to_string(nonFinite) +
                               " voxel(s) are NaN or infinite: left out of every row");
    return stack;
}

// One row set of the CSV: a volume, an image directory, or one series of a
// DICOM input (named by its folder and series number when it holds several).
struct StatsInput {
    std::string name;
    std::string path;
    std::shared_ptr<const DicomSeries> series;
    std::vector<std::string> notes; // what the search of its folder had to say
    std::string error;              // the input failed before it was read
};

// A DICOM input becomes one input per series; any other stays as it is.
void expandInput(const std::string& path, std::vector<StatsInput>& inputs)
{
    std::error_code ec;
    if (hasNiftiExtension(path) || !isDicomInput(path)) {
        inputs.push_back({path, path, nullptr, {}, {}});
        return;
    }
    DicomFolder found;
    try {
        found = findDicomSeries(path);
    } catch (const std::exception& e) {
        inputs.push_back({path, path, nullptr, {}, e.what()});
        return;
    }
    if (found.series.empty()) {
        inputs.push_back({path, path, nullptr, {}, describeDicomFolder(found)});
        return;
    }
    std::vector<std::size_t> chosen;
    for (std::size_t s = 0; s < found.series.size(); ++s)
        if (found.chosen == found.series.size() || found.chosen == s)
            chosen.push_back(s);
    for (const std::size_t s : chosen) {
        const DicomSeries& series = found.series[s];
        StatsInput input;
        input.path = path;
        input.name = path;
        if (chosen.size() > 1) {
            while (input.name.size() > 1 && input.name.back() == '/')
                input.name.pop_back();
            input.name.append("#").append(series.tag);
        }
        if (s == chosen.front()) {
            input.notes = found.problems;
            if (found.skipped > 0)
                input.notes.push_back(std::to_string(found.skipped) +
                                      " file(s) that are not DICOM images skipped");
        }
        if (!series.warning.empty())
            input.notes.push_back(series.warning);
        input.series = std::make_shared<const DicomSeries>(series);
        inputs.push_back(std::move(input));
    }
}

SharedSliceStack countedSeries(const DicomSeries& series, const WindowPolicy& window, int threads,
                               InputResult& result)
{
    auto stack = std::make_shared<SliceStack>();
    stack->setSource(readDicomSeries(series, window, Placement::Fit, threads).source);
    if (const std::uint64_t nonFinite = nonFiniteVoxels(*stack))
        result.notes.push_back(std::to_string(nonFinite) +
                               " voxel(s) are NaN or infinite: left out of every row");
    return stack;
}

// The folder a region map goes into is made as lumidra-import makes its output's.
void makeMapFolder(const std::string& prefix)
{
    const fs::path folder = fs::path(prefix).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec) && !fs::create_directories(folder, ec) &&
        ec)
        throw std::runtime_error("cannot create the folder " + quoted(folder.string()) + ": " +
                                 ec.message());
}

InputResult processInput(const StatsInput& in, const imgMaterial* table,
                         const std::string& labelPrefix, const WindowPolicy& window,
                         std::uint64_t minIsland, int threads)
{
    InputResult result;
    result.notes = in.notes;
    const std::string& input = in.name;
    if (!in.error.empty()) {
        result.error = in.error;
        return result;
    }
    try {
        std::error_code ec;
        SharedSliceStack stack = in.series ? countedSeries(*in.series, window, threads, result)
                                 : fs::is_directory(in.path, ec)
                                     ? loadDirectory(in.path, result)
                                     : countedVolume(in.path, window, threads, result);
        if (!stack)
            return result;
        const RegionMap map = regionMap(*stack, table, minIsland, threads);
        const std::vector<RegionStats> rows = mapStatistics(*stack, map, voxelMl(*stack), threads);
        if (!labelPrefix.empty()) {
            try {
                makeMapFolder(labelPrefix);
                writeLabelMap(labelPrefix, *stack, table, map);
            } catch (const std::exception& e) {
                result.error = quoted(input) + ": no region map written: " + e.what();
                return result;
            }
        }
        result.rows = statsCsvRows(input, rows, table);
    } catch (const std::bad_alloc&) {
        result.error = quoted(input) + " is too large to hold in memory";
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return result;
}

// Inputs are taken in turn by the workers; results are handed over in
// input order as they become ready.
class InputQueue {
public:
    explicit InputQueue(std::size_t count) : results_(count) {}

    std::optional<std::size_t> take()
    {
        const std::size_t n = next_.fetch_add(1);
        return n < results_.size() ? std::optional<std::size_t>(n) : std::nullopt;
    }
    void put(std::size_t n, InputResult result)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        results_[n] = std::move(result);
        ready_.notify_all();
    }
    InputResult await(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return results_[n].has_value(); });
        InputResult result = std::move(*results_[n]);
        results_[n].reset();
        return result;
    }

private:
    std::atomic<std::size_t> next_{0};
    std::vector<std::optional<InputResult>> results_;
    std::mutex mutex_;
    std::condition_variable ready_;
};

// Standard output, or a file that replaces OUT only once complete. Nothing
// is written until the first rows arrive.
class CsvOutput {
public:
    CsvOutput(const std::string& path, std::FILE* out) : path_(path), out_(out) {}

    void write(const std::string& rows)
    {
        if (!started_) {
            started_ = true;
            if (!path_.empty())
                file_ = std::make_unique<StagedFile>(path_);
            put(statsCsvHeader());
        }
        put(rows);
    }
    void finish()
    {
        if (file_)
            file_->commit();
        else if (started_ && std::fflush(out_) != 0)
            throw std::runtime_error(std::string("cannot write the CSV: ") + std::strerror(errno));
    }

private:
    void put(const std::string& text)
    {
        if (file_)
            file_->write(text);
        else
            std::fwrite(text.data(), 1, text.size(), out_);
    }

    std::string path_;
    std::FILE* out_;
    std::unique_ptr<StagedFile> file_;
    bool started_ = false;
};

// The table the window starts with, the region file read over it. Unlike
// the window, a file that cannot be read is an error; when it was the
// default, the error names the region files to start from.
bool loadRegionTable(const StatsOptions& options, RegionTable& table, std::FILE* err)
{
    const std::string& path = options.rif;
    struct stat st {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const int error = errno;
    const bool regular = file && ::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode);
    if (file)
        std::fclose(file);
    if (!regular) {
        std::string hint;
        for (const std::string& installed : installedRegionFiles())
            hint += (hint.empty() ? "; give --rif FILE, e.g. " : " or ") + installed;
        std::fprintf(err, "lumidra-stats: cannot read the region file %s: %s%s\n",
                     quoted(path).c_str(), file ? "not a regular file" : std::strerror(error),
                     options.rifGiven ? "" : hint.c_str());
        return false;
    }
    table.startingRegions();
    CaughtDiagnostics quiet;
    return table.loadRegionFile(path.c_str()) >= 0;
}

std::string stemOf(const std::string& input)
{
    std::string name = fs::path(input).lexically_normal().filename().string();
    if (name.empty())
        name = fs::path(input).lexically_normal().parent_path().filename().string();
    for (const char* ext : {".nii.gz", ".nii", ".hdr.gz", ".img.gz", ".hdr", ".img"}) {
        const std::size_t n = std::strlen(ext);
        if (name.size() > n && name.compare(name.size() - n, n, ext) == 0)
            return name.substr(0, name.size() - n);
    }
    return name;
}

} // namespace

std::vector<std::string> labelPrefixes(const std::string& prefix,
                                       const std::vector<std::string>& inputs)
{
    if (inputs.size() == 1)
        return {prefix};
    std::vector<std::string> prefixes;
    std::set<std::string> seen;
    for (const std::string& input : inputs) {
        prefixes.push_back(prefix + stemOf(input));
        if (!seen.insert(prefixes.back()).second)
            return {};
    }
    return prefixes;
}

std::vector<std::string> installedRegionFiles()
{
    // This program's prefix first, so an installed copy names the files beside it.
    fs::path dir = LUMIDRA_INSTALLED_REGION_DIR;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path beside = self.parent_path().parent_path() / "share/lumidra";
        if (fs::is_directory(beside, ec))
            dir = beside.lexically_normal();
    }
    return {(dir / "t1-brain.rif").string() + " (a T1 brain scan, --window robust)",
            (dir / "ct-hu.rif").string() + " (CT in Hounsfield units, --window ct)"};
}

int runStats(const StatsOptions& options, std::FILE* out, std::FILE* err)
{
    RegionTable table;
    if (!loadRegionTable(options, table, err))
        return kStatsInputFailed;
    std::vector<StatsInput> inputs;
    for (const std::string& path : options.inputs)
        expandInput(path, inputs);
    std::vector<std::string> names;
    for (const StatsInput& input : inputs)
        names.push_back(input.name);
    std::vector<std::string> prefixes(inputs.size());
    if (!options.labels.empty()) {
        prefixes = labelPrefixes(options.labels, names);
        if (prefixes.empty()) {
            std::fprintf(err, "lumidra-stats: two inputs have the same name, so their region "
                              "maps would share one\n");
            return kStatsInputFailed;
        }
    }

    InputQueue queue(inputs.size());
    // -j N is N threads in all: one input per worker, and the threads left
    // over when there are fewer inputs than N share each input's reading, up
    // to the cores there are (the core splits an input only as far as its
    // size makes worthwhile).
    const int jobs = std::clamp<int>(options.jobs, 1, static_cast<int>(inputs.size()));
    const int cores = static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u));
    const int threadsPerInput = std::clamp(options.jobs / jobs, 1, cores);
    std::vector<std::thread> workers;
    for (int w = 0; w < jobs; ++w) {
        workers.emplace_back([&] {
            while (const std::optional<std::size_t> n = queue.take())
                queue.put(*n, processInput(inputs[*n], table.records(), prefixes[*n],
                                           options.window, options.minIsland, threadsPerInput));
        });
    }

    int status = 0;
    CsvOutput csv(options.csv, out);
    try {
        for (std::size_t n = 0; n < inputs.size(); ++n) {
            const InputResult result = queue.await(n);
            const std::string& name = inputs[n].name;
            for (const std::string& note : result.notes)
                std::fprintf(err, "lumidra-stats: warning: %s: %s\n", quoted(name).c_str(),
                             note.c_str());
            if (!result.error.empty()) {
                if (inputs[n].series)
                    std::fprintf(err, "lumidra-stats: %s: %s\n", quoted(name).c_str(),
                                 result.error.c_str());
                else
                    std::fprintf(err, "lumidra-stats: %s\n", result.error.c_str());
                status = kStatsInputFailed;
                continue;
            }
            csv.write(result.rows);
        }
        csv.finish();
    } catch (const std::exception& e) {
        std::fprintf(err, "lumidra-stats: %s\n", e.what());
        status = kStatsInputFailed;
    }
    for (std::thread& worker : workers)
        worker.join();
    return status;
}
