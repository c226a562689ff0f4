// The integrator's single allocation point: every block of the integrator
// (records, vectors, matrices, pivots, texts) is obtained and released here,
// from the C runtime's heap, never from the FMI host's allocator.
#pragma once

#include <cstddef>

namespace pelvarin {

// A block of size bytes, or NULL when memory runs out (or a test made this
// allocation fail). Blocks are plain malloc blocks: free() releases them too.
void* msAllocate(size_t size);

// Releases a block from msAllocate; NULL is accepted.
void msRelease(void* block);

// Test hooks. msFailAllocationAt(k) makes the k-th allocation counted from
// this call fail (k >= 1; 0 disables). The counters cover the whole process.
void msFailAllocationAt(long k);
long msAllocationCount();  // allocations attempted since the last msFailAllocationAt
long msLiveAllocations();  // blocks obtained and not yet released

}  // namespace pelvarin
