// units_database.cpp -- the unit database: unit types read from unit masters.

#include "units/units_public.h"

namespace units {}  // namespace units
