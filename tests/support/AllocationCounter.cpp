#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
// Only the counting thread counts: driver threads allocating at the same time
// do not disturb a measurement.
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

// The array, nothrow and sized forms forward to these four by default.
void* operator new(std::size_t size) {
    if (tCounting) gCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t align) {
    if (tCounting) gCount.fetch_add(1, std::memory_order_relaxed);
    std::size_t alignment = static_cast<std::size_t>(align);
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
    // aligned_alloc wants the size to be a non-zero multiple of the alignment.
    const std::size_t rounded = size == 0 ? alignment : (size + alignment - 1) / alignment * alignment;
    if (void* p = std::aligned_alloc(alignment, rounded)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
