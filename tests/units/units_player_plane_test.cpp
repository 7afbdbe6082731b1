// units_player_plane_test.cpp -- the player's aircraft step (input, view,
// target, the throttle clamp, the states) and the engine sound of the units
// near the camera, alone and as the world sounds the four nearest.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "platform/platform_audio.h"
#include "sound/sound_public.h"
#include "units/units_flight.h"
#include "units_weapon_fixture.h"
#include "world/world_test_files.h"

namespace unittest {
namespace {

constexpr float kPi = 3.14159265f;
constexpr int kEngineSlot = 48;

class PlayerPlane : public WeaponWorld {
 protected:
  UnitType& plane = AddType("PLANE", units::kTypePlane);
  UnitType& enemyType = AddType("ENEMY", units::kTypePlane);
  UnitType& missile = AddType("MSL", units::kTypeMissile);
  Unit* unit = nullptr;
  core::FilePackageTable soundPackages;
  sound::SoundSystem sound;

  void SetUp() override {
    plane.defense = 100;
    enemyType.defense = 100;
    enemyType.hudNameFile = "enemy.png";
    // Armed, so that a target stays lockable once the flight step runs.
    plane.payload[0] = 2;
    missile.reloadTime = 1;
    missile.range[0] = 2000;
    unit = Put(plane, "blue", {0, 0, 0});
    ASSERT_NE(unit, nullptr);
    units::SetWeapon(world, *unit, 0, &missile);
    unit->flags |= units::kUnitPlayer;
    world.playerUnit = unit;
  }
  void TearDown() override { world.sound = nullptr; }

  void StartSound() {
    soundPackages.log = &log;
    sound.log = &log;
    sound.packages = &soundPackages;
    sound.driver = platform::AudioDriver::Null;
    ASSERT_EQ(sound.InitDirectSound(nullptr), 0);
    test::WriteFile("engine.wav", worldtest::TinyWav(8000));
    ASSERT_GE(sound.LoadSoundEffect(kEngineSlot, "engine.wav", 8, 0), 0);
    world.sound = &sound;
  }
  bool CopyPlaying(const Unit& u) {
    return u.soundCopy >= 0 && (sound.GetSoundStatus(kEngineSlot, u.soundCopy) & sound::kStatusPlaying) != 0;
  }
  platform::AudioBuffer* Buffer(const Unit& u) { return sound.Slot(kEngineSlot).copies[size_t(u.soundCopy)].buffer; }
  int Frequency(const Unit& u) { return int(platform::GetAudioBufferFrequency(Buffer(u))); }
  int Volume(const Unit& u) { return platform::GetAudioBufferVolume(Buffer(u)); }

  // One step with the given axes (the rest of the input idle).
  void Step(float a0 = 0, float a1 = 0, float a2 = 0, float a3 = 0, float a4 = 0, float a5 = 0) {
    float axes[6] = {a0, a1, a2, a3, a4, a5};
    for (int i = 0; i < 6; i++) world.axes[i] = axes[i];
    units::UpdatePlayerPlane(world, *unit);
  }
};

// [SECTION] The throttle request

// The request is held to -(engine limit high)..-(engine limit low): the
// reset limits pass every request from -1 to 1 unchanged.
TEST_F(PlayerPlane, ThrottleRequestWithinTheEngineLimits) {
  struct Case {
    float low, high, request, expected;
  } cases[] = {
      {-1, 1, -1, -1},     {-1, 1, -0.3f, -0.3f}, {-1, 1, 0, 0},       {-1, 1, 0.7f, 0.7f},
      {-1, 1, 1, 1},       {0, 1, 0.5f, 0},       {0, 1, -1, -1},      {-0.5f, 0.2f, 1, 0.5f},
      {-0.5f, 0.2f, -1, -0.2f}, {-0.5f, 0.2f, 0.1f, 0.1f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.low << " " << c.high << " " << c.request);
    unit->engineLimitLow = c.low;
    unit->engineLimitHigh = c.high;
    EXPECT_EQ(units::ClampThrottleRequest(*unit, c.request), c.expected);
  }
}

// [SECTION] The cockpit view

// A view swinging from yaw 3.0 to -3.0 turns the short way, through pi, by
// a tenth of the difference a step; pitch follows axis 4 x pi / 2 the same
// way, and the third view value eases to 0.
TEST_F(PlayerPlane, ViewTurnsTheShortWayByATenthAStep) {
  unit->viewYaw = 3.0f;
  unit->viewTurnWord = 1.0f;
  float target = -3.0f + 2.0f * kPi;  // -3 seen from 3
  float yaw = 3.0f;
  for (int i = 0; i < 5; i++) {
    Step(0, 0, 0, -3.0f / kPi, 0.5f);
    yaw = (yaw * 9.0f + target) * 0.1f;
    EXPECT_NEAR(unit->viewYaw, yaw, 1e-4f) << i;
    EXPECT_GT(unit->viewYaw, 3.0f);
  }
  EXPECT_NEAR(unit->viewPitch, (kPi / 4.0f) * (1.0f - std::pow(0.9f, 5.0f)), 1e-4f);
  EXPECT_NEAR(unit->viewTurnWord, std::pow(0.9f, 5.0f), 1e-5f);

  // The other way about, and from far round (a view that has turned many
  // times): always within pi of where it is.
  for (float from : {-3.0f, 3.0f + 4.0f * kPi, -3.0f - 6.0f * kPi}) {
    SCOPED_TRACE(from);
    unit->viewYaw = from;
    float axis = from < 0 ? 3.0f / kPi : -3.0f / kPi;
    Step(0, 0, 0, axis);
    EXPECT_LT(std::fabs(unit->viewYaw - from), kPi / 10.0f + 1e-3f);
  }
}

// While a cycling button has been held past 30 steps the view turns to the
// target; otherwise it follows the view axes.
TEST_F(PlayerPlane, LongHeldCyclingLooksAtTheTarget) {
  Unit* enemy = Put(enemyType, "red", {100, 0, 100});  // 45 degrees right
  unit->target = enemy;
  unit->targetCyclingWord = 40;
  world.held[12] = 1;  // next target held: the target is kept
  Step(0, 0, 0, 0.5f, 0);
  EXPECT_EQ(unit->target, enemy);
  EXPECT_EQ(unit->targetCyclingWord, 41);
  EXPECT_NEAR(unit->viewYaw, (kPi / 4.0f) * 0.1f, 1e-4f);
  EXPECT_NEAR(unit->viewPitch, 0.0f, 1e-5f);

  // A target at the very position of the unit gives a level view, no NaN.
  enemy->SetObjectPosition(0, 0, 0);
  Step();
  EXPECT_TRUE(std::isfinite(unit->viewYaw));
  EXPECT_TRUE(std::isfinite(unit->viewPitch));

  // Released: the view axes again, and the previous-target button counts
  // the word down.
  world.held[12] = 0;
  enemy->SetObjectPosition(100, 0, 100);
  unit->viewYaw = 0;
  unit->targetCyclingWord = 0;
  Step(0, 0, 0, 0.5f, 0);
  EXPECT_NEAR(unit->viewYaw, (kPi / 2.0f) * 0.1f, 1e-4f);
  world.held[14] = 1;
  Step();
  EXPECT_EQ(unit->targetCyclingWord, -1);
}

// Without a target the step takes the nearest enemy (SelectPlayerTarget).
TEST_F(PlayerPlane, TakesTheNearestEnemyAsTarget) {
  Unit* far = Put(enemyType, "red", {0, 0, 700});
  Unit* near = Put(enemyType, "red", {0, 0, 300});
  ASSERT_TRUE(far && near);
  Step();
  EXPECT_EQ(unit->target, near);
}

// [SECTION] The states

// Each state's own step: 800 follows the bound path (landing or not); 990
// does nothing but the view; 998 hides the aircraft; 999 bursts into fire
// (effects taken from the pool). None of them moves the unit otherwise.
TEST_F(PlayerPlane, StatesRunTheirOwnSteps) {
  // A straight path along x.
  std::vector<std::unique_ptr<units::PathPoint>> points;
  for (int i = 0; i < 3; i++) {
    points.push_back(std::make_unique<units::PathPoint>());
    points.back()->SetObjectPosition(500.0f * float(i), 0, 0);
    points.back()->onCurve = i == 1;
    if (i > 0) {
      points[size_t(i - 1)]->next = points.back().get();
      points.back()->prev = points[size_t(i - 1)].get();
    }
  }

  for (float landing : {0.5f, 0.0f}) {
    SCOPED_TRACE(landing);
    unit->state = units::kUnitStateFollowPath;
    unit->landingRate = landing;
    unit->path = points[0].get();
    units::SetUnitPathParameter(*unit, 0);
    unit->SetObjectPosition(0, 0, 0);
    unit->velocity = {2, 0, 0};
    Step();
    EXPECT_NEAR(unit->GetObjectPosition().x, 2.0f, 0.01f);
    EXPECT_EQ(unit->state, units::kUnitStateFollowPath);
  }
  unit->path = nullptr;

  // 990: still, but the view turns.
  unit->state = units::kUnitStateNoStep;
  unit->SetObjectPosition(10, 20, 30);
  unit->viewYaw = 0;
  Step(0, 0, 0, 1.0f);
  EXPECT_EQ(unit->GetObjectPosition().x, 10.0f);
  EXPECT_NEAR(unit->viewYaw, kPi * 0.1f, 1e-5f);
  EXPECT_EQ(unit->state, units::kUnitStateNoStep);

  // 998: hidden by a scale of 0.
  unit->state = units::kUnitStateFinal;
  Step();
  Vec3 scale = unit->GetObjectScale();
  EXPECT_EQ(scale.x, 0.0f);
  EXPECT_EQ(scale.y, 0.0f);
  EXPECT_EQ(scale.z, 0.0f);

  // 999: the fire burst (from the effect pool) and the wreck's fall.
  unit->state = units::kUnitStateDestroyed;
  unit->velocity = {0, 0, 0};
  Step();
  EXPECT_GT(world::CountEffectSlots(world), 0);
  EXPECT_LT(unit->velocity.y, 0.0f);

  // 0 and any other state fly: the path is not followed then.
  for (int32_t state : {int32_t(units::kUnitStateIdle), int32_t(5)}) {
    SCOPED_TRACE(state);
    unit->state = state;
    unit->path = points[0].get();
    units::SetUnitPathParameter(*unit, 0);
    unit->SetObjectPosition(0, 0, 0);
    unit->velocity = {0, 0, 0};
    Step();
    EXPECT_EQ(units::GetUnitPathParameter(*unit), 0.0f);
  }
  unit->path = nullptr;
  for (auto& p : points) p->next = p->prev = nullptr;
}

// [SECTION] Engine sound

// The engine pitch is (rpm / 5 + 0.5) x 22050, raised by a fifth of it per
// unit the distance shrinks in a step (lowered as it grows); the volume
// falls 3000 per rank and 2 per unit of distance. The copy started once is
// kept and updated.
TEST_F(PlayerPlane, EngineSoundDopplerAndVolume) {
  StartSound();
  unit->soundChannel = kEngineSlot;
  unit->engineRpm = 10000;  // rpm 1: base 0.7 x 22050 = 15435
  unit->SetObjectPosition(0, 0, 100);
  struct Case {
    const char* name;
    Vec3 velocity;
    Vec3 listenerVelocity;
    int frequency;
  } cases[] = {
      {"approaching", {0, 0, -1}, {0, 0, 0}, 18522},
      {"listener approaching", {0, 0, 1}, {0, 0, 2}, 18522},
      {"receding", {0, 0, 1}, {0, 0, 0}, 12348},
      {"together", {0, 0, 1}, {0, 0, 1}, 15435},
  };
  int copy = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unit->velocity = c.velocity;
    units::UpdateEngineSound(world, *unit, Vec3{0, 0, 0}, c.listenerVelocity, 0.5f);
    ASSERT_TRUE(CopyPlaying(*unit));
    if (copy < 0) copy = unit->soundCopy;
    EXPECT_EQ(unit->soundCopy, copy);  // one copy, updated in place
    EXPECT_NEAR(Frequency(*unit), c.frequency, 2);
    EXPECT_EQ(Volume(*unit), -1500 - 200);
  }

  // Slowing below 0.2 fades it: at 0.1, 1000 lower.
  unit->velocity = {0, 0, 0.1f};
  units::UpdateEngineSound(world, *unit, Vec3{0, 0, 0}, Vec3{0, 0, 0.1f}, 0.5f);
  EXPECT_NEAR(Volume(*unit), -2700, 1);
}

// At rank 10 the volume is -30000: the sound stops at once, and none
// starts. So does a far unit's.
TEST_F(PlayerPlane, EngineSoundStopsBelowAudibleVolume) {
  StartSound();
  unit->soundChannel = kEngineSlot;
  unit->engineRpm = 10000;
  unit->velocity = {0, 0, 1};
  units::UpdateEngineSound(world, *unit, Vec3{0, 0, -10}, Vec3{0, 0, 1}, 0);
  ASSERT_TRUE(CopyPlaying(*unit));
  int copy = unit->soundCopy;
  units::UpdateEngineSound(world, *unit, Vec3{0, 0, -10}, Vec3{0, 0, 1}, 10);
  EXPECT_EQ(unit->soundCopy, -1);
  EXPECT_FALSE(sound.GetSoundStatus(kEngineSlot, copy) & sound::kStatusPlaying);
  units::UpdateEngineSound(world, *unit, Vec3{0, 0, -10}, Vec3{0, 0, 1}, 10);
  EXPECT_EQ(unit->soundCopy, -1);

  units::UpdateEngineSound(world, *unit, Vec3{0, 0, -20000}, Vec3{0, 0, 1}, 0);
  EXPECT_EQ(unit->soundCopy, -1);
  units::UpdateEngineSound(world, *unit, Vec3{0, 0, 3.0e9f}, Vec3{0, 0, 1}, 0);
  EXPECT_EQ(unit->soundCopy, -1);
}

// A listener that leaps (a camera cut) asks for a pitch no buffer plays:
// it is held to 100..200000 Hz, never wrapped round to the highest or taken
// as "the sound's own" 0. An engine at rpm 0 (a type of POWER 0) sounds at
// the base pitch.
TEST_F(PlayerPlane, EnginePitchStaysPlayable) {
  StartSound();
  unit->soundChannel = kEngineSlot;
  unit->engineRpm = 10000;
  unit->SetObjectPosition(0, 0, 100);
  struct Case {
    const char* name;
    Vec3 listenerVelocity;
    int frequency;
  } cases[] = {
      {"leaping away", {0, 0, -1000}, 100},
      {"leaping closer", {0, 0, 99}, 200000},
      {"five units away a step", {0, 0, -5}, 100},  // exactly 0 Hz before the clamp
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    units::UpdateEngineSound(world, *unit, Vec3{0, 0, 0}, c.listenerVelocity, 0);
    ASSERT_TRUE(CopyPlaying(*unit));
    EXPECT_EQ(Frequency(*unit), c.frequency);
  }
  unit->engineRpm = 0;
  units::UpdateEngineSound(world, *unit, Vec3{0, 0, 0}, Vec3{0, 0, 0}, 0);
  EXPECT_EQ(Frequency(*unit), 11025);

  // Without a sound system nothing plays and nothing breaks.
  world.sound = nullptr;
  Unit* other = Put(plane, "blue", {0, 0, 50});
  other->engineRpm = 10000;
  units::UpdateEngineSound(world, *other, Vec3{0, 0, 0}, Vec3{0, 0, 0}, 0);
  EXPECT_EQ(other->soundCopy, -1);
}

// [SECTION] The world sounds the four nearest engines

// The four units nearest the camera eye sound, with the fade value as rank
// and the focus unit's velocity as the listener's in modes 0 and 1 (the
// camera's drift otherwise); with the screen faded past 1 or no unit in
// focus nothing is started.
TEST_F(PlayerPlane, WorldSoundsTheFourNearestEngines) {
  StartSound();
  plane.engineSoundFile = "engine.wav";
  world.sound = &sound;
  std::vector<Unit*> units;
  for (int i = 0; i < 5; i++) {
    Unit* u = i == 0 ? unit : Put(plane, "blue", {0, 0, 0});
    u->SetObjectPosition(0, 0, 100.0f + 100.0f * float(i));
    u->soundChannel = kEngineSlot;
    u->engineRpm = 10000;
    u->velocity = {0, 0, 1};
    units.push_back(u);
  }
  world.camera.eye = {0, 0, 0};
  world.camera.drift = {0, 0, 0};

  world.focusUnit = nullptr;
  world.UpdateEngineSounds(0);
  for (Unit* u : units) EXPECT_EQ(u->soundCopy, -1);
  world.focusUnit = unit;
  world.UpdateEngineSounds(1.5f);
  for (Unit* u : units) EXPECT_EQ(u->soundCopy, -1);

  // Mode 1: the listener rides with the focus unit (velocity 1, as the
  // units): no Doppler shift.
  world.camera.mode = 1;
  world.UpdateEngineSounds(0);
  for (int i = 0; i < 4; i++) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(CopyPlaying(*units[size_t(i)]));
    EXPECT_NEAR(Frequency(*units[size_t(i)]), 15435, 2);
  }
  EXPECT_EQ(units[4]->soundCopy, -1);

  // Another mode: the camera stands (drift 0), the units recede.
  world.camera.mode = 2;
  world.UpdateEngineSounds(0);
  EXPECT_NEAR(Frequency(*units[0]), 12348, 2);

  // The fifth comes nearer than the first: it sounds, the first stops.
  units[4]->SetObjectPosition(0, 0, 50);
  units[0]->SetObjectPosition(0, 0, 5000);
  world.UpdateEngineSounds(0);
  EXPECT_TRUE(CopyPlaying(*units[4]));
  EXPECT_EQ(units[0]->soundCopy, -1);
  // Only its own copy stopped: the others sharing the slot play on.
  for (int i = 1; i < 4; i++) EXPECT_TRUE(CopyPlaying(*units[size_t(i)])) << i;
}

}  // namespace
}  // namespace unittest
