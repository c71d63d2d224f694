#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, seeded from tests/data: the seeds of
# fuzz_NAME are in tests/data/NAME, or in the folder the table below names for it.
set -euo pipefail
build=$1; seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
declare -A seedFolder=([fuzz_import]=textfmt)
for bin in "$build"/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    name=$(basename "$bin")
    corpus=$(mktemp -d)
    seeds="$root/tests/data/${seedFolder[$name]:-${name#fuzz_}}"
    [ -d "$seeds" ] || seeds="$root/tests/data"
    echo "fuzzing $name for ${seconds}s"
    "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
        "$corpus" "$seeds" 2>"$corpus.log" || { tail -50 "$corpus.log"; exit 1; }
    rm -rf "$corpus" "$corpus.log"
done
