// Spare parts: keeping the blocks of finished package records and handing them out again.
#include "textfmt/SpareParts.h"

#include <cstring>

SpareParts::~SpareParts() {
    DisposeHandle(fieldText_);
    DisposeHandle(sectionTable_);
    for (int i = 0; i < pinChangeCount_; ++i)
        DisposeHandle(pinChanges_[i]);
    disposeNetItems(nets_);
}

void SpareParts::keepHandle(Handle* spare, Handle h) {
    if (!h) return;
    if (*spare) {
        DisposeHandle(h);
    } else {
        *spare = h;
    }
}

void SpareParts::keep(PackageRecord& r) {
    if (r.sectionTable) {
        auto* sections = reinterpret_cast<ComponentSection*>(r.sectionTable->data);
        for (int i = 0; i < r.sectionCount; ++i) {
            Handle h = sections[i].pinChanges;
            if (!h) continue;
            if (pinChangeCount_ < kMaxSections) {
                pinChanges_[pinChangeCount_++] = h;
            } else {
                DisposeHandle(h);
            }
        }
        SetHandleSize(r.sectionTable, 0); // shrinking keeps the block
    }
    keepHandle(&sectionTable_, std::exchange(r.sectionTable, nullptr));
    keepHandle(&fieldText_, std::exchange(r.fieldText, nullptr));
    r.sectionCount = 0;
    while (NetItem* item = r.hiddenConnections) {
        r.hiddenConnections = item->next;
        if (netCount_ < kMaxNets) {
            item->next = nets_;
            nets_ = item;
            ++netCount_;
        } else {
            disposeNetItem(item);
        }
    }
}

Handle SpareParts::take(Handle* spare, const void* data, Size size) {
    Handle h = std::exchange(*spare, nullptr);
    if (!h) return PtrToHand(data, size);
    if (SetHandleSize(h, size) != noErr) {
        DisposeHandle(h);
        return nullptr;
    }
    if (size > 0) std::memcpy(h->data, data, static_cast<std::size_t>(size));
    return h;
}

Handle SpareParts::pinChanges(const void* data, Size size) {
    Handle* spare = pinChangeCount_ > 0 ? &pinChanges_[--pinChangeCount_] : nullptr;
    Handle none = nullptr;
    return take(spare ? spare : &none, data, size);
}

NetItem* SpareParts::netItem(std::string_view text) {
    NetItem* item = nets_;
    if (!item) return newNetItem(text);
    nets_ = item->next;
    --netCount_;
    item->flags = 0;
    item->next = nullptr;
    setNetItemText(item, text);
    return item;
}
