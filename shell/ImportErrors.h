// How the conversion of a text file reports to the user: problems in the text through the error
// dialog (1003) with the message and the offending line, file errors through the error alert,
// and progress through the watch cursor.
#pragma once
#include "textfmt/Import.h"

#include <string>

class DialogImportReporter : public ImportReporter {
public:
    void importError(const ImportError& error) override;
    void fileError(OSErr err) override;
    void progress(long done, long total) override;
};

// Dialog 1003: "ERROR:", the message, "Error encountered on or before line N." and the framed
// line, each TAB in it shown as the character 134.
void showImportError(const ImportError& error);
// The line as the dialog shows it: TABs replaced by the character 134.
std::string importLineForDisplay(const std::string& line);
