// render_system_content_test.cpp -- the committed system content
// (games/ZadAzorad, made by tkw4-make-system-content) packed as the build
// packs it and loaded through the package by the names and load flags the
// world uses: every texture decodes at its size, every model builds.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/core_public.h"
#include "render_fixture.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

class SystemContent : public rendertest::RenderFixture {
 protected:
  test::ScopedWorkFolder folder;
  core::LogSystem log{"system.log", 0};
  core::FilePackageTable packages;

  // Packs the content folder into ZadAzorad.pac in the work folder and
  // mounts only the package (the link to the sources is gone by then).
  void SetUp() override {
    const char* root = std::getenv("TKW4_SOURCE_DIR");
    fs::path source = fs::path(root ? root : ".") / "games" / "ZadAzorad";
    ASSERT_TRUE(fs::is_directory(source)) << source;
    fs::create_directory_symlink(source, "ZadAzorad");
    {
      core::FilePackageTable builder;
      builder.AddFilesToPackage("ZadAzorad", 0, 0);  // -1 for a folder
      ASSERT_TRUE(builder.lastError.empty()) << builder.lastError;
      ASSERT_GT(builder.Count(), 30);
      ASSERT_EQ(builder.SavePackage("ZadAzorad.pac"), 1) << builder.lastError;
    }
    fs::remove("ZadAzorad");
    ASSERT_GE(packages.LoadFilePackage("ZadAzorad.pac"), 0) << packages.lastError;
    gs.log = &log;
    gs.packages = &packages;
    Start(1);
  }
};

TEST_F(SystemContent, EveryTextureLoadsAtItsSize) {
  struct Case {
    const char* name;
    uint32_t flags;
    int width, height;
  } cases[] = {
      {"ZadAzorad\\Effect\\smoke.jpg", 0x8002, 64, 64},
      {"ZadAzorad\\Effect\\Fire1.png", 0x8002, 64, 64},
      {"ZadAzorad\\Effect\\Fire2.png", 0x20002, 64, 64},
      {"ZadAzorad\\Effect\\Fire3.bmp", 0x8002, 32, 32},
      {"ZadAzorad\\Effect\\rain.bmp", 0, 16, 64},
      {"ZadAzorad\\Effect\\snow.bmp", 0x8002, 32, 32},
      {"ZadAzorad\\Effect\\cloud0.dds", 0, 256, 256},
      {"ZadAzorad\\Effect\\cloud1.dds", 0, 256, 256},
      {"ZadAzorad\\Effect\\electric.png", 0x8002, 128, 128},
      {"ZadAzorad\\Effect\\lightning.png", 0x8002, 256, 512},  // pivot x 128, length 512
      {"ZadAzorad\\Effect\\splash.png", 0, 64, 128},           // one 64 x 128 cell
      {"ZadAzorad\\Effect\\Hit1.png", 0x8002, 64, 64},
      {"ZadAzorad\\Effect\\Hit2.png", 0x8002, 64, 64},
      {"ZadAzorad\\Effect\\Hit3.png", 0x8002, 64, 64},
      {"ZadAzorad\\Effect\\Hit4.png", 0x8002, 64, 64},
      {"ZadAzorad\\Effect\\Hit5.png", 0x8002, 32, 32},
      {"ZadAzorad\\Effect\\sun.jpg", 0x8002, 128, 128},  // pivot (64, 64)
      {"ZadAzorad\\Effect\\sunlight.jpg", 0x8002, 256, 256},
      {"ZadAzorad\\Effect\\glare.jpg", 0x8002, 256, 256},
      {"ZadAzorad\\Effect\\cloud0.png", 0, 128, 128},
      {"ZadAzorad\\Effect\\gunfire.png", 0x8202, 64, 64},
      {"ZadAzorad\\Effect\\sonic.png", 0x8202, 128, 128},
      {"ZadAzorad\\Effect\\aero_light_red.png", 0x8002, 32, 32},
      {"ZadAzorad\\Effect\\aero_light_blue.png", 0x8002, 32, 32},
      {"ZadAzorad\\Effect\\aero_light_white.png", 0x8002, 32, 32},
      {"ZadAzorad\\systembox.jpg", 0x2, 64, 64},
      {"ZadAzorad\\Sky\\sky_clear.png", 0x2, 256, 256},
      {"ZadAzorad\\Sky\\sky_cloudy.png", 0x2, 256, 256},
  };
  for (const Case& c : cases) {
    render::TextureHolder holder;
    EXPECT_EQ(holder.LoadTextureFile(gs, c.name, c.flags), 1) << c.name;
    EXPECT_NE(holder.texture, nullptr) << c.name;
    EXPECT_EQ(holder.width, c.width) << c.name;
    EXPECT_EQ(holder.height, c.height) << c.name;
    holder.ReleaseTexture(gs);
  }
}

TEST_F(SystemContent, TheModelsBuildWithTheirShapes) {
  struct Case {
    const char* name;
    int vertices, faces;
    platform::Vec3 min, max;
  } cases[] = {
      // A sleeve from z 0 to 1 widening to radius 1, faces on both sides.
      {"ZadAzorad\\Effect\\Heat.x", 0, 96, {-1, -1, 0}, {1, 1, 1}},
      {"ZadAzorad\\Effect\\surface_xy.x", 0, 4, {-0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}},
      {"ZadAzorad\\systembox.x", 24, 12, {-1, -1, -1}, {1, 1, 1}},
  };
  for (const Case& c : cases) {
    render::CMesh mesh;
    ASSERT_EQ(mesh.LoadXFile(gs, c.name, 0), 1) << c.name;
    ASSERT_EQ(mesh.GetMeshContainerCount(), 1) << c.name;
    if (c.vertices) {
      EXPECT_EQ(mesh.GetMeshVertexCount(0), c.vertices) << c.name;
    }
    EXPECT_EQ(mesh.GetMeshFaceCount(0), c.faces) << c.name;
    platform::Vec3 hi{}, lo{};
    mesh.GetMeshBounds(&hi, &lo, nullptr, nullptr);
    EXPECT_NEAR(lo.x, c.min.x, 1e-4f) << c.name;
    EXPECT_NEAR(lo.y, c.min.y, 1e-4f) << c.name;
    EXPECT_NEAR(lo.z, c.min.z, 1e-4f) << c.name;
    EXPECT_NEAR(hi.x, c.max.x, 1e-4f) << c.name;
    EXPECT_NEAR(hi.y, c.max.y, 1e-4f) << c.name;
    EXPECT_NEAR(hi.z, c.max.z, 1e-4f) << c.name;
  }
  // The box carries its texture's name for whoever dresses it.
  render::CMesh box;
  ASSERT_EQ(box.LoadXFile(gs, "ZadAzorad\\systembox.x", 0), 1);
  ASSERT_NE(box.GetMeshTextureName(0, 0), nullptr);
  EXPECT_STREQ(box.GetMeshTextureName(0, 0), "systembox.jpg");
}

TEST_F(SystemContent, TheWholeSetStaysSmall) {
  EXPECT_LT(fs::file_size("ZadAzorad.pac"), 1536u * 1024u);
}

}  // namespace
