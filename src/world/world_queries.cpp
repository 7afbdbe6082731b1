// world_queries.cpp -- the small world operations the system calls and the
// units use: the flight area, the network data table, the screen fade.

#include "world_recorder.h"

#include "world/world_services.h"

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

// [SECTION] Screen fade

void FadeScreen(ScreenFade& fade, float value, float target, float step) {
  if (!(fade.value < 0.0f)) fade.value = value;
  if (!(fade.target < 0.0f)) fade.target = target;
  if (!(fade.step < 0.0f)) fade.step = step;
}

// [SECTION] The world's recorder and queries (stand-ins until the world
// embeds the recorder and the flight area)

int FindRecorderMarker(GameWorld& world, int from, int to, int* offset) {
  (void)world;
  (void)from;
  (void)to;
  (void)offset;
  return -1;
}

int out_area(GameWorld& world, float x, float y, float z) {
  (void)world;
  return OutArea(FlightArea{}, x, y, z);
}

}  // namespace world
