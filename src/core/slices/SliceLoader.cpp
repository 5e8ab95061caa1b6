#include "core/slices/SliceLoader.h"

#include "core/common/Diagnostics.h"
#include "core/slices/FileBytes.h"
#include "core/slices/SliceRead.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <optional>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace lumidra {

namespace {

using PathBuffer = char[kMaxSlicePath + 1];

// "%sslice%03i%s"; false when the name would be longer than a slice path may be.
bool formSlicePath(PathBuffer& path, const char* dir, int number, const char* suffix)
{
    int length = std::snprintf(path, sizeof(PathBuffer), "%sslice%03i%s", dir, number, suffix);
    return length >= 0 && length <= kMaxSlicePath;
}

bool sliceExists(const char* dir, int number, const char* suffix)
{
    PathBuffer path;
    return formSlicePath(path, dir, number, suffix) && fileExists(path);
}

void refuse(int count, const char* dir)
{
    diag("Not enough memory for %d slices of %s\n", count, dir);
}

// The stack loaded last and the directory it came from, as the candidate the
// next load of that directory compares its slices with. Held weakly: the
// views own their stacks, and a stack no view holds any more is gone.
class LastLoaded {
public:
    SharedSliceStack find(const std::string& dir)
    {
        std::lock_guard lock(mutex_);
        return dir == dir_ ? stack_.lock() : nullptr;
    }
    void remember(const std::string& dir, const SharedSliceStack& stack)
    {
        std::lock_guard lock(mutex_);
        dir_ = dir;
        stack_ = stack;
    }

private:
    std::mutex mutex_;
    std::string dir_;
    std::weak_ptr<const SliceStack> stack_;
};

LastLoaded& lastLoaded()
{
    static LastLoaded last;
    return last;
}

// The first loads of a directory started ahead, one after the other on a
// thread of their own, so that they overlap the program's start-up. Their
// diagnostics are held back and printed by the loads that take them, at the
// moment those loads would have printed them themselves.
class LoadAhead {
public:
    struct Result {
        SharedSliceStack stack;
        std::string printed;
    };
    using Load = std::function<SharedSliceStack(const std::string&)>;

    void start(std::string dir, int loads, Load load)
    {
        std::lock_guard lock(mutex_);
        dropPending();
        dir_ = dir;
        std::vector<std::promise<Result>> promises(static_cast<std::size_t>(loads));
        for (std::promise<Result>& promise : promises)
            pending_.push_back(promise.get_future());
        worker_ = std::async(std::launch::async, [dir = std::move(dir), load = std::move(load),
                                                  promises = std::move(promises)]() mutable {
            for (std::promise<Result>& promise : promises) {
                try {
                    promise.set_value(heldLoad(dir, load));
                } catch (...) {
                    promise.set_exception(std::current_exception());
                }
            }
        });
    }

    // The next load ahead of dir, each once. Any other load drops those
    // pending, so that stacks nobody takes are not kept.
    std::optional<Result> take(const std::string& dir)
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty())
            return std::nullopt;
        if (dir != dir_) {
            dropPending();
            return std::nullopt;
        }
        Result result = pending_.front().get();
        pending_.pop_front();
        return result;
    }

private:
    static Result heldLoad(const std::string& dir, const Load& load)
    {
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* held = ::open_memstream(&text, &size);
        std::FILE* previous = setDiagStream(held);
        Result result{load(dir), {}};
        setDiagStream(previous);
        if (held) {
            std::fclose(held);
            result.printed.assign(text, size);
            std::free(text);
        }
        return result;
    }

    void dropPending()
    {
        for (std::future<Result>& result : pending_)
            result.wait();
        pending_.clear();
        if (worker_.valid())
            worker_.get();
    }

    std::mutex mutex_;
    std::string dir_;
    std::deque<std::future<Result>> pending_;
    std::future<void> worker_;
};

LoadAhead& loadAhead()
{
    static LoadAhead ahead;
    return ahead;
}

int readSliceWith(SliceFormat format, std::uint32_t* dst, const char* path)
{
    auto samples = std::make_unique_for_overwrite<std::uint16_t[]>(kSliceSamples);
    FileBytes bytes;
    SliceReport report = readSliceFile(format, path, samples.get(), bytes);
    report.print(path);
    widenSlice(samples.get(), dst, format);
    return report.result;
}

} // namespace

SliceFileList findSliceFiles(const char* dir)
{
    SliceFileList files;
    files.dir = dir ? dir : kDefaultImageDir;
    // Slice 0 decides the format for the whole directory.
    bool pgm = sliceExists(files.dir.c_str(), 0, ".pgm");
    files.format = pgm ? SliceFormat::Pgm : SliceFormat::Raw;
    const char* suffix = pgm ? ".pgm" : "";
    PathBuffer path;
    for (int number = 0; number < INT_MAX; ++number) {
        if (!formSlicePath(path, files.dir.c_str(), number, suffix) || !fileExists(path))
            break;
        files.paths.emplace_back(path);
    }
    return files;
}

namespace {

SharedSliceStack loadNow(const char* dir, std::size_t memoryBudget)
{
    SliceFileList files = findSliceFiles(dir);
    if (files.count() == 0)
        return std::make_shared<const SliceStack>(0);
    // A second load of the same slices keeps nothing new.
    SharedSliceStack candidate = lastLoaded().find(files.dir);
    bool mayShare = candidate && candidate->count() == files.count();
    if (!mayShare &&
        static_cast<std::size_t>(files.count()) > memoryBudget / kBytesPerLoadedSlice) {
        refuse(files.count(), files.dir.c_str());
        return std::make_shared<const SliceStack>(0);
    }
    SharedSliceStack stack = loadSliceFiles(files, std::move(candidate));
    if (stack->count() > 0)
        lastLoaded().remember(files.dir, stack);
    return stack;
}

} // namespace

// MemAvailable counts the page cache the kernel would give back; free pages
// alone would refuse stacks that fit.
std::size_t availableMemory()
{
    FileBytes meminfo;
    if (meminfo.load("/proc/meminfo", 64 * 1024)) {
        std::string_view text(reinterpret_cast<const char*>(meminfo.data()), meminfo.size());
        constexpr std::string_view kKey = "MemAvailable:";
        auto at = text.find(kKey);
        if (at != std::string_view::npos)
            at = text.find_first_not_of(' ', at + kKey.size());
        std::size_t kib = 0;
        if (at != std::string_view::npos) {
            auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), kib);
            if (error == std::errc() && kib <= SIZE_MAX / 1024)
                return kib * 1024;
        }
    }
    long pages = ::sysconf(_SC_AVPHYS_PAGES);
    long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
    return SIZE_MAX;
}

SharedSliceStack loadImageDirectoryWithin(const char* dir, std::size_t memoryBudget)
{
    if (std::optional<LoadAhead::Result> ahead = loadAhead().take(dir ? dir : kDefaultImageDir)) {
        diag("%.*s", static_cast<int>(ahead->printed.size()), ahead->printed.data());
        return ahead->stack;
    }
    return loadNow(dir, memoryBudget);
}

SharedSliceStack loadImageDirectory(const char* dir)
{
    return loadImageDirectoryWithin(dir, availableMemory());
}

void loadImageDirectoryAhead(const char* dir, int loads)
{
    // Made first, so it outlives the loads ahead even at exit.
    lastLoaded();
    loadAhead().start(dir ? dir : kDefaultImageDir, std::max(loads, 1),
                      [](const std::string& d) { return loadNow(d.c_str(), availableMemory()); });
}

int readRawSlice(std::uint32_t* dst, const char* path)
{
    return readSliceWith(SliceFormat::Raw, dst, path);
}

int readPgmSlice(std::uint32_t* dst, const char* path)
{
    return readSliceWith(SliceFormat::Pgm, dst, path);
}

int loadSliceStackWithin(SampleStack& out, const char* dir, std::size_t memoryBudget)
{
    out = SampleStack{};
    SliceFileList files = findSliceFiles(dir);
    const int count = files.count();
    if (count == 0)
        return 0;
    std::unique_ptr<std::uint32_t[]> samples;
    if (static_cast<std::size_t>(count) <= memoryBudget / kBytesPerSampleSlice)
        samples.reset(new (std::nothrow) std::uint32_t[sliceOffset(count)]);
    if (!samples) {
        refuse(count, files.dir.c_str());
        return 0;
    }
    SharedSliceStack stack = loadSliceFiles(files);
    if (stack->count() != count)
        return 0;
    for (int z = 0; z < count; ++z)
        widenSlice(stack->sampleSlice(z), samples.get() + sliceOffset(z), files.format);
    out.samples = std::move(samples);
    out.count = count;
    return count;
}

int loadSliceStack(SampleStack& out, const char* dir)
{
    return loadSliceStackWithin(out, dir, availableMemory());
}

} // namespace lumidra
