// units_unit.cpp -- the unit record: construction, reset, the TYPE word table.

#include <cstring>

#include "units_local.h"

namespace units {

// The TYPE words of the unit master with the value each stores.
const UnitTypeName kUnitTypeNameTable[] = {
    {0, ""},
    {1, "PLAYER"},
    {2, "CAMERA_AIR"},
    {3, "CAMERA_GND"},
    {4, "DUST"},
    {5, "OBJECT"},
    {6, "PLANE"},
    {7, "VTOL"},
    {8, "SHIP"},
    {9, "VEHICLE"},
    {10, "AAGUN_FIXED"},
    {11, "AAGUN_YAW"},
    {12, "AAGUN_PITCH"},
    {13, "AAGUN_ROLL"},
    {14, "AAGUN_FREE"},
    {15, "AAMSL_FIXED"},
    {16, "AAMSL_YAW"},
    {17, "AAMSL_PITCH"},
    {18, "AAMSL_ROLL"},
    {19, "AAMSL_FREE"},
    {20, "AALASER_FIXED"},
    {21, "AALASER_YAW"},
    {22, "AALASER_PITCH"},
    {23, "AALASER_ROLL"},
    {24, "AALASER_FREE"},
    {25, "FACILITY"},
    {26, "EFFECT"},
    {27, "TOYBOX"},
    {28, "RUNWAY"},
    {29, "GUN"},
    {30, "BEAM"},
    {31, "GRENADE"},
    {32, "LASER"},
    {33, "MISSILE"},
    {34, "BOMB"},
    {35, "MISSILE_PREDICTION"},
    {36, "MISSILE_TORNADO"},
    {37, "MISSILE_HEAD"},
    {38, "MISSILE_FOOT"},
    {39, "BOMB_NAPALM"},
    {40, "BOMB_ECM"},
    {41, "BOMB_ECM_E"},
    {42, "BOMB_ECM_F"},
    {43, "MOUNTED_CANNON"},
    {44, "MOUNTED_CHAINGUN"},
    {45, "MOUNTED_SHOTGUN"},
    {46, "MOUNTED_LASER"},
    {47, "MOUNTED_MISSILEPOD"},
    {48, "MOUNTED_ITEM"},
    {49, "MOUNTED_NONE"},
    {50, "SWORDER"},
    {51, "BALL"},
    {52, "BALL_SPEED"},
    {53, "BALL_ELECTRIC"},
    {54, "BALL_SILVER"},
    {55, "BALL_EVIL"},
    {56, "BALL_BEAM"},
    {57, "BALL_LASER"},
    {58, "BALL_TARGET"},
    {-1, ""},
};

const char* UnitText::Set(const char* text) {
  if (!text) text = "";
  size_t length = std::strlen(text);
  if (!buffer || capacity < length + 1) {
    // Grow to fit; the old buffer may hold the text being copied.
    auto grown = std::make_unique<char[]>(length + 1);
    std::memcpy(grown.get(), text, length + 1);
    buffer = std::move(grown);
    capacity = uint32_t(length + 1);
  } else {
    std::memmove(buffer.get(), text, length + 1);
  }
  return buffer.get();
}

Unit::Unit() { ResetUnit(*this); }

Unit::~Unit() {
  // Leave no dangling links in the display tree of the objects around it:
  // records are destroyed in any order, parents before their children too.
  while (render::DisplayObject* child = GetObjectFirstChild()) child->SetObjectParent(nullptr);
  SetObjectParent(nullptr);
}

void ResetUnit(Unit& unit) {
  // Kept across a reset: the followed path index, the scene number and the
  // home point.
  int32_t pathIndex = unit.pathIndex;
  int32_t sceneNumber = unit.sceneNumber;
  Vec3 home = unit.home;

  SetUnitParent(unit, nullptr);
  SetUnitMaster(unit, nullptr);

  unit.control = {};
  unit.throttle = 0;
  unit.velocity = {};
  unit.moment = {};
  unit.speedTarget = 0;
  unit.speedRate = 0;
  unit.state = unit.pendingState = unit.pendingFlag = 0;
  unit.hp = unit.maxHp = 0;
  unit.invulnerableSteps = 0;
  unit.planeWord = unit.engineRpm = unit.controlWord = 0;
  unit.impulseVelocity = unit.impulseRotation = {};
  unit.impulseSteps = 0;
  for (int i = 0; i < kUnitAttachments; i++) {
    unit.attachments[i] = nullptr;
    unit.attachmentVectors[i] = {};
  }
  unit.landingRate = 0;
  unit.label.Clear();
  unit.group.Clear();
  unit.team.Clear();
  unit.printedTeam.Clear();
  unit.pathLabel.Clear();
  unit.path = nullptr;
  unit.damageByQueue = {};
  unit.hitQueue = {};
  unit.killQueue = {};
  unit.type = nullptr;
  unit.worldValue = 0;
  for (UnitType*& weapon : unit.weaponTypes) weapon = nullptr;
  unit.unitId = 0;
  unit.level = 0;
  unit.flags = 0;
  unit.networkId = -1;
  unit.lifeTimer = -1;
  unit.score = 0;
  unit.spawnSerial++;  // a new life of the record
  unit.trailWord = 0;
  std::memset(unit.trailPoints, 0, sizeof unit.trailPoints);
  std::memset(unit.trailStates, 0, sizeof unit.trailStates);
  std::memset(unit.trailWords, 0, sizeof unit.trailWords);
  unit.duckFlag = unit.defensiveFlag = unit.importantFlag = 0;
  std::memset(unit.classPriority, 0, sizeof unit.classPriority);
  std::memset(unit.classIgnore, 0, sizeof unit.classIgnore);
  unit.exclusiveLabel.Free();
  unit.priorityLabel.Free();
  unit.ignoreLabel.Free();
  unit.currentWeaponSlot = 0;
  std::memset(unit.weaponStops, 0, sizeof unit.weaponStops);
  unit.gunStop = 0;
  unit.engineLimitLow = -1.0f;
  unit.engineLimitHigh = 1.0f;
  unit.target = nullptr;
  unit.lastDamageSource = nullptr;
  unit.lastDamageSourceSerial = 0;
  unit.aimPoint = {};
  unit.lockWord = 0;
  unit.gunHeat = unit.gunBarrel = unit.gunCoolWord = 0;
  for (auto& slot : unit.weaponChildren)
    for (Unit*& child : slot) child = nullptr;
  std::memset(unit.ammo, 0, sizeof unit.ammo);
  unit.viewYaw = unit.viewPitch = unit.viewTurnWord = 0;
  unit.targetCyclingWord = 0;
  unit.territory = {};
  unit.actorWord = 0;
  unit.actorTime = 0;
  unit.steeringPoint = {};
  std::memset(unit.flightWords, 0, sizeof unit.flightWords);
  unit.gearContactRate = 0;
  unit.flightWord = 0;
  unit.viewWord = 1;
  unit.damageLevel = 0;
  unit.damageByMark = unit.killMark = unit.hitMark = 0;
  unit.missileWords[0] = unit.missileWords[1] = 0;
  unit.launchTarget = -1;
  unit.aimingWords[0] = unit.aimingWords[1] = -1;
  std::memset(unit.behaviourWords, 0, sizeof unit.behaviourWords);
  unit.aimWord = 0;
  unit.removalMark = 0;
  unit.soundChannel = 0;
  unit.soundCopy = -1;

  unit.pathIndex = pathIndex;
  unit.sceneNumber = sceneNumber;
  unit.home = home;
  unit.InitObject();
}

}  // namespace units
