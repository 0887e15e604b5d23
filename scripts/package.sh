#!/usr/bin/env bash
# scripts/package.sh [OUTPUT_DIR]: builds Orvalin for release with Debian's hardening flags and
# makes its .deb (cpack -G DEB) in OUTPUT_DIR (default: the current folder); prints the .deb's
# path. ORVALIN_BUILD_DIR (default build-package/) is the build folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
output=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
build=${ORVALIN_BUILD_DIR:-$root/build-package}

"$root/scripts/install-deps.sh" --package >&2

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVALIN_TESTS=OFF >&2
cmake --build "$build" -j2 >&2
(cd "$build" && cpack -G DEB -B "$output" >&2)
rm -rf "$output/_CPack_Packages"
ls -t "$output"/orvalin_*.deb | head -n 1
