// api_get_world.cpp -- the getter calls that read the world rather than one
// unit's values: the event states a unit reports (consumed as they are
// read), the population statistics of a name, the pads, and the game and
// engine words.

#include "api/api_get_world.h"

#include <cstdio>
#include <string>

#include "api/api_args.h"
#include "input/input_public.h"
#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

namespace {

// [SECTION] Refer arguments
//
// A refer argument takes back what its entry holds when the call returns:
// an int entry sets the variable to the int, a text entry sets it only when
// the variable held a string before. An argument that named no variable
// takes nothing back.

void WriteReferInt(Call& call, int index, int32_t value) {
  if (!call.args || index < 0 || index >= script::kSystemCallArguments) return;
  script::SystemCallArgument& entry = call.args[index];
  entry.type = script::kCallInt;
  entry.intValue = value;
  entry.floatValue = static_cast<float>(value);
  entry.text = nullptr;
  entry.compound = nullptr;
}

// The text goes through the scratch buffer (the call's result is an int, so
// the buffer is free), bounded by it.
void WriteReferText(Call& call, int index, const char* text) {
  if (!call.args || !call.scratch || index < 0 || index >= script::kSystemCallArguments) return;
  CopyTextBounded(call.scratch, script::kSystemCallScratchBytes, text ? text : "");
  script::SystemCallArgument& entry = call.args[index];
  entry.type = script::kCallString;
  entry.text = call.scratch;
  entry.compound = nullptr;
}

// [SECTION] Event states
//
// Each reads int unit first and answers 0 for a bad handle; an event found
// is reported through the refer arguments as the other unit's type key
// ("" when that unit is gone or has no type) and its handle.

// The type key of the unit a handle names, "" when none.
const char* TypeKeyOf(Call& call, int32_t handle) {
  units::Unit* other = UnitFromHandle(call, handle);
  return other && other->type ? other->type->key.c_str() : "";
}

using PopFunction = int (*)(units::Unit&, units::UnitEvent*, int);

// The oldest entry of a queue: name, handle and, with `amountArg` >= 0, the
// amount. The result is the number of entries that were waiting.
void ReportQueuedEvent(Call& call, PopFunction pop, int amountArg) {
  SetInt(call, 0);
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  units::UnitEvent event{};
  int waiting = pop(*unit, &event, 1);
  SetInt(call, waiting);
  if (waiting <= 0) return;
  WriteReferText(call, 1, TypeKeyOf(call, event.unitId));
  WriteReferInt(call, 2, event.unitId);
  if (amountArg >= 0) WriteReferInt(call, amountArg, event.amount);
}

// The event words of a unit, each the handle (low 16 bits) of the other
// unit: the fox word the target handed to the last launched weapon (0 when
// it went without one), the gun-range word the target that came within gun
// range, the lock word the target locked, the miss word the target a
// missile of the unit missed.
int16_t& FoxWord(units::Unit& unit) { return unit.launchTarget; }
int16_t& GunRangeWord(units::Unit& unit) { return unit.aimingWords[0]; }
int16_t& LockWord(units::Unit& unit) { return unit.aimingWords[1]; }
int16_t& MissWord(units::Unit& unit) { return unit.missileWords[1]; }

// A one-event word: pending at `least` or above; read, it becomes -1.
void ReportEventWord(Call& call, int16_t& (*wordOf)(units::Unit&), int least) {
  SetInt(call, 0);
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  int16_t& word = wordOf(*unit);
  int32_t other = word;
  if (other < least) return;
  word = -1;
  SetInt(call, 1);
  WriteReferText(call, 1, TypeKeyOf(call, other));
  WriteReferInt(call, 2, other);
}

// [SECTION] Statistics

// The counter of a population record a call reads.
enum class Counter { Appeared, Alive, Destroyed };

const int32_t* CounterRow(const world::PopulationRecord& record, Counter counter, bool target) {
  switch (counter) {
    case Counter::Appeared: return target ? record.targetAppeared : record.appeared;
    case Counter::Alive: return target ? record.targetAlive : record.alive;
    case Counter::Destroyed: return target ? record.targetDestroyed : record.destroyed;
  }
  return record.appeared;
}

// (name, class, target): the counter of the class, 0 for a name without a
// record. A class outside 0..3 keeps the preset, except that the present
// units of a class above 3 are the sum of the four.
void ReportCount(Call& call, Counter counter) {
  if (!call.world) return;
  const char* name = ArgText(call, 0);
  int32_t unitClass = ArgInt(call, 1);
  bool target = ArgInt(call, 2) != 0;
  bool sum = counter == Counter::Alive && unitClass > 3;
  if (!sum && (unitClass < 0 || unitClass > 3)) return;
  const world::PopulationRecord* record = world::FindNamedRecord(*call.world, name);
  if (!record) {
    SetInt(call, 0);
    return;
  }
  const int32_t* row = CounterRow(*record, counter, target);
  if (!sum) {
    SetInt(call, row[unitClass]);
    return;
  }
  SetInt(call, row[0] + row[1] + row[2] + row[3]);
}

// [SECTION] Pads

// The input of one read: the world's copy of the step's input, or the input
// system's current arrays (zeros without an input system).
struct PadInput {
  int32_t held[input::kLogicalButtonCount] = {};
  int32_t trigger[input::kLogicalButtonCount] = {};
  int32_t repeat[input::kLogicalButtonCount] = {};
  float axes[6] = {};
};
static_assert(world::GameWorld::kButtons == input::kLogicalButtonCount, "step input and pads hold the same buttons");

void ReadPadInput(world::GameWorld& world, bool raw, PadInput* pad) {
  if (!raw) {
    world::GetStepInput(world, pad->held, pad->trigger, pad->repeat, pad->axes, pad->axes + 3);
    return;
  }
  if (world.input) world.input->SnapshotInput(pad->held, pad->trigger, pad->repeat, pad->axes, pad->axes + 3);
}

enum class PadArray { Held, Trigger, Repeat };

// (code): the entry of one button array; a code outside 0..127 keeps the
// preset.
void ReportPadButton(Call& call, PadArray array, bool raw) {
  int32_t code = ArgInt(call, 0);
  if (!call.world || code < 0 || code >= input::kLogicalButtonCount) return;
  PadInput pad;
  ReadPadInput(*call.world, raw, &pad);
  const int32_t* values = array == PadArray::Held ? pad.held : array == PadArray::Trigger ? pad.trigger : pad.repeat;
  SetInt(call, values[code]);
}

// (code): the half-axis buttons 80, 82 and 84 give the first three
// analogue values and 92 the sixth; every other code 0.0.
void ReportPadAnalog(Call& call, bool raw) {
  int32_t code = ArgInt(call, 0);
  if (!call.world) return;
  PadInput pad;
  ReadPadInput(*call.world, raw, &pad);
  float value = 0.0f;
  switch (code) {
    case 80: value = pad.axes[0]; break;
    case 82: value = pad.axes[1]; break;
    case 84: value = pad.axes[2]; break;
    case 92: value = pad.axes[5]; break;
    default: break;
  }
  SetFloat(call, value);
}

bool IsDeviceSlot(int32_t slot) { return slot >= 0 && slot < input::kSlotCount; }

}  // namespace

// [SECTION] Event states

// get_damage_state(unit, refer name, refer source, refer amount).
void CallGetDamageState(Call& call) { ReportQueuedEvent(call, units::PopDamageEvent, 3); }

// get_hit_state(unit, refer name, refer victim, refer amount).
void CallGetHitState(Call& call) { ReportQueuedEvent(call, units::PopHitEvent, 3); }

// get_destroy_state(unit, refer name, refer victim).
void CallGetDestroyState(Call& call) { ReportQueuedEvent(call, units::PopDestroyEvent, -1); }

// get_fox_state(unit, refer name, refer other): a launch, with or without a
// target (handle 0 then), is pending from 0 up.
void CallGetFoxState(Call& call) { ReportEventWord(call, FoxWord, 0); }

// get_gun_range_state, get_lock_state, get_miss_state(unit, refer name,
// refer other): pending from 1 up.
void CallGetGunRangeState(Call& call) { ReportEventWord(call, GunRangeWord, 1); }
void CallGetLockState(Call& call) { ReportEventWord(call, LockWord, 1); }
void CallGetMissState(Call& call) { ReportEventWord(call, MissWord, 1); }

// [SECTION] Statistics

// get_total_num(name, class, target): units ever counted in.
void CallGetTotalNum(Call& call) { ReportCount(call, Counter::Appeared); }

// get_arrive_num(name, class, target): units present now.
void CallGetArriveNum(Call& call) { ReportCount(call, Counter::Alive); }

// get_destroy_num(name, class, target): units destroyed.
void CallGetDestroyNum(Call& call) { ReportCount(call, Counter::Destroyed); }

// [SECTION] Pads

void CallGetPadNow(Call& call) { ReportPadButton(call, PadArray::Held, false); }
void CallGetPadNowRaw(Call& call) { ReportPadButton(call, PadArray::Held, true); }
void CallGetPadTrg(Call& call) { ReportPadButton(call, PadArray::Trigger, false); }
void CallGetPadTrgRaw(Call& call) { ReportPadButton(call, PadArray::Trigger, true); }
void CallGetPadRep(Call& call) { ReportPadButton(call, PadArray::Repeat, false); }
void CallGetPadRepRaw(Call& call) { ReportPadButton(call, PadArray::Repeat, true); }
void CallGetPadAnalog(Call& call) { ReportPadAnalog(call, false); }
void CallGetPadAnalogRaw(Call& call) { ReportPadAnalog(call, true); }

// get_pad_map(slot, button): the raw code the slot maps the logical button
// to (255 none); a slot outside 0..7 or a button outside 0..127 keeps the
// preset.
void CallGetPadMap(Call& call) {
  int32_t slot = ArgInt(call, 0), button = ArgInt(call, 1);
  if (!call.world || !call.world->input || !IsDeviceSlot(slot)) return;
  if (button < 0 || button >= input::kLogicalButtonCount) return;
  SetInt(call, call.world->input->GetButtonMap(slot, button));
}

// get_pad_map_str(slot, raw code): the code's display name on the slot's
// kind of device; a slot outside 0..7 or a code outside 0..255 keeps the
// preset.
void CallGetPadMapStr(Call& call) {
  int32_t slot = ArgInt(call, 0), code = ArgInt(call, 1);
  if (!call.world || !call.world->input || !IsDeviceSlot(slot)) return;
  if (code < 0 || code >= input::kRawCodeCount) return;
  SetText(call, call.world->input->GetRawCodeName(slot, code));
}

// get_pad_name(slot): the device's product name ("" for a free slot); a
// slot outside 0..7 keeps the preset.
void CallGetPadName(Call& call) {
  int32_t slot = ArgInt(call, 0);
  if (!call.world || !call.world->input || !IsDeviceSlot(slot)) return;
  SetText(call, call.world->input->GetDeviceName(slot));
}

// get_pad_sensitivity(pad): the pad entry's first stored dead zone; a pad
// outside 0..7 keeps the preset.
void CallGetPadSensitivity(Call& call) {
  int32_t pad = ArgInt(call, 0);
  if (!call.world || !call.world->settings || pad < 0 || pad >= core::kPadEntryCount) return;
  SetInt(call, call.world->settings->padFree[pad][0]);
}

// [SECTION] Game and engine

// get_debug_mode(): the program's edit-mode word (1 while the game runs
// from the editor), 0 without one.
void CallGetDebugMode(Call& call) {
  if (call.world) SetInt(call, call.world->editorMode ? *call.world->editorMode : 0);
}

// get_past_time(): steps of play.
void CallGetPastTime(Call& call) {
  if (call.world) SetInt(call, call.world->gameTime);
}

// get_rest_time(): steps left on the countdown.
void CallGetRestTime(Call& call) {
  if (call.world) SetInt(call, call.world->restCountdown);
}

// get_replay_mode(): non-zero while a replay plays.
void CallGetReplayMode(Call& call) {
  if (call.world) SetInt(call, call.world->playback);
}

// get_player_unit(): the key of the player's unit type; the preset while
// none is chosen.
void CallGetPlayerUnit(Call& call) {
  if (call.world && call.world->playerType) SetText(call, call.world->playerType->key.c_str());
}

// get_player_weapon(n): the key of the player's weapon type n; "" for n
// outside 0..3, the preset for a slot without a type.
void CallGetPlayerWeapon(Call& call) {
  int32_t n = ArgInt(call, 0);
  if (!call.world) return;
  if (n < 0 || n >= 4) {
    SetText(call, "");
    return;
  }
  if (const units::UnitType* type = call.world->playerWeaponTypes[n]) SetText(call, type->key.c_str());
}

// get_script_name(): the script file the call stands in ("" for code
// compiled from memory without a name).
void CallGetScriptName(Call& call) {
  SetText(call, call.context && call.context->file ? call.context->file : "");
}

// get_root_script_name(): the start file the world runs.
void CallGetRootScriptName(Call& call) {
  if (call.world) SetText(call, call.world->GetStartFileName());
}

// get_language(): the edition's language.
void CallGetLanguage(Call& call) {
#if defined(TKW4_EDITION_ENGLISH)
  SetText(call, "English");
#else
  SetText(call, "Japanese");
#endif
}

// get_unit_master(type key): a fresh copy of the type's definition object.
// The database keeps the definition as object text; it is read back by
// compiling it, in the calling engine, as the initial value of a fresh
// extern object, whose copy the call returns before the global goes again.
// The preset for a key no type has, a type without a definition, or a text
// that does not read back.
void CallGetUnitMaster(Call& call) {
  if (!call.world || !call.context || !call.context->engine) return;
  const units::UnitType* type = units::FindUnitTypeByKey(world::GetUnitDatabase(*call.world), ArgText(call, 0));
  if (!type || type->definition.empty()) return;
  script::ScriptEngine& se = *call.context->engine;
  char global[64];
  std::snprintf(global, sizeof global, "__system_unit_master_data%d", se.loadObjectCounter++);
  std::string source = std::string("extern object ") + global + "=\r\n" + type->definition + "\r\n;\r\n";
  se.LoadScriptMemory(source.c_str(), global);
  script::CScriptValue* variable = se.FindGlobal(global);
  if (!variable) return;
  const script::CScriptValue* value = script::FollowRefer(variable);
  if (value && value->type == script::kValueCompound && value->data.array) {
    script::CScriptArray* object = script::CopyCompound(se.pools, value->data.array);
    object->owner = nullptr;  // its holder goes now
    call.result->type = script::kCallObject;
    call.result->compound = object;
  }
  se.ReleaseGlobal(variable);
}

}  // namespace api
