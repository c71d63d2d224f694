#!/usr/bin/env bash
# By keys alone: Open takes a path relative to the folder it shows (where the program started);
# keys select, delete and open an editor; Save As Text starts in the package file's folder.
. "$(dirname "$0")/../driver.sh"
e2e_init
mkdir lib
e2e_parts_library lib/parts.qpk # R1, SOT23_T, PLCC20
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
e2e_key Delete Up
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

e2e_menu File x
e2e_expect_exit 0
e2e_expect_list lib/parts.qpk PLCC44
