// world_hud_services.cpp -- the reads of the world that the flight HUD makes
// through the services header.

#include "world/world_local.h"

namespace world {

render::GraphicsSystem* GetWorldGraphics(GameWorld& world) { return world.graphics; }

int GetCameraMode(GameWorld& world) { return world.camera.mode; }

int GetWorldFrameRate(GameWorld& world) { return world.frameRate ? *world.frameRate : 60; }

int GetHeightOffset(GameWorld& world) { return world.heightOffset; }

int GetGameTime(GameWorld& world) { return world.gameTime; }

int GetStereoType(GameWorld& world) { return world.settings ? int(world.settings->stereoType) : 0; }

render::DisplayObject* GetHudMapObject(GameWorld& world) { return &world.hudMap; }

int IsHudMapShown(GameWorld& world) { return world.hudMapShown; }

render::DisplayObject* GetSlotHudSprite(GameWorld& world, int slot, int k) {
  if (slot < 0 || size_t(slot) >= world.slotSprites.size() || k < 0 || k >= kSlotHudSprites) return nullptr;
  return &world.slotSprites[size_t(slot)]->hud[k];
}

units::UnitType* GetDefaultWeaponType(GameWorld& world) { return world.noWeaponType; }

}  // namespace world
