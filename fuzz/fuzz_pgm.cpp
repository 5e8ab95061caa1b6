// Every way of reading PGM samples the processor supports against the
// stdio reference: any difference in result or samples aborts.
#include "PgmReference.h"
#include "core/slices/PgmScan.h"
#include "core/slices/SliceLoader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace lumidra;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Every input prints a diagnostic or two; a terminal would be the bottleneck.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using pgmscan::SampleScan;
    static std::vector<std::uint32_t> fast(kSliceSamples);
    static std::vector<std::uint32_t> reference(kSliceSamples);
    static char empty[1];

    std::memset(reference.data(), 0xCD, reference.size() * sizeof(reference[0]));
    void* bytes = size ? const_cast<std::uint8_t*>(data) : static_cast<void*>(empty);
    std::FILE* file = ::fmemopen(bytes, size, "r");
    if (!file)
        std::abort();
    int referenceResult = referenceReadPgm(file, reference.data());
    std::fclose(file);

    for (SampleScan scan : pgmscan::kEveryScan) {
        if (!pgmscan::supported(scan))
            continue;
        // A different pattern from the reference's, so a sample either side
        // leaves unwritten differs.
        std::memset(fast.data(), 0xAB, fast.size() * sizeof(fast[0]));
        int result =
            parsePgmSliceWith(scan, fast.data(), reinterpret_cast<const char*>(data), size);
        if (result != referenceResult || fast != reference)
            std::abort();
    }
    return 0;
}
