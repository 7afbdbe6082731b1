// render_object_draw.cpp -- drawing display objects: models, surfaces of
// every shape, and digit texts cut from a surface.

#include "render/render_local.h"

namespace render {

using namespace platform;

namespace {

// The vertices a shape's primitives read, to refuse arrays that are short.
int VerticesNeeded(uint32_t shape, int count) {
  switch (shape) {
    case kSurfaceQuad2D:
    case kSurfaceSprite:
    case kSurfaceQuadXZ:
    case kSurfaceQuadYZ: return 4;
    case kSurfaceDisc: return count;
    case kSurfaceOctahedron: return 12;
    case kSurfaceDoubleCone: return 260;
    case kSurfaceCone: return 130;
    case kSurfaceCross: return 8;
    case kSurfaceLensLeft:
    case kSurfaceLensRight: return 544;
    default: return 0;
  }
}

}  // namespace

int DisplayObject::DrawSurface(GraphicsSystem& gs, TextureHolder* holder, const Matrix* matrix,
                               const SurfaceVertex* verts, uint32_t shape, int count) {
  GfxDevice* dev = gs.GetDevice();
  if (!dev || !holder || !verts) return 0;
  const GfxApi& g = gs.Gfx();
  Matrix world = matrix ? *matrix : MatrixIdentity();
  if (holder->HolderUsesEffect && gs.GetEffect()) g.SetMatrix(gs.GetEffect(), gs.Handles().world[0], world);
  else g.SetTransform(dev, kTransformWorld, world);
  gs.BindTextureToEffect(0, holder);
  uint32_t target = gs.GetTargetFlags();
  if (!(target & kTargetHeatCopy)) gs.BindTextureToEffect(kTexHeatSlot, gs.GetClearTexture());
  gs.SetBlendMode(holder->flags & 0x38000u);
  gs.SetTextureAddressing(holder->flags & 0xC0000u);
  int pass;
  if (shape != 0) {
    if (target & kTargetShadowMap) return 1;
    pass = SHADER_PASS_3DSPRITE;
  } else if (target & kTargetBloomCopy) {
    pass = SHADER_PASS_BLOOM_COPY;
  } else if (target & kTargetGlareCopy) {
    pass = SHADER_PASS_GLARE_COPY;
  } else if (target & kTargetHeatCopy) {
    pass = SHADER_PASS_HEAT_COPY;
  } else if (target & kTargetSmallCopy) {
    pass = SHADER_PASS_SMALL_COPY;
  } else {
    pass = SHADER_PASS_2DSPRITE;
  }
  gs.BeginScenePass(1, pass);
  int need = VerticesNeeded(shape, count);
  if (need <= 0 || (shape != 0 && count > 0 && count < need)) return 0;
  const int stride = int(sizeof(SurfaceVertex));
  switch (shape) {
    case kSurfaceQuad2D:
    case kSurfaceSprite:
    case kSurfaceQuadXZ:
    case kSurfaceQuadYZ: g.DrawPrimitiveUP(dev, kPrimTriangleFan, 2, verts, stride); break;
    case kSurfaceDisc:
      if (count > 2) g.DrawPrimitiveUP(dev, kPrimTriangleStrip, count - 2, verts, stride);
      break;
    case kSurfaceOctahedron:
      g.DrawPrimitiveUP(dev, kPrimTriangleFan, 4, verts, stride);
      g.DrawPrimitiveUP(dev, kPrimTriangleFan, 4, verts + 6, stride);
      break;
    case kSurfaceDoubleCone:
      g.DrawPrimitiveUP(dev, kPrimTriangleFan, 128, verts, stride);
      g.DrawPrimitiveUP(dev, kPrimTriangleFan, 128, verts + 130, stride);
      break;
    case kSurfaceCone: g.DrawPrimitiveUP(dev, kPrimTriangleFan, 128, verts, stride); break;
    case kSurfaceCross:
      g.DrawPrimitiveUP(dev, kPrimTriangleFan, 2, verts, stride);
      g.DrawPrimitiveUP(dev, kPrimTriangleFan, 2, verts + 4, stride);
      break;
    case kSurfaceLensLeft:
    case kSurfaceLensRight:
      for (int s = 0; s < 16; s++) g.DrawPrimitiveUP(dev, kPrimTriangleStrip, 32, verts + 34 * s, stride);
      break;
    default: break;
  }
  return 0;
}

int DisplayObject::DrawObjectWith(GraphicsSystem& gs, const Matrix& world, bool setModelColour, float tx, float ty,
                                  float tz) {
  if (text) return DrawObjectText(gs, text, tx, ty, tz);
  gs.SetGlareRate(glareRate);
  gs.SetObjectColorParameter(color[0], color[1], color[2], color[3]);
  if (flags & kObjectSprite3D) {
    gs.SetDrawMode(1);
    if (!surface) return 0;
    return DrawSurface(gs, surface, &world, vertices, surfaceShape, vertexCount);
  }
  if (model) {
    int mode = 0;
    if (flags & kObjectWireframe) mode = 3;
    else if (model->diffuseTextures[0][0] && (model->diffuseTextures[0][0]->flags & kTexAdditive)) mode = 4;
    gs.SetDrawMode(mode);
    GetObjectInverseWorld();
    if (setModelColour) model->SetMeshColor(color[0], color[1], color[2], color[3]);
    return model->DrawMesh(gs, &world, containers);
  }
  if (surface) {
    gs.SetDrawMode(2);
    return DrawSurface(gs, surface, &world, vertices, 0, 0);
  }
  return 0;
}

int DisplayObject::DrawObject(GraphicsSystem& gs) {
  if (!IsObjectShown()) return -1;
  if (text) return DrawObjectText(gs, text, 0, 0, 0);
  return DrawObjectWith(gs, GetObjectWorldMatrix(), true, 0, 0, 0);
}

int DisplayObject::DrawObjectAt(GraphicsSystem& gs, float x, float y, float z) {
  if (!shown) return -1;
  if (text) return DrawObjectText(gs, text, x, y, z);
  Matrix world;
  GetObjectWorldMatrixOffset(&world, x, y, z);
  return DrawObjectWith(gs, world, false, x, y, z);
}

int DisplayObject::DrawObjectText(GraphicsSystem& gs, const char* digits, float x, float y, float z) {
  char* savedText = text;
  text = nullptr;
  Vec3 savedPivot = GetObjectPivot();
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  GetObjectSurfacePixelRect(&x0, &y0, &x1, &y1);
  float cell = x1 - x0;
  // The text may be the object's own buffer: drawing does not change it.
  char copy[256];
  size_t n = digits ? strnlen(digits, 255) : 0;
  std::memcpy(copy, digits ? digits : "", n);
  copy[n] = 0;
  float penX = savedPivot.x;
  for (size_t i = 0; i < n; i++) {
    unsigned char c = static_cast<unsigned char>(copy[i]);
    int glyph = -1;
    if (c >= '0' && c <= '9') glyph = c - '0';
    else if (c == '.') glyph = 10;
    else if (c == ':') glyph = 11;
    else if (c == '-') glyph = 12;
    else if (c == '/') glyph = 13;
    else if (c == '=') glyph = 14;
    else if (c != ' ') continue;  // other bytes neither draw nor move the pen
    if (glyph >= 0 && surface) {
      BuildSurfaceGeometry(gs, x0 + cell * float(glyph), y0, x1 + cell * float(glyph), y1);
      SetObjectPivot(penX, savedPivot.y, savedPivot.z);
      DrawObjectAt(gs, x, y, z);
    }
    penX -= cell;
  }
  SetObjectPivot(savedPivot.x, savedPivot.y, savedPivot.z);
  if (surface) BuildSurfaceGeometry(gs, x0, y0, x1, y1);
  text = savedText;
  return 1;
}

}  // namespace render
