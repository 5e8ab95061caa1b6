#!/usr/bin/env python3
"""Writes the hostile NIfTI corpus of the volume reader's tests.

Every file is something a reader meets in the wild or from an attacker: a
newer format, shapes the views cannot show, voxel types without one grey
value, and headers that claim more than their files hold. Run from this
folder; the files are committed, so the script is only needed to change them.
"""
import gzip
import struct

DT_UINT8, DT_INT16, DT_COMPLEX64, DT_RGB24 = 2, 4, 32, 128


def header(dims, datatype=DT_UINT8, bitpix=8, vox_offset=352.0, magic=b"n+1\0", sizeof_hdr=348):
    h = bytearray(348)
    struct.pack_into("<i", h, 0, sizeof_hdr)
    d = list(dims) + [1] * (8 - len(dims))
    struct.pack_into("<8h", h, 40, *d)
    struct.pack_into("<hh", h, 70, datatype, bitpix)
    struct.pack_into("<8f", h, 76, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0)
    struct.pack_into("<f", h, 108, vox_offset)
    struct.pack_into("<B", h, 123, 2)  # millimetres
    struct.pack_into("<hh", h, 252, 0, 1)  # qform unknown, sform scanner
    struct.pack_into("<4f", h, 280, 1, 0, 0, 0)
    struct.pack_into("<4f", h, 296, 0, 1, 0, 0)
    struct.pack_into("<4f", h, 312, 0, 0, 1, 0)
    h[344:348] = magic
    return bytes(h)


def nii(dims, datatype=DT_UINT8, bitpix=8, data=None, **kw):
    count = 1
    for n in dims[1:]:
        count *= max(n, 1)
    if data is None:
        data = bytes((i * 7) % 256 for i in range(count * bitpix // 8))
    return header(dims, datatype, bitpix, **kw) + b"\0\0\0\0" + data


def nifti2():
    h = bytearray(540)
    struct.pack_into("<i", h, 0, 540)
    h[4:12] = b"n+2\0\r\n\x1a\n"
    struct.pack_into("<hh", h, 12, DT_UINT8, 8)
    struct.pack_into("<8q", h, 16, 3, 2, 2, 2, 1, 1, 1, 1)
    struct.pack_into("<q", h, 168, 544)  # vox_offset
    return bytes(h) + b"\0\0\0\0" + bytes(range(8))


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


def main():
    noise = bytes((i * 2654435761 >> 13) % 256 for i in range(16 * 16 * 16 * 2))
    valid = gzip.compress(nii([3, 16, 16, 16], DT_INT16, 16, data=noise), mtime=0)
    write("nifti2.nii", nifti2())
    write("four_volumes.nii", nii([4, 2, 2, 2, 3]))
    write("five_d_three_volumes.nii", nii([5, 2, 2, 2, 1, 3]))
    write("complex64.nii", nii([3, 2, 2, 2], DT_COMPLEX64, 64))
    write("rgb24.nii", nii([3, 2, 2, 2], DT_RGB24, 24))
    write("unknown_datatype.nii", nii([3, 2, 2, 2], 9999, 8))
    write("truncated.nii.gz", valid[: len(valid) // 2])
    write("truncated_data.nii", nii([3, 8, 8, 8], DT_INT16, 16, data=bytes(100)))
    write("header_only.nii", header([3, 4, 4, 4]))
    write("short_header.nii", header([3, 4, 4, 4])[:200])
    write("zero_dimension.nii", nii([3, 4, 0, 4]))
    write("negative_dimension.nii", nii([3, -3, 4, 4], data=bytes(48)))
    write("dimension_count_zero.nii", nii([0, 4, 4, 4], data=bytes(64)))
    write("dimension_count_nine.nii", nii([9, 4, 4, 4], data=bytes(64)))
    # 10^12 voxels claimed by a file of a few hundred bytes.
    write("absurd_1e12_voxels.nii.gz",
          gzip.compress(nii([3, 10000, 10000, 10000], data=bytes(64)), mtime=0))
    # Within the voxel limit, but 8.6 GB of doubles claimed by a small file.
    write("absurd_plane_float64.nii", nii([3, 32767, 32767, 1], 64, 64, data=bytes(64)))
    # 1.8 * 10^9 bytes claimed, a few bytes given, compressed: no size to check up front.
    write("absurd_plane_uint8.nii.gz", gzip.compress(nii([3, 30000, 30000, 2], data=bytes(64)),
                                                     mtime=0))
    write("vox_offset_past_end.nii", nii([3, 2, 2, 2], vox_offset=1.0e9))
    write("analyze.hdr", header([3, 2, 2, 2], magic=b"\0\0\0\0"))
    write("analyze.img", bytes(8))
    write("empty.nii", b"")
    write("empty.nii.gz", gzip.compress(b"", mtime=0))
    write("garbage.nii", bytes((i * 131 + 17) % 256 for i in range(600)))
    write("wrong_header_size.nii", nii([3, 2, 2, 2], sizeof_hdr=350))


if __name__ == "__main__":
    main()
