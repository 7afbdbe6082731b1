// units_database.cpp -- the unit database: unit types read from unit
// masters, their lookups, and the lazy loading of their models and textures.
//
// Index
//  [SECTION] Records
//  [SECTION] Reading a unit master
//  [SECTION] Lookups
//  [SECTION] Models and textures

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "script/script_public.h"
#include "units_local.h"

namespace units {

namespace {

constexpr int kFirstTypeSlots = 256;
constexpr int kMaxWords = 16;        // TEXTURE_STYLE and ATTRIBUTE words
constexpr int kMaxListEntries = 1024;  // SCATTER and CHILD entries
constexpr size_t kFileNameCompare = 260;

constexpr uint32_t kLoadFlagMask = 0x207800;
constexpr uint32_t kLoadQualityBits = 0x80 | 0x100;
constexpr uint32_t kLoadLarge = 0x200000;
constexpr uint32_t kLoadBump = 0x800;
constexpr uint32_t kLoadSpecular = 0x1000;
constexpr uint32_t kLoadLight = 0x2000;
constexpr uint32_t kLoadHeat = 0x4000;
constexpr uint32_t kLoadHudFlags = 0x8002;

constexpr uint32_t kTexHud = 0x8000;  // additive: the HUD's images

struct Word {
  const char* text;
  uint32_t bits;
  int which;  // style word 0 or 1 (TEXTURE_STYLE only)
};

const Word kStyleWords[] = {
    {"LIGHT", 0x8000, 1},     {"TEXTURE_TRANSLUCENT", 0x2, 0}, {"WRAP", 0, 0},  {"MIRROR", 0x40000, 1},
    {"CLAMP", 0x80000, 1},    {"HIGHCOLOR", 0x100000, 1},      {"CROSS", 0x20, 0}, {"SPRITE", 0x40, 0},
};

const Word kAttributeWords[] = {
    {"UNLISTED", kAttrUnlisted, 0},   {"WEAPON", kAttrWeapon, 0},       {"LARGE", kAttrLarge, 0},
    {"AUTOLOCK", kAttrAutolock, 0},   {"NEARFUSE", kAttrNearfuse, 0},   {"MOUNTED", kAttrMounted, 0},
    {"OBJECT", kAttrObject, 0},       {"ALPHA", kAttrAlpha, 0},         {"MIRROR_MAP", kAttrMirrorMap, 0},
    {"ANIMATION", kAttrAnimation, 0}, {"BRANCH", kAttrBranch, 0},       {"BOMB", kAttrBomb, 0},
    {"GUN", kAttrGun, 0},             {"LASER", kAttrLaser, 0},         {"GHOST", kAttrGhost, 0},
    {"TUNNEL", kAttrTunnel, 0},       {"LANDING", kAttrLanding, 0},     {"INVISIBLE", kAttrInvisible, 0},
    {"HUD", kAttrHud, 0},             {"COCKPIT", kAttrCockpit, 0},     {"NO_NETWORK", kAttrNoNetwork, 0},
    {"MEMORY", kAttrMemory, 0},
};

// --- Reading members of one definition ---------------------------------------

using script::MemberReader;

uint32_t ReadWords(MemberReader& r, const char* key, const Word* words, size_t count, uint32_t* second) {
  uint32_t bits = 0;
  for (int i = 0; i < kMaxWords; i++) {
    const char* p = r.Format(key, i);
    if (!r.Has(p)) break;  // the list ends at the first missing index
    std::string text = r.Text(p);
    for (size_t w = 0; w < count; w++) {
      if (strcasecmp(text.c_str(), words[w].text) != 0) continue;
      if (words[w].which == 1 && second)
        *second |= words[w].bits;
      else
        bits |= words[w].bits;
    }
  }
  return bits;
}

int32_t TypeValueOf(MemberReader& r) {
  const script::CScriptValue* v = script::FindMemberPath(r.object, "TYPE");
  int32_t value = script::GetMemberInt(r.object, "TYPE");
  const char* text = script::GetMemberString(r.object, "TYPE");
  if (!v || !text) return value;  // a number (or missing: 0)
  for (const UnitTypeName* row = kUnitTypeNameTable; row->value != -1; row++)
    if (std::strcmp(row->name, text) == 0) return row->value;
  return value;  // a word of no row: the numeric reading, 0
}

void ReadType(UnitType& t, MemberReader& r) {
  const Vec3 undefined{kUndefinedPoint, kUndefinedPoint, kUndefinedPoint};
  const float deg = kDegreesToRadians;

  t.alias = r.Text("ALIAS");
  t.name = r.Text("NAME");
  t.typeName = r.Text("TYPE");
  t.typeValue = TypeValueOf(r);
  t.modelFile = r.Text("MODEL_FILE");
  t.textureLargeFile = r.Text("TEXTURE_LARGE_FILE");
  t.bumpFromBumpedKey = r.Has("TEXTURE_BUMPED_FILE");
  t.textureBumpFile = r.Text(t.bumpFromBumpedKey ? "TEXTURE_BUMPED_FILE" : "TEXTURE_BUMP_FILE");
  t.textureSpecularFile = r.Text("TEXTURE_SPECULAR_FILE");
  t.textureLightFile = r.Text("TEXTURE_LIGHT_FILE");
  t.textureHeatFile = r.Text("TEXTURE_HEAT_FILE");
  for (int i = 0; i < 4; i++) {
    t.fireModelFile[i] = r.Text(r.Format("FIRE_MODEL_FILE[%d]", i));
    t.fireTextureFile[i] = r.Text(r.Format("FIRE_TEXTURE_FILE[%d]", i));
  }
  t.hudImageFile = r.Text("HUD_IMAGE_FILE");
  t.hudNameFile = r.Text("HUD_NAME_FILE");
  t.hudRadarFile = r.Text("HUD_RADAR_FILE");
  t.engineSoundFile = r.Text("ENGINE_SOUND_FILE");

  int32_t mode = r.Int("MODE", 0);
  t.mode = mode >= 0 && mode <= 3 ? mode : 0;
  t.textureStyle[0] = t.textureStyle[1] = 0;
  t.textureStyle[0] = ReadWords(r, "TEXTURE_STYLE[%d]", kStyleWords, std::size(kStyleWords), &t.textureStyle[1]);
  t.attributes = ReadWords(r, "ATTRIBUTE[%d]", kAttributeWords, std::size(kAttributeWords), nullptr);
  if (r.Has("GLARE_RATE")) t.glareRate = r.Float("GLARE_RATE", 0);

  for (int i = 0; i < 4; i++) {
    t.enginePos[i] = r.Vector(r.Format("ENGINE_POS[%d]", i), undefined);
    t.engineRot[i] = r.Vector(r.Format("ENGINE_ROT[%d]", i), {}, deg);
    t.wingPos[i] = r.Vector(r.Format("WING_POS[%d]", i), undefined);
    t.wingName[i] = r.Text(r.Format("WING_NAME[%d]", i));
    t.gunPos[i] = r.Vector(r.Format("GUN_POS[%d]", i), undefined);
    t.gunRot[i] = r.Vector(r.Format("GUN_ROT[%d]", i), {}, deg);
    for (int j = 0; j < 4; j++) {
      // A hard point is read only when it is given at all.
      t.weaponPos[i][j] = undefined;
      if (r.Has(r.Format("WEAPON_POS[%d][%d]", i, j))) t.weaponPos[i][j] = r.Vector(r.path, {});
      t.weaponRot[i][j] = r.Vector(r.Format("WEAPON_ROT[%d][%d]", i, j), {}, deg);
    }
  }
  t.headPos = r.Vector("HEAD_POS", {});
  t.scale = r.Vector("SCALE", {1, 1, 1});
  t.tirePos = r.Vector("TIRE_POS", undefined);
  t.stability = r.Float("STABILITY", 0);
  t.mobility = {r.Float("MOBILITY.pitch", 100) * deg, r.Float("MOBILITY.yaw", 15) * deg,
                r.Float("MOBILITY.roll", 5) * deg};
  t.defense = r.Int("DEFENSE", 0);
  t.power = r.Float("POWER", 0);
  t.weight = r.Float("WEIGHT", 1);
  if (t.weight <= 0) t.weight = 1;
  t.speed = r.Float("SPEED", 0);
  t.vectorRate = r.Float("VECTOR_RATE", 0) / 100;
  for (int i = 0; i < 4; i++) {
    t.payload[i] = r.Int(r.Format("PAYLOAD[%d]", i), 0);
    t.lockOn[i] = r.Float(r.Format("LOCK_ON[%d]", i), 0);
    t.lockedOn[i] = r.Float(r.Format("LOCKED_ON[%d]", i), 1.0f);
    t.range[i] = r.Int(r.Format("RANGE[%d]", i), 0);
    t.gunDamage[i] = r.Int(r.Format("GUN_DAMAGE[%d]", i), 0);
    t.weaponId[i] = r.Text(r.Format("WEAPON_ID[%d]", i));
    t.weaponCycle[i] = r.Int(r.Format("WEAPON_CYCLE[%d]", i), 300);
    WeaponScope& scope = t.weaponScope[i];
    scope.left = r.Has(r.Format("WEAPON_SCOPE[%d].left", i)) ? r.Float(r.path, 0) * deg : 3.141592f;
    scope.right = r.Has(r.Format("WEAPON_SCOPE[%d].right", i)) ? r.Float(r.path, 0) * deg : -3.141592f;
    scope.top = r.Has(r.Format("WEAPON_SCOPE[%d].top", i)) ? r.Float(r.path, 0) * deg : 1.570796f;
    scope.bottom = r.Has(r.Format("WEAPON_SCOPE[%d].bottom", i)) ? r.Float(r.path, 0) * deg : -1.570796f;
    t.damage[i] = r.Int(r.Format("DAMAGE[%d]", i), 0);
    t.precision[i] = r.Float(r.Format("PRECISION[%d]", i), 0);
    t.weaponDelay[i] = r.Int(r.Format("WEAPON_DELAY[%d]", i), 0);
  }
  t.gunHeat = r.Int("GUN_HEAT", 0);
  t.gunCycle = r.Int("GUN_CYCLE", 0);
  t.gunPrecision = r.Float("GUN_PRECISION", 0);
  t.gunId = r.Text("GUN_ID[0]");
  t.hudSize = r.Int("HUD_SIZE", 0);
  t.reloadTime = r.Int("RELOAD_TIME", 1);
  if (t.reloadTime == 0) t.reloadTime = 1;
  t.blast = r.Float("BLAST", 0);

  // SCATTER: every element among the first 1024 that exists.
  t.scatter.clear();
  const script::CScriptArray* scatter = script::GetMemberCompound(r.object, "SCATTER");
  int scatterCount = std::min(script::GetElementCount(scatter), kMaxListEntries);
  for (int i = 0; i < scatterCount; i++) {
    const script::CScriptArray* e = script::GetElementCompound(scatter, i);
    if (!script::GetElement(scatter, i)) continue;
    MemberReader er{e, {}};
    ScatterEntry entry;
    entry.key = er.Text("ID");
    entry.position = er.Vector("POS", {});
    entry.direction = er.Vector("DIR", {}, deg);
    entry.time = er.Int("TIME", 0);
    t.scatter.push_back(std::move(entry));
  }
  // CHILD: from index 0 up to the first missing element.
  t.children.clear();
  const script::CScriptArray* children = script::GetMemberCompound(r.object, "CHILD");
  for (int i = 0; i < kMaxListEntries && script::GetElement(children, i); i++) {
    MemberReader er{script::GetElementCompound(children, i), {}};
    ChildEntry entry;
    entry.key = er.Text("ID");
    entry.position = er.Vector("POS", {});
    entry.rotation = er.Vector("ROT", {}, deg);
    entry.label = er.Text("LABEL");
    t.children.push_back(std::move(entry));
  }
}

// The slot of a new record: the first empty one, the table doubling when
// none is left.
int FirstEmptySlot(UnitDatabase& db) {
  for (size_t i = 0; i < db.types.size(); i++)
    if (!db.types[i]) return int(i);
  size_t old = db.types.size();
  db.types.resize(old ? old * 2 : kFirstTypeSlots);
  return int(old);
}

UnitType* ResolveKey(const UnitDatabase& db, const std::string& key) {
  return key.empty() ? nullptr : FindUnitTypeByKey(db, key.c_str());
}

}  // namespace

// [SECTION] Records

UnitType::UnitType() {
  for (int i = 0; i < 4; i++) {
    enginePos[i] = wingPos[i] = gunPos[i] = {kUndefinedPoint, kUndefinedPoint, kUndefinedPoint};
    for (int j = 0; j < 4; j++) weaponPos[i][j] = {kUndefinedPoint, kUndefinedPoint, kUndefinedPoint};
    weaponScope[i] = {3.141592f, -3.141592f, 1.570796f, -1.570796f};
  }
  tirePos = {kUndefinedPoint, kUndefinedPoint, kUndefinedPoint};
  mobility = {100 * kDegreesToRadians, 15 * kDegreesToRadians, 5 * kDegreesToRadians};
}

UnitType::~UnitType() = default;

UnitDatabase::UnitDatabase() { types.resize(kFirstTypeSlots); }

UnitDatabase::~UnitDatabase() {
  // Every type gives its device resources back, MEMORY types too.
  for (std::unique_ptr<UnitType>& type : types)
    if (type) {
      type->attributes &= ~kAttrMemory;
      ReleaseUnitTypeResources(*this, type.get());
    }
  FreePlacementRecords(*this);
  FreePathPointRecords(*this);
}

// [SECTION] Reading a unit master

int ReadUnitMaster(UnitDatabase& db, const script::CScriptArray* master) {
  if (!master) return 0;
  int count = script::GetElementCount(master);
  for (int i = 0; i < count; i++) {
    const script::CScriptValue* member = script::GetElement(master, i);
    if (!member) continue;
    const char* key = member->text.c_str();
    UnitType* type = FindUnitTypeByKey(db, key);
    if (!type) {
      int slot = FirstEmptySlot(db);
      db.types[size_t(slot)] = std::make_unique<UnitType>();
      type = db.types[size_t(slot)].get();
      type->slotIndex = slot;
    }
    const script::CScriptArray* def = script::GetElementCompound(master, i);
    type->definition = def ? script::WriteCompoundText(def, 0) : std::string();
    type->key = key;
    MemberReader reader{def, {}};
    ReadType(*type, reader);
  }
  // References by key, once every member is known.
  for (std::unique_ptr<UnitType>& type : db.types) {
    if (!type) continue;
    type->gunType = ResolveKey(db, type->gunId);
    for (int i = 0; i < 4; i++) type->weaponTypes[i] = ResolveKey(db, type->weaponId[i]);
    for (ChildEntry& child : type->children) child.type = ResolveKey(db, child.key);
    for (ScatterEntry& entry : type->scatter) entry.type = ResolveKey(db, entry.key);
  }
  return 1;
}

// [SECTION] Lookups

UnitType* FindUnitTypeByKey(const UnitDatabase& db, const char* key) {
  if (!key) return nullptr;
  for (const std::unique_ptr<UnitType>& type : db.types)
    if (type && type->key == key) return type.get();
  return nullptr;
}

UnitType* FindUnitTypeByAlias(const UnitDatabase& db, const char* alias) {
  if (!alias) return nullptr;
  for (const std::unique_ptr<UnitType>& type : db.types)
    if (type && type->alias == alias) return type.get();
  return nullptr;
}

UnitType* FindUnitTypeByName(const UnitDatabase& db, const char* name) {
  // An empty text would find the first type without alias or name.
  if (!name || !name[0]) return nullptr;
  if (UnitType* type = FindUnitTypeByAlias(db, name)) return type;
  for (const std::unique_ptr<UnitType>& type : db.types)
    if (type && type->name == name) return type.get();
  return nullptr;
}

UnitType* GetUnitTypeByIndex(const UnitDatabase& db, int index) {
  if (index < 0 || size_t(index) >= db.types.size()) return nullptr;
  return db.types[size_t(index)].get();
}

PlacementRecord* GetPlacementRecord(const UnitDatabase& db, int index) {
  if (index < 0 || size_t(index) >= db.placements.size()) return nullptr;
  return db.placements[size_t(index)];
}

PathPointRecord* GetPathPointRecord(const UnitDatabase& db, int index) {
  if (index < 0 || size_t(index) >= db.pathPoints.size()) return nullptr;
  return db.pathPoints[size_t(index)];
}

int GetUnitTypeCount(const UnitDatabase& db) { return int(db.types.size()); }

int ListUnitTypeNames(const UnitDatabase& db, char* buffer) {
  int size = 0;
  for (const std::unique_ptr<UnitType>& type : db.types) {
    // An empty alias would write a lone NUL that ends the list early.
    if (!type || (type->attributes & kAttrUnlisted) || type->alias.empty()) continue;
    size_t length = type->alias.size() + 1;
    if (buffer) std::memcpy(buffer + size, type->alias.c_str(), length);
    size += int(length);
  }
  if (buffer) buffer[size] = 0;
  return size + 1;
}

UnitType* FindOrCreateUnitTypeByFile(UnitDatabase& db, const char* fileName, uint32_t key) {
  if (!fileName) fileName = "";
  for (const std::unique_ptr<UnitType>& type : db.types)
    if (type && type->modelFile.empty() && type->textureLargeFile == fileName && type->textureStyle[0] == key)
      return type.get();
  int slot = FirstEmptySlot(db);
  db.types[size_t(slot)] = std::make_unique<UnitType>();
  UnitType* type = db.types[size_t(slot)].get();
  type->slotIndex = slot;
  type->textureLargeFile = fileName;
  type->attributes = kAttrObject;
  type->textureStyle[0] = key;
  return type;
}

// [SECTION] Models and textures

namespace {

bool SameFileName(const std::string& a, const std::string& b) {
  return strncasecmp(a.c_str(), b.c_str(), kFileNameCompare) == 0;
}

// The texture of a slot, loaded from `name` with `flags` at its first use (a
// file that does not load is not tried again until the slot is released).
render::TextureHolder* LoadSlotTexture(UnitDatabase& db, TypeTexture& slot, const std::string& name, uint32_t flags) {
  if (!slot.tried && db.graphics) {
    slot.tried = true;
    if (!slot.holder) slot.holder = std::make_unique<render::TextureHolder>();
    slot.loaded = slot.holder->LoadTextureFile(*db.graphics, name.c_str(), flags) != 0;
  }
  return slot.get();
}

// The texture of the first type whose file (the member `file`) has the same
// name, loaded on its first use with `flags`. Null for an empty name, without
// renderer, or when the file cannot be loaded.
render::TextureHolder* SharedTexture(UnitDatabase& db, const UnitType& type, std::string UnitType::*file,
                                     TypeTexture UnitType::*texture, uint32_t flags, bool sameStyle = false) {
  const std::string& name = type.*file;
  if (name.empty()) return nullptr;
  UnitType* owner = nullptr;
  for (const std::unique_ptr<UnitType>& t : db.types) {
    if (!t || !SameFileName(t.get()->*file, name)) continue;
    if (sameStyle && t->textureStyle[1] != type.textureStyle[1]) continue;
    owner = t.get();
    break;
  }
  if (!owner) return nullptr;
  return LoadSlotTexture(db, owner->*texture, name, flags);
}

render::CMesh* LoadTypeModel(UnitDatabase& db, TypeModel& slot, const std::string& file, uint32_t flags) {
  if (file.empty()) return nullptr;
  if (!slot.tried && db.graphics) {
    slot.tried = true;
    if (!slot.holder) slot.holder = std::make_unique<render::CMesh>();
    slot.loaded = slot.holder->LoadXFile(*db.graphics, file.c_str(), flags) != 0;
  }
  return slot.loaded ? slot.holder.get() : nullptr;
}

void ReleaseTexture(UnitDatabase& db, TypeTexture& slot) {
  if (slot.holder && db.graphics) slot.holder->ReleaseTexture(*db.graphics);
  slot.tried = slot.loaded = false;
}

void ReleaseModel(TypeModel& slot) {
  if (slot.holder) slot.holder->ReleaseMesh();
  slot.tried = slot.loaded = false;
}

bool LayersOn(const UnitDatabase& db) { return db.graphics && db.graphics->AreShadersOn(); }

// Quality bits of the load flags, for textures of types without model.
uint32_t QualityIfNoModel(const UnitDatabase& db, const UnitType& type) {
  return type.modelFile.empty() ? (db.loadFlags & kLoadQualityBits) : 0;
}

}  // namespace

render::TextureHolder* FindUnitTypeTexture(UnitDatabase& db, UnitType& type) {
  uint32_t flags = 0x2 | type.textureStyle[1] | QualityIfNoModel(db, type);
  render::TextureHolder* holder =
      SharedTexture(db, type, &UnitType::textureLargeFile, &UnitType::largeTexture, flags, true);
  if (holder) holder->SetTextureFlags(type.textureStyle[1]);
  return holder;
}

render::TextureHolder* GetUnitTypeBumpTexture(UnitDatabase& db, UnitType& type) {
  if (!LayersOn(db)) return nullptr;
  // A height map becomes a normal map; a TEXTURE_BUMPED_FILE is one already.
  uint32_t flags = render::kTexBumpSlot | (type.bumpFromBumpedKey ? 0u : uint32_t(render::kTexNormalMap)) |
                   (db.loadFlags & kLoadQualityBits);
  return SharedTexture(db, type, &UnitType::textureBumpFile, &UnitType::bumpTexture, flags);
}

namespace {

// A layer (specular, light) whose file may be the large texture's own: then
// the large texture itself serves, else the layer's shared texture.
render::TextureHolder* LayerOrLargeTexture(UnitDatabase& db, UnitType& type, std::string UnitType::*file,
                                           TypeTexture UnitType::*texture, uint32_t slotFlag) {
  if (!LayersOn(db)) return nullptr;
  const std::string& name = type.*file;
  if (!name.empty() && SameFileName(name, type.textureLargeFile)) return FindUnitTypeTexture(db, type);
  return SharedTexture(db, type, file, texture, slotFlag | QualityIfNoModel(db, type));
}

}  // namespace

render::TextureHolder* GetUnitTypeSpecularTexture(UnitDatabase& db, UnitType& type) {
  return LayerOrLargeTexture(db, type, &UnitType::textureSpecularFile, &UnitType::specularTexture,
                             render::kTexSpecularSlot);
}

render::TextureHolder* GetUnitTypeLightTexture(UnitDatabase& db, UnitType& type) {
  return LayerOrLargeTexture(db, type, &UnitType::textureLightFile, &UnitType::lightTexture, render::kTexLightSlot);
}

render::TextureHolder* GetUnitTypeHeatTexture(UnitDatabase& db, UnitType& type) {
  if (!LayersOn(db)) return nullptr;
  return SharedTexture(db, type, &UnitType::textureHeatFile, &UnitType::heatTexture, render::kTexHeatSlot);
}

render::TextureHolder* GetUnitTypeHudImage(UnitDatabase& db, UnitType& type) {
  uint32_t flags = 0x2 | ((db.loadFlags & kTexHud) ? kTexHud : 0);
  return SharedTexture(db, type, &UnitType::hudImageFile, &UnitType::hudImage, flags);
}

render::TextureHolder* GetUnitTypeHudNameImage(UnitDatabase& db, UnitType& type) {
  uint32_t flags = 0x2 | ((db.loadFlags & kTexHud) ? kTexHud : 0);
  return SharedTexture(db, type, &UnitType::hudNameFile, &UnitType::hudNameImage, flags);
}

render::TextureHolder* GetUnitTypeHudRadarImage(UnitDatabase& db, UnitType& type) {
  return SharedTexture(db, type, &UnitType::hudRadarFile, &UnitType::hudRadarImage, 0x2);
}

render::TextureHolder* GetUnitTypeFireTexture(UnitDatabase& db, UnitType& type, int n) {
  if (n < 0 || n > 3) return nullptr;
  const std::string& name = type.fireTextureFile[n];
  if (name.empty()) return nullptr;
  // Shared by name with any fire texture slot of any type.
  for (const std::unique_ptr<UnitType>& t : db.types) {
    if (!t) continue;
    for (int i = 0; i < 4; i++) {
      if (!SameFileName(t->fireTextureFile[i], name)) continue;
      return LoadSlotTexture(db, t->fireTextures[i], name, 0x2);
    }
  }
  return nullptr;
}

render::CMesh* PrepareUnitTypeModel(UnitDatabase& db, UnitType& type) {
  uint32_t flags = (type.attributes & kAttrAnimation) ? uint32_t(render::kMeshHierarchy) : 0u;
  render::CMesh* mesh = LoadTypeModel(db, type.model, type.modelFile, flags);
  if (!mesh) return nullptr;
  // Each layer the load flags select gets the type's texture when the model
  // brought none; a layer not selected is emptied.
  auto layer = [&](uint32_t bit, render::TextureHolder* (render::CMesh::*get)(int, int) const,
                   int (render::CMesh::*set)(int, int, render::TextureHolder*),
                   render::TextureHolder* (*find)(UnitDatabase&, UnitType&)) {
    if (!(db.loadFlags & bit))
      (mesh->*set)(-1, -1, nullptr);
    else if (!(mesh->*get)(0, 0))
      (mesh->*set)(-1, -1, find(db, type));
  };
  layer(kLoadLarge, &render::CMesh::GetMeshTexture, &render::CMesh::SetMeshTexture, FindUnitTypeTexture);
  layer(kLoadBump, &render::CMesh::GetMeshBumpTexture, &render::CMesh::SetMeshBumpTexture, GetUnitTypeBumpTexture);
  layer(kLoadSpecular, &render::CMesh::GetMeshSpecularTexture, &render::CMesh::SetMeshSpecularTexture,
        GetUnitTypeSpecularTexture);
  layer(kLoadLight, &render::CMesh::GetMeshLightTexture, &render::CMesh::SetMeshLightTexture,
        GetUnitTypeLightTexture);
  if (!(db.loadFlags & kLoadHeat))
    mesh->SetMeshHeatTexture(nullptr);
  else if (!mesh->GetMeshHeatTexture())
    mesh->SetMeshHeatTexture(GetUnitTypeHeatTexture(db, type));
  if (type.attributes & kAttrMirrorMap)
    mesh->SetMeshFlags(render::kMeshMirror);
  else
    mesh->ClearMeshFlags(render::kMeshMirror);
  return mesh;
}

render::CMesh* GetUnitTypeSubModel(UnitDatabase& db, UnitType& type, int n) {
  if (n < 0 || n > 3) return nullptr;
  bool fresh = !type.subModels[n].tried;
  render::CMesh* mesh = LoadTypeModel(db, type.subModels[n], type.fireModelFile[n], 0);
  if (mesh && fresh) mesh->SetMeshTexture(-1, -1, GetUnitTypeFireTexture(db, type, n));
  return mesh;
}

render::CMesh* GetUnitTypeFireModel(UnitDatabase& db, UnitType& type, int n) {
  if (n < 0 || n > 3) return nullptr;
  bool fresh = !type.fireModels[n].tried;
  render::CMesh* mesh = LoadTypeModel(db, type.fireModels[n], type.fireModelFile[n], 0);
  if (mesh && fresh) {
    mesh->SetMeshTexture(-1, -1, db.graphics->GetWhiteTexture());
    mesh->SetMeshHeatTexture(db.graphics->GetWhiteTexture());
  }
  return mesh;
}

int SetHudTextureFlag(UnitDatabase& db, int on) {
  if (on)
    db.loadFlags |= kLoadHudFlags;
  else
    db.loadFlags &= ~kLoadHudFlags;
  for (std::unique_ptr<UnitType>& type : db.types) {
    if (!type) continue;
    for (TypeTexture* slot : {&type->hudImage, &type->hudNameImage}) {
      if (!slot->holder) continue;
      if (on)
        slot->holder->SetTextureFlags(kTexHud);
      else
        slot->holder->ClearTextureFlags(kTexHud);
    }
  }
  return 1;
}

int SetTextureLoadFlags(UnitDatabase& db, uint32_t flags) {
  db.loadFlags = (db.loadFlags & ~kLoadFlagMask) | (flags & kLoadFlagMask);
  return 1;
}

int ReleaseUnitTypeResources(UnitDatabase& db, UnitType* type) {
  if (!type) {
    for (std::unique_ptr<UnitType>& t : db.types)
      if (t && !(t->attributes & kAttrMemory)) ReleaseUnitTypeResources(db, t.get());
    return 1;
  }
  ReleaseModel(type->model);
  for (TypeTexture* slot : {&type->largeTexture, &type->bumpTexture, &type->specularTexture, &type->lightTexture,
                            &type->heatTexture, &type->hudImage, &type->hudNameImage, &type->hudRadarImage})
    ReleaseTexture(db, *slot);
  for (int i = 0; i < 4; i++) {
    ReleaseModel(type->subModels[i]);
    ReleaseModel(type->fireModels[i]);
    ReleaseTexture(db, type->fireTextures[i]);
  }
  return 1;
}

}  // namespace units
