// render_model_test.cpp -- the X-file reader and CMesh: the same box in
// every file form, hierarchies, skinning and animation, limits of the
// tables, levels of detail, and refused files.

#include <cmath>
#include <cstring>
#include <string>

#include "core/core_public.h"
#include "core/core_package.h"
#include "render/render_local.h"
#include "model_fixture.h"
#include "platform/platform_xfile.h"

namespace {

using namespace rendertest;
using platform::Vec3;
using render::CMesh;
using render::GraphicsSystem;

// ----------------------------------------------------------------------------
// Text models built in the tests
// ----------------------------------------------------------------------------

// A plain triangle mesh with `materials` materials, face i using material i
// (modulo the count).
std::string ManyMaterials(int materials) {
  std::string s = "xof 0303txt 0032\nMesh {\n";
  int faces = materials;
  s += std::to_string(faces * 3) + ";\n";
  for (int f = 0; f < faces; f++)
    for (int k = 0; k < 3; k++) s += std::to_string(f) + ";" + std::to_string(k == 1) + ";" + std::to_string(k == 2) + ";,\n";
  s += ";" + std::to_string(faces) + ";\n";
  for (int f = 0; f < faces; f++)
    s += "3;" + std::to_string(f * 3) + "," + std::to_string(f * 3 + 1) + "," + std::to_string(f * 3 + 2) + ";,\n";
  s += "; MeshMaterialList { " + std::to_string(materials) + "; " + std::to_string(faces) + ";\n";
  for (int f = 0; f < faces; f++) s += std::to_string(f) + ",";
  s += ";\n";
  for (int m = 0; m < materials; m++)
    s += "Material { " + std::to_string(m / 100.0) + ";0;0;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { \"t" +
         std::to_string(m) + ".bmp\"; } }\n";
  s += "} }\n";
  return s;
}

// A flat grid of n x n vertices (large meshes, simplification).
std::string Grid(int n) {
  std::string s = "xof 0303txt 0032\nMesh {\n" + std::to_string(n * n) + ";\n";
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++)
      s += std::to_string(x) + ";" + std::to_string(y) + ";" + std::to_string((x * 7 + y * 3) % 5 * 0.1) + ";,\n";
  s += ";" + std::to_string((n - 1) * (n - 1)) + ";\n";
  for (int y = 0; y + 1 < n; y++)
    for (int x = 0; x + 1 < n; x++) {
      int a = y * n + x;
      s += "4;" + std::to_string(a) + "," + std::to_string(a + n) + "," + std::to_string(a + n + 1) + "," +
           std::to_string(a + 1) + ";,\n";
    }
  s += "; }\n";
  return s;
}

class ModelTest : public ModelFixture {};

// ----------------------------------------------------------------------------
// The same box in every form
// ----------------------------------------------------------------------------

TEST_F(ModelTest, TextBinaryAndCompressedBoxesLoadTheSameVertices) {
  const char* forms[] = {"box.x", "box_bin.x", "box_tzip.x", "box_bzip.x"};
  std::vector<Vec3> reference;
  for (const char* name : forms) {
    SCOPED_TRACE(name);
    CMesh mesh;
    ASSERT_EQ(Build(gs, mesh, Fixture(name), 0), 1);
    EXPECT_EQ(mesh.containerCount, 1);
    // Eight corners split by six normals: four vertices a face.
    EXPECT_EQ(mesh.GetMeshVertexCount(0), 24);
    EXPECT_EQ(mesh.GetMeshFaceCount(0), 12);
    EXPECT_EQ(mesh.materialCounts[0], 1);
    EXPECT_FLOAT_EQ(mesh.materials[0][0].diffuse[0], 1.0f);
    EXPECT_FLOAT_EQ(mesh.materials[0][0].ambient[1], 0.0f);  // ambient = diffuse
    EXPECT_FLOAT_EQ(mesh.materials[0][0].power, 10.0f);
    ASSERT_NE(mesh.GetMeshTextureName(0, 0), nullptr);
    EXPECT_STREQ(mesh.GetMeshTextureName(0, 0), "box.bmp");
    std::vector<Vec3> v = Posed(mesh, 0);
    if (reference.empty()) {
      reference = v;
      continue;
    }
    ASSERT_EQ(v.size(), reference.size());
    for (size_t i = 0; i < v.size(); i++) EXPECT_VEC3_NEAR(v[i], reference[i].x, reference[i].y, reference[i].z, 0);
  }
  // Box and radius of the corners.
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, Fixture("box.x"), 0), 1);
  Vec3 lo, hi;
  mesh.GetMeshBounds(&hi, &lo, nullptr, nullptr);
  EXPECT_VEC3_NEAR(lo, -1, -1, -1, 1e-6);
  EXPECT_VEC3_NEAR(hi, 1, 1, 1, 1e-6);
  EXPECT_NEAR(mesh.GetMeshRadius(nullptr), std::sqrt(3.0f), 1e-5);
  EXPECT_EQ(mesh.triangleCounts[0], 12);
}

TEST_F(ModelTest, LoadFlagsKeepOrDropTextureNamesAndFlagWordsChange) {
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, Fixture("box.x"), render::kMeshNoTextureNames), 1);
  EXPECT_EQ(mesh.GetMeshTextureName(0, 0), nullptr);
  EXPECT_EQ(mesh.SetMeshFlags(render::kMeshMirror), render::kMeshNoTextureNames | render::kMeshMirror);
  EXPECT_EQ(mesh.ClearMeshFlags(render::kMeshNoTextureNames), render::kMeshMirror);
}

TEST_F(ModelTest, ReaderSplitsNormalsTriangulatesAndKeepsMaterials) {
  platform::XScene scene;
  std::string error;
  std::string bytes = Fixture("box_bzip.x");
  ASSERT_TRUE(platform::ReadXFile(bytes.data(), bytes.size(), &scene, &error)) << error;
  ASSERT_EQ(scene.meshes.size(), 1u);
  const platform::XMesh& m = scene.meshes[0];
  EXPECT_EQ(m.name, "Box");
  EXPECT_EQ(m.positions.size(), 24u);
  EXPECT_EQ(m.triangles.size(), 36u);
  ASSERT_EQ(m.materials.size(), 1u);
  EXPECT_EQ(m.materials[0].textureFile, "box.bmp");
  // Every vertex's normal is its face's: the three corners of a triangle agree.
  for (size_t t = 0; t < m.triangles.size(); t += 3) {
    const Vec3& a = m.normals[m.triangles[t]];
    const Vec3& b = m.normals[m.triangles[t + 2]];
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
  }
}

TEST_F(ModelTest, PlainFileWithTwentyMaterialsKeepsTheFirstSixteen) {
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, ManyMaterials(20), 0), 1);
  EXPECT_EQ(mesh.materialCounts[0], 16);
  EXPECT_STREQ(mesh.GetMeshTextureName(0, 15), "t15.bmp");
  EXPECT_EQ(mesh.GetMeshTextureName(0, 16), nullptr);
  EXPECT_NEAR(mesh.materials[0][15].diffuse[0], 0.15f, 1e-6);
  EXPECT_EQ(mesh.GetMeshFaceCount(0), 20);  // faces past the table draw with the last material
}

// ----------------------------------------------------------------------------
// Tables and queries
// ----------------------------------------------------------------------------

TEST_F(ModelTest, HierarchyCountsFacesAndVerticesPerContainerAndInAll) {
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, Chain(3, true), render::kMeshHierarchy), 1);
  EXPECT_EQ(mesh.frameCount, 3);
  EXPECT_EQ(mesh.containerCount, 3);
  EXPECT_EQ(mesh.GetMeshFaceCount(-1), 3);
  EXPECT_EQ(mesh.GetMeshVertexCount(-1), 9);
  EXPECT_EQ(mesh.GetMeshFaceCount(mesh.containerCount), 0);
  EXPECT_EQ(mesh.GetMeshVertexCount(99), 0);
  // Records are named after their frames and carry no animation.
  EXPECT_STREQ(mesh.records[2].frameName, "F2");
  EXPECT_EQ(mesh.SetMeshAnimation(nullptr, nullptr, "x", 0, nullptr, 0, 1), 0);
}

// Models past the tables load their first frames and containers: see
// render_carry_test.cpp.
TEST_F(ModelTest, TablesHoldTheirLimitsAndTheAllocatorRefusesPastThem) {
  for (const std::string& text : {Chain(128, false), Chain(32, true)}) {
    CMesh mesh;
    EXPECT_EQ(Build(gs, mesh, text, render::kMeshHierarchy), 1);
  }
  // The allocator itself answers 1 at a full table and makes nothing.
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, Chain(32, true), render::kMeshHierarchy), 1);
  platform::XMesh tri;
  tri.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  tri.triangles = {0, 1, 2};
  tri.triangleMaterials = {0};
  tri.materials.emplace_back();
  render::MeshContainer* c = nullptr;
  EXPECT_EQ(mesh.CreateMeshContainer("extra", &tri, 1, &c), 1);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(mesh.containerCount, 32);
  EXPECT_STREQ(mesh.records[31].frameName, "F31");
  CMesh frames;
  ASSERT_EQ(Build(gs, frames, Chain(128, false), render::kMeshHierarchy), 1);
  render::MeshFrame* f = nullptr;
  EXPECT_EQ(frames.CreateFrame("extra", &f), 1);
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(frames.frameCount, 128);
}

TEST_F(ModelTest, TextureLayersAreStoredPerContainerAndSubset) {
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, ManyMaterials(3), 0), 1);
  render::TextureHolder a, b;
  EXPECT_EQ(mesh.SetMeshTexture(-1, -1, &a), 1);
  EXPECT_EQ(mesh.GetMeshTexture(0, 2), &a);
  EXPECT_EQ(mesh.SetMeshBumpTexture(0, 1, &b), 1);
  EXPECT_EQ(mesh.GetMeshBumpTexture(0, 1), &b);
  EXPECT_EQ(mesh.GetMeshBumpTexture(0, 0), nullptr);
  EXPECT_EQ(mesh.SetMeshLightTexture(0, 3, &b), 0);  // past the material count
  EXPECT_EQ(mesh.SetMeshSpecularTexture(1, 0, &b), 0);
  EXPECT_EQ(mesh.GetMeshTexture(1, 0), nullptr);
  EXPECT_EQ(mesh.GetMeshTexture(0, 3), nullptr);
  mesh.SetMeshHeatTexture(&b);
  EXPECT_EQ(mesh.GetMeshHeatTexture(), &b);
}

// A material colour that is not a number (a damaged binary file can hold
// one) gives black, never an undefined conversion; the other parts stay.
TEST_F(ModelTest, NotANumberMaterialColoursBecomeBlack) {
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, ManyMaterials(1), 0), 1);
  float* diffuse = mesh.materials[0][0].diffuse;
  diffuse[0] = diffuse[3] = std::nanf("");
  diffuse[1] = 1.0f;
  diffuse[2] = 0.5f;
  mesh.ApplyVertexColours();
  render::MeshBuffer* buffer = *mesh.records[0].meshSlot;
  ASSERT_NE(buffer, nullptr);
  ASSERT_EQ(buffer->stride, 48);
  uint32_t argb;
  std::memcpy(&argb, &buffer->vertices[render::kMeshDiffuseOffset48], 4);
  EXPECT_EQ(argb, 0x0000FF7Fu);  // a and r 0, g 255, b 127
}

TEST_F(ModelTest, ColourChangesOnlyWhatIsNotNegative) {
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, Fixture("box.x"), 0), 1);
  EXPECT_EQ(mesh.SetMeshColor(-1, -1, -1, -1), 1);
  EXPECT_EQ(mesh.color[0], 1.0f);
  EXPECT_EQ(mesh.SetMeshColor(0.5f, -1, -1, 0.25f), 1);
  EXPECT_EQ(mesh.color[0], 0.5f);
  EXPECT_EQ(mesh.color[1], 1.0f);
  EXPECT_EQ(mesh.color[3], 0.25f);
}

TEST_F(ModelTest, LargeMeshesGetSimplificationsAndCollideAgainstTheSmallerOne) {
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, Grid(30), render::kMeshSimplify), 1);
  EXPECT_EQ(mesh.GetMeshVertexCount(0), 900);
  ASSERT_NE(mesh.lodMeshes[0][0], nullptr);
  ASSERT_NE(mesh.lodMeshes[0][1], nullptr);
  EXPECT_LE(mesh.lodMeshes[0][0]->VertexCount(), 400);
  EXPECT_LE(mesh.lodMeshes[0][1]->VertexCount(), 100);
  // Collision from the 400-vertex copy, drawing with the full mesh.
  EXPECT_EQ(mesh.records[0].collisionMeshSlot, &mesh.lodMeshes[0][0]);
  EXPECT_EQ(mesh.records[0].chosenMeshSlot, nullptr);
  EXPECT_EQ(mesh.triangleCounts[0], mesh.lodMeshes[0][0]->FaceCount());
  mesh.PickMeshLod(0, 100);
  EXPECT_EQ(mesh.records[0].chosenMeshSlot, &mesh.lodMeshes[0][1]);
  mesh.PickMeshLod(-1, 300);
  EXPECT_EQ(mesh.records[0].chosenMeshSlot, &mesh.lodMeshes[0][0]);
  mesh.PickMeshLod(0, 0);
  EXPECT_EQ(mesh.records[0].chosenMeshSlot, nullptr);

  // Without the flag, or below 501 vertices, nothing is simplified.
  CMesh plain;
  ASSERT_EQ(Build(gs, plain, Grid(30), 0), 1);
  EXPECT_EQ(plain.lodMeshes[0][0], nullptr);
  plain.PickMeshLod(0, 100);
  EXPECT_EQ(plain.records[0].chosenMeshSlot, nullptr);
  EXPECT_EQ(plain.triangleCounts[0], 29 * 29 * 2);
}

// ----------------------------------------------------------------------------
// Skinning and animation
// ----------------------------------------------------------------------------

TEST_F(ModelTest, SkinnedArmPosedAtKnownTimesMatchesHandComputedVertices) {
  for (const char* name : {"arm.x", "arm_bzip.x"}) {
    SCOPED_TRACE(name);
    CMesh mesh;
    ASSERT_EQ(Build(gs, mesh, Fixture(name), render::kMeshHierarchy), 1);
    EXPECT_EQ(mesh.frameCount, 3);
    EXPECT_EQ(mesh.containerCount, 1);
    EXPECT_EQ(mesh.boneCounts[0], 2u);
    EXPECT_EQ(mesh.maxFaceInfluences[0], 2u);
    ASSERT_NE(mesh.animationController, nullptr);

    // The file's own vertex of a position: find it among the posed ones.
    auto find = [&](const std::vector<Vec3>& posed, const Vec3& bind) {
      std::vector<Vec3> rest = Posed(mesh, 0);
      (void)rest;
      const render::MeshBuffer& buffer = *mesh.containers[0]->mesh;
      for (int v = 0; v < buffer.VertexCount(); v++) {
        Vec3 p = buffer.Position(v);
        if (p.x == bind.x && p.y == bind.y && p.z == bind.z) return posed[size_t(v)];
      }
      ADD_FAILURE() << "no vertex at " << bind.x << "," << bind.y;
      return Vec3{0, 0, 0};
    };
    // Bind pose: everything where the file put it.
    std::vector<Vec3> posed = Posed(mesh, 0);
    EXPECT_VEC3_NEAR(find(posed, {0.5f, 4, 0}), 0.5f, 4, 0, 1e-5);

    // Bend at its end: Bone2 a quarter turn about z around (0, 2, 0).
    ASSERT_EQ(mesh.SetMeshAnimation(nullptr, nullptr, "Bend", 1.0f, nullptr, 0, 1), 1);
    posed = Posed(mesh, 0);
    EXPECT_VEC3_NEAR(find(posed, {0.5f, 4, 0}), -2.0f, 2.5f, 0, 1e-5);
    EXPECT_VEC3_NEAR(find(posed, {0.5f, 0, 0}), 0.5f, 0, 0, 1e-5);
    // Half on each bone: the average of (0.5, 2) and (0, 2.5).
    EXPECT_VEC3_NEAR(find(posed, {0.5f, 2, 0}), 0.25f, 2.25f, 0, 1e-5);

    // Half way: an eighth of a turn.
    ASSERT_EQ(mesh.SetMeshAnimation(nullptr, nullptr, "Bend", 0.5f, nullptr, 0, 1), 1);
    posed = Posed(mesh, 0);
    float c = std::sqrt(0.5f);
    EXPECT_VEC3_NEAR(find(posed, {0.5f, 4, 0}), 0.5f * c - 2 * c, 0.5f * c + 2 * c + 2, 0, 1e-4);

    // Points by frame: the bone's skinning matrix.
    Vec3 out;
    EXPECT_EQ(mesh.TransformPointByFrame(&out, "Bone2", {0.5f, 4, 0}), 1);
    EXPECT_VEC3_NEAR(out, 0.5f * c - 2 * c, 0.5f * c + 2 * c + 2, 0, 1e-4);
    EXPECT_EQ(mesh.TransformPointByFrame(&out, "NoSuchFrame", {1, 2, 3}), 0);
    EXPECT_VEC3_NEAR(out, 1, 2, 3, 0);
    EXPECT_EQ(mesh.TransformPointByFrame(&out, nullptr, {1, 2, 3}), 0);
  }
}

TEST_F(ModelTest, TwoTracksBlendAndOneFrameAnimatesAlone) {
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, Fixture("arm.x"), render::kMeshHierarchy), 1);
  // Lift is two seconds long: time 1 is its end, whatever the other set's
  // length (one second).
  render::ObjectContainerRecord table[render::kMeshMaxContainers] = {};
  ASSERT_EQ(mesh.SetMeshAnimation(table, nullptr, "Lift", 1.0f, nullptr, 0, 1), 1);
  Vec3 out;
  render::MeshSkinInfo& skin = *mesh.containers[0]->skinInfo;
  out = platform::Vec3TransformCoord({0, 0, 0}, skin.skinning[0]);
  EXPECT_VEC3_NEAR(out, 0, 1, 0, 1e-5);
  // The table keeps its own copy of the pose.
  ASSERT_NE(table[0].boneMatrices, nullptr);
  EXPECT_NE(table[0].boneMatrices, skin.skinning.data());
  out = platform::Vec3TransformCoord({0, 0, 0}, table[0].boneMatrices[0]);
  EXPECT_VEC3_NEAR(out, 0, 1, 0, 1e-5);
  // Two tracks of the same set, its end and its start by half each: an
  // eighth of a turn. Bone1 is no part of Bend and keeps Lift's unit rise.
  // (A frame that only one track animates takes that track's pose.)
  ASSERT_EQ(mesh.SetMeshAnimation(nullptr, nullptr, "Bend", 1.0f, "Bend", 0.0f, 0.5f), 1);
  float c = std::sqrt(0.5f);
  out = platform::Vec3TransformCoord({0.5f, 4, 0}, skin.skinning[1]);
  EXPECT_VEC3_NEAR(out, 0.5f * c - 2 * c, 0.5f * c + 2 * c + 3, 0, 1e-4);
  // Weight 0.75 on the end: three eighths of the quarter turn.
  ASSERT_EQ(mesh.SetMeshAnimation(nullptr, nullptr, "Bend", 1.0f, "Bend", 0.0f, 0.75f), 1);
  float a = 3.14159265f / 2 * 0.75f;
  out = platform::Vec3TransformCoord({0.5f, 4, 0}, skin.skinning[1]);
  EXPECT_VEC3_NEAR(out, 0.5f * std::cos(a) - 2 * std::sin(a), 0.5f * std::sin(a) + 2 * std::cos(a) + 3, 0, 1e-4);
  // Lift at half its length raises Bone1 by half; then only Bone2 moves
  // and Bone1 keeps that half lift.
  ASSERT_EQ(mesh.SetMeshAnimation(nullptr, nullptr, "Lift", 0.5f, nullptr, 0, 1), 1);
  out = platform::Vec3TransformCoord({0, 0, 0}, skin.skinning[0]);
  EXPECT_VEC3_NEAR(out, 0, 0.5f, 0, 1e-5);
  ASSERT_EQ(mesh.SetMeshAnimation(nullptr, "Bone2", "Bend", 1.0f, "Lift", 0.0f, 1.0f), 1);
  out = platform::Vec3TransformCoord({0, 0, 0}, skin.skinning[0]);
  EXPECT_VEC3_NEAR(out, 0, 0.5f, 0, 1e-5);
  out = platform::Vec3TransformCoord({0.5f, 4, 0}, skin.skinning[1]);
  EXPECT_VEC3_NEAR(out, -2.0f, 3.0f, 0, 1e-4);
  // A set nobody has leaves the pose and still answers 1.
  EXPECT_EQ(mesh.SetMeshAnimation(nullptr, nullptr, "Nothing", 0.5f, nullptr, 0, 1), 1);
}

// ----------------------------------------------------------------------------
// Refused files
// ----------------------------------------------------------------------------

TEST_F(ModelTest, DamagedFilesAreRefusedWithTheLogLineAndNothingBuilt) {
  const std::string box = Fixture("box.x");
  std::string hugeCount = box;
  hugeCount.replace(hugeCount.find(" 8;"), 3, " 99999999;");
  std::string badIndex = box;
  badIndex.replace(badIndex.find("4;3,2,1,0;"), 10, "4;3,2,1,9;");
  std::string twoCorners = box;
  twoCorners.replace(twoCorners.find("4;3,2,1,0;"), 10, "2;3,2;");
  std::string badNormal = box;
  badNormal.replace(badNormal.find("4;0,0,0,0;"), 10, "4;0,0,0,7;");
  std::string badMaterial = box;
  badMaterial.replace(badMaterial.find("0,0,0,0,0,0;"), 12, "0,0,0,0,0,3;");
  std::string unclosed = box.substr(0, box.rfind('}'));
  std::string deep = "xof 0303txt 0032\n" + std::string(200, '\0');
  deep = "xof 0303txt 0032\n";
  for (int i = 0; i < 300; i++) deep += "Frame {";
  std::string badFloat = "xof 0303txt 0016\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }";
  std::string compressed = Fixture("box_bzip.x");
  std::string badBlock = compressed;
  badBlock[26] ^= 0x55;  // inside the deflate data
  std::string hugeInflate = compressed;
  hugeInflate[19] = char(0x7F);  // announces ~2 GB
  std::string shortBlock = compressed.substr(0, compressed.size() - 10);
  std::string binary = Fixture("box_bin.x");
  std::string hugeList = binary;
  // The first float list's count (after "Mesh", "Box", "{" and the vertex count).
  size_t at = hugeList.find(std::string("\x07\x00", 2));
  ASSERT_NE(at, std::string::npos);
  hugeList[at + 5] = char(0x40);

  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"not an X file", "hello world, this is no model at all"},
      {"count larger than the file", hugeCount},
      {"vertex index out of range", badIndex},
      {"face of two corners", twoCorners},
      {"normal index out of range", badNormal},
      {"material index out of range", badMaterial},
      {"unclosed object", unclosed},
      {"nesting too deep", deep},
      {"unknown float size", badFloat},
      {"damaged compressed block", badBlock},
      {"oversized inflated size", hugeInflate},
      {"compressed file cut short", shortBlock},
      {"binary list larger than the file", hugeList},
  };
  for (const Case& c : cases) {
    for (uint32_t flags : {0u, uint32_t(render::kMeshHierarchy)}) {
      SCOPED_TRACE(std::string(c.what) + (flags ? " (hierarchy)" : " (plain)"));
      CMesh mesh;
      EXPECT_EQ(mesh.BuildMeshFromX(gs, c.bytes.data(), int(c.bytes.size()), flags), 0);
      EXPECT_EQ(mesh.containerCount, 0);
      EXPECT_EQ(mesh.frameCount, 0);
      EXPECT_EQ(mesh.plainMesh, nullptr);
      EXPECT_EQ(mesh.GetMeshFaceCount(-1), 0);
      Vec3 p;
      EXPECT_EQ(mesh.RayHitMesh(&p, nullptr, nullptr, {0, 0, -5}, {0, 0, 5}, 0, nullptr), 0);
    }
  }
  std::string log = Log();
  EXPECT_NE(log.find(test::Sjis("Xファイル読み込み失敗")), std::string::npos);
  EXPECT_NE(log.find(test::Sjis("アニメーションつきXファイル読み込み失敗")), std::string::npos);
}

TEST_F(ModelTest, EveryCutOfEveryFormIsReadSafely) {
  // Truncations at every length: refused or read, never out of bounds (the
  // sanitizer build checks the second half of that).
  for (const char* name : {"box.x", "box_bin.x", "box_tzip.x", "arm_bzip.x", "templates.x"}) {
    std::string bytes = Fixture(name);
    for (size_t n = 0; n < bytes.size(); n++) {
      std::string cut = bytes.substr(0, n);
      CMesh mesh;
      int r = mesh.BuildMeshFromX(gs, cut.data(), int(cut.size()), render::kMeshHierarchy);
      if (!r) {
        EXPECT_EQ(mesh.containerCount, 0);
      }
    }
  }
}

TEST_F(ModelTest, LoadXFileReadsThroughTheFileLayer) {
  core::FilePackageTable packages;
  gs.packages = &packages;
  test::WriteFile("box.x", Fixture("box.x"));
  CMesh mesh;
  EXPECT_EQ(mesh.LoadXFile(gs, "box.x", 0), 1);
  EXPECT_EQ(mesh.GetMeshVertexCount(0), 24);
  CMesh missing;
  EXPECT_EQ(missing.LoadXFile(gs, "missing.x", 0), 0);
  std::string log = Log();
  EXPECT_NE(log.find(test::Sjis("Xファイル[box.x]を読み込みます。")), std::string::npos);
  EXPECT_NE(log.find("Faces-12  Vertices-24"), std::string::npos);
}

}  // namespace
