#pragma once

// Writing slice files for tests and benchmarks: temporary directories,
// plain PGM laid out as netpbm writes it, raw big-endian slices.
#include "TestFiles.h"

#include "core/common/SliceGeometry.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace slicefiles {

using testfiles::TempDir;
using testfiles::writeFile;

inline std::string sliceName(int number, std::string_view suffix)
{
    char name[32];
    std::snprintf(name, sizeof name, "slice%03i", number);
    return std::string(name).append(suffix);
}

// Plain PGM as netpbm writes it: the header on three lines, then each row
// starting on a new line, samples separated by spaces, lines of at most 70.
inline std::string plainPgm(const std::vector<std::uint8_t>& grey)
{
    std::string text = "P2\n256 256\n255\n";
    text.reserve(grey.size() * 4 + text.size());
    for (int y = 0; y < lumidra::kSliceSide; ++y) {
        std::size_t lineStart = text.size();
        for (int x = 0; x < lumidra::kSliceSide; ++x) {
            std::string value =
                std::to_string(grey[static_cast<std::size_t>(y) * lumidra::kSliceSide + x]);
            std::size_t lineLength = text.size() - lineStart;
            if (lineLength > 0 && lineLength + 1 + value.size() > 70) {
                text += '\n';
                lineStart = text.size();
            } else if (lineLength > 0) {
                text += ' ';
            }
            text += value;
        }
        text += '\n';
    }
    return text;
}

// Creates directories under root until the path is exactly `length`
// characters long (at least two more than root's), for tests at the limits
// of a path's length. Returns the path, without a final '/'.
inline std::string directoryOfLength(const std::filesystem::path& root, std::size_t length)
{
    std::string path = root.string();
    while (path.size() < length) {
        const std::size_t room = length - path.size() - 1; // after the '/'
        std::size_t take = std::min<std::size_t>(room, 200);
        if (room - take == 1) // the next name needs a '/' and a character
            --take;
        path += '/';
        path.append(take, 'd');
        std::filesystem::create_directory(path);
    }
    return path;
}

inline std::string rawSlice(const std::vector<std::uint16_t>& samples)
{
    std::string bytes;
    bytes.reserve(samples.size() * 2);
    for (std::uint16_t s : samples) {
        bytes += static_cast<char>(s >> 8);
        bytes += static_cast<char>(s & 0xFF);
    }
    return bytes;
}

} // namespace slicefiles
