#!/usr/bin/env bash
# The sample library named on the command line opens in its list window; plain clicks,
# Shift-clicks, Ctrl-clicks and Select All (Ctrl+A) select rows as shown, and File ▸ Exit
# ends the program with code 0, leaving the file as it was.
. "$(dirname "$0")/../driver.sh"
e2e_init
cp "$E2E_SAMPLE" sample.qpk
"$E2E_QPK" list sample.qpk >before.list

e2e_start_app sample.qpk
e2e_step "the list window is shown"
e2e_wait_list_count 1
e2e_use_list 1
e2e_measure_rows # selects row 0

e2e_step "a plain click selects one row"
e2e_click_row 3
e2e_expect_rows 00010000000000
e2e_step "Shift-click extends to the row clicked"
e2e_click_row 6 shift
e2e_expect_rows 00011110000000
e2e_step "Ctrl-click toggles one row"
e2e_click_row 4 ctrl
e2e_expect_rows 00010110000000
e2e_click_row 9 ctrl
e2e_expect_rows 00010110010000
e2e_step "Shift-click between two ranges keeps the far end as anchor"
e2e_click_row 8 shift
e2e_expect_rows 00011111100000
e2e_step "Select All marks every row"
e2e_key ctrl+a
e2e_expect_rows 11111111111111
e2e_step "a plain click leaves one row"
e2e_click_row 13
e2e_expect_rows 00000000000001

e2e_step "File > Exit quits"
e2e_menu File x
e2e_expect_exit 0
e2e_expect_list sample.qpk $(cat before.list)
