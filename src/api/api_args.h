// api_args.h -- the calling convention every system call uses: reading its
// arguments (numbers, texts, vectors, rotations, colours), making its
// results, checking unit, path-point and sound handles, the units of fades,
// and the error forms it raises.
#pragma once

#include <cstdint>

#include "api/api_local.h"
#include "core/core_public.h"

namespace units {
struct Unit;
struct PathPoint;
}  // namespace units

namespace api {

using core::Vec3;

// Radians per degree, as scripts' rotations are converted.
constexpr float kRadiansPerDegree = 0.017453292f;
// Angles read back are wrapped into [-kWrapHalf, kWrapHalf) by steps of
// kWrapTurn before they are turned into degrees.
constexpr float kWrapHalf = 3.141592f;
constexpr float kWrapTurn = 6.283184f;
// A path-point handle is this plus the point's slot.
constexpr int32_t kPathPointHandleBase = 268435456;
// A sound handle is slot x kSoundHandleSlot + copy.
constexpr int32_t kSoundHandleSlot = 65536;
// Steps per second of fade times.
constexpr float kStepsPerSecond = 60.0f;

// ----------------------------------------------------------------------------
// Plain arguments (index 0 is the first argument)
// ----------------------------------------------------------------------------

// The entry's int and float fields: an int parameter sets both, a float one
// the float only; entries past the call's arguments read 0.
int32_t ArgInt(const Call& call, int index);
float ArgFloat(const Call& call, int index);
// The entry's text, "" when it has none (a parameter that is not a string).
const char* ArgText(const Call& call, int index);
// The entry's compound (array or object), or null.
script::CScriptArray* ArgCompound(const Call& call, int index);

// ----------------------------------------------------------------------------
// Compound arguments
//
// Members are read by name; a missing member reads 0. An argument that holds
// no compound raises the call's error before anything is read.
// ----------------------------------------------------------------------------

// How a missing compound is reported.
enum class ArgumentForm {
  Numbered,  // "<name>関数の第N引数がオブジェクトではありません。"
  Only,      // "<name>関数の引数がオブジェクトではありません。" (one-argument calls)
};

// The compound of an argument that must hold one.
script::CScriptArray* RequireObject(const Call& call, int index, ArgumentForm form = ArgumentForm::Numbered);
// The compound of an argument that must be an array ("第1引数が配列ではありません").
script::CScriptArray* RequireArray(const Call& call, int index);

// "x", "y", "z".
Vec3 ArgVector(const Call& call, int index, ArgumentForm form = ArgumentForm::Numbered);
Vec3 ReadVector(const script::CScriptArray* object);
// "pitch", "yaw", "roll" in degrees, returned in radians (x pitch, y yaw,
// z roll).
Vec3 ArgRotation(const Call& call, int index, ArgumentForm form = ArgumentForm::Numbered);
// The same members taken as radians, unconverted (the vector calls).
Vec3 ArgRotationRadians(const Call& call, int index, ArgumentForm form = ArgumentForm::Numbered);

// "r", "g", "b", "a" on a 0 to 255 scale, divided by 255 unless `unscaled`.
struct Colour {
  float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};
Colour ArgColour(const Call& call, int index, bool unscaled = false,
                 ArgumentForm form = ArgumentForm::Numbered);

// ----------------------------------------------------------------------------
// Results
// ----------------------------------------------------------------------------

void SetInt(Call& call, int32_t value);
void SetFloat(Call& call, float value);
// Copies the text into the scratch buffer, bounded by it (a longer text is
// cut before the character that would not fit), and makes it the result.
void SetText(Call& call, const char* text);
// A fresh object {"x", "y", "z"} of floats.
void SetVector(Call& call, const Vec3& v);
// A fresh object {"pitch", "yaw", "roll"} in degrees from radians (x pitch,
// y yaw, z roll), each wrapped first.
void SetRotationDegrees(Call& call, const Vec3& radians);
// The same members holding the radians unconverted (the vector calls).
void SetRotationRadians(Call& call, const Vec3& radians);
// A fresh empty compound from the calling engine's pools.
script::CScriptArray* NewResultCompound(Call& call);

// An angle wrapped into [-kWrapHalf, kWrapHalf) and turned into degrees.
float DegreesFromRadians(float radians);
// Copies at most `size` - 1 bytes of `text` and a terminating zero into
// `buffer`, never splitting a two-byte Shift-JIS character; `text` may lie
// inside `buffer`. The length.
size_t CopyTextBounded(char* buffer, size_t size, const char* text);

// ----------------------------------------------------------------------------
// Handles
// ----------------------------------------------------------------------------

// The live unit a handle names, or null: a handle below 1 or past the pool,
// and a slot that holds no live unit, name none (a call then does nothing).
units::Unit* UnitFromHandle(const Call& call, int32_t handle);
// The live path point of kPathPointHandleBase + slot, or null.
units::PathPoint* PathPointFromHandle(const Call& call, int32_t handle);
// slot x 65536 + copy, and back: each half as a signed 16-bit value.
int32_t MakeSoundHandle(int32_t slot, int32_t copy);
void SplitSoundHandle(int32_t handle, int32_t* slot, int32_t* copy);

// ----------------------------------------------------------------------------
// Fades
// ----------------------------------------------------------------------------

// Seconds in steps.
float FadeSteps(float seconds);
// The sound system's fade step: 3000 / steps truncated, 1 for no steps.
int32_t SoundFadeStep(float seconds);
// A volume fraction (1 full, 0 silent) in hundredths of a decibel:
// (1 - v) x -10000, truncated.
int32_t FadeVolume(float fraction);

// ----------------------------------------------------------------------------
// Errors, raised at the call's position as one Shift-JIS text
// ----------------------------------------------------------------------------

// "<name>関数の第N引数がオブジェクトではありません。" (N counts from 1).
[[noreturn]] void RaiseNotObject(const Call& call, int number);
// "<name>関数の引数がオブジェクトではありません。"
[[noreturn]] void RaiseArgumentNotObject(const Call& call);
// "<name>関数の第1引数が配列ではありません。"
[[noreturn]] void RaiseNotArray(const Call& call);
// "<name>関数の第1引数が範囲を超えています。"
[[noreturn]] void RaiseOutOfRange(const Call& call);
// "finish関数で指定された\"<path>\"がオープンできません。"
[[noreturn]] void RaiseCannotOpen(const char* path);
// "<name>: this system call is not available yet"
[[noreturn]] void RaiseNotAvailable(const char* name);

}  // namespace api
