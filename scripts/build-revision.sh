#!/usr/bin/env bash
# Builds another git revision of Koru beside the tree, for benchmarks that
# compare with it: its sources go to DIR/src (an export, not a worktree, so
# the repository is left as it is) and its release build to DIR/build, with
# the programs the benchmarks run.
#
#   scripts/build-revision.sh REV DIR [extra cmake options...]
set -euo pipefail

rev=${1:?usage: build-revision.sh REV DIR [cmake options...]}
dir=${2:?usage: build-revision.sh REV DIR [cmake options...]}
shift 2
top=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$top" rev-parse --verify "$rev^{commit}")

mkdir -p "$dir"
if [ "$(cat "$dir/revision" 2>/dev/null)" != "$commit" ]; then
    rm -rf "$dir/src" "$dir/build"
    mkdir -p "$dir/src"
    git -C "$top" archive "$commit" | tar -x -C "$dir/src"
    echo "$commit" > "$dir/revision"
fi
cmake -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORU_BUILD_TESTS=OFF \
    -DKORU_BUILD_ROMS=OFF "$@" > /dev/null
cmake --build "$dir/build" --target koru-headless bench_cpu bench_video bench_hardware
