#!/usr/bin/env bash
# Times a Save and a Close with compaction as whole processes, each beside sqlite3 doing the same
# on the same rows with its rollback journal (PRAGMA journal_mode=DELETE; PRAGMA
# synchronous=FULL), in the same run:
#   - save: open a library of PACKAGES packages, change every 1000th, save (bench_storage --save)
#     against one sqlite3 process updating the same rows in one transaction;
#   - close: open it, delete every tenth package, save and close, which compacts
#     (bench_storage --delete-close) against one sqlite3 process deleting the same rows and
#     running VACUUM.
# Each figure is the median wall time of RUNS runs (at least 5); the save and the close are also
# timed inside the process. Every run starts from a fresh copy whose bytes are already on the
# disk (sync), so that no flush pays for the copy. With OTHER, the bench_storage of another build
# (an older version, say) is timed in the same runs, in a column of its own.
#
#   scripts/bench-journal.sh [BUILD] [PACKAGES] [RUNS] [OTHER]   defaults: build 1000000 7
#
# Scratch files go to a fresh folder under $TMPDIR (or /tmp), removed at the end.
set -euo pipefail
build=${1:-build}
packages=${2:-1000000}
runs=${3:-7}
other=${4:-}
[ "$runs" -ge 5 ] || runs=5
bench="$build/bench/bench_storage"
[ -x "$bench" ] || { echo "bench-journal: missing $bench (build it first)" >&2; exit 1; }
benches=("$bench")
if [ -n "$other" ]; then
    [ -x "$other/bench/bench_storage" ] || { echo "bench-journal: missing $other/bench/bench_storage" >&2; exit 1; }
    benches+=("$other/bench/bench_storage")
fi
command -v sqlite3 >/dev/null || { echo "bench-journal: sqlite3 is missing (scripts/deps.sh)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/okbench-journal-XXXXXX")
trap 'rm -rf "$work"' EXIT
lib="$work/lib.qpk" db="$work/lib.db" copy="$work/work.qpk" copydb="$work/work.db"

"$bench" --make "$packages" "$work"
sqlite3 "$db" 'CREATE TABLE packages(id INTEGER PRIMARY KEY, name TEXT, prefix TEXT, shape TEXT,
    p1 TEXT, p2 TEXT, p3 TEXT, nets TEXT);' \
    'CREATE TABLE sections(package_id INTEGER, position INTEGER, class_id INTEGER, pins TEXT);' \
    'CREATE INDEX by_package ON sections(package_id);' \
    '.mode csv' ".import $work/packages.csv packages" ".import $work/sections.csv sections"
pragmas='PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;'
sql_save="$pragmas BEGIN; UPDATE packages SET shape = shape || '+' WHERE id % 1000 = 0;
    UPDATE sections SET pins = pins || ' 9>9' WHERE package_id % 1000 = 0; COMMIT;"
sql_close="$pragmas DELETE FROM packages WHERE id % 10 = 0;
    DELETE FROM sections WHERE package_id % 10 = 0; VACUUM;"

fresh() { # the copy to work on, on the disk and in the page cache
    cp "$1" "$2"
    rm -f "$2-journal" "$2-compact"
    sync "$2"
    cat "$2" >/dev/null
}
now_us() { echo $(($(date +%s%N) / 1000)); }
median() { sort -n | awk '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.1f", m }'; }

# Per program (0: BUILD, 1: OTHER): whole-process and inner times of the save and the close.
declare -A whole_save inner_save whole_close inner_close
sqlite_save=() sqlite_close=()
for ((i = 0; i < runs; i++)); do
    for k in "${!benches[@]}"; do
        fresh "$lib" "$copy"
        t=$(now_us); inner=$("${benches[$k]}" --save "$copy"); t=$(($(now_us) - t))
        whole_save[$k]+="$t " inner_save[$k]+="${inner%% *} "
        fresh "$lib" "$copy"
        t=$(now_us); inner=$("${benches[$k]}" --delete-close "$copy"); t=$(($(now_us) - t))
        whole_close[$k]+="$t " inner_close[$k]+="${inner#* } "
    done
    fresh "$db" "$copydb"
    t=$(now_us); sqlite3 "$copydb" "$sql_save" >/dev/null; sqlite_save+=($((($(now_us) - t))))
    fresh "$db" "$copydb"
    t=$(now_us); sqlite3 "$copydb" "$sql_close" >/dev/null; sqlite_close+=($((($(now_us) - t))))
done
us() { printf '%s\n' $@ | awk '{ print $1 / 1000 }' | median; } # microseconds to ms
ms() { printf '%s\n' $@ | median; }

echo "$packages packages: package file $(($(stat -c %s "$lib") / 1000000)) MB," \
    "database $(($(stat -c %s "$db") / 1000000)) MB; median of $runs runs, wall ms;" \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
line() { # label, then one figure per column
    printf '%-46s' "$1"
    shift
    printf ' %10s' "$@"
    printf '\n'
}
columns=("$build")
[ -n "$other" ] && columns+=("$other")
line step "${columns[@]}" sqlite3
row_save=() row_save_in=() row_close=() row_close_in=()
for k in "${!benches[@]}"; do
    row_save+=("$(us ${whole_save[$k]})") row_save_in+=("$(ms ${inner_save[$k]})")
    row_close+=("$(us ${whole_close[$k]})") row_close_in+=("$(ms ${inner_close[$k]})")
done
line "save 1,000 changed (whole process)" "${row_save[@]}" "$(us "${sqlite_save[@]}")"
line "  the save alone, inside the process" "${row_save_in[@]}"
line "delete 10%, save, close compacting (whole)" "${row_close[@]}" "$(us "${sqlite_close[@]}")"
line "  the close alone, inside the process" "${row_close_in[@]}"
