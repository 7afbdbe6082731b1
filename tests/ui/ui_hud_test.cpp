// ui_hud_test.cpp -- the flight HUD: its texts and tapes, the radar zoom,
// the unit markers, the alarm sounds, what DrawHud draws in which view, and
// its pixels over a rendered scene.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "sound/sound_public.h"
#include "test_support.h"
#include "ui/ui_public.h"
#include "units/units_services.h"
#include "world/world_render_fixture.h"
#include "world/world_test_files.h"

namespace {

using world::Vec3;
using worldtest::Picture;
using worldtest::Rgb;

// [SECTION] Pure helpers

TEST(HudTextTest, ClockTapeAndAmmunitionFormats) {
  struct {
    int32_t steps;
    const char* text;
  } clocks[] = {{-1, "00:00"}, {-100000, "00:00"}, {0, "00:00"}, {59, "00:00"}, {3725, "01:02"},
                {216000, "60:00"}};
  for (const auto& c : clocks) EXPECT_EQ(ui::FormatHudClock(c.steps), c.text) << c.steps;

  struct {
    float in, out;
  } tapes[] = {{0, 0}, {-5, 0}, {100, 100}, {240, 240}, {240.5f, 240}, {345.6f, 345}, {400, 240}, {401, 241},
               {1000, 360}};
  for (const auto& t : tapes) EXPECT_FLOAT_EQ(ui::WrapTapeOffset(t.in), t.out) << t.in;

  struct {
    int32_t ammo;
    const char* text;
  } ammo[] = {{0, " 00"}, {7, " 07"}, {99, " 99"}, {100, "100"}, {123, "123"}, {1234, "1234"}};
  for (const auto& a : ammo) EXPECT_EQ(ui::FormatAmmo(a.ammo), a.text) << a.ammo;
}

TEST(HudRadarZoomTest, AWishMovesTheRangeOnItsThirdStepOnly) {
  using ui::RadarWish;
  int32_t index = 1, counter = 0;
  // Out for two steps, then stay: nothing changes and the count restarts.
  ui::StepRadarZoom(RadarWish::Out, &index, &counter);
  ui::StepRadarZoom(RadarWish::Out, &index, &counter);
  ui::StepRadarZoom(RadarWish::Stay, &index, &counter);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(counter, 0);
  // Three steps of "out" move it once.
  for (int i = 0; i < 3; i++) ui::StepRadarZoom(RadarWish::Out, &index, &counter);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(counter, 0);
  // The ends hold.
  index = 3;
  for (int i = 0; i < 9; i++) ui::StepRadarZoom(RadarWish::Out, &index, &counter);
  EXPECT_EQ(index, 3);
  index = 0;
  for (int i = 0; i < 9; i++) ui::StepRadarZoom(RadarWish::In, &index, &counter);
  EXPECT_EQ(index, 0);
}

// [SECTION] A world with a renderer and the HUD's images

// Solid test images under the HUD folder, big enough for every rectangle the
// HUD cuts from them.
void WriteHudImages(uint32_t rgb) {
  struct Size {
    const char* name;
    int w, h;
  } sizes[] = {{"hud_level", 1024, 256}, {"arrow", 32, 32},         {"hud_speedbar", 32, 1024},
               {"hud_cnt", 256, 128},    {"hud_gun", 256, 128},      {"hud_bomb", 128, 128},
               {"hud_radar_plate", 512, 512}, {"hud_compass_plate", 128, 128}, {"hud_compass", 128, 128},
               {"hud_weapon_plate", 256, 128}, {"hud_weapon_slot", 256, 128}, {"hud_gunheat_plate", 256, 32},
               {"hud_gunheat", 256, 32}, {"hud_damage_plate", 256, 64}, {"hud_damage", 256, 128},
               {"hud_msg_plate", 256, 64}, {"hud_msg", 256, 576},   {"hud_map_plate", 256, 256},
               {"timer", 512, 64}};
  std::filesystem::create_directories("ZadAzorad/Hud");
  for (const Size& s : sizes)
    test::WriteFile(std::string("ZadAzorad/Hud/") + s.name + ".png",
                    rendertest::MakeBmp(s.w, s.h, std::vector<uint32_t>(size_t(s.w * s.h), rgb)));
}

class HudWorldTest : public worldtest::WorldFrameFixture {
 protected:
  ui::FlightHud hud;
  units::UnitType playerType, enemyType;
  units::Unit* player = nullptr;

  void SetUp() override {
    StartWorld(256, 192);
    WriteHudImages(0xFFFFFF);
    PlainSky(0x202020);
    hud.world = &world;
    ASSERT_EQ(hud.BuildHudSprites(), 1);
    world.camera.mode = 0;
    // The player flies without a model of its own at the eye.
    player = world::GetUnitSlot(world, 1);
    player->type = &playerType;
    player->hp = player->maxHp = 100;
    player->team.Set("blue");
    player->printedTeam.Set("blue");
    player->unitId = 1;
    world.playerUnit = player;
    enemyType.hudNameFile = "enemy.png";
    enemyType.defense = 100;
  }
  void TearDown() override {
    hud.ReleaseHudImages();  // back to the renderer while the world holds it
    hud.world = nullptr;     // the slot sprites go with the fixture's world first
    for (int slot = 0; slot < world::CountUnitSlots(world); slot++)
      for (int k = 0; k < 6; k++) world::GetSlotHudSprite(world, slot, k)->SetObjectParent(nullptr);
    world.hudMap.SetObjectParent(nullptr);
    world.playerUnit = nullptr;
    WorldFrameFixture::TearDown();
  }

  // The player still at `from` in the last step's cache, now at `to`.
  void Move(Vec3 from, Vec3 to) {
    player->SetObjectPosition(from.x, from.y, from.z);
    player->CacheObjectWorld();
    player->SetObjectPosition(to.x, to.y, to.z);
  }
  struct Rect {
    float x0, y0, x1, y1;
  };
  static Rect RectOf(const render::DisplayObject& o) {
    Rect r{};
    EXPECT_EQ(o.GetObjectSurfacePixelRect(&r.x0, &r.y0, &r.x1, &r.y1), 1);
    return r;
  }
  static std::string TextOf(const render::DisplayObject& o) { return o.text ? o.text : "<none>"; }
  // A named enemy unit with a model at `at`.
  units::Unit* Enemy(int slot, Vec3 at, const char* team = "red") {
    units::Unit* u = Place(slot, red, at);
    u->type = &enemyType;
    u->hp = u->maxHp = 100;
    u->unitId = slot;
    u->team.Set(team);
    u->printedTeam.Set(team);
    return u;
  }
};

TEST_F(HudWorldTest, EveryImageLoadsAndAMissingOneLeavesItsSpritesBare) {
  for (int i = 0; i < ui::kHudImageCount; i++) EXPECT_TRUE(hud.imageLoaded[i]) << ui::kHudImages[i].file;
  EXPECT_TRUE(hud.block[ui::kSpeedTape].GetObjectSurface());

  ASSERT_EQ(std::remove((work.Path() + "/ZadAzorad/Hud/hud_speedbar.png").c_str()), 0);
  ASSERT_EQ(hud.BuildHudSprites(), 1);
  EXPECT_FALSE(hud.imageLoaded[ui::kImgSpeedbar]);
  EXPECT_EQ(hud.block[ui::kSpeedTape].GetObjectSurface(), nullptr);
  EXPECT_TRUE(hud.block[ui::kSpeedBox].GetObjectSurface());
  // The update and the draw go on without it.
  hud.UpdateFlightHud();
  EXPECT_EQ(Frame(), 1);
  hud.DrawHud();
}

TEST_F(HudWorldTest, SpeedDigitsAndTapeFollowTheDistanceMovedThisStep) {
  Move({0, 0, 0}, {0, 0, 0});
  hud.UpdateFlightHud();
  EXPECT_EQ(TextOf(hud.block[ui::kSpeedDigits]), "  0");
  Rect r = RectOf(hud.block[ui::kSpeedTape]);
  EXPECT_FLOAT_EQ(r.y0, 400);
  EXPECT_FLOAT_EQ(r.y1, 880);
  EXPECT_FLOAT_EQ(r.x0, 0);
  EXPECT_FLOAT_EQ(r.x1, 32);

  // One unit a step is 216 km/h; its tape offset 345.6 wraps to 345.
  Move({0, 0, 0}, {0, 0, 1});
  hud.UpdateFlightHud();
  EXPECT_EQ(TextOf(hud.block[ui::kSpeedDigits]), "216");
  r = RectOf(hud.block[ui::kSpeedTape]);
  EXPECT_FLOAT_EQ(r.y0, 400 - 345);
  EXPECT_FLOAT_EQ(r.y1, 880 - 345);
}

TEST_F(HudWorldTest, AltitudeShowsFeetAndANegativeHeightFlipsTheTape) {
  struct Case {
    float y;
    int32_t offset;
    const char* digits;
    float scaleY;
    float tapeTop;
  } cases[] = {
      {304.85f, 0, "1000", 0.6f, 400 - 240},   // 400 feet of tape wrap to 240
      {-30.48f, 0, "-100", -0.6f, 400 - 40},   // below zero: flipped, a minus
      {0.0f, 0, "   0", -0.6f, 400},           // zero counts as not above
      {10.0f, 20, "  98", 0.6f, 400 - 39.0f},  // the height offset is added
  };
  for (const Case& c : cases) {
    world.heightOffset = c.offset;
    Move({0, c.y, 0}, {0, c.y, 0});
    hud.UpdateFlightHud();
    EXPECT_EQ(TextOf(hud.block[ui::kAltitudeDigits]), c.digits) << c.y;
    EXPECT_FLOAT_EQ(hud.block[ui::kAltitudeTape].GetObjectScale().y, c.scaleY) << c.y;
    EXPECT_NEAR(RectOf(hud.block[ui::kAltitudeTape]).y0, c.tapeTop, 1.0f) << c.y;
  }
}

TEST_F(HudWorldTest, AmmunitionClockDamageAndSlotName) {
  player->currentWeaponSlot = 3;
  player->ammo[3][0] = 7;
  world.gameTime = 3725;
  hud.UpdateFlightHud();
  EXPECT_EQ(TextOf(hud.ammoDigits), " 07");
  EXPECT_EQ(TextOf(hud.missionClock), "01:02");
  // Slot 3: column 1, row 1 of the slot names.
  const Rect name = RectOf(hud.slotName);
  EXPECT_FLOAT_EQ(name.x0, 128);
  EXPECT_FLOAT_EQ(name.y0, 96);
  EXPECT_FLOAT_EQ(name.x1, 256);
  EXPECT_FLOAT_EQ(name.y1, 128);

  player->ammo[3][0] = 123;
  world.gameTime = -40;
  player->hp = 50;
  hud.UpdateFlightHud();
  EXPECT_EQ(TextOf(hud.ammoDigits), "123");
  EXPECT_EQ(TextOf(hud.missionClock), "00:00");
  EXPECT_EQ(TextOf(hud.damageDigits), "050");
  EXPECT_FLOAT_EQ(RectOf(hud.damageBar).x0, 128);
}

TEST_F(HudWorldTest, WithoutATargetTheRadarWidensToItsLastRange) {
  std::vector<int> seen;
  for (int step = 0; step < 10; step++) {
    hud.UpdateFlightHud();
    seen.push_back(hud.radarIndex);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 0, 1, 1, 1, 2, 2, 2, 3, 3}));
  // The plate shows the range's quarter of the image.
  const Rect r = RectOf(hud.radarPlate);
  EXPECT_FLOAT_EQ(r.x0, 256);
  EXPECT_FLOAT_EQ(r.y0, 256);

  // A target 100 ahead with a radar symbol asks for the nearest range.
  enemyType.hudRadarFile = "radar.png";
  player->target = Enemy(2, {0, 0, 100});
  for (int step = 0; step < 12; step++) hud.UpdateFlightHud();
  EXPECT_EQ(hud.radarIndex, 0);
}

TEST_F(HudWorldTest, TheLadderShowsTheBarsWithinTwelveDegreesOfTheCameraPitch) {
  struct Case {
    Vec3 direction;
    std::vector<int> shown;  // bar indices: 0 is +90, 18 the horizon
  } cases[] = {
      {{0, 0, 1}, {16, 17, 18, 19, 20}},
      {{0, 1, 1}, {7, 8, 9, 10, 11}},  // 45 degrees up
      {{0, -1, 0.0001f}, {34, 35, 36}},  // straight down
  };
  for (const Case& c : cases) {
    gs.SetCamera3D({0, 5, 0}, platform::Vec3Normalize(c.direction), {0, 1, 0}, 1.5707964f);
    hud.UpdateFlightHud();
    std::vector<int> shown;
    for (int i = 0; i < ui::kLadderBars; i++) {
      if (!hud.block[i].IsObjectShown()) continue;
      shown.push_back(i);
      EXPECT_TRUE(hud.block[ui::kLeftLabels + i].IsObjectShown()) << i;
      EXPECT_TRUE(hud.block[ui::kRightLabels + i].IsObjectShown()) << i;
      EXPECT_FLOAT_EQ(hud.block[i].GetObjectPosition().y, 5) << "the ladder stands at the eye";
      EXPECT_FLOAT_EQ(hud.block[i].GetObjectAngles().z, 0) << "and stays level";
    }
    EXPECT_EQ(shown, c.shown) << c.direction.y;
  }
  EXPECT_EQ(TextOf(hud.block[ui::kLeftLabels + 36]), "-90");
}

TEST_F(HudWorldTest, RadarBlipsTurnWithThePlayerAndFadeAtTheEdge) {
  test::WriteFile("radar.png", rendertest::MakeBmp(8, 8, std::vector<uint32_t>(64, 0xFFFFFF)));
  world.unitDatabase->graphics = &gs;
  // Type images load for the types of the database.
  world.unitDatabase->types.push_back(std::make_unique<units::UnitType>());
  units::UnitType& radarType = *world.unitDatabase->types.back();
  radarType.hudNameFile = "enemy.png";
  radarType.hudRadarFile = "radar.png";
  hud.blinkOff = 1;
  // The player faces +x; the radar turns with it.
  player->SetObjectLookAt({1, 0, 0}, nullptr);
  units::Unit* ahead = Enemy(2, {300, 0, 0});
  units::Unit* behind = Enemy(3, {-700, 0, 0});
  units::Unit* far = Enemy(4, {0, 0, 2000});
  for (units::Unit* u : {ahead, behind, far}) u->type = &radarType;
  ahead->flags |= units::kUnitTarget;
  player->target = ahead;
  hud.UpdateFlightHud();
  ASSERT_EQ(hud.radarIndex, 0);

  auto blip = [&](units::Unit* u) { return world::GetSlotHudSprite(world, u->unitId, ui::kSlotRadar); };
  ASSERT_EQ(blip(ahead)->GetObjectParent(), &hud.radarPlate);
  ASSERT_TRUE(blip(ahead)->IsObjectShown());
  Vec3 at = blip(ahead)->GetObjectPosition();
  EXPECT_NEAR(at.x, 0, 0.01f);
  EXPECT_NEAR(at.y, -64, 0.01f) << "300 of 600 ahead: half way up the plate";
  float colour[4];
  blip(ahead)->GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[0], 1);
  EXPECT_FLOAT_EQ(colour[1], 0.25f);
  EXPECT_FLOAT_EQ(colour[3], 0.75f);
  // Behind, past the plate's edge: clamped to it.
  ASSERT_TRUE(blip(behind)->IsObjectShown());
  at = blip(behind)->GetObjectPosition();
  EXPECT_NEAR(at.y, 120, 0.01f);
  blip(behind)->GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[1], 1) << "an enemy that is no TARGET is yellow";
  EXPECT_FLOAT_EQ(colour[3], 0.5f) << "at two thirds of the alpha";
  EXPECT_FALSE(blip(far)->IsObjectShown()) << "beyond the radar's circle";
  // The reference unit's blip blinks unless the blink is off.
  hud.blinkOff = 0;
  for (int step : {0, 1, 3}) {
    world.stepCounter = step;
    hud.UpdateFlightHud();
    blip(ahead)->GetObjectColor(colour);
    EXPECT_FLOAT_EQ(colour[3], step % 3 == 0 ? 0.0f : 0.75f) << step;
  }
  // The map, once its keys show it: blips at an eighth of a third of the
  // distance from the map centre.
  auto mapBlip = [&](units::Unit* u) { return world::GetSlotHudSprite(world, u->unitId, ui::kSlotMap); };
  EXPECT_FALSE(mapBlip(ahead)->IsObjectShown());
  world.hudMapShown = 1;
  hud.mapCentre = {-300, 0, 0};
  hud.UpdateFlightHud();
  ASSERT_TRUE(world.hudMap.IsObjectShown());
  ASSERT_TRUE(mapBlip(ahead)->IsObjectShown());
  EXPECT_NEAR(mapBlip(ahead)->GetObjectPosition().x, 600.0f / 24.0f, 0.01f);
  EXPECT_NEAR(mapBlip(far)->GetObjectPosition().y, -2000.0f / 24.0f, 0.01f);
  mapBlip(ahead)->GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[3], 0.75f);
  // A dead unit leaves the radar.
  ahead->hp = 0;
  hud.UpdateFlightHud();
  EXPECT_FALSE(blip(ahead)->IsObjectShown());
}

TEST_F(HudWorldTest, MarkersBoxNamedUnitsInViewAndTagTargets) {
  units::Unit* ahead = Enemy(2, {0, 0, 100});
  ahead->flags |= units::kUnitTarget;
  units::Unit* behind = Enemy(3, {0, 0, -100});
  units::Unit* far = Enemy(4, {0, 0, 2500});
  units::Unit* friendTarget = Enemy(5, {20, 0, 100}, "blue");
  friendTarget->flags |= units::kUnitTarget;
  player->target = ahead;
  Frame();
  hud.UpdateFlightHud();

  auto sprite = [&](int slot, int k) { return world::GetSlotHudSprite(world, slot, k); };
  ASSERT_TRUE(sprite(2, ui::kSlotMarker)->IsObjectShown());
  const Vec3 at = sprite(2, ui::kSlotMarker)->GetObjectPosition();
  EXPECT_FLOAT_EQ(at.z, 100);
  EXPECT_FLOAT_EQ(hud.markerPositions[2].z, 100) << "the view position is kept for the slot";
  // Beyond lock-on range: the plain box.
  EXPECT_FLOAT_EQ(RectOf(*sprite(2, ui::kSlotMarker)).x0, 0);
  // An enemy TARGET: the red tag; the player's target: its distance.
  ASSERT_TRUE(sprite(2, ui::kSlotTag)->IsObjectShown());
  float colour[4];
  sprite(2, ui::kSlotTag)->GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[0], 1);
  EXPECT_FLOAT_EQ(colour[1], 0);
  EXPECT_TRUE(sprite(2, ui::kSlotDistance)->IsObjectShown());
  EXPECT_EQ(TextOf(*sprite(2, ui::kSlotDistance)), "100");
  // A friendly TARGET: the green tag, no distance.
  ASSERT_TRUE(sprite(5, ui::kSlotTag)->IsObjectShown());
  sprite(5, ui::kSlotTag)->GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[0], 0.5f);
  EXPECT_FALSE(sprite(5, ui::kSlotDistance)->IsObjectShown());
  // Behind the camera, or beyond 2000: nothing.
  for (int slot : {3, 4}) {
    EXPECT_FALSE(sprite(slot, ui::kSlotMarker)->IsObjectShown()) << slot;
    EXPECT_FLOAT_EQ(hud.markerPositions[size_t(slot)].z, 0) << slot;
  }
  // The editor's pass takes every named unit in view, the far one too.
  hud.UpdateHudMarkers(nullptr, 0);
  EXPECT_TRUE(sprite(4, ui::kSlotMarker)->IsObjectShown());
  EXPECT_FALSE(sprite(3, ui::kSlotMarker)->IsObjectShown());
  (void)far;
  (void)behind;
}

TEST_F(HudWorldTest, TheMessageRowFollowsTheAlertWordsAndThePhase) {
  struct Case {
    int step;  // frame rate 60: (30 x step / 60) bit 0 is the phase
    uint32_t missile, warning, caution, area;
    int16_t hit;
    int row;
  } cases[] = {
      {0, 2, 1, 1, 0, 0, 0},  {0, 0, 1, 1, 0, 0, 1},  {0, 0, 0, 1, 0, 0, 2},
      {0, 0, 0, 0, 0, 0, -1}, {2, 2, 0, 0, 1, 0, 4},  {3, 0, 0, 0, 0, 60, 7},
      {2, 0, 0, 0, 0, 0, -1}, {4, 2, 0, 0, 1, 0, 0},
  };
  for (const Case& c : cases) {
    world.stepCounter = c.step;
    player->flightWords[2] = c.missile;
    player->flightWords[1] = c.warning;
    player->flightWords[0] = c.caution;
    player->flightWords[5] = c.area;
    player->hitMark = c.hit;
    hud.UpdateFlightHud();
    EXPECT_EQ(hud.messageRow, c.row) << "step " << c.step << " missile " << c.missile << " hit " << c.hit;
    if (c.row >= 0) {
      EXPECT_FLOAT_EQ(RectOf(hud.msgText).y0, 64.0f * float(c.row));
    }
  }
  // The missile warning turns the HUD red.
  player->flightWords[2] = 2;
  hud.UpdateFlightHud();
  float colour[4];
  hud.block[ui::kSpeedBox].GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[0], 1);
  EXPECT_FLOAT_EQ(colour[1], 0.25f);
}

// [SECTION] Drawing

class HudDrawTest : public HudWorldTest {
 protected:
  void SetUp() override {
    HudWorldTest::SetUp();
    world.host.user = &hud;
    world.host.drawHud = [](void* user) { static_cast<ui::FlightHud*>(user)->DrawHud(); };
  }
  void TearDown() override {
    world.host.drawHud = nullptr;
    HudWorldTest::TearDown();
  }
  // A frame of the scene with the HUD placed for the camera of the last one.
  Picture Draw() {
    Frame();
    hud.UpdateFlightHud();
    Frame();
    return Scene();
  }
  static int CountGreen(const Picture& p) {
    int n = 0;
    for (const Rgb& c : p.pixels) n += c.g >= 150 && c.g > c.r + 60 ? 1 : 0;
    return n;
  }
  void SaveShot(const char* name) {
    // TKW4_HUD_SHOTS names a folder for the pictures (looked at by hand).
    if (const char* folder = std::getenv("TKW4_HUD_SHOTS"))
      world.renderTargets.scene[0].SaveTexture(gs, (std::string(folder) + "/" + name).c_str());
  }
};

TEST_F(HudDrawTest, TheCockpitViewShowsHudGreenOverTheScene) {
  units::Unit* enemy = Enemy(2, {0, 0, 60});
  enemy->flags |= units::kUnitTarget;
  player->target = enemy;
  const Picture hudOn = Draw();
  SaveShot("hud_cockpit.bmp");
  EXPECT_GE(CountGreen(hudOn), 200) << "ladder, boxes, tapes and plates";

  world.host.drawHud = nullptr;
  const Picture hudOff = Draw();
  EXPECT_LE(CountGreen(hudOff), 5);
  EXPECT_GE(hudOn.CountDifferences(hudOff), 200);

  // The behind view draws the same set.
  world.host.drawHud = [](void* user) { static_cast<ui::FlightHud*>(user)->DrawHud(); };
  world.camera.mode = 1;
  const Picture behind = Draw();
  SaveShot("hud_behind.bmp");
  EXPECT_GE(CountGreen(behind), 200);
}

TEST_F(HudDrawTest, OutsideTheCockpitAndBehindViewsOnlyMarkersAndOnlyWithTheFlag) {
  units::Unit* enemy = Enemy(2, {0, 0, 60});
  enemy->flags |= units::kUnitTarget;
  world.host.drawHud = nullptr;
  const Picture plain = Draw();
  world.host.drawHud = [](void* user) { static_cast<ui::FlightHud*>(user)->DrawHud(); };

  world.camera.mode = 2;
  hud.markerFlag = 0;
  EXPECT_LE(Draw().CountDifferences(plain), 0) << "mode 2 without the marker flag draws nothing";

  hud.markerFlag = 1;
  const Picture markers = Draw();
  const int changed = markers.CountDifferences(plain);
  EXPECT_GT(changed, 0) << "the marker box";
  world.camera.mode = 0;
  EXPECT_GT(Draw().CountDifferences(plain), changed + 200) << "the whole set in the cockpit";

  // No player unit: nothing at all.
  world.playerUnit = nullptr;
  EXPECT_LE(Draw().CountDifferences(plain), 0);
  world.playerUnit = player;
}

TEST_F(HudDrawTest, DepthTestIsOnAfterDrawHudAndDrawUnitMarkersRestoresIt) {
  hud.UpdateFlightHud();
  gs.ClearRenderFlags(render::kRenderDepthTest);
  hud.DrawHud();
  EXPECT_TRUE(gs.GetRenderFlags() & render::kRenderDepthTest);

  gs.ClearRenderFlags(render::kRenderDepthTest);
  hud.DrawUnitMarkers(1);
  EXPECT_FALSE(gs.GetRenderFlags() & render::kRenderDepthTest);
  gs.SetRenderFlags(render::kRenderDepthTest);
  hud.DrawUnitMarkers(0);
  EXPECT_TRUE(gs.GetRenderFlags() & render::kRenderDepthTest);
}

TEST_F(HudDrawTest, ToggleHudSpritesSwitchesTheAdditiveFlagOfTheNonPlateImages) {
  hud.ToggleHudSprites(0);
  EXPECT_FALSE(hud.images[ui::kImgLevel].flags & render::kTexAdditive);
  EXPECT_FALSE(hud.images[ui::kImgTimer].flags & render::kTexAdditive);
  hud.ToggleHudSprites(1);
  for (int i = 0; i < ui::kHudImageCount; i++)
    EXPECT_EQ((hud.images[i].flags & render::kTexAdditive) != 0, ui::kHudImages[i].toggled) << i;
  // The damage plate keeps its mirror addressing and never turns additive.
  EXPECT_TRUE(hud.images[ui::kImgDamagePlate].flags & render::kTexAddressMirror);
}

// [SECTION] Alarms

class HudAlarmTest : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", 0};
  core::FilePackageTable packages;
  sound::SoundSystem sound;
  world::GameWorld world;
  units::Unit player;
  ui::FlightHud hud;

  void SetUp() override {
    packages.log = &log;
    sound.log = &log;
    sound.packages = &packages;
    sound.driver = platform::AudioDriver::Null;
    ASSERT_EQ(sound.InitDirectSound(nullptr), 0);
    test::WriteFile("beep.wav", worldtest::TinyWav(80000));
    for (int slot : {16, 17, 18}) ASSERT_GE(sound.LoadSoundEffect(slot, "beep.wav", 2, 0), 0);
    world.log = &log;
    world.sound = &sound;
    world.playerUnit = &player;
    hud.world = &world;
    player.viewWord = 1;
  }
  void TearDown() override {
    world.playerUnit = nullptr;
    world.sound = nullptr;
    hud.world = nullptr;
  }
  bool Playing(int slot) { return (sound.GetSoundStatus(slot, -1) & sound::kStatusPlaying) != 0; }
};

TEST_F(HudAlarmTest, ABeepCountOfTenPlaysFourBeepsOneAfterTheOther) {
  player.damageLevel = 10;
  int beeps = 0;
  for (int frame = 0; frame < 12; frame++) {
    const bool before = Playing(18);
    hud.UpdateHudAlarms();
    if (!before && Playing(18)) beeps++;
    hud.UpdateHudAlarms();  // a beep still sounding holds the next one back
    sound.StopSoundSlot(18, -1);  // the beep ends
  }
  EXPECT_EQ(beeps, 4);
  EXPECT_EQ(player.damageLevel, 0);
}

TEST_F(HudAlarmTest, StateNineHundredNinetyNineKeepsTheBeepAndNineHundredNinetyEightSilencesIt) {
  player.damageLevel = 2;
  hud.UpdateHudAlarms();
  ASSERT_TRUE(Playing(18));
  EXPECT_EQ(player.damageLevel, 1);
  // Destroyed, out of the cockpit and behind views: nothing changes.
  player.state = units::kUnitStateDestroyed;
  player.viewWord = 0;
  hud.UpdateHudAlarms();
  EXPECT_TRUE(Playing(18));
  EXPECT_EQ(player.damageLevel, 1);
  // Another state without the flag: stopped and forgotten.
  player.state = 0;
  hud.UpdateHudAlarms();
  EXPECT_FALSE(Playing(18));
  EXPECT_EQ(player.damageLevel, 0);
  // State 998 silences at once, flag or not.
  player.viewWord = 1;
  player.damageLevel = 3;
  hud.UpdateHudAlarms();
  ASSERT_TRUE(Playing(18));
  player.state = units::kUnitStateFinal;
  hud.UpdateHudAlarms();
  EXPECT_FALSE(Playing(18));
  EXPECT_EQ(player.damageLevel, 0);
}

TEST_F(HudAlarmTest, TheWarningLoopsFollowTheAlertWordsWhileTheViewHearsThem) {
  struct Case {
    uint32_t missile, warning;
    int32_t view;
    bool slot16, slot17;
  } cases[] = {
      {2, 0, 1, false, true}, {0, 5, 1, true, false}, {2, 5, 1, true, true},
      {2, 5, 0, false, false}, {0, 0, 1, false, false},
  };
  for (const Case& c : cases) {
    player.flightWords[2] = c.missile;
    player.flightWords[1] = c.warning;
    player.viewWord = c.view;
    hud.UpdateHudAlarms();
    EXPECT_EQ(Playing(16), c.slot16) << c.missile << " " << c.warning << " " << c.view;
    EXPECT_EQ(Playing(17), c.slot17) << c.missile << " " << c.warning << " " << c.view;
  }
  // Without a player unit nothing changes.
  player.flightWords[2] = 2;
  hud.UpdateHudAlarms();
  ASSERT_TRUE(Playing(17));
  world.playerUnit = nullptr;
  player.flightWords[2] = 0;
  hud.UpdateHudAlarms();
  EXPECT_TRUE(Playing(17));
}

}  // namespace
