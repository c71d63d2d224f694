#!/usr/bin/env bash
# qpk merge as git's merge driver, in a real repository: a clean merge of changes to different
# packages and an addition, then a package changed on both branches, which git reports as a
# conflict while the file keeps our version. Each result is read back with qpk export.
# Usage: git_merge.sh QPK
set -euo pipefail
qpk=$1
command -v git >/dev/null || exit 77
work=$(mktemp -d "${TMPDIR:-/tmp}/okgit-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/repo" && cd "$work/repo"
fail() { echo "git_merge: $*" >&2; exit 1; }
export GIT_CONFIG_NOSYSTEM=1 HOME=$work GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@t \
    GIT_COMMITTER_NAME=t GIT_COMMITTER_EMAIL=t@t
git init -q -b main .
git config merge.qpk.driver "$qpk merge %O %A %B"
echo '*.qpk merge=qpk' >.gitattributes
library() { # the packages NAME:SHAPE... as lib.qpk, committed
    for p in "$@"; do printf '%s,U,%s\n\t5,1\t1,2\n' "${p%%:*}" "${p#*:}"; done >../lib.txt
    rm -f lib.qpk && "$qpk" import ../lib.txt lib.qpk && git add . && git commit -q -m "$*"
}
expect() { # the packages NAME:SHAPE... lib.qpk holds, in order, as qpk reads it back
    local got
    got=$("$qpk" export lib.qpk - | tr -d '\r' | grep -v $'^\t' | cut -d, -f1,3 | tr , : | paste -sd' ')
    [ "$got" = "$*" ] || fail "lib.qpk holds $got, not $*"
}

library A:DIP B:DIP C:DIP
git checkout -q -b theirs
library A:DIP B:SOIC C:DIP D:QFP
git checkout -q main
library A:PLCC B:DIP
git merge -q --no-edit theirs >../merge.out 2>&1 || fail "the clean merge failed: $(cat ../merge.out)"
expect A:PLCC B:SOIC D:QFP

git checkout -q -b other
library A:TO92 B:SOIC D:QFP
git checkout -q main
library A:SOT23 B:SOIC D:QFP
git merge --no-edit other >../merge.out 2>&1 && fail "the conflict merged: $(cat ../merge.out)"
grep -q 'conflict in package "A": changed on both sides; ours kept' ../merge.out || fail "$(cat ../merge.out)"
git status --porcelain lib.qpk | grep -q '^UU lib.qpk' || fail "lib.qpk is not unmerged"
expect A:SOT23 B:SOIC D:QFP
