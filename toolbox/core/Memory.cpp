// Handles, pointer blocks and Munger on the C allocator; fixed-block pools on mappings of their
// own.
#include "toolbox/core/Memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <sys/mman.h>

namespace {

// The fault injection of tests: counting while armed, failing once at the chosen allocation.
struct MemoryFault {
    bool armed = false;
    bool fired = false;
    long failAt = 0;
    long counted = 0;
};
MemoryFault gFault;

// Counts one allocation; true when it must fail.
bool faultHere() {
    if (!gFault.armed) return false;
    if (++gFault.counted != gFault.failAt || gFault.fired) return false;
    gFault.fired = true;
    return true;
}

// Allocates the data of a handle; at least one byte so that a 0-byte handle still has a
// master pointer to lock.
char* allocData(Size size) {
    return static_cast<char*>(std::malloc(static_cast<std::size_t>(std::max<Size>(size, 1))));
}

} // namespace

void ArmMemoryFault(long n) {
    gFault = MemoryFault{true, false, n, 0};
}

void DisarmMemoryFault() {
    gFault.armed = false;
}

bool MemoryFaultFired() {
    return gFault.fired;
}

long MemoryAllocationsCounted() {
    return gFault.counted;
}

Handle NewHandle(Size size) {
    if (size < 0) return nullptr;
    Handle h = faultHere() ? nullptr : new (std::nothrow) HandleBlock;
    char* data = h ? allocData(size) : nullptr;
    if (!data) {
        delete h;
        return nullptr;
    }
    h->data = data;
    h->size = size;
    h->capacity = std::max<Size>(size, 1);
    return h;
}

Handle NewHandleClear(Size size) {
    Handle h = NewHandle(size);
    if (h) std::memset(h->data, 0, static_cast<std::size_t>(h->capacity));
    return h;
}

Handle PtrToHand(const void* src, Size size) {
    Handle h = NewHandle(size);
    if (h && size > 0) std::memcpy(h->data, src, static_cast<std::size_t>(size));
    return h;
}

Handle HandToHand(Handle h) {
    if (!h) return nullptr;
    return PtrToHand(h->data, h->size);
}

Size GetHandleSize(Handle h) {
    if (!h) return 0;
    return h->size;
}

OSErr SetHandleSize(Handle h, Size newSize) {
    if (!h || newSize < 0) return paramErr;
    if (newSize > h->capacity) {
        // A locked block must stay where it is.
        if (h->lockCount > 0 || faultHere()) return memFullErr;
        // Growing an existing block leaves room for more, so that repeated appends stay linear.
        Size cap = newSize;
        if (h->size > 0 && h->capacity < (1 << 29)) cap = std::max(newSize, h->capacity * 3 / 2);
        void* p = std::realloc(h->data, static_cast<std::size_t>(cap));
        if (!p && cap > newSize) {
            cap = newSize;
            p = std::realloc(h->data, static_cast<std::size_t>(cap));
        }
        if (!p) return memFullErr;
        h->data = static_cast<char*>(p);
        h->capacity = cap;
    }
    h->size = newSize;
    return noErr;
}

char* HLock(Handle h) {
    if (!h) return nullptr;
    if (h->lockCount < 255) ++h->lockCount;
    return h->data;
}

void HUnlock(Handle h) {
    if (h && h->lockCount > 0) --h->lockCount;
}

void DisposeHandle(Handle h) {
    if (!h) return;
    std::free(h->data);
    delete h;
}

Ptr NewPtr(Size size) {
    if (size < 0) return nullptr;
    return faultHere() ? nullptr : allocData(size);
}

Ptr NewPtrClear(Size size) {
    Ptr p = NewPtr(size);
    if (p) std::memset(p, 0, static_cast<std::size_t>(std::max<Size>(size, 1)));
    return p;
}

void DisposePtr(Ptr p) {
    std::free(p);
}

void BlockMove(const void* src, void* dst, Size n) {
    if (n > 0) std::memmove(dst, src, static_cast<std::size_t>(n));
}

void BlockFill(void* dst, Size n, std::uint8_t value) {
    if (n > 0) std::memset(dst, value, static_cast<std::size_t>(n));
}

namespace {

// Munger with the cause of a failure in *err: paramErr for an offset out of range, memFullErr
// when memory ran out; noErr otherwise, a pattern that is absent included.
long munge(Handle h, long offset, const void* ptr1, long len1, const void* ptr2, long len2,
           OSErr* err) {
    *err = noErr;
    if (!h || offset < 0 || offset > h->size || len2 < 0) {
        *err = paramErr;
        return -1;
    }
    long size = h->size;
    long at = offset;
    long target = len1;
    if (ptr1) {
        if (len1 <= 0) {
            target = 0; // an empty pattern matches at offset
        } else {
            std::string_view hay(h->data, static_cast<std::size_t>(size));
            auto pos = hay.find(
                std::string_view(static_cast<const char*>(ptr1), static_cast<std::size_t>(len1)),
                static_cast<std::size_t>(offset));
            if (pos == std::string_view::npos) return -1;
            at = static_cast<long>(pos);
        }
    } else if (len1 < 0 || len1 > size - offset) {
        target = size - offset;
    }
    if (!ptr2) {
        *err = noErr;
        return at;
    }
    long newSize = size - target + len2;
    if (newSize > 0x7FFFFFFF) {
        *err = memFullErr;
        return -1;
    }
    long tail = size - at - target;
    if (len2 > target) {
        // Copy a replacement that lies inside the handle before the block may move.
        bool inside = ptr2 >= h->data && ptr2 < h->data + size;
        char* copy = nullptr;
        if (inside) {
            copy = static_cast<char*>(std::malloc(static_cast<std::size_t>(len2)));
            if (!copy) {
                *err = memFullErr;
                return -1;
            }
            std::memcpy(copy, ptr2, static_cast<std::size_t>(len2));
            ptr2 = copy;
        }
        if ((*err = SetHandleSize(h, static_cast<Size>(newSize))) != noErr) {
            std::free(copy);
            return -1;
        }
        std::memmove(h->data + at + len2, h->data + at + target, static_cast<std::size_t>(tail));
        std::memcpy(h->data + at, ptr2, static_cast<std::size_t>(len2));
        std::free(copy);
    } else {
        if (len2 > 0) std::memmove(h->data + at, ptr2, static_cast<std::size_t>(len2));
        std::memmove(h->data + at + len2, h->data + at + target, static_cast<std::size_t>(tail));
        SetHandleSize(h, static_cast<Size>(newSize)); // shrinking never fails
    }
    return at + len2;
}

} // namespace

long Munger(Handle h, long offset, const void* ptr1, long len1, const void* ptr2, long len2) {
    OSErr err; // the negative result is the failure; ReplaceBytes returns its cause
    return munge(h, offset, ptr1, len1, ptr2, len2, &err);
}

OSErr ReplaceBytes(Handle h, long offset, long len, const void* src, long srcLen) {
    OSErr err = noErr;
    munge(h, offset, nullptr, len, src, srcLen, &err);
    return err;
}

OSErr InsertBytes(Handle h, long offset, const void* src, long len) {
    if (!h || len < 0 || (len > 0 && !src)) return paramErr;
    if (offset == -1) offset = h->size;
    static const char none = 0;
    return ReplaceBytes(h, offset, 0, len > 0 ? src : &none, len);
}

OSErr DeleteBytes(Handle h, long offset, long len) {
    if (!h || len < 0 || offset < 0 || offset > h->size) return paramErr;
    static const char none = 0;
    return ReplaceBytes(h, offset, std::min<long>(len, h->size - offset), &none, 0);
}

// ---- FixedPool ----

// A mapping of blocks; the header sits at the mapping's start, the blocks after it.
struct FixedPool::Chunk {
    Chunk* next;
    std::size_t bytes; // of the whole mapping
};

namespace {
constexpr std::size_t kAlign = alignof(std::max_align_t);
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t roundUp(std::size_t n, std::size_t to = kAlign) {
    return (n + to - 1) / to * to;
}
constexpr std::size_t kChunkHeader = roundUp(sizeof(void*) + sizeof(std::size_t));

// An anonymous mapping of `bytes`, zero-filled, or nullptr. A mapping of at least a huge page is
// placed on a huge page boundary (the slack on either side is unmapped again) and asks for huge
// pages.
char* mapZeroed(std::size_t bytes) {
    const bool huge = bytes >= kHugePage;
    const std::size_t span = huge ? bytes + kHugePage : bytes;
    void* p = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    char* base = static_cast<char*>(p);
    if (huge) {
        char* aligned =
            reinterpret_cast<char*>(roundUp(reinterpret_cast<std::uintptr_t>(base), kHugePage));
        if (aligned > base) ::munmap(base, std::size_t(aligned - base));
        const std::size_t tail = std::size_t(base + span - (aligned + bytes));
        if (tail) ::munmap(aligned + bytes, tail);
        base = aligned;
        ::madvise(base, bytes, MADV_HUGEPAGE); // a hint: without huge pages it still works
    }
    return base;
}
} // namespace

FixedPool::FixedPool(std::size_t blockSize, std::size_t blocksPerChunk)
    : blockSize_(roundUp(std::max(blockSize, sizeof(void*)))),
      blocksPerChunk_(std::max<std::size_t>(blocksPerChunk, 1)) {}

FixedPool::~FixedPool() {
    while (chunks_) {
        Chunk* next = chunks_->next;
        ::munmap(chunks_, chunks_->bytes);
        chunks_ = next;
    }
}

// A new mapping is made only once the last one has handed out every block.
bool FixedPool::addChunk(std::size_t blocks) {
    if (blocks > (SIZE_MAX - kChunkHeader - kHugePage) / blockSize_) return false;
    std::size_t bytes = kChunkHeader + blocks * blockSize_;
    bytes = roundUp(bytes, bytes >= kHugePage ? kHugePage : 4096);
    char* raw = mapZeroed(bytes);
    if (!raw) return false;
    auto* chunk = reinterpret_cast<Chunk*>(raw);
    chunk->next = chunks_;
    chunk->bytes = bytes;
    chunks_ = chunk;
    // The rounding up leaves room for a few more blocks: they are the pool's too.
    const std::size_t fits = (bytes - kChunkHeader) / blockSize_;
    fresh_ = raw + kChunkHeader;
    freshEnd_ = fresh_ + fits * blockSize_;
    capacity_ += fits;
    return true;
}

void* FixedPool::take() {
    if (faultHere()) return nullptr;
    void* block;
    if (free_) {
        block = free_;
        free_ = *static_cast<void**>(block);
        std::memset(block, 0, blockSize_);
    } else {
        // Each mapping is at least as large as all before it, so that the count of mappings
        // grows with the logarithm of the blocks.
        if (fresh_ == freshEnd_ && !addChunk(std::max(blocksPerChunk_, capacity_))) return nullptr;
        block = fresh_;
        fresh_ += blockSize_;
    }
    ++inUse_;
    return block;
}

void FixedPool::give(void* block) {
    if (!block) return;
    *static_cast<void**>(block) = free_;
    free_ = block;
    --inUse_;
}
