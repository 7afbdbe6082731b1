// render_collision.cpp -- collision and picking: segments against models
// and objects, triangles against models, box and point tests, the view
// test, and the camera-relative pan and distance of a point.

#include <cmath>

#include "render/render_local.h"

namespace render {

using namespace platform;

namespace {

// The ray from `origin` along the unit `dir` against the triangle P, Q, R
// (both faces): the distance along the ray and the barycentric u (towards
// Q) and v (towards R). Hits behind the origin are not hits.
bool IntersectTriangle(const Vec3& origin, const Vec3& dir, const CollisionTriangle& t, float* dist, float* u,
                       float* v) {
  Vec3 e1 = Vec3Subtract(t.p[1], t.p[0]), e2 = Vec3Subtract(t.p[2], t.p[0]);
  Vec3 p = Vec3Cross(dir, e2);
  float det = Vec3Dot(e1, p);
  // Parallel to the plane (or not a number: every test below is written so
  // that a NaN fails it).
  if (!(std::fabs(det) >= 1e-12f)) return false;
  float inv = 1.0f / det;
  Vec3 s = Vec3Subtract(origin, t.p[0]);
  float uu = Vec3Dot(s, p) * inv;
  if (!(uu >= 0.0f && uu <= 1.0f)) return false;
  Vec3 q = Vec3Cross(s, e1);
  float vv = Vec3Dot(dir, q) * inv;
  if (!(vv >= 0.0f && uu + vv <= 1.0f)) return false;
  float d = Vec3Dot(e2, q) * inv;
  if (!(d >= 0.0f && d < 3.0e38f)) return false;
  *dist = d;
  *u = uu;
  *v = vv;
  return true;
}

struct Box {
  Vec3 lo, hi;
};

Box SegmentBox(const Vec3& a, const Vec3& b) {
  return {{std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fmin(a.z, b.z)},
          {std::fmax(a.x, b.x), std::fmax(a.y, b.y), std::fmax(a.z, b.z)}};
}

// Closed comparisons (model boxes).
bool OverlapClosed(const Box& s, const Vec3& lo, const Vec3& hi) {
  return s.lo.x <= hi.x && s.hi.x >= lo.x && s.lo.y <= hi.y && s.hi.y >= lo.y && s.lo.z <= hi.z && s.hi.z >= lo.z;
}
// Open comparisons (hit boxes of surfaces).
bool OverlapOpen(const Box& s, const Vec3& lo, const Vec3& hi) {
  return s.lo.x < hi.x && s.hi.x > lo.x && s.lo.y < hi.y && s.hi.y > lo.y && s.lo.z < hi.z && s.hi.z > lo.z;
}

// The unit normal, in world space, of the face at a local hit point, from
// three points of the face's plane carried to world space (right under any
// scaling).
Vec3 WorldNormal(DisplayObject* o, const Vec3& p, const Vec3& n, const Vec3& edge) {
  Vec3 a = o->TransformPointToWorld(p);
  Vec3 b = o->TransformPointToWorld(Vec3Add(p, edge));
  Vec3 c = o->TransformPointToWorld(Vec3Add(p, Vec3Cross(n, edge)));
  return Vec3Normalize(Vec3Cross(Vec3Subtract(b, a), Vec3Subtract(c, a)));
}

}  // namespace

// ----------------------------------------------------------------------------
// Model level
// ----------------------------------------------------------------------------

int CMesh::RayHitMesh(Vec3* outPoint, Vec3* outNormal, Vec3* outEdge, const Vec3& start, const Vec3& end,
                      int cullBackFaces, const ObjectContainerRecord* table) {
  if (containerCount <= 0 || !records[0].collisionMeshSlot || !collisionTriangles[0]) return 0;
  const ObjectContainerRecord* use = table && table[0].meshSlot ? table : records;
  // The whole line against the model's bounding sphere.
  Vec3 d = Vec3Normalize(Vec3Subtract(start, end));
  Vec3 s = Vec3Normalize(Vec3Scale(start, -1.0f));
  float cosA = Vec3Dot(d, s);
  cosA = cosA > 1 ? 1 : cosA < -1 ? -1 : cosA;
  float lineDistance = Vec3Length(start) * std::sqrt(std::fmax(0.0f, 1.0f - cosA * cosA));
  if (lineDistance > GetMeshRadius(table && table[0].meshSlot ? table : nullptr)) return 0;
  bool animated = animationController != nullptr || (loadFlags & kMeshHierarchy);
  int hits = 0;
  float nearest = 100000000.0f;
  int bestContainer = -1, bestFace = -1;
  float bestU = 0, bestV = 0;
  for (int n = 0; n < containerCount && n < kMeshMaxContainers; n++) {
    if (!collisionTriangles[n]) continue;
    Vec3 a = start, b = end;
    if (animated) {
      a = Vec3TransformCoord(start, use[n].inverseCombined);
      b = Vec3TransformCoord(end, use[n].inverseCombined);
    }
    Vec3 seg = Vec3Subtract(b, a);
    float length = Vec3Length(seg);
    if (length <= 0) continue;
    Vec3 dir = Vec3Scale(seg, 1.0f / length);
    for (int f = 0; f < triangleCounts[n]; f++) {
      float dist, u, v;
      if (!IntersectTriangle(a, dir, collisionTriangles[n][f], &dist, &u, &v)) continue;
      if (dist > length) continue;
      if (cullBackFaces && Vec3Dot(collisionNormals[n][f], dir) > 0) continue;
      hits++;
      // The first counted hit is the nearest so far even past the starting
      // distance, so a hit always has a face to report.
      if (dist < nearest || bestFace < 0) {
        nearest = dist;
        bestContainer = n;
        bestFace = f;
        bestU = u;
        bestV = v;
      }
    }
  }
  if (!hits) return 0;
  lastHitContainer = bestContainer;
  lastHitFace = bestFace;
  const CollisionTriangle& t = collisionTriangles[bestContainer][bestFace];
  Vec3 p = Vec3Add(t.p[0], Vec3Add(Vec3Scale(Vec3Subtract(t.p[1], t.p[0]), bestU),
                                   Vec3Scale(Vec3Subtract(t.p[2], t.p[0]), bestV)));
  if (animated) p = Vec3TransformCoord(p, use[bestContainer].combined);
  if (outPoint) *outPoint = p;
  if (outNormal) *outNormal = collisionNormals[bestContainer][bestFace];
  if (outEdge) *outEdge = collisionEdges[bestContainer][bestFace];
  return hits;
}

int CMesh::MeshHitMesh(CMesh* other, const Matrix& matrixA, const Matrix& matrixB,
                       const ObjectContainerRecord* table) {
  if (!other) return 0;
  const ObjectContainerRecord* use = table && table[0].meshSlot ? table : records;
  Matrix ab = MatrixMultiply(matrixA, matrixB);
  for (int n = 0; n < containerCount && n < kMeshMaxContainers; n++) {
    if (!collisionTriangles[n]) continue;
    // The container's triangles into model space, then into the other's.
    Matrix m = MatrixMultiply(use[n].combined, ab);
    for (int f = 0; f < triangleCounts[n]; f++) {
      const CollisionTriangle& t = collisionTriangles[n][f];
      Vec3 p = Vec3TransformCoord(t.p[0], m), q = Vec3TransformCoord(t.p[1], m), r = Vec3TransformCoord(t.p[2], m);
      const Vec3* edges[3][2] = {{&q, &p}, {&r, &q}, {&p, &r}};
      for (auto& e : edges) {
        Vec3 a = *e[0];
        Vec3 b = Vec3Add(*e[1], Vec3Scale(Vec3Subtract(*e[1], a), 1.0f / 1024.0f));
        // The other model answers with its own pose.
        if (other->RayHitMesh(nullptr, nullptr, nullptr, a, b, 0, nullptr)) return 1;
      }
    }
  }
  return 0;
}

// ----------------------------------------------------------------------------
// Object level
// ----------------------------------------------------------------------------

void DisplayObject::SelectDrawModeForTest(GraphicsSystem* gs) const {
  if (!gs || !gs->GetDevice()) return;
  if (flags & kObjectSprite3D) gs->SetDrawMode(1);
  else if (model) gs->SetDrawMode(0);
  else if (surface) gs->SetDrawMode(2);
}

int DisplayObject::TestObjectHitSegment(GraphicsSystem* gs, Vec3* outPoint, Vec3* outNormal, const Vec3& start,
                                        const Vec3& end, int cullBackFaces) {
  if (!model && !surface) return 0;
  SelectDrawModeForTest(gs);
  Matrix inv = GetObjectInverseWorld();
  Vec3 a = Vec3TransformCoord(start, inv), b = Vec3TransformCoord(end, inv);
  Box box = SegmentBox(a, b);
  if (model) {
    Vec3 lo, hi;
    model->GetMeshBounds(&hi, &lo, nullptr, containers);
    if (!OverlapClosed(box, lo, hi)) return 0;
    Vec3 p, n, edge;
    int hits = model->RayHitMesh(&p, &n, &edge, a, b, cullBackFaces, containers);
    if (!hits) return 0;
    if (outPoint) *outPoint = TransformPointToWorld(p);
    if (outNormal) *outNormal = WorldNormal(this, p, n, edge);
    return hits;
  }
  return OverlapOpen(box, hitBoxMin, hitBoxMax) ? 1 : 0;
}

int DisplayObject::HitTestObjectSegments(GraphicsSystem* gs, Vec3* outPoint, Vec3* outNormal,
                                         const Vec3* const* segments) {
  if (!model || !segments) return -1;
  SelectDrawModeForTest(gs);
  Matrix inv = GetObjectInverseWorld();
  const Matrix& before = cacheStored ? cachedInverseWorld : inv;
  Vec3 lo, hi;
  model->GetMeshBounds(&hi, &lo, nullptr, nullptr);
  for (int i = 0; segments[i * 2] && segments[i * 2 + 1]; i++) {
    Vec3 a = Vec3TransformCoord(*segments[i * 2], before);
    Vec3 b = Vec3TransformCoord(*segments[i * 2 + 1], inv);
    if (!OverlapClosed(SegmentBox(a, b), lo, hi)) continue;
    Vec3 p, n, edge;
    if (!model->RayHitMesh(&p, &n, &edge, a, b, 1, nullptr)) continue;
    if (outPoint) *outPoint = TransformPointToWorld(p);
    if (outNormal) *outNormal = WorldNormal(this, p, n, edge);
    return i;
  }
  return -1;
}

int DisplayObject::TestObjectHitObject(GraphicsSystem* gs, DisplayObject* object, DisplayObject* other) {
  if (!object || !other || !object->model || !other->model) return 0;
  if (!TestObjectBoundsOverlap(gs, object, other)) return 0;
  object->SelectDrawModeForTest(gs);
  return object->model->MeshHitMesh(other->model, object->GetObjectWorldMatrix(), other->GetObjectInverseWorld(),
                                    nullptr);
}

int DisplayObject::TestObjectBoundsOverlap(GraphicsSystem* gs, DisplayObject* object, DisplayObject* other) {
  if (!object || !other) return 0;
  Vec3 lo, hi;
  if (object->model) object->model->GetMeshBounds(&hi, &lo, nullptr, object->containers);
  else if (object->surface) lo = object->hitBoxMin, hi = object->hitBoxMax;
  else return 0;
  object->SelectDrawModeForTest(gs);
  Vec3 corners[8];
  for (int c = 0; c < 8; c++)
    corners[c] = object->TransformPointToWorld({(c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z});
  // Corner c and 7 - c are opposite; the first diagonal runs min to max.
  for (int c = 0; c < 4; c++)
    if (TestObjectBoxSegment(gs, other, corners[c], corners[7 - c])) return 1;
  return 0;
}

int DisplayObject::TestObjectBoxSegment(GraphicsSystem* gs, DisplayObject* object, const Vec3& start,
                                        const Vec3& end) {
  if (!object || (!object->model && !object->surface)) return 0;
  object->SelectDrawModeForTest(gs);
  Matrix inv = object->GetObjectInverseWorld();
  Box box = SegmentBox(Vec3TransformCoord(start, inv), Vec3TransformCoord(end, inv));
  if (object->model) {
    Vec3 lo, hi;
    object->model->GetMeshBounds(&hi, &lo, nullptr, object->containers);
    return OverlapClosed(box, lo, hi) ? 1 : 0;
  }
  return OverlapOpen(box, object->hitBoxMin, object->hitBoxMax) ? 1 : 0;
}

int DisplayObject::IsPointInObjectBounds(GraphicsSystem* gs, DisplayObject* object, const Vec3& point) {
  if (!object || (!object->model && !object->surface)) return 0;
  object->SelectDrawModeForTest(gs);
  Vec3 p = object->TransformPointToLocal(point);
  if (object->model) {
    Vec3 lo, hi;
    object->model->GetMeshBounds(&hi, &lo, nullptr, object->containers);
    return p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y && p.z >= lo.z && p.z <= hi.z;
  }
  const Vec3 &lo = object->hitBoxMin, &hi = object->hitBoxMax;
  return p.x >= lo.x && p.x < hi.x && p.y >= lo.y && p.y < hi.y && p.z >= lo.z && p.z < hi.z;
}

int DisplayObject::TestObjectOnScreen(GraphicsSystem* gs, DisplayObject* object, const Matrix& viewMatrix, float fov,
                                      float far) {
  if (!object || !object->shown || (!object->model && !object->surface)) return 0;
  object->SelectDrawModeForTest(gs);
  Vec3 v = Vec3TransformCoord(object->GetObjectWorldPosition(), viewMatrix);
  float r = object->model ? object->GetObjectRadius() : object->radius;
  float z = v.z;
  if (gs && gs->IsMirrorMode()) z = -z;
  if (z + r < 0 || z > r + far) return 0;
  int w = 1024, h = 768;
  float e = 0;
  if (gs) {
    gs->GetScreenSize(&w, &h);
    e = gs->GetStereoShift();
  }
  if (fov < 0) return std::fabs(v.x) - r <= -fov && std::fabs(v.y) - r <= -fov;
  float hfov = 2.0f * std::atan((2.0f * std::fabs(e) + float(w)) / float(h) * std::tan(fov / 2));
  if (std::fabs(v.x) - r / std::cos(hfov / 2) > std::tan(hfov / 2) * z) return 0;
  if (std::fabs(v.y) - r / std::cos(fov / 2) > std::tan(fov / 2) * z) return 0;
  return 1;
}

// ----------------------------------------------------------------------------
// Camera-relative values
// ----------------------------------------------------------------------------

float GraphicsSystem::GetSoundPan(const Vec3& point) {
  Vec3 p = Vec3TransformCoord(point, GetViewMatrix());
  float z = p.z;
  if (std::fabs(z) < 10.0f) z = z > 0 ? 10.0f : -10.0f;
  return p.x / std::sqrt(p.y * p.y + z * z) * 1000.0f;
}

float GraphicsSystem::GetCameraDistance(const Vec3& point) {
  return -2.0f * Vec3Length(Vec3Subtract(point, eye_));
}

}  // namespace render
