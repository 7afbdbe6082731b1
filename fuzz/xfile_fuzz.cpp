// xfile_fuzz.cpp -- libFuzzer target for the X-file reader and the model
// build on top of it: arbitrary bytes are read as an X file, then built as a
// plain model and as a hierarchy (with an animation pose and a segment test
// when the build succeeds). Traps when a refused build leaves anything
// behind or a read file disagrees with itself.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTKW4_FUZZ=ON -DTKW4_TESTS=OFF \
//       && cmake --build build-fuzz --target tkw4-fuzz-xfile
//   build-fuzz/tkw4-fuzz-xfile -max_total_time=600 CORPUS fuzz/corpus/xfile

#include <cstdint>
#include <string>

#include "platform/platform_xfile.h"
#include "render/render_public.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::XScene scene;
  std::string error;
  bool read = platform::ReadXFile(data, size, &scene, &error);
  if (!read) Check(scene.meshes.empty() && scene.frames.empty() && !error.empty());
  // Everything the reader hands out stays inside its tables.
  for (const platform::XMesh& m : scene.meshes) {
    for (uint32_t i : m.triangles) Check(i < m.positions.size());
    Check(m.triangleMaterials.size() * 3 == m.triangles.size());
    for (uint32_t a : m.triangleMaterials) Check(a < m.materials.size());
    for (const platform::XSkinWeights& w : m.skin)
      for (uint32_t v : w.vertices) Check(v < m.positions.size());
  }
  static render::GraphicsSystem gs;  // no device: models build headless
  for (uint32_t flags : {0u, uint32_t(render::kMeshHierarchy | render::kMeshSimplify)}) {
    render::CMesh mesh;
    int built = mesh.BuildMeshFromX(gs, data, int(size), flags);
    if (!built) {
      Check(mesh.containerCount == 0 && mesh.frameCount == 0 && mesh.plainMesh == nullptr);
      continue;
    }
    if (!scene.animationSets.empty())
      mesh.SetMeshAnimation(nullptr, nullptr, scene.animationSets[0].name.c_str(), 0.5f, nullptr, 0, 1);
    platform::Vec3 p;
    mesh.RayHitMesh(&p, nullptr, nullptr, {0, 0, -100}, {0, 0, 100}, 1, nullptr);
    mesh.GetMeshBounds(nullptr, nullptr, nullptr, nullptr);
  }
  return 0;
}
