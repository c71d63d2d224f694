// The quick reading of a piece of the text: the lines of the usual form read straight from the
// bytes, without the lexer's buffer and the parser's tables. Internal to textfmt.
//
// The usual form is what the export writes and what nearly every librarian's text holds: each
// package a header line (name, prefix, then none or one to four shape fields after blanks at
// most, the shape fields perhaps empty), its net lines, then its section lines and blank lines,
// every field of at most 255 characters, every pin and pair kept, every number within 32 bits and
// every pair count as announced, the lines ending in CR LF, CR or LF. Anything else — a report of
// any code, a syntax error, blank lines at the start, more than 26 sections — makes the quick
// reading give up, and the piece is parsed by ImportParser instead.
#pragma once
#include "textfmt/ImportPieces.h"

// Reads a piece that starts at the file position start, as ImportParser::runPiece parses it.
// True only when runPiece would return true, with the log filled exactly as runPiece fills it.
// False when the piece holds anything but lines of the usual form, ending right after the line
// end of a section line or of a blank line after one; the log is then left in any state, for the
// caller to clear. May throw std::bad_alloc (the log grows).
bool parsePieceQuickly(const unsigned char* bytes, long size, long start, PieceLog* log);
