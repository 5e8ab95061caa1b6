#!/usr/bin/env python3
"""Writes a DICOM series (one file per slice) from a NIfTI volume, or a
synthetic CT, the way scanners' exports come: file names in no order,
InstanceNumbers running against the positions, optionally tilted and with a
rescale intercept. With --nifti-out, writes the NIfTI volume the series
holds (the input, turned as the series was), for comparing the two."""
import argparse
import os
import random

import nibabel as nib
import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid

CT_IMAGE = "1.2.840.10008.5.1.4.1.1.2"
MR_IMAGE = "1.2.840.10008.5.1.4.1.1.4"


def ds_text(value):
    """A decimal string of at most 16 characters."""
    for digits in range(12, 4, -1):
        text = f"{value:.{digits}g}"
        if len(text) <= 16:
            return text
    raise ValueError(value)


def rotation(degrees):
    """Turns about an axis between x and y, so no plane stays axial."""
    a = np.radians(degrees)
    axis = np.array([1.0, 1.0, 0.3])
    axis /= np.linalg.norm(axis)
    k = np.array([[0, -axis[2], axis[1]], [axis[2], 0, -axis[0]], [-axis[1], axis[0], 0]])
    r = np.eye(3) + np.sin(a) * k + (1 - np.cos(a)) * (k @ k)
    out = np.eye(4)
    out[:3, :3] = r
    return out


class SyntheticCt:
    """Air, soft tissue and bone in HU, as int16, made a plane at a time so
    that a large series needs no large memory."""

    def __init__(self, nx, ny, nz):
        self.shape = (nx, ny, nz)
        self.ndim = 3
        self.dtype = np.dtype(np.int16)

    def plane(self, k):
        nx, ny, _ = self.shape
        x, y = np.mgrid[0:nx, 0:ny].astype(np.float32)
        r = np.hypot((x - nx / 2) / (nx / 2.4), (y - ny / 2) / (ny / 2.8))
        hu = np.where(r < 1.0, 40.0, -1000.0)
        hu = np.where((r > 0.85) & (r < 1.0), 900.0, hu)
        hu += ((x * 7 + y * 3 + k * 5) % 23) - 11
        return hu.astype(np.int16)  # i, j

    def __array__(self, dtype=None):
        return np.stack([self.plane(k) for k in range(self.shape[2])], axis=2)


class Volume:
    """A NIfTI volume's stored values, a plane at a time."""

    def __init__(self, data):
        self.data = data
        self.shape = data.shape
        self.ndim = data.ndim
        self.dtype = data.dtype

    def plane(self, k):
        return self.data[:, :, k]

    def __array__(self, dtype=None):
        return self.data


def main():
    p = argparse.ArgumentParser()
    p.add_argument("output")
    p.add_argument("--nifti", help="volume to write as a series")
    p.add_argument("--synthetic-ct", nargs=3, type=int, metavar=("NX", "NY", "NZ"))
    p.add_argument("--nifti-out")
    p.add_argument("--oblique", type=float, default=0.0, help="degrees to turn the volume")
    p.add_argument("--intercept", type=int, default=0, help="RescaleIntercept (stored = value - intercept)")
    p.add_argument("--modality", default="MR")
    p.add_argument("--series-number", type=int, default=1)
    p.add_argument("--description", default="written by write-dicom-series")
    p.add_argument("--uid", default=None)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--skip-slice", type=int, default=None, help="leave one slice out (a gap)")
    a = p.parse_args()

    if a.synthetic_ct:
        data = SyntheticCt(*a.synthetic_ct)
        affine = np.diag([0.7, 0.7, 1.25, 1.0])
        affine[:3, 3] = [-180.0, -180.0, -150.0]
    else:
        img = nib.load(a.nifti)
        data = Volume(np.asanyarray(img.dataobj))
        affine = img.affine.copy()
    if data.ndim != 3:
        raise SystemExit("a 3-D volume is needed")
    if a.oblique:
        affine = rotation(a.oblique) @ affine
    os.makedirs(a.output, exist_ok=True)
    if a.nifti_out:
        os.makedirs(os.path.dirname(os.path.abspath(a.nifti_out)), exist_ok=True)
        out = nib.Nifti1Image(np.asarray(data), affine)
        out.set_qform(affine, code=1)
        out.set_sform(affine, code=1)
        nib.save(out, a.nifti_out)

    if data.dtype == np.uint8 and a.intercept == 0:
        dtype, bits, signed = np.uint8, 8, False
    else:
        low = min(int(data.plane(k).min()) for k in range(data.shape[2])) - a.intercept
        signed = low < 0
        dtype, bits = (np.int16 if signed else np.uint16), 16

    lps = np.diag([-1.0, -1.0, 1.0])
    cols = lps @ affine[:3, 0]  # along i: across a row
    rows = lps @ affine[:3, 1]  # along j: down the columns
    col_mm, row_mm = np.linalg.norm(cols), np.linalg.norm(rows)
    iop = [ds_text(v) for v in list(cols / col_mm) + list(rows / row_mm)]
    uid = a.uid or generate_uid()
    study = generate_uid()
    frame = generate_uid()
    sop_class = CT_IMAGE if a.modality == "CT" else MR_IMAGE
    rng = random.Random(a.seed)
    nx, ny, nz = data.shape
    names = [f"{rng.getrandbits(48):012x}.dcm" for _ in range(nz)]
    for k in range(nz):
        if k == a.skip_slice:
            continue
        ipp = lps @ (affine @ np.array([0.0, 0.0, k, 1.0]))[:3]
        meta = FileMetaDataset()
        meta.MediaStorageSOPClassUID = sop_class
        meta.MediaStorageSOPInstanceUID = generate_uid()
        meta.TransferSyntaxUID = ExplicitVRLittleEndian
        ds = Dataset()
        ds.file_meta = meta
        ds.preamble = b"\0" * 128
        ds.is_little_endian = True
        ds.is_implicit_VR = False
        ds.SOPClassUID = sop_class
        ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
        ds.Modality = a.modality
        ds.StudyInstanceUID = study
        ds.SeriesInstanceUID = uid
        ds.FrameOfReferenceUID = frame
        ds.SeriesNumber = a.series_number
        ds.SeriesDescription = a.description
        ds.AcquisitionNumber = 1
        ds.InstanceNumber = nz - k  # against the positions, as some scanners number
        ds.PatientName = "Phantom"
        ds.PatientID = "0"
        ds.ImagePositionPatient = [ds_text(v) for v in ipp]
        ds.ImageOrientationPatient = iop
        ds.PixelSpacing = [ds_text(row_mm), ds_text(col_mm)]
        ds.SliceThickness = ds_text(float(np.linalg.norm(affine[:3, 2])))
        ds.SamplesPerPixel = 1
        ds.PhotometricInterpretation = "MONOCHROME2"
        ds.Rows = ny
        ds.Columns = nx
        ds.BitsAllocated = bits
        ds.BitsStored = bits
        ds.HighBit = bits - 1
        ds.PixelRepresentation = 1 if signed else 0
        ds.RescaleIntercept = str(a.intercept)
        ds.RescaleSlope = "1"
        stored = (data.plane(k).astype(np.int64) - a.intercept).astype(dtype)
        ds.PixelData = np.ascontiguousarray(stored.T).tobytes()
        ds.save_as(os.path.join(a.output, names[k]), write_like_original=False)


if __name__ == "__main__":
    main()
