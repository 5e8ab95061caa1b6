#include "core/volume/SliceLoader.h"

#include "core/common/Diagnostics.h"
#include "core/volume/FileBytes.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <new>
#include <string_view>

#include <sys/mman.h>
#include <unistd.h>

namespace lumidra {

namespace {

// A plain PGM slice is about 250 KB; this only bounds what a hostile file
// (or a device named like a slice) can make the loader hold.
constexpr std::size_t kMaxPgmFileBytes = std::size_t{64} << 20;

using SliceReader = int (*)(FileBytes&, std::uint32_t*, const char*);

int notFound(std::uint32_t* dst, const char* path)
{
    diag("File not found: %s\n", path ? path : "");
    std::fill(dst, dst + kSliceSamples, 0u);
    return -1;
}

int readRawWith(FileBytes& bytes, std::uint32_t* dst, const char* path)
{
    if (!bytes.load(path, kRawSliceBytes))
        return notFound(dst, path);
    diag("File opened: %s\n", path);
    return parseRawSlice(dst, bytes.data(), bytes.size());
}

int readPgmWith(FileBytes& bytes, std::uint32_t* dst, const char* path)
{
    if (!bytes.load(path, kMaxPgmFileBytes))
        return notFound(dst, path);
    diag("File opened: %s\n", path);
    return parsePgmSlice(dst, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

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

int countSlices(const char* dir, const char* suffix)
{
    int count = 0;
    while (count < INT_MAX && sliceExists(dir, count, suffix))
        ++count;
    return count;
}

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

// Transparent huge pages are opt-in here: asking for them cuts the page
// faults of filling a block of tens of megabytes.
void adviseHugePages(void* block, std::size_t bytes)
{
    auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    auto begin = (reinterpret_cast<std::uintptr_t>(block) + pageSize - 1) & ~(pageSize - 1);
    auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(pageSize - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Not zeroed: every reader fills all samples of its slice on every path.
std::unique_ptr<std::uint32_t[]> allocateSamples(int count)
{
    std::size_t samples = static_cast<std::size_t>(count) * kSliceSamples;
    std::unique_ptr<std::uint32_t[]> block(new (std::nothrow) std::uint32_t[samples]);
    if (block)
        adviseHugePages(block.get(), samples * sizeof(std::uint32_t));
    return block;
}

void readSlices(std::uint32_t* samples, int count, const char* dir, const char* suffix,
                SliceReader reader)
{
    FileBytes bytes;
    PathBuffer path;
    for (int j = 0; j < count; ++j) {
        std::uint32_t* slice = samples + static_cast<std::size_t>(j) * kSliceSamples;
        if (formSlicePath(path, dir, j, suffix))
            reader(bytes, slice, path);
        else
            std::fill(slice, slice + kSliceSamples, 0u);
    }
}

} // namespace

int readRawSlice(std::uint32_t* dst, const char* path)
{
    FileBytes bytes;
    return readRawWith(bytes, dst, path);
}

int readPgmSlice(std::uint32_t* dst, const char* path)
{
    FileBytes bytes;
    return readPgmWith(bytes, dst, path);
}

int loadSliceStackWithin(SampleStack& out, const char* dir, std::size_t memoryBudget)
{
    out = SampleStack{};
    if (!dir)
        dir = kDefaultImageDir;

    // Slice 0 decides the kind for the whole directory.
    bool pgm = sliceExists(dir, 0, ".pgm");
    const char* suffix = pgm ? ".pgm" : "";
    SliceReader reader = pgm ? readPgmWith : readRawWith;

    int count = countSlices(dir, suffix);
    if (count == 0)
        return 0;
    std::unique_ptr<std::uint32_t[]> samples;
    if (static_cast<std::size_t>(count) <= memoryBudget / kBytesPerLoadedSlice)
        samples = allocateSamples(count);
    if (!samples) {
        diag("Not enough memory for %d slices of %s\n", count, dir);
        return 0;
    }
    readSlices(samples.get(), count, dir, suffix, reader);
    out.samples = std::move(samples);
    out.count = count;
    return count;
}

int loadSliceStack(SampleStack& out, const char* dir)
{
    return loadSliceStackWithin(out, dir, availableMemory());
}

SharedSliceStack loadImageDirectory(const char* dir)
{
    SampleStack loaded;
    const int count = loadSliceStack(loaded, dir);
    auto stack = std::make_shared<SliceStack>(count);
    for (std::size_t i = 0; i < stack->size(); ++i) {
        stack->sampleData()[i] = static_cast<std::uint16_t>(loaded.samples[i]);
        stack->greyData()[i] = greyOf(loaded.samples[i]);
    }
    return stack;
}

} // namespace lumidra
