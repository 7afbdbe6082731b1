// render_mesh_draw.cpp -- drawing a CMesh: pass choice by the render
// target's kind, the five texture layers, plain and skinned containers on
// the effect path and the fixed-function path.

#include <vector>

#include "render/render_local.h"

namespace render {

using namespace platform;

namespace {

// Sends a mesh's tables to the device when they are new or changed.
bool UploadMesh(GraphicsSystem& gs, MeshBuffer* mesh) {
  const GfxApi& g = gs.Gfx();
  if ((mesh->vb || mesh->ib) && (mesh->owner != &gs || mesh->device != gs.GetDevice())) {
    // Made on another device (or one that is gone): let those go.
    const GfxApi& old = mesh->owner ? mesh->owner->Gfx() : g;
    if (mesh->vb) old.ReleaseBuffer(mesh->vb);
    if (mesh->ib) old.ReleaseBuffer(mesh->ib);
    mesh->vb = mesh->ib = nullptr;
  }
  if (!mesh->vb || !mesh->ib) {
    if (mesh->vertices.empty() || mesh->indices.empty()) return false;
    if (g.CreateVertexBuffer(gs.GetDevice(), int(mesh->vertices.size()), &mesh->vb) != 0) return false;
    if (g.CreateIndexBuffer(gs.GetDevice(), int(mesh->indices.size() * 2), &mesh->ib) != 0) {
      g.ReleaseBuffer(mesh->vb);
      mesh->vb = nullptr;
      return false;
    }
    mesh->owner = &gs;
    mesh->device = gs.GetDevice();
    mesh->dirty = true;
  }
  if (mesh->dirty) {
    if (void* p = g.LockBuffer(mesh->vb)) {
      std::memcpy(p, mesh->vertices.data(), mesh->vertices.size());
      g.UnlockBuffer(mesh->vb);
    }
    if (void* p = g.LockBuffer(mesh->ib)) {
      std::memcpy(p, mesh->indices.data(), mesh->indices.size() * 2);
      g.UnlockBuffer(mesh->ib);
    }
    mesh->dirty = false;
  }
  return true;
}

void SetWorld(GraphicsSystem& gs, int slot, const Matrix& m) {
  const GfxApi& g = gs.Gfx();
  if (gs.GetEffect()) g.SetMatrix(gs.GetEffect(), gs.Handles().world[slot], m);
  else if (slot == 0) g.SetTransform(gs.GetDevice(), kTransformWorld, m);
}

}  // namespace

int CMesh::DrawMesh(GraphicsSystem& gs, const Matrix* worldIn, const ObjectContainerRecord* table) {
  if (!gs.GetDevice() || containerCount <= 0) return 0;
  const ObjectContainerRecord* use = table && table[0].meshSlot ? table : records;
  if (!use[0].meshSlot || !*use[0].meshSlot) return 0;
  const GfxApi& g = gs.Gfx();
  GfxDevice* dev = gs.GetDevice();
  Matrix world = worldIn ? *worldIn : MatrixIdentity();
  bool effectPath = shadersAtLoad && gs.GetEffect();
  // 2. Blending and addressing from the first diffuse texture.
  TextureHolder* first = diffuseTextures[0][0];
  uint32_t firstFlags = first ? first->flags : 0;
  gs.SetBlendMode(firstFlags & 0x38000u);
  gs.SetTextureAddressing(firstFlags & 0xC0000u);
  // 3. Layers and the pass.
  int pass;
  uint32_t target = gs.GetTargetFlags();
  if (effectPath) {
    gs.SetMirrorRate((loadFlags & kMeshMirror) && !gs.IsMirrorMode() ? 1.0f : 0.0f);
    gs.BindBumpTexture(bumpTextures[0][0] ? bumpTextures[0][0]->texture : nullptr);
    gs.BindSpecularTexture(specularTextures[0][0] ? specularTextures[0][0]->texture : nullptr);
    gs.BindLightTexture(lightTextures[0][0] ? lightTextures[0][0]->texture : gs.GetBlackTexture()->texture);
    gs.BindHeatTexture(heatTexture ? heatTexture->texture : nullptr);
  }
  bool lit = (gs.GetRenderFlags() & kRenderLighting) != 0;
  if (target & kTargetSmallCopy) pass = SHADER_PASS_SMALL_COPY;
  else if (target & kTargetBloomCopy) pass = SHADER_PASS_BLOOM_COPY;
  else if (target & kTargetGlareCopy) pass = SHADER_PASS_GLARE_COPY;
  else if (target & kTargetHeatCopy) pass = SHADER_PASS_HEAT_COPY;
  else if (target & kTargetShadowMap) {
    if (firstFlags & 0x38000u) return 1;  // blended models cast no shadow
    pass = SHADER_PASS_3DMESH_SHADOWMAP;
  } else if (lit && (loadFlags & kMeshMirror)) {
    pass = SHADER_PASS_3DMESH_MIRROR;
  } else {
    pass = lit ? SHADER_PASS_3DMESH : SHADER_PASS_3DSPRITE;
  }
  gs.BeginScenePass(1, pass);
  // 4. Containers.
  for (int n = 0; n < containerCount; n++) {
    const ObjectContainerRecord& r = use[n];
    if (!r.meshSlot) continue;
    MeshBuffer* mesh = r.chosenMeshSlot && *r.chosenMeshSlot ? *r.chosenMeshSlot : *r.meshSlot;
    if (!mesh || mesh->subsets.empty()) continue;
    bool animated = animationController != nullptr || (loadFlags & kMeshHierarchy);
    Matrix base = animated ? MatrixMultiply(r.combined, world) : world;
    bool skinned = mesh->skinned && r.boneMatrices;
    if (skinned && !effectPath) {
      // The fixed pipeline blends no matrices here: the vertices are posed
      // on the processor and drawn straight from memory.
      std::vector<Vec3> posed(size_t(mesh->VertexCount()));
      int count = 0;
      if (!GetPosedVertices(n, use, posed.data(), int(posed.size()), &count)) continue;
      SetWorld(gs, 0, world);
      std::vector<uint8_t> expanded;
      for (const MeshSubset& s : mesh->subsets) {
        TextureHolder* tex = diffuseTextures[n][s.attribId < kMeshMaxMaterials ? s.attribId : 0];
        gs.BindTexture(tex ? tex->texture : nullptr);
        expanded.assign(size_t(s.faceCount) * 3 * 48, 0);
        for (uint32_t i = 0; i < s.faceCount * 3; i++) {
          uint16_t v = mesh->indices[size_t(s.faceStart) * 3 + i];
          std::memcpy(&expanded[size_t(i) * 48], &mesh->vertices[size_t(v) * 48], 48);
          std::memcpy(&expanded[size_t(i) * 48], &posed[v], 12);
        }
        gs.BeginScenePass(1, pass);
        if (s.faceCount) g.DrawPrimitiveUP(dev, kPrimTriangleList, int(s.faceCount), expanded.data(), 48);
      }
      continue;
    }
    if (!UploadMesh(gs, mesh)) continue;
    g.SetStreamSource(dev, mesh->vb);
    g.SetIndices(dev, mesh->ib);
    if (!skinned)
      for (int slot = 0; slot < 5; slot++) SetWorld(gs, slot, base);
    for (const MeshSubset& s : mesh->subsets) {
      if (skinned) {
        // Up to four blend matrices; unused places get the world matrix
        // with no weight.
        for (int i = 0; i < 5; i++) {
          uint32_t bone = i < 4 ? s.boneId[i] : kNoBone;
          bool valid = bone != kNoBone && bone < boneCounts[n];
          SetWorld(gs, i, valid ? MatrixMultiply(r.boneMatrices[bone], world) : base);
        }
      }
      TextureHolder* tex = diffuseTextures[n][s.attribId < kMeshMaxMaterials ? s.attribId : 0];
      gs.BindTexture(tex ? tex->texture : nullptr);
      gs.BeginScenePass(1, pass);
      if (s.faceCount)
        g.DrawIndexedPrimitive(dev, kPrimTriangleList, 0, int(s.faceStart) * 3, int(s.faceCount));
    }
  }
  return 1;
}

}  // namespace render
