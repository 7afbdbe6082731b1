// units_placement.cpp -- placement files: the reader into the unit
// database's placement and path-point records, and the writer.
//
// A placement file (".plc") is one array in object text notation whose
// elements are unit placements or paths (objects with a "UNIT_PATH" array).
// The world's scene loader compiles it as the initial value of
// `__system_unitdata` and hands the object to ReadUnitPlacements; the
// records are saved back through WriteUnitPlacementFile. A file the writer wrote reads back to
// the same records, and writing those again gives the same bytes.
//
// Index
//   [SECTION] Record tables
//   [SECTION] Reading
//   [SECTION] Writing
//   [SECTION] Saving the file whole

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "script/script_public.h"
#include "units/units_services.h"

namespace units {

using core::Sjis;

namespace {

// Degrees in files, radians in memory.
constexpr float kDegreesPerRadianDivisor = 0.017453292f;

// Options a record reads; later ones are not looked at.
constexpr int kMostOptions = 16;

// The code of a COMMAND keyword (exact compare), 0 ("NOP") when none.
int32_t CommandOfKeyword(const char* keyword) { return std::max(FindTriggerCommand(keyword), 0); }

const char* KeywordOfCommand(int32_t command) {
  return command > 0 && command < kTriggerCommandCount ? TriggerCommandTable[command].keyword : "";
}

// Option words, compared without regard to case.
struct OptionWord {
  const char* word;
  uint32_t bit;
};
constexpr OptionWord kPlacementOptions[] = {
    {"TARGET", kPlaceTarget}, {"PLAYER", kPlacePlayer}, {"IGNORED", kPlaceIgnored}, {"BARRIER", kPlaceBarrier}};
constexpr OptionWord kPathOptions[] = {{"ON_CURVE", kPathOnCurve}, {"LOOP", kPathLoop}, {"ACTIVE", kPathActive}};

bool SameWordNoCase(const char* a, const char* b) {
  for (; *a && *b; a++, b++) {
    char x = (*a >= 'a' && *a <= 'z') ? char(*a - 32) : *a;
    char y = (*b >= 'a' && *b <= 'z') ? char(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

std::string Format(const char* format, int a) {
  char text[64];
  std::snprintf(text, sizeof text, format, a);
  return text;
}

const char* TextOrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

// ----------------------------------------------------------------------------
// [SECTION] Record tables
//
// Both tables are slot tables of owned records: 256 slots at first, doubled
// when full; a freed record leaves its slot empty.
// ----------------------------------------------------------------------------

namespace {

constexpr size_t kFirstRecordSlots = 256;

// The slot a record set uses: `index` itself (the table grown to hold it),
// or for -1 the first empty slot (the table doubled when full). -1 for
// any other negative index.
template <typename T>
int TakeRecordSlot(std::vector<T*>& table, int index) {
  if (table.empty()) table.resize(kFirstRecordSlots, nullptr);
  if (index == -1) {
    for (size_t i = 0; i < table.size(); i++)
      if (!table[i]) return int(i);
    index = int(table.size());
    table.resize(table.size() * 2, nullptr);
    return index;
  }
  if (index < 0) return -1;
  if (size_t(index) >= table.size()) table.resize(size_t(index) + 1, nullptr);
  return index;
}

}  // namespace

int SetPlacementRecord(UnitDatabase& db, int index, UnitType* type, const char* group, const Vec3& position,
                       const Vec3& rotation, const char* label, const char* team, const char* path, int32_t level,
                       uint32_t options) {
  index = TakeRecordSlot(db.placements, index);
  if (index < 0) return -1;
  PlacementRecord*& slot = db.placements[size_t(index)];
  if (!slot) slot = new PlacementRecord();
  PlacementRecord& r = *slot;
  r.type = type;
  r.group = TextOrEmpty(group);
  r.position = position;
  r.rotation = rotation;
  r.label = TextOrEmpty(label);
  r.team = TextOrEmpty(team);
  r.path = TextOrEmpty(path);
  r.level = level;
  r.options = options;
  return index;
}

int SetPathPointRecord(UnitDatabase& db, int index, const Vec3& position, const char* source, const char* label,
                       const char* script, uint32_t options, PathPoint* livePoint, int32_t command,
                       const char* operand1, const char* operand2) {
  index = TakeRecordSlot(db.pathPoints, index);
  if (index < 0) return -1;
  PathPointRecord*& slot = db.pathPoints[size_t(index)];
  if (!slot) slot = new PathPointRecord();
  PathPointRecord& r = *slot;
  r.position = position;
  r.source = TextOrEmpty(source);
  r.label = TextOrEmpty(label);
  r.script = TextOrEmpty(script);
  r.options = options;
  r.livePoint = livePoint;
  r.command = command;
  r.operand1 = TextOrEmpty(operand1);
  r.operand2 = TextOrEmpty(operand2);
  // The records follow the links of their live points: a record whose point
  // leads here gets this record as its next, and this record gets the one
  // whose point this point leads to.
  if (livePoint) {
    for (PathPointRecord* other : db.pathPoints) {
      if (!other || other == &r || !other->livePoint) continue;
      if (other->livePoint->next == livePoint) other->next = &r;
      if (livePoint->next == other->livePoint) r.next = other;
    }
  }
  return index;
}

void FreePlacementRecords(UnitDatabase& db) {
  for (PlacementRecord*& r : db.placements) {
    delete r;
    r = nullptr;
  }
}

void FreePathPointRecords(UnitDatabase& db) {
  for (PathPointRecord*& r : db.pathPoints) {
    delete r;
    r = nullptr;
  }
}

// ----------------------------------------------------------------------------
// [SECTION] Reading
// ----------------------------------------------------------------------------

namespace {

UnitType* FindTypeByKey(UnitDatabase& db, const char* key) {
  if (!key) return nullptr;
  for (const std::unique_ptr<UnitType>& type : db.types)
    if (type && type->key == key) return type.get();
  return nullptr;
}

// The option bits of "<prefix>OPTION[0]", "[1]", ...: reading stops at the
// first one that is missing; words that name no option are passed over.
uint32_t ReadOptions(const script::CScriptArray* object, const std::string& prefix, const OptionWord* words,
                     size_t wordCount) {
  uint32_t options = 0;
  for (int n = 0; n < kMostOptions; n++) {
    std::string path = prefix + Format("OPTION[%d]", n);
    if (!script::FindMemberPath(object, path.c_str())) break;
    const char* word = script::GetMemberString(object, path.c_str());
    if (!word) continue;
    for (size_t i = 0; i < wordCount; i++)
      if (SameWordNoCase(word, words[i].word)) options |= words[i].bit;
  }
  return options;
}

const char* ReadText(const script::CScriptArray* object, const std::string& path) {
  return TextOrEmpty(script::GetMemberString(object, path.c_str()));
}

void ReadPath(UnitDatabase& db, const script::CScriptArray* points, const char* source) {
  PathPointRecord* previous = nullptr;
  for (int n = 0; script::GetElement(points, n); n++) {
    std::string at = Format("[%d].", n);
    Vec3 position{script::GetMemberFloat(points, (at + "POS.x").c_str()),
                  script::GetMemberFloat(points, (at + "POS.y").c_str()),
                  script::GetMemberFloat(points, (at + "POS.z").c_str())};
    const char* script = ReadText(points, at + "SCRIPT");
    // The writer puts the script on the line after its opening quote.
    if (script[0] == '\r' && script[1] == '\n') {
      script += 2;
    } else if (script[0] == '\n') {
      script += 1;
    }
    int32_t command = CommandOfKeyword(script::GetMemberString(points, (at + "COMMAND").c_str()));
    uint32_t options = ReadOptions(points, at, kPathOptions, std::size(kPathOptions));
    int index = SetPathPointRecord(db, -1, position, script[0] ? source : "", ReadText(points, at + "LABEL"), script,
                                   options, nullptr, command, ReadText(points, at + "OPE[0]"),
                                   ReadText(points, at + "OPE[1]"));
    PathPointRecord* record = db.pathPoints[size_t(index)];
    if (previous) previous->next = record;
    previous = record;
  }
}

void ReadPlacement(UnitDatabase& db, const script::CScriptArray* element) {
  UnitType* type = FindTypeByKey(db, script::GetMemberString(element, "ID"));
  if (!type) return;  // a placement of a type that is not defined is left out
  Vec3 position{script::GetMemberFloat(element, "POS.x"), script::GetMemberFloat(element, "POS.y"),
                script::GetMemberFloat(element, "POS.z")};
  Vec3 rotation{script::GetMemberFloat(element, "ROT.x") * kDegreesPerRadianDivisor,
                script::GetMemberFloat(element, "ROT.y") * kDegreesPerRadianDivisor,
                script::GetMemberFloat(element, "ROT.z") * kDegreesPerRadianDivisor};
  uint32_t options = ReadOptions(element, "", kPlacementOptions, std::size(kPlacementOptions));
  SetPlacementRecord(db, -1, type, ReadText(element, "GROUP"), position, rotation, ReadText(element, "LABEL"),
                     ReadText(element, "TEAM"), ReadText(element, "PATH"), script::GetMemberInt(element, "LEVEL"),
                     options);
}

}  // namespace

int ReadUnitPlacements(UnitDatabase& db, const script::CScriptArray* object, uint32_t loadFlags,
                       const char* source) {
  db.loadFlags = loadFlags;
  if (!object) return 0;
  int count = script::GetElementCount(object);
  for (int i = 0; i < count; i++) {
    const script::CScriptArray* element = script::GetElementCompound(object, i);
    if (!element) continue;
    if (script::FindMember(element, "UNIT_PATH")) {
      const script::CScriptArray* points = script::GetMemberCompound(element, "UNIT_PATH");
      if (points) ReadPath(db, points, TextOrEmpty(source));
    } else {
      ReadPlacement(db, element);
    }
  }
  return 0;
}

// ----------------------------------------------------------------------------
// [SECTION] Writing
//
// The records become one array of objects, written by the script engine's
// object text writer in its indented form, so the file reads back through
// the same notation it was written in.
// ----------------------------------------------------------------------------

namespace {

// The degrees written for an angle in radians. Plain division would move
// the angle by a rounding step at every save (90 degrees read as 1.5707963
// radians writes back as 89.999992): the writer takes a float whose text
// reads back to exactly this angle, or to the nearest angle that can be read.
float DegreesToWrite(float radians) { return script::QuotientToWrite(radians, kDegreesPerRadianDivisor); }

// Marks a string value to be written between back quotes.
void MarkRaw(script::CScriptValue* value) {
  if (value) value->attributes |= script::kAttrRawString;
}

void WritePlacement(script::ScriptPools& pools, script::CScriptArray* top, int element, const PlacementRecord& r) {
  std::string at = Format("[%d].", element);
  auto set = [&](const char* key, const char* text) {
    script::SetMemberString(pools, top, (at + key).c_str(), text);
  };
  auto setFloat = [&](const char* key, float value) {
    script::SetMemberFloat(pools, top, (at + key).c_str(), value);
  };
  set("ID", r.type ? r.type->key.c_str() : "");
  if (!r.group.empty()) set("GROUP", r.group.c_str());
  setFloat("POS.x", r.position.x);
  setFloat("POS.y", r.position.y);
  setFloat("POS.z", r.position.z);
  if (r.rotation.x != 0) setFloat("ROT.x", DegreesToWrite(r.rotation.x));
  if (r.rotation.y != 0) setFloat("ROT.y", DegreesToWrite(r.rotation.y));
  if (r.rotation.z != 0) setFloat("ROT.z", DegreesToWrite(r.rotation.z));
  if (!r.label.empty()) set("LABEL", r.label.c_str());
  if (!r.team.empty()) set("TEAM", r.team.c_str());
  if (!r.path.empty()) set("PATH", r.path.c_str());
  if (r.level != 0) script::SetMemberInt(pools, top, (at + "LEVEL").c_str(), r.level);
  int n = 0;
  for (const OptionWord& option : kPlacementOptions)
    if (r.options & option.bit) set(Format("OPTION[%d]", n++).c_str(), option.word);
}

void WritePathPoint(script::ScriptPools& pools, script::CScriptArray* top, const std::string& at,
                    const PathPointRecord& r, bool closesLoop) {
  auto set = [&](const char* key, const char* text) {
    return script::SetMemberString(pools, top, (at + key).c_str(), text);
  };
  script::SetMemberFloat(pools, top, (at + "POS.x").c_str(), r.position.x);
  script::SetMemberFloat(pools, top, (at + "POS.y").c_str(), r.position.y);
  script::SetMemberFloat(pools, top, (at + "POS.z").c_str(), r.position.z);
  if (!r.label.empty()) set("LABEL", r.label.c_str());
  if (r.command != 0) set("COMMAND", KeywordOfCommand(r.command));
  if (!r.operand1.empty() || !r.operand2.empty()) {
    set("OPE[0]", r.operand1.c_str());
    set("OPE[1]", r.operand2.c_str());
  }
  if (!r.script.empty()) {
    // The script starts on the line after the opening quote. Back quotes
    // are written as they are, so a script holding one is written in
    // double quotes with escapes instead: it reads back the same.
    std::string text = "\r\n" + r.script;
    script::CScriptValue* value = set("SCRIPT", text.c_str());
    if (r.script.find('`') == std::string::npos) MarkRaw(value);
  }
  int n = 0;
  set(Format("OPTION[%d]", n++).c_str(), (r.options & kPathOnCurve) ? "ON_CURVE" : "OFF_CURVE");
  if (r.options & kPathActive) set(Format("OPTION[%d]", n++).c_str(), "ACTIVE");
  if (closesLoop) set(Format("OPTION[%d]", n++).c_str(), "LOOP");
}

// Whether the record's live point is linked to itself.
bool LinksToItself(const PathPointRecord& r) { return r.livePoint && r.livePoint->next == r.livePoint; }

void WritePaths(script::ScriptPools& pools, script::CScriptArray* top, int* element, const UnitDatabase& db) {
  const std::vector<PathPointRecord*>& records = db.pathPoints;
  // A path is written from its head: the record no other record names as
  // its next. Points added before the first one in the editor take later
  // slots, and a walk from the lowest slot would write them as a second
  // path repeating the rest. Closed loops have no head: they start at their
  // lowest slot.
  std::vector<const PathPointRecord*> named;
  for (const PathPointRecord* r : records)
    if (r && r->next && r->next != r) named.push_back(r->next);
  auto isNamed = [&](const PathPointRecord* r) {
    for (const PathPointRecord* n : named)
      if (n == r) return true;
    return false;
  };
  std::vector<const PathPointRecord*> written;
  auto isWritten = [&](const PathPointRecord* r) {
    for (const PathPointRecord* w : written)
      if (w == r) return true;
    return false;
  };
  for (int pass = 0; pass < 2; pass++) {
    for (const PathPointRecord* start : records) {
      if (!start || isWritten(start) || LinksToItself(*start)) continue;
      if (pass == 0 && isNamed(start)) continue;
      std::string at = Format("[%d].UNIT_PATH", *element);
      int n = 0;
      for (const PathPointRecord* r = start; r;) {
        written.push_back(r);
        const PathPointRecord* next = r->next;
        // A loop closes where the walk comes back to its start; a path read
        // from a file carries its LOOP on the last point and no link back.
        bool closes = next == start || (!next && (r->options & kPathLoop));
        WritePathPoint(pools, top, at + Format("[%d].", n++), *r, closes);
        // A link into a part already written (not a well-formed path) ends
        // the walk too.
        if (!next || next == start || isWritten(next)) break;
        r = next;
      }
      (*element)++;
    }
  }
}

}  // namespace

bool BuildUnitPlacementText(const UnitDatabase& db, std::string* text) {
  // Private pools: the writer needs no script engine and leaves none used.
  script::ScriptPools pools;
  script::CScriptArray* top = pools.AllocScriptArray(nullptr);
  if (!top) return false;
  bool ok = true;
  try {
    int element = 0;
    for (const PlacementRecord* r : db.placements)
      if (r) WritePlacement(pools, top, element++, *r);
    WritePaths(pools, top, &element, db);
    *text = script::WriteCompoundText(top, 1);
  } catch (const script::ScriptError&) {
    ok = false;
  }
  pools.ReleaseScriptArray(top);
  return ok;
}

// ----------------------------------------------------------------------------
// [SECTION] Saving the file whole
//
// The text replaces the old file only once every byte is on the disk: a save
// that fails (a full disk, a file-size limit, a folder that refuses the
// file) leaves the user's scene as it was.
// ----------------------------------------------------------------------------

int WriteUnitPlacementFile(const UnitDatabase& db, const char* fileName, core::LogSystem* log) {
  std::string text;
  std::string disk = platform::ResolvePath(fileName ? fileName : "");
  std::string reason;
  if (!BuildUnitPlacementText(db, &text)) {
    reason = std::strerror(ENOMEM);
  } else if (disk.empty()) {
    reason = std::strerror(ENOENT);
  } else if (platform::WriteWholeFile(disk.c_str(), text.data(), text.size(), &reason)) {
    return 1;
  }
  core::Logf(log, core::kLogError, "%s: %s\n", disk.c_str(), reason.c_str());
  platform::ShowMessageBox(Sjis("ユニット配置ファイルの書き込みオープンに失敗しました。"), "", platform::kMbOk);
  return 0;
}

}  // namespace units
