#!/usr/bin/env bash
# A second start hands its file to the running program and ends with code 1; the new list
# window is cascaded in front. A click brings the window behind to the front, Ctrl+W closes
# the front one, and the remaining window's file is then the current one (Save As Text offers
# its name). Closing the last window leaves none; File > Exit quits with code 0.
. "$(dirname "$0")/../driver.sh"
e2e_init
DATA="$E2E_DIR/data"
e2e_parts_library first.qpk
cp first.qpk second.qpk

e2e_start_app first.qpk
e2e_wait_list_count 1
e2e_use_list 1
read -r X1 Y1 <<<"$LIST_LEFT $LIST_TOP"

e2e_step "a second start hands its file over"
e2e_run_other_instance second.qpk
[ "$E2E_OTHER_CODE" -eq 1 ] || e2e_fail "the second instance ended with $E2E_OTHER_CODE"
e2e_wait "the second window, cascaded in front" e2e_front_list_at $((X1 + 18)) $((Y1 + 18))

e2e_step "a click on the window behind brings it to the front"
e2e_click $((X1 + 4)) $((Y1 + 150))
e2e_wait "the first window in front" e2e_front_list_at "$X1" "$Y1"

e2e_step "Ctrl+W closes the front window"
e2e_key ctrl+w
e2e_wait "the second window alone" e2e_front_list_at $((X1 + 18)) $((Y1 + 18))
e2e_key ctrl+t
e2e_wait_window "Save text as:"
e2e_key Return
e2e_wait_window_gone "Save text as:"
e2e_expect_text second.TXT "$DATA/parts.expected"
[ ! -e first.TXT ] || e2e_fail "the closed file was exported"

e2e_step "closing the last window"
e2e_key ctrl+w
e2e_wait_list_count 0
e2e_menu File x
e2e_expect_exit 0
e2e_expect_list first.qpk R1 SOT23_T PLCC20
e2e_expect_list second.qpk R1 SOT23_T PLCC20
