// units_projectile.h -- helpers shared by the unit steps: the missiles,
// bombs and mounted weapons, flight, the aircraft and ground behaviours and
// path following.
#pragma once

#include <cmath>
#include <cfloat>

#include "units/units_services.h"

namespace world {
class GameWorld;
}

namespace units {


// Built-in sound slots of the weapon steps.
enum : int {
  kSoundHit = 8,
  kSoundExplosion = 9,
  kSoundWeaponLoaded = 19,
  kSoundChaingunSpinUp = 27,
};

// --- Small vector helpers (float32, no fast paths) -----------------------
inline Vec3 Add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 Sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 Mul(const Vec3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(const Vec3& v) { return std::sqrt(Dot(v, v)); }
// Zero (and anything without a finite length) stays zero.
inline Vec3 Normalize(const Vec3& v) {
  float l = Length(v);
  return (l > 0.0f && std::isfinite(l)) ? Mul(v, 1.0f / l) : Vec3{0, 0, 0};
}
inline float Clamp(float value, float lowest, float highest) {
  if (value < lowest) return lowest;
  if (value > highest) return highest;
  return value;
}
inline bool IsFinite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
// Into [-pi, pi) by whole turns; a value that is not finite reads as 0.
inline float WrapAngle(float angle) {
  if (!std::isfinite(angle)) return 0.0f;
  while (angle >= 3.141592f) angle -= 6.283184f;
  while (angle < -3.141592f) angle += 6.283184f;
  return angle;
}
// Rodrigues' turn of v about the unit axis k by the angle of cosine c and
// sine s: with k = a x b, a positive angle turns a toward b.
inline Vec3 TurnAbout(const Vec3& v, const Vec3& k, float c, float s) {
  return Add(Add(Mul(v, c), Mul(Cross(k, v), s)), Mul(k, Dot(k, v) * (1.0f - c)));
}
inline Vec3 TurnAbout(const Vec3& v, const Vec3& k, float angle) {
  return TurnAbout(v, k, std::cos(angle), std::sin(angle));
}

// A point a step can steer toward: finite and short of the largest float
// (which marks "no position").
inline bool IsUsablePoint(const Vec3& p) {
  return std::fabs(p.x) < FLT_MAX && std::fabs(p.y) < FLT_MAX && std::fabs(p.z) < FLT_MAX;
}



// Moves the unit by `step` plus a pending impulse (its rotation added to the
// angles), the impulse counting down one step.
inline void MoveBy(Unit& unit, const Vec3& step) {
  Vec3 p = Add(unit.GetObjectPosition(), step);
  if (unit.impulseSteps != 0) {
    p = Add(p, unit.impulseVelocity);
    Vec3 a = Add(unit.GetObjectAngles(), unit.impulseRotation);
    unit.SetObjectAngles(a.x, a.y, a.z);
    unit.impulseSteps--;
  }
  unit.SetObjectPosition(p.x, p.y, p.z);
}

// A live unit with a type (a target may have been released meanwhile).
inline bool IsLiveTarget(const Unit* unit) { return unit && unit->type && unit->unitId != 0; }

// Target class (0..3) of a unit's type; 0 without one.
inline int TargetClass(const Unit& unit) { return unit.type ? (unit.type->mode & 3) : 0; }

// (units_mounted.cpp)
// Plays a built-in sound slot at a world point, its volume and pan from the
// camera.
void PlayWeaponSound(world::GameWorld& world, int slot, const Vec3& at);
// The smoke-and-flash pair at a muzzle (local point of the unit); returns
// the number of sprites made.
int SpawnSmokeFlash(world::GameWorld& world, Unit& unit, const Vec3& localPoint);
// The ending states every weapon unit shares: 998 (gone: DISAPPEAR trigger
// and removal mark after 10 steps) and 999 (hit: after `hitSteps` to 998).
// True when the state was one of them.
bool StepWeaponEnding(world::GameWorld& world, Unit& unit, int32_t hitSteps);

}  // namespace units
