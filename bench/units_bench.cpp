// units_bench.cpp -- one fixed world step of 1,000 units (a small driver,
// one core). Three worlds: units on looping paths drawn as surfaces (state
// 800: curve walk, REACH at every point passed, facing; no ground fit) and
// with a model (ground fit: probe rays under the unit each step), every
// unit taking its update and, labelled, the world's NEAR trigger run, as the
// world step does; and 1,000 aircraft of two teams flying free under the
// aircraft behaviour and the flight model (targeting once a second, the
// state machine, obstacle probes every 16 steps, steering, lock-on, guns).
//
// Prints milliseconds per step, steps per second, nanoseconds per unit and
// the memory per unit (the record and what it holds on the heap). Needs no
// device.

#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "units/units_local.h"
#include "units/units_projectile.h"
#include "world/world_public.h"

namespace {

using Clock = std::chrono::steady_clock;
using units::Unit;
using units::Vec3;

constexpr int kUnits = 1000;
constexpr int kLoops = 10;
constexpr int kPointsPerLoop = 16;  // on-curve and control points alternating
constexpr int kWarmSteps = 120;
constexpr int kTimedSteps = 3000;
constexpr int kTriggerNear = 11;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

size_t HeapInUse() { return mallinfo2().uordblks; }

// A box of side 2 (12 triangles).
std::string Box() {
  return "xof 0303txt 0032\nMesh {\n8;\n-1;-1;-1;,1;-1;-1;,1;1;-1;,-1;1;-1;,-1;-1;1;,1;-1;1;,1;1;1;,-1;1;1;;\n"
         "6;\n4;0,1,2,3;,4;7,6,5,4;,4;0,4,5,1;,4;1,5,6,2;,4;2,6,7,3;,4;3,7,4,0;;\n}\n";
}

struct Scene {
  world::GameWorld world;
  units::PathPointPool pool;
  render::TextureHolder surface;
  render::CMesh model;
  units::UnitType type;
  std::vector<units::PathPoint*> heads;
  std::vector<std::unique_ptr<Unit>> own;
  std::vector<Unit*> units;
  size_t bytesPerUnit = 0;
  bool inWorld = false;

  explicit Scene(render::GraphicsSystem* gs, bool flying = false) {
    type.typeValue = flying ? units::kTypePlane : units::kTypeVehicle;
    if (flying) {
      type.power = 1.0f;
      type.stability = 3.0f;
      type.weight = 12.0f;
      type.mobility = {1.5707963f, 0.34906584f, 3.1415926f};
      type.mode = 1;
      for (int c = 0; c < 4; c++) type.range[c] = 1500;
      type.defense = 300;
    }
    // Ten closed loops of radius 200 to 650 around the origin.
    int id = 1;
    for (int loop = 0; loop < kLoops; loop++) {
      float radius = 200.0f + 50.0f * float(loop);
      units::PathPoint* first = nullptr;
      units::PathPoint* prev = nullptr;
      for (int i = 0; i < kPointsPerLoop; i++) {
        units::PathPoint* p = units::NewPathPoint(pool, id++, 1, 1, 1);
        float a = 6.2831853f * float(i) / float(kPointsPerLoop);
        units::SetPathPointPosition(*p, radius * std::cos(a), 10, radius * std::sin(a));
        units::SetPathPointOnCurve(*p, i % 2);
        if (prev) {
          units::SetNextPathPoint(*prev, p);
          units::SetPrevPathPoint(*p, prev);
        } else {
          first = p;
        }
        prev = p;
      }
      units::SetNextPathPoint(*prev, first);
      units::SetPrevPathPoint(*first, prev);
      heads.push_back(first);
    }
    if (gs) model.BuildMeshFromX(*gs, Box().data(), int(Box().size()), 0);

    size_t before = HeapInUse();
    for (int i = 0; i < kUnits; i++) {
      // Placed through the world's pool when it has one; else the bench
      // keeps the records itself and steps them as the world step does.
      // Aircraft: two teams spread over 8 by 8 km at 300 to 1,300 high.
      Vec3 at = flying ? Vec3{float(i % 32) * 250.0f - 4000.0f, 300.0f + float(i % 11) * 100.0f,
                              float(i / 32) * 250.0f - 4000.0f}
                       : Vec3{0, 0, 0};
      Unit* unit = world::PutUnit(world, flying && i % 2 ? "blue" : "red", &type, 5, i % 2 ? "convoy" : "", 0, at,
                                  {0, float(i % 8) * 0.785f, 0}, nullptr);
      if (!unit) {
        own.push_back(std::make_unique<Unit>());
        unit = own.back().get();
        unit->unitId = i + 1;
        unit->type = &type;
        units::SetUnitLabel(*unit, i % 2 ? "convoy" : "");
        units::SetUnitTeam(*unit, "red");
      }
      if (gs)
        unit->SetObjectModel(&model);
      else
        unit->surface = &surface;
      if (flying) {
        unit->hp = unit->maxHp = 300;
        units::SetUnitState(*unit, units::kUnitStateIdle, 0);
        unit->velocity = units::Mul(unit->GetObjectWorldFront(), 1.2f);
        units.push_back(unit);
        continue;
      }
      units::PathPoint* p = heads[size_t(i % kLoops)];
      for (int k = 0; k < (i / kLoops) % kPointsPerLoop; k++) p = p->next;
      units::SetUnitPath(*unit, p, 0);
      units::SetUnitState(*unit, units::kUnitStateFollowPath, 0);
      unit->velocity = {0, 0, 0.5f + 0.01f * float(i % 50)};
      units.push_back(unit);
    }
    bytesPerUnit = (HeapInUse() - before) / kUnits;
    inWorld = own.empty();
  }

  // One world step (the world's own when it holds the units).
  void Step() {
    if (inWorld) {
      world.StepWorld();
      return;
    }
    for (Unit* unit : units) {
      if (!units::UpdateUnit(world, *unit)) continue;
      if (unit->label.Get()[0]) world::RunPathTriggers(world, kTriggerNear, unit, unit);
    }
  }
};

void Run(const char* title, render::GraphicsSystem* gs, bool flying = false) {
  Scene scene(gs, flying);
  Vec3 start = scene.units[0]->GetObjectPosition();
  for (int i = 0; i < kWarmSteps; i++) scene.Step();
  Vec3 warm = scene.units[0]->GetObjectPosition();
  double cpu0 = bench::CpuSeconds();
  Clock::time_point t0 = Clock::now();
  for (int i = 0; i < kTimedSteps; i++) scene.Step();
  double wall = Seconds(t0, Clock::now());
  double cpu = bench::CpuSeconds() - cpu0;
  double perStep = cpu / kTimedSteps;
  std::printf("%s (%s)\n", title, scene.inWorld ? "the world's step over its pool" : "the units' loop of the world step");
  std::printf("  %d units, %d steps: %.4f ms per step (cpu), %.4f ms (wall), %.0f steps/s, %.0f ns per unit\n",
              kUnits, kTimedSteps, perStep * 1e3, wall / kTimedSteps * 1e3, 1.0 / perStep,
              perStep / kUnits * 1e9);
  std::printf("  unit moved from (%.1f, %.1f, %.1f) to (%.1f, %.1f, %.1f) in the warm-up\n", start.x, start.y,
              start.z, warm.x, warm.y, warm.z);
  std::printf("  memory per unit: %zu bytes on the heap (the record %zu, of it the display object %zu), a pool slot %zu\n",
              scene.bytesPerUnit, sizeof(Unit), sizeof(render::DisplayObject), sizeof(Unit*));
}

}  // namespace

int main(int argc, char** argv) {
  // `flying` runs the aircraft alone.
  if (argc > 1 && std::string(argv[1]) == "flying") {
    Run("aircraft flying free (aircraft behaviour and flight model):", nullptr, true);
    return 0;
  }
  Run("units as surfaces (path following, no ground fit):", nullptr);
  render::GraphicsSystem gs;
  Run("units with a model (path following and ground-fit probes):", &gs);
  Run("aircraft flying free (aircraft behaviour and flight model):", nullptr, true);
  return 0;
}
