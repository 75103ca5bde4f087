#!/usr/bin/env bash
# Takes the README's pictures (docs/*.png) of the real program: the main
# window with a few alarms, the alarm editor, the options dialog and the
# about box, on a private X display (Xvfb, openbox, trayer).
#
#   bash scripts/screenshots.sh [BUILD_DIR]     (default: build-screenshots)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-screenshots}
DOCS=$ROOT/docs

# DORMIX_SCREENSHOTS_NO_BUILD=1 takes the program as BUILD_DIR holds it.
if [ -z "${DORMIX_SCREENSHOTS_NO_BUILD:-}" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$BUILD" -j2 --target dormix >/dev/null
fi

WORK=$(mktemp -d /tmp/dormix-shots-XXXXXX)
PIDS=()
cleanup() {
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
        kill "${PIDS[i]}" 2>/dev/null || true
        wait "${PIDS[i]}" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

cmake --install "$BUILD" --prefix "$WORK/dormix" >/dev/null

# A few alarms; times of day alone, read in the program's locale.
alarm() { # index description time enabled days(Sun..Sat as 7 digits)
    local days=$5 names=(Sunday Monday Tuesday Wednesday Thursday Friday Saturday)
    printf '[Dormi%s]\nDescription=%s\nTime=%s\nEnabled=%s\n' "$1" "$2" "$3" "$4"
    for i in 0 1 2 3 4 5 6; do printf '%s=%s\n' "${names[i]}" "${days:i:1}"; done
    printf 'SoundFile=%s\n' "/opt/dormix/Sounds/ding.wav"
}
{
    alarm 0 "Wake up" "06:45:00" 1 0111110
    alarm 1 "Weekend lie-in" "09:30:00" 1 1000001
    alarm 2 "Take the bins out" "19:00:00" 1 0001000
    alarm 3 "Piano lesson" "16:15:00" 0 0000010
} >"$WORK/dormix/Dormis.ini"

# A private sound server with one null sink, so that the options dialog
# lists a device.
mkdir -p -m 700 "$WORK/pulse-home" "$WORK/pulse-run"
echo "autospawn = no" >"$WORK/pulse-client.conf"
env -i HOME="$WORK/pulse-home" XDG_RUNTIME_DIR="$WORK/pulse-run" \
    XDG_CONFIG_HOME="$WORK/pulse-home/.config" PATH="$PATH" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    "--load=module-null-sink sink_name=s0" --load=module-native-protocol-unix \
    >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do
    [ -S "$WORK/pulse-run/pulse/native" ] && break
    sleep 0.1
done
export PULSE_SERVER="unix:$WORK/pulse-run/pulse/native"
export PULSE_COOKIE="$WORK/pulse-home/.config/pulse/cookie"
export PULSE_CLIENTCONFIG="$WORK/pulse-client.conf"

# The display: Xvfb picks a free number.
mkfifo "$WORK/displayfd"
exec 3<>"$WORK/displayfd"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
PIDS+=($!)
read -r -t 15 NUMBER <&3
export DISPLAY=:$NUMBER
openbox --sm-disable >/dev/null 2>&1 &
PIDS+=($!)
trayer --edge bottom --align right --widthtype pixel --width 120 --height 28 \
    --SetDockType true --transparent false >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 &&
        xwininfo -root -tree | grep -q '"panel"' && break
    sleep 0.1
done
sleep 1

LC_ALL=en_GB.UTF-8 "$WORK/dormix/dormix" >/dev/null 2>"$WORK/dormix.log" &
PIDS+=($!)

window() { # waits for a mapped window with this exact name
    for _ in $(seq 300); do
        local id
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "no window named $1" >&2
    cat "$WORK/dormix.log" >&2
    return 1
}
shot() { # window, file: the window with its frame
    sleep 0.8
    import -frame -window "$1" "$2"
    echo "wrote $2"
}

MAIN=$(window "Dormix Version 1.1.0.0")
xdotool windowmove "$MAIN" 40 40
sleep 0.5
# The pointer over the alarm list: no highlight, the list's hint below.
xdotool mousemove --window "$MAIN" 200 160
sleep 1.5
shot "$MAIN" "$DOCS/main-window.png"

eval "$(xdotool getwindowgeometry --shell "$MAIN")"
# The first alarm in the editor.
xdotool mousemove --window "$MAIN" 120 50 click --repeat 2 --delay 80 1
EDITOR=$(window "AlarmOptions")
shot "$EDITOR" "$DOCS/alarm-editor.png"
xdotool key Escape
sleep 0.5

# The toolbar's Options and About pictures, at the right end of the toolbar.
xdotool mousemove --window "$MAIN" $((WIDTH - 143)) 20 click 1
OPTIONS=$(window "Dormix Options")
shot "$OPTIONS" "$DOCS/options.png"
xdotool key Escape
sleep 0.5

xdotool mousemove --window "$MAIN" $((WIDTH - 83)) 20 click 1
ABOUT=$(window "About Dormix")
shot "$ABOUT" "$DOCS/about.png"
xdotool key Return
sleep 0.5

wmctrl -c "Dormix Version 1.1.0.0"
sleep 1
