// Relocatable handles, pointer blocks, Munger, fixed-block pools.
//
// A handle is a master-pointer record: its data address may change when it is resized, unless
// it is locked. Every handle has exactly one holder; UniqueHandle makes that holder a type.
// Every call that allocates can fail and reports it (nullptr, or a non-zero OSErr).
#pragma once
#include "resources/Types.h"
#include <cstddef>
#include <utility>

struct HandleBlock {
    char* data = nullptr;       // the master pointer
    Size size = 0;              // bytes in use
    std::uint8_t lockCount = 0; // 0 to 255
    Size capacity = 0;          // bytes allocated at data (at least size)
};
using Handle = HandleBlock*;
using Ptr = char*;

Handle NewHandle(Size size);      // nullptr when out of memory; size 0 is allowed
Handle NewHandleClear(Size size); // zero-filled
Handle PtrToHand(const void* src, Size size);
Handle HandToHand(Handle h);                 // a copy of the whole handle, nullptr on failure
Size GetHandleSize(Handle h);                // 0 for nullptr and for a handle asked for 0 bytes
OSErr SetHandleSize(Handle h, Size newSize); // keeps content up to the smaller size; memFullErr
// HLock increments the lock count (saturating at 255) and returns the data; while the count is
// above 0 the data never moves: SetHandleSize then fails with memFullErr rather than relocate.
char* HLock(Handle h);
void HUnlock(Handle h);
void DisposeHandle(Handle h); // nullptr is allowed

Ptr NewPtr(Size size);
Ptr NewPtrClear(Size size);
void DisposePtr(Ptr p);

// Fault injection (tests only): counts the allocations made from the arm call on (a new handle
// or pointer block, a handle grown past its room, a block taken from a fixed pool) and makes
// the n-th of them fail as if memory had run out (n = 1: the next one). The fault fires once.
void ArmMemoryFault(long n);
void DisarmMemoryFault();
bool MemoryFaultFired();
long MemoryAllocationsCounted(); // allocations counted since the last arm call

void BlockMove(const void* src, void* dst, Size n); // overlapping moves are fine
void BlockFill(void* dst, Size n, std::uint8_t value);

// Classic Munger: searches for pattern (len1 bytes) from offset; returns its position or -1.
// With ptr2 == nullptr only the position is returned; with len2 == 0 the match is deleted;
// otherwise it is replaced by ptr2/len2. ptr1 == nullptr replaces len1 bytes at offset
// directly (no search; len1 < 0 means up to the end, len1 == 0 inserts). Returns the offset just
// past the replacement, or -1 when the pattern is absent, the offset is out of range or memory
// ran out.
long Munger(Handle h, long offset, const void* ptr1, long len1, const void* ptr2, long len2);
// Replaces len bytes at offset (a negative len: up to the end) by srcLen bytes of src, as Munger
// without a pattern: paramErr for an offset out of range, memFullErr when memory ran out.
OSErr ReplaceBytes(Handle h, long offset, long len, const void* src, long srcLen);
OSErr InsertBytes(Handle h, long offset, const void* src, long len); // offset -1 = at the end
OSErr DeleteBytes(Handle h, long offset, long len);

// RAII holder of a handle: disposes of it when it goes out of scope.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : h_(h) {}
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { DisposeHandle(h_); }
    Handle get() const { return h_; }
    Handle release() { return std::exchange(h_, nullptr); }
    void reset(Handle h = nullptr) {
        if (h_ != h) DisposeHandle(h_);
        h_ = h;
    }
    explicit operator bool() const { return h_ != nullptr; }
    char* data() const { return h_ ? h_->data : nullptr; }
    Size size() const { return GetHandleSize(h_); }

private:
    Handle h_ = nullptr;
};

// Locks a handle for the lifetime of the scope.
class HLockGuard {
public:
    explicit HLockGuard(Handle h) : h_(h), p_(h ? HLock(h) : nullptr) {}
    ~HLockGuard() {
        if (h_) HUnlock(h_);
    }
    HLockGuard(const HLockGuard&) = delete;
    HLockGuard& operator=(const HLockGuard&) = delete;
    char* data() const { return p_; }

private:
    Handle h_;
    char* p_;
};

// A pool of fixed-size blocks (package entries come from one). Blocks are zero-filled when
// taken. The blocks live in mappings of their own, each at least as large as all the mappings
// before it together, so a million blocks take a handful of mappings; large mappings ask for huge
// pages, so that filling one faults in 2 MiB at a time instead of 4 KiB. Blocks never taken are
// handed out in address order without being cleared (a fresh mapping is zero already); given
// blocks are reused first, last given first. Memory goes back to the system only when the pool is
// destroyed.
class FixedPool {
public:
    explicit FixedPool(std::size_t blockSize, std::size_t blocksPerChunk = 4096);
    ~FixedPool();
    FixedPool(const FixedPool&) = delete;
    FixedPool& operator=(const FixedPool&) = delete;
    void* take();           // nullptr when out of memory
    void give(void* block); // nullptr is allowed
    std::size_t blockSize() const { return blockSize_; }
    std::size_t inUse() const { return inUse_; }
    std::size_t capacity() const { return capacity_; } // blocks in all mappings

private:
    struct Chunk;
    bool addChunk(std::size_t blocks);
    std::size_t blockSize_;
    std::size_t blocksPerChunk_;
    Chunk* chunks_ = nullptr;
    char* fresh_ = nullptr;    // the first block never taken in the newest mapping
    char* freshEnd_ = nullptr; // the end of the newest mapping's blocks
    void* free_ = nullptr;     // given blocks, linked through their first word
    std::size_t inUse_ = 0;
    std::size_t capacity_ = 0;
};
