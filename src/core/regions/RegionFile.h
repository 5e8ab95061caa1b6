#pragma once

#include "core/regions/ImgMaterial.h"

#include <cstddef>
#include <cstdio>
#include <vector>

namespace lumidra {

constexpr const char* kDefaultRegionFile = "./data/colornfo.txt";
constexpr int kMaxRegionPath = 299;    // characters of a region file path
constexpr int kMaxRegionWord = 999;    // characters of one word
constexpr int kRegionNameBuffer = 100; // the reader's captured-name buffer

// Writes count records as a region info file (null path: the default file).
// The file is written beside the target and renamed over it only when
// complete; a symbolic link is followed, so the link keeps pointing at the
// new content. Returns 0, or -1 (with a diagnostic line) when it cannot be
// written; an existing file is then left untouched.
[[nodiscard]] int writeRegionFile(const imgMaterial* records, int count,
                                  const char* path = nullptr);

// Reads the next number of a region info file, skipping comment lines; the
// first word of the last comment line before it goes into name (a buffer of
// kRegionNameBuffer characters) when name is not null. atEnd (when not null)
// becomes true when the file ended before a number; the result is then 0.
//
// A word longer than kMaxRegionWord characters keeps its first
// kMaxRegionWord; the rest of it is skipped, not read as a further word.
// Numbers follow atoi (optional sign, leading digits, else 0); a value beyond
// the int range saturates at INT_MIN / INT_MAX.
[[nodiscard]] int readRegionToken(std::FILE* file, char* name, bool* atEnd = nullptr);

// Reads a region info file into out, keeping its first `keep` records (the
// table's 17 by default: nothing uses more) and reading the others only to
// count them, so a file's count costs no memory. Returns the number of
// records the file gave, or -1 when it is not a plain file that can be
// opened (out is then empty). A FIFO, a device or a directory is refused
// without waiting for data.
[[nodiscard]] int readRegionFile(std::vector<imgMaterial>& out, const char* path = nullptr,
                                 std::size_t keep = kRegionCount);

// The record reader behind readRegionFile, on an open stream. Reading stops
// at the end of the stream: a record begun there gets 0 for its missing
// numbers, records never begun are not made up. A count of 0 or below reads
// nothing. A name keeps its first kRegionNameChars characters. Returns the
// number of records read; out holds the first `keep` of them.
[[nodiscard]] int readRegionStream(std::vector<imgMaterial>& out, std::FILE* file,
                                   std::size_t keep = kRegionCount);

} // namespace lumidra
