// The ids of the program's dialog templates and string lists, as types of their own, so that a
// dialog id cannot be passed where a string id is wanted, nor either where a command or a key
// code is.
#pragma once
#include <cstdint>

// Dialog templates (XDLG).
enum class DialogId : std::int16_t {
    find = 1001,
    progress = 1002, // never opened
    importError = 1003,
    about = 1004,
    saveQuestion = 1005,
    proceed = 1006,
    discard = 1007,
    status = 8000,     // the layer's status window
    layerAlert = 8001, // never opened
};

// String lists: entry i (from 1) of list L is the string with id L + i - 1.
enum class StringListId : std::int16_t {
    searchFields = 1000, // the Find dialog's "Name", "Class ID"
    matchModes = 1010,   // "Containing" ... "Matching"
    importErrors = 1100, // the text import's messages, by error code
    shapeLabels = 1200,  // the labels of the shape parameters
    messages = 1300,     // menu texts and the validation messages
    fileErrors = 8000,   // the error alert's texts
};

// Single strings of list 1300, and the storage messages from 1400.
enum class StringId : std::int16_t {
    createNewPackage = 1300,
    createNewSection = 1301,
    createNewNet = 1302,
    createPinSwapField = 1303,
    createPinField = 1304,
    revertThisPackage = 1305,
    revertThesePackages = 1306,
    sectionNeedsClassId = 1307,
    netNeedsName = 1308,
    netNeedsPin = 1309,
    packageNeedsSection = 1310,
    packageNeedsNameAndPrefix = 1311,
    packagesNotSaved = 1350, // a format: the count, then the first few names
    discardChangesTo = 1351, // a format: the name of a package or a file
    discardSelectedChanges = 1352,
    // Storage: the lock, a save that failed, a close that could not compact (1400...).
    lockedBy = 1400,
    openReadOnlyQuestion = 1401,
    saveFailedKept = 1402,
    fileMovedKept = 1403,
    closedUncompacted = 1404,
    closedAsSaved = 1405,
};

// The number of a string that the table addresses by number.
constexpr int StringNumber(StringId id) {
    return static_cast<int>(id);
}
constexpr int StringNumber(StringListId id) {
    return static_cast<int>(id);
}
