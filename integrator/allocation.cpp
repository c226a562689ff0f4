#include "integrator/allocation.h"

#include <cstdlib>

namespace pelvarin {

namespace {
// Constant-initialized: loading the library runs none of our code.
long g_failAt = 0;
long g_attempts = 0;
long g_live = 0;
}  // namespace

void* msAllocate(size_t size) {
  ++g_attempts;
  if (g_failAt > 0 && g_attempts == g_failAt) return nullptr;
  // malloc(0) may give NULL; callers never need a zero-sized block.
  void* block = std::malloc(size > 0 ? size : 1);
  if (block != nullptr) ++g_live;
  return block;
}

void msRelease(void* block) {
  if (block == nullptr) return;
  --g_live;
  std::free(block);
}

void msFailAllocationAt(long k) {
  g_failAt = k > 0 ? k : 0;
  g_attempts = 0;
}

long msAllocationCount() { return g_attempts; }

long msLiveAllocations() { return g_live; }

}  // namespace pelvarin
