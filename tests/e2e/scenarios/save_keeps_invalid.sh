#!/usr/bin/env bash
# Nothing is dropped unasked. Ctrl+W on a package whose prefix was erased asks (Control held for
# the key equivalent does not answer), and so it does for a new package with only a name. With
# R1's only section deleted too, Save writes nothing of R1: a note names it and the file keeps
# its saved form, which qpk shows.
. "$(dirname "$0")/../driver.sh"
e2e_init
e2e_open_parts_list # R1, SOT23_T, PLCC20; row 0 (R1) selected
e2e_editor_places

e2e_step "R1's prefix erased, Ctrl+W: the question, answered Cancel"
e2e_key ctrl+e
e2e_wait "the package editor" e2e_editor_shown
e2e_key Tab BackSpace
e2e_key ctrl+w
e2e_wait_alert
e2e_key Return # Cancel
e2e_wait_alert_gone
e2e_editor_shown || e2e_fail "the editor closed"

e2e_step "Its only section deleted, the list clicked, Save: a note, R1 kept as saved"
e2e_click $((EDIT_LEFT + 40)) $((EDIT_TOP + 124 + 5))
e2e_key Delete
e2e_click $((LIST_LEFT + 5)) $((LIST_TOP + 2 * E2E_ROW_HEIGHT + 3))
e2e_key ctrl+s
e2e_wait_alert
e2e_key Return
e2e_wait_alert_gone
"$E2E_QPK" show parts.qpk R1 >r1.txt || e2e_fail "R1 is gone from the file"
grep -q "^Designator Prefix: R$" r1.txt && grep -q "Class ID 12," r1.txt ||
    e2e_fail "R1 changed: $(cat r1.txt)"

e2e_step "Create, a name typed, Ctrl+W: the question, answered Cancel"
e2e_key ctrl+k
e2e_type "NEWPKG"
e2e_key ctrl+w
e2e_wait_alert
e2e_key Return # Cancel
e2e_wait_alert_gone

e2e_step "File > Exit asks to save; Discard quits"
e2e_menu File x
e2e_wait_alert
e2e_key Tab Tab space # Save, Cancel, then Discard
e2e_expect_exit 0
e2e_expect_list parts.qpk R1 SOT23_T PLCC20
"$E2E_QPK" show parts.qpk R1 | cmp -s - r1.txt || e2e_fail "R1 changed at the exit"
