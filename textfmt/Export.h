// Text export: writes the Packages of a package file as text, in the layout the import reads.
//
// One Package is its header line (the field text without trailing TAB, LF and CR, TABs turned
// into commas), then one line per net item (TAB, backslash, the net text with commas), then one
// line per section (TAB, "class,count", then TAB before each pair as "unpackaged,packaged"); every
// line ends with CR LF. Invalid images are skipped.
#pragma once
#include "model/PackageFile.h"
#include "model/PackageFileIO.h"
#include "model/RecordFile.h"
#include "resources/Types.h"
#include "toolbox/core/Memory.h"

#include <cstddef>
#include <functional>
#include <string>

// The export's own refusal: the text file would replace the package file being exported. Its
// message is exportErrorText(kReplaceOriginalErr); every other code is a file error.
constexpr OSErr kReplaceOriginalErr = -30001;
const char* exportErrorText(OSErr err); // "You cannot replace the original file.", else nullptr

// Appends the text of one image (host byte order) to out. False, with nothing appended, when the
// image is malformed. Validity is the caller's test.
bool appendImageText(const char* data, std::size_t length, std::string* out);
std::string imageToText(Handle image); // empty when malformed
// The same from a record's bytes as stored (big-endian), for a well-formed image of a valid
// Package; false, with nothing appended, for any other. Converts as the record is, without
// copying or swapping it first.
bool appendRecordText(const unsigned char* data, std::size_t length, std::string* out);

struct ExportHooks {
    // Packages converted so far and their number; called before a failed write stops the
    // export, so that every Package counted is in the text file.
    std::function<void(long done, long total)> progress;
};

// Writes every valid Package of file, in list order (the edits of an editor open on one carried
// into its entry first, through file->editors; an error there stops the export), to a text file at
// textPath (created with creator "ttxt" and type "TXT", cut to length 0). Images fetched from the
// file are purged again when unmodified. Stops at the first image that cannot be read and at the
// first write error, returning that code, with every Package converted before the failure written
// out; returns kReplaceOriginalErr, writing nothing, when textPath is the package file itself.
// Another open package file at textPath is the caller's to close first, without a prompt (the GUI
// does it through its close package file operation).
OSErr exportText(PackageFile* file, const std::string& textPath, const ExportHooks& hooks = {});

// The same text written straight from the type 1 records of a record file, in file order (the
// list order of a package file just opened), one record in memory at a time. Its progress hook
// receives the file position of the record just converted (and 0 as the total).
OSErr exportRecordFile(RecordFile& records, const std::string& textPath,
                       const ExportHooks& hooks = {});
