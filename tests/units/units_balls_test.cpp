// units_balls_test.cpp -- the ball enemies against a sword actor: hovering,
// wandering and bouncing, the chase, the tackle and the guard, the
// discharge, the BALL_EVIL burst, the silver balls' marks, beam shots and
// lasers, knocks by the blade, death with its pieces and the DISAPPEAR
// event, merging, and a long mixed run.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "units/units_paths.h"
#include "units/units_sword.h"
#include "units_weapon_fixture.h"

namespace {

using unittest::WeaponWorld;
using units::Unit;
using units::UnitType;
using units::Vec3;

constexpr int32_t kBallSpeed = units::kTypeBall + 1;
constexpr int32_t kBallElectric = units::kTypeBall + 2;
constexpr int32_t kBallSilver = units::kTypeBall + 3;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
float Length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
Vec3 Sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// A cube from -0.3 to 0.3: a ball of radius 0.3.
const char* kBallModel = R"(xof 0303txt 0032
Mesh Ball {
 8;
 -0.3;-0.3;-0.3;, 0.3;-0.3;-0.3;, 0.3;0.3;-0.3;, -0.3;0.3;-0.3;,
 -0.3;-0.3;0.3;, 0.3;-0.3;0.3;, 0.3;0.3;0.3;, -0.3;0.3;0.3;;
 6;
 4;3,2,1,0;, 4;4,5,6,7;, 4;0,4,7,3;, 4;1,2,6,5;, 4;3,7,6,2;, 4;0,1,5,4;;
}
)";

class BallWorld : public WeaponWorld {
 protected:
  UnitType& actorType = AddType("ACTOR", units::kTypeSworder);
  UnitType& ballType = AddType("BALL", units::kTypeBall);
  UnitType& speedType = AddType("SPEED", kBallSpeed);
  UnitType& electricType = AddType("ELECTRIC", kBallElectric);
  UnitType& silverType = AddType("SILVER", kBallSilver);
  UnitType& evilType = AddType("EVIL", units::kTypeBallEvil);
  UnitType& beamType = AddType("BEAM", units::kTypeBallBeam);
  UnitType& laserType = AddType("LASER", units::kTypeBallLaser);
  UnitType& markType = AddType("MARK", units::kTypeBallTarget);
  UnitType& pieceType = AddType("PIECE", units::kTypeBall);
  UnitType& bigType = AddType("BIG", units::kTypeBall);
  Unit* actor = nullptr;
  render::TextureHolder plainSurface{};

  void SetUp() override {
    test::WriteFile("ball.x", kBallModel);
    actorType.defense = 5;
    actorType.hudNameFile = "actor.png";  // a unit without a HUD name is never a victim
    actorType.headPos = {0, 1.2f, 0};
    for (UnitType* t : {&ballType, &speedType, &electricType, &silverType, &evilType, &pieceType, &bigType}) {
      t->modelFile = "ball.x";
      t->defense = 3;
      t->hudNameFile = "ball.png";
    }
    evilType.defense = 10;
    for (UnitType* t : {&beamType, &laserType, &markType}) {
      t->modelFile = "box.x";
      t->attributes = units::kAttrWeapon;
    }
    beamType.speed = 0.5f;
    for (int32_t& r : beamType.range) r = 100;
    laserType.scale = {1, 1, 10};
    silverType.gunType = &beamType;
    silverType.weaponTypes[0] = &markType;
    AddGround();
    actor = world::PutUnit(world, "P", &actorType, 1, "actor", world::kPutPlayer, Vec3{}, Vec3{}, nullptr);
    ASSERT_NE(actor, nullptr);
    actor->SetObjectModel(&box);
    actor->hp = actor->maxHp = 5;
    ASSERT_EQ(world::GetPlayerUnit(world), actor);
  }

  Unit* Ball(UnitType& type, Vec3 at, const char* label = "ball") {
    Unit* u = world::PutUnit(world, "E", &type, 1, label, world::kPutNotPlayer, at, Vec3{}, nullptr);
    EXPECT_NE(u, nullptr);
    EXPECT_NE(u ? u->model : nullptr, nullptr);
    if (u) u->hp = u->maxHp = type.defense;  // as written, whatever the game level
    return u;
  }

  // Every unit but the actor (whose own step is not under test) once, in
  // slot order as the world steps them; then the units marked to go are
  // released, as the world does after the step's scripts. The hit pause is
  // not kept: `pauses` counts the steps that raised it.
  int pauses = 0;
  void StepBalls(int steps = 1) {
    for (int i = 0; i < steps; i++) {
      for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
        Unit* u = world::GetUnitAt(world, slot);
        if (!u || u == actor) continue;
        if (!units::UpdateUnit(world, *u)) world::ReleaseMatchingUnits(world, u);
      }
      for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
        Unit* u = world::GetUnitAt(world, slot);
        if (u && u->removalMark) world::ResetUnitSlot(world, slot);
      }
      if (world.freezeCountdown) pauses++;
      world.freezeCountdown = 0;
    }
  }
  // Steps until the predicate holds (at most `limit` steps); the steps
  // taken, or -1.
  template <class Predicate>
  int StepUntil(Predicate done, int limit) {
    for (int i = 0; i < limit; i++) {
      if (done()) return i;
      StepBalls();
    }
    return done() ? limit : -1;
  }

  static bool Live(const Unit* u, uint32_t serial) { return u->unitId != 0 && u->spawnSerial == serial; }
  static int32_t Cooldown(Unit& u) { return units::BehaviourInt(u, units::kSwordHitCooldown); }

  // A ground whose top is y = 0 and, with `wall`, a wall whose face is at
  // x = 20.
  void AddGround() {
    std::string master = R"({GROUND_A:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND"],SCALE:{x:5000,y:1,z:5000}},)"
                         R"(WALL_A:{MODEL_FILE:"box.x",SCALE:{x:1,y:50,z:5000}}})";
    ASSERT_EQ(world::LoadMapMaster(world, Compile(master)), 1);
    ASSERT_EQ(world::ReadMapPlacements(world,
                                       Compile(R"([{ID:"GROUND_A",POS:{x:0,y:-1,z:0}},)"
                                               R"({ID:"WALL_A",POS:{x:21,y:0,z:0}}])"),
                                       0),
              1);
  }

  // Path points listed for the DISAPPEAR trigger of units labelled `label`;
  // the event function logs "handle,".
  void WatchDisappear(const char* label) {
    units::PathPoint* p = units::NewPathPoint(*world.pathPoints, 100, 1, 1, 1);
    ASSERT_NE(p, nullptr);
    units::SetPathPointTrigger(*p, uint32_t(units::kTriggerDisappear), label, "");
    world::SetPathPointListed(world, p, 1);
    std::string text = "string log = \"\";\r\nfunction " + units::EventFunctionName(*p) +
                       "(int h) { log = log + h + \",\"; }\r\n";
    world.scriptEngine.ClearScriptEngine();
    world.scriptEngine.ResetScriptEngine(nullptr, nullptr);
    ASSERT_EQ(world.scriptEngine.LoadScriptMemory(text.c_str(), "watch.txt"), 1)
        << world.scriptEngine.GetErrorListText();
  }
  std::string Fired() {
    world.scriptEngine.RunScriptFrame(0);
    script::CScriptValue* v = world.scriptEngine.FindGlobal("log");
    return v ? v->stringValue.c_str() : "?";
  }

  // The blade's blow as the actor's step deals it: state 7, the knock, one
  // HP, the striking state kept.
  static void Strike(Unit& ball, Vec3 knock, int32_t attackerState) {
    units::SetUnitState(ball, 7, 0);
    ball.velocity = knock;
    units::BehaviourInt(ball, units::kSwordLastStruckBy) = attackerState;
    units::BehaviourInt(ball, units::kSwordTimesStruck)++;
    units::BehaviourInt(ball, units::kSwordHitCooldown) = 5;
    if (ball.hp > 0) ball.hp--;
  }
};

// [SECTION] Hovering, wandering, bouncing

// A ball settles in its band over the ground and wanders; without ground
// under it, it falls, and below y = -5 it is gone.
TEST_F(BallWorld, HoversInItsBandAndFallsWhereTheGroundEnds) {
  Unit* ball = Ball(ballType, {-10, 2, 10});
  ball->SetObjectScale(1, 1, 1);
  float lowest = 100, highest = -100;
  for (int i = 0; i < 900; i++) {
    StepBalls();
    if (i < 300) continue;
    float y = ball->GetObjectPosition().y;
    lowest = std::fmin(lowest, y);
    highest = std::fmax(highest, y);
    ASSERT_EQ(ball->state, 0) << i;
  }
  EXPECT_GT(lowest, 0.35f);
  EXPECT_LT(highest, 0.75f);
  Vec3 home{-10, 0, 10};
  Vec3 moved = Sub(ball->GetObjectPosition(), home);
  EXPECT_GT(std::hypot(moved.x, moved.z), 0.1f);  // it wandered

  // Beyond the ground's edge at 5000: knocked into a fall, then gone.
  uint32_t serial = ball->spawnSerial;
  ball->SetObjectPosition(6000, 0.5f, 0);
  ball->velocity = {};
  StepBalls();
  EXPECT_EQ(ball->state, 7);
  EXPECT_GE(StepUntil([&] { return !Live(ball, serial); }, 200), 0);
}

// A wall within six steps of the wandering ball's way turns it back at
// half its speed; in the open its velocity is kept.
TEST_F(BallWorld, WanderingBallTurnsBackFromAWall) {
  const struct {
    float x;
    float vx;
  } cases[] = {{15.0f, 1.0f / 30}, {19.85f, 1.0f / 30}, {19.5f, 1.0f / 60}, {10.0f, 1.0f / 30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.x);
    Unit* ball = Ball(ballType, {c.x, 0.52f, -30});
    units::UnitAge(*ball) = 40;  // between the turns of its wandering
    ball->velocity = {c.vx, 0, 0};
    StepBalls();
    bool near = 20.0f - c.x < 6.0f * c.vx;
    EXPECT_NEAR(ball->velocity.x, near ? -0.5f * c.vx : c.vx, 1e-6f);
    world::ReleaseUnit(world, ball);
  }
  // Thrown against the wall, it is kept out of it by its radius and stops.
  Unit* ball = Ball(ballType, {19.5f, 0.52f, -30});
  Strike(*ball, {0.3f, 0, 0}, 10);
  StepBalls();
  EXPECT_NEAR(ball->GetObjectPosition().x, 20.0f - 0.3f, 1e-4f);
  EXPECT_EQ(ball->velocity.x, 0.0f);
}

// [SECTION] The tackle and the guard

// A BALL within 5 of the actor's head tackles: it waits facing the head,
// squashes, dashes (hitting in ages 51..59), recoils and wanders again at
// its own scale. The unguarded actor is knocked down: state 20 at age 6
// and animation time 6, one HP less, a hit cooldown of 30, thrown 0.2 a
// step away from the ball, and the world pauses for the hit.
TEST_F(BallWorld, TackleKnocksDownAnUnguardedActor) {
  Unit* ball = Ball(ballType, {3, 0.5f, 0});
  int32_t hp = actor->hp;
  StepBalls();
  ASSERT_EQ(ball->state, 3);
  int steps = StepUntil([&] { return actor->state == 20; }, 80);
  ASSERT_GE(steps, 0);
  EXPECT_GE(units::UnitAge(*ball), 51 + 1);
  EXPECT_LE(units::UnitAge(*ball), 59 + 1);
  EXPECT_EQ(units::UnitAge(*actor), 6);
  EXPECT_EQ(actor->actorTime, 6.0f);
  EXPECT_EQ(actor->hp, hp - 1);
  EXPECT_EQ(Cooldown(*actor), 30);
  EXPECT_NEAR(Length(actor->velocity), 0.2f, 1e-5f);
  EXPECT_LT(actor->velocity.x, 0.0f);  // away from the ball, which came from +x
  EXPECT_EQ(pauses, 1);
  // The actor turned to face the ball: its model's front looks away.
  EXPECT_LT(actor->GetObjectWorldFront().x, -0.9f);

  // Down, the actor is no victim: the rest of the dash passes.
  EXPECT_GE(StepUntil([&] { return ball->state == 0; }, 40), 0);
  EXPECT_EQ(actor->hp, hp - 1);
  Vec3 s = ball->GetObjectScale();
  EXPECT_NEAR(s.x, 1.0f, 1e-6f);
  EXPECT_NEAR(s.z, 1.0f, 1e-6f);
}

// The guard: facing the ball (front within 60 degrees) in state 7 or 8,
// a blow inside the parry window (animation time below 13) bounces the ball
// into state 7 and holds the guard (8); outside the window the actor is
// staggered (19, age and animation time 15) and keeps its HP; a guard
// turned away, or no guard, is knocked down.
TEST_F(BallWorld, GuardParriesOrStaggersWhenFacingTheBall) {
  struct Case {
    const char* name;
    int32_t state;
    float time;
    float facing;  // degrees between the actor's front and the ball's way
    int32_t actorState, ballState, hpLost;
  };
  const Case cases[] = {
      {"parry", 7, 5, 0, 8, 7, 0},         {"parry, held guard", 8, 6, 50, 8, 7, 0},
      {"late guard", 7, 20, 0, 19, 3, 0},  {"guard turned away", 7, 5, 70, 20, 3, 1},
      {"guard behind", 8, 6, 180, 20, 3, 1}, {"no guard", 0, 5, 0, 20, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    actor->SetObjectPosition(0, 0, 0);
    actor->velocity = {};
    units::SetUnitState(*actor, c.state, 0);
    units::BehaviourInt(*actor, units::kSwordHitCooldown) = 0;
    actor->hp = 5;
    Unit* ball = Ball(ballType, {3, 0.5f, 0});
    StepBalls(40);  // waiting, then squashed: the dash is still to come
    ASSERT_EQ(ball->state, 3);
    // The ball comes along -x: a front along -x faces it.
    float a = c.facing * 0.017453292f;
    actor->SetObjectLookAt(Vec3{-std::cos(a), 0, std::sin(a)}, nullptr);
    actor->actorTime = c.time;
    int steps = StepUntil([&] { return Cooldown(*actor) != 0; }, 40);
    ASSERT_GE(steps, 0);
    EXPECT_EQ(actor->state, c.actorState);
    EXPECT_EQ(actor->hp, 5 - c.hpLost);
    EXPECT_EQ(Cooldown(*actor), 30);
    EXPECT_EQ(pauses > 0, true);
    StepBalls();
    EXPECT_EQ(ball->state, c.ballState);
    if (c.actorState == 19) {
      EXPECT_EQ(actor->actorTime, 15.0f);
      EXPECT_NEAR(Length(actor->velocity), 1.0f / 6.0f, 1e-5f);
    }
    if (c.actorState == 8) {
      EXPECT_NEAR(Length(actor->velocity), 0.1f, 1e-5f);
      EXPECT_GT(ball->velocity.x, 0.0f);  // bounced back the way it came
    }
    world::ReleaseUnit(world, ball);
    pauses = 0;
  }
}

// BALL_SPEED chases (a new heading at age 30 of each 180), BALL_EVIL
// every step; within 5 they tackle, and after a tackle they chase again.
TEST_F(BallWorld, SpeedAndEvilBallsChaseThenTackle) {
  for (UnitType* type : {&speedType, &evilType}) {
    SCOPED_TRACE(type->key);
    Unit* ball = Ball(*type, {9, 0.5f, 0});
    units::SetUnitState(*ball, 1, 0);
    StepBalls();
    bool evil = type == &evilType;
    EXPECT_NEAR(std::hypot(ball->velocity.x, ball->velocity.z), evil ? 0.05f : 0.0f, 1e-5f);
    StepBalls(30);
    EXPECT_NEAR(ball->velocity.x, -0.05f, 1e-4f);
    EXPECT_GE(StepUntil([&] { return ball->state == 3; }, 200), 0);
    actor->hp = 5;
    EXPECT_GE(StepUntil([&] { return ball->state == 1; }, 80), 0);
    EXPECT_EQ(actor->state, 20);
    units::SetUnitState(*actor, 0, 0);
    units::BehaviourInt(*actor, units::kSwordHitCooldown) = 0;
    world::ReleaseUnit(world, ball);
  }
}

// A BALL that chases goes back to wandering at age 540; a BALL_EVIL never.
TEST_F(BallWorld, OnlyTheEvilBallChasesForEver) {
  Unit* speed = Ball(speedType, {-40, 0.5f, 0});
  Unit* evil = Ball(evilType, {-40, 0.5f, 30});
  units::SetUnitState(*speed, 1, 0);
  units::SetUnitState(*evil, 1, 0);
  speed->SetObjectPosition(-400, 0.5f, 0);
  evil->SetObjectPosition(-400, 1.5f, 30);
  StepBalls(560);
  EXPECT_EQ(speed->state, 0);
  EXPECT_EQ(evil->state, 1);
}

// [SECTION] Discharge and the evil burst

// BALL_ELECTRIC discharges when the head is within 20 r; from age 29 the
// head within 4 r is struck down (one HP, thrown 0.1 a step, a hit pause);
// at age 60 it wanders again.
TEST_F(BallWorld, ElectricBallDischargesOntoANearActor) {
  Unit* ball = Ball(electricType, {0.8f, 0.5f, 0});
  StepBalls();
  ASSERT_EQ(ball->state, 4);
  StepBalls(29);
  EXPECT_EQ(actor->state, 0);
  StepBalls();
  EXPECT_EQ(actor->state, 20);
  EXPECT_EQ(actor->hp, 4);
  EXPECT_NEAR(Length(actor->velocity), 0.1f, 1e-5f);
  EXPECT_EQ(actor->actorTime, 6.0f);
  EXPECT_EQ(pauses, 1);
  EXPECT_GE(StepUntil([&] { return ball->state == 0; }, 40), 0);
  EXPECT_NEAR(ball->GetObjectScale().x, 1.0f, 1e-6f);

  // Beyond 20 r it does not start.
  Unit* far = Ball(electricType, {0, 0.5f, 7});
  StepBalls();
  EXPECT_EQ(far->state, 0);
}

// A BALL_EVIL below 90 % HP bursts on a head within r: down and away, with
// a lift.
TEST_F(BallWorld, HurtEvilBallBurstsOnTheActor) {
  const struct {
    int32_t hp;
    bool hits;
  } cases[] = {{10, false}, {9, false}, {8, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hp);
    units::SetUnitState(*actor, 0, 0);
    actor->hp = 5;
    actor->velocity = {};
    Unit* ball = Ball(evilType, {0.2f, 1.2f, 0});
    ball->hp = c.hp;
    StepBalls();
    EXPECT_EQ(actor->state, c.hits ? 20 : 0);
    EXPECT_EQ(actor->hp, c.hits ? 4 : 5);
    if (c.hits) {
      // (normalize(actor - ball) + (0, 0.2, 0)) / 3, the actor at the origin.
      Vec3 d = Sub(Vec3{0, 0, 0}, Vec3{0.2f, 1.2f, 0});
      float l = Length(d);
      EXPECT_NEAR(actor->velocity.x, d.x / l / 3, 1e-5f);
      EXPECT_NEAR(actor->velocity.y, (d.y / l + 0.2f) / 3, 1e-5f);
    }
    world::ReleaseUnit(world, ball);
  }
}

// [SECTION] Silver balls: marks, beams, lasers

// A BALL_SILVER in sight within 30 r fires: at age 10 it marks the player
// (its weapon type 0, labelled "target"), at age 90 its beam flies at the
// mark and knocks the actor down; the owner books the hit. The mark ends
// after 75 steps, the ball wanders again after 119.
TEST_F(BallWorld, SilverBallMarksThePlayerAndItsBeamKnocksItDown) {
  Unit* ball = Ball(silverType, {6, 0.5f, 0});
  StepBalls();
  ASSERT_EQ(ball->state, 5);
  StepBalls(11);
  std::vector<Unit*> marks = UnitsOf(markType);
  ASSERT_EQ(marks.size(), 1u);
  Unit* mark = marks[0];
  uint32_t markSerial = mark->spawnSerial;
  EXPECT_STREQ(mark->label.Get(), "target");
  EXPECT_EQ(mark->master, ball);
  EXPECT_LE(std::fabs(mark->GetObjectPosition().x), 1.0f);
  EXPECT_TRUE(UnitsOf(beamType).empty());
  StepBalls(80);
  std::vector<Unit*> beams = UnitsOf(beamType);
  ASSERT_EQ(beams.size(), 1u);
  EXPECT_EQ(beams[0]->master, ball);
  int32_t hp = actor->hp;
  ASSERT_GE(StepUntil([&] { return actor->state == 20; }, 40), 0);
  EXPECT_EQ(actor->hp, hp - 1);
  EXPECT_EQ(Cooldown(*actor), 30);
  EXPECT_NEAR(Length(actor->velocity), 0.2f, 1e-5f);
  EXPECT_EQ(Hits(*ball), std::vector<int32_t>{actor->unitId});
  StepBalls();
  EXPECT_TRUE(UnitsOf(beamType).empty());  // it ended with its hit
  EXPECT_FALSE(Live(mark, markSerial));    // 75 steps are over
  EXPECT_GE(StepUntil([&] { return ball->state == 0; }, 40), 0);
  EXPECT_EQ(units::UnitAge(*ball), 0);

  // Without a gun type it never fires; without weapon type 0 it marks
  // nothing but still fires.
  silverType.gunType = nullptr;
  Unit* unarmed = Ball(silverType, {0, 0.5f, -6});
  StepBalls();
  EXPECT_EQ(unarmed->state, 0);
}

// A beam's hit counts (1) for the unit it was aimed at, a player unit, or
// any unit while an event runs; another victim is only booked (0) and keeps
// its HP. A BARRIER victim is booked with 0, an INERT one not at all.
TEST_F(BallWorld, BeamHitsCountOnlyOnTheAimedAtUnitOutsideEvents) {
  struct Case {
    const char* name;
    bool aimedAtVictim;
    bool victimIsPlayer;
    int eventMode;
    uint32_t flags;
    bool booked;
    int32_t amount;
  };
  const Case cases[] = {
      {"other unit", false, false, 0, 0, true, 0},
      {"aimed at", true, false, 0, 0, true, 1},
      {"player victim", false, true, 0, 0, true, 1},
      {"event", false, false, 1, 0, true, 1},
      {"barrier", true, false, 0, units::kUnitBarrier, true, 0},
      {"inert", true, false, 0, units::kUnitInert, false, 0},
  };
  Unit* owner = Ball(ballType, {0, 0.5f, -300});
  Unit* elsewhere = Put(actorType, "Q", {500, 0, 500});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    world.eventMode = c.eventMode;
    Unit* victim = Put(actorType, "Q", {0, 1, 100});
    victim->flags |= c.flags | (c.victimIsPlayer ? uint32_t(units::kUnitPlayer) : 0u);
    victim->sceneNumber = c.eventMode;
    owner->sceneNumber = c.eventMode;
    victim->hp = 5;
    Unit* beam = world::SpawnOwnedUnit(world, {0, 1.5f, 94}, {0, 0, 0.5f}, owner, &beamType);
    ASSERT_NE(beam, nullptr);
    units::UnitAge(*beam) = 2;
    beam->target = c.aimedAtVictim ? victim : elsewhere;
    int32_t hp = victim->hp;
    for (int i = 0; i < 20 && beam->unitId && !beam->removalMark; i++) units::UpdateUnit(world, *beam);
    ASSERT_EQ(beam->removalMark, 1);
    units::UnitEvent e{};
    int booked = units::PopHitEvent(*owner, &e, 1);
    EXPECT_EQ(booked > 0, c.booked);
    if (booked > 0) {
      EXPECT_EQ(e.unitId, victim->unitId);
      EXPECT_EQ(e.amount, c.amount);
    }
    EXPECT_EQ(victim->hp, hp - c.amount);
    EXPECT_EQ(victim->state, c.amount ? 20 : 0);
    world::ReleaseUnit(world, beam);
    world::ReleaseUnit(world, victim);
  }
  world.eventMode = 0;
}

// A beam lives while its age is within the largest class range (RANGE /
// speed steps, the speed of each step) and ends on terrain; a beam of no
// speed drops and ends on the ground.
TEST_F(BallWorld, BeamEndsPastItsRangeOrOnTheGround) {
  const struct {
    const char* name;
    Vec3 from, velocity;
    int32_t range;
    int updates;  // the steps it lives, the one that ends it included; 0: until it lands
  } cases[] = {
      {"range 10 steps", {0, 50, -200}, {0, 0, 1}, 11, 12},
      {"range 30 steps", {0, 50, -200}, {0, 0, 1}, 31, 32},
      {"into the ground", {0, 1.0f, -200}, {0, -0.5f, 0}, 50, 2},
      {"no speed", {0, 5, -200}, {0, 0, 0}, 50, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (int32_t& r : beamType.range) r = c.range;
    beamType.range[2] = c.range / 2;  // the largest class range counts
    Unit* beam = world::SpawnOwnedUnit(world, c.from, c.velocity, nullptr, &beamType);
    ASSERT_NE(beam, nullptr);
    int age = 0;
    for (; age < 400 && !beam->removalMark; age++) units::UpdateUnit(world, *beam);
    if (c.updates) {
      EXPECT_EQ(age, c.updates);
    } else {
      EXPECT_LT(age, 100);
      EXPECT_NEAR(beam->GetObjectPosition().y, 0.0f, 0.2f);
    }
    EXPECT_TRUE(Finite(beam->GetObjectPosition()));
    world::ReleaseUnit(world, beam);
  }
}

// A BALL_SILVER with a laser gun holds state 6: at age 90 the laser comes
// out of the ball (parented to it) and strikes the actor along it; the
// laser ends when its ball leaves state 6.
TEST_F(BallWorld, SilverLaserStrikesAlongItsBeamAndEndsWithTheFiring) {
  silverType.gunType = &laserType;
  Unit* ball = Ball(silverType, {6, 0.5f, 0});
  StepBalls();
  ASSERT_EQ(ball->state, 6);
  StepBalls(91);
  std::vector<Unit*> lasers = UnitsOf(laserType);
  ASSERT_EQ(lasers.size(), 1u);
  Unit* laser = lasers[0];
  uint32_t serial = laser->spawnSerial;
  EXPECT_EQ(laser->parent, ball);
  ASSERT_GE(StepUntil([&] { return actor->state == 20; }, 20), 0);
  EXPECT_EQ(units::UnitAge(*laser), 12 + 1);
  EXPECT_NEAR(Length(actor->velocity), 0.25f, 1e-5f);
  EXPECT_LT(actor->velocity.x, 0.0f);
  EXPECT_EQ(Cooldown(*actor), 30);
  float colour[4];
  laser->GetObjectColor(colour);
  EXPECT_NEAR(colour[3], 208.0f / 255.0f, 1e-6f);  // (12 + 1) x 16
  EXPECT_GE(StepUntil([&] { return ball->state == 0; }, 120), 0);
  StepBalls();
  EXPECT_FALSE(Live(laser, serial));
}

// A laser fades in by 16 a step, out by 8 from age 60, and ends at alpha 0
// even while its ball still fires.
TEST_F(BallWorld, LaserEndsWhenItHasFadedOut) {
  Unit* ball = Ball(silverType, {0, 0.5f, -100});
  units::SetUnitState(*ball, 6, 0);
  Unit* laser = world::SpawnOwnedUnit(world, {}, {0, 0, 1}, ball, &laserType);
  ASSERT_NE(laser, nullptr);
  units::SetUnitParent(*laser, ball);
  laser->SetObjectColor(1, 1, 1, 0);
  int age = 0;
  for (; age < 200 && !laser->removalMark; age++) units::UpdateUnit(world, *laser);
  // 255 at age 59, then 8 less a step: 0 after 32 more.
  EXPECT_EQ(age, 60 + 32);
}

// A target mark slides to a stop (its velocity halved each step) and ends
// on the step after it has spent 75 in its state.
TEST_F(BallWorld, TargetMarkSlidesToAStopAndEndsAfter75Steps) {
  Unit* mark = world::PutUnit(world, "E", &markType, 1, "target", world::kPutNotPlayer, {0, 0, 50}, Vec3{}, nullptr);
  ASSERT_NE(mark, nullptr);
  mark->velocity = {0.4f, 0, 0};
  units::UpdateUnit(world, *mark);
  EXPECT_EQ(mark->velocity.x, 0.2f);
  EXPECT_EQ(mark->GetObjectPosition().x, 0.2f);
  int updates = 1;
  for (; updates < 200 && !mark->removalMark; updates++) units::UpdateUnit(world, *mark);
  EXPECT_EQ(updates, 77);
  EXPECT_NEAR(mark->GetObjectPosition().x, 0.4f, 1e-5f);
}

// [SECTION] Knocks, death, pieces, merging

// Struck by the blade into state 7: the ball flies with the knock, slows
// by 0.005 a step, falls and lands, back to wandering (a BALL) or chasing
// (BALL_SPEED), its striking state forgotten and its scale back to 1.
TEST_F(BallWorld, StruckBallFliesLandsAndTakesUpItsState) {
  for (UnitType* type : {&ballType, &speedType}) {
    SCOPED_TRACE(type->key);
    Unit* ball = Ball(*type, {-30, 0.5f, 30});
    ball->SetObjectScale(1.5f, 0.5f, 1.5f);
    Strike(*ball, {0.1f, 0.05f, 0}, 12);
    StepBalls();
    EXPECT_NEAR(ball->velocity.x, 0.095f, 1e-6f);
    EXPECT_NEAR(ball->velocity.y, 0.05f - 0.0027222224f, 1e-6f);
    EXPECT_EQ(ball->GetObjectScale().y, 1.0f);
    EXPECT_EQ(Cooldown(*ball), 4);
    int steps = StepUntil([&] { return ball->state != 7; }, 100);
    ASSERT_GE(steps, 10);
    EXPECT_EQ(ball->state, type == &ballType ? 0 : 1);
    EXPECT_EQ(units::BehaviourInt(*ball, units::kSwordLastStruckBy), -1);
    EXPECT_EQ(ball->hp, 2);
    EXPECT_GT(ball->GetObjectPosition().x, -29.6f);
    world::ReleaseUnit(world, ball);
  }
}

// A knock of no lift lands at once when the ground lies within 0.1 under
// the ball; its striking state is forgotten at age 30 if it is still
// falling then.
TEST_F(BallWorld, LongFallForgetsTheStrokeAtAge30) {
  Unit* ball = Ball(ballType, {-30, 8, -30});
  Strike(*ball, {0, 0, 0}, 11);
  StepBalls(30);
  EXPECT_EQ(ball->state, 7);
  EXPECT_EQ(units::BehaviourInt(*ball, units::kSwordLastStruckBy), 11);
  StepBalls();
  EXPECT_EQ(units::BehaviourInt(*ball, units::kSwordLastStruckBy), -1);
}

// Three blows kill a ball of 3 HP when it lands from the third: its
// SCATTER units and times struck + 4 pieces are put, and its DISAPPEAR
// event runs while the record is still the ball's (the handle and label
// match); the world releases it after the step.
TEST_F(BallWorld, DeathAfterItsHitsPutsItsPiecesAndDisappearsOnALiveRecord) {
  ballType.weaponTypes[3] = &pieceType;
  ballType.scatter.resize(1);
  ballType.scatter[0].type = &speedType;
  WatchDisappear("ball1");
  Unit* ball = Ball(ballType, {-50, 0.5f, -50}, "ball1");
  int32_t id = ball->unitId;
  uint32_t serial = ball->spawnSerial;
  for (int blow = 0; blow < 2; blow++) {
    Strike(*ball, {0.05f, 0.05f, 0}, 10 + blow);
    ASSERT_GE(StepUntil([&] { return ball->state == 0; }, 100), 0);
    EXPECT_TRUE(Live(ball, serial));
  }
  Strike(*ball, {0.05f, 0.05f, 0}, 12);
  EXPECT_EQ(ball->hp, 0);
  // Step by step, the ball's own update alone: the step of its death
  // leaves the record whole and marked.
  for (int i = 0; i < 100 && !ball->removalMark; i++) units::UpdateUnit(world, *ball);
  ASSERT_EQ(ball->removalMark, 1);
  EXPECT_EQ(ball->unitId, id);
  EXPECT_EQ(ball->type, &ballType);
  EXPECT_EQ(Fired(), std::to_string(id) + ",");
  std::vector<Unit*> pieces = UnitsOf(pieceType);
  EXPECT_EQ(pieces.size(), 3u + 4u);
  for (Unit* p : pieces) {
    EXPECT_EQ(p->state, 998);
    EXPECT_STREQ(p->label.Get(), "piece");
  }
  std::vector<Unit*> scattered = UnitsOf(speedType);
  ASSERT_EQ(scattered.size(), 1u);
  EXPECT_EQ(scattered[0]->state, 7);
  EXPECT_STREQ(scattered[0]->label.Get(), "ball1");
  // Its step is over: another update of the marked record does nothing.
  Vec3 at = ball->GetObjectPosition();
  units::UpdateUnit(world, *ball);
  EXPECT_EQ(ball->GetObjectPosition().y, at.y);
  EXPECT_EQ(Fired(), std::to_string(id) + ",");
  StepBalls();  // the world's release
  EXPECT_FALSE(Live(ball, serial));
}

// A negative SCATTER entry replaces the unit of the entry before it (HP
// 600) when rand() mod 100 does not exceed the times struck; else the list
// ends there.
TEST_F(BallWorld, ScatterReplacementDependsOnTheStrikesTaken) {
  ballType.scatter.resize(3);
  ballType.scatter[0].type = &speedType;
  ballType.scatter[1].type = &evilType;
  ballType.scatter[1].time = -1;
  ballType.scatter[2].type = &electricType;
  const struct {
    int32_t struck;
    size_t speed, evil, electric;
  } cases[] = {{100, 0, 1, 1}, {-1, 1, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.struck);
    Unit* ball = Ball(ballType, {-50, 0.35f, 50});
    ball->hp = 0;
    units::SetUnitState(*ball, 7, 0);
    units::BehaviourInt(*ball, units::kSwordTimesStruck) = c.struck;
    StepBalls();
    EXPECT_EQ(UnitsOf(speedType).size(), c.speed);
    EXPECT_EQ(UnitsOf(evilType).size(), c.evil);
    EXPECT_EQ(UnitsOf(electricType).size(), c.electric);
    for (Unit* u : UnitsOf(evilType)) EXPECT_EQ(u->hp, 600);
    for (UnitType* t : {&speedType, &evilType, &electricType})
      for (Unit* u : UnitsOf(*t)) world::ReleaseUnit(world, u);
  }
}

// A piece falls to the ground; near the actor's head it is drawn in and
// collected; one left alone ends after 480 steps.
TEST_F(BallWorld, PiecesAreCollectedOrRunOut) {
  Unit* near = Ball(pieceType, {0.8f, 1.2f, 0.0f}, "piece");
  Unit* far = Ball(pieceType, {-60, 3, -60}, "piece");
  for (Unit* p : {near, far}) units::SetUnitState(*p, 998, 0);
  uint32_t nearSerial = near->spawnSerial, farSerial = far->spawnSerial;
  int steps = StepUntil([&] { return !Live(near, nearSerial); }, 60);
  EXPECT_GT(steps, 5);
  EXPECT_TRUE(Live(far, farSerial));
  StepBalls(480 - steps);
  EXPECT_TRUE(Live(far, farSerial));
  EXPECT_NEAR(far->GetObjectPosition().y, 0.3f, 0.05f);  // resting on the ground
  StepBalls(2);
  EXPECT_FALSE(Live(far, farSerial));
}

// Two balls of one type and team within 2 r merge into their weapon type
// 1 (state 7, the HPs summed) and both go; at 2 r to 5 (past age 60) the
// ball follows the other, until age 119.
TEST_F(BallWorld, BallsOfAKindMergeOrFollowEachOther) {
  ballType.weaponTypes[1] = &bigType;
  Unit* a = Ball(ballType, {-80, 0.5f, -80});
  Unit* b = Ball(ballType, {-79.5f, 0.5f, -80});
  a->hp = 2;
  uint32_t sa = a->spawnSerial, sb = b->spawnSerial;
  StepBalls();
  std::vector<Unit*> big = UnitsOf(bigType);
  ASSERT_EQ(big.size(), 1u);
  EXPECT_EQ(big[0]->hp, 5);
  EXPECT_EQ(big[0]->state, 7);
  EXPECT_FALSE(Live(a, sa));
  EXPECT_FALSE(Live(b, sb));

  Unit* c = Ball(ballType, {-80, 0.5f, 80});
  Unit* d = Ball(ballType, {-77, 0.5f, 80});
  units::UnitAge(*c) = units::UnitAge(*d) = 61;
  StepBalls();
  EXPECT_EQ(c->state, 2);
  EXPECT_EQ(c->target, d);
  // The one it follows gone, it wanders again and forgets it.
  world::ReleaseUnit(world, d);
  StepBalls();
  EXPECT_EQ(c->state, 0);
  EXPECT_EQ(c->target, nullptr);

  // Another team or a BALL_EVIL is not gathered.
  evilType.weaponTypes[1] = &bigType;
  Ball(ballType, {80, 0.5f, 80});
  units::SetUnitTeam(*Ball(ballType, {80.3f, 0.5f, 80}), "F");
  Ball(evilType, {80, 0.5f, -80});
  Ball(evilType, {80.3f, 0.5f, -80});
  StepBalls();
  EXPECT_EQ(UnitsOf(bigType).size(), 1u);
}

// [SECTION] Long runs and missing pieces

// Without a player unit no ball acts; a ball type without a model (radius
// 0) or a gun of no speed never makes a NaN over a long mixed run.
TEST_F(BallWorld, LongMixedRunStaysFinite) {
  UnitType& bare = AddType("BARE", units::kTypeBall + 2);
  bare.defense = 2;
  beamType.speed = 0;
  evilType.weaponTypes[1] = &bigType;
  ballType.weaponTypes[1] = &bigType;
  ballType.weaponTypes[3] = &pieceType;
  std::vector<Unit*> balls;
  UnitType* kinds[] = {&ballType, &speedType, &electricType, &silverType, &evilType};
  for (int i = 0; i < 15; i++) {
    float angle = float(i) * 0.41887903f;
    balls.push_back(Ball(*kinds[i % 5], {8 * std::cos(angle), 0.5f + float(i % 3), 8 * std::sin(angle)}));
  }
  Unit* modelless = world::PutUnit(world, "E", &bare, 1, "", world::kPutNotPlayer, {2, 0.5f, 2}, Vec3{}, nullptr);
  ASSERT_NE(modelless, nullptr);
  modelless->surface = &plainSurface;
  for (int step = 0; step < 3000; step++) {
    if (step % 97 == 0) {
      units::SetUnitState(*actor, step % 2 ? 7 : 0, 0);
      units::BehaviourInt(*actor, units::kSwordHitCooldown) = 0;
      actor->hp = 5;
      // A blow on whatever ball is nearest.
      for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
        Unit* u = world::GetUnitAt(world, slot);
        if (u && u->type && u->type->typeValue <= units::kTypeBallEvil && u->type->typeValue >= units::kTypeBall &&
            u->state < 7) {
          Strike(*u, {0.05f, 0.05f, 0.02f}, 10);
          break;
        }
      }
    }
    StepBalls();
    for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
      Unit* u = world::GetUnitAt(world, slot);
      if (!u) continue;
      ASSERT_TRUE(Finite(u->GetObjectPosition())) << step << " " << u->type->key;
      ASSERT_TRUE(Finite(u->velocity)) << step << " " << u->type->key;
      ASSERT_TRUE(Finite(u->GetObjectScale())) << step << " " << u->type->key;
    }
  }

  // Without a player unit a ball keeps still.
  Unit* still = Ball(ballType, {-300, 3, -300});
  world.playerUnit = nullptr;
  Vec3 at = still->GetObjectPosition();
  StepBalls(20);
  EXPECT_EQ(still->GetObjectPosition().y, at.y);
  EXPECT_EQ(still->state, 0);
}

}  // namespace
