// app_arena_test.cpp -- the sword-action sample game (games/Arena) run
// headless from input files: the start script hands over to the world
// script, which loads the arena, places the fighter and the six balls and
// reports them; the fighter's model carries every animation set the actor
// plays and the blade's frame, and plays a set from the first step; the
// keys reach the actor's pad; the world script reports strikes, destroyed
// balls and hits; and a fight driven by the keys walks to the nearest ball,
// jumps and strikes it down. No compile or run-time error, no unit ever
// holds a value that is not finite, and each run ends when its input file
// closes the window.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/app_local.h"
#include "input/input_public.h"
#include "render/render_local.h"  // the model's animation controller
#include "test_support.h"
#include "units/units_sword.h"
#include "world/world_local.h"
#include "app_games_folder.h"

namespace {

using apptest::GamesFolder;
using test::SteadyClock;

bool Finite(const core::Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The type values of the sword-action units.
constexpr int kTypeSworder = 50;
constexpr int kTypeBallFirst = 51;  // BALL
constexpr int kTypeBallLast = 55;   // BALL_EVIL

// Every animation set the actor's behaviour selects.
const char* const kActorSets[] = {
    "AnimationSet_pose", "AnimationSet_walk",   "AnimationSet_run",    "AnimationSet_jump",  "AnimationSet_back",
    "AnimationSet_side_r", "AnimationSet_side_l", "AnimationSet_td",   "AnimationSet_guard", "AnimationSet_guard2",
    "AnimationSet_at1",  "AnimationSet_at2",    "AnimationSet_at3",    "AnimationSet_at4",   "AnimationSet_at5",
    "AnimationSet_at6",  "AnimationSet_at7",    "AnimationSet_run_a",  "AnimationSet_td_a",  "AnimationSet_dmg",
    "AnimationSet_dmg2",
};

// What the step hook saw.
struct ArenaWatch {
  int steps = 0;
  int badSteps = 0;
  std::string firstBad;
  int actors = 0;          // SWORDER units in the pool (last step)
  int balls = 0;           // ball units (last step)
  std::string playerType;  // the player unit's type key
  std::string playing;     // the set track 0 of the player's model plays (last step)
  std::set<std::string> played;  // every set it played
  int missingSets = 0;     // of kActorSets, sets the player's model lacks
  std::string firstMissing;
  bool bladeFrame = false;        // WING_NAME[0] and [1] are frames of the model
  core::Vec3 bladeBase{}, bladeTip{};  // WING_POS[0] and [1] through their frames (model space)
  std::vector<core::Vec3> position;    // the player's position each step
  std::vector<int> hp;                 // and its HP
  std::string wrongPeriods;            // sets whose period is not one second
  std::string ballProblems;            // balls without a model or a radius
  std::string masterProblems;          // references of the master that did not resolve
  // The pad as the actor reads it each step: buttons 8 (attack), 9 (jump)
  // and 12 (guard) held, and the stick's axes 0 and 1.
  struct Pad {
    bool attack, jump, guard;
    float x, y;
  };
  std::vector<Pad> pad;
  // Called each step after the checks: a test's own changes to the world.
  void (*poke)(world::GameWorld& world, int step) = nullptr;
};

// The master's references the behaviours follow: the actor's trail type,
// the silver balls' guns and marks, the balls' merge and piece types.
std::string CheckMaster(world::GameWorld& world) {
  std::string problems;
  const units::UnitDatabase& db = *world.unitDatabase;
  auto type = [&](const char* key) { return units::FindUnitTypeByKey(db, key); };
  struct Ref {
    const char* key;
    int slot;  // -1: the gun type, else the weapon type of that slot
    const char* expected;
  };
  const Ref refs[] = {
      {"HERO", -1, "TRAIL"},        {"BALL", 1, "BALL_LARGE"},  {"BALL", 3, "PIECE"},
      {"BALL_SILVER", -1, "BEAM"},  {"BALL_SILVER", 0, "MARK"}, {"SILVER_LASER", -1, "LASER"},
      {"SILVER_LASER", 0, "MARK"},  {"BALL_LARGE", 3, "PIECE"},
  };
  for (const Ref& r : refs) {
    units::UnitType* t = type(r.key);
    units::UnitType* to = t ? (r.slot < 0 ? t->gunType : t->weaponTypes[r.slot]) : nullptr;
    if (!to || to != type(r.expected)) problems += std::string(r.key) + " -> " + r.expected + "; ";
  }
  return problems;
}
ArenaWatch* gArena = nullptr;

// The unit of that label, or null.
units::Unit* Labelled(world::GameWorld& world, const char* label) {
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    units::Unit* u = world::GetUnitAt(world, slot);
    if (u && u->type && std::string(u->label.Get()) == label) return u;
  }
  return nullptr;
}

// A ball left to wander in its first steps is held where it was placed:
// its height and its own turns stay the behaviour's, its ground position
// and ground speed are pinned to its home.
void HoldBall(units::Unit* ball) {
  if (!ball || ball->state > 2) return;
  core::Vec3 at = ball->GetObjectPosition();
  ball->SetObjectPosition(ball->home.x, at.y, ball->home.z);
  ball->velocity.x = ball->velocity.z = 0.0f;
}

void WatchArena(void* user) {
  auto* engine = static_cast<app::Engine*>(user);
  ArenaWatch& w = *gArena;
  w.steps++;
  world::GameWorld& world = engine->world;
  int actors = 0, balls = 0;
  bool bad = false;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    units::Unit* u = world::GetUnitAt(world, slot);
    if (!u || !u->type) continue;
    int type = u->type->typeValue;
    if (type == kTypeSworder) actors++;
    if (type >= kTypeBallFirst && type <= kTypeBallLast) balls++;
    const char* field = nullptr;
    if (!Finite(u->velocity)) field = "velocity";
    else if (!Finite(u->GetObjectPosition()) || !Finite(u->GetObjectWorldPosition())) field = "position";
    else if (!Finite(u->GetObjectAngles())) field = "angles";
    if (field && !bad) {
      bad = true;
      if (w.firstBad.empty())
        w.firstBad = std::string(u->label.Get()) + " (type " + std::to_string(type) + ", state " +
                     std::to_string(u->state) + "): " + field + " at step " + std::to_string(w.steps);
    }
  }
  if (bad) w.badSteps++;
  w.actors = actors;
  w.balls = balls;
  if (w.steps == 10) {
    w.masterProblems = CheckMaster(world);
    // A ball's size is the largest x of its model's box.
    for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
      units::Unit* u = world::GetUnitAt(world, slot);
      if (!u || !u->type || u->type->typeValue < kTypeBallFirst || u->type->typeValue > kTypeBallLast) continue;
      core::Vec3 high{}, low{};
      if (!u->model) w.ballProblems += std::string(u->label.Get()) + ": no model; ";
      else if (u->model->GetMeshBounds(&high, &low, nullptr, nullptr), high.x < 0.3f || high.x > 1.0f)
        w.ballProblems += std::string(u->label.Get()) + ": radius " + std::to_string(high.x) + "; ";
    }
  }
  {
    int32_t held[input::kLogicalButtonCount];
    float axes[3], more[3];
    world::GetStepInput(world, held, nullptr, nullptr, axes, more);
    w.pad.push_back({held[8] != 0, held[9] != 0, held[12] != 0, axes[0], axes[1]});
  }
  if (w.poke) w.poke(world, w.steps);
  units::Unit* player = world.playerUnit;
  if (!player || !player->type) return;
  w.playerType = player->type->key;
  w.position.push_back(player->GetObjectWorldPosition());
  w.hp.push_back(player->hp);
  render::CMesh* model = player->model;
  if (!model || !model->animationController) return;
  const render::AnimationController& ac = *model->animationController;
  w.playing = ac.tracks[0].enabled && ac.tracks[0].set >= 0 ? ac.sets[size_t(ac.tracks[0].set)].name : "";
  if (!w.playing.empty()) w.played.insert(w.playing);
  w.missingSets = 0;
  w.wrongPeriods.clear();
  for (const char* set : kActorSets) {
    int found = ac.FindSet(set);
    if (found < 0) {
      if (w.firstMissing.empty()) w.firstMissing = set;
      w.missingSets++;
    } else if (std::fabs(ac.sets[size_t(found)].period - 1.0) > 1e-6) {
      // The behaviour plays a set at (animation time / 60) of its period:
      // a period of 60 steps keeps a key's time the step it shows.
      w.wrongPeriods += std::string(set) + " ";
    }
  }
  const units::UnitType& type = *player->type;
  w.bladeFrame = model->TransformPointByFrame(&w.bladeBase, type.wingName[0].c_str(), type.wingPos[0]) == 1 &&
                 model->TransformPointByFrame(&w.bladeTip, type.wingName[1].c_str(), type.wingPos[1]) == 1;
}

const char* kSettings = "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:160,HEIGHT:120},FPS:0}";

// The Arena in a work folder, run on an input file.
struct ArenaRun {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  ArenaWatch watch;
  std::string out;
  int exitCode = -1;

  explicit ArenaRun(const std::string& drive, void (*poke)(world::GameWorld&, int) = nullptr) {
    watch.poke = poke;
    test::WriteFile("tkw4.dat", kSettings);
    std::filesystem::create_directory_symlink(GamesFolder() / "Arena", "Arena");
    gArena = &watch;
    exitCode = apptest::RunGame("arena.rsp", drive, WatchArena, nullptr, &out);
    gArena = nullptr;
  }
};

// Keys of the keyboard's default assignment: the arrows drive the stick
// (axes 0 and 1), Z is button 8 (attack), X button 9 (jump), A button 12
// (guard, walk).
constexpr int kKeyUp = 200;
constexpr int kKeyDown = 208;
constexpr int kKeyLeft = 203;
constexpr int kKeyRight = 205;
constexpr int kKeyAttack = 44;
constexpr int kKeyJump = 45;
constexpr int kKeyGuard = 30;

std::string Key(int frame, int code, bool down) {
  return "at " + std::to_string(frame) + " 0 key " + std::to_string(code) + (down ? " down\n" : " up\n");
}

// The game found by its start file's name among the working folder's game
// folders starts, its scripts compile and run without error, and the
// world script places and reports the fighter and the six balls; the
// fighter's model plays an animation set and holds every set the actor
// uses, with the blade's frame; the run ends at "close".
TEST(ArenaGame, StartsPlacesTheFighterAndTheBallsAndEndsAtClose) {
  ArenaRun run("keyboard\nat 300 close\n");
  EXPECT_EQ(run.exitCode, 0);
  for (const test::RecordedBox& box : run.boxes.Boxes()) ADD_FAILURE() << box.caption << ": " << box.text;
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  EXPECT_FALSE(std::filesystem::exists("RuntimeError.txt"));
  const std::string& out = run.out;
  EXPECT_NE(out.find("Arena: the start script is running."), std::string::npos) << out;
  EXPECT_NE(out.find("Arena: loaded the arena (Map/arena.map)."), std::string::npos) << out;
  EXPECT_NE(out.find("Arena: placed 7 units (Unit/arena.plc): the fighter (unit "), std::string::npos) << out;
  for (const char* ball : {"the ball Ball1 (unit", "the ball Ball2 (unit", "the speed ball Speedy (unit",
                           "the electric ball Sparky (unit", "the silver ball Silver (unit", "the evil ball Evil (unit"})
    EXPECT_NE(out.find(ball), std::string::npos) << ball << "\n" << out;
  EXPECT_EQ(out.find("(unit -1"), std::string::npos) << "a unit was not found by its label\n" << out;
  EXPECT_NE(out.find("Arena: the fighter takes its stance (AnimationSet_pose)."), std::string::npos) << out;
  // Closed by the input file, before the two minutes were up.
  EXPECT_EQ(out.find("Arena: the world ends the game."), std::string::npos) << out;

  const ArenaWatch& w = run.watch;
  ASSERT_GE(w.steps, 290);
  EXPECT_LE(w.steps, 310);
  EXPECT_EQ(w.badSteps, 0) << w.firstBad;
  EXPECT_EQ(w.playerType, "HERO");
  EXPECT_EQ(w.actors, 1);
  EXPECT_EQ(w.balls, 6);

  // The model: a set plays, every set the actor selects is there, and the
  // blade runs from the guard to the tip about a metre forward of it.
  EXPECT_EQ(w.playing.rfind("AnimationSet_", 0), 0u) << w.playing;
  EXPECT_EQ(w.missingSets, 0) << w.firstMissing;
  EXPECT_EQ(w.wrongPeriods, "");
  EXPECT_TRUE(w.bladeFrame);
  float dx = w.bladeTip.x - w.bladeBase.x, dy = w.bladeTip.y - w.bladeBase.y, dz = w.bladeTip.z - w.bladeBase.z;
  EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), 1.01f, 0.02f);

  // The types the behaviours reach through the master, and the balls'
  // sizes.
  EXPECT_EQ(w.masterProblems, "");
  EXPECT_EQ(w.ballProblems, "");

  // The fighter stands on the floor where it was put, whole.
  ASSERT_FALSE(w.position.empty());
  EXPECT_NEAR(w.position.back().x, 0.0f, 0.5f);
  EXPECT_NEAR(w.position.back().y, 0.0f, 0.3f);
  EXPECT_NEAR(w.position.back().z, 12.0f, 0.5f);
  EXPECT_EQ(w.hp.front(), w.hp.back());
  EXPECT_GT(w.hp.back(), 0);
}

// The keys the README names reach the actor's pad through the keyboard's
// default map: Z, X and A hold buttons 8, 9 and 12; the arrows push the
// stick (right and down positive), each alone and two together.
TEST(ArenaGame, TheKeysDriveTheActorsButtonsAndStick) {
  std::string drive = "keyboard\n";
  drive += Key(60, kKeyAttack, true) + Key(80, kKeyAttack, false);
  drive += Key(100, kKeyJump, true) + Key(120, kKeyJump, false);
  drive += Key(140, kKeyGuard, true) + Key(160, kKeyGuard, false);
  drive += Key(180, kKeyRight, true) + Key(200, kKeyRight, false);
  drive += Key(220, kKeyLeft, true) + Key(240, kKeyLeft, false);
  drive += Key(260, kKeyDown, true) + Key(280, kKeyDown, false);
  drive += Key(300, kKeyUp, true) + Key(300, kKeyRight, true) + Key(320, kKeyUp, false) + Key(320, kKeyRight, false);
  drive += "at 360 close\n";
  ArenaRun run(drive);
  const std::vector<ArenaWatch::Pad>& pad = run.watch.pad;
  ASSERT_GE(pad.size(), 340u);
  // The frame in the middle of each hold (the world's steps trail the
  // input's frames by at most a few).
  struct Expect {
    int step;
    bool attack, jump, guard;
    float x, y;
  };
  const Expect table[] = {
      {40, false, false, false, 0, 0},  {70, true, false, false, 0, 0},  {110, false, true, false, 0, 0},
      {150, false, false, true, 0, 0},  {190, false, false, false, 1, 0}, {230, false, false, false, -1, 0},
      {270, false, false, false, 0, 1}, {310, false, false, false, 1, -1}, {340, false, false, false, 0, 0},
  };
  for (const Expect& e : table) {
    SCOPED_TRACE(e.step);
    const ArenaWatch::Pad& p = pad[size_t(e.step)];
    EXPECT_EQ(p.attack, e.attack);
    EXPECT_EQ(p.jump, e.jump);
    EXPECT_EQ(p.guard, e.guard);
    EXPECT_NEAR(p.x, e.x, 0.05f);
    EXPECT_NEAR(p.y, e.y, 0.05f);
  }
}


// Blows dealt from outside the script, as the behaviours deal them:
// Ball1 struck twice and then at HP 0, the speed ball released at once,
// the fighter hit once.
void DealBlows(world::GameWorld& world, int step) {
  // The balls stay where they were put, out of the fighter's reach, so
  // that only these blows happen.
  for (const char* label : {"Ball1", "Ball2", "Speedy", "Sparky", "Silver", "Evil"}) HoldBall(Labelled(world, label));
  units::Unit* ball = Labelled(world, "Ball1");
  if (ball && (step == 100 || step == 130)) ball->hp -= 1;
  if (ball && step == 160) ball->hp = 0;
  if (step == 200)
    if (units::Unit* speedy = Labelled(world, "Speedy")) speedy->removalMark = 1;
  if (step == 220 && world.playerUnit) world.playerUnit->hp -= 1;
}

// The world script's watch thread reports each change once: strikes with
// the HP before and after, a ball at HP 0 and a released ball as destroyed
// (counted), a hit on the fighter; the ten-second report counts the balls
// left.
TEST(ArenaGame, TheWorldScriptReportsStrikesDestroyedBallsAndHitsOnTheFighter) {
  ArenaRun run("keyboard\nat 660 close\n", DealBlows);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists("RuntimeError.txt"));
  const std::string& out = run.out;
  auto count = [&out](const std::string& text) {
    int n = 0;
    for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) n++;
    return n;
  };
  EXPECT_EQ(count(": the ball Ball1 was struck: HP 3 -> 2."), 1) << out;
  EXPECT_EQ(count(": the ball Ball1 was struck: HP 2 -> 1."), 1) << out;
  EXPECT_EQ(count(": the ball Ball1 was destroyed (1 of 6)."), 1) << out;
  EXPECT_EQ(count(": the speed ball Speedy was destroyed (2 of 6)."), 1) << out;
  EXPECT_EQ(count(": the fighter was hit: HP 16 -> 15."), 1) << out;
  EXPECT_EQ(count("was struck"), 2) << out;
  EXPECT_EQ(count("was destroyed"), 2) << out;
  EXPECT_NE(out.find("Arena: step 601: the fighter is at (0, 0, 12), HP 15; 4 balls left."), std::string::npos) << out;
  // In step order.
  EXPECT_LT(out.find("HP 3 -> 2."), out.find("HP 2 -> 1."));
  EXPECT_LT(out.find("Ball1 was destroyed"), out.find("Speedy was destroyed"));
}

// The input for a fight: the fighter walks straight at the nearest ball
// (Ball1, seven units ahead with the camera behind the fighter) and stops
// a stride short of it, jumps high (the jump button held past 11 steps)
// and strikes from the air, and from its landing on strikes once every 18
// steps: a landing cut, then strokes of the chain. Frames are the main
// loop's; the keys are those of the keyboard's default map.
std::string FightDrive() {
  std::string drive = "keyboard\n";
  drive += Key(60, kKeyUp, true) + Key(106, kKeyUp, false);
  drive += Key(115, kKeyJump, true) + Key(130, kKeyJump, false);
  drive += Key(140, kKeyAttack, true) + Key(142, kKeyAttack, false);
  for (int f = 185; f < 800; f += 18) drive += Key(f, kKeyAttack, true) + Key(f + 2, kKeyAttack, false);
  drive += "at 900 close\n";
  return drive;
}

// Ball1 held at its place until the fighter has landed beside it (a ball
// wanders off in its first seconds); from then on the fight is the
// behaviours' own.
void HoldBall1UntilTheFight(world::GameWorld& world, int step) {
  if (step < 180) HoldBall(Labelled(world, "Ball1"));
}

// The fighter, driven by the keys, walks to Ball1, jumps, and strikes it
// again and again until it is destroyed; the world script reports each
// strike; the actor's model plays the sets of each move; no value ever
// turns non-finite.
TEST(ArenaGame, TheFighterWalksToTheNearestBallJumpsAndStrikesItDown) {
  ArenaRun run(FightDrive(), HoldBall1UntilTheFight);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  EXPECT_FALSE(std::filesystem::exists("RuntimeError.txt"));
  const ArenaWatch& w = run.watch;
  EXPECT_EQ(w.badSteps, 0) << w.firstBad;
  ASSERT_GE(w.position.size(), 800u);
  // Straight toward Ball1 at (0, 0.5, 5), stopping short of it.
  EXPECT_NEAR(w.position[110].x, 0.0f, 0.2f);
  EXPECT_LT(w.position[110].z, 7.0f);
  EXPECT_GT(w.position[110].z, 5.8f);
  // Off the ground in the jump, and down again.
  float highest = 0;
  for (size_t i = 110; i < 180; i++) highest = std::fmax(highest, w.position[i].y);
  EXPECT_GT(highest, 2.0f);
  EXPECT_NEAR(w.position[200].y, 0.0f, 0.05f);
  // The sets of the walk, the jump, the air stroke, the landing and the
  // strokes on the ground.
  std::string played;
  for (const std::string& set : w.played) played += set + " ";
  for (const char* set : {"AnimationSet_pose", "AnimationSet_run", "AnimationSet_jump", "AnimationSet_at7",
                          "AnimationSet_td_a", "AnimationSet_at1"})
    EXPECT_EQ(w.played.count(set), 1u) << set << " (played: " << played << ")";
  // The strokes landed, one at a time, until the ball was gone.
  const std::string& out = run.out;
  size_t first = out.find(": the ball Ball1 was struck: HP 3 -> 2.");
  size_t second = out.find(": the ball Ball1 was struck: HP 2 -> 1.");
  size_t gone = out.find(": the ball Ball1 was destroyed (1 of 6).");
  ASSERT_NE(first, std::string::npos) << out;
  ASSERT_NE(second, std::string::npos) << out;
  ASSERT_NE(gone, std::string::npos) << out;
  EXPECT_LT(first, second);
  EXPECT_LT(second, gone);
}

// The arena is deterministic: the same input file plays the same fight,
// step for step (the fighter's path and HP, every ball's report), with the
// balls left to their own wandering from the first step.
TEST(ArenaGame, TheSameInputPlaysTheSameFight) {
  std::vector<core::Vec3> path[2];
  std::vector<int> hp[2];
  std::string out[2];
  for (int i = 0; i < 2; i++) {
    ArenaRun run(FightDrive());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.watch.badSteps, 0) << run.watch.firstBad;
    path[i] = run.watch.position;
    hp[i] = run.watch.hp;
    out[i] = run.out;
  }
  ASSERT_GE(path[0].size(), 800u);
  ASSERT_EQ(path[0].size(), path[1].size());
  for (size_t n = 0; n < path[0].size(); n++) {
    ASSERT_EQ(path[0][n].x, path[1][n].x) << "step " << n;
    ASSERT_EQ(path[0][n].y, path[1][n].y) << "step " << n;
    ASSERT_EQ(path[0][n].z, path[1][n].z) << "step " << n;
  }
  EXPECT_EQ(hp[0], hp[1]);
  EXPECT_EQ(out[0], out[1]);
}

}  // namespace
