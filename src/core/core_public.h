// core_public.h -- what every subsystem shares: the invariant check, the log, the settings
// record, the file layer, growable heap blocks, Shift-JIS helpers, and the
// conversions between direction vectors and the engine's three orientation
// angles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "core/core_assert.h"
#include "core/core_log.h"
#include "core/core_package.h"
#include "core/core_settings.h"
#include "platform/platform_public.h"

namespace core {

using platform::Vec3;

// ----------------------------------------------------------------------------
// Heap blocks
//
// Every growable table of the engine is one block that only grows. A block
// knows its own size; a table's length follows from that size, and growth
// adds 16 bytes beyond what was asked, which become further entries. Saved
// behaviour depends on the resulting counts (a pool grows by 260 slots, a
// trigger list by 20), so tables whose entries hold pointers count their
// entries in the 4-byte measure the engine was designed with: see HeapTable.
// ----------------------------------------------------------------------------

// Grows `block` (null: a new block) to at least `wanted` bytes. A block that
// is already large enough is returned unchanged; otherwise it becomes
// wanted + 16 bytes, the new bytes zero. The block may move; store the result.
// Returns null only when memory is exhausted (the old block stays valid).
void* HeapGrowZeroed(void* block, size_t wanted);

// Frees a block from HeapGrowZeroed; null is ignored. Returns null, so
// `p = HeapFreeCached(p)` clears the pointer.
void* HeapFreeCached(void* block);

// The size of a block in bytes; 0 for null.
size_t HeapBlockSize(const void* block);

// Stores `value` (null: the empty text) in the text block `*text`, growing it
// to the text's length + 1. Returns the block, also stored through `text`.
char* SetHeapString(char** text, const char* value);

// A growable table whose entry count follows the engine's block arithmetic:
// `size` is the block's size in the designed measure, `kEntryBytes` bytes per
// entry (4 for a table of pointers), and Count() = size / kEntryBytes. The
// entries themselves are stored at their real size. T must be trivially
// copyable: growth moves entries with realloc.
template <typename T, size_t kEntryBytes = sizeof(T)>
struct HeapTable {
  static_assert(std::is_trivially_copyable_v<T>, "heap tables move entries bytewise");

  T* entries = nullptr;
  uint32_t size = 0;  // block size in the designed measure, grows only

  uint32_t Count() const { return size / uint32_t(kEntryBytes); }
  T& operator[](uint32_t i) { return entries[i]; }
  const T& operator[](uint32_t i) const { return entries[i]; }

  // HeapGrowZeroed on the designed measure: when the block is smaller than
  // `wanted` bytes it becomes wanted + 16, new entries zero. False when
  // memory is exhausted (the table is unchanged).
  bool GrowZeroed(uint32_t wanted) {
    if (entries && size >= wanted) return true;
    uint32_t newSize = wanted + 16;
    uint32_t newCount = newSize / uint32_t(kEntryBytes);
    uint32_t oldCount = entries ? Count() : 0;
    T* grown = static_cast<T*>(std::realloc(entries, size_t(newCount ? newCount : 1) * sizeof(T)));
    if (!grown) return false;
    if (newCount > oldCount) std::memset(static_cast<void*>(grown + oldCount), 0, (newCount - oldCount) * sizeof(T));
    entries = grown;
    size = newSize;
    return true;
  }

  void Free() {
    std::free(entries);
    entries = nullptr;
    size = 0;
  }
};

// ----------------------------------------------------------------------------
// Shift-JIS
// ----------------------------------------------------------------------------

// 1 for the lead byte of a two-byte Shift-JIS character (0x81..0x9F,
// 0xE0..0xFF), else 0. Byte-wise scans use it never to split a character.
int IsSjisLeadByte(int byte);

// The Shift-JIS form of a UTF-8 string literal. The engine's Japanese texts
// are written readably in the sources and converted once, on first use; the
// result lives as long as the program. Use only with literals (the cache is
// keyed by the literal's address). Safe from any thread.
const char* Sjis(const char* utf8Literal);

// ----------------------------------------------------------------------------
// Files
// ----------------------------------------------------------------------------

// The last-write time of a disk file; 1, or 0 when it cannot be read.
int GetFileWriteTime(platform::FileTime* time, const char* fileName);

// ----------------------------------------------------------------------------
// Vectors and angles
//
// Angles are radians: x pitch (positive upward), y yaw, z roll. A rotation is
// the yaw-pitch-roll matrix with yaw = -y, pitch = -x, roll = z, so +z is the
// front and +y the up of an unturned object.
// ----------------------------------------------------------------------------

// Pitch and yaw of `direction`; roll from `up` when given, else 0. A
// direction straight up or down (no horizontal part) has yaw 0 and its own up
// is taken as for yaw 0; an up vector along the direction gives roll 0.
// Always returns 1.
int AnglesFromDirection(Vec3* angles, const Vec3& direction, const Vec3* up);

// The front (0, 0, 1) and up (0, 1, 0) turned by `angles`; either output may
// be null. Always returns 1.
int DirectionFromAngles(Vec3* forward, Vec3* up, const Vec3& angles);

// The up vector of `direction` turned by `roll` about it. Returns 0.
int RotateVectorAboutAxis(Vec3* out, const Vec3& direction, float roll);

// Each coordinate to the nearest multiple of `grid`, halves away from zero;
// also copied to `copy` when given. A zero grid leaves the vector as it is.
// Returns `out`.
Vec3* SnapToGrid(Vec3* out, Vec3* copy, const Vec3& v, float grid);

// ----------------------------------------------------------------------------
// The game's random generator
//
// The world's one source of chance: a 15-bit linear congruential generator
// (s = s x 214013 + 2531011, result (s >> 16) & 0x7FFF). Every world reset
// reseeds it with 0, so recorded input replays the same game; nothing in the
// engine draws from the C library's generator. From seed 0 the first values
// are 38, 7719, 21238, 2437.
// ----------------------------------------------------------------------------

struct RandomGenerator {
  uint32_t seed = 0;

  void Seed(uint32_t value) { seed = value; }
  // 0 to 32767.
  int Next() {
    seed = seed * 214013u + 2531011u;
    return int((seed >> 16) & 0x7FFF);
  }
};

}  // namespace core
