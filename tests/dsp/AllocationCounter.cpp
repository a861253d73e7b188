#include "AllocationCounter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<uint64_t> allocationCount{0};
std::atomic<uint64_t> deallocationCount{0};
std::atomic<bool> failing{false};
std::atomic<int64_t> allowedAllocations{0};

void* allocate(std::size_t size, std::size_t alignment)
{
    if (counting.load(std::memory_order_relaxed)) allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (failing.load(std::memory_order_relaxed) && allowedAllocations.fetch_sub(1) <= 0) return nullptr;
    if (size == 0) size = 1;
    if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

void release(void* pointer)
{
    if (!pointer) return;
    if (counting.load(std::memory_order_relaxed)) deallocationCount.fetch_add(1, std::memory_order_relaxed);
    std::free(pointer);
}

void* allocateOrThrow(std::size_t size, std::size_t alignment)
{
    void* pointer = allocate(size, alignment);
    if (!pointer) throw std::bad_alloc();
    return pointer;
}

}  // namespace

namespace quorel::test {

AllocationCounter::AllocationCounter()
{
    allocationCount = 0;
    deallocationCount = 0;
    counting = true;
}

AllocationCounter::~AllocationCounter() { counting = false; }

uint64_t AllocationCounter::allocations() const { return allocationCount.load(); }

uint64_t AllocationCounter::deallocations() const { return deallocationCount.load(); }

AllocationFailure::AllocationFailure(uint64_t allowed)
{
    allowedAllocations = int64_t(allowed);
    failing = true;
}

AllocationFailure::~AllocationFailure() { failing = false; }

}  // namespace quorel::test

void* operator new(std::size_t size) { return allocateOrThrow(size, 0); }
void* operator new[](std::size_t size) { return allocateOrThrow(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) { return allocateOrThrow(size, std::size_t(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocateOrThrow(size, std::size_t(a)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocate(size, std::size_t(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocate(size, std::size_t(a));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
