#!/usr/bin/env bash
# Remakes the two pictures of the README from the sample brain: the main
# window on slice 90 with all regions shown, and the wavelet window opened on
# it. Needs a built lumidra (scripts/run.sh builds it) and ./data/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
mkdir -p docs/screenshots

inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat > "$inner" <<'INNER'
set -euo pipefail
"$LUMIDRA_BIN" > /dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
window() { xwininfo -root -tree | grep -E "$1" | head -n1 | awk '{print $1}' || true; }
for _ in $(seq 1 100); do
  main=$(window '"lumidra": \("lumidra" "lumidra"\)')
  [ -n "$main" ] && break
  sleep 0.2
done
sleep 1
# The image selector's "+" and the "Show All Regions" button, in window coordinates.
xdotool mousemove --window "$main" 370 542 click --repeat 90 --delay 15 1
xdotool mousemove --window "$main" 224 373 click 1
sleep 1
import -window "$main" docs/screenshots/main-window.png
xdotool windowfocus --sync "$main" key ctrl+r
for _ in $(seq 1 100); do
  wavelet=$(xwininfo -root -tree | grep -E '"lumidra": \("lumidra" "lumidra"\)' | grep -v "$main" | awk '{print $1}' | head -n1 || true)
  [ -n "$wavelet" ] && break
  sleep 0.2
done
sleep 1.5
import -window "$wavelet" docs/screenshots/wavelet-window.png
INNER
LUMIDRA_BIN="$PWD/$build/lumidra" xvfb-run -a -s "-screen 0 1600x1200x24" bash ${TRACE:+-x} "$inner"
echo "docs/screenshots/main-window.png and docs/screenshots/wavelet-window.png written"
