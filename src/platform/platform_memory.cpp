// platform_memory.cpp -- memory on large pages.

#include <sys/mman.h>

#include <cstdlib>

#include "platform/platform_system.h"

namespace platform {

void* AllocateLargePages(size_t bytes) {
  constexpr size_t kLargePage = size_t(2) << 20;
  void* memory = std::aligned_alloc(kLargePage, bytes);
  if (memory) madvise(memory, bytes, MADV_HUGEPAGE);  // a hint: no large pages is fine
  return memory;
}

void FreeLargePages(void* memory) { std::free(memory); }

}  // namespace platform
