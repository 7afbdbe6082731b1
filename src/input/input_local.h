// input_local.h -- internals shared by the input system's files.
#pragma once

#include "input/input_public.h"

namespace input {

// ----------------------------------------------------------------------------
// input_pad.cpp
// ----------------------------------------------------------------------------

// Hysteresis of a held state: on above 500, off below 400, kept between.
constexpr int kPressAbove = 500;
constexpr int kReleaseBelow = 400;
// A hat direction drives a direction button in pad mode above this.
constexpr int kHatPressAbove = 700;
// Learning takes a raw code read above this.
constexpr int kLearnAbove = 800;

// Whether a button held for `holdCount` updates fires its key repeat now
// (the trigger itself aside): after 20 updates every 5th, after 40 every
// 4th, after 60 every 3rd.
int RepeatFires(int holdCount);

// The hold count after one more update held. It counts up by one and, once
// at 255, cycles through 253..255 so the every-3rd repeat goes on for as
// long as the button is held.
uint8_t NextHoldCount(uint8_t holdCount);

// A half-axis value 0..1000 past the dead zone, on 0..1000 again. The dead
// zone is bounded to 0..999 here.
int ScaleHalfAxis(int value, int deadZone);

// ----------------------------------------------------------------------------
// input_names.cpp
// ----------------------------------------------------------------------------

// The display name of a keyboard scan code or a pad raw code, "" when it has
// none (code 0..255).
const char* KeyboardCodeName(int code);
const char* PadCodeName(int code);

}  // namespace input
