// world_units.cpp -- what the world reads and does to a unit record, in one
// place: the seam between the world's loops and the units' record.

#include "world/world_local.h"

namespace world {

units::UnitDatabase* NewUnitDatabase() { return nullptr; }
void DeleteUnitDatabase(units::UnitDatabase* database) { (void)database; }
void ReleaseAllUnitTypeResources(GameWorld& world) { (void)world; }
void FreeSceneRecords(GameWorld& world) { (void)world; }

bool UnitIsLive(const units::Unit* unit) { (void)unit; return false; }
int UnitEventFlag(const units::Unit* unit) { (void)unit; return 0; }
bool UnitHasLabel(const units::Unit* unit) { (void)unit; return false; }
bool UnitMarkedDeleted(const units::Unit* unit) { (void)unit; return false; }
Vec3 UnitPosition(const units::Unit* unit) { (void)unit; return {}; }
bool StepUnit(GameWorld& world, units::Unit* unit) { (void)world, (void)unit; return true; }
void ResetUnitSlot(GameWorld& world, int slot) { (void)world, (void)slot; }

}  // namespace world
