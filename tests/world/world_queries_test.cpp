// world_queries_test.cpp -- the world's small queries: flight-area bands,
// the network data table, the screen fade, the event mode, the nearest
// other unit.

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "units/units_services.h"
#include "world/world_public.h"

namespace {

TEST(WorldQueries, OutAreaBands) {
  world::GameWorld world;
  // The defaults: +-5000 with a margin of 900.
  EXPECT_EQ(world::out_area(world, 0, 0, 0), 0);
  EXPECT_EQ(world::out_area(world, 4200, 0, 0), 1);
  EXPECT_EQ(world::out_area(world, 0, 0, -5001), -1);

  EXPECT_EQ(world::set_flight_area(world, -100, 0, 10, 100, 50, 210, 10), 1);
  struct Case {
    float x, y, z;
    int expected;
  };
  const Case cases[] = {
      {0, 25, 110, 0},        // the middle
      {-90, 10, 20, 0},       // exactly at the margin's inner edge on three axes
      {90, 40, 200, 0},
      {-100, 25, 110, 1},     // on the lower x face
      {100, 25, 110, 1},      // on the upper x face
      {0, 50, 110, 1},        // on the upper y face
      {0, 25, 10, 1},         // on the lower z face
      {95, 25, 110, 1},       // in the x band
      {0, 45.5f, 110, 1},     // in the y band
      {0, 25, 205, 1},        // in the z band
      {100.01f, 25, 110, -1}, // just beyond the faces
      {0, -0.01f, 110, -1},
      {0, 25, 210.5f, -1},
      {-1e9f, 25, 110, -1},
      {std::nanf(""), 25, 110, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(world::out_area(world, c.x, c.y, c.z), c.expected) << c.x << "," << c.y << "," << c.z;
}

TEST(WorldQueries, NetworkDataTable) {
  world::GameWorld world;
  EXPECT_EQ(world::set_network_data(world, 39, 7, 5), 0);
  EXPECT_EQ(world::set_network_data(world, 39, 7, 6), 5);
  EXPECT_EQ(world::get_network_data(world, 39, 7), 6);
  for (auto [row, column] : {std::pair{40, 0}, {0, 8}, {-1, 0}, {0, -1}}) {
    EXPECT_EQ(world::set_network_data(world, row, column, 1), 0x7FFFFFFF);
    EXPECT_EQ(world::get_network_data(world, row, column), 0);
  }
  EXPECT_EQ(world::get_network_data(world, 39, 7), 6);
  EXPECT_EQ(world::get_network_data(world, 0, 0), 0);
  // Without a session the network-game flag is not taken.
  EXPECT_EQ(world::set_network_world(world, 1), -1);
  EXPECT_EQ(world.networkGame, 0);
}

// A field whose current value is negative keeps it; the others take theirs.
TEST(WorldQueries, FadeScreenKeepsNegativeFields) {
  world::GameWorld world;
  world::fade_screen(world, 0.5f, 1.0f, 0.05f);
  EXPECT_EQ(world.fadeValue, 0.5f);
  EXPECT_EQ(world.fadeTarget, 1.0f);
  EXPECT_EQ(world.fadeStep, 0.05f);
  world.fadeValue = -1.0f;
  world::fade_screen(world, 0.25f, 0.0f, 0.1f);
  EXPECT_EQ(world.fadeValue, -1.0f);
  EXPECT_EQ(world.fadeTarget, 0.0f);
  EXPECT_EQ(world.fadeStep, 0.1f);
  EXPECT_EQ(world::pause(world, 1), 1);
  EXPECT_EQ(world.paused, 1);
}

}  // namespace
