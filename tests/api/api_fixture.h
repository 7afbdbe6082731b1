// api_fixture.h -- a world built alone with the engine's system calls
// registered, and the system include in its working folder, for running
// game scripts against the calls.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "api/api_local.h"
#include "api/api_world_fixture.h"

namespace apitest {

// The system include of the source tree.
inline std::string SystemIncludePath() {
  const char* root = std::getenv("TKW4_SOURCE_DIR");
  return std::string(root ? root : ".") + "/games/ZadAzorad/Script/system.inc";
}

// The registered world with the system include in its working folder.
struct WorldFixture : RegisteredWorld {
  WorldFixture() {
    std::filesystem::create_directories("zadazorad/script");
    std::filesystem::copy_file(SystemIncludePath(), "zadazorad/script/system.inc");
  }

  // Starts the world on a script of `text` after the system include and
  // runs `frames` frames.
  void Run(const std::string& text, int frames = 3, const char* name = "start.rsp") {
    test::WriteFile(name, "#include \"/zadazorad/script/system.inc\"\r\n" + text);
    ASSERT_EQ(world.SetNextScriptPath(name), 1);
    for (int i = 0; i < frames; i++) world.RunWorldFrame(nullptr);
  }

  script::CScriptValue* Global(const char* name) {
    script::CScriptValue* v = world.FindScriptGlobal(name);
    return v ? script::FollowRefer(v) : nullptr;
  }
  float Number(const char* name) {
    script::CScriptValue* v = Global(name);
    return v ? script::ScriptEngine::ValueToFloat(v) : -12345.0f;
  }
  std::string Text(const char* name) {
    script::CScriptValue* v = Global(name);
    return v && v->type == script::kValueString ? v->stringValue.str() : "<none>";
  }
  script::CScriptArray* Object(const char* name) {
    script::CScriptValue* v = Global(name);
    return v && v->type == script::kValueCompound ? v->data.array : nullptr;
  }
  // The members a compound holds (its slot count includes free slots).
  static int MemberCount(const script::CScriptArray* compound) {
    int n = 0;
    for (int32_t i = 0; i < script::GetElementCount(compound); i++) n += script::GetElement(compound, i) != nullptr;
    return n;
  }
  // "RuntimeError.txt", "" when none was written.
  std::string RuntimeError() {
    return std::filesystem::exists("RuntimeError.txt") ? test::ReadFile("RuntimeError.txt") : "";
  }
};

// A world whose script is reset first, then takes units placed by the test
// (so `main` runs with them in the pool) of types the test adds.
struct PlacingWorld : WorldFixture {
  units::UnitType* AddType(const char* name, int defense, uint32_t attributes, int typeValue = 0) {
    auto type = std::make_unique<units::UnitType>();
    type->key = type->name = name;
    type->defense = defense;
    type->attributes = attributes;
    type->typeValue = typeValue;
    units::UnitType* raw = type.get();
    world.unitDatabase->types.push_back(std::move(type));
    return raw;
  }

  // The script's reset only; then Place() and Finish().
  void Start(const std::string& text) {
    Run(text, 1);
    world.freezeCountdown = 1000;  // units without a model are not stepped away
  }
  units::Unit* Place(units::UnitType* type, const char* label = "", units::Unit* parent = nullptr,
                     core::Vec3 position = {}) {
    units::Unit* u = world::PutUnit(world, "red", type, 1, label, 0, position, core::Vec3{}, parent);
    EXPECT_NE(u, nullptr);
    return u;
  }
  void Finish(int frames = 2) {
    for (int i = 0; i < frames; i++) world.RunWorldFrame(nullptr);
  }
  units::Unit* At(int slot) { return world::GetUnitAt(world, slot); }
};

}  // namespace apitest
