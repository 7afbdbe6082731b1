// world_triggers.cpp -- the trigger command table, the 39 trigger lists and
// their evaluation against the units an event involves.

#include "world_triggers.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core_public.h"
#include "script/script_public.h"
#include "units/units_services.h"
#include "world/world_public.h"

namespace world {

int TriggerListOf(int code) {
  switch (code) {
    case kTriggerPastTime:
    case kTriggerRestTime: return kTriggerAuto;
    case kTriggerIdAppear:
    case kTriggerMore: return kTriggerAppear;
    case kTriggerIdDisappear:
    case kTriggerLess: return kTriggerDisappear;
    case kTriggerFar:
    case kTriggerXPlus:
    case kTriggerXMinus:
    case kTriggerYPlus:
    case kTriggerYMinus:
    case kTriggerZPlus:
    case kTriggerZMinus: return kTriggerNear;
    default: return code >= 0 && code < kTriggerCommandCount ? code : -1;
  }
}

int TriggerFiresOnce(int code) {
  switch (code) {
    case kTriggerAuto:
    case kTriggerPastTime:
    case kTriggerRestTime:
    case kTriggerMore:
    case kTriggerLess:
    case kTriggerNear:
    case kTriggerFar:
    case kTriggerHp:
    case kTriggerXPlus:
    case kTriggerXMinus:
    case kTriggerYPlus:
    case kTriggerYMinus:
    case kTriggerZPlus:
    case kTriggerZMinus: return 1;
    default: return 0;
  }
}

// [SECTION] The lists

int TriggerLists::SetListed(int list, units::PathPoint* point, int add) {
  if (list < 0 || list >= kTriggerCommandCount) return 0;
  std::vector<units::PathPoint*>& slots = lists[size_t(list)];
  if (!point) return 1;
  if (add) {
    // A point already listed stays once; otherwise the first empty slot.
    size_t empty = slots.size();
    for (size_t i = 0; i < slots.size(); i++) {
      if (slots[i] == point) return 1;
      if (!slots[i] && empty == slots.size()) empty = i;
    }
    if (empty == slots.size()) slots.resize(slots.size() + kGrowth, nullptr);
    slots[empty] = point;
    return 1;
  }
  for (units::PathPoint*& slot : slots)
    if (slot == point) {
      slot = nullptr;
      break;
    }
  return 1;
}

void TriggerLists::Clear() {
  for (std::vector<units::PathPoint*>& slots : lists)
    for (units::PathPoint*& slot : slots) slot = nullptr;
}

int TriggerLists::SlotCount(int list) const {
  if (list < 0 || list >= kTriggerCommandCount) return 0;
  return int(lists[size_t(list)].size());
}

// [SECTION] Running a list

namespace {

bool IsEmpty(const char* text) { return !text || !text[0]; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// An operand that starts with a letter or "_" names a global script
// variable; its value, or 0 without an engine or such a global.
bool NamesVariable(const char* operand) { return IsAsciiLetter(operand[0]) || operand[0] == '_'; }

float OperandFloat(const TriggerScene& scene, const char* operand) {
  if (NamesVariable(operand))
    return scene.engine ? script::ScriptEngine::ValueToFloat(scene.engine->FindGlobal(operand)) : 0.0f;
  return std::strtof(operand, nullptr);
}

// A float held to the int range (NaN: 0), so no conversion is undefined.
int32_t FloatToInt(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0f) return INT32_MAX;
  if (value <= -2147483648.0f) return INT32_MIN;
  return int32_t(value);
}

int32_t ParseInt(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  return int32_t(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

// The integer reading of an operand (MORE and LESS): an int variable as it
// is, a float truncated, a text by its leading decimal digits.
int32_t OperandInt(const TriggerScene& scene, const char* operand) {
  if (!NamesVariable(operand)) return ParseInt(operand);
  if (!scene.engine) return 0;
  const script::CScriptValue* value = scene.engine->FindGlobal(operand);
  for (int hops = 0; value && value->type == script::kValueRefer && hops < 1024; hops++) value = value->data.value;
  if (!value) return 0;
  switch (value->type) {
    case script::kValueInt: return value->data.i;
    case script::kValueFloat: return FloatToInt(value->data.f);
    case script::kValueString: return ParseInt(value->stringValue.c_str());
    default: return 0;
  }
}

// The unit's label path against OP1: any match the units' reading accepts
// (it returns the unmatched rest, null for no match).
bool LabelMatches(units::Unit* unit, const char* op1) {
  return unit && !IsEmpty(op1) && units::MatchLabelPath(*unit, op1, 0) != nullptr;
}

// Label test: "*" stands for every unit, else as LabelMatches.
bool LabelTest(units::Unit* unit, const char* op1) {
  if (IsEmpty(op1)) return false;
  if (std::strcmp(op1, "*") == 0) return true;
  return LabelMatches(unit, op1);
}

// Living units (HP above 0) of a non-branch type whose own label is OP1.
int32_t CountLabelled(const TriggerScene& scene, const char* label) {
  if (!scene.countSlots || !scene.unitAt) return 0;
  int32_t slots = scene.countSlots(scene.pool);
  int32_t n = 0;
  for (int32_t i = 0; i < slots; i++) {
    units::Unit* u = scene.unitAt(scene.pool, i);
    if (!u || !u->type || (u->type->attributes & 0x400u) || u->hp <= 0) continue;
    if (std::strcmp(u->label.Get(), label) == 0) n++;
  }
  return n;
}

// Whether the point's command holds for the two units.
bool CommandHolds(const TriggerScene& scene, units::PathPoint& point, int command, units::Unit* unit,
                  units::Unit* subject, const core::Vec3& p) {
  const char* op1 = point.operand1.c_str();
  const char* op2 = point.operand2.c_str();
  switch (command) {
    case kTriggerAuto: return true;
    case kTriggerPastTime:
      return !IsEmpty(op2) && scene.gameTime >= FloatToInt(OperandFloat(scene, op2) * 60.0f);
    case kTriggerRestTime:
      return !IsEmpty(op2) && scene.restCountdown <= FloatToInt(OperandFloat(scene, op2) * 60.0f);
    case kTriggerReach: return unit && unit->path == &point;
    case kTriggerIdAppear:
    case kTriggerIdDisappear:
      return subject && subject->type && !IsEmpty(op1) && subject->type->key == op1;
    case kTriggerMore:
      return !IsEmpty(op2) && LabelTest(subject, op1) && CountLabelled(scene, op1) >= OperandInt(scene, op2);
    case kTriggerLess:
      return !IsEmpty(op2) && LabelMatches(subject, op1) && CountLabelled(scene, op1) < OperandInt(scene, op2);
    case kTriggerNear:
    case kTriggerFar: {
      if (!unit || IsEmpty(op2) || !LabelMatches(subject, op1)) return false;
      core::Vec3 q = point.GetObjectWorldPosition();
      float dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
      float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
      float limit = OperandFloat(scene, op2);
      return command == kTriggerNear ? distance <= limit : distance > limit;
    }
    case kTriggerHp:
      return unit && !IsEmpty(op2) && LabelMatches(subject, op1) && OperandFloat(scene, op2) > units::GetUnitHpRatio(*unit) * 100.0f;
    case kTriggerXPlus:
    case kTriggerXMinus:
    case kTriggerYPlus:
    case kTriggerYMinus:
    case kTriggerZPlus:
    case kTriggerZMinus: {
      if (!unit || !LabelMatches(subject, op1)) return false;
      core::Vec3 q = point.GetObjectWorldPosition();
      int axis = (command - kTriggerXPlus) / 2;
      float u = axis == 0 ? p.x : axis == 1 ? p.y : p.z;
      float v = axis == 0 ? q.x : axis == 1 ? q.y : q.z;
      return (command - kTriggerXPlus) % 2 == 0 ? u >= v : v > u;
    }
    case kTriggerAppear:
    case kTriggerDisappear:
    case kTriggerDamaged:
    case kTriggerTouch:
    case kTriggerLanding:
    case kTriggerCaution:
    case kTriggerWarning:
    case kTriggerLocked:
    case kTriggerDanger:
    case kTriggerMain:
    case kTriggerSub:
    case kTriggerCenter:
    case kTriggerExtra:
    case kTriggerGun:
    case kTriggerHit:
    case kTriggerDestroy:
    case kTriggerMiss:
    case kTriggerChange:
    case kTriggerRange:
    case kTriggerGunRange:
    case kTriggerLock: return LabelTest(subject, op1);
    default: return false;  // NOP and unknown codes never fire
  }
}

// Starts the point's event function with the unit's handle. A failure is
// kept as the run-time error (the first one stays) and the walk goes on.
void StartEventFunction(const TriggerScene& scene, const units::PathPoint& point, units::Unit* unit) {
  if (!scene.engine) return;
  std::string name = units::EventFunctionName(point);
  script::CScriptValue* function = scene.engine->FindGlobal(name.c_str());
  if (!function) return;
  try {
    scene.engine->StartThread(function, unit ? unit->unitId : 0);
  } catch (const script::ScriptError& error) {
    scene.engine->SetRunErrorOnce(error.text.c_str(), nullptr);
  }
}

}  // namespace

int RunTriggerList(TriggerLists& lists, const TriggerScene& scene, int list, units::Unit* unit,
                   units::Unit* subject) {
  if (list < 0 || list >= kTriggerCommandCount) return 0;
  std::vector<units::PathPoint*>& slots = lists.lists[size_t(list)];
  const size_t n = slots.size();
  // Every labelled unit asks its near list each step: an empty list costs
  // nothing, not even the unit's world position.
  if (n == 0) return 0;
  core::Vec3 p{};
  if (unit) p = unit->GetObjectWorldPosition();
  int visited = 0;
  for (size_t i = 0; i < n && i < slots.size(); i++) {
    units::PathPoint* point = slots[i];
    if (!point) continue;
    visited++;
    int command = int(point->triggerCommand);
    if (!CommandHolds(scene, *point, command, unit, subject, p)) continue;
    StartEventFunction(scene, *point, unit);
    if (TriggerFiresOnce(command) && i < slots.size() && slots[i] == point) slots[i] = nullptr;
  }
  return visited;
}

// [SECTION] The world's lists

namespace {

int32_t CountWorldUnitSlots(void* world) { return CountUnitSlots(*static_cast<GameWorld*>(world)); }
units::Unit* WorldUnitAt(void* world, int32_t slot) { return GetUnitAt(*static_cast<GameWorld*>(world), slot); }

}  // namespace

int RunPathTriggers(GameWorld& world, int list, units::Unit* unit, units::Unit* subject) {
  TriggerScene scene;
  scene.engine = &world.scriptEngine;
  scene.gameTime = world.gameTime;
  scene.restCountdown = world.restCountdown;
  scene.pool = &world;
  scene.countSlots = CountWorldUnitSlots;
  scene.unitAt = WorldUnitAt;
  return RunTriggerList(world.triggerLists, scene, list, unit, subject);
}

int RunHpTriggers(GameWorld& world, units::Unit* damaged) {
  return RunPathTriggers(world, kTriggerHp, damaged, damaged);
}

int SetPathPointListed(GameWorld& world, units::PathPoint* point, int add) {
  if (!point) {
    world.triggerLists.Clear();
    return 1;
  }
  int list = TriggerListOf(int(point->triggerCommand));
  if (list >= 0) world.triggerLists.SetListed(list, point, add);
  return 1;
}

// [SECTION] The world's path points

int CountPathPoints(GameWorld& world) { return world.pathPoints ? units::CountPathPoints(*world.pathPoints) : 0; }

units::PathPoint* FindPathPointByLabel(GameWorld& world, const char* text) {
  return world.pathPoints ? units::FindPathPointByLabel(*world.pathPoints, text) : nullptr;
}

units::PathPoint* FindPathPointAt(GameWorld& world, float x, float y, float z) {
  int slots = CountPathPoints(world);
  for (int i = 0; i < slots; i++) {
    units::PathPoint* point = units::GetPathPointAt(*world.pathPoints, i);
    if (!point || point->label.empty()) continue;
    core::Vec3 p = point->GetObjectWorldPosition();
    float dx = p.x - x, dy = p.y - y, dz = p.z - z;
    if (std::sqrt(dx * dx + dy * dy + dz * dz) <= 0.01f) return point;
  }
  return nullptr;
}

}  // namespace world
