// platform_memory.cpp -- memory on large pages.

#include <sys/mman.h>

#include <cstdlib>

#include "platform/platform_system.h"

namespace platform {

void* AllocateLargePages(size_t bytes) {
  constexpr size_t kLargePage = size_t(2) << 20;
  // The size rounded up to whole large pages, as the aligned allocation
  // wants; only the large pages the caller's bytes fill are asked for, so an
  // unused tail is not made resident by a large page.
  void* memory = std::aligned_alloc(kLargePage, (bytes + kLargePage - 1) / kLargePage * kLargePage);
  size_t whole = bytes / kLargePage * kLargePage;
  if (memory && whole) madvise(memory, whole, MADV_HUGEPAGE);  // a hint: no large pages is fine
  return memory;
}

void FreeLargePages(void* memory) { std::free(memory); }

}  // namespace platform
