// units_paths.h -- path points and paths, placement files and path following.
//
// Notes for callers:
//  - A path is a chain of live `PathPoint`s linked by next and previous.
//    The points live in a `PathPointPool` (the world's): a script names a
//    point by its handle, kPathPointHandleBase plus its slot index.
//  - Placement files (".plc") are read from a compiled object into the unit
//    database's placement and path-point records and written back from them;
//    the world places units and builds the live paths from those records.
//  - Path following moves a unit along the point it is bound to; every
//    world operation it needs goes through world/world_services.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "render/render_public.h"

namespace world {
class GameWorld;
}

namespace script {
class ScriptEngine;
struct CScriptArray;
}  // namespace script

namespace units {

using platform::Vec3;

struct Unit;
struct UnitType;
struct UnitDatabase;

// [SECTION] Path points and paths
//
// A `PathPoint` is a display object with the fields of a path point. The
// path parameter t counts links: t = 0 at a point, 1 at its next point, 2 at
// the one after; negative t counts back along the previous links. Points of
// a well-formed path alternate control point, on-curve point, control point,
// ..., ending with a control point; each on-curve point with its next control
// point and the on-curve point after spans two parameter units of a
// quadratic Bezier curve.
//
// Invariants:
//  - A chain is open (first point without previous, last without next) or
//    closed (the last point's next is the first, whose previous is the last).
//  - Texts never hold a null: a text that was never set reads as "".
//  - `identity` is set once, when the point is made, and never changes; it
//    names the point's event function (FormatEventFunctionName), so the
//    trigger code finds the function the wrapper declared.

// A script names path point i of the pool by kPathPointHandleBase + i.
constexpr int32_t kPathPointHandleBase = 268435456;

// Longest temporary script file name, terminator included.
constexpr size_t kEventScriptPathBytes = 260;

struct PathPoint : render::DisplayObject {
  PathPoint();
  ~PathPoint();
  PathPoint(const PathPoint&) = delete;
  PathPoint& operator=(const PathPoint&) = delete;

  int32_t id = 0;              // serial from the world's path-id counter; kept by undo
  int32_t onCurve = 0;         // non-zero: on the curve; 0: a control point
  int32_t active = 0;          // 0 or 1: the trigger is armed (listed by the world)
  PathPoint* next = nullptr;   // the path parameter grows toward it
  PathPoint* prev = nullptr;
  std::string label;           // the point's name
  std::string eventScript;     // the body run by the trigger
  std::string wrapperScript;   // the compilable text built from eventScript
  uint32_t triggerCommand = 0; // row of the trigger command table, 0 "NOP"
  std::string operand1;        // OP1
  std::string operand2;        // OP2
  platform::FileTime fileTime = 0;  // noted last-write time of the temporary file
  std::string fileName;        // temporary script file; "" when none

  // --- Pool bookkeeping (set by the pool) ---------------------------------
  uint32_t identity = 0;       // unique among live points, constant for life
  int32_t poolSlot = -1;       // slot in its pool, -1 outside a pool
  int32_t inUse = 0;           // 1 from NewPathPoint until DetachPathPoint
};

// Record operations.
// DisplayObject defaults; texts emptied; command, on-curve, active 0; links
// none. The id is kept.
void ResetPathPoint(PathPoint& point);
// Deletes the temporary script file, joins the neighbours (next's previous
// becomes this point's previous and the other way), frees the texts and
// the display object's resources, resets the point and gives its pool
// slot back.
void DetachPathPoint(PathPoint& point);

// The on-curve setter stores the flag and returns 1 when the new state
// differs from that of every existing neighbour, 0 when one has the same.
int SetPathPointOnCurve(PathPoint& point, int onCurve);
// Link setters return the link they replaced.
PathPoint* SetNextPathPoint(PathPoint& point, PathPoint* next);
PathPoint* SetPrevPathPoint(PathPoint& point, PathPoint* prev);
const char* SetPathPointLabel(PathPoint& point, const char* label);
// Stores the event script and builds the wrapper (an empty script keeps
// the old wrapper). Returns the stored script.
const char* SetPathPointScript(PathPoint& point, const char* script);
void SetPathPointTrigger(PathPoint& point, uint32_t command, const char* op1, const char* op2);
const char* GetPathPointOperand(const PathPoint& point, int index);
void SetPathPointPosition(PathPoint& point, float x, float y, float z);
// An on-curve point with both neighbours moves to their midpoint: 1; else 0.
int CenterPathPointBetweenLinks(PathPoint& point);
// Links from the point to the target along next (previous) links: 0 for the
// point itself, -1 when the chain ends or comes round first.
int CountLinksForward(const PathPoint& point, const PathPoint* target);
int CountLinksBackward(const PathPoint& point, const PathPoint* target);

// Curves.
// World position on the curve at parameter t from the point.
Vec3 GetPathPosition(PathPoint& point, float t);
// Unit direction of the path at the point.
Vec3 GetPathDirection(PathPoint& point);
// The parameter reached by moving `distance` along the curve from `t`.
float FindPathParameterByDistance(PathPoint& point, float t, float distance);

// Positions along the curve from one start point, as GetPathPosition gives
// them, for runs of nearby samples: the world positions of the last span's
// points are kept, so samples within one span read them once. Valid while
// no point of the path moves, is relinked or changes its on-curve flag.
class PathSampler {
 public:
  explicit PathSampler(PathPoint& start) : start(&start) {}
  Vec3 Position(float t);

 private:
  PathPoint* start;
  PathPoint* spanPoint = nullptr;  // the point whose positions are kept
  Vec3 here{}, after{}, afterNext{};
};

// Event scripts.
// Writes "__<label>__<identity in hex>" into the buffer when one is given;
// returns the label's length plus 24, a size that always holds the name.
int FormatEventFunctionName(const PathPoint& point, char* buffer);
std::string EventFunctionName(const PathPoint& point);
// Temporary script files: see units_paths.cpp.
const char* WriteEventScriptFile(PathPoint& point, const char* prefix);
const char* FindEventScriptFile(PathPoint& point, const char* prefix, int rewrite, const platform::FileTime* time);
int IsEventScriptFileNewer(PathPoint& point);
int ReloadEventScriptFile(PathPoint& point);
int DeleteEventScriptFile(PathPoint& point);
// The temporary file name of a point: prefix, "__tmp__", the label and
// ".spt", with the label's path characters replaced and the whole bounded
// to kEventScriptPathBytes - 1 bytes.
std::string BuildEventScriptFileName(const char* prefix, const char* label);

// The pool. Slots hold points built once and reused; a slot's point is live
// while its `inUse` is set. The table is a pointer block of 256 entries at
// first, grown by 256.
struct PathPointPool {
  PathPointPool();
  ~PathPointPool();
  PathPointPool(const PathPointPool&) = delete;
  PathPointPool& operator=(const PathPointPool&) = delete;

  core::HeapTable<PathPoint*, 4> slots;
};

// A fresh point in the first free slot (the table grows when none is
// free), with the id and tint given; null when memory is exhausted.
PathPoint* NewPathPoint(PathPointPool& pool, int32_t id, float red, float green, float blue);
// Number of slots (live or not); loops skip slots whose point is not live.
int CountPathPoints(const PathPointPool& pool);
// The live point in a slot, or null.
PathPoint* GetPathPointAt(const PathPointPool& pool, int slot);
// kPathPointHandleBase + slot, or -1 for a point of no pool.
int32_t GetPathPointHandle(const PathPoint* point);
// The live point a handle names, or null (out of range, empty slot).
PathPoint* FindPathPointByHandle(const PathPointPool& pool, int32_t handle);
PathPoint* FindPathPointByLabel(const PathPointPool& pool, const char* label);
PathPoint* FindPathPointById(const PathPointPool& pool, int32_t id);
// The first live point within 0.01 of the position, or null.
PathPoint* FindPathPointAt(const PathPointPool& pool, float x, float y, float z);
// The world reset: every live point detached.
void DetachAllPathPoints(PathPointPool& pool);

// Builds the live paths of the database's path-point records, chain by
// chain from the first unused record in slot order along the next links: a
// point from the pool for each record (the next id from `pathIdCounter`, a
// random tint), its position, on-curve and active flags, label, command,
// operands and event script; a record with LOOP links its point back to the
// chain's first. With `compile` each wrapper is compiled into `se` (whose
// error frames are wired to the pool, so an error names its point); with
// `list` each active point is listed for triggering. Returns the number of
// points made; when the pool cannot grow the text "パス配置数の上限に達しました"
// is raised (script::ScriptError). Compile errors stay in the engine's list.
int CreatePathsFromRecords(world::GameWorld& world, PathPointPool& pool, int32_t* pathIdCounter,
                           script::ScriptEngine& se, int compile = 1, int list = 1);

// The script host's hook (script::PathPointLookup::find, user = the pool):
// true and the label when `script` is the text of a live point's wrapper.
bool FindPathPointLabelForScript(void* pool, const char* script, std::string* label);

// [SECTION] Trigger commands
//
// A path point may carry an event: one command of TriggerCommandTable and
// its operands. Placement files store the command's keyword; the world keeps
// the trigger lists and evaluates them.

// The trigger command codes; the code is the row of TriggerCommandTable and
// what a path point stores.
enum TriggerCode : int32_t {
  kTriggerNop = 0,
  kTriggerAuto = 1,
  kTriggerPastTime = 2,
  kTriggerRestTime = 3,
  kTriggerReach = 4,
  kTriggerIdAppear = 5,
  kTriggerIdDisappear = 6,
  kTriggerAppear = 7,
  kTriggerDisappear = 8,
  kTriggerMore = 9,
  kTriggerLess = 10,
  kTriggerNear = 11,
  kTriggerFar = 12,
  kTriggerDamaged = 13,
  kTriggerTouch = 14,
  kTriggerLanding = 15,
  kTriggerHp = 16,
  kTriggerCaution = 17,
  kTriggerWarning = 18,
  kTriggerLocked = 19,
  kTriggerDanger = 20,
  kTriggerMain = 21,
  kTriggerSub = 22,
  kTriggerCenter = 23,
  kTriggerExtra = 24,
  kTriggerGun = 25,
  kTriggerHit = 26,
  kTriggerDestroy = 27,
  kTriggerMiss = 28,
  kTriggerChange = 29,
  kTriggerRange = 30,
  kTriggerGunRange = 31,
  kTriggerLock = 32,
  kTriggerXPlus = 33,
  kTriggerXMinus = 34,
  kTriggerYPlus = 35,
  kTriggerYMinus = 36,
  kTriggerZPlus = 37,
  kTriggerZMinus = 38,
};

// Number of trigger commands and of trigger lists.
constexpr int kTriggerCommandCount = 39;

// One row of TriggerCommandTable. The keyword is what placement files store
// and the editor lists ("%02d:%s" with the code); the description names the
// operands "[OP1]" and "[OP2]" and is kept here in UTF-8 (its Shift-JIS form
// through TriggerCommandDescription).
struct TriggerCommand {
  int32_t code;
  const char* keyword;
  const char* description;
};

// 39 rows, the code equal to the row, then an all-zero row.
extern const TriggerCommand TriggerCommandTable[kTriggerCommandCount + 1];

// The Shift-JIS description of a command; "" for an unknown code.
const char* TriggerCommandDescription(int code);
// The code of a keyword (byte compare), or -1.
int FindTriggerCommand(const char* keyword);

// [SECTION] Placement files

// Placement option bits (the unit flags of the same names).
enum : uint32_t {
  kPlaceTarget = 0x1,
  kPlacePlayer = 0x2,
  kPlaceIgnored = 0x100,
  kPlaceBarrier = 0x200,
};

// Path-point record option bits.
enum : uint32_t {
  kPathOnCurve = 0x1,
  kPathLoop = 0x2,
  kPathActive = 0x4,
  kPathLive = 0x8,  // the live point of the record exists
};

// One unit placement of a placement file.
struct PlacementRecord {
  UnitType* type = nullptr;    // the type whose key is the placement's ID
  std::string group;           // GROUP ("" when absent)
  Vec3 position{};             // POS
  Vec3 rotation{};             // ROT, radians
  std::string label;           // LABEL
  std::string team;            // TEAM
  std::string path;            // PATH: label of the path the unit follows
  int32_t level = 0;           // LEVEL
  uint32_t options = 0;        // kPlace*
};

// One point of a path of a placement file.
struct PathPointRecord {
  Vec3 position{};             // POS
  std::string source;          // the reader's source name for points with a script
  std::string label;           // LABEL
  std::string script;          // SCRIPT, without a leading line break
  uint32_t options = 0;        // kPath*
  PathPoint* livePoint = nullptr;
  PathPointRecord* next = nullptr;  // next point of the same path; null at the end
  int32_t command = 0;         // COMMAND: row of the trigger command table
  std::string operand1;        // OPE[0]
  std::string operand2;        // OPE[1]
};

// Reads the elements of a compiled placement object into the database's
// records (the load flags are stored first). 0; a null object reads nothing.
int ReadUnitPlacements(UnitDatabase& db, const script::CScriptArray* object, uint32_t loadFlags,
                       const char* source);
// Fills slot `index` (-1: the first empty one) and returns its index.
int SetPlacementRecord(UnitDatabase& db, int index, UnitType* type, const char* group, const Vec3& position,
                       const Vec3& rotation, const char* label, const char* team, const char* path, int32_t level,
                       uint32_t options);
int SetPathPointRecord(UnitDatabase& db, int index, const Vec3& position, const char* source, const char* label,
                       const char* script, uint32_t options, PathPoint* livePoint, int32_t command,
                       const char* operand1, const char* operand2);
// The placement file's text for the records. False when the script pools
// ran out (nothing is to be written then).
bool BuildUnitPlacementText(const UnitDatabase& db, std::string* text);
// Writes the records to a placement file: 1, or 0 after a message box and a
// log line when it cannot be written. The old file is replaced only by a
// complete new one, so a failed save leaves it whole.
int WriteUnitPlacementFile(const UnitDatabase& db, const char* fileName, core::LogSystem* log = nullptr);
void FreePlacementRecords(UnitDatabase& db);
void FreePathPointRecords(UnitDatabase& db);

// [SECTION] Path following, obstacle probes and aiming

// The unit's path parameter: from 0 up to 1 toward the next point of its
// bound path point. Kept in the unit's path index word.
float GetUnitPathParameter(const Unit& unit);
void SetUnitPathParameter(Unit& unit, float t);

// Moves the unit along its bound path by its speed, fires REACH at every
// point passed and fits a ground unit to the ground. 0.
int FollowPath(world::GameWorld& world, Unit& unit);
// Advances the parameter of the unit's bound path (it must have one) by
// `distance` of arc: past 1 the unit moves on to the next point, firing its
// REACH triggers at every point passed. The new parameter goes to
// `parameter`; false when a trigger's script took the unit off its path.
bool AdvanceAlongPath(world::GameWorld& world, Unit& unit, float distance, float* parameter);
// The ground fit's plane under a unit: least squares of the probes' gaps
// over their local x and over their local z, counting only the probes that
// hit (a probe over a hole would pull the plane to its zero gap). The lift
// is the larger intercept; a fit whose points share one x (or z) has slope 0
// and the mean gap as intercept.
void FitGroundPlane(const float* x, const float* z, const float* gap, const bool* hit, int count, float* lift,
                    float* slopeX, float* slopeZ);
// Looks ahead along the wanted velocity for units and terrain; out receives
// a steering correction (1) or the wanted velocity (0).
int ProbeObstacles(world::GameWorld& world, Unit& unit, Vec3* out, const Vec3& velocity, int force);
// A bang-bang turn toward a world point within the pitch and yaw limits;
// out receives the new angular velocity.
void TurnTowardPoint(Unit& unit, Vec3* out, const Vec3& point, float maxPitch, float minPitch, float maxYaw,
                     float minYaw);
void ClampDirectionToScope(Vec3* out, const Vec3& direction, float maxPitch, float minPitch, float maxYaw,
                           float minYaw);
int IsDirectionInScope(const Vec3& direction, float maxPitch, float minPitch, float maxYaw, float minYaw);
// A damaged unit's occasional smoke burst. 0.
int EmitRandomEffect(world::GameWorld& world, Unit& unit);

}  // namespace units
