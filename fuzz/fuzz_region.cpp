// Region info reader on arbitrary bytes: the count returned matches the
// records kept (at most the table's 17), none is made up, and every name
// stays terminated inside its field.
#include "core/regions/RegionFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace lumidra;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Diagnostics would only slow the run down.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0; // fmemopen refuses an empty buffer
    std::vector<char> bytes(data, data + size);
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!file)
        return 0;
    std::vector<imgMaterial> records;
    const int count = readRegionStream(records, file, kRegionCount);
    std::fclose(file);
    if (count < 0 || records.size() != std::min<std::size_t>(count, kRegionCount))
        std::abort();
    // Every record needs a word of its own after the count: none is made up.
    if (static_cast<std::size_t>(count) * 2 > size)
        std::abort();
    for (const imgMaterial& r : records) {
        if (strnlen(r.name, sizeof r.name) >= sizeof r.name)
            std::abort();
    }
    return 0;
}
