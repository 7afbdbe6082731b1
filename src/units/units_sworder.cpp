// units_sworder.cpp -- the sword-action player's actor: a humanoid unit
// moved by the pad relative to the camera, with jumps, dodges, a guard, a
// chain of up to five strokes, run, air and landing attacks, knock-back and
// knock-down; it keeps itself on the terrain with ray casts, plays the
// model's named animation sets, draws the sword trail and tests the blade
// against every other unit.

#include <bit>
#include <cmath>
#include <cstring>

#include "units/units_projectile.h"
#include "units/units_shots.h"
#include "units/units_sword.h"
#include "units_local.h"

namespace units {

namespace {

constexpr int kTerrainMode = 3;                // ground and every other map object
constexpr float kGravity = 0.010888889f;       // per step
constexpr float kFiveDegrees = 0.0872664600610733f;
// "At most 5 degrees" is a compare of cosines: cos(5 degrees), about 0.9962.
constexpr float kCosFiveDegrees = 0.9961947f;
constexpr float kPi = 3.14159265f;
constexpr int32_t kTypeBallSilver = 54;
// The state a struck unit is put in (a ball: knocked away, falling).
constexpr int32_t kStruckState = 7;

// Logical pad buttons.
enum : int { kButtonAttack = 8, kButtonJump = 9, kButtonGuard = 12 };

// Built-in sound slots.
enum : int {
  kSoundBurst = 8,
  kSoundBladeHit = 69,
  kSoundBladeHitSilver = 71,
  kSoundStep = 74,
  kSoundStepWater = 75,
};

// The actor's states (the balls' share is in units_sword.h).
enum : int32_t {
  kJumpStart = 1,
  kAir = 2,
  kBackDodge = 3,
  kSideRight = 4,
  kSideLeft = 5,
  kLanding = 6,
  kNoLogic = 9,
  kStroke1 = 10,
  kStroke2 = 11,
  kStroke5 = 14,
  kTurnStroke = 15,
  kAirStroke = 16,
  kRunStroke = 17,
  kLandingStroke = 18,
};

// Model-space points where the feet touch the ground.
constexpr Vec3 kLeftFoot{-0.07f, 0, -0.45f};
constexpr Vec3 kRightFoot{0.07f, 0, -0.45f};

// One attack state: the turn window (F turns toward the stick, L = F x
// lunge), the strike window (trail +25 a step, the attack power, K = F x k
// with K.y = ky), the swing sound and the chain to the next stroke.
struct AttackRow {
  int32_t state;
  const char* set;
  float turnFrom, turnTo, lunge;  // no turn window: turnFrom < 0
  float strikeFrom, strikeTo;
  int32_t power;
  float k, ky;
  int sound;
  float soundTime;
  float chainAfter;  // no chain: next < 0
  int32_t next;
  // The footstep of the stroke: at this time (0: none), at this point.
  float stepTime;
  Vec3 stepPoint;
};

const AttackRow kAttacks[] = {
    {10, "AnimationSet_at1", 4, 15, 0.025f, 3, 10, 5, 1.0f / 30.0f, 0.05f, 65, 3, 15, 11, 15, {-0.07f, 0, -0.15f}},
    {11, "AnimationSet_at2", 6, 11, 0.05f, 6, 12, 4, 0.05f, 0.0f, 67, 6, 15, 12, 10, {-0.07f, 0, -0.15f}},
    {12, "AnimationSet_at3", 0, 7, 0.15f, 6, 16, 6, 1.0f / 30.0f, 0.02f, 66, 6, 19, 13, 15, {0.37f, 0, -0.15f}},
    {13, "AnimationSet_at4", 11, 20, 0.1f, 6, 15, 6, 1.0f / 30.0f, 0.02f, 67, 6, 20, 14, 20, {-0.15f, 0, -0.35f}},
    {14, "AnimationSet_at5", 5, 20, 0.05f, 3, 16, 3, 0.05f, 0.1f, 64, 4, 0, -1, 0, {}},
    {15, "AnimationSet_at6", 11, 20, -0.1f, 16, 21, 5, -0.05f, 0.02f, 64, 16, 22, 11, 20, {0.27f, 0, -0.15f}},
    {16, "AnimationSet_at7", -1, -1, 0, 10, 17, 5, 0.1f, -0.1f, 66, 10, 0, -1, 0, {}},
    {17, "AnimationSet_run_a", -1, -1, 0, 10, 16, 8, 1.0f / 3.0f, 0.04f, 65, 10, 0, -1, 0, {}},
    {18, "AnimationSet_td_a", -1, -1, 0, 14, 21, 5, 0.025f, 0.1f, 65, 14, 25, 10, 0, {}},
};

const AttackRow* FindAttack(int32_t state) {
  if (state < kStroke1 || state > kLandingStroke) return nullptr;
  return &kAttacks[state - kStroke1];
}

// --- Friction -------------------------------------------------------------

// Slow by r: H loses r along its own direction, stopping at 0.
void SlowBy(Vec3& h, float r) {
  float l = Length(h);
  if (l <= r) {
    h = Vec3{0, 0, 0};
    return;
  }
  h = Sub(h, Mul(h, r / l));
}

// Steer toward D by r: H moves by r toward D, reaching it within r.
void SteerToward(Vec3& h, const Vec3& d, float r) {
  Vec3 gap = Sub(d, h);
  float l = Length(gap);
  if (l <= r) {
    h = d;
    return;
  }
  h = Add(h, Mul(gap, r / l));
}

float Square(float x) { return x * x; }

// --- Words of the actor and of struck units ---------------------------------

int32_t& TrailLevel(Unit& u) { return BehaviourInt(u, kSwordTrailLevel); }
int32_t& HitCooldown(Unit& u) { return BehaviourInt(u, kSwordHitCooldown); }
int32_t& LastStruckBy(Unit& u) { return BehaviourInt(u, kSwordLastStruckBy); }
int32_t& TimesStruck(Unit& u) { return BehaviourInt(u, kSwordTimesStruck); }

// The trail emitter area: trailPoints[0] and [1] the previous blade base
// and tip, trailStates[0] and [1] the colours of the previous edge (RGBA
// floats kept as their bits).
void LoadEdgeColour(const Unit& u, int n, float out[4]) {
  for (int i = 0; i < 4; i++) out[i] = std::bit_cast<float>(u.trailStates[n][i]);
}
void StoreEdgeColour(Unit& u, int n, const float colour[4]) {
  for (int i = 0; i < 4; i++) u.trailStates[n][i] = std::bit_cast<int32_t>(colour[i]);
}

void PlaySlot(world::GameWorld& world, int slot) { world::PlayWorldSound(world, slot, 0, 0, 0); }

// --- One step ------------------------------------------------------------

struct SworderStep {
  world::GameWorld& world;
  Unit& unit;
  int32_t held[128] = {};
  int32_t trigger[128] = {};
  Vec3 p0{}, facing{}, velocity{};
  Vec3 h{};      // the working horizontal velocity
  float vy = 0;  // the vertical speed
  Vec3 d{};      // the stick's desired velocity
  float s = 0;   // its speed
  Vec3 lunge{};  // the attack's extra displacement
  Vec3 knock{};  // the knockback a struck unit takes
  int32_t power = 0;
  int32_t pending = 0;
  float newTime = -1;
  bool airborne = false;
  bool onWater = false;
  bool stepPointSet = false;
  Vec3 stepPoint{};
  float splashSize = 0.15f;

  SworderStep(world::GameWorld& w, Unit& u) : world(w), unit(u) {}

  bool Held(int b) const { return held[b] != 0; }
  bool Triggered(int b) const { return trigger[b] != 0; }
  bool StickMoved() const { return d.x != 0.0f || d.z != 0.0f; }
  void To(int32_t state, float time) {
    pending = state;
    newTime = time;
  }
  void Footstep(const Vec3& point, float size) {
    PlaySlot(world, onWater ? kSoundStepWater : kSoundStep);
    StepPoint(point, size);
  }
  void StepPoint(const Vec3& point, float size) {
    stepPointSet = true;
    stepPoint = point;
    splashSize = size;
  }
};

// The stick, relative to the camera eye: a direction and one of four speeds.
void ReadStick(SworderStep& st, const float axes[3], const Vec3& eye) {
  // A value that is not a number reads as a centred stick.
  float a0 = std::isfinite(axes[0]) ? axes[0] : 0.0f;
  float a1 = std::isfinite(axes[1]) ? axes[1] : 0.0f;
  if (a0 > -0.1f && a0 < 0.1f && a1 > -0.1f && a1 < 0.1f) return;
  float a = std::atan2(st.p0.z - eye.z, st.p0.x - eye.x);
  float b = std::atan2(a1, a0);
  float dd = a - b;
  Vec3 u = Normalize(Vec3{std::sin(dd), 0, -std::cos(dd)});
  float m = std::sqrt(a0 * a0 + a1 * a1);
  if (st.Held(kButtonGuard)) m *= 0.5f;
  st.s = m > 0.75f ? 0.125f : m > 0.4f ? 0.05f : m > 0.2f ? 0.025f : 0.0f;
  st.d = Mul(u, st.s);
}

// Leaving the jump start: a jump as high as the button was held, or on a
// quick release with the stick moved, a dodge away from the facing.
void LeaveJumpStart(SworderStep& st, bool released) {
  int32_t& count = st.unit.actorWord;
  st.To(kAir, 30);
  st.vy = float(count) * 0.02f;
  st.h = st.d;
  st.airborne = true;
  if (!released || count > 10 || !st.StickMoved()) return;
  Vec3 d = Normalize(st.d);
  float along = Dot(st.facing, d);
  int32_t dodge = -1;
  if (along < -0.8f) {
    dodge = kBackDodge;
  } else if (along < 0.5f) {
    float c = st.d.z * st.facing.x - st.facing.z * st.d.x;
    dodge = c < 0 ? kSideRight : kSideLeft;
  }
  if (dodge < 0) return;
  st.To(dodge, 0);
  st.vy = 0.08f;
  count = 0;
  if (dodge == kBackDodge) st.facing = Mul(d, -1.0f);
  else if (dodge == kSideRight) st.facing = Vec3{-d.z, 0, d.x};
  else st.facing = Vec3{d.z, 0, -d.x};
}

void AttackLogic(SworderStep& st, const AttackRow& row, float time) {
  Unit& u = st.unit;
  if (row.state != kRunStroke || time >= 36) SlowBy(st.h, 0.005f);
  bool turning = row.turnFrom >= 0 && time >= row.turnFrom && time <= row.turnTo;
  if (turning) {
    // The turning stroke swings round toward the stick reversed.
    Vec3 want = row.state == kTurnStroke ? Sub(st.facing, st.d) : Add(st.facing, st.d);
    st.facing = TurnTowardTarget(st.facing, want);
  }
  if (turning || row.state == kStroke5) st.lunge = Mul(st.facing, row.lunge);
  if (time >= row.strikeFrom && time <= row.strikeTo) {
    TrailLevel(u) += 25;
    st.power = row.power;
    st.knock = Mul(st.facing, row.k);
    st.knock.y = row.ky;
  }
  if (time == row.soundTime) PlaySlot(st.world, row.sound);

  if (row.state == kStroke5) {
    // The rising stroke lifts from time 4 and falls with gravity from then
    // on: on the ground before it, gravity alone would end it as a landing.
    if (time >= 4) {
      st.lunge.y = 0.3f * Square(float(UnitAge(u)) / 30.0f - 1.0f);
      st.vy -= kGravity;
    }
    if (UnitAge(u) > 30) {
      st.To(kAir, 30);
      st.vy = 0;
    }
  }
  if (row.state == kAirStroke) {
    SteerToward(st.h, st.d, 0.0025f);
    st.vy -= kGravity;
  }

  bool leaving = false;
  if (row.next >= 0 && time > row.chainAfter && st.Triggered(kButtonAttack) && LastStruckBy(u) == row.state) {
    int32_t next = row.next;
    if (row.state == kStroke2 && Dot(st.facing, Normalize(st.d)) < -0.5f) next = kTurnStroke;
    st.To(next, 0);
    leaving = true;
  } else if (time >= 59) {
    st.To(kSworderStand, -1);
    leaving = true;
  }
  if (leaving && row.state == kTurnStroke) st.facing = Mul(st.facing, -1.0f);
}

// 2. The state's logic.
void StateLogic(SworderStep& st) {
  Unit& u = st.unit;
  const float time = u.actorTime;
  const int32_t state = u.state;
  if (const AttackRow* row = FindAttack(state)) {
    AttackLogic(st, *row, time);
    st.airborne = state == kStroke5 || state == kAirStroke;
    return;
  }
  switch (state) {
    case kSworderStand:
      SteerToward(st.h, st.d, 0.02f);
      if (st.Triggered(kButtonGuard)) {
        st.To(kSworderGuard, 0);
      } else if (st.Held(kButtonJump)) {
        st.To(kJumpStart, 0);
        u.actorWord = 0;
      } else if (st.Triggered(kButtonAttack)) {
        st.To(Length(st.velocity) > 0.12f ? kRunStroke : kStroke1, 0);
      }
      break;
    case kJumpStart: {
      SlowBy(st.h, 0.005f);
      u.actorWord++;
      bool released = !st.Held(kButtonJump);
      if (released || u.actorWord > 11) LeaveJumpStart(st, released);
      else if (st.Triggered(kButtonAttack) && time < 13) st.To(kLandingStroke, 0);
      break;
    }
    case kAir:
      st.airborne = true;
      SteerToward(st.h, st.d, 0.005f);
      st.vy -= kGravity;
      if (st.Triggered(kButtonAttack)) st.To(kAirStroke, 0);
      break;
    case kBackDodge:
    case kSideRight:
    case kSideLeft: {
      st.airborne = true;
      SteerToward(st.h, st.d, 0.005f);
      if (time >= 5 && time <= 42) {
        const Vec3& f = st.facing;
        Vec3 away = state == kBackDodge ? Mul(f, -1.0f) : state == kSideRight ? Vec3{f.z, 0, -f.x} : Vec3{-f.z, 0, f.x};
        st.h = Mul(away, 0.125f);
      }
      st.vy -= kGravity;
      if (time >= 51) st.To(kSworderStand, -1);
      break;
    }
    case kLanding:
      SlowBy(st.h, 0.005f);
      if (st.Triggered(kButtonAttack) && time < 13) st.To(kLandingStroke, 0);
      else if (time >= 21) st.To(kSworderStand, -1);
      break;
    case kSworderGuard:
      SlowBy(st.h, 0.005f);
      if (time >= 30) st.To(kSworderStand, -1);
      break;
    case kSworderGuardHeld:
      SlowBy(st.h, 0.005f);
      if (!st.Held(kButtonGuard) || st.StickMoved()) st.To(kSworderStand, -1);
      break;
    case kSworderKnockedBack:
      SlowBy(st.h, 0.005f);
      if (time >= 59) st.To(kSworderStand, -1);
      break;
    case kSworderKnockedDown:
      SlowBy(st.h, 0.002f);
      st.vy -= kGravity;
      // Without HP the actor stays down.
      if (GetUnitHp(u) > 0 && UnitAge(u) >= 300) st.To(kSworderStand, -1);
      break;
    default:  // 9 and states of no meaning here: no logic
      break;
  }
}

bool CastTerrain(SworderStep& st, Vec3 from, Vec3 to, Vec3* hit, int* water) {
  Vec3 normal{};
  int w = 0;
  int got = world::CastRayAgainstTerrain(st.world, hit, &normal, from, to, kTerrainMode, &w);
  if (water) *water = w;
  return got != 0;
}

// 5. Ground and ceiling.
void GroundAndCeiling(SworderStep& st, Vec3& p) {
  Unit& u = st.unit;
  Vec3 hit{};
  int water = 0;
  if (!st.airborne) {
    bool got = CastTerrain(st, Add(p, Vec3{0, 0.2f, 0}), Sub(p, Vec3{0, 0.2f, 0}), &hit, &water);
    if (u.state == kSworderKnockedDown) {
      if (got) {
        st.vy = 0;
        p.y = hit.y;
        st.onWater = water != 0;
      }
      return;
    }
    st.vy = 0;
    if (got) {
      p.y = hit.y;
      st.onWater = water != 0;
    } else {
      st.To(kAir, 30);
      TrailLevel(u) = 0;
    }
    return;
  }
  if (CastTerrain(st, Add(st.p0, Vec3{0, 1.6f, 0}), Add(p, Vec3{0, 1.8f, 0}), &hit, nullptr) && st.vy >= 0) {
    st.vy = 0;
    st.To(kAir, 30);
    p.y = hit.y - 1.8f;
  }
  if (CastTerrain(st, Add(st.p0, Vec3{0, 0.2f, 0}), Sub(p, Vec3{0, 0.01f, 0}), &hit, &water) && st.vy < 0) {
    st.To(kLanding, 0);
    st.vy = 0;
    p.y = hit.y;
    TrailLevel(u) = 0;
    st.onWater = water != 0;
    PlaySlot(st.world, st.onWater ? kSoundStepWater : kSoundStep);
    st.StepPoint(Vec3{0, 0, -0.15f}, 0.5f);
  }
}

// 6. Walls: horizontal rays toward +x, -x, +z and -z at three heights keep
// the body a margin away from them.
void Walls(SworderStep& st, Vec3& p) {
  static const Vec3 kDirections[4] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
  static const float kHeights[3] = {0.2f, 1.0f, 1.8f};
  static const float kMargins[3] = {0.2f, 0.5f, 0.5f};
  for (const Vec3& e : kDirections) {
    for (int i = 0; i < 3; i++) {
      float y = p.y + kHeights[i], m = kMargins[i];
      Vec3 from{st.p0.x, y, st.p0.z};
      Vec3 to = Add(Vec3{p.x, y, p.z}, Mul(e, m));
      Vec3 hit{};
      if (!CastTerrain(st, from, to, &hit, nullptr)) continue;
      if (e.x > 0) p.x = hit.x - m;
      else if (e.x < 0) p.x = hit.x + m;
      else if (e.z > 0) p.z = hit.z - m;
      else p.z = hit.z + m;
    }
  }
}

void Play(Unit& u, const char* set, float time) {
  // One set, switched to at once: the whole weight on it, nothing blended.
  u.SetObjectAnimation(nullptr, set, time / 60.0f, nullptr, 0.0f, 1.0f);
}

float Clamp59(float t) { return t + 1.0f >= 60.0f ? 59.0f : t + 1.0f; }

// The walk's footsteps: a sound every half cycle, a foot down at 0 and 30.
void WalkSteps(SworderStep& st, float t) {
  if (std::fmod(t, 30.0f) == 0.0f) PlaySlot(st.world, st.onWater ? kSoundStepWater : kSoundStep);
  if (std::fmod(t, 60.0f) == 0.0f) st.StepPoint(kLeftFoot, 0.15f);
  if (std::fmod(t, 60.0f) == 30.0f) st.StepPoint(kRightFoot, 0.15f);
}

// 8. The animation: time, step sounds and the state's set.
void Animate(SworderStep& st) {
  Unit& u = st.unit;
  float t = u.actorTime;
  const int32_t state = u.state;
  const char* set = nullptr;
  if (const AttackRow* row = FindAttack(state)) {
    set = row->set;
    t = Clamp59(t);
    if (state == kRunStroke) {
      if (t == 5.0f || t == 35.0f) st.Footstep(kLeftFoot, 0.15f);
      if (t == 30.0f) st.Footstep(kRightFoot, 0.15f);
    } else if (row->stepTime > 0 && t == row->stepTime) {
      st.Footstep(row->stepPoint, 0.15f);
    }
  } else {
    switch (state) {
      case kSworderStand:
        if (Dot(st.h, st.d) < 0 || st.s == 0.0f) {
          set = "AnimationSet_pose";
          t += 1.0f;
        } else if (st.s > 0.12f) {
          set = "AnimationSet_run";
          t += 1.0f;
          if (std::fmod(t, 15.0f) == 5.0f) PlaySlot(st.world, st.onWater ? kSoundStepWater : kSoundStep);
          if (std::fmod(t, 30.0f) == 5.0f) st.StepPoint(kLeftFoot, 0.15f);
          if (std::fmod(t, 30.0f) == 20.0f) st.StepPoint(kRightFoot, 0.15f);
        } else if (st.s > 0.045f) {
          set = "AnimationSet_walk";
          t += 1.0f;
          WalkSteps(st, t);
        } else {
          set = "AnimationSet_walk";  // at half rate
          t += 0.5f;
          if (UnitAge(u) % 2 == 0) WalkSteps(st, t);
        }
        // The standing cycles repeat every 60 steps: kept below 60 the time
        // never grows past where a float still counts single steps.
        if (t >= 60.0f) t -= 60.0f;
        break;
      case kJumpStart:
        set = "AnimationSet_jump";
        t = t + 1.0f > 30.0f ? 30.0f : t + 1.0f;
        break;
      case kAir:
        set = "AnimationSet_jump";
        t = Clamp59(t);
        break;
      case kBackDodge:
        set = "AnimationSet_back";
        t = Clamp59(t);
        break;
      case kSideRight:
        set = "AnimationSet_side_r";
        t = Clamp59(t);
        break;
      case kSideLeft:
        set = "AnimationSet_side_l";
        t = Clamp59(t);
        break;
      case kLanding:
        set = "AnimationSet_td";
        t = Clamp59(t);
        break;
      case kSworderGuard:
        set = "AnimationSet_guard";
        t += 1.0f;
        break;
      case kSworderGuardHeld:
        set = "AnimationSet_guard";
        t = 6.0f;
        break;
      case kSworderKnockedBack:
        set = "AnimationSet_dmg";
        t = Clamp59(t);
        break;
      case kSworderKnockedDown:
        set = "AnimationSet_dmg2";
        t = Clamp59(t);
        break;
      default:  // no logic: the model is left as it is
        return;
    }
  }
  u.actorTime = t;
  Play(u, set, t);
}

// A blade point: a point of the type carried by a frame of the model (the
// model's own space when the frame is missing), then into the world.
Vec3 BladePoint(Unit& u, int n) {
  Vec3 local = u.type->wingPos[n];
  if (!IsDefinedPoint(local)) local = Vec3{0, 0, 0};
  Vec3 p = local;
  if (u.model) u.model->TransformPointByFrame(&p, u.type->wingName[n].c_str(), local);
  return u.TransformPointToWorld(p);
}

// 10. The sword trail: a strip from the previous blade edge to this one,
// fading with the trail level.
void Trail(SworderStep& st) {
  Unit& u = st.unit;
  Vec3 base = BladePoint(u, 0), tip = BladePoint(u, 1);
  int32_t& level = TrailLevel(u);
  float edge[4] = {0, 0, 0, 0};
  if (level > 0) {
    level = (level > 100 ? 100 : level) - 10;
    edge[0] = edge[1] = edge[2] = 1.0f;
    edge[3] = float(level > 0 ? level : 0) / 100.0f;
    Vec3 points[4] = {u.trailPoints[0], u.trailPoints[1], base, tip};
    float colours[16];
    LoadEdgeColour(u, 0, colours);
    LoadEdgeColour(u, 1, colours + 4);
    std::memcpy(colours + 8, edge, sizeof edge);
    std::memcpy(colours + 12, edge, sizeof edge);
    UnitType* gun = u.type->gunType;
    render::TextureHolder* texture = gun ? FindUnitTypeTexture(world::GetUnitDatabase(st.world), *gun) : nullptr;
    world::EffectObject* e = world::CreatePolygonEffect(st.world, points, colours, 4, texture);
    world::SetEffectGlareRate(e, gun ? gun->glareRate : 0.0f);
  } else {
    level = 0;
  }
  u.trailPoints[0] = base;
  u.trailPoints[1] = tip;
  StoreEdgeColour(u, 0, edge);
  StoreEdgeColour(u, 1, edge);
}

// A unit the blade may strike this step.
bool IsBladeCandidate(const Unit& u, Unit& w) {
  if (&w == &u || !w.type || !w.model) return false;
  if ((w.type->attributes & kAttrWeapon) || (w.flags & kUnitInert)) return false;
  if (w.type->hudNameFile.empty() || w.sceneNumber != u.sceneNumber) return false;
  const char* team = GetUnitTeam(w);
  if (!team[0] || std::strcmp(team, GetUnitTeam(u)) == 0) return false;
  if (HitCooldown(w) != 0) return false;
  // The same stroke strikes a unit once; the rising stroke again once the
  // unit's cooldown is over.
  return u.state == kStroke5 || LastStruckBy(w) != u.state;
}

void LoseHp(Unit& unit) {
  int32_t hp = GetUnitHp(unit);
  if (hp > 0) SetUnitHp(unit, hp - 1, 0);
}

// An evil ball struck while it is hurt strikes back: the actor is knocked
// down and the ball is gone.
void EvilCounterBlow(SworderStep& st, Unit& w, const Vec3& at, const Vec3& me) {
  Unit& u = st.unit;
  world::CreateBomb(st.world, at, Vec3{0, 0, 0}, 1, 0.004f);
  PlaySoundAt(st.world, kSoundBurst, at, 0);
  st.To(kSworderKnockedDown, 6);
  u.SetObjectAnimation(nullptr, "AnimationSet_dmg2", 6.0f / 60.0f, nullptr, 0.0f, 1.0f);
  u.velocity = Mul(Add(Normalize(Sub(me, at)), Vec3{0, 0.2f, 0}), 1.0f / 3.0f);
  FaceSworderToward(u, at);
  LoseHp(u);
  world::ReleaseUnit(st.world, &w);
}

// 11. The blade against every other unit; only the first one struck is hit.
void BladeTest(SworderStep& st) {
  Unit& u = st.unit;
  const Vec3 me = u.GetObjectWorldPosition();
  const int slots = world::CountUnitSlots(st.world);
  for (int i = 1; i < slots; i++) {
    Unit* w = world::GetUnitAt(st.world, i);
    if (!w || !IsBladeCandidate(u, *w)) continue;
    Vec3 reach{};
    w->model->GetMeshBounds(&reach, nullptr, nullptr, w->containers);
    const Vec3 at = w->GetObjectWorldPosition();
    if (!(reach.x + 1.0f > Length(Sub(at, me)))) continue;

    if (w->type->typeValue == kTypeBallEvil) {
      if (GetUnitHpRatio(*w) < 0.9f) EvilCounterBlow(st, *w, at, me);
      return;
    }
    LastStruckBy(u) = u.state;
    LastStruckBy(*w) = u.state;
    world::CreateHitEffect(st.world, at, Normalize(Sub(at, me)));
    w->velocity = st.knock;
    SetUnitState(*w, kStruckState, 0);
    HitCooldown(*w) = st.power;
    TimesStruck(*w)++;
    world::RunPathTriggers(st.world, kTriggerHit, &u, &u);
    LoseHp(*w);
    PlaySlot(st.world, w->type->typeValue == kTypeBallSilver ? kSoundBladeHitSilver : kSoundBladeHit);
    world::RaiseStoredMax(st.world, st.power);
    world::AddPointLight(st.world, at, Vec3{1, 1, 1}, Vec3{3, 1, 1}, 3, 1, 12);
    return;
  }
}

}  // namespace

Vec3 TurnTowardTarget(const Vec3& c, const Vec3& w) {
  if (Length(w) == 0.0f) return c;
  Vec3 flat = Normalize(Vec3{w.x, 0, w.z});
  if (flat.x == 0.0f && flat.z == 0.0f) return c;
  if (Dot(c, flat) > kCosFiveDegrees) return flat;
  float p = std::atan2(c.z, c.x);
  float q = std::atan2(flat.z, flat.x);
  float diff = q - p;
  if ((diff > 0 && diff <= kPi) || diff < -kPi) p += kFiveDegrees;
  else p -= kFiveDegrees;
  return Vec3{std::cos(p), c.y, std::sin(p)};
}

void FaceSworderToward(Unit& actor, const Vec3& point) {
  Vec3 d = Sub(point, actor.GetObjectWorldPosition());
  d.y = 0;
  Vec3 f = Normalize(d);
  if (f.x == 0.0f && f.z == 0.0f) return;
  const Vec3 up{0, 1, 0};
  actor.SetObjectLookAt(Mul(f, -1.0f), &up);
}

int UpdateSworder(world::GameWorld& world, Unit& unit) {
  if (!unit.type) return 1;
  SworderStep st(world, unit);

  // 1. What the step starts from.
  const Vec3 eye = world::GetCameraEye(world);
  st.p0 = unit.GetObjectWorldPosition();
  // The facing is horizontal; the model looks along its local -z.
  Vec3 front = unit.GetObjectWorldFront();
  st.facing = Normalize(Vec3{-front.x, 0, -front.z});
  if (st.facing.x == 0.0f && st.facing.z == 0.0f) st.facing = Vec3{0, 0, -1};
  st.velocity = IsFinite(unit.velocity) ? unit.velocity : Vec3{0, 0, 0};
  st.h = Vec3{st.velocity.x, 0, st.velocity.z};
  st.vy = st.velocity.y;
  float axes[3] = {}, axesB[3] = {};
  world::GetStepInput(world, st.held, st.trigger, nullptr, axes, axesB);
  ReadStick(st, axes, eye);
  st.pending = unit.pendingState;

  // 2. The state's logic.
  StateLogic(st);

  // 3. Walking and falling turn the actor the way it moves.
  if (st.s > 0 && (st.h.x != 0.0f || st.h.z != 0.0f) && (unit.state == kSworderStand || unit.state == kAir))
    st.facing = Normalize(Vec3{st.h.x, 0, st.h.z});

  // 4. Where the step would take it.
  Vec3 p = Add(Add(st.p0, st.h), st.lunge);
  p.y = st.p0.y + st.vy + st.lunge.y;

  // 5, 6. Terrain below, above and around.
  GroundAndCeiling(st, p);
  Walls(st, p);

  // 7. Place, turn and keep the velocity.
  unit.SetObjectPosition(p.x, p.y, p.z);
  const Vec3 up{0, 1, 0};
  unit.SetObjectLookAt(Mul(st.facing, -1.0f), &up);
  SetUnitVelocity(unit, Vec3{st.h.x, st.vy, st.h.z});

  // 8. Animation.
  Animate(st);

  // 9. A foot down in water splashes.
  if (st.onWater && st.stepPointSet)
    world::CreateSplash(world, unit.TransformPointToWorld(st.stepPoint), st.splashSize);

  // 10, 11. The trail and the blade.
  Trail(st);
  if (st.power != 0 && TrailLevel(unit) > 50) BladeTest(st);

  // 12. The new state, the new animation time, the cooldown.
  unit.pendingState = st.pending;
  if (st.pending != unit.state) {
    unit.state = st.pending;
    UnitAge(unit) = 0;
    LastStruckBy(unit) = -1;
  }
  if (st.newTime >= 0) unit.actorTime = st.newTime;
  int32_t& cooldown = HitCooldown(unit);
  if (cooldown > 0) cooldown--;
  else if (cooldown < 0) cooldown = 0;
  return 1;
}

}  // namespace units
