// drawables_bench.cpp -- display objects and collision (a small driver):
//  1. world matrices of 5,000 objects in hierarchies of depth 4, every
//     object moved and turned each round (all caches cleared);
//  2. 1,000 segments against 200 models of about 1,000 triangles each,
//     every segment against every object (box guard, then triangles), and
//     the same with segments that all pass through their model (the
//     triangle test's own cost).
// Prints nanoseconds per object update and microseconds per segment-model
// test. Needs no device.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "render/render_public.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::Vec3;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A sphere of radius 1 with `slices` x `stacks` quads: 2 x slices x
// (stacks - 1) triangles.
std::string Sphere(int slices, int stacks) {
  std::string s = "xof 0303txt 0032\nMesh {\n";
  int n = slices * (stacks + 1);
  s += std::to_string(n) + ";\n";
  for (int j = 0; j <= stacks; j++)
    for (int i = 0; i < slices; i++) {
      double a = 2 * M_PI * i / slices, b = M_PI * j / stacks - M_PI / 2;
      s += std::to_string(std::cos(b) * std::cos(a)) + ";" + std::to_string(std::sin(b)) + ";" +
           std::to_string(std::cos(b) * std::sin(a)) + ";,\n";
    }
  s += ";" + std::to_string(slices * stacks) + ";\n";
  for (int j = 0; j < stacks; j++)
    for (int i = 0; i < slices; i++) {
      int a = j * slices + i, b = j * slices + (i + 1) % slices;
      s += "4;" + std::to_string(a) + "," + std::to_string(a + slices) + "," + std::to_string(b + slices) + "," +
           std::to_string(b) + ";,\n";
    }
  s += "; }\n";
  return s;
}

}  // namespace

int main() {
  // 1. Matrices.
  constexpr int kObjects = 5000, kDepth = 4, kRounds = 200;
  std::vector<render::DisplayObject> objects(kObjects);
  for (int i = 0; i < kObjects; i++)
    if (i % kDepth) objects[size_t(i)].SetObjectParent(&objects[size_t(i - 1)]);
  double sum = 0;
  auto t0 = Clock::now();
  for (int r = 0; r < kRounds; r++) {
    for (int i = 0; i < kObjects; i++) {
      render::DisplayObject& o = objects[size_t(i)];
      o.SetObjectPosition(float(i % 7), float(r % 5), 1.0f);
      o.SetObjectAngles(0.01f * float(r), 0.02f * float(i % 13), 0.0f);
    }
    for (int i = 0; i < kObjects; i++) sum += double(objects[size_t(i)].GetObjectWorldMatrix().m[3][0]);
  }
  auto t1 = Clock::now();
  std::printf("object update (depth %d): %.1f ns per object\n", kDepth,
              Seconds(t0, t1) * 1e9 / (double(kObjects) * kRounds));

  // 2. Segments against models.
  render::GraphicsSystem gs;
  render::CMesh sphere;
  std::string text = Sphere(25, 21);  // 25 x 21 quads less the degenerate caps: 1,000 triangles and more
  if (!sphere.BuildMeshFromX(gs, text.data(), int(text.size()), 0)) {
    std::fprintf(stderr, "model did not build\n");
    return 1;
  }
  constexpr int kModels = 200, kSegments = 1000;
  std::vector<render::DisplayObject> models(kModels);
  for (int i = 0; i < kModels; i++) {
    models[size_t(i)].SetObjectModel(&sphere);
    models[size_t(i)].SetObjectPosition(float(i % 20) * 5.0f, float(i / 20) * 5.0f, 20.0f);
    models[size_t(i)].SetObjectScale(2, 2, 2);
  }
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> spread(-5.0f, 100.0f);
  std::vector<Vec3> starts(kSegments), ends(kSegments);
  for (int s = 0; s < kSegments; s++) {
    starts[size_t(s)] = {spread(rng), spread(rng) * 0.5f, 0.0f};
    ends[size_t(s)] = {spread(rng), spread(rng) * 0.5f, 40.0f};
  }
  int hits = 0;
  t0 = Clock::now();
  for (int s = 0; s < kSegments; s++)
    for (int m = 0; m < kModels; m++)
      hits += models[size_t(m)].TestObjectHitSegment(nullptr, nullptr, nullptr, starts[size_t(s)], ends[size_t(s)], 1) > 0;
  t1 = Clock::now();
  std::printf("model: %d triangles; segments x models: %d, hits %d\n", sphere.triangleCounts[0], kSegments * kModels,
              hits);
  std::printf("segment-model test, scattered: %.3f us per test\n",
              Seconds(t0, t1) * 1e6 / (double(kSegments) * kModels));
  // Through the model: every test runs the triangle loop.
  t0 = Clock::now();
  int through = 0;
  for (int s = 0; s < kSegments; s++) {
    render::DisplayObject& o = models[size_t(s % kModels)];
    Vec3 c = o.GetObjectWorldPosition();
    Vec3 a = {c.x + 0.5f * std::sin(float(s)), c.y + 0.5f * std::cos(float(s)), c.z - 5};
    Vec3 b = {c.x - 0.3f * std::cos(float(s)), c.y + 0.2f, c.z + 5};
    Vec3 p, n;
    through += o.TestObjectHitSegment(nullptr, &p, &n, a, b, 0) > 0;
  }
  t1 = Clock::now();
  std::printf("segment-model test, through the model: %.3f us per test (%d of %d hit)\n",
              Seconds(t0, t1) * 1e6 / kSegments, through, kSegments);
  return sum == 12345.678 ? 1 : 0;  // keeps the work from being dropped
}
