// api_effects.cpp -- the general handler's effect and light calls: bursts,
// clouds, sparks, heat haze, hit flashes, lightning, particles, polygon
// strips, sonic booms, splashes and spot lights.

#include <vector>

#include "api/api_args.h"
#include "api/api_local.h"
#include "world/world_public.h"

namespace api {

namespace {

// The rise of the fire particles a script's burst makes.
constexpr float kScriptBombRise = 0.004f;
// The up a script's heat haze is turned about its vector by.
constexpr Vec3 kHeatUp{0.0f, 1.0f, 0.0f};

// Every vector of an effect call is read, its error raised, before any
// effect is made.
struct TwoVectors {
  Vec3 first, second;
};
TwoVectors ArgTwoVectors(const Call& call) { return {ArgVector(call, 0), ArgVector(call, 1)}; }

// The light of create_spot_light and put_spot_light: position, direction,
// colour as written (not divided by 255), two floats and a lifetime.
int AddScriptLight(Call& call, int lifetime) {
  TwoVectors v = ArgTwoVectors(call);
  Colour c = ArgColour(call, 2, true);
  if (!call.world) return -1;
  return world::AddPointLight(*call.world, v.first, v.second, Vec3{c.r, c.g, c.b}, ArgFloat(call, 3),
                              ArgFloat(call, 4), lifetime);
}

}  // namespace

// create_bomb(from, to, size): a burst of fire along the segment.
void CallCreateBomb(Call& call) {
  TwoVectors v = ArgTwoVectors(call);
  if (call.world) world::CreateBomb(*call.world, v.first, v.second, ArgInt(call, 2), kScriptBombRise);
}

// create_cloud(position, kind, size): one cloud, or a field of them for
// kind 16.
void CallCreateCloud(Call& call) {
  Vec3 p = ArgVector(call, 0);
  if (call.world) world::CreateCloud(*call.world, p, ArgInt(call, 1), ArgFloat(call, 2));
}

// create_electric(position, direction, value): a spark of random turn at
// the position; the direction and value are taken and not used.
void CallCreateElectric(Call& call) {
  TwoVectors v = ArgTwoVectors(call);
  if (call.world) world::CreateElectric(*call.world, v.first);
}

// create_heat(position, speed, size): a heat haze of the system model.
void CallCreateHeat(Call& call) {
  TwoVectors v = ArgTwoVectors(call);
  if (call.world) world::CreateHeat(*call.world, v.first, v.second, kHeatUp, ArgFloat(call, 2), nullptr);
}

// create_hit_effect(position, direction, value, size): a hit explosion;
// the two numbers are taken and not used.
void CallCreateHitEffect(Call& call) {
  TwoVectors v = ArgTwoVectors(call);
  if (call.world) world::CreateHitEffect(*call.world, v.first, v.second);
}

// create_lightning(position, direction, length): one bolt.
void CallCreateLightning(Call& call) {
  TwoVectors v = ArgTwoVectors(call);
  if (call.world) world::CreateLightning(*call.world, v.first, v.second, ArgFloat(call, 2));
}

// create_particle(position, direction, count): a stream of particles.
void CallCreateParticle(Call& call) {
  TwoVectors v = ArgTwoVectors(call);
  if (call.world) world::CreateParticle(*call.world, v.first, v.second, ArgInt(call, 2));
}

// create_polygon_effect(vertices, count): a strip through the first count
// vertices, stopping at the first missing one; each vertex object gives
// "x", "y", "z" and "r", "g", "b", "a" on a 0 to 255 scale.
void CallCreatePolygonEffect(Call& call) {
  const script::CScriptArray* vertices = RequireArray(call, 0);
  if (!call.world) return;
  int32_t count = ArgInt(call, 1);
  std::vector<Vec3> positions;
  std::vector<float> colours;
  for (int32_t i = 0; i < count; i++) {
    if (!script::GetElement(vertices, i)) break;
    const script::CScriptArray* vertex = script::GetElementCompound(vertices, i);
    positions.push_back(ReadVector(vertex));
    for (const char* member : {"r", "g", "b", "a"})
      colours.push_back(vertex ? script::GetMemberFloat(vertex, member) / 255.0f : 0.0f);
  }
  world::CreatePolygonEffect(*call.world, positions.data(), colours.data(), int(positions.size()), nullptr);
}

// create_sonic(position, direction): a sonic ring.
void CallCreateSonic(Call& call) {
  TwoVectors v = ArgTwoVectors(call);
  if (call.world) world::CreateSonic(*call.world, v.first, v.second, 1);
}

// create_splash(position, size): a water splash.
void CallCreateSplash(Call& call) {
  Vec3 p = ArgVector(call, 0);
  if (call.world) world::CreateSplash(*call.world, p, float(ArgInt(call, 1)));
}

// create_spot_light(position, direction, colour, range, factor, lifetime):
// the light's slot, -1 when the pool is full.
void CallCreateSpotLight(Call& call) {
  int slot = AddScriptLight(call, ArgInt(call, 5));
  if (call.world) SetInt(call, slot);
}

// put_spot_light(position, direction, colour, range, factor): a light of one
// step. It raises no error of its own: a missing object reads as zeros.
void CallPutSpotLight(Call& call) {
  if (!call.world) return;
  const script::CScriptArray* colour = ArgCompound(call, 2);
  Vec3 rgb = colour ? Vec3{script::GetMemberFloat(colour, "r"), script::GetMemberFloat(colour, "g"),
                           script::GetMemberFloat(colour, "b")}
                    : Vec3{};
  world::AddPointLight(*call.world, ReadVector(ArgCompound(call, 0)), ReadVector(ArgCompound(call, 1)), rgb,
                       ArgFloat(call, 3), ArgFloat(call, 4), 1);
}

// release_cloud(): every cloud goes.
void CallReleaseCloud(Call& call) {
  if (call.world) SetInt(call, world::ReleaseAllClouds(*call.world));
}

}  // namespace api
