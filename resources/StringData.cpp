// String lists 1000 and 1010 (Find dialog choices), 1100 (import errors), 1200 (shape parameter
// labels), 1300 (titles, menu texts and validation messages), 1400 (the storage messages: the
// lock, failed saves and closes) and 8000 (file error texts).
#include "resources/StringData.h"

namespace {

constexpr StringEntry kEntries[] = {
    {1000, "Name"},
    {1001, "Class ID"},

    {1010, "Containing"},
    {1011, "Begining with"},
    {1012, "Ending with"},
    {1013, "Matching"},

    {1100, "Syntax."},
    {1101, "Field must be less than 256 characters long."},
    {1102, "Too many fields on this line."},
    {1103, "The package contains no component sections."},
    {1104, "A line cannot contain more than 255 characters...for now."},
    {1105, "Mismatch between the actual number of pin remapping pairs and the number specified."},
    {1106, "Not enough memory available to continue."},
    {1107, "A Class ID or pair count must lie between -2147483648 and 2147483647."},

    // Shape parameter labels: three prefixes, then three labels per shape family; an absent
    // entry is a parameter the family does not have.
    {1200, "PN{}"},
    {1201, "SP{}"},
    {1202, "HT{}"},
    {1203, "Pin Count"},
    {1204, "Row Space"},
    {1205, "Pin Width"},
    {1206, "Horiz. Pins"},
    {1207, "Spacing"},
    {1208, "Vert. Pins"},
    {1209, "Style"},
    {1212, "Style"},
    {1213, "Hole Size"},
    {1215, "Style"},
    {1218, "*"},
    {1219, "Hole Size"},
    {1221, "*"},
    {1222, "*"},
    {1224, "*"},
    {1225, "Spacing"},
    {1226, "*"},
    {1227, "*"},
    {1228, "*"},
    {1230, "*"},
    {1231, "*"},
    {1233, "Pad Size"},
    {1234, "Hole Size"},
    {1235, "Spacing"},
    {1236, "Pad Size"},
    {1237, "Hole Size"},
    {1239, "*"},
    {1240, "Hole Size"},
    {1242, "*"},
    {1243, "Hole Size"},
    {1245, "*"},
    {1246, "*"},
    {1248, "*"},
    {1249, "Spacing"},
    {1250, "*"},
    {1251, "*"},
    {1252, "*"},
    {1254, "*"},
    {1255, "*"},

    {1300, "Create New Package"},
    {1301, "Create New Section"},
    {1302, "Create New Net"},
    {1303, "Create Pin-Swap Field"},
    {1304, "Create Pin Field"},
    {1305, "Revert This Package"},
    {1306, "Revert These Packages"},
    {1307, "A component section must have a non-zero Class ID.  If you proceed, the section will "
           "be deleted."},
    {1308, "A net item must have a valid net name.  If you proceed, the net item will be "
           "deleted."},
    {1309, "A net item must have a valid pin number.  If you proceed, the net item will be "
           "deleted."},
    {1310, "A package must have a valid component section.  If you proceed, the package will be "
           "deleted."},
    {1311, "A package must have a valid name and reference designator prefix.  If you proceed, "
           "the package will be deleted."},

    // Apart from the 1300 list: the note after a save that left packages unwritten.
    {1350, "These packages are not valid and were not saved (%d in all): %s.  The file keeps "
           "their last saved form."},
    // The question before changes are discarded: of one package or file, of the selection.
    {1351, "Do you really want to discard all changes made to \"%s\"?"},
    {1352, "Do you really want to discard all changes made to the selected packages?"},

    {1400, "It is open for writing in %s."},
    {1401, "\"%s\" is open for writing in %s. Open it read-only?"},
    {1402, "%s \"%s\" is as it was before this save; the changes are kept."},
    {1403, "\"%s\" was moved or deleted after it was opened. The changes are kept: Save As Text "
           "can write them to a new file."},
    {1404, "\"%s\" was closed without compacting it: %s Its free space is used again by later "
           "saves."},
    {1405, "\"%s\" could not be closed as usual: %s It was closed as it was last saved."},

    {8000, "Invalid volume or drive specification."},
    {8001, "Access to file was denied."},
    {8002, "Read past end of file."},
    {8003, "Negative file position."},
    {8004, "Invalid directory specification."},
    {8005, "File not found."},
    {8006, "File already exists."},
    {8007, "File is not open."},
    {8008, "File is already open."},
    {8009, "File is in use."},
    {8010, "Disk or volume is full."},
    {8011, "Illegal parameter."},
    {8012, "Not enough memory available."},
    {8013, "File is too old."},
    {8014, "File was created using a newer version of the software."},
    {8015, "Wrong file type."},
    {8016, "Path name too long."},
    {8017, "No associated application."},
    {8018, "Bad file signature."},
    {8019, "File leader is missing."},
    {8020, "Unrecognizable printer information."},
    {8021, "No printer selected."},
    {8022, "The file was moved or deleted after it was opened."},
    {8023, "The last save of the file did not finish, and its journal cannot be read."},
    {8024, "The file has more than one name; compacting it would part them."},
};

constexpr bool sortedById() {
    for (std::size_t i = 1; i < std::size(kEntries); ++i)
        if (kEntries[i - 1].id >= kEntries[i].id) return false;
    return true;
}
static_assert(sortedById(), "string table entries must be sorted by id without repeats");

} // namespace

std::span<const StringEntry> StringTableEntries() {
    return kEntries;
}
