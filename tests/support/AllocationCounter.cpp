#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
// Only the counting thread counts, not driver threads.
thread_local bool tCounting = false;
std::atomic<long> gCount{0};
}  // namespace

void allocation_counter::start() {
    gCount.store(0);
    tCounting = true;
}
long allocation_counter::stop() {
    tCounting = false;
    return gCount.load();
}
long allocation_counter::count() { return gCount.load(); }

// Every form is replaced: a sanitizer runtime defines the ones not replaced,
// which would then neither count nor pair with these deletes.
namespace {
void* allocate(std::size_t size) {
    if (tCounting) gCount.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* allocateAligned(std::size_t size, std::align_val_t align) {
    if (tCounting) gCount.fetch_add(1, std::memory_order_relaxed);
    std::size_t alignment = static_cast<std::size_t>(align);
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
    const std::size_t rounded = size == 0 ? alignment : (size + alignment - 1) / alignment * alignment;  // as aligned_alloc wants
    return std::aligned_alloc(alignment, rounded);
}
void* orThrow(void* p) {
    if (!p) throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size) { return orThrow(allocate(size)); }
void* operator new[](std::size_t size) { return orThrow(allocate(size)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t align) { return orThrow(allocateAligned(size, align)); }
void* operator new[](std::size_t size, std::align_val_t align) { return orThrow(allocateAligned(size, align)); }
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return allocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return allocateAligned(size, align);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
