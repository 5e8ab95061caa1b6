#include "core/volume/NiftiHeader.h"

#include <algorithm>
#include <iterator>

namespace lumidra {

NiftiGeometry geometryOf(const nifti_image& n)
{
    NiftiGeometry g;
    std::copy(std::begin(n.pixdim), std::end(n.pixdim), g.pixdim.begin());
    g.pixdim[0] = n.qfac;
    g.xyztUnits = n.xyz_units | n.time_units;
    g.qformCode = n.qform_code;
    g.sformCode = n.sform_code;
    g.quaternB = n.quatern_b;
    g.quaternC = n.quatern_c;
    g.quaternD = n.quatern_d;
    g.qoffsetX = n.qoffset_x;
    g.qoffsetY = n.qoffset_y;
    g.qoffsetZ = n.qoffset_z;
    for (int c = 0; c < 4; ++c) {
        g.srowX[c] = n.sto_xyz.m[0][c];
        g.srowY[c] = n.sto_xyz.m[1][c];
        g.srowZ[c] = n.sto_xyz.m[2][c];
    }
    return g;
}

void applyGeometry(nifti_image& nim, const NiftiGeometry& g)
{
    std::copy(g.pixdim.begin(), g.pixdim.end(), std::begin(nim.pixdim));
    nim.qfac = g.pixdim[0] < 0 ? -1.0f : 1.0f;
    nim.pixdim[0] = nim.qfac;
    nim.dx = g.pixdim[1];
    nim.dy = g.pixdim[2];
    nim.dz = g.pixdim[3];
    nim.qform_code = g.qformCode;
    nim.sform_code = g.sformCode;
    nim.quatern_b = g.quaternB;
    nim.quatern_c = g.quaternC;
    nim.quatern_d = g.quaternD;
    nim.qoffset_x = g.qoffsetX;
    nim.qoffset_y = g.qoffsetY;
    nim.qoffset_z = g.qoffsetZ;
    const std::array<float, 4>* rows[3] = {&g.srowX, &g.srowY, &g.srowZ};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            nim.sto_xyz.m[r][c] = (*rows[r])[c];
    nim.sto_xyz.m[3][0] = nim.sto_xyz.m[3][1] = nim.sto_xyz.m[3][2] = 0.0f;
    nim.sto_xyz.m[3][3] = 1.0f;
    nim.xyz_units = g.xyztUnits & 0x07;
    nim.time_units = g.xyztUnits & 0x38;
}

void applyIdentityGeometry(nifti_image& nim)
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

} // namespace lumidra
