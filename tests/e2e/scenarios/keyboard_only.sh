#!/usr/bin/env bash
# The keyboard alone: Open takes a path typed relative to the folder it shows (the one the
# program was started in) and an absolute one; Down, typed letters, Home, Shift+Down, Up and End
# select; Delete removes; Return opens the editor of the selection; Save As Text starts in the
# folder of the current package file; qpk reads the saved files back.
. "$(dirname "$0")/../driver.sh"
e2e_init
mkdir lib
e2e_parts_library lib/parts.qpk # R1, SOT23_T, PLCC20
e2e_parts_library other.qpk
e2e_start_app

e2e_step "Open takes a relative path, Down selects the first row"
e2e_key ctrl+o
e2e_wait_window "Open"
e2e_type "lib/parts.qpk"
e2e_key Return
e2e_wait_list_count 1
e2e_use_list 1
e2e_measure_rows key
e2e_expect_rows 100

e2e_step "a typed letter, Home, Shift+Down, Delete, Up"
e2e_type "p"
e2e_expect_rows 001
e2e_key Home shift+Down
e2e_expect_rows 110
e2e_key Delete
e2e_expect_rows 000
e2e_key Up
e2e_expect_rows 100

e2e_step "Return opens the editor of PLCC20; its new name is saved"
e2e_key Return
e2e_wait "the editor to cover the list" eval '! e2e_rows_are 100'
e2e_type "PLCC44"
e2e_key ctrl+s
e2e_wait "the save" eval '"$E2E_QPK" list lib/parts.qpk | grep -q "^PLCC44$"'

e2e_step "Save As Text starts in the folder of the package file"
e2e_key ctrl+t
e2e_wait_window "Save text as:"
e2e_key ctrl+a
e2e_type "parts-text.txt"
e2e_key Return
e2e_wait_file lib/parts-text.txt

e2e_step "Open takes an absolute path; End and Delete there, then Save"
e2e_key ctrl+o
e2e_wait_window "Open"
e2e_type "$E2E_WORK/other.qpk"
e2e_key Return
e2e_wait_list_count 1 # over the editor, which hid the first list's header
e2e_key End Delete ctrl+s
e2e_wait "the save" eval '[ "$("$E2E_QPK" list other.qpk | wc -l)" -eq 2 ]'

e2e_menu File x
e2e_expect_exit 0
e2e_expect_list lib/parts.qpk PLCC44
e2e_expect_list other.qpk R1 SOT23_T
