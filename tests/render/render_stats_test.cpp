// render_stats_test.cpp -- the device's frame counters: draws, primitives,
// objects and the state changes that reached GL, on both pipelines.

#include <cstring>
#include <vector>

#include "render_fixture.h"

#include "core/core_public.h"

namespace {

using namespace platform;
using rendertest::MeshVertex;
using rendertest::RenderFixture;
using TextureHolder = render::TextureHolder;

class RenderStats : public RenderFixture, public ::testing::WithParamInterface<int> {
 protected:
  GfxFrameStats Stats() { return gs.Gfx().GetFrameStats(gs.GetDevice()); }
  void Reset() { gs.Gfx().ResetFrameStats(gs.GetDevice()); }
};

TEST_P(RenderStats, AQuadIsOneDrawOfTwoTrianglesAndARepeatSendsNoProgramOrTexture) {
  Start(GetParam());
  UseTarget(32, 32);
  Reset();
  GfxFrameStats zero = Stats();
  EXPECT_EQ(zero.drawCalls, 0u);
  EXPECT_EQ(zero.StateChanges(), 0u);

  TextureHolder* white = gs.GetWhiteTexture();
  DrawQuad2D(0, 0, 4, 4, white->texture);
  GfxFrameStats first = Stats();
  EXPECT_EQ(first.drawCalls, 1u);
  EXPECT_EQ(first.primitives, 2u);
  EXPECT_EQ(first.singlePrimitiveDraws, 0u);
  EXPECT_EQ(first.objects, 1u);
  EXPECT_EQ(first.maxDrawsPerObject, 1u);
  EXPECT_EQ(first.vertexArrayBinds, 1u);
  EXPECT_GE(first.uniformUploads, 1u);

  // The same quad again: program and texture are bound already; the world
  // matrix set again makes it an object of its own.
  Reset();
  DrawQuad2D(0, 0, 4, 4, white->texture);
  GfxFrameStats again = Stats();
  EXPECT_EQ(again.drawCalls, 1u);
  EXPECT_EQ(again.objects, 1u);
  EXPECT_EQ(again.programBinds, 0u);
  EXPECT_EQ(again.textureBinds, 0u);
  EXPECT_EQ(again.framebufferChanges, 0u);
  EXPECT_EQ(again.StateChanges(), again.uniformUploads + again.vertexArrayBinds + again.renderStates +
                                      again.samplerStates + again.viewports);
}

INSTANTIATE_TEST_SUITE_P(EffectAndFixed, RenderStats, ::testing::Values(1, 0));

TEST_F(RenderStats, SubsetsUnderOneTransformAreOneObjectAndALoneTriangleIsCounted) {
  Start(1);
  UseTarget(32, 32);
  const GfxApi& api = gs.Gfx();
  GfxDevice* dev = gs.GetDevice();
  // A strip of four quads, drawn as three subsets of 2, 4 and 1 triangles
  // and then as a second model under another world matrix.
  std::vector<MeshVertex> v;
  std::vector<uint16_t> idx;
  for (int q = 0; q < 4; q++) {
    uint16_t base = uint16_t(v.size());
    for (int k = 0; k < 4; k++)
      v.push_back({float(q + (k & 1)), float(k >> 1), 5, 0, 0, -1, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0});
    for (int k : {0, 1, 2, 2, 1, 3}) idx.push_back(uint16_t(base + k));
  }
  GfxBuffer* vb = nullptr;
  GfxBuffer* ib = nullptr;
  ASSERT_EQ(api.CreateVertexBuffer(dev, int(v.size() * sizeof(MeshVertex)), &vb), 0u);
  ASSERT_EQ(api.CreateIndexBuffer(dev, int(idx.size() * 2), &ib), 0u);
  std::memcpy(api.LockBuffer(vb), v.data(), v.size() * sizeof(MeshVertex));
  api.UnlockBuffer(vb);
  std::memcpy(api.LockBuffer(ib), idx.data(), idx.size() * 2);
  api.UnlockBuffer(ib);
  LookForward();
  gs.SetDrawMode(0);
  api.SetStreamSource(dev, vb);
  api.SetIndices(dev, ib);
  Reset();

  api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], MatrixIdentity());
  gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
  api.DrawIndexedPrimitive(dev, kPrimTriangleList, 0, 0, 2);
  api.DrawIndexedPrimitive(dev, kPrimTriangleList, 0, 6, 4);
  api.DrawIndexedPrimitive(dev, kPrimTriangleList, 0, 18, 1);
  api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], MatrixTranslation(0, 1, 0));
  gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
  api.DrawIndexedPrimitive(dev, kPrimTriangleList, 0, 0, 8);
  gs.BeginScenePass(0, 0);

  GfxFrameStats s = Stats();
  EXPECT_EQ(s.drawCalls, 4u);
  EXPECT_EQ(s.primitives, 15u);
  EXPECT_EQ(s.singlePrimitiveDraws, 1u);
  EXPECT_EQ(s.objects, 2u);
  EXPECT_EQ(s.maxDrawsPerObject, 3u);

  // Another vertex buffer under the same transform starts an object too.
  GfxBuffer* vb2 = nullptr;
  ASSERT_EQ(api.CreateVertexBuffer(dev, int(v.size() * sizeof(MeshVertex)), &vb2), 0u);
  std::memcpy(api.LockBuffer(vb2), v.data(), v.size() * sizeof(MeshVertex));
  api.UnlockBuffer(vb2);
  Reset();
  gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
  api.DrawIndexedPrimitive(dev, kPrimTriangleList, 0, 0, 2);
  api.SetStreamSource(dev, vb2);
  api.DrawIndexedPrimitive(dev, kPrimTriangleList, 0, 0, 2);
  gs.BeginScenePass(0, 0);
  EXPECT_EQ(Stats().objects, 2u);
  EXPECT_EQ(Stats().maxDrawsPerObject, 1u);

  api.SetStreamSource(dev, nullptr);
  api.SetIndices(dev, nullptr);
  api.ReleaseBuffer(vb);
  api.ReleaseBuffer(vb2);
  api.ReleaseBuffer(ib);
}

TEST_F(RenderStats, OnlyStatesThatReachGlAreCounted) {
  Start(1);
  UseTarget(32, 32);
  const GfxApi& api = gs.Gfx();
  GfxDevice* dev = gs.GetDevice();
  Reset();
  struct Case {
    uint32_t state, value;
    uint32_t renderStates;  // after the call, counted from the reset
  } cases[] = {
      {kRsCullMode, api.GetRenderState(dev, kRsCullMode), 0},  // unchanged
      {kRsCullMode, api.GetRenderState(dev, kRsCullMode) == kCullNone ? kCullCW : kCullNone, 1},
      {kRsAlphaBlendEnable, api.GetRenderState(dev, kRsAlphaBlendEnable) ? 0u : 1u, 2},
      {kRsZWriteEnable, api.GetRenderState(dev, kRsZWriteEnable) ? 0u : 1u, 3},
      {kRsFogColor, 0xFF00FF00u, 3},  // read by the fixed program's uniforms only
      {kRsShadeMode, kShadeFlat, 3},  // picks a program at the next draw
  };
  for (const Case& c : cases) {
    api.SetRenderState(dev, c.state, c.value);
    EXPECT_EQ(Stats().renderStates, c.renderStates) << "state " << c.state;
  }
  api.SetSamplerState(dev, 0, kSampAddressU, kAddressClamp);
  api.SetSamplerState(dev, 0, kSampAddressU, kAddressClamp);
  EXPECT_EQ(Stats().samplerStates, 1u);

  // A target change re-attaches the framebuffer at the next clear or draw;
  // the clear is counted apart from the states.
  Reset();
  render::TextureHolder other;
  ASSERT_EQ(other.CreateRenderTarget(gs, 16, 16, kFmtA8R8G8B8), 0u);
  ASSERT_EQ(gs.SetRenderTarget(&other, 0, 1), 0);
  GfxFrameStats s = Stats();
  EXPECT_EQ(s.framebufferChanges, 1u);
  EXPECT_EQ(s.clears, 1u);
  EXPECT_GE(s.viewports, 1u);
  other.ReleaseTexture(gs);

  // Text is one batched draw for the string and one for its shadow, each
  // an object of its own, however many letters it has.
  gs.PresentFrame();  // fonts are made once the device has presented
  ASSERT_EQ(gs.SetRenderTarget(&target, 0, 0), 0);
  ASSERT_NE(gs.SetFont(core::Sjis("ＭＳ ゴシック"), 16, 0xFFFFFFFFu, 1), 0);
  Reset();
  ASSERT_EQ(gs.DrawText(0, 0, "frames", 0), 1);
  s = Stats();
  EXPECT_EQ(s.drawCalls, 2u);
  EXPECT_EQ(s.objects, 2u);
  EXPECT_EQ(s.primitives, 2u * 2u * 6u);
  EXPECT_EQ(s.renderStates, 4u);

  GfxFrameStats none = api.GetFrameStats(nullptr);
  EXPECT_EQ(none.drawCalls, 0u);
  api.ResetFrameStats(nullptr);
}

}  // namespace
