// world_render.h -- one displayed frame of the world: its render targets,
// the shadow cascades, the mirror image, the eyes of the stereo modes, the
// post passes, the composite onto the back buffer, the overlays and the
// screenshots.
#pragma once

#include <cstdint>
#include <string>

#include "core/core_public.h"
#include "platform/platform_public.h"
#include "render/render_public.h"

namespace world {

class GameWorld;

constexpr int kGlareLevels = 12;
constexpr int kShadowCascades = 3;

// The world's render targets. Holders that the settings do not ask for stay
// empty; every pass that walks a chain stops at its first empty level.
struct WorldRenderTargets {
  render::TextureHolder scene[2];                   // eye 0, eye 1 (headset only)
  render::TextureHolder bloom;
  render::TextureHolder glare[kGlareLevels];        // level 0 full size, halving
  render::TextureHolder shadow[kShadowCascades][2]; // dynamic map, static map
  render::TextureHolder mirror;                     // half size
  render::TextureHolder mirrorBloom;
  render::TextureHolder mirrorGlare[kGlareLevels];
};

// Where a cascade's static shadow map was last rendered from. A light eye
// far away (999999 on every axis) makes the next frame render it anew.
struct ShadowCascadeRecord {
  platform::Vec3 eye{};
  platform::Vec3 direction{};
  platform::Vec3 up{};
};

// The four engine-flame sprites of one unit slot (null entries are skipped).
struct EngineFlameBlock {
  render::DisplayObject* sprite[4] = {};
};

// The display objects every unit slot owns, made when the pool grows: the
// four engine flames and the HUD's sprites (the marker, the type image,
// the side piece, the top piece, the radar symbol, the map symbol).
constexpr int kSlotHudSprites = 6;
struct UnitSlotSprites {
  render::DisplayObject flames[4];
  render::DisplayObject hud[kSlotHudSprites];
};

// The stereo types of the settings.
enum StereoType : int {
  kStereoNone = 0,
  kStereo3DVision = 1,
  kStereoColour = 2,     // red-cyan glasses
  kStereoSideBySide = 3,
  kStereoHeadset = 4,
};

// [SECTION] Targets and the effect

// Releases every holder, then creates the targets for the client size and
// the resolution code (0 as it is, 1 twice, 2 half, 3 four times) and
// rebuilds the effect from the settings. Returns 1.
int RebuildRenderTargets(GameWorld& world, int code);
// Releases every holder of the world's targets (shutdown).
void ReleaseRenderTargets(GameWorld& world);

// The effect's "#define" header for the settings; a screenshot turns on
// every feature but bloom.
std::string BuildEffectHeader(const core::SettingsBlock& settings, bool screenshot);
// The targets' size for a client size and resolution code (the headset
// takes a 960:1080 eye).
void RenderTargetSize(int clientWidth, int clientHeight, int code, bool headset, int* width, int* height);
// How many levels a chain of (width, height) has: halving both sides until
// one reaches 1, at most 12.
int CountChainLevels(int width, int height);
// The screenshot stamp: year in full, then month, day, hour, minute,
// second in two digits and the milliseconds in three (17 digits).
std::string FormatScreenshotStamp(const platform::LocalTime& time);
// The traffic line of a relay peer, from the network's five counters:
// received, good, bad, sent, send blocked.
std::string FormatTrafficLine(const int32_t counters[5]);

// [SECTION] The frame

// Draws one frame of the world into its targets and onto the back buffer.
// Returns 1; 0 when nothing was drawn (no device, or a minimised window).
int RenderFrame(GameWorld& world);

}  // namespace world
