#pragma once

#include "core/volume/NiftiHeader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace lumidra {

// How a file stores one voxel.
enum class VoxelType { UInt8, Int8, UInt16, Int16, UInt32, Int32, UInt64, Int64, Float32, Float64 };

constexpr std::size_t voxelBytes(VoxelType type)
{
    switch (type) {
    case VoxelType::UInt8:
    case VoxelType::Int8:
        return 1;
    case VoxelType::UInt16:
    case VoxelType::Int16:
        return 2;
    case VoxelType::UInt32:
    case VoxelType::Int32:
    case VoxelType::Float32:
        return 4;
    case VoxelType::UInt64:
    case VoxelType::Int64:
    case VoxelType::Float64:
        return 8;
    }
    return 1;
}

// Calls fn(T{}) with the C++ type T a voxel type stores, and returns its result.
template <typename Fn> decltype(auto) withVoxelType(VoxelType type, Fn&& fn)
{
    switch (type) {
    case VoxelType::UInt8:
        return fn(std::uint8_t{});
    case VoxelType::Int8:
        return fn(std::int8_t{});
    case VoxelType::UInt16:
        return fn(std::uint16_t{});
    case VoxelType::Int16:
        return fn(std::int16_t{});
    case VoxelType::UInt32:
        return fn(std::uint32_t{});
    case VoxelType::Int32:
        return fn(std::int32_t{});
    case VoxelType::UInt64:
        return fn(std::uint64_t{});
    case VoxelType::Int64:
        return fn(std::int64_t{});
    case VoxelType::Float32:
        return fn(float{});
    case VoxelType::Float64:
        break;
    }
    return fn(double{});
}

// Voxel n of a block of T, which need not be aligned for T.
template <typename T> T voxelOf(const unsigned char* bytes, std::size_t n)
{
    T value;
    std::memcpy(&value, bytes + n * sizeof(T), sizeof(T));
    return value;
}

// Most voxels a volume may have: the voxels and the slices built from them
// must fit in memory, the counts taken of them in 32 bits, and a header
// claiming more is damaged or hostile.
constexpr std::int64_t kMaxVolumeVoxels = std::int64_t{1} << 31;

// A scan as its file stores it, before any intensity window: the voxels in
// their stored type, how they become the scan's own units, and where they lie
// in the scanner. Every reader (NIfTI, DICOM) ends in one, and everything
// after reading starts from it: the window onto the views' 12-bit scale, the
// views' stack, statistics, region maps, the value under the cursor.
struct ScanVoxels {
    int nx = 0;
    int ny = 0;
    int nz = 0;
    VoxelType type = VoxelType::UInt8;
    // nx * ny * nz voxels of type, i fastest, in the machine's byte order.
    std::unique_ptr<unsigned char[]> bytes;
    // A voxel's value in the scan's units: stored * slope + inter.
    double slope = 1.0;
    double inter = 0.0;

    // Voxel size along i, j and k in millimetres; 0 where the file gives none.
    std::array<double, 3> voxelMm{};
    // Voxel coordinates (i, j, k, 1) to millimetres in NIfTI's scanner space
    // (x toward the patient's right, y anterior, z superior).
    std::array<std::array<double, 4>, 3> toMm{};
    // The header fields a NIfTI volume written over this scan repeats.
    NiftiGeometry geometry;

    // "CT", "MR", ...: what the file says the scan is; empty when it does not say.
    std::string modality;

    std::size_t voxelCount() const
    {
        return static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) *
               static_cast<std::size_t>(nz);
    }
    std::size_t byteCount() const { return voxelCount() * voxelBytes(type); }
};

} // namespace lumidra
