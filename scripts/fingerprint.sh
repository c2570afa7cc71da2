#!/usr/bin/env bash
# Prints a fingerprint of what a build's koru-headless makes of every cartridge
# we have: the picture, the MIDI log, the state file, the battery save, the
# registers and the whole log of I/O writes, DMA transfers and BIOS calls, one
# SHA-256 per artefact and run.
#
#   scripts/fingerprint.sh BUILD_DIR > before.txt
#   (change the code, build)
#   scripts/fingerprint.sh BUILD_DIR > after.txt
#   diff before.txt after.txt      # empty: the change kept every output
#
# Extra koru-headless options for every run (an extension's setting, say) come
# from FINGERPRINT_OPTIONS.
set -euo pipefail

build=$(cd "${1:?usage: fingerprint.sh BUILD_DIR}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
headless="$build/src/headless/koru-headless"
[ -x "$headless" ] || { echo "fingerprint: no $headless" >&2; exit 1; }
testroms="$top/../shared/testroms/gba-tests"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run NAME CARTRIDGE FRAMES [koru-headless options...]
run() {
    local name=$1 cartridge=$2 frames=$3
    shift 3
    local dir="$work/$name"
    mkdir -p "$dir"
    cp "$cartridge" "$dir/game.gba"
    # Verbose 0x2A: every I/O write, DMA transfer and BIOS call, with the line.
    (cd "$dir" && "$headless" --check-crc 0 --frames "$frames" --verbose 0x2A --regs \
        --screenshot shot.png --midi-log log.mid --save-state state.sta \
        ${FINGERPRINT_OPTIONS:-} "$@" game.gba > out.txt 2> err.txt) || echo "$name exit $?"
    local f
    for f in out.txt err.txt shot.png log.mid state.sta game.sav; do
        if [ -f "$dir/$f" ]; then
            printf '%s %s %s\n' "$name" "$f" "$(sha256sum < "$dir/$f" | cut -c1-16)"
        else
            printf '%s %s missing\n' "$name" "$f"
        fi
    done
    rm -rf "$dir"
}

for rom in "$build"/roms/*.gba; do
    run "$(basename "$rom" .gba)" "$rom" 120
done
# The demo through all its scenes: A at 100, 300 and 500, the bird flown, the
# tune stopped and started.
demo="$build/roms/demo.gba"
if [ -f "$demo" ]; then
    run demo-scenes "$demo" 700 --keys 100:0x1,104:0,200:0x10,260:0x40,300:0x1,304:0,400:0x4,404:0,450:0x4,454:0,500:0x1,504:0
    run demo-skip "$demo" 300 --update-period 3 --keys 150:0x1,154:0
fi
if [ -d "$testroms" ]; then
    for rom in "$testroms"/*.gba; do
        run "testrom-$(basename "$rom" .gba)" "$rom" 60
    done
else
    echo "fingerprint: $testroms is missing; third-party cartridges not run" >&2
fi
