// ui_hud.cpp -- the flight HUD: its sprite set, the per-step update that
// places and fills it from the player unit, its drawing and its alarms.
//
// Index of this file:
// [SECTION] Tables and pure helpers
// [SECTION] Building the sprite set
// [SECTION] The per-step update
// [SECTION] Radar and map
// [SECTION] Weapons, sights and messages
// [SECTION] Unit markers
// [SECTION] Drawing
// [SECTION] Alarms

#include "ui/ui_hud.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "units/units_services.h"
#include "world/world_services.h"

namespace ui {

using render::DisplayObject;
using render::Vec3;

namespace {

constexpr float kHudGreen[4] = {0.0f, 1.0f, 0.25f, 1.0f};
constexpr float kAlertRed[3] = {1.0f, 0.25f, 0.25f};
constexpr float kPlateTint[4] = {0.5f, 1.0f, 0.6f, 0.6f};
constexpr float kHalfGreen[4] = {0.0f, 1.0f, 0.25f, 0.5f};
constexpr float kLadderWindow = 0.20943952f;  // 12 degrees
constexpr float kDegrees = 0.017453292f;
constexpr int kStereoHeadset = 4;

// The alignments of the sprite table.
constexpr uint32_t kCentre = 0;
constexpr uint32_t kLeftEdge = render::kAlignLeft;
constexpr uint32_t kRightEdge = render::kAlignRight;
constexpr uint32_t kLeftBottom = render::kAlignLeft | render::kAlignBottom;

void Colour(DisplayObject& o, const float* c) { o.SetObjectColor(c[0], c[1], c[2], c[3]); }
// The alert colour keeps each sprite's own alpha.
void AlertColour(DisplayObject& o, const float* c) { o.SetObjectColor(c[0], c[1], c[2], -1.0f); }

float Clamp(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

Vec3 Angles(const Vec3& direction, const Vec3* up) {
  Vec3 a{};
  core::AnglesFromDirection(&a, direction, up);
  return a;
}

// The player unit's alert, caution and notice words (see ui_hud.h).
uint32_t Alert(const units::Unit& u, int n) {
  static constexpr int kWord[3] = {2, 1, 0};
  return u.flightWords[kWord[n]];
}
float FloatWord(uint32_t w) {
  float f;
  std::memcpy(&f, &w, sizeof f);
  return f;
}
bool Jammed(const units::Unit& u) { return u.flightWords[3] != 0 && (u.flightWords[4] & 1u) != 0; }
bool SameEvent(const units::Unit& a, const units::Unit& b) { return (a.sceneNumber != 0) == (b.sceneNumber != 0); }
bool IsWeapon(const units::Unit& u) { return u.type && (u.type->attributes & units::kAttrWeapon) != 0; }
bool HasLook(const units::Unit& u) { return u.GetObjectModel() || u.GetObjectSurface(); }

// The blink of the reference blip and the marker tags.
bool BlinkStep(world::GameWorld& w) {
  return (int64_t(world::GetStepCounter(w)) * world::GetWorldFrameRate(w) / 60) % 3 == 0;
}

}  // namespace

// [SECTION] Tables and pure helpers

const HudImageEntry kHudImages[kHudImageCount] = {
    {"ZadAzorad\\Hud\\hud_level.png", 0x8002, true},
    {"ZadAzorad\\Hud\\arrow.png", 0x8002, true},
    {"ZadAzorad\\Hud\\hud_speedbar.png", 0x48002, true},
    {"ZadAzorad\\Hud\\hud_cnt.png", 0x48002, true},
    {"ZadAzorad\\Hud\\hud_gun.png", 0x8002, true},
    {"ZadAzorad\\Hud\\hud_bomb.png", 0x8002, true},
    {"ZadAzorad\\hud\\hud_radar_plate.png", 0x2, false},
    {"ZadAzorad\\hud\\hud_compass_plate.png", 0x2, false},
    {"ZadAzorad\\hud\\hud_compass.png", 0x8002, true},
    {"ZadAzorad\\Hud\\hud_weapon_plate.png", 0x2, false},
    {"ZadAzorad\\Hud\\hud_weapon_slot.png", 0x8002, true},
    {"ZadAzorad\\hud\\hud_gunheat_plate.png", 0x2, false},
    {"ZadAzorad\\hud\\hud_gunheat.png", 0x8002, true},
    {"ZadAzorad\\hud\\hud_damage_plate.png", 0x40002, false},
    {"ZadAzorad\\Hud\\hud_damage.png", 0x48002, true},
    {"ZadAzorad\\Hud\\hud_msg_plate.png", 0x2, false},
    {"ZadAzorad\\Hud\\hud_msg.png", 0x8002, true},
    {"ZadAzorad\\Hud\\hud_map_plate.png", 0x2, false},
    {"ZadAzorad\\Hud\\timer.png", 0x8002, true},
};

std::string FormatHudClock(int32_t steps) {
  const int32_t t = steps < 0 ? 0 : steps;
  const int32_t s = t / 60;
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d", int(s / 60), int(s % 60));
  return text;
}

float WrapTapeOffset(float h) {
  if (h > 240.0f) h = 240.0f + float(int32_t(h - 240.0f) % 160);
  if (h < 0.0f) h = 0.0f;
  return h;
}

std::string FormatAmmo(int32_t ammo) {
  char text[32];
  if (ammo >= 100) std::snprintf(text, sizeof text, "%3d", int(ammo));
  else std::snprintf(text, sizeof text, " %02d", int(ammo));
  return text;
}

void StepRadarZoom(RadarWish wish, int32_t* index, int32_t* counter) {
  if (wish == RadarWish::Stay) {
    *counter = 0;
    return;
  }
  if (*counter < 2) {
    (*counter)++;
    return;
  }
  if (wish == RadarWish::Out && *index < 3) (*index)++;
  if (wish == RadarWish::In && *index > 0) (*index)--;
  *counter = 0;
}

// [SECTION] Building the sprite set

FlightHud::~FlightHud() {
  // Slot sprites of the world hang under the radar plate and the map plate;
  // they let go of this HUD's objects before those go.
  if (world) {
    for (int slot = 0; slot < world::CountUnitSlots(*world); slot++) {
      for (int k : {kSlotRadar, kSlotMap}) {
        DisplayObject* o = world::GetSlotHudSprite(*world, slot, k);
        if (o && o->GetObjectParent() == &radarPlate) o->SetObjectParent(nullptr);
      }
    }
  }
  // Every own object leaves its parent while all of them still exist.
  DisplayObject* all[] = {&compassRose, &compassPlate, &radarPlate, &slotName, &ammoDigits, &weaponIcon,
                          &weaponPlate, &heatBar, &heatPlate, &damageBar, &damageFrame, &damageDigits,
                          &damagePlate, &msgPlate, &msgText, &missionClock, &radarAnchor, &weaponAnchor,
                          &compassAnchor, &gaugeAnchor, &centreAnchor};
  for (DisplayObject* o : all) o->SetObjectParent(nullptr);
  for (auto& pair : slotIcons)
    for (DisplayObject& o : pair) o.SetObjectParent(nullptr);
  for (DisplayObject& o : block) o.SetObjectParent(nullptr);
  if (world) {
    DisplayObject* map = MapPlate();
    if (map && map->GetObjectParent() == &centreAnchor) map->SetObjectParent(nullptr);
  }
  ReleaseHudImages();
}

void FlightHud::ReleaseHudImages() {
  render::GraphicsSystem* gs = world ? world::GetWorldGraphics(*world) : nullptr;
  if (!gs) return;
  for (int i = 0; i < kHudImageCount; i++) {
    images[i].ReleaseTexture(*gs);
    imageLoaded[i] = false;
  }
}

render::GraphicsSystem* FlightHud::Graphics() { return world ? world::GetWorldGraphics(*world) : nullptr; }

render::DisplayObject* FlightHud::MapPlate() { return world ? world::GetHudMapObject(*world) : nullptr; }

render::TextureHolder* FlightHud::Image(int image) { return imageLoaded[image] ? &images[image] : nullptr; }

void FlightHud::Attach(DisplayObject& o, int image, uint32_t shape) {
  render::GraphicsSystem* gs = Graphics();
  if (!gs) return;
  // A missing image leaves the sprite bare: it draws nothing.
  o.SetObjectSurface(*gs, Image(image), shape, 0);
  o.SetObjectVisible(1);
}

namespace {

// One row of the sprite table: rectangle, alignment, position, scale.
struct SpriteLayout {
  float x0, y0, x1, y1;  // x1 < 0: the whole image
  int32_t align;         // -1: no alignment (pivot at the top left corner)
  Vec3 position;
  Vec3 scale;
};

void Lay(render::GraphicsSystem& gs, DisplayObject& o, const SpriteLayout& l) {
  if (o.GetObjectSurface()) {
    if (l.x1 < 0) o.BuildSurfaceGeometry(gs, 0, 0, float(o.GetObjectSurface()->width), float(o.GetObjectSurface()->height));
    else o.BuildSurfaceGeometry(gs, l.x0, l.y0, l.x1, l.y1);
    if (l.align >= 0) o.AlignObjectSurface(uint32_t(l.align));
  }
  o.SetObjectPosition(l.position.x, l.position.y, l.position.z);
  o.SetObjectScale(l.scale.x, l.scale.y, l.scale.z);
}

}  // namespace

int FlightHud::BuildHudSprites() {
  render::GraphicsSystem* gsp = Graphics();
  if (!world || !gsp) return 0;
  render::GraphicsSystem& gs = *gsp;
  for (int i = 0; i < kHudImageCount; i++) {
    images[i].ReleaseTexture(gs);
    imageLoaded[i] = images[i].LoadTextureFile(gs, kHudImages[i].file, kHudImages[i].flags) == 1 &&
                     images[i].texture != nullptr;
  }
  const bool headset = world::GetStereoType(*world) == kStereoHeadset;
  int width = 0, height = 0;
  gs.GetScreenSize(&width, &height);
  const float aspect = height > 0 ? float(width) / float(height) : 4.0f / 3.0f;

  // The pitch ladder: bars, left and right labels, one per 5 degrees.
  for (int i = 0; i < kLadderBars; i++) {
    const int angle = 90 - 5 * i;
    DisplayObject& bar = block[i];
    Attach(bar, kImgLevel);
    const float row = i < 18 ? 128.0f : i == 18 ? 64.0f : 192.0f;
    Lay(gs, bar, {0, row, 640, row + 64, -1, {0, 0, 0}, {0.005f, -0.005f, 1}});
    bar.SetObjectPivot(320, 32, -10);
    char text[16];
    std::snprintf(text, sizeof text, "%d", angle);
    const float length = float(std::strlen(text));
    for (int side = 0; side < 2; side++) {
      DisplayObject& label = block[(side == 0 ? kLeftLabels : kRightLabels) + i];
      Attach(label, kImgLevel);
      Lay(gs, label, {0, 0, 32, 64, -1, {0, 0, 0}, {0.003f, -0.003f, 1}});
      label.SetObjectText(text);
      label.SetObjectPivot(16.0f * length + (side == 0 ? 566.6667f : -566.6667f), 32, -10);
    }
  }
  Attach(block[kBoresight], kImgLevel);
  Lay(gs, block[kBoresight], {640, 0, 704, 64, -1, {0, 0, 0}, {0.005f, -0.005f, 1}});
  block[kBoresight].SetObjectPivot(32, 32, -10);
  Attach(block[kFlightPathMark], kImgLevel);
  Lay(gs, block[kFlightPathMark], {704, 0, 768, 64, -1, {0, 0, 0}, {0.005f, -0.005f, 1}});
  block[kFlightPathMark].SetObjectPivot(32, 32, -10);

  // The HUD frame (10 ahead of the camera) and what hangs on it.
  hudFrame.ReleaseObject();
  hudFrame.SetObjectVisible(1);  // a root draws nothing itself but must be shown
  hudFrame.SetObjectScale(headset ? 0.014f : 0.008f, headset ? -0.014f : -0.008f, 0.008f);
  struct Framed {
    int index, image;
    SpriteLayout layout;
  } framed[] = {
      {kSpeedDigits, kImgLevel, {0, 0, 32, 64, -1, {-377, -36, 0}, {0.5f, 0.5f, 1}}},
      {kAltitudeDigits, kImgLevel, {0, 0, 32, 64, -1, {300, -36, 0}, {0.5f, 0.5f, 1}}},
      {kSpeedBox, kImgLevel, {832, 0, 1024, 64, kCentre, {-350, -54, 0}, {0.6f, 0.6f, 1}}},
      {kAltitudeBox, kImgLevel, {832, 64, 1024, 128, kCentre, {350, -54, 0}, {0.6f, 0.6f, 1}}},
      {kSpeedTape, kImgSpeedbar, {0, 400, 32, 880, kLeftEdge, {-270, 0, 0}, {0.6f, 0.6f, 1}}},
      {kAltitudeTape, kImgSpeedbar, {0, 400, 32, 880, kLeftEdge, {270, 0, 0}, {-0.6f, 0.6f, 1}}},
      {kSpeedBracket, kImgLevel, {768, 128, 1024, 192, kRightEdge, {-270, 0, 0}, {0.6f, 0.6f, 1}}},
      {kAltitudeBracket, kImgLevel, {768, 128, 1024, 192, kRightEdge, {270, 0, 0}, {-0.6f, 0.6f, 1}}},
  };
  for (const Framed& f : framed) {
    Attach(block[f.index], f.image);
    Lay(gs, block[f.index], f.layout);
    block[f.index].SetObjectParent(&hudFrame);
  }
  block[kSpeedDigits].SetObjectText("  0");
  block[kAltitudeDigits].SetObjectText("   0");
  for (DisplayObject& o : block) Colour(o, kHudGreen);

  // The target arrow is a plain 2D-layer sprite.
  arrow.ReleaseObject();
  if (Image(kImgArrow)) {
    arrow.SetObjectTexture(gs, Image(kImgArrow));
    arrow.AlignObjectSurface(kCentre);
  }
  arrow.SetObjectColor(-1, -1, -1, 0);

  // Sights.
  Attach(pipper, kImgCnt);
  Lay(gs, pipper, {128, 64, 192, 128, kCentre, {512, 384, 0}, {1, 1, 1}});
  pipper.SetObjectColor(1, 0.25f, 0.25f, 1);
  pipper.SetObjectVisible(0);
  Attach(gunRing, kImgGun);
  Lay(gs, gunRing, {0, 0, 128, 128, kCentre, {0, 0, 0}, {1, 1, 1}});
  Attach(leadLine, kImgGun, render::kSurfaceQuadXZ);
  Lay(gs, leadLine, {200, 17, 201, 18, -1, {0, 0, 0}, {1, 1, 1}});
  leadLine.SetObjectPivot(32, 0, 0);
  for (int i = 0; i < 12; i++) {
    Attach(funnel[i], kImgGun);
    Lay(gs, funnel[i], {192, 0, 224, 64, int32_t(kLeftBottom), {0, 0, 0}, {1, 1, 1}});
    Colour(funnel[i], kHalfGreen);
    funnel[i].SetObjectVisible(0);
  }
  Attach(bombSight, kImgBomb);
  Lay(gs, bombSight, {0, 0, 128, 128, kCentre, {0, 0, 0}, {1, 1, 1}});
  Attach(bombLine, kImgBomb, render::kSurfaceQuadXZ);
  Lay(gs, bombLine, {64, 3, 65, 4, -1, {0, 0, 0}, {1, 1, 1}});
  bombLine.SetObjectPivot(32, 0, 0);
  for (DisplayObject* o : {&gunRing, &leadLine, &bombSight, &bombLine}) {
    Colour(*o, kHalfGreen);
    o->SetObjectVisible(0);
  }

  // The plate frame (at the camera) and its anchors.
  plateFrame.ReleaseObject();
  plateFrame.SetObjectVisible(1);
  plateFrame.SetObjectScale(headset ? 1.4f : 1, headset ? 1.4f : 1, 1);
  struct Anchor {
    DisplayObject* o;
    Vec3 position, scale, angles;
  } anchors[] = {
      {&radarAnchor, {-1.8f * aspect, -1.6f, 8}, {0.0064f, -0.0064f, 0.0064f}, {-0.25f, 0.25f, 0}},
      {&weaponAnchor, {1.8f * aspect, -1.8f, 8}, {0.0064f, -0.0064f, 0.0064f}, {-0.25f, -0.25f, 0}},
      {&compassAnchor, {1.8f * aspect, 2, 8}, {0.0064f, -0.0064f, 0.0064f}, {0, 0, 0}},
      {&gaugeAnchor, {1.9f * aspect, -0.4f, 8}, {0.0064f, -0.0064f, 0.0064f}, {0, -0.25f, 0}},
      {&centreAnchor, {0, 0, 9}, {0.00739f, -0.00739f, 0.00739f}, {0, 0, 0}},
  };
  for (const Anchor& a : anchors) {
    a.o->ReleaseObject();
    a.o->SetObjectVisible(1);
    a.o->SetObjectParent(&plateFrame);
    a.o->SetObjectPosition(a.position.x, a.position.y, a.position.z);
    a.o->SetObjectScale(a.scale.x, a.scale.y, a.scale.z);
    a.o->SetObjectAngles(a.angles.x, a.angles.y, a.angles.z);
  }

  struct Plate {
    DisplayObject* o;
    int image;
    SpriteLayout layout;
    DisplayObject* parent;
    const float* colour;
  } plates[] = {
      {&radarPlate, kImgRadarPlate, {0, 0, 256, 256, kCentre, {0, 0, 0}, {0.8f, 0.8f, 1}}, &radarAnchor, kPlateTint},
      {&compassPlate, kImgCompassPlate, {0, 0, -1, 0, kCentre, {0, 0, 0}, {0.6f, 0.6f, 1}}, &compassAnchor,
       kPlateTint},
      {&weaponPlate, kImgWeaponPlate, {0, 0, -1, 0, kCentre, {0, 0, 0}, {0.8f, 0.8f, 1}}, &weaponAnchor, kPlateTint},
      {&slotName, kImgWeaponSlot, {0, 64, 128, 96, -1, {-124, -62, 0}, {0.75f, 0.75f, 1}}, &weaponPlate, kHudGreen},
      {&ammoDigits, kImgWeaponSlot, {0, 0, 20, 40, -1, {54, -60, 0}, {1, 1, 1}}, &weaponPlate, kHudGreen},
      {&heatPlate, kImgGunheatPlate, {0, 0, 256, 31, kCentre, {0, 40, 0}, {0.6f, 0.6f, 1}}, &gaugeAnchor, kPlateTint},
      {&damagePlate, kImgDamagePlate, {0, 0, -1, 0, kCentre, {0, 0, 0}, {0.6f, 0.6f, 1}}, &gaugeAnchor, kPlateTint},
      {&damageFrame, kImgDamage, {0, 0, 192, 32, int32_t(kLeftBottom), {-128, 0, 0}, {1, 1, 1}}, &damagePlate,
       kHudGreen},
      {&damageDigits, kImgDamage, {0, 32, 16, 64, -1, {-16, -32, 0}, {1, 1, 1}}, &damagePlate, kHudGreen},
  };
  for (const Plate& p : plates) {
    p.o->ReleaseObject();
    Attach(*p.o, p.image);
    Lay(gs, *p.o, p.layout);
    p.o->SetObjectParent(p.parent);
    Colour(*p.o, p.colour);
  }
  radarPlate.SetObjectColor(0.5f, 1, 0.6f, 0.6f);
  compassRose.ReleaseObject();
  Attach(compassRose, kImgCompass);
  Lay(gs, compassRose, {0, 0, -1, 0, kCentre, {0, 0, 0}, {1, 1, 1}});
  compassRose.SetObjectParent(&compassPlate);
  compassRose.SetObjectColor(0.25f, 1, 0.25f, 0.75f);
  ammoDigits.SetObjectText(" 00");
  damageDigits.SetObjectText("100");

  weaponIcon.ReleaseObject();
  weaponIcon.SetObjectParent(&weaponPlate);
  weaponIcon.SetObjectPosition(-124, -42, 0);
  for (auto& pair : slotIcons)
    for (DisplayObject& o : pair) {
      o.ReleaseObject();
      o.SetObjectParent(&weaponPlate);
      o.SetObjectVisible(0);
    }

  heatBar.ReleaseObject();
  Attach(heatBar, kImgGunheat);
  Lay(gs, heatBar, {0, 0, 256, 31, int32_t(kRightEdge), {128, 0, 0}, {1, 1, 1}});
  heatBar.SetObjectParent(&heatPlate);
  heatBar.SetObjectColor(0.5f, 1, 0.6f, 0.75f);
  damageBar.ReleaseObject();
  Attach(damageBar, kImgDamage);
  Lay(gs, damageBar, {0, 64, 256, 128, int32_t(kRightEdge), {128, 0, 0}, {1, 1, 1}});
  damageBar.SetObjectParent(&damagePlate);
  damageBar.SetObjectColor(0, 1, 0.25f, 0.4f);

  // Message plate and text start with an empty rectangle.
  for (DisplayObject* o : {&msgPlate, &msgText}) {
    o->ReleaseObject();
    Attach(*o, o == &msgPlate ? kImgMsgPlate : kImgMsg);
    Lay(gs, *o, {0, 0, 0, 0, kCentre, {0, 40, 0}, {0.8f, 0.8f, 1}});
    o->SetObjectParent(&centreAnchor);
  }
  msgPlate.SetObjectColor(-1, -1, -1, 0.125f);
  Colour(msgText, kHudGreen);

  // The map plate is the world's HUD map object; hidden until its keys show it.
  if (DisplayObject* map = MapPlate()) {
    Attach(*map, kImgMapPlate);
    Lay(gs, *map, {0, 0, -1, 0, kCentre, {0, 0, 0}, {0.6f, 0.6f, 1}});
    map->SetObjectParent(&centreAnchor);
    map->SetObjectColor(0.5f, 1, 0.6f, 0.5f);
    map->SetObjectVisible(0);
  }

  missionClock.ReleaseObject();
  Attach(missionClock, kImgTimer);
  Lay(gs, missionClock, {0, 0, 32, 64, -1, {-490, -370, 0}, {0.8f, 0.8f, 1}});
  missionClock.SetObjectParent(&centreAnchor);
  missionClock.SetObjectText("00");
  missionClock.SetObjectColor(0.6f, 0.6f, 0.6f, -1);

  // Slot sprites are dressed again against the new images.
  dressedMarkers.clear();
  dressedTypes.clear();
  built = true;
  return 1;
}

void FlightHud::DressSlot(int slot) {
  render::GraphicsSystem* gs = Graphics();
  if (!gs) return;
  if (size_t(slot) >= dressedMarkers.size()) {
    dressedMarkers.resize(size_t(slot) + 1, nullptr);
    dressedTypes.resize(size_t(slot) + 1, nullptr);
  }
  DisplayObject* sprite[6];
  for (int k = 0; k < 6; k++) sprite[k] = world::GetSlotHudSprite(*world, slot, k);
  if (!sprite[0]) return;
  if (dressedMarkers[size_t(slot)] != sprite[0]) {
    // Marker, distance text (side piece) and tag (top piece) from the atlas.
    DisplayObject& marker = *sprite[kSlotMarker];
    Attach(marker, kImgCnt);
    Lay(*gs, marker, {64, 64, 128, 128, kCentre, {0, 0, 0}, {0.6f, 0.6f, 1}});
    marker.SetObjectColor(0, 1, 0.25f, 1);
    DisplayObject& side = *sprite[kSlotDistance];
    Attach(side, kImgCnt);
    Lay(*gs, side, {0, 0, 16, 32, -1, {32, 0, 0}, {1, 1, 1}});
    side.SetObjectParent(&marker);
    DisplayObject& top = *sprite[kSlotTag];
    Attach(top, kImgCnt);
    Lay(*gs, top, {192, 64, 256, 96, kCentre, {0, -46, 0}, {1, 1, 1}});
    top.SetObjectColor(1, 0, 0, 1);
    top.SetObjectParent(&marker);
    for (int k = 0; k < 6; k++) sprite[k]->SetObjectVisible(0);
    dressedMarkers[size_t(slot)] = sprite[0];
    dressedTypes[size_t(slot)] = nullptr;
  }
  units::Unit* unit = world::GetUnitSlot(*world, slot);
  units::UnitType* type = unit ? unit->type : nullptr;
  if (!type || dressedTypes[size_t(slot)] == type) return;
  dressedTypes[size_t(slot)] = type;
  units::UnitDatabase& db = world::GetUnitDatabase(*world);
  // The type's name image beside the marker.
  render::TextureHolder* name = units::GetUnitTypeHudImage(db, *type);
  sprite[kSlotName]->SetObjectSurface(*gs, name && name->texture ? name : nullptr, 1, 0);
  sprite[kSlotName]->SetObjectPosition(32, -30, 0);
  sprite[kSlotName]->SetObjectParent(sprite[kSlotMarker]);
  sprite[kSlotName]->SetObjectVisible(0);
  // The radar symbol on the radar plate and the map symbol on the map plate.
  render::TextureHolder* radar = units::GetUnitTypeHudRadarImage(db, *type);
  if (!radar || !radar->texture) return;
  radar->SetTextureFlags(render::kTexAdditive);
  DisplayObject* parents[2] = {&radarPlate, MapPlate()};
  for (int n = 0; n < 2; n++) {
    DisplayObject& o = *sprite[kSlotRadar + n];
    o.SetObjectSurface(*gs, radar, 1, 0);
    o.AlignObjectSurface(kCentre);
    o.SetObjectParent(parents[n]);
    o.SetObjectVisible(0);
  }
}

// [SECTION] The per-step update

float FlightHud::ScreenScale(float depth, float factor) {
  render::GraphicsSystem* gs = Graphics();
  const float fov = gs ? gs->GetCameraFov() : 1.0f;
  float k = std::tan(fov / 2.0f) / 384.0f * depth * factor;
  if (world && world::GetStereoType(*world) == kStereoHeadset) k *= 0.5f;
  return k;
}

void FlightHud::PlaceLadder(const Vec3& eye, const Vec3& angles, const float* alertColour) {
  for (int i = 0; i < kLadderBars; i++) {
    const float a = float(90 - 5 * i) * kDegrees;
    const bool shown = std::fabs(a - angles.x) <= kLadderWindow;
    for (int index : {i, kLeftLabels + i, kRightLabels + i}) {
      DisplayObject& o = block[index];
      o.SetObjectPosition(eye.x, eye.y, eye.z);
      o.SetObjectAngles(a, angles.y, 0);
      o.SetObjectVisible(shown ? 1 : 0);
      AlertColour(o, alertColour);
    }
  }
}

void FlightHud::UpdateFlightHud() {
  render::GraphicsSystem* gs = Graphics();
  if (!world || !gs) return;
  if (!built) BuildHudSprites();
  world::GameWorld& w = *world;
  units::Unit* player = world::GetPlayerUnit(w);

  // 1. Clock.
  missionClock.SetObjectText(FormatHudClock(world::GetGameTime(w)).c_str());

  // 2. Alert colour.
  float alert[4] = {kHudGreen[0], kHudGreen[1], kHudGreen[2], -1.0f};
  if (player && Alert(*player, 0) != 0) {
    alert[0] = kAlertRed[0];
    alert[1] = kAlertRed[1];
    alert[2] = kAlertRed[2];
  }

  // 3. Pitch ladder, level with the horizon.
  const Vec3 eye = gs->GetCameraEye();
  const Vec3 direction = gs->GetCameraDirection();
  const Vec3 up = gs->GetCameraUp();
  const Vec3 cameraAngles = Angles(direction, &up);
  PlaceLadder(eye, cameraAngles, alert);
  if (!player || !player->type) return;

  // Slot sprites of a grown pool, and of units whose type changed.
  const int slots = world::CountUnitSlots(w);
  markerPositions.resize(size_t(slots));
  for (int slot = 0; slot < slots; slot++) DressSlot(slot);

  // 4. The frames.
  const Vec3 ahead = Vec3Add(eye, Vec3Scale(direction, 10.0f));
  hudFrame.SetObjectPosition(ahead.x, ahead.y, ahead.z);
  hudFrame.SetObjectAngles(cameraAngles.x, cameraAngles.y, cameraAngles.z);
  block[kBoresight].SetObjectPosition(eye.x, eye.y, eye.z);
  block[kBoresight].SetObjectAngles(cameraAngles.x, cameraAngles.y, cameraAngles.z);
  plateFrame.SetObjectPosition(eye.x, eye.y, eye.z);
  plateFrame.SetObjectAngles(cameraAngles.x, cameraAngles.y, cameraAngles.z);
  for (int i = kBoresight; i < kHudBlockSize; i++) AlertColour(block[i], alert);

  // 5. Speed: the distance moved this step, in km/h.
  const Vec3 position = player->GetObjectWorldPosition();
  float moved = 0.0f;
  if (player->cacheStored) {
    const Vec3 before{player->cachedWorld.m[3][0], player->cachedWorld.m[3][1], player->cachedWorld.m[3][2]};
    moved = Vec3Length(Vec3Subtract(position, before));
  }
  const float speed = moved * 60.0f * 3600.0f / 1000.0f;
  const float h = WrapTapeOffset(speed * 1.6f);
  block[kSpeedTape].BuildSurfaceGeometry(*gs, 0, 400 - h, 32, 880 - h);
  char text[64];
  std::snprintf(text, sizeof text, "%3d", int(speed));
  block[kSpeedDigits].SetObjectText(text);

  // 6. Altitude in feet.
  const float y = position.y + float(world::GetHeightOffset(w));
  const float l = WrapTapeOffset(std::fabs(y / 0.3048f * 0.4f));
  block[kAltitudeTape].BuildSurfaceGeometry(*gs, 0, 400 - l, 32, 880 - l);
  block[kAltitudeTape].SetObjectScale(-0.6f, y > 0 ? 0.6f : -0.6f, 1);
  std::snprintf(text, sizeof text, "%4d", int(y / 0.3048f));
  block[kAltitudeDigits].SetObjectText(text);

  // 7. Flight-path mark along the velocity.
  DisplayObject& mark = block[kFlightPathMark];
  mark.SetObjectPosition(eye.x, eye.y, eye.z);
  if (Vec3Length(player->velocity) > 0.0f) {
    const Vec3 a = Angles(player->velocity, &up);
    mark.SetObjectAngles(a.x, a.y, a.z);
  } else {
    mark.SetObjectAngles(cameraAngles.x, cameraAngles.y, cameraAngles.z);
  }

  // 8. Gun heat.
  const float g = Clamp(float(player->gunHeat), 0.0f, 500.0f);
  heatBar.BuildSurfaceGeometry(*gs, (1.0f - g / 500.0f) * 256.0f, 0, 256, 32);
  heatBar.AlignObjectSurface(kRightEdge);

  // 9, 10. Weapon slot.
  UpdateWeapons(*player);

  // 11. Damage.
  const float r = units::GetUnitHpRatio(*player);
  damageBar.SetObjectColor(1.0f - r, r, 0.25f, 0.4f);
  float p = r * 100.0f;
  if (p > 0.0f && p < 1.0f) p = 1.0f;
  if (p > 100.0f) p = 100.0f;
  damageBar.BuildSurfaceGeometry(*gs, 256.0f - p * 256.0f / 100.0f, 64, 256, 128);
  damageBar.AlignObjectSurface(kRightEdge);
  const bool blinkPhase = ((int64_t(world::GetStepCounter(w)) * world::GetWorldFrameRate(w) / 60) & 1) != 0;
  if (r < 0.2f && blinkPhase) damageBar.SetObjectColor(-1, -1, -1, 0);
  std::snprintf(text, sizeof text, "%03d", int(p));
  damageDigits.SetObjectText(text);

  // 12. Target arrow.
  units::Unit* target = player->target;
  if (target && target->type) {
    const Vec3 head = units::GetUnitHeadPos(*target);
    Vec3 v = Vec3Normalize(player->TransformPointToLocal(head));
    float alpha = 0.4f;
    if (v.z > 0.0f) {
      const float side = std::sqrt(v.x * v.x + v.y * v.y);
      alpha = side < 0.5f ? (side - 0.1f < 0.0f ? 0.0f : side - 0.1f) : 0.4f;
    }
    v.z = 0.0f;
    v = Vec3Scale(Vec3Normalize(v), 300.0f);
    arrow.SetObjectPosition(v.x, -v.y, 0);
    arrow.SetObjectAngles(0, 0, std::atan2(v.x, v.y));
    arrow.SetObjectScale(1, 1, 1);
    arrow.SetObjectColor(-1, -1, -1, alpha);
  } else {
    arrow.SetObjectColor(-1, -1, -1, 0);
  }

  // 13 to 17. Radar and map.
  static constexpr float kRadarRects[4][4] = {{0, 0, 256, 256}, {256, 0, 512, 256}, {0, 256, 256, 512},
                                              {256, 256, 512, 512}};
  const float* rr = kRadarRects[radarIndex & 3];
  radarPlate.BuildSurfaceGeometry(*gs, rr[0], rr[1], rr[2], rr[3]);
  radarPlate.AlignObjectSurface(kCentre);
  UpdateRadar(*player);
  if (DisplayObject* map = MapPlate()) map->SetObjectVisible(world::IsHudMapShown(w) ? 1 : 0);
  UpdateMapBlips(*player);

  // 18. Compass and markers.
  const Vec3 playerAngles = Angles(player->GetObjectWorldFront(), nullptr);
  compassRose.SetObjectAngles(0, 0, playerAngles.y);
  UpdateHudMarkers(player, 1);

  // 19 to 22.
  UpdateGunSight(*player, speed);
  UpdateBombSight(*player);
  UpdateMessages(*player, alert);
}

// [SECTION] Radar and map

namespace {

// The unit conditions of radar and map blips.
bool ShowsBlip(const units::Unit& u, const units::Unit& player) {
  if (!u.type || (u.flags & units::kUnitInert) || !HasLook(u) || !u.IsObjectShown()) return false;
  if (IsWeapon(u) && u.parent) return false;
  if (u.hp <= 0 || !SameEvent(u, player)) return false;
  if (u.type->hudRadarFile.empty()) return false;
  return u.printedTeam.Get()[0] != 0;
}

void BlipColour(DisplayObject& o, const units::Unit& u, const units::Unit& player, float alpha, bool radar) {
  const float other = radar ? alpha * 2.0f / 3.0f : alpha;
  if (&u == &player || IsWeapon(u)) {
    o.SetObjectColor(1, 1, 1, alpha);
  } else if (std::strcmp(u.printedTeam.Get(), player.team.Get()) != 0) {
    if (u.flags & units::kUnitTarget) o.SetObjectColor(1, 0.25f, 0, alpha);
    else o.SetObjectColor(1, 1, 0, other);
  } else {
    if (u.flags & units::kUnitTarget) o.SetObjectColor(0, 1, 0.25f, alpha);
    else o.SetObjectColor(0, 0.25f, 1, other);
  }
}

}  // namespace

void FlightHud::UpdateRadar(units::Unit& player) {
  world::GameWorld& w = *world;
  const int slots = world::CountUnitSlots(w);
  const Vec3 origin = player.GetObjectWorldPosition();
  float yaw = Angles(player.GetObjectWorldFront(), nullptr).y;
  if (Jammed(player)) yaw = float(world::Rand(w) % 360) * kDegrees;
  const render::Matrix turn = platform::MatrixRotationY(yaw);
  auto radarPoint = [&](units::Unit& u) { return Vec3TransformNormal(Vec3Subtract(u.GetObjectWorldPosition(), origin), turn); };

  // 15. The reference unit and the zoom wish.
  units::Unit* reference = player.target;
  float referenceDistance = reference ? Vec3Length(Vec3Subtract(reference->GetObjectWorldPosition(), origin)) : 10000.0f;
  bool threat = false;
  for (int slot = 1; slot < slots; slot++) {
    units::Unit* u = world::GetUnitAt(w, slot);
    if (!u || !IsWeapon(*u) || u->hp < 1 || !SameEvent(*u, player) || u->target != &player) continue;
    const float d = Vec3Length(Vec3Subtract(u->GetObjectWorldPosition(), origin));
    if (d < referenceDistance) {
      reference = u;
      referenceDistance = d;
      threat = true;
    }
  }
  RadarWish wish = (player.target || threat) ? RadarWish::Stay : RadarWish::Out;
  referenceSlot = -1;
  if (reference && ShowsBlip(*reference, player)) {
    referenceSlot = reference->unitId;
    const Vec3 q = radarPoint(*reference);
    const float e = std::sqrt(q.x * q.x + q.z * q.z);
    if (e < kRadarZoomIn[radarIndex]) wish = RadarWish::In;
    else if (e > kRadarZoomOut[radarIndex]) wish = RadarWish::Out;
  }
  StepRadarZoom(wish, &radarIndex, &zoomCounter);

  // 16. Blips.
  const float far = kRadarFar[radarIndex];
  const bool blink = !blinkOff && BlinkStep(w);
  for (int slot = 0; slot < slots; slot++) {
    DisplayObject* blip = world::GetSlotHudSprite(w, slot, kSlotRadar);
    if (!blip) continue;
    units::Unit* u = world::GetUnitAt(w, slot);
    if (!u || !ShowsBlip(*u, player) || !blip->GetObjectSurface()) {
      blip->SetObjectVisible(0);
      continue;
    }
    const Vec3 q = Vec3Scale(radarPoint(*u), 128.0f / far);
    float k = q.x, l = q.z;
    if (k * k + l * l > 40000.0f) {
      blip->SetObjectVisible(0);
      continue;
    }
    k = Clamp(k, -120.0f, 120.0f);
    l = Clamp(l, -120.0f, 120.0f);
    blip->SetObjectPosition(k, -l, 0);
    const float s = Clamp(q.y / 500.0f + 0.8f, 0.4f, 1.2f);
    blip->SetObjectScale(s, s, 1);
    blip->SetObjectVisible(1);
    const float e = std::sqrt(k * k + l * l);
    float alpha = 0.75f;
    if (e > 120.0f) alpha = (200.0f - e) * 0.75f / 80.0f < 0.0f ? 0.0f : (200.0f - e) * 0.75f / 80.0f;
    BlipColour(*blip, *u, player, alpha, true);
    if (u == reference && blink) blip->SetObjectColor(-1, -1, -1, 0);
    const float unitYaw = Angles(u->GetObjectWorldFront(), nullptr).y;
    blip->SetObjectAngles(0, 0, yaw - unitYaw);
  }
}

void FlightHud::UpdateMapBlips(units::Unit& player) {
  world::GameWorld& w = *world;
  DisplayObject* map = MapPlate();
  const int slots = world::CountUnitSlots(w);
  const bool mapShown = map && map->IsObjectShown() && world::IsHudMapShown(w);
  for (int slot = 0; slot < slots; slot++) {
    DisplayObject* blip = world::GetSlotHudSprite(w, slot, kSlotMap);
    if (!blip) continue;
    units::Unit* u = world::GetUnitAt(w, slot);
    if (!mapShown || !u || !ShowsBlip(*u, player) || !blip->GetObjectSurface()) {
      blip->SetObjectVisible(0);
      continue;
    }
    const Vec3 p = Vec3Scale(Vec3Subtract(u->GetObjectWorldPosition(), mapCentre), 128.0f / 1024.0f / 3.0f);
    bool shown = p.x >= -240.0f && p.x <= 240.0f && p.z >= -240.0f && p.z <= 240.0f;
    if (shown && Jammed(player) && u != &player)
      shown = ((world::GetStepCounter(w) - u->unitId) % 120 + 120) % 120 < 7;
    if (!shown) {
      blip->SetObjectVisible(0);
      continue;
    }
    if (smallMap) blip->SetObjectScale(0.6f, 0.6f, 1);
    blip->SetObjectPosition(p.x, -p.z, 0);
    blip->SetObjectAngles(0, 0, -Angles(u->GetObjectWorldFront(), nullptr).y);
    blip->SetObjectParent(map);
    blip->SetObjectVisible(1);
    BlipColour(*blip, *u, player, 0.75f, false);
  }
}

// [SECTION] Weapons, sights and messages

void FlightHud::BindHudSlotTextures(units::Unit* unit, int slot) {
  if (!unit || !world) return;
  units::UnitDatabase& db = world::GetUnitDatabase(*world);
  for (int s = 0; s < 4; s++) {
    if (slot >= 0 && s != slot) continue;
    units::UnitType* type = unit->weaponTypes[s] ? unit->weaponTypes[s] : world::GetDefaultWeaponType(*world);
    render::TextureHolder* image = type ? units::GetUnitTypeHudNameImage(db, *type) : nullptr;
    slotTextures[s] = image && image->texture ? image : nullptr;
  }
}

void FlightHud::UpdateWeapons(units::Unit& player) {
  render::GraphicsSystem& gs = *Graphics();
  BindHudSlotTextures(&player, -1);
  const int slot = player.currentWeaponSlot & 3;
  units::UnitType* w = player.weaponTypes[slot];
  render::TextureHolder* icon = slotTextures[slot];

  // 9. Hard-point icons.
  int shown = 0;
  bool used[4] = {};
  for (int k = 0; k < 4; k++) {
    used[k] = w && player.type->weaponPos[slot][k].x != units::kUndefinedPoint;
    if (used[k]) shown++;
  }
  const float band = shown > 0 ? 64.0f / float(shown) : 0.0f;
  for (int k = 0; k < 4; k++) {
    DisplayObject& base = slotIcons[k][0];
    DisplayObject& reload = slotIcons[k][1];
    if (!used[k]) {
      base.SetObjectVisible(0);
      reload.SetObjectVisible(0);
      continue;
    }
    for (DisplayObject* o : {&base, &reload}) {
      o->SetObjectSurface(gs, icon, 1, 0);
      o->SetObjectVisible(1);
    }
    base.BuildSurfaceGeometry(gs, 256, 0, 512, 64);
    units::Unit* child = player.weaponChildren[slot][k];
    if (child) {
      const int32_t time = w->reloadTime != 0 ? w->reloadTime : 1;
      const float f = 512.0f - float(int32_t(child->behaviourWords[8]) * w->hudSize / time);
      reload.BuildSurfaceGeometry(gs, f, 0, 512, 64);
    } else {
      reload.BuildSurfaceGeometry(gs, 256, 0, 256, 0);
    }
    const float y = band * (float(k) + 0.5f) - 6.0f;
    for (DisplayObject* o : {&base, &reload}) {
      o->AlignObjectSurface(kRightEdge);
      o->SetObjectPosition(float(w->hudSize) * 0.5f, y, 0);
    }
    base.SetObjectColor(0, 1, 0.25f, 0.25f);
    reload.SetObjectColor(0, 1, 0.25f, 0.5f);
  }

  // 10. Current weapon icon, ammunition and slot name.
  weaponIcon.SetObjectSurface(gs, icon, 1, 0);
  weaponIcon.BuildSurfaceGeometry(gs, 0, 0, 256, 64);
  Colour(weaponIcon, kHudGreen);
  weaponIcon.SetObjectPosition(-124, -42, 0);
  weaponIcon.SetObjectVisible(1);
  ammoDigits.SetObjectText(FormatAmmo(player.ammo[slot][0]).c_str());
  const float column = float(slot % 2), row = float(slot / 2);
  slotName.BuildSurfaceGeometry(gs, 128 * column, 64 + 32 * row, 128 * column + 128, 96 + 32 * row);
}

void FlightHud::UpdateGunSight(units::Unit& player, float playerSpeed) {
  render::GraphicsSystem& gs = *Graphics();
  const Vec3 eye = gs.GetCameraEye(), up = gs.GetCameraUp();
  const Vec3 cameraAngles = Angles(gs.GetCameraDirection(), &up);

  // 19. Pipper on the lock cursor.
  const Vec3 aim = player.aimPoint;
  if (aim.x == 0.0f && aim.y == 0.0f && aim.z == 0.0f) {
    pipper.SetObjectVisible(0);
  } else {
    const Vec3 at = player.lockWord && player.target ? units::GetUnitHeadPos(*player.target)
                                                     : player.TransformPointToWorld(aim);
    const float k = ScreenScale(gs.TransformPointToView(at).z, 0.8f);
    pipper.SetObjectPosition(at.x, at.y, at.z);
    pipper.SetObjectAngles(cameraAngles.x, cameraAngles.y, cameraAngles.z);
    pipper.SetObjectScale(k, k, 1);
    pipper.SetObjectVisible(1);
  }

  // 20. Gun ring, lead line and funnel for a close target.
  gunRing.SetObjectVisible(0);
  leadLine.SetObjectVisible(0);
  for (DisplayObject& t : funnel) t.SetObjectVisible(0);
  units::Unit* target = player.target;
  if (!target || !target->type) return;
  const Vec3 P = units::GetUnitHeadPos(*target);
  const Vec3 V = target->velocity;
  const Vec3 origin = player.GetObjectWorldPosition();
  const float D = Vec3Length(Vec3Subtract(P, origin));
  const float u = player.type->gunType ? player.type->gunType->speed + playerSpeed : 1.0f;
  Vec3 lead = P;
  const Vec3 F = player.GetObjectWorldFront();
  if (u > Vec3Length(V)) {
    const float closing = Vec3Length(Vec3Subtract(Vec3Scale(F, u), V));
    if (closing > 0.0f) lead = Vec3Add(P, Vec3Scale(V, D / closing));
  }
  if (D >= 330.0f) return;
  if (player.TransformPointToLocal(P).z <= 0.0f) return;
  if (player.TransformPointToLocal(Vec3Add(P, Vec3Scale(V, D / 3.0f))).z <= 0.0f) return;
  const float k = ScreenScale(gs.TransformPointToView(lead).z, 1.0f);
  gunRing.SetObjectPosition(lead.x, lead.y, lead.z);
  gunRing.SetObjectAngles(cameraAngles.x, cameraAngles.y, cameraAngles.z);
  gunRing.SetObjectScale(k, -k, 1);
  gunRing.SetObjectVisible(1);
  const Vec3 toLead = Vec3Subtract(lead, P);
  leadLine.SetObjectPosition(P.x, P.y, P.z);
  if (Vec3Length(toLead) > 0.0f) leadLine.SetObjectLookAt(toLead, nullptr);
  leadLine.SetObjectScale(0, 1, Vec3Length(toLead));
  leadLine.SetObjectVisible(1);
  const float funnelAlpha = Clamp((330.0f - D) * 0.0625f, 0.0f, 0.5f);
  gunRing.SetObjectColor(-1, -1, -1, funnelAlpha);
  leadLine.SetObjectColor(-1, -1, -1, funnelAlpha);
  for (int i = 0; i < 12; i++) {
    DisplayObject& t = funnel[i];
    t.SetObjectPosition(lead.x, lead.y, lead.z);
    t.SetObjectAngles(cameraAngles.x, cameraAngles.y, cameraAngles.z - float(i) * platform::kPi / 6.0f);
    t.SetObjectScale(k, -k, 1);
    const float a = (D - std::floor(330.0f * float(i) / 12.0f)) * 330.0f / 12.0f;
    t.SetObjectColor(-1, -1, -1, Clamp(a, 0.0f, funnelAlpha));
    t.SetObjectVisible(1);
  }
  (void)eye;
}

void FlightHud::UpdateBombSight(units::Unit& player) {
  render::GraphicsSystem& gs = *Graphics();
  bombSight.SetObjectVisible(0);
  bombLine.SetObjectVisible(0);
  const int slot = player.currentWeaponSlot & 3;
  units::UnitType* w = player.weaponTypes[slot];
  if (!w || !(w->attributes & units::kAttrBomb)) return;
  // The bomb on the first loaded hard point (the aircraft itself when none).
  units::Unit* bomb = &player;
  for (units::Unit* child : player.weaponChildren[slot])
    if (child) {
      bomb = child;
      break;
    }
  const Vec3 X = units::PredictBombImpact(*world, *bomb);
  if (X.x >= FLT_MAX) return;
  if (player.TransformPointToLocal(X).z < 0.0f) return;
  const Vec3 eye = gs.GetCameraEye(), up = gs.GetCameraUp(), direction = gs.GetCameraDirection();
  const Vec3 cameraAngles = Angles(direction, &up);
  const float k = ScreenScale(gs.TransformPointToView(X).z, 0.5f);
  bombSight.SetObjectPosition(X.x, X.y, X.z);
  bombSight.SetObjectAngles(cameraAngles.x, cameraAngles.y, cameraAngles.z);
  bombSight.SetObjectScale(k, -k, 1);
  bombSight.SetObjectVisible(1);
  const Vec3 ahead = Vec3Add(eye, Vec3Scale(direction, 10.0f));
  const Vec3 toAhead = Vec3Subtract(ahead, X);
  bombLine.SetObjectPosition(X.x, X.y, X.z);
  if (Vec3Length(toAhead) > 0.0f) bombLine.SetObjectLookAt(toAhead, nullptr);
  bombLine.SetObjectScale(0, 1, Vec3Length(toAhead));
  bombLine.SetObjectVisible(1);
  const float alpha = Clamp((2000.0f - Vec3Length(Vec3Subtract(player.GetObjectWorldPosition(), X))) / 200.0f,
                            0.0f, 0.75f);
  bombSight.SetObjectColor(-1, -1, -1, alpha);
  bombLine.SetObjectColor(-1, -1, -1, alpha);
}

void FlightHud::UpdateMessages(units::Unit& player, const float* alertColour) {
  render::GraphicsSystem& gs = *Graphics();
  world::GameWorld& w = *world;
  msgText.BuildSurfaceGeometry(gs, 0, 0, 0, 0);
  msgPlate.BuildSurfaceGeometry(gs, 0, 0, 0, 0);
  const int rate = world::GetWorldFrameRate(w) < 30 ? world::GetWorldFrameRate(w) : 30;
  const int phase = int((int64_t(rate) * world::GetStepCounter(w) / 60) & 1);
  const int16_t notices[4] = {player.damageByMark, player.killMark, player.hitMark, player.missileWords[0]};
  int row = -1;
  float y = 0.0f;
  if (phase == 1) {
    y = -30.0f;
    if (player.flightWords[5] != 0) row = 4;
    else if (FloatWord(player.flightWords[6]) > 0.0f && player.gearContactRate == 0.0f) row = 3;
    else if (notices[1]) row = 6;
    else if (notices[2]) row = 7;
    else if (notices[3]) row = 8;
  } else {
    y = 30.0f;
    if (Alert(player, 0)) row = 0;
    else if (notices[0]) row = 5;
    else if (Alert(player, 1)) row = 1;
    else if (Alert(player, 2)) row = 2;
  }
  messageRow = row;
  if (row < 0) return;
  msgText.BuildSurfaceGeometry(gs, 0, 64.0f * float(row), 256, 64.0f * float(row) + 64);
  msgPlate.BuildSurfaceGeometry(gs, 0, 0, 256, 64);
  for (DisplayObject* o : {&msgText, &msgPlate}) {
    o->AlignObjectSurface(kCentre);
    o->SetObjectPosition(0, y, 0);
    AlertColour(*o, alertColour);
  }
}

// [SECTION] Unit markers

void FlightHud::UpdateHudMarkers(units::Unit* player, int full) {
  render::GraphicsSystem* gs = Graphics();
  if (!world || !gs) return;
  if (!built) BuildHudSprites();
  world::GameWorld& w = *world;
  const int slots = world::CountUnitSlots(w);
  if (markerPositions.size() < size_t(slots)) markerPositions.resize(size_t(slots));
  const Vec3 up = gs->GetCameraUp();
  const Vec3 cameraAngles = Angles(gs->GetCameraDirection(), &up);
  const bool blink = !blinkOff && BlinkStep(w);
  for (int slot = 0; slot < slots; slot++) {
    DressSlot(slot);
    DisplayObject* sprite[4];
    for (int k = 0; k < 4; k++) sprite[k] = world::GetSlotHudSprite(w, slot, k);
    if (!sprite[0]) continue;
    for (DisplayObject* o : sprite) o->SetObjectVisible(0);
    markerPositions[size_t(slot)] = {};
    units::Unit* u = world::GetUnitAt(w, slot);
    if (!u || !u->type || units::IsUnitDestroyed(*u) || !HasLook(*u) || u->type->hudNameFile.empty() || IsWeapon(*u)) continue;
    if (full) {
      if (!player || u == player) continue;
      if (DisplayObject::IsObjectDescendant(u, player)) continue;
      if ((u->flags & units::kUnitInert) || !u->printedTeam.Get()[0] || u->hp < 1) continue;
    }
    const Vec3 head = units::GetUnitHeadPos(*u);
    const Vec3 view = gs->TransformPointToView(head);
    if (view.z <= 0.0f) continue;
    const float distance = player ? Vec3Length(Vec3Subtract(head, player->GetObjectWorldPosition())) : 0.0f;
    if (full && distance > 2000.0f) continue;
    const Vec3 screen = gs->ProjectPoint(head);
    if (screen.x < -1.0f || screen.x > 1.0f || screen.y < -1.0f || screen.y > 1.0f) continue;
    DisplayObject& box = *sprite[kSlotMarker];
    const float k = ScreenScale(view.z, 0.8f);
    box.SetObjectPosition(head.x, head.y, head.z);
    box.SetObjectScale(0.8f * k, -0.8f * k, 1);
    box.SetObjectAngles(cameraAngles.x, cameraAngles.y, cameraAngles.z);
    const bool inRange = full && player && distance <= units::GetLockOnRange(w, *player, *u);
    if (inRange) box.BuildSurfaceGeometry(*gs, 64, 64, 128, 128);
    else box.BuildSurfaceGeometry(*gs, 0, 64, 64, 128);
    box.AlignObjectSurface(kCentre);
    if (full) markerPositions[size_t(slot)] = view;
    box.SetObjectVisible(1);
    sprite[kSlotName]->SetObjectVisible(1);
    if (u->flags & units::kUnitTarget) {
      DisplayObject& tag = *sprite[kSlotTag];
      const bool enemy = player && std::strcmp(u->printedTeam.Get(), player->team.Get()) != 0;
      if (enemy) {
        tag.BuildSurfaceGeometry(*gs, 192, 64, 256, 96);
        tag.SetObjectColor(1, 0, 0, 1);
      } else {
        tag.BuildSurfaceGeometry(*gs, 192, 96, 256, 128);
        tag.SetObjectColor(0.5f, 1, 0, 1);
      }
      tag.AlignObjectSurface(kCentre);
      if (blink) tag.SetObjectColor(-1, -1, -1, 0.5f);
      tag.SetObjectVisible(1);
    }
    if (player && player->target == u) {
      DisplayObject& text = *sprite[kSlotDistance];
      char digits[32];
      std::snprintf(digits, sizeof digits, "%d", int(distance));
      text.SetObjectText(digits);
      text.SetObjectColor(0, 1, 0.25f, -1);
      text.SetObjectVisible(1);
    }
  }
}

// [SECTION] Drawing

void FlightHud::ToggleHudSprites(int on) {
  for (int i = 0; i < kHudImageCount; i++) {
    if (!kHudImages[i].toggled) continue;
    if (on) images[i].SetTextureFlags(render::kTexAdditive);
    else images[i].ClearTextureFlags(render::kTexAdditive);
  }
  if (world) units::SetHudTextureFlag(world::GetUnitDatabase(*world), on);
}

void FlightHud::DrawUnitMarkers(int withDistance) {
  render::GraphicsSystem* gs = Graphics();
  if (!world || !gs) return;
  const uint32_t before = gs->ClearRenderFlags(render::kRenderDepthTest);
  const int slots = world::CountUnitSlots(*world);
  for (int slot = 0; slot < slots; slot++) {
    units::Unit* u = world::GetUnitAt(*world, slot);
    if (!u || !HasLook(*u)) continue;
    DisplayObject* sprite[4];
    for (int k = 0; k < 4; k++) sprite[k] = world::GetSlotHudSprite(*world, slot, k);
    if (!sprite[0]) continue;
    sprite[kSlotMarker]->DrawObject(*gs);
    sprite[kSlotName]->DrawObject(*gs);
    if (withDistance) sprite[kSlotDistance]->DrawObject(*gs);
    sprite[kSlotTag]->DrawObject(*gs);
  }
  if (before & render::kRenderDepthTest) gs->SetRenderFlags(render::kRenderDepthTest);
}

void FlightHud::DrawHud() {
  render::GraphicsSystem* gsp = Graphics();
  if (!world || !gsp || !world::GetPlayerUnit(*world)) return;
  if (!built) BuildHudSprites();
  render::GraphicsSystem& gs = *gsp;
  world::GameWorld& w = *world;
  gs.ClearRenderFlags(render::kRenderDepthTest);
  const int mode = world::GetCameraMode(w);
  if (mode == 0 || mode == 1) {
    const int slots = world::CountUnitSlots(w);
    for (DisplayObject& o : block) o.DrawObject(gs);
    arrow.DrawObject(gs);
    radarPlate.DrawObject(gs);
    compassPlate.DrawObject(gs);
    compassRose.DrawObject(gs);
    for (int slot = 0; slot < slots; slot++)
      if (DisplayObject* blip = world::GetSlotHudSprite(w, slot, kSlotRadar)) blip->DrawObject(gs);
    weaponPlate.DrawObject(gs);
    weaponIcon.DrawObject(gs);
    slotName.DrawObject(gs);
    for (auto& pair : slotIcons)
      for (DisplayObject& o : pair) o.DrawObject(gs);
    for (DisplayObject* o : {&ammoDigits, &damagePlate, &damageBar, &damageFrame, &damageDigits, &msgPlate, &msgText,
                             &heatPlate, &heatBar})
      o->DrawObject(gs);
    if (!clockHide) missionClock.DrawObject(gs);
    DrawUnitMarkers(1);
    pipper.DrawObject(gs);
    gunRing.DrawObject(gs);
    for (DisplayObject& t : funnel) t.DrawObject(gs);
    bombSight.DrawObject(gs);
    gs.SetRenderFlags(render::kRenderWireframe);
    gs.ClearRenderFlags(render::kRenderCull);
    leadLine.DrawObject(gs);
    bombLine.DrawObject(gs);
    gs.SetRenderFlags(render::kRenderCull);
    gs.ClearRenderFlags(render::kRenderWireframe);
    DisplayObject* map = MapPlate();
    if (map && map->IsObjectShown()) {
      map->DrawObject(gs);
      for (int slot = 0; slot < slots; slot++)
        if (DisplayObject* blip = world::GetSlotHudSprite(w, slot, kSlotMap)) blip->DrawObject(gs);
    }
  } else if (markerFlag) {
    DrawUnitMarkers(0);
  }
  gs.SetRenderFlags(render::kRenderDepthTest);
}

// [SECTION] Alarms

void FlightHud::UpdateHudAlarms() {
  if (!world) return;
  world::GameWorld& w = *world;
  units::Unit* player = world::GetPlayerUnit(w);
  if (!player) return;
  const bool flag = player->viewWord != 0;
  int32_t& count = player->damageLevel;
  const bool beeping = world::IsWorldSoundPlaying(w, kAlarmBeepSlot) != 0;
  if (player->state == units::kUnitStateFinal) {
    count = 0;
    if (beeping) world::StopWorldSound(w, kAlarmBeepSlot);
  } else if (flag) {
    if (!beeping && count > 0) {
      if (count > 4) count = 4;
      count--;
      world::PlayWorldSound(w, kAlarmBeepSlot, 0, 0, 0);
    }
  } else if (player->state != units::kUnitStateDestroyed) {
    if (beeping) world::StopWorldSound(w, kAlarmBeepSlot);
    count = 0;
  }
  struct Loop {
    int slot;
    uint32_t word;
  } loops[] = {{kAlarmWarningSlot, Alert(*player, 1)}, {kAlarmMissileSlot, Alert(*player, 0)}};
  for (const Loop& l : loops) {
    const bool playing = world::IsWorldSoundPlaying(w, l.slot) != 0;
    if (flag && l.word != 0) {
      if (!playing) world::PlayWorldSoundLooping(w, l.slot, 0, 0, 0);
    } else if (playing) {
      // Every copy: the loop need not have taken copy 0, and a copy left
      // looping would never stop.
      world::StopWorldSound(w, l.slot);
    }
  }
}

}  // namespace ui
