#!/usr/bin/env bash
# tests/e2e/run.sh: runs window_e2e.py against the installed program on displays of its own:
# Xvfb with the openbox window manager; then GNOME's compositor, mutter, headless, once with its
# X server (XWayland) and once without (native Wayland). Each run has its own D-Bus session bus,
# accessibility bus, runtime folder, settings and files. Everything it starts is stopped again,
# however the test ends.
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

# A fresh runtime folder, home, settings folder and files for the run named $1.
prepare() {
    local dir=$scratch/$1
    mkdir -p "$dir/home" "$dir/config" "$dir/files"
    mkdir -m 700 "$dir/runtime"
    export XDG_RUNTIME_DIR=$dir/runtime HOME=$dir/home XDG_CONFIG_HOME=$dir/config
    export E2E_FILES=$dir/files E2E_MODE=$1
}
unset WAYLAND_DISPLAY SESSION_MANAGER QT_QPA_PLATFORM
prepare x11

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
    # A window mapped while openbox is still taking the screen over may never be managed (as
    # on a desktop, the window manager is there before the programs): wait until it says so.
    # An openbox that could not open the display (seen once, with other X servers coming and
    # going on the machine) is started again.
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        if ! kill -0 $wm 2>/dev/null; then
            openbox --sm-disable >>"$1/openbox.log" 2>&1 &
            wm=$!
        fi
        sleep 0.1
    done
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$1/atspi.log" 2>&1 &
    atspi=$!
    trap "kill $wm $atspi 2>/dev/null; wait $wm $atspi 2>/dev/null" EXIT
    /usr/bin/python3 "$2/window_e2e.py"
' e2e "$XDG_RUNTIME_DIR" "$here" &
session=$! # a background job of a script is no group leader, so setsid leads a new group itself
failed=0
wait "$session" || failed=1
session=

# mutter starts the test as its session's program, with DISPLAY (XWayland), WAYLAND_DISPLAY and
# XAUTHORITY set, and ends with it. The test's own keys go through mutter's remote desktop bus.
run_mutter() {
    local mode=$1
    shift
    export MONITOR=${MONITOR:-1280x800}
    prepare "$mode"
    echo "e2e: mutter --headless $* ($mode)"
    env -u DISPLAY setsid timeout --kill-after=10 300 dbus-run-session -- bash -c '
        set -u
        /usr/libexec/at-spi-bus-launcher --launch-immediately >"$1/atspi.log" 2>&1 &
        atspi=$!
        trap "kill $atspi 2>/dev/null; wait $atspi 2>/dev/null" EXIT
        mutter --headless --wayland "${@:3}" --virtual-monitor "$MONITOR" --wayland-display=e2e \
            -- /usr/bin/python3 "$2/window_e2e.py" 2>"$1/mutter.log"
    ' e2e "$XDG_RUNTIME_DIR" "$here" "$@" &
    session=$!
    wait "$session" || failed=1
    session=
}
if command -v mutter >/dev/null && command -v Xwayland >/dev/null; then
    MONITOR=1280x800 run_mutter xwayland
    MONITOR=1280x800 run_mutter wayland --no-x11
    # An output scaled by 2 (as the test sets it through mutter's display settings) that still
    # has room for the window: the program goes natively to Wayland and draws sharp.
    MONITOR=2560x1600 run_mutter scaled
else
    echo "e2e: SKIPPED the Wayland runs: mutter or Xwayland is missing (scripts/install-deps.sh installs them)"
fi
exit "$failed"
