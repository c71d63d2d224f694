// Standard file dialogs: StandardGetFile (open) and StandardPutFile (save) over lists of type
// filters.
//
// Filters travel as "description|pattern|" pairs. A description that starts with a backquote is
// used unchanged, less the backquote, with the pattern given; any other description is shown
// as "description (*.ext)" with the pattern "*.ext".
#pragma once
#include "toolbox/core/Files.h"
#include <span>
#include <string>
#include <string_view>

#include <QtContainerFwd>

struct FileTypeFilter {
    const char* description; // "`" first: shown as it is
    const char* pattern;     // an extension ("QPK", "*"), or patterns ("*.QPK;*.PKG") after "`"
};

// The "description|pattern|" pairs of a filter list.
std::string BuildFilterPairs(std::span<const FileTypeFilter> filters);
// The host dialog's name filters for the pairs: "Package Files (*.QPK *.PKG)". Patterns are
// matched without regard to case.
QStringList HostNameFilters(std::string_view pairs);

struct StandardFileReply {
    bool good = false;   // false when the user cancelled
    FSSpec fileSpec;     // the chosen file
    int filterIndex = 0; // the filter in use when the dialog closed (0-based)
};

// The open dialog. filterIndex is the filter shown first (0-based); the dialog shows folder
// first (empty: the current folder). A path typed into its name field, absolute or relative to
// the folder shown, opens on Return.
StandardFileReply StandardGetFile(std::span<const FileTypeFilter> filters, int filterIndex = 0,
                                  const std::string& folder = {});
// The save dialog with a prompt (its title) and a default file name, starting in folder as the
// open dialog does. Choosing an existing file asks before replacing it.
StandardFileReply StandardPutFile(const char* prompt, const char* defaultName,
                                  std::span<const FileTypeFilter> filters,
                                  const std::string& folder = {});
