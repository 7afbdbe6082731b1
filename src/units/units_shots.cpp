// units_shots.cpp -- the steps of gun shots (GUN, BEAM, GRENADE) and of
// lasers: flight, hit search, damage, impact effects and their ends.

#include <climits>
#include <cmath>

#include "render/render_public.h"
#include "units_shots.h"

namespace units {

namespace {

// Sound slots of the impacts.
enum : int {
  kSoundUnitHit = 8,
  kSoundGrenadeBlast = 9,
  kSoundGunImpact = 10,  // 10..12, one at random
  kSoundGrenadeImpact = 13,
};

constexpr float kBurstRise = 0.004f;

float Distance(const Vec3& a, const Vec3& b) { return platform::Vec3Length(platform::Vec3Subtract(a, b)); }

// Ends a shot or laser: its DISAPPEAR triggers run, the world releases it
// after the step.
void EndWeaponUnit(world::GameWorld& world, Unit& unit) {
  world::RunPathTriggers(world, kTriggerDisappear, &unit, &unit);
  unit.removalMark = 1;
}

// Whether the shot stepping from `from` to `to` strikes `unit` (at `at`);
// a near miss from right beside the unit moves the shot onto it (`to`).
bool ShotStrikes(world::GameWorld& world, Unit& shot, Unit& unit, const Vec3& at, const Vec3& from, Vec3& to,
                 float stepLength) {
  float d = Distance(to, at) - 1.5f * stepLength;
  if (!(unit.GetObjectRadius() > d)) return false;
  if (d < 0.0f && !(unit.type->attributes & kAttrLarge) && !(unit.flags & kUnitInert)) {
    Vec3 local = shot.TransformPointToLocal(at);
    if (local.z != 0.0f && d / local.z > std::fabs(local.x)) {
      to = at;
      return true;
    }
  }
  render::GraphicsSystem* gs = world::GetUnitDatabase(world).graphics;
  return unit.TestObjectHitSegment(gs, nullptr, nullptr, from, to, 8) != 0;
}

}  // namespace

// [SECTION] Shared rules

void RangeInSteps(const UnitType& type, float speed, int32_t steps[4]) {
  for (int c = 0; c < 4; c++) {
    if (!(speed > 0.0f)) {
      steps[c] = 0;
      continue;
    }
    float n = float(type.range[c]) / speed;
    steps[c] = n >= 2147483520.0f ? INT_MAX : n <= -2147483520.0f ? INT_MIN : int32_t(n);
  }
}

int32_t WeaponDamageAmount(world::GameWorld& world, Unit& weapon, Unit& victim, bool isLaser) {
  int m = TargetClassOf(victim.type);
  int32_t amount = weapon.type ? weapon.type->damage[m] : 0;
  Unit* owner = weapon.master;
  if (!isLaser && amount < 0) {
    amount = owner && owner->type ? owner->type->gunDamage[m] : -1;
    if (amount < 0) amount = 4;
  }
  Unit* target = isLaser ? (owner ? owner->target : nullptr) : weapon.target;
  if (world::GetEventMode(world) == 0 && owner && !(owner->flags & kUnitPlayer) && !(victim.flags & kUnitPlayer) &&
      target && &victim != target)
    amount = 0;
  return amount;
}

float LaserAlpha(int32_t age, float alpha) {
  if (age <= 59) {
    float a = float(age + 1) * 16.0f;
    return a > 255.0f ? 255.0f : a;
  }
  return alpha - 8.0f;
}

// [SECTION] Gun shots

int UpdateGunShotUnit(world::GameWorld& world, Unit& shot) {
  if (!shot.type) return 0;
  const UnitType& type = *shot.type;
  int32_t age = UnitAge(shot);
  Vec3 from = shot.GetObjectPosition();
  Vec3 velocity = shot.velocity;
  float stepLength = platform::Vec3Length(velocity);
  velocity.y -= kShotDrop;
  Vec3 to = platform::Vec3Add(from, velocity);

  int32_t steps[4];
  RangeInSteps(type, stepLength, steps);

  bool hit = false;
  int hits = 0;
  Unit* owner = shot.master;
  if (age >= 2) {
    // Every enemy the shot passes this step can be hit, not only the first.
    for (int slot = world::CountUnitSlots(world) - 1; slot >= 1; slot--) {
      Unit* unit = world::GetUnitAt(world, slot);
      if (!unit || !unit->type || unit == &shot) continue;
      if (!IsEnemyUnit(world, shot, *unit)) continue;
      if (type.typeValue != kTypeGrenade && age > steps[TargetClassOf(unit->type)]) continue;
      if (unit->type->attributes & (kAttrWeapon | kAttrGhost)) continue;
      Vec3 at = unit->GetObjectWorldPosition();
      if (!ShotStrikes(world, shot, *unit, at, from, to, stepLength)) continue;

      hit = true;
      bool shielded = (unit->flags & (kUnitInert | kUnitBarrier)) != 0;
      int32_t amount = shielded ? 0 : WeaponDamageAmount(world, shot, *unit, false);
      if (!shielded && GetUnitHp(*unit) > 0) {
        if (ApplyDamage(world, unit, amount, type.typeValue, owner, &shot) <= 0)
          PlaySoundAt(world, kSoundUnitHit, to, 0);
        hits++;
      }
      if (owner) RecordHit(world, *owner, unit, amount);
      world::CreateBomb(world, at, velocity, 0, kBurstRise);
    }
  }

  if (hits > 0) {
    if (type.typeValue == kTypeGrenade) {
      PlaySoundAt(world, kSoundGrenadeImpact, to, 0);
      PlaySoundAt(world, kSoundGunImpact + world::Rand(world) % 3, to, 0);
      world::CreateBomb(world, to, velocity, 3, kBurstRise);
      PlaySoundAt(world, kSoundGrenadeBlast, to, 0);
      world::AddCameraShake(world, to, 30.0f);
    } else {
      int sound = kSoundGunImpact + world::Rand(world) % 3;
      int frequency = (world::Rand(world) % 50 + 75) * 220;
      PlaySoundAt(world, sound, to, frequency);
    }
  }

  Vec3 normal{0, 1, 0};
  int onWater = 0;
  if (age >= 1) {
    Vec3 ground{};
    if (world::CastRayAgainstTerrain(world, &ground, &normal, from, to, 3, &onWater)) hit = true;
  }

  shot.velocity = velocity;
  shot.SetObjectPosition(to.x, to.y, to.z);

  int32_t largest = 0;
  for (int32_t n : steps) largest = n > largest ? n : largest;
  if (hit || age > largest) {
    EndWeaponUnit(world, shot);
    if (type.blast != 0.0f) ExplodeProjectile(world, shot, to, normal, 1, onWater);
    else if (onWater) world::CreateSplash(world, to, 1.0f);
  }
  return 0;
}

// [SECTION] Lasers

int UpdateLaserUnit(world::GameWorld& world, Unit& laser) {
  int32_t age = UnitAge(laser);
  Vec3 scale = laser.GetObjectScale();
  float beamRadius2 = (scale.x * scale.x + scale.y * scale.y) * 0.25f;
  if (beamRadius2 < 4.0f) beamRadius2 = 4.0f;
  float colour[4];
  laser.GetObjectColor(colour);
  float alpha = colour[3] * 255.0f;

  if (laser.target && laser.parent) {
    Vec3 local = laser.parent->TransformPointToLocal(laser.target->GetObjectWorldPosition());
    local = platform::Vec3Normalize(local);
    if (platform::Vec3Length(local) > 0.0f) {
      Vec3 angles{};
      core::AnglesFromDirection(&angles, local, nullptr);
      laser.SetObjectAngles(angles.x, angles.y, angles.z);
    }
  }
  Vec3 beamFrom = laser.TransformPointToWorld(Vec3{0, 0, -1});
  Vec3 beamTo = laser.TransformPointToWorld(Vec3{0, 0, 1});

  render::GraphicsSystem* gs = world::GetUnitDatabase(world).graphics;
  if (laser.type && age >= 8 && age % 6 == 0) {
    Vec3 origin = laser.GetObjectWorldPosition();
    for (int slot = world::CountUnitSlots(world) - 1; slot >= 1; slot--) {
      Unit* unit = world::GetUnitAt(world, slot);
      if (!unit || !unit->type || unit == &laser) continue;
      if (!IsEnemyUnit(world, laser, *unit)) continue;
      if ((unit->flags & (kUnitInert | kUnitBarrier)) || GetUnitHp(*unit) < 0) continue;
      Vec3 at = unit->GetObjectWorldPosition();
      float radius = unit->GetObjectRadius();
      if (!(radius > Distance(origin, at) - 3.0f * scale.z)) continue;
      Vec3 local = laser.TransformPointToLocal(GetUnitHeadPos(*unit));
      local.x *= scale.x;
      local.y *= scale.y;
      if (!(local.z > -1.0f && local.z <= 1.0f)) continue;
      float off2 = local.x * local.x + local.y * local.y;
      if (unit->type->attributes & kAttrLarge) {
        if (!(radius > std::sqrt(off2) / 20.0f)) continue;
        if (!unit->TestObjectHitSegment(gs, nullptr, nullptr, beamFrom, beamTo, 4)) continue;
      } else if (!(off2 < beamRadius2)) {
        continue;
      }
      int32_t amount = WeaponDamageAmount(world, laser, *unit, true);
      if (ApplyDamage(world, unit, amount, kTypeLaser, laser.master, nullptr) <= 0)
        PlaySoundAt(world, kSoundUnitHit, at, 0);
      world::CreateBomb(world, at, Vec3{}, 0, kBurstRise);
    }
  }

  // The beam's texture runs along it, 3 texels a step.
  if (gs && laser.surface) {
    float offset = 3.0f * float(age);
    float w = float(laser.surface->width), h = float(laser.surface->height);
    laser.BuildSurfaceGeometry(*gs, 0.0f, offset, w, offset + h);
  }

  alpha = LaserAlpha(age, alpha);
  laser.SetObjectColor(colour[0], colour[1], colour[2], alpha / 255.0f);
  if (alpha < 1.0f) EndWeaponUnit(world, laser);
  return 0;
}

}  // namespace units
