#!/usr/bin/env bash
# Runs every benchmark of a build, one after another (they measure wall and CPU time, so nothing
# else should run beside them). Scratch files go to $TMPDIR.
set -euo pipefail
build=${1:-build}
echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB; load: $(cut -d' ' -f1-3 /proc/loadavg)"
for name in bench_storage bench_text bench_listwin bench_find bench_editor bench_items; do
    bin="$build/bench/$name"
    [ -x "$bin" ] || { echo "missing $bin" >&2; exit 1; }
    echo
    echo "=== $name"
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$bin"
done
