// api_vectors.cpp -- the vector handler: vector arithmetic and the
// conversions between directions and rotations (all angles in radians),
// and the ray tests against the terrain and the units.

#include <cmath>

#include "api/api_args.h"
#include "api/api_local.h"
#include "world/world_public.h"

namespace api {

namespace {

// [SECTION] Arithmetic
//
// Their arguments are checked like every other call's: an argument that is
// not an object raises the error that names it, instead of being read.

// vector_cross(a, b): a x b.
void CallVectorCross(Call& call) {
  Vec3 a = ArgVector(call, 0);
  Vec3 b = ArgVector(call, 1);
  SetVector(call, Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x});
}

// vector_dot(a, b): a . b.
void CallVectorDot(Call& call) {
  Vec3 a = ArgVector(call, 0);
  Vec3 b = ArgVector(call, 1);
  SetFloat(call, a.x * b.x + a.y * b.y + a.z * b.z);
}

// vector_length(a): the square root of the sum of squares.
void CallVectorLength(Call& call) {
  Vec3 a = ArgVector(call, 0);
  SetFloat(call, std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z));
}

// vector_normalize(a): a / |a|; the zero vector stays zero.
void CallVectorNormalize(Call& call) { SetVector(call, platform::Vec3Normalize(ArgVector(call, 0))); }

// [SECTION] Directions and rotations

// vector_dir2rot(direction, up): pitch and yaw of the direction, the roll
// from the up vector.
void CallVectorDir2rot(Call& call) {
  Vec3 direction = ArgVector(call, 0);
  Vec3 up = ArgVector(call, 1);
  Vec3 angles{};
  core::AnglesFromDirection(&angles, direction, &up);
  SetRotationRadians(call, angles);
}

// vector_rot2dir(rotation): the front (0, 0, 1) turned by the rotation.
void CallVectorRot2dir(Call& call) {
  Vec3 forward{};
  core::DirectionFromAngles(&forward, nullptr, ArgRotationRadians(call, 0));
  SetVector(call, forward);
}

// vector_rot2up(rotation): the up (0, 1, 0) turned by the rotation.
void CallVectorRot2up(Call& call) {
  Vec3 up{};
  core::DirectionFromAngles(nullptr, &up, ArgRotationRadians(call, 0));
  SetVector(call, up);
}

// [SECTION] Ray tests

// vector_map_collision(from, to): where the segment first meets a map
// object (ground and every other object); {0, 0, 0} when it meets none or
// there is no world.
void CallVectorMapCollision(Call& call) {
  Vec3 from = ArgVector(call, 0);
  Vec3 to = ArgVector(call, 1);
  Vec3 hit{};
  if (!call.world ||
      !world::CastRayAgainstTerrain(*call.world, &hit, nullptr, from, to, world::kMapFilterGround | world::kMapFilterOthers))
    hit = Vec3{};
  SetVector(call, hit);
}

// vector_unit_collision(from, to): where the segment meets the nearest
// large unit or the player unit (hits beyond 1,000,000 from `from` left
// out); {0, 0, 0} when it meets none or there is no world.
void CallVectorUnitCollision(Call& call) {
  Vec3 from = ArgVector(call, 0);
  Vec3 to = ArgVector(call, 1);
  Vec3 hit{};
  if (!call.world || !world::vector_unit_collision(*call.world, nullptr, &hit, nullptr, from, to)) hit = Vec3{};
  SetVector(call, hit);
}

}  // namespace

// [SECTION] Names

const CallEntry kVectorCalls[] = {
    {"vector_cross", CallVectorCross},
    {"vector_dir2rot", CallVectorDir2rot},
    {"vector_dot", CallVectorDot},
    {"vector_length", CallVectorLength},
    {"vector_map_collision", CallVectorMapCollision},
    {"vector_normalize", CallVectorNormalize},
    {"vector_rot2dir", CallVectorRot2dir},
    {"vector_rot2up", CallVectorRot2up},
    {"vector_unit_collision", CallVectorUnitCollision},
};
const size_t kVectorCallCount = sizeof kVectorCalls / sizeof kVectorCalls[0];

// Its preset is float 0.0.
const script::SystemCallHandler HandleVectorSystemCall =
    TableHandler<kVectorCalls, kVectorCallCount, script::kCallFloat, 0>;

}  // namespace api
