// units_player_plane.cpp -- the step of the aircraft the local player flies,
// and the engine sound of the units near the camera.
//
// [SECTION] The player's aircraft
// [SECTION] Engine sound

#include <cmath>
#include <cstdint>

#include "units/units_flight.h"
#include "units_projectile.h"
#include "units_local.h"

namespace units {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kTwoPi = 6.28318531f;

// Logical buttons of the step input: the gun fires while its button is
// held; the weapon fires and the slot switches on a press; the target
// cycles forward and back while its buttons are held.
constexpr int kButtonWeapon = 8;
constexpr int kButtonGun = 9;
constexpr int kButtonNextTarget = 12;
constexpr int kButtonPreviousTarget = 14;
constexpr int kButtonSwitchWeapon = 13;

// A cycling button held longer than this turns the view to the target.
constexpr int32_t kLookAtTargetSteps = 30;

// Engine sound: the base frequency at rpm 0, its rise per rpm, the Doppler
// scale, the fall per rank and per unit of distance, the speed below which
// the engine fades out, and the volume that is silence.
constexpr float kEngineBaseFrequency = 22050.0f;
constexpr float kDopplerScale = 5.0f;
constexpr float kRankVolume = -3000.0f;
constexpr float kFadeSpeed = 0.2f;
constexpr int32_t kStopVolume = -29999;
// The frequencies a sound buffer plays at.
constexpr float kMinFrequency = 100.0f;
constexpr float kMaxFrequency = 200000.0f;

// The step input: 128 held and 128 pressed buttons and the two axis triples.
struct StepInput {
  int32_t held[128] = {};
  int32_t trigger[128] = {};
  float axes[6] = {};
};

// A yaw moved by whole turns until it lies within pi of `current`, so the
// smoothed view turns the short way.
float NearestTurn(float yaw, float current) {
  if (!std::isfinite(yaw) || !std::isfinite(current)) return yaw;
  // As many whole turns as it takes, at once: a view that has turned many
  // times is as near as one that has not. Exactly pi away stays as it is.
  float diff = yaw - current;
  if (diff > kPi) yaw -= std::ceil((diff - kPi) / kTwoPi) * kTwoPi;
  else if (diff < -kPi) yaw += std::ceil((-kPi - diff) / kTwoPi) * kTwoPi;
  return yaw;
}

// The cockpit view: toward the target while a cycling button has been held
// long, else from the view axes; smoothed by a tenth per step.
void TurnView(Unit& unit, const StepInput& input) {
  float yaw, pitch, turn = 0.0f;
  if (unit.target && (unit.targetCyclingWord > kLookAtTargetSteps || unit.targetCyclingWord < -kLookAtTargetSteps)) {
    Vec3 local = unit.TransformPointToLocal(GetUnitHeadPos(*unit.target));
    Vec3 angles{};
    core::AnglesFromDirection(&angles, Normalize(local), nullptr);
    yaw = -angles.y;
    pitch = -angles.x;
  } else {
    yaw = input.axes[3] * kPi;
    pitch = input.axes[4] * (kPi / 2.0f);
  }
  yaw = NearestTurn(yaw, unit.viewYaw);
  unit.viewYaw = (unit.viewYaw * 9.0f + yaw) * 0.1f;
  unit.viewPitch = (unit.viewPitch * 9.0f + pitch) * 0.1f;
  unit.viewTurnWord = (unit.viewTurnWord * 9.0f + turn) * 0.1f;
}

void Fly(world::GameWorld& world, Unit& unit, const StepInput& input, float throttle) {
  FlightGunInput gun{input.held[kButtonGun]};
  FlightWeaponInput weapon{input.trigger[kButtonWeapon], input.trigger[kButtonSwitchWeapon]};
  StepFlightModel(world, unit, gun, weapon, input.axes[0], input.axes[1], throttle, input.axes[5]);
}

// Stops the unit's engine copy, if one plays, and forgets it.
void StopEngineSound(world::GameWorld& world, Unit& unit) {
  if (unit.soundCopy >= 0) world::StopWorldSoundCopy(world, unit.soundChannel, unit.soundCopy);
  unit.soundCopy = -1;
}

}  // namespace

// [SECTION] The player's aircraft

float ClampThrottleRequest(const Unit& unit, float request) {
  if (request > -unit.engineLimitLow) request = -unit.engineLimitLow;
  if (request < -unit.engineLimitHigh) request = -unit.engineLimitHigh;
  return request;
}

int UpdatePlayerPlane(world::GameWorld& world, Unit& unit) {
  // 1. The step's input.
  StepInput input;
  world::GetStepInput(world, input.held, input.trigger, nullptr, input.axes, input.axes + 3);

  // 2. The target, kept or cycled by its buttons.
  SelectPlayerTarget(world, unit, PlayerTargetInput{input.held[kButtonNextTarget], input.held[kButtonPreviousTarget]});

  // 3. The cockpit view.
  TurnView(unit, input);

  // 4. The state's own step or the flight model.
  switch (unit.state) {
    case kUnitStateIdle:
      Fly(world, unit, input, ClampThrottleRequest(unit, input.axes[2]));
      break;
    case kUnitStateFollowPath:
      if (unit.landingRate > 0.0f) FollowPath(world, unit);
      else StepPathFlight(world, unit);
      break;
    case kUnitStateNoStep:
      break;
    case kUnitStateFinal:
      unit.SetObjectScale(0, 0, 0);
      StopLoopSounds(world, unit);
      break;
    case kUnitStateDestroyed:
      world::CreateBomb(world, unit.GetObjectWorldPosition(), unit.velocity, 0, 0.004f);
      StepBallisticFall(world, unit);
      break;
    default:
      Fly(world, unit, input, input.axes[2]);
      break;
  }
  return 0;
}

// [SECTION] Engine sound

void UpdateEngineSound(world::GameWorld& world, Unit& unit, const Vec3& listener, const Vec3& listenerVelocity,
                       float rank) {
  // 1. The distance now and one step on, both moving by their velocities.
  Vec3 position = unit.GetObjectWorldPosition();
  float d0 = Length(Sub(position, listener));
  float d1 = Length(Sub(Add(position, unit.velocity), Add(listener, listenerVelocity)));

  // 2. The engine's pitch, raised while the distance shrinks. Held to what a
  // buffer can play: a listener that jumps (a camera cut) would otherwise
  // ask for any frequency at all, 0 and below included.
  float base = (GetUnitEngineRpm(unit) / 5.0f + 0.5f) * kEngineBaseFrequency;
  float frequency = (d0 - d1) * base / kDopplerScale + base;
  if (!(frequency >= kMinFrequency)) frequency = kMinFrequency;
  if (frequency > kMaxFrequency) frequency = kMaxFrequency;

  // 3. The volume: lower by rank and distance, fading out as the unit
  // stops. Summed in double so that a far unit cannot overflow it.
  double volume = double(std::trunc(rank * kRankVolume)) - 2.0 * double(std::trunc(d0));
  float speed = Length(unit.velocity);
  if (speed < kFadeSpeed) volume += double(std::trunc((speed - kFadeSpeed) * 10000.0f));
  if (!(volume >= double(kStopVolume))) {
    StopEngineSound(world, unit);
    return;
  }

  // 4. Pan from the camera; then the playing copy follows, or a new one
  // starts looping.
  int pan = 0;
  if (render::GraphicsSystem* gs = world::GetUnitDatabase(world).graphics) pan = int(gs->GetSoundPan(position));
  int v = int(volume), f = int(frequency);
  if (world::UpdateWorldSoundCopy(world, unit.soundChannel, unit.soundCopy, v, pan, f)) return;
  int copy = world::PlayWorldSoundLooping(world, unit.soundChannel, v, pan, f);
  unit.soundCopy = copy < 0 ? -1 : copy;
}

}  // namespace units
