// api_local.h -- what the system-call handlers share: the call record every
// call function gets, the handlers' name tables and the dispatch by name.
#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>

#include "script/script_public.h"

namespace world {
class GameWorld;
}

namespace api {

// ----------------------------------------------------------------------------
// One call as its call function sees it
// ----------------------------------------------------------------------------

// Built by the handler for the length of one call: the result (already
// preset), the context, the 16 argument entries and the scratch buffer of
// kSystemCallScratchBytes bytes. `world` is the engine's host, null when the
// engine runs without a world (then calls that need one return the preset).
struct Call {
  script::SystemCallResult* result = nullptr;
  const script::SystemCallContext* context = nullptr;
  script::SystemCallArgument* args = nullptr;
  char* scratch = nullptr;
  world::GameWorld* world = nullptr;
  const char* name = "";
};

// What one system call does. It reads its arguments through api_args.h,
// leaves the preset result alone or replaces it, and raises a ScriptError
// text for an unusable argument before it changes anything.
using CallFunction = void (*)(Call& call);

// One name a handler serves. A null function: the call is registered but its
// behaviour is not built yet, and calling it is a run-time error.
struct CallEntry {
  const char* name;
  CallFunction function;
};

// A handler with the names it serves, as registration binds them.
struct CallTable {
  const char* handlerName;  // for diagnostics and tests
  script::SystemCallHandler handler;
  const CallEntry* entries;
  size_t count;
};

// A call function from a function of the engine's handler form, for calls
// written that way: it gets the call's own result, context, arguments and
// scratch buffer.
template <script::SystemCallHandler kHandler>
void ViaHandler(Call& call) {
  script::SystemCallResult* filled = kHandler(call.result, *call.context, call.args, call.scratch);
  if (filled && filled != call.result) *call.result = *filled;
}

// ----------------------------------------------------------------------------
// Dispatch by name (api_registry.cpp)
// ----------------------------------------------------------------------------

// The names of one table by name, built once on first use.
class CallIndex {
 public:
  CallIndex(const CallEntry* entries, size_t count);
  // The entry of a name, or null when the table does not serve it.
  const CallEntry* Find(std::string_view name) const;

 private:
  std::unordered_map<std::string_view, const CallEntry*> byName_;
};

// Presets the result, finds the call by its whole name and runs it: a name
// the index does not hold returns the preset untouched; a registered name
// without behaviour raises the "not available yet" error.
script::SystemCallResult* DispatchCall(const CallIndex& index, const script::SystemCallResult& preset,
                                       script::SystemCallResult* result, const script::SystemCallContext& context,
                                       script::SystemCallArgument* args, char* scratch);

// A handler serving one name table: its calls start from the preset of
// type `kType` holding `kValue` (int 1 unless a handler says otherwise).
// The table's index is built on the handler's first call.
template <const CallEntry* kEntries, const size_t& kCount, script::SystemCallType kType = script::kCallInt,
          int kValue = 1>
script::SystemCallResult* TableHandler(script::SystemCallResult* result, script::SystemCallContext context,
                                       script::SystemCallArgument* args, char* scratch) {
  static const CallIndex kIndex(kEntries, kCount);
  script::SystemCallResult preset;
  preset.type = kType;
  if constexpr (kType == script::kCallFloat)
    preset.floatValue = static_cast<float>(kValue);
  else
    preset.intValue = kValue;
  return DispatchCall(kIndex, preset, result, context, args, scratch);
}

// The nine handlers in registration order, with their names.
const CallTable* SystemCallTables(size_t* count);

// ----------------------------------------------------------------------------
// The nine handlers and their name tables (one file each)
// ----------------------------------------------------------------------------

// api_general.cpp: world, unit, effect, sound, screen, flow and data calls.
extern const script::SystemCallHandler HandleGeneralSystemCall;
extern const CallEntry kGeneralCalls[];
extern const size_t kGeneralCallCount;

// api_scene_calls.cpp: the general handler's data-loading calls.
void CallLoadUnitMaster(Call& call);
void CallLoadMapMaster(Call& call);
void CallLoadMapData(Call& call);
void CallLoadUnitData(Call& call);
void CallLoadGroup(Call& call);
void CallPutGroup(Call& call);

// api_sounds.cpp: the general handler's sound calls and the HUD switch.
void CallLoadSe(Call& call);
void CallPlaySe(Call& call);
void CallPlaySe3d(Call& call);
void CallStopSe(Call& call);
void CallStopBgm(Call& call);
void CallStopVoice(Call& call);
void CallPauseSe(Call& call);
void CallPauseBgm(Call& call);
void CallPauseVoice(Call& call);
void CallFadeSe(Call& call);
void CallFadeBgm(Call& call);
void CallFadeVoice(Call& call);
void CallPlayBgm(Call& call);
void CallPlayVoice(Call& call);
void CallHudSystem(Call& call);

// api_units.cpp: the general handler's unit and path calls.
void CallPutUnit(Call& call);
void CallPutPlayerUnit(Call& call);
void CallCreateSprite(Call& call);
void CallCreateSpriteFromFile(Call& call);
void CallDeleteUnit(Call& call);
void CallDeleteUnitLabel(Call& call);
void CallReleaseObject(Call& call);
void CallReleaseObjectLabel(Call& call);
void CallReleaseAllObject(Call& call);
void CallAddDamage(Call& call);
void CallSupplyHp(Call& call);
void CallStopGun(Call& call);
void CallStopWeapon(Call& call);
void CallLimitEngine(Call& call);
void CallMove(Call& call);
void CallRelRot(Call& call);
void CallTransform(Call& call);
void CallInvTransform(Call& call);
void CallTransformAnimation(Call& call);
void CallIsAncestor(Call& call);
void CallActivePath(Call& call);
void CallActivePathLabel(Call& call);

// api_effects.cpp: the general handler's effect and light calls.
void CallCreateBomb(Call& call);
void CallCreateCloud(Call& call);
void CallCreateElectric(Call& call);
void CallCreateHeat(Call& call);
void CallCreateHitEffect(Call& call);
void CallCreateLightning(Call& call);
void CallCreateParticle(Call& call);
void CallCreatePolygonEffect(Call& call);
void CallCreateSonic(Call& call);
void CallCreateSplash(Call& call);
void CallCreateSpotLight(Call& call);
void CallPutSpotLight(Call& call);
void CallReleaseCloud(Call& call);

// api_files.cpp: files and file packages.
extern const script::SystemCallHandler HandleFileSystemCall;
extern const CallEntry kFileCalls[];
extern const size_t kFileCallCount;

// api_getters.cpp: the get_ calls.
extern const script::SystemCallHandler HandleGetterSystemCall;
extern const CallEntry kGetterCalls[];
extern const size_t kGetterCallCount;

// api_network.cpp: the network session and the network data table.
extern const script::SystemCallHandler HandleNetworkSystemCall;
extern const CallEntry kNetworkCalls[];
extern const size_t kNetworkCallCount;

// api_setters.cpp: the set_ calls, and saving the settings.
extern const script::SystemCallHandler HandleSetterSystemCall;
extern const CallEntry kSetterCalls[];
extern const size_t kSetterCallCount;
extern const script::SystemCallHandler HandleSaveSystemOption;
extern const CallEntry kSaveOptionCalls[];
extern const size_t kSaveOptionCallCount;

// api_windows.cpp: message windows and head tracking.
extern const script::SystemCallHandler HandleWindowSystemCall;
extern const CallEntry kWindowCalls[];
extern const size_t kWindowCallCount;
extern const script::SystemCallHandler HandleVrSystemCall;
extern const CallEntry kVrCalls[];
extern const size_t kVrCallCount;

// api_vectors.cpp: vector arithmetic and ray tests.
extern const script::SystemCallHandler HandleVectorSystemCall;
extern const CallEntry kVectorCalls[];
extern const size_t kVectorCallCount;

}  // namespace api
