// world_camera_test.cpp -- the camera on a known unit: eye, direction and
// field of view of its modes after some steps, the zoom clamps, the shake's
// reach, the mode setter, the director and its ring of random bytes, the
// automatic chase, collision with units, and the game's generator left
// alone by the camera.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "render/model_fixture.h"
#include "test_support.h"
#include "world/world_local.h"

namespace {

using world::Vec3;

constexpr float kDegree = 0.017453292f;
const float kBoxRadius = std::sqrt(3.0f);  // the fixture box: -1 to 1 on every axis

#define EXPECT_VEC_NEAR(a, bx, by, bz, eps) \
  do {                                      \
    Vec3 v_ = (a);                          \
    EXPECT_NEAR(v_.x, (bx), (eps));         \
    EXPECT_NEAR(v_.y, (by), (eps));         \
    EXPECT_NEAR(v_.z, (bz), (eps));         \
  } while (0)

// A world without devices holding one player unit: a box model at
// (0, 10, 0), unturned, head at (0, 1, 0), flying along +z at 0.5 a step.
struct CameraFixture {
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  render::GraphicsSystem gs;  // no device: models only
  render::CMesh box;
  world::GameWorld world;
  core::SettingsBlock settings{};
  units::UnitType* jet = nullptr;
  units::Unit* player = nullptr;

  CameraFixture() {
    world.log = &log;
    gs.log = &log;
    world.settings = &settings;
    EXPECT_EQ(rendertest::Build(gs, box, rendertest::Fixture("box.x"), 0), 1);
    jet = AddType("jet", 0);
    jet->headPos = Vec3{0.0f, 1.0f, 0.0f};
    jet->typeValue = units::kTypePlane;
    player = Put("blue", jet, Vec3{0.0f, 10.0f, 0.0f}, world::kPutPlayer);
    player->velocity = Vec3{0.0f, 0.0f, 0.5f};
    world::SetCameraDefaults(world.camera);
    FillRing(7);
  }

  units::UnitType* AddType(const char* key, uint32_t attributes) {
    auto type = std::make_unique<units::UnitType>();
    type->key = key;
    type->name = key;
    type->defense = 10;
    type->attributes = attributes;
    units::UnitType* raw = type.get();
    world.unitDatabase->types.push_back(std::move(type));
    return raw;
  }

  units::Unit* Put(const char* team, units::UnitType* type, Vec3 at, uint32_t flags = 0) {
    units::Unit* u = world::PutUnit(world, team, type, 1, "", flags, at, Vec3{}, nullptr);
    if (u) u->SetObjectModel(&box);
    return u;
  }

  void FillRing(uint8_t value) {
    for (uint8_t& b : world.camera.ring) b = value;
    world.camera.ringIndex = 0;
  }

  void Steps(int n) {
    for (int i = 0; i < n; i++) world::UpdateCamera(world);
  }
};

// [SECTION] Modes

struct ModeCase {
  int mode;
  int steps;
  Vec3 eye;
  Vec3 direction;
  float fov;
};

// Worked out from the unit's pose and a ring of 7s (jitter 0.4, every
// choice odd): the cockpit at the head; behind at (0, 1.5, -15) of the
// unit; the fly-by's eye 100 steps ahead, 5 up, 1 back, jittered, its
// field of view narrowing toward atan(10 / d); the chase behind at
// 35 degrees; the swing's straight run at counter 129 beside the unit
// (radius r: (3r, 0.5r, -111 pi / 30 r)); the fixed point at t = 141 / 60;
// the smoothed follow's eye 5 (1 - 0.98^10) ahead of the head.
const ModeCase kModeCases[] = {
    {0, 10, {0.0f, 11.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, 35.0f * kDegree},
    {1, 10, {0.0f, 11.5f, -15.0f}, {0.0f, 0.0f, 1.0f}, 0.6108669f},
    {2, 10, {0.4f, 15.4f, 49.4f}, {-0.0080650f, -0.0887147f, -0.9960244f}, 0.5188078f},
    {6, 10, {0.0f, 11.5f, -15.0f}, {0.0f, 0.0f, 1.0f}, 35.0f * kDegree},
    {9, 10, {5.1961524f, 10.8660254f, -20.1331729f}, {-0.2498951f, 0.0064432f, 0.9682515f}, 0.6151344f},
    {23, 10, {-4.0f, 11.0f, 2.15f}, {0.9063786f, -0.0906379f, -0.4126289f}, 0.6151344f},
    {30, 10, {0.0f, 11.0f, 0.9146360f}, {0.0f, 0.0f, -1.0f}, 40.0f * kDegree},
};

TEST(CameraModes, EyeDirectionAndFieldOfViewAfterSteps) {
  for (const ModeCase& c : kModeCases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode);
    CameraFixture f;
    world::SetCameraMode(f.world, c.mode);
    f.Steps(c.steps);
    const world::CameraState& cam = f.world.camera;
    EXPECT_EQ(cam.mode, c.mode);
    EXPECT_VEC_NEAR(cam.eye, c.eye.x, c.eye.y, c.eye.z, 2e-4f);
    EXPECT_VEC_NEAR(cam.direction, c.direction.x, c.direction.y, c.direction.z, 2e-5f);
    EXPECT_NEAR(cam.fov, c.fov, 2e-6f);
    // What the renderer was handed: the eye and field of view as they are,
    // the direction with at most a trace of shake in it.
    EXPECT_VEC_NEAR(cam.view.eye, c.eye.x, c.eye.y, c.eye.z, 2e-4f);
    EXPECT_NEAR(cam.view.fov, c.fov, 2e-6f);
    EXPECT_VEC_NEAR(cam.view.direction, c.direction.x, c.direction.y, c.direction.z, 0.02f);
    // The player's own views: no roll, the unit's inside view on.
    bool own = c.mode == 0 || c.mode == 1;
    EXPECT_EQ(f.player->viewWord, own ? 1 : 0);
    if (own) {
      EXPECT_EQ(cam.view.roll, 0.0f);
    }
  }
}

// The first step's eye of the other shots, same unit, same ring (jitter
// 0.4, angle byte 7): the high fly-by 60 steps ahead and 10 up; the side
// fly-by 120 ahead plus a tenth of its run, 1 up; the wide fly-by 5 ahead
// and 8 along the up turned 7 degrees about the forward axis; the orbits
// at angle 0 (step counter 0) and 1 (counter preset 160), radius 2r and
// 5r; the pan from (-60, 0, -5) moved by its first drift; the front chase
// 6 ahead of the unit; the chase to the target at 25 in a bearing of 7
// degrees (a speed of 0.5 is not moving); the side follow 20 along the
// velocity.
struct FirstStepCase {
  int mode;
  Vec3 eye;
  int counter;  // after the step
};
const FirstStepCase kFirstSteps[] = {
    {3, {0.4f, 20.4f, 30.4f}, 211},
    {13, {0.4f, 11.4f, 66.4f}, 211},
    {4, {-0.5749547f, 18.3403692f, 2.9f}, 1},
    {5, {3.4641016f, 12.0f, 0.0f}, 161},
    {24, {4.6791552f, 21.0f, 7.2873525f}, 161},
    {8, {-60.0f, 11.2f, -4.38f}, 181},
    {7, {0.0f, 10.8f, 6.0f}, 121},
    {18, {24.8136538f, 20.25f, 3.0467336f}, 181},
    {21, {0.0f, 14.0f, 19.0f}, 1},
};

TEST(CameraModes, FirstStepEyesOfTheOtherShots) {
  for (const FirstStepCase& c : kFirstSteps) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode);
    CameraFixture f;
    world::SetCameraMode(f.world, c.mode);
    f.Steps(1);
    EXPECT_EQ(f.world.camera.mode, c.mode);
    EXPECT_VEC_NEAR(f.world.camera.eye, c.eye.x, c.eye.y, c.eye.z, 2e-4f);
    EXPECT_EQ(f.world.camera.counter, c.counter);
  }
}

TEST(CameraModes, AFlyByOwesOnePassByShake) {
  // The side fly-by sets the flag; the unit flying through the eye fires
  // the shake once and clears it.
  CameraFixture f;
  world::SetCameraMode(f.world, 13);
  f.Steps(1);
  ASSERT_EQ(f.world.camera.flyByShake, 1);
  f.world.camera.shakePower = 0.0f;
  f.player->SetObjectPosition(0.4f, 10.4f, 64.0f);  // head 2.4 from the eye
  f.Steps(1);
  EXPECT_EQ(f.world.camera.flyByShake, 0);
  EXPECT_GT(f.world.camera.shakePower, 0.0f);
  // The high fly-by does not set the flag: nothing fires.
  CameraFixture g;
  world::SetCameraMode(g.world, 3);
  g.Steps(1);
  g.world.camera.shakePower = 0.0f;
  g.player->SetObjectPosition(0.4f, 19.4f, 30.4f);
  g.Steps(1);
  EXPECT_EQ(g.world.camera.shakePower, 0.0f);
}

TEST(CameraModes, CockpitFollowsTheViewYawAndPutsTheEyeAtTheTurnedHead) {
  CameraFixture f;
  f.jet->headPos = Vec3{0.0f, 1.0f, 2.0f};
  f.player->viewYaw = 1.5707964f;
  world::SetCameraMode(f.world, 0);
  f.Steps(1);
  const world::CameraState& cam = f.world.camera;
  // A quarter turn about the unit's up: the view lies along the x axis and
  // the head point 2 ahead along it.
  EXPECT_NEAR(std::fabs(cam.direction.x), 1.0f, 1e-5f);
  EXPECT_NEAR(cam.direction.z, 0.0f, 1e-5f);
  EXPECT_VEC_NEAR(cam.eye, 2.0f * cam.direction.x, 11.0f, 0.0f, 1e-4f);
  EXPECT_EQ(cam.shakePower, 0.0f);
}

TEST(CameraModes, TheBehindViewIsPulledInFrontOfAUnitInTheWay) {
  CameraFixture f;
  units::UnitType* wall = f.AddType("wall", units::kAttrLarge);
  f.Put("blue", wall, Vec3{0.0f, 11.5f, -8.0f});
  world::SetCameraMode(f.world, 1);
  f.Steps(1);
  // The segment from the head (0, 11, 0) to (0, 11.5, -15) meets the box's
  // near face at z = -7.
  EXPECT_VEC_NEAR(f.world.camera.eye, 0.0f, 11.0f + 0.5f * 7.0f / 15.0f, -7.0f, 1e-4f);
}

TEST(CameraModes, TheEyeStaysOnTheNearSideOfAMapObject) {
  CameraFixture f;
  core::FilePackageTable packages;
  f.gs.packages = &packages;
  const char* root = std::getenv("TKW4_SOURCE_DIR");
  test::WriteFile("box.x", test::ReadFile(std::string(root ? root : ".") + "/tests/render/data/box.x"));
  script::ScriptEngine se;
  se.ResetScriptEngine(nullptr, nullptr);
  ASSERT_EQ(se.LoadScriptMemory("extern object __data__=\r\n{WALL:{MODEL_FILE:\"box.x\",SCALE:{x:5,y:5,z:1}}}\r\n;\r\n",
                                "master.txt"),
            1);
  f.world.graphics = &f.gs;
  ASSERT_EQ(world::LoadMapMaster(f.world, se.FindGlobal("__data__")->data.array), 1);
  ASSERT_NE(world::CreateMapObjectByName(f.world, Vec3{0.0f, 11.5f, -8.0f}, Vec3{}, "WALL"), nullptr);
  world::BuildSpatialTree(f.world);
  world::SetCameraMode(f.world, 1);
  f.Steps(1);
  f.world.graphics = nullptr;
  // The wall's near face is at z = -7, as for a unit in the way.
  EXPECT_VEC_NEAR(f.world.camera.eye, 0.0f, 11.0f + 0.5f * 7.0f / 15.0f, -7.0f, 1e-4f);
}

TEST(CameraModes, AShotEndsIntoTheDirectorButNotDuringAnEvent) {
  CameraFixture f;
  world::SetCameraMode(f.world, 6);
  // Mode 6 of the player presets its counter to 120: 241 steps later it
  // has passed 360.
  f.Steps(241);
  EXPECT_EQ(f.world.camera.mode, 6);
  f.Steps(1);
  EXPECT_GE(f.world.camera.mode, 0);
  EXPECT_NE(f.world.camera.mode, 6);  // the director drew again (the ring says 7)
  EXPECT_EQ(f.world.camera.counter, 0);

  CameraFixture g;
  g.world.eventMode = 1;
  world::SetCameraMode(g.world, 6);
  g.Steps(300);
  EXPECT_EQ(g.world.camera.mode, 6);
  EXPECT_EQ(g.world.camera.counter, 420);
}

TEST(CameraModes, WithoutAFocusUnitTheStoredCameraIsHandedOnUnchanged) {
  CameraFixture f;
  f.world.focusUnit = nullptr;
  world::CameraState& cam = f.world.camera;
  cam.eye = Vec3{1, 2, 3};
  cam.direction = Vec3{0, 0, 1};
  cam.up = Vec3{0, 1, 0};
  cam.fov = 0.5f;
  cam.fovGoal = 1.5f;  // not clamped: nothing runs
  cam.ringIndex = 250;
  f.Steps(3);
  EXPECT_VEC_NEAR(cam.view.eye, 1, 2, 3, 0);
  EXPECT_EQ(cam.view.fov, 0.5f);
  EXPECT_EQ(cam.fovGoal, 1.5f);
  EXPECT_EQ(cam.ringIndex, 250);

  // The reset's zeroed vectors still make a view: ahead along +z, +y up.
  world::SetCameraDefaults(cam);
  f.Steps(1);
  EXPECT_VEC_NEAR(cam.view.direction, 0, 0, 1, 0);
  EXPECT_VEC_NEAR(cam.view.up, 0, 1, 0, 0);
  EXPECT_VEC_NEAR(cam.direction, 0, 0, 0, 0);
}

TEST(CameraModes, AnEyeOnItsLookPointKeepsTheDirectionItHad) {
  // The attached view puts the eye on the head: with no focus offset there
  // is no direction to the look point, and the last one is kept.
  CameraFixture f;
  f.world.camera.direction = Vec3{0.6f, 0.0f, 0.8f};
  world::SetCameraMode(f.world, 22);
  f.Steps(3);
  EXPECT_VEC_NEAR(f.world.camera.eye, 0, 11, 0, 1e-6f);
  EXPECT_VEC_NEAR(f.world.camera.direction, 0.6f, 0.0f, 0.8f, 1e-6f);
  EXPECT_TRUE(std::isfinite(f.world.camera.view.up.y));
}

TEST(CameraModes, TheTargetViewsWithoutASecondUnitHandOver) {
  CameraFixture f;
  world::SetCameraMode(f.world, 16);
  f.world.targetUnit = nullptr;
  f.Steps(1);
  EXPECT_NE(f.world.camera.mode, 16);  // ended: the director drew
  EXPECT_GE(f.world.camera.mode, 0);

  CameraFixture g;
  world::SetCameraMode(g.world, 17);
  g.world.targetUnit = nullptr;
  g.Steps(1);
  EXPECT_EQ(g.world.camera.mode, 18);
  EXPECT_EQ(g.world.camera.counter, 0);
}

// [SECTION] Setters

TEST(CameraSetters, ZoomIsHeldWithin5And45DegreesAndNonPositiveAnglesAreKept) {
  struct Case {
    float a, b;
    float goal;  // the goal after one step
  } cases[] = {{60.0f, 60.0f, 45.0f}, {1.0f, 1.0f, 5.0f}, {20.0f, 30.0f, 30.0f}};
  for (const Case& c : cases) {
    CameraFixture f;
    world::SetCameraMode(f.world, 10);  // no rule of its own
    world::SetCameraZoom(f.world, c.a, c.b);
    EXPECT_NEAR(f.world.camera.fov, c.a * kDegree, 1e-6f);
    f.Steps(1);
    EXPECT_NEAR(f.world.camera.fovGoal, c.goal * kDegree, 1e-6f);
    EXPECT_NEAR(f.world.camera.fov, (15.0f * c.a + c.goal) / 16.0f * kDegree, 1e-5f);
  }
  CameraFixture f;
  world::SetCameraZoom(f.world, 20.0f, 25.0f);
  world::SetCameraZoom(f.world, 0.0f, -3.0f);
  EXPECT_NEAR(f.world.camera.fov, 20.0f * kDegree, 1e-6f);
  EXPECT_NEAR(f.world.camera.fovGoal, 25.0f * kDegree, 1e-6f);
  world::SetCameraZoom(f.world, -1.0f, 10.0f);
  EXPECT_NEAR(f.world.camera.fov, 20.0f * kDegree, 1e-6f);
  EXPECT_NEAR(f.world.camera.fovGoal, 10.0f * kDegree, 1e-6f);
}

TEST(CameraSetters, ShakeIsFullNearTheLookPointAndFallsOffWithDistance) {
  CameraFixture f;
  world::CameraState& cam = f.world.camera;
  cam.eye = Vec3{0, 0, 0};
  cam.direction = Vec3{0, 0, 5};  // not unit length: still 100 units ahead
  struct Case {
    Vec3 at;
    float power, expected;
  } cases[] = {
      {{0, 0, 100}, 10.0f, 10.0f},  // on the look point
      {{0, 60, 100}, 10.0f, 10.0f},  // within 100 of it
      {{0, 0, 300}, 10.0f, 5.0f},   // 200 away: half
      {{0, 0, 0}, 10.0f, 10.0f},    // at the eye: 100 away, in full
      {{0, 0, 500}, 8.0f, 2.0f},    // 400 away: a quarter
  };
  for (const Case& c : cases) {
    cam.shakePower = 0.0f;
    world::AddCameraShake(f.world, c.at, c.power);
    EXPECT_NEAR(cam.shakePower, c.expected, 1e-5f);
  }
  // Only the strongest shake of a step counts.
  cam.shakePower = 0.0f;
  world::AddCameraShake(f.world, {0, 0, 150}, 4.0f);
  world::AddCameraShake(f.world, {0, 0, 300}, 6.0f);
  EXPECT_NEAR(cam.shakePower, 4.0f, 1e-6f);
  world::AddCameraShake(f.world, {0, 0, 300}, 12.0f);
  EXPECT_NEAR(cam.shakePower, 6.0f, 1e-6f);
}

TEST(CameraSetters, ModeMinusOneTakesTheFlyByInAReplayElseTheSavedView) {
  struct Case {
    int playback, viewMode, mode;
    int expected;
  } cases[] = {
      {1, 0, -1, 2}, {0, 1, -1, 1}, {0, 0, -1, 0}, {1, 1, -2, 1}, {1, 0, -2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "playback " << c.playback << " view " << c.viewMode << " mode " << c.mode);
    CameraFixture f;
    f.world.playback = c.playback;
    f.settings.viewMode = c.viewMode;
    f.world.camera.shakeRate = 0.25f;
    f.world.camera.counter = 77;
    f.world.camera.flyByShake = 1;
    f.world.camera.focusOffset = Vec3{1, 2, 3};
    world::SetCameraMode(f.world, c.mode);
    EXPECT_EQ(f.world.camera.mode, c.expected);
    EXPECT_EQ(f.world.camera.shakeRate, 0.25f);  // -1 and -2 leave it
    EXPECT_EQ(f.world.camera.counter, 0);
    EXPECT_EQ(f.world.camera.flyByShake, 0);
    EXPECT_VEC_NEAR(f.world.camera.focusOffset, 0, 0, 0, 0);
  }
  CameraFixture f;
  world::SetCameraMode(f.world, 5);
  EXPECT_EQ(f.world.camera.shakeRate, 1.0f);
  // The player's own views take the player as focus and no shake.
  units::Unit* other = f.Put("red", f.jet, Vec3{50, 0, 0});
  world::SetCameraFocus(f.world, other, nullptr);
  world::SetCameraMode(f.world, 1);
  EXPECT_EQ(f.world.camera.shakeRate, 0.0f);
  EXPECT_EQ(f.world.focusUnit, f.player);
  // Without settings the saved view is the cockpit.
  f.world.settings = nullptr;
  world::SetCameraMode(f.world, -2);
  EXPECT_EQ(f.world.camera.mode, 0);
}

TEST(CameraSetters, FocusShadowAndWeaponCamera) {
  CameraFixture f;
  units::Unit* other = f.Put("red", f.jet, Vec3{50, 0, 0});
  f.world.camera.focusOffset = Vec3{1, 1, 1};
  world::SetCameraFocus(f.world, other, nullptr);
  EXPECT_EQ(world::GetCameraFocus(f.world), other);
  EXPECT_EQ(f.world.targetUnit, f.player);  // null stands for the player
  EXPECT_EQ(f.world.camera.shadowUnit, other);
  EXPECT_VEC_NEAR(f.world.camera.focusOffset, 0, 0, 0, 0);
  world::SetCameraFocus(f.world, nullptr, other);
  EXPECT_EQ(f.world.focusUnit, f.player);
  EXPECT_EQ(f.world.targetUnit, other);

  // A launched weapon takes the camera only in the other views, and only
  // once the current shot has run 5 steps.
  units::UnitType* missileType = f.AddType("missile", units::kAttrWeapon);
  units::Unit* missile = f.Put("blue", missileType, Vec3{0, 9, 2});
  world::SetCameraMode(f.world, 6);
  f.world.camera.counter = 4;
  EXPECT_EQ(world::StartWeaponCamera(f.world, missile, 0, 9, 2), 0);
  EXPECT_EQ(f.world.focusUnit, f.player);
  f.world.camera.counter = 5;
  world::StartWeaponCamera(f.world, missile, 0, 9, 2);
  EXPECT_EQ(f.world.focusUnit, missile);
  EXPECT_EQ(f.world.camera.counter, 270);
  EXPECT_VEC_NEAR(f.world.camera.focusOffset, 0, 1, -2, 1e-6f);
  for (int mode : {0, 1, 3, 13}) {
    world::SetCameraFocus(f.world, nullptr, nullptr);
    f.world.camera.mode = mode;
    f.world.camera.counter = 100;
    world::StartWeaponCamera(f.world, missile, 0, 9, 2);
    EXPECT_EQ(f.world.focusUnit, f.player) << mode;
  }
}

TEST(CameraSetters, TheScriptsRollOverridesTheShotsRollOutsideThePlayersViews) {
  CameraFixture f;
  world::SetCameraMode(f.world, 30);
  world::SetCameraRoll(f.world, 0.3f);
  f.world.graphics = &f.gs;
  f.Steps(2);
  f.world.graphics = nullptr;
  const world::CameraView& view = f.world.camera.view;
  EXPECT_NEAR(view.roll, 0.3f, 1e-6f);
  // The renderer got the same view, its up turned by the roll.
  EXPECT_VEC_NEAR(f.gs.GetCameraEye(), view.eye.x, view.eye.y, view.eye.z, 0);
  EXPECT_VEC_NEAR(f.gs.GetCameraDirection(), view.direction.x, view.direction.y, view.direction.z, 0);
  EXPECT_VEC_NEAR(f.gs.GetCameraUp(), view.up.x, view.up.y, view.up.z, 1e-6f);
  EXPECT_NEAR(std::fabs(f.gs.GetCameraUp().x), std::sin(0.3f), 1e-4f);
  EXPECT_EQ(f.gs.GetCameraFov(), view.fov);
  world::SetCameraRoll(f.world, world::CameraState::kNoRoll);
  f.Steps(1);
  // Back to the shot's own: a fiftieth of the way to goal 0 a step.
  EXPECT_NEAR(f.world.camera.roll, 0.3f * 49.0f / 50.0f, 1e-6f);
  // A wild roll from a script neither stalls the step nor poisons the view.
  world::SetCameraRoll(f.world, 1e30f);
  f.Steps(2);
  world::SetCameraRoll(f.world, world::CameraState::kNoRoll);
  f.Steps(1);
  EXPECT_TRUE(std::isfinite(f.world.camera.roll));
  EXPECT_LE(std::fabs(f.world.camera.roll), 3.1415927f);
}

// [SECTION] Director, ring and chase

TEST(CameraDirector, DrawsTheNextShotFromItsTableAvoidingThePreviousOne) {
  CameraFixture f;
  world::CameraState& cam = f.world.camera;
  // The jitter reads byte 0 and skips 3; the draws then read bytes 3 on.
  f.FillRing(1);  // %4 != 0: the shake phase draws one byte only
  cam.ring[3] = 16 * 3 + 9;  // table[9] = 6, the previous shot: drawn again
  cam.ring[4] = 10;          // table[10] = 7
  cam.previousMode = 6;
  cam.mode = -1;
  f.Steps(1);
  EXPECT_EQ(cam.mode, 7);
  EXPECT_EQ(cam.counter, 0);
  EXPECT_EQ(cam.ringIndex, 6);  // jitter 3, two draws, the shake's one

  // Ten draws at most: the tenth stands even when it repeats the previous.
  CameraFixture g;
  g.FillRing(9);  // every draw table[9] = 6
  g.world.camera.previousMode = 6;
  g.world.camera.mode = -1;
  g.Steps(1);
  EXPECT_EQ(g.world.camera.mode, 6);
  EXPECT_EQ(g.world.camera.ringIndex, 3 + 10 + 1);
}

TEST(CameraDirector, TurnsToANearbyUnitOfAnotherSide) {
  CameraFixture f;
  world::CameraState& cam = f.world.camera;
  units::Unit* enemy = f.Put("red", f.jet, Vec3{0, 10, 100});
  f.FillRing(1);
  cam.ring[3] = 3;  // % 3 == 0: take the target view
  cam.mode = -1;
  cam.previousMode = 2;
  f.Steps(1);
  EXPECT_EQ(cam.mode, 16);
  EXPECT_EQ(f.world.targetUnit, enemy);

  // From the target view itself the table is drawn instead.
  CameraFixture g;
  g.Put("red", g.jet, Vec3{0, 10, 100});
  g.FillRing(3);
  g.world.camera.mode = -1;
  g.world.camera.previousMode = 16;
  g.Steps(1);
  EXPECT_EQ(g.world.camera.mode, 3);  // byte 4: table[3 % 16] = 3
  EXPECT_EQ(g.world.targetUnit, g.player);

  // Units of the own side, inert ones, weapons and far ones are no
  // candidates: the table is drawn.
  CameraFixture h;
  h.Put("blue", h.jet, Vec3{0, 10, 50});
  h.Put("red", h.jet, Vec3{0, 10, 50})->flags |= units::kUnitInert;
  h.Put("red", h.AddType("shell", units::kAttrWeapon), Vec3{0, 10, 50});
  h.Put("red", h.jet, Vec3{0, 10, 140.5f});
  h.FillRing(3);
  h.world.camera.mode = -1;
  h.Steps(1);
  EXPECT_EQ(h.world.camera.mode, 3);  // byte 3 went to the table
  EXPECT_EQ(h.world.camera.ringIndex, 5);
}

TEST(CameraDirector, AMarkedDestructionAheadInTheReplayIsTakenWhenItIsAboveTheGround) {
  for (float height : {10.0f, -60.0f}) {
    SCOPED_TRACE(height);
    CameraFixture f;
    auto recorder = std::make_unique<world::InputRecorder>();
    ASSERT_TRUE(recorder->Ready());
    f.world.recorder = recorder.get();
    // A far unit (beyond the 130 of the plain candidates) destroyed in the
    // steps 30 to 35 of the recording.
    units::Unit* enemy = f.Put("red", f.jet, Vec3{0, height, 200});
    for (int step = 0; step < 60; step++) {
      if (step == 30) recorder->SetRecorderMarker(enemy->unitId);
      recorder->RecordStep(nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    recorder->RewindRecorder(true);
    f.FillRing(1);  // % 3 != 0: only a marked candidate is taken
    f.world.camera.mode = -1;
    f.world.camera.previousMode = 2;
    f.Steps(1);
    // 50 units toward it from the head: high enough at 10, below 5 at -60.
    if (height > 0) {
      EXPECT_EQ(f.world.camera.mode, 16);
      EXPECT_EQ(f.world.targetUnit, enemy);
    } else {
      EXPECT_NE(f.world.camera.mode, 16);
    }
  }
}

TEST(CameraDirector, AnotherFocusUnitIsChasedOrWatchedFromItsTarget) {
  CameraFixture f;
  units::Unit* other = f.Put("red", f.jet, Vec3{0, 10, 300});
  units::Unit* target = f.Put("blue", f.jet, Vec3{0, 10, 600});
  world::SetCameraFocus(f.world, other, nullptr);
  world::CameraState& cam = f.world.camera;
  cam.previousMode = 2;
  cam.mode = -1;
  f.FillRing(2);
  f.Steps(1);
  EXPECT_EQ(cam.mode, 6);  // no target
  // Once 6 has run, the director keeps it, its counter at least 1.
  f.Steps(1);
  EXPECT_EQ(cam.previousMode, 6);
  cam.mode = -1;
  cam.counter = 0;
  f.Steps(1);
  EXPECT_EQ(cam.mode, 6);
  EXPECT_GE(cam.counter, 1);

  // A target flying the same way (dot product 1, outside 0..0.8): chase.
  other->target = target;
  target->SetObjectAngles(0.0f, 0.7f, 0.0f);  // dot cos 0.7 = 0.76
  cam.previousMode = 3;
  cam.mode = -1;
  f.FillRing(1);  // odd: the target's view
  f.Steps(1);
  EXPECT_EQ(cam.mode, 17);
  EXPECT_EQ(f.world.targetUnit, target);

  // A destroyed focus unit keeps the previous shot.
  other->state = units::kUnitStateDestroyed;
  cam.previousMode = 21;
  cam.mode = -1;
  f.Steps(1);
  EXPECT_EQ(cam.mode, 21);
}

TEST(CameraDirector, TheRingIndexIsBroughtBelow224AfterEveryStep) {
  struct Case {
    uint8_t before, after;
  } cases[] = {{0, 3}, {220, 223}, {221, 0}, {230, 9}, {254, 1}};
  for (const Case& c : cases) {
    CameraFixture f;
    world::SetCameraMode(f.world, 0);  // the jitter alone reads the ring
    f.world.camera.ringIndex = c.before;
    f.Steps(1);
    EXPECT_EQ(f.world.camera.ringIndex, c.after) << int(c.before);
  }
}

TEST(CameraDirector, TheCameraNeverDrawsFromTheGamesGenerator) {
  CameraFixture f;
  units::Unit* enemy = f.Put("red", f.jet, Vec3{0, 10, 60});
  for (int i = 0; i < 256; i++) f.world.camera.ring[i] = uint8_t(i * 37 + 11);
  f.world.random.Seed(4242);
  core::RandomGenerator copy = f.world.random;
  for (int mode : {-1, 2, 3, 13, 4, 5, 24, 6, 7, 8, 9, 16, 17, 18, 19, 21, 22, 23, 30, 0, 1}) {
    world::SetCameraMode(f.world, mode);
    if (mode == -1) f.world.camera.mode = -1;
    f.world.targetUnit = enemy;
    f.Steps(40);
  }
  f.Steps(2000);  // the director's own run of shots
  EXPECT_EQ(f.world.random.seed, copy.seed);
  for (int i = 0; i < 8; i++) EXPECT_EQ(world::Rand(f.world), copy.Next());
}

TEST(CameraChase, AFollowedWeaponClosingOnItsTargetHandsOverToTheChase) {
  struct Case {
    int mode;
    int counter;
    float speed;  // toward a target 50 away
    int expected;
  } cases[] = {
      {5, 10, 2.0f, 18},   // 25 steps to close: below 40
      {5, 10, 1.0f, 5},    // 50 steps
      {5, 10, -3.0f, 5},   // opening: the closing speed is held at 1
      {6, 10, 2.0f, 6},    // mode 6 waits for 2 steps
      {6, 10, 30.0f, 18},
      {6, 400, 2.0f, 18},  // ... or for 40 once it has run past 360
      {2, 10, 30.0f, 2},   // never from the fly-by
      {17, 10, 30.0f, 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " speed " << c.speed);
    CameraFixture f;
    f.world.eventMode = 1;  // ended shots stay
    units::Unit* missile = f.Put("blue", f.AddType("missile", units::kAttrWeapon), Vec3{0, 10, 0});
    units::Unit* target = f.Put("red", f.jet, Vec3{0, 10, 50});
    missile->velocity = Vec3{0, 0, c.speed};
    missile->target = target;
    world::SetCameraFocus(f.world, missile, target);
    world::SetCameraMode(f.world, c.mode);
    f.world.camera.counter = c.counter;
    f.world.eventMode = 0;
    f.Steps(1);
    EXPECT_EQ(f.world.camera.mode, c.expected);
    if (c.expected == 18 && c.mode != 18) {
      EXPECT_EQ(f.world.camera.counter, 0);
    }
  }
}

TEST(CameraChase, AFinishedFocusUnitHandsTheCameraBackToThePlayersDirector) {
  CameraFixture f;
  units::Unit* missile = f.Put("blue", f.AddType("missile", units::kAttrWeapon), Vec3{0, 10, 5});
  world::SetCameraMode(f.world, 6);
  f.world.camera.counter = 10;
  world::StartWeaponCamera(f.world, missile, 0, 10, 5);
  ASSERT_EQ(f.world.focusUnit, missile);
  missile->state = units::kUnitStateFinal;
  f.Steps(1);
  EXPECT_EQ(f.world.focusUnit, f.player);
  EXPECT_VEC_NEAR(f.world.camera.focusOffset, 0, 0, 0, 0);
  EXPECT_GE(f.world.camera.mode, 0);  // the director drew in the same step
  EXPECT_EQ(f.world.camera.counter, 0);

  // The player's own unit in that state keeps its shot running.
  CameraFixture g;
  g.player->state = units::kUnitStateFinal;
  world::SetCameraMode(g.world, 2);
  g.Steps(20);
  EXPECT_EQ(g.world.camera.mode, 2);
  EXPECT_EQ(g.world.camera.counter, 20);
}

// [SECTION] Units on a segment

TEST(UnitSegment, TheNearestLargeUnitOrThePlayerIsHit) {
  CameraFixture f;
  units::UnitType* large = f.AddType("rock", units::kAttrLarge);
  units::UnitType* small = f.AddType("crate", 0);
  units::UnitType* weapon = f.AddType("bomb", units::kAttrWeapon | units::kAttrLarge);
  units::Unit* near = f.Put("red", large, Vec3{0, 0, 10});
  units::Unit* far = f.Put("red", large, Vec3{0, 0, 20});
  f.Put("red", small, Vec3{0, 0, 5});
  f.Put("red", weapon, Vec3{0, 0, 3});
  Vec3 hit{};
  float distance = 0.0f;
  EXPECT_EQ(world::vector_unit_collision(f.world, nullptr, &hit, &distance, {0, 0, 0}, {0, 0, 30}), near);
  EXPECT_VEC_NEAR(hit, 0, 0, 9, 1e-4f);
  EXPECT_NEAR(distance, 9.0f, 1e-4f);
  EXPECT_EQ(world::vector_unit_collision(f.world, near, &hit, nullptr, {0, 0, 0}, {0, 0, 30}), far);
  EXPECT_VEC_NEAR(hit, 0, 0, 19, 1e-4f);
  // The player counts whatever its type.
  EXPECT_EQ(world::vector_unit_collision(f.world, nullptr, &hit, nullptr, {0, 10, -10}, {0, 10, 30}), f.player);
  // A segment that passes beside every unit, or ends short.
  Vec3 untouched{7, 7, 7};
  EXPECT_EQ(world::vector_unit_collision(f.world, nullptr, &untouched, &distance, {5, 0, 0}, {5, 0, 30}), nullptr);
  EXPECT_EQ(world::vector_unit_collision(f.world, nullptr, &untouched, nullptr, {0, 0, 0}, {0, 0, 8.5f}), nullptr);
  EXPECT_VEC_NEAR(untouched, 7, 7, 7, 0);
  // Hits farther than 1,000,000 from the start are ignored.
  units::Unit* remote = f.Put("red", large, Vec3{0, 0, 0});
  remote->SetObjectPosition(0.0f, 0.0f, 0.0f);
  EXPECT_EQ(world::vector_unit_collision(f.world, nullptr, &hit, &distance, {0, 0, -1000001.5f}, {0, 0, 5}),
            nullptr);
  EXPECT_EQ(world::vector_unit_collision(f.world, nullptr, &hit, &distance, {0, 0, -999990.0f}, {0, 0, 5}),
            remote);
}

// [SECTION] The world's reset

TEST(CameraReset, TheResetRefillsTheRingStartsTheGeneratorAtZeroAndChoosesTheMode) {
  struct Case {
    int playback, viewMode, stereo;
    int mode;
    float shakeRate;
  } cases[] = {{0, 1, 0, 1, 0.0f}, {0, 0, 0, 0, 0.0f}, {0, 1, 4, 0, 0.0f}};
  for (const Case& c : cases) {
    CameraFixture f;
    f.settings.viewMode = c.viewMode;
    f.settings.stereoType = uint8_t(c.stereo);
    f.world.camera.rollSetting = 0.5f;
    f.world.camera.shakePower = 0.0f;
    f.world.ResetWorld();
    const world::CameraState& cam = f.world.camera;
    EXPECT_EQ(cam.mode, c.mode);
    EXPECT_EQ(cam.shakeRate, c.shakeRate);
    EXPECT_EQ(cam.rollSetting, world::CameraState::kNoRoll);
    EXPECT_EQ(cam.ringIndex, 0);
    EXPECT_EQ(cam.shakePower, 1.0f);
    EXPECT_EQ(cam.fovGoal, 0.6109f);
    EXPECT_EQ(f.world.random.seed, 0u);
    if (c.stereo == 4) {
      EXPECT_EQ(f.settings.viewMode, 0);
    }
  }
}

}  // namespace
