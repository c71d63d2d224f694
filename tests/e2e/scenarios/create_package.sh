#!/usr/bin/env bash
# A package made from nothing: Create in the list window opens an editor on a new package; its
# name and prefix are typed, its shape chosen from the shapes popup and its parameters typed;
# in the item list two sections are created, each with a Class ID and pin swaps typed in its
# field editor, and after a click on the Hidden Connections button a net with its pins. The
# windows are closed from the keyboard, the file saved, the program quit, and qpk shows the
# saved package with the texts as the editor stores them (trimmed, pins and prefix upper case).
. "$(dirname "$0")/../driver.sh"
e2e_init
e2e_open_parts_list # R1, SOT23_T, PLCC20; row 0 (R1) selected

e2e_editor_places

# With E2E_SHOTS naming a folder, the top left of the frame, its title bar included, is saved
# there as NAME.png, the pointer moved out of the way first.
screenshot() {
    [ -n "${E2E_SHOTS:-}" ] || return 0
    local x y dx dy
    x=$(xwininfo -id "$E2E_FRAME" -frame | sed -n 's/.*Absolute upper-left X: *//p')
    y=$(xwininfo -id "$E2E_FRAME" -frame | sed -n 's/.*Absolute upper-left Y: *//p')
    dx=$(xwininfo -id "$E2E_FRAME" -frame | sed -n 's/.*Relative upper-left X: *//p')
    dy=$(xwininfo -id "$E2E_FRAME" -frame | sed -n 's/.*Relative upper-left Y: *//p')
    xdotool mousemove --sync $((x + 1000)) $((y + 700))
    python3 "$E2E_SCREEN" crop "$E2E_WORK/fb/Xvfb_screen0" "$E2E_SHOTS/$1.png" \
        $((x - dx)) $((y - dy)) 572 342 || e2e_fail "no screenshot"
}

e2e_step "Create opens an editor on a new package, its name selected"
e2e_key ctrl+k
e2e_wait "the package editor" e2e_editor_shown

e2e_step "Name and prefix typed, Tab between them"
e2e_type "DIP14_nand"
e2e_key Tab
e2e_type "u "

e2e_step "Shape HDIP chosen from the shapes popup, parameters typed"
# The shapes popup button is header item 8: top 51, left 282, bottom 67, right 301.
e2e_click_header 291 59
e2e_wait "the shapes menu" e2e_other_window_shown
# Custom, then (past the separator) ARRY, CCP, EURO, FLTPK, HDBS, HDIP: the seventh item.
e2e_key Down Down Down Down Down Down Down Return
e2e_wait "the shapes menu to close" eval '! e2e_other_window_shown'
# The choice selects parameter 1 (Pin Count); Tab goes on to parameter 2 (Row Space).
e2e_type "14"
e2e_key Tab
e2e_type " 300 "

e2e_step "Create New Section: Class ID and two pin swaps in its field editor"
e2e_key ctrl+k
e2e_wait "the field editor of section A" e2e_field_editor_shown
# The Class ID field has the focus; Tab moves into the first row, Return in the last field of
# the last row adds a row and moves to its first field.
e2e_type "7400"
e2e_key Tab
e2e_type "a"
e2e_key Tab
e2e_type "1"
e2e_key Return
e2e_type "b"
e2e_key Tab
e2e_type "2"
e2e_key ctrl+w
e2e_wait "the field editor to close" e2e_field_editor_gone

e2e_step "A second section likewise, with a pair left half empty"
e2e_key ctrl+k
e2e_wait "the field editor of section B" e2e_field_editor_shown
e2e_type "7401"
e2e_key Return
e2e_type " a "
e2e_key Return
e2e_type "4"
e2e_key Return
e2e_type "b"
e2e_key Tab
e2e_type "5"
e2e_key Return
e2e_type "c" # no packaged pin: the commit drops this pair
screenshot field-editor
e2e_key ctrl+w
e2e_wait "the field editor to close" e2e_field_editor_gone

e2e_step "Hidden Connections by its radio button, Create New Net: a name and two pins"
# The radio button stands where header item 18 was laid out: top 105, left 140, bottom 117,
# right 254.
e2e_click_header 197 111
e2e_key ctrl+k
e2e_wait "the field editor of the new net" e2e_field_editor_shown
e2e_type "vcc"
e2e_key Tab
e2e_type "14"
e2e_key Return
e2e_type "7"
e2e_key ctrl+w
e2e_wait "the field editor to close" e2e_field_editor_gone

e2e_step "Closing the editor asks nothing; Save writes the new package"
e2e_key ctrl+w
e2e_wait "the editor to close" eval '! e2e_editor_shown'
e2e_wait_list_count 1
e2e_key ctrl+s
e2e_wait "the save" eval '"$E2E_QPK" list parts.qpk | grep -q "^DIP14_nand$"'

e2e_step "File > Exit quits without asking"
e2e_menu File x
e2e_expect_exit 0
e2e_expect_list parts.qpk R1 SOT23_T PLCC20 DIP14_nand

e2e_step "qpk show prints what was typed, as the editor stores it"
cat >expected.txt <<'EOF'
Package Name: DIP14_nand
Designator Prefix: U
Shape: HDIP
Shape Parameters: 14, 300
Component Sections: 2
  1: Class ID 7400, 2 pin number changes: A -> 1, B -> 2
  2: Class ID 7401, 2 pin number changes: A -> 4, B -> 5
Hidden Connections: 1
  1: VCC: 14 7
EOF
"$E2E_QPK" show parts.qpk DIP14_nand >shown.txt || e2e_fail "qpk show failed"
diff shown.txt expected.txt >&2 || e2e_fail "qpk show differs from what was typed"
