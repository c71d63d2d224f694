// Import reports: the code a failed store ends a text import with, and the report of an import
// code with its marked line. Internal to textfmt.
#pragma once
#include "textfmt/Import.h"
#include "toolbox/core/Files.h"

#include <cstdint>

// The code a failed store of a Package ends the import with: 8 when out of memory, else 1 (a file
// error, shown with the file error texts).
inline std::int16_t storeFailureCode(OSErr err) {
    return err == memFullErr ? kImportNoMemory : kImportErrorShown;
}

// The report of an import code: its message, the marked line and that line's text read again
// from the file (up to 255 bytes, cut at the first CR or LF).
ImportError describeImportError(FileRef file, std::int16_t code, long line, long lineStart,
                                const char* parserText);
