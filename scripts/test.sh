#!/usr/bin/env bash
# scripts/test.sh: installs what is missing, builds Orvalin and runs every test with CTest.
# ORVALIN_BUILD_DIR (default build/) and ORVALIN_BUILD_TYPE (default Release) choose the build;
# any arguments go to CMake's configure step, e.g. -DORVALIN_SANITIZE=ON.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVALIN_BUILD_DIR:-$root/build}
type=${ORVALIN_BUILD_TYPE:-Release}

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@"
cmake --build "$build" -j2
# The kill test (label "kill", some minutes) runs on its own: ctest --test-dir build -L kill
ctest --test-dir "$build" --output-on-failure -j2 --timeout 900 -LE kill
