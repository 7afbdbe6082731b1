// render_model_files_test.cpp -- X files as other tools write them: template
// definitions of every form ahead of the data, comments and separators in
// the ways exporters place them, and damage behind the templates.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "model_fixture.h"
#include "platform/platform_xfile.h"
#include "render/render_local.h"

namespace {

using namespace rendertest;
using render::CMesh;
using render::GraphicsSystem;

class ModelFileTest : public ModelFixture {};

// Reads bytes with the reader alone; the reason on failure.
bool Read(const std::string& bytes, platform::XScene* scene, std::string* error) {
  return platform::ReadXFile(bytes.data(), bytes.size(), scene, error);
}

// One triangle, with the text between the header and the mesh.
std::string TriangleAfter(const std::string& before) {
  return "xof 0303txt 0032\n" + before + "\nMesh Tri { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n";
}

// The box in binary form with `tokens` (binary tokens) between the header
// and the data.
std::string BinaryBoxAfter(const std::string& tokens) {
  std::string box = Fixture("box_bin.x");
  return box.substr(0, 16) + tokens + box.substr(16);
}

std::string Bin16(uint16_t v) { return std::string{char(v & 255), char(v >> 8)}; }
std::string Bin32(uint32_t v) { return Bin16(uint16_t(v & 0xFFFF)) + Bin16(uint16_t(v >> 16)); }
std::string BinName(const std::string& name) { return Bin16(1) + Bin32(uint32_t(name.size())) + name; }

// ----------------------------------------------------------------------------
// The standard templates ahead of a mesh
// ----------------------------------------------------------------------------

TEST_F(ModelFileTest, StandardTemplatesAheadOfAFrameAreSkippedAndTheMeshCounts) {
  // The fixture is written by hand with the counts worked out beside it:
  // 5 positions, a quad and four triangles, a normal a face, 2 materials.
  std::string bytes = Fixture("templates.x");
  platform::XScene scene;
  std::string error;
  ASSERT_TRUE(Read(bytes, &scene, &error)) << error;
  ASSERT_EQ(scene.meshes.size(), 1u);
  const platform::XMesh& m = scene.meshes[0];
  EXPECT_EQ(m.name, "PyramidMesh");
  EXPECT_EQ(m.positions.size(), 16u);  // 4 base corners + 4 sides x 3 corners
  EXPECT_EQ(m.triangles.size(), 18u);  // the quad in two, four triangles
  EXPECT_EQ(m.triangleMaterials, (std::vector<uint32_t>{0, 0, 1, 1, 1, 1}));
  ASSERT_EQ(m.materials.size(), 2u);
  EXPECT_FLOAT_EQ(m.materials[0].power, 10.0f);
  EXPECT_EQ(m.materials[0].textureFile, "");
  EXPECT_FLOAT_EQ(m.materials[1].diffuse[1], 0.8f);
  EXPECT_EQ(m.materials[1].textureFile, "box.bmp");
  EXPECT_EQ(m.texCoords.size(), 32u);
  ASSERT_EQ(scene.frames.size(), 1u);
  EXPECT_EQ(scene.frames[0].name, "Pyramid");
  EXPECT_FLOAT_EQ(scene.frames[0].transform.m[3][1], 2.0f);
  EXPECT_EQ(scene.frames[0].meshes, std::vector<int>{0});

  // The model built from it, plain and as a hierarchy, has the same counts.
  for (uint32_t flags : {0u, uint32_t(render::kMeshHierarchy)}) {
    SCOPED_TRACE(flags);
    CMesh mesh;
    ASSERT_EQ(Build(gs, mesh, bytes, flags), 1);
    EXPECT_EQ(mesh.containerCount, 1);
    EXPECT_EQ(mesh.GetMeshVertexCount(-1), 16);
    EXPECT_EQ(mesh.GetMeshFaceCount(-1), 6);
    EXPECT_EQ(mesh.materialCounts[0], 2);
    ASSERT_NE(mesh.GetMeshTextureName(0, 1), nullptr);
    EXPECT_STREQ(mesh.GetMeshTextureName(0, 1), "box.bmp");
  }
  EXPECT_NE(Log().find("Faces-6  Vertices-16"), std::string::npos);
}

TEST_F(ModelFileTest, EveryFormOfTemplateDefinitionIsSkipped) {
  const char* guid = "<3D82AB44-62DA-11cf-AB39-0020AF71E433>";
  const std::string forms[] = {
      std::string("template Plain { ") + guid + " DWORD a; FLOAT b; STRING c; }",
      std::string("template Sized { ") + guid + " array DWORD a[2]; array FLOAT m[4][4]; }",
      std::string("template ByMember { ") + guid + " DWORD n; array Vector v[n]; }",
      std::string("template Open { ") + guid + " [...] }",
      std::string("template Open2 { ") + guid + " DWORD n; [ ... ] }",
      std::string("template Restricted { ") + guid + " [Mesh, MeshNormals] }",
      std::string("template RestrictedByGuid { ") + guid + " [Mesh " + guid + ", Material " + guid + "] }",
      "template NoGuid { DWORD a; }",
      "template Empty {\n}",
      std::string("template\nSplit\n{\n") + guid + "\narray\nDWORD\nindices\n[\nnIndices\n]\n;\n}",
      "template Upper { <3d82ab44-62da-11cf-ab39-0020af71e433> ARRAY WORD w[3]; }",
  };
  for (const std::string& form : forms) {
    SCOPED_TRACE(form);
    platform::XScene scene;
    std::string error;
    ASSERT_TRUE(Read(TriangleAfter(form), &scene, &error)) << error;
    ASSERT_EQ(scene.meshes.size(), 1u);
    EXPECT_EQ(scene.meshes[0].triangles.size(), 3u);
  }

  // The binary form: "template Foo { <guid> array DWORD a[2]; [...] }" in
  // tokens, ahead of the binary box.
  std::string head = Bin16(31) + BinName("Foo") + Bin16(10) + Bin16(5) + std::string(16, '\x11');
  std::string member = Bin16(52) + Bin16(41) + BinName("a") + Bin16(14) + Bin16(3) + Bin32(2) + Bin16(15) + Bin16(20);
  std::string open = Bin16(14) + Bin16(18) + Bin16(18) + Bin16(18);
  std::string close = Bin16(15) + Bin16(11);
  platform::XScene scene;
  std::string error;
  ASSERT_TRUE(Read(BinaryBoxAfter(head + member + open + close), &scene, &error)) << error;
  ASSERT_EQ(scene.meshes.size(), 1u);
  EXPECT_EQ(scene.meshes[0].positions.size(), 24u);

  // Its brackets are held to the same shape as the text form's.
  struct Case {
    const char* what;
    std::string tokens;
    std::string reason;
  } damaged[] = {
      {"restriction without its closing bracket", head + member + open + Bin16(11),
       "a template definition with an unclosed bracket"},
      {"closing bracket without its opening one", head + member + close,
       "a template definition with a stray bracket"},
  };
  for (const Case& c : damaged) {
    SCOPED_TRACE(c.what);
    platform::XScene broken;
    EXPECT_FALSE(Read(BinaryBoxAfter(c.tokens), &broken, &error));
    EXPECT_EQ(error, c.reason);
    EXPECT_TRUE(broken.meshes.empty());
  }
}

// ----------------------------------------------------------------------------
// Comments and separators
// ----------------------------------------------------------------------------

TEST_F(ModelFileTest, CommentsAndSeparatorsAsExportersWriteThem) {
  const std::string variants[] = {
      // Separators after every field, ";;" closing arrays, ",;" as some write.
      "Mesh { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }",
      "Mesh {\n3;\n0.0,0.0,0.0,\n1.0,0.0,0.0,\n0.0,1.0,0.0;\n1;\n3,0,1,2,;\n}",
      // No separators at all, only white space.
      "Mesh { 3 0 0 0 1 0 0 0 1 0 1 3 0 1 2 }",
      // Comments of both kinds, whole lines and behind data, and CR LF ends.
      "# made by hand\r\nMesh { // the mesh\r\n 3; # three\r\n 0;0;0;, // first\r\n 1;0;0;,\r\n"
      "# between values\r\n 0;1;0;;\r\n 1; 3;0,1,2;; // one face\r\n}\r\n",
      // Exponents, signs and leading dots as printf writes them.
      "Mesh { 3; 0.0e+00;-0.0;+0.0;, 1.000000E0;.0;0;, -.0;1e0;0;; 1; 3;0,1,2;; }",
  };
  for (const std::string& body : variants) {
    SCOPED_TRACE(body);
    platform::XScene scene;
    std::string error;
    ASSERT_TRUE(Read("xof 0303txt 0032\n" + body, &scene, &error)) << error;
    ASSERT_EQ(scene.meshes.size(), 1u);
    const platform::XMesh& m = scene.meshes[0];
    ASSERT_EQ(m.positions.size(), 3u);
    EXPECT_EQ(m.triangles, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(m.positions[1].x, 1.0f);
    EXPECT_EQ(m.positions[2].y, 1.0f);
  }
}

// ----------------------------------------------------------------------------
// Damage behind templates
// ----------------------------------------------------------------------------

TEST_F(ModelFileTest, DamageBehindTemplatesIsRefusedWithItsReasonAndLine) {
  const std::string good = Fixture("templates.x");
  auto lineOf = [&](const std::string& text, const std::string& what) {
    size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    return std::to_string(1 + std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n'));
  };
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return s.replace(at, from.size(), to);
  };

  std::string badIndex = replaced("3;3,4,0;;", "3;3,4,9;;");
  std::string missingCount = replaced("  MeshNormals {\n   5;", "  MeshNormals {\n   ;");
  std::string bracketInData = replaced("  5;\n  4;0,1,2,3;,", "  [5];\n  4;0,1,2,3;,");
  std::string unclosedTemplate = replaced(" FLOAT v;\n}", " FLOAT v;\n");
  std::string braceInTemplate = replaced(" STRING filename;", " STRING filename; { }");
  std::string unclosedBracket = replaced(" [Mesh, MeshNormals]", " [Mesh, MeshNormals");
  std::string strayBracket = replaced(" array DWORD version[2];", " array DWORD version 2];");
  std::string nameless = replaced("template Vector {", "template {");
  std::string cut = good.substr(0, good.find("template Mesh {") + 40);

  struct Case {
    const char* what;
    std::string bytes;
    std::string reason;
  } cases[] = {
      {"face index out of range", badIndex,
       "a face names a vertex that does not exist (line " + lineOf(badIndex, "3;3,4,9;;") + ")"},
      {"a count missing", missingCount, "a count or index out of range"},
      {"a bracket in the data", bracketInData, "a number was expected (line " + lineOf(bracketInData, "[5]") + ")"},
      {"template without its closing brace", unclosedTemplate, "a template definition is not closed"},
      {"brace inside a template", braceInTemplate, "a template definition is not closed"},
      {"restriction without its closing bracket", unclosedBracket, "a template definition with an unclosed bracket"},
      {"closing bracket without its opening one", strayBracket, "a template definition with a stray bracket"},
      {"template without its name", nameless, "a template definition without its name"},
      {"file cut inside a template", cut, "a template definition is not closed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::XScene scene;
    std::string error;
    EXPECT_FALSE(Read(c.bytes, &scene, &error));
    EXPECT_EQ(error.substr(0, c.reason.size()), c.reason) << error;
    EXPECT_TRUE(scene.meshes.empty());
    CMesh mesh;
    EXPECT_EQ(Build(gs, mesh, c.bytes, 0), 0);
    EXPECT_EQ(mesh.containerCount, 0);
  }
  // The log names the failure and gives the reason on the next line.
  std::string text = Log();
  EXPECT_NE(text.find(test::Sjis("Xファイル読み込み失敗")), std::string::npos);
  EXPECT_NE(text.find("  a face names a vertex that does not exist (line "), std::string::npos);
}

}  // namespace
