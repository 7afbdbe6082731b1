// units_follow.cpp -- path following, obstacle probes, aiming within
// angular limits and the damaged units' smoke.
//
// Shared motion of the unit behaviours: FollowPath moves a unit along the
// path point it is bound to at its speed and sets ground units on the
// ground; ProbeObstacles looks ahead for units and terrain; TurnTowardPoint
// is a bang-bang turn controller; EmitRandomEffect smokes a damaged unit.
//
// Index
//   [SECTION] The path parameter
//   [SECTION] Path following and the ground fit
//   [SECTION] Obstacle probes
//   [SECTION] Aiming
//   [SECTION] Smoke

#include <bit>
#include <cmath>

#include "units/units_services.h"
#include "units_projectile.h"
#include "world/world_services.h"

namespace units {

using platform::Vec3Add;
using platform::Vec3Length;
using platform::Vec3Normalize;
using platform::Vec3Scale;
using platform::Vec3Subtract;

// ----------------------------------------------------------------------------
// [SECTION] The path parameter
//
// The unit's path index word holds the parameter's float bits: an index of
// 0, as `set_path` gives, is the parameter 0.
// ----------------------------------------------------------------------------

float GetUnitPathParameter(const Unit& unit) { return std::bit_cast<float>(unit.pathIndex); }

void SetUnitPathParameter(Unit& unit, float t) { unit.pathIndex = std::bit_cast<decltype(unit.pathIndex)>(t); }

// ----------------------------------------------------------------------------
// [SECTION] Path following and the ground fit
// ----------------------------------------------------------------------------

namespace {

constexpr int kReachTriggerList = 4;

// Least squares g = a + b s over the probes that hit.
void FitLine(const float* s, const float* g, const bool* hit, int count, float* a, float* b) {
  float n = 0, sumS = 0, sumS2 = 0, sumG = 0, sumSG = 0;
  for (int i = 0; i < count; i++) {
    if (!hit[i]) continue;
    n += 1;
    sumS += s[i];
    sumS2 += s[i] * s[i];
    sumG += g[i];
    sumSG += s[i] * g[i];
  }
  float denominator = n * sumS2 - sumS * sumS;
  if (denominator == 0) {
    *b = 0;
    *a = n > 0 ? sumG / n : 0;
    return;
  }
  *b = (n * sumSG - sumS * sumG) / denominator;
  *a = (sumG - *b * sumS) / n;
}

}  // namespace

void FitGroundPlane(const float* x, const float* z, const float* gap, const bool* hit, int count, float* lift,
                    float* slopeX, float* slopeZ) {
  float a, b, a2, b2;
  FitLine(x, gap, hit, count, &a, &b);
  FitLine(z, gap, hit, count, &a2, &b2);
  *lift = a > a2 ? a : a2;
  *slopeX = b;
  *slopeZ = b2;
}

namespace {

// Sets a unit with a model on the ground under its tyres (or under three
// points of its model box): probes straight down along its up axis, fits a
// plane through the gaps and lifts and tilts the unit onto it. Q and the
// angles are updated in place; the unit stands at them on return.
void FitToGround(world::GameWorld& world, Unit& unit, const Vec3& up, Vec3* q, Vec3* angles) {
  unit.SetObjectPosition(q->x, q->y, q->z);
  unit.SetObjectAngles(angles->x, angles->y, angles->z);

  constexpr int kMostProbes = kUnitAttachments + 3;
  Vec3 worldPoints[kMostProbes];
  Vec3 local[kMostProbes];
  int count = 0;
  // A released unit has lost its type, so a slot still naming one is passed.
  for (Unit* tyre : unit.attachments) {
    if (!tyre || !tyre->type || !IsDefinedPoint(tyre->type->tirePos)) continue;
    worldPoints[count] = tyre->TransformPointToWorld(tyre->type->tirePos);
    local[count] = unit.TransformPointToLocal(worldPoints[count]);
    count++;
  }
  if (count < 2) {
    Vec3 m, M;
    unit.GetObjectModel()->GetMeshBounds(&M, &m, nullptr, nullptr);
    const Vec3 box[3] = {{0, 0, M.z / 2}, {M.x / 2, 0, m.z / 2}, {m.x / 2, 0, m.z / 2}};
    count = 0;
    for (const Vec3& p : box) {
      local[count] = p;
      worldPoints[count] = unit.TransformPointToWorld(p);
      count++;
    }
  }

  // Four tries a probe, each shifted a little, so a segment that runs along
  // an edge of the ground's triangles still finds it.
  static const Vec3 kShifts[4] = {{0, -0.01f, 0}, {0, 0.01f, -0.01f}, {-0.01f, 0.01f, 0.01f}, {0.01f, 0.01f, 0.01f}};
  bool flying = unit.type && (unit.type->typeValue == kTypePlane || unit.type->typeValue == kTypeVtol);
  float gap[kMostProbes] = {};
  float xs[kMostProbes], zs[kMostProbes];
  bool hit[kMostProbes] = {};
  int hits = 0;
  for (int i = 0; i < count; i++) {
    xs[i] = local[i].x;
    zs[i] = local[i].z;
    Vec3 from = Vec3Add(worldPoints[i], Vec3Scale(up, 20));
    Vec3 to = flying ? worldPoints[i] : Vec3Subtract(worldPoints[i], Vec3Scale(up, 20));
    for (const Vec3& shift : kShifts) {
      Vec3 a = Vec3Add(from, shift);
      Vec3 b = Vec3Add(to, shift);
      Vec3 point;
      if (!world::CastRayAgainstTerrain(world, &point, nullptr, a, b, 0) &&
          !world::CastRayAgainstWorld(world, &unit, &point, a, b))
        continue;
      gap[i] = unit.TransformPointToLocal(point).y - local[i].y;
      hit[i] = true;
      hits++;
      break;
    }
  }
  if (hits == 0) return;

  float lift, b, b2;
  FitGroundPlane(xs, zs, gap, hit, count, &lift, &b, &b2);

  render::DisplayObject probe;
  probe.SetObjectParent(&unit);
  probe.SetObjectPosition(0, lift, 0);
  Vec3 hint{-b, 1, 0};
  probe.SetObjectLookAt({0, b2, 1}, &hint);
  *q = probe.GetObjectWorldPosition();
  Vec3 front = probe.GetObjectWorldFront();
  Vec3 top = probe.GetObjectWorldUp();
  core::AnglesFromDirection(angles, front, &top);
  probe.SetObjectParent(nullptr);
}

}  // namespace

bool AdvanceAlongPath(world::GameWorld& world, Unit& unit, float distance, float* parameter) {
  float t = FindPathParameterByDistance(*unit.path, GetUnitPathParameter(unit), distance);
  SetUnitPathParameter(unit, t);
  while (t >= 1 && unit.path->next) {
    t -= 1;
    unit.path = unit.path->next;
    SetUnitPathParameter(unit, t);
    world::RunPathTriggers(world, kReachTriggerList, &unit, &unit);
    if (!unit.path) return false;  // a trigger's script took the unit off its path
  }
  *parameter = t;
  return true;
}

int FollowPath(world::GameWorld& world, Unit& unit) {
  Vec3 angles = unit.GetObjectAngles();
  Vec3 v = unit.velocity;
  float speed = Vec3Length(v);

  // A change of speed under way moves toward the target and ends on it.
  float change = unit.speedRate;
  if (change > 0) {
    if (speed > unit.speedTarget) {
      speed -= change;
      if (speed <= unit.speedTarget) {
        speed = unit.speedTarget;
        unit.speedRate = 0;
      }
    } else {
      speed += change;
      if (speed >= unit.speedTarget) {
        speed = unit.speedTarget;
        unit.speedRate = 0;
      }
    }
  }
  // A stopped unit is put on its path only in the first step of its state.
  if (speed <= 0 && UnitAge(unit) != 0) return 0;
  if (!unit.path) return 0;
  // The up axis of the pose the unit starts the step with: taken before a
  // reach trigger's script may move it, and only by a unit that moves.
  Vec3 up = unit.GetObjectWorldUp();

  float t;
  if (!AdvanceAlongPath(world, unit, speed, &t)) return 0;

  PathPoint& point = *unit.path;
  PathSampler sampler(point);
  Vec3 q = sampler.Position(t);
  Vec3 d = point.next ? Vec3Subtract(sampler.Position(t + 0.01f), q) : v;
  d = Vec3Normalize(d);
  // Without a direction (a unit at rest at the end of an open path) the
  // unit keeps facing as it did.
  if (Vec3Length(d) > 0) core::AnglesFromDirection(&angles, d, nullptr);
  v = Vec3Scale(d, speed);

  render::CMesh* model = unit.GetObjectModel();
  if (model && model->GetMeshRadius(nullptr) > 0.001f) FitToGround(world, unit, up, &q, &angles);

  unit.velocity = v;
  unit.SetObjectPosition(q.x, q.y, q.z);
  unit.SetObjectAngles(angles.x, angles.y, angles.z);
  return 0;
}

// ----------------------------------------------------------------------------
// [SECTION] Obstacle probes
// ----------------------------------------------------------------------------

namespace {

struct Probe {
  Vec3 look;
  Vec3 escape;
};
constexpr Probe kProbes[5] = {
    {{0, 0, 1}, {0, 0, -1}},   {{1, 0, 1}, {-1, 0, 0.5f}}, {{0, 1, 1}, {0, -1, 0.5f}},
    {{-1, 0, 1}, {1, 0, 0.5f}}, {{0, -1, 1}, {0, 1, 0.5f}},
};
constexpr int kTerrainProbeMode = 3;

// The nearest hit of the segment against units (the unit itself skipped)
// and the terrain: true and its distance from `from`.
bool ProbeSegment(world::GameWorld& world, Unit& unit, const Vec3& from, const Vec3& to, float* distance) {
  Vec3 point;
  bool hit = false;
  float nearest = INFINITY;
  if (world::CastRayAgainstWorld(world, &unit, &point, from, to)) {
    hit = true;
    nearest = Vec3Length(Vec3Subtract(point, from));
  }
  if (world::CastRayAgainstTerrain(world, &point, nullptr, from, to, kTerrainProbeMode)) {
    hit = true;
    float d = Vec3Length(Vec3Subtract(point, from));
    if (d < nearest) nearest = d;
  }
  if (distance) *distance = nearest;
  return hit;
}

}  // namespace

int ProbeObstacles(world::GameWorld& world, Unit& unit, Vec3* out, const Vec3& velocity, int force) {
  Vec3 p = unit.GetObjectWorldPosition();
  Vec3 saved = unit.GetObjectAngles();
  float length = Vec3Length(velocity);
  if (!(length > 0)) {
    if (out) *out = velocity;
    return 0;
  }
  Vec3 facing;
  core::AnglesFromDirection(&facing, Vec3Scale(velocity, 1 / length), nullptr);
  unit.SetObjectAngles(facing.x, facing.y, facing.z);

  bool clear = false;
  if (!force) {
    const float l = length;
    const Vec3 first[5] = {{0, 0, l}, {-0.4f * l, -0.4f * l, l}, {-0.4f * l, 0.4f * l, l}, {0.4f * l, -0.4f * l, l},
                           {0.4f * l, 0.4f * l, l}};
    clear = true;
    for (const Vec3& local : first)
      if (ProbeSegment(world, unit, p, unit.TransformPointToWorld(local), nullptr)) {
        clear = false;
        break;
      }
  }
  int result = 0;
  Vec3 correction{};
  if (!clear) {
    for (const Probe& probe : kProbes) {
      float d;
      Vec3 w = unit.TransformPointToWorld(Vec3Scale(probe.look, length));
      if (!ProbeSegment(world, unit, p, w, &d)) continue;
      result = 1;
      if (d < length) {
        Vec3 e = unit.TransformPointToWorld(Vec3Scale(probe.escape, length));
        correction = Vec3Add(correction, Vec3Scale(Vec3Subtract(e, p), 100 * (1 - d / length)));
      }
    }
  }
  unit.SetObjectAngles(saved.x, saved.y, saved.z);
  if (out) *out = result ? correction : velocity;
  return result;
}

// ----------------------------------------------------------------------------
// [SECTION] Aiming
// ----------------------------------------------------------------------------

namespace {


// One axis of the bang-bang controller: full acceleration toward the error
// until the stopping reach covers it, then braking.
float TurnAxis(float v, float error, float rate, float stability) {
  float w = rate / 60;
  float a = w * stability / 60;
  if (a == 0) return 0;
  float reach = v / a * v * 0.5f + a;
  if (reach < error) {
    v = v + a;
    return v < w ? v : w;
  }
  if (-reach > error) {
    v = v - a;
    return v > -w ? v : -w;
  }
  if (v > a) return v - a;
  if (v < -a) return v + a;
  return v * 0.5f;
}

}  // namespace

void TurnTowardPoint(Unit& unit, Vec3* out, const Vec3& point, float maxPitch, float minPitch, float maxYaw,
                     float minYaw) {
  Vec3 current = unit.GetObjectAngles();
  unit.SetObjectAngles(0, 0, 0);
  Vec3 wanted;
  core::AnglesFromDirection(&wanted, unit.TransformPointToLocal(point), nullptr);
  unit.SetObjectAngles(current.x, current.y, current.z);
  wanted.x = Clamp(wanted.x, minPitch, maxPitch);
  wanted.y = Clamp(wanted.y, minYaw, maxYaw);

  float stability = unit.type ? unit.type->stability : 0;
  Vec3 mobility = unit.type ? unit.type->mobility : Vec3{};
  unit.moment.x = TurnAxis(unit.moment.x, WrapAngle(wanted.x - current.x), mobility.x, stability);
  unit.moment.y = TurnAxis(unit.moment.y, WrapAngle(wanted.y - current.y), mobility.y, stability);
  unit.moment.z = 0;
  if (out) *out = unit.moment;
}

void ClampDirectionToScope(Vec3* out, const Vec3& direction, float maxPitch, float minPitch, float maxYaw,
                           float minYaw) {
  Vec3 angles;
  core::AnglesFromDirection(&angles, direction, nullptr);
  angles.x = Clamp(angles.x, minPitch, maxPitch);
  angles.y = Clamp(angles.y, minYaw, maxYaw);
  core::DirectionFromAngles(out, nullptr, angles);
}

int IsDirectionInScope(const Vec3& direction, float maxPitch, float minPitch, float maxYaw, float minYaw) {
  Vec3 angles;
  core::AnglesFromDirection(&angles, direction, nullptr);
  return angles.y >= minYaw && angles.y <= maxYaw && angles.x >= minPitch && angles.x <= maxPitch ? 1 : 0;
}

// ----------------------------------------------------------------------------
// [SECTION] Smoke
// ----------------------------------------------------------------------------

int EmitRandomEffect(world::GameWorld& world, Unit& unit) {
  // About half the steps when the state begins, a tenth from step 240 on.
  int chance = (300 - UnitAge(unit)) / 6;
  if (chance < 10) chance = 10;
  if (world::Rand(world) % 100 < chance) {
    Vec3 head = unit.type ? unit.TransformPointToWorld(unit.type->headPos) : unit.GetObjectWorldPosition();
    world::CreateBomb(world, head, Vec3{}, 0, 0.04f);
  }
  return 0;
}

}  // namespace units
