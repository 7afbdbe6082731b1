// world_units.cpp -- what the world reads and does to a unit record, in one
// place: the seam between the world's loops and the units' record.

#include <cstring>

#include "world/world_local.h"

namespace world {

units::UnitDatabase* NewUnitDatabase() { return new units::UnitDatabase(); }
void DeleteUnitDatabase(units::UnitDatabase* database) { delete database; }

void ReleaseAllUnitTypeResources(GameWorld& world) {
  // Models and textures of every type are dropped; they load again on use.
  for (auto& type : world.unitDatabase->types) {
    if (!type) continue;
    type->model.reset();
    type->largeTexture.reset();
  }
}

void FreeSceneRecords(GameWorld& world) {
  units::FreePlacementRecords(*world.unitDatabase);
  units::FreePathPointRecords(*world.unitDatabase);
}

units::UnitType* FindTypeByKey(GameWorld& world, const char* key) {
  for (auto& type : world.unitDatabase->types)
    if (type && type->key == key) return type.get();
  return nullptr;
}

void LoadMasterModels(GameWorld& world, units::Unit* unit, units::UnitType* type) {
  (void)world;
  // The type's model once loaded; loading on first use comes with the unit
  // database's model reader.
  if (type && type->model) unit->SetObjectModel(type->model.get());
  if (type) unit->SetObjectGlareRate(type->glareRate);
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
  units::ResetUnit(*unit);
  world.unitSlotWord[size_t(slot)] = -1;
}

}  // namespace world
