#!/usr/bin/env bash
# Runs inside an X display: starts Lumidra, waits for its window to be drawn,
# saves it as a PNG and closes the program. Used by run.sh when there is no
# display of one's own.
set -euo pipefail
: "${LUMIDRA_BIN:?}" "${LUMIDRA_SHOT:?}"

"$LUMIDRA_BIN" > "${LUMIDRA_SHOT%.png}.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

# The main window is the top-level window with Lumidra's class; wait until it is mapped.
geometry=""
for _ in $(seq 1 100); do
  geometry=$(xwininfo -root -tree 2>/dev/null | grep -E '"lumidra": \("lumidra" "lumidra"\)' | head -n1 || true)
  [ -n "$geometry" ] && break
  sleep 0.2
done
if [ -z "$geometry" ]; then
  echo "screenshot: Lumidra's window did not appear" >&2
  exit 1
fi
sleep 1.5 # let the first frames reach the screen
id=$(echo "$geometry" | awk '{print $1}')
import -window "$id" "$LUMIDRA_SHOT"
