// api_set_units.cpp -- the setter handler's unit calls: flags and targeting
// rules, the state of one unit and its transform.
//
// Every call does nothing for a handle that names no live unit, and a call
// that takes a compound reads it (raising its error) before it looks at the
// handle, so a script error never follows a half-done change. An index into
// one of the unit's tables (weapon slot, mode word) outside the table does
// nothing. A number that is not finite given to a unit's motion or transform
// does nothing: it would spread into every later step of the unit.

#include "api/api_set_units.h"

#include <algorithm>
#include <cmath>

#include "api/api_args.h"
#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

namespace {

// [SECTION] Helpers

bool Finite(float v) { return std::isfinite(v); }
bool Finite(const Vec3& v) { return Finite(v.x) && Finite(v.y) && Finite(v.z); }

units::Unit* UnitArg(const Call& call, int index = 0) { return UnitFromHandle(call, ArgInt(call, index)); }

// Calls `act` for the unit and for every unit with it on its parent chain,
// in slot order.
template <class Act>
void ForUnitAndDescendants(const Call& call, units::Unit& unit, Act act) {
  world::GameWorld& world = *call.world;
  int slots = world::CountUnitSlots(world);
  for (int slot = 1; slot < slots; slot++) {
    units::Unit* other = world::GetUnitAt(world, slot);
    if (other && (other == &unit || render::DisplayObject::IsObjectDescendant(other, &unit))) act(*other);
  }
}

// The same for the unit named by argument 1, when there is one.
template <class Act>
void ForFamilyOfArg(const Call& call, Act act) {
  if (units::Unit* unit = UnitArg(call)) ForUnitAndDescendants(call, *unit, act);
}

void SetFlag(units::Unit& unit, uint32_t mask, bool on) {
  if (on)
    unit.flags |= mask;
  else
    unit.flags &= ~mask;
}

// Runs `change` on a unit counted in the population statistics between
// counting it out and in again, so that the counts it was booked under
// (team, class, TARGET) are the ones taken off. A unit not counted (never
// counted, destroyed, inert) is left out of the counts.
template <class Change>
void Recounted(world::GameWorld& world, units::Unit& unit, Change change) {
  bool counted = (unit.flags & units::kUnitCounted) != 0;
  if (counted) world::CountUnitOut(world, &unit);
  change();
  if (counted) world::CountUnitIn(world, &unit);
}

// set_<flag>(unit, flag) on the unit and its descendants.
void SetFamilyFlag(Call& call, uint32_t mask, bool on) {
  ForFamilyOfArg(call, [&](units::Unit& unit) { SetFlag(unit, mask, on); });
}

// True when `ancestor` stands on the parent chain of `unit`. The walk is
// bounded by the pool, so a chain that loops (which set_parent never makes)
// still ends.
bool OnParentChain(const units::Unit& unit, const units::Unit* ancestor, int bound) {
  const units::Unit* at = unit.parent;
  for (int i = 0; at && i <= bound; i++, at = at->parent)
    if (at == ancestor) return true;
  return false;
}

}  // namespace

// [SECTION] Flags and targeting rules

// set_target_flag(unit, flag): TARGET on or off. A counted unit is counted
// again, so that it leaves the TARGET counts it entered.
void CallSetTargetFlag(Call& call) {
  bool on = ArgInt(call, 1) != 0;
  ForFamilyOfArg(call, [&](units::Unit& unit) {
    if (((unit.flags & units::kUnitTarget) != 0) == on) return;
    Recounted(*call.world, unit, [&] { SetFlag(unit, units::kUnitTarget, on); });
  });
}

void CallSetIgnored(Call& call) { SetFamilyFlag(call, units::kUnitIgnored, ArgInt(call, 1) != 0); }
void CallSetBarrier(Call& call) { SetFamilyFlag(call, units::kUnitBarrier, ArgInt(call, 1) != 0); }
void CallSetPriorityTarget(Call& call) { SetFamilyFlag(call, units::kUnitPriorityTarget, ArgInt(call, 1) != 0); }
void CallSetPriorityNontarget(Call& call) { SetFamilyFlag(call, units::kUnitPriorityNonTarget, ArgInt(call, 1) != 0); }

// set_key_unit(unit, flag): the named unit alone; only the player's shots
// hurt it while set.
void CallSetKeyUnit(Call& call) {
  if (units::Unit* unit = UnitArg(call)) SetFlag(*unit, units::kUnitPlayerHitsOnly, ArgInt(call, 1) != 0);
}

// set_active_unit(unit, flag): a non-zero flag wakes the units, zero freezes
// them.
void CallSetActiveUnit(Call& call) { SetFamilyFlag(call, units::kUnitFrozen, ArgInt(call, 1) == 0); }

void CallSetDuck(Call& call) {
  int32_t on = ArgInt(call, 1) != 0 ? 1 : 0;
  ForFamilyOfArg(call, [&](units::Unit& unit) { unit.duckFlag = on; });
}

// set_defensive(unit, flag): leaving the defence also resets the first two
// territory values to 0 and 300.
void CallSetDefensive(Call& call) {
  bool on = ArgInt(call, 1) != 0;
  ForFamilyOfArg(call, [&](units::Unit& unit) {
    unit.defensiveFlag = on ? 1 : 0;
    if (!on) {
      unit.territory.x = 0.0f;
      unit.territory.y = 300.0f;
    }
  });
}

void CallSetImportant(Call& call) {
  int32_t on = ArgInt(call, 1) != 0 ? 1 : 0;
  ForFamilyOfArg(call, [&](units::Unit& unit) { unit.importantFlag = on; });
}

// set_target(unit, other): both must name live units.
void CallSetTarget(Call& call) {
  units::Unit* other = UnitArg(call, 1);
  if (!other) return;
  ForFamilyOfArg(call, [&](units::Unit& unit) { unit.target = other; });
}

namespace {

// Mode words are indexed 1 to 3 (entry 0 of each row is not a mode).
void SetModeWord(Call& call, int32_t (units::Unit::*row)[4]) {
  int32_t index = ArgInt(call, 1);
  if (index < 1 || index > 3) return;
  int32_t value = ArgInt(call, 2);
  ForFamilyOfArg(call, [&](units::Unit& unit) { (unit.*row)[index] = value; });
}

void SetFamilyText(Call& call, units::UnitText units::Unit::*field) {
  const char* text = ArgText(call, 1);
  ForFamilyOfArg(call, [&](units::Unit& unit) { (unit.*field).Set(text); });
}

}  // namespace

void CallSetPriorityMode(Call& call) { SetModeWord(call, &units::Unit::classPriority); }
void CallSetIgnoreMode(Call& call) { SetModeWord(call, &units::Unit::classIgnore); }
void CallSetPriorityLabel(Call& call) { SetFamilyText(call, &units::Unit::priorityLabel); }
void CallSetIgnoreLabel(Call& call) { SetFamilyText(call, &units::Unit::ignoreLabel); }
void CallSetExclusiveLabel(Call& call) { SetFamilyText(call, &units::Unit::exclusiveLabel); }

// set_jamming(unit, flags): the flags at the highest level (0 clears).
void CallSetJamming(Call& call) {
  constexpr uint32_t kScriptJamLevel = 8388607;
  uint32_t flags = uint32_t(ArgInt(call, 1));
  ForFamilyOfArg(call, [&](units::Unit& unit) { units::SetUnitJamming(unit, flags, kScriptJamLevel); });
}

void CallSetDrawFlag(Call& call) {
  int on = ArgInt(call, 1);
  ForFamilyOfArg(call, [&](units::Unit& unit) { unit.SetObjectVisible(on); });
}

// set_color(unit, {r, g, b, a}): each member read as a whole number on the
// 0 to 255 scale.
void CallSetColor(Call& call) {
  const script::CScriptArray* colour = RequireObject(call, 1);
  float r = float(script::GetMemberInt(colour, "r")) / 255.0f;
  float g = float(script::GetMemberInt(colour, "g")) / 255.0f;
  float b = float(script::GetMemberInt(colour, "b")) / 255.0f;
  float a = float(script::GetMemberInt(colour, "a")) / 255.0f;
  ForFamilyOfArg(call, [&](units::Unit& unit) { unit.SetObjectColor(r, g, b, a); });
}

// set_team_name(unit, team): team and printed team, the statistics moved
// from the old team to the new one.
void CallSetTeamName(Call& call) {
  const char* team = ArgText(call, 1);
  ForFamilyOfArg(call, [&](units::Unit& unit) {
    Recounted(*call.world, unit, [&] {
      units::SetUnitTeam(unit, team);
      units::SetUnitPrintedTeam(unit, team);
    });
  });
}

// set_printed_name(unit, team): the team others are shown; the statistics
// stay with the real team.
void CallSetPrintedName(Call& call) {
  const char* team = ArgText(call, 1);
  ForFamilyOfArg(call, [&](units::Unit& unit) { units::SetUnitPrintedTeam(unit, team); });
}

// set_label_child(unit, type name, label): the descendants (not the unit)
// of that type.
void CallSetLabelChild(Call& call) {
  units::Unit* unit = UnitArg(call);
  if (!unit) return;
  units::UnitType* type = units::FindUnitTypeByName(world::GetUnitDatabase(*call.world), ArgText(call, 1));
  if (!type) return;
  const char* label = ArgText(call, 2);
  ForUnitAndDescendants(call, *unit, [&](units::Unit& other) {
    if (&other != unit && other.type == type) units::SetUnitLabel(other, label);
  });
}

// [SECTION] State of one unit

// set_hp(unit, hp): HP and max HP at once, below 999999; a negative hp
// fills HP to the max HP it has.
void CallSetHp(Call& call) {
  constexpr int32_t kHpCeiling = 999998;
  units::Unit* unit = UnitArg(call);
  if (!unit) return;
  int32_t hp = std::min(ArgInt(call, 1), kHpCeiling);
  units::SetUnitHp(*unit, hp, hp);
}

void CallSetLabel(Call& call) {
  if (units::Unit* unit = UnitArg(call)) units::SetUnitLabel(*unit, ArgText(call, 1));
}

// set_master(unit, master): only a live master is taken.
void CallSetMaster(Call& call) {
  units::Unit* unit = UnitArg(call);
  units::Unit* master = UnitArg(call, 1);
  if (unit && master) units::SetUnitMaster(*unit, master);
}

// set_pylon(unit, slot 0..3): the current weapon slot.
void CallSetPylon(Call& call) {
  units::Unit* unit = UnitArg(call);
  int32_t slot = ArgInt(call, 1);
  if (unit && slot >= 0 && slot < units::kUnitWeaponSlots) unit->currentWeaponSlot = slot;
}

void CallSetScore(Call& call) {
  if (units::Unit* unit = UnitArg(call)) unit->score = ArgInt(call, 1);
}

// set_section(unit, state): state and pending state, the age restarted.
void CallSetSection(Call& call) {
  if (units::Unit* unit = UnitArg(call)) units::SetUnitState(*unit, ArgInt(call, 1), 0);
}

// set_unit_id(unit, type name): the unit becomes of the named type; the
// statistics move to the new type's class.
void CallSetUnitId(Call& call) {
  units::Unit* unit = UnitArg(call);
  if (!unit) return;
  units::UnitType* type = units::FindUnitTypeByName(world::GetUnitDatabase(*call.world), ArgText(call, 1));
  if (type) Recounted(*call.world, *unit, [&] { unit->type = type; });
}

// set_engine_rpm(unit, rpm): held to what the rpm word can store.
void CallSetEngineRpm(Call& call) {
  constexpr float kRpmLimit = 214748.0f;  // x 10000 still fits the int word
  float rpm = ArgFloat(call, 1);
  units::Unit* unit = UnitArg(call);
  if (unit && !std::isnan(rpm)) units::SetUnitEngineRpm(*unit, std::clamp(rpm, -kRpmLimit, kRpmLimit));
}

// set_landing_rate(unit, rate): the stored rate (0..1); 0.0 for a bad
// handle. A rate that is not a number keeps the stored one.
void CallSetLandingRate(Call& call) {
  SetFloat(call, 0.0f);
  units::Unit* unit = UnitArg(call);
  if (!unit) return;
  float rate = ArgFloat(call, 1);
  SetFloat(call, std::isnan(rate) ? units::GetUnitLandingRate(*unit) : units::SetUnitLandingRate(*unit, rate));
}

// set_speed(unit, speed): the velocity at once.
void CallSetSpeed(Call& call) {
  units::Unit* unit = UnitArg(call);
  float speed = ArgFloat(call, 1);
  if (unit && Finite(speed)) units::SetUnitSpeed(*unit, speed, 0.0f);
}

// set_speed_target(unit, speed, rate per second): approached by the unit's
// behaviour.
void CallSetSpeedTarget(Call& call) {
  units::Unit* unit = UnitArg(call);
  float speed = ArgFloat(call, 1), rate = ArgFloat(call, 2) / 60.0f;
  if (unit && Finite(speed) && Finite(rate)) units::SetUnitSpeed(*unit, speed, rate);
}

void CallSetMov(Call& call) {
  Vec3 velocity = ArgVector(call, 1);
  units::Unit* unit = UnitArg(call);
  if (unit && Finite(velocity)) units::SetUnitVelocity(*unit, velocity);
}

void CallSetMoment(Call& call) {
  Vec3 moment = ArgRotation(call, 1, ArgumentForm::Only);
  units::Unit* unit = UnitArg(call);
  if (unit && Finite(moment)) units::SetUnitMoment(*unit, moment);
}

// set_territory(unit, values): the unit and its descendants.
void CallSetTerritory(Call& call) {
  Vec3 t = ArgVector(call, 1);
  if (!Finite(t)) return;
  ForFamilyOfArg(call, [&](units::Unit& unit) { units::SetUnitTerritory(unit, t.x, t.y, t.z); });
}

// set_path(unit, point): the unit follows the path from the point, and the
// REACH triggers see it arrive; any other handle takes it off its path.
void CallSetPath(Call& call) {
  units::Unit* unit = UnitArg(call);
  if (!unit) return;
  units::PathPoint* point = PathPointFromHandle(call, ArgInt(call, 1));
  if (!point) {
    units::SetUnitPath(*unit, nullptr, 0);
    units::SetUnitState(*unit, units::kUnitStateIdle, 0);
    return;
  }
  units::SetUnitPath(*unit, point, 0);
  units::SetUnitState(*unit, units::kUnitStateFollowPath, 0);
  world::RunPathTriggers(*call.world, units::kTriggerReach, unit, unit);
}

// set_parent(unit, parent): a live parent takes the unit at its origin,
// aligned with it. A parent that is the unit or one of its descendants is
// refused (the tree would loop). Any other handle takes the unit off its
// parent where it stands in the world.
void CallSetParent(Call& call) {
  units::Unit* unit = UnitArg(call);
  if (!unit) return;
  units::Unit* parent = UnitArg(call, 1);
  if (parent) {
    int bound = world::CountUnitSlots(*call.world);
    if (parent == unit || OnParentChain(*parent, unit, bound) ||
        render::DisplayObject::IsObjectDescendant(parent, unit))
      return;
    units::SetUnitParent(*unit, parent);
    unit->SetObjectPosition(0.0f, 0.0f, 0.0f);
    unit->SetObjectAngles(0.0f, 0.0f, 0.0f);
    return;
  }
  Vec3 position = unit->GetObjectWorldPosition();
  Vec3 front = unit->GetObjectWorldFront();
  Vec3 up = unit->GetObjectWorldUp();
  units::SetUnitParent(*unit, nullptr);
  Vec3 angles{};
  core::AnglesFromDirection(&angles, front, &up);
  unit->SetObjectPosition(position.x, position.y, position.z);
  unit->SetObjectAngles(angles.x, angles.y, angles.z);
}

// set_animation(unit, frame, set, time, second set, time, weight): the
// animation operation's answer.
void CallSetAnimation(Call& call) {
  units::Unit* unit = UnitArg(call);
  if (!unit) return;
  SetInt(call, unit->SetObjectAnimation(ArgText(call, 1), ArgText(call, 2), ArgFloat(call, 3), ArgText(call, 4),
                                        ArgFloat(call, 5), ArgFloat(call, 6)));
}

// [SECTION] Transforms

void CallSetLocalPos(Call& call) {
  Vec3 p = ArgVector(call, 1);
  units::Unit* unit = UnitArg(call);
  if (unit && Finite(p)) unit->SetObjectPosition(p.x, p.y, p.z);
}

// set_pos(unit, world position): taken into the parent's frame first.
void CallSetPos(Call& call) {
  Vec3 p = ArgVector(call, 1);
  units::Unit* unit = UnitArg(call);
  if (!unit) return;
  if (render::DisplayObject* parent = unit->GetObjectParent()) p = parent->TransformPointToLocal(p);
  // Checked after the transform, which can carry a huge point past the
  // float range.
  if (Finite(p)) unit->SetObjectPosition(p.x, p.y, p.z);
}

void CallSetLocalRot(Call& call) {
  Vec3 a = ArgRotation(call, 1);
  units::Unit* unit = UnitArg(call);
  if (unit && Finite(a)) unit->SetObjectAngles(a.x, a.y, a.z);
}

void CallSetRot(Call& call) { CallSetLocalRot(call); }

void CallSetScale(Call& call) {
  Vec3 s = ArgVector(call, 1);
  units::Unit* unit = UnitArg(call);
  if (unit && Finite(s)) unit->SetObjectScale(s.x, s.y, s.z);
}

void CallSetOffset(Call& call) {
  Vec3 p = ArgVector(call, 1);
  units::Unit* unit = UnitArg(call);
  if (unit && Finite(p)) unit->SetObjectPivot(p.x, p.y, p.z);
}

// set_sprite_rect(unit, corner a, corner b): the rectangle of the unit's
// image it shows.
void CallSetSpriteRect(Call& call) {
  Vec3 a = ArgVector(call, 1);
  Vec3 b = ArgVector(call, 2);
  units::Unit* unit = UnitArg(call);
  if (unit && call.world->graphics) unit->BuildSurfaceGeometry(*call.world->graphics, a.x, a.y, b.x, b.y);
}

}  // namespace api
