#!/usr/bin/env bash
# Installs the Debian packages Lumidra needs to build, test, benchmark and run.
# Idempotent: apt is only called for packages that are missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libgtest-dev libbenchmark-dev libnetpbm-dev
  libnifti2-dev zlib1g-dev
  xvfb xauth libgl1-mesa-dri x11-utils xdotool imagemagick
  clang libclang-rt-14-dev clang-format
  mricron-data
  librsvg2-bin desktop-file-utils appstream shared-mime-info man-db file lintian dpkg-dev
  snakemake
  libgdcm-dev libgdcm-tools dcm2niix python3-pydicom python3-scipy python3-nibabel
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

# A fresh machine often runs unattended upgrades at boot: while another apt or
# dpkg holds its lock, wait (saying so) for up to ten minutes instead of failing.
apt_waiting() {
  local log waited=0
  log=$(mktemp)
  while true; do
    if $SUDO apt-get -o DPkg::Lock::Timeout=0 "$@" >"$log" 2>&1; then
      grep -v '^$' "$log" | grep -iv 'warning: apt does not have a stable' || true
      rm -f "$log"
      return 0
    fi
    if ! grep -q 'Could not get lock\|Unable to acquire the dpkg frontend lock\|Unable to lock' "$log"; then
      cat "$log" >&2
      rm -f "$log"
      return 1
    fi
    if [ "$waited" -ge 600 ]; then
      echo "setup: apt's lock is still held after ten minutes; giving up" >&2
      cat "$log" >&2
      rm -f "$log"
      return 1
    fi
    [ "$waited" -eq 0 ] && echo "setup: another package manager holds apt's lock; waiting for it to finish (up to ten minutes)..."
    sleep 5
    waited=$((waited + 5))
    [ $((waited % 60)) -eq 0 ] && echo "setup: still waiting for apt's lock (${waited} s)"
  done
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_waiting update -qq
  apt_waiting install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi
