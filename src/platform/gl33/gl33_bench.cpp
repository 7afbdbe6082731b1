// gl33_bench.cpp -- the bare-GL twin of a frame of draws, for the renderer
// benchmark's comparison (nothing of the engine calls it).

#include <algorithm>
#include <cstring>

#include "platform/gl33/gl33_local.h"

namespace platform {

void Gl33DrawBareFrame(GfxDevice* dev, const GfxBareFrame& f) {
  GfxEffect* e = f.effect;
  GLuint spriteProgram = e->passes[size_t(f.spritePass)].program;
  GLuint meshProgram = e->passes[size_t(f.meshPass)].program;
  GLint spriteWorld = glGetUniformLocation(spriteProgram, "g_world0");
  GLint meshWorld = glGetUniformLocation(meshProgram, "g_world0");
  glBindFramebuffer(GL_FRAMEBUFFER, dev->fbo);

  // Sprites: texture, world matrix, vertices streamed, one fan each.
  glUseProgram(spriteProgram);
  glActiveTexture(GL_TEXTURE0);
  glBindVertexArray(dev->streamVaos[kLayoutSprite]);
  glBindBuffer(GL_ARRAY_BUFFER, dev->streamVbo);
  const uint8_t* v = static_cast<const uint8_t*>(f.spriteVertices);
  size_t offset = dev->streamOffset;
  for (int i = 0; i < f.sprites; i++) {
    glBindTexture(GL_TEXTURE_2D, f.textures[i % f.textureCount]->id);
    glUniformMatrix4fv(spriteWorld, 1, GL_TRUE, &f.worlds[i].m[0][0]);
    offset = (offset + 39) / 40 * 40;
    if (offset + 160 > kStreamBytes) {
      glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(kStreamBytes), nullptr, GL_STREAM_DRAW);
      offset = 0;
    }
    void* target = glMapBufferRange(GL_ARRAY_BUFFER, GLintptr(offset), 160,
                                    GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT);
    std::memcpy(target, v + size_t(i) * 160, 160);
    glUnmapBuffer(GL_ARRAY_BUFFER);
    glDrawArrays(GL_TRIANGLE_FAN, GLint(offset / 40), 4);
    offset += 160;
  }
  dev->streamOffset = offset;

  // Meshes: world matrix, texture, static buffers, one indexed draw each.
  glUseProgram(meshProgram);
  // The buffer's VAO is the one the device made at its first draw.
  glBindVertexArray(f.meshVertices->vaos[kLayoutMesh]);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, f.meshIndices->id);
  for (int i = 0; i < f.meshes; i++) {
    glUniformMatrix4fv(meshWorld, 1, GL_TRUE, &f.worlds[f.sprites + i].m[0][0]);
    glBindTexture(GL_TEXTURE_2D, f.textures[i % f.textureCount]->id);
    glDrawElementsBaseVertex(GL_TRIANGLES, f.triangles * 3, GL_UNSIGNED_SHORT, nullptr, 0);
  }
  // Hand the device a clean slate: its caches no longer match GL.
  dev->currentProgram = 0;
  std::memset(dev->unitTexture, 0xFF, sizeof dev->unitTexture);
  dev->activeUnit = -1;
  for (EffectProgram& p : e->passes) {
    std::fill(p.synced.begin(), p.synced.end(), 0u);
    p.syncedChange = 0;
    p.pixelSerial = 0;
  }
  glUseProgram(0);
}

}  // namespace platform
