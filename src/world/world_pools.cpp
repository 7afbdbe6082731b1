// world_pools.cpp -- the unit and effect pools, placing units, the
// population statistics and the engine-sound cache. Stand-ins until the
// unit record exists: no unit is ever placed.

#include "world/world_local.h"

namespace world {

bool GrowUnitPool(GameWorld& world) { (void)world; return false; }
void ClearUnitSlots(GameWorld& world) { (void)world; }
void FreeEffectPool(GameWorld& world) {
  for (EffectObject* e : world.effectPool) delete e;
  world.effectPool.clear();
  world.effectRing = 0;
}
void FreeUnitPool(GameWorld& world) { world.unitPool.Free(); world.unitSlotWord.clear(); }
void ResetPopulation(GameWorld& world) { (void)world; }
void FreePopulation(GameWorld& world) { world.population.clear(); }

int CountUnitSlots(GameWorld& world) { return int(world.unitPool.Count()); }
units::Unit* GetUnitAt(GameWorld& world, int slot) { (void)world, (void)slot; return nullptr; }
units::Unit* GetUnitSlot(GameWorld& world, int slot) {
  return slot >= 0 && slot < CountUnitSlots(world) ? world.unitPool[uint32_t(slot)] : nullptr;
}
units::Unit* GetPlayerUnit(GameWorld& world) { return world.playerUnit; }
Vec3 GetPlayerUnitPosition(GameWorld& world) { (void)world; return {}; }
units::Unit* AllocUnit(GameWorld& world) { (void)world; return nullptr; }
units::Unit* PutUnit(GameWorld& world, const char* team, units::UnitType* type, int level, const char* label,
                     uint32_t flags, Vec3 position, Vec3 angles, units::Unit* parent) {
  (void)world, (void)team, (void)type, (void)level, (void)label, (void)flags, (void)position, (void)angles,
      (void)parent;
  return nullptr;
}
units::Unit* SpawnOwnedUnit(GameWorld& world, Vec3 position, Vec3 direction, units::Unit* owner,
                            units::UnitType* type) {
  (void)world, (void)position, (void)direction, (void)owner, (void)type;
  return nullptr;
}
units::Unit* PutSystemDust(GameWorld& world, Vec3 position, Vec3 direction) {
  (void)world, (void)position, (void)direction;
  return nullptr;
}
units::Unit* FindTarget(GameWorld& world, units::Unit* unit, units::Unit* current, int cone, int forward,
                        int weapon) {
  (void)world, (void)unit, (void)current, (void)cone, (void)forward, (void)weapon;
  return nullptr;
}
void ReleaseUnit(GameWorld& world, units::Unit* unit) { (void)world, (void)unit; }
int ReleaseMatchingUnits(GameWorld& world, units::Unit* unit) { (void)world, (void)unit; return 0; }
int CountUnitIn(GameWorld& world, units::Unit* unit) { (void)world, (void)unit; return 1; }
int CountUnitOut(GameWorld& world, units::Unit* unit) { (void)world, (void)unit; return 1; }
int CountUnitDestroyed(GameWorld& world, units::Unit* unit) { (void)world, (void)unit; return 1; }
PopulationRecord* FindNamedRecord(GameWorld& world, const char* team) { (void)world, (void)team; return nullptr; }
int CacheSoundName(GameWorld& world, const char* fileName) { (void)world, (void)fileName; return -1; }
EffectObject* AllocEffect(GameWorld& world) { (void)world; return nullptr; }
int CountEffectSlots(GameWorld& world) { return int(world.effectPool.size()); }

}  // namespace world

namespace world {
void EnsureEffectPool(GameWorld& world) { (void)world; }
void UpdateUnitEngineSounds(GameWorld& world, float fade) { (void)world, (void)fade; }
}  // namespace world
