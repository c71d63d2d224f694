#!/usr/bin/env bash
# The editing commands from the keyboard: Select All, Copy and Paste double the list with the
# copies selected at its end; Duplicate adds "R1+"; Find (Ctrl+F, text typed, Return) selects the
# first package whose name contains the text; Delete removes it; Save writes the file, which qpk
# then reads back name by name and checks. While the program has the file open, qpk may read it
# but not write it (the lock names the program, and qpk set leaves the file as it was); the Save and the Close (which compacts the
# file) leave nothing beside it, neither a journal nor a copy.
. "$(dirname "$0")/../driver.sh"
e2e_init
e2e_open_parts_list # R1, SOT23_T, PLCC20; row 0 (R1) selected
e2e_expect_rows 1000

e2e_step "Select All, Copy, Paste: the copies stand at the end, selected"
e2e_key ctrl+a
e2e_expect_rows 1110
e2e_key ctrl+c
e2e_key ctrl+v
e2e_expect_rows 0001110

e2e_step "Duplicate of R1 adds R1+ at the end, the only selection"
e2e_click_row 0
e2e_expect_rows 1000000
e2e_key ctrl+d
e2e_expect_rows 00000010

e2e_step "Find with the last package selected starts at the top"
e2e_key ctrl+f
e2e_wait_alert # the Find dialog
e2e_type "sot"
e2e_key Return
e2e_wait_alert_gone
e2e_expect_rows 0100000

e2e_step "Delete removes the package found, Save writes the file"
e2e_key Delete
e2e_expect_rows 0000000
e2e_key ctrl+s
e2e_wait "the save" eval '"$E2E_QPK" list parts.qpk | grep -q "R1+"'
e2e_expect_nothing_beside parts.qpk

e2e_step "qpk recover and qpk set refuse while the program holds the file, naming it"
cp parts.qpk saved.qpk
"$E2E_QPK" recover parts.qpk >"$E2E_WORK/recover.out" 2>&1 && e2e_fail "qpk recover wrote a file in use"
grep -q "File is in use. It is open for writing in process $E2E_APP_PID (ortix-kelvane)" \
    "$E2E_WORK/recover.out" || e2e_fail "qpk recover said: $(cat "$E2E_WORK/recover.out")"
code=0
"$E2E_QPK" set parts.qpk R1 shape=SOIC 2>"$E2E_WORK/set.out" || code=$?
[ "$code" = 2 ] && grep -q "parts.qpk: File is in use. It is open for writing in process $E2E_APP_PID" \
    "$E2E_WORK/set.out" || e2e_fail "qpk set exited with $code: $(cat "$E2E_WORK/set.out")"
e2e_expect_same parts.qpk saved.qpk
rm saved.qpk

e2e_step "Close compacts the file and leaves nothing beside it"
e2e_key ctrl+w
e2e_wait_list_count 0
e2e_expect_nothing_beside parts.qpk
"$E2E_QPK" stats parts.qpk | grep -q "^free blocks: 0 " || e2e_fail "not compacted"

e2e_step "File > Exit quits without asking"
e2e_menu File x
e2e_expect_exit 0
e2e_expect_list parts.qpk R1 PLCC20 R1 SOT23_T PLCC20 R1+
[ "$("$E2E_QPK" recover parts.qpk)" = "parts.qpk: nothing to recover" ] || e2e_fail "qpk recover"
