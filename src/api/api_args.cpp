// api_args.cpp -- the calling convention of the system calls: argument
// readers, result makers, handle checks, fade units and the error forms.

#include "api/api_args.h"

#include <cmath>
#include <cstring>

#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

using core::Sjis;

// [SECTION] Plain arguments

namespace {

const script::SystemCallArgument* Entry(const Call& call, int index) {
  if (!call.args || index < 0 || index >= script::kSystemCallArguments) return nullptr;
  return &call.args[index];
}

}  // namespace

int32_t ArgInt(const Call& call, int index) {
  const script::SystemCallArgument* e = Entry(call, index);
  return e ? e->intValue : 0;
}

float ArgFloat(const Call& call, int index) {
  const script::SystemCallArgument* e = Entry(call, index);
  return e ? e->floatValue : 0.0f;
}

const char* ArgText(const Call& call, int index) {
  const script::SystemCallArgument* e = Entry(call, index);
  return e && e->type == script::kCallString && e->text ? e->text : "";
}

script::CScriptArray* ArgCompound(const Call& call, int index) {
  const script::SystemCallArgument* e = Entry(call, index);
  if (!e || (e->type != script::kCallArray && e->type != script::kCallObject)) return nullptr;
  return e->compound;
}

// [SECTION] Compound arguments

script::CScriptArray* RequireObject(const Call& call, int index, ArgumentForm form) {
  script::CScriptArray* compound = ArgCompound(call, index);
  if (compound) return compound;
  if (form == ArgumentForm::Only) RaiseArgumentNotObject(call);
  RaiseNotObject(call, index + 1);
}

script::CScriptArray* RequireArray(const Call& call, int index) {
  script::CScriptArray* compound = ArgCompound(call, index);
  if (!compound) RaiseNotArray(call);
  return compound;
}

Vec3 ReadVector(const script::CScriptArray* object) {
  if (!object) return Vec3{};
  return Vec3{script::GetMemberFloat(object, "x"), script::GetMemberFloat(object, "y"),
              script::GetMemberFloat(object, "z")};
}

Vec3 ArgVector(const Call& call, int index, ArgumentForm form) { return ReadVector(RequireObject(call, index, form)); }

Vec3 ArgRotationRadians(const Call& call, int index, ArgumentForm form) {
  const script::CScriptArray* object = RequireObject(call, index, form);
  return Vec3{script::GetMemberFloat(object, "pitch"), script::GetMemberFloat(object, "yaw"),
              script::GetMemberFloat(object, "roll")};
}

Vec3 ArgRotation(const Call& call, int index, ArgumentForm form) {
  Vec3 degrees = ArgRotationRadians(call, index, form);
  return Vec3{degrees.x * kRadiansPerDegree, degrees.y * kRadiansPerDegree, degrees.z * kRadiansPerDegree};
}

Colour ArgColour(const Call& call, int index, bool unscaled, ArgumentForm form) {
  const script::CScriptArray* object = RequireObject(call, index, form);
  Colour c{script::GetMemberFloat(object, "r"), script::GetMemberFloat(object, "g"),
           script::GetMemberFloat(object, "b"), script::GetMemberFloat(object, "a")};
  if (!unscaled) {
    c.r /= 255.0f;
    c.g /= 255.0f;
    c.b /= 255.0f;
    c.a /= 255.0f;
  }
  return c;
}

// [SECTION] Results

void SetInt(Call& call, int32_t value) {
  call.result->type = script::kCallInt;
  call.result->intValue = value;
}

void SetFloat(Call& call, float value) {
  call.result->type = script::kCallFloat;
  call.result->floatValue = value;
}

size_t CopyTextBounded(char* buffer, size_t size, const char* text) {
  if (!buffer || size == 0) return 0;
  size_t n = 0;
  if (text) {
    while (text[n]) {
      size_t width = core::IsSjisLeadByte(static_cast<unsigned char>(text[n])) && text[n + 1] ? 2 : 1;
      if (n + width >= size) break;  // room for the zero is kept
      n += width;
    }
    std::memmove(buffer, text, n);  // the text may already stand in the buffer
  }
  buffer[n] = 0;
  return n;
}

void SetText(Call& call, const char* text) {
  CopyTextBounded(call.scratch, script::kSystemCallScratchBytes, text);
  call.result->type = script::kCallString;
  call.result->text = call.scratch;
}

script::CScriptArray* NewResultCompound(Call& call) {
  script::ScriptPools& pools = call.context->engine->pools;
  script::CScriptArray* compound = pools.AllocScriptArray(nullptr);
  if (!compound) script::RaiseScriptError("%s", Sjis("割り当て可能なCScriptArrayインスタンスがなくなりました。"));
  return compound;
}

namespace {

void SetTriple(Call& call, const char* a, const char* b, const char* c, const Vec3& v) {
  script::ScriptPools& pools = call.context->engine->pools;
  script::CScriptArray* object = NewResultCompound(call);
  script::SetMemberFloat(pools, object, a, v.x);
  script::SetMemberFloat(pools, object, b, v.y);
  script::SetMemberFloat(pools, object, c, v.z);
  call.result->type = script::kCallObject;
  call.result->compound = object;
}

}  // namespace

void SetVector(Call& call, const Vec3& v) { SetTriple(call, "x", "y", "z", v); }

float DegreesFromRadians(float radians) {
  if (!std::isfinite(radians)) return radians / kRadiansPerDegree;
  // Far-off angles are brought near first: stepping a turn at a time would
  // take too long, or never end once a turn is below the float's spacing.
  if (std::fabs(radians) > 64.0f * kWrapTurn) radians = std::fmod(radians, kWrapTurn);
  while (radians >= kWrapHalf) radians -= kWrapTurn;
  while (radians < -kWrapHalf) radians += kWrapTurn;
  return radians / kRadiansPerDegree;
}

void SetRotationDegrees(Call& call, const Vec3& radians) {
  SetTriple(call, "pitch", "yaw", "roll",
            Vec3{DegreesFromRadians(radians.x), DegreesFromRadians(radians.y), DegreesFromRadians(radians.z)});
}

void SetRotationRadians(Call& call, const Vec3& radians) { SetTriple(call, "pitch", "yaw", "roll", radians); }

// [SECTION] Handles

units::Unit* UnitFromHandle(const Call& call, int32_t handle) {
  if (!call.world || handle <= 0 || handle >= world::CountUnitSlots(*call.world)) return nullptr;
  return world::GetUnitAt(*call.world, handle);
}

units::PathPoint* PathPointFromHandle(const Call& call, int32_t handle) {
  if (!call.world || !call.world->pathPoints) return nullptr;
  int64_t slot = int64_t(handle) - kPathPointHandleBase;
  if (slot < 0 || slot >= units::CountPathPoints(*call.world->pathPoints)) return nullptr;
  return units::GetPathPointAt(*call.world->pathPoints, int(slot));
}

int32_t MakeSoundHandle(int32_t slot, int32_t copy) {
  return int32_t(uint32_t(slot) * uint32_t(kSoundHandleSlot) + uint32_t(copy));
}

void SplitSoundHandle(int32_t handle, int32_t* slot, int32_t* copy) {
  if (slot) *slot = int16_t(uint16_t(uint32_t(handle) >> 16));
  if (copy) *copy = int16_t(uint16_t(uint32_t(handle) & 0xFFFF));
}

// [SECTION] Fades

float FadeSteps(float seconds) { return seconds * kStepsPerSecond; }

int32_t SoundFadeStep(float seconds) {
  float steps = FadeSteps(seconds);
  if (!(steps > 0.0f)) return 1;
  float step = 3000.0f / steps;
  return step < 2147483520.0f ? int32_t(step) : INT32_MAX;
}

int32_t FadeVolume(float fraction) {
  float volume = (1.0f - fraction) * -10000.0f;
  // Far outside 0..1 the volume is clamped rather than overflowing the int.
  if (!(volume > -2147483520.0f)) return volume != volume ? 0 : INT32_MIN;
  if (volume > 2147483520.0f) return INT32_MAX;
  return int32_t(volume);
}

// [SECTION] Errors

void RaiseNotObject(const Call& call, int number) {
  script::RaiseScriptError(Sjis("%s関数の第%d引数がオブジェクトではありません。"), call.name, number);
}

void RaiseArgumentNotObject(const Call& call) {
  script::RaiseScriptError(Sjis("%s関数の引数がオブジェクトではありません。"), call.name);
}

void RaiseNotArray(const Call& call) {
  script::RaiseScriptError(Sjis("%s関数の第1引数が配列ではありません。"), call.name);
}

void RaiseOutOfRange(const Call& call) {
  script::RaiseScriptError(Sjis("%s関数の第1引数が範囲を超えています。"), call.name);
}

void RaiseCannotOpen(const char* path) {
  script::RaiseScriptError(Sjis("finish関数で指定された\"%s\"がオープンできません。"), path ? path : "");
}

void RaiseNotAvailable(const char* name) {
  script::RaiseScriptError("%s: this system call is not available yet", name ? name : "");
}

}  // namespace api
