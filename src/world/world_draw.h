// world_draw.h -- the scene's draw passes: what of the world is drawn for one
// camera and render target, and in which order.
#pragma once

#include <cstdint>
#include <span>

#include "render/render_public.h"
#include "world/world_render.h"

namespace units {
struct Unit;
}

namespace world {

class GameWorld;

// [SECTION] Frame set-up

// Once per frame, before any pass: the blended light and fog go to the
// renderer, the draw range follows the fog's far distance, and the colour
// doubling and quadrupling flags are cleared.
void PrepareFrameEnvironment(GameWorld& world);
// The distance limit of every on-screen test of the passes (3000 until the
// first frame sets it).
float GetDrawRange(const GameWorld& world);

// [SECTION] Which pass draws a unit

// The unit passes a unit's own drawable takes part in, before the on-screen
// test (that one needs the frame's camera).
enum class UnitDrawKind : int32_t {
  kNone = 0,      // not drawn by the 3D unit passes
  kOpaque = 1,    // DrawOpaqueUnits
  kBlended = 2,   // DrawBlendedUnits
  kSprite2D = 3,  // DrawSortedSprites (the layer by the sign of its z)
};
// The choice for the current camera mode, focus unit and event mode.
UnitDrawKind SelectUnitDrawKind(GameWorld& world, units::Unit& unit);

// [SECTION] The passes (the render pass calls them for every camera)
//
// Without a renderer they draw nothing.

// Models and 3D sprites that are not additive, then the pool's model effects.
void DrawOpaqueUnits(GameWorld& world);
// Sun billboard, clouds far to near, rain or snow, then the sun glare with
// the depth test off. Glare piece 0 is drawn only while neither a
// screenshot is being taken nor the glare post pass is on; the mirror image
// draws piece 0 alone.
void DrawEffects(GameWorld& world, bool screenshotRequested);
// Models and 3D sprites that are additive or flagged to blend.
void DrawBlendedUnits(GameWorld& world);

// Surface effects from the last pool slot to the first, then the engine
// flames, indexed by unit slot, of the units not seen from their own
// cockpit.
void DrawEffectSpritesAndFlames(GameWorld& world, std::span<EngineFlameBlock> flames = {});
// The 2D sprite units of a layer, largest z first, each drawn at z 0:
// layer 0 (z >= 0) lies behind the HUD and the windows, layer 1 (z < 0) in
// front of them.
void DrawSortedSprites(GameWorld& world, int layer);

// What the eyes and the mirror image add to the scene's sequence.
struct SceneDrawOptions {
  const platform::Vec3* viewer = nullptr;  // map view centre (null: the camera's eye)
  const float* mirrorHeight = nullptr;  // mirror image: the clip moves to the plane after the sky
  bool editorOverlays = false;          // the editor's paths and overlay (edit mode, no screenshot)
};

// The 3D scene for the camera set: map view, sky layers, map objects
// (`frameCounter` blinks their lights), the four passes above in their
// order, the editor's overlays when asked, then the aero lights, whose
// queue is emptied.
void DrawScene3D(GameWorld& world, int frameCounter, bool screenshotRequested,
                 std::span<EngineFlameBlock> flames = {}, const SceneDrawOptions& options = {});

// The units that cast into a shadow cascade, with the shadow camera set:
// cascade 0 takes the camera's shadow unit and what belongs to it (its
// parts and the shots it fired), the others every other unit; within
// `distance` of the light's eye.
void DrawShadowCasters(GameWorld& world, int cascade, float distance);

}  // namespace world
