// units_services.h -- what the world sees of the units: the unit, unit-type
// and path-point records it pools and the operations it calls each step.
#pragma once

namespace units {}  // namespace units
