// model_fixture.h -- the project's X-file fixtures (tests/render/data, made
// by tkw4-make-models, except templates.x, written by hand in the form
// other tools export) and small helpers to load and compare models.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "render/render_public.h"
#include "test_support.h"

namespace rendertest {

inline std::string FixturePath(const std::string& name) {
  const char* root = std::getenv("TKW4_SOURCE_DIR");
  return std::string(root ? root : ".") + "/tests/render/data/" + name;
}

inline std::string Fixture(const std::string& name) {
  std::string bytes = test::ReadFile(FixturePath(name));
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

// Builds a model from bytes on a renderer without a device.
inline int Build(render::GraphicsSystem& gs, render::CMesh& mesh, const std::string& bytes, uint32_t flags) {
  return mesh.BuildMeshFromX(gs, bytes.data(), int(bytes.size()), flags);
}

// The posed positions of container n.
inline std::vector<platform::Vec3> Posed(const render::CMesh& mesh, int n,
                                         const render::ObjectContainerRecord* records = nullptr) {
  std::vector<platform::Vec3> out(70000);
  int count = 0;
  EXPECT_TRUE(mesh.GetPosedVertices(n, records, out.data(), int(out.size()), &count));
  out.resize(size_t(count));
  return out;
}

// A renderer without device, logging into a fresh folder.
class ModelFixture : public ::testing::Test {
 protected:
  test::ScopedWorkFolder folder;
  core::LogSystem log{"system.log", 0};
  render::GraphicsSystem gs;
  ModelFixture() { gs.log = &log; }

  std::string Log() {
    log.CloseLog();
    return test::ReadFile(folder.Path() + "/system.log");
  }
};

#define EXPECT_VEC3_NEAR(a, bx, by, bz, eps) \
  do {                                       \
    platform::Vec3 v_ = (a);                 \
    EXPECT_NEAR(v_.x, (bx), (eps));          \
    EXPECT_NEAR(v_.y, (by), (eps));          \
    EXPECT_NEAR(v_.z, (bz), (eps));          \
  } while (0)

// A chain of `frames` frames, each holding a one-triangle mesh when `meshes`.
inline std::string Chain(int frames, bool meshes) {
  std::string s = "xof 0303txt 0032\n";
  for (int i = 0; i < frames; i++) {
    s += "Frame F" + std::to_string(i) + " {\n";
    if (meshes) s += "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n";
  }
  for (int i = 0; i < frames; i++) s += "}\n";
  return s;
}

}  // namespace rendertest
