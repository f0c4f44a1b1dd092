#include "platform/MemoryPolicy.h"

#include <malloc.h>

void keepLargeBuffersOffTheHeap() {
    // A fixed threshold also stops glibc from moving it (and the trim
    // threshold) at run time. Per-frame work allocates nothing, so only
    // start-up and module changes pay for the system calls.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}
