// units_flight.cpp -- the flight model and attitude step, crashes, falling
// wrecks and path flight.
//
// The flight model works per step: velocities are world units per step,
// turn rates radians per step. Above its stall speed an aircraft carries its
// own weight (gravity shows only as the cost of climbing and the sink of a
// bank); below it the nose drops and it sinks. A player aircraft also feels
// the ground: seven body probes crash it into terrain and units, and the
// tires of its attachments carry it on runways.
//
// Turn conventions, as the attitude step applies them: a positive pitch
// moment raises the nose, a positive yaw moment swings it left, a positive
// roll moment raises the right wing (the roll angle grows). Controls run the
// other way for yaw and roll: positive roll and yaw controls turn right.
//
// Index
//   [SECTION] Helpers
//   [SECTION] Skill and stall speed
//   [SECTION] The attitude step
//   [SECTION] Ground contact and landing gear
//   [SECTION] The flight step
//   [SECTION] Falling wrecks and loop sounds
//   [SECTION] Path flight

#include <climits>
#include <cmath>

#include "core/core_public.h"
#include "units/units_flight.h"
#include "units_local.h"
#include "units_projectile.h"
#include "units_shots.h"

namespace units {

// ----------------------------------------------------------------------------
// [SECTION] Helpers
// ----------------------------------------------------------------------------

namespace {

constexpr float kGravity = 9.8f / 3600.0f;     // per step, per step
constexpr float kDrag = 1.0f / 600.0f;         // share of the velocity lost per step
constexpr float kWreckGravity = 0.006f;
constexpr float kPi = 3.141592f;
constexpr float kBankYaw = -0.017453292f / 10.0f;
constexpr int kTerrainMode = 3;
constexpr int kRpmStep = 50;
constexpr int kRpmLowest = 60;
constexpr int kRpmHighest = 20000;
constexpr int kSweepLowest = 5;
constexpr int kSweepHighest = 45;
constexpr int32_t kWreckSteps = 1200;
constexpr float kGearStep = 0.05f;

// The sound slots a player aircraft loops: lock and locked tones, the two
// warnings.
constexpr int kLoopSounds[4] = {kSoundLockTone, kSoundLockedTone, kSoundWarningLoopA, kSoundWarningLoopB};

// An orientation as its two axes; the right axis is up x forward.
struct Axes {
  Vec3 forward;
  Vec3 up;

  Vec3 Right() const { return Cross(up, forward); }
  void Turn(const Vec3& axis, float angle) {
    if (angle == 0.0f) return;
    float c = std::cos(angle), s = std::sin(angle);
    forward = Normalize(TurnAbout(forward, axis, c, s));
    up = Normalize(TurnAbout(up, axis, c, s));
  }
};

Axes AxesFromAngles(const Vec3& angles) {
  Axes a{};
  core::DirectionFromAngles(&a.forward, &a.up, angles);
  return a;
}

Vec3 AnglesFromAxes(const Axes& a) {
  Vec3 angles{};
  core::AnglesFromDirection(&angles, a.forward, &a.up);
  return angles;
}

// The model the probes measure: the unit's own, else its type's.
render::CMesh* ProbeModel(Unit& unit) {
  if (render::CMesh* m = unit.GetObjectModel()) return m;
  return unit.type ? unit.type->model.get() : nullptr;
}

// Truncation of a float that may lie beyond int's range.
int32_t TruncateToInt(float value) {
  if (!(value > -2.0e9f)) return value != value ? 0 : INT32_MIN + 1;
  if (value > 2.0e9f) return INT32_MAX;
  return int32_t(value);
}

// Stops the sound slots a player aircraft loops, where they play.
void StopPlayerLoops(world::GameWorld& world, Unit& unit) {
  if (!(unit.flags & kUnitPlayer)) return;
  for (int slot : kLoopSounds)
    if (world::IsWorldSoundPlaying(world, slot)) world::StopWorldSound(world, slot);
}

}  // namespace

// ----------------------------------------------------------------------------
// [SECTION] Skill and stall speed
// ----------------------------------------------------------------------------

float FlightSkill(int32_t level) {
  if (level < 0) return 1.0f;
  float s = 0.7f + 0.03f * float(level);
  return s > 1.0f ? 1.0f : s;
}

float StallSpeed(world::GameWorld& world, const Unit& unit) {
  if (!unit.type || (unit.flags & kUnitSimple)) return 0.0f;
  float stall = 0.6f * unit.type->power;
  // Reading the world position only refreshes the object's matrix cache.
  float altitude = const_cast<Unit&>(unit).GetObjectWorldPosition().y;
  float ceiling = float(world::GetStallHeight(world));
  if (altitude >= ceiling) stall += 0.005f * (altitude - ceiling);
  return stall > 0.0f ? stall : 0.0f;
}

// ----------------------------------------------------------------------------
// [SECTION] The attitude step
// ----------------------------------------------------------------------------

void StepAttitude(world::GameWorld& world, Unit& unit, float pitchTurn, float yawTurn, float rollTurn, float droop) {
  (void)world;
  // 1. Move, with the impulse of a hit while it lasts.
  Vec3 p = Add(unit.GetObjectPosition(), unit.velocity);
  Vec3 angles = unit.GetObjectAngles();
  if (unit.impulseSteps != 0) {
    p = Add(p, unit.impulseVelocity);
    angles = Add(angles, unit.impulseRotation);
    unit.impulseSteps--;
  }

  // 2. The turns about the unit's own axes, each axis taken after the turn
  // before. Rodrigues' sense: nose up is a negative turn about the right
  // axis, nose left a negative turn about up, a growing roll angle a
  // positive turn about forward.
  Axes a = AxesFromAngles(angles);
  a.Turn(Normalize(a.Right()), -pitchTurn);
  a.Turn(a.up, -yawTurn);
  a.Turn(a.forward, rollTurn);

  if (!(unit.flags & kUnitSimple)) {
    // 3a. A bank makes the aircraft yaw into it. The tilt is the height of
    // the right axis (up x forward): negative when banked right, which
    // turns the nose right about the world vertical.
    float tilt = a.Right().y;
    a.Turn(Vec3{0, 1, 0}, tilt * kBankYaw);

    // 3b. The droop: the nose sinks in banks and in a stall.
    Vec3 now = AnglesFromAxes(a);
    float pitch = now.x, roll = now.z;
    float base = std::cos(std::fabs(roll)) - 1.0f;
    if (pitch <= 0.0f) {
      if (droop > 0.0f) base -= droop * 700.0f / 60.0f;
      base *= 0.99f - std::fabs(pitch) * 2.0f / kPi;
    } else {
      base *= 1.0f - std::fabs(pitch) * 2.0f / kPi;
      if (droop > 0.0f) base -= droop * 700.0f / 60.0f;
    }
    float speed = Length(unit.velocity);
    if (speed < 0.1f) base *= speed * 10.0f;
    float sink = (1.0f - unit.gearContactRate) * base / 700.0f;
    // About the level axis across the heading, so that the nose sinks
    // toward the ground whatever the bank; the body's right axis when the
    // nose points straight up or down.
    Vec3 across = Normalize(Cross(Vec3{0, 1, 0}, a.forward));
    if (Length(across) == 0.0f) across = Normalize(a.Right());
    a.Turn(across, -sink);
  }

  // 4. Write the pose.
  unit.SetObjectPosition(p.x, p.y, p.z);
  angles = AnglesFromAxes(a);
  unit.SetObjectAngles(angles.x, angles.y, angles.z);
}

// ----------------------------------------------------------------------------
// [SECTION] Ground contact and landing gear
// ----------------------------------------------------------------------------

namespace {

// Seven body probes plus the centre, whose segment the unit test also runs
// (index 7).
constexpr int kBodyProbes = 7;
constexpr int kProbeSegments = kBodyProbes + 1;

// The body probes in the unit's own frame: the nose, bottom, top, the wing
// tips and the half-span points, from the model's box (the object's radius
// as a box without a model).
void BodyProbes(Unit& unit, Vec3 local[kProbeSegments]) {
  Vec3 lo{}, hi{};
  render::CMesh* model = ProbeModel(unit);
  if (model) model->GetMeshBounds(&hi, &lo, nullptr, nullptr);
  if (!model || !(lo.x <= hi.x)) {
    float r = unit.GetObjectRadius();
    lo = {-r, -r, -r};
    hi = {r, r, r};
  }
  local[0] = {0, 0, 1.2f};
  local[1] = {0, lo.y, 0};
  local[2] = {0, hi.y, 0};
  local[3] = {lo.x, 0, 0};
  local[4] = {hi.x, 0, 0};
  local[5] = {lo.x / 2, 0, 0};
  local[6] = {hi.x / 2, 0, 0};
  local[7] = {0, 0, 0};
}

struct Contact {
  int index = -1;          // the probe: 0..6, 7 the centre (units only)
  Vec3 point{};
  Vec3 normal{0, 1, 0};
  Vec3 end{};              // the probe's position after the move
  Unit* unit = nullptr;    // the unit met; null for terrain
  int onWater = 0;
};

// The first probe whose segment meets the terrain; failing that, the first
// that passes a unit. Segments of no length (a unit at rest) meet nothing.
bool FindContact(world::GameWorld& world, Unit& unit, const Vec3 before[kProbeSegments],
                 const Vec3 after[kProbeSegments], Contact* out) {
  for (int i = 0; i < kBodyProbes; i++) {
    if (Length(Sub(after[i], before[i])) == 0.0f) continue;
    Vec3 hit{}, normal{0, 1, 0};
    int onWater = 0;
    if (!world::CastRayAgainstTerrain(world, &hit, &normal, before[i], after[i], kTerrainMode, &onWater)) continue;
    out->index = i;
    out->point = hit;
    out->normal = Length(normal) > 0.0f ? Normalize(normal) : Vec3{0, 1, 0};
    out->end = after[i];
    out->onWater = onWater;
    return true;
  }
  for (int i = 0; i < kProbeSegments; i++) {
    if (Length(Sub(after[i], before[i])) == 0.0f) continue;
    Vec3 hit{}, normal{0, 1, 0};
    int slot = world::FindUnitOnSegment(world, &unit, before[i], after[i], &hit, &normal);
    if (slot < 0) continue;
    out->index = i;
    out->point = hit;
    out->normal = Length(normal) > 0.0f ? Normalize(normal) : Vec3{0, 1, 0};
    out->end = after[i];
    out->unit = world::GetUnitAt(world, slot);
    return true;
  }
  return false;
}

// The damage of a contact whose velocity meets the surface at minus cosine
// c: fatal above 0.7, else 40 + 200 c. A glancing contact (c below -0.2)
// would give a negative amount: it hurts nothing, and never heals.
int32_t ImpactDamage(float c) {
  if (c > 0.7f) return kKillDamage;
  int32_t amount = 40 + TruncateToInt(200.0f * c);
  return amount > 0 ? amount : 0;
}

// Tumble rates of a wreck by the probe that struck: the nose spins it,
// the tips and half-spans roll it, a unit rolls it all ways.
void SetTumble(Unit& unit, int index) {
  int32_t rates[3] = {0, 0, 0};
  switch (index) {
    case 2: rates[0] = 6; break;
    case 3: rates[1] = 8; break;
    case 4: rates[1] = -8; break;
    case 5: rates[1] = 14; break;
    case 6: rates[1] = -14; break;
    case 7: rates[0] = rates[1] = rates[2] = -4; break;
    default: break;
  }
  for (int i = 0; i < 3; i++) BehaviourInt(unit, 8 + i) = rates[i];
}

// Puts a unit at a world point; with a parent the point is taken into the
// parent's frame, which the unit then follows.
void SettleOn(Unit& unit, Unit* parent, const Vec3& point) {
  Vec3 at = point;
  if (parent) {
    at = parent->TransformPointToLocal(point);
    SetUnitParent(unit, parent);
  }
  unit.SetObjectPosition(at.x, at.y, at.z);
}

// The crash of a player aircraft at a contact: damage, the effect at the
// point, then a bounce or the wreck's state. True when it was destroyed.
bool Crash(world::GameWorld& world, Unit& unit, const Contact& contact) {
  world::RunPathTriggers(world, kTriggerTouch, &unit, &unit);
  float c = -Dot(contact.normal, Normalize(unit.velocity));
  int32_t hp = ApplyDamage(world, &unit, ImpactDamage(c), 0, &unit, &unit);
  // A crash is its own source: cleared, so that the next contact counts.
  unit.lastDamageSource = nullptr;
  unit.lastDamageSourceSerial = 0;

  if (contact.onWater) world::CreateSplash(world, contact.point, 12.0f);
  else world::CreateBomb(world, contact.point, Mul(contact.normal, 0.1f), 1, 0.004f);

  if (hp > 0) {
    unit.control = {};
    unit.throttle = 0;
    unit.moment = {};
    PlaySoundAt(world, kSoundBounce, unit.GetObjectWorldPosition(), 0);
    // Turned by pi about the normal and reversed: mirrored off the surface.
    const Vec3& n = contact.normal;
    unit.velocity = Sub(unit.velocity, Mul(n, 2.0f * Dot(unit.velocity, n)));
    // Out of the contact along the normal, by the probe's depth behind the
    // surface and a little more.
    float depth = Dot(Sub(contact.point, contact.end), n);
    if (!(depth > 0.0f)) depth = 0.0f;
    Vec3 p = Add(unit.GetObjectPosition(), Mul(n, depth + 0.05f));
    unit.SetObjectPosition(p.x, p.y, p.z);
    if (Length(unit.velocity) > 0.0f) {
      Vec3 up = unit.GetObjectWorldUp();
      unit.SetObjectLookAt(Normalize(unit.velocity), &up);
    }
    return false;
  }

  if (contact.index == 0 || contact.index == 1) {
    RequestUnitState(unit, kUnitStateFinal);
    SettleOn(unit, contact.unit, contact.point);
  } else {
    RequestUnitState(unit, kUnitStateDestroyed);
    SetTumble(unit, contact.index);
  }
  PlaySoundAt(world, kSoundCrash, contact.point, 0);
  ReleaseWeaponChildren(world, unit, -1);
  return true;
}

// The tire points of the attachments, in world space; `has` marks the
// slots that carry a tire.
void TirePoints(Unit& unit, Vec3 points[kUnitAttachments], bool has[kUnitAttachments]) {
  for (int i = 0; i < kUnitAttachments; i++) {
    Unit* tire = unit.attachments[i];
    has[i] = tire && tire->type && IsDefinedPoint(tire->type->tirePos);
    if (has[i]) points[i] = tire->TransformPointToWorld(tire->type->tirePos);
  }
}

// The push that lifts a tire out of the ground: the deepest of four tries
// of its step's segment, each shifted 0.01 sideways so that a segment along
// an edge of the ground's triangles still finds it. Each segment starts a
// little above the tire's old place, so a tire resting on the surface (or
// a hair inside it) still meets the surface. Zero when it is not in.
Vec3 TirePush(world::GameWorld& world, const Vec3& before, const Vec3& after) {
  static const Vec3 kShifts[4] = {{0.01f, 0, 0}, {-0.01f, 0, 0}, {0, 0, 0.01f}, {0, 0, -0.01f}};
  constexpr float kLead = 0.05f;
  float deepest = 0.0f;
  Vec3 push{};
  for (const Vec3& shift : kShifts) {
    Vec3 from = Add(Add(before, shift), Vec3{0, kLead, 0});
    Vec3 to = Add(after, shift);
    Vec3 hit{}, normal{0, 1, 0};
    if (!world::CastRayAgainstTerrain(world, &hit, &normal, from, to, kTerrainMode)) continue;
    normal = Normalize(normal);
    float depth = Dot(Sub(hit, to), normal);
    if (depth > deepest) {
      deepest = depth;
      push = Mul(normal, depth);
    }
  }
  return push;
}

// The landing gear of a player aircraft after its move. Each tire's
// attachment vector is a spring: it takes 0.05 of the tire's push, loses a
// twentieth a step, and is kept short; below 0.0001 it rests at zero, so a
// tire that lands again is heard. While tires are in the ground the turn
// rates lose what the ground resists, the tires' pushes about the centre
// tilt the unit onto them (scaled by the contact rate), the unit rises by
// the mean push of the tires in the ground and stops sinking into it. True
// when a tire was in.
bool StepLandingGear(world::GameWorld& world, Unit& unit, const Vec3 before[kUnitAttachments],
                     const bool has[kUnitAttachments]) {
  Vec3 after[kUnitAttachments];
  bool now[kUnitAttachments];
  TirePoints(unit, after, now);

  Vec3 centre = unit.GetObjectWorldPosition();
  Axes axes{Normalize(unit.GetObjectWorldFront()), Normalize(unit.GetObjectWorldUp())};
  Vec3 right = Normalize(axes.Right());
  Vec3 pushSum{}, turn{};
  int pushed = 0;
  for (int i = 0; i < kUnitAttachments; i++) {
    if (!has[i] || !now[i]) continue;
    Vec3 push = TirePush(world, before[i], after[i]);
    Vec3& spring = unit.attachmentVectors[i];
    bool resting = spring.x == 0.0f && spring.y == 0.0f && spring.z == 0.0f;
    spring = Mul(Add(spring, Mul(push, 0.05f)), 19.0f * 0.05f);
    float length = Length(spring);
    if (length > 0.1f) spring = Sub(spring, Mul(spring, 0.1f / length));
    else if (length < 0.0001f) spring = {};
    if (Length(push) == 0.0f) continue;

    pushed++;
    pushSum = Add(pushSum, push);
    // The tire's place and push in the unit's own axes.
    Vec3 r = Sub(after[i], centre);
    Vec3 rl{Dot(r, right), Dot(r, axes.up), Dot(r, axes.forward)};
    Vec3 pl{Dot(push, right), Dot(push, axes.up), Dot(push, axes.forward)};
    float r2 = Dot(rl, rl);
    if (r2 > 0.000001f) {
      // A push up ahead of the centre raises the nose; one on the right
      // raises the right wing (the roll angle grows).
      turn.x += (rl.z * pl.y - rl.y * pl.z) / r2;
      turn.z += (rl.x * pl.y - rl.y * pl.x) / r2;
    }
    if (resting) {
      int sound = rl.z > 0.0f ? kSoundTireFront : rl.x > 0.0f ? kSoundTireRight : kSoundTireLeft;
      PlaySoundAt(world, sound, after[i], 0);
    }
  }
  if (pushed == 0) return false;

  // The ground's normal (the springs' sum) in the unit's own axes; each turn
  // rate keeps 1 - |its component|.
  Vec3 sum{};
  for (int i = 0; i < kUnitAttachments; i++)
    if (unit.attachments[i]) sum = Add(sum, unit.attachmentVectors[i]);
  sum = Normalize(sum);
  Vec3 n{Dot(sum, right), Dot(sum, axes.up), Dot(sum, axes.forward)};
  unit.moment.x *= 1.0f - std::fabs(n.x);
  unit.moment.y *= 1.0f - std::fabs(n.y);
  unit.moment.z *= 1.0f - std::fabs(n.z);
  unit.moment = Add(unit.moment, Mul(turn, unit.gearContactRate));

  Vec3 lift = Mul(pushSum, 1.0f / float(pushed));
  Vec3 p = Add(unit.GetObjectPosition(), lift);
  unit.SetObjectPosition(p.x, p.y, p.z);
  // The ground takes up the sink: what the velocity still had into it is
  // gone (left, the next step's blend toward the nose would turn it into
  // speed along the ground).
  Vec3 up = Normalize(lift);
  float into = Dot(unit.velocity, up);
  if (into < 0.0f) unit.velocity = Sub(unit.velocity, Mul(up, into));
  return true;
}

}  // namespace

// ----------------------------------------------------------------------------
// [SECTION] The flight step
// ----------------------------------------------------------------------------

namespace {

// A control toward its request by at most `most`.
float Approach(float value, float request, float most) {
  float d = request - value;
  if (std::fabs(d) <= most) return request;
  return d > 0.0f ? value + most : value - most;
}

// One moment component toward its target: by `step`, or by a tenth of the
// distance once within one step.
float ApproachMoment(float moment, float target, float step) {
  float d = target - moment;
  if (std::fabs(d) < step) return (moment * 9.0f + target) / 10.0f;
  return d > 0.0f ? moment + step : moment - step;
}

// Above twice its rate a moment falls halfway back to it.
float LimitMoment(float moment, float rate) {
  if (moment > 2.0f * rate) return (moment + 2.0f * rate) / 2.0f;
  if (moment < -2.0f * rate) return (moment - 2.0f * rate) / 2.0f;
  return moment;
}

}  // namespace

int StepFlightModel(world::GameWorld& world, Unit& unit, const FlightGunInput& gun, const FlightWeaponInput& weapon,
                    float roll, float pitch, float throttle, float yaw) {
  if (!unit.type) return 0;
  const UnitType& type = *unit.type;
  const float power = type.power;
  const float rate = type.stability / 60.0f;
  const Vec3 turnRate = Mul(type.mobility, 1.0f / 60.0f);  // pitch, yaw, roll
  const float skill = FlightSkill(unit.level);
  const float stall = StallSpeed(world, unit);
  const float effectiveStall = (1.0f - unit.landingRate / 5.0f) * stall;
  const float g = unit.gearContactRate;
  const bool simple = (unit.flags & kUnitSimple) != 0;
  const bool local = IsUnitLocal(unit);

  // 1. The pose and velocity.
  const Vec3 forward = Normalize(unit.GetObjectWorldFront());
  const Vec3 up = Normalize(unit.GetObjectWorldUp());
  Vec3 v = unit.velocity;
  const float speed = Length(v);

  // 2. The stall factor.
  float stallFactor = GetStallFactor(unit);
  if (stallFactor > 0.0f) stallFactor += speed > 1.1f * effectiveStall ? -0.1f : 0.01f;
  else if (stallFactor == 0.0f && speed < effectiveStall) stallFactor = 0.15f;
  stallFactor = Clamp(stallFactor, 0.0f, 1.0f);
  SetStallFactor(unit, stallFactor);

  // 3. Controls toward the requests (a copy of another peer's unit keeps
  // the controls it was sent), then their ranges.
  if (local) {
    unit.control.x = Approach(unit.control.x, roll, 2.0f * rate);
    unit.control.y = Approach(unit.control.y, pitch, 2.0f * rate);
    unit.control.z = Approach(unit.control.z, yaw, 2.0f * rate);
  }
  unit.control.x = Clamp(unit.control.x, -1.0f, 1.0f);
  unit.control.y = Clamp(unit.control.y, -0.7f, 1.0f);
  unit.control.z = Clamp(unit.control.z, -1.0f, 1.0f);
  unit.throttle = Clamp(-throttle, -1.0f, 1.0f);

  // 4. Where the gear leans: the sum of the attachment springs.
  Vec3 gearSum{};
  if (g > 0.0f) {
    for (int i = 0; i < kUnitAttachments; i++)
      if (unit.attachments[i]) gearSum = Add(gearSum, unit.attachmentVectors[i]);
    gearSum = Normalize(gearSum);
  }

  if (local) {
    // 5. Turn targets: pitch, yaw, roll.
    float f = 1.0f - stallFactor;
    Vec3 target{f * unit.control.y * turnRate.x * skill, -f * unit.control.z * turnRate.y * skill,
                -f * unit.control.x * turnRate.z * skill};
    if (g > 0.0f && speed < stall) {
      // On the gear below the stall speed the surfaces bite less, and roll
      // and yaw steer the nose wheel instead.
      target = Mul(target, speed / stall);
      float s = Clamp(unit.control.x + unit.control.z, -1.0f, 1.0f);
      float steer = (1.0f - speed / stall) * s / 30.0f * g;
      if (speed < 0.1f) steer *= speed * 10.0f;
      target.y -= steer;
    }

    // 6. Turn rates far beyond the type's fall halfway back.
    unit.moment.x = LimitMoment(unit.moment.x, turnRate.x);
    unit.moment.y = LimitMoment(unit.moment.y, turnRate.y);
    unit.moment.z = LimitMoment(unit.moment.z, turnRate.z);

    // 7. Turn rates toward the targets.
    Vec3 step = Mul(turnRate, rate);
    if (speed < stall) {
      float k = speed / stall;
      auto scaled = [&](float full) {
        float s = full * k;
        if (s < 0.0001f) s = 0.0001f;
        return s > full ? full : s;
      };
      step = {scaled(step.x), scaled(step.y), scaled(step.z)};
    }
    if (step.y < g / 20.0f) step.y = g / 20.0f;
    unit.moment.x = ApproachMoment(unit.moment.x, target.x, step.x);
    unit.moment.y = ApproachMoment(unit.moment.y, target.y, step.y);
    unit.moment.z = ApproachMoment(unit.moment.z, target.z, step.z);
  }

  // 8. The engine rpm word (a type without POWER reads its speed share as 0).
  if (speed > 0.0f) {
    float share = power != 0.0f ? speed / power * 5000.0f : 0.0f;
    int32_t rpmTarget = TruncateToInt(share + (unit.throttle + 1.0f) * 0.5f * 5000.0f);
    int64_t d = int64_t(rpmTarget) - unit.engineRpm;
    if (d > -kRpmStep && d < kRpmStep) unit.engineRpm = rpmTarget;
    else unit.engineRpm += d > 0 ? kRpmStep : -kRpmStep;
    if (unit.engineRpm < kRpmLowest) unit.engineRpm = kRpmLowest;
    if (unit.engineRpm > kRpmHighest) unit.engineRpm = kRpmHighest;
  } else {
    unit.engineRpm = 0;
  }

  // 9. Drag, more with the landing flaps out.
  {
    Vec3 before = v;
    v = Sub(v, Mul(before, kDrag));
    if (unit.landingRate > 0.0f) v = Sub(v, Mul(before, kDrag * unit.landingRate * 0.35f));
  }

  // 10. The thrust factor; on the gear a closed throttle brakes.
  float t = unit.throttle + 1.0f;
  Vec3 brake{};
  if (t > 1.0f) t = (t - 1.0f) * power + 1.0f;
  if (g == 0.0f) {
    if (speed < stall && t < 1.0f - speed / stall) t = 1.0f - speed / stall;
  } else if (t <= 1.0f) {
    brake = Mul(Normalize(v), (1.0f - t) * g / 300.0f);
    t = 0.0f;
  }
  if (simple && t > 1.0f) t = (t - 1.0f) * 3.0f + 1.0f;

  // 11. Thrust: vectored controls cost thrust, less in a stall. On the gear
  // it leans from the nose toward the ground's plane as the stall deepens.
  float vectored = 1.0f - std::sqrt(unit.control.x * unit.control.x + unit.control.y * unit.control.y) *
                              type.vectorRate * 0.5f;
  if (stallFactor > 0.0f) vectored += (1.0f - vectored) * (1.0f - stallFactor);
  float thrust = vectored * t * power;
  Vec3 gearDirection{};
  Vec3 thrustDirection = forward;
  if (g > 0.0f) {
    if (Length(gearSum) > 0.0f) gearDirection = Normalize(Sub(forward, Mul(gearSum, Dot(forward, gearSum))));
    else gearDirection = Normalize(v);
    thrustDirection = Add(Mul(forward, 1.0f - stallFactor), Mul(gearDirection, stallFactor));
  }

  // 12. Thrust on; the brake stops the unit rather than turn it round.
  v = Add(v, Mul(thrustDirection, thrust / 600.0f));
  if (Length(brake) > Length(v)) v = {};
  else v = Sub(v, brake);

  // 13. Slow flight sinks, less on the gear.
  float newSpeed = Length(v);
  if (newSpeed < 1.3f * stall) {
    float level = std::sqrt(forward.x * forward.x + forward.z * forward.z);
    v.y -= level * (1.3f * stall - newSpeed) / 20.0f * (1.0f - g);
  }

  // 14. A bank loses height; climbing costs speed, descending adds it.
  if (!simple) {
    v.y += (up.y - 1.0f) / (newSpeed * 100.0f + 50.0f);
    newSpeed -= forward.y * kGravity;
  }

  // 15. The velocity at that speed; below the stall speed gravity pulls.
  {
    Vec3 direction = Normalize(v);
    v = Mul(direction, newSpeed);
    if (stall > 0.0f && newSpeed < stall) v.y = direction.y * newSpeed - (1.0f - newSpeed / stall) * kGravity;
  }

  // 16. Wing sweep follows the pitch control.
  {
    float sweepTarget = std::fabs(unit.control.y) * type.vectorRate * 50.0f;
    // By 2 a step, never past the target (it would swing about it).
    if (float(unit.controlWord) + 2.0f <= sweepTarget) unit.controlWord += 2;
    else if (float(unit.controlWord) - 2.0f >= sweepTarget) unit.controlWord -= 2;
    if (unit.controlWord < kSweepLowest) unit.controlWord = kSweepLowest;
    if (unit.controlWord > kSweepHighest) unit.controlWord = kSweepHighest;
  }

  // 17. The velocity turns toward the nose (on the gear, toward the
  // ground's plane). The velocity blended is the one this step has made so
  // far: the start-of-step velocity would undo the drag, thrust and gravity
  // just applied. The change of speed is bounded against the speed the step
  // began with.
  {
    float w = float(unit.controlWord);
    Vec3 nose = forward;
    if (g > 0.0f) nose = Add(Mul(forward, 1.0f - g), Mul(gearDirection, g));
    float s = Length(v);
    Vec3 blend = Mul(Add(Mul(v, w), Mul(nose, s)), 1.0f / (w + 1.0f));
    float length = Length(blend);
    float most = speed + power / 60.0f * 0.25f;
    float least = speed - power / 60.0f * 0.5f;
    if (length > most) length = most;
    if (length < least) length = least;
    if (length < 0.0f) length = 0.0f;
    v = Mul(Normalize(blend), length);
    if (!IsFinite(v)) v = {};
    unit.velocity = v;
  }

  // 18. The ground contact of a player aircraft: the body probes and the
  // tires are taken before the move and again after it.
  const bool player = (unit.flags & kUnitPlayer) != 0;
  Vec3 probeLocal[kProbeSegments], probeBefore[kProbeSegments], probeAfter[kProbeSegments];
  Vec3 tireBefore[kUnitAttachments];
  bool tires[kUnitAttachments] = {};
  if (player) {
    BodyProbes(unit, probeLocal);
    for (int i = 0; i < kProbeSegments; i++) probeBefore[i] = unit.TransformPointToWorld(probeLocal[i]);
    TirePoints(unit, tireBefore, tires);
  }

  // 19. Move and turn.
  StepAttitude(world, unit, unit.moment.x, unit.moment.y, unit.moment.z, (1.0f - g) * stallFactor);

  // 20. Contact and landing gear; the gear contact rate.
  bool gearIn = false;
  if (player) {
    for (int i = 0; i < kProbeSegments; i++) probeAfter[i] = unit.TransformPointToWorld(probeLocal[i]);
    Contact contact;
    // A copy of another peer's aircraft never crashes here: its owner flies
    // it and says when it is lost. A copy that drifts into the ground
    // between two of its states would otherwise send its owner a fatal hit.
    const bool owned = !world::IsNetworkGame(world) || local;
    bool destroyed =
        owned && FindContact(world, unit, probeBefore, probeAfter, &contact) && Crash(world, unit, contact);
    if (!destroyed) gearIn = StepLandingGear(world, unit, tireBefore, tires);
  }
  if (gearIn) {
    if (unit.gearContactRate == 0.0f) world::RunPathTriggers(world, kTriggerLanding, &unit, &unit);
    unit.gearContactRate = Clamp(unit.gearContactRate + kGearStep, 0.0f, 1.0f);
  } else {
    unit.gearContactRate = Clamp(unit.gearContactRate - kGearStep, 0.0f, 1.0f);
  }

  FinishFlightStep(world, unit, gun, weapon);
  return 0;
}

// ----------------------------------------------------------------------------
// [SECTION] Falling wrecks and loop sounds
// ----------------------------------------------------------------------------

int StepBallisticFall(world::GameWorld& world, Unit& unit) {
  // 1. Tumble, fall and move.
  float weight = unit.type && unit.type->weight > 0.0f ? unit.type->weight : 1.0f;
  Vec3 tumble{float(BehaviourInt(unit, 8)), float(BehaviourInt(unit, 9)), float(BehaviourInt(unit, 10))};
  Vec3 angles = Add(unit.GetObjectAngles(), Mul(tumble, 1.0f / (weight * 30.0f)));
  unit.velocity.y -= kWreckGravity;
  Vec3 from = unit.GetObjectPosition();
  Vec3 to = Add(from, unit.velocity);

  // 2. What the fall meets: units first (the player's own unit left out),
  // then the terrain. The wreck's own model is not a thing to land on.
  Vec3 hit{}, normal{0, 1, 0};
  int onWater = 0;
  Unit* struck = world::vector_unit_collision(world, world::GetPlayerUnit(world), &hit, nullptr, from, to);
  if (struck == &unit) struck = nullptr;
  bool landed = struck != nullptr;
  if (!landed) landed = world::CastRayAgainstTerrain(world, &hit, &normal, from, to, kTerrainMode, &onWater) != 0;

  // 3. The wreck rests where it struck.
  if (landed) {
    PlaySoundAt(world, kSoundCrash, hit, 0);
    RequestUnitState(unit, kUnitStateFinal);
    to = hit;
    if (struck) {
      to = struck->TransformPointToLocal(hit);
      SetUnitParent(unit, struck);
    }
    if (onWater) world::CreateSplash(world, hit, 12.0f);
    else world::CreateBomb(world, hit, Mul(Normalize(normal), 0.1f), 3, 0.004f);
    world::AddCameraShake(world, hit, 30.0f);
  } else if (UnitAge(unit) > kWreckSteps) {
    // 4. A wreck that never lands ends.
    ReleaseWeaponChildren(world, unit, -1);
    world::ReleaseMatchingUnits(world, &unit);
    unit.ReleaseObject();
    return 0;
  }

  // 5. Silence and the pose.
  StopPlayerLoops(world, unit);
  unit.SetObjectPosition(to.x, to.y, to.z);
  unit.SetObjectAngles(angles.x, angles.y, angles.z);
  return 0;
}

int StopLoopSounds(world::GameWorld& world, Unit& unit) {
  StopPlayerLoops(world, unit);
  EmitRandomEffect(world, unit);
  return 0;
}

// ----------------------------------------------------------------------------
// [SECTION] Path flight
// ----------------------------------------------------------------------------

int StepPathFlight(world::GameWorld& world, Unit& unit) {
  const float rate = unit.type ? unit.type->stability / 60.0f : 0.0f;
  const float rollRate = unit.type ? unit.type->mobility.z / 60.0f : 0.0f;

  // 1. A change of speed under way ends on its target.
  Vec3 heading = Normalize(unit.velocity);
  float speed = Length(unit.velocity);
  if (unit.speedRate > 0.0f) {
    if (speed > unit.speedTarget) {
      speed -= unit.speedRate;
      if (speed <= unit.speedTarget) {
        speed = unit.speedTarget;
        unit.speedRate = 0;
      }
    } else {
      speed += unit.speedRate;
      if (speed >= unit.speedTarget) {
        speed = unit.speedTarget;
        unit.speedRate = 0;
      }
    }
  }

  // 2. Along the path by the speed, firing REACH at every point passed.
  if (!unit.path) {
    // Without a path the unit keeps the speed it came to.
    Axes a = AxesFromAngles(unit.GetObjectAngles());
    unit.velocity = Mul(Length(heading) > 0.0f ? heading : a.forward, speed);
    return 0;
  }
  float t;
  if (!AdvanceAlongPath(world, unit, speed, &t)) return 0;

  // 3. The place on the path.
  PathPoint& point = *unit.path;
  const Vec3 old = unit.GetObjectPosition();
  const Vec3 p = GetPathPosition(point, t);
  Vec3 angles = unit.GetObjectAngles();
  Axes a = AxesFromAngles(angles);
  const Axes was = a;

  // 4. The nose toward the point a second ahead.
  Vec3 look{};
  if (Length(Sub(p, old)) > 0.01f) {
    Vec3 ahead = GetPathPosition(point, FindPathParameterByDistance(point, t, speed * 60.0f));
    look = Normalize(Sub(ahead, p));
    if (Length(look) > 0.0f && Length(Sub(look, a.forward)) > 0.001f) {
      Vec3 axis = Normalize(Cross(a.forward, look));
      float angle = std::acos(Clamp(Dot(a.forward, look), -1.0f, 1.0f));
      if (Length(axis) > 0.0f) a.Turn(axis, angle);
    }
  }

  // 5. The bank follows the new axes by a braking-distance rule.
  Vec3 turned = AnglesFromAxes(a);
  float e = WrapAngle(turned.z - angles.z);
  float step = rollRate * rate;
  float& m = unit.moment.z;
  if (step > 0.0f) {
    float braking = m * m / step * 0.5f + step;
    if (e > braking) m = std::fmin(m + step, rollRate);
    else if (e < -braking) m = std::fmax(m - step, -rollRate);
    else if (std::fabs(m) <= step) m *= 0.5f;
    else m += m > 0.0f ? -step : step;
  } else {
    m = 0.0f;
  }
  turned.z = angles.z + m;

  // 6. The controls shown for the turn: the pitch from where the look-ahead
  // lay above or below the nose before the turn.
  if (rollRate != 0.0f) {
    unit.control.x = Clamp(-(m / rollRate), -1.0f, 1.0f);
    unit.control.y = Clamp(Dot(look, was.up) / rollRate, -1.0f, 1.0f);
  } else {
    unit.control.x = unit.control.y = 0.0f;
  }
  unit.control.z = 0.0f;

  // 7. Velocity along the nose; the pose.
  Axes final = AxesFromAngles(turned);
  unit.velocity = Mul(final.forward, speed);
  StopPlayerLoops(world, unit);
  unit.SetObjectPosition(p.x, p.y, p.z);
  unit.SetObjectAngles(turned.x, turned.y, turned.z);
  return 0;
}

}  // namespace units
