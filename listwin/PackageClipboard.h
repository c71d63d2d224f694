// The program's clipboards: the package clipboard, the item clipboard of the package editors,
// and their clearing.
//
// The package clipboard is a package file in no open list, with no window and no record file
// (model/LibraryOps.h makes one). Its entries hold their images in memory, with record id 0 and
// the modified mark; it lives only in the program (nothing reaches the host's clipboard) and
// survives the closing of the package file its packages came from.
#pragma once
#include "model/Package.h"
#include "model/PackageFile.h"

// The package clipboard, or nullptr when there is none.
PackageFile* packageClipboard();
// True when there is a package clipboard with at least one package to paste.
bool clipboardHoldsList();
// Makes clipboard (owned from now on) the package clipboard, disposing of the one before.
void setPackageClipboard(PackageFile* clipboard);
void disposePackageClipboard();

// The item clipboard: the sections or net items last cut or copied in any package editor;
// nullptr while empty. Setting it disposes of the one before.
PackageRecord* itemClipboard();
void setItemClipboard(PackageRecord* clip);
bool itemClipboardHolds();

// Empties the text scrap and both clipboards. Every Cut or Copy, of packages, of sections or net
// items, or of text in a field editor window, clears the clipboards first, so that only the
// newest of them holds anything.
void clearClipboards();
