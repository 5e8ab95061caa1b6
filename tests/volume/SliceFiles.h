#pragma once

// Writing slice files for tests and benchmarks: temporary directories,
// plain PGM laid out as netpbm writes it, raw big-endian slices.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace slicefiles {

constexpr int kSide = 256;

// A fresh directory under the system's temporary directory, removed with
// its contents when the object goes.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumidra-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary directory");
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }
    // The directory as the loader takes it: a prefix ending in '/'.
    std::string prefix() const { return path_.string() + "/"; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

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
    for (int y = 0; y < kSide; ++y) {
        std::size_t lineStart = text.size();
        for (int x = 0; x < kSide; ++x) {
            std::string value = std::to_string(grey[static_cast<std::size_t>(y) * kSide + x]);
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
