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

int SetFlightArea(FlightArea& area, float x0, float y0, float z0, float x1, float y1, float z1, float margin) {
  area.min[0] = x0;
  area.min[1] = y0;
  area.min[2] = z0;
  area.max[0] = x1;
  area.max[1] = y1;
  area.max[2] = z1;
  area.margin = margin;
  for (int i = 0; i < 3; i++) area.center[i] = (area.min[i] + area.max[i]) * 0.5f;
  return 1;
}

int SetFlightAreaCenter(FlightArea& area, float x, float y, float z) {
  area.center[0] = x;
  area.center[1] = y;
  area.center[2] = z;
  return 1;
}

int OutArea(const FlightArea& area, float x, float y, float z) {
  const float p[3] = {x, y, z};
  // Written as "not inside", so a position that is not a number is outside.
  for (int i = 0; i < 3; i++)
    if (!(p[i] >= area.min[i] && p[i] <= area.max[i])) return -1;
  const float m = area.margin;
  for (int i = 0; i < 3; i++)
    if (p[i] < area.min[i] + m || p[i] > area.max[i] - m) return 1;
  return 0;
}

int set_flight_area(GameWorld& world, float x0, float y0, float z0, float x1, float y1, float z1, float margin) {
  return SetFlightArea(world.flightArea, x0, y0, z0, x1, y1, z1, margin);
}

int set_flight_area_center(GameWorld& world, float x, float y, float z) {
  return SetFlightAreaCenter(world.flightArea, x, y, z);
}

int out_area(GameWorld& world, float x, float y, float z) { return OutArea(world.flightArea, x, y, z); }

// [SECTION] Network data table

int32_t GetNetworkData(const NetworkDataTable& table, int row, int column) {
  if (row < 0 || row >= NetworkDataTable::kRows || column < 0 || column >= NetworkDataTable::kColumns) return 0;
  return table.entries[row][column];
}

int32_t SetNetworkData(NetworkDataTable& table, int row, int column, int32_t value) {
  if (row < 0 || row >= NetworkDataTable::kRows || column < 0 || column >= NetworkDataTable::kColumns)
    return 0x7FFFFFFF;
  int32_t old = table.entries[row][column];
  table.entries[row][column] = value;
  return old;
}

int get_network_data(GameWorld& world, int row, int column) { return GetNetworkData(world.networkData, row, column); }

int set_network_data(GameWorld& world, int row, int column, int value) {
  return SetNetworkData(world.networkData, row, column, value);
}

int set_network_world(GameWorld& world, int flag) {
  if (!world.network || !world.network->IsOpen()) return -1;
  int old = world.networkGame;
  world.networkGame = flag;
  world.networkOwnId = world.network->GetOwnId();
  return old;
}

// [SECTION] Screen fade, pause, event mode

void FadeScreen(ScreenFade& fade, float value, float target, float step) {
  if (!(fade.value < 0.0f)) fade.value = value;
  if (!(fade.target < 0.0f)) fade.target = target;
  if (!(fade.step < 0.0f)) fade.step = step;
}

void fade_screen(GameWorld& world, float value, float target, float step) { FadeScreen(world.fade, value, target, step); }

void set_fade_color(GameWorld& world, float r, float g, float b, float a) {
  world.fadeColour[0] = r;
  world.fadeColour[1] = g;
  world.fadeColour[2] = b;
  world.fadeColour[3] = a;
  world.fadeSprite.SetObjectColor(r, g, b, a);
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

// [SECTION] Units on a segment

// Distance from p to the segment a-b.
float DistanceToSegment(core::Vec3 p, core::Vec3 a, core::Vec3 b) {
  core::Vec3 ab = platform::Vec3Subtract(b, a), ap = platform::Vec3Subtract(p, a);
  float lengthSquared = platform::Vec3Dot(ab, ab);
  float t = lengthSquared > 0.0f ? platform::Vec3Dot(ap, ab) / lengthSquared : 0.0f;
  if (t < 0.0f) t = 0.0f;
  if (t > 1.0f) t = 1.0f;
  return platform::Vec3Length(platform::Vec3Subtract(ap, platform::Vec3Scale(ab, t)));
}

namespace {

constexpr float kFarthestUnitHit = 1000000.0f;

}  // namespace

units::Unit* vector_unit_collision(GameWorld& world, units::Unit* skip, core::Vec3* hit, float* distance,
                                   core::Vec3 start, core::Vec3 end) {
  units::Unit* nearest = nullptr;
  float best = kFarthestUnitHit;
  core::Vec3 bestPoint{};
  int slots = CountUnitSlots(world);
  for (int i = 0; i < slots; i++) {
    units::Unit* unit = GetUnitAt(world, i);
    if (!unit || unit == skip || !unit->GetObjectModel()) continue;
    uint32_t attributes = unit->type ? unit->type->attributes : 0;
    if (!(attributes & units::kAttrLarge) && unit != world.playerUnit) continue;
    if (attributes & units::kAttrWeapon) continue;
    if (DistanceToSegment(unit->GetObjectWorldPosition(), start, end) > unit->GetObjectRadius()) continue;
    core::Vec3 point;
    if (!unit->TestObjectHitSegment(world.graphics, &point, nullptr, start, end, 8)) continue;
    float d = platform::Vec3Length(platform::Vec3Subtract(point, start));
    if (d > kFarthestUnitHit || (nearest && !(d < best))) continue;
    nearest = unit;
    best = d;
    bestPoint = point;
  }
  if (nearest) {
    if (hit) *hit = bestPoint;
    if (distance) *distance = best;
  }
  return nearest;
}

int FindUnitOnSegment(GameWorld& world, units::Unit* skip, core::Vec3 from, core::Vec3 to, core::Vec3* hit,
                      core::Vec3* normal) {
  int slots = CountUnitSlots(world);
  core::Vec3 d = platform::Vec3Subtract(to, from);
  float dd = platform::Vec3Dot(d, d);
  for (int i = 0; i < slots; i++) {
    units::Unit* unit = GetUnitAt(world, i);
    if (!unit || unit == skip || !unit->type) continue;
    if (unit->type->attributes & (units::kAttrWeapon | units::kAttrGhost)) continue;
    // The skipped unit's own parts (tires, turrets) ride with it.
    bool part = false;
    for (units::Unit* up = unit->parent; up && !part; up = up->parent) part = up == skip;
    if (part) continue;
    core::Vec3 centre = unit->GetObjectWorldPosition();
    float t = dd > 0.0f ? platform::Vec3Dot(platform::Vec3Subtract(centre, from), d) / dd : 0.0f;
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    core::Vec3 nearest{from.x + d.x * t, from.y + d.y * t, from.z + d.z * t};
    core::Vec3 away = platform::Vec3Subtract(nearest, centre);
    float gap = platform::Vec3Length(away);
    if (!(gap <= unit->GetObjectRadius() + 5.0f)) continue;
    if (hit) *hit = nearest;
    if (normal) *normal = gap > 0.0f ? platform::Vec3Scale(away, 1.0f / gap) : core::Vec3{0, 1, 0};
    return i;
  }
  return -1;
}

// [SECTION] Path points by name and by script

namespace {

// The first path point in use that `matches` accepts.
template <typename Match>
units::PathPoint* FindPathPoint(GameWorld& world, Match matches) {
  int slots = CountPathPoints(world);
  for (int i = 0; i < slots; i++) {
    units::PathPoint* point = units::GetPathPointAt(*world.pathPoints, i);
    if (point && matches(*point)) return point;
  }
  return nullptr;
}

}  // namespace

units::PathPoint* FindPathPointByName(GameWorld& world, const char* name) {
  if (!name) return nullptr;
  return FindPathPoint(world, [name](const units::PathPoint& point) { return point.label == name; });
}

units::PathPoint* FindPathPointByScript(GameWorld& world, const char* text) {
  if (!text) return nullptr;
  // The point whose own script text this is: the same storage, not an equal copy.
  return FindPathPoint(world, [text](const units::PathPoint& point) {
    return !point.wrapperScript.empty() && point.wrapperScript.c_str() == text;
  });
}

// [SECTION] The world's recorder

int FindRecorderMarker(GameWorld& world, int from, int to, int* offset) {
  if (!world.recorder) return -1;
  int32_t found = 0;
  int32_t handle = world.recorder->FindRecorderMarker(from, to, &found);
  if (handle >= 0 && offset) *offset = found;
  return handle;
}

void MarkRecorderDestruction(GameWorld& world, int handle) {
  // A replay's count is the whole recording: a mark then would land in its
  // last slot.
  if (!world.recorder || world.playback || world.inputPaused) return;
  world.recorder->SetRecorderMarker(handle);
}

core::Vec3 PredictUnitPosition(GameWorld& world, units::Unit& unit, int n) {
  return PredictUnitPosition(world.recorder, world.playback != 0 && !world.replayAborted, unit, n);
}

}  // namespace world
