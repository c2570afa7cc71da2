#!/usr/bin/env bash
# Runs one fuzz target for a given number of seconds from its seed corpus,
# into a scratch corpus that is thrown away. Fails on any crash, leak,
# sanitizer report or time-out the fuzzer finds.
#   run-fuzzer.sh TARGET SEED_DIR SECONDS [extra libFuzzer flags]
set -euo pipefail
target=$1 seeds=$2 seconds=$3
shift 3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/corpus"
cd "$scratch"
"$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  "$@" "$scratch/corpus" "$seeds"
