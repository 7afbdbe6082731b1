// world_local.h -- the world's internals shared between its files.
#pragma once

#include "units/units_services.h"
#include "world/world_public.h"

namespace world {

// ----------------------------------------------------------------------------
// world_frame.cpp
// ----------------------------------------------------------------------------

// 1 in the program's edit mode.
inline int InEditMode(const GameWorld& w) { return w.editorMode && *w.editorMode == 1; }
// The frame rate in use: 60, 30, 20 or 15.
inline int FrameRateOf(const GameWorld& w) { return w.frameRate && *w.frameRate > 0 ? *w.frameRate : 60; }

// ----------------------------------------------------------------------------
// world_pools.cpp
// ----------------------------------------------------------------------------

// Grows the unit pool by one block (260 slots), each new slot holding a
// reset record. False when memory is exhausted.
bool GrowUnitPool(GameWorld& world);
// Resets every slot and frees the effect pool (reset and shutdown).
void ClearUnitSlots(GameWorld& world);
void FreeEffectPool(GameWorld& world);
// The first block of 256 effect objects, when there is none.
void EnsureEffectPool(GameWorld& world);
// The engine sounds of the units nearest the camera.
void UpdateUnitEngineSounds(GameWorld& world, float fade);
// Frees every unit record and the pool itself (destruction).
void FreeUnitPool(GameWorld& world);
// Population records: each record's lists freed and given new ones.
void ResetPopulation(GameWorld& world);
void FreePopulation(GameWorld& world);

}  // namespace world

namespace world {

// ----------------------------------------------------------------------------
// world_life.cpp: the seams to the parts of the game that are not built
// yet or belong to another file of the game floor. Each is the one place the
// world reaches that part through.
// ----------------------------------------------------------------------------

// Every trigger list emptied (reset, script failure).
inline void EmptyTriggerLists(GameWorld& world) { SetPathPointListed(world, nullptr, 0); }

// The script engine emptied and the system calls registered again.
void RegisterSystemCallsAgain(GameWorld& world);
// Every effect sound and the music and voice slots stopped.
void StopGameSounds(GameWorld& world);

// The recorder: one step of live input kept, or the recorded step played
// back over the live one; a finished run kept for its replay.
void RecordStepInput(GameWorld& world, int step, const int32_t analog[4], Vec3 position);
void PlayStepInput(GameWorld& world, int step, int32_t analog[4]);
void RecordFinishedRun(GameWorld& world);
void RewindRecorder(GameWorld& world, bool forPlayback);

// The network's share of a step (world_network.cpp): the received game
// messages applied first, the unit states and player data sent last; the
// world reset drops what is pending. The shot announcement of a spawn.
void ApplyNetworkMessages(GameWorld& world);
void DropNetworkMessages(GameWorld& world);
void AnnounceShot(GameWorld& world, units::Unit& shot, units::Unit* shooter);

// Effect objects, camera and weather of a step.
void StepEffects(GameWorld& world);

// ----------------------------------------------------------------------------
// The scene's steps and life cycle, each in its own file.
// ----------------------------------------------------------------------------

// world_effects.cpp: one step of every live effect object.
void UpdateEffectObjects(GameWorld& world);
// world_camera.cpp: once per run step (the camera mode's setter is public,
// world_camera.h).
void UpdateCamera(GameWorld& world);
// world_weather.cpp: the environment step (run and edit states); the effect
// textures, sun and flare (load); the rain, snow and clouds scattered
// (reset, environment reset); the environment's defaults.
void StepWeatherEffects(GameWorld& world);
void LoadEffectTextures(GameWorld& world);
void ScatterWeatherParticles(GameWorld& world);
void ResetEnvironment(GameWorld& world);

// ----------------------------------------------------------------------------
// world_units.cpp: what the world reads and does to a unit record.
// ----------------------------------------------------------------------------

units::UnitDatabase* NewUnitDatabase();
units::PathPointPool* NewPathPointPool();
void DeletePathPointPool(units::PathPointPool* pool);
// Every live path point detached (reset).
void DetachPathPoints(GameWorld& world);
void DeleteUnitDatabase(units::UnitDatabase* database);
void ReleaseAllUnitTypeResources(GameWorld& world);
void FreeSceneRecords(GameWorld& world);

// A slot's record holds a unit (model or surface, or a handle).
bool UnitIsLive(const units::Unit* unit);
// world_queries.cpp: the distance from p to the segment a-b.
float DistanceToSegment(core::Vec3 p, core::Vec3 a, core::Vec3 b);
// The slots marked as holding a model (GameWorld::unitModelSlots): one
// unit's added, or all renewed from the units.
void MarkUnitModel(GameWorld& world, units::Unit* unit);
void RenewUnitModelMarks(GameWorld& world);
// It has a model or a surface: it is stepped, drawn and targeted.
bool UnitHasGraphics(const units::Unit* unit);
// A unit type of the database by its master key, or null.
units::UnitType* FindTypeByKey(GameWorld& world, const char* key);
// Makes sure the type's graphics are loaded and gives them to the unit.
void LoadMasterModels(GameWorld& world, units::Unit* unit, units::UnitType* type);
int UnitEventFlag(const units::Unit* unit);
bool UnitHasLabel(const units::Unit* unit);
bool UnitMarkedDeleted(const units::Unit* unit);
Vec3 UnitPosition(const units::Unit* unit);
// One step of the unit's behaviour; false when it is gone.
bool StepUnit(GameWorld& world, units::Unit* unit);
// The slot's unit released (display object) and reset, its word -1.
void ResetUnitSlot(GameWorld& world, int slot);

}  // namespace world
