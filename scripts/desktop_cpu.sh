#!/usr/bin/env bash
# How much of one processor core the desktop program uses while it runs a
# cartridge at 4:1 (a 960 x 640 client area) synced at 60 Hz, on a virtual X
# server of its own.
#
#   scripts/desktop_cpu.sh BUILD_DIR CARTRIDGE [SECONDS]
#
# The program starts in a temporary folder (also its HOME) with a KORU.ini of
# Width=960, Height=640, TimerPeriod=60 and SaveCPU=0 (so it never pauses for
# want of the focus: there is no window manager), and runs for a few seconds
# before the count starts. The count is the user and system time the kernel
# charged to the process (/proc/PID/stat, utime + stime) over SECONDS
# (default 20) of wall time, as a percentage of one core; then the same for
# each of its threads, and for the X server, which does the last copy to the
# screen. KORU_CPU_INI adds lines to the settings file (after the [KORU]
# section's, so it may start other sections); KORU_CPU_WARMUP sets the
# seconds before the count (default 3).
#
# The sound counts only where the machine has a sound output: without one
# the MIDI device does not open and no synthesiser runs.
#
# A benchmark: it reports, it does not fail on a figure.
set -euo pipefail

build=$(cd "${1:?usage: desktop_cpu.sh BUILD_DIR CARTRIDGE [SECONDS]}" && pwd)
cartridge=$(realpath "${2:?usage: desktop_cpu.sh BUILD_DIR CARTRIDGE [SECONDS]}")
seconds=${3:-20}
warmup=${KORU_CPU_WARMUP:-3}
koru="$build/src/frontend/koru"
[ -x "$koru" ] || { echo "desktop_cpu: $koru is missing" >&2; exit 1; }
command -v Xvfb > /dev/null || { echo "desktop_cpu: Xvfb is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/koru-cpu.XXXXXX)
xvfb_pid=""
koru_pid=""
cleanup() {
    [ -n "$koru_pid" ] && kill "$koru_pid" 2> /dev/null && wait "$koru_pid" 2> /dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2> /dev/null && wait "$xvfb_pid" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display and says which.
: > "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 100); do
    display=$(tr -dc 0-9 < "$work/display")
    [ -n "$display" ] && break
    sleep 0.1
done
[ -n "$display" ] || { echo "desktop_cpu: the X server did not start" >&2; exit 1; }

cp "$cartridge" "$work/"
{
    printf '[KORU]\nWidth=960\nHeight=640\nX=0\nY=0\nTimerPeriod=60\nUpdatePeriod=1\nSaveCPU=0\n'
    [ -n "${KORU_CPU_INI:-}" ] && printf '%s\n' "$KORU_CPU_INI"
} > "$work/KORU.ini"

(cd "$work" && exec env HOME="$work" DISPLAY=":$display" "$koru" "$work/$(basename "$cartridge")" \
    > "$work/koru.out" 2>&1) &
koru_pid=$!
sleep "$warmup"
kill -0 "$koru_pid" 2> /dev/null || { echo "desktop_cpu: koru ended: $(cat "$work/koru.out")" >&2; exit 1; }

ticks=$(getconf CLK_TCK)
# utime + stime of a /proc stat file (the fields after the command's name,
# which may hold spaces, inside parentheses).
cpu_ticks() { sed 's/.*) //' "$1" 2> /dev/null | awk '{ print $12 + $13 }'; }

declare -A before names
for task in /proc/"$koru_pid"/task/*; do
    tid=${task##*/}
    before[$tid]=$(cpu_ticks "$task/stat")
    names[$tid]=$(cat "$task/comm")
done
process_before=$(cpu_ticks /proc/"$koru_pid"/stat)
server_before=$(cpu_ticks /proc/"$xvfb_pid"/stat)
load=$(cut -d' ' -f1-3 /proc/loadavg)
start=$(date +%s.%N)
sleep "$seconds"
process_after=$(cpu_ticks /proc/"$koru_pid"/stat)
server_after=$(cpu_ticks /proc/"$xvfb_pid"/stat)
end=$(date +%s.%N)

percent() { awk -v t="$1" -v hz="$ticks" -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", 100 * t / hz / (e - s) }'; }

echo "desktop_cpu: $(basename "$cartridge"), 960x640, TimerPeriod 60, $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }') s" \
    "(load average at the start: $load)"
echo "  koru process: $(percent $((process_after - process_before))) % of one core"
for task in /proc/"$koru_pid"/task/*; do
    tid=${task##*/}
    after=$(cpu_ticks "$task/stat")
    [ -n "$after" ] || continue
    used=$((after - ${before[$tid]:-0}))
    [ "$used" -gt 0 ] || continue
    printf '    thread %-16s %s %%\n' "${names[$tid]:-$(cat "$task/comm")}" "$(percent "$used")"
done
echo "  X server:     $(percent $((server_after - server_before))) % of one core"
