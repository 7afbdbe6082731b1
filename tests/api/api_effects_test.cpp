// api_effects_test.cpp -- the effect and light calls run from game scripts:
// the objects each makes in the world's effect pool, the clouds made and
// released, the spot lights and their values, polygon strips read up to the
// first missing vertex, and the error of every missing vector.

#include <gtest/gtest.h>

#include <string>

#include "api_fixture.h"
#include "world/world_test_files.h"

namespace {

using apitest::WorldFixture;

// A script world whose effects get surfaces: the renderer is never started
// and the effect textures are holders given a size, so every test runs
// headless.
struct EffectWorld : WorldFixture {
  render::GraphicsSystem gs;

  EffectWorld() {
    gs.log = &log;
    world.graphics = &gs;
    worldtest::SizeEffectTextures(world.weather->textures);
  }
  ~EffectWorld() { world.graphics = nullptr; }

  // Runs `main` once: the reset, then the step that runs it.
  void RunMain(const std::string& body, const std::string& globals = "") {
    Run(globals + "function main() {\r\n" + body + "\r\n}\r\n", 2);
  }
  int LiveEffects(int type = -1) {
    int n = 0;
    for (world::EffectObject* e : world.effectPool)
      n += e && world::EffectIsLive(*e) && (type < 0 || e->type == type);
    return n;
  }
  int LiveClouds() {
    int n = 0;
    for (world::EffectObject& c : world.weather->clouds) n += c.GetObjectSurface() != nullptr;
    return n;
  }
};

// [SECTION] Effects made

TEST(EffectCalls, EachCallMakesItsObjectsInTheEffectPool) {
  struct Case {
    const char* call;
    int objects;  // live objects right after the step
  } cases[] = {
      {"create_hit_effect({x:1}, {z:1}, 3, 2.0)", 43},
      {"create_electric({}, {x:1}, 0)", 1},
      {"create_heat({}, {z:1}, 2.0)", 0},  // no heat model is loaded headless: nothing to show
      {"create_lightning({}, {y:-1}, 100.0)", 1},
      {"create_sonic({}, {z:1})", 1},
      {"create_splash({}, 3)", 1},
      {"create_splash({}, 8)", 3},  // children split off a large splash
      {"create_polygon_effect([{x:0}, {x:1}, {y:1}], 3)", 1},
      {"create_polygon_effect([], 3)", 0},
      {"create_particle({}, {z:10}, 0)", 0},
  };
  for (const Case& c : cases) {
    EffectWorld f;
    int before = f.LiveEffects();
    f.RunMain(std::string("  ") + c.call + ";");
    ASSERT_EQ(f.RuntimeError(), "") << c.call;
    EXPECT_EQ(f.LiveEffects() - before, c.objects) << c.call;
  }
}

TEST(EffectCalls, BurstsAndStreamsMakeObjects) {
  for (const char* call : {"create_bomb({}, {x:10}, 4)", "create_particle({}, {z:10}, 5)"}) {
    EffectWorld f;
    f.RunMain(std::string("  ") + call + ";");
    ASSERT_EQ(f.RuntimeError(), "") << call;
    EXPECT_GT(f.LiveEffects(), 0) << call;
  }
}

TEST(EffectCalls, PolygonStripsStopAtTheFirstMissingVertex) {
  EffectWorld f;
  // Four named, a count of 100: four vertices read, colours divided by 255.
  f.RunMain("  create_polygon_effect([{x:0, r:255, a:255}, {x:1, g:255}, {y:1}, {x:1, y:1}], 100);");
  ASSERT_EQ(f.RuntimeError(), "");
  ASSERT_EQ(f.LiveEffects(), 1);
  for (world::EffectObject* e : f.world.effectPool) {
    if (!world::EffectIsLive(*e)) continue;
    EXPECT_EQ(e->vertexCount, 4);
  }
}

// [SECTION] Clouds

TEST(EffectCalls, CloudsAreMadeAndAllReleased) {
  EffectWorld f;
  f.RunMain("  create_cloud({}, 0, 500.0); create_cloud({y:10}, 1, 500.0);\r\n"
            "  made = 1;\r\n"
            "  create_cloud({}, 16, 100.0);\r\n"
            "  released = release_cloud();",
            "int made; int released;\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("released"), 1.0f);
  EXPECT_EQ(f.LiveClouds(), 0);
  EffectWorld g;
  g.RunMain("  create_cloud({}, 0, 500.0); create_cloud({y:10}, 1, 500.0); create_cloud({}, 16, 100.0);");
  ASSERT_EQ(g.RuntimeError(), "");
  EXPECT_EQ(g.LiveClouds(), 2 + 256);
}

// [SECTION] Spot lights

TEST(EffectCalls, SpotLightsTakeTheirValuesAndAnswerTheirSlot) {
  EffectWorld f;
  f.RunMain("  s0 = create_spot_light({x:1, y:2, z:3}, {z:1}, {r:2, g:0.5, b:300}, 4.0, 0.5, 30);\r\n"
            "  s1 = create_spot_light({}, {}, {}, 1.0, 1.0, 10);\r\n"
            "  s2 = put_spot_light({}, {y:-1}, {r:1}, 2.0, 1.0);",
            "int s0; int s1; int s2 = -5;\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("s0"), 0.0f);
  EXPECT_EQ(f.Number("s1"), 1.0f);
  EXPECT_EQ(f.Number("s2"), 1.0f);  // the preset
  // The colour as written, not divided by 255; the two floats and the
  // lifetime in their order; put_spot_light's light lasts one step.
  const render::SpotLightPool& lights = f.world.spotLights;
  EXPECT_EQ(lights.position[0].y, 2.0f);
  EXPECT_EQ(lights.direction[0].z, 1.0f);
  EXPECT_EQ(lights.colour[0].x, 2.0f);
  EXPECT_EQ(lights.colour[0].y, 0.5f);
  EXPECT_EQ(lights.colour[0].z, 300.0f);
  EXPECT_EQ(lights.power[0], 4.0f);
  EXPECT_EQ(lights.cone[0], 0.5f);
  EXPECT_EQ(lights.lifetime[0], 30);
  EXPECT_EQ(lights.lifetime[1], 10);
  EXPECT_EQ(lights.colour[2].x, 1.0f);
  EXPECT_EQ(lights.power[2], 2.0f);
  EXPECT_EQ(lights.lifetime[2], 1);
  // put_spot_light raises nothing of its own: what is not an object reads 0.
  EffectWorld g;
  g.RunMain("  put_spot_light(1, {y:-1}, 7, 3.0, 1.0);");
  ASSERT_EQ(g.RuntimeError(), "");
  EXPECT_EQ(g.world.spotLights.power[0], 3.0f);
  EXPECT_EQ(g.world.spotLights.colour[0].x, 0.0f);
  EXPECT_EQ(g.world.spotLights.direction[0].y, -1.0f);
}

// [SECTION] Errors

struct ErrorCase {
  const char* call;
  const char* text;  // UTF-8
};

TEST(EffectCalls, AMissingVectorRaisesTheCallsErrorBeforeAnythingIsMade) {
  const ErrorCase cases[] = {
      {"create_bomb(1, {}, 3)", "create_bomb関数の第1引数がオブジェクトではありません。"},
      {"create_bomb({}, 1, 3)", "create_bomb関数の第2引数がオブジェクトではありません。"},
      {"create_cloud(1, 0, 1.0)", "create_cloud関数の第1引数がオブジェクトではありません。"},
      {"create_electric(\"x\", {}, 0)", "create_electric関数の第1引数がオブジェクトではありません。"},
      {"create_electric({}, 2, 0)", "create_electric関数の第2引数がオブジェクトではありません。"},
      {"create_heat(1, {}, 1.0)", "create_heat関数の第1引数がオブジェクトではありません。"},
      {"create_heat({}, 1, 1.0)", "create_heat関数の第2引数がオブジェクトではありません。"},
      {"create_hit_effect(1, {}, 0, 1.0)", "create_hit_effect関数の第1引数がオブジェクトではありません。"},
      {"create_hit_effect({}, 1, 0, 1.0)", "create_hit_effect関数の第2引数がオブジェクトではありません。"},
      {"create_lightning(1, {}, 1.0)", "create_lightning関数の第1引数がオブジェクトではありません。"},
      {"create_lightning({}, 1, 1.0)", "create_lightning関数の第2引数がオブジェクトではありません。"},
      {"create_particle(1, {}, 3)", "create_particle関数の第1引数がオブジェクトではありません。"},
      {"create_particle({}, 1, 3)", "create_particle関数の第2引数がオブジェクトではありません。"},
      {"create_sonic(1, {})", "create_sonic関数の第1引数がオブジェクトではありません。"},
      {"create_sonic({}, 1)", "create_sonic関数の第2引数がオブジェクトではありません。"},
      {"create_splash(1, 3)", "create_splash関数の第1引数がオブジェクトではありません。"},
      {"create_polygon_effect(5, 3)", "create_polygon_effect関数の第1引数が配列ではありません。"},
      {"create_spot_light(1, {}, {}, 1.0, 1.0, 1)", "create_spot_light関数の第1引数がオブジェクトではありません。"},
      {"create_spot_light({}, 1, {}, 1.0, 1.0, 1)", "create_spot_light関数の第2引数がオブジェクトではありません。"},
      {"create_spot_light({}, {}, 1, 1.0, 1.0, 1)", "create_spot_light関数の第3引数がオブジェクトではありません。"},
  };
  for (const ErrorCase& c : cases) {
    EffectWorld f;
    int before = f.LiveEffects();
    f.RunMain(std::string("  ") + c.call + ";\r\n  create_sonic({}, {z:1});");
    std::string error = f.RuntimeError();
    EXPECT_NE(error.find(test::Sjis(c.text)), std::string::npos) << c.call << "\n" << error;
    EXPECT_NE(error.find(test::Sjis("start.rsp(3行目)")), std::string::npos) << c.call << "\n" << error;
    EXPECT_EQ(f.LiveEffects(), before) << c.call;
    EXPECT_EQ(f.LiveClouds(), 0) << c.call;
  }
}

}  // namespace
