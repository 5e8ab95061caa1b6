#pragma once

#include "core/common/SliceGeometry.h"
#include "core/slices/SliceStack.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumidra {

constexpr int kMaxSlicePath = 1023;                       // longest slice path, in characters
constexpr std::size_t kRawSliceBytes = kSliceSamples * 2; // 16-bit big-endian samples
constexpr const char* kDefaultImageDir = "./data/";

enum class SliceFormat { Raw, Pgm };

// The slice files of an image directory (a path prefix ending in '/'): the
// format slice 0 decides for all of them, and the files numbered from 0 up
// to the first gap.
struct SliceFileList {
    std::string dir;
    SliceFormat format = SliceFormat::Raw;
    std::vector<std::string> paths;

    int count() const { return static_cast<int>(paths.size()); }
};

// null means "./data/".
SliceFileList findSliceFiles(const char* dir);

// How the views' stack keeps the slices of a format: raw slices as their
// samples, PGM slices as their grey bytes.
constexpr SliceStack::Kind stackKindOf(SliceFormat format)
{
    return format == SliceFormat::Raw ? SliceStack::Kind::Samples : SliceStack::Kind::Greys;
}

// Bytes that one slice costs in memory once loaded and shown, one copy shared
// by both views.
constexpr std::size_t bytesPerLoadedSlice(SliceFormat format)
{
    return kSliceSamples * (format == SliceFormat::Raw ? sizeof(std::uint16_t) : 1);
}

// Bytes of memory the machine can give a new stack now.
std::size_t availableMemory();

// The stack the views keep for an image directory (null means "./data/"):
// every slice file read and its diagnostics printed in slice order, each
// file read into the stack on one of several threads. When the stack loaded
// last for the same directory holds the same slices, that stack is returned
// and nothing new is kept. A directory whose slices would need more memory
// than the machine has available is refused with a diagnostic: no slice.
SharedSliceStack loadImageDirectory(const char* dir = nullptr);
SharedSliceStack loadImageDirectoryWithin(const char* dir, std::size_t memoryBudget);

// Starts `loads` loads of an image directory, one after the other on a
// thread of their own, so that they overlap the program's start-up. Each of
// the next loadImageDirectory calls for the same directory takes one of them
// in turn and prints its diagnostics then, as if it had read the files
// itself; any other load drops those not taken.
void loadImageDirectoryAhead(const char* dir = nullptr, int loads = 1);

// The slice files read into a stack on `threads` threads (0: as many as
// help), their diagnostics printed in slice order on the calling thread. A
// candidate that turns out to hold the same slices is returned instead of a
// new stack; a new one is made only from the first slice that differs.
// Without memory for a new stack: a diagnostic, and no slice.
SharedSliceStack loadSliceFiles(const SliceFileList& files, SharedSliceStack candidate = nullptr,
                                int threads = 0);

// The loader's result as 32-bit samples on a 12-bit scale: count slices of
// 65,536, slice-major, rows in order within a slice.
struct SampleStack {
    std::unique_ptr<std::uint32_t[]> samples;
    int count = 0;

    std::size_t size() const { return static_cast<std::size_t>(count) * kSliceSamples; }
};

// Loads every slice of an image directory into 32-bit samples, file after
// file, each as its reader below gives it (a PGM field past 255 keeps its
// value * 16, which the views' stack of grey bytes does not). Returns the
// slice count. Slices whose file fails are 0.
[[nodiscard]] int loadSliceStack(SampleStack& out, const char* dir = nullptr);

// Bytes one slice costs in loadSliceStack's 32-bit block.
constexpr std::size_t kBytesPerSampleSlice = kSliceSamples * sizeof(std::uint32_t);

// As loadSliceStack, but refuses (diagnostic, no slice) a directory whose
// slices would need more than memoryBudget bytes. loadSliceStack passes the
// memory the machine has available.
[[nodiscard]] int loadSliceStackWithin(SampleStack& out, const char* dir, std::size_t memoryBudget);

// Readers of one slice file into 65,536 samples. On every path after the
// file opened they leave all 65,536 samples defined (0 where nothing was read).
// readRawSlice: samples read (65,536 for a complete file), or -1 when the file
// cannot be opened. readPgmSlice: 65,536, or -1 (not opened, not "P2", wrong header).
[[nodiscard]] int readRawSlice(std::uint32_t* dst, const char* path);
[[nodiscard]] int readPgmSlice(std::uint32_t* dst, const char* path);

// The same rules on bytes already in memory (the readers above read a file
// once and call these). They print the diagnostics of a bad file, but not
// "File opened".
[[nodiscard]] int parseRawSlice(std::uint32_t* dst, const unsigned char* data, std::size_t size);
[[nodiscard]] int parsePgmSlice(std::uint32_t* dst, const char* data, std::size_t size);

} // namespace lumidra
