// world_draw_test.cpp -- the scene's draw passes: which pass takes a unit,
// and the pixels of a small scene drawn pass by pass.

#include <gtest/gtest.h>

#include <vector>

#include "core/core_public.h"
#include "render/model_fixture.h"
#include "render/render_fixture.h"
#include "script/script_public.h"
#include "test_support.h"
#include "world/world_draw.h"
#include "world/world_local.h"

namespace {

using world::UnitDrawKind;
using world::Vec3;

// [SECTION] Which pass draws a unit

class DrawSelectionTest : public ::testing::Test {
 protected:
  units::UnitType plainType, cockpitType, hudType, largeType;
  render::CMesh plainModel, additiveModel;
  render::TextureHolder plainTexture, additiveTexture;
  world::GameWorld world;
  units::Unit focus, child, grandchild, other;

  DrawSelectionTest() {
    cockpitType.attributes = units::kAttrCockpit;
    hudType.attributes = units::kAttrHud;
    largeType.attributes = units::kAttrLarge;
    additiveTexture.flags = render::kTexAdditive;
    plainModel.diffuseTextures[0][0] = &plainTexture;
    additiveModel.diffuseTextures[0][0] = &additiveTexture;
    for (units::Unit* u : {&focus, &child, &grandchild, &other}) {
      u->type = &plainType;
      u->model = &plainModel;
    }
    // The focus unit carries a part, which carries another.
    child.SetObjectParent(&focus);
    child.parent = &focus;
    grandchild.SetObjectParent(&child);
    grandchild.parent = &child;
    world.focusUnit = &focus;
  }
  ~DrawSelectionTest() override {
    for (units::Unit* u : {&focus, &child, &grandchild, &other}) {
      u->model = nullptr;
      u->surface = nullptr;
    }
    grandchild.SetObjectParent(nullptr);
    child.SetObjectParent(nullptr);
    plainModel.diffuseTextures[0][0] = nullptr;
    additiveModel.diffuseTextures[0][0] = nullptr;
  }
  UnitDrawKind Kind(units::Unit& unit) { return world::SelectUnitDrawKind(world, unit); }
  void MakeSprite(units::Unit& unit, render::TextureHolder* texture, bool placed3D) {
    unit.model = nullptr;
    unit.surface = texture;
    if (placed3D) unit.render::DisplayObject::flags |= render::kObjectSprite3D;
    else unit.render::DisplayObject::flags &= ~uint32_t(render::kObjectSprite3D);
  }
};

TEST_F(DrawSelectionTest, AdditiveOrBlendFlaggedDrawablesGoToTheBlendedPass) {
  world.camera.mode = 1;
  EXPECT_EQ(Kind(other), UnitDrawKind::kOpaque);
  other.model = &additiveModel;
  EXPECT_EQ(Kind(other), UnitDrawKind::kBlended);
  other.model = &plainModel;
  other.flags = units::kUnitBlended;
  EXPECT_EQ(Kind(other), UnitDrawKind::kBlended);
  other.flags = 0;
  MakeSprite(other, &plainTexture, true);
  EXPECT_EQ(Kind(other), UnitDrawKind::kOpaque);
  MakeSprite(other, &additiveTexture, true);
  EXPECT_EQ(Kind(other), UnitDrawKind::kBlended);
  MakeSprite(other, &additiveTexture, false);
  EXPECT_EQ(Kind(other), UnitDrawKind::kSprite2D);
  // No unit type, or nothing to draw: no pass.
  other.type = nullptr;
  EXPECT_EQ(Kind(other), UnitDrawKind::kNone);
  other.type = &plainType;
  other.surface = nullptr;
  EXPECT_EQ(Kind(other), UnitDrawKind::kNone);
}

TEST_F(DrawSelectionTest, TheCockpitViewsHideTheFocusUnitAndWhatItCarries) {
  struct Case {
    int mode;
    UnitDrawKind focus, child, grandchild, other;
  } cases[] = {
      // The cockpit hides the whole chain.
      {0, UnitDrawKind::kNone, UnitDrawKind::kNone, UnitDrawKind::kNone, UnitDrawKind::kOpaque},
      // The inside view hides the unit and its direct parts only.
      {22, UnitDrawKind::kNone, UnitDrawKind::kNone, UnitDrawKind::kOpaque, UnitDrawKind::kOpaque},
      {1, UnitDrawKind::kOpaque, UnitDrawKind::kOpaque, UnitDrawKind::kOpaque, UnitDrawKind::kOpaque},
      {2, UnitDrawKind::kOpaque, UnitDrawKind::kOpaque, UnitDrawKind::kOpaque, UnitDrawKind::kOpaque},
  };
  for (const Case& c : cases) {
    world.camera.mode = c.mode;
    EXPECT_EQ(Kind(focus), c.focus) << "mode " << c.mode;
    EXPECT_EQ(Kind(child), c.child) << "mode " << c.mode;
    EXPECT_EQ(Kind(grandchild), c.grandchild) << "mode " << c.mode;
    EXPECT_EQ(Kind(other), c.other) << "mode " << c.mode;
  }
  // A 3D sprite on the chain is hidden in the cockpit only (the focus
  // unit itself is not on its own chain).
  MakeSprite(grandchild, &plainTexture, true);
  world.camera.mode = 0;
  EXPECT_EQ(Kind(grandchild), UnitDrawKind::kNone);
  world.camera.mode = 22;
  EXPECT_EQ(Kind(grandchild), UnitDrawKind::kOpaque);
  // Without a focus unit nothing is hidden.
  world.focusUnit = nullptr;
  world.camera.mode = 0;
  EXPECT_EQ(Kind(focus), UnitDrawKind::kOpaque);
}

TEST_F(DrawSelectionTest, CockpitAndHudTypesShowOnlyInTheirCameraModes) {
  struct Case {
    int mode;
    bool cockpit, hud;
  } cases[] = {{0, true, true}, {1, false, true}, {2, false, false}, {22, false, false}, {-1, false, false}};
  for (const Case& c : cases) {
    world.camera.mode = c.mode;
    other.type = &cockpitType;
    EXPECT_EQ(Kind(other) != UnitDrawKind::kNone, c.cockpit) << "mode " << c.mode;
    other.type = &hudType;
    EXPECT_EQ(Kind(other) != UnitDrawKind::kNone, c.hud) << "mode " << c.mode;
    // The filter holds for 2D sprites too.
    MakeSprite(other, &plainTexture, false);
    EXPECT_EQ(Kind(other) != UnitDrawKind::kNone, c.hud) << "mode " << c.mode;
    other.surface = nullptr;
    other.model = &plainModel;
  }
}

TEST_F(DrawSelectionTest, EventUnitsShowWhileTheirEventRuns) {
  world.camera.mode = 1;
  other.sceneNumber = 1;  // placed by an event
  EXPECT_EQ(Kind(other), UnitDrawKind::kNone);
  world.eventMode = 1;
  EXPECT_EQ(Kind(other), UnitDrawKind::kOpaque);
  // Blended 3D sprites only ask whether an event runs at all; the others
  // want the event flag to equal the mode.
  world.eventMode = 2;
  EXPECT_EQ(Kind(other), UnitDrawKind::kNone);
  MakeSprite(other, &additiveTexture, true);
  EXPECT_EQ(Kind(other), UnitDrawKind::kBlended);
  MakeSprite(other, &plainTexture, true);
  EXPECT_EQ(Kind(other), UnitDrawKind::kNone);
  world.eventMode = 0;
  MakeSprite(other, &additiveTexture, true);
  EXPECT_EQ(Kind(other), UnitDrawKind::kNone);
  other.sceneNumber = 0;
  EXPECT_EQ(Kind(other), UnitDrawKind::kBlended);
}

// [SECTION] Frame set-up

TEST(DrawFrameSetup, TheDrawRangeFollowsTheBlendedFogAndTheColourScalingIsCleared) {
  world::GameWorld world;
  EXPECT_EQ(world::GetDrawRange(world), 3000.0f);
  world.environment.SetFogEntry(0, 10.0f, 2000.0f, {0, 0, 0});
  world.environment.SetFogEntry(1, 10.0f, 4000.0f, {0, 0, 0});
  world.environment.blend = 0.25f;
  world::PrepareFrameEnvironment(world);  // without a renderer: the range only
  EXPECT_FLOAT_EQ(world::GetDrawRange(world), 2500.0f);
}

// [SECTION] Pixels of a small scene

class DrawSceneTest : public rendertest::RenderFixture {
 protected:
  test::ScopedWorkFolder work;
  core::SettingsBlock settings;
  units::UnitType type;
  render::CMesh box;
  render::TextureHolder green;
  world::GameWorld world;
  units::Unit* unit = nullptr;
  world::EffectObject* effect = nullptr;

  void SetUp() override {
    Start(1);
    UseTarget(32, 32);
    core::ResetSettings(&settings);
    world.settings = &settings;
    world.graphics = &gs;
    ASSERT_EQ(rendertest::Build(gs, box, rendertest::Fixture("box.x"), 0), 1);
    ASSERT_EQ(green.CreateFilledTexture(gs, 8, 8, 0xFF00FF00, 0), 0u);
    green.SetTextureFlags(render::kTexAdditive);
    // Light straight onto the faces the camera sees; fog far off.
    world.environment.SetLightEntry(0, {0, 0, 1}, {1, 1, 1}, {0, 0, 0});
    world.environment.SetFogEntry(0, 9000.0f, 9500.0f, {1, 1, 1});
    world::SetupSkyLayers(world);  // no sky files: plain white sheets
    ASSERT_TRUE(world::GrowUnitPool(world));
    world::EnsureEffectPool(world);
    // A red box unit below the view axis, 5 to 7 ahead.
    unit = world::GetUnitSlot(world, 1);
    unit->type = &type;
    unit->SetObjectModel(&box);
    unit->SetObjectPosition(0, -2, 6);
    // An additive green disc in front of its upper part and below it.
    effect = world.effectPool[0];
    effect->SetObjectSurface(gs, &green, render::kSurfaceDisc, 10);
    effect->SetObjectPosition(0, -2, 4);
    effect->SetObjectVisible(1);
    world.camera.mode = 1;
    LookForward();
    world::PrepareFrameEnvironment(world);
  }
  void TearDown() override {
    world::ClearUnitSlots(world);
    world::FreeEffectPool(world);
    green.ReleaseTexture(gs);
    world.graphics = nullptr;
  }
  void Clear() { gs.SetRenderTarget(&target, 0, 1); }
};

// Pixels: the top row looks at the sky, (16, 21) at the box behind the
// disc, (16, 27) at the disc below the box, (4, 16) at a map object.
TEST_F(DrawSceneTest, TheSceneDrawsSkyMapObjectsUnitsThenTheAdditiveEffectOverThem) {
  test::WriteFile("box.x", rendertest::Fixture("box.x"));
  core::FilePackageTable packages;
  gs.packages = &packages;
  script::ScriptEngine se;
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  const char* source =
      "extern object m=\r\n{WALL:{MODEL_FILE:\"box.x\"}}\r\n;\r\n"
      "extern object t=\r\n[{ID:\"WALL\",POS:{x:-4,y:0,z:6}}]\r\n;\r\n";
  ASSERT_EQ(se.LoadScriptMemory(source, "data.txt"), 1) << se.GetErrorListText();
  ASSERT_EQ(world::LoadMapMaster(world, se.FindGlobal("m")->data.array), 1);
  ASSERT_EQ(world::ReadMapPlacements(world, se.FindGlobal("t")->data.array, world::kMapQualityLarge), 1);
  world::SetupSkyLayers(world);  // a new master releases the sky layers

  world::DrawOpaqueUnits(world);
  EXPECT_EQ(Pixel(4, 16)[0], 0) << "map objects are not units";
  std::vector<int> box = Pixel(16, 21);
  EXPECT_GE(box[0], 200);
  EXPECT_LE(box[1], 40) << "the additive effect is not drawn with the opaque units";
  EXPECT_EQ(Pixel(16, 0)[0], 0) << "no sky in the unit pass";
  EXPECT_EQ(Pixel(16, 27)[1], 0);

  Clear();
  world::DrawScene3D(world, 0, false);
  std::vector<int> sky = Pixel(16, 0), over = Pixel(16, 21), disc = Pixel(16, 27), wall = Pixel(4, 16);
  EXPECT_GE(wall[0], 200);
  EXPECT_LE(wall[1], 40);
  EXPECT_GE(sky[0], 200);
  EXPECT_GE(sky[1], 200);
  EXPECT_GE(sky[2], 200);
  // The disc adds its green to the red box it lies in front of.
  EXPECT_GE(over[0], 200);
  EXPECT_GE(over[1], 200);
  EXPECT_LE(disc[0], 40);
  EXPECT_GE(disc[1], 200);
  gs.packages = nullptr;
}

TEST_F(DrawSceneTest, TheCockpitViewLeavesOutTheFocusUnitAndFarUnitsAreCulled) {
  world.focusUnit = unit;
  world.camera.mode = 0;
  world::DrawOpaqueUnits(world);
  EXPECT_EQ(Pixel(16, 21)[0], 0);
  world.camera.mode = 1;
  world::DrawOpaqueUnits(world);
  EXPECT_GE(Pixel(16, 21)[0], 200);
  // Beyond the fog's far distance nothing is drawn.
  Clear();
  world.environment.SetFogEntry(0, 0.1f, 0.5f, {0, 0, 0});  // the nearest, the disc, lies 4 ahead
  world::PrepareFrameEnvironment(world);
  world::DrawOpaqueUnits(world);
  world::DrawEffectSpritesAndFlames(world);
  EXPECT_EQ(Pixel(16, 21)[0], 0);
  EXPECT_EQ(Pixel(16, 27)[1], 0);
}

TEST_F(DrawSceneTest, EngineFlamesAreDrawnWhenTheFirstOfTheSlotIsShown) {
  render::DisplayObject flame;
  flame.SetObjectSurface(gs, &green, render::kSurfaceDisc, 10);
  flame.SetObjectPosition(0, 2, 4);
  flame.SetObjectVisible(0);
  std::vector<world::EngineFlameBlock> flames(size_t(world::CountUnitSlots(world)));
  flames[1].sprite[0] = &flame;
  world::DrawEffectSpritesAndFlames(world, flames);
  EXPECT_EQ(Pixel(16, 8)[1], 0);
  flame.SetObjectVisible(1);
  world::DrawEffectSpritesAndFlames(world, flames);
  EXPECT_GE(Pixel(16, 8)[1], 200);
  // Not from the cockpit of the unit that carries them.
  Clear();
  world.focusUnit = unit;
  world.camera.mode = 0;
  world::DrawEffectSpritesAndFlames(world, flames);
  EXPECT_EQ(Pixel(16, 8)[1], 0);
}

// 2D sprite units: the sign of z picks the layer, the larger z is drawn
// first (under the smaller), and every sprite is drawn at z 0.
TEST_F(DrawSceneTest, SortedSpritesTakeTheirLayerByTheSignOfZAndDrawLargestZFirst) {
  unit->SetObjectModel(nullptr);  // the box is no sprite
  render::TextureHolder colours[3];
  const uint32_t argb[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  const float z[3] = {0.0f, 0.25f, -0.5f};
  units::Unit* sprites[3] = {};
  for (int i = 0; i < 3; i++) {
    ASSERT_EQ(colours[i].CreateFilledTexture(gs, 8, 8, argb[i], 0), 0u);
    sprites[i] = world::GetUnitSlot(world, 2 + i);
    sprites[i]->type = &type;
    sprites[i]->SetObjectTexture(gs, &colours[i]);  // a plain 2D quad, 8 x 8 units
    sprites[i]->SetObjectScale(100, 100, 1);
    sprites[i]->SetObjectPosition(-400, -400, z[i]);
  }
  gs.ClearRenderFlags(render::kRenderDepthTest);
  world::DrawSortedSprites(world, 0);
  // Red (z 0) is drawn after green (z 0.25): it lies on top.
  std::vector<int> top = Pixel(16, 16);
  EXPECT_GE(top[0], 200);
  EXPECT_LE(top[1], 40);
  EXPECT_LE(top[2], 40);
  for (int i = 0; i < 3; i++) EXPECT_EQ(sprites[i]->position.z, z[i]) << "z restored after the draw";
  // Layer 1 holds the blue one alone.
  Clear();
  world::DrawSortedSprites(world, 1);
  std::vector<int> front = Pixel(16, 16);
  EXPECT_LE(front[0], 40);
  EXPECT_GE(front[2], 200);
  // Equal z keeps the slot order: the later slot lies on top.
  sprites[1]->SetObjectPosition(-400, -400, 0.0f);
  Clear();
  world::DrawSortedSprites(world, 0);
  EXPECT_GE(Pixel(16, 16)[1], 200);
  EXPECT_LE(Pixel(16, 16)[0], 40);
  world::ClearUnitSlots(world);
  for (auto& c : colours) c.ReleaseTexture(gs);
}

// Cascade 0 takes the shadow unit and what belongs to it; the others every
// other unit.
TEST_F(DrawSceneTest, ShadowCastersSplitByTheCameraShadowUnit) {
  units::Unit* shot = world::GetUnitSlot(world, 2);
  shot->type = &type;
  shot->SetObjectModel(&box);
  shot->SetObjectPosition(0, 2, 6);  // above the view axis: row 10 or so
  struct Case {
    units::Unit* shadowUnit;
    units::Unit* master;
    int cascade;
    bool unitDrawn, shotDrawn;
  } cases[] = {
      {nullptr, nullptr, 0, false, false},
      {nullptr, nullptr, 1, true, true},
      {unit, nullptr, 0, true, false},
      {unit, nullptr, 2, false, true},
      {unit, unit, 0, true, true},  // the shot it fired goes with it
      {unit, unit, 1, false, false},
  };
  for (const Case& c : cases) {
    Clear();
    world.camera.shadowUnit = c.shadowUnit;
    shot->master = c.master;
    world::DrawShadowCasters(world, c.cascade, 100.0f);
    EXPECT_EQ(Pixel(16, 21)[0] > 100, c.unitDrawn) << "cascade " << c.cascade;
    EXPECT_EQ(Pixel(16, 11)[0] > 100, c.shotDrawn) << "cascade " << c.cascade;
  }
  shot->master = nullptr;
  world.camera.shadowUnit = nullptr;
}

// Looking straight into the sun: glare piece 0 (red) stands in for the glare
// post pass, piece 1 (green) is always drawn, and the mirror image keeps
// piece 0 alone.
TEST_F(DrawSceneTest, SunGlarePieceZeroGivesWayToTheGlarePassAndTheMirrorKeepsOnlyIt) {
  unit->SetObjectModel(nullptr);
  effect->ReleaseObject();
  world.environment.SetLightEntry(0, {0, 0, -1}, {1, 1, 1}, {0, 0, 0});  // the sun ahead
  world::PrepareFrameEnvironment(world);
  render::TextureHolder red;
  ASSERT_EQ(red.CreateFilledTexture(gs, 8, 8, 0xFFFF0000, 0), 0u);
  red.SetTextureFlags(render::kTexAdditive);
  render::TextureHolder* textures[2] = {&red, &green};
  for (int i = 0; i < 2; i++) {
    world::EffectObject& glare = world.weather->glare[i];
    glare.SetObjectSurface(gs, textures[i], render::kSurfaceCentredSprite, 1);
    glare.type = world::kEffectSunGlare;
    glare.size = 384.0f;
    glare.alphaLimit = 255;
  }
  struct Case {
    int glarePass;
    bool screenshot, mirror, redDrawn, greenDrawn;
  } cases[] = {
      {0, false, false, true, true},
      {1, false, false, false, true},
      {0, true, false, false, true},
      {0, false, true, true, false},
  };
  for (const Case& c : cases) {
    Clear();
    settings.glare = c.glarePass;
    gs.SetMirrorMode(c.mirror);
    world::DrawEffects(world, c.screenshot);
    gs.SetMirrorMode(0);
    std::vector<int> p = Pixel(16, 16);
    EXPECT_EQ(p[0] > 100, c.redDrawn) << c.glarePass << c.screenshot << c.mirror;
    EXPECT_EQ(p[1] > 100, c.greenDrawn) << c.glarePass << c.screenshot << c.mirror;
    EXPECT_TRUE(gs.GetRenderFlags() & render::kRenderDepthTest) << "the depth test is on again";
  }
  for (world::EffectObject& glare : world.weather->glare) world::ResetEffectObject(glare);
  red.ReleaseTexture(gs);
}

// Clouds are drawn farthest first whatever their slots: the near red one,
// in the first slot, ends on top of the far green one.
TEST_F(DrawSceneTest, CloudsAreDrawnFarthestFirst) {
  unit->SetObjectModel(nullptr);
  effect->ReleaseObject();
  render::TextureHolder red;
  ASSERT_EQ(red.CreateFilledTexture(gs, 8, 8, 0xFFFF0000, 0), 0u);
  render::TextureHolder solidGreen;
  ASSERT_EQ(solidGreen.CreateFilledTexture(gs, 8, 8, 0xFF00FF00, 0), 0u);
  world::EffectObject* clouds = world.weather->clouds;
  const float depth[2] = {100.0f, 200.0f};
  render::TextureHolder* textures[2] = {&red, &solidGreen};
  for (int i = 0; i < 2; i++) {
    clouds[i].SetObjectSurface(gs, textures[i], render::kSurfaceCentredSprite, 1);
    clouds[i].spriteFlag = 1;  // a standing cloud: no fade between 40 and 9000
    clouds[i].SetObjectScale(depth[i] * 0.3f, depth[i] * 0.3f, 1.0f);
    clouds[i].SetObjectPosition(0, 0, depth[i]);
  }
  gs.ClearRenderFlags(render::kRenderDepthTest);  // the order alone decides
  world::DrawEffects(world, false);
  std::vector<int> p = Pixel(16, 16);
  EXPECT_GE(p[0], 200);
  EXPECT_LE(p[1], 40);
  for (int i = 0; i < 2; i++) world::ResetEffectObject(clouds[i]);
  red.ReleaseTexture(gs);
  solidGreen.ReleaseTexture(gs);
}

}  // namespace
