#pragma once

// Scans made in memory, for the path every reader ends in (loadScan), and the
// real brain template where one is installed.
#include "core/volume/ScanVoxels.h"

#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace scans {

// The T1 brain template of Debian's mricron-data: 181 x 217 x 181 voxels of uint8.
constexpr const char* kBrainTemplate = "/usr/share/mricron/templates/ch2.nii.gz";

template <typename T> constexpr lumidra::VoxelType voxelTypeOf()
{
    using lumidra::VoxelType;
    if constexpr (std::is_same_v<T, std::uint8_t>)
        return VoxelType::UInt8;
    else if constexpr (std::is_same_v<T, std::int16_t>)
        return VoxelType::Int16;
    else if constexpr (std::is_same_v<T, std::uint16_t>)
        return VoxelType::UInt16;
    else if constexpr (std::is_same_v<T, std::int32_t>)
        return VoxelType::Int32;
    else if constexpr (std::is_same_v<T, float>)
        return VoxelType::Float32;
    else
        return VoxelType::Float64;
}

// nx x ny x nz voxels holding values (i fastest), 1 mm voxels, i toward the
// patient's right, j anterior, k superior.
template <typename T>
lumidra::ScanVoxels makeScan(int nx, int ny, int nz, const std::vector<T>& values)
{
    lumidra::ScanVoxels scan;
    scan.nx = nx;
    scan.ny = ny;
    scan.nz = nz;
    scan.type = voxelTypeOf<T>();
    if (values.size() != scan.voxelCount())
        throw std::invalid_argument("makeScan: one value per voxel");
    scan.bytes = std::make_unique<unsigned char[]>(scan.byteCount());
    std::memcpy(scan.bytes.get(), values.data(), scan.byteCount());
    scan.voxelMm = {1.0, 1.0, 1.0};
    for (int r = 0; r < 3; ++r)
        scan.toMm[r][r] = 1.0;
    return scan;
}

} // namespace scans
