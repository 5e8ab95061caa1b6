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
cmake --build "$build" -j"$(nproc)" --target lumidra-import $benches

template=/usr/share/mricron/templates/ch2.nii.gz
data="$build/bench-data"
[ -e "$data/pgm/slice000.pgm" ] || "$build/tools/lumidra-import" --pgm "$template" "$data/pgm" >/dev/null
[ -e "$data/raw/slice000" ] || "$build/tools/lumidra-import" "$template" "$data/raw" >/dev/null

echo "== Loading the 181-slice brain"
"$build/bench/bench_load" "$data/pgm/" "$data/raw/"
echo
echo "== Rendering a slice"
"$build/bench/bench_render"
echo
echo "== Opening the brain as a NIfTI volume, and region statistics"
"$build/bench/bench_volume" "$template"
echo
echo "== Haar decomposition and the wavelet window's analysis"
"$build/bench/bench_wavelet"
if [ -x "$build/bench/bench_startup" ]; then
  echo
  echo "== Start-up and one region-colour change"
  xvfb-run -a -s "-screen 0 1600x1200x24" "$build/bench/bench_startup" "$data/raw/" "$data/pgm/"
fi
if [ -x "$build/bench/bench_analysis" ]; then
  echo
  echo "== The Analysis window: colour change, statistics updates, Suggest Regions"
  xvfb-run -a -s "-screen 0 1600x1200x24" "$build/bench/bench_analysis" "$data/raw/"
fi
