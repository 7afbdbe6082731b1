// render_local.h -- internals shared by the renderer's files.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <string>
#include <vector>

#include <cstring>

#include "core/core_public.h"
#include "platform/platform_xfile.h"
#include "render/render_public.h"

namespace render {

// Log lines go through core::Logf, which takes a missing log (tests may run
// without one).
using core::Logf;

// ----------------------------------------------------------------------------
// render_image.cpp
// ----------------------------------------------------------------------------

// A decoded image: 0xAARRGGBB pixels, top row first.
struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

enum class SniffResult { Known, Unknown, Bad };

// The size an image file's header announces: BMP, JPEG (walking its
// segments to the first baseline or progressive frame), DDS and PNG. Every
// read is bounded by `size`. Unknown data gives -1 x -1 with Unknown; a
// JPEG whose segments break off or do not chain gives Bad.
SniffResult SniffImageSize(const uint8_t* bytes, size_t size, int* width, int* height);

// Decodes PNG, JPEG, BMP, TGA (stb_image) and DDS (uncompressed 32/24/16-bit
// and DXT1/3/5, top level). False with a reason for anything else.
bool DecodeImage(const uint8_t* bytes, size_t size, Image* out, std::string* error);

// Pixels equal to `key` (all four channels) become transparent black.
void ApplyColourKey(Image* image, uint32_t key);
// Box-filtered resize to exactly w x h (w, h >= 1).
Image ResizeImage(const Image& image, int w, int h);
// The next smaller level of a mip chain (box filter, sizes halve down to 1).
Image HalveImage(const Image& image);

// Converts a level of heights into a normal map in place: 32-bit pixels
// (`pixels32`) or A1R5G5B5 pixels (`pixels16`), whichever is not null.
void HeightsToNormals32(uint32_t* pixels, int w, int h);
void HeightsToNormals16(uint16_t* pixels, int w, int h);

// 0xAARRGGBB to A1R5G5B5.
uint16_t ToA1R5G5B5(uint32_t argb);

// The 24-bit BMP file of `bgr` rows (top row first, width x 3 bytes each).
std::string EncodeBmp24(const uint8_t* bgr, int width, int height);
// An uncompressed 32-bit DDS of 0xAARRGGBB pixels.
std::string EncodeDds32(const uint32_t* pixels, int width, int height);
// A JPEG of `bgr` rows; empty on failure.
std::string EncodeJpeg(const uint8_t* bgr, int width, int height);

// ----------------------------------------------------------------------------
// render_text.cpp
// ----------------------------------------------------------------------------

// Where a line of `text` that is too wide for `limit` pixels breaks, with
// the kinsoku and word rules applied; -1 when not even one character fits.
// `measure(n)` gives the advance of the first n bytes. `quoteOpen` carries
// the alternation of double quotes from line to line.
int FindLineBreak(const char* text, int length, float limit, const std::function<float(int)>& measure,
                  bool* quoteOpen);

// The file that serves a Windows face name ("ＭＳ ゴシック", "Arial", ...):
// Japanese faces map to the installed CJK fonts, Latin faces to Liberation,
// anything else to the Gothic face.
std::string FontFileForFace(const char* face);

// ----------------------------------------------------------------------------
// Models (render_mesh*.cpp)
// ----------------------------------------------------------------------------

// A range of faces drawn with one material (and, in a skinned mesh, one set
// of bones).
struct MeshSubset {
  uint32_t attribId;   // material index
  uint32_t faceStart, faceCount;
  uint32_t vertexStart, vertexCount;
  uint32_t boneId[4];  // skinned meshes: bones of the blend matrices (kNoBone unused)
};
constexpr uint32_t kNoBone = 0xFFFFFFFFu;

// Our stand-in for a loaded mesh: vertices in one of the two mesh layouts,
// 16-bit indices, one material index a face and the subsets. The device
// buffers are made on first draw and refreshed when `dirty`.
struct MeshBuffer {
  uint32_t layout = platform::kLayoutFvfMesh;
  int stride = 48;
  std::vector<uint8_t> vertices;
  std::vector<uint16_t> indices;
  std::vector<uint32_t> attributes;  // per face
  std::vector<uint32_t> source;      // per vertex: its vertex in the file's mesh
  std::vector<MeshSubset> subsets;
  bool skinned = false;  // subsets are bone combinations
  platform::GfxBuffer* vb = nullptr;
  platform::GfxBuffer* ib = nullptr;
  // The renderer and device that made vb and ib: the buffers are given
  // back only while that device lives (one released before the model took
  // its buffers with it).
  const GraphicsSystem* owner = nullptr;
  platform::GfxDevice* device = nullptr;
  bool dirty = true;

  ~MeshBuffer();
  int VertexCount() const { return stride ? int(vertices.size() / size_t(stride)) : 0; }
  int FaceCount() const { return int(indices.size() / 3); }
  Vec3 Position(int v) const {
    Vec3 p;
    std::memcpy(&p, &vertices[size_t(v) * size_t(stride)], sizeof p);
    return p;
  }
  float* Floats(int v, int offset) { return reinterpret_cast<float*>(&vertices[size_t(v) * size_t(stride) + offset]); }
  const float* Floats(int v, int offset) const {
    return reinterpret_cast<const float*>(&vertices[size_t(v) * size_t(stride) + offset]);
  }
};

// Byte offsets inside the two mesh layouts.
constexpr int kMeshColourOffset = 24;     // 88-byte: float4 colour
constexpr int kMeshUvOffset = 40;         // both layouts
constexpr int kMeshTangentOffset = 48;    // 88-byte
constexpr int kMeshBinormalOffset = 60;   // 88-byte
constexpr int kMeshWeightOffset88 = 72;   // 88-byte: float4 weights
constexpr int kMeshNormalOffset88 = 12;
constexpr int kMeshWeightOffset48 = 12;   // 48-byte: three weights
constexpr int kMeshNormalOffset48 = 24;
constexpr int kMeshDiffuseOffset48 = 36;  // 48-byte: packed ARGB

// The bones of a skinned container: the frame each bone follows, its
// offset matrix and, per mesh vertex, its influences.
struct MeshSkinInfo {
  std::vector<std::string> boneNames;
  std::vector<Matrix> offsets;
  std::vector<MeshFrame*> boneFrames;  // resolved after the load, null when no frame has the name
  std::vector<Matrix> skinning;        // offset x combined, per bone (the records point here)
};

// Skinning matrices per posed record table, per container.
struct MeshPoseStore {
  std::unordered_map<const ObjectContainerRecord*, std::vector<std::vector<Matrix>>> poses;
};

// The keys of one animated frame and the frame they drive.
struct AnimationTrackKeys {
  MeshFrame* frame = nullptr;
  int frameIndex = -1;  // in CMesh::frames
  Matrix bind;          // the frame's matrix in the file (missing key kinds come from it)
  platform::XAnimation keys;
};
struct AnimationSetData {
  std::string name;
  std::vector<AnimationTrackKeys> animations;
  double period = 0;  // seconds (the last key's time)
};
// Our stand-in for the animation controller: the sets and two tracks.
struct AnimationController {
  std::vector<AnimationSetData> sets;
  double ticksPerSecond = 4800;
  struct Track {
    int set = -1;
    bool enabled = false;
    float weight = 0;
    double position = 0;  // seconds
  } tracks[2];
  // Evaluates the enabled tracks into the frames they animate.
  void AdvanceTime();
  // The set of that name, or -1.
  int FindSet(const char* name) const;
};

// The value of CMesh::boundsRecords while no bounds are cached.
inline const ObjectContainerRecord* const kNoBoundsRecords =
    reinterpret_cast<const ObjectContainerRecord*>(~uintptr_t(0));

// Builds the frame hierarchy of `scene` through the model's allocator
// operations and makes its animation controller (render_mesh_load.cpp).
// Frames and meshes past the tables are left out and logged to `log`.
bool LoadMeshHierarchy(CMesh& mesh, const platform::XScene& scene, MeshFrame** root,
                       AnimationController** controller, core::LogSystem* log = nullptr);

// Makes the 48-byte blend-format mesh of a reader mesh: positions,
// computed normals, white diffuse, uv; triangles sorted into subsets by
// material. Null when the mesh cannot be held (more than 65535 vertices).
MeshBuffer* MakeBlendMesh(const platform::XMesh& mesh, std::string* error);
// Splits a blend mesh into bone combinations of at most four bones.
void ConvertToBlendedMesh(MeshBuffer* mesh, const platform::XMesh& source, const MeshSkinInfo& skin,
                          uint32_t* maxFaceInfluences, uint32_t* combinationCount);
// The vertex-count simplification of a mesh to at most `target` vertices;
// null when it cannot get there.
MeshBuffer* SimplifyMesh(const MeshBuffer& mesh, int target);
// Copies a 48-byte mesh into the 88-byte effect layout with tangents and
// binormals from uv 0 and the normals.
MeshBuffer* CloneToEffectLayout(const MeshBuffer& mesh);

}  // namespace render
