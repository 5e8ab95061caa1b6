#!/usr/bin/env bash
# Sets up, builds and runs Lumidra on the sample brain in ./data/.
# With no display it runs Lumidra under Xvfb, saves a screenshot of the window
# as a PNG (printed at the end) and exits by itself.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j"$(nproc)" --target lumidra lumidra-import

bash scripts/sample-data.sh "$build/tools/lumidra-import"

if [ -n "${DISPLAY:-}" ]; then
  exec "$build/lumidra"
fi

shot=${LUMIDRA_SCREENSHOT:-$PWD/screenshots/lumidra.png}
mkdir -p "$(dirname "$shot")"
export LUMIDRA_BIN="$PWD/$build/lumidra" LUMIDRA_SHOT="$shot"
LUMIDRA_XVFB_SCREEN=1280x1024x24 scripts/with-display.sh bash scripts/screenshot.sh
echo "Screenshot of the Lumidra window: $shot"
