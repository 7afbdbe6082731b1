// render_bench.cpp -- CPU cost of the renderer's draw path: one frame of
// 5,000 textured 2D sprites and 500 meshes of 1,000 triangles, issued
// through GraphicsSystem and the device layer, against the same GL calls
// issued bare. Prints microseconds of CPU per draw call for both and their
// ratio. Runs headless (SDL's offscreen driver) unless a display is chosen.

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/platform_public.h"
#include "render/render_public.h"

namespace {

using namespace platform;

constexpr int kSprites = 5000;
constexpr int kMeshes = 500;
constexpr int kTriangles = 1000;
constexpr int kTextures = 8;
constexpr int kFrames = 20;

struct SpriteVertex {
  float x, y, z;
  uint32_t diffuse;
  float u, v;
  float r, g, b, a;
};

struct MeshVertex {
  float p[3], n[3], c[4], uv[2], t[3], b[3], w[4];
};

double ThreadCpuMicros() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

}  // namespace

int main() {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("TKW4_MSGBOX", "1", 0);
  render::GraphicsSystem gs;
  if (!gs.CreateDirect3D() || !gs.CreateMainWindow("bench", false, 0, 0, 640, 480) || !gs.InitDevice(1)) {
    std::fprintf(stderr, "no device\n");
    return 1;
  }
  const GfxApi& api = gs.Gfx();
  GfxDevice* dev = gs.GetDevice();

  std::vector<render::TextureHolder> textures(kTextures);
  std::vector<GfxTexture*> raw;
  for (int i = 0; i < kTextures; i++) {
    textures[size_t(i)].CreateFilledTexture(gs, 16, 16, 0xFF000000u | uint32_t(i * 30) << 8, 0);
    raw.push_back(textures[size_t(i)].texture);
  }
  std::vector<SpriteVertex> sprites(size_t(kSprites) * 4);
  for (int i = 0; i < kSprites; i++) {
    float x = float(i % 100) * 10 - 500, y = float(i / 100) * 10 - 300;
    SpriteVertex* v = &sprites[size_t(i) * 4];
    v[0] = {x, y, 0, 0xFFFFFFFFu, 0, 0, 1, 1, 1, 1};
    v[1] = {x + 8, y, 0, 0xFFFFFFFFu, 1, 0, 1, 1, 1, 1};
    v[2] = {x + 8, y + 8, 0, 0xFFFFFFFFu, 1, 1, 1, 1, 1, 1};
    v[3] = {x, y + 8, 0, 0xFFFFFFFFu, 0, 1, 1, 1, 1, 1};
  }
  // One mesh of 1,000 triangles: a strip of quads, indexed.
  std::vector<MeshVertex> mesh;
  std::vector<uint16_t> indices;
  for (int q = 0; q < kTriangles / 2; q++) {
    float x = float(q % 25), y = float(q / 25);
    uint16_t base = uint16_t(mesh.size());
    for (int k = 0; k < 4; k++)
      mesh.push_back({{x + float(k & 1), y + float(k >> 1), 0}, {0, 0, -1}, {1, 1, 1, 1}, {0, 0}, {1, 0, 0}, {0, 1, 0},
                      {1, 0, 0, 0}});
    for (int k : {0, 1, 2, 2, 1, 3}) indices.push_back(uint16_t(base + k));
  }
  GfxBuffer* vb = nullptr;
  GfxBuffer* ib = nullptr;
  api.CreateVertexBuffer(dev, int(mesh.size() * sizeof(MeshVertex)), &vb);
  api.CreateIndexBuffer(dev, int(indices.size() * 2), &ib);
  std::memcpy(api.LockBuffer(vb), mesh.data(), mesh.size() * sizeof(MeshVertex));
  api.UnlockBuffer(vb);
  std::memcpy(api.LockBuffer(ib), indices.data(), indices.size() * 2);
  api.UnlockBuffer(ib);
  std::vector<Matrix> worlds(kSprites + kMeshes);
  for (size_t i = 0; i < worlds.size(); i++) worlds[i] = MatrixTranslation(float(i % 7), float(i % 5), 40.0f);

  render::TextureHolder target;
  target.CreateRenderTarget(gs, 640, 480, kFmtA8R8G8B8);
  gs.SetCamera3D({0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f);

  auto engineFrame = [&]() {
    gs.SetRenderTarget(&target, 0, 0);
    gs.SetDrawMode(2);
    for (int i = 0; i < kSprites; i++) {
      render::TextureHolder* t = &textures[size_t(i % kTextures)];
      gs.BindTextureToEffect(0, t);
      gs.SetBlendMode(t->flags & 0x38000);
      gs.SetTextureAddressing(t->flags & 0xC0000);
      api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], worlds[size_t(i)]);
      gs.BeginScenePass(1, render::SHADER_PASS_2DSPRITE);
      api.DrawPrimitiveUP(dev, kPrimTriangleFan, 2, &sprites[size_t(i) * 4], sizeof(SpriteVertex));
    }
    gs.SetDrawMode(0);
    api.SetStreamSource(dev, vb);
    api.SetIndices(dev, ib);
    for (int i = 0; i < kMeshes; i++) {
      render::TextureHolder* t = &textures[size_t(i % kTextures)];
      api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], worlds[size_t(kSprites + i)]);
      gs.BindTextureToEffect(0, t);
      gs.SetBlendMode(t->flags & 0x38000);
      gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
      api.DrawIndexedPrimitive(dev, kPrimTriangleList, 0, 0, kTriangles);
    }
    gs.BeginScenePass(0, 0);
  };
  GfxBareFrame bare{gs.GetEffect(), render::SHADER_PASS_2DSPRITE, render::SHADER_PASS_3DMESH, raw.data(), kTextures,
                    sprites.data(), kSprites, vb, ib, kMeshes, kTriangles, worlds.data()};

  // Warm-up (makes the mesh's vertex array, compiles lazily built state),
  // then frames alternating the two paths; each frame's GPU work is
  // finished outside the timing by a read-back.
  engineFrame();
  Gl33DrawBareFrame(dev, bare);
  uint8_t pixel[3];
  double engine = 0, raw_ = 0;
  for (int f = 0; f < kFrames; f++) {
    target.ReadTexturePixels(gs, pixel, 0, 0, 1, 1);
    double t0 = ThreadCpuMicros();
    engineFrame();
    double t1 = ThreadCpuMicros();
    target.ReadTexturePixels(gs, pixel, 0, 0, 1, 1);
    double t2 = ThreadCpuMicros();
    Gl33DrawBareFrame(dev, bare);
    double t3 = ThreadCpuMicros();
    engine += t1 - t0;
    raw_ += t3 - t2;
  }
  target.ReadTexturePixels(gs, pixel, 0, 0, 1, 1);
  double draws = double(kFrames) * (kSprites + kMeshes);
  std::printf("draw calls per frame: %d (%d sprites, %d meshes of %d triangles), %d frames\n", kSprites + kMeshes,
              kSprites, kMeshes, kTriangles, kFrames);
  std::printf("engine layer: %.3f us CPU per draw call\n", engine / draws);
  std::printf("bare GL:      %.3f us CPU per draw call\n", raw_ / draws);
  std::printf("ratio:        %.2f\n", engine / raw_);
  std::printf("layer's own:  %.3f us per draw call\n", (engine - raw_) / draws);

  target.ReleaseTexture(gs);
  for (render::TextureHolder& t : textures) t.ReleaseTexture(gs);
  api.ReleaseBuffer(vb);
  api.ReleaseBuffer(ib);
  return 0;
}
