// platform_xfile.h -- our reader of DirectX X files (text, binary and
// MSZIP-compressed), standing in for the loaders the model code was designed
// around. It turns a file into plain tables: frames with their matrices,
// meshes with everything a model needs, and animation sets.
//
// Notes for callers:
//  - The reader knows the standard templates (Frame, FrameTransformMatrix,
//    Mesh, MeshNormals, MeshTextureCoords, MeshVertexColors,
//    MeshMaterialList, Material, TextureFilename, XSkinMeshHeader,
//    SkinWeights, AnimTicksPerSecond, AnimationSet, Animation, AnimationKey)
//    and skips every other data object and every template definition.
//  - Faces with more than three corners are cut into fans; a position used
//    with different normals is split into one vertex per normal, as the
//    designed loader did, so a box with per-face normals keeps hard edges.
//  - Every count is checked against the bytes that remain before anything
//    is allocated, and every index against its table: a damaged file is
//    refused with a reason and never read out of bounds.
//  - Texts (names, texture file names) are the file's bytes (Shift-JIS).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_math.h"

namespace platform {

// A material of a mesh (colours r, g, b, a; the texture file name may be
// empty).
struct XMaterial {
  float diffuse[4] = {1, 1, 1, 1};
  float power = 0;
  float specular[3] = {0, 0, 0};
  float emissive[3] = {0, 0, 0};
  std::string textureFile;
};

// The vertices that one bone moves, with their weights, and the bone's
// offset matrix (mesh space to bone space). Indices are of XMesh::vertices.
struct XSkinWeights {
  std::string frameName;
  std::vector<uint32_t> vertices;
  std::vector<float> weights;
  Matrix offset = {};
};

// One mesh, after normal splitting and triangulation. Per-vertex tables are
// either empty or as long as `positions`.
struct XMesh {
  std::string name;
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;        // from the file, when it had them
  std::vector<float> texCoords;     // u, v per vertex
  std::vector<Vec4> colours;        // r, g, b, a per vertex
  std::vector<uint32_t> triangles;  // three vertex indices a triangle
  std::vector<uint32_t> triangleMaterials;  // material index per triangle
  std::vector<XMaterial> materials;
  std::vector<XSkinWeights> skin;   // one entry a bone
  int maxWeightsPerVertex = 0, maxWeightsPerFace = 0;  // XSkinMeshHeader
};

// A frame of the hierarchy. Links are indices into XScene::frames (-1 for
// none); meshes are indices into XScene::meshes in file order.
struct XFrame {
  std::string name;
  Matrix transform;
  std::vector<int> meshes;
  int firstChild = -1, nextSibling = -1;
};

// One key of an animation: its time in ticks and up to 16 values
// (rotation w, x, y, z; scale or position x, y, z; a matrix row by row).
struct XAnimationKey {
  uint32_t time = 0;
  float values[16] = {};
};

// The keys that animate one frame.
struct XAnimation {
  std::string frameName;
  std::vector<XAnimationKey> rotations, scales, positions, matrices;
};

struct XAnimationSet {
  std::string name;
  std::vector<XAnimation> animations;
};

// A whole file. Top-level meshes (outside any frame) hang from a frame of
// their own with an empty name and the identity matrix, as the designed
// loader did. `roots` are the top-level frames in file order.
struct XScene {
  std::vector<XFrame> frames;
  std::vector<int> roots;
  std::vector<XMesh> meshes;
  std::vector<XAnimationSet> animationSets;
  uint32_t ticksPerSecond = 4800;
};

// Limits of the reader (larger files are refused, not truncated).
constexpr size_t kXMaxInflatedBytes = 64u << 20;  // a compressed file's content
constexpr int kXMaxDepth = 256;                   // nesting of data objects

// Reads an X file held in memory. True and `*out` filled, or false with a
// one-line reason in `*error` (ending in the line, for a text file) and
// `*out` left empty.
bool ReadXFile(const void* bytes, size_t size, XScene* out, std::string* error);

// The MSZIP content of a compressed ("tzip"/"bzip") file, header excluded,
// for tools and tests: false with a reason when it does not inflate.
bool InflateXFile(const uint8_t* bytes, size_t size, std::string* out, std::string* error);

}  // namespace platform
