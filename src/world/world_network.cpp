// world_network.cpp -- the game messages of a network game: every peer
// simulates its own units and shows copies of the others'. Unit states go
// out by UDP at the end of each world step; shots, hits, losses, deletions
// and texts by TCP as they happen; everything received is applied at the
// start of the next world step, on the main thread.
//
// Payloads are little-endian records, built and read here byte by byte so
// that no struct layout reaches the wire. Nothing read is trusted: record
// counts come from whole records, every index is range-checked, and a
// record with a non-finite number is dropped.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/core_public.h"
#include "net/net_public.h"
#include "render/render_public.h"
#include "units/units_services.h"
#include "world_local.h"

namespace world {

namespace {

// [SECTION] Wire records

constexpr int kUnitStateBytes = 92;
constexpr int kShotBytes = 36;
constexpr int kSpriteBytes = 72;
constexpr int kLossBytes = 12;
constexpr int kPlayerDataBytes = 4 + 4 * NetworkDataTable::kColumns;
constexpr int kTextBytes = 256;
constexpr int kBatchBytes = 4096;
constexpr int kTextField = 16;

// Unit ids of creators 41 and above name no peer.
constexpr int32_t kFirstForeignId = 0x29000000;
constexpr int kCopyLifeSteps = 120;
constexpr float kJumpDistance = 50.0f;
constexpr int kGlideSteps = 60;
// Option bits a copy carries beside the received ones.
constexpr uint32_t kCopyPlaced = 0x20;
// The weapon word a laser shot's copy starts from.
constexpr int32_t kLaserCopyWord = 10;

constexpr int kSoundLaserShot = 30;
constexpr int kSoundHit = 8;
constexpr int kSoundExplosion = 9;
constexpr int kSoundGunImpact = 10;  // 10..12
constexpr int kSoundGrenadeImpact = 13;

struct Writer {
  uint8_t* p;
  int at = 0;
  void I32(int32_t v) {
    for (int i = 0; i < 4; i++) p[at++] = uint8_t(uint32_t(v) >> (8 * i));
  }
  void I16(int32_t v) {
    p[at++] = uint8_t(uint32_t(v));
    p[at++] = uint8_t(uint32_t(v) >> 8);
  }
  void I8(int32_t v) { p[at++] = uint8_t(v); }
  void F32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    I32(int32_t(u));
  }
  void Text(const char* s) {
    size_t n = std::min(std::strlen(s), size_t(kTextField - 1));
    std::memcpy(p + at, s, n);
    std::memset(p + at + n, 0, size_t(kTextField) - n);
    at += kTextField;
  }
  void Zero(int n) {
    std::memset(p + at, 0, size_t(n));
    at += n;
  }
};

struct Reader {
  const uint8_t* p;
  int at = 0;
  bool finite = true;  // false once a non-finite float was read
  int32_t I32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= uint32_t(p[at++]) << (8 * i);
    return int32_t(v);
  }
  int16_t I16() {
    uint16_t v = uint16_t(p[at] | (p[at + 1] << 8));
    at += 2;
    return int16_t(v);
  }
  int8_t I8() { return int8_t(p[at++]); }
  float F32() {
    uint32_t u = uint32_t(I32());
    float f;
    std::memcpy(&f, &u, 4);
    if (!std::isfinite(f)) finite = false;
    return f;
  }
  Vec3 V3() {
    Vec3 v;
    v.x = F32();
    v.y = F32();
    v.z = F32();
    return v;
  }
  // A 16-byte text field, cut at its first NUL and always terminated.
  void Text(char out[kTextField]) {
    std::memcpy(out, p + at, kTextField);
    out[kTextField - 1] = 0;
    at += kTextField;
  }
};

// A float times a factor, truncated toward zero and held to [lo, hi]; a
// value outside the field is clamped, never wrapped, and NaN sends 0.
int32_t Quantise(float value, float factor, int32_t lo, int32_t hi) {
  float v = value * factor;
  if (!(v == v)) return 0;
  if (v <= float(lo)) return lo;
  if (v >= float(hi)) return hi;
  return int32_t(v);
}
int32_t Q16(float value, float factor) { return Quantise(value, factor, -32768, 32767); }
int32_t Q8(float value, float factor) { return Quantise(value, factor, -128, 127); }

bool Session(GameWorld& world) { return world.network && world.network->IsOpen(); }

int OwnId(GameWorld& world) { return world.network ? world.network->GetOwnId() : -1; }

int Send(GameWorld& world, int to, int type, const uint8_t* payload, int length, bool udp) {
  if (!Session(world)) return -1;
  int r = world.network->Send(to, -1, type, payload, length, udp ? net::kSendByUdp : 0);
  return r < 0 ? -1 : 0;
}

units::UnitType* TypeAt(GameWorld& world, int32_t index) {
  return units::GetUnitTypeByIndex(GetUnitDatabase(world), index);
}

int32_t TypeIndexOf(GameWorld& world, const units::UnitType* type) {
  if (!type) return -1;
  units::UnitDatabase& db = GetUnitDatabase(world);
  if (type->slotIndex >= 0 && size_t(type->slotIndex) < db.types.size() &&
      db.types[size_t(type->slotIndex)].get() == type)
    return type->slotIndex;
  for (size_t i = 0; i < db.types.size(); i++)
    if (db.types[i].get() == type) return int32_t(i);
  return -1;
}

bool IsPlayerUnit(const units::Unit* unit) { return unit && (unit->flags & units::kUnitPlayer) != 0; }

// A copy takes the received texts as they are, bounded by their fields.
void SetCopyTexts(units::Unit& unit, const char* team, const char* label) {
  units::SetUnitTeam(unit, team);
  units::SetUnitPrintedTeam(unit, team);
  if (label) units::SetUnitLabel(unit, label);
}

// [SECTION] Loss texts

// The on-screen line for a loss, as the owner's peer and every receiver
// build it; "" when there is none to show.
std::string LossText(GameWorld& world, units::Unit* victim, units::Unit* killer, int32_t victimId,
                     int32_t killerId) {
  char line[256];
  line[0] = 0;
  if (!world.network) return "";
  std::string victimName = world.network->GetPlayerName(int32_t(uint32_t(victimId) >> 24));
  std::string killerName = killer ? world.network->GetPlayerName(int32_t(uint32_t(killerId) >> 24)) : "";
  if (IsPlayerUnit(victim)) {
    if (killerId == -1)
      std::snprintf(line, sizeof line, core::Sjis("[%s]がコースアウトしました。"), victimName.c_str());
    else if (killerId == victimId)
      std::snprintf(line, sizeof line, core::Sjis("[%s]が自滅しました。"), victimName.c_str());
    else if (IsPlayerUnit(killer))
      std::snprintf(line, sizeof line, core::Sjis("[%s]が[%s]に撃墜されました。"), victimName.c_str(),
                    killerName.c_str());
    else
      std::snprintf(line, sizeof line, core::Sjis("[%s]が敵に撃墜されました。"), victimName.c_str());
  } else if (victim && IsPlayerUnit(killer)) {
    const char* typeName = victim->type ? victim->type->name.c_str() : "";
    std::snprintf(line, sizeof line, core::Sjis("[%s]が[%s]を撃破しました。"), killerName.c_str(), typeName);
  }
  return line;
}

// [SECTION] Applying received messages

// The team text a copy shows: the own team (or name) when the sender's
// matches it or either side is spectating, else the sender's.
std::string CopyTeam(GameWorld& world, const char* received) {
  const char* watching = core::Sjis("観戦中");
  std::string own = world.network->GetPlayerTeamOrName(world.networkOwnId);
  if (own == received || std::strcmp(received, watching) == 0 || own == watching) return own;
  return received;
}

// Parent link of a copy: cleared, then the unit with the given id. False
// when the id names no unit: the copy is then taken out and released.
bool LinkCopyParent(GameWorld& world, units::Unit& copy, int32_t parentId) {
  units::SetUnitParent(copy, nullptr);
  if (parentId == 0) return true;
  units::Unit* parent = FindUnitByNetworkId(world, parentId);
  if (parent && parent != &copy && !render::DisplayObject::IsObjectDescendant(parent, &copy)) {
    units::SetUnitParent(copy, parent);
    return true;
  }
  CountUnitOut(world, &copy);
  ReleaseMatchingUnits(world, &copy);
  return false;
}

void ApplyUnitState(GameWorld& world, Reader& r) {
  int32_t id = r.I32();
  int32_t targetId = r.I32();
  int32_t parentId = r.I32();
  r.I16();  // the sender's step counter
  int32_t state = r.I16();
  uint32_t bits = uint32_t(r.I32());
  int32_t typeIndex = r.I32();
  Vec3 position = r.V3();
  Vec3 angles;
  angles.x = float(r.I16()) / 10000.0f;
  angles.y = float(r.I16()) / 10000.0f;
  angles.z = float(r.I16()) / 10000.0f;
  Vec3 scale;
  scale.x = float(r.I16() + 100) / 100.0f;
  scale.y = float(r.I16() + 100) / 100.0f;
  scale.z = float(r.I16() + 100) / 100.0f;
  char team[kTextField], label[kTextField];
  r.Text(team);
  r.Text(label);
  Vec3 velocity;
  velocity.x = float(r.I16()) / 1000.0f;
  velocity.y = float(r.I16()) / 1000.0f;
  velocity.z = float(r.I16()) / 1000.0f;
  Vec3 moment;
  moment.x = float(r.I8()) / 100.0f;
  moment.y = float(r.I8()) / 100.0f;
  moment.z = float(r.I8()) / 100.0f;
  float throttle = float(r.I8()) / 100.0f;
  int32_t score = r.I16();

  if (!r.finite || id >= kFirstForeignId || id < 0 || IsNetworkIdLocal(world, id)) return;
  units::UnitType* type = TypeAt(world, typeIndex);
  if (!type) return;
  std::string copyTeam = CopyTeam(world, team);

  units::Unit* copy = FindUnitByNetworkId(world, id);
  if (!copy) {
    if (type->attributes & units::kAttrWeapon) {
      copy = SpawnOwnedUnit(world, position, Vec3{0, 0, 1}, nullptr, type);
    } else {
      uint32_t placed = (bits & ~uint32_t(units::kUnitPlayer)) | kCopyPlaced | units::kUnitRemote;
      copy = PutUnit(world, copyTeam.c_str(), type, 0, "", placed, position, angles, nullptr);
    }
    if (!copy) return;
    copy->SetObjectScale(scale.x, scale.y, scale.z);
    copy->networkId = id;
  }
  SetCopyTexts(*copy, copyTeam.c_str(), nullptr);

  copy->flags = bits | units::kUnitRemote;
  if (bits & units::kUnitPlayer) copy->importantFlag = 1;
  if (copy->state != state) units::SetUnitState(*copy, state, -1);
  copy->target = targetId != 0 ? FindUnitByNetworkId(world, targetId) : nullptr;
  if (!LinkCopyParent(world, *copy, parentId)) return;

  Vec3 current = copy->GetObjectPosition();
  Vec3 d{position.x - current.x, position.y - current.y, position.z - current.z};
  copy->SetObjectAngles(angles.x, angles.y, angles.z);
  if (std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) > kJumpDistance) {
    copy->SetObjectPosition(position.x, position.y, position.z);
    units::SetUnitImpulse(*copy, Vec3{}, Vec3{}, 0);
  } else {
    float n = float(kGlideSteps);
    units::SetUnitImpulse(*copy, Vec3{d.x / n, d.y / n, d.z / n}, Vec3{}, kGlideSteps);
  }
  copy->velocity = velocity;
  copy->moment = moment;
  copy->throttle = throttle;
  copy->score = score;
  units::SetUnitLabel(*copy, label);
  copy->lifeTimer = kCopyLifeSteps;
}

void ApplyShot(GameWorld& world, int type, Reader& r) {
  int32_t id = r.I32();
  int32_t shooterId = r.I32();
  Vec3 position = r.V3();
  Vec3 direction = r.V3();
  int32_t typeIndex = r.I16();
  if (!r.finite || IsNetworkIdLocal(world, id)) return;
  units::UnitType* shotType = TypeAt(world, typeIndex);
  units::Unit* shooter = FindUnitByNetworkId(world, shooterId);
  if (!shotType || !shooter) return;
  units::Unit* shot = SpawnOwnedUnit(world, position, direction, shooter, shotType);
  if (!shot) return;
  shot->flags |= units::kUnitRemote;
  if (type == kMsgLaserShot) {
    units::SetUnitParent(*shot, shooter);
    Vec3 s = shot->GetObjectScale();
    shot->SetObjectScale(s.x * 0.25f, s.y * 0.25f, s.z * 0.25f);
    shot->behaviourWords[8] = uint32_t(kLaserCopyWord);
    units::PlaySoundAt(world, kSoundLaserShot, shooter->GetObjectWorldPosition(), 0);
  }
  shot->networkId = id;
  shot->lifeTimer = kCopyLifeSteps;
}

void ApplySprite(GameWorld& world, Reader& r) {
  int32_t id = r.I32();
  int32_t parentId = r.I32();
  uint32_t bits = uint32_t(r.I32());
  int32_t typeIndex = r.I32();
  Vec3 position = r.V3();
  Vec3 angles, scale;
  angles.x = float(r.I16()) / 10000.0f;
  angles.y = float(r.I16()) / 10000.0f;
  angles.z = float(r.I16()) / 10000.0f;
  scale.x = float(r.I16()) / 100.0f;
  scale.y = float(r.I16()) / 100.0f;
  scale.z = float(r.I16()) / 100.0f;
  char team[kTextField];
  r.Text(team);
  float rect[4], colour[4];
  for (float& v : rect) v = float(r.I16());
  for (float& v : colour) v = float(r.I16()) / 255.0f;

  if (!r.finite || id >= kFirstForeignId || id < 0 || IsNetworkIdLocal(world, id)) return;
  if ((id & 0xFFFFFF) > CountUnitSlots(world)) return;
  units::UnitType* type = TypeAt(world, typeIndex);
  if (!type) return;
  units::Unit* copy = FindUnitByNetworkId(world, id);
  if (!copy) {
    copy = PutUnit(world, team, type, 0, "", bits | kCopyPlaced | units::kUnitRemote, position, angles, nullptr);
    if (!copy) return;
  } else {
    SetCopyTexts(*copy, team, nullptr);
  }
  copy->networkId = id;
  if (world.graphics && copy->surface) copy->BuildSurfaceGeometry(*world.graphics, rect[0], rect[1], rect[2], rect[3]);
  copy->SetObjectColor(colour[0], colour[1], colour[2], colour[3]);
  copy->lifeTimer = kCopyLifeSteps;
  if (!LinkCopyParent(world, *copy, parentId)) return;
  copy->SetObjectScale(scale.x, scale.y, scale.z);
  copy->SetObjectAngles(angles.x, angles.y, angles.z);
  copy->SetObjectPosition(position.x, position.y, position.z);
}

void ApplyHit(GameWorld& world, const uint8_t* payload) {
  units::HitRecord hit = units::ReadHitRecord(payload);
  units::Unit* victim = FindUnitByNetworkId(world, hit.victimId);
  if (!victim || !IsNetworkIdLocal(world, hit.victimId) || hit.attackerId == -1) return;
  units::Unit* attacker = FindUnitByNetworkId(world, hit.attackerId);
  if (!attacker) return;
  units::ApplyDamage(world, victim, hit.amount, hit.kind, attacker, nullptr);
  Vec3 at = victim->GetObjectWorldPosition();
  switch (hit.kind) {
    case units::kTypeGun: {
      int sound = kSoundGunImpact + Rand(world) % 3;
      units::PlaySoundAt(world, sound, at, 16500 + 220 * (Rand(world) % 50));
      CreateBomb(world, at, victim->velocity, 0, 0.0f);
      break;
    }
    case units::kTypeGrenade:
      units::PlaySoundAt(world, kSoundGrenadeImpact, at, 0);
      units::PlaySoundAt(world, kSoundGunImpact + Rand(world) % 3, at, 0);
      CreateBomb(world, at, victim->velocity, 0, 0.0f);
      break;
    case units::kTypeMissile:
    case units::kTypeBomb:
      CreateBomb(world, at, victim->velocity, 3, 0.0f);
      units::PlaySoundAt(world, kSoundHit, at, 0);
      units::PlaySoundAt(world, kSoundExplosion, at, 0);
      break;
    default:
      break;
  }
}

void ApplyLoss(GameWorld& world, Reader& r) {
  int32_t victimId = r.I32();
  int32_t killerId = r.I32();
  int32_t cause = r.I32();
  units::Unit* victim = FindUnitByNetworkId(world, victimId);
  units::Unit* killer = killerId == -1 ? nullptr : FindUnitByNetworkId(world, killerId);
  if (!victim || IsNetworkIdLocal(world, victimId)) return;
  CountUnitDestroyed(world, victim);
  units::SetUnitHp(*victim, 0, 100);
  if (killer) units::RecordKill(world, *killer, victim);
  if (cause < 0) return;
  std::string text = LossText(world, victim, killer, victimId, killerId);
  if (!text.empty()) PushScreenMessage(world, text.c_str());
}

void ApplyDeletion(GameWorld& world, int32_t id) {
  if (IsNetworkIdLocal(world, id)) return;
  // Released one at a time: releasing may free others of the same id.
  for (int guard = 0; guard < CountUnitSlots(world); guard++) {
    units::Unit* unit = FindUnitByNetworkId(world, id);
    if (!unit) break;
    ReleaseMatchingUnits(world, unit);
  }
}

void ApplyPlayerData(GameWorld& world, Reader& r) {
  int32_t sender = r.I32();
  if (sender == world.networkOwnId || sender < 0 || sender >= NetworkDataTable::kRows) return;
  for (int c = 0; c < NetworkDataTable::kColumns; c++) world.networkData.entries[sender][c] = r.I32();
}

void ApplyText(GameWorld& world, const uint8_t* payload, int length) {
  char text[kTextBytes];
  int n = std::min(length, kTextBytes - 1);
  std::memcpy(text, payload, size_t(n));
  text[n] = 0;
  PushScreenMessage(world, text);
  world.network->AddLogLine(text);
}

}  // namespace

// [SECTION] Ownership

bool IsNetworkIdLocal(GameWorld& world, int32_t networkId) {
  if (!world.networkGame) return true;
  // The own id as the last network step saw it: asking the endpoint takes
  // its lock, which the receive thread holds while it relays.
  return (uint32_t(networkId) >> 24) == uint32_t(world.networkOwnId & 0xFF);
}

units::Unit* FindUnitByNetworkId(GameWorld& world, int32_t networkId) {
  if (networkId == -1) return nullptr;
  int slots = CountUnitSlots(world);
  for (int slot = 1; slot < slots; slot++) {
    units::Unit* unit = GetUnitAt(world, slot);
    if (unit && unit->networkId == networkId) return unit;
  }
  return nullptr;
}

// [SECTION] Receiving

void ApplyNetworkMessages(GameWorld& world) {
  if (!Session(world)) return;
  net::NetworkSession& session = *world.network;
  world.networkOwnId = OwnId(world);
  std::vector<uint8_t> payload;
  int type = 0, length = 0;
  while (session.PeekMessage(&type, &length) > 0) {
    payload.assign(size_t(std::max(length, 0)), 0);
    session.PopMessage(payload.data(), length);
    const uint8_t* p = payload.data();
    switch (type) {
      case kMsgUnitStates:
        for (int at = 0; at + kUnitStateBytes <= length; at += kUnitStateBytes) {
          Reader r{p + at};
          ApplyUnitState(world, r);
        }
        break;
      case kMsgGunShot:
      case kMsgLaserShot:
        if (length >= kShotBytes) {
          Reader r{p};
          ApplyShot(world, type, r);
        }
        break;
      case kMsgSprites:
        for (int at = 0; at + kSpriteBytes <= length; at += kSpriteBytes) {
          Reader r{p + at};
          ApplySprite(world, r);
        }
        break;
      case kMsgHit:
        if (length >= units::kHitRecordBytes) ApplyHit(world, p);
        break;
      case kMsgLoss:
        if (length >= kLossBytes) {
          Reader r{p};
          ApplyLoss(world, r);
        }
        break;
      case kMsgUnitDeleted:
        if (length >= 4) {
          Reader r{p};
          ApplyDeletion(world, r.I32());
        }
        break;
      case kMsgPlayerData:
        if (length >= kPlayerDataBytes) {
          Reader r{p};
          ApplyPlayerData(world, r);
        }
        break;
      case kMsgText:
        ApplyText(world, p, length);
        break;
      default:
        break;  // not a game message: removed unread
    }
  }
}

void DropNetworkMessages(GameWorld& world) {
  if (!Session(world)) return;
  while (world.network->QueuedCount() > 0) world.network->PopMessage(nullptr, 0);
}

// [SECTION] Sending

int SendUnitStates(GameWorld& world, int step) {
  if (!Session(world) || (step & 1)) return 0;
  int own = OwnId(world);
  if (own < 0) return 0;
  world.networkOwnId = own;
  int n = world.network->PeerCount() + 7;
  int group = (step / 2) % n;
  uint8_t batch[kBatchBytes];
  int used = 0, sent = 0;
  bool failed = false;
  auto flush = [&]() {
    if (used == 0) return;
    if (Send(world, -1, kMsgUnitStates, batch, used, true) < 0) failed = true;
    used = 0;
  };
  int slots = CountUnitSlots(world);
  units::Unit* player = GetPlayerUnit(world);
  for (int slot = 1; slot < slots; slot++) {
    if (slot % n != group) continue;
    units::Unit* unit = GetUnitAt(world, slot);
    if (!UnitHasGraphics(unit) || !unit->type) continue;  // live: it has something to show
    if (unit->networkId < 0 || (uint32_t(unit->networkId) >> 24) != uint32_t(own)) continue;
    if ((unit->type->textureStyle[0] & 0x40) || (unit->type->attributes & units::kAttrNoNetwork)) continue;
    if (unit->state == units::kUnitStateNoStep) continue;
    if (world.reducedEffects && player &&
        (unit == player || render::DisplayObject::IsObjectDescendant(unit, player)))
      continue;
    if (used + kUnitStateBytes > kBatchBytes) flush();

    Writer w{batch, used};
    w.I32(unit->networkId);
    w.I32(unit->target ? unit->target->networkId : 0);
    w.I32(unit->parent ? unit->parent->networkId : 0);
    w.I16(step);
    w.I16(unit->state);
    w.I32(int32_t(unit->flags));
    w.I32(TypeIndexOf(world, unit->type));
    Vec3 p = unit->GetObjectPosition();
    w.F32(p.x);
    w.F32(p.y);
    w.F32(p.z);
    Vec3 a = unit->GetObjectAngles();
    w.I16(Q16(a.x, 10000.0f));
    w.I16(Q16(a.y, 10000.0f));
    w.I16(Q16(a.z, 10000.0f));
    Vec3 s = unit->GetObjectScale();
    w.I16(Quantise(s.x, 100.0f, -32768 + 100, 32767 + 100) - 100);
    w.I16(Quantise(s.y, 100.0f, -32768 + 100, 32767 + 100) - 100);
    w.I16(Quantise(s.z, 100.0f, -32768 + 100, 32767 + 100) - 100);
    w.Text(unit->team.Get());
    w.Text(unit->label.Get());
    w.I16(Q16(unit->velocity.x, 1000.0f));
    w.I16(Q16(unit->velocity.y, 1000.0f));
    w.I16(Q16(unit->velocity.z, 1000.0f));
    w.I8(Q8(unit->moment.x, 100.0f));
    w.I8(Q8(unit->moment.y, 100.0f));
    w.I8(Q8(unit->moment.z, 100.0f));
    w.I8(Q8(unit->throttle, 100.0f));
    w.I16(std::clamp(unit->score, -32768, 32767));
    used = w.at;
    sent++;
  }
  flush();
  return failed ? -1 : sent;
}

int SendPlayerData(GameWorld& world) {
  if (!Session(world)) return 0;
  int own = OwnId(world);
  if (own < 0 || own >= NetworkDataTable::kRows) return 0;
  uint8_t payload[kPlayerDataBytes];
  Writer w{payload};
  w.I32(own);
  for (int c = 0; c < NetworkDataTable::kColumns; c++) w.I32(world.networkData.entries[own][c]);
  return Send(world, -1, kMsgPlayerData, payload, w.at, true) < 0 ? -1 : 0;
}

int SendNetworkMessage(GameWorld& world, int to, int type, const uint8_t* payload, int length) {
  if (!world.networkGame) return 0;
  return Send(world, to, type, payload, length, false);
}

int SendNetworkText(GameWorld& world, int to, const char* text) {
  if (!Session(world) || !text) return -1;
  size_t n = std::min(std::strlen(text), size_t(kTextBytes - 1));
  std::vector<uint8_t> payload(n + 1, 0);
  std::memcpy(payload.data(), text, n);
  return Send(world, to, kMsgText, payload.data(), int(payload.size()), false);
}

void AnnounceShot(GameWorld& world, units::Unit& shot, units::Unit* shooter) {
  if (!world.networkGame || !shooter || !shot.type) return;
  if (!IsNetworkIdLocal(world, shooter->networkId) || !units::IsUnitLocal(*shooter)) return;
  int type = (shot.type->attributes & units::kAttrGun)     ? kMsgGunShot
             : (shot.type->attributes & units::kAttrLaser) ? kMsgLaserShot
                                                           : 0;
  if (!type) return;
  uint8_t payload[kShotBytes];
  Writer w{payload};
  w.I32(shot.networkId);
  w.I32(shooter->networkId);
  Vec3 p = shot.GetObjectPosition();
  w.F32(p.x);
  w.F32(p.y);
  w.F32(p.z);
  w.F32(shot.velocity.x);
  w.F32(shot.velocity.y);
  w.F32(shot.velocity.z);
  w.I16(TypeIndexOf(world, shot.type));
  w.Zero(2);
  Send(world, -1, type, payload, w.at, false);
}

void AnnounceUnitLoss(GameWorld& world, units::Unit* victim, units::Unit* killer, int32_t cause) {
  if (!world.networkGame || !victim || !IsNetworkIdLocal(world, victim->networkId)) return;
  int32_t victimId = victim->networkId;
  int32_t killerId = killer ? killer->networkId : -1;
  uint8_t payload[kLossBytes];
  Writer w{payload};
  w.I32(victimId);
  w.I32(killerId);
  w.I32(cause);
  Send(world, -1, kMsgLoss, payload, w.at, false);
  if (cause < 0) return;
  std::string text = LossText(world, victim, killer, victimId, killerId);
  if (text.empty()) return;
  uint8_t line[net::kConsoleTextLimit] = {};
  std::memcpy(line, text.data(), std::min(text.size(), sizeof line - 1));
  Send(world, 0, net::kMsgConsoleText, line, int(sizeof line), false);
}

int NotifyUnitDeleted(GameWorld& world, int32_t networkId) {
  if (!world.networkGame || networkId < 0 || !IsNetworkIdLocal(world, networkId)) return 0;
  uint8_t payload[4];
  Writer w{payload};
  w.I32(networkId);
  return Send(world, -1, kMsgUnitDeleted, payload, w.at, false);
}

}  // namespace world
