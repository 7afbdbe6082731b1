// world_triggers.h -- the path-point trigger lists the world runs each step.
#pragma once

namespace world {}  // namespace world
