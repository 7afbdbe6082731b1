// api_get_units.cpp -- the getter handler's unit calls: what scripts read of
// one unit (values, texts, vectors, rotations), distances between units, and
// the handles they find by label, by parent and along paths.

#include "api/api_get_units.h"

#include <cmath>
#include <cstring>

#include "api/api_args.h"
#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

namespace {

// [SECTION] Helpers

float Length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

Vec3 Difference(const Vec3& a, const Vec3& b) { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }

// The unit of argument `index`, or null (the row's value for a bad handle
// has been written by then).
units::Unit* ArgUnit(const Call& call, int index) { return UnitFromHandle(call, ArgInt(call, index)); }

// The handle scripts see for a linked unit: its id, -1 for no link. A link
// to a record freed since (its id 0) is no unit any more either.
int32_t HandleOf(const units::Unit* unit) { return unit && unit->unitId > 0 ? unit->unitId : -1; }

// The scene filter of the label searches: a unit with a type, placed in the
// scene the world's event mode names.
bool InScene(world::GameWorld& world, const units::Unit& unit) {
  return unit.type && unit.sceneNumber == world::GetEventMode(world);
}

// An empty label matches every unit; otherwise the dotted label path.
bool MatchesLabel(units::Unit& unit, const char* label) {
  return !label[0] || units::MatchLabelPath(unit, label, 0) != nullptr;
}

// A live unit for the unit searches: in the scene, with HP left, neither
// the unit (its flag 0x400, INERT) nor its type (BRANCH, the same bit) set
// apart, and a type that shows a HUD name.
bool IsLiveUnit(world::GameWorld& world, units::Unit& unit) {
  if (!InScene(world, unit) || units::GetUnitHp(unit) <= 0) return false;
  if ((unit.flags & units::kUnitInert) || (unit.type->attributes & units::kAttrBranch)) return false;
  return !unit.type->hudNameFile.empty();
}

// Visits every unit in pool order that `accept` takes; `visit` returns
// false to stop.
template <class Accept, class Visit>
void ForEachUnit(world::GameWorld& world, Accept accept, Visit visit) {
  int slots = world::CountUnitSlots(world);
  for (int slot = 1; slot < slots; slot++) {
    units::Unit* unit = world::GetUnitAt(world, slot);
    if (unit && accept(*unit) && !visit(*unit)) return;
  }
}

// The handle of the (n+1)-th unit `accept` takes: n counts down at each
// match, so n = 0 and every negative n give the first. -1 when there are
// fewer.
template <class Accept>
int32_t FindNth(world::GameWorld& world, int32_t n, Accept accept) {
  int32_t found = -1;
  ForEachUnit(world, accept, [&](units::Unit& unit) {
    if (n <= 0) {
      found = unit.unitId;
      return false;
    }
    n--;
    return true;
  });
  return found;
}

// An array of the handles of every unit `accept` takes, in pool order,
// ended by -1.
template <class Accept>
void SetHandleArray(Call& call, world::GameWorld& world, Accept accept) {
  script::ScriptPools& pools = call.context->engine->pools;
  script::CScriptArray* array = NewResultCompound(call);
  int32_t count = 0;
  auto append = [&](int32_t handle) {
    script::AssignIntToVariable(pools, script::AddArrayElement(pools, array, count++, script::kValueInt, 0), handle);
  };
  ForEachUnit(world, accept, [&](units::Unit& unit) {
    append(unit.unitId);
    return true;
  });
  append(-1);
  call.result->type = script::kCallArray;
  call.result->compound = array;
}

// The unit's own local point carried into the world, less its world
// position: for a unit on a parent, the axis as the parent chain turns (and
// scales) it.
Vec3 WorldAxis(units::Unit& unit, const Vec3& local) {
  return Difference(unit.TransformPointToWorld(local), unit.GetObjectWorldPosition());
}

}  // namespace

// [SECTION] Unit values
//
// The value a row gives for a bad handle is written first; a handle names a
// unit only while its slot holds a live one.

// get_hp(unit): the HP; -1 for a bad handle.
void CallGetHp(Call& call) {
  SetInt(call, -1);
  if (units::Unit* unit = ArgUnit(call, 0)) SetInt(call, units::GetUnitHp(*unit));
}

// get_hp_rate(unit): HP / max HP, at least 0; 0.0 for a bad handle.
void CallGetHpRate(Call& call) {
  SetFloat(call, 0.0f);
  if (units::Unit* unit = ArgUnit(call, 0)) SetFloat(call, units::GetUnitHpRatio(*unit));
}

// get_damage(unit): the damage taken; 0 for a bad handle.
void CallGetDamage(Call& call) {
  SetInt(call, 0);
  if (units::Unit* unit = ArgUnit(call, 0)) SetInt(call, units::GetUnitDamageTaken(*unit));
}

// get_master(unit): the owner's handle; -1 for a bad handle or no owner.
void CallGetMaster(Call& call) {
  SetInt(call, -1);
  if (units::Unit* unit = ArgUnit(call, 0)) SetInt(call, HandleOf(units::GetUnitMaster(*unit)));
}

// get_parent(unit): the parent's handle; -1 for a bad handle or no parent.
void CallGetParent(Call& call) {
  SetInt(call, -1);
  if (units::Unit* unit = ArgUnit(call, 0)) SetInt(call, HandleOf(units::GetUnitParent(*unit)));
}

// get_mode(unit): the type's target class 0..3; -1 for a bad handle or a
// unit without type.
void CallGetMode(Call& call) {
  SetInt(call, -1);
  units::Unit* unit = ArgUnit(call, 0);
  if (unit && unit->type) SetInt(call, unit->type->mode);
}

// get_pylon(unit): the current weapon slot (set_pylon's); -1 for a bad
// handle.
void CallGetPylon(Call& call) {
  SetInt(call, -1);
  if (units::Unit* unit = ArgUnit(call, 0)) SetInt(call, unit->currentWeaponSlot);
}

// get_score(unit): the score word; -1 for a bad handle.
void CallGetScore(Call& call) {
  SetInt(call, -1);
  if (units::Unit* unit = ArgUnit(call, 0)) SetInt(call, unit->score);
}

// get_ammo(unit, slot): the current ammunition of weapon slot 0..3; -1 for
// a bad handle or slot, a slot without a weapon type, or one with no child
// on its hard points.
void CallGetAmmo(Call& call) {
  SetInt(call, -1);
  units::Unit* unit = ArgUnit(call, 0);
  int32_t slot = ArgInt(call, 1);
  if (!unit || slot < 0 || slot >= units::kUnitWeaponSlots || !unit->weaponTypes[slot]) return;
  for (units::Unit* child : unit->weaponChildren[slot])
    if (child) {
      SetInt(call, unit->ammo[slot][0]);
      return;
    }
}

// get_engine_rpm(unit): the engine rpm; 0.0 for a bad handle.
void CallGetEngineRpm(Call& call) {
  SetFloat(call, 0.0f);
  if (units::Unit* unit = ArgUnit(call, 0)) SetFloat(call, units::GetUnitEngineRpm(*unit));
}

// get_landing_rate(unit): 0..1; 0.0 for a bad handle.
void CallGetLandingRate(Call& call) {
  SetFloat(call, 0.0f);
  if (units::Unit* unit = ArgUnit(call, 0)) SetFloat(call, units::GetUnitLandingRate(*unit));
}

// get_speed(unit): the length of the velocity; 0.0 for a bad handle.
void CallGetSpeed(Call& call) {
  SetFloat(call, 0.0f);
  units::Unit* unit = ArgUnit(call, 0);
  if (!unit) return;
  Vec3 v{};
  units::GetUnitVelocity(*unit, &v, nullptr);
  SetFloat(call, Length(v));
}

// get_label(unit), get_team_name(unit), get_printed_name(unit): the text,
// copied into the scratch buffer as far as it holds it; a bad handle keeps
// the preset.
void CallGetLabel(Call& call) {
  if (units::Unit* unit = ArgUnit(call, 0)) SetText(call, units::GetUnitLabel(*unit));
}

void CallGetTeamName(Call& call) {
  if (units::Unit* unit = ArgUnit(call, 0)) SetText(call, units::GetUnitTeam(*unit));
}

void CallGetPrintedName(Call& call) {
  if (units::Unit* unit = ArgUnit(call, 0)) SetText(call, units::GetUnitPrintedTeam(*unit));
}

// get_unit_id(unit): the key the unit master defines the type under; ""
// for a bad handle or a unit without type.
void CallGetUnitId(Call& call) {
  SetText(call, "");
  units::Unit* unit = ArgUnit(call, 0);
  if (unit && unit->type) SetText(call, unit->type->key.c_str());
}

// [SECTION] Unit vectors and rotations
//
// Fresh objects with exactly their three float members; a bad handle gives
// {0, 0, 0} (x, y, z, or pitch, yaw, roll) unless a call says otherwise.

// get_pos(unit): the world position.
void CallGetPos(Call& call) {
  units::Unit* unit = ArgUnit(call, 0);
  SetVector(call, unit ? unit->GetObjectWorldPosition() : Vec3{});
}

// get_local_pos(unit): the position on the parent; int 0 for a bad handle.
void CallGetLocalPos(Call& call) {
  SetInt(call, 0);
  if (units::Unit* unit = ArgUnit(call, 0)) SetVector(call, unit->GetObjectPosition());
}

// get_head_pos(unit): the world position of the type's HEAD_POS.
void CallGetHeadPos(Call& call) {
  units::Unit* unit = ArgUnit(call, 0);
  SetVector(call, unit ? units::GetUnitHeadPos(*unit) : Vec3{});
}

// get_mov(unit): the velocity, world units per step.
void CallGetMov(Call& call) {
  Vec3 v{};
  if (units::Unit* unit = ArgUnit(call, 0)) units::GetUnitVelocity(*unit, &v, nullptr);
  SetVector(call, v);
}

// get_scale(unit): the scale; {1, 1, 1} for a bad handle.
void CallGetScale(Call& call) {
  units::Unit* unit = ArgUnit(call, 0);
  SetVector(call, unit ? unit->GetObjectScale() : Vec3{1.0f, 1.0f, 1.0f});
}

// get_dir(unit): the forward direction in the world: on a parent, the
// world position of the local point (0, 0, 1) less the unit's; without
// one, the forward axis turned by the unit's own angles.
void CallGetDir(Call& call) {
  units::Unit* unit = ArgUnit(call, 0);
  if (!unit) return SetVector(call, Vec3{});
  SetVector(call, unit->GetObjectParent() ? WorldAxis(*unit, Vec3{0, 0, 1}) : unit->GetObjectFront());
}

// get_up(unit): the up direction, as get_dir with (0, 1, 0).
void CallGetUp(Call& call) {
  units::Unit* unit = ArgUnit(call, 0);
  if (!unit) return SetVector(call, Vec3{});
  SetVector(call, unit->GetObjectParent() ? WorldAxis(*unit, Vec3{0, 1, 0}) : unit->GetObjectUp());
}

// get_tire_pos(unit, n): attachment n (a negative n the first one held) in
// the unit's own frame, by way of its world position. A bad handle, an n
// past the 16 attachments and an empty one keep the preset.
void CallGetTirePos(Call& call) {
  units::Unit* unit = ArgUnit(call, 0);
  if (!unit) return;
  render::DisplayObject* attached = units::GetUnitAttachment(*unit, ArgInt(call, 1));
  if (!attached) return;
  SetVector(call, unit->TransformPointToLocal(attached->GetObjectWorldPosition()));
}

// get_texture_size(unit): width and height of the unit's surface texture,
// else of its model's first texture; {0, 0, 0} with neither. A bad handle
// keeps the preset.
void CallGetTextureSize(Call& call) {
  units::Unit* unit = ArgUnit(call, 0);
  if (!unit) return;
  const render::TextureHolder* texture = unit->GetObjectSurface();
  if (!texture && unit->GetObjectModel()) texture = unit->GetObjectModel()->GetMeshTexture(0, 0);
  SetVector(call, texture ? Vec3{float(texture->width), float(texture->height), 0.0f} : Vec3{});
}

// get_rot(unit): the world orientation in degrees. On a parent it is found
// from the world forward and up axes; without one the unit's own angles
// serve.
void CallGetRot(Call& call) {
  units::Unit* unit = ArgUnit(call, 0);
  if (!unit) return SetRotationDegrees(call, Vec3{});
  if (!unit->GetObjectParent()) return SetRotationDegrees(call, unit->GetObjectAngles());
  Vec3 forward = WorldAxis(*unit, Vec3{0, 0, 1});
  Vec3 up = WorldAxis(*unit, Vec3{0, 1, 0});
  Vec3 angles{};
  core::AnglesFromDirection(&angles, forward, &up);
  SetRotationDegrees(call, angles);
}

// get_local_rot(unit): the angles on the parent in degrees; int 0 for a
// bad handle.
void CallGetLocalRot(Call& call) {
  SetInt(call, 0);
  if (units::Unit* unit = ArgUnit(call, 0)) SetRotationDegrees(call, unit->GetObjectAngles());
}

// get_moment(unit): the angular velocity in degrees per step.
void CallGetMoment(Call& call) {
  units::Unit* unit = ArgUnit(call, 0);
  if (!unit) return SetRotationDegrees(call, Vec3{});
  Vec3 moment{};
  units::GetUnitMoment(*unit, &moment, nullptr);
  SetRotationDegrees(call, moment);
}

// get_control(unit): {roll, pitch, yaw, power}, the control inputs and the
// throttle as the flight model holds them; all 0 for a bad handle.
void CallGetControl(Call& call) {
  Vec3 control{};
  float power = 0.0f;
  if (units::Unit* unit = ArgUnit(call, 0)) {
    units::GetUnitControl(*unit, &control, nullptr);
    power = units::GetUnitControlExtra(*unit);
  }
  script::ScriptPools& pools = call.context->engine->pools;
  script::CScriptArray* object = NewResultCompound(call);
  script::SetMemberFloat(pools, object, "roll", control.x);
  script::SetMemberFloat(pools, object, "pitch", control.y);
  script::SetMemberFloat(pools, object, "yaw", control.z);
  script::SetMemberFloat(pools, object, "power", power);
  call.result->type = script::kCallObject;
  call.result->compound = object;
}

// get_screen_size(): {x, y, z} of ints: the screen's width and height, 0;
// all 0 without a renderer.
void CallGetScreenSize(Call& call) {
  int width = 0, height = 0;
  if (call.world && call.world->graphics) call.world->graphics->GetScreenSize(&width, &height);
  script::ScriptPools& pools = call.context->engine->pools;
  script::CScriptArray* object = NewResultCompound(call);
  script::SetMemberInt(pools, object, "x", width);
  script::SetMemberInt(pools, object, "y", height);
  script::SetMemberInt(pools, object, "z", 0);
  call.result->type = script::kCallObject;
  call.result->compound = object;
}

// [SECTION] Distances

// get_length(a, b): the distance between the world positions; 0.0 when
// either handle is bad.
void CallGetLength(Call& call) {
  SetFloat(call, 0.0f);
  units::Unit* a = ArgUnit(call, 0);
  units::Unit* b = ArgUnit(call, 1);
  if (a && b) SetFloat(call, Length(Difference(a->GetObjectWorldPosition(), b->GetObjectWorldPosition())));
}

// get_length_label(label a, label b): the distance between the first units
// (pool order, in the scene, shown by a model or a surface) whose labels
// equal a and b; -1.0 when either is missing.
void CallGetLengthLabel(Call& call) {
  SetFloat(call, -1.0f);
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  auto first = [&](const char* label) {
    units::Unit* found = nullptr;
    int mode = world::GetEventMode(world);
    ForEachUnit(
        world,
        [&](units::Unit& unit) {
          return unit.sceneNumber == mode && (unit.GetObjectModel() || unit.GetObjectSurface()) &&
                 std::strcmp(units::GetUnitLabel(unit), label) == 0;
        },
        [&](units::Unit& unit) {
          found = &unit;
          return false;
        });
    return found;
  };
  units::Unit* a = first(ArgText(call, 0));
  units::Unit* b = first(ArgText(call, 1));
  if (a && b) SetFloat(call, Length(Difference(a->GetObjectWorldPosition(), b->GetObjectWorldPosition())));
}

// [SECTION] Handles by label and by relation

// get_handle(label, n): the (n+1)-th unit of the scene the label matches;
// -1 when there are fewer.
void CallGetHandle(Call& call) {
  SetInt(call, -1);
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  const char* label = ArgText(call, 0);
  SetInt(call, FindNth(world, ArgInt(call, 1),
                       [&](units::Unit& unit) { return InScene(world, unit) && MatchesLabel(unit, label); }));
}

// get_handle_array(label): all of them, then -1.
void CallGetHandleArray(Call& call) {
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  const char* label = ArgText(call, 0);
  SetHandleArray(call, world,
                 [&](units::Unit& unit) { return InScene(world, unit) && MatchesLabel(unit, label); });
}

// get_unit_handle(label, n): as get_handle over the live units only.
void CallGetUnitHandle(Call& call) {
  SetInt(call, -1);
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  const char* label = ArgText(call, 0);
  SetInt(call, FindNth(world, ArgInt(call, 1),
                       [&](units::Unit& unit) { return IsLiveUnit(world, unit) && MatchesLabel(unit, label); }));
}

// get_unit_handle_array(label): the live units the label matches, then -1.
void CallGetUnitHandleArray(Call& call) {
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  const char* label = ArgText(call, 0);
  SetHandleArray(call, world,
                 [&](units::Unit& unit) { return IsLiveUnit(world, unit) && MatchesLabel(unit, label); });
}

// get_unit_num(label): how many live units the label matches.
void CallGetUnitNum(Call& call) {
  SetInt(call, 0);
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  const char* label = ArgText(call, 0);
  int32_t count = 0;
  ForEachUnit(
      world, [&](units::Unit& unit) { return IsLiveUnit(world, unit) && MatchesLabel(unit, label); },
      [&](units::Unit&) {
        count++;
        return true;
      });
  SetInt(call, count);
}

// get_child_handle(unit, n): the (n+1)-th unit of the scene whose parent is
// the unit; 0 when there are fewer or the handle is bad.
void CallGetChildHandle(Call& call) {
  SetInt(call, 0);
  units::Unit* parent = ArgUnit(call, 0);
  if (!parent) return;
  world::GameWorld& world = *call.world;
  int32_t found = FindNth(world, ArgInt(call, 1),
                          [&](units::Unit& unit) { return unit.parent == parent && InScene(world, unit); });
  SetInt(call, found < 0 ? 0 : found);
}

// get_child_handle_array(unit): the unit's children in the scene, then -1;
// a bad handle keeps the preset.
void CallGetChildHandleArray(Call& call) {
  units::Unit* parent = ArgUnit(call, 0);
  if (!parent) return;
  world::GameWorld& world = *call.world;
  SetHandleArray(call, world, [&](units::Unit& unit) { return unit.parent == parent && InScene(world, unit); });
}

// get_path_handle(label, n): the handle of the point with that label moved
// n links along its path: a positive n back along the previous-point links,
// a negative one forward along the next-point links; -1 when there is no
// such point or the path ends first.
void CallGetPathHandle(Call& call) {
  SetInt(call, -1);
  if (!call.world || !call.world->pathPoints) return;
  units::PathPoint* point = world::FindPathPointByName(*call.world, ArgText(call, 0));
  int32_t n = ArgInt(call, 1);
  bool back = n > 0;
  // Counted in 64 bits: -INT32_MIN does not fit an int.
  int64_t remaining = back ? int64_t(n) : -int64_t(n);
  auto step = [back](units::PathPoint* p) { return back ? p->prev : p->next; };
  // A looped path would be walked round again and again for a large n:
  // once more links have been followed than the pool has slots the walk
  // is on a loop, and whole turns of it are skipped.
  int64_t limit = units::CountPathPoints(*call.world->pathPoints);
  for (int64_t walked = 0; point && remaining > 0; walked++) {
    point = step(point);
    remaining--;
    if (walked == limit && point && remaining > 0) {
      int64_t loop = 0;
      units::PathPoint* q = point;
      do {
        q = step(q);
        loop++;
      } while (q && q != point && loop <= limit);
      if (q == point) remaining %= loop;
    }
  }
  if (point) SetInt(call, units::GetPathPointHandle(point));
}

}  // namespace api
