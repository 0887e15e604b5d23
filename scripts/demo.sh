#!/usr/bin/env bash
# scripts/demo.sh: installs what is missing, builds Orvalin (Release, build/), writes a fresh set
# of demo files into a new folder and opens Orvalin on them.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j2 --target orvalin orvalin-demo

# The demo needs a file system that keeps user.* attributes: the runtime folder when it does
# (it may be a tmpfs without them), else the build tree.
make_folder() {
    local base dir
    for base in "${XDG_RUNTIME_DIR:-}" "$build"; do
        [[ -n "$base" && -d "$base" && -w "$base" ]] || continue
        dir=$(mktemp -d "$base/orvalin-demo.XXXXXX") || continue
        if touch "$dir/.probe" && setfattr -n user.probe -v 1 "$dir/.probe" 2>/dev/null; then
            rm -f "$dir/.probe"
            echo "$dir"
            return 0
        fi
        rm -rf "$dir"
    done
    return 1
}

if ! folder=$(make_folder); then
    echo "demo: found no folder that keeps user.* attributes" >&2
    exit 1
fi

"$build/scripts/orvalin-demo" "$folder"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "demo: no display; run it from a desktop session (or under xvfb-run)." >&2
fi
echo "Opening Orvalin on $folder (the folder stays for a look afterwards)."
exec "$build/app/orvalin" "$folder"/*
