// units_typed_world.h -- a bare world whose unit types the test makes in
// code, and a plain surface its units show.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "world/world_public.h"

namespace unitstest {

struct TypedWorld : ::testing::Test {
  world::GameWorld world;
  render::TextureHolder surface{};

  units::UnitType* AddType(const char* key, int32_t typeValue) {
    auto type = std::make_unique<units::UnitType>();
    type->key = key;
    type->name = key;
    type->typeValue = typeValue;
    units::UnitType* raw = type.get();
    world.unitDatabase->types.push_back(std::move(type));
    return raw;
  }
};

}  // namespace unitstest
