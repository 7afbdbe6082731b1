// world_scene_files.cpp -- reading and writing a scene: terrain and placement
// files compiled through a small wrapper text, the bodies of the data-loading
// system calls, units and live paths made from the placement records, and the
// scene written back as a placement file.
//
// Index
//   [SECTION] Data files by a wrapper compile
//   [SECTION] Compiled data handed to the readers
//   [SECTION] Groups: loading and placing
//   [SECTION] Live paths from the records
//   [SECTION] Writing the scene back

#include <cstring>
#include <string>

#include "world/world_local.h"
#include "world/world_scene_files.h"

namespace world {

using core::Sjis;

namespace {

// The include line holds at most this many bytes of the file name.
constexpr int kIncludeNameBytes = 260;

constexpr const char* kSystemYou = "__SYSTEM__YOU";
constexpr const char* kSystemDustFormat = "__SYSTEM__DUST_%02d";
constexpr const char* kSystemDustFallback = "__SYSTEM__DUST";
constexpr const char* kSystemNoWeapon = "__SYSTEM__NO_WEAPON";
// The group of placed units whose record named none, so that a later
// `put_group` or the editor can name them.
constexpr const char* kPlacedGroup = "__SYSTEM_UNIT_PLACED__";

// The two data files read through a wrapper: the global their text becomes
// the initial value of, and their log and warning texts (UTF-8 here).
struct DataFileKind {
  const char* global;
  const char* interpretLog;
  const char* importLog;
  const char* missingText;
};

constexpr DataFileKind kTerrainFile = {"__system_mapdata", "地形ファイル解釈処理開始\n", "地形ファイル取込処理開始\n",
                                       "マップ配置データ[__system_mapdata]が存在しません。"};
constexpr DataFileKind kPlacementFile = {"__system_unitdata", "ユニット配置ファイル解釈処理開始\n",
                                         "ユニット配置ファイル取込処理開始\n",
                                         "ユニット配置データ[__system_unitdata]が存在しません。"};

// The last component of a path (either separator).
const char* LastComponent(const char* path) {
  const char* last = path;
  for (const char* p = path; *p; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (core::IsSjisLeadByte(c) && p[1]) {
      p++;
      continue;
    }
    if (c == '/' || c == '\\') last = p + 1;
  }
  return last;
}

// The global of a data file when it holds an object or array, else null.
script::CScriptValue* DataGlobal(GameWorld& world, const char* name) {
  script::CScriptValue* value = world.FindScriptGlobal(name);
  const script::CScriptValue* data = value ? script::FollowRefer(value) : nullptr;
  return data && data->type == script::kValueCompound ? value : nullptr;
}

// The compound of a data global (null for an empty literal).
const script::CScriptArray* CompoundOf(const script::CScriptValue* value) {
  return script::FollowRefer(value)->data.array;
}

// Compiles the wrapper of a data file and hands its object to the reader.
// 1 read, 0 compile error, -1 no data object.
int LoadDataFile(GameWorld& world, const DataFileKind& kind, const char* fileName, int reset,
                 platform::Window* window,
                 int (*read)(GameWorld&, const script::CScriptArray*, uint32_t, const char*)) {
  script::ScriptEngine& se = world.scriptEngine;
  if (!fileName) fileName = "";

  // 1. The file's text becomes the initial value of one extern object; the
  // include line holds the name as a string literal, escaped.
  char escaped[kIncludeNameBytes];
  script::EscapeStringBounded(escaped, fileName, kIncludeNameBytes);
  std::string text = std::string("extern object ") + kind.global + "=\r\n#include\"" + escaped + "\"\r\n;\r\n";

  // 2-3. Compiled under the file's own name, so errors name the file. Only
  // the last component names the text: its folder is then the one the
  // include line's name is relative to, whatever folder the name carries.
  // The file fails by the errors it adds: errors an earlier compile left in
  // the engine's list do not make a good file fail.
  core::Log(world.log, core::kLogInfo, Sjis(kind.interpretLog));
  int errorsBefore = se.errors.count;
  se.LoadScriptMemory(text.c_str(), LastComponent(fileName));
  if (se.errors.count > errorsBefore) {
    // 4. Every error in one box (with a window), the error files either way.
    if (window) platform::ShowMessageBox(se.GetErrorListText().c_str(), "CompileError", platform::kMbOk, window);
    se.WriteCompileResults();
    return 0;
  }

  // 5-6. The data object.
  core::Log(world.log, core::kLogInfo, Sjis(kind.importLog));
  // A global that holds no object (the file went on to redefine the name)
  // is no data object either; it is given back all the same, or the name
  // would stay taken for every later file of this kind.
  script::CScriptValue* value = DataGlobal(world, kind.global);
  if (!value) {
    se.ReleaseGlobal(world.FindScriptGlobal(kind.global));
    if (window)
      platform::ShowMessageBox(Sjis(kind.missingText), core::kEngineCaption, platform::kMbOk | platform::kMbIconWarning,
                               window);
    return -1;
  }

  // 7. A reset may empty the engine (its start file failing to compile):
  // the object is fetched again after it.
  if (reset) {
    world.ResetWorld();
    value = DataGlobal(world, kind.global);
    if (!value) return -1;
  }

  // 8. Read, then the global is given back: its data lives on in the
  // records, and the name is free for the next file of this kind.
  read(world, CompoundOf(value), kSceneTextureFlags, fileName);
  se.ReleaseGlobal(value);
  return 1;
}

// The quality bits the TEXTURE_MODE setting adds to a load's flags.
uint32_t TextureQualityFlags(const GameWorld& world) {
  int mode = world.settings ? world.settings->textureMode : 0;
  if (mode == 1) return 0x82;
  if (mode == 2) return 0x102;
  return 0x2;
}

// The editor keeps four lists of selected map objects; a new terrain frees
// them before its objects replace the old ones. The editor does not keep
// them yet: nothing to free.
void FreeEditorMapSelections(GameWorld& world) { (void)world; }

// A group argument: null or "" means every record.
bool InGroup(const units::PlacementRecord& record, const char* group) {
  return !group || !group[0] || record.group == group;
}

// The unit and every unit under it (children, weapon children, attached
// units): counted, and frozen when asked.
int CountUnitFamily(GameWorld& world, units::Unit* unit, bool freeze) {
  int count = 0;
  for (int slot = 1; slot < CountUnitSlots(world); slot++) {
    units::Unit* other = GetUnitAt(world, slot);
    if (!other) continue;
    if (other != unit && !render::DisplayObject::IsObjectDescendant(other, unit)) continue;
    if (freeze) other->flags |= units::kUnitFrozen;
    count++;
  }
  return count;
}

// A name without an extension in its last component gets `extension`.
std::string WithDefaultExtension(const char* name, const char* extension) {
  std::string path = name ? name : "";
  if (!std::strchr(LastComponent(path.c_str()), '.')) path += extension;
  return path;
}

}  // namespace

// ----------------------------------------------------------------------------
// [SECTION] Data files by a wrapper compile
// ----------------------------------------------------------------------------

int LoadTerrainFile(GameWorld& world, const char* fileName, int unused, platform::Window* window) {
  (void)unused;
  return LoadDataFile(world, kTerrainFile, fileName, 0, window, load_map_data);
}

int LoadUnitPlacementFile(GameWorld& world, const char* fileName, int reset, platform::Window* window) {
  return LoadDataFile(world, kPlacementFile, fileName, reset, window, load_unit_data);
}

// ----------------------------------------------------------------------------
// [SECTION] Compiled data handed to the readers
// ----------------------------------------------------------------------------

int load_map_data(GameWorld& world, const script::CScriptArray* terrain, uint32_t flags, const char* fileName) {
  (void)fileName;
  FreeEditorMapSelections(world);
  return ReadMapPlacements(world, terrain, int(flags | TextureQualityFlags(world)));
}

int load_unit_data(GameWorld& world, const script::CScriptArray* placements, uint32_t flags, const char* fileName) {
  return units::ReadUnitPlacements(*world.unitDatabase, placements, flags | TextureQualityFlags(world),
                                   fileName ? fileName : "");
}

int load_map_master(GameWorld& world, const script::CScriptArray* master) { return LoadMapMaster(world, master); }

int load_unit_master(GameWorld& world, const script::CScriptArray* master) {
  int result = units::ReadUnitMaster(*world.unitDatabase, master);
  // The system types the world places by itself; a missing one stays null.
  world.systemYouType = FindTypeByKey(world, kSystemYou);
  for (int i = 0; i < GameWorld::kDustTypes; i++) {
    char key[32];
    std::snprintf(key, sizeof key, kSystemDustFormat, i);
    world.dustTypes[i] = FindTypeByKey(world, key);
  }
  if (!world.dustTypes[0]) world.dustTypes[0] = FindTypeByKey(world, kSystemDustFallback);
  world.noWeaponType = FindTypeByKey(world, kSystemNoWeapon);
  return result;
}

// ----------------------------------------------------------------------------
// [SECTION] Groups: loading and placing
// ----------------------------------------------------------------------------

int load_group(GameWorld& world, const char* group) {
  units::UnitDatabase& db = *world.unitDatabase;
  units::SetTextureLoadFlags(db, kSceneTextureFlags);
  for (const units::PlacementRecord* record : db.placements)
    if (record && InGroup(*record, group)) LoadMasterModels(world, nullptr, record->type);
  return 0;
}

int put_group(GameWorld& world, const char* group, uint32_t textureFlags, int normal) {
  units::UnitDatabase& db = *world.unitDatabase;
  units::SetTextureLoadFlags(db, textureFlags);
  int placed = 0;
  // By index: a unit's APPEAR or REACH trigger may start scripts, never
  // change the records, but the table is read fresh each time anyway.
  for (size_t i = 0; i < db.placements.size(); i++) {
    units::PlacementRecord* record = db.placements[i];
    if (!record || !InGroup(*record, group)) continue;
    // 1. The unit, frozen unless normal.
    uint32_t flags = record->options | (normal ? 0u : uint32_t(units::kUnitFrozen));
    units::Unit* unit = PutUnit(world, record->team.c_str(), record->type, record->level, record->label.c_str(),
                                flags, record->position, record->rotation, nullptr);
    if (!unit) continue;
    unit->flags |= record->options & (units::kPlaceIgnored | units::kPlaceBarrier);
    // 2. Group and path label.
    units::SetUnitGroup(*unit, record->group.empty() ? kPlacedGroup : record->group.c_str());
    units::SetUnitPathLabel(*unit, record->path.c_str());
    // 3. On its path from the labelled point.
    if (!record->path.empty()) {
      if (units::PathPoint* start = units::FindPathPointByLabel(*world.pathPoints, record->path.c_str())) {
        units::SetUnitPath(*unit, start, 0);
        units::SetUnitState(*unit, units::kUnitStateFollowPath, 0);
        RunPathTriggers(world, units::kTriggerReach, unit, unit);
      }
    }
    // 4. The unit and the units that came with it.
    placed += CountUnitFamily(world, unit, normal == 0);
  }
  return placed;
}

// ----------------------------------------------------------------------------
// [SECTION] Live paths from the records
// ----------------------------------------------------------------------------

int CreatePathsFromPoints(GameWorld& world, int compile, int list) {
  script::ScriptEngine& se = world.scriptEngine;
  int errorsBefore = se.errors.count;
  int made = units::CreatePathsFromRecords(world, *world.pathPoints, &world.pathIdCounter, se, compile, list);
  // Errors in the points' scripts are shown at once, with a hint.
  if (compile && se.errors.count > errorsBefore) {
    bool editing = InEditMode(world) != 0;
#if defined(TKW4_EDITION_ENGLISH)
    const char* hint = editing ? "\n\nPress [F12] to return."
                               : "\n\nPlease report [CompileError.txt] to the software developer.";
#else
    const char* hint =
        editing ? Sjis("\n\nF12キーで戻ります。") : Sjis("\n\n[CompileError.txt]の内容を製作者に報告してください。");
#endif
    std::string text = se.GetErrorListText() + hint;
    if (world.host.showErrorWindow) world.host.showErrorWindow(world.host.user, text.c_str());
  }
  return made;
}

// ----------------------------------------------------------------------------
// [SECTION] Writing the scene back
// ----------------------------------------------------------------------------

int SaveMapFile(GameWorld& world, const char* fileName) {
  std::string path = WithDefaultExtension(fileName, ".map");
  return WriteMapFile(world, path.c_str());
}

int SaveScene(GameWorld& world, const char* fileName) {
  units::UnitDatabase& db = *world.unitDatabase;
  // 1. The records are made again from what the scene holds now.
  units::FreePlacementRecords(db);
  units::FreePathPointRecords(db);

  // 2. Every top-level unit of a type that stands in the scene.
  constexpr uint32_t kSavedOptions =
      units::kPlaceTarget | units::kPlacePlayer | units::kPlaceIgnored | units::kPlaceBarrier;
  for (int slot = 1; slot < CountUnitSlots(world); slot++) {
    units::Unit* unit = GetUnitAt(world, slot);
    if (!unit || !unit->type || !UnitHasGraphics(unit) || units::GetUnitParent(*unit)) continue;
    units::SetPlacementRecord(db, -1, unit->type, units::GetUnitGroup(*unit), unit->GetObjectPosition(),
                              unit->GetObjectAngles(), units::GetUnitLabel(*unit), units::GetUnitTeam(*unit),
                              units::GetUnitPathLabel(*unit), unit->level, unit->flags & kSavedOptions);
  }

  // 3. Every live path point, linked as its point is. A point made while
  // the game runs has no model (only the editor gives points one), so
  // liveness decides; its ACTIVE option goes with it, or the saved scene
  // would come back with its triggers disarmed.
  units::PathPointPool& pool = *world.pathPoints;
  for (int slot = 0; slot < units::CountPathPoints(pool); slot++) {
    units::PathPoint* point = units::GetPathPointAt(pool, slot);
    if (!point) continue;
    uint32_t options = (point->onCurve ? units::kPathOnCurve : 0u) | (point->active ? units::kPathActive : 0u);
    units::SetPathPointRecord(db, -1, point->GetObjectPosition(), "", point->label.c_str(),
                              point->eventScript.c_str(), options, point, int32_t(point->triggerCommand),
                              point->operand1.c_str(), point->operand2.c_str());
  }

  // 4. The placement file.
  std::string path = WithDefaultExtension(fileName, ".plc");
  return units::WriteUnitPlacementFile(db, path.c_str(), world.log);
}

}  // namespace world
