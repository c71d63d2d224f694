// Import reports: the report of an import code, with its marked line read again from the file.
#include "textfmt/ImportReport.h"

#include "toolbox/core/StringTable.h"

Str255 importMessage(int code) {
    return GetIndString(StringListId::importErrors, code - 1);
}

ImportError describeImportError(FileRef file, std::int16_t code, long line, long lineStart,
                                const char* parserText) {
    ImportError e;
    e.code = code;
    e.message = importMessage(code);
    e.lineNumber = line;
    if (code == kImportSyntax && parserText) e.parserText = parserText;
    long saved = 0;
    if (GetFPos(file, &saved) != noErr) return e;
    char text[255];
    long count = sizeof text;
    if (SetFPos(file, FilePosMode::fromStart, lineStart) == noErr) {
        const OSErr err = FSRead(file, &count, text);
        if (err != noErr && err != eofErr) count = 0;
        long n = 0;
        while (n < count && text[n] != '\r' && text[n] != '\n')
            ++n;
        e.lineText.assign(text, static_cast<std::size_t>(n));
    }
    SetFPos(file, FilePosMode::fromStart, saved);
    return e;
}
