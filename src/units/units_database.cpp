// units_database.cpp -- the unit database: unit types read from unit masters.

#include "units_local.h"

namespace units {

UnitType::UnitType() {
  for (int i = 0; i < 4; i++) {
    enginePos[i] = wingPos[i] = gunPos[i] = {kUndefinedPoint, kUndefinedPoint, kUndefinedPoint};
    for (int j = 0; j < 4; j++) weaponPos[i][j] = {kUndefinedPoint, kUndefinedPoint, kUndefinedPoint};
    weaponScope[i] = {3.141592f, -3.141592f, 1.570796f, -1.570796f};
  }
  tirePos = {kUndefinedPoint, kUndefinedPoint, kUndefinedPoint};
  mobility = {100 * kDegreesToRadians, 15 * kDegreesToRadians, 5 * kDegreesToRadians};
}

UnitType::~UnitType() = default;

UnitDatabase::UnitDatabase() { types.resize(256); }

UnitDatabase::~UnitDatabase() = default;

}  // namespace units
