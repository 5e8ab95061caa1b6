#pragma once

// Reading one slice file into 16-bit samples, apart from printing what the
// reading came to: workers read slices side by side, and one thread prints
// the reports in slice order.
#include "core/slices/PgmScan.h"
#include "core/slices/SliceLoader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumidra {

class FileBytes;

// What reading one slice file came to: the diagnostics it prints and what
// readRawSlice / readPgmSlice return for it.
struct SliceReport {
    enum class Outcome { NotFound, Read, WrongMagic, WrongHeader };
    Outcome outcome = Outcome::NotFound;
    std::string magic; // the word found where "P2" belongs (WrongMagic)
    int result = -1;

    // "File not found: ..." or "File opened: ..." and the PGM header's verdict.
    void print(const char* path) const;
    // Only the verdict: "... invalid .pgm type" or "Parameters not correct, ...".
    void printVerdict() const;
};

// A slice's samples from bytes in memory, all 65,536 written (0 where nothing
// was read). The report tells what the file's reader would print after
// "File opened".
SliceReport parseRawSamples(std::uint16_t* dst, const unsigned char* data, std::size_t size);
SliceReport parsePgmSamples(pgmscan::SampleScan scan, std::uint16_t* dst, const char* data,
                            std::size_t size);

// One slice file into dst. `bytes` is a buffer the caller keeps from file to
// file; a raw file is read straight into dst.
SliceReport readSliceFile(SliceFormat format, const char* path, std::uint16_t* dst,
                          FileBytes& bytes);

// The grey bytes of n samples.
void greyOfSamples(const std::uint16_t* samples, std::uint8_t* grey, int n);

// The 32-bit samples readRawSlice / readPgmSlice give for a slice: raw
// samples as they are, PGM samples as the int value * 16 they stand for.
void widenSlice(const std::uint16_t* samples, std::uint32_t* dst, SliceFormat format);

} // namespace lumidra
