// The volume reader on arbitrary files: every voxel of a volume it accepts
// reads as a sample on the 12-bit scale, and its stack's every pixel maps
// back to a voxel of it or to padding; anything else is refused with
// VolumeError.
// Seed it with tests/corpus/nifti.
#include "core/volume/VolumeError.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

using namespace lumidra;

namespace {

std::string scratchFile()
{
    return "/tmp/lumidra-fuzz-nifti-" + std::to_string(::getpid()) + ".nii";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = scratchFile();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
    try {
        const SharedSliceStack stack = openVolume(path);
        const VolumeSource& source = *stack->source();
        if (stack->count() != source.nz())
            std::abort();
        std::vector<std::uint16_t> plane(source.planeSize());
        for (int k = 0; k < source.nz(); ++k) {
            source.samplesOfPlane(k, plane.data());
            for (std::uint16_t s : plane)
                if (s > kTopSample)
                    std::abort();
        }
        for (int z = 0; z < stack->count(); ++z)
            for (int p = 0; p < kSliceSamples; p += 97) {
                const auto v = source.voxelAt(z, p);
                if (v && (v->i >= source.nx() || v->j >= source.ny() || v->k >= source.nz()))
                    std::abort();
            }
    } catch (const VolumeError&) {
    }
    ::unlink(path.c_str());
    return 0;
}
