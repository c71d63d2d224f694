#!/usr/bin/env bash
# Save As Text (Ctrl+T) through the file dialog: Return takes the default name beside the work
# folder, a typed path without extension gets ".txt", and the package file itself is refused
# with a note, leaving it unchanged. The frame's close box (Alt+F4) then quits with code 0.
. "$(dirname "$0")/../driver.sh"
e2e_init
DATA="$E2E_DIR/data"
e2e_parts_library parts.qpk             # R1, SOT23_T, PLCC20
cp parts.qpk parts.orig
mkdir out

e2e_start_app parts.qpk
e2e_wait_list_count 1

e2e_step "Return in the dialog takes the default name"
e2e_key ctrl+t
e2e_wait_window "Save text as:"
e2e_key Return
e2e_wait_window_gone "Save text as:"
e2e_expect_text parts.TXT "$DATA/parts.expected"

e2e_step "a typed path without extension"
e2e_key ctrl+t
e2e_wait_window "Save text as:"
e2e_key ctrl+a
e2e_type "$E2E_WORK/out/exported"
e2e_key Return
e2e_wait_window_gone "Save text as:"
e2e_expect_text out/exported.txt "$DATA/parts.expected"

e2e_step "the package file itself is refused"
e2e_key ctrl+t
e2e_wait_window "Save text as:"
e2e_key ctrl+a
e2e_type "$E2E_WORK/parts.qpk"
e2e_key Return
e2e_wait_window_over "Save text as:" # the dialog asks whether to replace the file
e2e_key alt+y
e2e_wait_alert # "You cannot replace the original file."
e2e_key Return
e2e_wait_alert_gone
e2e_expect_same parts.qpk parts.orig

e2e_step "the close box quits"
e2e_close_frame
e2e_expect_exit 0
e2e_expect_list parts.qpk R1 SOT23_T PLCC20
