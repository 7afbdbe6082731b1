// units_damage.cpp -- damage, destruction and targeting: every hit ends in
// ApplyDamage; the AI's and the player's target choice; the enemy and
// lock-on predicates the weapons use.
//
// [SECTION] Helpers
// [SECTION] The hit message's wire coding
// [SECTION] Damage and destruction
// [SECTION] AI targeting
// [SECTION] Player targeting
// [SECTION] Enemy and lock-on tests

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "units/units_combat.h"
#include "units_local.h"

namespace units {

// [SECTION] Helpers

namespace {

// A BRANCH chain longer than this is a parent loop made by mistake: the
// damage stays with the unit reached rather than spin.
constexpr int kMaxChainLength = 4096;

// The sound slot of the player's own destruction.
constexpr int kSoundPlayerDestroyed = 18;

// HP at or above the kill amount never falls.
constexpr int32_t kUnfallingHp = kKillDamage;

// Damage levels and the HP ratios that raise them.
constexpr int32_t kDamageLevelLight = 1;
constexpr int32_t kDamageLevelHeavy = 2;
constexpr int32_t kDamageLevelCritical = 4;

// A hit jolts the controls of units in a state below this (idle, flying,
// weapons on their pylons), not of those on a path or wrecked.
constexpr int32_t kJoltBelowState = 100;

// Debris pieces: two on a heavy hit, five at destruction.
constexpr int32_t kHeavyHitDamage = 30;
constexpr int kHitDebris = 2;
constexpr int kDestructionDebris = 5;

// Scores at or above this are never chosen.
constexpr int32_t kNoTargetScore = 100000;
constexpr float kAimAhead = 100.0f;  // the AI measures from this far ahead

// Player targeting: the drop tests run every this many steps.
constexpr int kDropTestSteps = 10;
constexpr float kFarTarget = 3000.0f;
constexpr float kNearTarget = 800.0f;
constexpr float kViewCone = 0.35f;
constexpr int32_t kTapSteps = 30;  // a held button longer than this is no tap

bool HasAttr(const Unit& unit, uint32_t attr) { return unit.type && (unit.type->attributes & attr); }
bool HasAttr(const Unit* unit, uint32_t attr) { return unit && HasAttr(*unit, attr); }

// The target class 0..3 of a unit (its type's MODE).
int ClassOf(const Unit& unit) {
  int c = unit.type ? unit.type->mode : 0;
  return c < 0 ? 0 : c > 3 ? 3 : c;
}

// Something to show: only such units are aimed at.
bool HasModel(const Unit& unit) { return unit.model || unit.surface; }

bool HasHudName(const Unit& unit) { return unit.type && !unit.type->hudNameFile.empty(); }

bool SameText(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// A targeting label is in force when it holds text: a script clears one by
// setting the empty text.
bool LabelSet(const UnitText& text) { return text.Get()[0] != 0; }

float Distance(const Vec3& a, const Vec3& b) { return platform::Vec3Length(platform::Vec3Subtract(a, b)); }

// Shots are told apart by record and spawn: a pooled record that has been
// released and handed out again is a new shot.
bool IsLastDamageSource(const Unit& victim, const Unit* source) {
  return source && victim.lastDamageSource == source && victim.lastDamageSourceSerial == source->spawnSerial;
}

void BookDamageSource(Unit& victim, Unit* source) {
  victim.lastDamageSource = source;
  victim.lastDamageSourceSerial = source->spawnSerial;
}

// A unit simulated here. Copies of other peers' units carry REMOTE; outside
// a network game every unit is local.
bool IsSimulatedHere(world::GameWorld& world, const Unit& unit) {
  return !world::IsNetworkGame(world) || IsUnitLocal(unit);
}

// A debris piece at the head, flying with the unit, scattered a little.
void PutDebris(world::GameWorld& world, Unit& unit) {
  Vec3 v = unit.velocity;
  v.x += float(world::Rand(world) % 5 - 2) * 0.05f;
  v.y += float(world::Rand(world) % 5 - 2) * 0.05f;
  v.z += float(world::Rand(world) % 5 - 2) * 0.05f;
  if (Unit* dust = world::PutSystemDust(world, GetUnitHeadPos(unit), v)) dust->velocity = v;
}

}  // namespace

// [SECTION] The hit message's wire coding

int16_t EncodeHitAmount(int32_t amount) {
  if (amount == kKillDamage) return kHitAmountKill;
  if (amount < 0) return 0;
  if (amount >= kHitAmountKill) return kHitAmountKill - 1;
  return int16_t(amount);
}

int32_t DecodeHitAmount(int16_t wire) {
  if (wire == kHitAmountKill) return kKillDamage;
  return wire < 0 ? 0 : wire;
}

void WriteHitRecord(const HitRecord& record, uint8_t out[kHitRecordBytes]) {
  auto put32 = [&](int at, int32_t value) {
    for (int i = 0; i < 4; i++) out[at + i] = uint8_t(uint32_t(value) >> (8 * i));
  };
  auto put16 = [&](int at, int16_t value) {
    out[at] = uint8_t(uint16_t(value));
    out[at + 1] = uint8_t(uint16_t(value) >> 8);
  };
  put32(0, record.victimId);
  put32(4, record.attackerId);
  put16(8, EncodeHitAmount(record.amount));
  put16(10, int16_t(record.kind));
}

HitRecord ReadHitRecord(const uint8_t in[kHitRecordBytes]) {
  auto get32 = [&](int at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= uint32_t(in[at + i]) << (8 * i);
    return int32_t(v);
  };
  auto get16 = [&](int at) { return int16_t(uint16_t(in[at] | (in[at + 1] << 8))); };
  HitRecord record;
  record.victimId = get32(0);
  record.attackerId = get32(4);
  record.amount = DecodeHitAmount(get16(8));
  record.kind = get16(10);
  return record;
}

// [SECTION] Damage and destruction

namespace {

// The hit on a unit another peer simulates goes to that peer, unspread.
void SendHit(world::GameWorld& world, Unit& victim, Unit* attacker, int32_t amount, int32_t kind) {
  HitRecord record;
  record.victimId = victim.networkId;
  record.attackerId = attacker ? attacker->networkId : -1;
  record.amount = amount;
  record.kind = kind;
  uint8_t bytes[kHitRecordBytes];
  WriteHitRecord(record, bytes);
  world::SendNetworkMessage(world, -1, world::kMsgHit, bytes, kHitRecordBytes);
}

// A hit that did not destroy: the damage-by queue, the damage level, debris
// and the jolt of the controls.
void TakeHit(world::GameWorld& world, Unit& victim, Unit* attacker, int32_t damage, int32_t kind, int32_t oldHp) {
  RecordDamageBy(victim, attacker, damage);
  float r0 = 0, r1 = 0;
  if (victim.maxHp > 0) {
    r0 = float(oldHp) / float(victim.maxHp);
    r1 = float(victim.hp) / float(victim.maxHp);
  }
  bool measured = victim.maxHp > 0;
  if (measured && r0 > 0.6f && r1 <= 0.6f) victim.damageLevel = kDamageLevelLight;
  if (measured && r0 > 0.4f && r1 <= 0.4f) victim.damageLevel = kDamageLevelHeavy;
  if (damage > kHeavyHitDamage && kind > 0)
    for (int i = 0; i < kHitDebris; i++) PutDebris(world, victim);
  if (measured && r0 > 0.2f && r1 <= 0.2f) victim.damageLevel = kDamageLevelCritical;

  if (victim.state < kJoltBelowState) {
    float offset[2];
    if (damage >= 10) {
      float a = float(world::Rand(world) % 360) * kDegreesToRadians;
      offset[0] = std::cos(a);
      offset[1] = std::sin(a);
    } else {
      offset[0] = float(world::Rand(world) % 2) - 0.5f;
      offset[1] = 0;
    }
    float* control[2] = {&victim.control.x, &victim.control.y};
    for (int i = 0; i < 2; i++) {
      if (std::fabs(*control[i] + offset[i]) > 1.0f) offset[i] = -offset[i];
      *control[i] += offset[i];
    }
  }
}

void DestroyUnit(world::GameWorld& world, Unit& victim, Unit* attacker, Unit* source, int32_t kind) {
  world::RunPathTriggers(world, kTriggerDisappear, &victim, &victim);
  world::CountUnitDestroyed(world, &victim);
  // Units simulated here only get this far: the peers hear of the loss.
  world::AnnounceUnitLoss(world, &victim, attacker, kind);
  if (attacker) RecordKill(world, *attacker, &victim);
  victim.score = 0;
  victim.hp = 0;
  SetUnitState(victim, kUnitStateDestroyed, 0);
  if (kind >= 0) world::CreateBomb(world, GetUnitHeadPos(victim), victim.velocity, 1, 0.004f);
  // The wreck tumbles.
  victim.behaviourWords[8] = uint32_t(world::Rand(world) % 5 - 2);
  victim.behaviourWords[9] = uint32_t(world::Rand(world) % 5 - 2);
  victim.behaviourWords[10] = uint32_t(world::Rand(world) % 21 - 10);
  // The player's own loss sounds once, from its start.
  if (victim.flags & kUnitPlayer) {
    world::StopWorldSound(world, kSoundPlayerDestroyed);
    world::PlayWorldSound(world, kSoundPlayerDestroyed, 0, 0, 0);
  }
  victim.damageLevel = 0;

  // Attached parts go down with it: collected first, since each destruction
  // changes the hierarchy it walks.
  std::vector<Unit*> parts;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    Unit* part = world::GetUnitAt(world, slot);
    if (!part || part == &victim || HasAttr(part, kAttrWeapon)) continue;
    if (render::DisplayObject::IsObjectDescendant(part, &victim)) parts.push_back(part);
  }
  for (Unit* part : parts) ApplyDamage(world, part, kKillDamage, -1, attacker, source);

  victim.team.Set("");
  victim.printedTeam.Set("");
  if (kind > 0)
    for (int i = 0; i < kDestructionDebris; i++) PutDebris(world, victim);
}

}  // namespace

int32_t ApplyDamage(world::GameWorld& world, Unit* victim, int32_t amount, int32_t kind, Unit* attacker,
                    Unit* source) {
  if (!victim) return 0;

  // Whether the hit counts, on the root of a BRANCH chain.
  for (int hops = 0;; hops++) {
    if (IsLastDamageSource(*victim, source)) return victim->hp;  // one shot hurts once
    if (victim->flags & kUnitInert) return victim->hp;
    if (HasAttr(*victim, kAttrGhost) && amount != kKillDamage) return victim->hp;
    if (!HasAttr(*victim, kAttrBranch) || !victim->parent || hops >= kMaxChainLength) break;
    victim = victim->parent;
  }
  if (source) BookDamageSource(*victim, source);

  if (!IsSimulatedHere(world, *victim)) {
    SendHit(world, *victim, attacker, amount, kind);
    return victim->hp;
  }
  if (victim->invulnerableSteps != 0 || IsUnitDestroyed(*victim)) return victim->hp;

  // 80 % to 120 % of the amount in steps of 10 %; the kill amount takes what
  // is left. A negative amount would heal: it hurts nothing.
  int64_t spread = amount == kKillDamage ? int64_t(victim->hp)
                                         : int64_t(amount) * (world::Rand(world) % 5 + 8) / 10;
  int32_t damage = spread < 0 ? 0 : spread > INT32_MAX ? INT32_MAX : int32_t(spread);

  // A unit is never spared its own crash (it books itself as the source);
  // shots of its team and, on a unit only the player may hurt, shots owned
  // by anyone else do nothing.
  if (source && source != victim) {
    if (SameText(source->team.Get(), victim->team.Get())) damage = 0;
    if ((victim->flags & kUnitPlayerHitsOnly) && source->master && source->master != world::GetPlayerUnit(world))
      damage = 0;
  }

  int32_t oldHp = victim->hp;
  if (victim->hp < kUnfallingHp) {
    int64_t left = int64_t(victim->hp) - damage;
    victim->hp = left < INT32_MIN ? INT32_MIN : int32_t(left);
  }
  if (source) world::RunPathTriggers(world, kTriggerDamaged, victim, victim);
  if (victim->hp != oldHp) world::RunHpTriggers(world, victim);

  if (victim->hp <= 0) DestroyUnit(world, *victim, attacker, source, kind);
  else TakeHit(world, *victim, attacker, damage, kind, oldHp);
  return victim->hp;
}

// [SECTION] AI targeting

void AutoSelectTarget(world::GameWorld& world, Unit& unit) {
  if (HasAttr(unit, kAttrWeapon) || (unit.flags & kUnitInert)) return;
  // Each unit chooses once a second, the units spread over the second.
  if (unit.lockWord != 0 || UnitAge(unit) % 60 != unit.unitId % 60) return;
  unit.target = nullptr;
  const char* team = unit.team.Get();
  if (!team[0]) return;

  Vec3 reference = platform::Vec3Add(unit.GetObjectWorldPosition(),
                                     platform::Vec3Scale(unit.GetObjectWorldFront(), kAimAhead));
  Unit* player = world::GetPlayerUnit(world);
  int level = world::GetGameLevel(world);
  int32_t best = kNoTargetScore;
  Unit* choice = nullptr;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    Unit* c = world::GetUnitAt(world, slot);
    if (!c || c == &unit || !HasModel(*c) || !c->type) continue;
    if (HasAttr(*c, kAttrWeapon) || !HasHudName(*c) || (c->flags & kUnitInert)) continue;
    if (c->sceneNumber != unit.sceneNumber || c->hp <= 0) continue;
    const char* otherTeam = c->team.Get();
    if (!otherTeam[0] || SameText(otherTeam, team)) continue;
    int k = ClassOf(*c);
    if (unit.classIgnore[k]) continue;
    const char* label = c->label.Get();
    if (LabelSet(unit.exclusiveLabel) && !SameText(label, unit.exclusiveLabel.Get())) continue;
    if (LabelSet(unit.ignoreLabel) && SameText(label, unit.ignoreLabel.Get())) continue;
    if (c->flags & kUnitIgnored) continue;

    float d = Distance(reference, c->GetObjectWorldPosition());
    if (!(d < float(kNoTargetScore))) continue;
    int32_t score = int32_t(d);
    bool isTarget = (c->flags & kUnitTarget) != 0;
    if (LabelSet(unit.priorityLabel) && SameText(label, unit.priorityLabel.Get())) score /= 2;
    if (unit.classPriority[k]) score /= 2;
    if ((unit.flags & kUnitPriorityTarget) && isTarget) score /= 2;
    if ((unit.flags & kUnitPriorityNonTarget) && !isTarget) score /= 2;
    if (level > 0 && c == player) score /= 2;
    if (level > 1 && c == player) score /= 2;
    if (score < best) {  // ties keep the earlier slot
      best = score;
      choice = c;
    }
  }
  unit.target = choice;
  if (unit.target && !unit.target->type) {
    unit.target = nullptr;
    unit.lockWord = 0;
  }
}

// [SECTION] Player targeting

namespace {

// Whether the player's target is given up this step.
bool DropPlayerTarget(Unit& unit, Unit& target, bool cycling) {
  if (!cycling) {
    if (target.hp <= 0) return true;
    if (UnitAge(unit) % kDropTestSteps == 0 && target.type) {
      Vec3 at = GetUnitHeadPos(target);
      Vec3 local = unit.TransformPointToLocal(at);
      float d = Distance(unit.GetObjectWorldPosition(), at);
      float off = std::sqrt(local.x * local.x + local.y * local.y);
      // Far unmarked targets ahead in the sight are let go; any target far
      // enough that leaves the sight is too.
      if (target.importantFlag == 0 && d > kFarTarget && local.z > 0 && off / local.z < kViewCone) return true;
      if (d > kNearTarget && (local.z <= 0 || off / local.z > kViewCone)) return true;
    }
  }
  if (SameText(target.printedTeam.Get(), unit.team.Get())) return true;
  return (target.flags & kUnitInert) || !target.type || !HasModel(target);
}

// The nearest unit the player could aim at, or null.
Unit* NearestPlayerTarget(world::GameWorld& world, Unit& unit) {
  Vec3 from = unit.GetObjectWorldPosition();
  const char* team = unit.team.Get();
  int32_t best = kNoTargetScore;
  Unit* choice = nullptr;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    Unit* c = world::GetUnitAt(world, slot);
    if (!c || c == &unit || (c->flags & kUnitInert) || !HasModel(*c) || c->hp <= 0 || !HasHudName(*c)) continue;
    const char* printed = c->printedTeam.Get();
    if (!printed[0] || SameText(printed, team)) continue;
    float d = Distance(from, c->GetObjectWorldPosition());
    if (!(d < float(kNoTargetScore))) continue;
    if (int32_t(d) < best) {
      best = int32_t(d);
      choice = c;
    }
  }
  return choice;
}

}  // namespace

void SelectPlayerTarget(world::GameWorld& world, Unit& unit, const PlayerTargetInput& input) {
  bool held = input.next || input.previous;
  Unit* before = unit.target;
  bool dropped = false;
  if (unit.target && DropPlayerTarget(unit, *unit.target, held)) {
    unit.target = nullptr;
    dropped = true;
  }

  // A tap of a cycling button has just ended, or the target is gone: the
  // world's finder is asked, from the narrowest choice to the widest.
  int32_t word = unit.targetCyclingWord;
  bool tapped = word != 0 && std::abs(word) <= kTapSteps && !held;
  if (tapped || dropped) {
    int forward = word >= 0 ? 1 : 0;
    static constexpr int kFilters[3][2] = {{1, 1}, {1, 0}, {0, 0}};
    for (const auto& f : kFilters) {
      Unit* found = world::FindTarget(world, &unit, unit.target, f[0], forward, f[1]);
      if (!found) found = world::FindTarget(world, &unit, nullptr, f[0], forward, f[1]);
      if (found) {
        unit.target = found;
        break;
      }
    }
  }
  if (!unit.target) unit.target = NearestPlayerTarget(world, unit);

  if (unit.target != before || (unit.target && unit.target->hp <= 0)) unit.lockWord = 0;

  if (!unit.target || !HasModel(*unit.target)) unit.targetCyclingWord = 0;
  else if (input.next) unit.targetCyclingWord++;
  else if (input.previous) unit.targetCyclingWord--;
  else unit.targetCyclingWord = 0;
}

// [SECTION] Enemy and lock-on tests

int IsEnemyUnit(world::GameWorld&, Unit& unit, Unit& other) {
  if (!HasModel(other) || &other == &unit || &other == unit.master) return 0;
  if (SameText(other.team.Get(), unit.team.Get()) || other.sceneNumber != unit.sceneNumber) return 0;
  if (IsLastDamageSource(other, &unit)) return 0;
  return HasAttr(other, kAttrWeapon) ? 0 : 1;
}

float GetLockOnRange(world::GameWorld&, Unit& unit, Unit& other) {
  int slot = unit.currentWeaponSlot;
  bool slotValid = slot >= 0 && slot < kUnitWeaponSlots;
  // A weapon unit locks on with its own type, a carrier with its slot's.
  const UnitType* weapon = HasAttr(unit, kAttrWeapon) ? unit.type : slotValid ? unit.weaponTypes[slot] : nullptr;
  if (other.flags & kUnitInert) return 0;
  const char* printed = other.printedTeam.Get();
  if (!printed[0] || SameText(printed, unit.team.Get())) return 0;
  if (IsUnitBlinded(unit)) return 0;
  if (!weapon || !HasHudName(other)) return 0;
  bool armed = weapon == unit.type || (slotValid && unit.ammo[slot][0] > 0);
  return armed ? float(weapon->range[ClassOf(other)]) : 0.0f;
}

}  // namespace units
