// Find and Find Again in the list window: the Find dialog (1001) that sets the search, and the
// selection of the next matching package of the current package file. The matching and the walk
// are the model's (model/PackageFind.h).
#pragma once
#include "model/PackageFind.h"

// The search Find and Find Again repeat, shared by every package file from start-up to quit.
PackageSearch& lastSearch();

// Runs the Find dialog on search: a popup choice takes effect at once and stays even when the
// dialog is cancelled; the text becomes the search text only when the dialog ends with Find.
// True for Find.
bool runFindDialog(PackageSearch& search);

enum class FindRun { find, again };
// Find (the dialog first) or Find Again (the dialog only while the search text is empty) on the
// current package file: the next match becomes the only selection and is revealed; when nothing
// matches the system beeps and nothing changes. An image that cannot be read is reported with
// the error alert and the search goes on.
void findCommand(FindRun run);
