// world_queries_test.cpp -- the world's small queries: flight-area bands,
// the network data table, the screen fade, the event mode, the nearest
// other unit.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
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
  EXPECT_EQ(world.fade.value, 0.5f);
  EXPECT_EQ(world.fade.target, 1.0f);
  EXPECT_EQ(world.fade.step, 0.05f);
  world.fade.value = -1.0f;
  world::fade_screen(world, 0.25f, 0.0f, 0.1f);
  EXPECT_EQ(world.fade.value, -1.0f);
  EXPECT_EQ(world.fade.target, 0.0f);
  EXPECT_EQ(world.fade.step, 0.1f);
  EXPECT_EQ(world::pause(world, 1), 1);
  EXPECT_EQ(world.paused, 1);
}

// Destructions are marked only while a run is recorded; the look-ahead
// reads them through the world during the replay.
TEST(WorldQueries, RecorderMarksThroughTheWorld) {
  world::GameWorld world;
  int offset = -1;
  EXPECT_EQ(world::FindRecorderMarker(world, 0, 60, &offset), -1);  // no recorder
  world::MarkRecorderDestruction(world, 3);

  auto recorder = std::make_unique<world::InputRecorder>();
  world.recorder = recorder.get();
  for (int i = 0; i < 20; i++) recorder->RecordStep(nullptr, nullptr, nullptr, nullptr, nullptr);
  world::MarkRecorderDestruction(world, 12);  // slot 3
  world.playback = 1;
  world::MarkRecorderDestruction(world, 13);  // a replay marks nothing
  recorder->RewindRecorder(true);
  EXPECT_EQ(world::FindRecorderMarker(world, 0, 60, &offset), 12);
  EXPECT_EQ(offset, 18);
  EXPECT_EQ(world::FindRecorderMarker(world, 0, 60, nullptr), 12);
  EXPECT_EQ(world::FindRecorderMarker(world, 24, 60, &offset), -1);
}

// Entering an event starts the camera countdown; leaving one releases the
// shown, unparented weapons of other teams than the player's.
TEST(WorldQueries, LeavingAnEventReleasesOtherTeamsWeapons) {
  world::GameWorld world;
  units::UnitType weapon, plane;
  weapon.attributes = units::kAttrWeapon;
  units::Unit* player = world::AllocUnit(world);
  units::Unit* theirs = world::AllocUnit(world);
  units::Unit* ours = world::AllocUnit(world);
  units::Unit* hidden = world::AllocUnit(world);
  units::Unit* craft = world::AllocUnit(world);
  ASSERT_TRUE(player && theirs && ours && hidden && craft);
  player->type = &plane;
  player->team.Set("blue");
  world.playerUnit = player;
  for (units::Unit* u : {theirs, ours, hidden}) u->type = &weapon;
  for (units::Unit* u : {theirs, ours, craft}) u->shown = 1;
  craft->type = &plane;
  theirs->team.Set("red");
  ours->team.Set("blue");
  hidden->team.Set("red");
  hidden->shown = 0;
  craft->team.Set("red");
  const int ids[] = {theirs->unitId, ours->unitId, hidden->unitId, craft->unitId};

  world::set_event_mode(world, 1);
  EXPECT_EQ(world.camera.countdown, 48);
  EXPECT_EQ(world.eventMode, 1);
  EXPECT_EQ(world::GetUnitAt(world, ids[0]), theirs);  // entering releases nothing

  world::set_event_mode(world, 0);
  EXPECT_EQ(world.eventMode, 0);
  EXPECT_EQ(world::GetUnitAt(world, ids[0]), nullptr);
  EXPECT_EQ(world::GetUnitAt(world, ids[1]), ours);
  EXPECT_EQ(world::GetUnitAt(world, ids[2]), hidden);
  EXPECT_EQ(world::GetUnitAt(world, ids[3]), craft);
}

}  // namespace
