// ui_hud.h -- the flight HUD: the sprite set over the 3D view that shows the
// player unit's state, its per-step update, its drawing and its alarm sounds.
//
// Notes for callers:
//  - One FlightHud, owned by the engine record beside the world it shows.
//    BuildHudSprites at world load (UpdateFlightHud and DrawHud build it on
//    first use when it was not); UpdateFlightHud once per run step after the
//    script threads; UpdateHudAlarms once per displayed frame after the
//    engine sounds; DrawHud once per eye after the scene's 3D sprites.
//  - Without a player unit nothing is drawn and no alarm changes; the clock
//    and the pitch ladder still follow the camera.
//  - A missing image leaves its sprites bare (they draw nothing); the HUD
//    goes on.
//  - The per-slot sprites of the world's unit pool (marker, type name,
//    distance text, tag, radar blip, map blip) are dressed here the first
//    time a slot is seen and again whenever the slot's unit type changes.
//
// Player unit fields read (the unit record's own names):
//   alert words 1..3    flightWords[2] missile warning, [1] warning, [0] caution
//   caution words 1..3  flightWords[5] flight-area word, [6] stall factor
//                       (float), gearContactRate (float)
//   notice words 1..4   damageByMark, killMark, hitMark, missileWords[0]
//   jamming             flightWords[3] count, flightWords[4] bit 0
//   beep flag / count   viewWord / damageLevel
//   lock cursor         aimPoint (unit space), lockWord the aim flag
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "render/render_public.h"

namespace world {
class GameWorld;
}
namespace units {
struct Unit;
struct UnitType;
}  // namespace units

namespace ui {

// The 19 images, in load order.
enum HudImage : int {
  kImgLevel = 0,
  kImgArrow,
  kImgSpeedbar,
  kImgCnt,
  kImgGun,
  kImgBomb,
  kImgRadarPlate,
  kImgCompassPlate,
  kImgCompass,
  kImgWeaponPlate,
  kImgWeaponSlot,
  kImgGunheatPlate,
  kImgGunheat,
  kImgDamagePlate,
  kImgDamage,
  kImgMsgPlate,
  kImgMsg,
  kImgMapPlate,
  kImgTimer,
  kHudImageCount
};

struct HudImageEntry {
  const char* file;
  uint32_t flags;
  bool toggled;  // takes the additive flag from ToggleHudSprites
};
extern const HudImageEntry kHudImages[kHudImageCount];

// The HUD block: ladder bars 0..36, left labels 40..76, right labels
// 80..116, then the ten sprites of the HUD frame and the boresight.
constexpr int kHudBlockSize = 130;
constexpr int kLadderBars = 37;
constexpr int kLeftLabels = 40;
constexpr int kRightLabels = 80;
enum : int {
  kBoresight = 120,
  kSpeedDigits = 121,
  kAltitudeDigits = 122,
  kSpeedBox = 123,
  kAltitudeBox = 124,
  kSpeedTape = 125,
  kAltitudeTape = 126,
  kSpeedBracket = 127,
  kAltitudeBracket = 128,
  kFlightPathMark = 129,
};

// The per-slot sprites of the world's pool, by their index there.
enum : int { kSlotMarker = 0, kSlotName = 1, kSlotDistance = 2, kSlotTag = 3, kSlotRadar = 4, kSlotMap = 5 };

// Sound slots of the alarms.
constexpr int kAlarmWarningSlot = 16;  // second alert word
constexpr int kAlarmMissileSlot = 17;  // first alert word
constexpr int kAlarmBeepSlot = 18;     // the damage beeps

// The radar's ranges by range index.
constexpr float kRadarFar[4] = {600.0f, 1200.0f, 2000.0f, 4000.0f};
constexpr float kRadarZoomOut[4] = {600.0f, 1200.0f, 2000.0f, 99999.0f};
constexpr float kRadarZoomIn[4] = {0.0f, 600.0f, 1200.0f, 2000.0f};

// [SECTION] Pure helpers (tested on their own)

// The mission clock "%02d:%02d" (minutes, seconds) of a step count; below 0
// shows 00:00.
std::string FormatHudClock(int32_t steps);
// A tape's texture offset: v x 1.6 (speed) or |feet| x 0.4 (altitude) wraps
// past 240 into 240..399; below 0 it is 0.
float WrapTapeOffset(float h);
// The ammunition digits: "%3d" from 100 up, else " %02d".
std::string FormatAmmo(int32_t ammo);
// The radar wish: -1 in, 0 stay, 1 out.
enum class RadarWish : int { In = -1, Stay = 0, Out = 1 };
// One step of the radar zoom: the counter counts a persisting wish up to 2,
// and at 2 the index moves one step and the counter returns to 0; "stay"
// returns it to 0 at once.
void StepRadarZoom(RadarWish wish, int32_t* index, int32_t* counter);

class FlightHud {
 public:
  FlightHud() = default;
  ~FlightHud();
  // Gives the images back to the world's renderer (nothing without one);
  // the destructor does it too, while the world still has its renderer.
  void ReleaseHudImages();
  FlightHud(const FlightHud&) = delete;
  FlightHud& operator=(const FlightHud&) = delete;

  // Wired once by the engine record.
  world::GameWorld* world = nullptr;

  // Loads the 19 images and lays out every sprite. 1 (0 without a world or
  // a renderer).
  int BuildHudSprites();
  // The per-step update of the whole set.
  void UpdateFlightHud();
  // Places the four marker sprites of every unit slot; `full` 1 from the
  // flight HUD (lock boxes, stored positions, the 2000 limit), 0 from the
  // editor (every unit with a name image).
  void UpdateHudMarkers(units::Unit* player, int full);
  // Sets (on) or clears the additive flag of the HUD's own images and of
  // every unit type's HUD images.
  void ToggleHudSprites(int on);
  // The weapon-slot icon textures of a unit: slot 0..3, or -1 for all.
  void BindHudSlotTextures(units::Unit* unit, int slot);
  // Draws the set (camera modes 0 and 1) or only the unit markers (other
  // modes, while the marker flag is set). Render flag 0x200 is set after.
  void DrawHud();
  // Draws box, name, distance text (withDistance) and tag of every slot
  // whose unit has a model or surface; restores render flag 0x200.
  void DrawUnitMarkers(int withDistance);
  // The three alarm sounds from the player's alert words and beep count.
  void UpdateHudAlarms();

  // --- State the scripts and the camera read and set -----------------------
  int32_t radarIndex = 0;       // 0..3, persists across steps
  int32_t zoomCounter = 0;      // steps the zoom wish has persisted
  int32_t clockHide = 0;        // non-zero: the mission clock is not drawn
  int32_t markerFlag = 0;       // non-zero: markers drawn outside modes 0/1
  int32_t blinkOff = 0;         // non-zero: reference blip and tags hold still
  int32_t smallMap = 0;         // non-zero: map blips at scale 0.6
  render::Vec3 mapCentre{};     // origin of the map plate's blips
  bool built = false;

  // --- The sprite set (read by tests) -----------------------------------------
  render::TextureHolder images[kHudImageCount];
  bool imageLoaded[kHudImageCount] = {};
  render::DisplayObject hudFrame, plateFrame;
  render::DisplayObject radarAnchor, weaponAnchor, compassAnchor, gaugeAnchor, centreAnchor;
  render::DisplayObject block[kHudBlockSize];
  render::DisplayObject arrow, pipper, gunRing, leadLine, funnel[12], bombSight, bombLine;
  render::DisplayObject radarPlate, compassPlate, compassRose;
  render::DisplayObject weaponPlate, slotName, ammoDigits, weaponIcon;
  render::DisplayObject slotIcons[4][2];
  render::DisplayObject heatPlate, heatBar, damagePlate, damageBar, damageFrame, damageDigits;
  render::DisplayObject msgPlate, msgText, missionClock;
  // The icon texture of each weapon slot (BindHudSlotTextures).
  render::TextureHolder* slotTextures[4] = {};
  // Per unit slot: the marker's view-space position (full update only) and
  // the type the slot's sprites were dressed for.
  std::vector<render::Vec3> markerPositions;
  std::vector<const units::UnitType*> dressedTypes;
  std::vector<const render::DisplayObject*> dressedMarkers;  // the pool may be rebuilt
  // The message row shown (-1 none) and the radar's reference slot (-1 none),
  // kept for the tests and the editor.
  int32_t messageRow = -1;
  int32_t referenceSlot = -1;

  // The map plate: the world's HUD map object.
  render::DisplayObject* MapPlate();

 private:
  render::GraphicsSystem* Graphics();
  render::TextureHolder* Image(int image);
  void Attach(render::DisplayObject& o, int image, uint32_t shape = 1);
  void DressSlot(int slot);
  void PlaceLadder(const render::Vec3& eye, const render::Vec3& angles, const float* alertColour);
  void UpdateRadar(units::Unit& player);
  void UpdateMapBlips(units::Unit& player);
  void UpdateWeapons(units::Unit& player);
  void UpdateGunSight(units::Unit& player, float playerSpeed);
  void UpdateBombSight(units::Unit& player);
  void UpdateMessages(units::Unit& player, const float* alertColour);
  // The pixel scale of a sprite that keeps one size on screen at `depth`.
  float ScreenScale(float depth, float factor);
};

}  // namespace ui
