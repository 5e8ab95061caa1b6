#include "core/stats/CursorReading.h"

#include "core/stats/RegionStats.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace lumidra {

std::optional<CursorReading> readUnderCursor(const SliceStack& stack, int z, int x, int yFromTop,
                                             const imgMaterial* regions)
{
    if (z < 0 || z >= stack.count() || x < 0 || x >= kSliceSide || yFromTop < 0 ||
        yFromTop >= kSliceSide)
        return std::nullopt;
    const int sample = sampleShownAt(x, yFromTop);
    CursorReading r;
    r.column = sample % kSliceSide;
    r.row = sample / kSliceSide;
    r.slice = z;
    r.grey = stack.greyAt(z, sample);
    r.sample = stack.sampleAt(z, sample);
    r.region = regionsByGrey(regions, kShowAllRegions)[r.grey];
    if (const VolumeSource* source = stack.source()) {
        r.fromVolume = true;
        r.voxel = source->voxelAt(z, sample);
        if (r.voxel) {
            r.mm = source->positionMm(*r.voxel);
            r.value = source->valueAt(source->indexOf(*r.voxel));
        }
    }
    return r;
}

std::optional<CursorReading> readVoxel(const PlaneVolume& volume, VoxelIndex v,
                                       const imgMaterial* regions)
{
    if (volume.empty() || !volume.shape().holds(v))
        return std::nullopt;
    CursorReading r;
    r.slice = volume.sliceOfPlane(v.k);
    r.sample = volume.sampleAt(v);
    r.grey = greyOf(static_cast<std::uint32_t>(r.sample));
    r.region = regionsByGrey(regions, kShowAllRegions)[r.grey];
    const VolumeSource* source = volume.source();
    if (source == nullptr) {
        r.column = v.i;
        r.row = v.j;
        return r;
    }
    r.fromVolume = true;
    r.atSourceVoxel = true;
    r.voxel = v;
    r.mm = volume.positionMm(v);
    r.value = source->valueAt(source->indexOf(v));
    return r;
}

namespace {

// Locale-independent: Qt sets the user's locale, whose decimal mark may be a comma.
std::string oneDecimal(double value)
{
    value = std::round(value * 10.0) / 10.0;
    if (value == 0.0)
        value = 0.0; // no "-0.0"
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return error == std::errc() ? std::string(buffer, end) : std::string("?");
}

// Six significant digits, as a reader takes in a value at a glance.
std::string shortNumber(double value)
{
    if (std::isnan(value))
        return "NaN";
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return error == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string voxelText(const CursorReading& r)
{
    const VoxelIndex& v = *r.voxel;
    std::string text =
        "voxel " + std::to_string(v.i) + ", " + std::to_string(v.j) + ", " + std::to_string(v.k);
    if (r.mm)
        text += " at " + oneDecimal((*r.mm)[0]) + ", " + oneDecimal((*r.mm)[1]) + ", " +
                oneDecimal((*r.mm)[2]) + " mm";
    if (r.value)
        text += ", value " + shortNumber(*r.value);
    return text;
}

} // namespace

std::string describeReading(const CursorReading& r, const imgMaterial* regions)
{
    const bool atVoxel = r.atSourceVoxel && r.voxel;
    std::string text = atVoxel ? voxelText(r) + ", slice " + std::to_string(r.slice)
                               : "column " + std::to_string(r.column) + ", row " +
                                     std::to_string(r.row) + ", slice " + std::to_string(r.slice);
    text +=
        ": grey " + std::to_string(r.grey) + ", sample " + std::to_string(r.sample) + ", region ";
    if (r.region < 0 || r.region >= kRegionCount || regions == nullptr) {
        text += "none";
    } else {
        const imgMaterial& m = regions[r.region];
        text += std::to_string(r.region) + " \"" +
                std::string(m.name, strnlen(m.name, sizeof m.name)) + '"';
    }
    if (!r.fromVolume || atVoxel)
        return text;
    if (!r.voxel)
        return text + "; padding, outside the scan";
    return text + "; " + voxelText(r);
}

} // namespace lumidra
