// units_weapon_fixture.h -- a small world for the weapon tests: unit types
// made in code, units placed with a box model, a ground slab when asked,
// and a step that runs every live unit once.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "render/model_fixture.h"
#include "script/script_public.h"
#include "test_support.h"
#include "units/units_combat.h"
#include "units/units_services.h"
#include "world/world_local.h"

namespace unittest {

using units::Unit;
using units::UnitType;
using units::Vec3;

class WeaponWorld : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", 0};
  core::FilePackageTable packages;
  render::GraphicsSystem gs;  // no device: models load, textures do not
  script::ScriptEngine se;
  render::CMesh box;          // -1..1 on each axis
  world::GameWorld world;

  WeaponWorld() {
    test::WriteFile("box.x", rendertest::Fixture("box.x"));
    gs.log = &log;
    gs.packages = &packages;
    world.log = &log;
    world.graphics = &gs;
    world.unitDatabase->graphics = &gs;
    EXPECT_EQ(box.LoadXFile(gs, "box.x", 0), 1);
  }
  ~WeaponWorld() override {
    for (int i = 1; i < world::CountUnitSlots(world); i++)
      if (Unit* u = world::GetUnitSlot(world, i)) u->SetObjectModel(nullptr);
    world.graphics = nullptr;
    world.unitDatabase->graphics = nullptr;
  }

  UnitType& AddType(const char* key, int32_t typeValue) {
    auto type = std::make_unique<UnitType>();
    type->key = key;
    type->typeValue = typeValue;
    UnitType* raw = type.get();
    world.unitDatabase->types.push_back(std::move(type));
    return *raw;
  }

  // A placed unit with the box model (something to show and to measure),
  // never taken as the player unit.
  Unit* Put(UnitType& type, const char* team, Vec3 at) {
    Unit* u = world::PutUnit(world, team, &type, 1, "", world::kPutNotPlayer, at, Vec3{}, nullptr);
    EXPECT_NE(u, nullptr);
    if (!u) return nullptr;
    u->SetObjectModel(&box);
    u->SetObjectPosition(at.x, at.y, at.z);
    u->velocity = {};
    u->SetObjectVisible(1);
    return u;
  }

  // A weapon spawned by `owner` at a point, flying along `velocity`.
  Unit* Spawn(UnitType& type, Unit* owner, Vec3 at, Vec3 velocity) {
    Unit* u = world::SpawnOwnedUnit(world, at, velocity, owner, &type);
    EXPECT_NE(u, nullptr);
    if (u) u->SetObjectModel(&box);
    return u;
  }

  // A flat ground whose top face is y = 0.
  void AddGround() {
    const char* master = R"({GROUND_A:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND"],SCALE:{x:5000,y:1,z:5000}}})";
    ASSERT_EQ(world::LoadMapMaster(world, Compile(master)), 1);
    ASSERT_EQ(world::ReadMapPlacements(world, Compile(R"([{ID:"GROUND_A",POS:{x:0,y:-1,z:0}}])"), 0), 1);
  }

  // Every live unit once, as the world step does (last slot first).
  void Step() {
    for (int i = world::CountUnitSlots(world) - 1; i > 0; i--)
      if (Unit* u = world::GetUnitAt(world, i)) units::UpdateUnit(world, *u);
  }

  // The units of one type now in the pool.
  std::vector<Unit*> UnitsOf(const UnitType& type) {
    std::vector<Unit*> out;
    for (int i = 1; i < world::CountUnitSlots(world); i++)
      if (Unit* u = world::GetUnitAt(world, i); u && u->type == &type) out.push_back(u);
    return out;
  }

  // The victims booked in a unit's hit queue, oldest first (the queue is
  // emptied).
  static std::vector<int32_t> Hits(Unit& unit) {
    std::vector<int32_t> ids;
    units::UnitEvent e{};
    while (units::PopHitEvent(unit, &e, 1) > 0) ids.push_back(e.unitId);
    return ids;
  }

  // True when the unit's hit queue holds hits on `id` only, at least one
  // (a direct strike and the blast around it may both book the victim).
  static bool HitOnly(Unit& unit, int32_t id) {
    std::vector<int32_t> ids = Hits(unit);
    if (ids.empty()) return false;
    for (int32_t v : ids)
      if (v != id) return false;
    return true;
  }

  // A data text compiled as the scripts hold it, or null.
  const script::CScriptArray* Compile(const std::string& text) {
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    std::string source = "extern object __data__=\r\n" + text + "\r\n;\r\n";
    EXPECT_EQ(se.LoadScriptMemory(source.c_str(), "data.txt"), 1) << se.GetErrorListText();
    script::CScriptValue* v = se.FindGlobal("__data__");
    return v && v->type == script::kValueCompound ? v->data.array : nullptr;
  }
};

}  // namespace unittest
