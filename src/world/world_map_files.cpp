// world_map_files.cpp -- the map's data files: the map master read into
// definitions, the terrain array placed, and the placed objects written back
// as a terrain file.
//
// Index
//  [SECTION] Reading a map master
//  [SECTION] Reading a terrain
//  [SECTION] Writing a terrain file

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "script/script_public.h"
#include "world_map_internal.h"

namespace world {

namespace {

constexpr int kMaxWords = 16;         // TEXTURE_STYLE and ATTRIBUTE words
constexpr int kMaxListEntries = 1024; // CHILD and CHILD_UNIT entries

using script::MemberReader;

struct Word {
  const char* text;
  int32_t bits;
  int32_t MapObjectDefinition::*field;
};

const Word kStyleWords[] = {
    {"LIGHT", int32_t(render::kTexAdditive), &MapObjectDefinition::textureStyle},
    {"TEXTURE_TRANSLUCENT", 0x2, &MapObjectDefinition::translucent},
    {"WRAP", 0, &MapObjectDefinition::textureStyle},
    {"MIRROR", int32_t(render::kTexAddressMirror), &MapObjectDefinition::textureStyle},
    {"CLAMP", int32_t(render::kTexAddressClamp), &MapObjectDefinition::textureStyle},
    {"HIGHCOLOR", int32_t(render::kTexAllow16Bit), &MapObjectDefinition::textureStyle},
};

const Word kAttributeWords[] = {
    {"GROUND", kMapGround, &MapObjectDefinition::attributes},
    {"UNLISTED", kMapUnlisted, &MapObjectDefinition::attributes},
    {"TUNNEL", kMapTunnel, &MapObjectDefinition::attributes},
    {"MIRROR_MAP", kMapMirrorMap, &MapObjectDefinition::attributes},
    {"LANDING", kMapLanding, &MapObjectDefinition::attributes},
    {"WATER", kMapWater, &MapObjectDefinition::attributes},
    {"MEMORY", kMapMemory, &MapObjectDefinition::attributes},
};

template <size_t N>
void ReadWords(MemberReader& r, const char* key, const Word (&words)[N], MapObjectDefinition& d) {
  for (int i = 0; i < kMaxWords; i++) {
    const char* p = r.Format(key, i);
    if (!r.Has(p)) break;  // the list ends at the first missing index
    std::string text = r.Text(p);
    for (const Word& w : words)
      if (strcasecmp(text.c_str(), w.text) == 0) d.*(w.field) |= w.bits;
  }
}

template <typename Entry, typename Fill>
void ReadChildList(const script::CScriptArray* list, std::vector<Entry>* out, Fill fill) {
  out->clear();
  for (int i = 0; i < kMaxListEntries && script::GetElement(list, i); i++) {
    MemberReader er{script::GetElementCompound(list, i), {}};
    Entry entry;
    fill(entry, er);
    out->push_back(std::move(entry));
  }
}

void ReadDefinition(MapObjectDefinition& d, MemberReader& r) {
  d.alias = r.Text("ALIAS");
  d.modelFile = r.Text("MODEL_FILE");
  d.largeTextureFile = r.Text("TEXTURE_LARGE_FILE");
  d.bumpTextureFile = r.Text("TEXTURE_BUMP_FILE");
  std::string bumped = r.Text("TEXTURE_BUMPED_FILE");
  if (!bumped.empty()) {
    d.bumpTextureFile = bumped;
    d.bumped = 1;
  }
  d.specularTextureFile = r.Text("TEXTURE_SPECULAR_FILE");
  d.lightTextureFile = r.Text("TEXTURE_LIGHT_FILE");
  d.glareRate = r.Float("GLARE_RATE", 0.1f);
  ReadWords(r, "TEXTURE_STYLE[%d]", kStyleWords, d);
  d.scale = r.Vector("SCALE", {1, 1, 1});
  float lightRate = r.Float("LIGHT_RATE", 0.0f);
  d.lightRate = lightRate == 0.0f ? -1.0f : lightRate;
  ReadWords(r, "ATTRIBUTE[%d]", kAttributeWords, d);

  int lights = 0;
  for (; lights < kMapAeroLights; lights++) {
    const char* p = r.Format("AERO_LIGHT[%d].POS", lights);
    if (!r.Has(p)) break;
    d.aeroLightPos[lights] = r.Vector(p, {});
    d.aeroLightType[lights] = r.Int(r.Format("AERO_LIGHT[%d].TYPE", lights), 0);
  }
  for (int i = lights; i < kMapAeroLights; i++) {
    d.aeroLightPos[i] = {};
    d.aeroLightType[i] = -1;
  }

  d.hasConnectionPoints = r.Has("CONNECTION_POS");
  const script::CScriptArray* points = script::GetMemberCompound(r.object, "CONNECTION_POS");
  for (int i = 0; i < kMapConnectionPoints; i++) {
    const script::CScriptArray* point = script::GetElementCompound(points, i);
    if (point) {
      MemberReader pr{point, {}};
      d.connectionPoints[i] = {pr.Float("x", 0), pr.Float("y", 0), pr.Float("z", 0)};
    } else {
      d.connectionPoints[i] = {kMapNoPoint, kMapNoPoint, kMapNoPoint};
    }
  }

  ReadChildList(script::GetMemberCompound(r.object, "CHILD"), &d.children, [](MapChildEntry& e, MemberReader& er) {
    e.name = er.Text("ID");
    e.position = er.Vector("POS", {});
    e.rotation = er.Vector("ROT", {}, kMapDegreesToRadians);
  });
  ReadChildList(script::GetMemberCompound(r.object, "CHILD_UNIT"), &d.childUnits,
                [](MapChildUnit& e, MemberReader& er) {
                  e.typeName = er.Text("ID");
                  e.position = er.Vector("POS", {});
                  e.rotation = er.Vector("ROT", {}, kMapDegreesToRadians);
                });
}

// The slot of a new definition: the first empty one, the table doubling
// when none is left.
size_t FirstEmptyDefinition(MapObjectWorld& map) {
  for (size_t i = 0; i < map.definitions.size(); i++)
    if (!map.definitions[i]) return i;
  size_t old = map.definitions.size();
  map.definitions.resize(old ? old * 2 : 256);
  return old;
}

}  // namespace

// [SECTION] Reading a map master

int LoadMapMaster(GameWorld& world, const script::CScriptArray* master) {
  if (!master) return 0;
  MapObjectWorld& map = MapOf(world);
  // Nothing may point at a definition once it is freed: the sky layers go,
  // and every placed object (with the tree) is removed before the old
  // definitions are.
  ReleaseSkyLayers(map);
  RemoveAllMapObjects(world);
  for (auto& definition : map.definitions) {
    if (!definition) continue;
    ReleaseDefinitionResources(map, *definition);
    definition.reset();
  }

  int count = script::GetElementCount(master);
  for (int i = 0; i < count; i++) {
    const script::CScriptValue* member = script::GetElement(master, i);
    if (!member) continue;
    const std::string& name = member->text;
    size_t slot = map.definitions.size();
    for (size_t k = 0; k < map.definitions.size(); k++)
      if (map.definitions[k] && map.definitions[k]->name == name) slot = k;
    if (slot == map.definitions.size()) slot = FirstEmptyDefinition(map);
    // A name given twice is filled again: the later entry wins.
    map.definitions[slot] = std::make_unique<MapObjectDefinition>();
    MapObjectDefinition& d = *map.definitions[slot];
    d.name = name;
    MemberReader reader{script::GetElementCompound(master, i), {}};
    ReadDefinition(d, reader);
  }
  // Children by name, once every definition is known.
  for (auto& definition : map.definitions) {
    if (!definition) continue;
    for (MapChildEntry& child : definition->children) {
      child.definition = nullptr;
      for (auto& other : map.definitions)
        if (other && other->name == child.name) {
          child.definition = other.get();
          break;
        }
    }
  }
  return 1;
}

// [SECTION] Reading a terrain

int ReadMapPlacements(GameWorld& world, const script::CScriptArray* terrain, int qualityFlags) {
  if (!terrain) return 0;
  MapObjectWorld& map = MapOf(world);
  map.qualityFlags = qualityFlags;
  // The objects go before the models they show.
  RemoveAllMapObjects(world);
  for (auto& definition : map.definitions)
    if (definition && !(definition->attributes & kMapMemory)) ReleaseDefinitionResources(map, *definition);

  int count = script::GetElementCount(terrain);
  for (int i = 0; i < count; i++) {
    const script::CScriptArray* element = script::GetElementCompound(terrain, i);
    if (!element) continue;
    MemberReader r{element, {}};
    std::string id = r.Text("ID");
    Vec3 position = r.Vector("POS", {});
    Vec3 rotation = r.Vector("ROT", {}, kMapDegreesToRadians);
    CreateMapObjectByName(world, position, rotation, id.c_str());
  }

  if (!map.boxTried) LoadSystemBox(world);
  if (map.boxModel.containerCount > 0) map.rootBox.SetObjectModel(&map.boxModel);
  BuildSpatialTree(world);
  map.rootBox.SetObjectScale(100000000.0f, 100000000.0f, 100000000.0f);
  map.rootBox.SetObjectPosition(0, 0, 0);
  return 1;
}

// [SECTION] Writing a terrain file

namespace {

// The degrees written for an angle in radians: one whose text reads back to
// this very angle (or the nearest readable one), so reading and writing a
// file again and again never moves an object's turn.
float DegreesToWrite(float radians) { return script::QuotientToWrite(radians, kMapDegreesToRadians); }

}  // namespace

std::string BuildMapFileText(GameWorld& world) {
  MapObjectWorld& map = MapOf(world);
  // Private pools: writing needs no script engine and leaves none used.
  script::ScriptPools pools;
  script::CScriptArray* top = pools.AllocScriptArray(nullptr);
  if (!top) return {};
  std::string text;
  try {
    int element = 0;
    char at[64];
    for (auto& entry : map.objects) {
      MapObject* object = entry.get();
      if (!object || !object->placed || object->parentObject || !object->definition) continue;
      // Each object names its own definition (two definitions may show the
      // same model).
      auto key = [&](const char* name) {
        std::snprintf(at, sizeof at, "[%d].%s", element, name);
        return at;
      };
      script::SetMemberString(pools, top, key("ID"), object->definition->name.c_str());
      script::SetMemberFloat(pools, top, key("POS.x"), object->position.x);
      script::SetMemberFloat(pools, top, key("POS.y"), object->position.y);
      script::SetMemberFloat(pools, top, key("POS.z"), object->position.z);
      if (object->angles.x != 0) script::SetMemberFloat(pools, top, key("ROT.x"), DegreesToWrite(object->angles.x));
      if (object->angles.y != 0) script::SetMemberFloat(pools, top, key("ROT.y"), DegreesToWrite(object->angles.y));
      if (object->angles.z != 0) script::SetMemberFloat(pools, top, key("ROT.z"), DegreesToWrite(object->angles.z));
      element++;
    }
    // An empty terrain is still an array, so the file reads back.
    text = element ? script::WriteCompoundText(top, 1) : std::string("[]");
  } catch (const script::ScriptError&) {
    text.clear();
  }
  pools.ReleaseScriptArray(top);
  return text;
}

int WriteMapFile(GameWorld& world, const char* fileName) {
  std::string text = BuildMapFileText(world);
  std::string disk = platform::ResolvePath(fileName ? fileName : "");
  std::string reason;
  if (disk.empty()) {
    reason = std::strerror(ENOENT);
  } else if (platform::WriteWholeFile(disk.c_str(), text.data(), text.size(), &reason)) {
    return 1;
  }
  core::Logf(world.log, core::kLogError, "%s: %s\n", disk.c_str(), reason.c_str());
  platform::ShowMessageBox(core::Sjis("マップファイルの書き込みオープンに失敗しました。"), "", platform::kMbOk);
  return 0;
}

}  // namespace world
