#!/usr/bin/env bash
# Editing never drops data unasked, tried with real keys and read back with qpk: signed Class
# IDs that never wrap, a full net that refuses a longer pin, a Cut that takes what a field editor
# shows, Ctrl+W that asks although Control is down, and a Save that keeps the saved form of a
# package it cannot write, naming it in a note.
. "$(dirname "$0")/../driver.sh"
e2e_init
{
    cat "$E2E_DIR/data/parts.txt"
    printf 'NEG\tU\tDIP\n\t-3,1\t1,2\nNET87\tU\tDIP\n\t\\GND,%s\n\t5,0\n' "$(seq -s, 1 87)"
} | sed 's/$/\r/' >keep.crlf
e2e_library keep.crlf keep.qpk
e2e_start_app keep.qpk
e2e_wait_list_count 1
e2e_use_list 1
e2e_measure_rows # R1, SOT23_T, PLCC20, NEG, NET87
e2e_editor_places
show() { "$E2E_QPK" show keep.qpk "$1"; }
edit_row() { # the editor of the package on row R, nothing else being open over the list
    e2e_click_row "$1"
    e2e_key ctrl+e
    e2e_wait "the package editor" e2e_editor_shown
}
close_both() {
    e2e_key ctrl+w
    e2e_wait "the field editor to close" e2e_field_editor_gone
    e2e_key ctrl+w
    e2e_wait "the editor to close" eval '! e2e_editor_shown'
}
answer_cancel() { # a question, answered with its default button
    e2e_wait_alert
    e2e_key Return
    e2e_wait_alert_gone
}

e2e_step "NEG's section -3: a pair added, Save; then 3000000000 typed over it"
edit_row 3
e2e_open_first_item
e2e_key Tab Tab Tab # through the pair (1, 2) to the empty row
e2e_type "5"
e2e_key Tab
e2e_type "6"
e2e_key ctrl+s
e2e_wait "the save" eval 'show NEG | grep -q "Class ID -3, 2 pin number changes: 1 -> 2, 5 -> 6"'
e2e_key Tab # from the last field to the Class ID, its text selected
e2e_type "3000000000"
e2e_key ctrl+s
e2e_wait "the save" eval 'show NEG | grep -q "Class ID 300000000, 2 pin"'
close_both

e2e_step "NET87's full net: pin 1 typed as 10 stops at 1"
edit_row 4
e2e_click_header 197 111 # the Hidden Connections button
e2e_open_first_item
e2e_key Tab # pin 1, selected
e2e_type "10"
close_both

e2e_step "SOT23_T's Class ID typed as 2002 in its field editor; the list clicked, Cut, Paste"
edit_row 1
e2e_open_first_item
e2e_type "2002"
e2e_click $((LIST_LEFT + 5)) $((LIST_TOP + E2E_ROW_HEIGHT + 3))
e2e_key ctrl+x ctrl+v ctrl+s
e2e_wait "the save" eval 'show SOT23_T | grep -q "Class ID 2002,"'

e2e_step "R1's prefix erased, Ctrl+W asks; its only section deleted, the list clicked, Save"
edit_row 0
e2e_key Tab BackSpace ctrl+w
answer_cancel
e2e_click $((EDIT_LEFT + 40)) $((EDIT_TOP + 124 + 5))
e2e_key Delete
e2e_click $((LIST_LEFT + 5)) $((LIST_TOP + 2 * E2E_ROW_HEIGHT + 3))
e2e_key ctrl+s
answer_cancel # the note naming R1
show R1 >r1.txt || e2e_fail "R1 is gone from the file"
grep -q "^Designator Prefix: R$" r1.txt && grep -q "Class ID 12," r1.txt || e2e_fail "$(cat r1.txt)"

e2e_step "Create, a name typed, Ctrl+W asks; File > Exit asks to save, Discard quits"
e2e_key ctrl+k
e2e_type "NEWPKG"
e2e_key ctrl+w
answer_cancel
e2e_menu File x
e2e_wait_alert
e2e_key Tab Tab space # Save, Cancel, then Discard
e2e_expect_exit 0
e2e_expect_list keep.qpk R1 PLCC20 NEG NET87 SOT23_T
show R1 | cmp -s - r1.txt || e2e_fail "R1 changed at the exit"
show NET87 | grep -q "GND: $(seq -s ' ' 1 87)\$" || e2e_fail "the net was cut: $(show NET87)"
