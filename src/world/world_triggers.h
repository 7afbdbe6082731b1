// world_triggers.h -- the path-point trigger lists the world runs each step.
//
// A path point may carry an event: one command of TriggerCommandTable, two
// operand texts OP1 and OP2 and an event script compiled into a script
// function of its own. Every point whose event is active stands in one of 39
// trigger lists; an event of the world runs the list of that event, each
// listed point tests its command against the units involved and, when it
// holds, starts its event function as a new script thread with the unit's
// handle.
//
// - The lists are plain records that the world embeds (GameWorld::triggerLists)
//   and empties at every reset and after every script failure.
// - RunTriggerList reads the world through a TriggerScene, so it can be run
//   on records alone; RunPathTriggers (world_services.h) builds the scene of
//   the world.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "units/units_services.h"

namespace script {
class ScriptEngine;
}

namespace units {
struct Unit;
struct PathPoint;
}  // namespace units

namespace world {

// The trigger command codes and their table belong to the path points
// (placement files store the keywords); the world evaluates them.
using units::TriggerCode;
using units::kTriggerCommandCount;
using units::TriggerCommand;
using units::TriggerCommandTable;
using units::TriggerCommandDescription;
using units::FindTriggerCommand;
using units::kTriggerNop;
using units::kTriggerAuto;
using units::kTriggerPastTime;
using units::kTriggerRestTime;
using units::kTriggerReach;
using units::kTriggerIdAppear;
using units::kTriggerIdDisappear;
using units::kTriggerAppear;
using units::kTriggerDisappear;
using units::kTriggerMore;
using units::kTriggerLess;
using units::kTriggerNear;
using units::kTriggerFar;
using units::kTriggerDamaged;
using units::kTriggerTouch;
using units::kTriggerLanding;
using units::kTriggerHp;
using units::kTriggerCaution;
using units::kTriggerWarning;
using units::kTriggerLocked;
using units::kTriggerDanger;
using units::kTriggerMain;
using units::kTriggerSub;
using units::kTriggerCenter;
using units::kTriggerExtra;
using units::kTriggerGun;
using units::kTriggerHit;
using units::kTriggerDestroy;
using units::kTriggerMiss;
using units::kTriggerChange;
using units::kTriggerRange;
using units::kTriggerGunRange;
using units::kTriggerLock;
using units::kTriggerXPlus;
using units::kTriggerXMinus;
using units::kTriggerYPlus;
using units::kTriggerYMinus;
using units::kTriggerZPlus;
using units::kTriggerZMinus;
// The list a point of this command stands in: its own code, except
// PASTTIME and RESTTIME in AUTO (1), ID_APPEAR and MORE in APPEAR (7),
// ID_DISAP and LESS in DISAPPEAR (8), FAR and XPLUS to ZMINUS in NEAR (11).
// -1 for an unknown code.
int TriggerListOf(int code);
// 1 when a point of this command leaves its list once it has fired.
int TriggerFiresOnce(int code);

// The 39 lists of listed path points, one per code. A list grows in blocks
// of 20 slots and never shrinks; an empty slot is null. A list is walked in
// slot order, so a removed point's slot is the next one an addition takes.
struct TriggerLists {
  static constexpr int kGrowth = 20;
  std::array<std::vector<units::PathPoint*>, kTriggerCommandCount> lists;

  // Adds the point to (add non-zero) or removes it from list `list`. Adding
  // a point already listed, or removing one that is not, changes nothing.
  // 1; 0 for a list outside 0..38.
  int SetListed(int list, units::PathPoint* point, int add);
  // Every slot of every list null; the slots are kept for later additions.
  void Clear();
  // Slots of a list (0 outside 0..38).
  int SlotCount(int list) const;
};

// What one run of a list reads of the world beside the two units.
struct TriggerScene {
  script::ScriptEngine* engine = nullptr;  // where event threads start (null: none start)
  int32_t gameTime = 0;                    // steps since the run began (PASTTIME)
  int32_t restCountdown = 0;               // steps left (RESTTIME)
  // The unit pool, for the MORE and LESS counts: its slot count and the unit
  // of a slot (null for an empty slot). Either may be null: no units.
  void* pool = nullptr;
  int32_t (*countSlots)(void* pool) = nullptr;
  units::Unit* (*unitAt)(void* pool, int32_t slot) = nullptr;
};

// Evaluates one list: every listed point tests its command against `unit`
// (the unit acted with) and `subject` (the unit whose label is tested);
// a point that holds starts its event function with the unit's handle.
// Returns the number of listed points visited. Either unit may be null.
int RunTriggerList(TriggerLists& lists, const TriggerScene& scene, int list, units::Unit* unit,
                   units::Unit* subject);

}  // namespace world
