// The byte form of the dialog templates: the encoder, the bytes kept for the run, the parser.
#include "toolbox/gui/DialogTemplateBytes.h"

#include <map>
#include <mutex>

namespace {

void putLE16(std::vector<std::uint8_t>& out, int v) {
    auto u = static_cast<std::uint16_t>(v);
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
}

void putRect(std::vector<std::uint8_t>& out, const Rect& r) {
    putLE16(out, r.top);
    putLE16(out, r.left);
    putLE16(out, r.bottom);
    putLE16(out, r.right);
}

std::uint16_t getLE16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

Rect getRect(std::span<const std::uint8_t> b, std::size_t at) {
    return {static_cast<std::int16_t>(getLE16(b, at)),
            static_cast<std::int16_t>(getLE16(b, at + 2)),
            static_cast<std::int16_t>(getLE16(b, at + 4)),
            static_cast<std::int16_t>(getLE16(b, at + 6))};
}

constexpr std::size_t kHeaderSize = 14;
constexpr std::size_t kItemHeaderSize = 14;

} // namespace

int DialogTemplate::indexOf(int itemId) const {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].id == itemId) return static_cast<int>(i);
    return -1;
}

std::vector<std::uint8_t> EncodeDialogTemplate(const DialogEntry& dialog) {
    std::vector<std::uint8_t> out;
    putRect(out, dialog.bounds);
    putLE16(out, static_cast<int>(dialog.items.size()));
    putLE16(out, dialog.style);
    putLE16(out, 0);
    for (const DialogItemEntry& item : dialog.items) {
        std::size_t start = out.size();
        putRect(out, item.rect);
        putLE16(out, item.kind);
        putLE16(out, item.id);
        putLE16(out, 0);
        if (item.kind == kIconItem) {
            putLE16(out, item.iconId);
        } else {
            for (const char* p = item.text ? item.text : ""; *p; ++p)
                out.push_back(static_cast<std::uint8_t>(*p));
            out.push_back(0);
        }
        if ((out.size() - start) % 2) out.push_back(0);
    }
    return out;
}

std::span<const std::uint8_t> GetDialogTemplateBytes(DialogId id) {
    static std::mutex lock;
    static std::map<DialogId, std::vector<std::uint8_t>> encoded;
    std::lock_guard<std::mutex> guard(lock);
    auto found = encoded.find(id);
    if (found == encoded.end()) {
        const DialogEntry* dialog = FindDialogEntry(id);
        if (!dialog) return {};
        found = encoded.emplace(id, EncodeDialogTemplate(*dialog)).first;
    }
    return found->second;
}

OSErr ParseDialogTemplate(std::span<const std::uint8_t> bytes, DialogTemplate* out) {
    if (!out || bytes.size() < kHeaderSize) return paramErr;
    DialogTemplate t;
    t.bounds = getRect(bytes, 0);
    std::uint16_t count = getLE16(bytes, 8);
    t.style = getLE16(bytes, 10);
    std::size_t at = kHeaderSize;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (bytes.size() < at + kItemHeaderSize) return paramErr;
        DialogTemplateItem item;
        item.rect = getRect(bytes, at);
        item.kind = getLE16(bytes, at + 8);
        item.id = static_cast<std::int16_t>(getLE16(bytes, at + 10));
        std::size_t text = at + kItemHeaderSize;
        std::size_t end;
        if (item.kind == kIconItem) {
            if (bytes.size() < text + 2) return paramErr;
            item.iconId = static_cast<std::int16_t>(getLE16(bytes, text));
            end = text + 2;
        } else {
            std::size_t zero = text;
            while (zero < bytes.size() && bytes[zero] != 0)
                ++zero;
            if (zero == bytes.size()) return paramErr;
            item.text.assign(reinterpret_cast<const char*>(bytes.data() + text), zero - text);
            end = zero + 1;
        }
        if ((end - at) % 2) ++end;
        if (end > bytes.size()) return paramErr;
        at = end;
        t.items.push_back(std::move(item));
    }
    *out = std::move(t);
    return noErr;
}
