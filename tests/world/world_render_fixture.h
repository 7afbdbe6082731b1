// world_render_fixture.h -- a world with a renderer on a small hidden window,
// drawn whole through RenderFrame, with readers for the eye-0 scene target
// and the back buffer.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "render/model_fixture.h"
#include "render/render_fixture.h"
#include "script/script_public.h"
#include "test_support.h"
#include "world/world_local.h"
#include "world/world_render.h"

namespace worldtest {

using world::Vec3;

// Red, green and blue of one pixel.
struct Rgb {
  int r = 0, g = 0, b = 0;
  int Sum() const { return r + g + b; }
};

// A picture read back: w x h pixels, top row first.
struct Picture {
  int w = 0, h = 0;
  std::vector<Rgb> pixels;
  Rgb At(int x, int y) const { return pixels[size_t(y * w + x)]; }
  // Pixels that differ from `other` by more than `tolerance` in a channel.
  int CountDifferences(const Picture& other, int tolerance = 8) const {
    int n = 0;
    for (size_t i = 0; i < pixels.size() && i < other.pixels.size(); i++) {
      const Rgb &a = pixels[i], &b = other.pixels[i];
      if (std::abs(a.r - b.r) > tolerance || std::abs(a.g - b.g) > tolerance || std::abs(a.b - b.b) > tolerance)
        n++;
    }
    return n;
  }
  // Distinct colours (to 16 levels a channel): 1 for a blank frame.
  int CountColours() const {
    std::vector<bool> seen(4096);
    int n = 0;
    for (const Rgb& p : pixels) {
      const size_t key = size_t((p.r >> 4) << 8 | (p.g >> 4) << 4 | (p.b >> 4));
      if (!seen[key]) seen[key] = true, n++;
    }
    return n;
  }
};

class WorldFrameFixture : public rendertest::RenderFixture {
 protected:
  static constexpr int kWidth = 64;
  static constexpr int kHeight = 48;

  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", 0};
  core::FilePackageTable packages;
  core::SettingsBlock settings;
  units::UnitType type;
  render::CMesh red, green, white, blue;
  world::GameWorld world;

  // Every shader switch off but SHADER.FLAG; a white-lit world with the
  // fog far away, plain white sky sheets and the camera at the origin
  // looking down +z.
  void StartWorld(int width = kWidth, int height = kHeight) {
    Start(1, width, height);
    gs.log = &log;
    gs.packages = &packages;
    core::ResetSettings(&settings);
    settings.shaderFlag = 1;
    settings.shadow = 0;
    settings.multiLight = 0;
    settings.mirror = 0;
    settings.bump = 0;
    settings.glare = 0;
    settings.bloom = 0;
    settings.aeroLight = 0;
    world.log = &log;
    world.settings = &settings;
    world.graphics = &gs;
    ASSERT_EQ(world.LoadWorld(), 1);
    ASSERT_TRUE(world.renderTargets.scene[0].texture);
    MakeBox(red, "1.000000;0.000000;0.000000;1.000000;;");
    MakeBox(green, "0.000000;1.000000;0.000000;1.000000;;");
    MakeBox(white, "1.000000;1.000000;1.000000;1.000000;;");
    MakeBox(blue, "0.000000;0.000000;1.000000;1.000000;;");
    world.environment.SetLightEntry(0, {0, 0, 1}, {1, 1, 1}, {0.2f, 0.2f, 0.2f});
    world.environment.SetFogEntry(0, 9000.0f, 9500.0f, {1, 1, 1});
    world::SetupSkyLayers(world);
    world.camera.mode = 1;
    LookForward();
  }

  void TearDown() override {
    world::ClearUnitSlots(world);
    world::FreeEffectPool(world);
    world::ReleaseRenderTargets(world);
    for (render::CMesh* m : {&red, &green, &white, &blue}) m->ReleaseMesh();
    world.graphics = nullptr;
    gs.log = nullptr;
    gs.packages = nullptr;
  }

  // The box fixture (-1..1 on every axis) with another material colour.
  static std::string BoxText(const char* colour) {
    std::string text = rendertest::Fixture("box.x");
    const std::string redLine = "1.000000;0.000000;0.000000;1.000000;;";
    const size_t at = text.find(redLine);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos) text.replace(at, redLine.size(), colour);
    return text;
  }
  void MakeBox(render::CMesh& mesh, const char* colour) {
    ASSERT_EQ(rendertest::Build(gs, mesh, BoxText(colour), 0), 1);
  }

  // A plain sky texture (0xRRGGBB) with the fog pushed beyond the sky
  // sheets, which fade into the fog like every billboard.
  void PlainSky(uint32_t rgb) {
    test::WriteFile("sky.bmp", rendertest::MakeBmp(8, 8, std::vector<uint32_t>(64, rgb)));
    world.environment.SetSkyEntry(0, "sky.bmp", "sky.bmp", 0);
    world.environment.SetFogEntry(0, 90000.0f, 95000.0f, {1, 1, 1});
    world::SetupSkyLayers(world);
  }

  // A unit of `mesh` in `slot`, at `at`, scaled.
  units::Unit* Place(int slot, render::CMesh& mesh, Vec3 at, Vec3 scale = {1, 1, 1}) {
    units::Unit* unit = world::GetUnitSlot(world, slot);
    unit->type = &type;
    unit->SetObjectModel(&mesh);
    unit->SetObjectPosition(at.x, at.y, at.z);
    unit->SetObjectScale(scale.x, scale.y, scale.z);
    return unit;
  }

  // One frame onto a cleared back buffer.
  int Frame() {
    gs.SetRenderTarget(nullptr, 0, 1);
    return world::RenderFrame(world);
  }

  // The eye-0 scene target, or the back buffer.
  Picture Scene() { return ReadHolder(world.renderTargets.scene[0]); }
  Picture ReadHolder(render::TextureHolder& holder) {
    Picture p;
    p.w = holder.width;
    p.h = holder.height;
    std::vector<uint8_t> bgr(size_t(p.w * p.h * 3));
    EXPECT_EQ(holder.ReadTexturePixels(gs, bgr.data(), 0, 0, p.w, p.h), p.w * p.h * 3);
    for (size_t i = 0; i < size_t(p.w * p.h); i++) p.pixels.push_back({bgr[i * 3 + 2], bgr[i * 3 + 1], bgr[i * 3]});
    return p;
  }
  Picture BackBuffer() {
    const platform::GfxApi& api = gs.Gfx();
    gs.SetRenderTarget(nullptr, 0, 0);
    platform::GfxSurface* back = api.GetRenderTarget(gs.GetDevice(), 0);
    Picture p;
    api.GetSurfaceDesc(back, &p.w, &p.h, nullptr);
    platform::GfxTexture* copy = nullptr;
    EXPECT_EQ(api.CreateTexture(gs.GetDevice(), p.w, p.h, 1, 0, platform::kFmtA8R8G8B8, platform::kPoolSystemMem,
                                &copy),
              0u);
    platform::GfxSurface* to = api.GetSurfaceLevel(copy, 0);
    EXPECT_EQ(api.GetRenderTargetData(gs.GetDevice(), back, to), 0u);
    platform::GfxLockedRect locked{};
    EXPECT_EQ(api.LockRect(copy, 0, &locked), 0u);
    for (int y = 0; y < p.h; y++) {
      const uint8_t* row = static_cast<const uint8_t*>(locked.bits) + size_t(y) * size_t(locked.pitch);
      for (int x = 0; x < p.w; x++) p.pixels.push_back({row[x * 4 + 2], row[x * 4 + 1], row[x * 4]});
    }
    api.UnlockRect(copy, 0);
    api.ReleaseSurface(to);
    api.ReleaseSurface(back);
    api.ReleaseTexture(copy);
    return p;
  }

  // Map objects from a master and a placement list in the script syntax
  // (the box fixture is written to the working folder for them).
  void LoadMap(const char* master, const char* placements) {
    test::WriteFile("box.x", rendertest::Fixture("box.x"));
    script::ScriptEngine se;
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    const std::string source = std::string("extern object m=\r\n") + master + "\r\n;\r\nextern object t=\r\n" +
                               placements + "\r\n;\r\n";
    ASSERT_EQ(se.LoadScriptMemory(source.c_str(), "data.txt"), 1) << se.GetErrorListText();
    ASSERT_EQ(world::LoadMapMaster(world, se.FindGlobal("m")->data.array), 1);
    ASSERT_EQ(world::ReadMapPlacements(world, se.FindGlobal("t")->data.array, world::kMapQualityLarge), 1);
    world::SetupSkyLayers(world);  // a new master releases the sky layers
  }

  std::string Log() {
    log.CloseLog();
    return test::ReadFile(work.Path() + "/system.log");
  }
};

}  // namespace worldtest
