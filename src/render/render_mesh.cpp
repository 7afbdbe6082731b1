// render_mesh.cpp -- CMesh poses and queries: frame matrices, the
// animation controller with its two blended tracks, records, bounds,
// colours, levels of detail, collision triangles and texture layers.

#include <cmath>

#include "render/render_local.h"

namespace render {

using namespace platform;

// ----------------------------------------------------------------------------
// Animation controller
// ----------------------------------------------------------------------------

namespace {

struct Quat {
  float x, y, z, w;
};

Quat Slerp(Quat a, Quat b, float t) {
  float d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (d < 0) {  // the shorter way round
    b = {-b.x, -b.y, -b.z, -b.w};
    d = -d;
  }
  float ka = 1 - t, kb = t;
  if (d < 0.9995f) {
    float angle = std::acos(d), s = std::sin(angle);
    ka = std::sin((1 - t) * angle) / s;
    kb = std::sin(t * angle) / s;
  }
  Quat q = {a.x * ka + b.x * kb, a.y * ka + b.y * kb, a.z * ka + b.z * kb, a.w * ka + b.w * kb};
  float len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (len > 0) q = {q.x / len, q.y / len, q.z / len, q.w / len};
  return q;
}

// The two keys around `ticks` and the fraction between them.
bool Bracket(const std::vector<XAnimationKey>& keys, double ticks, const XAnimationKey** a, const XAnimationKey** b,
             float* t) {
  if (keys.empty()) return false;
  *a = *b = &keys.front();
  *t = 0;
  if (ticks <= keys.front().time) return true;
  for (size_t i = 0; i + 1 < keys.size(); i++) {
    if (ticks <= keys[i + 1].time) {
      *a = &keys[i];
      *b = &keys[i + 1];
      double span = double(keys[i + 1].time) - double(keys[i].time);
      *t = span > 0 ? float((ticks - keys[i].time) / span) : 0.0f;
      return true;
    }
  }
  *a = *b = &keys.back();
  return true;
}

// One frame's pose from one track: scale, rotation and translation, or a
// whole matrix when the keys are matrices.
struct FramePose {
  bool has = false, isMatrix = false;
  Vec3 s = {1, 1, 1}, t = {0, 0, 0};
  Quat r = {0, 0, 0, 1};
  Matrix m = {};
};

FramePose Sample(const AnimationTrackKeys& anim, double ticks) {
  FramePose p;
  p.has = true;
  const XAnimation& k = anim.keys;
  const XAnimationKey *a, *b;
  float t;
  if (Bracket(k.matrices, ticks, &a, &b, &t)) {
    p.isMatrix = true;
    for (int i = 0; i < 16; i++) (&p.m.m[0][0])[i] = a->values[i] + (b->values[i] - a->values[i]) * t;
    return p;
  }
  // Missing kinds: scale 1, no rotation, the frame's own translation.
  p.t = {anim.bind.m[3][0], anim.bind.m[3][1], anim.bind.m[3][2]};
  if (Bracket(k.scales, ticks, &a, &b, &t))
    for (int i = 0; i < 3; i++) (&p.s.x)[i] = a->values[i] + (b->values[i] - a->values[i]) * t;
  if (Bracket(k.positions, ticks, &a, &b, &t))
    for (int i = 0; i < 3; i++) (&p.t.x)[i] = a->values[i] + (b->values[i] - a->values[i]) * t;
  if (Bracket(k.rotations, ticks, &a, &b, &t)) {
    // Keys store w first.
    Quat qa = {a->values[1], a->values[2], a->values[3], a->values[0]};
    Quat qb = {b->values[1], b->values[2], b->values[3], b->values[0]};
    p.r = Slerp(qa, qb, t);
  }
  return p;
}

Matrix PoseMatrix(const FramePose& p) {
  if (p.isMatrix) return p.m;
  Matrix m = MatrixMultiply(MatrixScaling(p.s.x, p.s.y, p.s.z), MatrixRotationQuaternion(p.r.x, p.r.y, p.r.z, p.r.w));
  return MatrixMultiply(m, MatrixTranslation(p.t.x, p.t.y, p.t.z));
}

}  // namespace

int AnimationController::FindSet(const char* name) const {
  if (!name) return -1;
  for (size_t i = 0; i < sets.size(); i++)
    if (sets[i].name == name) return int(i);
  return -1;
}

void AnimationController::AdvanceTime() {
  FramePose poses[2][kMeshMaxFrames];
  MeshFrame* targets[kMeshMaxFrames] = {};
  for (int k = 0; k < 2; k++) {
    const Track& track = tracks[k];
    if (!track.enabled || track.set < 0) continue;
    const AnimationSetData& set = sets[size_t(track.set)];
    double ticks = track.position * ticksPerSecond;
    double periodTicks = set.period * ticksPerSecond;
    // Sets loop: a time past the end starts over (the end itself is kept).
    if (periodTicks > 0 && (ticks > periodTicks || ticks < 0)) {
      ticks = std::fmod(ticks, periodTicks);
      if (ticks < 0) ticks += periodTicks;
    }
    for (const AnimationTrackKeys& anim : set.animations) {
      if (anim.frameIndex < 0 || anim.frameIndex >= kMeshMaxFrames) continue;
      poses[k][anim.frameIndex] = Sample(anim, ticks);
      targets[anim.frameIndex] = anim.frame;
    }
  }
  for (int f = 0; f < kMeshMaxFrames; f++) {
    if (!targets[f]) continue;
    const FramePose& a = poses[0][f];
    const FramePose& b = poses[1][f];
    if (a.has && b.has && !a.isMatrix && !b.isMatrix) {
      float w0 = tracks[0].weight, w1 = tracks[1].weight;
      float t = w0 + w1 > 0 ? w1 / (w0 + w1) : 0.5f;
      FramePose m;
      m.s = Vec3Add(a.s, Vec3Scale(Vec3Subtract(b.s, a.s), t));
      m.t = Vec3Add(a.t, Vec3Scale(Vec3Subtract(b.t, a.t), t));
      m.r = Slerp(a.r, b.r, t);
      targets[f]->transformationMatrix = PoseMatrix(m);
    } else if (a.has && b.has) {
      float w0 = tracks[0].weight, w1 = tracks[1].weight;
      float t = w0 + w1 > 0 ? w1 / (w0 + w1) : 0.5f;
      Matrix ma = PoseMatrix(a), mb = PoseMatrix(b), m;
      for (int i = 0; i < 16; i++) (&m.m[0][0])[i] = (&ma.m[0][0])[i] * (1 - t) + (&mb.m[0][0])[i] * t;
      targets[f]->transformationMatrix = m;
    } else {
      targets[f]->transformationMatrix = PoseMatrix(a.has ? a : b);
    }
  }
}

// ----------------------------------------------------------------------------
// Frames and animation
// ----------------------------------------------------------------------------

void CMesh::UpdateFrameMatrices(MeshFrame* frame, const Matrix* parentMatrix) {
  // Siblings in a loop, children by recursion: depth is the hierarchy's.
  for (MeshFrame* f = frame; f; f = f->sibling) {
    Matrix combined = parentMatrix ? MatrixMultiply(f->transformationMatrix, *parentMatrix) : f->transformationMatrix;
    for (MeshContainer* c = f->meshContainer; c; c = c->next) {
      if (c->index < 0 || c->index >= kMeshMaxContainers) continue;
      ObjectContainerRecord& r = records[c->index];
      r.frameName = f->name;
      r.combined = combined;
      if (!MatrixInverse(&r.inverseCombined, nullptr, combined)) r.inverseCombined = MatrixIdentity();
      r.meshSlot = &c->mesh;
    }
    for (int n = 0; n < containerCount; n++) {
      MeshSkinInfo* skin = containers[n] ? containers[n]->skinInfo : nullptr;
      if (!skin) continue;
      for (size_t b = 0; b < skin->boneFrames.size(); b++)
        if (skin->boneFrames[b] == f) skin->skinning[b] = MatrixMultiply(skin->offsets[b], combined);
    }
    if (f->firstChild) UpdateFrameMatrices(f->firstChild, &combined);
  }
}

int CMesh::SetMeshAnimation(ObjectContainerRecord* target, const char* frameName, const char* set0, float time0,
                            const char* set1, float time1, float weight) {
  AnimationController* ac = animationController;
  if (!ac) return 0;
  weight = weight < 0 ? 0 : weight > 1 ? 1 : weight;
  bool oneFrame = frameName && *frameName;
  if (oneFrame)
    for (int i = 0; i < frameCount; i++) frameCopies[i]->transformationMatrix = frames[i]->transformationMatrix;
  ac->tracks[0].enabled = ac->tracks[1].enabled = false;
  bool matched = false;
  for (size_t i = 0; i < ac->sets.size(); i++) {
    const std::string& name = ac->sets[i].name;
    if (set0 && name == set0) {
      ac->tracks[0] = {int(i), true, weight, 0};
      matched = true;
    }
    if (set1 && name == set1) {
      ac->tracks[1] = {int(i), true, 1 - weight, 0};
      matched = true;
    }
  }
  if (matched) {
    // Each track's time is a fraction of its own set's period.
    if (ac->tracks[0].enabled) ac->tracks[0].position = double(time0) * ac->sets[size_t(ac->tracks[0].set)].period;
    if (ac->tracks[1].enabled) ac->tracks[1].position = double(time1) * ac->sets[size_t(ac->tracks[1].set)].period;
    ac->AdvanceTime();
    if (oneFrame)
      for (int i = 0; i < frameCount; i++)
        if (std::strcmp(frames[i]->name, frameName) != 0)
          frames[i]->transformationMatrix = frameCopies[i]->transformationMatrix;
  }
  UpdateFrameMatrices(rootFrame, nullptr);
  // A new pose: no cached bounds are trusted, whatever table they came from.
  boundsRecords = kNoBoundsRecords;
  if (target) {
    CopyMeshRecords(target);
    // The table's own copy of the skinning matrices.
    bool skinned = false;
    for (int n = 0; n < containerCount; n++) skinned |= containers[n] && containers[n]->skinInfo;
    if (skinned) {
      if (!poseStore) poseStore = new MeshPoseStore;
      std::vector<std::vector<Matrix>>& pose = poseStore->poses[target];
      pose.resize(size_t(containerCount));
      for (int n = 0; n < containerCount; n++) {
        MeshSkinInfo* skin = containers[n] ? containers[n]->skinInfo : nullptr;
        if (!skin) continue;
        pose[size_t(n)] = skin->skinning;
        target[n].boneMatrices = pose[size_t(n)].data();
      }
    }
  }
  return 1;
}

// ----------------------------------------------------------------------------
// Records and bounds
// ----------------------------------------------------------------------------

int CMesh::CopyMeshRecords(ObjectContainerRecord* destination) const {
  for (int n = 0; n < kMeshMaxContainers; n++) {
    const ObjectContainerRecord& r = records[n];
    if (!r.frameName || !r.meshSlot || !*r.meshSlot) break;
    destination[n] = r;
  }
  return 1;
}

Vec3 CMesh::GetMeshBounds(Vec3* outMax, Vec3* outMin, Vec3* outMax2, const ObjectContainerRecord* table) {
  const ObjectContainerRecord* use = table ? table : records;
  if (boundsRecords != table) {
    Vec3 lo = {1000000, 1000000, 1000000}, hi = {-1000000, -1000000, -1000000};
    float radius = 0;
    for (int n = 0; n < containerCount; n++) {
      const ObjectContainerRecord& r = use[n];
      if (!r.meshSlot) continue;
      for (int c = 0; c < 8; c++) {
        Vec3 p = {(c & 1) ? r.boxMax.x : r.boxMin.x, (c & 2) ? r.boxMax.y : r.boxMin.y,
                  (c & 4) ? r.boxMax.z : r.boxMin.z};
        p = Vec3TransformCoord(p, r.combined);
        radius = std::fmax(radius, Vec3Length(p));
        lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
        hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
      }
    }
    boundsMin = lo;
    boundsMax = hi;
    boundsRadius = radius;
    boundsRecords = table;
  }
  if (outMax) *outMax = boundsMax;
  if (outMin) *outMin = boundsMin;
  if (outMax2) *outMax2 = boundsMax;
  return boundsMax;
}

float CMesh::GetMeshRadius(const ObjectContainerRecord* table) {
  GetMeshBounds(nullptr, nullptr, nullptr, table);
  return boundsRadius;
}

int CMesh::GetMeshFaceCount(int n) const {
  if (n < 0) {
    int sum = 0;
    for (int i = 0; i < containerCount; i++) sum += GetMeshFaceCount(i);
    return sum;
  }
  if (n >= containerCount || !records[n].meshSlot || !*records[n].meshSlot) return 0;
  return (*records[n].meshSlot)->FaceCount();
}

int CMesh::GetMeshVertexCount(int n) const {
  if (n < 0) {
    int sum = 0;
    for (int i = 0; i < containerCount; i++) sum += GetMeshVertexCount(i);
    return sum;
  }
  if (n >= containerCount || !records[n].meshSlot || !*records[n].meshSlot) return 0;
  return (*records[n].meshSlot)->VertexCount();
}

int CMesh::TransformPointByFrame(Vec3* out, const char* frameName, const Vec3& point) const {
  *out = point;
  if (!frameName) return 0;
  for (int n = 0; n < kMeshMaxContainers; n++) {
    const ObjectContainerRecord& r = records[n];
    if (!r.meshSlot) break;
    if (r.frameName && std::strcmp(r.frameName, frameName) == 0) {
      *out = Vec3TransformCoord(point, r.combined);
      return 1;
    }
  }
  MeshSkinInfo* skin = containerCount > 0 && containers[0] ? containers[0]->skinInfo : nullptr;
  if (skin)
    for (size_t b = 0; b < skin->boneFrames.size(); b++)
      if (skin->boneFrames[b] && std::strcmp(skin->boneFrames[b]->name, frameName) == 0) {
        *out = Vec3TransformCoord(point, skin->skinning[b]);
        return 1;
      }
  return 0;
}

void CMesh::PickMeshLod(int n, int budget) {
  if (n < 0) {
    for (int i = 0; i < containerCount; i++) PickMeshLod(i, budget);
    return;
  }
  if (n >= containerCount || n >= kMeshMaxContainers) return;
  if (budget <= 0) budget = vertexCounts[n];
  MeshBuffer** chosen = nullptr;
  if (budget <= 100 && lodMeshes[n][1]) chosen = &lodMeshes[n][1];
  else if (budget <= 400 && lodMeshes[n][0]) chosen = &lodMeshes[n][0];
  records[n].chosenMeshSlot = chosen;
}

void CMesh::FreeCollisionTriangles(int n) {
  delete[] collisionTriangles[n];
  delete[] collisionNormals[n];
  delete[] collisionEdges[n];
  collisionTriangles[n] = nullptr;
  collisionNormals[n] = nullptr;
  collisionEdges[n] = nullptr;
}

void CMesh::BuildCollisionTriangles(int n, bool useChosen) {
  ObjectContainerRecord& r = records[n];
  MeshBuffer** slot = useChosen && r.chosenMeshSlot && *r.chosenMeshSlot ? r.chosenMeshSlot : r.meshSlot;
  r.collisionMeshSlot = slot;
  FreeCollisionTriangles(n);
  triangleCounts[n] = 0;
  if (!slot || !*slot) return;
  const MeshBuffer& mesh = **slot;
  int faces = mesh.FaceCount(), vertices = mesh.VertexCount();
  collisionTriangles[n] = new CollisionTriangle[size_t(faces ? faces : 1)];
  collisionNormals[n] = new Vec3[size_t(faces ? faces : 1)];
  collisionEdges[n] = new Vec3[size_t(faces ? faces : 1)];
  int kept = 0;
  for (int f = 0; f < faces; f++) {
    int i0 = mesh.indices[size_t(f) * 3], i1 = mesh.indices[size_t(f) * 3 + 1], i2 = mesh.indices[size_t(f) * 3 + 2];
    if (i0 >= vertices || i1 >= vertices || i2 >= vertices) continue;
    CollisionTriangle& t = collisionTriangles[n][kept];
    t.p[0] = mesh.Position(i0);
    t.p[1] = mesh.Position(i1);
    t.p[2] = mesh.Position(i2);
    collisionNormals[n][kept] =
        Vec3Normalize(Vec3Cross(Vec3Subtract(t.p[2], t.p[1]), Vec3Subtract(t.p[0], t.p[1])));
    collisionEdges[n][kept] = Vec3Normalize(Vec3Subtract(t.p[0], t.p[1]));
    kept++;
  }
  triangleCounts[n] = kept;
}

// ----------------------------------------------------------------------------
// Colour and posed vertices
// ----------------------------------------------------------------------------

int CMesh::SetMeshColor(float r, float g, float b, float a) {
  float in[4] = {r, g, b, a};
  bool changed = false;
  for (int i = 0; i < 4; i++)
    if (in[i] >= 0 && in[i] != color[i]) {
      color[i] = in[i];
      changed = true;
    }
  if (!changed || shadersAtLoad) return 1;
  ApplyVertexColours();
  return 1;
}

void CMesh::ApplyVertexColours() {
  for (int n = 0; n < containerCount; n++) {
    if (!records[n].meshSlot || !*records[n].meshSlot) continue;
    MeshBuffer* meshes[3] = {*records[n].meshSlot, lodMeshes[n][0], lodMeshes[n][1]};
    for (MeshBuffer* mesh : meshes) {
      if (!mesh) continue;
      for (const MeshSubset& s : mesh->subsets) {
        const float* d = materials[n][s.attribId < kMeshMaxMaterials ? s.attribId : 0].diffuse;
        if (materialCounts[n] == 0) d = color;  // nothing to multiply: plain white
        float c[4];
        for (int i = 0; i < 4; i++) {
          float k = mesh->stride == 88 ? d[i] : d[i] * (materialCounts[n] == 0 ? 1.0f : color[i]);
          c[i] = k > 0 ? (k < 1 ? k : 1) : 0;  // a NaN from a damaged file becomes 0
        }
        uint32_t argb = uint32_t(c[3] * 255) << 24 | uint32_t(c[0] * 255) << 16 | uint32_t(c[1] * 255) << 8 |
                        uint32_t(c[2] * 255);
        for (uint32_t f = s.faceStart; f < s.faceStart + s.faceCount; f++)
          for (int k = 0; k < 3; k++) {
            size_t v = mesh->indices[size_t(f) * 3 + size_t(k)];
            if (mesh->stride == 88) std::memcpy(&mesh->vertices[v * 88 + kMeshColourOffset], c, 16);
            else std::memcpy(&mesh->vertices[v * 48 + kMeshDiffuseOffset48], &argb, 4);
          }
      }
      mesh->dirty = true;
    }
  }
}

bool CMesh::GetPosedVertices(int n, const ObjectContainerRecord* table, Vec3* out, int capacity, int* count) const {
  *count = 0;
  const ObjectContainerRecord* use = table && table[0].meshSlot ? table : records;
  if (n < 0 || n >= containerCount || !use[n].meshSlot || !*use[n].meshSlot) return false;
  const MeshBuffer& mesh = **use[n].meshSlot;
  int total = mesh.VertexCount();
  if (capacity < total) return false;
  const Matrix* bones = use[n].boneMatrices;
  for (int v = 0; v < total; v++) out[v] = Vec3TransformCoord(mesh.Position(v), use[n].combined);
  if (mesh.skinned && bones) {
    for (const MeshSubset& s : mesh.subsets) {
      for (uint32_t v = s.vertexStart; v < s.vertexStart + s.vertexCount; v++) {
        float w[4];
        if (mesh.stride == 88) {
          std::memcpy(w, mesh.Floats(int(v), kMeshWeightOffset88), 16);
        } else {
          std::memcpy(w, mesh.Floats(int(v), kMeshWeightOffset48), 12);
          w[3] = 1 - w[0] - w[1] - w[2];
        }
        Vec3 p = mesh.Position(int(v)), sum = {0, 0, 0};
        bool any = false;
        for (int i = 0; i < 4; i++) {
          if (s.boneId[i] == kNoBone || w[i] == 0) continue;
          sum = Vec3Add(sum, Vec3Scale(Vec3TransformCoord(p, bones[s.boneId[i]]), w[i]));
          any = true;
        }
        if (any) out[v] = sum;
      }
    }
  }
  *count = total;
  return true;
}

// ----------------------------------------------------------------------------
// Texture layers
// ----------------------------------------------------------------------------

int CMesh::SetLayer(TextureHolder* (*layer)[kMeshMaxMaterials], int n, int m, TextureHolder* holder) {
  if (n < 0) {
    for (int i = 0; i < containerCount; i++) SetLayer(layer, i, m, holder);
    return 1;
  }
  if (n >= containerCount || n >= kMeshMaxContainers) return 0;
  if (m < 0) {
    for (int j = 0; j < materialCounts[n]; j++) SetLayer(layer, n, j, holder);
    return 1;
  }
  if (m >= materialCounts[n]) return 0;
  layer[n][m] = holder;
  return 1;
}

TextureHolder* CMesh::GetLayer(TextureHolder* const (*layer)[kMeshMaxMaterials], int n, int m) const {
  if (n < 0 || m < 0 || n >= containerCount || n >= kMeshMaxContainers || m >= materialCounts[n]) return nullptr;
  return layer[n][m];
}

const char* CMesh::GetMeshTextureName(int n, int m) const {
  if (n < 0 || m < 0 || n >= containerCount || n >= kMeshMaxContainers || m >= materialCounts[n]) return nullptr;
  return textureNames[n][m];
}

}  // namespace render
