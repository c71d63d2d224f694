// The item operations of a Package record. Each one that allocates makes every copy it needs
// first and links them in only when all were made, so that a failure leaves the records as they
// were.
#include "model/ItemOps.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

bool inRange(std::span<const int> numbers, int count) {
    return std::ranges::all_of(numbers, [count](int k) { return k >= 1 && k <= count; });
}

// A vector of count zeros in *out, or memFullErr.
OSErr zeros(int count, std::vector<int>* out) {
    try {
        out->assign(std::size_t(count), 0);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

// Copies of every net item of from as an unlinked chain in list order, or memFullErr (no chain).
OSErr copyNets(const PackageRecord& from, NetItem** chain, int* count) {
    PackageRecord copies;
    int made = 0;
    for (const NetItem* n = from.hiddenConnections; n; n = n->next, ++made) {
        NetItem* copy = newNetItem(netItemText(n));
        if (!copy) return memFullErr;
        pushNetItem(copies, copy);
    }
    reverseNetItems(copies);
    *chain = std::exchange(copies.hiddenConnections, nullptr);
    *count = made;
    return noErr;
}

OSErr appendSections(PackageRecord& to, const PackageRecord& from, int* appended) {
    const int count = std::min<int>(from.sectionCount, std::max(kMaxSections - to.sectionCount, 0));
    if (count == 0) return noErr;
    ComponentSection copies[kMaxSections];
    int made = 0;
    OSErr err = noErr;
    for (; made < count && !err; ++made)
        err = getSection(from, made + 1, &copies[made], SectionCopy::lasting);
    // The table grows to hold them all at once, so that placing them cannot fail.
    if (!err) err = reserveSections(to, to.sectionCount + count);
    if (err) {
        for (int i = 0; i < made; ++i)
            DisposeHandle(copies[i].pinChanges);
        return err;
    }
    const int first = to.sectionCount;
    to.sectionCount = std::int16_t(first + count);
    for (int i = 0; i < count; ++i) {
        copies[i].flags = 0;
        *sectionAt(to, first + 1 + i) = copies[i];
    }
    *appended = count;
    return noErr;
}

} // namespace

int itemCount(const PackageRecord& r, std::uint8_t list) {
    return list == kNetList ? countNetItems(r) : r.sectionCount;
}

OSErr copyItems(const PackageRecord& from, std::uint8_t list, std::span<const int> numbers,
                PackageRecord* out) {
    if (!inRange(numbers, itemCount(from, list))) return paramErr;
    PackageRecord copies;
    if (list == kNetList) {
        // One walk for numbers in ascending order; a number below the last starts it again.
        const NetItem* at = from.hiddenConnections;
        int position = 1;
        for (int k : numbers) {
            if (k < position) {
                at = from.hiddenConnections;
                position = 1;
            }
            for (; position < k; ++position)
                at = at->next;
            NetItem* copy = newNetItem(netItemText(at));
            if (!copy) return memFullErr;
            pushNetItem(copies, copy);
        }
        reverseNetItems(copies);
    } else {
        for (int k : numbers) {
            ComponentSection copy;
            if (OSErr err = getSection(from, k, &copy, SectionCopy::lasting)) return err;
            copy.flags = 0;
            if (OSErr err = addSection(copies, 0, copy)) return err;
        }
    }
    *out = std::move(copies);
    return noErr;
}

OSErr appendItems(PackageRecord& to, std::uint8_t list, const PackageRecord& from, int* appended) {
    *appended = 0;
    if (list != kNetList) return appendSections(to, from, appended);
    NetItem* chain = nullptr;
    int count = 0;
    if (OSErr err = copyNets(from, &chain, &count)) return err;
    NetItem** link = &to.hiddenConnections;
    while (*link)
        link = &(*link)->next;
    *link = chain;
    *appended = count;
    return noErr;
}

OSErr deleteItems(PackageRecord& r, std::uint8_t list, std::span<const int> numbers,
                  std::vector<int>* newNumber) {
    const int count = itemCount(r, list);
    if (!inRange(numbers, count)) return paramErr;
    std::vector<int> after;
    if (OSErr err = zeros(count, &after)) return err;
    for (int k = 1; k <= count; ++k)
        after[std::size_t(k - 1)] = k;
    for (int k : numbers)
        after[std::size_t(k - 1)] = 0;
    int kept = 0;
    for (int& k : after)
        if (k) k = ++kept;
    if (list == kNetList) {
        NetItem** link = &r.hiddenConnections;
        for (int k = 1; *link; ++k) {
            if (after[std::size_t(k - 1)]) {
                link = &(*link)->next;
            } else {
                NetItem* gone = *link;
                *link = gone->next;
                disposeNetItem(gone);
            }
        }
    } else {
        // From the last, so that the numbers of those still to go stay put. In range, a section
        // always goes: deleting needs no memory.
        for (int k = count; k >= 1; --k)
            if (!after[std::size_t(k - 1)])
                if (OSErr err = deleteSection(r, k)) return err;
    }
    *newNumber = std::move(after);
    return noErr;
}

OSErr createItem(PackageRecord& r, std::uint8_t list, int* number) {
    *number = 0;
    if (list == kNetList) {
        NetItem* n = newNetItem(std::string_view());
        if (!n) return memFullErr;
        insertNetItem(r, 0, n);
        *number = countNetItems(r);
        return noErr;
    }
    if (r.sectionCount >= kMaxSections) return noErr;
    if (OSErr err = addSection(r, 0, ComponentSection{})) return err;
    *number = r.sectionCount;
    return noErr;
}

OSErr moveSection(PackageRecord& r, int from, int to, std::vector<int>* newNumber) {
    const int count = r.sectionCount;
    if (from < 1 || from > count) return paramErr;
    const int at = to >= 1 && to < count ? to : count;
    std::vector<int> after;
    if (OSErr err = zeros(count, &after)) return err;
    for (int k = 1; k <= count; ++k) {
        const int without = k < from ? k : k - 1; // its place while the moved one is out
        after[std::size_t(k - 1)] = k == from ? at : without >= at ? without + 1 : without;
    }
    ComponentSection* first = sectionAt(r, 1);
    if (at > from)
        std::rotate(first + from - 1, first + from, first + at);
    else
        std::rotate(first + at - 1, first + from - 1, first + from);
    *newNumber = std::move(after);
    return noErr;
}
