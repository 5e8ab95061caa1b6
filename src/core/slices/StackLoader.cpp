// Slice files read into a stack side by side: each thread takes the next
// slice not yet taken and reads it straight into its place, and the calling
// thread, itself one of the readers, prints the reports in slice order as
// they come in. A load that has a candidate reads into a scratch slice and
// compares; the first slice that differs makes the stack of its own.
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
#include <vector>

namespace lumidra {

namespace {

// One thread per core; past a handful the memory bus, not the cores, bounds
// how fast the page cache is read.
constexpr int kMaxThreads = 8;

std::shared_ptr<SliceStack> newStack(int count)
{
    try {
        return std::make_shared<SliceStack>(count);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// What one thread reads with: a file buffer, and a slice to compare from.
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
    std::uint16_t* samples = target ? target->sampleData() + sliceOffset(z) : reader.scratch.get();
    SliceReport report;
    try {
        report = readSliceFile(files_.format, files_.paths[z].c_str(), samples, reader.bytes);
    } catch (const std::bad_alloc&) {
        // A file that cannot be held counts as one that cannot be opened.
        std::fill(samples, samples + kSliceSamples, std::uint16_t{0});
        report = SliceReport{};
    }
    if (target)
        greyOfSlice(samples, target->greyData() + sliceOffset(z));
    else if (!std::equal(samples, samples + kSliceSamples, candidate_->sampleSlice(z)))
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
        own_ = newStack(files_.count());
        noMemory_ = !own_;
        if (own_) {
            std::memcpy(own_->sampleData(), candidate_->samples(),
                        own_->size() * sizeof(std::uint16_t));
            std::memcpy(own_->greyData(), candidate_->grey(), own_->size());
            target_.store(own_.get(), std::memory_order_release);
        }
    }
    if (own_) {
        std::copy(samples, samples + kSliceSamples, own_->sampleData() + sliceOffset(z));
        greyOfSlice(samples, own_->greyData() + sliceOffset(z));
    }
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
    return std::make_shared<const SliceStack>(0);
}

SharedSliceStack StackLoad::run(int threads)
{
    std::vector<Reader> readers(static_cast<std::size_t>(threads));
    const bool compare = candidate_ && candidate_->count() == files_.count();
    if (compare)
        for (Reader& reader : readers)
            reader.scratch.reset(new (std::nothrow) std::uint16_t[kSliceSamples]);
    // Without a candidate, or a scratch slice to compare in, every slice is
    // read straight into a stack of its own.
    if (!compare || !readers[0].scratch) {
        own_ = newStack(files_.count());
        if (!own_)
            return refused();
        target_.store(own_.get(), std::memory_order_relaxed);
    }

    // Decided before any helper runs: a helper may make own_ at any time.
    const bool readIntoOwn = own_ != nullptr;
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(threads));
    for (int t = 1; t < threads && (readIntoOwn || readers[t].scratch); ++t) {
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
        return std::make_shared<const SliceStack>(0);
    if (threads <= 0)
        threads = static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, std::min(files.count(), kMaxThreads));
    return StackLoad(files, std::move(candidate)).run(threads);
}

} // namespace lumidra
