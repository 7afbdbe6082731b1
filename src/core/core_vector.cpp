// core_vector.cpp -- conversions between direction vectors and the engine's
// pitch, yaw and roll angles.

#include <cmath>

#include "core/core_public.h"

namespace core {

using namespace platform;

namespace {

bool IsZero(const Vec3& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

// The up vector that belongs to a direction without roll: the direction
// turned a quarter turn upward about its horizontal right-angle axis. A
// vertical direction has no such axis; it is taken as facing yaw 0, the yaw
// AnglesFromDirection gives it, so the two stay consistent.
Vec3 OwnUp(const Vec3& d) {
  // The quarter turn about (-d.z, 0, d.x) in closed form: the horizontal
  // part tips down by the rise, the rise becomes the horizontal length.
  float h = std::sqrt(d.x * d.x + d.z * d.z);
  if (h > 0.0f) return {-d.x * d.y / h, h, -d.z * d.y / h};
  return Vec3TransformCoord(d, MatrixRotationAxis({-1.0f, 0.0f, 0.0f}, kPi / 2.0f));
}

}  // namespace

int AnglesFromDirection(Vec3* angles, const Vec3& d, const Vec3* up) {
  angles->x = std::atan2(d.y, std::sqrt(d.x * d.x + d.z * d.z));
  angles->y = -std::atan2(d.x, d.z);
  angles->z = 0.0f;
  if (!up) return 1;

  Vec3 own = OwnUp(d);
  if (IsZero(own)) return 1;  // no direction at all

  // Project the given up onto the plane across the direction (what a view
  // along d does when its depth is dropped): up less its part along d.
  Vec3 n = Vec3Normalize(d);
  Vec3 p = Vec3Normalize(Vec3Subtract(*up, Vec3Scale(n, Vec3Dot(*up, n))));
  Vec3 o = Vec3Normalize(own);

  if (o.x == up->x && o.y == up->y && o.z == up->z) return 1;
  if (IsZero(p)) return 1;  // the up vector lies along the direction

  Vec3 c = Vec3Cross(o, p);
  float k = Vec3Dot(o, p);
  float angle;
  if (k > 0.99f)
    angle = Vec3Length(Vec3Subtract(p, o));  // acos loses precision near 0
  else if (k < -0.99f)
    angle = kPi - Vec3Length(Vec3Add(p, o));
  else
    angle = std::acos(k);
  angles->z = Vec3Dot(c, d) > 0.0f ? angle : -angle;
  return 1;
}

int DirectionFromAngles(Vec3* forward, Vec3* up, const Vec3& angles) {
  // The third and second rows of the yaw-pitch-roll rotation (yaw -y, pitch
  // -x, roll z), written out: the same bits the whole matrix and a point
  // transform give.
  float sy = std::sin(-angles.y), cy = std::cos(-angles.y);
  float sp = std::sin(-angles.x), cp = std::cos(-angles.x);
  if (forward) *forward = {cp * sy + 0.0f, -sp + 0.0f, cp * cy + 0.0f};
  if (up) {
    float sr = std::sin(angles.z), cr = std::cos(angles.z);
    float crsp = cr * sp;
    *up = {-sr * cy + crsp * sy + 0.0f, cr * cp + 0.0f, -sr * -sy + crsp * cy + 0.0f};
  }
  return 1;
}

int RotateVectorAboutAxis(Vec3* out, const Vec3& direction, float roll) {
  Vec3 own = OwnUp(direction);
  *out = Vec3TransformCoord(own, MatrixRotationAxis(direction, roll));
  return 0;
}

Vec3* SnapToGrid(Vec3* out, Vec3* copy, const Vec3& v, float grid) {
  if (!(grid != 0.0f) || !std::isfinite(grid)) {
    // No grid: the vector stays as it is rather than turning into NaN.
    *out = v;
    if (copy) *copy = v;
    return out;
  }
  auto snap = [grid](float c) {
    float half = grid / 2.0f;
    return c >= 0.0f ? std::trunc((c + half) / grid) * grid : std::trunc((c - half) / grid) * grid;
  };
  *out = {snap(v.x), snap(v.y), snap(v.z)};
  if (copy) *copy = *out;
  return out;
}

}  // namespace core
