#!/usr/bin/env bash
# Open (Ctrl+O) of a text file converts it: the Convert dialog refuses the text file itself
# with a note and converts nothing; its default name makes a package file that opens in its
# list window, holds the packages in text order, and exports back to the same text.
. "$(dirname "$0")/../driver.sh"
e2e_init
DATA="$E2E_DIR/data"
sed 's/$/\r/' "$DATA/parts.txt" >parts.txt # the import reads lines ended by CR
cp parts.txt parts.orig

e2e_start_app
e2e_step "the text file itself is refused as the package file"
e2e_key ctrl+o
e2e_wait_window "Open"
e2e_type "$E2E_WORK/parts.txt"
e2e_key Return
e2e_wait_window "Convert to package file:"
e2e_key ctrl+a
e2e_type "$E2E_WORK/parts.txt"
e2e_key Return
e2e_wait_window_over "Convert to package file:" # the dialog asks whether to replace it
e2e_key alt+y
e2e_wait_alert # "You cannot replace the original file!"
e2e_key Return
e2e_wait_alert_gone
e2e_expect_same parts.txt parts.orig
[ ! -e parts.qpk ] || e2e_fail "a package file was made"
e2e_list_count_is 0 || e2e_fail "a list window was opened"

e2e_step "the default name converts"
e2e_key ctrl+o
e2e_wait_window "Open"
e2e_type "$E2E_WORK/parts.txt"
e2e_key Return
e2e_wait_window "Convert to package file:"
e2e_key Return
e2e_wait_list_count 1
e2e_key ctrl+t
e2e_wait_window "Save text as:"
e2e_key ctrl+a
e2e_type "$E2E_WORK/back.txt"
e2e_key Return
e2e_expect_text back.txt "$DATA/parts.expected"

e2e_menu File x
e2e_expect_exit 0
e2e_expect_list parts.qpk R1 SOT23_T PLCC20
