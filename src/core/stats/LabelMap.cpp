#include "core/stats/LabelMap.h"

#include "core/common/StagedFile.h"
#include "core/stats/RegionStats.h"
#include "core/volume/NiftiWriter.h"
#include "core/volume/VolumeSource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>

namespace lumidra {

namespace {

int colourByte(std::int32_t v)
{
    return std::clamp<std::int32_t>(v, 0, 255);
}

// A label in quotes holds no quote and no line break.
std::string quotedLabel(const imgMaterial& region)
{
    std::string name = regionNameUtf8(region);
    for (char& c : name) {
        if (c == '"')
            c = '\'';
        else if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return name;
}

// A colour table name is one word: blanks become '_', an empty name the region's number.
std::string tableName(const imgMaterial& region, int k)
{
    std::string name = regionNameUtf8(region);
    for (char& c : name) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f)
            c = '_';
    }
    return name.empty() ? "Region" + std::to_string(k) : name;
}

using LabelOfGrey = std::array<std::uint8_t, 256>;

LabelOfGrey labelOfGrey(const imgMaterial* regions)
{
    const RegionOfGrey owner = regionOfGrey(regions);
    LabelOfGrey label{};
    for (int v = 0; v < 256; ++v)
        label[v] = owner[v] == kNoRegion ? 0 : static_cast<std::uint8_t>(owner[v] + 1);
    return label;
}

template <class Voxel>
std::vector<std::uint8_t> labelsOf(std::span<const Voxel> voxels, const imgMaterial* regions)
{
    const LabelOfGrey label = labelOfGrey(regions);
    std::vector<std::uint8_t> labels(voxels.size());
    for (std::size_t n = 0; n < voxels.size(); ++n)
        labels[n] = label[voxelGrey(voxels[n])];
    return labels;
}

// A volume's samples are worked out a block at a time; its NaN and infinite
// voxels, which read as sample 0, are labelled 0 whatever takes grey 0.
std::vector<std::uint8_t> labelsOf(const VolumeSource& source, const imgMaterial* regions)
{
    const LabelOfGrey label = labelOfGrey(regions);
    constexpr std::size_t kBlock = std::size_t{1} << 16;
    const std::size_t count = source.voxelCount();
    std::vector<std::uint8_t> labels(count);
    std::vector<std::uint16_t> block(std::min(count, kBlock));
    for (std::size_t begin = 0; begin < count; begin += kBlock) {
        const std::size_t end = std::min(count, begin + kBlock);
        const std::size_t nonFinite = source.samples(begin, end, block.data());
        for (std::size_t n = begin; n < end; ++n)
            labels[n] = label[greyOf(block[n - begin])];
        for (std::size_t n = begin; nonFinite > 0 && n < end; ++n)
            if (!source.isFinite(n))
                labels[n] = 0;
    }
    return labels;
}

// The labels of the voxels a map covers: a volume's own, or a slice
// directory's pixels.
struct Scan {
    std::vector<std::uint8_t> labels;
    int nx, ny, nz;
    const VolumeSource* source; // null for a slice directory
};

Scan scanOf(const VolumeSource& s, const imgMaterial* regions)
{
    return {labelsOf(s, regions), s.nx(), s.ny(), s.nz(), &s};
}

Scan scanOf(const SliceStack& stack, const imgMaterial* regions)
{
    if (const VolumeSource* source = stack.source())
        return scanOf(*source, regions);
    return {stack.visit([regions](auto voxels) { return labelsOf(voxels, regions); }), kSliceSide,
            kSliceSide, stack.count(), nullptr};
}

} // namespace

std::vector<std::uint8_t> labelVoxels(const SliceStack& stack, const imgMaterial* regions)
{
    return scanOf(stack, regions).labels;
}

std::string itkSnapLabelText(const imgMaterial* regions)
{
    std::string text = "################################################\n"
                       "# ITK-SnAP Label Description File\n"
                       "# File format: \n"
                       "# IDX   -R-  -G-  -B-  -A--  VIS MSH  LABEL\n"
                       "# Fields: \n"
                       "#    IDX:   Zero-based index \n"
                       "#    -R-:   Red color component (0..255)\n"
                       "#    -G-:   Green color component (0..255)\n"
                       "#    -B-:   Blue color component (0..255)\n"
                       "#    -A-:   Label transparency (0.00 .. 1.00)\n"
                       "#    VIS:   Label visibility (0 or 1)\n"
                       "#    MSH:   Label mesh visibility (0 or 1)\n"
                       "#  LABEL:   Label description \n"
                       "################################################\n"
                       "    0     0    0    0        0  0  0    \"Clear Label\"\n";
    char line[64];
    for (int k = 0; k < kRegionCount; ++k) {
        const imgMaterial& r = regions[k];
        std::snprintf(line, sizeof line, "%5d %5d %4d %4d        1  1  1    \"", k + 1,
                      colourByte(r.red), colourByte(r.green), colourByte(r.blue));
        text += line;
        text += quotedLabel(r);
        text += "\"\n";
    }
    return text;
}

std::string colourTableText(const imgMaterial* regions)
{
    std::string text = "# Colour table of Lumidra's regions: index name r g b a\n"
                       "# " +
                       std::to_string(kRegionCount + 1) + " values\n0 Clear_Label 0 0 0 0\n";
    for (int k = 0; k < kRegionCount; ++k) {
        const imgMaterial& r = regions[k];
        text += std::to_string(k + 1) + ' ' + tableName(r, k) + ' ' +
                std::to_string(colourByte(r.red)) + ' ' + std::to_string(colourByte(r.green)) +
                ' ' + std::to_string(colourByte(r.blue)) + " 255\n";
    }
    return text;
}

std::array<std::string, 3> labelMapFiles(const std::string& prefix)
{
    return {prefix + ".nii.gz", prefix + ".label.txt", prefix + ".ctbl"};
}

namespace {

void writeMapFiles(const std::string& prefix, const Scan& scan, const imgMaterial* regions)
{
    const std::array<std::string, 3> files = labelMapFiles(prefix);
    if (scan.labels.empty())
        throw std::runtime_error("no voxels to write a region map of ('" + files[0] + "')");
    // Checked before anything is replaced: a rename fails over a directory.
    for (const std::string& file : files) {
        std::error_code ec;
        if (std::filesystem::is_directory(file, ec))
            throw std::runtime_error("cannot write '" + file + "': it is a directory");
    }
    StagedFile volume(files[0], ".nii.gz");
    StagedFile snap(files[1]);
    StagedFile table(files[2]);
    writeLabelVolume(volume.temporaryPath(), scan.labels, scan.nx, scan.ny, scan.nz,
                     scan.source ? &scan.source->header() : nullptr, kRegionCount);
    snap.write(itkSnapLabelText(regions));
    table.write(colourTableText(regions));
    volume.finish();
    snap.finish();
    table.finish();
    volume.commit();
    snap.commit();
    table.commit();
}

} // namespace

void writeLabelMap(const std::string& prefix, const SliceStack& stack, const imgMaterial* regions)
{
    writeMapFiles(prefix, scanOf(stack, regions), regions);
}

void writeLabelMap(const std::string& prefix, const VolumeSource& source,
                   const imgMaterial* regions)
{
    writeMapFiles(prefix, scanOf(source, regions), regions);
}

} // namespace lumidra
