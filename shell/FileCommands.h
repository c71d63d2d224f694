// The File menu: New, Open (with the conversion of text files), Close with the save question,
// Save, Save As Text, Revert File and Exit, and the enabling of their items.
#pragma once
#include "model/PackageFile.h"
#include "resources/Commands.h"
#include "toolbox/gui/Windows.h"

#include <cstdint>
#include <string>

// A File menu command; false for commands it leaves to others (Close arrives at the front
// window as its close request) and for Exit when every package file closed (the toolbox then
// runs its quit routine). The error a command ends with goes to *err, for the menu dispatcher
// to show; memFullErr, a file error here, is shown at once with the error alert.
bool fileCommand(std::int16_t command, OSErr* err);
// Decides the File menu items (200-299).
bool fileMenuEnabling(MenuEnableRecord& rec);

// What openFile does with a file that is not a package file: the Open command offers it for
// conversion from text, the open document handler (files dropped or handed over) ignores it.
enum class NonPackageFile { offerConversion, ignore };

// Opens path as a package file and shows its list window; a file already open only gets its
// window back. An error is shown (the open document handler's files and tests come here; the
// Open command returns its error instead). Returns the package file, or nullptr.
PackageFile* openFile(const std::string& path,
                      NonPackageFile nonPackage = NonPackageFile::offerConversion);

// Whether createFile puts the new file into the open list and opens its list window, or
// leaves it to the caller (the conversion fills it first).
enum class CreateMode { openWindow, fileOnly };

// The put-file dialog with prompt (empty: "Create new file:") and defaultName; creates an empty
// package file there and opens it for writing. protectedPath, when given, may not be chosen.
// A package file open at the chosen path is closed first, forced. Returns the error, not shown;
// *out is the new package file, nullptr when cancelled, refused (with a note) or on error.
OSErr createFile(const std::string& prompt, const std::string& defaultName, CreateMode mode,
                 const std::string& protectedPath, PackageFile** out);

// askToSave: the save question when the file is modified, worded for a close, or with
// askBeforeQuitting for Exit. forced: no question, and the record file is closed without
// writing anything.
enum class CloseMode { askToSave, askBeforeQuitting, forced };
// cancelled: the user's Cancel, or an error (shown); the package file stays open.

// Closes a package file: the save question, the save, the record file, the list window.
CloseResult closeFile(PackageFile* file, CloseMode mode);
// Closes every open package file, newest first, as mode says; stops at the first one that is
// cancelled.
CloseResult closeAllFiles(CloseMode mode);
// Saves a package file; an error is shown and returned. Packages the save did not write, because
// they are not valid, are named in a note (their last saved form stays in the file); a close
// that saves is then cancelled, the file still modified.
OSErr saveFile(PackageFile* file);

// "qpk" for "Parts.txt": everything from the first "." after the first character is replaced.
std::string replaceExtension(const std::string& name, const char* extension);

// The filter the next Open dialog shows first (0-based).
int rememberedOpenFilter();
