// core_sjis.cpp -- Shift-JIS lead bytes and the converted forms of the
// engine's Japanese literals.

#include <mutex>
#include <string>
#include <unordered_map>

#include "core/core_public.h"

namespace core {

namespace {

// Converted literals, keyed by the literal's address. Entries are never
// removed, so the returned pointers stay valid for the program's life; node
// storage of unordered_map never moves its values.
struct LiteralCache {
  std::mutex mutex;
  std::unordered_map<const char*, std::string> texts;
};

// Never destroyed: owners torn down at exit still log converted texts.
LiteralCache& Cache() {
  static LiteralCache* cache = new LiteralCache;
  return *cache;
}

}  // namespace

int IsSjisLeadByte(int byte) {
  return ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFF)) ? 1 : 0;
}

const char* Sjis(const char* utf8Literal) {
  if (!utf8Literal) return "";
  LiteralCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  auto it = cache.texts.find(utf8Literal);
  if (it == cache.texts.end())
    it = cache.texts.emplace(utf8Literal, platform::Utf8ToCp932(utf8Literal)).first;
  return it->second.c_str();
}

}  // namespace core
