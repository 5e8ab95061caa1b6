#!/usr/bin/env bash
# Runs a command on a private Xvfb display (1600 x 1200, 24 bits) and stops the
# server afterwards. The server picks a free display number itself
# (-displayfd), so runs started at the same moment on one machine never race
# for the same number, as they can with xvfb-run -a. The server runs with
# -noreset: without it, it resets whenever its last client disconnects, and a
# client that connects during the reset is refused.
#   scripts/with-display.sh COMMAND [ARGS...]
# LUMIDRA_XVFB_LOG=FILE keeps the server's own messages; LUMIDRA_XVFB_SCREEN
# sets another screen (WIDTHxHEIGHTxDEPTH).
set -euo pipefail

ready=$(mktemp -u /tmp/lumidra-display.XXXXXX)
mkfifo "$ready"
Xvfb -displayfd 3 -screen 0 "${LUMIDRA_XVFB_SCREEN:-1600x1200x24}" -nolisten tcp -noreset 3>"$ready" 2>"${LUMIDRA_XVFB_LOG:-/dev/null}" &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
# The number arrives once the server accepts clients; nothing if it failed.
number=""
read -r number <"$ready" || true
rm -f "$ready"
if [ -z "$number" ]; then
  echo "with-display: Xvfb did not start" >&2
  exit 1
fi
status=0
DISPLAY=":$number" "$@" || status=$?
exit "$status"
