// render_object.cpp -- display objects: life cycle, content and surface
// shapes, placement, the parent and child links, matrices, points and
// bounds.
//
// Index
//  [SECTION] Life cycle and content
//  [SECTION] Surface shapes
//  [SECTION] Placement
//  [SECTION] Hierarchy
//  [SECTION] Matrices and points
//  [SECTION] Bounds

#include <cmath>

#include "render/render_local.h"

namespace render {

using namespace platform;
using core::Sjis;

namespace {

// More vertices than any surface may ask for (a disc's count comes from
// scripts): past it the request is cut, not allocated.
constexpr int kMaxSurfaceVertices = 65536;

Vec3 Corner(const Vec3& lo, const Vec3& hi, int c) {
  return {(c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z};
}

}  // namespace

// ----------------------------------------------------------------------------
// [SECTION] Life cycle and content
// ----------------------------------------------------------------------------

DisplayObject::DisplayObject() {
  parent = firstChild = nextSibling = nullptr;
  vertices = inlineVertices;
  InitObject();
}

void DisplayObject::InitObject() {
  // A heap array left by a shape is given back here too, so re-initialising
  // a pooled object never leaks it.
  if (vertices != inlineVertices) delete[] vertices;
  vertexCount = 4;
  vertices = inlineVertices;
  std::memset(static_cast<void*>(inlineVertices), 0, sizeof inlineVertices);
  matricesValid = inverseValid = cacheStored = boundsValid = worldBoxValid = 0;
  counter = 0;
  SetObjectParent(nullptr);
  model = nullptr;
  surface = nullptr;
  flags = 0;
  surfaceShape = 0;
  scale = {1, 1, 1};
  SetObjectPosition(0, 0, 0);
  SetObjectAngles(0, 0, 0);
  SetObjectPivot(0, 0, 0);
  shown = 0;
  std::memset(static_cast<void*>(containers), 0, sizeof containers);
  hitBoxMin = hitBoxMax = boxMin = boxMax = {0, 0, 0};
  worldBoxMin = worldBoxMax = {0, 0, 0};
  radius = 0;
  glareRate = 0;
  color[0] = color[1] = color[2] = color[3] = 1.0f;
  text = nullptr;
  textBuffer[0] = 0;
  localMatrix = frameMatrix = inverseWorld = cachedWorld = cachedInverseWorld = MatrixIdentity();
}

void DisplayObject::ReleaseObject() { InitObject(); }

void DisplayObject::SetObjectModel(CMesh* m) {
  model = m;
  if (m) {
    shown = 1;
    m->CopyMeshRecords(containers);
    m->boundsRecords = kNoBoundsRecords;
    inverseValid = matricesValid = worldBoxValid = boundsValid = 0;
  } else {
    shown = 0;
  }
}

int DisplayObject::SetObjectSurface(GraphicsSystem& gs, TextureHolder* holder, uint32_t shape, int count) {
  surface = holder;
  if (!holder) {
    surfaceShape = 0;
    return 0;
  }
  surfaceShape = shape;
  if (count > 0) vertexCount = count < kMaxSurfaceVertices ? count : kMaxSurfaceVertices;
  BuildSurfaceGeometry(gs, 0, 0, float(holder->width), float(holder->height));
  for (int i = 0; i < vertexCount; i++) {
    SurfaceVertex& v = vertices[i];
    if (holder->HolderUsesEffect) v.r = v.g = v.b = v.a = 1.0f;
    else v.diffuse = 0xFFFFFFFFu;
  }
  int previous = shown;
  shown = 1;
  flags = kObjectSprite3D;
  return previous;
}

int DisplayObject::SetObjectTexture(GraphicsSystem& gs, TextureHolder* holder) {
  surface = holder;
  surfaceShape = 0;
  if (!holder) return 0;
  for (int i = 0; i < 4; i++) {
    vertices[i].z = 0;
    vertices[i].diffuse = 0xFFFFFFFFu;
    vertices[i].r = vertices[i].g = vertices[i].b = vertices[i].a = 1.0f;
  }
  BuildSurfaceGeometry(gs, 0, 0, float(holder->width), float(holder->height));
  shown = 1;
  return 1;
}

int DisplayObject::GetObjectSurfacePixelRect(float* x0, float* y0, float* x1, float* y1) const {
  if (!surface) return 0;
  float w = float(surface->width), h = float(surface->height);
  if (x0) *x0 = w * vertices[0].u;
  if (y0) *y0 = h * vertices[0].v;
  if (x1) *x1 = w * vertices[2].u;
  if (y1) *y1 = h * vertices[2].v;
  return 1;
}

bool DisplayObject::GetObjectVertex(int n, SurfaceVertex* out) const {
  if (n < 0 || n >= vertexCount) return false;
  *out = vertices[n];
  return true;
}

bool DisplayObject::SetObjectVertex(int n, const SurfaceVertex& vertex) {
  if (n < 0 || n >= vertexCount) return false;
  vertices[n] = vertex;
  return true;
}

const char* DisplayObject::SetObjectText(const char* newText) {
  const char* previous = text;
  if (!newText) {
    text = nullptr;
    return previous;
  }
  size_t n = strnlen(newText, 255);
  std::memmove(textBuffer, newText, n);
  textBuffer[n] = 0;
  text = textBuffer;
  return previous;
}

int DisplayObject::SetObjectAnimation(const char* frameName, const char* set0, float time0, const char* set1,
                                      float time1, float weight) {
  if (!model) return 0;
  int r = model->SetMeshAnimation(containers, frameName, set0, time0, set1, time1, weight);
  inverseValid = matricesValid = worldBoxValid = boundsValid = 0;
  return r;
}

// ----------------------------------------------------------------------------
// [SECTION] Surface shapes
// ----------------------------------------------------------------------------

int DisplayObject::BuildSurfaceGeometry(GraphicsSystem& gs, float x0, float y0, float x1, float y1) {
  if (!surface) return 0;
  float width = surface->width > 0 ? float(surface->width) : 1.0f;
  float height = surface->height > 0 ? float(surface->height) : 1.0f;
  float tu0 = x0 / width, tv0 = y0 / height, tu1 = x1 / width, tv1 = y1 / height;
  float w = x1 - x0, h = y1 - y0;
  const float tu[4] = {tu0, tu1, tu1, tu0}, tv[4] = {tv0, tv0, tv1, tv1};
  // The heap array for shapes of more than four vertices.
  auto ensure = [&](int count, bool keepWhenSameSize) {
    if (count <= 4) {
      if (vertices != inlineVertices) delete[] vertices;
      vertices = inlineVertices;
      vertexCount = 4;
      return;
    }
    if (keepWhenSameSize && vertices != inlineVertices && vertexCount == count) return;
    if (vertices != inlineVertices) delete[] vertices;
    vertices = new SurfaceVertex[size_t(count)]();
    vertexCount = count;
  };
  auto quad = [&](const float (*pos)[3]) {
    ensure(4, false);
    for (int i = 0; i < 4; i++) {
      vertices[i].x = pos[i][0];
      vertices[i].y = pos[i][1];
      vertices[i].z = pos[i][2];
      vertices[i].u = tu[i];
      vertices[i].v = tv[i];
    }
  };
  auto setVertex = [&](int i, float x, float y, float z, float u, float v) {
    vertices[i].x = x;
    vertices[i].y = y;
    vertices[i].z = z;
    vertices[i].u = u;
    vertices[i].v = v;
  };
  switch (surfaceShape) {
    case kSurfaceQuad2D:
    case kSurfaceSprite: {
      const float p[4][3] = {{0, 0, 0}, {w, 0, 0}, {w, h, 0}, {0, h, 0}};
      quad(p);
      break;
    }
    case kSurfaceCentredSprite: {
      const float p[4][3] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
      quad(p);
      surfaceShape = kSurfaceSprite;
      break;
    }
    case kSurfaceQuadXZ: {
      const float p[4][3] = {{0, 0, 0}, {w, 0, 0}, {w, 0, h}, {0, 0, h}};
      quad(p);
      break;
    }
    case kSurfaceCentredXZ: {
      const float p[4][3] = {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}};
      quad(p);
      surfaceShape = kSurfaceQuadXZ;
      break;
    }
    case kSurfaceQuadYZ: {
      const float p[4][3] = {{0, 0, 0}, {0, w, 0}, {0, w, h}, {0, 0, h}};
      quad(p);
      break;
    }
    case kSurfaceCentredYZ: {
      const float p[4][3] = {{0, -1, -1}, {0, 1, -1}, {0, 1, 1}, {0, -1, 1}};
      quad(p);
      surfaceShape = kSurfaceQuadYZ;
      break;
    }
    case kSurfaceDisc: {
      int n = vertexCount;
      ensure(n, false);
      setVertex(0, 1, 0, 0, 1, 0);
      for (int i = 1; i < n; i += 2) {
        float a = 2.0f * kPi * float(i) / float(n);
        setVertex(i, std::cos(a), std::sin(a), 0, std::cos(a), std::sin(a));
        if (i + 1 < n) setVertex(i + 1, std::cos(-a), std::sin(-a), 0, std::cos(-a), std::sin(-a));
      }
      break;
    }
    case kSurfaceCube:
      Logf(gs.log, core::kLogInfo, "%s", Sjis("Error:SURFACE_6(正六面体)サーフェイスは現在未実装。\n"));
      break;
    case kSurfaceOctahedron: {
      ensure(12, true);
      auto tc = [](float t) { return t == 0 ? 1.0f / 256.0f : t == 1 ? 0.99609375f : t; };
      const float ring[5][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
      const float ringUv[5][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
      setVertex(0, 0, 1, 0, 0.5f, 0.5f);
      for (int i = 0; i < 5; i++) setVertex(1 + i, ring[i][0], 0, ring[i][1], tc(ringUv[i][0]), tc(ringUv[i][1]));
      setVertex(6, 0, -1, 0, 0, 0);
      for (int i = 0; i < 5; i++) setVertex(7 + i, ring[4 - i][0], 0, ring[4 - i][1], 0, 0);
      break;
    }
    case kSurfaceDoubleCone:
    case kSurfaceCone: {
      bool both = surfaceShape == kSurfaceDoubleCone;
      ensure(both ? 260 : 130, true);
      setVertex(0, 0, 1, 0, 0.5f, 0.5f);
      for (int k = 0; k <= 128; k++) {
        float a = float(k) * 2.0f * kPi / 128.0f;
        setVertex(1 + k, std::cos(a), 0, -std::sin(a), (std::cos(a) + 1) * 0.5f, (std::sin(a) + 1) * 0.5f);
      }
      if (both) {
        setVertex(130, 0, -1, 0, 0.5f, 0.5f);
        for (int k = 0; k <= 128; k++) vertices[131 + k] = vertices[1 + 128 - k];
        vertices[130].x = vertices[130].z = 0;
      }
      break;
    }
    case kSurfaceCross: {
      ensure(8, true);
      const float p[8][3] = {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1},
                             {0, -1, -1}, {0, 1, -1}, {0, 1, 1}, {0, -1, 1}};
      for (int i = 0; i < 8; i++) setVertex(i, p[i][0], p[i][1], p[i][2], tu[i & 3], tv[i & 3]);
      break;
    }
    case kSurfaceLensLeft:
    case kSurfaceLensRight: {
      ensure(544, true);
      float c = surfaceShape == kSurfaceLensLeft ? -0.14f : 0.14f;
      int i = 0;
      for (int s = 0; s < 16; s++) {
        float u = -1.0f + 0.125f * float(s);
        for (int j = 0; j <= 16; j++) {
          float t = -1.0f + 0.125f * float(j);
          for (float uu : {u, u + 0.125f}) {
            float xp = 0.8f * t - c;
            float r = std::sqrt(xp * xp + uu * uu);
            float k = (8.0f / (r + 8.0f)) / 0.925f;
            setVertex(i++, xp * k * k + c, uu * k * k, 0, 0.5f * t + 0.5f, 0.5f * uu + 0.5f);
          }
        }
      }
      break;
    }
    default: break;  // shapes 8, 9, 14, 15 and past 18 build nothing
  }
  SetObjectScale(scale.x, scale.y, scale.z);
  return 1;
}

Vec3 DisplayObject::AlignObjectSurface(uint32_t alignFlags) {
  if (!surface) return {0, 0, 0};
  float pw = (vertices[1].u - vertices[0].u) * float(surface->width);
  float ph = (vertices[3].v - vertices[0].v) * float(surface->height);
  float hx = (alignFlags & kAlignRight) ? pw : (alignFlags & kAlignLeft) ? 0 : pw / 2;
  float vy = (alignFlags & kAlignBottom) ? ph : (alignFlags & kAlignTop) ? 0 : ph / 2;
  Vec3 p;
  if (surfaceShape == kSurfaceQuadXZ) p = {hx, 0, vy};
  else if (surfaceShape == kSurfaceQuadYZ) p = {0, hx, vy};
  else p = {hx, vy, 0};
  SetObjectPivot(p.x, p.y, p.z);
  return p;
}

// ----------------------------------------------------------------------------
// [SECTION] Placement
// ----------------------------------------------------------------------------

void DisplayObject::SetObjectPosition(float x, float y, float z) {
  position = {x, y, z};
  inverseValid = matricesValid = worldBoxValid = 0;
}

void DisplayObject::SetObjectScale(float x, float y, float z) {
  scale = {x, y, z};
  if (surface) {
    Vec3 d = {vertices[2].x - vertices[0].x, vertices[2].y - vertices[0].y, vertices[2].z - vertices[0].z};
    radius = Vec3Length(scale) * (Vec3Length(d) + 1.0f);
  }
  inverseValid = matricesValid = worldBoxValid = boundsValid = 0;
}

void DisplayObject::SetObjectPivot(float x, float y, float z) {
  storedPivot = {-x, -y, -z};
  inverseValid = matricesValid = worldBoxValid = boundsValid = 0;
}

void DisplayObject::SetObjectAngles(float pitch, float yaw, float roll) {
  angles = {pitch, yaw, roll};
  inverseValid = matricesValid = worldBoxValid = 0;
}

void DisplayObject::SetObjectLookAt(const Vec3& direction, const Vec3* up) {
  Vec3 a;
  core::AnglesFromDirection(&a, direction, up);
  SetObjectAngles(a.x, a.y, a.z);
}

void DisplayObject::SetObjectColor(float r, float g, float b, float a) {
  float in[4] = {r, g, b, a}, next[4];
  for (int i = 0; i < 4; i++) next[i] = in[i] < 0 ? color[i] : in[i];
  if (next[0] == color[0] && next[1] == color[1] && next[2] == color[2] && next[3] == color[3]) return;
  for (int i = 0; i < 4; i++) color[i] = next[i] > 1 ? 1 : next[i];
  if (surface && !surface->HolderUsesEffect) {
    uint32_t argb = uint32_t(color[3] * 255) << 24 | uint32_t(color[0] * 255) << 16 | uint32_t(color[1] * 255) << 8 |
                    uint32_t(color[2] * 255);
    for (int i = 0; i < vertexCount; i++) vertices[i].diffuse = argb;
  }
}

float DisplayObject::SetObjectGlareRate(float rate) {
  float previous = glareRate;
  glareRate = rate;
  return previous;
}

int DisplayObject::SetObjectVisible(int on) {
  int previous = shown;
  shown = on;
  return previous;
}

Vec3 DisplayObject::GetObjectPosition(Vec3* copy) const {
  if (copy) *copy = position;
  return position;
}

Vec3 DisplayObject::GetObjectScale(Vec3* copy) const {
  if (copy) *copy = scale;
  return scale;
}

Vec3 DisplayObject::GetObjectAngles(Vec3* copy) const {
  if (copy) *copy = angles;
  return angles;
}

void DisplayObject::GetObjectColor(float* out) const {
  if (out) std::memcpy(out, color, sizeof color);
}

int DisplayObject::IsObjectShown() const {
  // An iterative walk: the chain may be long and the answer is an AND.
  for (const DisplayObject* o = this; o; o = o->parent)
    if (!o->shown) return 0;
  return 1;
}

// ----------------------------------------------------------------------------
// [SECTION] Hierarchy
// ----------------------------------------------------------------------------

bool DisplayObject::IsObjectDescendant(const DisplayObject* object, const DisplayObject* other) {
  if (!other || !object) return false;
  for (const DisplayObject* o = object->parent; o; o = o->parent)
    if (o == other) return true;
  return false;
}

void DisplayObject::SetObjectParent(DisplayObject* newParent) {
  if (newParent == this || newParent == parent) return;
  boundsValid = worldBoxValid = 0;
  if (parent) {
    if (parent->firstChild == this) {
      parent->firstChild = nextSibling;
    } else {
      for (DisplayObject* s = parent->firstChild; s; s = s->nextSibling)
        if (s->nextSibling == this) {
          s->nextSibling = nextSibling;
          break;
        }
    }
    nextSibling = nullptr;
  }
  if (!newParent) {
    parent = nullptr;
    return;
  }
  // A cycle is refused: the object stays detached (it has already left its
  // old parent), so no list ever names it without its parent field agreeing.
  if (IsObjectDescendant(newParent, this)) {
    parent = nullptr;
    return;
  }
  if (!newParent->firstChild) {
    newParent->firstChild = this;
  } else {
    DisplayObject* last = newParent->firstChild;
    while (last->nextSibling) last = last->nextSibling;
    last->nextSibling = this;
  }
  parent = newParent;
}

// ----------------------------------------------------------------------------
// [SECTION] Matrices and points
// ----------------------------------------------------------------------------

void DisplayObject::UpdateObjectMatrices() {
  Matrix s = MatrixScaling(scale.x, scale.y, scale.z);
  Matrix r = MatrixRotationYawPitchRoll(-angles.y, -angles.x, angles.z);
  // S x R x T written out: the rotation rows scaled, the position below.
  Matrix f = r;
  for (int j = 0; j < 3; j++) {
    f.m[0][j] *= s.m[0][0];
    f.m[1][j] *= s.m[1][1];
    f.m[2][j] *= s.m[2][2];
  }
  f.m[3][0] = position.x;
  f.m[3][1] = position.y;
  f.m[3][2] = position.z;
  frameMatrix = f;
  // T(storedPivot) x F: the pivot row turned by F and added to F's position.
  localMatrix = f;
  Vec3 p = Vec3TransformNormal(storedPivot, f);
  localMatrix.m[3][0] += p.x;
  localMatrix.m[3][1] += p.y;
  localMatrix.m[3][2] += p.z;
  matricesValid = 1;
}

Matrix DisplayObject::GetObjectFrameMatrix(Matrix* out) {
  if (!matricesValid) UpdateObjectMatrices();
  Matrix m = parent ? MatrixMultiply(frameMatrix, parent->GetObjectFrameMatrix()) : frameMatrix;
  if (out) *out = m;
  return m;
}

Matrix DisplayObject::GetObjectWorldMatrix(Matrix* out) {
  if (!matricesValid) UpdateObjectMatrices();
  Matrix m = parent ? MatrixMultiply(localMatrix, parent->GetObjectFrameMatrix()) : localMatrix;
  if (out) *out = m;
  return m;
}

Matrix DisplayObject::GetObjectWorldMatrixOffset(Matrix* out, float x, float y, float z) {
  Matrix m = GetObjectWorldMatrix();
  m.m[3][0] += x;
  m.m[3][1] += y;
  m.m[3][2] += z;
  if (out) *out = m;
  return m;
}

Matrix DisplayObject::GetObjectInverseWorld(Matrix* out) {
  if (!inverseValid || parent) {
    Matrix w = GetObjectWorldMatrix();
    if (!MatrixInverse(&inverseWorld, nullptr, w)) inverseWorld = MatrixIdentity();
    inverseValid = 1;
  }
  if (out) *out = inverseWorld;
  return inverseWorld;
}

Vec3 DisplayObject::TransformPointToWorld(const Vec3& p) { return Vec3TransformCoord(p, GetObjectWorldMatrix()); }

Vec3 DisplayObject::TransformPointToLocal(const Vec3& p) { return Vec3TransformCoord(p, GetObjectInverseWorld()); }

Vec3 DisplayObject::TransformPointByCachedWorld(const Vec3& p) const { return Vec3TransformCoord(p, cachedWorld); }

Vec3 DisplayObject::GetObjectWorldPosition(Vec3* copy) {
  Vec3 p = parent ? Vec3TransformCoord(position, parent->GetObjectWorldMatrix()) : position;
  if (copy) *copy = p;
  return p;
}

Vec3 DisplayObject::GetObjectFront(Vec3* copy) const {
  Vec3 f;
  core::DirectionFromAngles(&f, nullptr, angles);
  if (copy) *copy = f;
  return f;
}

Vec3 DisplayObject::GetObjectUp(Vec3* copy) const {
  Vec3 u;
  core::DirectionFromAngles(nullptr, &u, angles);
  if (copy) *copy = u;
  return u;
}

Vec3 DisplayObject::GetObjectWorldFront(Vec3* copy) {
  Vec3 f = parent ? Vec3Normalize(Vec3Subtract(TransformPointToWorld({0, 0, 1}), TransformPointToWorld({0, 0, 0})))
                  : GetObjectFront();
  if (copy) *copy = f;
  return f;
}

Vec3 DisplayObject::GetObjectWorldUp(Vec3* copy) {
  Vec3 u = parent ? Vec3Normalize(Vec3Subtract(TransformPointToWorld({0, 1, 0}), TransformPointToWorld({0, 0, 0})))
                  : GetObjectUp();
  if (copy) *copy = u;
  return u;
}

void DisplayObject::CacheObjectWorld() {
  cachedWorld = GetObjectWorldMatrix();
  cachedInverseWorld = GetObjectInverseWorld();
  cacheStored = 1;
}

Vec3 DisplayObject::GetObjectPointMotion(const Vec3& p) {
  Vec3 q = TransformPointByCachedWorld(TransformPointToLocal(p));
  return Vec3Subtract(p, q);
}

// ----------------------------------------------------------------------------
// [SECTION] Bounds
// ----------------------------------------------------------------------------

void DisplayObject::UpdateObjectBounds() {
  if (boundsValid || !model) return;
  boxMin = {1000000, 1000000, 1000000};
  boxMax = {-1000000, -1000000, -1000000};
  radius = 0;
  // Here the pivot comes after the scale.
  Matrix sp = MatrixScaling(scale.x, scale.y, scale.z);
  sp.m[3][0] = storedPivot.x;
  sp.m[3][1] = storedPivot.y;
  sp.m[3][2] = storedPivot.z;
  for (int n = 0; n < model->containerCount && n < kMeshMaxContainers; n++) {
    const ObjectContainerRecord& r = containers[n];
    Matrix m = MatrixMultiply(r.combined, sp);
    for (int c = 0; c < 8; c++) {
      Vec3 p = Vec3TransformCoord(Corner(r.boxMin, r.boxMax, c), m);
      radius = std::fmax(radius, Vec3Length(p));
      boxMin = {std::fmin(boxMin.x, p.x), std::fmin(boxMin.y, p.y), std::fmin(boxMin.z, p.z)};
      boxMax = {std::fmax(boxMax.x, p.x), std::fmax(boxMax.y, p.y), std::fmax(boxMax.z, p.z)};
    }
  }
  boundsValid = 1;
}

float DisplayObject::GetObjectRadius(float* out) {
  UpdateObjectBounds();
  if (out) *out = radius;
  return radius;
}

Vec3 DisplayObject::GetObjectBox(Vec3* outMax, Vec3* outMin, Vec3* outMax2) {
  UpdateObjectBounds();
  if (outMax) *outMax = boxMax;
  if (outMin) *outMin = boxMin;
  if (outMax2) *outMax2 = boxMax;
  return boxMax;
}

Vec3 DisplayObject::GetObjectWorldBounds(Vec3* outMax, Vec3* outMin, Vec3* outMax2) {
  if (model && !worldBoxValid) {
    Vec3 lo, hi;
    model->GetMeshBounds(&hi, &lo, nullptr, containers);
    worldBoxMin = {3.4028235e38f, 3.4028235e38f, 3.4028235e38f};
    worldBoxMax = {-3.4028235e38f, -3.4028235e38f, -3.4028235e38f};
    Matrix w = GetObjectWorldMatrix();
    for (int c = 0; c < 8; c++) {
      Vec3 p = Vec3TransformCoord(Corner(lo, hi, c), w);
      worldBoxMin = {std::fmin(worldBoxMin.x, p.x), std::fmin(worldBoxMin.y, p.y), std::fmin(worldBoxMin.z, p.z)};
      worldBoxMax = {std::fmax(worldBoxMax.x, p.x), std::fmax(worldBoxMax.y, p.y), std::fmax(worldBoxMax.z, p.z)};
    }
    worldBoxValid = 1;
  }
  if (outMax) *outMax = worldBoxMax;
  if (outMin) *outMin = worldBoxMin;
  if (outMax2) *outMax2 = worldBoxMax;
  return worldBoxMax;
}

}  // namespace render
