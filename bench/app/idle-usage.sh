#!/usr/bin/env bash
# Start-up time, resident memory and idle CPU of the installed program on a
# private X display (Xvfb + openbox + trayer), with an alarm file of 1000 alarms.
#
#   bench/app/idle-usage.sh [INSTALL_DIR] [IDLE_SECONDS] [ALARMS]
#
# INSTALL_DIR holds dormix and Sounds/ding.wav (cmake --install output); when
# left out, the build in build-main is installed into a temporary folder.
# Prints: start-up to window mapped (ms), VmRSS/VmHWM after start-up (MB), and
# CPU used over IDLE_SECONDS (default 60) as a share of one core.
set -euo pipefail
cd "$(dirname "$0")/../.."

idle="${2:-60}"
count="${3:-1000}"
work="$(mktemp -d /tmp/dormix-idle-XXXXXX)"
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if [ -n "${1:-}" ]; then
    cp -r "$1"/. "$work"/
else
    cmake --install build-main --prefix "$work" >/dev/null
fi

# The alarms (1000 by default), all on the weekday two days ahead, so none sounds meanwhile.
day=$(date -d '+2 day' +%w) # 0 = Sunday
names=(Sunday Monday Tuesday Wednesday Thursday Friday Saturday)
{
    for ((i = 0; i < count; i++)); do
        printf '[Dormi%d]\nDescription=Alarm %d\nTime=03/01/03 %02d:%02d:%02d\nEnabled=1\n' \
            "$i" "$i" $((i / 60 % 24)) $((i % 60)) $((i % 60))
        for ((d = 0; d < 7; d++)); do
            printf '%s=%d\n' "${names[d]}" $((d == day ? 1 : 0))
        done
        printf 'SoundFile=%s/Sounds/ding.wav\n' "$work"
    done
} >"$work/Dormis.ini"
[ "$count" -gt 0 ] || rm -f "$work/Dormis.ini"

# A free display number.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
DISPLAY=":$n" openbox >/dev/null 2>&1 &
pids+=($!)
# A notification area: without one the program stops at start-up.
DISPLAY=":$n" trayer --edge bottom --align right --widthtype pixel --width 120 --height 28 \
    --SetDockType true --transparent false >/dev/null 2>&1 &
pids+=($!)
sleep 1

start=$(date +%s%N)
DISPLAY=":$n" LC_ALL=C "$work/dormix" >/dev/null 2>&1 &
app=$!
pids+=($app)
until DISPLAY=":$n" xdotool search --onlyvisible --name 'Version' >/dev/null 2>&1; do
    sleep 0.005
done
mapped=$(date +%s%N)
echo "start-up to window mapped: $(((mapped - start) / 1000000)) ms ($count alarms)"

# Past the first playback tick (5 s), then idle.
sleep 6
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$app/stat"; }
echo "after start-up: $(awk '/VmRSS|VmHWM/ {printf "%s %.1f MB  ", $1, $2 / 1024}' "/proc/$app/status")"
before=$(cpu)
sleep "$idle"
after=$(cpu)
awk -v used=$((after - before)) -v hz="$ticks" -v s="$idle" \
    'BEGIN {printf "CPU over %d s idle: %.3f %% of one core (%d ticks)\n", s, 100 * used / hz / s, used}'
