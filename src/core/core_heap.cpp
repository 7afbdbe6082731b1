// core_heap.cpp -- growable zero-filled heap blocks and heap texts.

#include "core/core_public.h"

namespace core {

namespace {

// Each block carries its size in a header in front of the data, as the
// process heap did; 16 bytes keep the data as aligned as malloc's.
struct alignas(16) BlockHeader {
  size_t size;
};

BlockHeader* HeaderOf(const void* block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) -
                                        sizeof(BlockHeader));
}

}  // namespace

void* HeapGrowZeroed(void* block, size_t wanted) {
  size_t oldSize = 0;
  BlockHeader* header = nullptr;
  if (block) {
    header = HeaderOf(block);
    oldSize = header->size;
    if (oldSize >= wanted) return block;
  }
  size_t newSize = wanted + 16;
  auto* grown = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + newSize));
  if (!grown) return nullptr;
  char* data = reinterpret_cast<char*>(grown + 1);
  std::memset(data + oldSize, 0, newSize - oldSize);
  grown->size = newSize;
  return data;
}

void* HeapFreeCached(void* block) {
  if (block) std::free(HeaderOf(block));
  return nullptr;
}

size_t HeapBlockSize(const void* block) { return block ? HeaderOf(block)->size : 0; }

char* SetHeapString(char** text, const char* value) {
  if (!value) value = "";
  size_t length = std::strlen(value);
  char* block = static_cast<char*>(HeapGrowZeroed(*text, length + 1));
  if (!block) return *text;
  std::memcpy(block, value, length + 1);
  *text = block;
  return block;
}

int GetFileWriteTime(platform::FileTime* time, const char* fileName) {
  return platform::GetFileWriteTime(fileName, time) ? 1 : 0;
}

}  // namespace core
