// The editable form of a Package: the package record with its Component Sections and its Hidden
// Connections (net items).
//
// A package record owns its field text, its section table (a handle holding an array of
// ComponentSection), every section's pin number changes, and every net item of its list.
// PackageRecord is an RAII owner: destroying or reassigning it disposes of all of that.
#pragma once
#include "toolbox/core/Memory.h"
#include "toolbox/core/Strings.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// A package never holds more Component Sections than this.
constexpr int kMaxSections = 26;
// A net item's text holds at most this many bytes.
constexpr std::size_t kMaxNetText = 255;

// Field numbers of a Package's field text.
enum PackageField : int {
    kFieldPackageName = 1,
    kFieldDesignatorPrefix = 2,
    kFieldShape = 3, // fields 4 to 6: the shape parameters
};

// One element of the section table.
struct ComponentSection {
    std::uint32_t flags = 0;     // kSectionSelected while selected in the package editor
    std::int32_t classId = 0;    // must be non-zero for the section to be stored
    Handle pinChanges = nullptr; // TAB-separated pairs (unpackaged, packaged); owned by the record
    std::uint16_t pinChangeCount = 0; // number of pairs in pinChanges
};
constexpr std::uint32_t kSectionSelected = 1;

// One Hidden Connection. Its text is field text: field 1 the Net Name, fields 2 onward the pin
// numbers. Net items are pointer blocks owned by the list they are linked into.
struct NetItem {
    std::uint16_t flags = 0; // kNetItemSelected while selected in the package editor
    NetItem* next = nullptr;
    std::uint8_t textLength = 0;
    char text[255] = {};
};
constexpr std::uint16_t kNetItemSelected = 1;

class PackageRecord {
public:
    PackageRecord() = default; // the empty record: no text, no sections, no nets
    ~PackageRecord() { disposeContents(); }
    PackageRecord(PackageRecord&& o) noexcept;
    PackageRecord& operator=(PackageRecord&& o) noexcept;
    PackageRecord(const PackageRecord&) = delete;
    PackageRecord& operator=(const PackageRecord&) = delete;

    // Disposes of everything the record holds and leaves it empty.
    void disposeContents();

    std::int16_t sectionCount = 0;
    Handle fieldText = nullptr;           // none until a field is set
    Handle sectionTable = nullptr;        // array of sectionCount ComponentSection, or none
    NetItem* hiddenConnections = nullptr; // first net item, or none
};

// Disposes of the record's contents (the record itself stays usable, empty).
inline void disposePackageRecord(PackageRecord& r) {
    r.disposeContents();
}

// --- Field text -------------------------------------------------------------------------------

Str255 packageField(const PackageRecord& r, int field); // a missing field reads as empty
std::string_view packageFieldView(const PackageRecord& r, int field); // no copy, no 255 cap
// Creates the field text when there is none. memFullErr on failure.
OSErr setPackageField(PackageRecord& r, int field, std::string_view value);

// --- Component Sections (positions are 1-based) -----------------------------------------------

// Grows (or makes) the section table to hold count sections; the count stays as it is.
// memFullErr: the table as it was.
OSErr reserveSections(PackageRecord& r, int count);
// Inserts a copy of section at position (at the end when out of range). The record takes
// ownership of section.pinChanges in every case: when the package already holds kMaxSections
// sections nothing is added, the pin changes are disposed of, and noErr is returned. On
// memFullErr the pin changes are disposed of too.
OSErr addSection(PackageRecord& r, int position, const ComponentSection& section);
// Disposes of that section's pin changes and removes it; the table goes with the last section.
// paramErr when position is out of range.
OSErr deleteSection(PackageRecord& r, int position);
// What a copy of a section holds: the record's own pin changes handle (shared), or a duplicate
// that the caller disposes of (lasting).
enum class SectionCopy { shared, lasting };

// Copies section `position` out. paramErr when out of range.
OSErr getSection(const PackageRecord& r, int position, ComponentSection* out, SectionCopy copy);
// Direct access to a section in the table, or nullptr when out of range. The pointer stays valid
// until the next add or delete.
ComponentSection* sectionAt(PackageRecord& r, int position);
const ComponentSection* sectionAt(const PackageRecord& r, int position);
// Appends one pin number change pair to the section's text (creating it) and counts it.
OSErr appendPinPair(PackageRecord& r, int position, std::string_view unpackaged,
                    std::string_view packaged);

// --- Net items (positions are 1-based) --------------------------------------------------------

// A new unlinked net item holding text (cut to 255 bytes); nullptr when out of memory.
NetItem* newNetItem(const Str255& text);
NetItem* newNetItem(std::string_view text);
void disposeNetItem(NetItem* item);   // one item, not its followers; nullptr allowed
void disposeNetItems(NetItem* first); // the whole chain

int countNetItems(const PackageRecord& r);
NetItem* findNetItem(const PackageRecord& r, int position); // nullptr when out of range
// Calls f(NetItem*) for each item in list order.
template <class F> void forEachNetItem(const PackageRecord& r, F&& f) {
    for (NetItem* n = r.hiddenConnections; n; n = n->next)
        f(n);
}
// Links item at the head of the list (lists built this way are reversed once complete).
void pushNetItem(PackageRecord& r, NetItem* item);
// Links item before position (at the end when out of range).
void insertNetItem(PackageRecord& r, int position, NetItem* item);
// Unlinks and returns the item at position (the caller then owns it), or nullptr.
NetItem* unlinkNetItem(PackageRecord& r, int position);
void reverseNetItems(PackageRecord& r);

std::string_view netItemText(const NetItem* item);
void setNetItemText(NetItem* item, std::string_view text); // keeps at most 255 bytes
// Appends a TAB and value to the item's text (value alone when the text is empty), keeping at
// most 255 bytes in all. Used while a net line is read field by field.
void appendNetItemField(NetItem* item, std::string_view value);
Str255 netItemField(const NetItem* item, int field); // field 1 Net Name, 2 onward pins
// Field 1 and field 2, trimmed of blanks, are both non-empty.
bool netItemIsValid(const NetItem* item);
