// world_render.cpp -- one displayed frame of the world: the render targets
// and the effect they need, the shadow cascades, the mirror image, the eyes
// of the stereo modes, the post passes, the composite onto the back buffer,
// the overlays and the screenshots.
//
// Index
//  [SECTION] Helpers
//  [SECTION] Render targets
//  [SECTION] Shadow cascades
//  [SECTION] Mirror image and post passes
//  [SECTION] One eye
//  [SECTION] Overlays
//  [SECTION] The frame

#include "world/world_render.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "net/net_public.h"
#include "sound/sound_public.h"
#include "world/world_draw.h"
#include "world/world_local.h"

namespace world {

using core::Sjis;

namespace {

// [SECTION] Helpers

constexpr float kFarLightEye = 999999.0f;
constexpr float kMirrorOff = -999999.0f;
// The display format of the scene, bloom, glare and mirror targets.
constexpr uint32_t kSceneFormat = platform::kFmtX8R8G8B8;
// Camera modes the replay marks leave out: the cockpit and behind views.
constexpr int kCameraCockpit = 0;
constexpr int kCameraBehind = 1;
// The player-unit bit of a unit's flag word: name tags and map labels.
constexpr uint32_t kPlayerUnitFlag = 0x2;

render::GraphicsSystem* DrawingDevice(GameWorld& world) {
  return world.graphics && world.graphics->GetDevice() ? world.graphics : nullptr;
}

const core::SettingsBlock& SettingsOf(const GameWorld& world) {
  static const core::SettingsBlock kNone{};  // every switch off
  return world.settings ? *world.settings : kNone;
}

// What of the settings one frame reads, with the screenshot request folded
// in where it turns a feature on.
struct FrameSwitches {
  bool effect = false;      // SHADER.FLAG
  bool glare = false;       // GLARE or a screenshot
  bool bloom = false;       // BLOOM (never by a screenshot)
  bool mirror = false;      // MIRROR or a screenshot
  bool screenshot = false;
  bool shiftHeld = false;
  int stereoType = kStereoNone;
  int stereoSize = 0;       // display inches of two-eye software stereo, else 0
};

FrameSwitches ReadSwitches(const GameWorld& world) {
  const core::SettingsBlock& s = SettingsOf(world);
  FrameSwitches f;
  f.screenshot = world.screenshotRequest != 0;
  f.shiftHeld = world.shiftHeld != 0;
  f.effect = s.shaderFlag != 0;
  f.glare = s.glare != 0 || f.screenshot;
  f.bloom = s.bloom != 0;
  f.mirror = s.mirror != 0 || f.screenshot;
  f.stereoType = s.stereoType;
  // Only the two software modes keep a display size.
  if (f.stereoType == kStereoColour || f.stereoType == kStereoSideBySide) f.stereoSize = s.displayInch;
  return f;
}

int CascadeCountFor(int shadowSetting, bool screenshot) {
  if (screenshot) return kShadowCascades;
  if (shadowSetting <= 0) return 0;
  return shadowSetting == 1 ? 1 : kShadowCascades;
}

// Draws a whole texture as a plain 2D quad centred on (x, 0), `scaleX` and
// `scaleY` 2D units per texel, with `alpha` as its colour's alpha (negative:
// the colour as it is) or the colour `rgb`. The quad is made for this draw.
void DrawTextureQuad(render::GraphicsSystem& gs, render::TextureHolder& holder, float scaleX, float scaleY,
                     float x = 0.0f, float alpha = -1.0f, const float* rgb = nullptr) {
  render::DisplayObject quad;
  quad.SetObjectTexture(gs, &holder);
  quad.AlignObjectSurface(0);
  quad.SetObjectScale(scaleX, scaleY, 1.0f);
  quad.SetObjectPosition(x, 0.0f, 0.0f);
  if (rgb) quad.SetObjectColor(rgb[0], rgb[1], rgb[2], -1.0f);
  if (alpha >= 0.0f) quad.SetObjectColor(-1.0f, -1.0f, -1.0f, alpha);
  quad.DrawObject(gs);
}

float TexelScale(const render::TextureHolder& holder) {
  return holder.height > 0 ? 768.0f / float(holder.height) : 1.0f;
}

void PauseVoiceAndMusic(GameWorld& world) {
  if (!world.sound) return;
  world.sound->PauseSoundSlot(sound::kVoiceSlot, -1);
  world.sound->PauseSoundSlot(sound::kMusicSlot, -1);
}

void ResumeVoiceAndMusic(GameWorld& world) {
  if (!world.sound) return;
  world.sound->ResumeSoundSlot(sound::kVoiceSlot, -1);
  world.sound->ResumeSoundSlot(sound::kMusicSlot, -1);
}

// [SECTION] Render targets

void CreateChain(render::GraphicsSystem& gs, render::TextureHolder* chain, int width, int height) {
  for (int level = 0; level < kGlareLevels; level++) {
    chain[level].CreateRenderTarget(gs, width, height, kSceneFormat);
    width /= 2;
    height /= 2;
    if (width <= 1 || height <= 1) break;
  }
}

void ReleaseHolders(render::GraphicsSystem& gs, WorldRenderTargets& t) {
  for (render::TextureHolder& h : t.scene) h.ReleaseTexture(gs);
  t.bloom.ReleaseTexture(gs);
  for (render::TextureHolder& h : t.glare) h.ReleaseTexture(gs);
  for (auto& pair : t.shadow)
    for (render::TextureHolder& h : pair) h.ReleaseTexture(gs);
  t.mirror.ReleaseTexture(gs);
  t.mirrorBloom.ReleaseTexture(gs);
  for (render::TextureHolder& h : t.mirrorGlare) h.ReleaseTexture(gs);
}

void ForgetCascades(GameWorld& world) {
  for (ShadowCascadeRecord& record : world.cascades)
    record.eye = Vec3{kFarLightEye, kFarLightEye, kFarLightEye};
}

// [SECTION] Shadow cascades

// The frame camera, kept while the passes move the renderer's camera.
struct FrameCamera {
  Vec3 eye{}, direction{}, up{}, right{};
  float fov = 0.0f;
};

FrameCamera KeepCamera(render::GraphicsSystem& gs) {
  FrameCamera c;
  c.eye = gs.GetCameraEye();
  c.direction = gs.GetCameraDirection();
  c.up = gs.GetCameraUp();
  c.fov = gs.GetCameraFov();
  c.right = Vec3Normalize(Vec3Cross(c.direction, c.up));
  return c;
}

void RestoreCamera(GameWorld& world, render::GraphicsSystem& gs, const FrameCamera& c) {
  const float scale = world.camera.worldScale;
  gs.SetDepthRange(scale, scale * 10000.0f);
  gs.SetCamera3D(c.eye, c.direction, c.up, c.fov);
}

void RenderShadowCascades(GameWorld& world, render::GraphicsSystem& gs, int count) {
  static constexpr float kBack[kShadowCascades] = {15.0f, 7000.0f, 7000.0f};
  static constexpr float kExtent[kShadowCascades] = {15.0f, 800.0f, 3000.0f};
  static constexpr float kAhead[kShadowCascades] = {15.0f, 350.0f, 2000.0f};

  FrameCamera camera = KeepCamera(gs);
  const Vec3 view = Vec3Normalize(camera.direction);
  Vec3 light{};
  gs.GetLightDirection(&light);
  light = Vec3Normalize(light);
  // The light's up: the light turned a quarter turn upward in its vertical
  // plane.
  Vec3 lightUp{};
  core::RotateVectorAboutAxis(&lightUp, light, 0.0f);
  lightUp = Vec3Normalize(lightUp);

  const float scale = world.camera.worldScale;
  units::Unit* shadowUnit = world.camera.shadowUnit;
  for (int e = 0; e < count; e++) {
    float back = kBack[e], extent = kExtent[e], ahead = kAhead[e];
    if (e >= 1) {
      back *= scale;
      extent *= scale;
      ahead *= scale;
    }
    gs.SetCullReversed(1);
    Vec3 centre = Vec3Add(camera.eye, Vec3Scale(view, ahead));
    if (e == 0 && shadowUnit) {
      back = extent = ahead = 2.0f * shadowUnit->GetObjectRadius();
      centre = shadowUnit->GetObjectWorldPosition();
    }
    const Vec3 lightEye = Vec3Subtract(centre, Vec3Scale(light, back));
    const float depth = extent * 0.5f + back;
    ShadowCascadeRecord& record = world.cascades[e];
    render::TextureHolder& dynamicMap = world.renderTargets.shadow[e][0];
    render::TextureHolder& staticMap = world.renderTargets.shadow[e][1];

    // The static map (the map objects) only when the light's eye moved on.
    if (Vec3Length(Vec3Subtract(lightEye, record.eye)) > extent / 10.0f) {
      gs.SetRenderTarget(&staticMap, 0, 1);
      record.eye = lightEye;
      record.direction = light;
      record.up = lightUp;
      gs.SetDepthRange(1.0f, depth);
      gs.SetShadowCamera(lightEye, light, lightUp, extent);
      if (e >= 1) {
        SetMapView(world, lightEye, depth);
        DrawMapObjects(world, world.stepCounter);
      }
      gs.SetShadowCascade(e);
    }

    // Every frame: the dynamic map starts as a copy of the static one, the
    // casters go over it.
    gs.SetRenderTarget(&dynamicMap, 0, 1);
    gs.SetDepthRange(1.0f, depth);
    gs.SetShadowCamera(record.eye, record.direction, record.up, extent);
    if (staticMap.texture) DrawTextureQuad(gs, staticMap, TexelScale(staticMap), TexelScale(staticMap));
    DrawShadowCasters(world, e, depth);
    gs.SetShadowCascade(e);
    gs.BindShadowMap(e, &dynamicMap);
  }
  RestoreCamera(world, gs, camera);
  gs.SetCullReversed(0);
  gs.SetShadowedPasses(count);
  SetMapView(world, camera.eye, GetDrawRange(world));
}

// [SECTION] Mirror image and post passes

// Binds `scene` as target 0 and the bloom target and glare level 0 as the
// next targets, all cleared.
void BindSceneTargets(render::GraphicsSystem& gs, const FrameSwitches& f, render::TextureHolder& scene,
                      render::TextureHolder& bloom, render::TextureHolder* glare) {
  gs.SetRenderTarget(&scene, 0, 1);
  if (!f.effect) return;
  int next = 1;
  if (f.bloom && bloom.texture) gs.SetRenderTarget(&bloom, next++, 1);
  if (f.glare && glare[0].texture) gs.SetRenderTarget(&glare[0], next, 1);
}

void UnbindExtraTargets(render::GraphicsSystem& gs) {
  gs.SetRenderTarget(nullptr, 1, 0);
  gs.SetRenderTarget(nullptr, 2, 0);
}

// Glare downsampling, bloom and the glare composite onto `scene`; `other`
// is the second scene target that takes the bloom copy flag with it.
void RunPostPasses(render::GraphicsSystem& gs, const FrameSwitches& f, render::TextureHolder& scene,
                   render::TextureHolder* other, render::TextureHolder& bloom, render::TextureHolder* chain) {
  if (!f.effect) return;
  if (f.glare) {
    for (int i = 1; i < kGlareLevels && chain[i].texture; i++) {
      chain[i].SetTextureFlags(render::kTargetGlareCopy);
      gs.SetRenderTarget(&chain[i], 0, 1);
      chain[i - 1].SetTextureFlags(render::kTexAddressClamp);
      const float s = 0.5f * TexelScale(chain[i]);
      DrawTextureQuad(gs, chain[i - 1], s, s);
      chain[i].ClearTextureFlags(render::kTargetGlareCopy);
    }
  }
  if (f.bloom && bloom.texture) {
    scene.SetTextureFlags(render::kTargetBloomCopy);
    if (other) other->SetTextureFlags(render::kTargetBloomCopy);
    gs.SetRenderTarget(&scene, 0, 0);
    bloom.SetTextureFlags(render::kTexAdditive);
    DrawTextureQuad(gs, bloom, TexelScale(bloom), TexelScale(bloom));
    scene.ClearTextureFlags(render::kTargetBloomCopy);
    if (other) other->ClearTextureFlags(render::kTargetBloomCopy);
  } else {
    gs.SetRenderTarget(&scene, 0, 0);
  }
  if (f.glare) {
    float alpha = 0.5f;
    for (int i = 1; i < kGlareLevels && chain[i].texture; i++) {
      chain[i].SetTextureFlags(render::kTexAdditive | render::kTexAddressClamp);
      DrawTextureQuad(gs, chain[i], TexelScale(chain[i]), TexelScale(chain[i]), 0.0f, alpha);
      chain[i].ClearTextureFlags(render::kTexAdditive);
      alpha = alpha * 0.5f + 0.125f;
    }
  }
}

void DrawMirrorImage(GameWorld& world, render::GraphicsSystem& gs, const FrameSwitches& f, const FrameCamera& c) {
  WorldRenderTargets& t = world.renderTargets;
  if (!(f.effect && f.mirror)) {
    gs.SetRenderTarget(&t.mirror, 0, 1);
    gs.SetMirrorHeight(kMirrorOff);
    return;
  }
  BindSceneTargets(gs, f, t.mirror, t.mirrorBloom, t.mirrorGlare);
  const float scale = world.camera.worldScale;
  const float h = FindNearestMirrorMapObject(world, c.eye).y;
  gs.SetMirrorHeight(h - 0.3f * scale);
  gs.SetMirrorMode(1);
  gs.SetCullReversed(1);
  gs.SetStereoShift(0.0f);
  const Vec3 eye{c.eye.x, 2.0f * h - c.eye.y, c.eye.z};
  gs.SetDepthRange(scale, scale * 10000.0f);
  gs.SetCamera3D(eye, Vec3{c.direction.x, -c.direction.y, c.direction.z}, Vec3{c.up.x, -c.up.y, c.up.z}, c.fov);
  gs.SubmitSpotLights(world.spotLights);
  gs.SetMirrorView();
  SceneDrawOptions options;
  options.viewer = &eye;
  options.mirrorHeight = &h;
  DrawScene3D(world, world.stepCounter, f.screenshot, world.flameBlocks, options);
  UnbindExtraTargets(gs);
  RunPostPasses(gs, f, t.mirror, nullptr, t.mirrorBloom, t.mirrorGlare);
  gs.BindTextureAsMirror(&t.mirror);
  gs.SetMirrorHeight(kMirrorOff);
}

// [SECTION] One eye

struct StereoParameters {
  float shift = 0.0f;       // pixels of projection shift
  float separation = 0.0f;  // world units the eye moves sideways
};

void SetEyeCamera(render::GraphicsSystem& gs, const FrameSwitches& f, const FrameCamera& c,
                  const StereoParameters& software, int eye) {
  StereoParameters p;
  if (f.stereoType == kStereoHeadset) {
    float tangents[4] = {};
    gs.GetEyeFovTangents(eye, tangents);
    const float left = std::atan(tangents[2]), right = std::atan(tangents[3]);
    const float sum = left + right;
    p.shift = sum != 0.0f ? (right / sum - 0.5f) * 640.0f : 0.0f;
    if (eye == 1) p.shift = -p.shift;
    p.separation = 0.25f;
  } else if (f.stereoType == kStereoColour || f.stereoType == kStereoSideBySide) {
    p = software;
  }
  Vec3 at = c.eye;
  if (eye == 0) {
    gs.SetStereoShift(-p.shift);
    at = Vec3Subtract(c.eye, Vec3Scale(c.right, p.separation));
  } else {
    gs.SetStereoShift(p.shift);
    at = Vec3Add(c.eye, Vec3Scale(c.right, p.separation));
  }
  gs.SetCamera3D(at, c.direction, c.up, c.fov);
}

void SetHeadsetOffset2D(render::GraphicsSystem& gs, const Vec3& head, int eye, float pixels) {
  const float x = head.y * 800.0f + (eye == 0 ? pixels : -pixels);
  gs.SetCamera2D(x, head.x * 400.0f, 0.0f, 0.5f);
}

void DrawEye(GameWorld& world, render::GraphicsSystem& gs, const FrameSwitches& f, const FrameCamera& c,
             const StereoParameters& software, const Vec3& head, int eye) {
  WorldRenderTargets& t = world.renderTargets;
  render::TextureHolder& scene = (eye == 1 && t.scene[1].texture) ? t.scene[1] : t.scene[0];
  const bool headset = f.stereoType == kStereoHeadset;
  const bool leaveOutHud = f.screenshot && f.shiftHeld;

  if (world.fade.value < 1.0f) {
    // The mirror image first: the scene samples it.
    if (f.effect) DrawMirrorImage(world, gs, f, c);
    BindSceneTargets(gs, f, scene, t.bloom, t.glare);
    gs.SetMirrorMode(0);
    gs.SetCullReversed(0);
    SetEyeCamera(gs, f, c, software, eye);
    gs.SubmitSpotLights(world.spotLights);
    SceneDrawOptions options;
    options.viewer = &c.eye;
    options.editorOverlays = true;
    DrawScene3D(world, world.stepCounter, f.screenshot, world.flameBlocks, options);
    if (headset) SetHeadsetOffset2D(gs, head, eye, 4.0f);
    DrawSortedSprites(world, 0);
    if (world.state != WorldState::Edit && !leaveOutHud && world.host.drawHud) world.host.drawHud(world.host.user);
  } else {
    BindSceneTargets(gs, f, scene, t.bloom, t.glare);
  }

  // The 2D layer: the fade, the windows and the front sprites, into the
  // scene target (and its bloom and glare outputs) before the post passes.
  gs.SetCamera2D(0.0f, 0.0f, 0.0f, 1.0f);
  if (world.fade.value > 0.0f && world.fadeSprite.GetObjectSurface()) {
    world.fadeSprite.SetObjectColor(-1.0f, -1.0f, -1.0f, world.fade.value);
    world.fadeSprite.DrawObject(gs);
  }
  if (headset) SetHeadsetOffset2D(gs, head, eye, 5.0f);
  if (!leaveOutHud && world.host.drawWindows) world.host.drawWindows(world.host.user);
  DrawSortedSprites(world, 1);
  gs.SetCamera2D(0.0f, 0.0f, 0.0f, 1.0f);
  UnbindExtraTargets(gs);

  RunPostPasses(gs, f, scene, &t.scene[1], t.bloom, t.glare);
}

// Saves the eye-0 scene target when a screenshot is requested; true when
// the request is done (the targets are rebuilt after the composite).
bool SaveScreenshot(GameWorld& world, render::GraphicsSystem& gs, const FrameSwitches& f, int eye) {
  if (!f.screenshot || !world.screenshotRequest) return false;
  const std::string stamp = FormatScreenshotStamp(platform::GetLocalTime());
  char name[64];
  if (f.stereoSize != 0) {
    std::snprintf(name, sizeof name, eye == 0 ? "screenshot%s_l.bmp" : "screenshot%s_r.bmp", stamp.c_str());
    world.renderTargets.scene[0].SaveTexture(gs, name);
    if (eye == 0) return false;
  } else {
    if (eye != 0) return false;
    std::snprintf(name, sizeof name, "screenshot%s.bmp", stamp.c_str());
    world.renderTargets.scene[0].SaveTexture(gs, name);
  }
  world.screenshotRequest = 0;
  return true;
}

void Composite(GameWorld& world, render::GraphicsSystem& gs, const FrameSwitches& f, const FrameCamera& c,
               float xExtra, int eye) {
  WorldRenderTargets& t = world.renderTargets;
  gs.SetRenderTarget(nullptr, 0, 0);
  for (render::TextureHolder& scene : t.scene) scene.SetTextureFlags(render::kTexAdditive);
  render::TextureHolder& shown = t.scene[0];
  if (!shown.texture) return;
  const float s = TexelScale(shown);
  if (f.stereoType == kStereoHeadset) {
    // The eye images go to the headset.
    gs.SetCamera3D(c.eye, c.direction, c.up, c.fov);
    gs.SetCullReversed(0);
    return;
  }
  if (f.stereoSize != 0 && f.stereoType == kStereoColour) {
    if (f.effect) {
      gs.SetAnaglyphEye(eye == 0 ? 1 : 2);
      DrawTextureQuad(gs, shown, s, s);
    } else {
      static constexpr float kRed[3] = {1.0f, 0.0f, 0.0f}, kCyan[3] = {0.0f, 1.0f, 1.0f};
      DrawTextureQuad(gs, shown, s, s, 0.0f, -1.0f, eye == 0 ? kRed : kCyan);
    }
    return;
  }
  if (f.stereoSize != 0 && f.stereoType == kStereoSideBySide) {
    const float x = (xExtra + 512.0f) * (eye == 0 ? -0.5f : 0.5f);
    DrawTextureQuad(gs, shown, 0.5f * s, s, x);
    return;
  }
  DrawTextureQuad(gs, shown, s, s);
}

// [SECTION] Overlays

uint32_t Opaque(uint32_t rgb) { return 0xFF000000u | rgb; }

void DrawNetworkOverlays(GameWorld& world, render::GraphicsSystem& gs, float aspect, float xExtra) {
  const int slots = CountUnitSlots(world);
  const char* gothic = Sjis("ＭＳゴシック");
  auto playerName = [&](const units::Unit& unit) {
    return world.network ? world.network->GetPlayerName(int32_t(uint32_t(unit.networkId) >> 24)) : "";
  };
  auto sprite = [&](int slot, int k) -> render::DisplayObject* {
    return size_t(slot) < world.slotSprites.size() ? &world.slotSprites[size_t(slot)]->hud[k] : nullptr;
  };
  const char* focusTeam = world.focusUnit ? world.focusUnit->team.Get() : "";

  // Name tags over the player units.
  for (int slot = 0; slot < slots; slot++) {
    units::Unit* unit = GetUnitSlot(world, slot);
    render::DisplayObject* marker = sprite(slot, 1);
    if (!unit || !(unit->flags & kPlayerUnitFlag) || !marker || !marker->IsObjectShown()) continue;
    const bool ally = std::strcmp(unit->team.Get(), focusTeam) == 0;
    gs.SetFont(gothic, 18, Opaque(ally ? 0xee88u : 0xff0088u), 0);
    const Vec3 p = gs.ProjectPoint(marker->GetObjectWorldPosition());
    gs.DrawText(p.x * aspect * 384.0f + 18.0f, -p.y * 384.0f - 34.0f, playerName(*unit), 0);
  }

  // The players' names on the HUD map.
  const int mode = world.camera.mode;
  if ((mode == kCameraCockpit || mode == kCameraBehind) && world.hudMap.IsObjectShown()) {
    gs.SetFont(gothic, 14, Opaque(0xffccccu), 0);
    for (int slot = world.reducedEffects ? 1 : 0; slot < slots; slot++) {
      units::Unit* unit = GetUnitSlot(world, slot);
      render::DisplayObject* marker = sprite(slot, 0);
      if (!unit || !(unit->flags & kPlayerUnitFlag) || !marker || !marker->IsObjectShown()) continue;
      const Vec3 p = gs.ProjectPoint(marker->TransformPointToWorld(Vec3{16.0f, 16.0f, 0.0f}));
      gs.DrawText(p.x * aspect * 384.0f + 4.0f, 4.0f - p.y * 384.0f, playerName(*unit), 0);
    }
  }

  if (world.reducedEffects) {
    int32_t counters[5] = {};
    if (world.network) world.network->GetTrafficCounters(counters);
    gs.SetFont(gothic, 14, Opaque(0xffccccu), 0);
    gs.DrawText(20.0f, 446.0f, FormatTrafficLine(counters).c_str(), 0);
  }

  gs.SetFont(gothic, 16, Opaque(0xff88u), 0);
  for (int j = 0; j < GameWorld::kMessageLines; j++) {
    const ScreenMessageLine& line = world.messages[size_t(j)];
    if (line.timer) gs.DrawText(-500.0f - xExtra, 17.0f * float(j) - 320.0f, line.text, 0);
  }
}

void DrawReplayMarks(GameWorld& world, render::GraphicsSystem& gs, float xExtra) {
  const int mode = world.camera.mode;
  if (world.eventMode != 0 || !world.playback || mode == kCameraCockpit || mode == kCameraBehind ||
      world.fade.value != 0.0f)
    return;
  char clock[64];
  std::snprintf(clock, sizeof clock, " %3d.%02d / %3d.%02d", world.gameTime / 60, world.gameTime % 60,
                world.recordedGameTime / 60, world.recordedGameTime % 60);
  gs.SetFont(Sjis("ＭＳゴシック"), 20, Opaque(0xffffffu), 1);
  gs.DrawText(-xExtra, 364.0f, clock, 0);
  const char* mark = nullptr;
  switch (world.speed) {
    case 10: mark = "10倍速"; break;
    case 5: mark = " 5倍速"; break;
    case 2: mark = " 2倍速"; break;
    case 0: mark = "一時停止"; break;
    default: return;
  }
  gs.SetFont(Sjis("ＭＳ Ｐ明朝"), 20, Opaque(0xffff7fu), 1);
  gs.DrawText(-460.0f - xExtra, 364.0f, Sjis(mark), 0);
}

// The relay peer's frame: the HUD map, the unit markers, silence.
void DrawReducedFrame(GameWorld& world, render::GraphicsSystem& gs) {
  gs.SetRenderTarget(nullptr, 0, 0);
  gs.SetCamera2D(0.0f, 0.0f, 0.0f, 1.0f);
  world.hudMap.SetObjectVisible(1);
  world.hudMap.DrawObject(gs);
  const int slots = CountUnitSlots(world);
  for (int slot = 0; slot < slots && size_t(slot) < world.slotSprites.size(); slot++)
    world.slotSprites[size_t(slot)]->hud[0].DrawObject(gs);
  if (world.sound) {
    world.sound->SetSoundGroupVolume(sound::kMusicSlot, -10000);
    world.sound->SetSoundGroupVolume(sound::kVoiceSlot, -10000);
  }
}

void SetEffectVolume(GameWorld& world) {
  if (!world.sound) return;
  const int volume = SettingsOf(world).seVolume;
  const float fade = world.fade.value;
  if (fade > 0.0f && world.state == WorldState::Run && world.eventMode != 0)
    world.sound->SetSoundGroupVolume(0, fade >= 1.0f ? -30000 : volume - int(fade * 3000.0f));
  else
    world.sound->SetSoundGroupVolume(0, volume);
}

}  // namespace

// [SECTION] Targets and the effect (public)

std::string BuildEffectHeader(const core::SettingsBlock& s, bool screenshot) {
  std::string header;
  if (s.bloom) header += "#define BLOOM 1\n";
  if (s.glare || screenshot) header += "#define GLARE 1\n";
  if (s.mirror || screenshot) header += "#define MIRROR 1\n";
  if (s.multiLight || screenshot) header += "#define MULTI 1\n";
  if (s.bump || screenshot) header += "#define BUMP 1\n";
  if (s.shadow >= 1 || screenshot) header += "#define SHADOW 1\n";
  if (s.shadow >= 2 || screenshot) header += "#define ALLSHADOW 1\n";
  return header;
}

void RenderTargetSize(int clientWidth, int clientHeight, int code, bool headset, int* width, int* height) {
  int w = clientWidth, h = clientHeight;
  switch (code) {
    case 1: w *= 2, h *= 2; break;
    case 2: w /= 2, h /= 2; break;
    case 3: w *= 4, h *= 4; break;
    default: break;
  }
  if (headset) w = h * 960 / 1080;
  *width = w;
  *height = h;
}

int CountChainLevels(int width, int height) {
  int levels = 0;
  while (levels < kGlareLevels) {
    levels++;
    width /= 2;
    height /= 2;
    if (width <= 1 || height <= 1) break;
  }
  return levels;
}

std::string FormatScreenshotStamp(const platform::LocalTime& t) {
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%02d%02d%02d%02d%02d%02d%03d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.milliseconds);
  return stamp;
}

std::string FormatTrafficLine(const int32_t c[5]) {
  // Received = good + bad, then sent and blocked sends, each a count of
  // messages.
  char line[160];
  std::snprintf(line, sizeof line,
                Sjis("受信データ(%d件) ＝ 正常(%d件)＋ 異常(%d件)   送信(%d件) 送信詰まり(%d件)"), c[0], c[1],
                c[2], c[3], c[4]);
  return line;
}

void ReleaseRenderTargets(GameWorld& world) {
  if (!world.graphics) return;
  ReleaseHolders(*world.graphics, world.renderTargets);
}

int RebuildRenderTargets(GameWorld& world, int code) {
  render::GraphicsSystem* gs = world.graphics;
  if (!gs) return 1;
  WorldRenderTargets& t = world.renderTargets;
  ReleaseHolders(*gs, t);
  const core::SettingsBlock& s = SettingsOf(world);
  const bool screenshot = world.screenshotRequest != 0;
  const bool headset = s.stereoType == kStereoHeadset;
  int clientWidth = 0, clientHeight = 0;
  gs->GetClientSize(&clientWidth, &clientHeight);
  int w = 0, h = 0;
  RenderTargetSize(clientWidth, clientHeight, code, headset, &w, &h);
  if (w <= 0 || h <= 0) {
    // Minimised: the request stands until the window has a size again.
    world.renderRebuild = 1;
    return 1;
  }

  t.scene[0].CreateRenderTarget(*gs, w, h, kSceneFormat);
  if (headset) t.scene[1].CreateRenderTarget(*gs, w, h, kSceneFormat);
  if (!s.shaderFlag) return 1;

  gs->CreateEffect(BuildEffectHeader(s, screenshot).c_str());
  if (s.glare || screenshot) CreateChain(*gs, t.glare, w, h);
  const int cascades = CascadeCountFor(s.shadow, screenshot);
  const int side = s.shadow == 3 ? 2 * h : h;
  for (int e = 0; e < cascades; e++) {
    for (render::TextureHolder& map : t.shadow[e]) {
      map.CreateRenderTarget(*gs, side, side, platform::kFmtR16F);
      map.SetTextureFlags(render::kTargetShadowMap);
    }
  }
  if (cascades > 0) ForgetCascades(world);
  if (s.bloom) t.bloom.CreateRenderTarget(*gs, w, h, kSceneFormat);
  if (s.mirror || screenshot) {
    t.mirror.CreateRenderTarget(*gs, w / 2, h / 2, kSceneFormat);
    if (s.bloom) t.mirrorBloom.CreateRenderTarget(*gs, w / 2, h / 2, kSceneFormat);
    if (s.glare || screenshot) CreateChain(*gs, t.mirrorGlare, w / 2, h / 2);
  }
  return 1;
}

// [SECTION] The frame

int RenderFrame(GameWorld& world) {
  render::GraphicsSystem* device = DrawingDevice(world);
  if (!device) return 0;
  render::GraphicsSystem& gs = *device;
  core::SettingsBlock* settings = world.settings;

  // 1. A minimised window has no height to draw to.
  int clientWidth = 0, clientHeight = 0;
  gs.GetClientSize(&clientWidth, &clientHeight);
  if (clientWidth <= 0 || clientHeight <= 0) return 0;
  const float aspect = float(clientWidth) / float(clientHeight);
  const float xExtra = (aspect - 4.0f / 3.0f) * 768.0f * 0.5f;

  // 2. The relay peer draws only its map.
  if (world.reducedEffects) {
    DrawReducedFrame(world, gs);
    if (world.networkGame) DrawNetworkOverlays(world, gs, aspect, xExtra);
    DrawReplayMarks(world, gs, xExtra);
    return 1;
  }

  // 3-5. Environment, cascades, rebuilds.
  PrepareFrameEnvironment(world);
  const int highDef = settings ? settings->highDef : 0;
  const int cascadeCount = world.environment.GetActiveShadowState() == 0
                               ? 0
                               : CascadeCountFor(settings ? settings->shadow : 0, world.screenshotRequest != 0);
  bool rebuildAfterComposite = false;
  if (world.renderRebuild) {
    PauseVoiceAndMusic(world);
    world.soundPauseCountdown = 6;
    RebuildRenderTargets(world, highDef);
  } else if (world.screenshotRequest) {
    PauseVoiceAndMusic(world);
    world.soundPauseCountdown = 6;
    RebuildRenderTargets(world, 3);
    if (settings) settings->aeroLight = 1;
  }
  world.renderRebuild = 0;
  if (world.soundPauseCountdown != 0 && --world.soundPauseCountdown == 0) ResumeVoiceAndMusic(world);

  FrameSwitches f = ReadSwitches(world);

  // 6. Shadow maps.
  if (f.effect && cascadeCount > 0 && world.fade.value < 1.0f) {
    RenderShadowCascades(world, gs, cascadeCount);
  } else {
    gs.SetDrawMode(0);
    gs.SetShadowedPasses(0);
  }

  // 7-9. The back buffer, the frame's camera, the stereo parameters.
  gs.SetRenderTarget(nullptr, 0, 0);
  const FrameCamera camera = KeepCamera(gs);
  int backWidth = 0, backHeight = 0;
  gs.GetScreenSize(&backWidth, &backHeight);
  StereoParameters software;
  {
    float d = float(f.stereoSize) * 25.0f / std::sqrt(aspect * aspect + 1.0f);
    if (d < 1.0f) d = 1.0f;
    software.shift = float(backHeight) * 12.0f / d;
    software.separation = std::tan(camera.fov / 2.0f) * 10.0f * software.shift / 768.0f;
  }
  if (world.stepCounter > 900) gs.DismissVRWarning();
  gs.BeginVRFrame();
  const Vec3 head = f.stereoType == kStereoHeadset ? gs.GetHeadRotationVector() : Vec3{};

  // 10. The eyes.
  for (int eye = 0; eye < 2; eye++) {
    DrawEye(world, gs, f, camera, software, head, eye);
    rebuildAfterComposite = SaveScreenshot(world, gs, f, eye) || rebuildAfterComposite;
    Composite(world, gs, f, camera, xExtra, eye);
    // The screenshot's targets give way to the usual ones once the image
    // is on the screen.
    if (rebuildAfterComposite) {
      RebuildRenderTargets(world, highDef);
      rebuildAfterComposite = false;
      f = ReadSwitches(world);  // a second headset eye draws as usual
    }
    if (f.stereoSize != 0) {
      gs.SetAnaglyphEye(0);
      continue;
    }
    if (f.stereoType != kStereoHeadset) break;
  }

  // 11. The camera back, the headset's images, the effect volume.
  RestoreCamera(world, gs, camera);
  gs.SubmitVRFrame(&world.renderTargets.scene[0], &world.renderTargets.scene[1]);
  SetEffectVolume(world);

  // 12-13. Overlays on the back buffer.
  gs.SetRenderTarget(nullptr, 0, 0);
  gs.SetCamera2D(0.0f, 0.0f, 0.0f, 1.0f);
  if (world.networkGame) DrawNetworkOverlays(world, gs, aspect, xExtra);
  DrawReplayMarks(world, gs, xExtra);
  return 1;
}

}  // namespace world
