#pragma once

#include "core/common/SliceGeometry.h"
#include "core/volume/SliceStack.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace lumidra {

constexpr int kMaxSlicePath = 1023;                       // longest slice path, in characters
constexpr std::size_t kRawSliceBytes = kSliceSamples * 2; // 16-bit big-endian samples
constexpr const char* kDefaultImageDir = "./data/";

// The loader's result: count slices of 65,536 samples on a 12-bit scale,
// slice-major, rows in order within a slice.
struct SampleStack {
    std::unique_ptr<std::uint32_t[]> samples;
    int count = 0;

    std::size_t size() const { return static_cast<std::size_t>(count) * kSliceSamples; }
};

// Loads every slice of an image directory (a path prefix ending in '/'; null
// means "./data/"). Returns the slice count. Slices whose file fails are 0.
int loadSliceStack(SampleStack& out, const char* dir = nullptr);

// As loadSliceStack, but refuses (diagnostic, no slice) a directory whose
// slices would need more than memoryBudget bytes. loadSliceStack passes the
// memory the machine has available.
int loadSliceStackWithin(SampleStack& out, const char* dir, std::size_t memoryBudget);

// Bytes that one slice costs in memory once loaded and shown: its samples
// and a view's grey bytes.
constexpr std::size_t kBytesPerLoadedSlice = kSliceSamples * (sizeof(std::uint32_t) + 1);

// The stack the views keep for an image directory: the same files read and
// the same diagnostics printed as loadSliceStack.
SharedSliceStack loadImageDirectory(const char* dir = nullptr);

// Readers of one slice file into 65,536 samples. On every path after the
// file opened they leave all 65,536 samples defined (0 where nothing was read).
// readRawSlice: samples read (65,536 for a complete file), or -1 when the file
// cannot be opened. readPgmSlice: 65,536, or -1 (not opened, not "P2", wrong header).
int readRawSlice(std::uint32_t* dst, const char* path);
int readPgmSlice(std::uint32_t* dst, const char* path);

// The same rules on bytes already in memory (the readers above read a file
// once and call these). They print the diagnostics of a bad file, but not
// "File opened".
int parseRawSlice(std::uint32_t* dst, const unsigned char* data, std::size_t size);
int parsePgmSlice(std::uint32_t* dst, const char* data, std::size_t size);

} // namespace lumidra
