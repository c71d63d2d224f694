// String lists and the error texts, looked up in the resource string table.
#include "toolbox/core/StringTable.h"

#include "resources/StringData.h"

#include <algorithm>
#include <cstdio>

namespace {

// Error codes and the entries of list 8000 that hold their texts.
struct ErrorEntry {
    OSErr code;
    int entry;
};
constexpr ErrorEntry kErrorEntries[] = {
    {volErr, 8000},           {permErr, 8001},        {eofErr, 8002},
    {posErr, 8003},           {dirNFErr, 8004},       {fnfErr, 8005},
    {dupFNErr, 8006},         {rfNumErr, 8007},       {opWrErr, 8008},
    {fBsyErr, 8009},          {dskFulErr, 8010},      {paramErr, 8011},
    {memFullErr, 8012},       {fileTooOldErr, 8013},  {fileTooNewErr, 8014},
    {wrongFileTypeErr, 8015}, {pathTooLongErr, 8016}, {noAppErr, 8017},
    {badSignatureErr, 8018},  {noLeaderErr, 8019},    {badPrintInfoErr, 8020},
    {noPrinterErr, 8021},     {fileMovedErr, 8022},   {hotJournalErr, 8023},
    {linkedFileErr, 8024},
};

} // namespace

std::string_view GetStringByNumber(int id) {
    auto entries = StringTableEntries();
    auto it = std::lower_bound(entries.begin(), entries.end(), id,
                               [](const StringEntry& e, int v) { return e.id < v; });
    if (it == entries.end() || it->id != id) return {};
    return it->text;
}

std::string_view GetStringEntry(StringId id) {
    return GetStringByNumber(StringNumber(id));
}

Str255 GetIndString(StringListId list, int index) {
    return Str255(GetStringByNumber(StringNumber(list) + std::max(index, 1) - 1));
}

std::string_view ErrorMessage(OSErr code) {
    for (const ErrorEntry& e : kErrorEntries)
        if (e.code == code) return GetStringByNumber(e.entry);
    return {};
}

std::string ErrorText(OSErr code) {
    if (code == noErr || code == cancelledErr) return {};
    std::string_view text = ErrorMessage(code);
    if (!text.empty()) return "Error:  " + std::string(text);
    char buf[32];
    std::snprintf(buf, sizeof buf, "Error:  #%d",
                  static_cast<int>(code > 0 ? code & 0x1FFFFFF : code));
    return buf;
}
