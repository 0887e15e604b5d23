#!/usr/bin/env bash
# tests/e2e/orca_check.sh: the installed program's window heard through the real Orca. Orca
# speaks through a speech-dispatcher of this run whose only output module writes every text it
# is given to a file (sound goes to ALSA's null device), so what Orca says is read back from
# there: the window's announcement at open, after Next (Tab to it, Space) and while Shift is held.
# Xvfb with openbox, a D-Bus session bus and accessibility bus, fresh home and settings; the
# whole check is bounded by a timeout, and everything it starts is stopped however it ends.
#
#   ORVALIN_PROGRAM=/usr/bin/orvalin tests/e2e/orca_check.sh [SCRATCH_BASE]
#
# SCRATCH_BASE (default: build/e2e under the repository) must keep user.* attributes.
#
# Exit 77: it cannot run here (a tool is missing), and says which.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
export ORVALIN_PROGRAM=${ORVALIN_PROGRAM:-/usr/bin/orvalin}
base=${1:-$root/build/e2e}

for tool in Xvfb dbus-run-session openbox xdotool xprop orca speech-dispatcher \
    /usr/libexec/at-spi-bus-launcher /usr/lib/speech-dispatcher-modules/sd_generic; do
    if ! command -v "$tool" >/dev/null; then
        echo "orca check: SKIPPED: $tool is missing" >&2
        exit 77
    fi
done
if [[ ! -x "$ORVALIN_PROGRAM" ]]; then
    echo "orca check: no program at $ORVALIN_PROGRAM (set ORVALIN_PROGRAM)" >&2
    exit 1
fi

mkdir -p "$base"
scratch=$(mktemp -d "$base/orca.XXXXXX")
xvfb=
session=
cleanup() {
    local status=$?
    if [[ -n "$session" ]]; then
        kill -TERM -- "-$session" 2>/dev/null || true
        sleep 0.5
        kill -KILL -- "-$session" 2>/dev/null || true
    fi
    if [[ -n "$xvfb" ]]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    if ((status == 0)); then
        rm -rf "$scratch"
    else
        echo "orca check: failed (status $status); its files stay in $scratch" >&2
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$scratch/home" "$scratch/config/speech-dispatcher/modules" "$scratch/data" \
    "$scratch/files"
mkdir -m 700 "$scratch/runtime"
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
export XDG_RUNTIME_DIR=$scratch/runtime GSETTINGS_BACKEND=memory
export SPEECH=$scratch/speech.txt SPEECHD_ADDRESS=unix_socket:$scratch/runtime/speechd.sock
unset WAYLAND_DISPLAY SESSION_MANAGER QT_QPA_PLATFORM
: >"$SPEECH"

# One line per spoken text. The module opens the sound device before it speaks: ALSA's null.
printf 'pcm.!default { type null }\n' >"$HOME/.asoundrc"
sd=$XDG_CONFIG_HOME/speech-dispatcher
cat >"$sd/speechd.conf" <<EOF
AddModule "capture" "sd_generic" "capture.conf"
DefaultModule capture
LanguageDefaultModule "en" "capture"
DefaultLanguage "en"
AudioOutputMethod "alsa"
EOF
cat >"$sd/modules/capture.conf" <<EOF
GenericExecuteSynth "printf '%s\\\\n' \\'\$DATA\\' >>'$SPEECH'"
AddVoice "en" "MALE1" "capture"
DefaultVoice "capture"
GenericLanguage "en" "en" "utf-8"
EOF

# Two MP3s of silent frames with an ID3v1 tag and the attributes the first template names, so
# that the preview differs from the name.
python3 - "$scratch/files" <<'EOF'
import os, sys
def tag(title, artist):
    field = lambda text, size: text.encode().ljust(size, b"\0")[:size]
    return b"TAG" + field(title, 30) + field(artist, 30) + bytes(64) + b"\xff"
for name, title, artist, album in (("a.mp3", "Alpha", "Ann", "First"),
                                   ("b.mp3", "Beta", "Bob", "Second")):
    path = os.path.join(sys.argv[1], name)
    with open(path, "wb") as out:
        out.write((b"\xff\xfb\x90\x64" + bytes(413)) * 8 + tag(title, artist))
    for key, value in (("Artist", artist), ("Title", title), ("Album", album)):
        os.setxattr(path, "user." + key, value.encode())
EOF

Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp 9>"$scratch/display" \
    >"$scratch/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [[ -s "$scratch/display" ]] && break
    kill -0 "$xvfb" 2>/dev/null || { cat "$scratch/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
[[ -s "$scratch/display" ]] || { echo "orca check: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$scratch/display")
echo "orca check: display $DISPLAY, files in $scratch"

# Inside the session bus, in a process group of its own; the whole of it at most 100 s.
setsid timeout --kill-after=5 100 dbus-run-session -- bash -c '
    set -u
    dir=$1
    pids=()
    stop() { # Orca may hang in its own shutdown: killed after 2 s
        kill "${pids[@]}" 2>/dev/null
        for _ in $(seq 20); do
            kill -0 "${pids[@]}" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "${pids[@]}" 2>/dev/null
        wait 2>/dev/null
    }
    trap stop EXIT
    openbox --sm-disable >"$dir/openbox.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$dir/atspi.log" 2>&1 &
    pids+=($!)
    speech-dispatcher --run-single --timeout 0 --config-dir "$XDG_CONFIG_HOME/speech-dispatcher" \
        --communication-method unix_socket --socket-path "${SPEECHD_ADDRESS#unix_socket:}" \
        --pid-file "$dir/speechd.pid" --log-dir "$dir" >"$dir/speechd.out" 2>&1 &
    pids+=($!)

    # Waits up to 15 s for a spoken line matching $2 after line $at; moves $at to it.
    at=0
    failed=0
    expect() {
        local line
        for _ in $(seq 150); do
            line=$(tail -n +"$((at + 1))" "$SPEECH" | grep -n -m1 -e "$2" | cut -d: -f1)
            if [[ -n "$line" ]]; then
                at=$((at + line))
                echo "ok    $1: $(sed -n "${at}p" "$SPEECH")"
                return 0
            fi
            sleep 0.1
        done
        echo "FAIL  $1: Orca did not say /$2/ after line $at"
        failed=1
        return 1
    }

    orca --replace --disable braille --disable braille-monitor \
        --debug-file "$dir/orca-debug.txt" >"$dir/orca.log" 2>&1 &
    pids+=($!)
    expect "Orca is speaking" "." || exit 1

    QT_QPA_PLATFORM=xcb "$ORVALIN_PROGRAM" "$dir/files/a.mp3" "$dir/files/b.mp3" \
        >"$dir/program.log" 2>&1 &
    pids+=($!)
    expect "the announcement at open" "1/2, a\.mp3, Ann - Alpha - First\.mp3"
    for _ in $(seq 100); do
        xid=$(xdotool search --onlyvisible --name "^Orvalin$" 2>/dev/null | head -n1)
        [[ -n "$xid" ]] && break
        sleep 0.1
    done
    [[ -n "$xid" ]] || { echo "FAIL  no window" >&2; exit 1; }
    xdotool windowactivate --sync "$xid"
    for _ in $(seq 6); do # from the name field to Next
        xdotool key Tab
        sleep 0.2
    done
    expect "Tab reached Next" "^Next"
    xdotool key space
    expect "the announcement after Next" "2/2, b\.mp3, Bob - Beta - Second\.mp3"
    xdotool keydown shift
    expect "the announcement while Shift is held" "ALL, b\.mp3, Bob - Beta - Second\.mp3"
    xdotool keyup shift
    expect "the announcement when Shift is let go" "2/2, b\.mp3"
    exit "$failed"
' orca-check "$scratch" &
session=$!
status=0
wait "$session" || status=$?
session=
echo "orca check: Orca said:"
sed 's/^/    /' "$SPEECH"
if ((status != 0)); then
    echo "orca check: FAILED (status $status)" >&2
    exit 1
fi
echo "orca check: passed"
