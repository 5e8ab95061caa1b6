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
#include <stdexcept>

namespace lumidra {

namespace {

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

// A label in quotes holds no quote and no line break; an empty one would end
// ITK-SNAP's reading of the file, so it takes the colour table's name.
std::string quotedLabel(const imgMaterial& region, int k)
{
    std::string name = regionNameUtf8(region);
    if (name.empty())
        return tableName(region, k);
    for (char& c : name) {
        if (c == '"')
            c = '\'';
        else if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return name;
}

} // namespace

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
                      +colourByte(r.red), +colourByte(r.green), +colourByte(r.blue));
        text += line;
        text += quotedLabel(r, k);
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
                std::to_string(+colourByte(r.red)) + ' ' + std::to_string(+colourByte(r.green)) +
                ' ' + std::to_string(+colourByte(r.blue)) + " 255\n";
    }
    return text;
}

std::array<std::string, 3> labelMapFiles(const std::string& prefix)
{
    return {prefix + ".nii.gz", prefix + ".label.txt", prefix + ".ctbl"};
}

namespace {

void writeMapFiles(const std::string& prefix, const ScanGrid& scan, const imgMaterial* regions,
                   const std::vector<std::uint8_t>& labels)
{
    const std::array<std::string, 3> files = labelMapFiles(prefix);
    if (scan.count == 0)
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
    writeLabelVolume(volume.temporaryPath(), labels, scan.nx, scan.ny, scan.nz,
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
    const ScanGrid scan = scanGrid(stack);
    writeMapFiles(prefix, scan, regions, labelVoxels(scan, regions));
}

void writeLabelMap(const std::string& prefix, const VolumeSource& source,
                   const imgMaterial* regions)
{
    const ScanGrid scan = scanGrid(source);
    writeMapFiles(prefix, scan, regions, labelVoxels(scan, regions));
}

void writeLabelMap(const std::string& prefix, const SliceStack& stack, const imgMaterial* regions,
                   const RegionMap& map)
{
    const ScanGrid scan = scanGrid(stack);
    if (map.labels.size() != scan.count)
        throw std::invalid_argument("a region map of another scan");
    writeMapFiles(prefix, scan, regions, map.labels);
}

} // namespace lumidra
