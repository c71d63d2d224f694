#!/usr/bin/env bash
# The field editor keeps what it is given. A section of Class ID -3 takes a new pin pair and is
# saved with its sign; a Class ID typed over it stops at the digit that would not fit 32 bits. A
# net of pins 1 to 87, whose text holds 255 bytes, refuses the key that would lengthen it, so no
# pin is cut when it is saved. qpk shows what was saved.
. "$(dirname "$0")/../driver.sh"
e2e_init
printf 'NEG\tU\tDIP\n\t-3,1\t1,2\nNET87\tU\tDIP\n\t\\GND,%s\n\t5,0\n' "$(seq -s, 1 87)" |
    sed 's/$/\r/' >keep.crlf
e2e_library keep.crlf keep.qpk
e2e_start_app keep.qpk
e2e_wait_list_count 1
e2e_use_list 1
e2e_measure_rows # row 0 (NEG) selected
e2e_editor_places
show() { "$E2E_QPK" show keep.qpk "$1"; }

e2e_step "NEG's section -3 in its field editor: a pair added, Save"
e2e_key ctrl+e
e2e_wait "the package editor" e2e_editor_shown
e2e_open_first_item
# The Class ID has the focus; Tab goes through the pair (1, 2) to the empty row.
e2e_key Tab Tab Tab
e2e_type "5"
e2e_key Tab
e2e_type "6"
e2e_key ctrl+s
e2e_wait "the save" eval 'show NEG | grep -q "Class ID -3, 2 pin number changes: 1 -> 2, 5 -> 6"'

e2e_step "3000000000 typed over the Class ID: its last digit refused"
e2e_key Tab # from the last field to the Class ID, its text selected
e2e_type "3000000000"
e2e_key ctrl+s
e2e_wait "the save" eval 'show NEG | grep -q "Class ID 300000000, 2 pin"'
e2e_key ctrl+w
e2e_wait "the field editor to close" e2e_field_editor_gone
e2e_key ctrl+w
e2e_wait "the editor to close" eval '! e2e_editor_shown'

e2e_step "NET87's net: pin 1 typed as 10 stops at 1, the text being full"
e2e_click_row 1
e2e_key ctrl+e
e2e_wait "the package editor" e2e_editor_shown
e2e_click_header 197 111 # the Hidden Connections button
e2e_open_first_item
e2e_key Tab # pin 1, selected
e2e_type "10"
e2e_key ctrl+s

e2e_step "File > Exit quits without asking; every pin is saved whole"
e2e_menu File x
e2e_expect_exit 0
e2e_expect_list keep.qpk NEG NET87
show NET87 | grep -q "GND: $(seq -s ' ' 1 87)\$" || e2e_fail "the net was cut: $(show NET87)"
