#!/usr/bin/env bash
# Checks that the C++ files changed since BASE are formatted as .clang-format says.
#
#   scripts/check-format.sh [BASE]
#
# BASE is a commit (default: the parent of HEAD, or the empty tree in a one-commit clone). Files
# that were changed and still exist are checked, with the working tree's uncommitted changes
# included. Exit code 0 when all are formatted, 1 with a list of the files that are not.
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-}
if [ -z "$base" ]; then
    if git rev-parse -q --verify HEAD~1 >/dev/null; then
        base=HEAD~1
    else
        base=$(git hash-object -t tree /dev/null)
    fi
fi
mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp' '*.h' | sort -u)
bad=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
    echo "not formatted (run clang-format -i on them):"
    printf '  %s\n' "${bad[@]}"
    exit 1
fi
echo "format: ${#files[@]} changed files checked since $base"
