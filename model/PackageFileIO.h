// Package files on disk: opening (the package list read in one pass over the record file),
// saving, reverting and closing, and the entry operations that reach the record file (getImage,
// setImage, writeEntry and purgeEntry, declared in PackageFile.h). Errors are returned as codes;
// the callers show them.
#pragma once
#include "model/PackageFile.h"
#include "model/RecordFile.h"

#include <functional>
#include <string>

// Opens the record file at path (FilePerm::readWrite: for writing) with the progress callbacks
// installed and reads the package list: one entry per type 1 record, in file order, holding its
// record id and display name. On failure *out is nullptr and nothing is left in memory; fBsyErr
// for writing when another program has the file open for writing (RecordFile::lockHolder says
// who).
OSErr openPackageFile(const std::string& path, FilePerm perm, RecordFileProgress progress,
                      PackageFile** out);
// Creates an empty package file on disk (replacing any file of that name) and opens it.
OSErr createPackageFile(const std::string& path, RecordFileProgress progress, PackageFile** out);

// Appends the package list read from the record file to the (empty) package list of f. On a
// failure the entries read so far stay in the list.
OSErr readPackageList(PackageFile* f);

// Carries the edits of every editor open on the file's packages into their entries (f->editors),
// then writes every modified entry in list order (all the new records are written before the old
// ones are deleted), deletes the records of the discard list and empties it, rebuilds the class
// index when it is out of date, and purges the images of unmodified entries without an editor,
// all in one transaction of the record file. An entry whose image is not valid is not written:
// it keeps its stored record (if any) and stays modified. fileMovedErr, before anything is
// written, when the path no longer names the file open. On any error the transaction is rolled
// back: the file is as it was before the save, and every entry keeps its image, record and
// modified mark (editors that committed keep their committed images), ready for the next save.
OSErr savePackageFile(PackageFile* f);

// Disposes of every entry of both lists and reads the package list again from the file.
OSErr revertPackageFile(PackageFile* f);

// How the record file of a package file is closed: complete (compacted when records were
// deleted, the index rebuilt when out of date, the header and leader written) or forced (marked
// read-only first, so that nothing more is written).
enum class RecordClose { complete, forced };

// Closes the record file. On failure the package file stays open with every entry intact (and a
// complete close that failed has changed nothing in the file); on success the caller disposes of
// it. A complete close of a file that the path no longer names writes nothing and fails with
// fileMovedErr. *notCompacted tells why a close that succeeded did not compact the file.
OSErr closePackageFileRecords(PackageFile* f, RecordClose how, OSErr* notCompacted = nullptr);
