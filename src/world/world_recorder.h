// world_recorder.h -- the replay recorder: a run's input kept step by step.
#pragma once

namespace world {}  // namespace world
