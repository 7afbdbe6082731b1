#version 330 core
// effect.glsl -- the engine's one effect: technique "GraphTech" with its 13
// passes. The renderer inserts its "#define" switches (BLOOM, GLARE, MIRROR,
// MULTI, BUMP, SHADOW, ALLSHADOW, HEAT) after the version line; the device
// compiles each pass with TKW_VERTEX or TKW_FRAGMENT defined and supplies the
// vertex attributes (aPosition ...), TkwClip() and the outputs oColor0..2.
// Varyings are declared VARYING; the vertex colour is declared COLOR_VARYING,
// so that flat shading gives each triangle its first vertex's colour while
// everything else still interpolates.
//
// Matrices are row-vector matrices: positions are transformed as v * M.
// Every parameter is declared whatever the switches say.

//! technique GraphTech
//! pass SHADER_PASS_2DSPRITE vertex=VsSprite fragment=PsSprite
//! pass SHADER_PASS_2DSPRITE_L vertex=VsSprite fragment=PsSpriteLeft
//! pass SHADER_PASS_2DSPRITE_R vertex=VsSprite fragment=PsSpriteRight
//! pass SHADER_PASS_3DSPRITE vertex=VsSprite fragment=PsSprite3D
//! pass SHADER_PASS_3DMESH vertex=VsMesh fragment=PsMesh
//! pass SHADER_PASS_3DMESH_MIRROR vertex=VsMesh fragment=PsMeshMirror
//! pass SHADER_PASS_3DMESH_SHADOW vertex=VsMesh fragment=PsMeshShadow
//! pass SHADER_PASS_3DMESH_SHADOW_MIRROR vertex=VsMesh fragment=PsMeshShadowMirror
//! pass SHADER_PASS_3DMESH_SHADOWMAP vertex=VsShadowMap fragment=PsShadowMap
//! pass SHADER_PASS_BLOOM_COPY vertex=VsSprite fragment=PsBloomCopy
//! pass SHADER_PASS_GLARE_COPY vertex=VsSprite fragment=PsGlareCopy
//! pass SHADER_PASS_SMALL_COPY vertex=VsSprite fragment=PsSmallCopy
//! pass SHADER_PASS_HEAT_COPY vertex=VsSprite fragment=PsHeatCopy

// ---------------------------------------------------------------------------
// Parameters
// ---------------------------------------------------------------------------

uniform sampler2D g_texture;
uniform sampler2D g_bump_texture;
uniform sampler2D g_specular_texture;
uniform sampler2D g_light_texture;
uniform sampler2D g_heat_texture;
uniform sampler2D g_shadow_texture0;
uniform sampler2D g_shadow_texture1;
uniform sampler2D g_shadow_texture2;
uniform sampler2D g_mirror_texture;

uniform mat4 g_world0;
uniform mat4 g_world1;
uniform mat4 g_world2;
uniform mat4 g_world3;
uniform mat4 g_world4;
uniform mat4 g_view;
uniform mat4 g_proj;
uniform mat4 g_shadow_vproj0;
uniform mat4 g_shadow_vproj1;
uniform mat4 g_shadow_vproj2;
uniform vec4 g_object_color;
uniform vec4 g_light_color;
uniform vec4 g_ref_color;
uniform vec4 g_env_color;
uniform vec3 g_light_dir;
uniform vec4 g_spot_color0;
uniform vec4 g_spot_color1;
uniform vec4 g_spot_color2;
uniform vec4 g_spot_color3;
uniform vec4 g_spot_color4;
uniform vec4 g_spot_color5;
uniform vec4 g_spot_color6;
uniform vec4 g_spot_color7;
uniform vec3 g_spot_pos0;
uniform vec3 g_spot_pos1;
uniform vec3 g_spot_pos2;
uniform vec3 g_spot_pos3;
uniform vec3 g_spot_pos4;
uniform vec3 g_spot_pos5;
uniform vec3 g_spot_pos6;
uniform vec3 g_spot_pos7;
uniform vec3 g_spot_dir0;
uniform vec3 g_spot_dir1;
uniform vec3 g_spot_dir2;
uniform vec3 g_spot_dir3;
uniform vec3 g_spot_dir4;
uniform vec3 g_spot_dir5;
uniform vec3 g_spot_dir6;
uniform vec3 g_spot_dir7;
uniform float g_spot_power0;
uniform float g_spot_power1;
uniform float g_spot_power2;
uniform float g_spot_power3;
uniform float g_spot_power4;
uniform float g_spot_power5;
uniform float g_spot_power6;
uniform float g_spot_power7;
uniform float g_spot_size0;
uniform float g_spot_size1;
uniform float g_spot_size2;
uniform float g_spot_size3;
uniform float g_spot_size4;
uniform float g_spot_size5;
uniform float g_spot_size6;
uniform float g_spot_size7;
uniform vec4 g_camera_pos;
uniform float g_emphasis;
uniform float g_shadow_depth;
uniform float g_shadow_size;
uniform vec2 g_mirror_offset;
uniform float g_mirror_rate;
uniform float g_z_sign;
uniform float g_mirror_height;
uniform vec3 g_mirror_view_dir;
uniform vec3 g_mirror_view_up;
uniform vec3 g_mirror_view_right;
uniform float g_fog_start;
uniform float g_fog_end;
uniform vec4 g_fog_color;
uniform float g_glare_rate;
uniform float g_pixel_width;
uniform float g_pixel_height;

// ---------------------------------------------------------------------------
// Between the stages
// ---------------------------------------------------------------------------

VARYING vec2 vUv;
COLOR_VARYING vec4 vColor;
VARYING vec3 vWorldPos;
VARYING vec3 vNormal;
VARYING vec3 vTangent;
VARYING vec3 vBinormal;
VARYING float vViewZ;
VARYING vec4 vClipPos;

// ---------------------------------------------------------------------------
// Vertex shaders
// ---------------------------------------------------------------------------

#ifdef TKW_VERTEX

void VsSprite() {
  vec4 world = vec4(aPosition, 1.0) * g_world0;
  vec4 view = world * g_view;
  vec4 clip = view * g_proj;
  vUv = aTexCoord;
  vColor = aColor * g_object_color;
  vWorldPos = world.xyz;
  vNormal = vec3(0.0, 1.0, 0.0);
  vTangent = vec3(1.0, 0.0, 0.0);
  vBinormal = vec3(0.0, 0.0, 1.0);
  vViewZ = view.z;
  vClipPos = clip;
  gl_Position = TkwClip(clip);
}

// The five blend matrices: each weight takes at most what the earlier ones
// left, the last matrix the rest.
void Skin(out vec4 world, out vec3 normal, out vec3 tangent, out vec3 binormal) {
  float w0 = aBlendWeight.x;
  float w1 = min(1.0 - w0, aBlendWeight.y);
  float w2 = min(1.0 - w0 - w1, aBlendWeight.z);
  float w3 = min(1.0 - w0 - w1 - w2, aBlendWeight.w);
  float w4 = 1.0 - w0 - w1 - w2 - w3;
  vec4 p = vec4(aPosition, 1.0);
  world = (p * g_world0) * w0 + (p * g_world1) * w1 + (p * g_world2) * w2 + (p * g_world3) * w3 + (p * g_world4) * w4;
  mat3 m = mat3(g_world0) * w0 + mat3(g_world1) * w1 + mat3(g_world2) * w2 + mat3(g_world3) * w3 + mat3(g_world4) * w4;
  normal = aNormal * m;
  tangent = aTangent * m;
  binormal = aBinormal * m;
}

void VsMesh() {
  vec4 world;
  vec3 normal, tangent, binormal;
  Skin(world, normal, tangent, binormal);
  vec4 view = world * g_view;
  vec4 clip = view * g_proj;
  vUv = aTexCoord;
  vColor = aColor * g_object_color;
  vColor.a *= g_light_color.a;
  vWorldPos = world.xyz;
  vNormal = normal;
  vTangent = tangent;
  vBinormal = binormal;
  vViewZ = view.z;
  vClipPos = clip;
  gl_Position = TkwClip(clip);
}

void VsShadowMap() {
#ifdef SHADOW
  VsMesh();
#else
  VsSprite();
#endif
}

#endif

// ---------------------------------------------------------------------------
// Fragment shaders
// ---------------------------------------------------------------------------

#ifdef TKW_FRAGMENT

// Linear fog by view depth; an empty range means no fog (the renderer
// switches fog off for it too) instead of a division by zero.
float FogFactor() {
  float range = g_fog_end - g_fog_start;
  if (range <= 0.0) return 0.0;
  return clamp((g_z_sign * vViewZ - g_fog_start) / range, 0.0, 1.0);
}

// The scene colour with the bloom and glare outputs the switches ask for.
void WriteOutputs(vec4 scene, vec3 bloom, vec3 glare) {
  oColor0 = scene;
#ifdef BLOOM
  oColor1 = vec4(bloom, 1.0);
#ifdef GLARE
  oColor2 = vec4(glare, 1.0);
#endif
#else
#ifdef GLARE
  oColor1 = vec4(glare, 1.0);
#endif
#endif
}

// The sprites' outputs: colour x (1 - g_glare_rate) to the scene and the
// rest to the glare light under GLARE, no bloom. Billboards (`fogged`) fade
// into the fog like the meshes, their glare towards black; the 2D layer (HUD,
// text, windows, the composite's copies) has no distance and is never fogged.
void WriteSpriteOutputs(vec4 c, bool fogged) {
#ifdef GLARE
  vec3 glare = c.rgb * g_glare_rate;
  c.rgb *= 1.0 - g_glare_rate;
#else
  vec3 glare = vec3(0.0);
#endif
  if (fogged) {
    float fog = FogFactor();
    c.rgb = mix(c.rgb, g_fog_color.rgb, fog);
    glare = mix(glare, vec3(0.0), fog);
  }
  WriteOutputs(c, vec3(0.0), glare);
}

// The mirror image keeps only what stands above the mirror plane. Only the
// mirror image itself (drawn right-handed, g_z_sign -1) is clipped: the main
// scene draws everything whatever height was left in g_mirror_height.
bool BelowMirror() {
#ifdef MIRROR
  return g_z_sign < 0.0 && vWorldPos.y < g_mirror_height;
#else
  return false;
#endif
}

void PsSprite() { WriteSpriteOutputs(texture(g_texture, vUv) * vColor, false); }

void PsSpriteLeft() {
  vec4 c = texture(g_texture, vUv) * vColor;
  vec3 o = vec3(dot(c.rgb, vec3(0.4155, 0.4710, 0.1670)), dot(c.rgb, vec3(-0.0458, -0.0484, -0.0258)),
                dot(c.rgb, vec3(-0.0545, -0.0614, 0.0128)));
  WriteOutputs(vec4(o, c.a), vec3(0.0), vec3(0.0));
}

void PsSpriteRight() {
  vec4 c = texture(g_texture, vUv) * vColor;
  vec3 o = vec3(dot(c.rgb, vec3(-0.0109, -0.0365, -0.0060)), dot(c.rgb, vec3(0.3756, 0.7333, 0.0111)),
                dot(c.rgb, vec3(-0.0651, -0.1286, 1.2968)));
  WriteOutputs(vec4(o, c.a), vec3(0.0), vec3(0.0));
}

void PsSprite3D() {
  if (BelowMirror()) discard;
  vec4 c = texture(g_texture, vUv) * vColor;
  c.rgb *= g_emphasis;
  WriteSpriteOutputs(c, true);
}

// A NaN-proof saturate: a light that is infinitely far or degenerate adds
// nothing.
float Safe01(float v) { return (isnan(v) || v <= 0.0) ? 0.0 : min(v, 1.0); }

struct Surface {
  vec3 n, view, pos;
  float spec;
  float fresnel;
};

// One spot light's diffuse and Fresnel-weighted specular.
void Spot(Surface s, vec4 colour, vec3 pos, vec3 dir, float power, float size, inout vec3 diffuse, inout vec3 specular) {
  vec3 toPixel = s.pos - pos;
  float dist = length(toPixel);
  if (isinf(dist) || isnan(dist) || dist <= 0.0 || power <= 0.0) return;
  vec3 l = toPixel / dist;
  float angle = acos(clamp(dot(dir, l), -1.0, 1.0));
  float reach = power / dist;
  float cone = Safe01(-angle * size + 2.570796);
  vec3 light = clamp(colour.rgb * (reach * reach) * cone, 0.0, 1.0);
  if (any(isnan(light))) return;
  float rate = max(0.0, dot(s.n, -l));
  diffuse += light * rate;
  vec3 h = normalize(s.view - l);
  specular += s.spec * s.fresnel * light * pow(max(0.0, dot(h, s.n)), 30.0);
}

float ShadowTaps(sampler2D map, mat4 vproj, out bool inside) {
  vec4 p = vec4(vWorldPos, 1.0) * vproj;
  vec3 q = p.xyz / p.w;
  inside = abs(q.x) < 0.98 && abs(q.y) < 0.98 && q.z >= 0.0 && q.z <= 1.0;
  if (!inside) return 0.0;
  vec2 uv = vec2(q.x * 0.5 + 0.5, 0.5 - q.y * 0.5);
  float mine = 1.0 - q.z + 0.002;
  float stepUv = 2.0 * g_shadow_size;
  float count = 0.0;
  count += texture(map, uv).r > mine ? 1.0 : 0.0;
  count += texture(map, uv + vec2(stepUv, 0.0)).r > mine ? 1.0 : 0.0;
  count += texture(map, uv - vec2(stepUv, 0.0)).r > mine ? 1.0 : 0.0;
  count += texture(map, uv + vec2(0.0, stepUv)).r > mine ? 1.0 : 0.0;
  count += texture(map, uv - vec2(0.0, stepUv)).r > mine ? 1.0 : 0.0;
  return count;
}

float ShadowRate() {
#ifdef SHADOW
  bool in0, in1, in2;
  float sum = ShadowTaps(g_shadow_texture0, g_shadow_vproj0, in0);
#ifdef ALLSHADOW
  sum += ShadowTaps(g_shadow_texture1, g_shadow_vproj1, in1);
  float far = ShadowTaps(g_shadow_texture2, g_shadow_vproj2, in2);
  if (!in1) sum += far;
#endif
  return clamp(sum * 0.2, 0.0, 1.0);
#else
  return 0.0;
#endif
}

void MeshShade(bool mirror, bool shadowed) {
  vec4 tex = texture(g_texture, vUv);
  Surface s;
  s.pos = vWorldPos;
  s.n = normalize(vNormal);
#ifdef BUMP
  vec3 bump = texture(g_bump_texture, vUv).rgb * 2.0 - 1.0;
  s.n = normalize(s.n - bump.x * normalize(vTangent) - bump.y * normalize(vBinormal));
#endif
  s.view = normalize(g_camera_pos.xyz - vWorldPos);
  s.spec = texture(g_specular_texture, vUv).r;
  s.fresnel = 0.2 + 0.8 * pow(1.0 - max(0.0, dot(s.n, s.view)), 5.0);
  if (isnan(s.fresnel)) s.fresnel = 0.2;

  float shade = shadowed ? 1.0 - ShadowRate() : 1.0;
  float rate = max(0.0, dot(s.n, g_light_dir));
  vec3 diffuse = (g_env_color.rgb + g_light_color.rgb * rate * shade) * vColor.rgb;
  vec3 h = normalize(g_light_dir + s.view);
  vec3 specular = s.spec * s.fresnel * g_ref_color.rgb * clamp(rate * 128.0, 0.0, 1.0) *
                  pow(max(0.0, dot(h, s.n)), 30.0) * shade;

  vec3 spot = vec3(0.0);
#ifdef MULTI
  vec3 spotDiffuse = vec3(0.0);
  Spot(s, g_spot_color0, g_spot_pos0, g_spot_dir0, g_spot_power0, g_spot_size0, spotDiffuse, specular);
  Spot(s, g_spot_color1, g_spot_pos1, g_spot_dir1, g_spot_power1, g_spot_size1, spotDiffuse, specular);
  Spot(s, g_spot_color2, g_spot_pos2, g_spot_dir2, g_spot_power2, g_spot_size2, spotDiffuse, specular);
  Spot(s, g_spot_color3, g_spot_pos3, g_spot_dir3, g_spot_power3, g_spot_size3, spotDiffuse, specular);
  Spot(s, g_spot_color4, g_spot_pos4, g_spot_dir4, g_spot_power4, g_spot_size4, spotDiffuse, specular);
  Spot(s, g_spot_color5, g_spot_pos5, g_spot_dir5, g_spot_power5, g_spot_size5, spotDiffuse, specular);
  Spot(s, g_spot_color6, g_spot_pos6, g_spot_dir6, g_spot_power6, g_spot_size6, spotDiffuse, specular);
  Spot(s, g_spot_color7, g_spot_pos7, g_spot_dir7, g_spot_power7, g_spot_size7, spotDiffuse, specular);
  spot = spotDiffuse * vColor.rgb * tex.rgb;
#endif

  if (mirror) {
#ifdef MIRROR
    if (BelowMirror()) discard;
    vec2 screen = vec2(vClipPos.x / vClipPos.w * 0.5, vClipPos.y / vClipPos.w * -0.5) + g_mirror_offset;
    screen += vec2(dot(s.n, g_mirror_view_right), -dot(s.n, g_mirror_view_up)) / 5.0;
    vec3 mirrored = texture(g_mirror_texture, screen).rgb;
    tex.rgb = mix(tex.rgb, mirrored, clamp(s.fresnel * g_mirror_rate * s.spec, 0.0, 1.0));
#endif
  }

  vec3 lightMap = texture(g_light_texture, vUv).rgb;
  vec3 bloom = vec3(0.0);
  vec3 glare = vec3(0.0);
#ifdef GLARE
  glare = specular * 0.2 + lightMap * g_glare_rate;
  specular *= 0.8;
  lightMap *= 1.0 - g_glare_rate;
#endif
  vec3 colour = tex.rgb * diffuse * g_emphasis + spot;
#ifdef BLOOM
  bloom = specular + lightMap;
#else
  colour += specular + lightMap;
#endif
  float fog = FogFactor();
  colour = mix(colour, g_fog_color.rgb, fog);
  bloom = mix(bloom, vec3(0.0), fog);
  glare = mix(glare, vec3(0.0), fog);
  WriteOutputs(vec4(colour, tex.a * vColor.a), bloom, glare);
}

void PsMesh() { MeshShade(false, false); }
void PsMeshMirror() { MeshShade(true, false); }
void PsMeshShadow() { MeshShade(false, true); }
void PsMeshShadowMirror() { MeshShade(true, true); }

void PsShadowMap() {
#ifdef SHADOW
  float a = texture(g_texture, vUv).a * vColor.a;
  if (a <= 0.5) discard;
  oColor0 = vec4(1.0 - vClipPos.z / vClipPos.w, 0.0, 0.0, 1.0);
#else
  PsSprite3D();
#endif
}

// Post passes sample their source in its own texels.
vec2 Texel() { return 1.0 / vec2(textureSize(g_texture, 0)); }

vec4 Spread(float near, float far) {
  vec2 t = Texel();
  vec4 c = texture(g_texture, vUv);
  vec2 dirs[4] = vec2[4](vec2(1.0, 0.0), vec2(-1.0, 0.0), vec2(0.0, 1.0), vec2(0.0, -1.0));
  for (int i = 0; i < 4; i++) {
    c = max(c, texture(g_texture, vUv + dirs[i] * t) * near);
    c = max(c, texture(g_texture, vUv + dirs[i] * t * 2.0) * far);
  }
  return c;
}

void PsBloomCopy() {
#ifdef BLOOM
  oColor0 = Spread(0.5, 0.25) * vColor;
#else
  oColor0 = texture(g_texture, vUv) * vColor;
#endif
}

void PsGlareCopy() {
#ifdef GLARE
  oColor0 = Spread(0.9, 0.45) * vColor;
#else
  oColor0 = texture(g_texture, vUv) * vColor;
#endif
}

void PsSmallCopy() {
  vec2 h = Texel() * 0.5;
  vec4 c = texture(g_texture, vUv + vec2(-h.x, -h.y)) + texture(g_texture, vUv + vec2(h.x, -h.y)) +
           texture(g_texture, vUv + vec2(-h.x, h.y)) + texture(g_texture, vUv + vec2(h.x, h.y));
  oColor0 = c * 0.25 * vColor;
}

void PsHeatCopy() {
  vec4 c = texture(g_texture, vUv);
  vec3 heat = texture(g_heat_texture, vUv).rgb;
  oColor0 = vec4(c.rgb, max(heat.r, max(heat.g, heat.b)));
}

#endif
