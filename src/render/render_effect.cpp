// render_effect.cpp -- building the effect and feeding it: parameter
// handles, the directional light, fog, object colour, glare, the spot-light
// slots and the world's timed pool, shadow cascades and the mirror.

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "render/render_local.h"

namespace render {

using core::Sjis;
using namespace platform;

// The effect's source, embedded from resources/effect.glsl by the build.
extern const char kEffectSource[];
extern const unsigned kEffectSourceSize;

// ----------------------------------------------------------------------------
// The effect
// ----------------------------------------------------------------------------

int GraphicsSystem::CreateEffect(const char* header) {
  if (!device_) return 0;
  const GfxApi& g = *gfx_;
  // The header's "#define" lines go right after the "#version" line, which
  // GLSL wants first.
  std::string source(kEffectSource, kEffectSourceSize);
  size_t firstEnd = source.find('\n');
  std::string text = firstEnd == std::string::npos
                         ? source
                         : source.substr(0, firstEnd + 1) + (header ? header : "") + "\n" + source.substr(firstEnd + 1);
  if (effect_) {
    BeginScenePass(0, 0);
    g.ReleaseEffect(effect_);
    effect_ = nullptr;
  }
  std::string errors;
  GfxEffect* effect = nullptr;
  bool empty = kEffectSourceSize == 0;
  if (empty || g.CreateEffect(device_, text.data(), int(text.size()), &effect, &errors) != kGfxOk) {
    const char* message = !errors.empty() ? errors.c_str() : Sjis("シェーダファイルが見つかりません。");
    ShowMessageBox(message, "Effect error", kMbOk | kMbIconError, window_);
    if (!errors.empty()) Logf(log, core::kLogError, "%s\n", errors.c_str());
    effect_ = nullptr;
    handles_ = EffectHandles{};
    if (quitProgram) quitProgram(-1);
    return 0;
  }
  effect_ = effect;
  g.SetTechnique(effect_, "GraphTech");
  // A new effect holds no textures: every slot's next binding must reach it.
  ForgetSlotCaches();
  GetEffectHandles();
  SetFog(fogStart_, fogEnd_, fogColor_);
  // The new effect's parameters start at zero while the stored glare rate
  // lives on; SetGlareRate skips equal values, so a caller sending the same
  // rate again would leave the new effect without glare unless it goes now.
  gfx_->SetFloat(effect_, handles_.glareRate, glareRate_);
  BindTextureToEffect(kTexBumpSlot, &defaults_.grey);
  BindTextureToEffect(kTexSpecularSlot, &defaults_.grey);
  return 1;
}

void GraphicsSystem::GetEffectHandles() {
  handles_ = EffectHandles{};
  if (!effect_) return;
  const GfxApi& g = *gfx_;
  auto get = [&](const char* name) { return g.GetParameterByName(effect_, name); };
  char name[64];
  for (int i = 0; i < 5; i++) {
    std::snprintf(name, sizeof name, "g_world%d", i);
    handles_.world[i] = get(name);
  }
  handles_.view = get("g_view");
  handles_.proj = get("g_proj");
  for (int i = 0; i < 3; i++) {
    std::snprintf(name, sizeof name, "g_shadow_vproj%d", i);
    handles_.shadowVproj[i] = get(name);
  }
  handles_.objectColor = get("g_object_color");
  handles_.lightColor = get("g_light_color");
  handles_.refColor = get("g_ref_color");
  handles_.envColor = get("g_env_color");
  handles_.lightDir = get("g_light_dir");
  // The effect has eight spot lights: places 8 to 15 stay null.
  for (int i = 0; i < kEffectSpotLights; i++) {
    std::snprintf(name, sizeof name, "g_spot_color%d", i);
    handles_.spotColor[i] = get(name);
    std::snprintf(name, sizeof name, "g_spot_pos%d", i);
    handles_.spotPos[i] = get(name);
    std::snprintf(name, sizeof name, "g_spot_dir%d", i);
    handles_.spotDir[i] = get(name);
    std::snprintf(name, sizeof name, "g_spot_power%d", i);
    handles_.spotPower[i] = get(name);
    std::snprintf(name, sizeof name, "g_spot_size%d", i);
    handles_.spotSize[i] = get(name);
  }
  handles_.cameraPos = get("g_camera_pos");
  handles_.emphasis = get("g_emphasis");
  handles_.texture = get("g_texture");
  handles_.bumpTexture = get("g_bump_texture");
  handles_.specularTexture = get("g_specular_texture");
  handles_.lightTexture = get("g_light_texture");
  handles_.heatTexture = get("g_heat_texture");
  for (int i = 0; i < 3; i++) {
    std::snprintf(name, sizeof name, "g_shadow_texture%d", i);
    handles_.shadowTexture[i] = get(name);
  }
  handles_.shadowDepth = get("g_shadow_depth");
  handles_.shadowSize = get("g_shadow_size");
  handles_.mirrorTexture = get("g_mirror_texture");
  handles_.mirrorOffset = get("g_mirror_offset");
  handles_.mirrorRate = get("g_mirror_rate");
  handles_.zSign = get("g_z_sign");
  handles_.mirrorHeight = get("g_mirror_height");
  handles_.mirrorViewDir = get("g_mirror_view_dir");
  handles_.mirrorViewUp = get("g_mirror_view_up");
  handles_.mirrorViewRight = get("g_mirror_view_right");
  handles_.fogStart = get("g_fog_start");
  handles_.fogEnd = get("g_fog_end");
  handles_.fogColor = get("g_fog_color");
  handles_.glareRate = get("g_glare_rate");
  handles_.pixelWidth = get("g_pixel_width");
  handles_.pixelHeight = get("g_pixel_height");
  handles_.envTexture = get("g_env_texture");

  g.SetFloat(effect_, handles_.zSign, 1.0f);
  g.SetFloat(effect_, handles_.emphasis, 1.0f);
  SetLight(lightDir_, lightDiffuse_, lightAmbient_);
  static const float kWhite[4] = {1, 1, 1, 1};
  g.SetVector(effect_, handles_.objectColor, kWhite, 4);
}

int GraphicsSystem::CommitEffectChanges() {
  if (effect_ && gfx_->CurrentPass(effect_) >= 0) gfx_->CommitChanges(effect_);
  return 1;
}

// ----------------------------------------------------------------------------
// Light, fog, colour, glare
// ----------------------------------------------------------------------------

void GraphicsSystem::SetLight(const Vec3& direction, const Vec3& diffuse, const Vec3& ambient) {
  lightDir_ = direction;
  lightDiffuse_ = diffuse;
  lightAmbient_ = ambient;
  light_ = GfxLight{};
  light_.diffuse[0] = diffuse.x;
  light_.diffuse[1] = diffuse.y;
  light_.diffuse[2] = diffuse.z;
  light_.ambient[0] = ambient.x;
  light_.ambient[1] = ambient.y;
  light_.ambient[2] = ambient.z;
  light_.direction = direction;
  lightDirNormal_ = Vec3Normalize(direction);
  if (!device_) return;
  const GfxApi& g = *gfx_;
  if (effect_) {
    float dir[4] = {-lightDirNormal_.x, -lightDirNormal_.y, -lightDirNormal_.z, 1.0f};
    float colour[4] = {diffuse.x, diffuse.y, diffuse.z, 1.0f};
    float env[4] = {ambient.x, ambient.y, ambient.z, 1.0f};
    g.SetVector(effect_, handles_.lightDir, dir, 4);
    g.SetVector(effect_, handles_.lightColor, colour, 4);
    g.SetVector(effect_, handles_.refColor, colour, 4);
    g.SetVector(effect_, handles_.envColor, env, 4);
  } else {
    g.SetLight(device_, 0, light_);
  }
}

void GraphicsSystem::SetFog(float start, float end, const Vec3& colour) {
  if (start >= 0.0f) fogStart_ = start;
  if (end >= 0.0f) fogEnd_ = end;
  fogColor_ = colour;
  if (!device_) return;
  const GfxApi& g = *gfx_;
  if (effect_) {
    // Light added to the scene (additive) or taken from it (zero / inverse
    // source colour) fades to nothing in the fog, which is black: fogged
    // towards the fog colour, a distant explosion would paint its whole quad.
    bool fadesToBlack = blendFlags_ & (kTexAdditive | kTexBlendZeroInvSrc);
    float c[4] = {fadesToBlack ? 0.0f : colour.x, fadesToBlack ? 0.0f : colour.y, fadesToBlack ? 0.0f : colour.z, 1.0f};
    g.SetVector(effect_, handles_.fogColor, c, 4);
    g.SetFloat(effect_, handles_.fogStart, fogStart_);
    g.SetFloat(effect_, handles_.fogEnd, fogEnd_);
    return;
  }
  auto byte = [](float v) { return uint32_t(v <= 0.0f ? 0 : v >= 1.0f ? 255 : int(v * 255.0f)); };
  g.SetRenderState(device_, kRsFogColor, 0xFF000000u | byte(colour.x) << 16 | byte(colour.y) << 8 | byte(colour.z));
  g.SetRenderState(device_, kRsFogTableMode, 3);
  g.SetRenderState(device_, kRsFogVertexMode, 0);
  uint32_t bits;
  std::memcpy(&bits, &fogStart_, 4);
  g.SetRenderState(device_, kRsFogStart, bits);
  std::memcpy(&bits, &fogEnd_, 4);
  g.SetRenderState(device_, kRsFogEnd, bits);
}

void GraphicsSystem::GetFog(float* start, float* end, Vec3* colour) const {
  if (start) *start = fogStart_;
  if (end) *end = fogEnd_;
  if (colour) *colour = fogColor_;
}

void GraphicsSystem::SetObjectColorParameter(float r, float g, float b, float a) {
  objectColor_[0] = r;
  objectColor_[1] = g;
  objectColor_[2] = b;
  objectColor_[3] = a;
  if (effect_) gfx_->SetVector(effect_, handles_.objectColor, objectColor_, 4);
}

float GraphicsSystem::SetGlareRate(float rate) {
  if (!effect_) return 0.0f;
  if (rate == glareRate_) return rate;
  float previous = glareRate_;
  glareRate_ = rate;
  gfx_->SetFloat(effect_, handles_.glareRate, rate);
  return previous;
}

// ----------------------------------------------------------------------------
// Spot lights
// ----------------------------------------------------------------------------

int GraphicsSystem::SetSpotLight(int slot, const Vec3& position, const Vec3& direction, const Vec3& colour,
                                 float power, float cone) {
  if (!effect_ || slot < 0 || slot >= kSpotLightSlots || !handles_.spotColor[slot]) return 0;
  Vec3 dir = Vec3Normalize(direction);
  // A closed cone is the narrowest one a normal float can describe (the
  // smallest denormal would make 0.5 / cone overflow to infinity).
  if (cone <= 0.0f) cone = FLT_MIN;
  if (cone > 1.0f) cone = 1.0f;
  float* pos = spotPos_[slot];
  float* d = spotDir_[slot];
  float* c = spotColor_[slot];
  pos[0] = position.x, pos[1] = position.y, pos[2] = position.z, pos[3] = 1.0f;
  d[0] = dir.x, d[1] = dir.y, d[2] = dir.z, d[3] = 0.0f;
  c[0] = colour.x, c[1] = colour.y, c[2] = colour.z, c[3] = 1.0f;
  spotPower_[slot] = power;
  spotSize_[slot] = 0.5f / cone;
  const GfxApi& g = *gfx_;
  g.SetVector(effect_, handles_.spotPos[slot], pos, 4);
  g.SetVector(effect_, handles_.spotDir[slot], d, 3);
  g.SetVector(effect_, handles_.spotColor[slot], c, 4);
  g.SetFloat(effect_, handles_.spotPower[slot], power);
  g.SetFloat(effect_, handles_.spotSize[slot], spotSize_[slot]);
  return 1;
}

void GraphicsSystem::SendSpotColours(bool lit) {
  static const float kBlack[4] = {0, 0, 0, 1};
  for (int i = 0; i < kSpotLightSlots && handles_.spotColor[i]; i++)
    gfx_->SetVector(effect_, handles_.spotColor[i], lit ? spotColor_[i] : kBlack, 4);
}

void GraphicsSystem::SubmitSpotLights(const SpotLightPool& pool) {
  Vec3 reference = Vec3Add(eye_, Vec3Scale(direction_, 100.0f));
  float score[kSpotLightPoolSize];
  int order[kSpotLightPoolSize];
  for (int i = 0; i < kSpotLightPoolSize; i++) {
    order[i] = i;
    if (pool.lifetime[i] == 0) {
      score[i] = -FLT_MAX;
      continue;
    }
    float remaining = float(pool.lifetime[i] - pool.age[i]);
    score[i] = remaining * (pool.power[i] * 5.0f) / float(pool.lifetime[i]) -
               Vec3Length(Vec3Subtract(pool.position[i], reference));
  }
  // Sixteen bubble passes carry the sixteen best to the front, best first;
  // equal scores keep the lower slot first.
  for (int pass = 0; pass < kSpotLightSlots; pass++)
    for (int k = kSpotLightPoolSize - 2; k >= 0; k--)
      if (score[order[k + 1]] > score[order[k]]) std::swap(order[k], order[k + 1]);
  for (int place = 0; place < kSpotLightSlots; place++) {
    int s = order[place];
    if (pool.lifetime[s] != 0) {
      float fade = float(pool.lifetime[s] - pool.age[s] + 1) / float(pool.lifetime[s]);
      SetSpotLight(place, pool.position[s], pool.direction[s], pool.colour[s], pool.power[s] * fade, pool.cone[s]);
    } else {
      const float far = -3.4028235e38f;
      SetSpotLight(place, {far, far, far}, {0, 1, 0}, {0, 0, 0}, 0.00001f, 0.00001f);
    }
  }
}

void SpotLightPool::ZeroSpotLightPool() {
  std::memset(position, 0, sizeof position);
  std::memset(direction, 0, sizeof direction);
  std::memset(colour, 0, sizeof colour);
  std::memset(power, 0, sizeof power);
  std::memset(cone, 0, sizeof cone);
  std::memset(lifetime, 0, sizeof lifetime);
  std::memset(age, 0, sizeof age);
}

int SpotLightPool::AddSpotLight(const Vec3& pos, const Vec3& dir, const Vec3& col, float pow, float con,
                                int32_t life) {
  for (int i = 0; i < kSpotLightPoolSize; i++) {
    if (lifetime[i] != 0) continue;
    position[i] = pos;
    direction[i] = dir;
    colour[i] = col;
    power[i] = pow;
    cone[i] = con;
    lifetime[i] = life;
    age[i] = 0;
    return i;
  }
  return -1;
}

void SpotLightPool::AgeSpotLights() {
  for (int i = 0; i < kSpotLightPoolSize; i++) {
    if (lifetime[i] == 0) continue;
    if (++age[i] >= lifetime[i]) {
      lifetime[i] = 0;
      age[i] = 0;
    }
  }
}

// ----------------------------------------------------------------------------
// Passes, shadows, mirror
// ----------------------------------------------------------------------------

int GraphicsSystem::SetShadowedPasses(int on) {
  if (!effect_) return 0;
  int previous = shadowedPasses_;
  shadowedPasses_ = on;
  return previous;
}

int GraphicsSystem::SetShadowCascade(int n) {
  if (n < 0 || n > 2) return 0;
  if (effect_) gfx_->SetMatrix(effect_, handles_.shadowVproj[n], MatrixMultiply(GetViewMatrix(), projection_));
  return 1;
}

void GraphicsSystem::SetMirrorHeight(float h) {
  if (effect_) gfx_->SetFloat(effect_, handles_.mirrorHeight, h);
}

int GraphicsSystem::SetMirrorRate(float rate) {
  if (!effect_) return 0;
  float offset[2] = {0.5f + 1.0f / (2.0f * float(targetWidth_)), 0.5f - 1.0f / (2.0f * float(targetHeight_))};
  gfx_->SetVector(effect_, handles_.mirrorOffset, offset, 2);
  gfx_->SetFloat(effect_, handles_.mirrorRate, rate);
  return 1;
}

void GraphicsSystem::SetMirrorView() {
  if (!effect_) return;
  Vec3 view = {direction_.x, 0.0f, direction_.z};
  view = (view.x == 0.0f && view.z == 0.0f) ? Vec3{0, 0, 1} : Vec3Normalize(view);
  Vec3 up = {0, 1, 0};
  Vec3 right = Vec3Cross(up, view);
  float v[3] = {view.x, view.y, view.z}, u[3] = {up.x, up.y, up.z}, r[3] = {right.x, right.y, right.z};
  gfx_->SetVector(effect_, handles_.mirrorViewDir, v, 3);
  gfx_->SetVector(effect_, handles_.mirrorViewUp, u, 3);
  gfx_->SetVector(effect_, handles_.mirrorViewRight, r, 3);
}

int GraphicsSystem::SetAnaglyphEye(int eye) {
  if (!effect_) return 0;
  int previous = anaglyphEye_;
  anaglyphEye_ = eye;
  return previous;
}

}  // namespace render
