#!/usr/bin/env bash
# A copy is the package as its windows show it: SOT23_T found, its editor and the field editor
# of its section opened, a new Class ID typed; then the list window clicked, Cut, Paste and Save.
# The pasted package holds the new Class ID.
. "$(dirname "$0")/../driver.sh"
e2e_init
e2e_open_parts_list # R1, SOT23_T, PLCC20; row 0 (R1) selected
e2e_editor_places

e2e_step "SOT23_T found, its editor and its section's field editor: Class ID 2002 typed"
e2e_key ctrl+f
e2e_wait_alert # the Find dialog
e2e_type "sot"
e2e_key Return
e2e_wait_alert_gone
e2e_expect_rows 010
e2e_key ctrl+e
e2e_wait "the package editor" e2e_editor_shown
e2e_open_first_item
e2e_type "2002"

e2e_step "The list window clicked, Cut, Paste, Save"
e2e_click $((LIST_LEFT + 5)) $((LIST_TOP + E2E_ROW_HEIGHT + 3))
e2e_key ctrl+x ctrl+v ctrl+s

e2e_step "File > Exit quits without asking; the pasted SOT23_T holds 2002"
e2e_menu File x
e2e_expect_exit 0
e2e_expect_list parts.qpk R1 PLCC20 SOT23_T
"$E2E_QPK" show parts.qpk SOT23_T | grep -q "Class ID 2002," ||
    e2e_fail "the copy: $("$E2E_QPK" show parts.qpk SOT23_T)"
