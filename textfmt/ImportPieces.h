// The import of a large text in pieces parsed on worker threads: what the parse of one piece
// leaves for the import to take in order, and the entry point the import calls first.
// Internal to textfmt.
#pragma once
#include "textfmt/Import.h"
#include "textfmt/TextLexer.h"

#include <cstdint>
#include <vector>

// What parsing a piece of the text on its own leaves for the import to take in order: its
// reports of codes 5 to 7 and 9 and its Packages, flattened, each with the marked line of its time.
struct PieceEvent {
    std::int16_t code = kImportOk; // a report of this code; kImportOk: a Package
    long markedLine = 1;           // counted from 1 at the piece's first line
    long markedStart = 0;          // file position of the marked line's start
    std::uint32_t image = 0;       // a Package's image and display name: offsets into the
    std::uint32_t imageSize = 0;   // log's bytes
    std::uint32_t name = 0;
    std::uint32_t nameSize = 0;
};

struct PieceLog {
    std::vector<PieceEvent> events;
    std::vector<unsigned char> bytes;
    long lines = 0; // the lines the piece ends (its line ends)
    void clear() {
        events.clear();
        bytes.clear();
        lines = 0;
    }
};

// The sink of a piece: flattens each Package into the piece's log.
class PieceSink : public PackageSink {
public:
    PieceSink(PieceLog* log, const TextLexer* lexer) : log_(log), lexer_(lexer) {}
    OSErr storePackage(PackageRecord& pkg) override;

private:
    PieceLog* log_;
    const TextLexer* lexer_;
};

// Where the parse in line takes over from the pieces: a position at the start of a line, and
// that line's number.
struct ImportResume {
    long position = 0;
    long line = 1;
};

// What the import in pieces leaves to do: nothing (it failed while a piece's Packages were
// stored), or the rest of the text, from the resume point, for the parse in line.
enum class PiecesOutcome { importOver, resumeInLine };

// Imports what it can of a large text in pieces on worker threads (ImportPieces.cpp). With
// resumeInLine the rest of the text, from *resume, is for the parse in line, which goes on from
// *result. The file mark is left anywhere.
PiecesOutcome importPieces(FileRef file, long fileSize, PackageSink& sink, ImportReporter* reporter,
                           const ImportTuning& tuning, ImportResume* resume, ImportResult* result);
