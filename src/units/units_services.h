// units_services.h -- what the world sees of the units: the unit, unit-type
// and path-point records it pools and the operations it calls each step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/render_public.h"
#include "units/units_paths.h"

namespace world {
class GameWorld;
}

namespace sound {
class SoundSystem;
}

namespace script {
struct CScriptArray;
}

namespace units {

using platform::Vec3;

struct UnitType;
struct PathPoint;
struct PlacementRecord;
struct PathPointRecord;

// [SECTION] The unit record
//
// A `Unit` is a display object followed by the unit fields. The world pools
// unit records (built once, reset when freed and reused); a script names a
// unit by its pool index, the unit id. The display object's free `counter`
// is the unit's age: the number of steps spent in the current state.
//
// Invariants:
//  - unitId is 0 exactly while the record is free in the pool.
//  - A state of kUnitStateDestroyedFrom (900) or more is destroyed: such a
//    unit takes no damage.
//  - Text fields never lose their buffer once it is made (reset empties
//    them); a field without a buffer reads as "".

// The unit flags word.
enum : uint32_t {
  kUnitTarget = 0x1,                // counted among the TARGET units; marked on the HUD
  kUnitPlayer = 0x2,                // a player unit (LEVEL -1)
  kUnitCounted = 0x10,              // counted in the population statistics
  kUnitRemote = 0x40,               // simulated by another peer
  kUnitIgnored = 0x100,             // left out of AI targeting
  kUnitBarrier = 0x200,             // tested by shots, lasers and explosions
  kUnitInert = 0x400,               // takes no damage, selects no target, not counted
  kUnitBlended = 0x800,             // drawn in the blended unit pass
  kUnitSimple = 0x1000,             // flight model without gravity, stall and bank terms
  kUnitPlayerHitsOnly = 0x2000,     // only the player's shots (or ownerless ones) hurt it
  kUnitPriorityTarget = 0x10000,    // AI targeting favours TARGET units
  kUnitPriorityNonTarget = 0x20000, // AI targeting favours units that are not TARGET
  kUnitFrozen = 0x40000,            // the step stops after the world-matrix cache
};

// The state word. Behaviours of later kinds (sword actors, balls) use states
// of their own beside these.
enum : int32_t {
  kUnitStateIdle = 0,        // idle or flying; a weapon loading on its pylon
  kUnitStateReady = 1,       // a weapon ready on its pylon
  kUnitStateLaunched = 2,    // a weapon launched
  kUnitStateFreeFlight = 99,
  kUnitStateFollowPath = 800,
  kUnitStateNoStep = 990,
  kUnitStateFinal = 998,
  kUnitStateDestroyed = 999,
};
constexpr int32_t kUnitStateDestroyedFrom = 900;

// Unit type values (the TYPE words of the unit master, UnitTypeNameTable).
enum : int32_t {
  kTypeNone = 0,
  kTypePlayer = 1,
  kTypeCameraAir = 2,
  kTypeCameraGround = 3,
  kTypeDust = 4,
  kTypeObject = 5,
  kTypePlane = 6,
  kTypeVtol = 7,
  kTypeShip = 8,
  kTypeVehicle = 9,
  kTypeAaGunFixed = 10,      // 10..14 anti-aircraft guns
  kTypeAaGunFree = 14,
  kTypeAaMissileFixed = 15,  // 15..19 missile launchers
  kTypeAaMissileFree = 19,
  kTypeAaLaserFixed = 20,    // 20..24 laser turrets
  kTypeAaLaserFree = 24,
  kTypeFacility = 25,
  kTypeEffect = 26,
  kTypeToybox = 27,
  kTypeRunway = 28,
  kTypeGun = 29,             // 29..31 gun shots
  kTypeBeam = 30,
  kTypeGrenade = 31,
  kTypeLaser = 32,
  kTypeMissile = 33,
  kTypeBomb = 34,
  kTypeMissilePrediction = 35,  // 35..38 missiles
  kTypeMissileFoot = 38,
  kTypeBombNapalm = 39,         // 39..42 bombs
  kTypeBombEcmF = 42,
  kTypeMountedCannon = 43,      // 43..48 mounted weapons
  kTypeMountedItem = 48,
  kTypeMountedNone = 49,
  kTypeSworder = 50,
  kTypeBall = 51,               // 51..55 ball enemies
  kTypeBallEvil = 55,
  kTypeBallBeam = 56,
  kTypeBallLaser = 57,
  kTypeBallTarget = 58,
};

// One row of the TYPE word table; the table ends with {-1, ""}.
struct UnitTypeName {
  int32_t value;
  const char* name;
};
extern const UnitTypeName kUnitTypeNameTable[];

// A text field of a unit: a heap buffer that grows to fit and never shrinks.
// No buffer reads as "".
struct UnitText {
  std::unique_ptr<char[]> buffer;
  uint32_t capacity = 0;

  const char* Get() const { return buffer ? buffer.get() : ""; }
  bool HasBuffer() const { return buffer != nullptr; }
  // Copies the text (null as ""), growing the buffer when needed; returns
  // the stored text.
  const char* Set(const char* text);
  // Empties the text, keeping the buffer.
  void Clear() {
    if (buffer) buffer[0] = 0;
  }
  // Frees the buffer (the field reads as "" again, as unset).
  void Free() {
    buffer.reset();
    capacity = 0;
  }
};

// One entry of an event queue: a unit id and an amount.
struct UnitEvent {
  int32_t unitId;
  int32_t amount;
};
static_assert(sizeof(UnitEvent) == 8, "event queue entries are 8 bytes");

// A growable block of events: 16 entries when first made, doubled when full.
// Entries are contiguous from the start; the first free entry ends the list
// (the damage-by queue marks it by amount 0, the others by unit id 0).
struct UnitEventQueue {
  std::unique_ptr<UnitEvent[]> entries;
  int32_t capacity = 0;
};

constexpr int kUnitAttachments = 16;
constexpr int kUnitWeaponSlots = 4;
constexpr int kUnitChildrenPerSlot = 4;

struct Unit : render::DisplayObject {
  Unit();
  ~Unit();
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;

  // --- Motion and control (reset 0) ---------------------------------------
  Vec3 control{};              // control inputs of behaviour and flight model
  float throttle = 0;          // fourth control input
  Vec3 velocity{};             // world units per step
  Vec3 moment{};               // angular velocity, radians per step
  float speedTarget = 0;       // set_speed_target
  float speedRate = 0;

  // --- State and hit points -----------------------------------------------
  int32_t state = 0;           // the state word (kUnitState*)
  int32_t pendingState = 0;    // taken at the end of this step when pendingFlag
  int32_t pendingFlag = 0;
  int32_t hp = 0;
  int32_t maxHp = 0;
  int32_t invulnerableSteps = 0;  // counts down once per step; no damage while > 0
  int32_t planeWord = 0;          // aircraft behaviour word
  int32_t engineRpm = 0;          // rpm x 10000
  int32_t controlWord = 0;        // flight-model word, 5..45

  // Extra velocity and rotation applied by the attitude step for `impulseSteps`.
  Vec3 impulseVelocity{};
  Vec3 impulseRotation{};
  int32_t impulseSteps = 0;

  // --- Links ----------------------------------------------------------------
  Unit* parent = nullptr;      // branch parts, weapon children, carried units
  Unit* attachments[kUnitAttachments] = {};  // attached units: tires, parts (not owned)
  Vec3 attachmentVectors[kUnitAttachments] = {};  // (0, 0.01, 0) when a slot is filled
  float landingRate = 0;       // 0..1, lowers the stall speed

  // --- Texts -------------------------------------------------------------
  UnitText label;
  UnitText group;              // placement group
  UnitText team;
  UnitText printedTeam;        // team shown to others
  UnitText pathLabel;          // the placement's PATH label

  // --- Path --------------------------------------------------------------
  PathPoint* path = nullptr;   // path point being followed
  int32_t pathIndex = 0;       // index into the followed path (kept by reset)

  // --- Event queues (freed by reset) ---------------------------------------
  UnitEventQueue damageByQueue;  // (attacker id, amount); free entry: amount 0
  UnitEventQueue hitQueue;       // (victim id, amount); free entry: id 0
  UnitEventQueue killQueue;      // (victim id, 0); free entry: id 0

  // --- Type and identity ---------------------------------------------------
  UnitType* type = nullptr;
  int32_t worldValue = 0;      // a value of the world stored at placement
  UnitType* weaponTypes[kUnitWeaponSlots] = {};
  int32_t unitId = 0;          // pool index from 1; 0 while free
  int32_t level = 0;           // LEVEL 1..10; -1 for a PLAYER unit
  uint32_t flags = 0;          // kUnit* flags
  int32_t networkId = -1;      // (machine id << 24) | 24-bit counter
  int32_t lifeTimer = -1;      // steps before release; <= 0 none
  Unit* master = nullptr;      // owner: the unit that fired or carries it
  int32_t score = 0;           // 10 at placement, 0 at death
  // Advanced by every reset (kept otherwise): with the record's address it
  // tells this life of a pooled record from a later one in the same slot.
  uint32_t spawnSerial = 0;

  // --- Trails -------------------------------------------------------------
  int32_t trailWord = 0;
  Vec3 trailPoints[4] = {};
  int32_t trailStates[4][4] = {};
  int32_t trailWords[4] = {};

  int32_t sceneNumber = 0;     // the world's scene number when placed (kept by reset)
  int32_t duckFlag = 0;        // both 1 at placement
  int32_t defensiveFlag = 0;
  int32_t importantFlag = 0;
  int32_t classPriority[4] = {};  // per target class: halve the distance score
  int32_t classIgnore[4] = {};    // per target class: never choose
  UnitText exclusiveLabel;     // AI targeting labels; freed by reset (unset)
  UnitText priorityLabel;
  UnitText ignoreLabel;

  // --- Weapons -------------------------------------------------------------
  int32_t currentWeaponSlot = 0;
  uint8_t weaponStops[kUnitWeaponSlots] = {};
  uint8_t gunStop = 0;
  float engineLimitLow = -1.0f;   // bounds of the player's throttle request
  float engineLimitHigh = 1.0f;
  Unit* target = nullptr;
  Unit* lastDamageSource = nullptr;  // the shot that last hurt it
  Vec3 aimPoint{};
  int32_t lockWord = 0;
  int32_t gunHeat = 0;
  int32_t gunBarrel = 0;        // 0..3
  int32_t gunCoolWord = 0;
  Unit* weaponChildren[kUnitWeaponSlots][kUnitChildrenPerSlot] = {};
  int32_t ammo[kUnitWeaponSlots][3] = {};  // current, stock, max per slot
  uint32_t lastDamageSourceSerial = 0;  // the spawn serial of lastDamageSource

  // --- View and behaviour words ------------------------------------------
  float viewYaw = 0;
  float viewPitch = 0;
  float viewTurnWord = 0;
  int32_t targetCyclingWord = 0;
  Vec3 territory{};            // SetUnitTerritory's three values
  Vec3 home{};                 // placement point (kept by reset)
  int32_t actorWord = 0;       // sword actor: jump hold count
  float actorTime = 0;         // sword actor: animation time
  // The goal the air, sea and ground behaviours steer toward. A field of its
  // own: kept in the first flight word it would overwrite the caution
  // counter there.
  Vec3 steeringPoint{};
  uint32_t flightWords[7] = {};  // see units_flight.h; [3] jamming level, [4] jamming flags
  float gearContactRate = 0;   // 0..1
  int32_t flightWord = 0;
  int32_t viewWord = 1;        // read by camera, HUD alarms, flight model, aiming
  int32_t damageLevel = 0;     // 0, 1 (< 60 %), 2 (< 40 %), 4 (< 20 %)
  int16_t damageByMark = 0;    // set to 60 at every append to the queue
  int16_t killMark = 0;
  int16_t hitMark = 0;
  int16_t missileWords[2] = {};
  int16_t launchTarget = -1;   // low 16 bits of the last launched weapon's target id
  int16_t aimingWords[2] = {-1, -1};
  uint32_t behaviourWords[16] = {};  // free words of the behaviours
  int32_t aimWord = 0;
  int32_t removalMark = 0;     // 1: the world releases the unit after the step
  int32_t soundChannel = 0;    // engine sound slot
  int32_t soundCopy = -1;      // playing copy of the engine sound
};

// Age (frames in the current state): the display object's counter.
inline int32_t& UnitAge(Unit& unit) { return unit.counter; }
// Behaviour word n (0..15) read and written as a signed integer.
inline int32_t& BehaviourInt(Unit& unit, int n) { return reinterpret_cast<int32_t&>(unit.behaviourWords[n]); }
inline bool IsUnitDestroyed(const Unit& unit) { return unit.state >= kUnitStateDestroyedFrom; }

// Every field back to its reset value: parent and master unlinked, queues
// and targeting labels freed, texts emptied (buffers kept), the display
// object re-initialised. pathIndex, sceneNumber and home are kept; spawnSerial
// advances.
void ResetUnit(Unit& unit);

// [SECTION] Unit types and the unit database
//
// Unit types are read from unit masters (compiled script objects); each
// member of a master is one type, named by its member key. Records live as
// long as the database and keep their slot; reading a master again refills
// records by key. Models and textures load on first use.

// ATTRIBUTE bits of a unit type.
enum : uint32_t {
  kAttrUnlisted = 0x1,
  kAttrWeapon = 0x2,
  kAttrLarge = 0x4,
  kAttrAutolock = 0x8,
  kAttrNearfuse = 0x10,
  kAttrMounted = 0x20,
  kAttrObject = 0x40,
  kAttrAlpha = 0x80,
  kAttrMirrorMap = 0x100,
  kAttrAnimation = 0x200,
  kAttrBranch = 0x400,
  kAttrBomb = 0x10000,
  kAttrGun = 0x20000,
  kAttrLaser = 0x40000,
  kAttrGhost = 0x80000,
  kAttrTunnel = 0x100000,
  kAttrLanding = 0x200000,
  kAttrInvisible = 0x400000,
  kAttrHud = 0x800000,
  kAttrCockpit = 0x1000000,
  kAttrNoNetwork = 0x2000000,
  kAttrMemory = 0x4000000,
};

// A point the type does not define has this x (the largest float).
constexpr float kUndefinedPoint = 3.4028235e38f;
inline bool IsDefinedPoint(const Vec3& p) { return p.x != kUndefinedPoint; }
constexpr float kDegreesToRadians = 0.017453292f;

struct ScatterEntry {
  std::string key;             // type key
  UnitType* type = nullptr;    // resolved after the master is read
  Vec3 position{};
  Vec3 direction{};            // radians
  int32_t time = 0;
};

struct ChildEntry {
  std::string key;
  UnitType* type = nullptr;
  Vec3 position{};
  Vec3 rotation{};             // radians
  std::string label;
};

// Left, right, top and bottom bounds of a weapon slot's aim, radians.
struct WeaponScope {
  float left, right, top, bottom;
};

// A model or texture of a type: the holder, made at the first load, and
// whether that load was tried (a missing file is not read again until the
// type's resources are released).
// get() is the loaded resource or null; reset() drops the holder itself
// (ReleaseUnitTypeResources is the way that keeps it valid for the display
// objects that show it).
template <class Resource>
struct TypeResource {
  std::unique_ptr<Resource> holder;
  bool tried = false;
  bool loaded = false;

  Resource* get() const { return loaded ? holder.get() : nullptr; }
  explicit operator bool() const { return get() != nullptr; }
  void reset() {
    holder.reset();
    tried = loaded = false;
  }
};
using TypeModel = TypeResource<render::CMesh>;
using TypeTexture = TypeResource<render::TextureHolder>;

struct UnitType {
  UnitType();
  ~UnitType();
  UnitType(const UnitType&) = delete;
  UnitType& operator=(const UnitType&) = delete;

  // --- Identity -------------------------------------------------------------
  int32_t slotIndex = -1;      // slot in the database, for life
  std::string key;             // member key of the master
  std::string alias;           // ALIAS
  std::string name;            // NAME
  std::string typeName;        // TYPE as written
  // Copy of the member's definition object (the master's own object text);
  // replaced when the member is read again.
  std::string definition;

  int32_t typeValue = 0;       // kType* (TYPE mapped, or its number)
  int32_t mode = 0;            // target class 0..3
  uint32_t attributes = 0;     // kAttr*
  uint32_t textureStyle[2] = {};  // first: 0x2, 0x20, 0x40; second: 0x8000, 0x40000, 0x80000, 0x100000
  bool bumpFromBumpedKey = false; // the bump file came from TEXTURE_BUMPED_FILE

  // --- File names ---------------------------------------------------------
  std::string modelFile, textureLargeFile, textureBumpFile, textureSpecularFile, textureLightFile, textureHeatFile;
  std::string fireModelFile[4], fireTextureFile[4];
  std::string hudImageFile, hudNameFile, hudRadarFile, engineSoundFile;

  // --- Geometry -------------------------------------------------------------
  float glareRate = 0;
  Vec3 enginePos[4];           // kUndefinedPoint when not given
  Vec3 engineRot[4] = {};      // radians
  Vec3 wingPos[4];
  std::string wingName[4];     // frames of the model moved as control surfaces
  Vec3 gunPos[4];
  Vec3 gunRot[4] = {};
  Vec3 weaponPos[4][4];        // hard points per slot
  Vec3 weaponRot[4][4] = {};
  Vec3 headPos{};
  Vec3 scale{1, 1, 1};
  Vec3 tirePos;

  // --- Performance ---------------------------------------------------------
  float stability = 0;
  Vec3 mobility{};             // pitch, yaw, roll rates, radians per second
  int32_t defense = 0;         // the hit points a placed unit of this type gets
  float power = 0;
  float weight = 1;            // never <= 0
  float speed = 0;
  float vectorRate = 0;        // the written percentage / 100
  int32_t payload[4] = {};
  float lockOn[4] = {};
  float lockedOn[4] = {1, 1, 1, 1};
  int32_t range[4] = {};       // per target class
  int32_t gunDamage[4] = {};
  int32_t gunHeat = 0;
  int32_t gunCycle = 0;
  float gunPrecision = 0;
  std::string gunId;           // GUN_ID[0]
  std::string weaponId[4];
  int32_t weaponCycle[4] = {300, 300, 300, 300};
  WeaponScope weaponScope[4];
  int32_t damage[4] = {};
  float precision[4] = {};
  int32_t hudSize = 0;
  int32_t reloadTime = 1;      // never 0
  float blast = 0;
  int32_t weaponDelay[4] = {};
  std::vector<ScatterEntry> scatter;
  std::vector<ChildEntry> children;

  // --- References, resolved by key after a whole master is read -----------
  UnitType* gunType = nullptr;
  UnitType* weaponTypes[4] = {};

  // --- Resources, loaded on first use (owned) ------------------------------
  // A release empties a model or texture but keeps its holder, so display
  // objects and other types' models that point at it never dangle.
  TypeModel model;
  TypeTexture largeTexture, bumpTexture, specularTexture, lightTexture, heatTexture;
  TypeModel subModels[4];     // FIRE_MODEL_FILE[n] with FIRE_TEXTURE_FILE[n]
  TypeModel fireModels[4];    // FIRE_MODEL_FILE[n] with the default textures
  TypeTexture fireTextures[4];
  TypeTexture hudImage, hudNameImage, hudRadarImage;
};
using UnitTypeRecord = UnitType;

// The world's store of unit kinds and scene data.
struct UnitDatabase {
  UnitDatabase();
  ~UnitDatabase();
  UnitDatabase(const UnitDatabase&) = delete;
  UnitDatabase& operator=(const UnitDatabase&) = delete;

  // Type slots: 256 at start, doubled when full; empty slots are null.
  std::vector<std::unique_ptr<UnitType>> types;
  // Records of the last placement file read (owned; freed by
  // FreePlacementRecords / FreePathPointRecords).
  std::vector<PlacementRecord*> placements;
  std::vector<PathPointRecord*> pathPoints;
  // Texture-layer and quality bits for the type resources (see
  // SetTextureLoadFlags); replaced when placements are read.
  uint32_t loadFlags = 0x207800;
  // The renderer that type models and textures load through, set by the
  // world before the first load; null loads nothing (tables only).
  render::GraphicsSystem* graphics = nullptr;
};

// Reads every member of a compiled unit master as one type: the member's
// name is the type's key; a key read before refills its record. References
// between types (GUN_ID, WEAPON_ID, CHILD, SCATTER) are resolved once the
// whole master is read. 1; a null object reads nothing and returns 0.
int ReadUnitMaster(UnitDatabase& db, const script::CScriptArray* master);

// Lookups: exact compares; null when nothing matches.
UnitType* FindUnitTypeByKey(const UnitDatabase& db, const char* key);
UnitType* FindUnitTypeByAlias(const UnitDatabase& db, const char* alias);
// By ALIAS first, then by NAME; an empty or null text finds nothing.
UnitType* FindUnitTypeByName(const UnitDatabase& db, const char* name);
// The record in a slot; null for a negative index, one past the end or an
// empty slot.
UnitType* GetUnitTypeByIndex(const UnitDatabase& db, int index);
PlacementRecord* GetPlacementRecord(const UnitDatabase& db, int index);
PathPointRecord* GetPathPointRecord(const UnitDatabase& db, int index);
// Type slots, filled or not.
int GetUnitTypeCount(const UnitDatabase& db);
// Writes the ALIAS of every listed type (not UNLISTED, alias not empty),
// each ended by a NUL, then one more NUL; returns the byte count with the
// last NUL. A null buffer only counts.
int ListUnitTypeNames(const UnitDatabase& db, char* buffer);
// The type made from one image or model file (sprites and effects): found
// by file name and style key, else made in the first empty slot.
UnitType* FindOrCreateUnitTypeByFile(UnitDatabase& db, const char* fileName, uint32_t key);

// Resources, loaded through the renderer's file layer on first use.
// The main model with the texture layers the load flags select; null when
// MODEL_FILE is empty (or it cannot load).
render::CMesh* PrepareUnitTypeModel(UnitDatabase& db, UnitType& type);
// Textures are shared by file name: the first type naming the file holds it.
render::TextureHolder* FindUnitTypeTexture(UnitDatabase& db, UnitType& type);
render::TextureHolder* GetUnitTypeBumpTexture(UnitDatabase& db, UnitType& type);
render::TextureHolder* GetUnitTypeSpecularTexture(UnitDatabase& db, UnitType& type);
render::TextureHolder* GetUnitTypeLightTexture(UnitDatabase& db, UnitType& type);
render::TextureHolder* GetUnitTypeHeatTexture(UnitDatabase& db, UnitType& type);
render::TextureHolder* GetUnitTypeHudImage(UnitDatabase& db, UnitType& type);
render::TextureHolder* GetUnitTypeHudNameImage(UnitDatabase& db, UnitType& type);
render::TextureHolder* GetUnitTypeHudRadarImage(UnitDatabase& db, UnitType& type);
render::TextureHolder* GetUnitTypeFireTexture(UnitDatabase& db, UnitType& type, int n);
// Model n (0..3) from FIRE_MODEL_FILE[n]: with FIRE_TEXTURE_FILE[n], or
// (the fire model) with the renderer's default textures. Null for an empty
// name or n outside 0..3.
render::CMesh* GetUnitTypeSubModel(UnitDatabase& db, UnitType& type, int n);
render::CMesh* GetUnitTypeFireModel(UnitDatabase& db, UnitType& type, int n);
// Sets or clears the load-flag bits 0x8002 and texture flag 0x8000 on every
// HUD image and name texture. 1.
int SetHudTextureFlag(UnitDatabase& db, int on);
// Replaces the bits 0x207800 of the load flags. 1.
int SetTextureLoadFlags(UnitDatabase& db, uint32_t flags);
// Releases a type's models and textures; null: those of every type without
// ATTRIBUTE MEMORY. They load again on their next use. 1.
int ReleaseUnitTypeResources(UnitDatabase& db, UnitType* type);

// [SECTION] The unit step and unit operations

// One step of a live unit; the world calls it for every unit it holds.
// Returns 1 to keep the unit, 0 when the world is to release it (no model
// and no surface, or the life timer ran out: the unit is then reset).
int UpdateUnit(world::GameWorld& world, Unit& unit);

// Stores `state` as pending; it lands at the end of the unit's next update.
// Returns the current state.
int32_t RequestUnitState(Unit& unit, int32_t state);
// State and pending state at once; steps >= 0 also sets the age. Returns
// the old state.
int32_t SetUnitState(Unit& unit, int32_t state, int32_t steps);
// The attached unit into the first free of the 16 attachment slots (its
// vector becomes (0, 0.01, 0)); the slot index, or -1 when all are taken.
int AttachToUnit(Unit& unit, Unit* attached);

// --- Weapon slots (the world arms a unit it places) ---------------------------
// Arms one slot (0..3), or all four for -1, with a weapon type (null: none).
void SetWeapon(world::GameWorld& world, Unit& unit, int slot, UnitType* weapon);
// Puts missing children on the slot's hard points; 0, or -1 when nothing
// could be done.
int SpawnWeaponSlot(world::GameWorld& world, Unit& unit, int slot, int force);
// Releases the children of one slot, or of all four for -1.
void ReleaseWeaponChildren(world::GameWorld& world, Unit& unit, int slot);

// --- Links -------------------------------------------------------------------
// The display object follows the parent link. Each returns the old link.
Unit* SetUnitParent(Unit& unit, Unit* parent);
Unit* SetUnitMaster(Unit& unit, Unit* master);
// The root of a BRANCH chain: the parent while the current unit's type has
// BRANCH and it has a parent. HP, damage and the event queues act on it.
Unit* GetUnitRoot(Unit* unit);
// Attachment n for 0..15; for n < 0 the first occupied slot; null for n > 15
// or an empty slot.
render::DisplayObject* GetUnitAttachment(const Unit& unit, int n);

// --- Hit points (on the chain root) --------------------------------------
// HP of the root; 0 when the unit or root has no type or max HP <= 0.
int32_t GetUnitHp(Unit& unit);
// Root HP / max HP, at least 0; 0 without type or with max HP <= 0.
float GetUnitHpRatio(Unit& unit);
// Root max HP - root HP.
int32_t GetUnitDamageTaken(Unit& unit);
// The lock-on range for `other` (0 when it cannot be locked), and where a
// bomb would land (FLT_MAX on every axis when it would not). Combat code's,
// declared here for the HUD too.
float GetLockOnRange(world::GameWorld& world, Unit& unit, Unit& other);
Vec3 PredictBombImpact(world::GameWorld& world, Unit& bomb);
// Nothing without type. max > 0 becomes max HP; a negative hp means max HP.
// Returns the root's HP.
int32_t SetUnitHp(Unit& unit, int32_t hp, int32_t max);
// HP += percent x max HP / 100, kept within 0..max HP; returns the root's HP.
int32_t SupplyHp(Unit& unit, int32_t percent);

// --- Plain accessors -------------------------------------------------------
inline int32_t GetUnitState(const Unit& unit) { return unit.state; }
inline const char* GetUnitLabel(const Unit& unit) { return unit.label.Get(); }
inline const char* GetUnitGroup(const Unit& unit) { return unit.group.Get(); }
inline const char* GetUnitTeam(const Unit& unit) { return unit.team.Get(); }
inline const char* GetUnitPrintedTeam(const Unit& unit) { return unit.printedTeam.Get(); }
inline const char* GetUnitPathLabel(const Unit& unit) { return unit.pathLabel.Get(); }
inline Unit* GetUnitMaster(const Unit& unit) { return unit.master; }
inline Unit* GetUnitParent(const Unit& unit) { return unit.parent; }
inline PathPoint* GetUnitPath(const Unit& unit) { return unit.path; }
inline float GetUnitControlExtra(const Unit& unit) { return unit.throttle; }
inline void SetUnitControlExtra(Unit& unit, float throttle) { unit.throttle = throttle; }
// Copy the three floats out to one or two destinations (either may be null).
void GetUnitVelocity(const Unit& unit, Vec3* out, Vec3* copy);
void GetUnitMoment(const Unit& unit, Vec3* out, Vec3* copy);
void GetUnitControl(const Unit& unit, Vec3* out, Vec3* copy);
inline void SetUnitVelocity(Unit& unit, const Vec3& v) { unit.velocity = v; }
inline void SetUnitMoment(Unit& unit, const Vec3& v) { unit.moment = v; }
inline void SetUnitControl(Unit& unit, const Vec3& v) { unit.control = v; }

// --- Motion and controls ------------------------------------------------
float GetUnitEngineRpm(const Unit& unit);
// rpm word = value x 10000 truncated, no clamp; returns the old value.
float SetUnitEngineRpm(Unit& unit, float value);
float GetUnitLandingRate(const Unit& unit);
// Kept within 0..1; returns the stored rate.
float SetUnitLandingRate(Unit& unit, float rate);
// The speed target (speed > 0, else 0). With rate > 0 only the speed rate
// changes (behaviours approach the target); otherwise the velocity keeps its
// direction (the unit's world front when it is zero) at the new speed and
// the rate becomes 0.
void SetUnitSpeed(Unit& unit, float speed, float rate);
void SetUnitImpulse(Unit& unit, const Vec3& velocity, const Vec3& rotation, int32_t steps);
void SetUnitTerritory(Unit& unit, float a, float b, float c);
void SetUnitPath(Unit& unit, PathPoint* point, int32_t index);
// The world position of the type's HEAD_POS; the unit's own without type.
Vec3 GetUnitHeadPos(Unit& unit);
// Control-surface angles (radians) for the WING_NAME frames of one side
// (> 0 right, < 0 left, 0 tail), scaled by the master's VECTOR_RATE (as
// written, at most 30 degrees; 0 without a master).
Vec3 GetWingDeflection(const Unit& unit, float side);
// The view direction and up turned by the cockpit view yaw and pitch; from
// the given vectors, or the unit's world front and up when null.
void GetUnitViewAxes(Unit& unit, Vec3* direction, Vec3* up, const Vec3* fromDirection, const Vec3* fromUp);

// --- Texts ----------------------------------------------------------------
// Each copies the text and returns the stored one. Team and printed team are
// handed down to every weapon child (and theirs).
const char* SetUnitLabel(Unit& unit, const char* text);
const char* SetUnitGroup(Unit& unit, const char* text);
const char* SetUnitPathLabel(Unit& unit, const char* text);
const char* SetUnitTeam(Unit& unit, const char* text);
const char* SetUnitPrintedTeam(Unit& unit, const char* text);
// Matches a dotted label path (outermost first) against the unit and its
// labelled ancestors. The rest of the text (its end on a full match), or
// null. A unit without a label matches as the empty label.
const char* MatchLabelPath(Unit& unit, const char* text, int inner);

// --- Jamming, sound, weapon stops ---------------------------------------
// The jamming flag that blinds seekers and blocks lock-on.
constexpr uint32_t kJamBlind = 0x2;
// True while the jamming level is up and its flags hold kJamBlind.
inline bool IsUnitBlinded(const Unit& unit) {
  return unit.flightWords[3] != 0 && (unit.flightWords[4] & kJamBlind) != 0;
}
// A unit simulated on this peer: copies of other peers' units carry REMOTE.
inline bool IsUnitLocal(const Unit& unit) { return (unit.flags & kUnitRemote) == 0; }
// flags != 0: jamming flags |= flags, level = max(level, given); flags 0:
// both become 0.
void SetUnitJamming(Unit& unit, uint32_t flags, uint32_t level);
void SetUnitSoundChannel(Unit& unit, int32_t slot);
// Stops the playing copy of the engine sound (when the sound system reports
// it playing) and forgets it. The status, or the negative index when none.
int StopUnitEngineSound(sound::SoundSystem* sound, Unit& unit);
// Starts, updates or stops a unit's looping engine sound (its sound channel
// and copy): the listener's position and velocity (per step) give the
// Doppler pitch, `rank` (the world's fade value) lowers the volume by 3000
// per whole unit; a volume below -29999 stops it (units_player_plane.cpp).
void UpdateEngineSound(world::GameWorld& world, Unit& unit, const Vec3& listener, const Vec3& listenerVelocity,
                       float rank);
// The gun stop byte = value's low byte; returns 0.
int StopGun(Unit& unit, int value);
// The stop byte of slot 0..3; 0, or -1 for another slot.
int StopWeapon(Unit& unit, int slot, int value);

// --- Event queues ---------------------------------------------------------
// Books damage taken (attacker id or 0, amount); nothing when this unit is
// INERT or the amount 0. A BRANCH attacker is booked as its root.
void RecordDamageBy(Unit& unit, Unit* attacker, int32_t amount);
// Books a hit on the victim's root (amount 0 for an INERT victim) and
// raises the HIT trigger of this unit.
void RecordHit(world::GameWorld& world, Unit& unit, Unit* victim, int32_t amount);
// Books a kill of the victim's root and raises the DESTROY trigger.
void RecordKill(world::GameWorld& world, Unit& unit, Unit* victim);
// Copies the first entry out ((0, 0) when none) and with `pop` removes it.
// Returns the number of entries that were waiting, the one read included.
int PopDamageEvent(Unit& unit, UnitEvent* out, int pop);
int PopHitEvent(Unit& unit, UnitEvent* out, int pop);
int PopDestroyEvent(Unit& unit, UnitEvent* out, int pop);

// --- Damage, the hit message and positioned sounds (the world applies the
// hits and plays the effects its peers send) ---------------------------------
// The amount that destroys whatever it hits (GHOST units take only this).
constexpr int32_t kKillDamage = 999999;

// Damages the victim (or the root of its BRANCH chain): `attacker` is the
// unit credited, `source` the shot or weapon that hit (one hit per source).
// A negative kind makes no explosion and no debris. Returns the HP of the
// unit that finally took it.
int32_t ApplyDamage(world::GameWorld& world, Unit* victim, int32_t amount, int32_t kind, Unit* attacker,
                    Unit* source);
// The hit a peer sends for a unit another peer simulates (game message 40,
// 12 bytes little-endian: victim id, attacker id or -1, amount and kind as
// 16 bits each). The amount goes unspread. On the wire a kill keeps its
// meaning as kHitAmountKill; other amounts are kept within 0..32766.
struct HitRecord {
  int32_t victimId = 0;    // network ids
  int32_t attackerId = -1;
  int32_t amount = 0;
  int32_t kind = 0;        // sent as 16 bits
};
constexpr int kHitRecordBytes = 12;
constexpr int16_t kHitAmountKill = 32767;
int16_t EncodeHitAmount(int32_t amount);
int32_t DecodeHitAmount(int16_t wire);
void WriteHitRecord(const HitRecord& record, uint8_t out[kHitRecordBytes]);
HitRecord ReadHitRecord(const uint8_t in[kHitRecordBytes]);

// Plays a sound slot at a world point, its volume and pan from the camera
// (volume 0, pan 0 without a renderer). `volumeOffset` is added to the
// camera's distance volume. The copy index, or -1.
int PlaySoundAt(world::GameWorld& world, int slot, const Vec3& position, int frequency, int volumeOffset = 0);

}  // namespace units
