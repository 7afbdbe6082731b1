// units_mounted.cpp -- mounted weapons, the swept hit test of fast
// projectiles, explosions with their area damage, and sub-munitions.
//
// A mounted weapon stays on its carrier's hard point and, when the carrier
// fires it (state 2), spawns shots, a laser or a missile. Behaviour word 9
// is its reload display counter; behaviour word 10 of a projectile keeps the
// nearest distance its proximity fuse has seen.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/core_public.h"
#include "units/units_combat.h"
#include "units_local.h"
#include "units_projectile.h"
#include "units_shots.h"

namespace units {

namespace {

constexpr int kTerrainMode = 3;
constexpr int kSegmentTestMode = 8;
constexpr Vec3 kChaingunMuzzle{0, 0.03f, 0.52f};
constexpr Vec3 kMuzzle{0, 0, 0.52f};
constexpr float kMuzzleSetBack = 1.5f;
constexpr float kShotSpeed = 2.5f;

// Spread of (rand % 10 - 4) x scale on one axis.
float Spread(world::GameWorld& world, float scale) { return float(world::Rand(world) % 10 - 4) * scale; }

// True when `ancestor` is on the unit's parent chain.
bool HasAncestor(const Unit& unit, const Unit* ancestor) {
  if (!ancestor) return false;
  for (const Unit* q = unit.parent; q; q = q->parent)
    if (q == ancestor) return true;
  return false;
}

bool SameTeam(const Unit& a, const Unit& b) { return std::strcmp(a.team.Get(), b.team.Get()) == 0; }

// The damage a projectile does to a victim: DAMAGE of the victim's class.
// While no event runs, an AI's shot with a target hurts only that target
// (a PLAYER on either side lifts the rule).
int32_t HitAmount(world::GameWorld& world, Unit& projectile, Unit& victim, Unit* aimedAt) {
  int32_t amount = projectile.type->damage[TargetClass(victim)];
  Unit* master = projectile.master;
  if (world::GetEventMode(world) == 0 && master && !(master->flags & kUnitPlayer) && !(victim.flags & kUnitPlayer) &&
      aimedAt && GetUnitRoot(&victim) != GetUnitRoot(aimedAt))
    amount = 0;
  return amount;
}

// Books the hit on the shooter and on the projectile.
void BookHit(world::GameWorld& world, Unit& projectile, Unit& victim, int32_t amount) {
  if (projectile.master) RecordHit(world, *projectile.master, &victim, amount);
  RecordHit(world, projectile, &victim, amount);
}

// A unit the swept test may strike.
bool IsSweepCandidate(Unit& projectile, Unit& unit) {
  if (&unit == &projectile || !unit.type || &unit == projectile.master) return false;
  if (HasAncestor(unit, projectile.master)) return false;  // the shooter's own parts
  if (unit.type->attributes & (kAttrWeapon | kAttrGhost)) return false;
  return unit.sceneNumber == projectile.sceneNumber;
}

// Whether the step from a to b strikes the unit; the hit point when it does.
bool SweepStrikes(world::GameWorld& world, Unit& projectile, Unit& unit, const Vec3& a, const Vec3& b, float step,
                  float radiusFactor, Vec3* at) {
  Vec3 head = GetUnitHeadPos(unit);
  float d = Length(Sub(head, b)) - 1.5f * step;
  if (!(d < unit.GetObjectRadius())) return false;
  if (unit.type->attributes & kAttrLarge) {
    render::GraphicsSystem* graphics = GetUnitDatabase(world).graphics;
    return unit.TestObjectHitSegment(graphics, at, nullptr, a, b, kSegmentTestMode) != 0;
  }
  if (GetUnitHp(unit) == 0 || (unit.flags & kUnitInert) || !(d < 0.0f)) return false;
  Vec3 scale = projectile.GetObjectScale();
  // A projectile shrunk to nothing has no extent to test.
  if (scale.x == 0.0f || scale.z == 0.0f) return false;
  Vec3 local = projectile.TransformPointToLocal(head);
  if (!(step / scale.z > std::fabs(local.z))) return false;
  if (!(std::sqrt(local.x * local.x + local.y * local.y) < radiusFactor / scale.x)) return false;
  *at = head;
  return true;
}

// Damage, sound and the sonic ring of a direct hit; the explosion normal.
Vec3 StrikeUnit(world::GameWorld& world, Unit& projectile, Unit& victim, Vec3& at) {
  int32_t amount = HitAmount(world, projectile, victim, projectile.target);
  if (!(victim.flags & kUnitInert) && !SameTeam(victim, projectile) && GetUnitHp(victim) > 0 &&
      !(victim.flags & kUnitBarrier)) {
    ApplyDamage(world, &victim, amount, projectile.type->typeValue, projectile.master, &projectile);
    BookHit(world, projectile, victim, amount);
  }
  PlayWeaponSound(world, kSoundHit, at);
  Vec3 ground{}, normal{};
  if (world::CastRayAgainstTerrain(world, &ground, &normal, Add(at, Vec3{0, 3, 0}), Sub(at, Vec3{0, 3, 0}),
                                   kTerrainMode)) {
    at = Add(at, Mul(normal, 0.5f));
  } else {
    normal.x = float(world::Rand(world) % 11 - 5);
    normal.y = float(world::Rand(world) % 11 - 5);
    normal.z = float(world::Rand(world) % 11 - 5);
    normal = Normalize(normal);
    if (Length(normal) == 0.0f) normal = Vec3{0, 1, 0};
  }
  world::CreateSonic(world, at, normal, 1);
  return normal;
}

// The proximity fuse: fires on the first step the nearest other unit moves
// away again, when its closest approach came within BLAST. Never while the
// shooter is within 1.5 x BLAST.
bool ProximityFuseFires(world::GameWorld& world, Unit& projectile, const Vec3& position) {
  const float blast = projectile.type->blast;
  if (projectile.master && !(Length(Sub(projectile.master->GetObjectWorldPosition(), position)) > blast * 1.5f))
    return false;
  Unit* nearest = world::FindNearestOtherUnit(world, projectile);
  if (!nearest) return false;
  int32_t distance = int32_t(Length(Sub(nearest->GetObjectWorldPosition(), position)));
  int32_t& smallest = BehaviourInt(projectile, 9);
  if (smallest == 0) {
    smallest = distance;
    return false;
  }
  if (distance > smallest && float(smallest) < blast) return true;
  if (distance < smallest) smallest = distance;
  return false;
}

// A burst light of the explosions.
void BlastLight(world::GameWorld& world, const Vec3& at, float range, int life) {
  world::AddPointLight(world, at, Vec3{0, 0, 0}, Vec3{1.0f, 0.6f, 0.3f}, range, 1.0f, life);
}

// Where the barrel of a mounted weapon points and where its shots start.
struct Barrel {
  Vec3 muzzle;     // world
  Vec3 direction;  // world, unit length
  Vec3 start;      // the muzzle moved back along the barrel
};
Barrel AimBarrel(Unit& weapon, const Vec3& localMuzzle) {
  Barrel b;
  b.muzzle = weapon.TransformPointToWorld(localMuzzle);
  b.direction = weapon.GetObjectWorldFront();
  b.start = Sub(b.muzzle, Mul(b.direction, kMuzzleSetBack));
  return b;
}

// One shot of the weapon's gun shot type, owned by the carrier.
void FireShot(world::GameWorld& world, Unit& weapon, const Barrel& barrel, const Vec3& spread) {
  Unit* master = weapon.master;
  Vec3 velocity = Add(Add(Mul(barrel.direction, kShotSpeed), master->velocity), spread);
  world::SpawnOwnedUnit(world, barrel.start, velocity, master, weapon.type->gunType);
}

// The firing step of a mounted weapon (state 2); true when the firing ended.
bool FireMounted(world::GameWorld& world, Unit& weapon) {
  UnitType& type = *weapon.type;
  Unit& master = *weapon.master;
  const int32_t age = UnitAge(weapon);
  int32_t& reload = BehaviourInt(weapon, 8);
  switch (type.typeValue) {
    case kTypeMountedCannon + 1: {  // MOUNTED_CHAINGUN: spins up, then every other step
      Barrel barrel = AimBarrel(weapon, kChaingunMuzzle);
      if (age == 40) PlayWeaponSound(world, kSoundChaingunSpinUp, barrel.muzzle);
      if (age >= 42 && age <= 178 && age % 2 == 0 && type.gunType) {
        Vec3 spread{Spread(world, 0.004f), 0, 0};
        spread.y = Spread(world, 0.004f);
        FireShot(world, weapon, barrel, spread);
        SpawnSmokeFlash(world, weapon, kChaingunMuzzle);
      }
      reload = (200 - age) * type.reloadTime / 200;
      return age >= 200;
    }
    case kTypeMountedCannon: {
      if (type.gunType) {
        Barrel barrel = AimBarrel(weapon, kMuzzle);
        Vec3 spread{Spread(world, 0.004f), 0, 0};
        spread.y = Spread(world, 0.004f);
        spread.z = Spread(world, 0.004f);
        FireShot(world, weapon, barrel, spread);
        SpawnSmokeFlash(world, weapon, kMuzzle);
      }
      return true;
    }
    case kTypeMountedCannon + 2: {  // MOUNTED_SHOTGUN: 20 pellets at once
      if (type.gunType) {
        Barrel barrel = AimBarrel(weapon, kMuzzle);
        for (int i = 0; i < 20; i++) {
          Vec3 spread{Spread(world, 0.04f), 0, 0};
          spread.y = Spread(world, 0.04f);
          spread.z = Spread(world, 0.04f);
          FireShot(world, weapon, barrel, spread);
        }
        SpawnSmokeFlash(world, weapon, kMuzzle);
      }
      return true;
    }
    case kTypeMountedCannon + 4: {  // MOUNTED_MISSILEPOD: one missile, launched at once
      UnitType* missileType = type.weaponTypes[0];
      if (!missileType) return true;
      Barrel barrel = AimBarrel(weapon, kMuzzle);
      Unit* missile = world::SpawnOwnedUnit(world, barrel.start, master.velocity, &master, missileType);
      if (!missile) return true;
      Vec3 up = weapon.GetObjectWorldUp();
      Vec3 angles{};
      core::AnglesFromDirection(&angles, barrel.direction, &up);
      missile->SetObjectAngles(angles.x, angles.y, angles.z);
      missile->velocity = master.velocity;
      SetUnitState(*missile, kUnitStateLaunched, 0);
      SetUnitMaster(*missile, &master);
      return true;
    }
    case kTypeMountedCannon + 3: {  // MOUNTED_LASER: a beam on the carrier for 80 steps
      if (age == 1 && type.gunType) {
        Barrel barrel = AimBarrel(weapon, kMuzzle);
        Unit* laser = world::SpawnOwnedUnit(world, barrel.muzzle, barrel.direction, &master, type.gunType);
        if (laser) {
          SetUnitParent(*laser, &master);
          Vec3 at = Add(weapon.GetObjectPosition(), Vec3{0, 0, 0.4f});
          laser->SetObjectPosition(at.x, at.y, at.z);
          Vec3 a = weapon.GetObjectAngles();
          laser->SetObjectAngles(a.x, a.y, a.z);
          BehaviourInt(*laser, 8) = 10;
          Vec3 podScale = weapon.GetObjectScale(), laserScale = laser->GetObjectScale();
          laser->SetObjectScale(podScale.x * 0.25f, podScale.y * 0.25f, laserScale.z);
        }
      }
      reload = (80 - age) * type.reloadTime / 80;
      return age >= 80;
    }
    default:  // MOUNTED_ITEM: held for POWER steps
      return float(age) > type.power;
  }
}

}  // namespace

// [SECTION] Services the weapon steps share

void PlayWeaponSound(world::GameWorld& world, int slot, const Vec3& position) {
  PlaySoundAt(world, slot, position, 0);
}

int SpawnSmokeFlash(world::GameWorld& world, Unit& unit, const Vec3& localPoint) {
  return world::CreateSmokeFlash(world, &unit, localPoint);
}

bool StepWeaponEnding(world::GameWorld& world, Unit& unit, int32_t hitSteps) {
  if (unit.state == kUnitStateFinal) {
    unit.SetObjectScale(0, 0, 0);
    if (UnitAge(unit) >= 10 && unit.removalMark == 0) {
      world::RunPathTriggers(world, kTriggerDisappear, &unit, &unit);
      unit.removalMark = 1;
    }
    return true;
  }
  if (unit.state == kUnitStateDestroyed) {
    unit.SetObjectVisible(0);
    unit.SetObjectScale(0, 0, 0);
    if (UnitAge(unit) >= hitSteps) RequestUnitState(unit, kUnitStateFinal);
    return true;
  }
  return false;
}

// [SECTION] Mounted weapons

int UpdateMountedUnit(world::GameWorld& world, Unit& unit) {
  if (!unit.type) return 0;
  int32_t& reload = BehaviourInt(unit, 8);
  if (StepWeaponEnding(world, unit, 180)) return 0;
  switch (unit.state) {
    case kUnitStateIdle:
    case kUnitStateReady: {
      Unit* player = world::GetPlayerUnit(world);
      unit.SetObjectVisible((player && unit.parent == player) || unit.sceneNumber != 0);
      if (unit.state == kUnitStateReady) {
        UnitAge(unit) = 0;
        break;
      }
      reload++;
      if (reload > unit.type->reloadTime) {
        RequestUnitState(unit, kUnitStateReady);
        PlayWeaponSound(world, kSoundWeaponLoaded, unit.GetObjectWorldPosition());
      }
      break;
    }
    case kUnitStateLaunched:
      if (unit.master && FireMounted(world, unit)) {
        reload = 0;
        RequestUnitState(unit, kUnitStateFreeFlight);
      }
      break;
    case kUnitStateFreeFlight:
      reload = 0;
      break;
    default:
      break;
  }
  return 0;
}

// [SECTION] Swept hit test

int SweepHitUnits(world::GameWorld& world, Unit& projectile, const Vec3& from, const Vec3& to, float radiusFactor) {
  if (!projectile.type) return 0;
  const float step = Length(projectile.velocity);
  int result = 0;
  Unit* victim = nullptr;
  Vec3 point = to, normal{0, 1, 0};

  for (int i = world::CountUnitSlots(world) - 1; i > 0 && !victim; i--) {
    Unit* unit = world::GetUnitAt(world, i);
    if (!unit || !IsSweepCandidate(projectile, *unit)) continue;
    Vec3 at{};
    if (SweepStrikes(world, projectile, *unit, from, to, step, radiusFactor, &at)) {
      victim = unit;
      point = at;
    }
  }
  if (victim) {
    normal = StrikeUnit(world, projectile, *victim, point);
    result = 3;
  }

  bool fused = (projectile.type->attributes & kAttrNearfuse) && ProximityFuseFires(world, projectile, to);
  if (fused) result++;

  int onWater = 0;
  if (!victim) {
    Vec3 ground{}, groundNormal{};
    if (world::CastRayAgainstTerrain(world, &ground, &groundNormal, from, to, kTerrainMode, &onWater)) {
      result = 1;
      point = ground;
      normal = groundNormal;
      world::CreateSonic(world, Add(point, Mul(normal, 0.1f)), normal, 1);
    } else if (!fused) {
      return 0;
    }
  }

  int inBlast = ExplodeProjectile(world, projectile, point, normal, 1, onWater);
  if (!inBlast && !victim) PlayWeaponSound(world, kSoundHit, point);
  RequestUnitState(projectile, kUnitStateDestroyed);
  return result;
}

// [SECTION] Explosions

int ExplodeProjectile(world::GameWorld& world, Unit& projectile, const Vec3& point, const Vec3& normal,
                      int withEffects, int onWater) {
  if (!projectile.type) return 0;
  const UnitType& type = *projectile.type;
  int32_t radius = int32_t(type.blast);
  if (radius < 4) radius = 3;

  if (withEffects) {
    if (type.blast == 0.0f) {
      if (onWater) world::CreateSplash(world, point, 6.0f);
      else world::CreateBomb(world, point, normal, 3, 0.004f);
      PlayWeaponSound(world, kSoundExplosion, point);
      world::AddCameraShake(world, point, 60.0f);
      BlastLight(world, point, 15.0f, 20);
    } else {
      if (onWater) world::CreateSplash(world, point, float(radius + 3));
      else world::CreateBomb(world, point, normal, radius, 0.004f);
      if (radius > 3) PlayWeaponSound(world, kSoundHit, point);
      PlayWeaponSound(world, kSoundExplosion, point);
      world::AddCameraShake(world, point, float(radius * 10));
      BlastLight(world, point, float(radius * 5), 30);
    }
  }

  Unit* aimedAt = projectile.master ? projectile.master->target : nullptr;
  int any = 0;
  for (int i = world::CountUnitSlots(world) - 1; i > 0; i--) {
    Unit* unit = world::GetUnitAt(world, i);
    if (!unit || unit == &projectile || !unit->type) continue;
    if (!IsEnemyUnit(world, projectile, *unit) || SameTeam(*unit, projectile)) continue;
    if ((unit->flags & kUnitBarrier) || (unit->type->attributes & (kAttrWeapon | kAttrGhost))) continue;
    if (unit->sceneNumber != projectile.sceneNumber) continue;
    Vec3 head = GetUnitHeadPos(*unit);
    if (!(Length(Sub(head, point)) < float(radius))) continue;
    any = 1;
    int32_t amount = HitAmount(world, projectile, *unit, aimedAt);
    if (GetUnitHp(*unit) > 0) {
      ApplyDamage(world, unit, amount, type.typeValue, projectile.master, &projectile);
      BookHit(world, projectile, *unit, amount);
    }
    if (withEffects) {
      world::CreateBomb(world, head, Vec3{0, 0, 0}, 1, 0.004f);
      BlastLight(world, head, 5.0f, 10);
    }
  }
  return any;
}

// [SECTION] Sub-munitions

int SpawnSubMunition(world::GameWorld& world, Unit& projectile, int childEntry) {
  if (!IsUnitLocal(projectile) || !projectile.type) return 0;
  const auto& entries = projectile.type->scatter;
  if (childEntry < 0 || size_t(childEntry) >= entries.size() || !entries[size_t(childEntry)].type) return 0;
  const ScatterEntry& entry = entries[size_t(childEntry)];

  // The child leaves along the projectile's axes, each a little off.
  const Vec3 heading = projectile.GetObjectWorldFront();
  Vec3 forward = heading, up = projectile.GetObjectWorldUp();
  for (Vec3* axis : {&forward, &up}) {
    axis->x += Spread(world, 0.005f);
    axis->y += Spread(world, 0.005f);
    axis->z += Spread(world, 0.005f);
  }
  forward.z += float(world::Rand(world) % 9 - 4) * 0.02f;
  forward = Normalize(forward);
  up = Normalize(up);

  Vec3 at = projectile.TransformPointToWorld(entry.position);
  Unit* child = world::SpawnOwnedUnit(world, at, projectile.velocity, projectile.master, entry.type);
  if (!child) return 0;
  Vec3 angles{};
  core::AnglesFromDirection(&angles, forward, &up);
  angles = Add(angles, entry.direction);
  child->SetObjectAngles(angles.x, angles.y, angles.z);
  child->velocity = projectile.velocity;
  Vec3 scale = projectile.GetObjectScale();
  child->SetObjectScale(scale.x, scale.y, scale.z);
  SetUnitState(*child, kUnitStateLaunched, 0);
  SetUnitMaster(*child, projectile.master);

  if (entry.type->attributes & kAttrAutolock) {
    Vec3 reference = IsLiveTarget(projectile.target)
                         ? Add(projectile.target->GetObjectWorldPosition(), Mul(heading, 200.0f))
                         : Add(projectile.GetObjectWorldPosition(), Mul(heading, 300.0f));
    auto isCandidate = [&](Unit* unit) {
      if (!unit || !unit->type || unit == child) return false;
      if (!IsEnemyUnit(world, *child, *unit) || (unit->flags & kUnitInert)) return false;
      if (!(GetLockOnRange(world, *child, *unit) > 0.0f)) return false;
      float range = float(entry.type->range[TargetClass(*unit)]);
      return Length(Sub(unit->GetObjectWorldPosition(), reference)) < range;
    };
    const int slots = world::CountUnitSlots(world);
    int count = 0;
    for (int i = 1; i < slots; i++) count += isCandidate(world::GetUnitAt(world, i)) ? 1 : 0;
    if (count > 0) {
      int pick = world::Rand(world) % count;
      for (int i = 1; i < slots; i++) {
        Unit* unit = world::GetUnitAt(world, i);
        if (!isCandidate(unit)) continue;
        if (pick-- == 0) {
          child->target = unit;
          break;
        }
      }
    }
  }
  return 1;
}

}  // namespace units
