// render_mesh_load.cpp -- CMesh life: reset and release, loading X files
// into the fixed tables through the allocator operations, and the
// preparation of every container (layouts, boxes, levels of detail,
// collision triangles).

#include <cmath>

#include "render/render_local.h"

namespace render {

using namespace platform;
using core::Sjis;

namespace {

// The name record 0 carries when the file gave no frames to name it.
const char kDefaultFrameName[] = "__tkw4_root";

char* CopyName(const char* name) {
  size_t n = name ? std::strlen(name) : 0;
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (n) std::memcpy(copy, name, n);
  copy[n] = 0;
  return copy;
}

// A 260-byte copy of a texture file name (texts past 259 bytes are cut).
char* CopyTextureName(const std::string& name) {
  char* copy = static_cast<char*>(std::calloc(260, 1));
  std::memcpy(copy, name.data(), name.size() < 259 ? name.size() : 259);
  return copy;
}

GfxMaterial MaterialOf(const XMaterial& m) {
  GfxMaterial g = {};
  for (int i = 0; i < 4; i++) g.diffuse[i] = g.ambient[i] = m.diffuse[i];
  for (int i = 0; i < 3; i++) {
    g.specular[i] = m.specular[i];
    g.emissive[i] = m.emissive[i];
  }
  g.specular[3] = g.emissive[3] = 1.0f;
  g.power = m.power;
  return g;
}

// All meshes of a file as one, each carried by its frame's matrix: what a
// model loaded without hierarchy shows.
void MergeMeshes(const XScene& scene, XMesh* out) {
  std::vector<Matrix> combined(scene.frames.size(), MatrixIdentity());
  // Frames come in file order, parents before children.
  std::vector<int> stack;
  for (int root : scene.roots) {
    struct Item {
      int frame;
      Matrix parent;
    };
    std::vector<Item> items = {{root, MatrixIdentity()}};
    while (!items.empty()) {
      Item it = items.back();
      items.pop_back();
      for (int f = it.frame; f >= 0; f = -1) {
        combined[size_t(f)] = MatrixMultiply(scene.frames[size_t(f)].transform, it.parent);
        for (int c = scene.frames[size_t(f)].firstChild; c >= 0; c = scene.frames[size_t(c)].nextSibling)
          items.push_back({c, combined[size_t(f)]});
      }
    }
  }
  for (size_t f = 0; f < scene.frames.size(); f++) {
    for (int mi : scene.frames[f].meshes) {
      const XMesh& m = scene.meshes[size_t(mi)];
      uint32_t base = uint32_t(out->positions.size());
      uint32_t materialBase = uint32_t(out->materials.size());
      bool uv = !m.texCoords.empty();
      for (size_t v = 0; v < m.positions.size(); v++) {
        out->positions.push_back(Vec3TransformCoord(m.positions[v], combined[f]));
        out->texCoords.push_back(uv ? m.texCoords[v * 2] : 0.0f);
        out->texCoords.push_back(uv ? m.texCoords[v * 2 + 1] : 0.0f);
      }
      for (uint32_t i : m.triangles) out->triangles.push_back(base + i);
      for (uint32_t a : m.triangleMaterials) out->triangleMaterials.push_back(materialBase + a);
      out->materials.insert(out->materials.end(), m.materials.begin(), m.materials.end());
    }
  }
}

}  // namespace

// ----------------------------------------------------------------------------
// Construction, reset and release
// ----------------------------------------------------------------------------

CMesh::CMesh() {
  std::memset(frames, 0, sizeof frames);
  std::memset(frameCopies, 0, sizeof frameCopies);
  std::memset(containers, 0, sizeof containers);
  rootFrame = nullptr;
  ResetMesh();
}

void CMesh::ResetMesh() {
  plainMesh = nullptr;
  std::memset(lodMeshes, 0, sizeof lodMeshes);
  std::memset(materials, 0, sizeof materials);
  std::memset(diffuseTextures, 0, sizeof diffuseTextures);
  std::memset(bumpTextures, 0, sizeof bumpTextures);
  std::memset(specularTextures, 0, sizeof specularTextures);
  std::memset(lightTextures, 0, sizeof lightTextures);
  std::memset(textureNames, 0, sizeof textureNames);
  heatTexture = nullptr;
  std::memset(maxFaceInfluences, 0, sizeof maxFaceInfluences);
  std::memset(boneCombinationCounts, 0, sizeof boneCombinationCounts);
  std::memset(boneCounts, 0, sizeof boneCounts);
  std::memset(materialCounts, 0, sizeof materialCounts);
  std::memset(vertexCounts, 0, sizeof vertexCounts);
  std::memset(triangleCounts, 0, sizeof triangleCounts);
  std::memset(collisionTriangles, 0, sizeof collisionTriangles);
  std::memset(collisionNormals, 0, sizeof collisionNormals);
  std::memset(collisionEdges, 0, sizeof collisionEdges);
  std::memset(static_cast<void*>(records), 0, sizeof records);
  animationController = nullptr;
  poseStore = nullptr;
  rootFrame = nullptr;
  loadFlags = 0;
  shadersAtLoad = 0;
  frameCount = containerCount = 0;
  lastHitContainer = lastHitFace = -1;
  boundsRecords = kNoBoundsRecords;
  boundsRadius = 0;
  boundsMin = boundsMax = {0, 0, 0};
  color[0] = color[1] = color[2] = color[3] = 1.0f;
}

void CMesh::ReleaseMesh() {
  for (auto& row : textureNames)
    for (char*& name : row) {
      std::free(name);
      name = nullptr;
    }
  for (int n = 0; n < kMeshMaxContainers; n++) {
    FreeCollisionTriangles(n);
    delete lodMeshes[n][0];
    delete lodMeshes[n][1];
    lodMeshes[n][0] = lodMeshes[n][1] = nullptr;
    if (MeshContainer* c = containers[n]) {
      std::free(c->name);
      delete c->mesh;
      delete[] c->adjacency;
      delete c->skinInfo;
      delete c;
      containers[n] = nullptr;
    }
  }
  for (int i = 0; i < kMeshMaxFrames; i++) {
    if (frames[i]) std::free(frames[i]->name);
    delete frames[i];
    delete frameCopies[i];
    frames[i] = frameCopies[i] = nullptr;
  }
  delete plainMesh;
  delete animationController;
  delete poseStore;
  ResetMesh();
}

// ----------------------------------------------------------------------------
// Allocator operations
// ----------------------------------------------------------------------------

int CMesh::CreateFrame(const char* name, MeshFrame** out) {
  *out = nullptr;
  if (frameCount >= kMeshMaxFrames) return 1;
  if (!frames[frameCount]) frames[frameCount] = new MeshFrame;
  if (!frameCopies[frameCount]) frameCopies[frameCount] = new MeshFrame;
  MeshFrame* f = frames[frameCount];
  *f = MeshFrame{};
  *frameCopies[frameCount] = MeshFrame{};
  f->name = CopyName(name);
  f->transformationMatrix = MatrixIdentity();
  *out = f;
  frameCount++;
  return 0;
}

int CMesh::CreateMeshContainer(const char* name, const void* meshData, int materialCount, MeshContainer** out) {
  *out = nullptr;
  if (containerCount >= kMeshMaxContainers) return 1;
  const XMesh& src = *static_cast<const XMesh*>(meshData);
  std::string error;
  MeshBuffer* mesh = MakeBlendMesh(src, &error);
  if (!mesh) return 1;
  int n = containerCount;
  auto* c = new MeshContainer{};
  c->name = CopyName(name);
  c->index = n;
  c->meshType = 1;
  c->mesh = mesh;
  if (!src.skin.empty()) {
    auto* skin = new MeshSkinInfo;
    for (const XSkinWeights& w : src.skin) {
      skin->boneNames.push_back(w.frameName);
      skin->offsets.push_back(w.offset);
    }
    skin->boneFrames.assign(src.skin.size(), nullptr);
    skin->skinning.assign(src.skin.size(), MatrixIdentity());
    c->skinInfo = skin;
    boneCounts[n] = uint32_t(src.skin.size());
    ConvertToBlendedMesh(mesh, src, *skin, &maxFaceInfluences[n], &boneCombinationCounts[n]);
    if (!mesh->skinned) boneCombinationCounts[n] = 0;
  }
  int count = materialCount < kMeshMaxMaterials ? materialCount : kMeshMaxMaterials;
  c->materialCount = uint32_t(count);
  materialCounts[n] = count;
  for (int m = 0; m < count; m++) {
    materials[n][m] = MaterialOf(src.materials[size_t(m)]);
    if (!(loadFlags & kMeshNoTextureNames) && !src.materials[size_t(m)].textureFile.empty())
      textureNames[n][m] = CopyTextureName(src.materials[size_t(m)].textureFile);
  }
  // Faces of materials past the table draw with the last one kept.
  for (MeshSubset& s : mesh->subsets)
    if (count > 0 && s.attribId >= uint32_t(count)) s.attribId = uint32_t(count - 1);
  containers[n] = c;
  containerCount++;
  *out = c;
  return 0;
}

// ----------------------------------------------------------------------------
// The hierarchy build: frames depth first in file order, each frame's
// meshes before its children, every one through the allocator.
// ----------------------------------------------------------------------------

namespace {

// What the tables could not hold: a model past the limits still loads its
// first frames and containers, so that large units and map objects appear.
struct DroppedParts {
  int frames = 0;
  int containers = 0;
};

// Counts a frame left out with everything beneath it.
void DropFrameTree(const XScene& scene, int index, DroppedParts* dropped) {
  std::vector<int> stack = {index};
  while (!stack.empty()) {
    const XFrame& xf = scene.frames[size_t(stack.back())];
    stack.pop_back();
    dropped->frames++;
    dropped->containers += int(xf.meshes.size());
    for (int ci = xf.firstChild; ci >= 0; ci = scene.frames[size_t(ci)].nextSibling) stack.push_back(ci);
  }
}

// Builds one frame and its subtree. *out stays null when the frame table is
// full (the frame is counted as dropped); false only for a real failure.
bool BuildFrameTree(CMesh& mesh, const XScene& scene, int index, MeshFrame** out, int depth,
                    DroppedParts* dropped) {
  *out = nullptr;
  if (depth > kXMaxDepth) return false;
  const XFrame& xf = scene.frames[size_t(index)];
  if (mesh.frameCount >= kMeshMaxFrames) {
    DropFrameTree(scene, index, dropped);
    return true;
  }
  MeshFrame* f;
  if (mesh.CreateFrame(xf.name.c_str(), &f) != 0) return false;
  f->transformationMatrix = xf.transform;
  MeshContainer** link = &f->meshContainer;
  for (int mi : xf.meshes) {
    if (mesh.containerCount >= kMeshMaxContainers) {
      dropped->containers++;
      continue;
    }
    const XMesh& m = scene.meshes[size_t(mi)];
    MeshContainer* c;
    if (mesh.CreateMeshContainer(m.name.c_str(), &m, int(m.materials.size()), &c) != 0) return false;
    *link = c;
    link = &c->next;
  }
  MeshFrame** child = &f->firstChild;
  for (int ci = xf.firstChild; ci >= 0; ci = scene.frames[size_t(ci)].nextSibling) {
    if (!BuildFrameTree(mesh, scene, ci, child, depth + 1, dropped)) return false;
    if (*child) child = &(*child)->sibling;
  }
  *out = f;
  return true;
}

}  // namespace

bool LoadMeshHierarchy(CMesh& mesh, const XScene& scene, MeshFrame** root, AnimationController** controller,
                       core::LogSystem* log) {
  *root = nullptr;
  *controller = nullptr;
  MeshFrame** link = root;
  DroppedParts dropped;
  for (int r : scene.roots) {
    if (!BuildFrameTree(mesh, scene, r, link, 0, &dropped)) return false;
    if (*link) link = &(*link)->sibling;
  }
  if (dropped.frames || dropped.containers)
    Logf(log, core::kLogError, "X file: %d frames and %d meshes past the tables' %d frames and %d meshes were left out\n",
         dropped.frames, dropped.containers, kMeshMaxFrames, kMeshMaxContainers);
  if (scene.animationSets.empty()) return true;
  auto* ac = new AnimationController;
  ac->ticksPerSecond = scene.ticksPerSecond ? scene.ticksPerSecond : 4800;
  for (const XAnimationSet& xs : scene.animationSets) {
    AnimationSetData set;
    set.name = xs.name;
    uint32_t last = 0;
    for (const XAnimation& a : xs.animations) {
      AnimationTrackKeys k;
      for (int i = 0; i < mesh.frameCount; i++)
        if (a.frameName == mesh.frames[i]->name) {
          k.frame = mesh.frames[i];
          k.frameIndex = i;
          k.bind = mesh.frames[i]->transformationMatrix;
          break;
        }
      if (!k.frame) continue;  // animates a frame the model lacks
      k.keys = a;
      for (const auto* list : {&a.rotations, &a.scales, &a.positions, &a.matrices})
        for (const XAnimationKey& key : *list)
          if (key.time > last) last = key.time;
      set.animations.push_back(std::move(k));
    }
    set.period = double(last) / ac->ticksPerSecond;
    ac->sets.push_back(std::move(set));
  }
  *controller = ac;
  return true;
}

// ----------------------------------------------------------------------------
// Loading
// ----------------------------------------------------------------------------

int CMesh::LoadXFile(GraphicsSystem& gs, const char* name, uint32_t flags) {
  Logf(gs.log, core::kLogInfo, Sjis("Xファイル[%s]を読み込みます。\n"), name ? name : "");
  if (!gs.packages || !name) return 0;
  void* bytes = nullptr;
  int32_t size = core::ReadWholeFile(*gs.packages, &bytes, name);
  if (size <= 0 || !bytes) {
    core::HeapFreeCached(bytes);
    return 0;
  }
  int r = BuildMeshFromX(gs, bytes, size, flags);
  core::HeapFreeCached(bytes);
  return r;
}

int CMesh::BuildMeshFromX(GraphicsSystem& gs, const void* bytes, int size, uint32_t flags) {
  shadersAtLoad = gs.AreShadersOn();
  loadFlags = flags;
  containerCount = frameCount = 0;
  XScene scene;
  std::string error;
  bool read = size > 0 && ReadXFile(bytes, size_t(size), &scene, &error);
  if (flags & kMeshHierarchy) {
    MeshFrame* root = nullptr;
    AnimationController* controller = nullptr;
    if (!read || !LoadMeshHierarchy(*this, scene, &root, &controller, gs.log)) {
      Logf(gs.log, core::kLogError, "%s", Sjis("アニメーションつきXファイル読み込み失敗\n"));
      if (!error.empty()) Logf(gs.log, core::kLogError, "  %s\n", error.c_str());
      ReleaseMesh();
      return 0;
    }
    rootFrame = root;
    animationController = controller;
    // a. Frame copies with their links redirected to the copies.
    for (int i = 0; i < frameCount; i++) *frameCopies[i] = *frames[i];
    for (int i = 0; i < frameCount; i++)
      for (int j = 0; j < frameCount; j++) {
        if (frameCopies[i]->sibling == frames[j]) frameCopies[i]->sibling = frameCopies[j];
        if (frameCopies[i]->firstChild == frames[j]) frameCopies[i]->firstChild = frameCopies[j];
      }
    // b. Records take their mesh slots; bones find their frames by name.
    for (int n = 0; n < containerCount; n++) {
      MeshContainer* c = containers[n];
      records[n].meshSlot = &c->mesh;
      if (MeshSkinInfo* skin = c->skinInfo) {
        for (size_t b = 0; b < skin->boneNames.size(); b++)
          for (int i = 0; i < frameCount; i++)
            if (skin->boneNames[b] == frames[i]->name) {
              skin->boneFrames[b] = frames[i];
              break;
            }
        records[n].boneMatrices = skin->skinning.data();
      }
    }
    // c. The bind pose; d. without animation, record 0 as a plain model's.
    SetMeshAnimation(nullptr, nullptr, nullptr, 0, nullptr, 0, 1);
    if (!animationController) {
      records[0].frameName = kDefaultFrameName;
      records[0].combined = records[0].inverseCombined = MatrixIdentity();
      records[0].meshSlot = containerCount ? &containers[0]->mesh : nullptr;
    }
  } else {
    XMesh merged;
    if (read) MergeMeshes(scene, &merged);
    if (!read || merged.triangles.empty()) {
      Logf(gs.log, core::kLogError, "%s", Sjis("Xファイル読み込み失敗\n"));
      if (!error.empty()) Logf(gs.log, core::kLogError, "  %s\n", error.c_str());
      ReleaseMesh();
      return 0;
    }
    plainMesh = MakeBlendMesh(merged, &error);
    if (!plainMesh) {
      Logf(gs.log, core::kLogError, "%s", Sjis("Xファイル読み込み失敗\n"));
      ReleaseMesh();
      return 0;
    }
    int count = int(merged.materials.size()) < kMeshMaxMaterials ? int(merged.materials.size()) : kMeshMaxMaterials;
    materialCounts[0] = count;
    for (int m = 0; m < count; m++) {
      materials[0][m] = MaterialOf(merged.materials[size_t(m)]);
      if (!(flags & kMeshNoTextureNames) && !merged.materials[size_t(m)].textureFile.empty())
        textureNames[0][m] = CopyTextureName(merged.materials[size_t(m)].textureFile);
    }
    for (MeshSubset& s : plainMesh->subsets)
      if (s.attribId >= uint32_t(count)) s.attribId = uint32_t(count - 1);
    containerCount = 1;
    records[0].frameName = kDefaultFrameName;
    records[0].combined = records[0].inverseCombined = MatrixIdentity();
    records[0].meshSlot = &plainMesh;
  }
  // 4. Simplifications of large containers.
  for (int n = 0; n < containerCount; n++) {
    if (!records[n].meshSlot || !*records[n].meshSlot) continue;
    MeshBuffer* mesh = *records[n].meshSlot;
    vertexCounts[n] = mesh->VertexCount();
    if (vertexCounts[n] > 500 && (flags & kMeshSimplify)) {
      lodMeshes[n][0] = SimplifyMesh(*mesh, 400);
      if (!lodMeshes[n][0]) Logf(gs.log, core::kLogError, "%s", Sjis("シンプルメッシュの生成に失敗。\n"));
      lodMeshes[n][1] = SimplifyMesh(*mesh, 100);
      if (!lodMeshes[n][1]) Logf(gs.log, core::kLogError, "%s", Sjis("シンプルメッシュの生成に失敗。\n"));
    }
  }
  // 5. Preparation; the frames once more from the root.
  PrepareMeshContainers(gs);
  if (flags & kMeshHierarchy) UpdateFrameMatrices(rootFrame, nullptr);
  return 1;
}

// ----------------------------------------------------------------------------
// Preparation
// ----------------------------------------------------------------------------

void CMesh::PrepareMeshContainers(GraphicsSystem& gs) {
  for (int n = 0; n < containerCount; n++) {
    ObjectContainerRecord& r = records[n];
    if (!r.meshSlot || !*r.meshSlot) continue;
    // 1. The effect layout.
    if (shadersAtLoad) {
      MeshBuffer* clone = CloneToEffectLayout(**r.meshSlot);
      delete *r.meshSlot;
      *r.meshSlot = clone;
      for (MeshBuffer*& lod : lodMeshes[n])
        if (lod) {
          MeshBuffer* c = CloneToEffectLayout(*lod);
          delete lod;
          lod = c;
        }
    }
    // 2. Box, radius and vertex colours.
    MeshBuffer* mesh = *r.meshSlot;
    int count = mesh->VertexCount();
    Vec3 lo = {1000000, 1000000, 1000000}, hi = {-1000000, -1000000, -1000000};
    for (int v = 0; v < count; v++) {
      Vec3 p = mesh->Position(v);
      lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
      hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
    }
    if (count == 0) lo = hi = {0, 0, 0};
    r.boxMin = lo;
    r.boxMax = hi;
    r.radius = std::fmax(Vec3Length(lo), Vec3Length(hi));
    vertexCounts[n] = count;
    // 3. Levels of detail and collision triangles.
    if (count > 500 && (loadFlags & kMeshSimplify)) {
      PickMeshLod(n, 400);
      BuildCollisionTriangles(n, true);
      PickMeshLod(n, -1);
    } else {
      BuildCollisionTriangles(n, false);
    }
    Logf(gs.log, core::kLogInfo, "Faces-%d  Vertices-%d", mesh->FaceCount(), count);
  }
  // The material colours reach the vertices (the model colour is white).
  ApplyVertexColours();
}

}  // namespace render
