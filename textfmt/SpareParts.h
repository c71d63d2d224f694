// Spare parts: the blocks of finished package records that a text import builds the next
// packages with.
#pragma once
#include "model/Package.h"
#include "toolbox/core/Memory.h"

#include <string_view>
#include <utility>

// The blocks of finished package records, kept to build the next packages with, so that
// building a package allocates nothing once the first few are done. At most kMaxSections pin
// number change handles and kMaxNets net items are kept; the rest are disposed of.
class SpareParts {
public:
    SpareParts() = default;
    SpareParts(const SpareParts&) = delete;
    SpareParts& operator=(const SpareParts&) = delete;
    ~SpareParts();

    // Takes every block of r (which is left empty).
    void keep(PackageRecord& r);
    // A handle holding a copy of size bytes at data, or none when out of memory.
    Handle fieldText(const void* data, Size size) { return take(&fieldText_, data, size); }
    Handle pinChanges(const void* data, Size size);
    // An empty section table, or none (addSection then makes one).
    Handle sectionTable() { return std::exchange(sectionTable_, nullptr); }
    // A net item holding text, or none when out of memory.
    NetItem* netItem(std::string_view text);

private:
    static constexpr int kMaxNets = 64;
    static Handle take(Handle* spare, const void* data, Size size);
    void keepHandle(Handle* spare, Handle h);

    Handle fieldText_ = nullptr;
    Handle sectionTable_ = nullptr;
    Handle pinChanges_[kMaxSections] = {};
    int pinChangeCount_ = 0;
    NetItem* nets_ = nullptr;
    int netCount_ = 0;
};
