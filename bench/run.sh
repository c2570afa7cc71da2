#!/usr/bin/env bash
# Prints every benchmark figure on one screen: whole frames per second of
# koru-headless on each scene of the demo and on the heavy scene, rendered
# lines per second of the renderers per display mode, guest instructions per
# second of the interpreter, the timed hardware, and the peak resident memory
# of koru-headless on a 64 KB cartridge.
#
#   bench/run.sh BUILD_DIR [BASELINE_BUILD_DIR]
#
# (the baseline may also come from KORU_BENCH_BASELINE, which is how
# `make bench BASELINE=DIR` hands it over).
#
# With a baseline (another build of Koru, of another revision, say) both
# builds run every benchmark in turn, one after the other, and the figures
# stand side by side with their ratio. Both builds run the cartridges of
# BUILD_DIR, so that they run the same programs. Each figure is the best of
# BENCH_RUNS runs (default 3): other work on the machine only ever slows a
# run down.
#
# Settings from the environment: BENCH_RUNS, BENCH_DEMO_FRAMES (default
# 1800), BENCH_HEAVY_FRAMES (1200), BENCH_VIDEO_SECONDS (0.5 per case),
# BENCH_CPU_FRAMES (300 per workload). BENCH_DESKTOP_SECONDS, when set and
# Xvfb is installed, adds the desktop program's share of a core at 4:1 on the
# demo and the heavy scene (scripts/desktop_cpu.sh, that many seconds each,
# once per build): off by default, as it takes that long and wants an X
# server.
set -euo pipefail

build=$(cd "${1:?usage: run.sh BUILD_DIR [BASELINE_BUILD_DIR]}" && pwd)
baseline=""
base_arg=${2:-${KORU_BENCH_BASELINE:-}}
if [ -n "$base_arg" ]; then baseline=$(cd "$base_arg" && pwd); fi
runs=${BENCH_RUNS:-3}
demo_frames=${BENCH_DEMO_FRAMES:-1800}
heavy_frames=${BENCH_HEAVY_FRAMES:-1200}
video_seconds=${BENCH_VIDEO_SECONDS:-0.5}
cpu_frames=${BENCH_CPU_FRAMES:-300}

demo="$build/roms/demo.gba"
heavy="$build/roms/heavy.gba"
rss="$build/bench/bench_peak_rss"
for f in "$demo" "$heavy"; do
    [ -f "$f" ] || { echo "bench: $f is missing (the cartridges need arm-none-eabi-gcc)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$demo" "$work/demo.gba"
cp "$heavy" "$work/heavy.gba"
# The 64 KB cartridge: the heavy scene padded to that size (its checksum no
# longer holds, so it runs with "CheckCRC" off).
cp "$heavy" "$work/heavy64k.gba"
truncate -s 64K "$work/heavy64k.gba"

# Figures are collected as lines "SIDE<TAB>KEY<TAB>VALUE"; the table keeps
# the best value of each key (the highest, or for memory the lowest).
figures="$work/figures"
: > "$figures"
order="$work/order"
: > "$order"

note() {  # note SIDE KEY VALUE
    printf '%s\t%s\t%s\n' "$1" "$2" "$3" >> "$figures"
    grep -qxF -- "$2" "$order" || printf '%s\n' "$2" >> "$order"
}

headless_fps() {  # headless_fps SIDE BUILD KEY CARTRIDGE [options...]
    local side=$1 dir=$2 key=$3 cartridge=$4
    shift 4
    local out
    out=$(cd "$work" && rm -f ./*.sav ./*.sta && "$dir/src/headless/koru-headless" --bench "$@" "$cartridge")
    note "$side" "$key" "$(sed -n 's/.* fps \([0-9.]*\) .*/\1/p' <<< "$out")"
}

run_side() {  # run_side SIDE BUILD
    local side=$1 dir=$2 out
    headless_fps "$side" "$dir" "frames/s|demo, title scene" demo.gba --frames "$demo_frames"
    headless_fps "$side" "$dir" "frames/s|demo, bitmap picture scene" demo.gba --frames "$demo_frames" \
        --keys 60:1,62:0
    headless_fps "$side" "$dir" "frames/s|demo, rotation scene" demo.gba --frames "$demo_frames" \
        --keys 60:1,62:0,200:1,202:0
    headless_fps "$side" "$dir" "frames/s|heavy scene (bench/heavy)" heavy.gba --frames "$heavy_frames"

    out=$("$dir/bench/bench_video" "$video_seconds")
    while IFS= read -r line; do
        note "$side" "lines/s|$(sed 's/ *[0-9.]* lines\/s.*//; s/^ *//; s/  */ /g' <<< "$line")" \
            "$(sed 's/ lines\/s.*//; s/.* //' <<< "$line")"
    done < <(grep ' lines/s' <<< "$out")

    out=$("$dir/bench/bench_cpu" "$cpu_frames")
    while IFS= read -r line; do
        note "$side" "MIPS|$(sed 's/^ *//; s/ *[0-9.]* MIPS$//' <<< "$line")" \
            "$(sed 's/ MIPS$//; s/.* //' <<< "$line")"
    done < <(grep ' MIPS$' <<< "$out")

    out=$("$dir/bench/bench_hardware")
    note "$side" "hardware|half-line steps (frames/s)" "$(sed -n 's/.*, \([0-9.]*\) frames\/s.*/\1/p' <<< "$out")"
    note "$side" "hardware|DMA 16-bit (M units/s)" "$(sed -n 's/^DMA 16-bit: \([0-9.]*\).*/\1/p' <<< "$out")"
    note "$side" "hardware|DMA 32-bit (M units/s)" "$(sed -n 's/^DMA 32-bit: \([0-9.]*\).*/\1/p' <<< "$out")"

    if [ -x "$rss" ]; then
        local kib
        kib=$(cd "$work" && "$rss" "$dir/src/headless/koru-headless" --check-crc 0 --frames 600 heavy64k.gba 2>&1 >/dev/null |
              sed -n 's/^peak resident memory \([0-9]*\) KiB$/\1/p')
        note "$side" "memory|koru-headless, 64 KB cartridge (MiB)" "$(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }')"
    fi
}

sides="new"
[ -n "$baseline" ] && sides="new base"
for ((run = 1; run <= runs; ++run)); do
    printf 'bench: run %d of %d...\r' "$run" "$runs" >&2
    for side in $sides; do
        if [ "$side" = new ]; then run_side new "$build"; else run_side base "$baseline"; fi
    done
done
printf '%40s\r' "" >&2

awk -F'\t' -v baseline="$baseline" -v build="$build" -v runs="$runs" '
    function shown(v) { return v == "" ? "-" : v >= 10000 ? sprintf("%.0f", v) : sprintf("%.1f", v) }
    FNR == NR {
        key = $2; v = $3 + 0
        if ($3 == "") next
        low = key ~ /^memory/
        if (!(($1, key) in best) || (low ? v < best[$1, key] : v > best[$1, key])) best[$1, key] = v
        next
    }
    {
        key = $0
        split(key, part, "|")
        if (part[1] != group) {
            group = part[1]
            title = group == "frames/s" ? "Whole frames per second, koru-headless --bench" : \
                    group == "lines/s"  ? "Rendered lines per second, bench_video" : \
                    group == "MIPS"     ? "Guest instructions, millions per second, bench_cpu" : \
                    group == "hardware" ? "Timed hardware without the processor, bench_hardware" : \
                                          "Peak resident memory (lower is better)"
            printf "%s\n", title
        }
        name = part[2]
        if (length(name) > 50) name = substr(name, 1, 50)
        nv = (("new", key) in best) ? best["new", key] : ""
        if (baseline == "") {
            printf "  %-50s %12s\n", name, shown(nv)
        } else {
            bv = (("base", key) in best) ? best["base", key] : ""
            ratio = (nv != "" && bv != "" && bv > 0) ? sprintf("%.2fx", nv / bv) : "-"
            printf "  %-50s %12s %12s %7s\n", name, shown(nv), shown(bv), ratio
        }
    }
    BEGIN {
        if (baseline == "") {
            printf "Koru benchmarks, best of %d runs: %s\n", runs, build
        } else {
            printf "Koru benchmarks, best of %d runs, in turn: this build against a baseline\n", runs
            printf "  this build: %s\n  baseline:   %s\n", build, baseline
            printf "  %-50s %12s %12s %7s\n", "", "this build", "baseline", "ratio"
        }
    }
' "$figures" "$order"

if [ -n "${BENCH_DESKTOP_SECONDS:-}" ]; then
    if ! command -v Xvfb > /dev/null; then
        echo "Desktop program: not measured, Xvfb is not installed"
    else
        script="$(dirname "$0")/../scripts/desktop_cpu.sh"
        echo "Desktop program at 4:1 synced at 60 Hz, % of one core over $BENCH_DESKTOP_SECONDS s (lower is better)"
        for cartridge in demo heavy; do
            line="  $(printf '%-50s' "$cartridge")"
            for dir in "$build" ${baseline:+"$baseline"}; do
                out=$("$script" "$dir" "$work/$cartridge.gba" "$BENCH_DESKTOP_SECONDS" 2>&1 || true)
                value=$(sed -n 's/^  koru process: \([0-9.]*\) %.*/\1/p' <<< "$out")
                line+=$(printf ' %12s' "${value:--}")
            done
            echo "$line  (load average $(cut -d' ' -f1 /proc/loadavg))"
        done
    fi
fi
