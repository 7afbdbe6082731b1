// units_placement.cpp -- placement files: the reader into the unit
// database's placement and path-point records, and the writer.

#include "units/units_paths.h"

namespace units {

int ReadUnitPlacements(UnitDatabase&, const script::CScriptArray*, uint32_t, const char*) { return 0; }
int SetPlacementRecord(UnitDatabase&, int, UnitType*, const char*, const Vec3&, const Vec3&, const char*, const char*,
                       const char*, int32_t, uint32_t) {
  return -1;
}
int SetPathPointRecord(UnitDatabase&, int, const Vec3&, const char*, const char*, const char*, uint32_t, PathPoint*,
                       int32_t, const char*, const char*) {
  return -1;
}
std::string BuildUnitPlacementText(const UnitDatabase&) { return {}; }
int WriteUnitPlacementFile(const UnitDatabase&, const char*) { return 0; }
void FreePlacementRecords(UnitDatabase&) {}
void FreePathPointRecords(UnitDatabase&) {}

}  // namespace units
