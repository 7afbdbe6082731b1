// api_units.cpp -- the general handler's unit calls: placing and removing
// units, their health and engine limits, moving, turning and transforming
// points through them, and switching path points on and off.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "api/api_args.h"
#include "api/api_local.h"
#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

namespace {

// The style key of the unit types made from an image file.
constexpr int kSpriteFileKey = 64;

bool IsWeaponType(const units::UnitType* type) { return type && (type->attributes & units::kAttrWeapon); }

// [SECTION] Placing

// A unit of the named type at the position, or null when there is no such
// type or no unit could be made.
units::Unit* PlaceNamed(world::GameWorld& world, const char* typeName, const char* label, uint32_t flags,
                        const Vec3& position) {
  units::UnitType* type = units::FindUnitTypeByName(world::GetUnitDatabase(world), typeName);
  if (!type) return nullptr;
  return world::PutUnit(world, "", type, 0, label, flags, position, Vec3{}, nullptr);
}

void PutWithFlags(Call& call, uint32_t flags) {
  Vec3 position = ArgVector(call, 1);
  if (!call.world) return;
  units::Unit* unit = PlaceNamed(*call.world, ArgText(call, 0), ArgText(call, 2), flags, position);
  SetInt(call, unit ? unit->unitId : -1);
}

}  // namespace

// put_unit(type name, position, label): the new unit's handle, -1 when none
// was made.
void CallPutUnit(Call& call) { PutWithFlags(call, 0); }

// put_player_unit(type name, position, label): as put_unit, as the player's.
void CallPutPlayerUnit(Call& call) { PutWithFlags(call, world::kPutPlayer); }

// create_sprite(type name, corner a, corner b): a unit of the type at the
// origin showing the rectangle a.x, a.y to b.x, b.y of its image; -1 when
// none was made.
void CallCreateSprite(Call& call) {
  Vec3 a = ArgVector(call, 1);
  Vec3 b = ArgVector(call, 2);
  if (!call.world) return;
  units::Unit* unit = PlaceNamed(*call.world, ArgText(call, 0), "", 0, Vec3{});
  if (!unit) {
    SetInt(call, -1);
    return;
  }
  if (call.world->graphics) unit->BuildSurfaceGeometry(*call.world->graphics, a.x, a.y, b.x, b.y);
  SetInt(call, unit->unitId);
}

// create_sprite_from_file(image path): a unit showing the image (the path
// taken from the calling script's folder) at the origin; -1 when none was
// made.
void CallCreateSpriteFromFile(Call& call) {
  if (!call.world) return;
  std::string path =
      script::ResolveScriptPath(ArgText(call, 0), call.context->folder ? call.context->folder : "");
  units::UnitType* type = world::create_sprite_from_file(*call.world, path.c_str(), kSpriteFileKey);
  units::Unit* unit =
      type ? world::PutUnit(*call.world, "", type, 0, "", 0, Vec3{}, Vec3{}, nullptr) : nullptr;
  SetInt(call, unit ? unit->unitId : -1);
}

// [SECTION] Selecting and removing
//
// Removal marks first and acts after, over one byte per pool slot: the
// acting unlinks the parent chains the marking follows.

namespace {

// True when the unit is one a label call visits for this label: of the
// current event mode, and the label path matching (an empty label matches
// every unit).
bool LabelSelects(world::GameWorld& world, units::Unit& unit, const char* label) {
  if (unit.sceneNumber != world::GetEventMode(world)) return false;
  return !label[0] || units::MatchLabelPath(unit, label, 0) != nullptr;
}

// A unit already marked for removal after this step has been deleted once:
// it is not counted out, nor its triggers run, a second time.
bool AlreadyDeleted(const units::Unit& unit) { return unit.removalMark != 0; }

class Marking {
 public:
  explicit Marking(world::GameWorld& world)
      : world_(world), marked_(size_t(std::max(world::CountUnitSlots(world), 0)), 0) {}

  int Slots() const { return int(marked_.size()); }
  units::Unit* At(int slot) const { return world::GetUnitAt(world_, slot); }

  // Marks a slot; true when it was not marked before.
  bool Mark(const units::Unit& unit) {
    int slot = unit.unitId;
    if (slot <= 0 || slot >= Slots() || marked_[size_t(slot)]) return false;
    marked_[size_t(slot)] = 1;
    return true;
  }

  // Marks every unit with `ancestor` on its parent chain that `accept`
  // takes; the number newly marked.
  template <class Accept>
  int MarkDescendants(const units::Unit& ancestor, Accept accept) {
    int count = 0;
    for (int slot = 1; slot < Slots(); slot++) {
      units::Unit* other = At(slot);
      if (!other || !render::DisplayObject::IsObjectDescendant(other, &ancestor) || !accept(*other)) continue;
      count += Mark(*other) ? 1 : 0;
    }
    return count;
  }

  // The marked units that still hold a unit, in ascending slot order.
  template <class Act>
  void ForEach(Act act) {
    for (int slot = 1; slot < Slots(); slot++)
      if (marked_[size_t(slot)])
        if (units::Unit* unit = At(slot)) act(*unit);
  }

 private:
  world::GameWorld& world_;
  std::vector<uint8_t> marked_;
};

// What a delete does to each marked unit; the world removes it after the
// step.
void DeleteMarked(world::GameWorld& world, Marking& marking) {
  marking.ForEach([&](units::Unit& unit) {
    units::StopUnitEngineSound(world.sound, unit);
    units::ReleaseWeaponChildren(world, unit, -1);
    world::RunPathTriggers(world, world::kTriggerDisappear, &unit, &unit);
    world::CountUnitOut(world, &unit);
    if (world.networkGame) {
      world.announcedDeletions++;
      world::NotifyUnitDeleted(world, unit.networkId);
    }
    unit.removalMark = 1;
  });
}

// A release counts out and silences every marked unit, then releases them
// all at once; no trigger runs.
void ReleaseMarked(world::GameWorld& world, Marking& marking) {
  marking.ForEach([&](units::Unit& unit) {
    world::CountUnitOut(world, &unit);
    units::StopUnitEngineSound(world.sound, unit);
    units::ReleaseWeaponChildren(world, unit, -1);
  });
  marking.ForEach([&](units::Unit& unit) { world::ReleaseUnit(world, &unit); });
}

bool AnyUnit(const units::Unit& unit) { return !AlreadyDeleted(unit); }
// Released with their carrier: units with a type that is not a weapon
// (weapons go with the carrier's weapon children).
bool ReleasedWithCarrier(const units::Unit& unit) { return unit.type && !IsWeaponType(unit.type); }

}  // namespace

// delete_unit(unit): the number of descendants deleted with the unit (the
// unit not counted); 0 for a bad handle.
void CallDeleteUnit(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  SetInt(call, 0);
  if (!unit || AlreadyDeleted(*unit)) return;
  Marking marking(*call.world);
  marking.Mark(*unit);
  int count = marking.MarkDescendants(*unit, AnyUnit);
  DeleteMarked(*call.world, marking);
  SetInt(call, count);
}

// delete_unit_label(label): the number of units marked, the selected ones
// and their descendants.
void CallDeleteUnitLabel(Call& call) {
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  const char* label = ArgText(call, 0);
  Marking marking(world);
  int count = 0;
  for (int slot = 1; slot < marking.Slots(); slot++) {
    units::Unit* unit = marking.At(slot);
    if (!unit || AlreadyDeleted(*unit) || !LabelSelects(world, *unit, label)) continue;
    count += marking.Mark(*unit) ? 1 : 0;
    count += marking.MarkDescendants(*unit, AnyUnit);
  }
  DeleteMarked(world, marking);
  SetInt(call, count);
}

// release_object(unit): the unit and its descendants go at once.
void CallReleaseObject(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  Marking marking(*call.world);
  marking.Mark(*unit);
  marking.MarkDescendants(*unit, ReleasedWithCarrier);
  ReleaseMarked(*call.world, marking);
}

// release_object_label(label): as release_object for every unit the label
// selects.
void CallReleaseObjectLabel(Call& call) {
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  const char* label = ArgText(call, 0);
  Marking marking(world);
  for (int slot = 1; slot < marking.Slots(); slot++) {
    units::Unit* unit = marking.At(slot);
    if (!unit || !LabelSelects(world, *unit, label)) continue;
    marking.Mark(*unit);
    marking.MarkDescendants(*unit, ReleasedWithCarrier);
  }
  ReleaseMarked(world, marking);
}

// release_all_object(): every unit with a type of the current event mode.
void CallReleaseAllObject(Call& call) {
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  Marking marking(world);
  int mode = world::GetEventMode(world);
  for (int slot = 1; slot < marking.Slots(); slot++) {
    units::Unit* unit = marking.At(slot);
    if (unit && unit->type && unit->sceneNumber == mode) marking.Mark(*unit);
  }
  ReleaseMarked(world, marking);
}

// [SECTION] Health and engine

// add_damage(unit, amount): HP less the amount, never below 1; a unit at
// HP 0 is left alone.
void CallAddDamage(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  int32_t hp = units::GetUnitHp(*unit);
  if (hp <= 0) return;
  int64_t left = std::clamp<int64_t>(int64_t(hp) - ArgInt(call, 1), 1, INT32_MAX);
  units::SetUnitHp(*unit, int32_t(left), -1);
}

// supply_hp(unit, percent): the percentage of the maximum added to a unit
// that still has HP.
void CallSupplyHp(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (unit && units::GetUnitHp(*unit) > 0) units::SupplyHp(*unit, ArgInt(call, 1));
}

// stop_gun(unit, value): the unit's gun-stop byte.
void CallStopGun(Call& call) {
  if (units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0))) units::StopGun(*unit, ArgInt(call, 1));
}

// stop_weapon(unit, slot, flag): the stop byte of a weapon slot.
void CallStopWeapon(Call& call) {
  if (units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0)))
    units::StopWeapon(*unit, ArgInt(call, 1), ArgInt(call, 2));
}

// limit_engine(unit, low, high): the bounds of the player's throttle.
void CallLimitEngine(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  unit->engineLimitLow = ArgFloat(call, 1);
  unit->engineLimitHigh = ArgFloat(call, 2);
}

// [SECTION] Moving, turning, transforming
//
// The vector is read (and its error raised) before the handle is tried.

// move(unit, delta): the local position moved by the delta.
void CallMove(Call& call) {
  Vec3 delta = ArgVector(call, 1);
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  Vec3 p = unit->GetObjectPosition();
  unit->SetObjectPosition(p.x + delta.x, p.y + delta.y, p.z + delta.z);
}

// rel_rot(unit, delta in degrees): the angles turned by the delta.
void CallRelRot(Call& call) {
  Vec3 delta = ArgRotation(call, 1);
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  Vec3 a = unit->GetObjectAngles();
  unit->SetObjectAngles(a.x + delta.x, a.y + delta.y, a.z + delta.z);
}

// transform(unit, point): the point of the unit's frame in the world.
void CallTransform(Call& call) {
  Vec3 point = ArgVector(call, 1);
  if (units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0))) SetVector(call, unit->TransformPointToWorld(point));
}

// inv_transform(unit, point): the world point in the unit's frame.
void CallInvTransform(Call& call) {
  Vec3 point = ArgVector(call, 1);
  if (units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0))) SetVector(call, unit->TransformPointToLocal(point));
}

// transform_animation(unit, frame name, point): the point moved by the named
// frame of the unit's posed model, then taken to the world. Without a model
// or such a frame the point is taken as it is.
void CallTransformAnimation(Call& call) {
  Vec3 point = ArgVector(call, 2);
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  Vec3 moved = point;
  if (const render::CMesh* model = unit->GetObjectModel()) model->TransformPointByFrame(&moved, ArgText(call, 1), point);
  SetVector(call, unit->TransformPointToWorld(moved));
}

// is_ancestor(unit, other): 1 when the other stands on the unit's parent
// chain, else 0.
void CallIsAncestor(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  units::Unit* other = UnitFromHandle(call, ArgInt(call, 1));
  if (!unit || !other) return;
  SetInt(call, render::DisplayObject::IsObjectDescendant(unit, other) ? 1 : 0);
}

// [SECTION] Paths

// active_path(point, flag): the point armed in (flag non-zero) or taken
// from the trigger list of its command.
void CallActivePath(Call& call) {
  if (units::PathPoint* point = PathPointFromHandle(call, ArgInt(call, 0)))
    world::SetPathPointListed(*call.world, point, ArgInt(call, 1) != 0 ? 1 : 0);
}

// active_path_label(label, flag): the same for every point of that label.
void CallActivePathLabel(Call& call) {
  if (!call.world || !call.world->pathPoints) return;
  const char* label = ArgText(call, 0);
  int add = ArgInt(call, 1) != 0 ? 1 : 0;
  const units::PathPointPool& pool = *call.world->pathPoints;
  for (int slot = 0; slot < units::CountPathPoints(pool); slot++) {
    units::PathPoint* point = units::GetPathPointAt(pool, slot);
    if (point && point->label == label) world::SetPathPointListed(*call.world, point, add);
  }
}

}  // namespace api
