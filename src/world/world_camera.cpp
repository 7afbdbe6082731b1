// world_camera.cpp -- the camera: its modes, the director that picks the
// next shot, the automatic chase, roll, field of view, shake and collision,
// and the hand-off to the renderer.

#include <cmath>
#include <cstring>

#include "world/world_local.h"

namespace world {

namespace {

using platform::Vec3Add;
using platform::Vec3Cross;
using platform::Vec3Dot;
using platform::Vec3Length;
using platform::Vec3Normalize;
using platform::Vec3Scale;
using platform::Vec3Subtract;
using platform::kPi;

constexpr float kTwoPi = 2.0f * kPi;
constexpr float kDegree = 0.017453292f;
constexpr float kFov35 = 35.0f * kDegree;
constexpr float kFov40 = 40.0f * kDegree;
constexpr float kFov30 = 30.0f * kDegree;
constexpr float kFovMin = 0.0872665f;   // 5 degrees
constexpr float kFovMax = 0.7853982f;   // 45 degrees

// Unit states the camera watches.
constexpr int32_t kStateFinal = units::kUnitStateFinal;
constexpr int32_t kStateDestroyed = units::kUnitStateDestroyed;

// The director's table of shots for the player's own unit.
constexpr int32_t kDirectorShots[16] = {2, 2, 2, 3, 13, 4, 4, 5, 24, 6, 7, 8, 8, 8, 9, 9};

Vec3 operator+(Vec3 a, Vec3 b) { return Vec3Add(a, b); }
Vec3 operator-(Vec3 a, Vec3 b) { return Vec3Subtract(a, b); }
Vec3 operator*(Vec3 a, float s) { return Vec3Scale(a, s); }
Vec3 operator-(Vec3 a) { return Vec3{-a.x, -a.y, -a.z}; }

float Distance(Vec3 a, Vec3 b) { return Vec3Length(a - b); }

// Into -pi..pi; a value that is not finite becomes 0, so a wild roll from a
// script never stalls the step.
float WrapAngle(float a) {
  if (!std::isfinite(a)) return 0.0f;
  a = std::fmod(a, kTwoPi);
  if (a > kPi) a -= kTwoPi;
  if (a < -kPi) a += kTwoPi;
  return a;
}

// The goal of a field of view that frames a point d away.
float FramingFov(float d) { return std::atan(40.0f / d); }

// The camera's random bytes: the byte at the index, the index one on.
uint8_t NextRingByte(CameraState& camera) { return camera.ring[camera.ringIndex++]; }

// The unit's placement facts the modes read.
struct FocusFacts {
  Vec3 forward, up, velocity;
  float roll;
  float radius;
};

FocusFacts ReadFacts(units::Unit& unit) {
  FocusFacts f;
  f.forward = unit.GetObjectWorldFront();
  f.up = unit.GetObjectWorldUp();
  f.velocity = unit.velocity;
  f.roll = unit.GetObjectAngles().z;
  f.radius = unit.GetObjectRadius();
  return f;
}

bool TypeIsWeapon(const units::Unit& unit) { return unit.type && (unit.type->attributes & units::kAttrWeapon); }

// The point p of the unit's own frame on a copy of the unit turned to look
// along `direction` with `up`: the unit's pivot, scale and world position,
// the turned axes.
Vec3 PointOnTurnedCopy(units::Unit& unit, Vec3 direction, Vec3 up, Vec3 p) {
  Vec3 angles;
  core::AnglesFromDirection(&angles, direction, &up);
  Vec3 front, top;
  core::DirectionFromAngles(&front, &top, angles);
  Vec3 right = Vec3Cross(top, front);
  Vec3 pivot = unit.GetObjectPivot();
  Vec3 scale = unit.GetObjectScale();
  Vec3 local{(p.x - pivot.x) * scale.x, (p.y - pivot.y) * scale.y, (p.z - pivot.z) * scale.z};
  return unit.GetObjectWorldPosition() + right * local.x + top * local.y + front * local.z;
}

// The eye brought back to where the segment from the look point first meets
// a map object (ground and the rest), then a unit other than the focus.
Vec3 CollideEye(GameWorld& world, Vec3 from, Vec3 eye) {
  Vec3 hit;
  if (RayCastMapObjects(world, from, eye, kMapFilterGround | kMapFilterOthers, &hit, nullptr)) eye = hit;
  if (vector_unit_collision(world, world.focusUnit, &hit, nullptr, from, eye)) eye = hit;
  return eye;
}

// True when something lies between the look point and the eye.
bool EyeIsBlocked(GameWorld& world, Vec3 from, Vec3 eye) {
  Vec3 hit;
  if (RayCastMapObjects(world, from, eye, kMapFilterGround | kMapFilterOthers, &hit, nullptr)) return true;
  return vector_unit_collision(world, world.focusUnit, &hit, nullptr, from, eye) != nullptr;
}

// The direction from the eye to a point; a point on the eye keeps the
// direction there is (a zero direction would leave the view undefined).
void LookAt(CameraState& camera, Vec3 point) {
  Vec3 d = point - camera.eye;
  if (Vec3Length(d) > 0.0f) camera.direction = Vec3Normalize(d);
}

// A shot that has run its course hands over to the director, unless an
// event holds the camera.
void EndShot(GameWorld& world) {
  if (world.eventMode == 0) world.camera.mode = -1;
}

// The pieces of one step the modes share.
struct StepContext {
  GameWorld& world;
  CameraState& camera;
  units::Unit& unit;   // the focus unit
  FocusFacts facts;
  Vec3 focus;          // F: the focus unit's head
  Vec3 second;         // S: the second unit's head (F without one)
  bool hasSecond;
  float jitter;
  bool first;          // the mode's first step
  bool holdCounter = false;

  Vec3 Look() const { return focus + camera.focusOffset; }
  Vec3 Jitter() const { return Vec3{jitter, jitter, jitter}; }
  bool PlayerFocus() const { return &unit == world.playerUnit; }
};

// [SECTION] The modes

void ModeCockpit(StepContext& s) {
  CameraState& c = s.camera;
  units::GetUnitViewAxes(s.unit, &c.direction, &c.up, nullptr, nullptr);
  c.directionGoal = s.facts.forward;
  c.upGoal = s.facts.up;
  Vec3 head = s.unit.type ? s.unit.type->headPos : Vec3{};
  c.eye = PointOnTurnedCopy(s.unit, c.direction, c.up, head);
  c.roll = c.rollGoal = 0.0f;
  c.fov = c.fovGoal = kFov35;
  c.shakePower = c.smoothedShake = 0.0f;
}

void ModeBehind(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    c.direction = s.facts.forward;
    c.up = s.facts.up;
  }
  c.directionGoal = s.facts.forward;
  c.upGoal = s.facts.up;
  c.direction = c.direction * 0.8f + s.facts.forward * 0.2f;
  c.up = c.up * 0.8f + s.facts.up * 0.2f;
  c.roll = c.rollGoal = 0.0f;
  c.fov = kFov35;
  Vec3 eye = PointOnTurnedCopy(s.unit, c.direction, c.up, Vec3{0.0f, 1.5f, -15.0f}) +
             (s.facts.forward - c.direction) * 7.5f;
  c.eye = CollideEye(s.world, s.Look(), eye);
  c.shakePower = c.smoothedShake = 0.0f;
}

void ModeFlyBy(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    Vec3 ahead = PredictUnitPosition(s.world, s.unit, 100);
    c.eye = CollideEye(s.world, s.Look(), ahead + s.facts.up * 5.0f - s.facts.forward + s.Jitter());
    if (NextRingByte(c) % 2 == 0) c.roll = c.rollGoal = s.facts.roll;
    c.fov = kFov40;
    c.flyByShake = 1;
  }
  float d = Distance(c.eye, s.focus);
  if (d > 300.0f || c.counter > 360) EndShot(s.world);
  if (c.flyByShake && d < 4.0f) {
    AddCameraShake(s.world, s.focus, 15.0f);
    c.flyByShake = 0;
  }
  float a = std::atan(10.0f / Vec3Length(c.eye - s.focus + c.focusOffset));
  if (c.fovGoal > a) c.fovGoal -= 0.05f;
  else c.fovGoal = a;
  LookAt(c, s.Look());
}

// Modes 3 and 13 after their first step.
void FlyByPass(StepContext& s) {
  CameraState& c = s.camera;
  if (c.counter > 360) {
    EndShot(s.world);
    c.flyByShake = 0;
  }
  if (c.flyByShake && Distance(c.eye, s.focus) < 5.0f) {
    AddCameraShake(s.world, s.focus, 10.0f);
    c.flyByShake = 0;
  }
  LookAt(c, s.Look());
}

void ModeFlyByHigh(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    Vec3 ahead = PredictUnitPosition(s.world, s.unit, 60);
    c.eye = CollideEye(s.world, s.Look(), ahead + s.facts.up * 10.0f + s.Jitter());
    c.fov = kFov35;
    c.roll = 0.0f;
    c.smoothedShake = 0.0f;
    c.counter = 210;
  }
  FlyByPass(s);
}

void ModeFlyBySide(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    Vec3 far = PredictUnitPosition(s.world, s.unit, 120);
    Vec3 now = PredictUnitPosition(s.world, s.unit, 0);
    Vec3 eye = far + (far - now) * 0.1f + Vec3{s.jitter, s.jitter + 1.0f, s.jitter};
    c.eye = CollideEye(s.world, s.Look(), eye);
    c.flyByShake = 1;
    if (NextRingByte(c) % 2 == 0) c.roll = s.facts.roll;
    c.smoothedShake = 0.0f;
    c.counter = 210;
    c.fov = kFov35;
  }
  FlyByPass(s);
}

void ModeFlyByWide(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    // The unit's up turned about its forward axis by a random angle.
    float angle = float(NextRingByte(c) % 360) * kDegree;
    Vec3 f = Vec3Normalize(s.facts.forward), u = s.facts.up;
    Vec3 turned = u * std::cos(angle) + Vec3Cross(f, u) * std::sin(angle) +
                  f * (Vec3Dot(f, u) * (1.0f - std::cos(angle)));
    Vec3 ahead = PredictUnitPosition(s.world, s.unit, 5);
    c.eye = CollideEye(s.world, s.Look(), ahead + turned * 8.0f + s.Jitter());
    if (NextRingByte(c) % 2 == 0) c.roll = s.facts.roll;
    c.fov = kFov40;
  }
  if (Distance(c.eye, s.focus) > 300.0f || c.counter > 360) EndShot(s.world);
  float d = Distance(c.eye, s.Look());
  if (c.counter <= 220) c.fovGoal = FramingFov(d);
  else c.fovGoal = std::atan((40.0f - 0.25f * float(c.counter - 220)) / d);
  LookAt(c, s.Look());
}

// Modes 5 and 24: a circle about the unit.
void Orbit(StepContext& s, float angle, float radius, float height) {
  CameraState& c = s.camera;
  Vec3 eye = s.Look() + Vec3{std::cos(angle) * radius, height, std::sin(angle) * radius};
  c.eye = CollideEye(s.world, s.Look(), eye);
  c.drift = s.facts.velocity;
  if (c.counter > 360) EndShot(s.world);
  LookAt(c, s.Look());
}

void ModeOrbit(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    c.roll = c.rollGoal = s.facts.roll;
    c.counter = 160;
  }
  Orbit(s, float(s.world.stepCounter) / 60.0f, 2.0f * s.facts.radius, 1.0f);
}

void ModeOrbitSlow(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    c.roll = c.rollGoal = 0.0f;
    c.counter = 160;
  }
  Orbit(s, float(c.counter) / 160.0f, 5.0f * s.facts.radius, 10.0f);
}

// Modes 6 (behind, `reverse` false) and 7 (in front, looking back).
void Chase(StepContext& s, bool reverse) {
  CameraState& c = s.camera;
  Vec3 forward = reverse ? -s.facts.forward : s.facts.forward;
  if (s.first) {
    c.direction = c.directionGoal = forward;
    c.up = c.upGoal = s.facts.up;
    c.roll = s.facts.roll;
    c.counter = s.PlayerFocus() ? 120 : 240;
  }
  c.directionGoal = forward;
  c.upGoal = s.facts.up;
  c.direction = c.direction * 0.8f + forward * 0.2f;
  if (!reverse) {
    if (!TypeIsWeapon(s.unit)) c.rollGoal = s.facts.roll;
  } else if (s.PlayerFocus()) {
    c.rollGoal = -s.facts.roll;
  }
  c.drift = s.facts.forward;
  c.fov = c.fovGoal = kFov35;
  // The copy faces the way the unit flies: in front of it the camera looks
  // back along the reversed direction.
  Vec3 copyDirection = reverse ? -c.direction : c.direction;
  Vec3 eyePoint = reverse ? Vec3{0.0f, 0.8f, 6.0f} : Vec3{0.0f, 1.5f, -15.0f};
  Vec3 fromPoint = reverse ? Vec3{0.0f, -3.0f, 6.0f} : Vec3{0.0f, -3.0f, -6.0f};
  Vec3 eye = PointOnTurnedCopy(s.unit, copyDirection, s.facts.up, eyePoint) + c.focusOffset;
  Vec3 from = PointOnTurnedCopy(s.unit, copyDirection, s.facts.up, fromPoint);
  c.eye = CollideEye(s.world, from, eye);
  if (c.counter > 360) EndShot(s.world);
  if (c.smoothedShake < 0.5f) c.smoothedShake = 0.5f;
}

void ModePan(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    if (NextRingByte(c) % 2 == 0) c.roll = s.facts.roll;
    c.counter = 180;
    c.eye = s.Look() + Vec3{-60.0f, 0.0f, -5.0f};
  }
  float a = float(c.counter - 180) * kDegree;
  c.drift = s.facts.velocity + Vec3{std::sin(a), 0.2f * std::cos(a), 0.12f * std::cos(a)};
  c.eye = CollideEye(s.world, s.Look(), c.eye + c.drift);
  if (c.counter > 360) EndShot(s.world);
  if (s.PlayerFocus()) c.rollGoal = s.facts.roll;
  LookAt(c, s.Look());
}

void ModeSwing(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    c.direction = s.facts.forward;
    c.up = s.facts.up;
    c.roll = s.facts.roll;
    c.fov = kFov40;
    c.fovGoal = kFov30;
    c.counter = 120;
  }
  float r = s.facts.radius;
  float counter = float(c.counter);
  Vec3 local;
  if (c.counter < 240) {
    // A straight run beside the unit that reaches its side at 240.
    local = Vec3{3.0f * r, 0.5f * r, (counter - 240.0f) * kPi / 30.0f * r};
  } else {
    // Then an eased arc of 120 degrees about the unit's up axis, rising.
    float t = (counter - 240.0f) / 120.0f - 1.0f;
    float e = 120.0f * (1.0f - t * t);
    float radians = e * kDegree;
    local = Vec3{3.0f * r * std::cos(radians), (e / 120.0f + 0.5f) * r, 3.0f * r * std::sin(radians)};
  }
  c.eye = CollideEye(s.world, s.Look(), s.unit.TransformPointToWorld(local));
  LookAt(c, s.Look());
  c.drift = s.facts.forward;
  if (s.PlayerFocus()) {
    Vec3 angles;
    core::AnglesFromDirection(&angles, c.direction, &s.facts.up);
    c.rollGoal = angles.z;
  }
  if (c.counter > 360) EndShot(s.world);
}

void ModeTargetView(StepContext& s) {
  CameraState& c = s.camera;
  if (!s.hasSecond) {
    EndShot(s.world);
    return;
  }
  if (s.first) c.roll = c.rollGoal = s.facts.roll;
  Vec3 lift = s.facts.up * 2.0f + s.facts.forward * 4.0f;
  c.eye = s.Look() + Vec3Normalize(s.second - s.focus) * 50.0f + lift;
  LookAt(c, s.focus + lift);
  c.fovGoal = FramingFov(Distance(c.eye, s.second));
  if (Distance(c.eye, s.second) > 400.0f - float(c.counter) / 6.0f || c.counter > 360) EndShot(s.world);
  units::Unit* second = s.world.targetUnit;
  if (second->state == kStateDestroyed && second->type && second->type->typeValue == units::kTypePlane)
    s.holdCounter = true;
}

void ModeTargetToFocus(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    c.roll = c.rollGoal = -s.facts.roll;
    c.counter = 240;
  }
  if (!s.hasSecond) {
    c.mode = 18;
    c.counter = 0;
    return;
  }
  c.eye = s.second + c.focusOffset + s.facts.up * 2.0f + s.facts.forward * 4.0f;
  c.fovGoal = FramingFov(Distance(c.eye, s.focus));
  LookAt(c, s.Look());
  if (Distance(s.second, s.focus) < 4.0f || c.counter > 360) {
    c.mode = 18;
    c.counter = 0;
  }
}

void ModeChaseToTarget(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    units::Unit* target = s.unit.target;
    Vec3 eye;
    if (target) {
      eye = units::GetUnitHeadPos(*target);
    } else if (Vec3Length(s.facts.velocity) > 0.5f) {
      eye = s.focus + Vec3Normalize(s.facts.velocity) * 30.0f + s.facts.up * 4.0f + Vec3{0.0f, 1.5f, 0.0f};
    } else {
      float bearing = float(NextRingByte(c) % 360) * kDegree;
      float height = float(NextRingByte(c) % 20) / 100.0f + 0.3f;
      eye = s.focus + Vec3{std::cos(bearing), height, std::sin(bearing)} * 25.0f;
    }
    c.eye = CollideEye(s.world, s.Look(), eye);
    c.roll = 0.0f;
    c.counter = 180;
  }
  c.drift = Vec3{};
  c.fovGoal = FramingFov(Distance(c.eye, s.focus));
  if (c.smoothedShake < 0.5f) c.smoothedShake = 0.5f;
  LookAt(c, s.Look());
}

void ModeStill(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    if (s.unit.state == kStateDestroyed) c.eye = s.focus + c.direction * 90.0f + Vec3{30.0f, 50.0f, 0.0f};
    else c.eye = s.focus - c.direction * 30.0f;
    c.roll = 0.0f;
  }
  c.drift = Vec3{0.0f, 0.05f, 0.0f};
  Vec3 raised = c.eye + Vec3{0.0f, 0.1f, 0.0f};
  if (!EyeIsBlocked(s.world, s.Look(), raised)) c.eye = raised;
  c.fovGoal = FramingFov(Distance(c.eye, s.focus));
  LookAt(c, s.Look());
}

// Modes 21, 22 and 23 start alike.
void FollowStart(StepContext& s) {
  if (!s.first) return;
  s.camera.roll = 0.0f;
  s.camera.fov = kFov40;
  s.camera.fovGoal = kFov30;
}

void ModeFollowSide(StepContext& s) {
  CameraState& c = s.camera;
  FollowStart(s);
  c.eye = s.Look() + Vec3Normalize(s.facts.velocity) * 20.0f + s.facts.up * 3.0f - s.facts.forward;
  c.drift = s.facts.velocity;
  LookAt(c, s.Look());
}

void ModeAttached(StepContext& s) {
  CameraState& c = s.camera;
  FollowStart(s);
  c.eye = s.focus;
  c.drift = s.facts.velocity;
  LookAt(c, s.Look());
}

void ModeFixedPoint(StepContext& s) {
  CameraState& c = s.camera;
  FollowStart(s);
  float t = float(150 - c.counter) / 60.0f;
  c.eye = s.unit.TransformPointToWorld(Vec3{-4.0f, 1.0f, t - 0.2f});
  LookAt(c, s.unit.TransformPointToWorld(Vec3{0.0f, 0.6f, 0.14f * t}) + c.focusOffset);
  c.drift = s.facts.forward;
  if (s.PlayerFocus()) c.rollGoal = s.facts.roll;
}

void ModeSmoothFollow(StepContext& s) {
  CameraState& c = s.camera;
  if (s.first) {
    c.eye = s.focus;
    c.roll = 0.0f;
  }
  c.drift = s.facts.forward;
  c.rollGoal = 0.0f;
  c.eye.x = (49.0f * c.eye.x + s.focus.x + 5.0f * s.facts.forward.x) * 0.02f;
  c.eye.y = (49.0f * c.eye.y + s.focus.y) * 0.02f;
  c.eye.z = (49.0f * c.eye.z + s.focus.z + 5.0f * s.facts.forward.z) * 0.02f;
  LookAt(c, s.Look());
}

// One step of the current mode's own rule, its counter advanced.
void RunMode(StepContext& s) {
  CameraState& c = s.camera;
  int32_t mode = c.mode;
  switch (mode) {
    case 0: ModeCockpit(s); break;
    case 1: ModeBehind(s); break;
    case 2: ModeFlyBy(s); break;
    case 3: ModeFlyByHigh(s); break;
    case 13: ModeFlyBySide(s); break;
    case 4: ModeFlyByWide(s); break;
    case 5: ModeOrbit(s); break;
    case 24: ModeOrbitSlow(s); break;
    case 6: Chase(s, false); break;
    case 7: Chase(s, true); break;
    case 8: ModePan(s); break;
    case 9: ModeSwing(s); break;
    case 16: ModeTargetView(s); break;
    case 17: ModeTargetToFocus(s); break;
    case 18: ModeChaseToTarget(s); break;
    case 19: ModeStill(s); break;
    case 21: ModeFollowSide(s); break;
    case 22: ModeAttached(s); break;
    case 23: ModeFixedPoint(s); break;
    case 30: ModeSmoothFollow(s); break;
    default: break;  // no rule of its own
  }
  switch (mode) {
    case 5: case 8: case 24: case 30:
      c.fov = c.fovGoal = kFov40;
      if (c.smoothedShake < 1.0f) c.smoothedShake = 1.0f;
      break;
    case 9: case 16: case 17: case 19: case 21: case 22: case 23:
      if (c.smoothedShake < 1.0f) c.smoothedShake = 1.0f;
      break;
    default: break;
  }
  // A mode that handed over starts its successor at counter 0.
  if (c.mode == mode && !s.holdCounter) c.counter++;
}

// [SECTION] Director and automatic chase

// The unit the director may turn to: the next recorded destruction near
// the focus (marked), else the last unit of another side within 130.
units::Unit* FindCandidate(GameWorld& world, units::Unit& focusUnit, bool* marked) {
  *marked = false;
  Vec3 at = focusUnit.GetObjectWorldPosition();
  int handle = FindRecorderMarker(world, 20, 200, nullptr);
  if (handle > 0) {
    units::Unit* unit = GetUnitAt(world, handle);
    if (unit && Distance(unit->GetObjectWorldPosition(), at) < 300.0f) {
      *marked = true;
      return unit;
    }
  }
  units::Unit* found = nullptr;
  int slots = CountUnitSlots(world);
  for (int i = 0; i < slots; i++) {
    units::Unit* unit = GetUnitAt(world, i);
    if (!unit || unit == &focusUnit || !unit->GetObjectModel()) continue;
    if (std::strcmp(unit->team.Get(), focusUnit.team.Get()) == 0) continue;
    if ((unit->flags & units::kUnitInert) || TypeIsWeapon(*unit)) continue;
    if (int32_t(Distance(unit->GetObjectWorldPosition(), at)) < 130) found = unit;
  }
  return found;
}

// A followed weapon closing on its target hands over to the chase.
void AutomaticChase(GameWorld& world) {
  CameraState& c = world.camera;
  units::Unit* unit = world.focusUnit;
  units::Unit* target = unit->target;
  if (TypeIsWeapon(*unit) && world.eventMode == 0 && c.mode != 18 && c.mode != 17 && target && c.mode != 2) {
    Vec3 from = unit->GetObjectWorldPosition();
    Vec3 toTarget = target->GetObjectWorldPosition() - from;
    float distance = Vec3Length(toTarget);
    float closing = Vec3Dot(unit->velocity - target->velocity, Vec3Normalize(toTarget));
    if (closing < 1.0f) closing = 1.0f;
    float steps = distance / closing;
    float limit = c.mode == 6 && c.counter <= 360 ? 2.0f : 40.0f;
    if (steps < limit) {
      c.mode = 18;
      c.counter = 0;
    }
  }
  // A followed unit that has finished hands the camera back to the player.
  // The player's own unit in that state has nothing to hand back to: were it
  // sent to the director too, every step would cut to a new shot.
  if (unit->state == kStateFinal && unit != world.playerUnit) {
    world.focusUnit = world.playerUnit;
    c.focusOffset = Vec3{};
    c.mode = -1;
  }
}

void Director(GameWorld& world, units::Unit* candidate, bool marked, Vec3 focus) {
  CameraState& c = world.camera;
  units::Unit* unit = world.focusUnit;
  int32_t previous = c.previousMode;
  if (unit && unit == world.playerUnit) {
    if (candidate) {
      Vec3 toward = Vec3Normalize(units::GetUnitHeadPos(*candidate) - focus);
      Vec3 p = focus + c.focusOffset + toward * 50.0f;
      if ((marked || NextRingByte(c) % 3 == 0) && previous != 16 && p.y > 5.0f) {
        c.mode = 16;
        world.targetUnit = candidate;
        c.counter = 0;
        return;
      }
    }
    int32_t shot = kDirectorShots[NextRingByte(c) % 16];
    for (int draws = 1; shot == previous && draws < 10; draws++) shot = kDirectorShots[NextRingByte(c) % 16];
    c.mode = shot;
    c.counter = 0;
    return;
  }
  if (!unit) return;
  if (unit->state == kStateDestroyed) {
    c.mode = previous;
    return;
  }
  if (previous == 6) {
    c.mode = 6;
    if (c.counter < 1) c.counter = 1;
    return;
  }
  units::Unit* target = unit->target;
  bool turnToTarget = false;
  if (target) {
    float dot = Vec3Dot(unit->GetObjectWorldFront(), target->GetObjectWorldFront());
    turnToTarget = dot >= 0.0f && dot <= 0.8f && (NextRingByte(c) & 1);
  }
  if (turnToTarget) {
    c.mode = 17;
    world.targetUnit = target;
  } else {
    c.mode = 6;
  }
  c.counter = 0;
}

// The draw range of the map objects: the environment's blended fog far.
float DrawRange(const GameWorld& world) {
  float farDistance = 0.0f;
  world.environment.GetBlendedFog(nullptr, &farDistance, nullptr);
  return farDistance;
}

void HandToRenderer(GameWorld& world, const CameraView& view) {
  world.camera.view = view;
  if (world.graphics) world.graphics->SetCamera3D(view.eye, view.direction, view.up, view.fov);
}

}  // namespace

// [SECTION] Setters

void SetCameraDefaults(CameraState& camera) {
  camera.eye = Vec3{0.0f, camera.eye.y, 0.0f};
  camera.focusOffset = camera.direction = camera.drift = camera.up = Vec3{};
  camera.directionGoal = camera.upGoal = camera.shakeOffset = camera.shakeGoal = Vec3{};
  camera.fov = camera.fovGoal = 0.6109f;
  camera.smoothedShake = camera.shakePower = camera.worldScale = 1.0f;
  camera.shakeRate = 1.0f;
  camera.shadowUnit = nullptr;
}

int StartWeaponCamera(GameWorld& world, units::Unit* weapon, float x, float y, float z) {
  CameraState& c = world.camera;
  if (!weapon || !world.focusUnit || world.focusUnit != world.playerUnit || c.counter <= 4) return 0;
  if (c.mode == 0 || c.mode == 1 || c.mode == 3 || c.mode == 13) return 0;
  c.counter = 270;
  c.focusOffset = world.focusUnit->GetObjectWorldPosition() - Vec3{x, y, z};
  world.focusUnit = weapon;
  return 0;
}

void SetCameraFocus(GameWorld& world, units::Unit* focus, units::Unit* second) {
  world.focusUnit = focus ? focus : world.playerUnit;
  world.targetUnit = second ? second : world.playerUnit;
  world.camera.shadowUnit = world.focusUnit;
  world.camera.focusOffset = Vec3{};
}

void SetCameraShadowUnit(GameWorld& world, units::Unit* unit) { world.camera.shadowUnit = unit; }

void SetCameraZoom(GameWorld& world, float a, float b) {
  if (a > 0.0f) world.camera.fov = a * kDegree;
  if (b > 0.0f) world.camera.fovGoal = b * kDegree;
}

void SetCameraRoll(GameWorld& world, float roll) { world.camera.rollSetting = roll; }

void SetCameraShakeRate(GameWorld& world, float rate) { world.camera.shakeRate = rate; }

units::Unit* GetCameraFocus(GameWorld& world) { return world.focusUnit; }
Vec3 GetCameraEye(GameWorld& world) { return world.camera.view.eye; }

void AddCameraShake(GameWorld& world, Vec3 position, float power) {
  const CameraState& c = world.camera;
  Vec3 lookPoint = c.eye + Vec3Normalize(c.direction) * 100.0f;
  float d = Distance(position, lookPoint);
  float strength = d < 100.0f ? power : power * 100.0f / d;
  if (strength > world.camera.shakePower) world.camera.shakePower = strength;
}

void SetCameraMode(GameWorld& world, int mode) {
  CameraState& c = world.camera;
  int viewMode = world.settings && world.settings->viewMode ? 1 : 0;
  if (mode == -2) {
    mode = viewMode;
  } else if (mode == -1) {
    mode = world.playback ? 2 : viewMode;
  } else {
    c.shakeRate = mode == 0 || mode == 1 ? 0.0f : 1.0f;
  }
  // A new shot: every cascade's static shadow map is drawn anew.
  for (ShadowCascadeRecord& record : world.cascades) record.eye.y -= 10000.0f;
  if (mode == 0 || mode == 1) world.focusUnit = world.playerUnit;
  c.focusOffset = Vec3{};
  c.flyByShake = 0;
  c.counter = 0;
  c.mode = mode;
}

// [SECTION] The step

void UpdateCamera(GameWorld& world) {
  CameraState& c = world.camera;
  units::Unit* unit = world.focusUnit;

  // 1. Nothing to follow: the stored camera as it is. The reset zeroes the
  // vectors; a zero direction or up would make no view at all, so a scene
  // without units looks ahead along +z until a unit is followed.
  if (!unit) {
    CameraView view;
    view.eye = c.eye;
    if (Vec3Length(c.direction) > 0.0f) view.direction = c.direction;
    if (Vec3Length(c.up) > 0.0f) view.up = c.up;
    view.fov = c.fov;
    view.roll = c.roll;
    HandToRenderer(world, view);
    return;
  }
  if (c.mode >= 0) c.previousMode = c.mode;

  // 2. The unit the director may turn to.
  bool marked = false;
  units::Unit* candidate = FindCandidate(world, *unit, &marked);

  // 3. The step's jitter, -1.0 to 1.0 by fifths.
  float jitter = float(int(c.ring[c.ringIndex] % 11) - 5) * 0.2f;
  c.ringIndex = uint8_t(c.ringIndex + 3);

  // 4-5. The heads of the focus and second units; the mode's own rule.
  StepContext s{world, c, *unit, ReadFacts(*unit), units::GetUnitHeadPos(*unit), {}, false, jitter,
                c.counter == 0};
  s.hasSecond = world.targetUnit != nullptr;
  s.second = s.hasSecond ? units::GetUnitHeadPos(*world.targetUnit) : s.focus;
  RunMode(s);

  // 6. Roll: the goal taken the short way round, a fiftieth a step.
  c.roll = WrapAngle(c.roll);
  c.rollGoal = WrapAngle(c.rollGoal);
  if (c.rollGoal - c.roll > kPi) c.rollGoal -= kTwoPi;
  if (c.rollGoal - c.roll < -kPi) c.rollGoal += kTwoPi;
  c.roll = WrapAngle((49.0f * c.roll + c.rollGoal) / 50.0f);

  // 7-8. The automatic chase; the director while the mode is negative.
  AutomaticChase(world);
  if (c.mode < 0) Director(world, candidate, marked, s.focus);

  // 9. Field of view.
  if (c.fovGoal < kFovMin) c.fovGoal = kFovMin;
  if (c.fovGoal > kFovMax) c.fovGoal = kFovMax;
  c.fov = (15.0f * c.fov + c.fovGoal) / 16.0f;

  // 10. The player's own views as they are; the others with roll and shake.
  CameraView view;
  view.eye = c.eye;
  view.fov = c.fov;
  if (c.mode == 0 || c.mode == 1) {
    view.direction = c.direction;
    view.up = c.up;
    view.roll = 0.0f;
    HandToRenderer(world, view);
  } else {
    if (c.rollSetting != CameraState::kNoRoll) c.roll = c.rollGoal = c.rollSetting;
    c.shakePower = 0.95f * c.shakePower;
    c.smoothedShake = (19.0f * c.smoothedShake + c.shakePower) / 20.0f;
    float p = float(c.shakePhase);
    Vec3 wobble = Vec3{std::sin(p * 0.5f), std::sin(p / 1.3f), std::sin(p / 1.7f)} * 0.005f;
    if (NextRingByte(c) % 4 == 0) c.shakePhase += NextRingByte(c) % 5;
    Vec3 toWobble = wobble - c.shakeGoal;
    if (Vec3Length(toWobble) < 0.001f) c.shakeGoal = wobble;
    else c.shakeGoal = c.shakeGoal + Vec3Normalize(toWobble) * 0.001f;
    c.shakeOffset = (c.shakeOffset * 19.0f + c.shakeGoal) * 0.05f;
    view.direction = c.direction + c.shakeOffset * (c.smoothedShake * c.shakeRate * 2.0f);
    view.roll = c.roll;
    core::RotateVectorAboutAxis(&view.up, view.direction, view.roll);
    world.camera.view = view;
    if (world.graphics) world.graphics->SetCameraWithRoll(view.eye, view.direction, view.roll, view.fov);
  }

  // 11. The headset turns the view by the wearer's head, and the field of
  // view becomes the first eye's (up and down tangents; without a display
  // they are zero and the camera's own field of view stays).
  if (world.settings && world.settings->stereoType == 4 && world.graphics) {
    Vec3 turn = world.graphics->GetHeadRotationVector();
    float angle = Vec3Length(turn);
    if (angle > 0.0f) {
      platform::Matrix m = platform::MatrixRotationAxis(Vec3Scale(turn, 1.0f / angle), angle);
      view.direction = platform::Vec3TransformNormal(view.direction, m);
      view.up = platform::Vec3TransformNormal(view.up, m);
    }
    float tangents[4] = {};
    world.graphics->GetEyeFovTangents(0, tangents);
    if (tangents[0] > 0.0f || tangents[1] > 0.0f) view.fov = std::atan(tangents[0]) + std::atan(tangents[1]);
    HandToRenderer(world, view);
  }

  // 12. The map objects' culling; the ring index back below 224; the
  // focus unit's inside view in the player's own views.
  SetMapView(world, view.eye, DrawRange(world));
  if (c.ringIndex >= 224) c.ringIndex = uint8_t(c.ringIndex + 32);
  if (world.focusUnit) world.focusUnit->viewWord = c.mode == 0 || c.mode == 1 ? 1 : 0;
}

}  // namespace world
