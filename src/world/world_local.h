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
// Frees every unit record and the pool itself (destruction).
void FreeUnitPool(GameWorld& world);
// Population records: each record's lists freed and given new ones.
void ResetPopulation(GameWorld& world);
void FreePopulation(GameWorld& world);

}  // namespace world
