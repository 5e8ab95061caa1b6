#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class SliceKind { Raw, Pgm };

// Highest sample a slice file of the kind holds: the viewer's 12-bit scale for
// raw files, a byte for PGM.
int topLevel(SliceKind kind);

// The whole contents of a slice file of 65,536 samples.
std::string encodeSlice(const std::vector<std::uint16_t>& samples, SliceKind kind);
