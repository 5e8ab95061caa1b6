#include "core/stats/LabelMap.h"

#include "core/common/StagedFile.h"
#include "core/stats/RegionStats.h"
#include "core/volume/VolumeSource.h"

#include <nifti1_io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace lumidra {

namespace {

struct NiftiFree {
    void operator()(nifti_image* nim) const
    {
        nim->data = nullptr; // the voxels belong to the caller
        nifti_image_free(nim);
    }
};
using NiftiPtr = std::unique_ptr<nifti_image, NiftiFree>;

struct NiftiReadFree {
    void operator()(nifti_image* nim) const { nifti_image_free(nim); }
};

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

void setIdentityGeometry(nifti_image& nim)
{
    nim.dx = nim.dy = nim.dz = 1.0f;
    std::fill(std::begin(nim.pixdim), std::end(nim.pixdim), 1.0f);
    nim.qfac = 1.0f;
    nim.qform_code = NIFTI_XFORM_SCANNER_ANAT;
    nim.sform_code = NIFTI_XFORM_SCANNER_ANAT;
    nim.quatern_b = nim.quatern_c = nim.quatern_d = 0.0f;
    nim.qoffset_x = nim.qoffset_y = nim.qoffset_z = 0.0f;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            nim.sto_xyz.m[r][c] = r == c ? 1.0f : 0.0f;
    nim.xyz_units = NIFTI_UNITS_MM;
    nim.time_units = NIFTI_UNITS_UNKNOWN;
}

void setSourceGeometry(nifti_image& nim, const VolumeSource::Header& h)
{
    std::copy(h.pixdim.begin(), h.pixdim.end(), std::begin(nim.pixdim));
    nim.qfac = h.pixdim[0] < 0 ? -1.0f : 1.0f;
    nim.pixdim[0] = nim.qfac;
    nim.dx = h.pixdim[1];
    nim.dy = h.pixdim[2];
    nim.dz = h.pixdim[3];
    nim.qform_code = h.qformCode;
    nim.sform_code = h.sformCode;
    nim.quatern_b = h.quaternB;
    nim.quatern_c = h.quaternC;
    nim.quatern_d = h.quaternD;
    nim.qoffset_x = h.qoffsetX;
    nim.qoffset_y = h.qoffsetY;
    nim.qoffset_z = h.qoffsetZ;
    const std::array<float, 4>* rows[3] = {&h.srowX, &h.srowY, &h.srowZ};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            nim.sto_xyz.m[r][c] = (*rows[r])[c];
    nim.sto_xyz.m[3][0] = nim.sto_xyz.m[3][1] = nim.sto_xyz.m[3][2] = 0.0f;
    nim.sto_xyz.m[3][3] = 1.0f;
    nim.xyz_units = h.xyztUnits & 0x07;
    nim.time_units = h.xyztUnits & 0x38;
}

// The voxels a map covers: a volume's own, or a slice directory's pixels.
struct Scan {
    const std::uint16_t* samples;
    std::size_t count;
    int nx, ny, nz;
    const VolumeSource* source; // null for a slice directory
};

Scan scanOf(const VolumeSource& s)
{
    return {s.samples.data(), s.samples.size(), s.nx, s.ny, s.nz, &s};
}

Scan scanOf(const SliceStack& stack)
{
    if (const VolumeSource* source = stack.source())
        return scanOf(*source);
    return {stack.samples(), stack.size(), kSliceSide, kSliceSide, stack.count(), nullptr};
}

std::vector<std::uint8_t> labelsOf(const Scan& scan, const imgMaterial* regions)
{
    const RegionOfGrey owner = regionOfGrey(regions);
    std::array<std::uint8_t, 256> labelOfGrey{};
    for (int v = 0; v < 256; ++v)
        labelOfGrey[v] = owner[v] == kNoRegion ? 0 : static_cast<std::uint8_t>(owner[v] + 1);
    std::vector<std::uint8_t> labels(scan.count);
    for (std::size_t n = 0; n < scan.count; ++n)
        labels[n] = labelOfGrey[greyOf(scan.samples[n])];
    return labels;
}

// nifticlib reports no failure of a write: the file is read back and compared.
void writeLabelVolume(const std::string& path, const std::vector<std::uint8_t>& labels,
                      const Scan& scan)
{
    const VolumeSource* source = scan.source;
    const int dims[8] = {3, scan.nx, scan.ny, scan.nz, 1, 1, 1, 1};
    NiftiPtr nim(nifti_make_new_nim(dims, DT_UINT8, 0));
    if (!nim || nim->nvox != labels.size())
        throw std::runtime_error("cannot make the label volume '" + path + "'");
    nim->data = const_cast<std::uint8_t*>(labels.data());
    if (source)
        setSourceGeometry(*nim, source->header);
    else
        setIdentityGeometry(*nim);
    nim->intent_code = NIFTI_INTENT_LABEL;
    nim->cal_min = 0;
    nim->cal_max = kRegionCount;
    std::snprintf(nim->descrip, sizeof nim->descrip, "Lumidra region map");
    nim->nifti_type = NIFTI_FTYPE_NIFTI1_1;
    if (nifti_set_filenames(nim.get(), path.c_str(), 0, 1) != 0)
        throw std::runtime_error("cannot name the label volume '" + path + "'");
    nifti_image_write(nim.get());

    std::unique_ptr<nifti_image, NiftiReadFree> back(nifti_image_read(path.c_str(), 1));
    if (!back || back->nvox != labels.size() || back->datatype != DT_UINT8 ||
        std::memcmp(back->data, labels.data(), labels.size()) != 0)
        throw std::runtime_error("cannot write '" + path + "': the volume did not read back whole");
}

} // namespace

std::vector<std::uint8_t> labelVoxels(const SliceStack& stack, const imgMaterial* regions)
{
    return labelsOf(scanOf(stack), regions);
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
    writeLabelVolume(volume.temporaryPath(), labelsOf(scan, regions), scan);
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
    writeMapFiles(prefix, scanOf(stack), regions);
}

void writeLabelMap(const std::string& prefix, const VolumeSource& source,
                   const imgMaterial* regions)
{
    writeMapFiles(prefix, scanOf(source), regions);
}

} // namespace lumidra
