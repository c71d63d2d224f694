# The end-to-end driver: sourced by each scenario, it runs the real program on a private virtual
# X server with a window manager, drives it with real X input (XTEST, through xdotool) and
# reads the screen and the files it writes. Every wait polls a condition against a deadline.
#
# The scenario's environment names the programs (the CTest registration sets them):
#   E2E_APP     the editor        E2E_QPK     the command-line tool
#   E2E_SAMPLE  the sample library
# E2E_KEEP=1 keeps the work folder (its path is printed) instead of removing it.
#
# Exit codes: 0 passed, 1 failed (with a screen image kept in the work folder), 77 skipped.

set -u

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_SCREEN="$E2E_DIR/screen.py"
E2E_TIMEOUT=${E2E_TIMEOUT:-20} # seconds any one wait may take (a loaded machine starts X slowly)
E2E_STEP=""                   # what the scenario is doing, for the failure message
E2E_WORK="" E2E_XVFB_PID="" E2E_WM_PID="" E2E_APP_PID="" E2E_APP_CODE="" E2E_OTHER_PID=""
E2E_FRAME="" E2E_WINDOW="" E2E_ROW_HEIGHT="" LIST_LEFT="" LIST_TOP="" LIST_RIGHT=""

e2e_log() { printf 'e2e: %s\n' "$*" >&2; }

# Reports the failed step, keeps a picture of the screen and ends the scenario.
e2e_fail() {
    e2e_log "FAILED${E2E_STEP:+ in \"$E2E_STEP\"}: $*"
    if [ -n "$E2E_WORK" ] && [ -f "$E2E_WORK/fb/Xvfb_screen0" ]; then
        python3 "$E2E_SCREEN" png "$E2E_WORK/fb/Xvfb_screen0" "$E2E_WORK/failed.png" 2>/dev/null &&
            e2e_log "screen kept in $E2E_WORK/failed.png"
    fi
    # The logs of the server, the window manager and the program stay with the failure too.
    [ -n "$E2E_WORK" ] && E2E_KEEP=1
    exit 1
}

e2e_skip() { e2e_log "skipped: $*" && exit 77; }

# Names the step that follows, so that a failure says where it happened.
e2e_step() { E2E_STEP="$*" && e2e_log "- $*"; }

# Polls COMMAND... until it succeeds; fails with DESCRIPTION at the deadline, followed by what
# the command E2E_WHY (when set) prints then.
e2e_wait() {
    local what=$1 deadline=$((SECONDS + E2E_TIMEOUT))
    shift
    until "$@" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || e2e_fail "timed out waiting for $what${E2E_WHY:+: $($E2E_WHY 2>&1)}"
        sleep 0.05 # the polling interval, not a delay the scenario depends on
    done
}

e2e_stop() { # pid: ends one process that this driver started, and reaps it
    local pid=$1 deadline=$((SECONDS + 3))
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null
    while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

e2e_teardown() {
    local code=$? pid
    set +e
    for pid in "$E2E_OTHER_PID" "$E2E_APP_PID" "$E2E_WM_PID" "$E2E_XVFB_PID"; do e2e_stop "$pid"; done
    # (Installed once the work folder exists.)
    if [ "${E2E_KEEP:-0}" = 1 ]; then e2e_log "work folder kept: $E2E_WORK"; else rm -rf "$E2E_WORK"; fi
    exit "$code"
}

# Starts the X server and the window manager; every scenario calls it first.
e2e_init() {
    local tool
    for tool in Xvfb xdotool xprop openbox python3; do
        command -v "$tool" >/dev/null || e2e_skip "$tool is not installed (scripts/deps.sh)"
    done
    [ -x "${E2E_APP:-}" ] || e2e_fail "E2E_APP does not name the program"
    [ -x "${E2E_QPK:-}" ] || e2e_fail "E2E_QPK does not name qpk"
    E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/ok-e2e.XXXXXX")
    trap e2e_teardown EXIT
    # Stopped from outside (CTest's timeout): say where, and keep the work folder.
    trap 'e2e_fail "stopped by a signal"' INT TERM
    mkdir -m 700 "$E2E_WORK/runtime" "$E2E_WORK/fb" "$E2E_WORK/home"

    e2e_step "start the X server"
    # -displayfd: the server picks a free display number and writes it once it accepts clients.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -fbdir "$E2E_WORK/fb" \
        3>"$E2E_WORK/display" 2>"$E2E_WORK/xvfb.log" &
    E2E_XVFB_PID=$!
    e2e_wait "the X server's display number" test -s "$E2E_WORK/display"
    export DISPLAY=":$(head -n1 "$E2E_WORK/display")"

    e2e_step "start the window manager"
    HOME="$E2E_WORK/home" openbox --sm-disable >"$E2E_WORK/wm.log" 2>&1 &
    E2E_WM_PID=$!
    # The manager sets its check window on the root once it manages the screen.
    e2e_wait "the window manager" e2e_wm_running

    # The program's own surroundings: its single-instance guard lives in the runtime folder, so
    # that no other run on this machine shares it.
    export XDG_RUNTIME_DIR="$E2E_WORK/runtime" HOME="$E2E_WORK/home"
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY SESSION_MANAGER
    cd "$E2E_WORK" || e2e_fail "no work folder"
}

e2e_wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }

# A package file in the work folder imported from a text file: e2e_library TEXT NAME.qpk
e2e_library() { "$E2E_QPK" import "$1" "$E2E_WORK/$2" >/dev/null || e2e_fail "qpk import $1 failed"; }

# Makes the work folder's package file $1 from the bundled parts text (R1, SOT23_T, PLCC20),
# its lines ended by CR as the import reads them.
e2e_parts_library() {
    sed 's/$/\r/' "$E2E_DIR/data/parts.txt" >"$E2E_WORK/parts.crlf"
    e2e_library "$E2E_WORK/parts.crlf" "$1"
}

# Makes parts.qpk from the parts text, starts the program on it and waits for its list window;
# the rows are measured, which selects row 0 (R1).
e2e_open_parts_list() {
    e2e_parts_library parts.qpk
    e2e_start_app parts.qpk
    e2e_wait_list_count 1
    e2e_use_list 1
    e2e_measure_rows
}

# Starts the program in the work folder with the given arguments and waits for its frame.
e2e_start_app() {
    e2e_step "start the program with $*"
    "$E2E_APP" "$@" >>"$E2E_WORK/app.log" 2>&1 &
    E2E_APP_PID=$!
    E2E_APP_CODE=""
    E2E_FRAME=$(timeout "$E2E_TIMEOUT" xdotool search --all --sync --onlyvisible --pid "$E2E_APP_PID" \
        --name '^Ortix-Kelvane$' 2>/dev/null | head -n1)
    [ -n "$E2E_FRAME" ] || e2e_fail "no frame window appeared"
    e2e_wait "the frame to be active" e2e_is_active "$E2E_FRAME"
}

# Runs another instance to its end; its exit code goes to E2E_OTHER_CODE.
e2e_run_other_instance() {
    "$E2E_APP" "$@" >>"$E2E_WORK/app.log" 2>&1 &
    E2E_OTHER_PID=$!
    e2e_wait "the second instance to end" eval "! kill -0 $E2E_OTHER_PID"
    wait "$E2E_OTHER_PID"
    E2E_OTHER_CODE=$?
    E2E_OTHER_PID=""
}

e2e_is_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }

# Waits until the active window is one of the program's titled exactly TITLE (a dialog over
# a dialog of the same title counts once it is in front); its id goes to E2E_WINDOW.
e2e_wait_window() {
    E2E_WINDOW=""
    e2e_wait "an active window titled \"$1\"" e2e_active_titled "$1"
}

# The same for a second window of that title over the one in E2E_WINDOW (a question that a
# dialog asks under its own title).
e2e_wait_window_over() {
    local under=$E2E_WINDOW
    e2e_wait "a window titled \"$1\" over $under" e2e_active_titled_not "$1" "$under"
}

e2e_active_titled_not() { e2e_active_titled "$1" && [ "$E2E_WINDOW" != "$2" ]; }

e2e_active_titled() {
    local w
    w=$(xdotool getactivewindow) || return 1
    [ "$(xdotool getwindowname "$w")" = "$1" ] || return 1
    [ "$(xdotool getwindowpid "$w")" = "$E2E_APP_PID" ] || return 1
    E2E_WINDOW=$w
}

# Is a window of the program titled exactly TITLE shown, other than the window EXCEPT if given?
# (Names are compared here: a search by name misses the windows that carry only the newer name
# property.)
e2e_window_shown() {
    local w
    for w in $(xdotool search --onlyvisible --pid "$E2E_APP_PID" 2>/dev/null); do
        [ "$w" != "${2:-}" ] && [ "$(xdotool getwindowname "$w")" = "$1" ] && return 0
    done
    return 1
}
e2e_window_gone() { ! e2e_window_shown "$1"; }

e2e_wait_window_gone() { e2e_wait "the window \"$1\" to close" e2e_window_gone "$1"; }

# Keys as xdotool names them (ctrl+t, Return, shift+Tab...), typed into the active window.
e2e_key() { xdotool key --delay 30 "$@" || e2e_fail "xdotool key $*"; }
e2e_type() { xdotool type --delay 20 -- "$1" || e2e_fail "xdotool type"; }

# A click at screen point X Y (after --frame: at X Y of the frame's client area, the menu bar at
# its top), with the modifier keys named after it held down (shift, ctrl).
e2e_click() {
    local in=() mod
    [ "$1" = --frame ] && in=(--window "$E2E_FRAME") && shift
    xdotool mousemove --sync "${in[@]}" "$1" "$2" || e2e_fail "mousemove ${in[*]} $1 $2"
    shift 2
    for mod in "$@"; do xdotool keydown "$mod"; done
    xdotool click 1
    for mod in "$@"; do xdotool keyup "$mod"; done
}

# File ▸ (item by its mnemonic or its position keys): e2e_menu File x
e2e_menu() {
    local title=$1 x
    shift
    case $title in
    File) x=20 ;;
    Edit) x=55 ;;
    Package) x=110 ;;
    Window) x=175 ;;
    Help) x=222 ;;
    *) e2e_fail "no menu $title" ;;
    esac
    e2e_click --frame "$x" 10
    e2e_wait "the $title menu to open" e2e_other_window_shown
    e2e_key "$@"
}

# Menus and alerts are windows of the program titled like the frame; is one of them shown?
e2e_other_window_shown() { e2e_window_shown Ortix-Kelvane "$E2E_FRAME"; }

# An alert (a note, a question) is titled like the frame: waits for it to be the active window.
e2e_wait_alert() { e2e_wait "an alert" e2e_active_titled_not Ortix-Kelvane "$E2E_FRAME"; }

e2e_wait_alert_gone() { e2e_wait "the alert to close" eval '! e2e_other_window_shown'; }

# Closes the frame as its close box would, through the window manager (Alt+F4).
e2e_close_frame() {
    xdotool windowactivate --sync "$E2E_FRAME" || e2e_fail "cannot activate the frame"
    e2e_key alt+F4
}

# ---- the list windows on the screen ------------------------------------------------------------

# One line "LEFT TOP RIGHT" per list window whose header strip is wholly visible, top first.
e2e_list_headers() { python3 "$E2E_SCREEN" headers "$E2E_WORK/fb/Xvfb_screen0"; }

e2e_list_count_is() { [ "$(e2e_list_headers | wc -l)" -eq "$1" ]; }

e2e_wait_list_count() { e2e_wait "$1 list window(s) on the screen" e2e_list_count_is "$1"; }

# The only wholly visible list window (the front one when they overlap) has its list area's
# top-left corner at X Y.
e2e_front_list_at() { [ "$(e2e_list_headers)" = "$1 $(($2 - 17)) $(($1 + LIST_RIGHT - LIST_LEFT))" ]; }

# Takes the Nth list window (from 1, top first) as the one the row functions act on.
e2e_use_list() {
    local line
    line=$(e2e_list_headers | sed -n "${1:-1}p")
    [ -n "$line" ] || e2e_fail "no list window $1 on the screen"
    read -r LIST_LEFT LIST_TOP LIST_RIGHT <<<"$line"
    LIST_TOP=$((LIST_TOP + 17)) # the header strip and its one-pixel gap
}

# The row height, measured by selecting row 0 with a plain click (with the Down key when the
# argument is "key") and reading the band it inverts.
e2e_measure_rows() {
    if [ "${1:-}" = key ]; then e2e_key Down; else e2e_click $((LIST_LEFT + 20)) $((LIST_TOP + 3)); fi
    e2e_wait "row 0 to be selected" e2e_band_at_top
}

# Is a dark band taller than 4 pixels at the top of the list? Its height goes to E2E_ROW_HEIGHT.
e2e_band_at_top() {
    local start
    read -r start E2E_ROW_HEIGHT < <(python3 "$E2E_SCREEN" band "$E2E_WORK/fb/Xvfb_screen0" \
        "$LIST_LEFT" "$LIST_TOP" "$LIST_RIGHT")
    [ "$start" -eq "$LIST_TOP" ] && [ "$E2E_ROW_HEIGHT" -gt 4 ]
}

# A click on row R (from 0) of the list, with modifiers: e2e_click_row 3 shift
e2e_click_row() {
    local r=$1
    shift
    e2e_click $((LIST_LEFT + 20)) $((LIST_TOP + r * E2E_ROW_HEIGHT + E2E_ROW_HEIGHT / 2)) "$@"
}

# The selection of the first rows as shown: one digit a row, 1 inverted (selected), 0 plain.
e2e_rows() {
    python3 "$E2E_SCREEN" rows "$E2E_WORK/fb/Xvfb_screen0" "$LIST_LEFT" "$LIST_TOP" \
        "$LIST_RIGHT" "$E2E_ROW_HEIGHT" "$1"
}

e2e_rows_are() { [ "$(e2e_rows ${#1})" = "$1" ]; }

e2e_expect_rows() { E2E_WHY="e2e_rows ${#1}" e2e_wait "rows shown as $1" e2e_rows_are "$1"; }

# ---- the package editor and its field editors -------------------------------------------------

# Where the first package editor opens over the list window in use, and its first field editor:
# each 18 pixels right of and below the window before (a window's bounds are its client area; the
# list's begins at its header strip, 17 pixels above the list area).
e2e_editor_places() {
    EDIT_LEFT=$((LIST_LEFT + 18)) EDIT_TOP=$((LIST_TOP - 17 + 18))
    FIELD_LEFT=$((EDIT_LEFT + 18)) FIELD_TOP=$((EDIT_TOP + 18))
}

# The colours of the points X Y X Y... on one line, "R G B " each, read from the screen at once.
e2e_colours_at() { python3 "$E2E_SCREEN" colour "$E2E_WORK/fb/Xvfb_screen0" "$@" | tr '\n' ' '; }

# The editor's header has a 1-pixel separator line at its vertical 40, on white.
e2e_editor_shown() {
    local x=$((EDIT_LEFT + 200)) y=$((EDIT_TOP + 40))
    [ "$(e2e_colours_at "$x" "$y" "$x" $((y - 1)))" = "0 0 0 255 255 255 " ]
}
# A field editor's rows area is painted with the gray pattern (black beside grey 187) below its
# rows; there the package editor shows its white item list.
e2e_field_editor_shown() {
    local x=$((FIELD_LEFT + 20)) y=$((FIELD_TOP + 140)) c
    c=$(e2e_colours_at "$x" "$y" $((x + 1)) "$y")
    [ "$c" = "0 0 0 187 187 187 " ] || [ "$c" = "187 187 187 0 0 0 " ]
}
e2e_field_editor_gone() { ! e2e_field_editor_shown; }

# A click at a point of the editor's header pane (the top 124 pixels of its client area).
e2e_click_header() { e2e_click $((EDIT_LEFT + $1)) $((EDIT_TOP + $2)); }

# A double click on the first row of the editor's item list: its field editor opens.
e2e_open_first_item() {
    xdotool mousemove --sync $((EDIT_LEFT + 40)) $((EDIT_TOP + 124 + 5)) || e2e_fail "mousemove"
    xdotool click --repeat 2 --delay 80 1
    e2e_wait "the field editor" e2e_field_editor_shown
}

# ---- files and the end of the program ----------------------------------------------------------

# The program writes text with CR LF line ends; EXPECTED is written with plain line ends. Polls,
# since the file may still be being written when it first appears.
e2e_expect_text() {
    sed 's/$/\r/' "$2" >"$E2E_WORK/expected.crlf"
    E2E_WHY="diff $1 $E2E_WORK/expected.crlf" e2e_wait "$1 to be $2" cmp -s "$1" "$E2E_WORK/expected.crlf"
}

# FILE still holds exactly the bytes of COPY.
e2e_expect_same() { cmp -s "$1" "$2" || e2e_fail "$1 was changed"; }

# The names that qpk lists for FILE, compared with the words given.
e2e_expect_list() {
    local file=$1 got
    shift
    got=$("$E2E_QPK" list "$file") || e2e_fail "qpk list $file failed"
    [ "$got" = "$(printf '%s\n' "$@")" ] || e2e_fail "qpk list $file gave: $got"
    "$E2E_QPK" check "$file" >"$E2E_WORK/check.out" || e2e_fail "qpk check $file: $(cat "$E2E_WORK/check.out")"
}

# Nothing lies beside the package file in the work folder: no journal, no compacted copy, no
# temporary file.
e2e_expect_nothing_beside() {
    local stray
    stray=$(ls -A "$E2E_WORK" | grep -E "^$1-|\.TMP\$" || true)
    [ -z "$stray" ] || e2e_fail "beside $1: $stray"
}

e2e_app_running() { kill -0 "$E2E_APP_PID" 2>/dev/null; }

# Waits for the program to end and checks its exit code.
e2e_expect_exit() {
    e2e_wait "the program to end" eval '! e2e_app_running'
    wait "$E2E_APP_PID"
    E2E_APP_CODE=$?
    E2E_APP_PID=""
    [ "$E2E_APP_CODE" -eq "$1" ] || e2e_fail "exit code $E2E_APP_CODE, expected $1"
}
