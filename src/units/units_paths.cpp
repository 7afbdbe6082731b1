// units_paths.cpp -- path points: the record, links, curves, event-script
// wrappers and temporary script files, and the path-point pool.
//
// Index
//   [SECTION] The point record and its links
//   [SECTION] Curves
//   [SECTION] Event-script wrappers
//   [SECTION] Temporary script files
//   [SECTION] The pool
//   [SECTION] Live paths from placement records

#include "units/units_paths.h"

#include "script/script_public.h"
#include "units/units_services.h"
#include "world/world_services.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace units {

using platform::Vec3Length;
using platform::Vec3Normalize;
using platform::Vec3Subtract;

// ----------------------------------------------------------------------------
// [SECTION] The point record and its links
// ----------------------------------------------------------------------------

PathPoint::PathPoint() {
  // Outside a pool a point still needs an identity of its own for its
  // function name; a pool replaces it with the point's handle.
  identity = uint32_t(reinterpret_cast<uintptr_t>(this));
  ResetPathPoint(*this);
}

PathPoint::~PathPoint() {
  DeleteEventScriptFile(*this);
  // Neighbours must not keep a link to a point that is gone.
  if (next && next->prev == this) next->prev = prev;
  if (prev && prev->next == this) prev->next = next;
}

void ResetPathPoint(PathPoint& point) {
  point.InitObject();
  point.label.clear();
  point.eventScript.clear();
  point.wrapperScript.clear();
  point.fileName.clear();
  point.operand1.clear();
  point.operand2.clear();
  point.triggerCommand = 0;
  point.onCurve = 0;
  point.active = 0;
  point.next = nullptr;
  point.prev = nullptr;
}

namespace {

// Empties a text and gives its buffer back.
void FreeText(std::string* text) { std::string().swap(*text); }

}  // namespace

void DetachPathPoint(PathPoint& point) {
  DeleteEventScriptFile(point);
  FreeText(&point.label);
  FreeText(&point.eventScript);
  FreeText(&point.wrapperScript);
  FreeText(&point.fileName);
  point.ReleaseObject();
  if (point.next) point.next->prev = point.prev;
  if (point.prev) point.prev->next = point.next;
  ResetPathPoint(point);
  point.inUse = 0;
}

int SetPathPointOnCurve(PathPoint& point, int onCurve) {
  point.onCurve = onCurve;
  bool state = onCurve != 0;
  if (point.next && (point.next->onCurve != 0) == state) return 0;
  if (point.prev && (point.prev->onCurve != 0) == state) return 0;
  return 1;
}

PathPoint* SetNextPathPoint(PathPoint& point, PathPoint* next) {
  PathPoint* old = point.next;
  point.next = next;
  return old;
}

PathPoint* SetPrevPathPoint(PathPoint& point, PathPoint* prev) {
  PathPoint* old = point.prev;
  point.prev = prev;
  return old;
}

const char* SetPathPointLabel(PathPoint& point, const char* label) {
  point.label.assign(label ? label : "");
  return point.label.c_str();
}

void SetPathPointTrigger(PathPoint& point, uint32_t command, const char* op1, const char* op2) {
  point.triggerCommand = command;
  point.operand1.assign(op1 ? op1 : "");
  point.operand2.assign(op2 ? op2 : "");
}

const char* GetPathPointOperand(const PathPoint& point, int index) {
  return index == 0 ? point.operand1.c_str() : point.operand2.c_str();
}

void SetPathPointPosition(PathPoint& point, float x, float y, float z) { point.SetObjectPosition(x, y, z); }

int CenterPathPointBetweenLinks(PathPoint& point) {
  if (!point.onCurve || !point.next || !point.prev) return 0;
  Vec3 a = point.prev->GetObjectWorldPosition();
  Vec3 b = point.next->GetObjectWorldPosition();
  point.SetObjectPosition((a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f);
  return 1;
}

namespace {

int CountLinks(const PathPoint& point, const PathPoint* target, bool forward) {
  int count = 0;
  for (const PathPoint* p = &point; p; p = forward ? p->next : p->prev) {
    if (p == target) return count;
    if (count > 0 && p == &point) break;  // came round a closed chain
    count++;
  }
  return -1;
}

}  // namespace

int CountLinksForward(const PathPoint& point, const PathPoint* target) { return CountLinks(point, target, true); }

int CountLinksBackward(const PathPoint& point, const PathPoint* target) { return CountLinks(point, target, false); }

// ----------------------------------------------------------------------------
// [SECTION] Curves
//
// The position rules walk the chain: a parameter past the next on-curve
// point, or two links on, moves the evaluation forward; one before the
// point, or a point that follows an on-curve point, moves it back. The walk
// is a loop with a bound rather than a recursion.
// ----------------------------------------------------------------------------

namespace {

Vec3 Blend(const Vec3& p, const Vec3& n, float t) {
  return {p.x * (1 - t) + n.x * t, p.y * (1 - t) + n.y * t, p.z * (1 - t) + n.z * t};
}

float BezierComponent(float p, float n1, float n2, float s) {
  return (p * (1 - s) + n1 * s) * (1 - s) + (n1 * (1 - s) + n2 * s) * s;
}

// Most moves a position walk takes: one per two units of the parameter on a
// closed path, plus room for the steps back and forth within a span. A
// parameter too large to lose 2 in float arithmetic would otherwise walk a
// closed path for ever.
int WalkBound(float t) {
  float size = std::fabs(t);
  if (!(size < 1e7f)) size = 1e7f;  // also NaN
  return int(size) + 256;
}

}  // namespace

namespace {

// A point's world position; a point without a parent (nearly all) is where
// its own position says, without the call through the display object.
inline Vec3 WorldPosition(PathPoint& point) {
  return point.parent ? point.GetObjectWorldPosition() : point.position;
}

// The length of b - a, the same operations as Vec3Length(Vec3Subtract(b, a))
// in the same order, kept here so the distance walk's inner loop makes no
// calls.
inline float Distance(const Vec3& a, const Vec3& b) {
  float x = b.x - a.x, y = b.y - a.y, z = b.z - a.z;
  return std::sqrt(x * x + y * y + z * z);
}

}  // namespace

Vec3 PathSampler::Position(float t) {
  PathPoint* p = start;
  for (int moves = WalkBound(t); moves > 0; moves--) {
    PathPoint* n1 = p->next;
    PathPoint* n2 = n1 ? n1->next : nullptr;
    PathPoint* b1 = p->prev;
    PathPoint* b2 = b1 ? b1->prev : nullptr;
    if (t > 2 && n2) {
      p = n2;
      t -= 2;
      continue;
    }
    if (t < 0 && b2) {
      p = b2;
      t += 2;
      continue;
    }
    if (t > 1 && n1 && n1->onCurve) {
      p = n1;
      t -= 1;
      continue;
    }
    if (!n1 && t >= 0) return WorldPosition(*p);
    // A control point after an on-curve point belongs to the span that
    // starts there. An on-curve point after another on-curve point starts a
    // span of its own: sending it back would bring the walk straight here
    // again (the two points are not a well-formed path).
    if (b1 && b1->onCurve && !p->onCurve) {
      p = b1;
      t += 1;
      continue;
    }
    if (!b1 && t < 0) t = 0;
    if (!n1) return WorldPosition(*p);
    // Which neighbours a span reads is fixed by its point's links, so the
    // kept positions of the same point are the ones this span needs.
    if (p != spanPoint) {
      here = WorldPosition(*p);
      after = WorldPosition(*n1);
      if (b1 && n2) afterNext = WorldPosition(*n2);
      spanPoint = p;
    }
    if (b1 && n2) {
      float s = t / 2;
      return {BezierComponent(here.x, after.x, afterNext.x, s), BezierComponent(here.y, after.y, afterNext.y, s),
              BezierComponent(here.z, after.z, afterNext.z, s)};
    }
    return Blend(here, after, t);
  }
  return WorldPosition(*p);
}

Vec3 GetPathPosition(PathPoint& start, float t) { return PathSampler(start).Position(t); }

Vec3 GetPathDirection(PathPoint& point) {
  Vec3 d;
  if (point.next) {
    d = Vec3Subtract(GetPathPosition(point, 0.001f), GetPathPosition(point, 0));
  } else if (point.prev) {
    d = Vec3Subtract(GetPathPosition(point, 0), GetPathPosition(*point.prev, 0.999f));
  } else {
    d = point.GetObjectWorldFront();
  }
  return Vec3Normalize(d);
}

// Flattened: the sampler's walk is the inner loop's body, and a call per
// sample was a good part of the walk's time.
[[gnu::flatten]] float FindPathParameterByDistance(PathPoint& point, float t, float distance) {
  float step = 0.01f;
  float remaining = distance;
  int halvings = 0;
  // The walk's samples lie close together: most of them in the span of the
  // one before, whose points the sampler has already read.
  PathSampler sampler(point);
  Vec3 p = sampler.Position(t);
  // A distance far beyond the chords of a closed path would stop losing
  // anything in float arithmetic; the bound ends such a walk.
  for (int moves = 0; moves < (1 << 20); moves++) {
    Vec3 q = sampler.Position(t + step);
    float chord = Distance(p, q);
    if (!(chord > 0)) break;
    // p stays the position at t: the one just measured after a move, the
    // same as before after a halving.
    if (remaining - chord > 0) {
      remaining -= chord;
      t += step;
      p = q;
    } else {
      step *= 0.5f;
      if (++halvings > 10) break;
    }
  }
  return t;
}

// ----------------------------------------------------------------------------
// [SECTION] Event-script wrappers
//
// A point's event script becomes one script function of its own, named from
// the label and the point's identity, so the trigger code can call it with
// the triggering unit's handle. The wrapper puts two include lines before
// the script: an error in it is reported two lines down, and the script
// host takes those two lines off again (script_host.cpp).
// ----------------------------------------------------------------------------

int FormatEventFunctionName(const PathPoint& point, char* buffer) {
  int size = int(point.label.size()) + 24;
  if (buffer) std::snprintf(buffer, size_t(size), "__%s__%x", point.label.c_str(), unsigned(point.identity));
  return size;
}

std::string EventFunctionName(const PathPoint& point) {
  std::string name(size_t(FormatEventFunctionName(point, nullptr)), '\0');
  FormatEventFunctionName(point, name.data());
  name.resize(std::strlen(name.c_str()));
  return name;
}

const char* SetPathPointScript(PathPoint& point, const char* script) {
  point.eventScript.assign(script ? script : "");
  // An empty script builds nothing: the old wrapper stays.
  if (point.eventScript.empty()) return point.eventScript.c_str();
  std::string& w = point.wrapperScript;
  w.clear();
  w.reserve(point.eventScript.size() + point.label.size() + 256);
  w += "#include \"/zadazorad/script/system.inc\"\r\n";
  w += "#include \"/zadazorad/script/mission.inc\"\r\n";
  w += "extern function ";
  w += EventFunctionName(point);
  w += " (int __unit_handle__) {";
  w += point.eventScript;
  w += "}\r\n";
  return point.eventScript.c_str();
}

// ----------------------------------------------------------------------------
// [SECTION] Temporary script files
//
// The editor lets an outside text editor change a point's event script
// through one file per point, named from a folder prefix, "__tmp__", the
// label and ".spt". The file holds the script's bytes exactly. The label is
// the user's text: characters that would leave the folder or that file
// systems refuse become "_", and the name is cut to fit a path buffer.
// ----------------------------------------------------------------------------

namespace {

bool IsPathCharacter(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
         c == '<' || c == '>' || c == '|';
}

// The file's last-write time, 0 when it cannot be read.
platform::FileTime FileWriteTime(const std::string& name) {
  platform::FileTime time = 0;
  if (!platform::GetFileWriteTime(platform::ResolvePath(name).c_str(), &time)) return 0;
  return time;
}

}  // namespace

std::string BuildEventScriptFileName(const char* prefix, const char* label) {
  static constexpr char kHead[] = "__tmp__";
  static constexpr char kTail[] = ".spt";
  std::string name = prefix ? prefix : "";
  name += kHead;
  size_t room = kEventScriptPathBytes - 1;
  if (name.size() + sizeof kTail - 1 > room) return {};
  room -= name.size() + sizeof kTail - 1;
  std::string safe;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(label ? label : ""); *p;) {
    // A two-byte character stays whole (its second byte may look like a
    // separator) or is left out whole.
    if (core::IsSjisLeadByte(p[0]) && p[1]) {
      if (safe.size() + 2 > room) break;
      safe += char(p[0]);
      safe += char(p[1]);
      p += 2;
      continue;
    }
    if (safe.size() + 1 > room) break;
    safe += IsPathCharacter(p[0]) ? '_' : char(p[0]);
    p++;
  }
  // A label of dots alone would otherwise give names like "__tmp__...spt":
  // harmless after the head, so dots are kept.
  name += safe;
  name += kTail;
  return name;
}

const char* WriteEventScriptFile(PathPoint& point, const char* prefix) {
  point.fileName = BuildEventScriptFileName(prefix, point.label.c_str());
  if (point.fileName.empty()) return nullptr;
  std::string disk = platform::ResolvePath(point.fileName);
  if (!platform::WriteWholeFile(disk.c_str(), point.eventScript.data(), point.eventScript.size())) return nullptr;
  point.fileTime = FileWriteTime(point.fileName);
  return point.fileName.c_str();
}

const char* FindEventScriptFile(PathPoint& point, const char* prefix, int rewrite, const platform::FileTime* time) {
  if (point.label.empty()) return nullptr;
  point.fileName = BuildEventScriptFileName(prefix, point.label.c_str());
  if (point.fileName.empty()) return nullptr;
  std::string disk = platform::ResolvePath(point.fileName);
  std::FILE* file = std::fopen(disk.c_str(), "rb");
  if (!file) return nullptr;
  std::fclose(file);
  if (rewrite && !point.eventScript.empty()) return WriteEventScriptFile(point, prefix);
  point.fileTime = time ? *time : FileWriteTime(point.fileName);
  return point.fileName.c_str();
}

int IsEventScriptFileNewer(PathPoint& point) {
  if (point.fileName.empty()) return 0;
  platform::FileTime time = FileWriteTime(point.fileName);
  int newer = time > point.fileTime ? 1 : 0;
  // One outside change is reported once.
  point.fileTime = time;
  return newer;
}

int ReloadEventScriptFile(PathPoint& point) {
  if (point.fileName.empty()) return 0;
  std::string disk = platform::ResolvePath(point.fileName);
  std::FILE* file = std::fopen(disk.c_str(), "rb");
  if (!file) return 0;
  std::string text;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return 0;
  // The script is read as text: it ends at a zero byte.
  SetPathPointScript(point, text.c_str());
  point.fileTime = FileWriteTime(point.fileName);
  return 0;
}

int DeleteEventScriptFile(PathPoint& point) {
  if (point.fileName.empty()) return 0;
  std::remove(platform::ResolvePath(point.fileName).c_str());
  point.fileName.clear();
  return 1;
}

// ----------------------------------------------------------------------------
// [SECTION] The pool
// ----------------------------------------------------------------------------

namespace {

// Entries the table starts with and grows by.
constexpr uint32_t kPoolGrowth = 256;

// Grows the table by kPoolGrowth entries and builds a point in every new
// slot. False when memory is exhausted.
bool GrowPool(PathPointPool& pool) {
  uint32_t oldCount = pool.slots.entries ? pool.slots.Count() : 0;
  if (!pool.slots.GrowZeroed((pool.slots.entries ? pool.slots.size : 0) + kPoolGrowth * 4)) return false;
  for (uint32_t i = oldCount; i < pool.slots.Count(); i++) {
    PathPoint* point = new (std::nothrow) PathPoint();
    if (!point) return false;  // the slot stays empty and is skipped
    point->poolSlot = int32_t(i);
    point->identity = uint32_t(kPathPointHandleBase) + i;
    pool.slots[i] = point;
  }
  return true;
}

}  // namespace

PathPointPool::PathPointPool() {}

PathPointPool::~PathPointPool() {
  if (!slots.entries) return;
  // Links between points of the pool are cut first so no point's
  // destructor touches one already gone.
  for (uint32_t i = 0; i < slots.Count(); i++)
    if (slots[i]) slots[i]->next = slots[i]->prev = nullptr;
  for (uint32_t i = 0; i < slots.Count(); i++) delete slots[i];
  std::free(slots.entries);
  slots.entries = nullptr;
}

PathPoint* NewPathPoint(PathPointPool& pool, int32_t id, float red, float green, float blue) {
  for (int pass = 0; pass < 2; pass++) {
    uint32_t count = pool.slots.entries ? pool.slots.Count() : 0;
    for (uint32_t i = 0; i < count; i++) {
      PathPoint* point = pool.slots[i];
      if (!point || point->inUse) continue;
      ResetPathPoint(*point);
      point->id = id;
      point->SetObjectColor(red, green, blue, -1);
      point->inUse = 1;
      return point;
    }
    if (pass == 0 && !GrowPool(pool)) return nullptr;
  }
  return nullptr;
}

int CountPathPoints(const PathPointPool& pool) { return pool.slots.entries ? int(pool.slots.Count()) : 0; }

PathPoint* GetPathPointAt(const PathPointPool& pool, int slot) {
  if (slot < 0 || slot >= CountPathPoints(pool)) return nullptr;
  PathPoint* point = pool.slots[uint32_t(slot)];
  return point && point->inUse ? point : nullptr;
}

int32_t GetPathPointHandle(const PathPoint* point) {
  if (!point || point->poolSlot < 0) return -1;
  return kPathPointHandleBase + point->poolSlot;
}

PathPoint* FindPathPointByHandle(const PathPointPool& pool, int32_t handle) {
  int64_t slot = int64_t(handle) - kPathPointHandleBase;
  if (slot < 0 || slot >= CountPathPoints(pool)) return nullptr;
  return GetPathPointAt(pool, int(slot));
}

PathPoint* FindPathPointByLabel(const PathPointPool& pool, const char* label) {
  if (!label || !*label) return nullptr;
  for (int i = 0; i < CountPathPoints(pool); i++) {
    PathPoint* point = GetPathPointAt(pool, i);
    if (point && point->label == label) return point;
  }
  return nullptr;
}

PathPoint* FindPathPointById(const PathPointPool& pool, int32_t id) {
  for (int i = 0; i < CountPathPoints(pool); i++) {
    PathPoint* point = GetPathPointAt(pool, i);
    if (point && point->id == id) return point;
  }
  return nullptr;
}

PathPoint* FindPathPointAt(const PathPointPool& pool, float x, float y, float z) {
  for (int i = 0; i < CountPathPoints(pool); i++) {
    PathPoint* point = GetPathPointAt(pool, i);
    if (!point) continue;
    Vec3 p = point->GetObjectWorldPosition();
    if (Vec3Length(Vec3Subtract(p, {x, y, z})) <= 0.01f) return point;
  }
  return nullptr;
}

void DetachAllPathPoints(PathPointPool& pool) {
  for (int i = 0; i < CountPathPoints(pool); i++) {
    PathPoint* point = GetPathPointAt(pool, i);
    if (point) DetachPathPoint(*point);
  }
}

bool FindPathPointLabelForScript(void* user, const char* script, std::string* label) {
  const PathPointPool* pool = static_cast<const PathPointPool*>(user);
  if (!pool || !script) return false;
  for (int i = 0; i < CountPathPoints(*pool); i++) {
    const PathPoint* point = GetPathPointAt(*pool, i);
    if (!point || point->wrapperScript.empty() || point->wrapperScript != script) continue;
    if (label) *label = point->label;
    return true;
  }
  return false;
}

// ----------------------------------------------------------------------------
// [SECTION] Live paths from placement records
// ----------------------------------------------------------------------------

namespace {

// One colour channel of a new point's tint: 64 to 255, as a fraction.
float TintChannel(world::GameWorld& world) { return float(world::Rand(world) % 192 + 64) / 255.0f; }

}  // namespace

int CreatePathsFromRecords(world::GameWorld& world, PathPointPool& pool, int32_t* pathIdCounter,
                           script::ScriptEngine& se, int compile, int list) {
  UnitDatabase& db = world::GetUnitDatabase(world);
  se.pathPoints.find = FindPathPointLabelForScript;
  se.pathPoints.user = &pool;
  std::vector<PathPointRecord*> made;
  // Chain by chain: each record not yet used starts a walk along the next
  // links, to the end or back round to its first record.
  auto used = [&](const PathPointRecord* r) {
    for (const PathPointRecord* m : made)
      if (m == r) return true;
    return false;
  };
  for (PathPointRecord* start : db.pathPoints) {
    if (!start || used(start)) continue;
    PathPoint* previous = nullptr;
    PathPoint* first = nullptr;
    for (PathPointRecord* r = start; r && !used(r); r = r->next) {
      float red = TintChannel(world);
      float green = TintChannel(world);
      float blue = TintChannel(world);
      PathPoint* point = NewPathPoint(pool, pathIdCounter ? (*pathIdCounter)++ : 0, red, green, blue);
      // The pool cannot grow: the caller's error handling takes the text.
      if (!point) script::RaiseScriptError("%s", core::Sjis("パス配置数の上限に達しました"));
      point->SetObjectPosition(r->position.x, r->position.y, r->position.z);
      point->onCurve = (r->options & kPathOnCurve) ? 1 : 0;
      point->active = (r->options & kPathActive) ? 1 : 0;
      SetPathPointLabel(*point, r->label.c_str());
      SetPathPointTrigger(*point, uint32_t(r->command), r->operand1.c_str(), r->operand2.c_str());
      SetPathPointScript(*point, r->script.c_str());
      r->livePoint = point;
      r->options |= kPathLive;
      made.push_back(r);
      if (previous) {
        previous->next = point;
        point->prev = previous;
      } else {
        first = point;
      }
      previous = point;
      // A LOOP leads the point back to its chain's first point.
      if ((r->options & kPathLoop) && first != point) {
        point->next = first;
        first->prev = point;
        break;
      }
    }
  }
  for (PathPointRecord* r : made) {
    PathPoint& point = *r->livePoint;
    // Each script is its own memory text, named by the file it came from.
    if (compile && !point.eventScript.empty())
      se.LoadScriptMemory(point.wrapperScript.c_str(), r->source.empty() ? "__path_event__" : r->source.c_str());
    if (list && point.active) world::SetPathPointListed(world, &point, 1);
  }
  return int(made.size());
}

}  // namespace units
