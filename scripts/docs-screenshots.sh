#!/usr/bin/env bash
# Remakes the pictures of the README from the sample brain: the main window
# on slice 90 with all regions shown, the wavelet window opened on it, and the
# Analysis window beside the main window: with the sample's regions, with
# Suggest Regions previewing four classes, and with those classes applied;
# and the Three Planes window on the template opened as a volume, with all
# regions shown, then zoomed in on one region.
# Needs a built lumidra (scripts/run.sh builds it) and ./data/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
mkdir -p docs/screenshots

# What both runs start with: Lumidra on $LUMIDRA_ARGS, its main window found.
start=$(mktemp)
inner=$(mktemp)
trap 'rm -f "$start" "$inner"' EXIT
cat > "$start" <<'START'
set -euo pipefail
# shellcheck disable=SC2086
"$LUMIDRA_BIN" $LUMIDRA_ARGS > /dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
window() { xwininfo -root -tree | grep -E "$1" | head -n1 | awk '{print $1}' || true; }
for _ in $(seq 1 100); do
  main=$(window '"lumidra": \("lumidra" "lumidra"\)')
  [ -n "$main" ] && break
  sleep 0.2
done
sleep 1
START
cat > "$inner" <<'INNER'
source "$START"
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
xdotool windowunmap "$wavelet"

# The Analysis window opens beside the main window; both are in the pictures.
both() { import -window root -crop 1590x850+0+0 +repage "docs/screenshots/$1"; }
xdotool windowfocus --sync "$main" key ctrl+t
for _ in $(seq 1 100); do
  analysis=$(window '"Lumidra - Region Analysis"')
  [ -n "$analysis" ] && break
  sleep 0.2
done
sleep 1
# Pointing at the grey view fills the Analysis window's status line.
xdotool mousemove --window "$main" 520 180
sleep 1.5
both analysis-show-all.png
# Suggest Regions (Alt+S), one class more than the dialog offers, moved clear
# of the histogram it previews on.
xdotool mousemove 1000 1100 windowfocus --sync "$analysis" key alt+s
for _ in $(seq 1 100); do
  dialog=$(window '"Suggest Regions"')
  [ -n "$dialog" ] && break
  sleep 0.2
done
xdotool windowmove "$dialog" 10 585
xdotool windowfocus --sync "$dialog" key Up
sleep 1
both analysis-suggest-preview.png
xdotool windowfocus --sync "$dialog" key Return
sleep 1
xdotool mousemove --window "$main" 510 170 sleep 0.3 mousemove --window "$main" 520 180
sleep 1.5
both analysis-suggested.png
INNER
START="$start" LUMIDRA_BIN="$PWD/$build/lumidra" LUMIDRA_ARGS="" \
  scripts/with-display.sh bash ${TRACE:+-x} "$inner"

# The Three Planes window on the template itself, at its own resolution.
cat > "$inner" <<'INNER'
source "$START"
# "Show All Regions", then Volume > Three Planes (Ctrl+Shift+P).
xdotool mousemove --window "$main" 224 373 click 1
xdotool windowfocus --sync "$main" key ctrl+shift+p
for _ in $(seq 1 100); do
  planes=$(window '"Lumidra - Three Planes"')
  [ -n "$planes" ] && break
  sleep 0.2
done
sleep 1
# The crosshair through the lateral ventricles: a click in the sagittal plane.
xdotool mousemove --window "$planes" 215 640 click 1
xdotool mousemove --window "$planes" 700 890
sleep 1
import -window "$planes" docs/screenshots/three-planes.png
# White matter alone (the Tissue Region's "+"), opaque, the axial plane
# zoomed in three notches around a point, which the cursor reads.
xdotool mousemove --window "$main" 322 331 click 1
xdotool windowfocus --sync "$planes" key alt+o End
xdotool mousemove --window "$planes" 160 170 click --repeat 3 --delay 100 4
sleep 1.5
import -window "$planes" docs/screenshots/three-planes-zoomed.png
INNER
START="$start" LUMIDRA_BIN="$PWD/$build/lumidra" LUMIDRA_ARGS=/usr/share/mricron/templates/ch2.nii.gz \
  scripts/with-display.sh bash ${TRACE:+-x} "$inner"
echo "docs/screenshots/{main-window,wavelet-window,analysis-show-all,analysis-suggest-preview,analysis-suggested,three-planes,three-planes-zoomed}.png written"
