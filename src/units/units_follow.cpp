// units_follow.cpp -- path following, obstacle probes, aiming within
// angular limits and the damaged units' smoke.

#include "units/units_paths.h"

namespace units {

int FollowPath(world::GameWorld&, Unit&) { return 0; }
int ProbeObstacles(world::GameWorld&, Unit&, Vec3* out, const Vec3& velocity, int) {
  if (out) *out = velocity;
  return 0;
}
void TurnTowardPoint(Unit&, Vec3* out, const Vec3&, float, float, float, float) {
  if (out) *out = {};
}
void ClampDirectionToScope(Vec3* out, const Vec3& direction, float, float, float, float) {
  if (out) *out = direction;
}
int IsDirectionInScope(const Vec3&, float, float, float, float) { return 0; }
int EmitRandomEffect(world::GameWorld&, Unit&) { return 0; }

}  // namespace units
