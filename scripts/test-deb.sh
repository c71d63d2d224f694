#!/usr/bin/env bash
# Checks the .deb that `make deb` made as lintian and a Debian desktop see it: installs it on this
# machine, asks the desktop's tools for the package file type and its application, runs both
# programs from where they are installed, purges the package and checks that nothing of it is
# left. Installing needs root (CI runs as root on a throwaway machine); another user gets the
# lintian check only.
# Usage: scripts/test-deb.sh PACKAGE.deb
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(realpath "$1")
pkg=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)
type=application/x-ortix-kelvane-package
entry=ortix-kelvane.desktop
sample=/usr/share/ortix-kelvane/sample.qpk

step() { printf 'test-deb: [%ss] %s\n' "$SECONDS" "$*"; }
fail() {
    printf 'test-deb: FAILED: %s\n' "$*" >&2
    exit 1
}

step "lintian $deb"
# A warning kept on purpose is overridden in the package, with its reason beside it.
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"

if [ "$(id -u)" -ne 0 ]; then
    step "skipped the installation: it needs root"
    exit 0
fi
if dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q ' installed$'; then
    fail "$pkg is installed already; remove it first (dpkg --purge $pkg)"
fi

# What of the package can be found outside dpkg's own records: its files by name, and the
# entries that the MIME and desktop database triggers write for it.
traces() {
    find /usr /etc /opt /var/lib/dpkg/info -xdev \( -name '*ortix-kelvane*' -o -name 'qpk' \
        -o -name 'qpk.*' -o -name 'org.ortix.kelvane*' \) 2>/dev/null | sort
    grep -rl "$type" /usr/share/mime /usr/share/applications 2>/dev/null | sort
    true
}
before=$(traces)

work=$(mktemp -d "${TMPDIR:-/tmp}/ok-deb.XXXXXX")
cleanup() {
    local code=$?
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q ' installed$' &&
        dpkg --purge "$pkg" >/dev/null 2>&1
    rm -rf "$work"
    exit "$code"
}
trap cleanup EXIT

step "install"
apt-get install -y -qq --no-install-recommends "$deb" >"$work/install.log" 2>&1 ||
    fail "apt-get install: $(cat "$work/install.log")"
dpkg --verify "$pkg" || fail "installed files differ from the package's"

step "the desktop entry and the AppStream metadata validate"
desktop-file-validate "/usr/share/applications/$entry" || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/org.ortix.kelvane.metainfo.xml ||
    fail "appstreamcli validate"

step "the file type, with GNOME's reader (gio) and the generic one (File::MimeInfo)"
cp "$sample" "$work/library.qpk"
cp "$sample" "$work/library.pkg"
cp "$sample" "$work/library.v1"
# An installer archive (xar), the other kind of .pkg the MIME database knows, and the sample
# with another file type in its header: a container of another kind.
printf 'xar!\0\034\0\1' >"$work/installer.pkg"
{ printf 'TWXB\1\2TEXT'; tail -c +11 "$sample"; } >"$work/container"
filetype() { XDG_CURRENT_DESKTOP=$1 xdg-mime query filetype "$work/$2"; }
for desktop in GNOME ""; do
    for f in library.qpk library.pkg library.v1; do
        got=$(filetype "$desktop" "$f")
        [ "$got" = "$type" ] || fail "${desktop:-generic}: $f is $got"
    done
    got=$(filetype "$desktop" installer.pkg)
    [ "$got" != "$type" ] || fail "${desktop:-generic}: an installer archive is taken for a package file"
done
# By content alone: the signature and the file type both decide.
[ "$(mimetype --brief --magic-only "$work/library.v1")" = "$type" ] || fail "the magic misses the sample"
got=$(mimetype --brief --magic-only "$work/container")
[ "$got" != "$type" ] || fail "a container of another file type is taken for a package file"

step "the type's default application"
got=$(xdg-mime query default "$type")
[ "$got" = "$entry" ] || fail "xdg-mime query default: $got"
# The whole output is read first: with pipefail, head closing the pipe early would fail the step.
got=$(LC_ALL=C gio mime "$type")
got=${got%%$'\n'*} # "Default application for ?TYPE?: ENTRY"
[ "${got##*: }" = "$entry" ] || fail "gio mime: $got"

step "qpk from the installed path"
[ "$(command -v qpk)" = /usr/bin/qpk ] || fail "qpk is $(command -v qpk)"
[ "$(qpk --version)" = "qpk $version" ] || fail "qpk --version: $(qpk --version)"
qpk check "$sample" >/dev/null || fail "qpk check $sample"

# Lintian checks the manual pages; a bash completion, when the package has one, must load and
# register itself for its command.
for completion in $(dpkg -L "$pkg" | grep '^/usr/share/bash-completion/completions/.'); do
    [ -f "$completion" ] || continue
    step "the bash completion $completion"
    bash -c '. "$1" && complete -p "${1##*/}"' _ "$completion" >/dev/null ||
        fail "$completion does not register a completion for ${completion##*/}"
done

step "qpk's completion asks the installed qpk, whose manual page is installed"
got=$(bash -c '. /usr/share/bash-completion/completions/qpk && COMP_WORDS=(qpk he) COMP_CWORD=1 &&
               _qpk && echo "${COMPREPLY[*]}"')
[ "$got" = help ] || fail "the completion of 'qpk he' is '$got'"
[ -f /usr/share/man/man1/qpk.1.gz ] || fail "qpk has no manual page"

step "the editor, started as its desktop entry says, on the installed sample"
exec_line=$(sed -n 's/^Exec=//p' "/usr/share/applications/$entry")
[ "${exec_line#* }" = "%F" ] || fail "the entry's Exec does not take files: $exec_line"
app=$(command -v "${exec_line%% *}") || fail "the entry's program is not on the PATH: $exec_line"
# The end-to-end driver runs in a shell of its own: it expects none of this script's options.
E2E_APP=$app E2E_QPK=/usr/bin/qpk E2E_SAMPLE=$sample bash -c '
    . tests/e2e/driver.sh
    e2e_init
    e2e_start_app "$E2E_SAMPLE"
    e2e_wait_list_count 1
    e2e_menu File x
    e2e_expect_exit 0' || fail "the editor did not start and end on $sample"
dpkg --verify "$pkg" || fail "the editor changed the installed sample"

step "purge"
dpkg --purge "$pkg" >"$work/purge.log" 2>&1 || fail "dpkg --purge: $(cat "$work/purge.log")"
after=$(traces)
[ "$after" = "$before" ] || fail "left behind: $(diff <(echo "$before") <(echo "$after"))"
got=$(filetype GNOME library.qpk)
[ "$got" != "$type" ] || fail "the file type is still known"
step "passed"
