// The File menu: New, Open (with the conversion of text files), Close with the save question,
// Save, Save As Text, Revert File and Exit, and the enabling of their items.
#pragma once
#include "listwin/MenuEnabling.h"
#include "model/PackageFile.h"
#include "resources/Commands.h"
#include "toolbox/gui/Windows.h"

#include <cstdint>
#include <string>

// A File menu command; false for commands it leaves to others (Close arrives at the front
// window as its close request) and for Exit when every package file closed (the toolbox then
// runs its quit routine).
bool fileCommand(std::int16_t command);
// Decides the File menu items (200-299).
bool fileMenuEnabling(MenuEnableRecord& rec);

// Opens path as a package file and shows its list window; a file already open only gets its
// window back. A file that is not a package file is ignored when it comes from the open
// document handler and offered for conversion otherwise. Returns the package file, or nullptr.
PackageFile* openFile(const std::string& path, bool fromHandler);

// The put-file dialog with prompt (empty: "Create new file:") and defaultName; creates an empty
// package file there and opens it for writing. protectedPath, when given, may not be chosen.
// A package file open at the chosen path is closed first, forced. With openWindow the new file
// joins the open list and its list window opens. nullptr when cancelled or on error (shown).
PackageFile* createFile(const std::string& prompt, const std::string& defaultName, bool openWindow,
                        const std::string& protectedPath = {});

// Closes a package file: the save question unless forced (or unmodified), the save, the record
// file, the list window. Returns true when the close was cancelled (the user's Cancel, or an
// error, which is shown); the package file then stays open.
bool closeFile(PackageFile* file, bool forced);
// Closes every open package file, newest first, not forced; true when one was cancelled.
bool closeAllFiles();
// Saves a package file; an error is shown and returned.
OSErr saveFile(PackageFile* file);

// "qpk" for "Parts.txt": everything from the first "." after the first character is replaced.
std::string replaceExtension(const std::string& name, const char* extension);

// Whether Exit is running (it selects the wording of the save question).
bool quitting();
// The filter the next Open dialog shows first (0-based).
int rememberedOpenFilter();
