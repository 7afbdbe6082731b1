// units_balls.cpp -- the ball enemies of the sword-action games, their beam
// shots, lasers and target marks.
//
// Index
//  [SECTION] Constants and small helpers
//  [SECTION] Blows on the actor: knock-downs, staggers, parries
//  [SECTION] Ball motion: hovering, terrain contact, keeping apart
//  [SECTION] Ball states
//  [SECTION] Contact with the actor
//  [SECTION] Gathering and merging
//  [SECTION] Death: scattered units and pieces
//  [SECTION] The ball step
//  [SECTION] Beam shots, lasers and target marks
//
// A ball hovers over the terrain on two short downward rays and attacks the
// unit of another team that the world holds as the player: a sword actor
// (SWORDER). What a ball does to the actor goes through the actor's own
// words (units_sword.h): its state, age, animation time and hit cooldown.
//
// A unit that is done here is never released by its own step: it is marked
// (removalMark) and its DISAPPEAR triggers run while the record is still the
// unit's; the world releases it after the step's scripts. Releasing it at
// once would leave the rest of the world step (the age and pending state of
// UpdateUnit, the NEAR triggers) and the DISAPPEAR event itself working on a
// freed record that may already hold another unit.

#include <cmath>
#include <cstdint>
#include <cstring>

#include "render/render_public.h"
#include "units/units_projectile.h"
#include "units/units_sword.h"
#include "units_local.h"
#include "units_shots.h"

namespace units {

namespace {

// [SECTION] Constants and small helpers

// Ball states (the unit's state word).
enum : int32_t {
  kBallWander = 0,
  kBallChase = 1,
  kBallFollow = 2,
  kBallTackle = 3,
  kBallDischarge = 4,
  kBallFire = 5,
  kBallFireLaser = 6,
  kBallKnocked = 7,
  kBallPiece = 998,  // a pickup dropped by a dead ball
};

// States of the sword actor that the balls read and set.
enum : int32_t {
  kActorGuard = 7,
  kActorGuardHeld = 8,
  kActorStaggered = 19,
  kActorKnockedDown = 20,
};

// Ball kinds by type value.
enum : int32_t {
  kTypeBallSpeed = kTypeBall + 1,
  kTypeBallElectric = kTypeBall + 2,
  kTypeBallSilver = kTypeBall + 3,
};

// Built-in sound slots.
enum : int {
  kSoundBurst = 8,
  kSoundSilverShot = 22,
  kSoundBeamShot = 28,
  kSoundLaserShot = 30,
  kSoundTackle = 68,
  kSoundBlocked = 69,
  kSoundBlockedSilver = 71,
  kSoundBallGone = 70,
  kSoundKnockedDown = 72,
  kSoundParry = 73,
  kSoundDischarge = 76,
  kSoundMark = 77,
  kSoundMerge = 78,
  kSoundScatter = 79,
  kSoundReplace = 80,
  kSoundPiece = 82,
};

constexpr int kTerrainMode = 3;             // every map object
constexpr float kBallGravity = 0.0027222224f;
constexpr float kHoverPush = 0.002f;
// The hovering is a push up below one depth and down beyond another; the
// vertical speed is damped so the ball settles in the band instead of
// swinging through it forever.
constexpr float kHoverDamping = 0.95f;
// A following ball's pull is damped too: its speed levels out near 0.1.
constexpr float kFollowDamping = 0.95f;
constexpr float kKnockedFriction = 0.005f;
constexpr float kLowestY = -5.0f;
constexpr float kBurstRise = 0.004f;
constexpr int kHitPauseSteps = 8;
constexpr int32_t kActorHitCooldown = 30;
constexpr int32_t kParryWindow = 13;        // the actor's animation time below which a guard parries
constexpr int32_t kReplacementHp = 600;           // the HP of a scattered replacement
// At most this many times struck count for the pieces a dead ball drops.
constexpr int32_t kMostCountedStrikes = 96;
// The largest margin the downward keep-out ray holds under a ball: the
// hovering band (0.5 to 0.55) lies above it, so the two never fight.
constexpr float kMostFloorMargin = 0.4f;
constexpr float kSplashSpeed = 0.01f;

const Vec3 kUp{0, 1, 0};
const Vec3 kLightDirection{1, 1, 1};
const Vec3 kRedLight{3, 1, 1};
const Vec3 kBlueLight{1, 1, 3};

inline int32_t& HitCooldown(Unit& unit) { return BehaviourInt(unit, kSwordHitCooldown); }
inline int32_t& LastStruckBy(Unit& unit) { return BehaviourInt(unit, kSwordLastStruckBy); }
inline int32_t& TimesStruck(Unit& unit) { return BehaviourInt(unit, kSwordTimesStruck); }

inline Vec3 Horizontal(const Vec3& v) { return {v.x, 0, v.z}; }
inline float Distance(const Vec3& a, const Vec3& b) { return Length(Sub(a, b)); }
inline int32_t TypeValue(const Unit& unit) { return unit.type ? unit.type->typeValue : 0; }
inline bool HasAttribute(const Unit& unit, uint32_t bits) { return unit.type && (unit.type->attributes & bits); }
// A unit that counts in this step: live and not marked to go.
inline bool IsPresent(const Unit* unit) { return IsLiveTarget(unit) && unit->removalMark == 0; }

// The ball's radius: the largest x of its model's box in model space; 0
// without a model (or with an empty one).
float BallRadius(Unit& unit) {
  if (!unit.model) return 0.0f;
  Vec3 high{};
  unit.model->GetMeshBounds(&high, nullptr, nullptr, unit.containers);
  return (high.x > 0.0f && std::isfinite(high.x)) ? high.x : 0.0f;
}

bool TerrainHit(world::GameWorld& world, const Vec3& from, const Vec3& to, Vec3* hit = nullptr,
                int* onWater = nullptr) {
  Vec3 point{}, normal{};
  int found = world::CastRayAgainstTerrain(world, &point, &normal, from, to, kTerrainMode, onWater);
  if (found && hit) *hit = point;
  return found != 0;
}

// Turns the unit's front along a direction; a zero one leaves it.
void Face(Unit& unit, const Vec3& direction) {
  if (Length(direction) > 0.0f) unit.SetObjectLookAt(direction, &kUp);
}

// Slows the horizontal velocity by `by` along itself, to 0 at most.
void SlowHorizontal(Vec3& v, float by) {
  float speed = Length(Horizontal(v));
  if (speed <= by) {
    v.x = v.z = 0.0f;
    return;
  }
  float keep = (speed - by) / speed;
  v.x *= keep;
  v.z *= keep;
}

// A direction with each component (rand() mod 256) / 128 - 1, normalised.
Vec3 RandomDirection(world::GameWorld& world) {
  float x = float(world::Rand(world) % 256) / 128.0f - 1.0f;
  float y = float(world::Rand(world) % 256) / 128.0f - 1.0f;
  float z = float(world::Rand(world) % 256) / 128.0f - 1.0f;
  return Normalize({x, y, z});
}

void LoseOneHp(Unit& unit) {
  int32_t hp = GetUnitHp(unit);
  if (hp > 0) SetUnitHp(unit, hp - 1, 0);
}

// Ends a unit of this file: marked for the world to release after the
// step's scripts, then its DISAPPEAR triggers run on the still-live record.
// A second call does nothing.
void Finish(world::GameWorld& world, Unit& unit) {
  if (unit.removalMark) return;
  unit.removalMark = 1;
  world::RunPathTriggers(world, kTriggerDisappear, &unit, &unit);
}

// [SECTION] Blows on the actor: knock-downs, staggers, parries

// Turns the actor (whose model looks along its local -z) to face a point.
void TurnActorToward(Unit& actor, const Vec3& point) {
  Face(actor, Normalize(Horizontal(Sub(actor.GetObjectWorldPosition(), point))));
}

// The actor's state from outside: the state, its age, the animation time
// and the pose of the named set at that time.
void PutActorInState(Unit& actor, int32_t state, int32_t age, float time, const char* set, float blend) {
  SetUnitState(actor, state, age);
  actor.actorTime = time;
  actor.SetObjectAnimation(nullptr, set, time / 60.0f, nullptr, 0.0f, blend);
}

void KnockDown(Unit& actor, float blend) {
  PutActorInState(actor, kActorKnockedDown, 6, 6.0f, "AnimationSet_dmg2", blend);
}

// The horizontal direction from the ball to the actor (the ball's own
// front when they stand on one vertical).
Vec3 KnockDirection(Unit& ball, Unit& actor) {
  Vec3 d = Normalize(Horizontal(Sub(actor.GetObjectWorldPosition(), ball.GetObjectWorldPosition())));
  if (Length(d) > 0.0f) return d;
  return Normalize(Horizontal(ball.GetObjectWorldFront()));
}

// Whether the hit of a weapon of a ball counts (amount 1) or is only booked
// (0): while no event runs, an AI owner's weapon hurts only the unit it was
// aimed at, unless the victim is a player unit.
int32_t BallWeaponAmount(world::GameWorld& world, Unit* owner, Unit& victim, Unit* aimedAt) {
  if (world::GetEventMode(world) == 0 && owner && !(owner->flags & kUnitPlayer) && !(victim.flags & kUnitPlayer) &&
      aimedAt && aimedAt != &victim)
    return 0;
  return 1;
}

// The reaction of a unit struck by a ball's beam shot or laser that counts:
// knocked down along the beam.
void KnockDownByBeam(world::GameWorld& world, Unit& victim, const Vec3& direction, float knock) {
  world::CreateHitEffect(world, GetUnitHeadPos(victim), direction);
  Face(victim, Normalize(Horizontal(direction)));
  KnockDown(victim, 0.1f);
  SetUnitVelocity(victim, Mul(direction, knock));
  LoseOneHp(victim);
  Vec3 at = victim.GetObjectWorldPosition();
  PlaySoundAt(world, kSoundKnockedDown, at, 0);
  world::AddPointLight(world, at, kLightDirection, kBlueLight, 3.0f, 1.0f, 12);
  world::RaiseStoredMax(world, kHitPauseSteps);
  HitCooldown(victim) = kActorHitCooldown;
}

// [SECTION] Ball motion: hovering, terrain contact, keeping apart

// Hovering: a push up while the terrain lies within `upDepth` below, down
// while none lies within `downDepth`.
void Hover(world::GameWorld& world, const Vec3& at, Vec3& v, float upDepth, float downDepth) {
  v.y *= kHoverDamping;
  if (TerrainHit(world, at, Sub(at, {0, upDepth, 0}))) v.y += kHoverPush;
  if (!TerrainHit(world, at, Sub(at, {0, downDepth, 0}))) v.y -= kHoverPush;
}

// Moves the ball by its velocity and keeps it out of the terrain with six
// rays from the new position: a wall, ceiling or floor within reach puts
// that coordinate back to the reach and stops the speed into it. The floor
// ray starts at the higher of the old and new heights, so a fast fall
// cannot pass through a floor.
Vec3 MoveBall(world::GameWorld& world, const Vec3& from, Vec3& v, float r) {
  Vec3 to = Add(from, v);
  float reach = r > 0.05f ? r : 0.05f;
  float floorReach = reach < kMostFloorMargin ? reach : kMostFloorMargin;
  Vec3 hit{};
  if (TerrainHit(world, {to.x, from.y > to.y ? from.y : to.y, to.z}, Sub(to, {0, floorReach, 0}), &hit) &&
      to.y < hit.y + floorReach) {
    to.y = hit.y + floorReach;
    if (v.y < 0.0f) v.y = 0.0f;
  }
  if (TerrainHit(world, to, Add(to, {0, reach, 0}), &hit)) {
    to.y = hit.y - reach;
    if (v.y > 0.0f) v.y = 0.0f;
  }
  struct Side {
    Vec3 axis;
    float Vec3::*c;
    float sign;
  };
  const Side sides[4] = {{{1, 0, 0}, &Vec3::x, 1}, {{-1, 0, 0}, &Vec3::x, -1}, {{0, 0, 1}, &Vec3::z, 1},
                         {{0, 0, -1}, &Vec3::z, -1}};
  for (const Side& s : sides) {
    if (!TerrainHit(world, to, Add(to, Mul(s.axis, reach)), &hit)) continue;
    to.*s.c = hit.*s.c - s.sign * reach;
    if (v.*s.c * s.sign > 0.0f) v.*s.c = 0.0f;
  }
  return to;
}

// Whether a unit's head keeps the ball away: a team (for a BALL_EVIL one
// other than the ball's own), not knocked down, not the ball, not a piece.
bool KeepsBallAway(const Unit& ball, const Unit& other) {
  if (&other == &ball || other.removalMark || other.state == kActorKnockedDown || other.state == kBallPiece)
    return false;
  const char* team = other.team.Get();
  if (!team[0]) return false;
  if (TypeValue(ball) == kTypeBallEvil && std::strcmp(team, ball.team.Get()) == 0) return false;
  return true;
}

// Each head within r + 0.25 of the ball moves the ball 0.1 away from it.
Vec3 KeepApart(world::GameWorld& world, Unit& ball, Vec3 at, float r) {
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    Unit* other = world::GetUnitAt(world, slot);
    if (!other || !KeepsBallAway(ball, *other)) continue;
    Vec3 head = GetUnitHeadPos(*other);
    Vec3 away = Sub(at, head);
    if (!(Length(away) < r + 0.25f)) continue;
    at = Add(at, Mul(Normalize(away), 0.1f));
  }
  return at;
}

// [SECTION] Ball states

// What one step of a ball decides beside its velocity and position.
struct BallStep {
  Unit& ball;
  Unit& player;
  Vec3 at{};          // the ball's position
  Vec3 head{};        // the player's head
  Vec3 v{};           // the ball's velocity
  float r = 0;        // the ball's radius
  float toHead = 0;   // |head - at|
  int32_t age = 0;
  int32_t kind = 0;   // the type value
  int32_t next = 0;   // the state for the next step
  bool going = false; // the ball ends with this step
};

bool ChasesAfterwards(int32_t kind) { return kind == kTypeBallSpeed || kind == kTypeBallEvil; }

void ScaleBy(Unit& unit, float x, float y, float z) {
  Vec3 s = unit.GetObjectScale();
  unit.SetObjectScale(s.x + x, s.y + y, s.z + z);
}

void Wander(world::GameWorld& world, BallStep& s) {
  UnitType& type = *s.ball.type;
  int32_t phase = s.age % 180;
  if (phase == 30) {
    float x = float(world::Rand(world) % 1001 - 500);
    float z = float(world::Rand(world) % 1001 - 500);
    Vec3 d = Mul(Normalize({x, 0, z}), 1.0f / 30.0f);
    s.v.x = d.x;
    s.v.z = d.z;
  } else if (phase == 150) {
    s.v.x = s.v.z = 0.0f;
  }
  // A wall ahead turns the ball back at half its speed.
  Vec3 ahead = Mul(Horizontal(s.v), 6.0f);
  if (Length(ahead) > 0.0f && TerrainHit(world, s.at, Add(s.at, ahead))) {
    s.v.x *= -0.5f;
    s.v.z *= -0.5f;
  }

  switch (s.kind) {
    case kTypeBall:
      if (phase == 0 && s.toHead < 5.0f) s.next = kBallTackle;
      break;
    case kTypeBallSpeed:
    case kTypeBallEvil:
      if (s.toHead < 5.0f) s.next = kBallTackle;
      break;
    case kTypeBallSilver:
      if (phase == 0 && type.gunType && s.toHead < 30.0f * s.r && !TerrainHit(world, s.at, s.head))
        s.next = type.gunType->typeValue == kTypeBallLaser ? kBallFireLaser : kBallFire;
      break;
    case kTypeBallElectric:
      if (phase == 0 && s.toHead < 20.0f * s.r) s.next = kBallDischarge;
      break;
    default:
      break;
  }
}

void Chase(BallStep& s) {
  bool evil = s.kind == kTypeBallEvil;
  if (evil || s.age % 180 == 30) {
    Vec3 d = Mul(Normalize(Horizontal(Sub(s.head, s.at))), 0.05f);
    s.v.x = d.x;
    s.v.z = d.z;
  }
  if (evil) {
    int32_t pulse = s.age % 60;
    float k = pulse == 30 ? 1.05f : pulse == 31 ? 1.1f : 1.0f;
    s.ball.SetObjectScale(k, k, k);
  }
  if (s.toHead < 5.0f) s.next = kBallTackle;
  else if (!evil && s.age == 540) s.next = kBallWander;
}

void Follow(BallStep& s) {
  Unit* leader = s.ball.target;
  if (!IsPresent(leader) || leader == &s.player || leader->state == kActorKnockedDown || s.age > 119) {
    s.ball.target = nullptr;
    s.next = kBallWander;
    return;
  }
  s.v.x *= kFollowDamping;
  s.v.z *= kFollowDamping;
  Vec3 pull = Mul(Normalize(Horizontal(Sub(leader->GetObjectWorldPosition(), s.at))), 0.005f);
  s.v.x += pull.x;
  s.v.z += pull.z;
}

// The tackle: a wait facing the head, a squash, a stretch into the dash
// (which hits in ages 51..59), the recoil; the scale ends where it began.
void Tackle(world::GameWorld& world, BallStep& s) {
  Unit& ball = s.ball;
  int32_t a = s.age;
  Vec3 forward = ball.GetObjectWorldFront();
  if (a <= 24) {
    s.v = {};
    Face(ball, Sub(s.head, s.at));
  } else if (a <= 33) {
    ScaleBy(ball, 0.1f, 0.1f, -0.1f);
    s.v = Mul(s.v, 0.9f);
  } else if (a <= 40) {
    s.v = Mul(s.v, 0.9f);
  } else if (a <= 49) {
    ScaleBy(ball, -0.2f, -0.2f, 0.2f);
    s.v = Mul(forward, 0.2f);
  } else if (a <= 59) {
    s.v = Mul(forward, 1.0f / 3.0f);
  } else if (a <= 68) {
    ScaleBy(ball, 0.1f, 0.1f, -0.1f);
    s.v = Mul(forward, 0.2f);
  } else {
    s.v = {};
  }
  if (a == 47) PlaySoundAt(world, kSoundTackle, s.at, 0);
  if (a > 68) {
    ball.SetObjectScale(1, 1, 1);  // no drift from the sums of the steps
    s.next = ChasesAfterwards(s.kind) ? kBallChase : kBallWander;
  }
}

// The discharge: a shiver of the scale while the ball slows, then from age
// 28 a light, lightning round the ball and (Contact) strikes in reach.
void Discharge(world::GameWorld& world, BallStep& s) {
  Unit& ball = s.ball;
  int32_t a = s.age;
  s.v = Mul(s.v, 0.9f);
  if (a < 2) ScaleBy(ball, -0.1f, -0.1f, -0.1f);
  else if (a <= 4) ScaleBy(ball, 0.1f, 0.1f, 0.1f);
  else if (a <= 7) ScaleBy(ball, -0.1f, -0.1f, -0.1f);
  else if (a <= 27) ScaleBy(ball, 0.01f, 0.01f, 0.01f);
  if (a == 28) {
    ball.SetObjectScale(1, 1, 1);
    PlaySoundAt(world, kSoundDischarge, s.at, 0);
    world::AddPointLight(world, s.at, kLightDirection, kBlueLight, 10.0f, 1.0f, 45);
  }
  if (a >= 29) world::CreateLightning(world, s.at, Vec3{}, 6.0f * s.r);
  if (a >= 60) {
    ball.SetObjectScale(1, 1, 1);
    s.next = kBallWander;
  }
}

// The marker a ball put on the player this firing: its weapon type 0
// unit that it owns.
Unit* FindMarker(world::GameWorld& world, Unit& ball) {
  UnitType* markType = ball.type->weaponTypes[0];
  if (!markType) return nullptr;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    Unit* u = world::GetUnitAt(world, slot);
    if (u && u->master == &ball && u->type == markType && u->removalMark == 0) return u;
  }
  return nullptr;
}

// BALL_SILVER's firing: it stops and turns to the player, marks the player,
// and after 80 steps fires its gun type at the mark (a laser stays on the
// ball while it holds state 6).
void Fire(world::GameWorld& world, BallStep& s) {
  Unit& ball = s.ball;
  UnitType& type = *ball.type;
  int32_t a = s.age;
  if (a <= 10) {
    s.v = Mul(s.v, 0.9f);
    Face(ball, Sub(s.head, s.at));
  }
  if (a == 10) {
    PlaySoundAt(world, kSoundMark, s.at, 0);
    if (UnitType* markType = type.weaponTypes[0]) {
      Vec3 at = s.player.GetObjectWorldPosition();
      at.x += float(world::Rand(world) % 201 - 100) / 100.0f;
      at.z += float(world::Rand(world) % 201 - 100) / 100.0f;
      if (Unit* mark = world::PutUnit(world, ball.team.Get(), markType, 1, "target", world::kPutNotPlayer, at,
                                      Vec3{}, nullptr))
        SetUnitMaster(*mark, &ball);
    }
  }
  if (a == 90 && type.gunType) {
    UnitType& gun = *type.gunType;
    if (gun.typeValue == kTypeBallLaser) {
      if (Unit* laser = world::SpawnOwnedUnit(world, s.at, ball.GetObjectWorldFront(), &ball, &gun)) {
        SetUnitParent(*laser, &ball);
        laser->SetObjectPosition(0, 0, 0);  // the ball's own frame from now on
        laser->SetObjectAngles(0, 0, 0);
        laser->velocity = {};
      }
      PlaySoundAt(world, kSoundLaserShot, s.at, 0);
    } else {
      Unit* mark = FindMarker(world, ball);
      Vec3 aim = mark ? mark->GetObjectWorldPosition() : s.head;
      Vec3 direction = Normalize(Sub(aim, s.at));
      if (Length(direction) == 0.0f) direction = ball.GetObjectWorldFront();
      float speed = gun.speed > 0.0f ? gun.speed : 0.0f;
      if (Unit* shot = world::SpawnOwnedUnit(world, s.at, Mul(direction, speed), &ball, &gun))
        shot->target = &s.player;
      PlaySoundAt(world, gun.typeValue == kTypeBallBeam ? kSoundBeamShot : kSoundSilverShot, s.at, 0);
    }
    world::RunPathTriggers(world, kTriggerMain, &ball, &ball);
  }
  if (ball.state == kBallFire ? a > 119 : a >= 180) s.next = kBallWander;
}

void Death(world::GameWorld& world, BallStep& s);

// Knocked (by a blade, a parry, a fall): the ball drops back to the
// ground and takes up its state again, or dies there.
void Knocked(world::GameWorld& world, BallStep& s) {
  Unit& ball = s.ball;
  ball.SetObjectScale(1, 1, 1);
  s.v.y -= kBallGravity;
  SlowHorizontal(s.v, kKnockedFriction);
  if (s.age == 30) LastStruckBy(ball) = -1;  // the same stroke may strike it again
  if (s.at.y < kLowestY) {
    PlaySoundAt(world, kSoundBallGone, s.at, 0);
    s.going = true;
    return;
  }
  // Landed: the terrain within 0.1 under its bottom while it is not rising.
  if (s.v.y <= 0.0f && TerrainHit(world, s.at, Sub(s.at, {0, s.r + 0.1f, 0}))) {
    s.v = {};
    if (GetUnitHp(ball) >= 1) {
      LastStruckBy(ball) = -1;
      s.next = ChasesAfterwards(s.kind) ? kBallChase : kBallWander;
    } else {
      Death(world, s);
    }
  }
}

// A dead ball's piece: it falls, and near the player's head it is drawn in
// and collected.
void Piece(world::GameWorld& world, BallStep& s) {
  s.v.y -= kBallGravity;
  float d = s.toHead;
  if (d < 1.5f && s.age > 5) {
    Vec3 front = s.player.GetObjectWorldFront();
    Vec3 pull = Normalize(Sub(Sub(s.head, s.at), Mul(front, d * 0.5f)));
    s.v = Add(s.v, Mul(pull, 0.05f));
    float speed = Length(s.v);
    if (speed > 0.25f) s.v = Mul(s.v, 0.25f / speed);
  }
  if (d < 0.5f) {
    PlaySoundAt(world, kSoundPiece, s.at, 0);
    s.going = true;
  } else if (s.age > 480 || s.at.y < kLowestY) {
    s.going = true;
  }
}

// [SECTION] Contact with the actor

// A unit a ball can hurt: not the ball, typed and shown, no weapon, not
// INERT, named on the HUD, of the ball's scene, of another (non-empty)
// team, not in its hit cooldown and not already knocked down.
bool IsVictim(const Unit& ball, Unit& w) {
  if (&w == &ball || !w.type || !w.model || w.removalMark) return false;
  if ((w.type->attributes & kAttrWeapon) || (w.flags & kUnitInert) || w.type->hudNameFile.empty()) return false;
  if (w.sceneNumber != ball.sceneNumber) return false;
  const char* team = w.team.Get();
  if (!team[0] || std::strcmp(team, ball.team.Get()) == 0) return false;
  return HitCooldown(w) == 0 && w.state != kActorKnockedDown;
}

// The dash meets the actor: a parry inside the guard's window bounces the
// ball, a guard outside it staggers the actor, no guard knocks it down.
void TackleHit(world::GameWorld& world, BallStep& s, Unit& w) {
  Unit& ball = s.ball;
  Vec3 ballFront = ball.GetObjectWorldFront();
  world::CreateHitEffect(world, GetUnitHeadPos(w), ballFront);
  Vec3 a = Normalize(Horizontal(ballFront)), b = Normalize(Horizontal(w.GetObjectWorldFront()));
  bool guarding = (w.state == kActorGuard || w.state == kActorGuardHeld) && Dot(a, b) >= 0.5f;
  TurnActorToward(w, s.at);
  Vec3 direction = KnockDirection(ball, w);
  Vec3 wAt = w.GetObjectWorldPosition();
  if (guarding && w.actorTime < float(kParryWindow)) {
    s.v = Mul(ballFront, -0.1f);
    s.next = kBallKnocked;
    PlaySoundAt(world, kSoundParry, s.at, 0);
    SetUnitVelocity(w, Mul(direction, 0.1f));
    SetUnitState(w, kActorGuardHeld, 0);
    w.SetObjectAnimation(nullptr, "AnimationSet_guard2", w.actorTime / 60.0f, nullptr, 0.0f, 0.25f);
  } else if (guarding) {
    PlaySoundAt(world, s.kind == kTypeBallSilver ? kSoundBlockedSilver : kSoundBlocked, wAt, 0);
    SetUnitVelocity(w, Mul(direction, 1.0f / 6.0f));
    PutActorInState(w, kActorStaggered, 15, 15.0f, "AnimationSet_dmg", 0.25f);
    world::AddPointLight(world, wAt, kLightDirection, kRedLight, 3.0f, 1.0f, 12);
  } else {
    KnockDown(w, 0.1f);
    SetUnitVelocity(w, Mul(direction, 0.2f));
    LoseOneHp(w);
    PlaySoundAt(world, kSoundKnockedDown, wAt, 0);
    world::AddPointLight(world, wAt, kLightDirection, kRedLight, 3.0f, 1.0f, 12);
  }
  world::RaiseStoredMax(world, kHitPauseSteps);
  HitCooldown(w) = kActorHitCooldown;
}

void DischargeHit(world::GameWorld& world, BallStep& s, Unit& w) {
  Vec3 head = GetUnitHeadPos(w);
  Vec3 direction = KnockDirection(s.ball, w);
  world::CreateHitEffect(world, head, Normalize(Sub(head, s.at)));
  TurnActorToward(w, s.at);
  KnockDown(w, 0.1f);
  SetUnitVelocity(w, Mul(direction, 0.1f));
  LoseOneHp(w);
  Vec3 wAt = w.GetObjectWorldPosition();
  PlaySoundAt(world, kSoundKnockedDown, wAt, 0);
  world::AddPointLight(world, wAt, kLightDirection, kBlueLight, 3.0f, 1.0f, 12);
  world::RaiseStoredMax(world, kHitPauseSteps);
  Vec3 span = Sub(head, s.at);
  float length = Length(span);
  for (int i = 0; i < 15; i++) world::CreateLightning(world, s.at, span, length);
}

// A hurt BALL_EVIL bursts against the actor and throws it down and away.
void EvilHit(world::GameWorld& world, BallStep& s, Unit& w) {
  Vec3 wAt = w.GetObjectWorldPosition();
  KnockDown(w, 0.0f);
  SetUnitVelocity(w, Mul(Add(Normalize(Sub(wAt, s.at)), {0, 0.2f, 0}), 1.0f / 3.0f));
  TurnActorToward(w, s.at);
  LoseOneHp(w);
  world::CreateBomb(world, s.at, Vec3{}, 2, kBurstRise);
  PlaySoundAt(world, kSoundBurst, s.at, 0);
}

// Over the units in slot order, the first victim a hit condition of the
// ball's state holds for is hit; one hit a step.
void Contact(world::GameWorld& world, BallStep& s) {
  Unit& ball = s.ball;
  bool dash = ball.state == kBallTackle && s.age >= 51 && s.age <= 59;
  bool discharge = ball.state == kBallDischarge && s.age > 28;
  bool evil = s.kind == kTypeBallEvil && GetUnitHpRatio(ball) < 0.9f;
  if (!dash && !discharge && !evil) return;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    Unit* w = world::GetUnitAt(world, slot);
    if (!w || !IsVictim(ball, *w)) continue;
    float d = Distance(GetUnitHeadPos(*w), s.at);
    if (dash && d < 1.0f) {
      TackleHit(world, s, *w);
    } else if (discharge && d < 4.0f * s.r) {
      DischargeHit(world, s, *w);
    } else if (evil && d < s.r) {
      EvilHit(world, s, *w);
    } else {
      continue;
    }
    return;
  }
}

// [SECTION] Gathering and merging

// Balls of one kind and team that meet merge into their weapon type 1; a
// ball near another (within 5, in sight) follows it a while.
void Gather(world::GameWorld& world, BallStep& s) {
  Unit& ball = s.ball;
  UnitType* merged = ball.type->weaponTypes[1];
  if (!merged) return;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    Unit* q = world::GetUnitAt(world, slot);
    if (!q || q == &ball || q->removalMark || q->type != ball.type || q->state == kActorKnockedDown) continue;
    if (TypeValue(*q) == kTypeBallEvil || std::strcmp(q->team.Get(), ball.team.Get()) != 0) continue;
    Vec3 qAt = q->GetObjectWorldPosition();
    float d = Distance(qAt, s.at);
    if (!(d <= 5.0f) || TerrainHit(world, s.at, qAt)) continue;
    if (d < 2.0f * s.r) {
      Vec3 middle = Mul(Add(s.at, qAt), 0.5f);
      int32_t hp = GetUnitHp(ball) + GetUnitHp(*q);
      if (Unit* u = world::PutUnit(world, ball.team.Get(), merged, 1, ball.label.Get(), world::kPutNotPlayer, middle,
                                   Vec3{}, nullptr)) {
        u->velocity = Mul(Add(s.v, q->velocity), 0.5f);
        SetUnitState(*u, kBallKnocked, 0);
        SetUnitHp(*u, hp, 0);
      }
      PlaySoundAt(world, kSoundMerge, middle, 0);
      // Marked, not released at once: the world step may not have reached
      // it yet, and its record must stay whole until the world frees it.
      q->removalMark = 1;
      s.going = true;
      return;
    }
    if (d < 5.0f && ball.state != kBallFollow && s.age > 60) {
      s.next = kBallFollow;
      ball.target = q;
      return;
    }
  }
}

// [SECTION] Death: scattered units and pieces

// The SCATTER list: each entry puts its unit beside the ball, falling as a
// knocked ball. An entry with a negative TIME replaces the unit of the
// entry before it, with a chance that grows with the strikes taken, or ends
// the list.
void Scatter(world::GameWorld& world, BallStep& s) {
  Unit& ball = s.ball;
  const auto& entries = ball.type->scatter;
  if (entries.empty()) return;
  PlaySoundAt(world, kSoundScatter, s.at, 0);
  float size = s.r < 1.0f ? s.r : 1.0f;
  Unit* previous = nullptr;
  for (const ScatterEntry& entry : entries) {
    bool replacement = entry.time < 0;
    if (replacement) {
      if (world::Rand(world) % 100 > TimesStruck(ball) || !previous) break;
      world::ReleaseMatchingUnits(world, previous);  // made this step: nothing has seen it yet
      previous = nullptr;
      PlaySoundAt(world, kSoundReplace, s.at, 0);
    }
    Vec3 d = RandomDirection(world);
    Unit* u = world::PutUnit(world, ball.team.Get(), entry.type, 1, ball.label.Get(), world::kPutNotPlayer,
                             Add(s.at, Mul(d, size * 0.5f)), Vec3{}, nullptr);
    if (u) {
      u->velocity = Mul(d, 0.125f * size);
      SetUnitState(*u, kBallKnocked, 0);
      if (replacement) SetUnitHp(*u, kReplacementHp, 0);
    }
    previous = u;
  }
}

void DropPieces(world::GameWorld& world, BallStep& s) {
  Unit& ball = s.ball;
  UnitType* pieceType = ball.type->weaponTypes[3];
  if (!pieceType) return;
  int32_t struck = TimesStruck(ball);
  struck = struck < 0 ? 0 : struck > kMostCountedStrikes ? kMostCountedStrikes : struck;
  float spread = 0.0625f * std::sqrt(float(struck));
  for (int32_t i = 0; i < struck + 4; i++) {
    Vec3 d = RandomDirection(world);
    Unit* piece = world::PutUnit(world, ball.team.Get(), pieceType, 1, "piece", world::kPutNotPlayer, s.at, Vec3{},
                                 nullptr);
    if (!piece) break;
    // They pop up and spread farther the more strikes the ball took.
    piece->velocity = Add(Mul(Horizontal(d), 0.125f + spread), {0, 0.125f, 0});
    SetUnitState(*piece, kBallPiece, 0);
  }
}

void Death(world::GameWorld& world, BallStep& s) {
  Scatter(world, s);
  PlaySoundAt(world, kSoundBallGone, s.at, 0);
  DropPieces(world, s);
  s.going = true;
}

}  // namespace

// [SECTION] The ball step

int UpdateBallUnit(world::GameWorld& world, Unit& ball) {
  // A ball placed on a path follows it.
  if (ball.state == kUnitStateFollowPath) {
    if (!ball.parent && ball.path) FollowPath(world, ball);
    return 1;
  }
  Unit* player = world::GetPlayerUnit(world);
  if (!player || !ball.type || ball.removalMark) return 1;

  BallStep s{ball, *player};
  s.at = ball.GetObjectWorldPosition();
  s.head = GetUnitHeadPos(*player);
  s.v = ball.velocity;
  if (!IsFinite(s.v)) s.v = {};
  s.r = BallRadius(ball);
  s.toHead = Distance(s.head, s.at);
  s.age = UnitAge(ball);
  s.kind = TypeValue(ball);
  s.next = ball.state;

  // Hovering, and the fall when the ground is gone.
  switch (ball.state) {
    case kBallWander:
    case kBallChase: {
      bool high = ball.state == kBallChase && s.kind == kTypeBallEvil;
      Hover(world, s.at, s.v, high ? 1.5f : 0.5f, high ? 1.5f : 0.55f);
      float fall = ball.state == kBallChase ? 10.0f : 4.0f;
      if (!TerrainHit(world, s.at, Sub(s.at, {0, fall, 0}))) s.next = kBallKnocked;
      break;
    }
    case kBallFollow:
      Hover(world, s.at, s.v, 0.8f, 0.85f);
      break;
    default:
      break;
  }

  bool piece = ball.state == kBallPiece;
  if (s.next == ball.state) {
    switch (ball.state) {
      case kBallWander: Wander(world, s); break;
      case kBallChase: Chase(s); break;
      case kBallFollow: Follow(s); break;
      case kBallTackle: Tackle(world, s); break;
      case kBallDischarge: Discharge(world, s); break;
      case kBallFire:
      case kBallFireLaser: Fire(world, s); break;
      case kBallKnocked: Knocked(world, s); break;
      case kBallPiece: Piece(world, s); break;
      default: break;
    }
  }
  if (!s.going && !piece && ball.state <= kBallFollow && s.next <= kBallFollow) Gather(world, s);
  if (!s.going && !piece) Contact(world, s);

  if (!s.going) {
    Vec3 at = s.at;
    bool dash = ball.state == kBallTackle && s.age >= 51 && s.age <= 59;
    if (!piece && !dash) at = KeepApart(world, ball, at, s.r);
    at = MoveBall(world, at, s.v, s.r);
    if (piece && s.v.y == 0.0f) SlowHorizontal(s.v, kKnockedFriction);  // a piece at rest slides to a stop
    if (!IsFinite(at)) at = s.at;
    if (!IsFinite(s.v)) s.v = {};
    ball.SetObjectPosition(at.x, at.y, at.z);
    SetUnitVelocity(ball, s.v);
    // A splash under a ball that skims over water.
    int onWater = 0;
    Vec3 surface{};
    if (!piece && Length(s.v) > kSplashSpeed &&
        TerrainHit(world, at, Sub(at, {0, s.r + 1.0f, 0}), &surface, &onWater) && onWater)
      world::CreateSplash(world, surface, s.r * 0.5f);
  }

  // The end of the step: the next state lands when UpdateUnit ends (its
  // age restarts only on a change), the hit cooldown runs down, and a ball
  // that goes ends here on its live record.
  if (s.next != ball.state) RequestUnitState(ball, s.next);
  if (HitCooldown(ball) > 0) HitCooldown(ball)--;
  if (s.going) Finish(world, ball);
  return 1;
}

// [SECTION] Beam shots, lasers and target marks

int UpdateBallBeamUnit(world::GameWorld& world, Unit& beam) {
  if (!beam.type || beam.removalMark) return 1;
  const UnitType& type = *beam.type;
  int32_t age = UnitAge(beam);
  Vec3 from = beam.GetObjectPosition();
  Vec3 v = IsFinite(beam.velocity) ? beam.velocity : Vec3{};
  float s = Length(v);
  v.y -= kShotDrop;
  Vec3 to = Add(from, v);
  world::AddPointLight(world, to, kLightDirection, kBlueLight, 1.0f, 1.0f, 1);

  int32_t steps[4];
  RangeInSteps(type, s, steps);
  Unit* owner = beam.master;
  Vec3 direction = Normalize(v);
  bool hit = false;
  if (age >= 2) {
    render::GraphicsSystem* gs = world::GetUnitDatabase(world).graphics;
    Vec3 scale = beam.GetObjectScale();
    for (int slot = world::CountUnitSlots(world) - 1; slot >= 1; slot--) {
      Unit* w = world::GetUnitAt(world, slot);
      if (!w || !w->type || w == &beam || !IsEnemyUnit(world, beam, *w)) continue;
      if (age > steps[TargetClass(*w)] || (w->type->attributes & (kAttrWeapon | kAttrGhost))) continue;
      Vec3 wAt = w->GetObjectWorldPosition();
      float d = Distance(GetUnitHeadPos(*w), to) - 1.5f * s;
      if (!(d < w->GetObjectRadius())) continue;
      bool struck = false;
      if (d < 0.0f && !(w->type->attributes & kAttrLarge) && !(w->flags & kUnitInert) && scale.z != 0.0f) {
        // Right beside the beam's path: the beam is moved onto it.
        Vec3 local = beam.TransformPointToLocal(wAt);
        if (std::fabs(local.z) <= s / std::fabs(scale.z)) {
          to = wAt;
          struck = true;
        }
      }
      if (!struck && !w->TestObjectHitSegment(gs, nullptr, nullptr, from, to, 8)) continue;

      hit = true;
      bool shielded = (w->flags & kUnitInert) || GetUnitHp(*w) <= 0;
      int32_t amount = 0;
      if (!shielded) {
        amount = (w->flags & kUnitBarrier) ? 0 : BallWeaponAmount(world, owner, *w, beam.target);
        if (owner) RecordHit(world, *owner, w, amount);
      }
      world::CreateBomb(world, to, Vec3{}, 1, kBurstRise);
      if (amount > 0) KnockDownByBeam(world, *w, direction, 0.2f);
    }
  }

  Vec3 ground{};
  if (age >= 1 && TerrainHit(world, from, to, &ground)) {
    world::CreateBomb(world, ground, Vec3{}, 1, kBurstRise);
    hit = true;
  }

  beam.velocity = v;
  beam.SetObjectPosition(to.x, to.y, to.z);
  int32_t largest = 0;
  for (int32_t n : steps) largest = n > largest ? n : largest;
  if (hit || age > largest) Finish(world, beam);
  return 1;
}

int UpdateBallLaserUnit(world::GameWorld& world, Unit& laser) {
  if (laser.removalMark) return 1;
  int32_t age = UnitAge(laser);
  Vec3 scale = laser.GetObjectScale();
  float reach2 = (scale.x * scale.x + scale.y * scale.y) / 4.0f;
  if (!(reach2 > 0.5f)) reach2 = 0.5f;
  render::GraphicsSystem* gs = world::GetUnitDatabase(world).graphics;
  Unit* owner = laser.master;

  if (laser.type && age >= 8 && age <= 45 && age % 6 == 0) {
    Vec3 beamFrom = laser.TransformPointToWorld({0, 0, -1});
    Vec3 beamTo = laser.TransformPointToWorld({0, 0, 1});
    Vec3 direction = laser.GetObjectWorldFront();
    for (int slot = world::CountUnitSlots(world) - 1; slot >= 1; slot--) {
      Unit* w = world::GetUnitAt(world, slot);
      if (!w || !w->type || w == &laser || !IsEnemyUnit(world, laser, *w)) continue;
      if ((w->flags & (kUnitInert | kUnitBarrier)) || GetUnitHp(*w) <= 0) continue;
      Vec3 local = laser.TransformPointToLocal(GetUnitHeadPos(*w));
      local.x *= scale.x;
      local.y *= scale.y;
      if (!(local.z > -1.0f && local.z <= 1.0f)) continue;
      float off2 = local.x * local.x + local.y * local.y;
      if (w->type->attributes & kAttrLarge) {
        if (!(std::sqrt(off2) / 20.0f < w->GetObjectRadius())) continue;
        if (!w->TestObjectHitSegment(gs, nullptr, nullptr, beamFrom, beamTo, 4)) continue;
      } else if (!(off2 < reach2)) {
        continue;
      }
      int32_t amount = BallWeaponAmount(world, owner, *w, owner ? owner->target : nullptr);
      if (owner) RecordHit(world, *owner, w, amount);
      world::CreateBomb(world, w->GetObjectWorldPosition(), Vec3{}, 1, kBurstRise);
      if (amount > 0) KnockDownByBeam(world, *w, direction, 0.25f);
    }
  }

  // The beam's texture runs along it, 3 texels a step.
  if (gs && laser.surface) {
    float offset = 3.0f * float(age);
    float w = float(laser.surface->width), h = float(laser.surface->height);
    laser.BuildSurfaceGeometry(*gs, 0.0f, offset, w, offset + h);
  }
  float colour[4];
  laser.GetObjectColor(colour);
  float alpha = LaserAlpha(age, colour[3] * 255.0f);
  if (alpha < 0.0f) alpha = 0.0f;
  laser.SetObjectColor(-1, -1, -1, alpha / 255.0f);

  // It lives while its ball holds the laser's firing state.
  Unit* ball = laser.parent;
  bool ballFiring = IsPresent(ball) && ball->state == kBallFireLaser;
  if (!ballFiring || alpha <= 0.0f) Finish(world, laser);
  return 1;
}

int UpdateBallTargetUnit(world::GameWorld& world, Unit& mark) {
  (void)world;
  if (mark.removalMark) return 1;
  Vec3 v = IsFinite(mark.velocity) ? Mul(mark.velocity, 0.5f) : Vec3{};
  mark.velocity = v;
  Vec3 at = Add(mark.GetObjectWorldPosition(), v);
  mark.SetObjectPosition(at.x, at.y, at.z);
  if (UnitAge(mark) > 75) mark.removalMark = 1;
  return 1;
}

}  // namespace units
