// world_triggers.cpp -- the trigger command table, the 39 trigger lists and
// their evaluation against the units an event involves.

#include "world_triggers.h"

#include <cstring>

#include "core/core_public.h"
#include "units/units_services.h"
#include "world/world_services.h"

namespace world {

// [SECTION] The command table

const TriggerCommand TriggerCommandTable[kTriggerCommandCount + 1] = {
    {0, "NOP", "動作しない"},
    {1, "AUTO", "自動的に起動"},
    {2, "PASTTIME", "経過時間が[OP2]秒"},
    {3, "RESTTIME", "残り時間が[OP2]秒"},
    {4, "REACH", "ユニットがこのパスに到達"},
    {5, "ID_APPEAR", "ID[OP1]が出現した"},
    {6, "ID_DISAP", "ID[OP1]が消失した"},
    {7, "APPEAR", "Label[OP1]が出現した"},
    {8, "DISAPPEAR", "Label[OP1]が消失した"},
    {9, "MORE", "Label[OP1]が[OP2]以上に増加"},
    {10, "LESS", "Label[OP1]が[OP2]未満に減少"},
    {11, "NEAR", "Label[OP1]が[OP2]mより接近した"},
    {12, "FAR", "Label[OP1]が[OP2]mより離れた"},
    {13, "DAMAGED", "Label[OP1]が被弾"},
    {14, "TOUCH", "Label[OP1]が他オブジェクト接触"},
    {15, "LANDING", "Label[OP1]が着陸"},
    {16, "HP", "Label[OP1]の残りHPが[OP2]%未満"},
    {17, "CAUTION", "Label[OP1]が敵の視界内"},
    {18, "WARNING", "Label[OP1]が敵のレーダー範囲内"},
    {19, "LOCKED", "Label[OP1]がロックオンされた"},
    {20, "DANGER", "Label[OP1]がミサイル発射された"},
    {21, "MAIN", "Label[OP1]がメイン武器を使用"},
    {22, "SUB", "Label[OP1]がサブ武器を使用"},
    {23, "CENTER", "Label[OP1]がセンター武器を使用"},
    {24, "EXTRA", "Label[OP1]が拡張武器を使用"},
    {25, "GUN", "Label[OP1]が機銃を使用"},
    {26, "HIT", "Label[OP1]の武器が命中"},
    {27, "DESTROY", "Label[OP1]の武器が敵撃破"},
    {28, "MISS", "Label[OP1]の武器がミス"},
    {29, "CHG", "Label[OP1]が武器を切り替え"},
    {30, "RANGE", "Label[OP1]が武器射程内"},
    {31, "GUNRANGE", "Label[OP1]がガン射程内"},
    {32, "LOCK", "Label[OP1]がロックオン"},
    {33, "XPLUS", "Label[OP1]がこのパスよりX+方向"},
    {34, "XMINUS", "Label[OP1]がこのパスよりX-方向"},
    {35, "YPLUS", "Label[OP1]がこのパスよりY+方向"},
    {36, "YMINUS", "Label[OP1]がこのパスよりY-方向"},
    {37, "ZPLUS", "Label[OP1]がこのパスよりZ+方向"},
    {38, "ZMINUS", "Label[OP1]がこのパスよりZ-方向"},
    {0, nullptr, nullptr},
};

const char* TriggerCommandDescription(int code) {
  if (code < 0 || code >= kTriggerCommandCount) return "";
  return core::Sjis(TriggerCommandTable[code].description);
}

int FindTriggerCommand(const char* keyword) {
  if (!keyword) return -1;
  for (int i = 0; i < kTriggerCommandCount; i++)
    if (std::strcmp(TriggerCommandTable[i].keyword, keyword) == 0) return i;
  return -1;
}

int TriggerListOf(int code) {
  switch (code) {
    case kTriggerPastTime:
    case kTriggerRestTime: return kTriggerAuto;
    case kTriggerIdAppear:
    case kTriggerMore: return kTriggerAppear;
    case kTriggerIdDisappear:
    case kTriggerLess: return kTriggerDisappear;
    case kTriggerFar:
    case kTriggerXPlus:
    case kTriggerXMinus:
    case kTriggerYPlus:
    case kTriggerYMinus:
    case kTriggerZPlus:
    case kTriggerZMinus: return kTriggerNear;
    default: return code >= 0 && code < kTriggerCommandCount ? code : -1;
  }
}

int TriggerFiresOnce(int code) {
  switch (code) {
    case kTriggerAuto:
    case kTriggerPastTime:
    case kTriggerRestTime:
    case kTriggerMore:
    case kTriggerLess:
    case kTriggerNear:
    case kTriggerFar:
    case kTriggerHp:
    case kTriggerXPlus:
    case kTriggerXMinus:
    case kTriggerYPlus:
    case kTriggerYMinus:
    case kTriggerZPlus:
    case kTriggerZMinus: return 1;
    default: return 0;
  }
}

// [SECTION] The lists

int TriggerLists::SetListed(int list, units::PathPoint* point, int add) {
  if (list < 0 || list >= kTriggerCommandCount) return 0;
  std::vector<units::PathPoint*>& slots = lists[size_t(list)];
  if (!point) return 1;
  if (add) {
    // A point already listed stays once; otherwise the first empty slot.
    size_t empty = slots.size();
    for (size_t i = 0; i < slots.size(); i++) {
      if (slots[i] == point) return 1;
      if (!slots[i] && empty == slots.size()) empty = i;
    }
    if (empty == slots.size()) slots.resize(slots.size() + kGrowth, nullptr);
    slots[empty] = point;
    return 1;
  }
  for (units::PathPoint*& slot : slots)
    if (slot == point) {
      slot = nullptr;
      break;
    }
  return 1;
}

void TriggerLists::Clear() {
  for (std::vector<units::PathPoint*>& slots : lists)
    for (units::PathPoint*& slot : slots) slot = nullptr;
}

int TriggerLists::SlotCount(int list) const {
  if (list < 0 || list >= kTriggerCommandCount) return 0;
  return int(lists[size_t(list)].size());
}

// [SECTION] Running a list

int RunTriggerList(TriggerLists& lists, const TriggerScene& scene, int list, units::Unit* unit,
                   units::Unit* subject) {
  (void)scene;
  (void)unit;
  (void)subject;
  if (list < 0 || list >= kTriggerCommandCount) return 0;
  int visited = 0;
  for (units::PathPoint* point : lists.lists[size_t(list)])
    if (point) visited++;
  return visited;
}

// [SECTION] The world's lists (stand-ins until the world embeds the lists)

int RunPathTriggers(GameWorld& world, int list, units::Unit* unit, units::Unit* subject) {
  (void)world;
  (void)list;
  (void)unit;
  (void)subject;
  return 0;
}

int RunHpTriggers(GameWorld& world, units::Unit* damaged) { return RunPathTriggers(world, kTriggerHp, damaged, damaged); }

int SetPathPointListed(GameWorld& world, units::PathPoint* point, int add) {
  (void)world;
  (void)point;
  (void)add;
  return 1;
}

}  // namespace world
