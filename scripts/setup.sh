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
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi
