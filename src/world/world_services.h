// world_services.h -- what the units and the windows see of the world: the
// operations they call on it, the world itself kept opaque.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/core_public.h"

namespace units {
struct Unit;
struct UnitType;
struct UnitDatabase;
struct PathPoint;
struct PathPointPool;
}  // namespace units

namespace render {
class CMesh;
class DisplayObject;
class GraphicsSystem;
struct TextureHolder;
}  // namespace render

namespace world {

class GameWorld;
using core::Vec3;

// [SECTION] The world, its clocks and its random generator
//
// The world's states and the words the units read. All of these are cheap
// reads of the world's fields, valid at any time after construction.

// The engine's one random generator (15-bit, 0 to 32767). Reseeded with 0 at
// every world reset, so a replay of recorded input repeats the game.
int Rand(GameWorld& world);
// Steps since the current state began (not advanced while paused).
int GetStepCounter(GameWorld& world);
// 0 off, non-zero on, -1 an event being skipped.
int GetEventMode(GameWorld& world);
// The game level, 0 to 2 (0 hardest for the player: enemies get more HP).
int GetGameLevel(GameWorld& world);
// Non-zero in a network game.
int IsNetworkGame(GameWorld& world);
// Non-zero while the world is paused (`pause`).
int IsWorldPaused(GameWorld& world);
// Non-zero in the program's edit mode without a test run: units placed then
// do not become the player or camera units.
int IsEditingWorld(GameWorld& world);
// The stall height (world units) the flight model raises its stall factor
// above; 3000 after every reset.
int GetStallHeight(GameWorld& world);
// The world's scale factor (the start script's `__system_scale`, 1 by
// default).
float GetSystemScale(GameWorld& world);
// The world's unit database (unit types, placement and path-point records).
units::UnitDatabase& GetUnitDatabase(GameWorld& world);
// The world's log (null without one: nothing is written).
core::LogSystem* GetWorldLog(GameWorld& world);
// Plays one copy of a sound slot with a volume (hundredths of a decibel),
// pan and frequency (0: the slot's own); the copy index, or -1 without a
// sound system or on a relay peer (no effects, no sounds).
int PlayWorldSound(GameWorld& world, int slot, int volume, int pan, int frequency);
// Stops every playing copy of a sound slot; 1 when one was playing, else 0
// (also without a sound system).
int StopWorldSound(GameWorld& world, int slot);
// Stops one copy of a slot: 1 when it was playing, else 0 (also without a
// sound system or for a negative copy).
int StopWorldSoundCopy(GameWorld& world, int slot, int copy);
// 1 while a copy of the slot plays, else 0 (also without a sound system).
int IsWorldSoundPlaying(GameWorld& world, int slot);
// Plays one looping copy of a slot; the copy index, or -1 (no sound system,
// relay peer).
int PlayWorldSoundLooping(GameWorld& world, int slot, int volume, int pan, int frequency);
// Sets volume, pan and frequency of one playing copy: 1, or 0 when that copy
// does not play (nothing is changed then).
int UpdateWorldSoundCopy(GameWorld& world, int slot, int copy, int volume, int pan, int frequency);
// The step's input: three arrays of 128 buttons (held, trigger, repeat) and
// two triples of analogue values (-1 to 1, quantised to hundredths where
// the recorder keeps them). Null outputs are skipped.
void GetStepInput(GameWorld& world, int32_t* held, int32_t* trigger, int32_t* repeat, float* axesA,
                  float* axesB);
// The hit-pause counter becomes the larger of itself and n (a negative n
// sets it to 0); while it is non-zero the world step updates no unit and
// counts it down by one per step. Returns 1.
int RaiseStoredMax(GameWorld& world, int n);
// Adds a line to the 8-line on-screen message list (at most 127 bytes a
// line, shown for 420 steps); a newline starts a further, newer line.
// Returns the number of bytes copied into the last line made.
int PushScreenMessage(GameWorld& world, const char* text);

// [SECTION] Unit and effect pools, placing, statistics
//
// Units live in the world's pool and are addressed by slot: a unit's handle
// is its slot index, slot 0 never holds a unit. The pool only grows (by 260
// slots) during a game; a reset empties every slot.

// Option flags of PutUnit.
constexpr uint32_t kPutTarget = 0x1;        // counted among the TARGET units
constexpr uint32_t kPutPlayer = 0x2;        // the player's unit: HP by game level, level -1
constexpr uint32_t kPutNoChildren = 0x20;   // the type's child list is not placed
constexpr uint32_t kPutNotPlayer = 0x40;    // never becomes player or camera unit
constexpr uint32_t kPutNotCounted = 0x10;   // kept out of the population statistics
constexpr uint32_t kPutNoHp = 0x400;        // placed with HP 0

// Slots of the unit pool (0 before the first growth).
int CountUnitSlots(GameWorld& world);
// The live unit in a slot, or null for slot 0, an empty slot or a slot
// outside the pool.
units::Unit* GetUnitAt(GameWorld& world, int slot);
// The unit record of a slot, live or free (null outside the pool). Loops
// that must see free records too (the network, the editor) use this.
units::Unit* GetUnitSlot(GameWorld& world, int slot);
// The player unit, or null.
units::Unit* GetPlayerUnit(GameWorld& world);
// Its position, the origin without one.
Vec3 GetPlayerUnitPosition(GameWorld& world);

// A fresh unit record in the first free slot (the pool grows when full),
// its handle set. Never null short of memory.
units::Unit* AllocUnit(GameWorld& world);
// Places a unit of a type: HP from the type (by game level with kPutPlayer),
// level clamped to 1..10, weapons and children placed, counted in the
// population statistics, the APPEAR triggers run. Null without a type.
units::Unit* PutUnit(GameWorld& world, const char* team, units::UnitType* type, int level, const char* label,
                     uint32_t flags, Vec3 position, Vec3 angles, units::Unit* parent);
// A unit spawned by another (shots, beams, weapons): at the position,
// flying along the direction (also its velocity), owned by `owner`.
units::Unit* SpawnOwnedUnit(GameWorld& world, Vec3 position, Vec3 direction, units::Unit* owner,
                            units::UnitType* type);
// One system dust unit (debris) at the position, facing the direction.
units::Unit* PutSystemDust(GameWorld& world, Vec3 position, Vec3 direction);
// The next target when a unit cycles through its targets: `forward` 1 the
// nearest beyond the current target, 0 the farthest nearer than it; `cone`
// keeps to units in front; `weapon` limits by the current weapon's ranges.
// Both ways a target must have HP above 0. Null when none.
units::Unit* FindTarget(GameWorld& world, units::Unit* unit, units::Unit* current, int cone, int forward,
                        int weapon);
// Releases one unit at once; the player, camera focus and camera target
// references to it are cleared.
void ReleaseUnit(GameWorld& world, units::Unit* unit);
// Releases the unit and every unit that has it on its parent chain; returns
// the number released.
int ReleaseMatchingUnits(GameWorld& world, units::Unit* unit);

// Population statistics by team name. 1 when the unit's type is never
// counted, else 0 (CountUnitIn returns 1 when it counted).
int CountUnitIn(GameWorld& world, units::Unit* unit);
int CountUnitOut(GameWorld& world, units::Unit* unit);
int CountUnitDestroyed(GameWorld& world, units::Unit* unit);

// The population record of one team name.
struct PopulationRecord {
  std::string team;      // "" = free record
  bool used = false;
  // By the unit type's class 0 to 3.
  int32_t appeared[4] = {};
  int32_t alive[4] = {};
  int32_t destroyed[4] = {};
  int32_t targetAppeared[4] = {};
  int32_t targetAlive[4] = {};
  int32_t targetDestroyed[4] = {};
  // Destroyed unit types: the type's own name text (not a copy) and a count,
  // parallel; 260 entries at first, doubled when full; a null name ends the
  // used part.
  std::vector<const char*> destroyedNames;
  std::vector<uint16_t> destroyedCounts;
};
// The record of a team name, or null.
PopulationRecord* FindNamedRecord(GameWorld& world, const char* team);

// The sound slot (48 to 63) that plays an engine-sound file, loaded on a
// miss into the least recently used of 16 slots; -1 when it cannot load.
int CacheSoundName(GameWorld& world, const char* fileName);

// An effect object of the effect pool (world_environment.h).
struct EffectObject;
// A reset effect object (256 made on first use, 256 more when all are
// busy), or null in reduced-effects mode.
EffectObject* AllocEffect(GameWorld& world);
// Slots of the effect pool.
int CountEffectSlots(GameWorld& world);

// [SECTION] Path-point triggers

// Evaluates the trigger list of `list` (a TriggerCommandTable code): each
// listed path point tests its command against `unit` (the unit acted with,
// such as a shot or a launched weapon) and `subject` (the unit whose label
// the command names) and, when it holds, starts its event function as a
// script thread with the unit's handle. Returns the number of listed points
// visited. Either unit may be null.
int RunPathTriggers(GameWorld& world, int list, units::Unit* unit, units::Unit* subject);
// The HP trigger list (16) for a unit whose HP has just changed by damage:
// the damage code calls it after the damage is applied, beside DAMAGED (13).
int RunHpTriggers(GameWorld& world, units::Unit* damaged);
// Adds the point to (add non-zero) or removes it from the trigger list of its
// command; a null point empties all 39 lists (their slots kept). 1.
int SetPathPointListed(GameWorld& world, units::PathPoint* point, int add);
// Slots of the world's path-point pool (0 without one); loops skip slots
// without a live point.
int CountPathPoints(GameWorld& world);
// The first live point with a non-empty label equal to the text (byte
// compare), or null.
units::PathPoint* FindPathPointByLabel(GameWorld& world, const char* text);
// The first live point with a non-empty label whose world position lies
// within 0.01 of (x, y, z), or null.
units::PathPoint* FindPathPointAt(GameWorld& world, float x, float y, float z);

// [SECTION] Replay recorder and world queries
//
// The small operations of the world the system calls and the units use.
// The names in lower case are the script calls they serve.

// The first destruction the replay recorded in steps [from, to) after the
// playback index: its unit handle, and through `offset` (may be null) its
// distance in steps; -1 when none.
int FindRecorderMarker(GameWorld& world, int from, int to, int* offset);
// The first live path point whose label equals the name (a null name:
// null).
units::PathPoint* FindPathPointByName(GameWorld& world, const char* name);
// The live path point whose generated event script is that very text (the
// same storage, as the script engine hands out source tags), or null.
units::PathPoint* FindPathPointByScript(GameWorld& world, const char* text);
// Marks a counted unit's destruction for the replay's look-ahead: the
// first one of each 6 steps is kept. Only while the run is recorded (no
// replay plays); the population statistics call it.
void MarkRecorderDestruction(GameWorld& world, int handle);
// Stores the flight-area box and its margin and centres the area in the
// box; the centre alone. 1.
int set_flight_area(GameWorld& world, float x0, float y0, float z0, float x1, float y1, float z1, float margin);
int set_flight_area_center(GameWorld& world, float x, float y, float z);
// -1 outside the flight-area box (its faces are inside), 1 inside it but
// within the margin of a face, 0 deeper inside.
int out_area(GameWorld& world, float x, float y, float z);
// The network data table (40 rows of 8 words): an entry, 0 outside the
// table; set stores it and returns the old value, or 0x7FFFFFFF (storing
// nothing) outside the table.
int get_network_data(GameWorld& world, int row, int column);
int set_network_data(GameWorld& world, int row, int column, int value);
// While no network session is open -1; else stores the network-game flag
// and returns the old one.
int set_network_world(GameWorld& world, int flag);

// --- Network game messages (world_network.cpp) ---------------------------
// Game message types between peers.
enum : int {
  kMsgUnitStates = 31,
  kMsgGunShot = 32,
  kMsgLaserShot = 34,
  kMsgSprites = 35,
  kMsgHit = 40,
  kMsgLoss = 41,
  kMsgUnitDeleted = 42,
  kMsgPlayerData = 45,
  kMsgText = 99,
};
// A unit id is local (simulated here) without a network game, or when its
// top byte is this peer's network id.
bool IsNetworkIdLocal(GameWorld& world, int32_t networkId);
// The first unit of the pool with that network id; null for -1 or none.
units::Unit* FindUnitByNetworkId(GameWorld& world, int32_t networkId);
// A game message by TCP to one peer (-1 all); nothing outside a network
// game. 0, or -1 when the send failed.
int SendNetworkMessage(GameWorld& world, int to, int type, const uint8_t* payload, int length);
// A text (at most 255 characters and its NUL) as message 99. 0 or -1.
int SendNetworkText(GameWorld& world, int to, const char* text);
// The loss of a local unit to every peer (type 41), and its text to the
// server's console (type 59) unless the cause is negative.
void AnnounceUnitLoss(GameWorld& world, units::Unit* victim, units::Unit* killer, int32_t cause);
// Type 42 for a local unit's id; the send's result, 0 otherwise.
int NotifyUnitDeleted(GameWorld& world, int32_t networkId);
// The per-step sends of a network game, at the end of the world step: the
// unit states in UDP batches (the number of records sent, -1 when a send
// failed) and the own row of the network data (0 or -1).
int SendUnitStates(GameWorld& world, int step);
int SendPlayerData(GameWorld& world);
// Each of value, target and step is stored only while the field's current
// value is not negative (a negative field keeps its value).
void fade_screen(GameWorld& world, float value, float target, float step);
void set_fade_color(GameWorld& world, float r, float g, float b, float a);
// Stores the pause flag. 1.
int pause(GameWorld& world, int flag);
// Entering or staying in an event (non-zero) sets the camera countdown to
// 48; leaving one releases every shown weapon-type unit without parent
// whose team differs from the player's (all of them without a player unit)
// and resumes the music, fading it back to full volume; then the mode is
// stored.
void set_event_mode(GameWorld& world, int mode);
// The event HUD word (`set_event_hud`).
void SetOwnerLink(GameWorld& world, int value);
// The unit's position n steps ahead: a PLAYER unit's recorded position
// during a replay (when its x is non-zero), else position + velocity x n.
Vec3 PredictUnitPosition(GameWorld& world, units::Unit& unit, int n);
// The nearest unit with a model, of another team, neither inert nor of
// another event, whose distance (truncated) is below 100,000; the first of
// equal distances wins. Null when none.
units::Unit* FindNearestOtherUnit(GameWorld& world, units::Unit& unit);
// The nearest unit the segment hits among the units with a model whose type
// is LARGE (or the player unit) and not a weapon, `skip` left out: the hit
// point and its distance from `start` go to the outputs that are not null.
// Hits farther than 1,000,000 from the start are ignored. Null when none.
units::Unit* vector_unit_collision(GameWorld& world, units::Unit* skip, Vec3* hit, float* distance, Vec3 start,
                                   Vec3 end);

// The first unit (in pool order) whose bounding sphere, radius + 5, the
// segment passes, WEAPON and GHOST types and `skip` left out: its slot
// index, the point of the segment nearest its centre and the normal from the
// centre toward that point (up when they coincide). -1 when none.
int FindUnitOnSegment(GameWorld& world, units::Unit* skip, Vec3 from, Vec3 to, Vec3* hit, Vec3* normal);

// [SECTION] Scene services: ray casts against the map objects, camera shake

// The first map object the segment from `from` to `to` meets, by the map
// objects' filter bits (`mode`): non-zero and the hit point (and normal);
// `onWater`, when given, becomes 1 when that object is WATER, else 0.
int CastRayAgainstTerrain(GameWorld& world, Vec3* hit, Vec3* normal, Vec3 from, Vec3 to, int mode,
                          int* onWater = nullptr);
// The nearer hit of the map objects and the units' hit tests (skipping one
// unit): 1 and the hit point.
int CastRayAgainstWorld(GameWorld& world, units::Unit* skip, Vec3* hit, Vec3 from, Vec3 to);
// Shakes the camera: power in full within 100 units of the point 100 units
// ahead of the eye, power x 100 / distance beyond; the strongest shake of a
// step is kept.
void AddCameraShake(GameWorld& world, Vec3 position, float power);
// A weapon the player launched takes the camera for 270 steps, its offset
// keeping the eye where it was (not in the player's own views or the high
// and side fly-bys, nor before the current shot has run 5 steps). 0.
int StartWeaponCamera(GameWorld& world, units::Unit* weapon, float x, float y, float z);
// The unit the camera follows, or null.
units::Unit* GetCameraFocus(GameWorld& world);
// The eye the camera last handed to the renderer (kept without one too).
Vec3 GetCameraEye(GameWorld& world);

// [SECTION] Effect creators
//
// Each takes effect objects from the effect pool (none in reduced-effects
// mode) and leaves the fading to the per-type update.

// Clouds use the world's 512 cloud objects; kind 16 makes a field of 256.
// 1, or 0 when no cloud object is free or the texture is missing.
int CreateCloud(GameWorld& world, Vec3 position, int kind, float size);
// Releases every cloud object that shows a cloud. 1.
int ReleaseAllClouds(GameWorld& world);
EffectObject* CreateElectric(GameWorld& world, Vec3 position);
// `model` null: the heat-haze model of the system package.
EffectObject* CreateHeat(GameWorld& world, Vec3 position, Vec3 vector, Vec3 up, float size, render::CMesh* model);
EffectObject* CreateLightning(GameWorld& world, Vec3 position, Vec3 direction, float length);
// Steps to the next thunder clap of the active environment (0: none); the
// world counts it down and plays the thunder when it reaches 0.
void SetLightningCount(GameWorld& world, int steps);
// `colours` holds four floats (r, g, b, a) a vertex; `texture` null: white.
EffectObject* CreatePolygonEffect(GameWorld& world, const Vec3* positions, const float* colours, int count,
                                  render::TextureHolder* texture);
// The glare rate an effect object is drawn with; the previous one (0 for a
// null effect, which is left alone).
float SetEffectGlareRate(EffectObject* effect, float rate);
EffectObject* CreateSonic(GameWorld& world, Vec3 position, Vec3 vector, int flag);
EffectObject* CreateSplash(GameWorld& world, Vec3 position, float size);
// A burst of fire particles along the segment from P back toward P - V; the
// script's `create_bomb` passes the rise 0.004. 0.
int CreateBomb(GameWorld& world, Vec3 position, Vec3 vector, int size, float rise);
// The 43 objects of a hit explosion at P, its streak along Q. 0.
int CreateHitEffect(GameWorld& world, Vec3 position, Vec3 direction);
// `count` particles strung from P back along V. 0.
int CreateParticle(GameWorld& world, Vec3 position, Vec3 vector, int count);
// A timed spot light of the world's 128-slot pool: its slot, -1 when full.
int AddPointLight(GameWorld& world, Vec3 position, Vec3 direction, Vec3 colour, float range, float factor,
                  int lifetime);
// The muzzle flash: two sprites of the effect sheet (a smoke puff and a
// flash streak) made children of the unit at a point of its own frame; they
// fade with their parent. The number of sprites made (0 in reduced-effects
// mode or with the pool exhausted).
int CreateSmokeFlash(GameWorld& world, units::Unit* unit, Vec3 localPoint);
// A smoke-trail sprite of the effect sheet laid from `from` to `to` (at
// their midpoint, turned along them, `width` across), starting at `alpha`
// (0..255) and fading and spreading on its own. 1, or 0 when no sprite was
// made (reduced effects, an exhausted pool, a segment of no length).
int CreateTrailSprite(GameWorld& world, Vec3 from, Vec3 to, float width, int alpha);

// [SECTION] What the flight HUD reads
//
// Cheap reads of the world for the HUD (src/ui), which sees the world only
// through this header.

// The renderer of the world (null: the world draws nothing).
render::GraphicsSystem* GetWorldGraphics(GameWorld& world);
// The camera mode: 0 cockpit, 1 behind, others the fly-by and follow views.
int GetCameraMode(GameWorld& world);
// The frame rate of the pacer (60 without one).
int GetWorldFrameRate(GameWorld& world);
// The height offset `set_height_offset` stores (world units).
int GetHeightOffset(GameWorld& world);
// The game time in steps (the mission clock).
int GetGameTime(GameWorld& world);
// The settings' stereo type (0 without settings; 4 the headset).
int GetStereoType(GameWorld& world);
// The HUD map object of the world and whether its keys show it now.
render::DisplayObject* GetHudMapObject(GameWorld& world);
int IsHudMapShown(GameWorld& world);
// Sprite k (0..5: marker, type image, side piece, top piece, radar symbol,
// map symbol) of a unit slot, or null outside the pool.
render::DisplayObject* GetSlotHudSprite(GameWorld& world, int slot, int k);
// The type a weapon slot shows without a weapon ("__SYSTEM__NO_WEAPON"), or
// null.
units::UnitType* GetDefaultWeaponType(GameWorld& world);

}  // namespace world
