// units_triggers.cpp -- the trigger command table: the events a path point
// can carry, their keywords and descriptions.

#include "units/units_paths.h"

#include <cstring>

#include "core/core_public.h"

namespace units {

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

}  // namespace units
