// Slice files read into a stack side by side: each thread takes the next
// slice not yet taken and reads it into its place (a raw file straight in, a
// PGM file through a scratch slice of samples, whose grey bytes are kept),
// and the calling thread, itself one of the readers, prints the reports in
// slice order as they come in. A load that has a candidate reads into the
// scratch slice and compares; the first slice that differs makes the stack
// of its own.
#include "core/slices/SliceLoader.h"

#include "core/common/Diagnostics.h"
#include "core/slices/FileBytes.h"
#include "core/slices/SliceRead.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

namespace lumidra {

namespace {

// One thread per core; past a handful the memory bus, not the cores, bounds
// how fast the page cache is read.
constexpr int kMaxThreads = 8;

std::shared_ptr<SliceStack> newStack(SliceFormat format, int count)
{
    try {
        return std::make_shared<SliceStack>(stackKindOf(format), count);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// The block a new stack fills, whichever way it keeps its voxels.
void* bytesToFill(SliceStack& stack)
{
    return stack.kind() == SliceStack::Kind::Samples
               ? static_cast<void*>(stack.samplesToFill().data())
               : stack.greysToFill().data();
}

// Slice z of the stack set to what the samples read stand for.
void storeSlice(SliceStack& stack, int z, const std::uint16_t* samples)
{
    if (stack.kind() == SliceStack::Kind::Samples)
        std::copy(samples, samples + kSliceSamples, stack.samplesToFill().data() + sliceOffset(z));
    else
        greyOfSamples(samples, stack.greysToFill().data() + sliceOffset(z), kSliceSamples);
}

// Whether slice z of the stack already holds what the samples read stand for.
bool sliceHolds(const SliceStack& stack, int z, const std::uint16_t* samples)
{
    return stack.visitSlice(z, [samples](auto slice) {
        if constexpr (std::is_same_v<typename decltype(slice)::value_type, std::uint16_t>) {
            return std::equal(slice.begin(), slice.end(), samples);
        } else {
            // A row at a time into grey bytes, which compare as one block.
            std::uint8_t row[kSliceSide];
            for (int at = 0; at < kSliceSamples; at += kSliceSide) {
                greyOfSamples(samples + at, row, kSliceSide);
                if (std::memcmp(row, slice.data() + at, kSliceSide) != 0)
                    return false;
            }
            return true;
        }
    });
}

// What one thread reads with: a file buffer, and a slice of samples to
// parse into or to compare from.
struct Reader {
    FileBytes bytes;
    std::unique_ptr<std::uint16_t[]> scratch;
};

class StackLoad {
public:
    StackLoad(const SliceFileList& files, SharedSliceStack candidate)
        : files_(files), candidate_(std::move(candidate)), reports_(files.paths.size()),
          done_(files.paths.size(), 0)
    {
    }

    SharedSliceStack run(int threads);

private:
    bool readNext(Reader& reader);
    void keepDiffering(int z, const std::uint16_t* samples);
    void printReports(bool waitForAll);
    SharedSliceStack refused() const;

    const SliceFileList& files_;
    const SharedSliceStack candidate_;
    // The stack being filled; null while every slice so far is the candidate's.
    std::shared_ptr<SliceStack> own_;
    std::atomic<SliceStack*> target_{nullptr};
    std::mutex ownMutex_;
    bool noMemory_ = false;

    std::atomic<int> next_{0};
    std::mutex reportMutex_;
    std::condition_variable reported_;
    std::vector<SliceReport> reports_;
    std::vector<char> done_;
    int printed_ = 0;
};

// Takes the next slice, reads it and files its report; false when every
// slice is taken.
bool StackLoad::readNext(Reader& reader)
{
    const int z = next_.fetch_add(1, std::memory_order_relaxed);
    if (z >= files_.count())
        return false;
    SliceStack* target = target_.load(std::memory_order_acquire);
    // Only a raw file is read straight into the stack; anything else into the scratch slice.
    const bool straight = target && target->kind() == SliceStack::Kind::Samples;
    std::uint16_t* samples =
        straight ? target->samplesToFill().data() + sliceOffset(z) : reader.scratch.get();
    SliceReport report;
    try {
        report = readSliceFile(files_.format, files_.paths[z].c_str(), samples, reader.bytes);
    } catch (const std::bad_alloc&) {
        // A file that cannot be held counts as one that cannot be opened.
        std::fill(samples, samples + kSliceSamples, std::uint16_t{0});
        report = SliceReport{};
    }
    if (target && !straight)
        storeSlice(*target, z, samples);
    else if (!target && !sliceHolds(*candidate_, z, samples))
        keepDiffering(z, samples);
    {
        std::lock_guard lock(reportMutex_);
        reports_[z] = std::move(report);
        done_[z] = 1;
    }
    reported_.notify_one();
    return true;
}

// The first slice that differs from the candidate makes the stack of its
// own, holding the candidate's slices until their files are read into it.
void StackLoad::keepDiffering(int z, const std::uint16_t* samples)
{
    std::lock_guard lock(ownMutex_);
    if (!own_ && !noMemory_) {
        own_ = newStack(files_.format, files_.count());
        noMemory_ = !own_;
        if (own_) {
            // Both keep their voxels the same way: the candidate is only
            // compared with a load of the same format.
            candidate_->visit([this](auto voxels) {
                std::memcpy(bytesToFill(*own_), voxels.data(), voxels.size_bytes());
            });
            target_.store(own_.get(), std::memory_order_release);
        }
    }
    if (own_)
        storeSlice(*own_, z, samples);
}

// Prints the reports that are in, in slice order; with waitForAll, waits
// for the rest and prints them too.
void StackLoad::printReports(bool waitForAll)
{
    std::unique_lock lock(reportMutex_);
    while (printed_ < files_.count()) {
        if (!done_[printed_]) {
            if (!waitForAll)
                return;
            reported_.wait(lock, [this] { return done_[printed_] != 0; });
        }
        const int z = printed_++;
        lock.unlock();
        reports_[z].print(files_.paths[z].c_str());
        lock.lock();
    }
}

SharedSliceStack StackLoad::refused() const
{
    diag("Not enough memory for %d slices of %s\n", files_.count(), files_.dir.c_str());
    return std::make_shared<const SliceStack>();
}

SharedSliceStack StackLoad::run(int threads)
{
    std::vector<Reader> readers(static_cast<std::size_t>(threads));
    const bool raw = files_.format == SliceFormat::Raw;
    const bool compare = candidate_ && candidate_->count() == files_.count() &&
                         candidate_->kind() == stackKindOf(files_.format);
    if (compare || !raw)
        for (Reader& reader : readers)
            reader.scratch.reset(new (std::nothrow) std::uint16_t[kSliceSamples]);
    if (!raw && !readers[0].scratch)
        return refused();
    // Without a candidate, or a scratch slice to compare in, every slice is
    // read into a stack of its own.
    if (!compare || !readers[0].scratch) {
        own_ = newStack(files_.format, files_.count());
        if (!own_)
            return refused();
        target_.store(own_.get(), std::memory_order_relaxed);
    }

    // Decided before any helper runs: a helper may make own_ at any time.
    const bool straightIntoOwn = own_ != nullptr && raw;
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(threads));
    for (int t = 1; t < threads && (straightIntoOwn || readers[t].scratch); ++t) {
        try {
            helpers.emplace_back([this, &reader = readers[t]] {
                while (readNext(reader)) {
                }
            });
        } catch (const std::system_error&) {
            break; // the threads there are read the rest
        }
    }
    while (readNext(readers[0]))
        printReports(false);
    printReports(true);
    for (std::thread& helper : helpers)
        helper.join();

    if (noMemory_)
        return refused();
    return own_ ? SharedSliceStack(std::move(own_)) : candidate_;
}

} // namespace

SharedSliceStack loadSliceFiles(const SliceFileList& files, SharedSliceStack candidate, int threads)
{
    if (files.count() == 0)
        return std::make_shared<const SliceStack>();
    if (threads <= 0)
        threads = static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, std::min(files.count(), kMaxThreads));
    return StackLoad(files, std::move(candidate)).run(threads);
}

} // namespace lumidra
