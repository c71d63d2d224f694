#!/usr/bin/env bash
# Times qpk as whole processes, each figure beside a reference measured in the same run on the
# same data: import against sqlite3 .import of the same lines and against cp of the text; list
# against cat of the package file and against a sqlite3 SELECT of the same names, list --json
# against sqlite3's JSON of that SELECT; export against cp of its output. Each figure is the
# median wall time of RUNS runs (at least 5), printed beside its reference, the ratio and the
# target it is held to.
#
#   scripts/bench-cli.sh [BUILD] [PACKAGES] [RUNS]     defaults: build 1000000 7
#
# The text is made once by the text benchmark's generator (BUILD/bench/bench_text). Scratch
# files go to a fresh folder under $TMPDIR, removed at the end.
set -euo pipefail
build=${1:-build}
packages=${2:-1000000}
runs=${3:-7}
[ "$runs" -ge 5 ] || runs=5
qpk="$build/cli/qpk"
gen="$build/bench/bench_text"
for bin in "$qpk" "$gen"; do
    [ -x "$bin" ] || { echo "bench-cli: missing $bin (build it first)" >&2; exit 1; }
done

# sqlite3 is the only reference tool that may be missing; install it the way scripts/deps.sh
# does, and only then.
if ! command -v sqlite3 >/dev/null 2>&1; then
    echo "Installing: sqlite3"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends sqlite3
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/okbench-cli-XXXXXX")
trap 'rm -rf "$work"' EXIT
text="$work/lib.txt" pkg="$work/lib.qpk" out="$work/out.txt" copy="$work/copy"
lines_db="$work/lines.db" names_db="$work/names.db"

# Median wall time in ms of RUNS runs of a command; PREPARE (a command) runs untimed before each.
# Prints the figure with one decimal.
median_ms() {
    local prepare=$1
    shift
    local times=() i start end
    for ((i = 0; i < runs; i++)); do
        eval "$prepare"
        start=$(date +%s%N)
        "$@"
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 }
        END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }'
}

# Each step, as a function, so that the redirections are part of what is timed.
qpk_import() { "$qpk" import "$text" "$pkg"; }
sqlite_import() {
    sqlite3 "$lines_db" 'CREATE TABLE lines(line TEXT)' '.separator "\037" "\n"' \
        ".import $text lines" >/dev/null 2>&1
}
cp_text() { cp "$text" "$copy"; }
qpk_list() { "$qpk" list "$pkg" >/dev/null; }
qpk_list_json() { "$qpk" list --json "$pkg" >/dev/null; }
cat_package() { cat "$pkg" >/dev/null; }
sqlite_select() { sqlite3 "$names_db" 'SELECT name FROM names' >/dev/null; }
sqlite_select_json() { sqlite3 -json "$names_db" 'SELECT name FROM names' >/dev/null; }
qpk_export() { "$qpk" export "$pkg" "$out"; }
cp_output() { cp "$out" "$copy"; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(free -g | awk '/Mem:/{print $2}') GiB; load: $(cut -d' ' -f1-3 /proc/loadavg)"
"$gen" --generate "$packages" "$text"
qpk_import
qpk_export
"$qpk" list "$pkg" >"$work/names.txt"
sqlite3 "$names_db" 'CREATE TABLE names(name TEXT)' '.separator "\037" "\n"' \
    ".import $work/names.txt names"
cat "$text" "$pkg" "$out" "$names_db" >/dev/null # every input starts in the page cache
cmp -s "$text" "$out" || echo "bench-cli: the exported text differs from the imported one" >&2
echo "$packages packages: text $(($(stat -c %s "$text") / 1000000)) MB," \
    "package file $(($(stat -c %s "$pkg") / 1000000)) MB; median of $runs runs, wall ms"
echo

t_import=$(median_ms 'rm -f "$pkg"' qpk_import)
t_sqlite_import=$(median_ms 'rm -f "$lines_db"' sqlite_import)
t_cp_text=$(median_ms 'rm -f "$copy"' cp_text)
t_list=$(median_ms : qpk_list)
t_cat=$(median_ms : cat_package)
t_select=$(median_ms : sqlite_select)
t_list_json=$(median_ms : qpk_list_json)
t_select_json=$(median_ms : sqlite_select_json)
t_export=$(median_ms 'rm -f "$out"' qpk_export)
t_cp_out=$(median_ms 'rm -f "$copy"' cp_output)

# One row: the command, its figure, the reference and its figure, the ratio, and the target with
# a check mark when the ratio meets it (the ratio must stay below the target's bound).
row() { # what, ms, reference name, reference ms, bound, target text
    awk -v w="$1" -v t="$2" -v r="$3" -v rt="$4" -v b="$5" -v target="$6" \
        'BEGIN { ratio = t / rt; mark = ratio < b ? "ok" : "MISSED"
                 printf "%-11s %9.1f ms   %-32s %9.1f ms   %6.2fx   %-22s %s\n", w, t, r, rt, ratio,
                     target, mark }'
}
printf '%-11s %12s   %-32s %12s   %7s   %-22s %s\n' command qpk reference reference ratio target met
row "import" "$t_import" "sqlite3 .import of the lines" "$t_sqlite_import" 1 "faster than sqlite3"
row "import" "$t_import" "cp of the text" "$t_cp_text" 10 "within 10x of cp"
row "list" "$t_list" "cat of the package file" "$t_cat" 5 "within 5x of cat"
row "list" "$t_list" "sqlite3 SELECT name FROM names" "$t_select" 1 "faster than sqlite3"
row "list --json" "$t_list_json" "sqlite3 -json SELECT name" "$t_select_json" 3 "within 3x of sqlite3"
row "export" "$t_export" "cp of the exported text" "$t_cp_out" 4 "within 4x of cp"
