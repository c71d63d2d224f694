#!/usr/bin/env bash
# Checks that every module includes only the modules it may.
#
#   scripts/check-deps.sh [--root DIR]   checks the tree at DIR (default: this repository)
#   scripts/check-deps.sh --self-test    checks the checker on small temporary trees
#
# Every .h, .cpp and .y file under the folders named below belongs to the module whose folder
# is the longest prefix of its path. Each `#include "..."` is mapped to the module of the file
# it names (a path from the repository root, or else a path relative to the including file's
# folder or one of its parents); each `#include <Q...>` counts as the module Qt. Other angle
# includes (the C++ and system headers) and quoted includes that name no file of the tree
# (headers generated in the build folder) are not checked. A module may always include itself.
#
# Exit code 0 when every include is allowed, 1 when one is not (one line per fault:
# `file:line: <module> may not include <module>/...`), 2 for a bad command line.
set -euo pipefail

# The dependency table: module, then the modules it may include. "*" means anything.
read -r -d '' RULES <<'EOF' || true
resources       :
toolbox/core    : resources
model           : toolbox/core resources
textfmt         : model toolbox/core resources
cli             : textfmt model toolbox/core resources
toolbox/gui     : Qt toolbox/core resources
toolbox/harness : Qt toolbox/gui toolbox/core resources
listwin         : Qt toolbox/gui textfmt model toolbox/core resources
editor          : Qt listwin toolbox/gui textfmt model toolbox/core resources
shell           : Qt editor listwin toolbox/gui textfmt model toolbox/core resources
fuzz            : textfmt model toolbox/core resources
bench           : Qt tests fuzz cli editor listwin toolbox/harness toolbox/gui textfmt model toolbox/core resources
tests           : *
EOF

# Prints the faults of the tree at $1; returns 1 when there is one.
checkTree() {
    local root=$1 work tops=()
    work=$(mktemp -d)
    printf '%s\n' "$RULES" >"$work/rules"
    for top in $(awk -F: 'NF { sub(/\/.*/, "", $1); sub(/[ \t]+$/, "", $1); print $1 }' \
        "$work/rules" | sort -u); do
        [ -d "$root/$top" ] && tops+=("$top")
    done
    if [ ${#tops[@]} -gt 0 ]; then
        (cd "$root" && find "${tops[@]}" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.y' \)) |
            sort >"$work/files"
    else
        : >"$work/files"
    fi
    (cd "$root" && tr '\n' '\0' <"$work/files" |
        xargs -0 -r grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' || true) \
        >"$work/includes"
    local rc=0
    awk -v rulesFile="$work/rules" -v filesFile="$work/files" '
        function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s); return s }
        function moduleOf(p,   i, best) {
            best = ""
            for (i = 1; i <= nModules; i++)
                if (index(p, modules[i] "/") == 1 && length(modules[i]) > length(best))
                    best = modules[i]
            return best
        }
        function normalize(p,   n, parts, kept, k, i, out) {
            n = split(p, parts, "/")
            k = 0
            for (i = 1; i <= n; i++) {
                if (parts[i] == "" || parts[i] == ".") continue
                if (parts[i] == "..") { if (k > 0) k--; continue }
                kept[++k] = parts[i]
            }
            out = ""
            for (i = 1; i <= k; i++) out = out (i > 1 ? "/" : "") kept[i]
            return out
        }
        # The tree path an include names, or "" when it names no file of the tree.
        function resolve(file, inc,   dir, cand) {
            if (moduleOf(inc) != "") return inc
            dir = file
            while (sub(/\/[^\/]*$/, "", dir)) {
                cand = normalize(dir "/" inc)
                if (cand in exists) return cand
            }
            if (index(inc, "..") == 1) {
                dir = file
                sub(/\/[^\/]*$/, "", dir)
                return normalize(dir "/" inc)
            }
            return ""
        }
        FILENAME == rulesFile {
            if (index($0, ":") == 0) next
            name = trim(substr($0, 1, index($0, ":") - 1))
            modules[++nModules] = name
            allowed[name] = " " trim(substr($0, index($0, ":") + 1)) " "
            next
        }
        FILENAME == filesFile {
            exists[$0] = 1
            if (moduleOf($0) == "") { print $0 ": in no module of the dependency table"; bad = 1 }
            next
        }
        {
            file = substr($0, 1, index($0, ":") - 1)
            rest = substr($0, length(file) + 2)
            line = substr(rest, 1, index(rest, ":") - 1)
            text = substr(rest, length(line) + 2)
            from = moduleOf(file)
            if (from == "") next
            if (!match(text, /[<"][^>"]*[>"]/)) next
            inc = substr(text, RSTART + 1, RLENGTH - 2)
            if (substr(text, RSTART, 1) == "<") {
                if (inc !~ /^Q[A-Za-z]/) next
                target = "Qt"
                shown = "<" inc ">"
            } else {
                path = resolve(file, inc)
                if (path == "") next
                target = moduleOf(path)
                if (target == "") { target = path; sub(/\/.*/, "", target) }
                shown = target "/..."
            }
            if (target == from || index(allowed[from], " * ") || index(allowed[from], " " target " "))
                next
            print file ":" line ": " from " may not include " shown
            bad = 1
        }
        END { exit bad ? 1 : 0 }
    ' "$work/rules" "$work/files" "$work/includes" || rc=$?
    rm -rf "$work"
    return $rc
}

# Each case: the file, its one include line, another file the tree holds (the one a relative
# include names), and what the check prints (nothing when it accepts).
read -r -d '' CASES <<'EOF' || true
model/A.cpp             | #include "toolbox/core/Memory.h"      |                       |
model/A.cpp             | #include "toolbox/gui/Windows.h"      |                       | model/A.cpp:1: model may not include toolbox/gui/...
model/A.cpp             | #include "../toolbox/gui/Windows.h"   | toolbox/gui/Windows.h | model/A.cpp:1: model may not include toolbox/gui/...
model/A.cpp             | #include "A.h"                        | model/A.h             |
model/A.cpp             | #include <queue>                      |                       |
resources/Strings.cpp   | #include "resources/Types.h"          |                       |
resources/Strings.cpp   | #include "toolbox/core/Types.h"       |                       | resources/Strings.cpp:1: resources may not include toolbox/core/...
toolbox/core/Files.cpp  | #include "resources/Types.h"          |                       |
toolbox/core/Files.cpp  | #include "model/Package.h"            |                       | toolbox/core/Files.cpp:1: toolbox/core may not include model/...
toolbox/core/Files.cpp  | #include <QFile>                      |                       | toolbox/core/Files.cpp:1: toolbox/core may not include <QFile>
textfmt/Import.cpp      | #include "model/Package.h"            |                       |
textfmt/Import.cpp      | #include "ImportGrammar.tab.h"        |                       |
textfmt/Import.cpp      | #include <QString>                    |                       | textfmt/Import.cpp:1: textfmt may not include <QString>
textfmt/Import.cpp      |   #  include <QtCore/QString>         |                       | textfmt/Import.cpp:1: textfmt may not include <QtCore/QString>
textfmt/Import.cpp      | // #include <QString>                 |                       |
textfmt/Import.cpp      | #include "listwin/ListWindow.h"       |                       | textfmt/Import.cpp:1: textfmt may not include listwin/...
cli/main.cpp            | #include "textfmt/Import.h"           |                       |
cli/main.cpp            | #include "toolbox/gui/App.h"          |                       | cli/main.cpp:1: cli may not include toolbox/gui/...
toolbox/gui/App.cpp     | #include <QWidget>                    |                       |
toolbox/gui/App.cpp     | #include "listwin/ListWindow.h"       |                       | toolbox/gui/App.cpp:1: toolbox/gui may not include listwin/...
toolbox/gui/App.cpp     | #include "toolbox/harness/Harness.h"  |                       | toolbox/gui/App.cpp:1: toolbox/gui may not include toolbox/harness/...
toolbox/harness/H.cpp   | #include "toolbox/gui/Windows.h"      |                       |
toolbox/harness/H.cpp   | #include "listwin/ListWindow.h"       |                       | toolbox/harness/H.cpp:1: toolbox/harness may not include listwin/...
listwin/ListWindow.cpp  | #include "textfmt/Import.h"           |                       |
listwin/ListWindow.cpp  | #include "shell/FileCommands.h"       |                       | listwin/ListWindow.cpp:1: listwin may not include shell/...
listwin/ListWindow.cpp  | #include "toolbox/harness/Harness.h"  |                       | listwin/ListWindow.cpp:1: listwin may not include toolbox/harness/...
editor/Editor.cpp       | #include "listwin/ListWindow.h"       |                       |
editor/Editor.cpp       | #include "shell/Application.h"        |                       | editor/Editor.cpp:1: editor may not include shell/...
shell/Application.cpp   | #include "listwin/MenuEnabling.h"     |                       |
shell/Application.cpp   | #include "editor/Editor.h"            |                       |
shell/Application.cpp   | #include "toolbox/harness/Harness.h"  |                       | shell/Application.cpp:1: shell may not include toolbox/harness/...
fuzz/fuzz_import.cpp    | #include "textfmt/Import.h"           |                       |
fuzz/fuzz_import.cpp    | #include "listwin/ListWindow.h"       |                       | fuzz/fuzz_import.cpp:1: fuzz may not include listwin/...
fuzz/fuzz_import.cpp    | #include <QString>                    |                       | fuzz/fuzz_import.cpp:1: fuzz may not include <QString>
bench/bench_list.cpp    | #include "toolbox/harness/Harness.h"  |                       |
bench/common/Gen.cpp    | #include "common/Gen.h"               | bench/common/Gen.h    |
bench/bench_list.cpp    | #include "shell/Application.h"        |                       | bench/bench_list.cpp:1: bench may not include shell/...
tests/shell/a_test.cpp  | #include "shell/Application.h"        |                       |
tests/shell/a_test.cpp  | #include "toolbox/harness/Harness.h"  |                       |
tests/shell/a_test.cpp  | #include "support.h"                  | tests/support.h       |
toolbox/extra/X.h       | #include "toolbox/core/Memory.h"      |                       | toolbox/extra/X.h: in no module of the dependency table
EOF

selfTest() {
    local tree failed=0 count=0 file include other expected got rc want
    while IFS='|' read -r file include other expected; do
        file=$(echo "$file" | sed 's/[[:space:]]*$//')
        include=$(echo "$include" | sed 's/^ //; s/[[:space:]]*$//')
        other=$(echo "$other" | sed 's/[[:space:]]//g')
        expected=$(echo "$expected" | sed 's/^[[:space:]]*//; s/[[:space:]]*$//')
        [ -n "$file" ] || continue
        count=$((count + 1))
        tree=$(mktemp -d)
        mkdir -p "$(dirname "$tree/$file")"
        printf '%s\n' "$include" >"$tree/$file"
        if [ -n "$other" ]; then
            mkdir -p "$(dirname "$tree/$other")"
            : >"$tree/$other"
        fi
        rc=0
        got=$(checkTree "$tree") || rc=$?
        want=0
        [ -n "$expected" ] && want=1
        if [ "$rc" -ne "$want" ] || [ "$got" != "$expected" ]; then
            echo "self-test: $file with '$include'"
            echo "  expected (exit $want): ${expected:-nothing}"
            echo "  got      (exit $rc): ${got:-nothing}"
            failed=1
        fi
        rm -rf "$tree"
    done <<<"$CASES"
    if [ "$failed" -ne 0 ]; then return 1; fi
    echo "check-deps self-test: $count cases passed"
}

root=$(cd "$(dirname "$0")/.." && pwd)
case "${1:-}" in
--self-test)
    selfTest
    ;;
--root)
    [ $# -eq 2 ] || { echo "usage: $0 [--root DIR | --self-test]" >&2; exit 2; }
    checkTree "$2"
    ;;
"")
    checkTree "$root"
    ;;
*)
    echo "usage: $0 [--root DIR | --self-test]" >&2
    exit 2
    ;;
esac
