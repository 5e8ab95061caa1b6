#!/usr/bin/env bash
# Sets up, builds and runs every Lumidra test.
#   scripts/test.sh                 release build in build/
#   BUILD_DIR=build-asan scripts/test.sh -DLUMIDRA_SANITIZE=ON   (extra CMake options pass through)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DLUMIDRA_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"

# Widgets need an X display with OpenGL: one Xvfb serves the whole run.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export QT_QPA_PLATFORM=xcb
display="$PWD/scripts/with-display.sh"
cd "$build"
"$display" ctest --output-on-failure -j"$(nproc)" --timeout 300
