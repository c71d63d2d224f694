#!/usr/bin/env bash
# Times qpk set, the edit of one package of a large library, as a whole process, beside qpk list
# of the same file and beside sqlite3 updating one row of a table of as many rows in its
# rollback-journal mode (PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL), in the same run.
# qpk set opens the file for writing (its lock, the journal check), saves through the journal
# (the new record, the class index rebuilt) and closes, which compacts the file since the old
# record was freed. Each figure is the median wall time of RUNS runs (at least 5); every run of
# set and of sqlite3 starts from a fresh copy whose bytes are already on the disk (sync).
#
#   scripts/bench-edit.sh [BUILD] [PACKAGES] [RUNS]     defaults: build 1000000 7
#
# Scratch files go to a fresh folder under $TMPDIR (or /tmp), removed at the end.
set -euo pipefail
build=${1:-build}
packages=${2:-1000000}
runs=${3:-7}
[ "$runs" -ge 5 ] || runs=5
qpk="$build/cli/qpk" gen="$build/bench/bench_text"
for bin in "$qpk" "$gen"; do
    [ -x "$bin" ] || { echo "bench-edit: missing $bin (build it first)" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "bench-edit: sqlite3 is missing (scripts/deps.sh)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/okbench-edit-XXXXXX")
trap 'rm -rf "$work"' EXIT
text="$work/lib.txt" lib="$work/lib.qpk" db="$work/lib.db" copy="$work/work.qpk" copydb="$work/work.db"
middle=$((packages / 2))

"$gen" --generate "$packages" "$text"
"$qpk" import "$text" "$lib"
"$qpk" list "$lib" >"$work/names.txt"
sqlite3 "$db" 'CREATE TABLE packages(id INTEGER PRIMARY KEY, name TEXT, shape TEXT)' \
    'CREATE TEMP TABLE names(name TEXT)' '.separator "\037" "\n"' ".import $work/names.txt names" \
    "INSERT INTO packages(name, shape) SELECT name, 'DIP' FROM names"
rows=$(sqlite3 "$db" 'SELECT count(*) FROM packages')
[ "$rows" -eq "$packages" ] || { echo "bench-edit: the table has $rows rows" >&2; exit 1; }

fresh() { # the copy to work on, on the disk and in the page cache
    cp "$1" "$2"
    rm -f "$2-journal"
    sync "$2"
    cat "$2" >/dev/null
}
now_us() { echo $(($(date +%s%N) / 1000)); }
median() { sort -n | awk '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }'; }

set_times=() list_times=() sqlite_times=()
for ((i = 0; i < runs; i++)); do
    fresh "$lib" "$copy"
    t=$(now_us); "$qpk" set "$copy" "@$middle" shape=SETBYBENCH; set_times+=($(($(now_us) - t)))
    t=$(now_us); "$qpk" list "$copy" >/dev/null; list_times+=($(($(now_us) - t)))
    fresh "$db" "$copydb"
    t=$(now_us)
    sqlite3 "$copydb" "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;
        UPDATE packages SET shape = 'SETBYBENCH' WHERE id = $middle;" >/dev/null
    sqlite_times+=($(($(now_us) - t)))
done
[ "$("$qpk" export "$copy" - | grep -c ',SETBYBENCH')" = 1 ] ||
    { echo "bench-edit: qpk set did not set the shape" >&2; exit 1; }

echo "$packages packages: package file $(($(stat -c %s "$lib") / 1000000)) MB," \
    "database $(($(stat -c %s "$db") / 1000000)) MB; median of $runs runs, wall ms;" \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-52s %10s\n' "qpk set FILE @$middle shape=SETBYBENCH (whole process)" "$(printf '%s\n' "${set_times[@]}" | median)"
printf '%-52s %10s\n' "qpk list FILE (whole process)" "$(printf '%s\n' "${list_times[@]}" | median)"
printf '%-52s %10s\n' "sqlite3 UPDATE of one row (journal_mode=DELETE)" "$(printf '%s\n' "${sqlite_times[@]}" | median)"
