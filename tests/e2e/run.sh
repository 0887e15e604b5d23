#!/usr/bin/env bash
# tests/e2e/run.sh: runs window_e2e.py against the installed program on a display of its own:
# Xvfb, a D-Bus session bus, the openbox window manager and the accessibility bus. Everything it
# starts is stopped again, however the test ends.
#
#   ORVALIN_PROGRAM=/usr/bin/orvalin tests/e2e/run.sh [SCRATCH_BASE]
#
# SCRATCH_BASE (default: build/e2e under the repository) must keep user.* attributes.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
export ORVALIN_PROGRAM=${ORVALIN_PROGRAM:-/usr/bin/orvalin}
base=${1:-$root/build/e2e}

for tool in Xvfb dbus-run-session openbox xdotool /usr/libexec/at-spi-bus-launcher; do
    if ! command -v "$tool" >/dev/null; then
        echo "e2e: $tool is missing (scripts/install-deps.sh installs it)" >&2
        exit 1
    fi
done
if [[ ! -x "$ORVALIN_PROGRAM" ]]; then
    echo "e2e: no program at $ORVALIN_PROGRAM (set ORVALIN_PROGRAM)" >&2
    exit 1
fi

mkdir -p "$base"
scratch=$(mktemp -d "$base/run.XXXXXX")
xvfb=
session=
cleanup() {
    local status=$?
    if [[ -n "$session" ]]; then # the test's whole process group, should any of it remain
        kill -TERM -- "-$session" 2>/dev/null || true
    fi
    if [[ -n "$xvfb" ]]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    if ((status == 0)); then
        rm -rf "$scratch"
    else
        echo "e2e: failed (status $status); its files stay in $scratch" >&2
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -m 700 "$scratch/runtime"
mkdir -p "$scratch/home" "$scratch/config" "$scratch/files"
export XDG_RUNTIME_DIR=$scratch/runtime HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config
export E2E_FILES=$scratch/files
unset WAYLAND_DISPLAY SESSION_MANAGER

echo "e2e: starting Xvfb"
Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp 9>"$scratch/display" \
    >"$scratch/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [[ -s "$scratch/display" ]] && break
    kill -0 "$xvfb" 2>/dev/null || { cat "$scratch/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
[[ -s "$scratch/display" ]] || { echo "e2e: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$scratch/display")
echo "e2e: display $DISPLAY, files in $scratch"

# Inside the session bus, in a process group of its own: the window manager and the
# accessibility bus, then the test.
setsid timeout --kill-after=10 300 dbus-run-session -- bash -c '
    set -u
    openbox --sm-disable >"$1/openbox.log" 2>&1 &
    wm=$!
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$1/atspi.log" 2>&1 &
    atspi=$!
    trap "kill $wm $atspi 2>/dev/null; wait $wm $atspi 2>/dev/null" EXIT
    /usr/bin/python3 "$2/window_e2e.py"
' e2e "$scratch" "$here" &
session=$! # a background job of a script is no group leader, so setsid leads a new group itself
wait "$session"
