// render_drawables.h -- the renderer's drawables (included through
// render_public.h): models loaded from X files (`CMesh`), display objects
// with their hierarchy, and the collision and picking tests on both.
//
// Notes for callers:
//  - A CMesh is loaded once (LoadXFile) and shown by any number of display
//    objects; each object keeps its own copy of the model's container
//    records, so every object has its own pose. Objects never own their
//    model or texture holder.
//  - Matrices are row-vector, left-handed (platform_math.h). An object's
//    local matrix is T(-pivot) x S x R x T(position); a child is placed
//    relative to its parent's frame matrix S x R x T, without the parent's
//    pivot.
//  - Operations that draw take the GraphicsSystem; everything else works
//    without a device, so the world can test and place objects headless.
//  - Results follow the renderer: 1 or 0 (or -1 for a refusal), except
//    where an operation says otherwise.
#pragma once

#include <cstdint>

#include "platform/platform_math.h"

namespace render {

using platform::Matrix;
using platform::Vec3;

class GraphicsSystem;
struct TextureHolder;
struct MeshBuffer;           // a prepared vertex and index table (render_local.h)
struct MeshSkinInfo;         // bones of a skinned container (render_local.h)
struct AnimationController;  // animation sets and two tracks (render_local.h)
struct MeshPoseStore;        // skinning matrices posed for display objects (render_local.h)

constexpr int kMeshMaxFrames = 128;
constexpr int kMeshMaxContainers = 32;
constexpr int kMeshMaxMaterials = 16;

// CMesh load flags (and later bits of SetMeshFlags).
enum : uint32_t {
  kMeshNoTextureNames = 0x2,  // do not keep texture file names
  kMeshSimplify = 0x10,       // containers over 500 vertices: 400 and 100 vertex copies
  kMeshHierarchy = 0x20,      // load frames, skins and animation
  kMeshMirror = 0x40,         // drawn as a mirror surface
};

// A frame of a hierarchy model. Links point into the model's own frames
// (or, in the copies, into the copies).
struct MeshContainer;
struct MeshFrame {
  char* name;
  Matrix transformationMatrix;
  MeshContainer* meshContainer;
  MeshFrame* sibling;
  MeshFrame* firstChild;
};

// A mesh container: one mesh of the model with its materials and skin.
struct MeshContainer {
  char* name;
  int32_t index;  // its place in the model's tables (and records)
  int meshType;  // 1 plain mesh
  MeshBuffer* mesh;
  uint32_t materialCount;
  uint32_t* adjacency;  // three words a face (-1: no neighbour)
  MeshSkinInfo* skinInfo;
  MeshContainer* next;
};

// The pose of one container, in the model and in every display object that
// shows it. A record with a null meshSlot is free.
struct ObjectContainerRecord {
  const char* frameName;       // name of the frame that holds the container
  Matrix combined;             // frame matrix times all its ancestors'
  Matrix inverseCombined;
  Matrix* boneMatrices;        // skinning matrices (offset x combined of each bone's frame)
  MeshBuffer** meshSlot;       // the container's full mesh
  MeshBuffer** chosenMeshSlot; // a level-of-detail mesh, null for the full one
  MeshBuffer** collisionMeshSlot;
  Vec3 boxMin, boxMax;         // box of the container's vertices (model space of its frame)
  float radius;                // the larger length of the two box corners
};

// Collision arrays of one container (BuildCollisionTriangles).
struct CollisionTriangle {
  Vec3 p[3];
};

// ----------------------------------------------------------------------------
// CMesh: a model loaded from an X file. All tables are fixed; see the load
// flags above. Many display objects may share one model.
// ----------------------------------------------------------------------------

class CMesh {
 public:
  CMesh();
  ~CMesh() { DestroyMesh(); }
  CMesh(const CMesh&) = delete;
  CMesh& operator=(const CMesh&) = delete;

  // --- Loading (render_mesh_load.cpp) -----------------------------------
  // Logs "reading X file", reads the file through the file layer and builds
  // the model. 1, or 0 (file missing or refused; the model is then empty).
  int LoadXFile(GraphicsSystem& gs, const char* name, uint32_t flags);
  // Builds the model from bytes in memory. 1, or 0 after a log line (the
  // model is then empty).
  int BuildMeshFromX(GraphicsSystem& gs, const void* bytes, int size, uint32_t flags);
  // The allocator operations the hierarchy build calls: 0, or 1 when the
  // table is full (nothing made). `meshData` is the reader's mesh.
  int CreateFrame(const char* name, MeshFrame** out);
  int CreateMeshContainer(const char* name, const void* meshData, int materialCount, MeshContainer** out);
  int DestroyFrame(MeshFrame*) { return 0; }
  int DestroyMeshContainer(MeshContainer*) { return 0; }
  // Frees every table and returns the model to empty.
  void ReleaseMesh();
  void DestroyMesh() { ReleaseMesh(); }

  // --- Pose (render_mesh.cpp) -------------------------------------------
  // Copies the records (up to the first free one) into `destination`. 1.
  int CopyMeshRecords(ObjectContainerRecord* destination) const;
  // Poses the model: set0 on track 0 at time0 with weight, set1 on track 1
  // at time1 with 1 - weight; times are fractions of each set's period.
  // With frameName only that frame moves. Records, when given, receive the
  // pose. 0 without animation, else 1.
  int SetMeshAnimation(ObjectContainerRecord* records, const char* frameName, const char* set0, float time0,
                       const char* set1, float time1, float weight);
  // Box and radius of the pose in `records` (the model's own when null).
  Vec3 GetMeshBounds(Vec3* outMax, Vec3* outMin, Vec3* outMax2, const ObjectContainerRecord* records);
  float GetMeshRadius(const ObjectContainerRecord* records);
  int GetMeshContainerCount() const { return containerCount; }
  int GetMeshFaceCount(int n) const;
  int GetMeshVertexCount(int n) const;
  int TransformPointByFrame(Vec3* out, const char* frameName, const Vec3& point) const;
  // Chooses the level of detail for container n (all for n < 0).
  void PickMeshLod(int n, int budget);
  uint32_t SetMeshFlags(uint32_t bits) { return loadFlags |= bits; }
  uint32_t ClearMeshFlags(uint32_t bits) { return loadFlags &= ~bits; }
  int SetMeshColor(float r, float g, float b, float a);
  // Vertex positions of container n as posed by `records` (the model's own
  // when null), skinning applied, in the container's model space. False
  // when n has no mesh.
  bool GetPosedVertices(int n, const ObjectContainerRecord* records, Vec3* out, int capacity, int* count) const;

  // --- Texture layers (render_mesh.cpp) ---------------------------------
  // n or m below 0 means all. Setters 1, or 0 out of range.
  int SetMeshTexture(int n, int m, TextureHolder* holder) { return SetLayer(diffuseTextures, n, m, holder); }
  int SetMeshBumpTexture(int n, int m, TextureHolder* holder) { return SetLayer(bumpTextures, n, m, holder); }
  int SetMeshSpecularTexture(int n, int m, TextureHolder* holder) { return SetLayer(specularTextures, n, m, holder); }
  int SetMeshLightTexture(int n, int m, TextureHolder* holder) { return SetLayer(lightTextures, n, m, holder); }
  TextureHolder* GetMeshTexture(int n, int m) const { return GetLayer(diffuseTextures, n, m); }
  TextureHolder* GetMeshBumpTexture(int n, int m) const { return GetLayer(bumpTextures, n, m); }
  TextureHolder* GetMeshSpecularTexture(int n, int m) const { return GetLayer(specularTextures, n, m); }
  TextureHolder* GetMeshLightTexture(int n, int m) const { return GetLayer(lightTextures, n, m); }
  void SetMeshHeatTexture(TextureHolder* holder) { heatTexture = holder; }
  TextureHolder* GetMeshHeatTexture() const { return heatTexture; }
  const char* GetMeshTextureName(int n, int m) const;

  // --- Drawing (render_mesh_draw.cpp) -----------------------------------
  // Draws with `world` (null: identity) and `records` (null: the model's
  // own). 0 without a mesh or device, else 1.
  int DrawMesh(GraphicsSystem& gs, const Matrix* world, const ObjectContainerRecord* records);

  // --- Collision (render_collision.cpp) ---------------------------------
  int RayHitMesh(Vec3* outPoint, Vec3* outNormal, Vec3* outEdge, const Vec3& start, const Vec3& end,
                 int cullBackFaces, const ObjectContainerRecord* records);
  int MeshHitMesh(CMesh* other, const Matrix& matrixA, const Matrix& matrixB, const ObjectContainerRecord* records);

  // --- Internals shared by the model's files ----------------------------
  void BuildCollisionTriangles(int n, bool useChosen);
  void FreeCollisionTriangles(int n);
  void UpdateFrameMatrices(MeshFrame* frame, const Matrix* parentMatrix);
  void PrepareMeshContainers(GraphicsSystem& gs);
  void ResetMesh();
  // Writes the vertex colours: material diffuse, times the model colour
  // on the fixed-function path.
  void ApplyVertexColours();
  int SetLayer(TextureHolder* (*layer)[kMeshMaxMaterials], int n, int m, TextureHolder* holder);
  TextureHolder* GetLayer(TextureHolder* const (*layer)[kMeshMaxMaterials], int n, int m) const;

  // --- Fields -----------------------------------------------------------
  MeshBuffer* plainMesh;
  MeshBuffer* lodMeshes[kMeshMaxContainers][2];  // 400 and 100 vertices
  platform::GfxMaterial materials[kMeshMaxContainers][kMeshMaxMaterials];
  AnimationController* animationController;
  MeshFrame* frames[kMeshMaxFrames];
  MeshFrame* frameCopies[kMeshMaxFrames];
  MeshContainer* containers[kMeshMaxContainers];
  uint32_t maxFaceInfluences[kMeshMaxContainers];
  uint32_t boneCombinationCounts[kMeshMaxContainers];
  uint32_t boneCounts[kMeshMaxContainers];
  TextureHolder* diffuseTextures[kMeshMaxContainers][kMeshMaxMaterials];
  TextureHolder* bumpTextures[kMeshMaxContainers][kMeshMaxMaterials];
  TextureHolder* specularTextures[kMeshMaxContainers][kMeshMaxMaterials];
  TextureHolder* lightTextures[kMeshMaxContainers][kMeshMaxMaterials];
  TextureHolder* heatTexture;
  char* textureNames[kMeshMaxContainers][kMeshMaxMaterials];
  ObjectContainerRecord records[kMeshMaxContainers];
  int32_t frameCount;
  int32_t containerCount;
  int32_t materialCounts[kMeshMaxContainers];
  int32_t vertexCounts[kMeshMaxContainers];
  int32_t triangleCounts[kMeshMaxContainers];
  CollisionTriangle* collisionTriangles[kMeshMaxContainers];
  Vec3* collisionNormals[kMeshMaxContainers];
  Vec3* collisionEdges[kMeshMaxContainers];
  int32_t lastHitContainer, lastHitFace;  // nearest hit of RayHitMesh; -1 after a reset
  MeshFrame* rootFrame;
  const ObjectContainerRecord* boundsRecords;  // table of the cached bounds; kNoBounds when none
  float boundsRadius;
  Vec3 boundsMin, boundsMax;
  uint32_t loadFlags;
  int32_t shadersAtLoad;
  float color[4];
  // Every record table that was posed (SetMeshAnimation with a target)
  // gets its own copy of the skinning matrices here, so objects sharing a
  // skinned model keep their own poses until they are drawn. Freed with
  // the model.
  MeshPoseStore* poseStore;
};

// ----------------------------------------------------------------------------
// DisplayObject: the one drawable node (render_object.cpp, drawing in
// render_object_draw.cpp, tests in render_collision.cpp).
// ----------------------------------------------------------------------------

// The 40-byte vertex of surfaces (draw modes 1 and 2).
struct SurfaceVertex {
  float x, y, z;
  uint32_t diffuse;  // packed ARGB (fixed pipeline)
  float u, v;
  float r, g, b, a;  // colour multiplier (effect)
};
static_assert(sizeof(SurfaceVertex) == 40, "the surface vertex stream is 40 bytes");

// Surface shapes.
enum : uint32_t {
  kSurfaceQuad2D = 0,
  kSurfaceSprite = 1,
  kSurfaceQuadXZ = 2,
  kSurfaceQuadYZ = 3,
  kSurfaceCentredSprite = 4,
  kSurfaceCentredXZ = 5,
  kSurfaceCentredYZ = 6,
  kSurfaceDisc = 7,
  kSurfaceCube = 10,
  kSurfaceOctahedron = 11,
  kSurfaceDoubleCone = 12,
  kSurfaceCone = 13,
  kSurfaceCross = 16,
  kSurfaceLensLeft = 17,
  kSurfaceLensRight = 18,
};

// DisplayObject flags owned by the renderer (other bits belong to the
// records that embed the object).
enum : uint32_t {
  kObjectSprite3D = 0x4,
  kObjectWireframe = 0x8,
};

// AlignObjectSurface flags.
enum : uint32_t { kAlignLeft = 0x1, kAlignRight = 0x2, kAlignTop = 0x4, kAlignBottom = 0x8 };

class DisplayObject {
 public:
  DisplayObject();
  ~DisplayObject() { DestroyObject(); }
  DisplayObject(const DisplayObject&) = delete;
  DisplayObject& operator=(const DisplayObject&) = delete;

  // --- Life cycle -------------------------------------------------------
  void InitObject();
  // Frees the heap vertex array, then InitObject. Leaves model, holder,
  // parent and children alone: detach or delete children first.
  void ReleaseObject();
  void DestroyObject() { ReleaseObject(); }

  // --- Content ----------------------------------------------------------
  void SetObjectModel(CMesh* m);
  int SetObjectSurface(GraphicsSystem& gs, TextureHolder* holder, uint32_t shape, int count);
  int SetObjectTexture(GraphicsSystem& gs, TextureHolder* holder);
  int BuildSurfaceGeometry(GraphicsSystem& gs, float x0, float y0, float x1, float y1);
  Vec3 AlignObjectSurface(uint32_t alignFlags);
  int GetObjectSurfacePixelRect(float* x0, float* y0, float* x1, float* y1) const;
  bool GetObjectVertex(int n, SurfaceVertex* out) const;
  bool SetObjectVertex(int n, const SurfaceVertex& vertex);
  const char* SetObjectText(const char* newText);
  CMesh* GetObjectModel() const { return model; }
  TextureHolder* GetObjectSurface() const { return surface; }
  int SetObjectAnimation(const char* frameName, const char* set0, float time0, const char* set1, float time1,
                         float weight);

  // --- Placement --------------------------------------------------------
  void SetObjectPosition(float x, float y, float z);
  void SetObjectScale(float x, float y, float z);
  void SetObjectPivot(float x, float y, float z);
  void SetObjectAngles(float pitch, float yaw, float roll);
  void SetObjectRotation2D(float a) { SetObjectAngles(0, 0, a); }
  void SetObjectLookAt(const Vec3& direction, const Vec3* up);
  void SetObjectColor(float r, float g, float b, float a);
  float SetObjectGlareRate(float rate);
  int SetObjectVisible(int on);
  Vec3 GetObjectPosition(Vec3* copy = nullptr) const;
  Vec3 GetObjectScale(Vec3* copy = nullptr) const;
  Vec3 GetObjectAngles(Vec3* copy = nullptr) const;
  Vec3 GetObjectPivot() const { return {-storedPivot.x, -storedPivot.y, -storedPivot.z}; }
  void GetObjectColor(float* out) const;
  DisplayObject* GetObjectParent() const { return parent; }
  DisplayObject* GetObjectFirstChild() const { return firstChild; }
  DisplayObject* GetObjectNextSibling() const { return nextSibling; }
  int IsObjectShown() const;
  bool IsObjectPlainSurface() const { return surfaceShape == 0; }

  // --- Hierarchy --------------------------------------------------------
  void SetObjectParent(DisplayObject* newParent);
  // True when `other` is an ancestor of `object` (the object itself not).
  static bool IsObjectDescendant(const DisplayObject* object, const DisplayObject* other);

  // --- Matrices and points ----------------------------------------------
  Matrix GetObjectWorldMatrix(Matrix* out = nullptr);
  Matrix GetObjectFrameMatrix(Matrix* out = nullptr);
  Matrix GetObjectWorldMatrixOffset(Matrix* out, float x, float y, float z);
  Matrix GetObjectInverseWorld(Matrix* out = nullptr);
  Vec3 TransformPointToWorld(const Vec3& p);
  Vec3 TransformPointToLocal(const Vec3& p);
  Vec3 TransformPointByCachedWorld(const Vec3& p) const;
  Vec3 GetObjectWorldPosition(Vec3* copy = nullptr);
  Vec3 GetObjectWorldFront(Vec3* copy = nullptr);
  Vec3 GetObjectFront(Vec3* copy = nullptr) const;
  Vec3 GetObjectWorldUp(Vec3* copy = nullptr);
  Vec3 GetObjectUp(Vec3* copy = nullptr) const;
  void CacheObjectWorld();
  Vec3 GetObjectPointMotion(const Vec3& p);

  // --- Bounds -----------------------------------------------------------
  float GetObjectRadius(float* out = nullptr);
  Vec3 GetObjectBox(Vec3* outMax, Vec3* outMin, Vec3* outMax2);
  Vec3 GetObjectWorldBounds(Vec3* outMax, Vec3* outMin, Vec3* outMax2);
  void UpdateObjectBounds();

  // --- Drawing (render_object_draw.cpp) ---------------------------------
  int DrawObject(GraphicsSystem& gs);
  int DrawObjectAt(GraphicsSystem& gs, float x, float y, float z);
  int DrawObjectText(GraphicsSystem& gs, const char* digits, float x, float y, float z);
  static int DrawSurface(GraphicsSystem& gs, TextureHolder* holder, const Matrix* matrix,
                         const SurfaceVertex* vertices, uint32_t shape, int count);

  // --- Collision and picking (render_collision.cpp) ---------------------
  int TestObjectHitSegment(GraphicsSystem* gs, Vec3* outPoint, Vec3* outNormal, const Vec3& start, const Vec3& end,
                           int cullBackFaces);
  int HitTestObjectSegments(GraphicsSystem* gs, Vec3* outPoint, Vec3* outNormal, const Vec3* const* segments);
  static int TestObjectHitObject(GraphicsSystem* gs, DisplayObject* object, DisplayObject* other);
  static int TestObjectBoundsOverlap(GraphicsSystem* gs, DisplayObject* object, DisplayObject* other);
  static int TestObjectBoxSegment(GraphicsSystem* gs, DisplayObject* object, const Vec3& start, const Vec3& end);
  static int IsPointInObjectBounds(GraphicsSystem* gs, DisplayObject* object, const Vec3& point);
  static int TestObjectOnScreen(GraphicsSystem* gs, DisplayObject* object, const Matrix& viewMatrix, float fov,
                                float far);

  // --- Internals --------------------------------------------------------
  void UpdateObjectMatrices();
  void SelectDrawModeForTest(GraphicsSystem* gs) const;
  int DrawObjectWith(GraphicsSystem& gs, const Matrix& world, bool setModelColour, float tx, float ty, float tz);

  // --- Fields -----------------------------------------------------------
  CMesh* model;
  TextureHolder* surface;
  Matrix localMatrix;
  Matrix frameMatrix;
  uint32_t matricesValid;
  Matrix inverseWorld;
  uint32_t inverseValid;
  Matrix cachedWorld;
  Matrix cachedInverseWorld;
  uint32_t cacheStored;
  SurfaceVertex* vertices;
  SurfaceVertex inlineVertices[4];
  int32_t vertexCount;
  Vec3 hitBoxMin, hitBoxMax;
  DisplayObject* parent;
  DisplayObject* firstChild;
  DisplayObject* nextSibling;
  Vec3 boxMin, boxMax;
  float radius;
  uint32_t boundsValid;
  Vec3 worldBoxMin, worldBoxMax;
  uint32_t worldBoxValid;
  uint32_t flags;
  uint32_t surfaceShape;
  int32_t shown;
  float glareRate;
  char textBuffer[256];
  char* text;
  Vec3 scale;
  Vec3 position;
  Vec3 storedPivot;  // the pivot, negated
  Vec3 angles;       // pitch (x), yaw (y), roll (z), radians
  float color[4];
  int32_t counter;   // free for the embedding records
  ObjectContainerRecord containers[kMeshMaxContainers];  // own copy of the model's records (own pose)
};

}  // namespace render
