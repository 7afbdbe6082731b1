// render_mesh_geometry.cpp -- vertex tables of models: the blend format,
// skin conversion into bone combinations, tangent frames for the effect
// layout and the vertex-count simplifications.

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>

#include "render/render_local.h"

namespace render {

using namespace platform;

MeshBuffer::~MeshBuffer() {
  // Buffers whose device is gone only free their records.
  if (owner) {
    if (vb) owner->Gfx().ReleaseBuffer(vb);
    if (ib) owner->Gfx().ReleaseBuffer(ib);
  }
}

namespace {

// Area-weighted face normals summed per vertex, then normalised.
void ComputeNormals(MeshBuffer* mesh, int normalOffset) {
  int n = mesh->VertexCount();
  std::vector<Vec3> sum(size_t(n), Vec3{0, 0, 0});
  for (size_t i = 0; i + 2 < mesh->indices.size(); i += 3) {
    int a = mesh->indices[i], b = mesh->indices[i + 1], c = mesh->indices[i + 2];
    Vec3 pa = mesh->Position(a), pb = mesh->Position(b), pc = mesh->Position(c);
    Vec3 f = Vec3Cross(Vec3Subtract(pb, pa), Vec3Subtract(pc, pa));
    for (int v : {a, b, c}) sum[size_t(v)] = Vec3Add(sum[size_t(v)], f);
  }
  for (int v = 0; v < n; v++) {
    Vec3 nrm = Vec3Normalize(sum[size_t(v)]);
    std::memcpy(mesh->Floats(v, normalOffset), &nrm, sizeof nrm);
  }
}

}  // namespace

// ----------------------------------------------------------------------------
// Blend format: 48-byte vertices, one vertex table range per subset (a
// vertex used by two materials is copied, so every vertex belongs to one
// subset and can carry that subset's material colour).
// ----------------------------------------------------------------------------

MeshBuffer* MakeBlendMesh(const XMesh& src, std::string* error) {
  size_t triangles = src.triangleMaterials.size();
  std::vector<uint32_t> order(triangles);
  for (size_t i = 0; i < triangles; i++) order[i] = uint32_t(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return src.triangleMaterials[a] < src.triangleMaterials[b]; });
  auto* mesh = new MeshBuffer;
  mesh->layout = kLayoutFvfMesh;
  mesh->stride = 48;
  std::vector<int64_t> remap(src.positions.size(), -1);
  std::vector<uint32_t> touched;
  std::vector<uint32_t> indices32;
  indices32.reserve(triangles * 3);
  size_t t = 0;
  while (t < triangles) {
    uint32_t material = src.triangleMaterials[order[t]];
    MeshSubset subset = {};
    subset.attribId = material;
    subset.faceStart = uint32_t(t);
    subset.vertexStart = uint32_t(mesh->source.size());
    for (uint32_t& b : subset.boneId) b = kNoBone;
    for (uint32_t v : touched) remap[v] = -1;
    touched.clear();
    for (; t < triangles && src.triangleMaterials[order[t]] == material; t++) {
      for (int k = 0; k < 3; k++) {
        uint32_t v = src.triangles[size_t(order[t]) * 3 + size_t(k)];
        if (remap[v] < 0) {
          remap[v] = int64_t(mesh->source.size());
          mesh->source.push_back(v);
          touched.push_back(v);
        }
        indices32.push_back(uint32_t(remap[v]));
      }
      mesh->attributes.push_back(material);
    }
    subset.faceCount = uint32_t(t) - subset.faceStart;
    subset.vertexCount = uint32_t(mesh->source.size()) - subset.vertexStart;
    mesh->subsets.push_back(subset);
  }
  if (mesh->source.size() > 65535) {
    *error = "more than 65535 vertices";
    delete mesh;
    return nullptr;
  }
  mesh->indices.assign(indices32.begin(), indices32.end());
  mesh->vertices.assign(mesh->source.size() * 48, 0);
  for (size_t v = 0; v < mesh->source.size(); v++) {
    uint32_t s = mesh->source[v];
    std::memcpy(mesh->Floats(int(v), 0), &src.positions[s], 12);
    uint32_t white = 0xFFFFFFFFu;
    std::memcpy(&mesh->vertices[v * 48 + kMeshDiffuseOffset48], &white, 4);
    if (!src.texCoords.empty()) std::memcpy(mesh->Floats(int(v), kMeshUvOffset), &src.texCoords[size_t(s) * 2], 8);
  }
  ComputeNormals(mesh, kMeshNormalOffset48);
  return mesh;
}

// ----------------------------------------------------------------------------
// Skin conversion: faces are grouped, per material, into combinations of at
// most four bones; each combination gets its own vertex range whose blend
// weights follow the combination's bone order.
// ----------------------------------------------------------------------------

void ConvertToBlendedMesh(MeshBuffer* mesh, const XMesh& source, const MeshSkinInfo& skin,
                          uint32_t* maxFaceInfluences, uint32_t* combinationCount) {
  struct Influence {
    uint32_t bone;
    float weight;
  };
  // The four strongest influences of every file vertex.
  std::vector<std::vector<Influence>> influences(source.positions.size());
  for (size_t b = 0; b < source.skin.size(); b++) {
    const XSkinWeights& w = source.skin[b];
    for (size_t i = 0; i < w.vertices.size(); i++)
      if (w.weights[i] > 0.0f) influences[w.vertices[i]].push_back({uint32_t(b), w.weights[i]});
  }
  for (auto& list : influences) {
    std::sort(list.begin(), list.end(), [](const Influence& a, const Influence& b) { return a.weight > b.weight; });
    if (list.size() > 4) list.resize(4);
  }
  (void)skin;
  std::vector<uint8_t> out;
  std::vector<uint32_t> outSource;
  std::vector<uint16_t> outIndices;
  std::vector<uint32_t> outAttributes;
  std::vector<MeshSubset> combos;
  uint32_t maxBones = 1;
  std::vector<int64_t> remap;
  std::vector<uint32_t> touched;
  remap.assign(size_t(mesh->VertexCount()), -1);

  auto faceBones = [&](uint32_t f, uint32_t* bones, float* strength) {
    int n = 0;
    for (int k = 0; k < 3; k++) {
      for (const Influence& in : influences[mesh->source[mesh->indices[f * 3 + uint32_t(k)]]]) {
        int j = 0;
        while (j < n && bones[j] != in.bone) j++;
        if (j == n) {
          bones[n] = in.bone;
          strength[n] = 0;
          n++;
        }
        strength[j] += in.weight;
      }
    }
    // Keep the four strongest bones of the face.
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++)
        if (strength[j] > strength[i]) {
          std::swap(strength[i], strength[j]);
          std::swap(bones[i], bones[j]);
        }
    return n > 4 ? 4 : n;
  };

  for (const MeshSubset& subset : mesh->subsets) {
    uint32_t f = subset.faceStart, end = subset.faceStart + subset.faceCount;
    while (f < end) {
      MeshSubset c = {};
      c.attribId = subset.attribId;
      c.faceStart = uint32_t(outIndices.size() / 3);
      c.vertexStart = uint32_t(outSource.size());
      for (uint32_t& b : c.boneId) b = kNoBone;
      int used = 0;
      for (uint32_t v : touched) remap[v] = -1;
      touched.clear();
      for (; f < end; f++) {
        uint32_t bones[12];
        float strength[12];
        int n = faceBones(f, bones, strength);
        // Does the face fit the combination?
        uint32_t merged[4];
        int m = used;
        for (int i = 0; i < used; i++) merged[i] = c.boneId[i];
        bool fits = true;
        for (int i = 0; i < n && fits; i++) {
          int j = 0;
          while (j < m && merged[j] != bones[i]) j++;
          if (j == m) {
            if (m == 4) fits = false;
            else merged[m++] = bones[i];
          }
        }
        if (!fits && used > 0) break;  // the next combination takes it
        for (int i = 0; i < m; i++) c.boneId[i] = merged[i];
        used = m;
        for (int k = 0; k < 3; k++) {
          uint32_t v = mesh->indices[f * 3 + uint32_t(k)];
          if (remap[v] < 0) {
            remap[v] = int64_t(outSource.size());
            touched.push_back(v);
            outSource.push_back(v);  // for now: the blend mesh's vertex
          }
          outIndices.push_back(uint16_t(remap[v]));
        }
        outAttributes.push_back(c.attribId);
      }
      c.faceCount = uint32_t(outIndices.size() / 3) - c.faceStart;
      c.vertexCount = uint32_t(outSource.size()) - c.vertexStart;
      if (uint32_t(used) > maxBones) maxBones = uint32_t(used);
      combos.push_back(c);
    }
  }
  // The vertices of every combination, weights in its bone order.
  out.assign(outSource.size() * 48, 0);
  for (const MeshSubset& c : combos) {
    for (uint32_t v = c.vertexStart; v < c.vertexStart + c.vertexCount; v++) {
      uint32_t from = outSource[v];
      std::memcpy(&out[size_t(v) * 48], &mesh->vertices[size_t(from) * 48], 48);
      float w[4] = {0, 0, 0, 0};
      float total = 0;
      for (const Influence& in : influences[mesh->source[from]])
        for (int i = 0; i < 4; i++)
          if (c.boneId[i] == in.bone) {
            w[i] += in.weight;
            total += in.weight;
          }
      if (total > 0) {
        for (float& x : w) x /= total;
      } else if (c.boneId[0] != kNoBone) {
        w[0] = 1;  // a vertex no bone moves follows the combination's first bone
      }
      std::memcpy(&out[size_t(v) * 48 + kMeshWeightOffset48], w, 12);
      outSource[v] = mesh->source[from];
    }
  }
  if (outSource.size() > 65535) return;  // cannot be held: the plain mesh stays
  mesh->vertices = std::move(out);
  mesh->source = std::move(outSource);
  mesh->indices = std::move(outIndices);
  mesh->attributes = std::move(outAttributes);
  mesh->subsets = std::move(combos);
  mesh->skinned = true;
  mesh->dirty = true;
  *maxFaceInfluences = maxBones;
  *combinationCount = uint32_t(mesh->subsets.size());
}

// ----------------------------------------------------------------------------
// Effect layout: 88-byte vertices with float colour, tangent and binormal
// from uv 0, and four blend weights (the fourth what the three leave).
// ----------------------------------------------------------------------------

MeshBuffer* CloneToEffectLayout(const MeshBuffer& src) {
  auto* mesh = new MeshBuffer;
  mesh->layout = kLayoutMesh;
  mesh->stride = 88;
  mesh->indices = src.indices;
  mesh->attributes = src.attributes;
  mesh->subsets = src.subsets;
  mesh->source = src.source;
  mesh->skinned = src.skinned;
  int n = src.VertexCount();
  mesh->vertices.assign(size_t(n) * 88, 0);
  for (int v = 0; v < n; v++) {
    const uint8_t* s = &src.vertices[size_t(v) * 48];
    uint8_t* d = &mesh->vertices[size_t(v) * 88];
    std::memcpy(d, s, 12);
    std::memcpy(d + kMeshNormalOffset88, s + kMeshNormalOffset48, 12);
    uint32_t argb;
    std::memcpy(&argb, s + kMeshDiffuseOffset48, 4);
    float c[4] = {float((argb >> 16) & 255) / 255.0f, float((argb >> 8) & 255) / 255.0f, float(argb & 255) / 255.0f,
                  float(argb >> 24) / 255.0f};
    std::memcpy(d + kMeshColourOffset, c, 16);
    std::memcpy(d + kMeshUvOffset, s + kMeshUvOffset, 8);
    float w[4] = {0, 0, 0, 0};
    if (src.skinned) {
      std::memcpy(w, s + kMeshWeightOffset48, 12);
      w[3] = std::max(0.0f, 1.0f - w[0] - w[1] - w[2]);
    }
    std::memcpy(d + kMeshWeightOffset88, w, 16);
  }
  // Tangent frames: per-face tangents from the uv gradient, summed per
  // vertex, made orthogonal to the normal.
  std::vector<Vec3> tan(size_t(n), Vec3{0, 0, 0}), bin(size_t(n), Vec3{0, 0, 0});
  for (size_t i = 0; i + 2 < mesh->indices.size(); i += 3) {
    int ids[3] = {mesh->indices[i], mesh->indices[i + 1], mesh->indices[i + 2]};
    Vec3 p[3];
    float uv[3][2];
    for (int k = 0; k < 3; k++) {
      p[k] = mesh->Position(ids[k]);
      std::memcpy(uv[k], mesh->Floats(ids[k], kMeshUvOffset), 8);
    }
    Vec3 e1 = Vec3Subtract(p[1], p[0]), e2 = Vec3Subtract(p[2], p[0]);
    float du1 = uv[1][0] - uv[0][0], dv1 = uv[1][1] - uv[0][1];
    float du2 = uv[2][0] - uv[0][0], dv2 = uv[2][1] - uv[0][1];
    float det = du1 * dv2 - du2 * dv1;
    if (std::fabs(det) < 1e-12f) continue;
    float r = 1.0f / det;
    Vec3 t = Vec3Scale(Vec3Subtract(Vec3Scale(e1, dv2), Vec3Scale(e2, dv1)), r);
    Vec3 b = Vec3Scale(Vec3Subtract(Vec3Scale(e2, du1), Vec3Scale(e1, du2)), r);
    for (int id : ids) {
      tan[size_t(id)] = Vec3Add(tan[size_t(id)], t);
      bin[size_t(id)] = Vec3Add(bin[size_t(id)], b);
    }
  }
  for (int v = 0; v < n; v++) {
    Vec3 nrm;
    std::memcpy(&nrm, mesh->Floats(v, kMeshNormalOffset88), 12);
    Vec3 t = tan[size_t(v)];
    t = Vec3Normalize(Vec3Subtract(t, Vec3Scale(nrm, Vec3Dot(nrm, t))));
    if (Vec3Length(t) == 0.0f) {
      // No uv gradient: any axis across the normal.
      Vec3 axis = std::fabs(nrm.x) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
      t = Vec3Normalize(Vec3Subtract(axis, Vec3Scale(nrm, Vec3Dot(nrm, axis))));
    }
    Vec3 b = Vec3Cross(nrm, t);
    if (Vec3Dot(b, bin[size_t(v)]) < 0.0f) b = Vec3Scale(b, -1.0f);
    std::memcpy(mesh->Floats(v, kMeshTangentOffset), &t, 12);
    std::memcpy(mesh->Floats(v, kMeshBinormalOffset), &b, 12);
  }
  return mesh;
}

// ----------------------------------------------------------------------------
// Simplification to a vertex budget (meshoptimizer's edge collapse, then the
// sloppy clustering when collapses stop short of the budget). The result's
// vertices are compacted; each face keeps the material of its subset.
// ----------------------------------------------------------------------------

MeshBuffer* SimplifyMesh(const MeshBuffer& src, int target) {
  int n = src.VertexCount();
  if (n <= 0 || target < 3 || src.skinned) return nullptr;
  std::vector<uint32_t> indices(src.indices.begin(), src.indices.end());
  std::vector<float> positions(size_t(n) * 3);
  for (int v = 0; v < n; v++) std::memcpy(&positions[size_t(v) * 3], src.Floats(v, 0), 12);
  std::vector<uint32_t> simplified(indices.size());
  double ratio = double(target) / double(n);
  for (int attempt = 0; attempt < 12; attempt++) {
    size_t wanted = size_t(double(indices.size()) * ratio) / 3 * 3;
    if (wanted < 3) wanted = 3;
    size_t count = attempt < 6 ? meshopt_simplify(simplified.data(), indices.data(), indices.size(), positions.data(),
                                                  size_t(n), 12, wanted, 1.0f, 0, nullptr)
                               : meshopt_simplifySloppy(simplified.data(), indices.data(), indices.size(),
                                                        positions.data(), size_t(n), 12, wanted, 1.0f, nullptr);
    std::vector<uint32_t> remap(static_cast<size_t>(n));
    size_t kept = meshopt_optimizeVertexFetchRemap(remap.data(), simplified.data(), count, size_t(n));
    if (count >= 3 && kept <= size_t(target)) {
      auto* mesh = new MeshBuffer;
      mesh->layout = src.layout;
      mesh->stride = src.stride;
      mesh->vertices.assign(kept * size_t(src.stride), 0);
      mesh->source.assign(kept, 0);
      for (int v = 0; v < n; v++) {
        if (remap[size_t(v)] == ~0u) continue;
        std::memcpy(&mesh->vertices[remap[size_t(v)] * size_t(src.stride)], &src.vertices[size_t(v) * size_t(src.stride)],
                    size_t(src.stride));
        mesh->source[remap[size_t(v)]] = src.source.empty() ? uint32_t(v) : src.source[size_t(v)];
      }
      // Faces sorted back into subsets by the material of their first
      // vertex's subset.
      std::vector<uint32_t> attributeOf(size_t(n), 0);
      for (const MeshSubset& s : src.subsets)
        for (uint32_t v = s.vertexStart; v < s.vertexStart + s.vertexCount && v < uint32_t(n); v++)
          attributeOf[v] = s.attribId;
      std::vector<uint32_t> faces(count / 3);
      for (size_t f = 0; f < faces.size(); f++) faces[f] = uint32_t(f);
      std::stable_sort(faces.begin(), faces.end(), [&](uint32_t a, uint32_t b) {
        return attributeOf[simplified[a * 3]] < attributeOf[simplified[b * 3]];
      });
      for (uint32_t f : faces) {
        for (int k = 0; k < 3; k++) mesh->indices.push_back(uint16_t(remap[simplified[f * 3 + uint32_t(k)]]));
        uint32_t a = attributeOf[simplified[f * 3]];
        if (mesh->subsets.empty() || mesh->subsets.back().attribId != a) {
          MeshSubset s = {};
          s.attribId = a;
          s.faceStart = uint32_t(mesh->attributes.size());
          s.vertexStart = 0;
          s.vertexCount = uint32_t(kept);
          for (uint32_t& b : s.boneId) b = kNoBone;
          mesh->subsets.push_back(s);
        }
        mesh->subsets.back().faceCount++;
        mesh->attributes.push_back(a);
      }
      return mesh;
    }
    ratio *= 0.7;
  }
  return nullptr;
}

}  // namespace render
