// units_weapons.cpp -- the weapon slots: arming, the children on the hard
// points, resupply, launching from a slot and firing the gun.

#include <cmath>
#include <cstdint>

#include "core/core_public.h"
#include "render/render_public.h"
#include "units_shots.h"

namespace units {

const char* const kWeaponSlotLabels[kUnitWeaponSlots] = {"WeaponMain", "WeaponSub", "WeaponCenter", "WeaponExrtra"};

namespace {

// Sound slots of the weapon table.
enum : int {
  kSoundBombRelease = 20,
  kSoundLaunch = 21,
  kSoundGun = 22,
  kSoundCannon = 23,
  kSoundGrenadeGun = 24,
  kSoundChaingun = 26,
  kSoundBeamGun = 28,
  kSoundLaserGun = 30,
};

bool ValidSlot(int slot) { return slot >= 0 && slot < kUnitWeaponSlots; }

void ReportBadSlot(world::GameWorld& world, const char* call, int slot) {
  core::Logf(world::GetWorldLog(world), core::kLogError, "%s: weapon slot %d is not 0 to 3\n", call, slot);
}

// Child i of a slot, or null. A record the pool has since released (or
// handed to another unit) no longer sits on this unit: the stale pointer is
// dropped so the hard point counts as empty again.
Unit* SlotChild(Unit& unit, int slot, int i) {
  Unit*& child = unit.weaponChildren[slot][i];
  if (child && (child->unitId == 0 || child->parent != &unit)) child = nullptr;
  return child;
}

// The current slot: the first one from the current on (wrapping) that holds
// ammunition, 0 when none does.
void SelectLoadedSlot(Unit& unit) {
  int slot = ValidSlot(unit.currentWeaponSlot) ? unit.currentWeaponSlot : 0;
  for (int i = 0; i < kUnitWeaponSlots; i++) {
    if (unit.ammo[slot][0] != 0) {
      unit.currentWeaponSlot = slot;
      return;
    }
    slot = (slot + 1) % kUnitWeaponSlots;
  }
  unit.currentWeaponSlot = 0;
}

void ArmSlot(Unit& unit, int slot, UnitType* weapon) {
  int32_t payload = unit.type ? unit.type->payload[slot] : 0;
  if (payload == 0 || (weapon && (weapon->reloadTime == 0 || weapon->typeValue == kTypeNone))) weapon = nullptr;
  unit.ammo[slot][0] = unit.ammo[slot][1] = unit.ammo[slot][2] = 0;
  unit.weaponTypes[slot] = weapon;
  if (weapon && weapon->typeValue != kTypeMountedNone) {
    int32_t n = payload / weapon->reloadTime;  // reloadTime is never 0 here
    if (n < 1) n = 1;
    unit.ammo[slot][0] = unit.ammo[slot][1] = unit.ammo[slot][2] = n;
  }
}

// The mounted weapon kinds (TYPE values) between MOUNTED_CANNON and
// MOUNTED_ITEM.
enum : int32_t {
  kTypeMountedChaingun = 44,
  kTypeMountedShotgun = 45,
  kTypeMountedLaser = 46,
  kTypeMountedMissilePod = 47,
};

// The firing sound of a mounted weapon, -1 for none (MOUNTED_ITEM).
int MountedFiringSound(int32_t typeValue) {
  switch (typeValue) {
    case kTypeMountedCannon:
    case kTypeMountedShotgun:
      return kSoundCannon;
    case kTypeMountedChaingun:
      return kSoundChaingun;
    case kTypeMountedLaser:
      return kSoundLaserGun;
    case kTypeMountedMissilePod:
      return kSoundLaunch;
    default:
      return -1;
  }
}

// The world direction of a hard point's rotation on the unit.
Vec3 HardPointDirection(Unit& unit, const Vec3& rotation) {
  Vec3 local{};
  core::DirectionFromAngles(&local, nullptr, rotation);
  return platform::Vec3TransformNormal(local, unit.GetObjectWorldMatrix());
}

// While the player's locked missile is on its way to a target the replay
// will see destroyed soon, the camera rides along with it.
void MaybeFollowMissile(world::GameWorld& world, Unit& unit, Unit& child) {
  if (!(unit.flags & kUnitPlayer) || !unit.lockWord || !unit.target || unit.sceneNumber != 0) return;
  if (UnitAge(unit) % 12 <= 3) return;
  float speed = child.type ? child.type->speed : 0.0f;
  if (!(speed > 0.0f)) return;  // a missile without speed never arrives
  Vec3 from = child.GetObjectWorldPosition();
  float d = platform::Vec3Length(platform::Vec3Subtract(unit.target->GetObjectWorldPosition(), from));
  float steps = d / speed + 120.0f;
  int until = steps < 2.0e9f ? int(steps) : 2000000000;
  if (world::FindRecorderMarker(world, 60, until, nullptr) == unit.target->unitId)
    world::StartWeaponCamera(world, &child, from.x, from.y, from.z);
}

}  // namespace

// [SECTION] Shared helpers

int TargetClassOf(const UnitType* type) {
  if (!type) return 0;
  return type->mode < 0 ? 0 : type->mode > 3 ? 3 : type->mode;
}

int PlaySoundAt(world::GameWorld& world, int slot, const Vec3& position, int frequency, int volumeOffset) {
  int volume = volumeOffset, pan = 0;
  if (render::GraphicsSystem* gs = world::GetUnitDatabase(world).graphics) {
    Vec3 point = position;
    volume += int(gs->GetCameraDistance(point));
    pan = int(gs->GetSoundPan(point));
  }
  if (volume > 0) volume = 0;
  return world::PlayWorldSound(world, slot, volume, pan, frequency);
}

// [SECTION] Arming and filling the slots

void SetWeapon(world::GameWorld& world, Unit& unit, int slot, UnitType* weapon) {
  if (slot == -1) {
    for (int s = 0; s < kUnitWeaponSlots; s++) ArmSlot(unit, s, weapon);
  } else if (ValidSlot(slot)) {
    ArmSlot(unit, slot, weapon);
  } else {
    ReportBadSlot(world, "SetWeapon", slot);
    return;
  }
  SelectLoadedSlot(unit);
}

int SpawnWeaponSlot(world::GameWorld& world, Unit& unit, int slot, int force) {
  if (!IsUnitLocal(unit)) return -1;
  if (!ValidSlot(slot)) {
    ReportBadSlot(world, "SpawnWeaponSlot", slot);
    return -1;
  }
  UnitType* weapon = unit.weaponTypes[slot];
  if (!weapon || !unit.type || (!force && unit.ammo[slot][1] == 0)) return -1;

  for (int i = 0; i < kUnitChildrenPerSlot; i++) {
    const Vec3& point = unit.type->weaponPos[slot][i];
    if (!IsDefinedPoint(point)) continue;
    const Vec3& rotation = unit.type->weaponRot[slot][i];
    Unit* child = SlotChild(unit, slot, i);
    if (!child) {
      Vec3 facing{};
      core::DirectionFromAngles(&facing, nullptr, rotation);
      child = world::SpawnOwnedUnit(world, point, facing, &unit, weapon);
      if (!child) return -1;
      unit.weaponChildren[slot][i] = child;
      SetUnitLabel(*child, kWeaponSlotLabels[slot]);
      SetUnitParent(*child, &unit);
      SetUnitMaster(*child, &unit);
      child->SetObjectPosition(point.x, point.y, point.z);
      child->SetObjectAngles(rotation.x, rotation.y, rotation.z);
      unit.ammo[slot][1]--;
      child->behaviourWords[8] = 0;
      if (force) {
        child->behaviourWords[8] = uint32_t(weapon->reloadTime);
        SetUnitState(*child, kUnitStateReady, -1);
      }
    } else if ((weapon->attributes & kAttrMounted) && child->state >= kUnitStateFreeFlight) {
      RequestUnitState(*child, kUnitStateIdle);
    }
  }
  return 0;
}

void ReleaseWeaponChildren(world::GameWorld& world, Unit& unit, int slot) {
  if (slot != -1 && !ValidSlot(slot)) {
    ReportBadSlot(world, "ReleaseWeaponChildren", slot);
    return;
  }
  int first = slot == -1 ? 0 : slot, last = slot == -1 ? kUnitWeaponSlots - 1 : slot;
  for (int s = first; s <= last; s++)
    for (int i = 0; i < kUnitChildrenPerSlot; i++) {
      // Its display object goes now; the world lets the record go at its
      // next update. A stale pointer (the record since released or handed
      // to another unit) is only dropped: that record is no child of ours.
      Unit* child = SlotChild(unit, s, i);
      if (child && child != &unit) child->ReleaseObject();
      unit.weaponChildren[s][i] = nullptr;
    }
}

void SupplyWeapon(world::GameWorld& world, Unit& unit, int slot, int percent) {
  if (!ValidSlot(slot)) {
    ReportBadSlot(world, "SupplyWeapon", slot);
    return;
  }
  if (!unit.weaponTypes[slot]) return;
  int32_t* ammo = unit.ammo[slot];
  int64_t current = int64_t(ammo[0]) + int64_t(percent) * ammo[2] / 100 + 1;
  if (current > ammo[2]) current = ammo[2];
  if (current < 0) current = 0;
  ammo[0] = int32_t(current);
  SpawnWeaponSlot(world, unit, slot, 0);
}

// [SECTION] Firing

Unit* ShootMissile(world::GameWorld& world, Unit& unit) {
  int slot = unit.currentWeaponSlot;
  if (!ValidSlot(slot)) {
    ReportBadSlot(world, "ShootMissile", slot);
    return nullptr;
  }
  int index = -1;
  Unit* child = nullptr;
  for (int i = 0; i < kUnitChildrenPerSlot && !child; i++) {
    Unit* c = SlotChild(unit, slot, i);
    if (c && c->state == kUnitStateReady && c->type && c->type->typeValue != kTypeMountedNone) {
      child = c;
      index = i;
    }
  }
  if (!child) return nullptr;

  Vec3 at = child->GetObjectWorldPosition();
  const UnitType& type = *child->type;
  if (type.attributes & kAttrMounted) {
    // A mounted weapon stays on its hard point and fires from there.
    int sound = MountedFiringSound(type.typeValue);
    if (sound >= 0) PlaySoundAt(world, sound, at, 0);
    RequestUnitState(*child, kUnitStateLaunched);
  } else {
    unit.weaponChildren[slot][index] = nullptr;
    if (type.attributes & kAttrBomb)
      PlaySoundAt(world, kSoundBombRelease, at, 16000);
    else
      PlaySoundAt(world, kSoundLaunch, at, 0);
    Vec3 direction = platform::Vec3Add(
        unit.velocity, HardPointDirection(unit, unit.type ? unit.type->weaponRot[slot][index] : Vec3{}));
    direction = platform::Vec3Normalize(direction);
    SetUnitParent(*child, nullptr);
    child->SetObjectPosition(at.x, at.y, at.z);
    child->SetObjectScale(type.scale.x, type.scale.y, type.scale.z);
    if (unit.lockWord && unit.target) {
      child->target = unit.target;
      unit.launchTarget = int16_t(uint16_t(unit.target->unitId & 0xFFFF));
      world::RunPathTriggers(world, kTriggerDanger, child, unit.target);
    } else {
      child->target = nullptr;
      unit.launchTarget = 0;
    }
    Vec3 angles{};
    core::AnglesFromDirection(&angles, direction, nullptr);
    child->SetObjectAngles(angles.x, angles.y, angles.z);
    child->velocity = platform::Vec3Scale(direction, platform::Vec3Length(unit.velocity));
    RequestUnitState(*child, kUnitStateLaunched);
    MaybeFollowMissile(world, unit, *child);
  }
  world::RunPathTriggers(world, kTriggerMain + slot, child, &unit);
  return child;
}

Unit* ShootGun(world::GameWorld& world, Unit& unit, const Vec3& aimPoint) {
  UnitType* gun = unit.type ? unit.type->gunType : nullptr;
  if (!gun) return nullptr;
  if (unit.gunBarrel < 0 || unit.gunBarrel >= 4) unit.gunBarrel = 0;
  const Vec3& barrelPoint = unit.type->gunPos[unit.gunBarrel];
  if (!IsDefinedPoint(barrelPoint)) return nullptr;
  Vec3 barrel = unit.TransformPointToWorld(barrelPoint);

  Unit* shot = nullptr;
  if (gun->typeValue == kTypeLaser) {
    // The beam hangs on the barrel and turns with the unit.
    Vec3 direction = platform::Vec3Normalize(aimPoint);
    if (platform::Vec3Length(direction) == 0.0f) direction = Vec3{0, 0, 1};
    shot = world::SpawnOwnedUnit(world, barrel, direction, &unit, gun);
    if (shot) {
      SetUnitParent(*shot, &unit);
      shot->SetObjectPosition(barrelPoint.x, barrelPoint.y, barrelPoint.z);
      Vec3 angles{};
      core::AnglesFromDirection(&angles, direction, nullptr);
      shot->SetObjectAngles(angles.x, angles.y, angles.z);
    }
  } else {
    Vec3 aim = unit.TransformPointToWorld(aimPoint);
    Vec3 direction = platform::Vec3Normalize(platform::Vec3Subtract(aim, unit.GetObjectWorldPosition()));
    Vec3 velocity = platform::Vec3Add(unit.velocity, platform::Vec3Scale(direction, gun->speed));
    // The spread: up to half a precision either way on each axis.
    velocity.x += float(world::Rand(world) % 11 - 5) * 0.1f * gun->gunPrecision;
    velocity.y += float(world::Rand(world) % 11 - 5) * 0.1f * gun->gunPrecision;
    velocity.z += float(world::Rand(world) % 11 - 5) * 0.1f * gun->gunPrecision;
    shot = world::SpawnOwnedUnit(world, barrel, velocity, &unit, gun);
    world::CreateSmokeFlash(world, &unit, barrelPoint);
  }

  // The report: louder for hotter guns, lower in pitch as they heat.
  int heat = unit.type->gunHeat;
  int frequency = 22050;
  if (heat != 0) {
    frequency = (12 - heat) * 4000;
    if (frequency < 10000) frequency = 10000;
  }
  int volume = (heat - 8) * 100, pan = 0;
  if (render::GraphicsSystem* gs = world::GetUnitDatabase(world).graphics) {
    volume += int(gs->GetCameraDistance(unit.GetObjectWorldPosition()));
    pan = int(gs->GetSoundPan(barrel));
  }
  if (volume > 0) volume = 0;
  if (volume > -10000) {
    switch (gun->typeValue) {
      case kTypeBeam:
        world::PlayWorldSound(world, kSoundBeamGun, volume, pan, frequency);
        break;
      case kTypeGrenade:
        world::PlayWorldSound(world, kSoundGrenadeGun, volume, pan, 0);
        break;
      case kTypeLaser:
        world::PlayWorldSound(world, kSoundLaserGun, volume, pan, 0);
        break;
      default:
        world::PlayWorldSound(world, kSoundGun, volume, pan, frequency);
        break;
    }
  }

  world::RunPathTriggers(world, kTriggerGun, shot, &unit);
  unit.gunBarrel = (unit.gunBarrel + 1) % 4;
  if (!IsDefinedPoint(unit.type->gunPos[unit.gunBarrel])) unit.gunBarrel = 0;
  return shot;
}

Unit* ShootGunForward(world::GameWorld& world, Unit& unit) {
  if (!unit.type) return nullptr;
  int barrel = unit.gunBarrel >= 0 && unit.gunBarrel < 4 ? unit.gunBarrel : 0;
  Vec3 forward{};
  core::DirectionFromAngles(&forward, nullptr, unit.type->gunRot[barrel]);
  return ShootGun(world, unit, forward);
}

}  // namespace units
