// The package record: field text, section table and the list of net items.
#include "model/Package.h"

#include "toolbox/core/FieldText.h"

#include <new>
#include <type_traits>
#include <utility>

static_assert(std::is_trivially_copyable_v<ComponentSection>,
              "the section table is moved with byte copies");

namespace {

ComponentSection* table(const PackageRecord& r) {
    return r.sectionTable ? reinterpret_cast<ComponentSection*>(r.sectionTable->data) : nullptr;
}

std::string_view cut255(std::string_view s) {
    return s.substr(0, 255);
}

} // namespace

// --- PackageRecord ----------------------------------------------------------------------------

PackageRecord::PackageRecord(PackageRecord&& o) noexcept
    : sectionCount(std::exchange(o.sectionCount, 0)),
      fieldText(std::exchange(o.fieldText, nullptr)),
      sectionTable(std::exchange(o.sectionTable, nullptr)),
      hiddenConnections(std::exchange(o.hiddenConnections, nullptr)) {}

PackageRecord& PackageRecord::operator=(PackageRecord&& o) noexcept {
    if (this != &o) {
        disposeContents();
        sectionCount = std::exchange(o.sectionCount, 0);
        fieldText = std::exchange(o.fieldText, nullptr);
        sectionTable = std::exchange(o.sectionTable, nullptr);
        hiddenConnections = std::exchange(o.hiddenConnections, nullptr);
    }
    return *this;
}

void PackageRecord::disposeContents() {
    if (ComponentSection* s = table(*this)) {
        for (int i = 0; i < sectionCount; ++i)
            DisposeHandle(s[i].pinChanges);
    }
    DisposeHandle(sectionTable);
    DisposeHandle(fieldText);
    disposeNetItems(hiddenConnections);
    sectionCount = 0;
    sectionTable = nullptr;
    fieldText = nullptr;
    hiddenConnections = nullptr;
}

// --- Field text -------------------------------------------------------------------------------

std::string_view packageFieldView(const PackageRecord& r, int field) {
    if (!r.fieldText) return {};
    return GetFieldView(r.fieldText->data, GetHandleSize(r.fieldText), field);
}

Str255 packageField(const PackageRecord& r, int field) {
    return Str255(packageFieldView(r, field));
}

OSErr setPackageField(PackageRecord& r, int field, std::string_view value) {
    if (!r.fieldText) {
        r.fieldText = NewHandle(0);
        if (!r.fieldText) return memFullErr;
    }
    return SetField(r.fieldText, field, value);
}

// --- Component Sections -----------------------------------------------------------------------

OSErr reserveSections(PackageRecord& r, int count) {
    const Size size = Size(sizeof(ComponentSection)) * count;
    if (r.sectionTable) return SetHandleSize(r.sectionTable, size) != noErr ? memFullErr : noErr;
    r.sectionTable = NewHandle(size);
    return r.sectionTable ? noErr : memFullErr;
}

OSErr addSection(PackageRecord& r, int position, const ComponentSection& section) {
    if (r.sectionCount >= kMaxSections) {
        DisposeHandle(section.pinChanges);
        return noErr;
    }
    if (OSErr err = reserveSections(r, r.sectionCount + 1)) {
        DisposeHandle(section.pinChanges);
        return err;
    }
    if (position < 1 || position > r.sectionCount) position = r.sectionCount + 1;
    ComponentSection* s = table(r);
    BlockMove(s + position - 1, s + position,
              Size(sizeof(ComponentSection)) * (r.sectionCount - position + 1));
    s[position - 1] = section;
    ++r.sectionCount;
    return noErr;
}

OSErr deleteSection(PackageRecord& r, int position) {
    if (position < 1 || position > r.sectionCount) return paramErr;
    ComponentSection* s = table(r);
    DisposeHandle(s[position - 1].pinChanges);
    BlockMove(s + position, s + position - 1,
              Size(sizeof(ComponentSection)) * (r.sectionCount - position));
    --r.sectionCount;
    if (r.sectionCount == 0) {
        DisposeHandle(r.sectionTable);
        r.sectionTable = nullptr;
    } else {
        // Shrinking keeps the content; a refusal only leaves spare room at the end.
        SetHandleSize(r.sectionTable, Size(sizeof(ComponentSection)) * r.sectionCount);
    }
    return noErr;
}

OSErr getSection(const PackageRecord& r, int position, ComponentSection* out, SectionCopy copy) {
    const ComponentSection* s = sectionAt(r, position);
    if (!s) return paramErr;
    *out = *s;
    if (copy == SectionCopy::lasting && s->pinChanges) {
        out->pinChanges = HandToHand(s->pinChanges);
        if (!out->pinChanges) return memFullErr;
    }
    return noErr;
}

ComponentSection* sectionAt(PackageRecord& r, int position) {
    if (position < 1 || position > r.sectionCount || !r.sectionTable) return nullptr;
    return table(r) + position - 1;
}

const ComponentSection* sectionAt(const PackageRecord& r, int position) {
    return sectionAt(const_cast<PackageRecord&>(r), position);
}

OSErr appendPinPair(PackageRecord& r, int position, std::string_view unpackaged,
                    std::string_view packaged) {
    ComponentSection* s = sectionAt(r, position);
    if (!s) return paramErr;
    if (!s->pinChanges) {
        s->pinChanges = NewHandle(0);
        if (!s->pinChanges) return memFullErr;
    }
    // At most 255 + 1 + 255 + leading TAB: fits a small buffer, no allocation.
    char buf[2 * 255 + 2];
    std::size_t n = 0;
    if (GetHandleSize(s->pinChanges) > 0) buf[n++] = '\t';
    unpackaged = cut255(unpackaged);
    packaged = cut255(packaged);
    for (char c : unpackaged)
        buf[n++] = c;
    buf[n++] = '\t';
    for (char c : packaged)
        buf[n++] = c;
    OSErr err = InsertBytes(s->pinChanges, -1, buf, long(n));
    if (err != noErr) return err;
    ++s->pinChangeCount;
    return noErr;
}

// --- Net items --------------------------------------------------------------------------------

NetItem* newNetItem(std::string_view text) {
    void* block = NewPtrClear(sizeof(NetItem));
    if (!block) return nullptr;
    NetItem* item = new (block) NetItem{};
    setNetItemText(item, text);
    return item;
}

NetItem* newNetItem(const Str255& text) {
    return newNetItem(text.view());
}

void disposeNetItem(NetItem* item) {
    if (item) DisposePtr(reinterpret_cast<Ptr>(item));
}

void disposeNetItems(NetItem* first) {
    while (first) {
        NetItem* next = first->next;
        disposeNetItem(first);
        first = next;
    }
}

int countNetItems(const PackageRecord& r) {
    int n = 0;
    for (const NetItem* i = r.hiddenConnections; i; i = i->next)
        ++n;
    return n;
}

NetItem* findNetItem(const PackageRecord& r, int position) {
    if (position < 1) return nullptr;
    NetItem* i = r.hiddenConnections;
    while (i && --position > 0)
        i = i->next;
    return i;
}

void pushNetItem(PackageRecord& r, NetItem* item) {
    item->next = r.hiddenConnections;
    r.hiddenConnections = item;
}

void insertNetItem(PackageRecord& r, int position, NetItem* item) {
    NetItem** link = &r.hiddenConnections;
    for (int i = 1; *link && (position < 1 || i < position); ++i)
        link = &(*link)->next;
    item->next = *link;
    *link = item;
}

NetItem* unlinkNetItem(PackageRecord& r, int position) {
    if (position < 1) return nullptr;
    NetItem** link = &r.hiddenConnections;
    for (int i = 1; *link && i < position; ++i)
        link = &(*link)->next;
    NetItem* item = *link;
    if (item) {
        *link = item->next;
        item->next = nullptr;
    }
    return item;
}

void reverseNetItems(PackageRecord& r) {
    NetItem* done = nullptr;
    NetItem* i = r.hiddenConnections;
    while (i) {
        NetItem* next = i->next;
        i->next = done;
        done = i;
        i = next;
    }
    r.hiddenConnections = done;
}

std::string_view netItemText(const NetItem* item) {
    return {item->text, item->textLength};
}

void setNetItemText(NetItem* item, std::string_view text) {
    text = cut255(text);
    if (!text.empty()) BlockMove(text.data(), item->text, Size(text.size()));
    item->textLength = std::uint8_t(text.size());
}

void appendNetItemField(NetItem* item, std::string_view value) {
    std::size_t n = item->textLength;
    if (n > 0 && n < kMaxNetText) item->text[n++] = '\t';
    value = value.substr(0, kMaxNetText - n);
    if (!value.empty()) BlockMove(value.data(), item->text + n, Size(value.size()));
    item->textLength = std::uint8_t(n + value.size());
}

Str255 netItemField(const NetItem* item, int field) {
    return Str255(GetFieldView(item->text, item->textLength, field));
}

// Field 1 runs to the first TAB, field 2 from there to the next TAB or the end; each must hold
// something other than blanks.
bool netItemIsValid(const NetItem* item) {
    const std::string_view text(item->text, item->textLength);
    const std::size_t tab = text.find('\t');
    if (tab == std::string_view::npos) return false;
    const std::string_view pin = text.substr(tab + 1, text.find('\t', tab + 1) - tab - 1);
    return text.substr(0, tab).find_first_not_of(' ') != std::string_view::npos &&
           pin.find_first_not_of(' ') != std::string_view::npos;
}
