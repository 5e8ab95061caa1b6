#!/usr/bin/env bash
# Builds and runs every benchmark on the real brain template, imported as PGM
# and as raw. Each benchmark prints its figures and its ratios against a peer
# measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIDRA_BENCH=ON >/dev/null
benches=$(cd bench && ls bench_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" --target lumidra-import lumidra-dicom-read $benches

template=/usr/share/mricron/templates/ch2.nii.gz
data="$build/bench-data"
[ -e "$data/pgm/slice000.pgm" ] || "$build/tools/lumidra-import" --pgm "$template" "$data/pgm" >/dev/null
[ -e "$data/raw/slice000" ] || "$build/tools/lumidra-import" "$template" "$data/raw" >/dev/null
# 1,000 slices of each kind: the brain's slices over and over, as hard links.
brain=$(ls "$data/raw" | grep -c '^slice[0-9]*$')
for kind in pgm raw; do
  suffix=""; [ "$kind" = pgm ] && suffix=".pgm"
  mkdir -p "$data/${kind}1000"
  for i in $(seq 0 999); do
    name=$(printf 'slice%03d%s' "$i" "$suffix")
    [ -e "$data/${kind}1000/$name" ] ||
      ln "$data/$kind/$(printf 'slice%03d%s' $((i % brain)) "$suffix")" "$data/${kind}1000/$name"
  done
done

echo "== Loading the 181-slice brain"
"$build/bench/bench_load" "$data/pgm/" "$data/raw/"
echo
echo "== Rendering a slice"
"$build/bench/bench_render"
echo
echo "== Opening the brain as a NIfTI volume, and region statistics"
"$build/bench/bench_volume" "$template"
echo
echo "== Opening DICOM series, beside dcm2niix, and the reader process beside in-process"
writer=tests/support/write-dicom-series.py
[ -d "$data/dicom-brain" ] ||
  /usr/bin/python3 "$writer" "$data/dicom-brain" --nifti "$template" --description "T1 brain"
[ -d "$data/dicom-ct" ] ||
  /usr/bin/python3 "$writer" "$data/dicom-ct" --synthetic-ct 512 512 300 --modality CT \
    --intercept -1024
"$build/bench/bench_dicom" "$data/dicom-brain" "$data/dicom-ct"
echo
echo "== Islands: the pieces of every region of the 0.5 mm brain"
"$build/bench/bench_islands"
echo
echo "== Haar decomposition and the wavelet window's analysis"
"$build/bench/bench_wavelet"
echo
echo "== Start-up of the lumidra program, beside a minimal Qt program"
scripts/with-display.sh "$build/bench/bench_startup" \
  "$data/pgm/" "$data/raw/" "$data/pgm1000/" "$data/raw1000/"
echo
echo "== One region-colour change in a running window"
scripts/with-display.sh "$build/bench/bench_colour_change" "$data/raw/"
echo
echo "== The Three Planes window on a 512 x 512 x 400 int16 volume"
scripts/with-display.sh "$build/bench/bench_planes"
if [ -x "$build/bench/bench_analysis" ]; then
  echo
  echo "== The Analysis window: colour change, statistics updates, Suggest Regions"
  scripts/with-display.sh "$build/bench/bench_analysis" "$data/raw/"
fi

