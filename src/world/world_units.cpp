// world_units.cpp -- what the world reads and does to a unit record, in one
// place: the seam between the world's loops and the units' record.

#include <algorithm>
#include <cstring>

#include "world/world_local.h"

namespace world {

units::UnitDatabase* NewUnitDatabase() { return new units::UnitDatabase(); }
void DeleteUnitDatabase(units::UnitDatabase* database) { delete database; }
units::PathPointPool* NewPathPointPool() { return new units::PathPointPool(); }
void DeletePathPointPool(units::PathPointPool* pool) { delete pool; }
void DetachPathPoints(GameWorld& world) { units::DetachAllPathPoints(*world.pathPoints); }

void ReleaseAllUnitTypeResources(GameWorld& world) { units::ReleaseUnitTypeResources(*world.unitDatabase, nullptr); }

void FreeSceneRecords(GameWorld& world) {
  units::FreePlacementRecords(*world.unitDatabase);
  units::FreePathPointRecords(*world.unitDatabase);
}

units::UnitType* FindTypeByKey(GameWorld& world, const char* key) {
  return units::FindUnitTypeByKey(*world.unitDatabase, key);
}

void LoadMasterModels(GameWorld& world, units::Unit* unit, units::UnitType* type) {
  if (!type) type = world.noWeaponType;
  if (!type) return;
  units::UnitDatabase& db = *world.unitDatabase;
  // A model when the type names one, else its texture as a surface: a
  // cross of quads for mounted types, a centred sprite for large ones.
  // Without a unit only the graphics are loaded (a group made ready).
  if (render::CMesh* model = units::PrepareUnitTypeModel(db, *type)) {
    if (unit) {
      unit->SetObjectModel(model);
      MarkUnitModel(world, unit);
    }
  } else if (render::TextureHolder* texture = units::FindUnitTypeTexture(db, *type); texture && db.graphics && unit) {
    if (type->attributes & units::kAttrMounted) unit->SetObjectSurface(*db.graphics, texture, render::kSurfaceCross, 1);
    else if (type->attributes & units::kAttrNearfuse)
      unit->SetObjectSurface(*db.graphics, texture, render::kSurfaceCentredSprite, 1);
    else unit->SetObjectTexture(*db.graphics, texture);
  }
  if (unit) unit->SetObjectGlareRate(type->glareRate);
}

void MarkUnitModel(GameWorld& world, units::Unit* unit) {
  if (unit->unitId <= 0) return;
  size_t slot = size_t(unit->unitId);
  std::vector<uint32_t>& slots = world.unitModelSlots;
  auto at = std::lower_bound(slots.begin(), slots.end(), uint32_t(slot));
  if (at == slots.end() || *at != uint32_t(slot)) slots.insert(at, uint32_t(slot));
}

void RenewUnitModelMarks(GameWorld& world) {
  uint32_t slots = uint32_t(CountUnitSlots(world));
  world.unitModelSlots.clear();
  for (uint32_t i = 1; i < slots; i++) {
    units::Unit* unit = world.unitPool[i];
    if (unit && unit->model) world.unitModelSlots.push_back(i);
  }
}

bool UnitIsLive(const units::Unit* unit) { return unit && (unit->unitId != 0 || unit->model || unit->surface); }
bool UnitHasGraphics(const units::Unit* unit) { return unit && (unit->model || unit->surface); }
int UnitEventFlag(const units::Unit* unit) { return unit->sceneNumber != 0; }
bool UnitHasLabel(const units::Unit* unit) { return unit->label.Get()[0] != 0; }
bool UnitMarkedDeleted(const units::Unit* unit) { return unit->removalMark != 0; }
Vec3 UnitPosition(const units::Unit* unit) { return const_cast<units::Unit*>(unit)->GetObjectWorldPosition(); }

bool StepUnit(GameWorld& world, units::Unit* unit) {
  if (!UnitHasGraphics(unit)) return true;  // placed without graphics: it stands still
  return units::UpdateUnit(world, *unit) != 0;
}

void ResetUnitSlot(GameWorld& world, int slot) {
  units::Unit* unit = GetUnitSlot(world, slot);
  if (!unit) return;
  if (world.focusUnit == unit) world.focusUnit = nullptr;
  if (world.targetUnit == unit) world.targetUnit = nullptr;
  if (world.playerUnit == unit) world.playerUnit = nullptr;
  if (world.host.unitReleased) world.host.unitReleased(world.host.user, unit);
  units::ResetUnit(*unit);
  world.unitSlotWord[size_t(slot)] = -1;
}

}  // namespace world
