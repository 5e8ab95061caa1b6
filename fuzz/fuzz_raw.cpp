// parseRawSlice against reading the bytes the plain way, one 4-byte group
// at a time with fread; any difference in result or samples aborts.
#include "core/slices/SliceLoader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace lumidra;

namespace {

int referenceReadRaw(std::FILE* file, std::uint32_t* dst)
{
    std::memset(dst, 0, kSliceSamples * sizeof(std::uint32_t));
    int groups = 0;
    unsigned char b[4];
    while (groups < kSliceSamples / 2 && std::fread(b, 1, 4, file) == 4) {
        dst[2 * groups] = b[0] * 256u + b[1];
        dst[2 * groups + 1] = b[2] * 256u + b[3];
        ++groups;
    }
    return 2 * groups;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::vector<std::uint32_t> fast(kSliceSamples);
    static std::vector<std::uint32_t> reference(kSliceSamples);
    static char empty[1];
    std::memset(fast.data(), 0xAB, fast.size() * sizeof(fast[0]));

    int fastResult = parseRawSlice(fast.data(), data, size);

    void* bytes = size ? const_cast<std::uint8_t*>(data) : static_cast<void*>(empty);
    std::FILE* file = ::fmemopen(bytes, size, "rb");
    if (!file)
        std::abort();
    int referenceResult = referenceReadRaw(file, reference.data());
    std::fclose(file);

    if (fastResult != referenceResult || fast != reference)
        std::abort();
    return 0;
}
