// world_queries.cpp -- the small world operations the system calls and the
// units use: the flight area, the network data table, the screen fade, the
// event mode and the nearest other unit.

#include <cmath>
#include <cstring>

#include "net/net_public.h"
#include "sound/sound_public.h"
#include "units/units_services.h"
#include "world/world_public.h"

namespace world {

// [SECTION] Flight area

int set_flight_area(GameWorld& world, float x0, float y0, float z0, float x1, float y1, float z1, float margin) {
  world.flightArea.low = {x0, y0, z0};
  world.flightArea.high = {x1, y1, z1};
  world.flightArea.margin = margin;
  return 1;
}

int out_area(GameWorld& world, float x, float y, float z) {
  const FlightArea& area = world.flightArea;
  const float p[3] = {x, y, z};
  const float low[3] = {area.low.x, area.low.y, area.low.z};
  const float high[3] = {area.high.x, area.high.y, area.high.z};
  // Written as "not inside", so a position that is not a number is outside.
  for (int i = 0; i < 3; i++)
    if (!(p[i] >= low[i] && p[i] <= high[i])) return -1;
  const float m = area.margin;
  for (int i = 0; i < 3; i++)
    if (p[i] < low[i] + m || p[i] > high[i] - m) return 1;
  return 0;
}

// [SECTION] Network data table

namespace {

constexpr int kNetworkRows = 40;
constexpr int kNetworkColumns = 8;

bool InNetworkTable(int row, int column) {
  return row >= 0 && row < kNetworkRows && column >= 0 && column < kNetworkColumns;
}

}  // namespace

int get_network_data(GameWorld& world, int row, int column) {
  return InNetworkTable(row, column) ? world.networkData[row][column] : 0;
}

int set_network_data(GameWorld& world, int row, int column, int value) {
  if (!InNetworkTable(row, column)) return 0x7FFFFFFF;
  int old = world.networkData[row][column];
  world.networkData[row][column] = value;
  return old;
}

int set_network_world(GameWorld& world, int flag) {
  if (!world.network || !world.network->IsOpen()) return -1;
  int old = world.networkGame;
  world.networkGame = flag;
  return old;
}

// [SECTION] Screen fade, pause, event mode

void fade_screen(GameWorld& world, float value, float target, float step) {
  if (!(world.fadeValue < 0.0f)) world.fadeValue = value;
  if (!(world.fadeTarget < 0.0f)) world.fadeTarget = target;
  if (!(world.fadeStep < 0.0f)) world.fadeStep = step;
}

void set_fade_color(GameWorld& world, float r, float g, float b, float a) {
  world.fadeColour[0] = r;
  world.fadeColour[1] = g;
  world.fadeColour[2] = b;
  world.fadeColour[3] = a;
}

int pause(GameWorld& world, int flag) {
  world.paused = flag;
  return 1;
}

void set_event_mode(GameWorld& world, int mode) {
  if (mode) {
    world.camera.countdown = 48;
  } else if (world.eventMode) {
    // Leaving an event: the weapons still flying that were not the player's
    // side's go, and the event's music fades out.
    units::Unit* player = world.playerUnit;
    const char* playerTeam = player ? player->team.Get() : nullptr;
    int slots = CountUnitSlots(world);
    for (int i = 0; i < slots; i++) {
      units::Unit* unit = GetUnitAt(world, i);
      if (!unit || !unit->IsObjectShown() || !unit->type || !(unit->type->attributes & units::kAttrWeapon) ||
          unit->parent)
        continue;
      if (playerTeam && std::strcmp(unit->team.Get(), playerTeam) == 0) continue;
      ReleaseUnit(world, unit);
    }
    if (world.sound) {
      world.sound->ResumeSoundSlot(sound::kMusicSlot, -1);
      world.sound->SetSoundFadeTarget(sound::kMusicSlot, -1, 0, 60);
    }
  }
  world.eventMode = mode;
}

void SetOwnerLink(GameWorld& world, int value) { world.eventHud = value; }

// [SECTION] Nearest other unit

units::Unit* FindNearestOtherUnit(GameWorld& world, units::Unit& unit) {
  core::Vec3 p = unit.GetObjectWorldPosition();
  units::Unit* nearest = nullptr;
  int32_t best = 100000;
  int slots = CountUnitSlots(world);
  for (int i = 0; i < slots; i++) {
    units::Unit* other = GetUnitAt(world, i);
    if (!other || other == &unit || !other->GetObjectModel()) continue;
    if ((other->flags & units::kUnitInert) || other->sceneNumber != unit.sceneNumber) continue;
    if (std::strcmp(other->team.Get(), unit.team.Get()) == 0) continue;
    core::Vec3 q = other->GetObjectWorldPosition();
    float dx = q.x - p.x, dy = q.y - p.y, dz = q.z - p.z;
    float d = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(d < 100000.0f)) continue;
    int32_t whole = int32_t(d);
    if (whole < best) {
      best = whole;
      nearest = other;
    }
  }
  return nearest;
}

// [SECTION] The world's recorder (a stand-in until the world holds the
// recorder record)

int FindRecorderMarker(GameWorld& world, int from, int to, int* offset) {
  (void)world;
  (void)from;
  (void)to;
  (void)offset;
  return -1;
}

}  // namespace world
