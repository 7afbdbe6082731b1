// units_sworder_test.cpp -- the sword actor: the stick relative to the
// camera, jumps and dodges, the stroke chain with its animation sets, the
// blade against other units, knock-back and knock-down, terrain contact, and
// a long run of mixed input that must stay finite.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "units/units_projectile.h"
#include "units/units_sword.h"
#include "units_weapon_fixture.h"
#include "world/world_environment.h"

namespace unittest {
namespace {

using units::Add;
using units::BehaviourInt;
using units::Mul;
using units::Sub;

constexpr float kGravity = 0.010888889f;

// The animation sets of the actor's model, in the order the test model
// marks them: set n moves the frame "Hand" to x = n + 1, and along y by the
// set's time in steps (y = animation time).
const char* const kSets[] = {
    "AnimationSet_pose", "AnimationSet_walk",   "AnimationSet_run",   "AnimationSet_jump", "AnimationSet_back",
    "AnimationSet_side_r", "AnimationSet_side_l", "AnimationSet_td",  "AnimationSet_guard", "AnimationSet_dmg",
    "AnimationSet_dmg2", "AnimationSet_at1",    "AnimationSet_at2",   "AnimationSet_at3",  "AnimationSet_at4",
    "AnimationSet_at5",  "AnimationSet_at6",    "AnimationSet_at7",   "AnimationSet_run_a", "AnimationSet_td_a",
};
constexpr int kSetCount = int(sizeof kSets / sizeof kSets[0]);

std::string HumanoidModel() {
  std::string s = "xof 0303txt 0032\nAnimTicksPerSecond {\n 60;\n}\n";
  s += "Frame Body {\n FrameTransformMatrix {\n  1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;\n }\n";
  s += " Mesh { 3; -0.3;0;0;, 0.3;0;0;, 0;1.8;0;; 1; 3;0,1,2;; }\n";
  s += " Frame Hand {\n  FrameTransformMatrix {\n   1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;\n  }\n";
  s += "  Mesh { 3; 0;0;0;, 0.1;0;0;, 0;0.1;0;; 1; 3;0,1,2;; }\n }\n}\n";
  for (int n = 0; n < kSetCount; n++) {
    std::string x = std::to_string(n + 1);
    s += std::string("AnimationSet ") + kSets[n] + " {\n Animation {\n  {Hand}\n  AnimationKey {\n   2;\n   2;\n";
    s += "   0;3;" + x + ",0,0;;,\n   60;3;" + x + ",60,0;;;\n  }\n }\n}\n";
  }
  return s;
}

class SworderTest : public WeaponWorld {
 protected:
  render::CMesh humanoid;
  UnitType* actorType = nullptr;
  UnitType* ballType = nullptr;
  Unit* actor = nullptr;
  Unit* target = nullptr;
  // Keeps the target this far in front of the actor after every step.
  float escort = -1;

  void SetUp() override {
    ASSERT_EQ(rendertest::Build(gs, humanoid, HumanoidModel(), render::kMeshHierarchy), 1);
    actorType = &AddType("hero", units::kTypeSworder);
    actorType->defense = 5;
    actorType->hudNameFile = "hero.bmp";
    actorType->wingPos[0] = {0, 0, 0};
    actorType->wingPos[1] = {0, 1, 0};
    actorType->wingName[0] = actorType->wingName[1] = "Hand";
    ballType = &AddType("ball", units::kTypeBall);
    ballType->defense = 3;
    ballType->hudNameFile = "ball.bmp";
    AddTerrain("", "");
    // The camera behind the actor: the stick's up is -z, its right -x.
    world.camera.view.eye = {0, 5, 10};
    actor = Put(*actorType, "hero", {0, 0, 0});
    ASSERT_NE(actor, nullptr);
    actor->SetObjectModel(&humanoid);
    actor->flags |= units::kUnitPlayer;
    units::SetUnitHp(*actor, 5, 5);
  }
  void TearDown() override {
    for (int i = 1; i < world::CountUnitSlots(world); i++)
      if (Unit* u = world::GetUnitSlot(world, i)) u->SetObjectModel(nullptr);
  }

  // The flat ground (top face y = 0) and one more map object when given.
  void AddTerrain(const std::string& type, const std::string& placement) {
    std::string master = R"({GROUND_A:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND"],SCALE:{x:5000,y:1,z:5000}})";
    if (!type.empty()) master += "," + type;
    std::string placements = R"([{ID:"GROUND_A",POS:{x:0,y:-1,z:0}})";
    if (!placement.empty()) placements += "," + placement;
    ASSERT_EQ(world::LoadMapMaster(world, Compile(master + "}")), 1);
    ASSERT_EQ(world::ReadMapPlacements(world, Compile(placements + "]"), 0), 1);
  }

  // A ball of the other team at a point, its HP full.
  Unit* PutTarget(Vec3 at) {
    target = Put(*ballType, "enemy", at);
    units::SetUnitHp(*target, 3, 3);
    return target;
  }

  void Input(float x, float y, bool attack, bool jump, bool guardHeld, bool guardTrigger = false) {
    for (int b = 0; b < 128; b++) world.held[b] = world.trigger[b] = 0;
    world.axes[0] = x;
    world.axes[1] = y;
    world.trigger[8] = attack;
    world.held[8] = attack;
    world.held[9] = jump;
    world.held[12] = guardHeld || guardTrigger;
    world.trigger[12] = guardTrigger;
  }

  // One step of the actor; the target's cooldown counts down as a ball's
  // own step does, and the target may be kept in front of the actor.
  void Step() {
    units::UpdateUnit(world, *actor);
    if (target) {
      int32_t& cooldown = BehaviourInt(*target, units::kSwordHitCooldown);
      if (cooldown > 0) cooldown--;
      if (escort >= 0) {
        Vec3 p = Add(Position(), Mul(Facing(), escort));
        target->SetObjectPosition(p.x, p.y, p.z);
        target->velocity = {};
      }
    }
  }
  void Steps(int n) {
    for (int i = 0; i < n; i++) Step();
  }

  Vec3 Position() { return actor->GetObjectWorldPosition(); }
  // The way the actor faces: its model looks along its local -z.
  Vec3 Facing() { return Mul(actor->GetObjectWorldFront(), -1.0f); }
  // The set the model shows (its index, -1 for none) and its time.
  int SetShown() {
    Vec3 p{};
    humanoid.TransformPointByFrame(&p, "Hand", Vec3{0, 0, 0});
    return int(std::lround(p.x)) - 1;
  }
  float TimeShown() {
    Vec3 p{};
    humanoid.TransformPointByFrame(&p, "Hand", Vec3{0, 0, 0});
    return p.y;
  }
  static int SetIndex(const char* name) {
    for (int n = 0; n < kSetCount; n++)
      if (std::string(name) == kSets[n]) return n;
    return -1;
  }
};

// The desired velocity the stick asks for: the rule the actor follows,
// written out again.
Vec3 StickVelocity(Vec3 actor, Vec3 eye, float ax, float ay, bool walk) {
  if (ax > -0.1f && ax < 0.1f && ay > -0.1f && ay < 0.1f) return {};
  float d = std::atan2(actor.z - eye.z, actor.x - eye.x) - std::atan2(ay, ax);
  Vec3 u = units::Normalize(Vec3{std::sin(d), 0, -std::cos(d)});
  float m = std::sqrt(ax * ax + ay * ay) * (walk ? 0.5f : 1.0f);
  float s = m > 0.75f ? 0.125f : m > 0.4f ? 0.05f : m > 0.2f ? 0.025f : 0.0f;
  return Mul(u, s);
}

// [SECTION] Turning

TEST(SworderTurn, TurnsFiveDegreesTheShortWayOrSnapsWhenClose) {
  const float five = 0.0872664600610733f;
  struct Case {
    const char* name;
    Vec3 c, w, expected;
  } cases[] = {
      {"zero wanted keeps the direction", {1, 0, 0}, {0, 0, 0}, {1, 0, 0}},
      {"straight up keeps the direction", {1, 0, 0}, {0, 3, 0}, {1, 0, 0}},
      {"within 4 degrees snaps, flattened", {1, 0, 0}, {std::cos(0.07f) * 2, 5, std::sin(0.07f) * 2},
       {std::cos(0.07f), 0, std::sin(0.07f)}},
      {"left of it turns +5 degrees", {1, 0, 0}, {0, 0, 1}, {std::cos(five), 0, std::sin(five)}},
      {"right of it turns -5 degrees", {1, 0, 0}, {0, 0, -1}, {std::cos(five), 0, -std::sin(five)}},
      // From 170 degrees to -170: the short way is up through 180.
      {"across the back, the short way", {std::cos(2.967f), 0, std::sin(2.967f)}, {std::cos(-2.967f), 0, std::sin(-2.967f)},
       {std::cos(2.967f + five), 0, std::sin(2.967f + five)}},
      {"keeps its own height", {1, 0.5f, 0}, {0, 0, 1}, {std::cos(five), 0.5f, std::sin(five)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Vec3 r = units::TurnTowardTarget(c.c, c.w);
    EXPECT_NEAR(r.x, c.expected.x, 1e-5f);
    EXPECT_NEAR(r.y, c.expected.y, 1e-5f);
    EXPECT_NEAR(r.z, c.expected.z, 1e-5f);
  }
  // Six degrees apart is beyond the snap: exactly five.
  Vec3 r = units::TurnTowardTarget({1, 0, 0}, {std::cos(0.1047f), 0, std::sin(0.1047f)});
  EXPECT_NEAR(std::atan2(r.z, r.x), five, 1e-5f);
}

// [SECTION] Moving with the stick

TEST_F(SworderTest, WalksWhereTheStickPointsRelativeToTheEye) {
  world.camera.view.eye = {10, 5, -20};
  const float ax = 0.6f, ay = -0.8f;
  const Vec3 d = StickVelocity({0, 0, 0}, world.camera.view.eye, ax, ay, false);
  ASSERT_NEAR(units::Length(d), 0.125f, 1e-6f);
  // The expected path, step by step: steer toward D by 0.02, move by H.
  Vec3 h{}, p{};
  Input(ax, ay, false, false, false);
  for (int i = 0; i < 30; i++) {
    // The eye stays where it is, so D turns slightly as the actor moves.
    Vec3 want = StickVelocity(p, world.camera.view.eye, ax, ay, false);
    Vec3 gap = Sub(want, h);
    float l = units::Length(gap);
    h = l <= 0.02f ? want : Add(h, Mul(gap, 0.02f / l));
    p = Add(p, h);
    Step();
  }
  Vec3 at = Position();
  EXPECT_NEAR(at.x, p.x, 1e-4f);
  EXPECT_NEAR(at.y, 0.0f, 1e-5f);
  EXPECT_NEAR(at.z, p.z, 1e-4f);
  EXPECT_EQ(actor->state, 0);
  // It faces the way it walks and runs its run cycle.
  Vec3 f = Facing();
  EXPECT_NEAR(f.x, units::Normalize(h).x, 1e-4f);
  EXPECT_NEAR(f.z, units::Normalize(h).z, 1e-4f);
  EXPECT_EQ(SetShown(), SetIndex("AnimationSet_run"));
}

TEST_F(SworderTest, StickMagnitudeAndWalkButtonChooseTheSpeed) {
  struct Case {
    float x, y;
    bool walk;
    float speed;
    const char* set;
  } cases[] = {
      {0, -1, false, 0.125f, "AnimationSet_run"},
      {0, -1, true, 0.05f, "AnimationSet_walk"},  // full deflection halved to 0.5
      {0, -0.5f, false, 0.05f, "AnimationSet_walk"},
      {0, -0.3f, false, 0.025f, "AnimationSet_walk"},  // the slow walk
      {0.15f, -0.15f, false, 0.025f, "AnimationSet_walk"},
      {0, -0.15f, false, 0.0f, "AnimationSet_pose"},
      {0.09f, -0.09f, false, 0.0f, "AnimationSet_pose"},  // inside the dead zone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " walk " << c.walk);
    actor->SetObjectPosition(0, 0, 0);
    actor->velocity = {};
    Input(c.x, c.y, false, false, c.walk);
    Steps(12);
    EXPECT_NEAR(units::Length(actor->velocity), c.speed, 1e-5f);
    EXPECT_EQ(SetShown(), SetIndex(c.set));
  }
  // The slow walk plays at half rate: 0.5 a step.
  float before = actor->actorTime;
  Input(0, -0.3f, false, false, false);
  Step();
  EXPECT_FLOAT_EQ(std::fmod(actor->actorTime - before + 60.0f, 60.0f), 0.5f);
}

TEST_F(SworderTest, AnAxisThatIsNotANumberReadsAsCentred) {
  Input(std::nanf(""), 0, false, false, false);
  Steps(10);
  EXPECT_EQ(units::Length(actor->velocity), 0.0f);
  // The other axis still counts.
  Input(std::nanf(""), -1, false, false, false);
  Steps(10);
  EXPECT_NEAR(actor->velocity.z, -0.125f, 1e-6f);
  EXPECT_TRUE(units::IsFinite(Position()));
}

// [SECTION] Jumps and dodges

TEST_F(SworderTest, TheLongerTheJumpIsHeldTheHigherItRises) {
  struct Case {
    int held;           // steps the jump button is held
    float launch;       // vertical speed as it leaves the jump start
  } cases[] = {{3, 0.06f}, {8, 0.16f}, {40, 0.24f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.held);
    actor->SetObjectPosition(0, 0, 0);
    actor->velocity = {};
    units::SetUnitState(*actor, 0, 0);
    float peak = 0, launch = -1;
    bool landed = false;
    for (int i = 0; i < 200; i++) {
      Input(0, 0, false, i < c.held, false);
      int32_t before = actor->state;
      Step();
      if (before == 1 && actor->state == 2) launch = actor->velocity.y;
      peak = std::max(peak, Position().y);
      if (actor->state == 6) landed = true;
    }
    EXPECT_NEAR(launch, c.launch, 1e-6f);
    // The peak the rule gives: the launch step rises by the launch speed,
    // then gravity takes its share every step.
    float y = c.launch, vy = c.launch, top = y;
    while (vy > 0) {
      vy -= kGravity;
      y += vy;
      top = std::max(top, y);
    }
    EXPECT_NEAR(peak, top, 1e-4f);
    EXPECT_TRUE(landed);  // a landing always goes through state 6
    EXPECT_EQ(actor->state, 0);
    EXPECT_NEAR(Position().y, 0.0f, 1e-5f);
  }
}

TEST_F(SworderTest, AQuickReleaseWithTheStickMovedDodges) {
  // Facing -z, the camera behind: up is forward, down back, right -x.
  struct Case {
    const char* name;
    float x, y;
    int32_t state;
    Vec3 facing;  // after the release
    const char* set;
  } cases[] = {
      {"back", 0, 1, 3, {0, 0, -1}, "AnimationSet_back"},  // it faces away from the dodge
      {"right", 1, 0, 4, {0, 0, -1}, "AnimationSet_side_r"},
      {"left", -1, 0, 5, {0, 0, -1}, "AnimationSet_side_l"},
      {"forward keeps the jump", 0, -1, 2, {0, 0, -1}, "AnimationSet_jump"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    actor->SetObjectPosition(0, 0, 0);
    actor->SetObjectAngles(0, 0, 0);
    actor->velocity = {};
    units::SetUnitState(*actor, 0, 0);
    Input(0, 0, false, true, false);  // the press, stick centred
    Step();
    ASSERT_EQ(actor->state, 1);
    Input(c.x, c.y, false, true, false);
    Step();
    Input(c.x, c.y, false, false, false);  // the release, 2 steps in
    Step();
    EXPECT_EQ(actor->state, c.state);
    EXPECT_NEAR(actor->velocity.y, c.state == 2 ? 0.04f : 0.08f, 1e-6f);
    if (c.state != 2) {
      Vec3 f = Facing();
      EXPECT_NEAR(f.x, c.facing.x, 1e-5f);
      EXPECT_NEAR(f.z, c.facing.z, 1e-5f);
      EXPECT_EQ(actor->actorWord, 0);
    }
    Input(c.x, c.y, false, false, false);
    Step();
    EXPECT_EQ(SetShown(), SetIndex(c.set));
    // Every dodge comes down through the landing.
    bool landed = false;
    for (int i = 0; i < 120 && actor->state != 0; i++) {
      Step();
      landed |= actor->state == 6;
    }
    EXPECT_TRUE(landed);
  }
}

// [SECTION] Terrain

TEST_F(SworderTest, WalkingOffALedgeFallsAndLandsThroughState6) {
  // A block 3 high, 2 each way from the origin, on the ground.
  AddTerrain(R"(BLOCK_A:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND"],SCALE:{x:2,y:1.5,z:2}})",
             R"({ID:"BLOCK_A",POS:{x:0,y:1.5,z:0}})");
  actor->SetObjectPosition(0, 3, 0);
  std::vector<int32_t> states;
  Input(0, -1, false, false, false);  // forward, along -z off the block's edge at z = -2
  for (int i = 0; i < 200; i++) {
    int32_t before = actor->state;
    Step();
    if (actor->state != before) {
      states.push_back(actor->state);
      if (actor->state == 2) {
        EXPECT_FLOAT_EQ(actor->actorTime, 30.0f);
      }
    }
    if (states.size() >= 3) break;
  }
  EXPECT_EQ(states, (std::vector<int32_t>{2, 6, 0}));
  EXPECT_NEAR(Position().y, 0.0f, 1e-5f);
}

TEST_F(SworderTest, AWallKeepsTheBodyAMarginAway) {
  // Its face toward the actor at x = -4.
  AddTerrain(R"(WALL_A:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND"],SCALE:{x:1,y:5,z:50}})",
             R"({ID:"WALL_A",POS:{x:-5,y:0,z:0}})");
  Input(1, 0, false, false, false);  // right: -x
  Steps(120);
  EXPECT_NEAR(Position().x, -4.0f + 0.5f, 1e-4f);
  EXPECT_NEAR(Position().y, 0.0f, 1e-5f);
}

// [SECTION] The stroke chain and the blade

TEST_F(SworderTest, FiveStrokesChainWhileEachStrikes) {
  PutTarget({0, 0, -1});
  escort = 1.0f;
  struct Stage {
    int32_t state;
    const char* set;
    int steps;  // in the state: its chain time + 2
  };
  const Stage chain[] = {{10, "AnimationSet_at1", 17},
                         {11, "AnimationSet_at2", 17},
                         {12, "AnimationSet_at3", 21},
                         {13, "AnimationSet_at4", 22}};
  Input(0, 0, true, false, false);  // the attack button struck every step
  Step();
  ASSERT_EQ(actor->state, 10);
  for (const Stage& s : chain) {
    SCOPED_TRACE(s.state);
    int strikesBefore = BehaviourInt(*target, units::kSwordTimesStruck);
    for (int i = 0; i < s.steps; i++) {
      ASSERT_EQ(actor->state, s.state) << "step " << i;
      Step();
      if (actor->state == s.state) {
        EXPECT_EQ(SetShown(), SetIndex(s.set));
        EXPECT_NEAR(TimeShown(), float(i + 1), 1e-3f);
      }
    }
    EXPECT_EQ(BehaviourInt(*target, units::kSwordTimesStruck), strikesBefore + 1);
    EXPECT_EQ(BehaviourInt(*actor, units::kSwordLastStruckBy), -1);  // reset by the change
  }
  EXPECT_EQ(actor->state, 14);
  // The rising fifth stroke: it leaves the ground and strikes the same unit
  // again each time the cooldown (3) runs out.
  Input(0, 0, false, false, false);
  int strikes = BehaviourInt(*target, units::kSwordTimesStruck);
  float top = 0;
  for (int i = 0; i < 16 && actor->state == 14; i++) {
    Step();
    top = std::max(top, Position().y);
    if (actor->state == 14) {
      EXPECT_EQ(SetShown(), SetIndex("AnimationSet_at5"));
    }
  }
  EXPECT_GT(top, 0.5f);
  EXPECT_GE(BehaviourInt(*target, units::kSwordTimesStruck) - strikes, 2);
  for (int i = 0; i < 120 && actor->state != 0; i++) Step();
  EXPECT_EQ(actor->state, 0);
  EXPECT_NEAR(Position().y, 0.0f, 1e-5f);
}

TEST_F(SworderTest, TheStickPulledBackTurnsTheSecondStrokeRound) {
  PutTarget({0, 0, -1});
  escort = 1.0f;
  Input(0, 0, true, false, false);
  for (int i = 0; i < 40 && actor->state != 11; i++) Step();
  ASSERT_EQ(actor->state, 11);
  Input(0, 1, true, false, false);  // back, the attack struck every step
  for (int i = 0; i < 40 && actor->state == 11; i++) Step();
  ASSERT_EQ(actor->state, 15);
  Input(0, 0, false, false, false);
  Step();
  EXPECT_EQ(SetShown(), SetIndex("AnimationSet_at6"));
  for (int i = 0; i < 80 && actor->state == 15; i++) {
    EXPECT_NEAR(Facing().z, -1.0f, 1e-5f);
    Step();
  }
  // It swung round: on leaving it faces the other way.
  EXPECT_EQ(actor->state, 0);
  EXPECT_NEAR(Facing().z, 1.0f, 1e-5f);
}

TEST_F(SworderTest, AStrokeThatStruckNothingDoesNotChain) {
  Input(0, 0, true, false, false);
  std::vector<int32_t> states;
  for (int i = 0; i < 80; i++) {
    int32_t before = actor->state;
    Step();
    if (actor->state != before) states.push_back(actor->state);
  }
  // 10 after the first press, back to 0 at time 59, then 10 again.
  ASSERT_GE(states.size(), 2u);
  EXPECT_EQ(states[0], 10);
  EXPECT_EQ(states[1], 0);
}

TEST_F(SworderTest, TheBladeStrikesAUnitOncePerStroke) {
  PutTarget({0, 0, -1});
  Input(0, 0, true, false, false);
  Step();
  Input(0, 0, false, false, false);
  int firstHit = -1;
  for (int i = 0; i < 60 && actor->state == 10; i++) {
    int before = BehaviourInt(*target, units::kSwordTimesStruck);
    Step();
    if (before == 0 && BehaviourInt(*target, units::kSwordTimesStruck) == 1) {
      firstHit = i;
      // What the strike leaves on the unit and the world.
      EXPECT_EQ(target->state, 7);
      EXPECT_EQ(BehaviourInt(*target, units::kSwordLastStruckBy), 10);
      EXPECT_EQ(BehaviourInt(*actor, units::kSwordLastStruckBy), 10);
      EXPECT_EQ(units::GetUnitHp(*target), 2);
      EXPECT_EQ(world.freezeCountdown, 5);
      Vec3 f = Facing();
      EXPECT_NEAR(target->velocity.x, f.x / 30.0f, 1e-6f);
      EXPECT_NEAR(target->velocity.y, 0.05f, 1e-6f);
      EXPECT_NEAR(target->velocity.z, f.z / 30.0f, 1e-6f);
      EXPECT_EQ(BehaviourInt(*target, units::kSwordHitCooldown), 5 - 1);  // counted once since
      // Keep it where the blade reaches.
      target->velocity = {};
    }
  }
  EXPECT_GE(firstHit, 0);
  // The cooldown ran out long before the stroke ended: still struck once.
  EXPECT_EQ(BehaviourInt(*target, units::kSwordTimesStruck), 1);
}

TEST_F(SworderTest, OnlyUnitsTheBladeMayStrikeAreStruck) {
  struct Case {
    const char* name;
    const char* team;
    uint32_t flags;
    uint32_t attributes;
    const char* hudName;
    int scene;
    int cooldown;
    float distance;
    bool struck;
  } cases[] = {
      {"an enemy in reach", "enemy", 0, 0, "ball.bmp", 0, 0, 1.5f, true},
      {"out of reach", "enemy", 0, 0, "ball.bmp", 0, 0, 2.5f, false},
      {"own team", "hero", 0, 0, "ball.bmp", 0, 0, 1, false},
      {"no team", "", 0, 0, "ball.bmp", 0, 0, 1, false},
      {"inert", "enemy", units::kUnitInert, 0, "ball.bmp", 0, 0, 1, false},
      {"a weapon", "enemy", 0, units::kAttrWeapon, "ball.bmp", 0, 0, 1, false},
      {"no HUD name", "enemy", 0, 0, "", 0, 0, 1, false},
      {"another scene", "enemy", 0, 0, "ball.bmp", 1, 0, 1, false},
      {"cooling down", "enemy", 0, 0, "ball.bmp", 0, 1000, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UnitType& type = AddType(c.name, units::kTypeBall);
    type.attributes = c.attributes;
    type.hudNameFile = c.hudName;
    Unit* w = Put(type, c.team, {0, 0, -c.distance});
    w->flags |= c.flags;
    w->sceneNumber = c.scene;
    BehaviourInt(*w, units::kSwordHitCooldown) = c.cooldown;
    actor->SetObjectPosition(0, 0, 0);
    actor->SetObjectAngles(0, 0, 0);
    actor->velocity = {};
    units::SetUnitState(*actor, 0, 0);
    Input(0, 0, true, false, false);
    Step();
    Input(0, 0, false, false, false);
    for (int i = 0; i < 20; i++) {
      Step();
      w->SetObjectPosition(0, 0, -c.distance);
    }
    EXPECT_EQ(BehaviourInt(*w, units::kSwordTimesStruck), c.struck ? 1 : 0);
    world::ReleaseUnit(world, w);
  }
}

TEST_F(SworderTest, AnEvilBallStrikesBackOnlyOnceHurt) {
  UnitType& evil = AddType("evil", units::kTypeBallEvil);
  evil.defense = 10;
  evil.hudNameFile = "evil.bmp";
  for (int hp : {10, 9, 8}) {
    SCOPED_TRACE(hp);
    Unit* w = Put(evil, "enemy", {0, 0, -1});
    units::SetUnitHp(*w, hp, 10);
    int32_t id = w->unitId;
    int slot = -1;
    for (int i = 1; i < world::CountUnitSlots(world); i++)
      if (world::GetUnitAt(world, i) == w) slot = i;
    actor->SetObjectPosition(0, 0, 0);
    actor->SetObjectAngles(0, 0, 0);
    actor->velocity = {};
    units::SetUnitState(*actor, 0, 0);
    units::SetUnitHp(*actor, 5, 5);
    Input(0, 0, true, false, false);
    Step();
    Input(0, 0, false, false, false);
    for (int i = 0; i < 12 && actor->state == 10; i++) Step();
    if (hp >= 9) {  // 90 % or more: nothing happens
      EXPECT_EQ(actor->state, 10);
      EXPECT_EQ(units::GetUnitHp(*actor), 5);
      EXPECT_EQ(world::GetUnitAt(world, slot), w);
      EXPECT_EQ(BehaviourInt(*w, units::kSwordTimesStruck), 0);
      world::ReleaseUnit(world, w);
    } else {
      EXPECT_EQ(actor->state, 20);
      EXPECT_FLOAT_EQ(actor->actorTime, 6.0f);
      EXPECT_EQ(units::GetUnitHp(*actor), 4);
      Unit* after = world::GetUnitAt(world, slot);
      EXPECT_TRUE(after == nullptr || after->unitId != id);
      // Thrown away from the ball (at -z), up, and turned to face it.
      EXPECT_GT(actor->velocity.z, 0.0f);
      EXPECT_NEAR(actor->velocity.y, 0.2f / 3.0f, 1e-5f);
      EXPECT_NEAR(Facing().z, -1.0f, 1e-5f);
    }
  }
}

TEST_F(SworderTest, RunAirAndLandingAttacks) {
  // From a run: the run stroke.
  Input(0, -1, false, false, false);
  Steps(20);
  Input(0, -1, true, false, false);
  Step();
  EXPECT_EQ(actor->state, 17);
  Input(0, 0, false, false, false);
  Step();
  EXPECT_EQ(SetShown(), SetIndex("AnimationSet_run_a"));
  // It keeps its run for 36 steps, then slows.
  EXPECT_NEAR(units::Length(actor->velocity), 0.125f, 1e-6f);
  for (int i = 0; i < 80 && actor->state != 0; i++) Step();
  EXPECT_EQ(actor->state, 0);

  // In the air: the air stroke, ended by the landing.
  actor->velocity = {};
  Input(0, 0, false, true, false);
  Steps(14);
  ASSERT_EQ(actor->state, 2);
  Input(0, 0, true, true, false);
  Step();
  EXPECT_EQ(actor->state, 16);
  Input(0, 0, false, false, false);
  for (int i = 0; i < 120 && actor->state == 16; i++) Step();
  EXPECT_EQ(actor->state, 6);

  // Early in the landing: the landing stroke.
  Input(0, 0, true, false, false);
  Step();
  EXPECT_EQ(actor->state, 18);
  Input(0, 0, false, false, false);
  Step();
  EXPECT_EQ(SetShown(), SetIndex("AnimationSet_td_a"));
}

TEST_F(SworderTest, TheTrailFollowsTheBladeAndFades) {
  auto polygons = [&] {
    int n = 0;
    for (world::EffectObject* e : world.effectPool)
      if (world::EffectIsLive(*e) && e->type == world::kEffectPolygon) n++;
    return n;
  };
  Input(0, 0, true, false, false);
  Step();
  Input(0, 0, false, false, false);
  int level = 0, made = polygons();
  for (int i = 0; i < 12; i++) {
    Step();
    level = std::max(level, BehaviourInt(*actor, units::kSwordTrailLevel));
  }
  EXPECT_GT(level, 50);
  EXPECT_GT(polygons(), made);
  // The edge kept for the next step is the blade now: base and tip (1 up
  // the hand's frame) in the world.
  Vec3 hand{};
  humanoid.TransformPointByFrame(&hand, "Hand", Vec3{0, 0, 0});
  Vec3 base = actor->TransformPointToWorld(hand);
  EXPECT_NEAR(actor->trailPoints[0].x, base.x, 1e-4f);
  EXPECT_NEAR(actor->trailPoints[0].y, base.y, 1e-4f);
  EXPECT_NEAR(actor->trailPoints[1].y, base.y + 1.0f, 1e-4f);
  // Past the strike window it fades to nothing, its edge colours clear.
  Steps(15);
  EXPECT_EQ(BehaviourInt(*actor, units::kSwordTrailLevel), 0);
  for (int n = 0; n < 2; n++)
    for (int c = 0; c < 4; c++) EXPECT_EQ(actor->trailStates[n][c], 0);
}

TEST_F(SworderTest, FootstepsInWaterSplash) {
  auto splashes = [&] {
    int n = 0;
    for (world::EffectObject* e : world.effectPool)
      if (e->type == world::kEffectSplash) n++;  // without a device it has no texture
    return n;
  };
  Input(0, -1, false, false, false);
  Steps(60);
  EXPECT_EQ(splashes(), 0);  // dry ground
  AddTerrain(R"(WATER_A:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND","WATER"],SCALE:{x:50,y:1,z:50}})",
             R"({ID:"WATER_A",POS:{x:0,y:-0.99,z:0}})");
  actor->SetObjectPosition(0, 0, 0);
  Steps(60);
  EXPECT_GT(splashes(), 0);
}

// [SECTION] Knocked back and knocked down

TEST_F(SworderTest, KnockBackSlidesAndRecovers) {
  // As a blocked tackle leaves it: state 19 at time 15, pushed along +z.
  units::SetUnitState(*actor, units::kSworderKnockedBack, 15);
  actor->actorTime = 15;
  actor->velocity = {0, 0, 1.0f / 6.0f};
  Input(0, 0, false, false, false);
  float expected = 0, speed = 1.0f / 6.0f;
  int steps = 0;
  while (actor->state == units::kSworderKnockedBack && steps < 100) {
    speed = speed <= 0.005f ? 0 : speed - 0.005f;
    expected += speed;
    Step();
    steps++;
    if (actor->state == units::kSworderKnockedBack) {
      EXPECT_EQ(SetShown(), SetIndex("AnimationSet_dmg"));
    }
  }
  // From time 15 to 59, and back on its feet.
  EXPECT_EQ(steps, 45);
  EXPECT_EQ(actor->state, 0);
  EXPECT_NEAR(Position().z, expected, 1e-4f);
}

TEST_F(SworderTest, KnockDownHoldsTheActorUntilItsHpIsGone) {
  for (int hp : {3, 0}) {
    SCOPED_TRACE(hp);
    units::SetUnitHp(*actor, hp, 5);
    units::SetUnitState(*actor, units::kSworderKnockedDown, 6);
    actor->actorTime = 6;
    actor->velocity = Mul(Vec3{0, 0.2f, 1}, 1.0f / 3.0f);
    Input(0, -1, true, true, false);  // no input moves a knocked-down actor
    int steps = 0;
    while (actor->state == units::kSworderKnockedDown && steps < 400) {
      Step();
      steps++;
    }
    if (hp > 0) {
      EXPECT_EQ(steps, 300 - 6 + 1);
      EXPECT_EQ(actor->state, 0);
    } else {
      EXPECT_EQ(actor->state, units::kSworderKnockedDown);
      EXPECT_EQ(SetShown(), SetIndex("AnimationSet_dmg2"));
      EXPECT_FLOAT_EQ(actor->actorTime, 59.0f);
    }
    EXPECT_NEAR(Position().y, 0.0f, 1e-5f);
    actor->SetObjectPosition(0, 0, 0);
  }
}

// [SECTION] Guard

TEST_F(SworderTest, GuardRisesAndHeldGuardEndsWithTheButton) {
  Input(0, 0, false, false, false, true);
  Step();
  EXPECT_EQ(actor->state, units::kSworderGuard);
  Input(0, 0, false, false, true);
  Steps(31);
  EXPECT_EQ(actor->state, 0);
  // A parried tackle leaves it in the held guard: the time stays 6.
  units::SetUnitState(*actor, units::kSworderGuardHeld, 0);
  Steps(5);
  EXPECT_EQ(actor->state, units::kSworderGuardHeld);
  EXPECT_FLOAT_EQ(actor->actorTime, 6.0f);
  EXPECT_EQ(SetShown(), SetIndex("AnimationSet_guard"));
  Input(0, 0, false, false, false);
  Step();
  EXPECT_EQ(actor->state, 0);
}

// [SECTION] A long run

TEST_F(SworderTest, ALongRunOfMixedInputStaysFinite) {
  PutTarget({0, 0, -1.5f});
  // A fixed table of inputs, each held for a while: sticks in every
  // direction and strength, taps and holds of every button.
  struct Pad {
    float x, y;
    bool attack, jump, guardHeld, guardTrigger;
    int steps;
  } table[] = {
      {0, -1, false, false, false, false, 40}, {1, 0, true, false, false, false, 3},
      {0, 0, true, false, false, false, 30},   {-0.5f, 0.5f, false, true, false, false, 2},
      {-0.5f, 0.5f, false, false, false, false, 20}, {0, 0, false, true, false, false, 30},
      {0.3f, 0.3f, true, false, false, false, 25}, {0, 0, false, false, true, true, 10},
      {0, 0, false, false, true, false, 40},   {0.9f, -0.9f, false, false, true, false, 30},
      {0, 1, true, true, false, false, 15},    {0, 0, true, false, false, false, 60},
      {-1, 0, false, true, false, false, 1},   {-1, 0, false, false, false, false, 70},
  };
  int step = 0;
  for (int round = 0; round < 12; round++) {
    for (const Pad& pad : table) {
      for (int i = 0; i < pad.steps; i++, step++) {
        Input(pad.x, pad.y, pad.attack && i % 4 == 0, pad.jump, pad.guardHeld, pad.guardTrigger && i == 0);
        Step();
        // Now and then a ball knocks it down or back.
        if (step % 500 == 250) units::SetUnitState(*actor, units::kSworderKnockedDown, 6);
        if (step % 700 == 350) units::SetUnitState(*actor, units::kSworderKnockedBack, 15);
        ASSERT_TRUE(units::IsFinite(Position())) << step;
        ASSERT_TRUE(units::IsFinite(actor->velocity)) << step;
        ASSERT_TRUE(std::isfinite(actor->actorTime)) << step;
        ASSERT_TRUE(units::IsFinite(Facing())) << step;
        ASSERT_TRUE(units::IsFinite(actor->trailPoints[0]) && units::IsFinite(actor->trailPoints[1])) << step;
        ASSERT_GE(actor->state, 0) << step;
        ASSERT_LE(actor->state, 20) << step;
        int32_t level = BehaviourInt(*actor, units::kSwordTrailLevel);
        ASSERT_TRUE(level >= 0 && level <= 100) << step;
        ASSERT_GE(Position().y, -1e-4f) << step;  // never through the ground
      }
    }
  }
}

}  // namespace
}  // namespace unittest
