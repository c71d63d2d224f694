#!/usr/bin/env bash
# The package editor from the keyboard: Ctrl+E opens the selected package's editor with its name
# to type over, the new name is typed, Tab moves to the prefix, Save writes the edits of the open
# editor, and qpk reads the file back with the new name and prefix.
. "$(dirname "$0")/../driver.sh"
e2e_init
e2e_open_parts_list # R1, SOT23_T, PLCC20; row 0 (R1) selected
e2e_expect_rows 100

e2e_step "Open Editor on R1, the name typed over, the prefix after a Tab"
e2e_key ctrl+e
e2e_wait "the editor to cover the list" eval '! e2e_rows_are 100'
e2e_key End BackSpace BackSpace
e2e_type "RES10"
e2e_key Tab
e2e_type "rn "
python3 "$E2E_SCREEN" png "$E2E_WORK/fb/Xvfb_screen0" "$E2E_WORK/editor.png"

e2e_step "Save writes the open editor's edits"
e2e_key ctrl+s
e2e_wait "the save" eval '"$E2E_QPK" list parts.qpk | grep -q "^RES10$"'
e2e_wait "the prefix" eval '"$E2E_QPK" export parts.qpk - | grep -q "^RES10,RN,AX"'

e2e_step "File > Exit quits without asking"
e2e_menu File x
e2e_expect_exit 0
# The changed package was written as a new record before its old one was deleted: with no free
# block in the file it went to the end, and a file lists its packages in the order they are stored.
e2e_expect_list parts.qpk SOT23_T PLCC20 RES10
