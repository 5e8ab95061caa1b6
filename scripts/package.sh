#!/usr/bin/env bash
# Builds Lumidra's Debian package and checks it with lintian.
#   scripts/package.sh        -> build-package/lumidra_<version>-1_<arch>.deb
# Install it with `sudo apt-get install ./build-package/lumidra_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${BUILD_DIR:-build-package}

# Debian's hardening and optimisation flags, as a package build gets them;
# CMake reads no CPPFLAGS, so they join the compiler flags.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# A fresh tree each time: the flags above only reach a first configure.
rm -rf "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DLUMIDRA_TESTS=OFF -DLUMIDRA_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB)

deb=$(ls "$build"/lumidra_*.deb)
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n '/Architecture:/,$p'
lintian --fail-on error,warning --display-info "$deb"
echo "package: lintian found no error or warning"
