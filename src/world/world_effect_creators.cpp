// world_effect_creators.cpp -- the effect creators: clouds, sparks, heat
// haze, lightning, polygon strips, sonic booms, splashes, fire bursts, hit
// explosions and particle streams, and the world's timed point lights.
//
// Every creator takes its objects and draws its random numbers the same way
// with or without a renderer, so a headless peer and a drawing client stay
// in step. A surface (or the heat model) is attached only when a renderer
// is present and the texture holds pixels; an object left without one has
// nothing to draw and goes straight back to the pool.

#include <cmath>

#include "world/world_local.h"

namespace world {

namespace {

using core::Vec3;

// The world's scale divides sizes and counts; a zero (or negative, or
// broken) scale must not reach a division.
constexpr float kMinimumScale = 0.001f;
// A burst or stream never takes more objects than this: a script's count
// is an arbitrary 32-bit number and every object costs some kilobytes.
constexpr int kMaxStreamObjects = 4096;
// Splash children halve the size per level; ten levels (up to 1023 objects)
// cover every sensible size, and an enormous or infinite size stops there.
constexpr int kMaxSplashLevels = 10;

float ScaleFactor(GameWorld& world) {
  float w = GetSystemScale(world);
  return (w >= kMinimumScale && std::isfinite(w)) ? w : kMinimumScale;
}

float RandomRadians(GameWorld& world) { return float(Rand(world) % 360) * platform::kPi / 180.0f; }

// Three values rand() % modulus - offset, drawn x, then y, then z.
Vec3 RandomVector(GameWorld& world, int modulus, int offset) {
  Vec3 v;
  v.x = float(Rand(world) % modulus - offset);
  v.y = float(Rand(world) % modulus - offset);
  v.z = float(Rand(world) % modulus - offset);
  return v;
}

bool IsZero(const Vec3& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

Vec3 Add(const Vec3& a, const Vec3& b) { return platform::Vec3Add(a, b); }
Vec3 Scale(const Vec3& v, float s) { return platform::Vec3Scale(v, s); }

EffectTextures& Textures(GameWorld& world) { return world.weather->textures; }

// Attaches the whole texture as a surface of `shape` when there is a
// renderer and the texture holds pixels. True when attached.
bool AttachSurface(GameWorld& world, render::DisplayObject& object, render::TextureHolder* holder, uint32_t shape,
                   int count = -1) {
  if (!world.graphics || !holder || holder->width < 1 || holder->height < 1) return false;
  object.SetObjectSurface(*world.graphics, holder, shape, count);
  return true;
}

// An object from the pool with its type and, when it can be drawn, the
// whole of `holder` as a surface of `shape`. Null when the pool gives none.
EffectObject* TakeEffect(GameWorld& world, int type, render::TextureHolder* holder, uint32_t shape) {
  EffectObject* e = AllocEffect(world);
  if (!e) return nullptr;
  e->type = type;
  AttachSurface(world, *e, holder, shape);
  return e;
}

// A sub-rectangle of the attached texture, in pixels (nothing without one).
void UseTextureRect(GameWorld& world, render::DisplayObject& object, float x0, float y0, float x1, float y1) {
  if (world.graphics && object.GetObjectSurface()) object.BuildSurfaceGeometry(*world.graphics, x0, y0, x1, y1);
}

void SetAnglesFrom(render::DisplayObject& object, const Vec3& direction, const Vec3* up, float roll) {
  Vec3 a{};
  core::AnglesFromDirection(&a, direction, up);
  object.SetObjectAngles(a.x, a.y, roll);
}

void SetPosition(render::DisplayObject& object, const Vec3& p) { object.SetObjectPosition(p.x, p.y, p.z); }

// trunc(x) as an int, held within a billion either way.
int TruncBounded(float x) {
  if (!(x > -1e9f)) return x != x ? 0 : -1000000000;
  return x < 1e9f ? int(std::trunc(x)) : 1000000000;
}

int ClampCount(float count) {
  if (!(count > 0.0f)) return 0;
  return count >= float(kMaxStreamObjects) ? kMaxStreamObjects : int(count);
}

EffectObject* Splash(GameWorld& world, Vec3 position, float size, int level) {
  if (!(size > 0.0f) || !std::isfinite(size)) size = 0.5f;
  EffectObject* e = TakeEffect(world, kEffectSplash, &Textures(world).splash, render::kSurfaceSprite);
  if (!e) return nullptr;
  UseTextureRect(world, *e, 0, 0, 64, 128);
  e->SetObjectPivot(32, 128, 0);
  SetPosition(*e, position);
  e->alpha = 192;
  e->size = 2.0f * size;
  float sx = size / 64.0f;
  if (Rand(world) % 2 == 0) sx = -sx;  // a mirrored column
  e->SetObjectScale(sx, 0, 1);
  if (size > 6.0f && level + 1 < kMaxSplashLevels) {
    float r = size / 2.0f;
    for (int child = 0; child < 2; child++) {
      float a = RandomRadians(world);
      Splash(world, {position.x + std::cos(a) * r, position.y, position.z + std::sin(a) * r}, r, level + 1);
    }
  }
  return e;
}

}  // namespace

int CreateCloud(GameWorld& world, Vec3 position, int kind, float size) {
  if (kind == 16) {
    for (int gz = -8000; gz < 8000; gz += 1000) {
      for (int gx = -8000; gx < 8000; gx += 1000) {
        Vec3 p;
        p.x = position.x + float(gx) + float(Rand(world) % 100 - 50);
        p.y = position.y + 50.0f - float(Rand(world) % 100);
        p.z = position.z + float(gz) + float(Rand(world) % 100 - 50);
        CreateCloud(world, p, 0, size);
      }
    }
    return 1;
  }
  WeatherObjects& weather = *world.weather;
  EffectObject* cloud = nullptr;
  for (EffectObject& c : weather.clouds) {
    if (!c.GetObjectSurface()) {
      cloud = &c;
      break;
    }
  }
  render::TextureHolder* texture = &weather.textures.cloud[kind == 0 ? 0 : 1];
  if (!cloud || texture->width < 1 || !world.graphics) return 0;
  if (kind == 0) {
    cloud->SetObjectSurface(*world.graphics, texture, render::kSurfaceQuadXZ, -1);
    cloud->SetObjectAngles(0, RandomRadians(world), 0);
  } else {
    cloud->SetObjectSurface(*world.graphics, texture, render::kSurfaceSprite, -1);
    cloud->SetObjectAngles(0, 0, 0);
  }
  SetPosition(*cloud, position);
  cloud->SetObjectColor(1, 1, 1, 0.85f);
  cloud->AlignObjectSurface(0);
  float s = size * 2.0f / float(texture->width);
  cloud->SetObjectScale(s, s, s);
  cloud->spriteFlag = kind;
  return 1;
}

EffectObject* CreateElectric(GameWorld& world, Vec3 position) {
  EffectObject* e = TakeEffect(world, kEffectElectric, &Textures(world).electric, render::kSurfaceQuadXZ);
  if (!e) return nullptr;
  UseTextureRect(world, *e, 0, 0, 128, 128);
  e->AlignObjectSurface(0);
  SetPosition(*e, position);
  Vec3 d = platform::Vec3Normalize(RandomVector(world, 11, 5));
  float roll = RandomRadians(world);
  SetAnglesFrom(*e, d, nullptr, roll);
  return e;
}

EffectObject* CreateHeat(GameWorld& world, Vec3 position, Vec3 vector, Vec3 up, float size, render::CMesh* model) {
  EffectObject* e = AllocEffect(world);
  if (!e) return nullptr;
  e->type = kEffectHeat;
  if (!model && world.graphics && Textures(world).heat.containerCount > 0) model = &Textures(world).heat;
  if (model) e->SetObjectModel(model);
  SetPosition(*e, position);
  // The depth scale is the vector's own length, taken before a zero vector
  // is given a direction.
  e->SetObjectScale(size, size, platform::Vec3Length(vector));
  if (IsZero(vector)) vector = RandomVector(world, 101, 50);
  Vec3 a{};
  core::AnglesFromDirection(&a, platform::Vec3Normalize(vector), &up);
  e->SetObjectAngles(a.x, a.y, a.z);
  return e;
}

EffectObject* CreateLightning(GameWorld& world, Vec3 position, Vec3 direction, float length) {
  EffectObject* e = TakeEffect(world, kEffectLightning, &Textures(world).lightning, render::kSurfaceQuadXZ);
  if (!e) return nullptr;
  e->SetObjectPivot(128, 0, 0);
  SetPosition(*e, position);
  float sx = length / 512.0f;
  if (Rand(world) % 2 == 0) sx = -sx;  // a mirrored bolt
  e->SetObjectScale(sx, 1, length / 512.0f);
  if (IsZero(direction)) direction = RandomVector(world, 101, 50);
  float roll = RandomRadians(world);
  SetAnglesFrom(*e, platform::Vec3Normalize(direction), nullptr, roll);
  return e;
}

float SetEffectGlareRate(EffectObject* effect, float rate) { return effect ? effect->SetObjectGlareRate(rate) : 0.0f; }

EffectObject* CreatePolygonEffect(GameWorld& world, const Vec3* positions, const float* colours, int count,
                                  render::TextureHolder* texture) {
  if (!positions || count < 1) return nullptr;
  EffectObject* e = AllocEffect(world);
  if (!e) return nullptr;
  e->type = kEffectPolygon;
  if (!texture && world.graphics) texture = world.graphics->GetWhiteTexture();
  if (world.graphics && texture) {
    // The white texture may hold no pixels of its own size; the strip's
    // corners come from the points, not from the texture.
    e->SetObjectSurface(*world.graphics, texture, render::kSurfaceDisc, count);
    bool floatColours = texture->HolderUsesEffect != 0;
    int n = count < e->vertexCount ? count : e->vertexCount;
    for (int i = 0; i < n; i++) {
      render::SurfaceVertex v{};
      e->GetObjectVertex(i, &v);
      v.x = positions[i].x - positions[0].x;
      v.y = positions[i].y - positions[0].y;
      v.z = positions[i].z - positions[0].z;
      v.u = float(i & 1);
      v.v = float(i >> 1);
      if (colours) {
        const float* c = colours + size_t(i) * 4;
        if (floatColours) {
          v.r = c[0], v.g = c[1], v.b = c[2], v.a = c[3];
        } else {
          // ARGB bytes; a negative channel keeps the byte it had.
          const float argb[4] = {c[3], c[0], c[1], c[2]};
          for (int k = 0; k < 4; k++) {
            float f = argb[k] * 255.0f;
            if (f < 0.0f) continue;
            uint32_t byte = f >= 255.0f ? 255u : uint32_t(f);
            int shift = 24 - 8 * k;
            v.diffuse = (v.diffuse & ~(0xFFu << shift)) | (byte << shift);
          }
        }
      }
      e->SetObjectVertex(i, v);
    }
  }
  SetPosition(*e, positions[0]);
  e->SetObjectScale(1, 1, 1);
  e->alpha = 128;
  return e;
}

EffectObject* CreateSonic(GameWorld& world, Vec3 position, Vec3 vector, int flag) {
  EffectObject* e = TakeEffect(world, kEffectSonic, &Textures(world).sonic, render::kSurfaceSprite);
  if (!e) return nullptr;
  SetAnglesFrom(*e, vector, nullptr, 0);
  e->alpha = 1;
  e->AlignObjectSurface(0);
  SetPosition(*e, position);
  e->SetObjectScale(0, 0, 1);
  e->SetObjectColor(1, 1, 1, 0);
  e->size = platform::Vec3Length(vector);
  if (flag == 0) e->SetObjectColor(0.25f, 1, 0.5f, -1);
  return e;
}

EffectObject* CreateSplash(GameWorld& world, Vec3 position, float size) { return Splash(world, position, size, 0); }

int CreateBomb(GameWorld& world, Vec3 position, Vec3 vector, int size, float rise) {
  const float w = ScaleFactor(world);
  const float c = rise;
  const float n = float(size);
  const float length = platform::Vec3Length(vector);
  float s = n;
  if (length > 1.0f) s = s / length;
  const int count = ClampCount(std::trunc(n / w * 3.0f + 1.0f));
  const Vec3 throwV = length > n ? Scale(vector, n / length) : vector;
  EffectTextures& tex = Textures(world);
  for (int i = 0; i < count; i++) {
    EffectObject* e = AllocEffect(world);
    if (!e) break;
    Vec3 d = platform::Vec3Normalize(RandomVector(world, 19, 9));
    d = {w * d.x, 0.5f * w * d.y, w * d.z};
    int k = s < 1.0f ? Rand(world) % 6 : Rand(world) % 15;
    const float fi = float(i), fn = float(count);
    Vec3 base = {position.x - vector.x * fi / fn, position.y - vector.y * fi / fn, position.z - vector.z * fi / fn};
    render::TextureHolder* holder = nullptr;
    Vec3 scale{}, at = base, velocity{}, drift{};
    float glare = 0.0f;
    int alpha = 255;
    const Vec3 fastVelocity = {0.1f * s * d.x + throwV.x, 0.1f * s * d.y + throwV.y, 0.1f * s * d.z + throwV.z};
    const Vec3 slowVelocity = {s * vector.x / 300.0f, s * vector.y / 300.0f, s * vector.z / 300.0f};
    const Vec3 spread = {base.x + 0.25f * s * d.x, base.y + 0.25f * s * d.y, base.z + 0.25f * s * d.z};
    const float fireScale = (8.0f * w + s) / 100.0f, smokeScale = (5.0f * w + s) / 100.0f;
    if (k == 0) {
      e->type = kEffectParticle;
      holder = &tex.fire3;
      scale = {0.05f * w, 0.05f * w, 2.0f * w};
      velocity = Add(d, throwV);
      glare = 0.04f;
    } else {
      // Fire (odd k up to 12, and 13) or smoke, in three kinds of motion.
      const bool fire = k <= 12 ? (k & 1) != 0 : k == 13;
      e->type = fire ? kEffectBurstFire : kEffectBurstSmoke;
      holder = fire ? &tex.fire1 : &tex.fire2;
      alpha = fire ? 255 : 128;
      const float look = fire ? fireScale : smokeScale;
      scale = {look, look, 4.0f * w};
      velocity = slowVelocity;
      if (k <= 8) {
        if (!fire) alpha = 32;
        velocity = fastVelocity;
        drift = {s * d.x / 3000.0f, s * d.y / 3000.0f + c * w, s * d.z / 3000.0f};
        glare = fire ? 0.02f : 0.0f;
      } else if (k <= 12) {
        at = spread;
        drift = {s * d.x / 6000.0f, s * d.y / 6000.0f + (c + 0.03f) * w, s * d.z / 6000.0f};
        glare = fire ? std::fmin(s / 500.0f / w + 0.02f, 1.0f) : 0.0f;
      } else {
        drift = {0.0f, (c + 0.03f * fi / fn) * w, 0.0f};
        glare = fire ? std::fmin(s / 500.0f + 0.02f, 1.0f) : 0.0f;
      }
    }
    AttachSurface(world, *e, holder, render::kSurfaceSprite);
    e->alpha = alpha;
    e->drift = drift;
    if (k != 0) e->holdSteps = Rand(world) % 120 + TruncBounded(3.0f * s);
    e->AlignObjectSurface(0);
    e->SetObjectScale(scale.x, scale.y, scale.z);
    SetPosition(*e, at);
    e->velocity = velocity;
    e->SetObjectGlareRate(glare);
  }
  return 0;
}

int CreateSmokeFlash(GameWorld& world, units::Unit* unit, Vec3 localPoint) {
  if (!unit) return 0;
  // The gunfire sheet carries the muzzle sprites: a puff facing the eye
  // and a streak laid along the barrel (the unit's z axis).
  struct Sprite {
    uint32_t shape;
    float x0, y0, x1, y1;
    Vec3 pivot, scale;
  };
  static constexpr Sprite kSprites[2] = {
      {render::kSurfaceCentredSprite, 0, 0, 16, 32, {0, 0, -0.5f}, {0.06f, 0.06f, 0.01f}},
      {render::kSurfaceCentredYZ, 16, 0, 32, 16, {0, 0, 0}, {0.01f, 0.01f, 0.2f}},
  };
  int made = 0;
  for (const Sprite& sprite : kSprites) {
    EffectObject* e = TakeEffect(world, kEffectAttached, &Textures(world).gunfire, sprite.shape);
    if (!e) continue;
    UseTextureRect(world, *e, sprite.x0, sprite.y0, sprite.x1, sprite.y1);
    e->SetObjectParent(unit);
    SetPosition(*e, localPoint);
    e->SetObjectPivot(sprite.pivot.x, sprite.pivot.y, sprite.pivot.z);
    e->SetObjectScale(sprite.scale.x, sprite.scale.y, sprite.scale.z);
    made++;
  }
  return made;
}

int CreateTrailSprite(GameWorld& world, Vec3 from, Vec3 to, float width, int alpha) {
  Vec3 along = platform::Vec3Subtract(to, from);
  float length = platform::Vec3Length(along);
  if (!(length > 0.0f) || !std::isfinite(length) || alpha <= 0) return 0;
  EffectObject* e = TakeEffect(world, kEffectSpreadSprite, &Textures(world).gunfire, render::kSurfaceCentredYZ);
  if (!e) return 0;
  UseTextureRect(world, *e, 0, 0, 16, 32);
  SetPosition(*e, Scale(Add(from, to), 0.5f));
  const Vec3 yUp = {0, 1, 0};
  e->SetObjectLookAt(Scale(along, 1.0f / length), &yUp);
  e->SetObjectScale(width, width, length / 2.0f);
  e->alpha = alpha > 255 ? 255 : alpha;
  return 1;
}

int CreateHitEffect(GameWorld& world, Vec3 position, Vec3 direction) {
  EffectTextures& tex = Textures(world);
  const Vec3 yUp = {0, 1, 0};
  // One part: takes an object, gives it its type, texture and place. Null
  // once the pool gives nothing (the parts made so far stay).
  auto part = [&](int type, render::TextureHolder* holder, uint32_t shape) -> EffectObject* {
    EffectObject* e = TakeEffect(world, type, holder, shape);
    if (e) SetPosition(*e, position);
    return e;
  };
  for (int i = 0; i < 10; i++) {
    EffectObject* e = part(24, &tex.hit[0], render::kSurfaceCentredYZ);
    if (!e) return 0;
    e->SetObjectPivot(0, 0, -1);
    Vec3 r = RandomVector(world, 1001, 500);
    SetAnglesFrom(*e, r, nullptr, RandomRadians(world));
    e->SetObjectScale(0.075f, 0.075f, 0.3f);
    e->SetObjectGlareRate(0.2f);
  }
  {
    EffectObject* e = part(25, &tex.hit[1], render::kSurfaceCentredSprite);
    if (!e) return 0;
    e->SetObjectColor(1, 1, 0.5f, 1);
    e->SetObjectScale(1, 1, 1);
    e->SetObjectGlareRate(0.2f);
  }
  {
    EffectObject* e = part(26, &tex.hit[2], render::kSurfaceCentredYZ);
    if (!e) return 0;
    e->SetObjectColor(1, 1, 0.5f, 1);
    e->SetObjectLookAt(direction, &yUp);
    e->SetObjectScale(0.25f, 0.25f, 8.0f);
    e->SetObjectGlareRate(0.2f);
  }
  {
    EffectObject* e = part(27, &tex.hit[3], render::kSurfaceCentredSprite);
    if (!e) return 0;
    e->SetObjectColor(1, 1, 0.5f, 1);
    Vec3 r = RandomVector(world, 1001, 500);
    SetAnglesFrom(*e, r, nullptr, RandomRadians(world));
    e->SetObjectScale(3, 3, 3);
    e->SetObjectGlareRate(0.2f);
  }
  for (int i = 0; i < 20; i++) {
    EffectObject* e = part(28, &tex.hit[4], render::kSurfaceCentredSprite);
    if (!e) return 0;
    e->SetObjectPivot(0, 0, -1);
    Vec3 r = RandomVector(world, 1001, 500);
    e->velocity = {r.x / 3000.0f, r.y / 3000.0f, r.z / 3000.0f};
    SetAnglesFrom(*e, r, nullptr, 0);
    e->SetObjectScale(0.05f, 0.05f, 0.05f);
    e->SetObjectGlareRate(0.4f);
  }
  const Vec3 q = platform::Vec3Normalize(direction);
  for (int i = 0; i < 10; i++) {
    EffectObject* e = part(29, &tex.hit[4], render::kSurfaceCentredYZ);
    if (!e) return 0;
    Vec3 u;
    u.x = q.x + float(Rand(world) % 1001 - 500) / 1000.0f;
    u.y = q.y + float(Rand(world) % 1001 - 500) / 1000.0f;
    u.z = q.z + float(Rand(world) % 1001 - 500) / 1000.0f;
    SetAnglesFrom(*e, u, nullptr, RandomRadians(world));
    e->velocity = {u.x / 3.0f, u.y / 3.0f, u.z / 3.0f};
    e->SetObjectScale(0.025f, 0.025f, 0.5f);
    e->SetObjectGlareRate(0.3f);
  }
  return 0;
}

int CreateParticle(GameWorld& world, Vec3 position, Vec3 vector, int count) {
  const int n = count > kMaxStreamObjects ? kMaxStreamObjects : count;
  for (int i = 0; i < n; i++) {
    EffectObject* e = TakeEffect(world, kEffectParticle, &Textures(world).fire3, render::kSurfaceSprite);
    if (!e) break;
    Vec3 d = platform::Vec3Normalize(RandomVector(world, 19, 9));
    e->AlignObjectSurface(0);
    e->SetObjectScale(0.05f, 0.05f, 2.0f);
    const float fi = float(i), fn = float(count);
    SetPosition(*e, {position.x - vector.x * fi / fn, position.y - vector.y * fi / fn, position.z - vector.z * fi / fn});
    e->velocity = {vector.x + 0.05f * d.x, vector.y + 0.05f * d.y, vector.z + 0.05f * d.z};
    e->SetObjectGlareRate(0.04f);
  }
  return 0;
}

int AddPointLight(GameWorld& world, Vec3 position, Vec3 direction, Vec3 colour, float range, float factor,
                  int lifetime) {
  return world.spotLights.AddSpotLight(position, direction, colour, range, factor, lifetime);
}

}  // namespace world
