// gl33_effect.cpp -- effects: a GLSL source with named passes compiled into
// one program per pass, and parameters that keep their values across passes.
//
// An effect source is one GLSL text whose first line is its "#version".
// Lines of the form
//   //! technique NAME
//   //! pass NAME vertex=FUNCTION fragment=FUNCTION
// name the technique and list its passes in order; each pass is compiled as
// a vertex shader (TKW_VERTEX defined, main calling the vertex function) and
// a fragment shader (TKW_FRAGMENT defined). Parameters are the top-level
// "uniform TYPE NAME;" declarations of types float, vec2, vec3, vec4, mat4
// and sampler2D; they are declared whatever the preprocessor switches say,
// so an effect knows the same parameters in every configuration.
//
// Varyings are declared with VARYING (out in the vertex stage, in in the
// fragment stage); colour varyings, the ones flat shading holds at the
// first vertex's value, with COLOR_VARYING. A source that uses COLOR_VARYING
// gets a second program per pass, compiled with TKW_FLAT defined, where
// those varyings are flat; draws use it while the shade mode is flat.

#include <algorithm>
#include <cstring>
#include <sstream>

#include "platform/gl33/gl33_local.h"

namespace platform {

// What every vertex shader of the device starts with: the attributes at
// their fixed locations, the clip helper and the varying keywords.
extern const char kVertexPrelude[] = R"(
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColor;
layout(location = 3) in vec2 aTexCoord;
layout(location = 4) in vec3 aTangent;
layout(location = 5) in vec3 aBinormal;
layout(location = 6) in vec4 aBlendWeight;
layout(location = 7) in vec4 aDiffuse;
// 1 / viewport width and height.
uniform vec2 tkw_pixel;
// From Direct3D's clip space to GL's: depth 0..1 becomes -1..1, y is flipped
// because every target is stored top row first, and positions move half a
// pixel so that whole pixel coordinates are pixel centres.
vec4 TkwClip(vec4 p) {
  return vec4(p.x + p.w * tkw_pixel.x, p.w * tkw_pixel.y - p.y, p.z * 2.0 - p.w, p.w);
}
#define VARYING out
#ifdef TKW_FLAT
#define COLOR_VARYING flat out
#else
#define COLOR_VARYING out
#endif
)";

extern const char kFragmentPrelude[] = R"(
layout(location = 0) out vec4 oColor0;
layout(location = 1) out vec4 oColor1;
layout(location = 2) out vec4 oColor2;
#define VARYING in
#ifdef TKW_FLAT
#define COLOR_VARYING flat in
#else
#define COLOR_VARYING in
#endif
)";


namespace {

bool ParamTypeOf(const std::string& word, ParamType* type) {
  if (word == "float") *type = ParamType::Float;
  else if (word == "vec2") *type = ParamType::Vec2;
  else if (word == "vec3") *type = ParamType::Vec3;
  else if (word == "vec4") *type = ParamType::Vec4;
  else if (word == "mat4") *type = ParamType::Mat4;
  else if (word == "sampler2D") *type = ParamType::Sampler;
  else return false;
  return true;
}

int ParamFloats(ParamType t) {
  switch (t) {
    case ParamType::Float: return 1;
    case ParamType::Vec2: return 2;
    case ParamType::Vec3: return 3;
    case ParamType::Vec4: return 4;
    case ParamType::Mat4: return 16;
    default: return 0;
  }
}

struct PassLine {
  std::string name, vertex, fragment;
};

// Reads the annotations and the parameter declarations.
void ScanSource(const std::string& text, std::string* technique, std::vector<PassLine>* passes,
                std::vector<EffectParam>* params) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    if (first == "//!") {
      std::string kind;
      words >> kind;
      if (kind == "technique") {
        words >> *technique;
      } else if (kind == "pass") {
        PassLine p;
        words >> p.name;
        std::string item;
        while (words >> item) {
          if (item.rfind("vertex=", 0) == 0) p.vertex = item.substr(7);
          if (item.rfind("fragment=", 0) == 0) p.fragment = item.substr(9);
        }
        passes->push_back(p);
      }
    } else if (first == "uniform") {
      std::string type, name;
      words >> type >> name;
      if (!name.empty() && name.back() == ';') name.pop_back();
      ParamType t;
      if (name.empty() || name.rfind("tkw_", 0) == 0 || !ParamTypeOf(type, &t)) continue;
      bool known = false;
      for (const EffectParam& p : *params) known = known || p.name == name;
      if (known) continue;
      EffectParam p;
      p.name = name;
      p.type = t;
      params->push_back(p);
    }
  }
}

EffectParam* ParamOf(GfxEffect* e, int handle) {
  if (!e || handle <= 0 || handle > int(e->params.size())) return nullptr;
  return &e->params[size_t(handle - 1)];
}

void Touch(GfxEffect* e, EffectParam* p) {
  p->serial++;
  e->change++;
}

// Compiles one pass (smooth or flat colours) and looks its parameters up;
// `samplers` gets the sampler parameters the pass uses. False with the
// compiler's words added to `log`.
bool BuildPass(GfxDevice* dev, const std::vector<EffectParam>& params, const std::string& version,
               const std::string& body, const PassLine& line, bool flat, EffectProgram* out,
               std::vector<int>* samplers, std::string* log) {
  std::string head = version + (flat ? "#define TKW_FLAT 1\n" : "");
  std::string vs = head + "#define TKW_VERTEX 1\n" + kVertexPrelude + "#line 2\n" + body + "\nvoid main() { " +
                   line.vertex + "(); }\n";
  std::string fs = head + "#define TKW_FRAGMENT 1\n" + kFragmentPrelude + "#line 2\n" + body +
                   "\nvoid main() { " + line.fragment + "(); }\n";
  std::string passLog;
  GLuint program = CompileProgram(vs, fs, &passLog);
  if (!program) {
    *log += "pass " + line.name + (flat ? " (flat)" : "") + ": " + passLog;
    return false;
  }
  EffectProgram& p = *out;
  p.name = line.name;
  p.program = program;
  p.pixelLocation = glGetUniformLocation(program, "tkw_pixel");
  BindProgram(dev, program);
  for (size_t i = 0; i < params.size(); i++) {
    GLint loc = glGetUniformLocation(program, params[i].name.c_str());
    p.location.push_back(loc);
    p.synced.push_back(0);
    if (params[i].type == ParamType::Sampler && loc >= 0) {
      glUniform1i(loc, params[i].unit);
      samplers->push_back(int(i));
    }
  }
  return true;
}

}  // namespace

GLuint CompileProgram(const std::string& vertex, const std::string& fragment, std::string* errors) {
  auto compile = [errors](GLenum kind, const std::string& text) -> GLuint {
    GLuint shader = glCreateShader(kind);
    const char* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
      char log[4096] = {};
      glGetShaderInfoLog(shader, sizeof log - 1, nullptr, log);
      if (errors) *errors += std::string(kind == GL_VERTEX_SHADER ? "vertex: " : "fragment: ") + log;
      glDeleteShader(shader);
      return 0;
    }
    return shader;
  };
  GLuint vs = compile(GL_VERTEX_SHADER, vertex);
  GLuint fs = vs ? compile(GL_FRAGMENT_SHADER, fragment) : 0;
  if (!vs || !fs) {
    if (vs) glDeleteShader(vs);
    return 0;
  }
  GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[4096] = {};
    glGetProgramInfoLog(program, sizeof log - 1, nullptr, log);
    if (errors) *errors += std::string("link: ") + log;
    glDeleteProgram(program);
    return 0;
  }
  return program;
}

void CommitEffect(GfxEffect* e) {
  if (!e || e->current < 0) return;
  GfxDevice* dev = e->dev;
  // The shade mode picks the pass's program; each keeps its own uniforms,
  // so a switch catches the other one up below.
  bool flat = dev->rs[kRsShadeMode] == kShadeFlat && !e->flatPasses.empty();
  EffectProgram& p = (flat ? e->flatPasses : e->passes)[size_t(e->current)];
  BindProgram(dev, p.program);
  if (p.pixelSerial != dev->viewportSerial) {
    p.pixelSerial = dev->viewportSerial;
    glUniform2f(p.pixelLocation, 1.0f / float(dev->viewport.width), 1.0f / float(dev->viewport.height));
    dev->stats.uniformUploads++;
  }
  if (p.syncedChange != e->change) {
    p.syncedChange = e->change;
    for (size_t i = 0; i < e->params.size(); i++) {
      const EffectParam& param = e->params[i];
      GLint loc = p.location[i];
      if (loc < 0 || p.synced[i] == param.serial) continue;
      p.synced[i] = param.serial;
      if (param.type != ParamType::Sampler) dev->stats.uniformUploads++;
      switch (param.type) {
        case ParamType::Float: glUniform1f(loc, param.value[0]); break;
        case ParamType::Vec2: glUniform2fv(loc, 1, param.value); break;
        case ParamType::Vec3: glUniform3fv(loc, 1, param.value); break;
        case ParamType::Vec4: glUniform4fv(loc, 1, param.value); break;
        case ParamType::Mat4: glUniformMatrix4fv(loc, 1, GL_TRUE, param.value); break;
        case ParamType::Sampler: break;
      }
    }
  }
  for (int i : e->passSamplers[size_t(e->current)]) {
    const EffectParam& param = e->params[size_t(i)];
    BindUnit(dev, param.unit, param.texture ? param.texture->id : 0);
  }
}

namespace gl33 {

uint32_t CreateEffect(GfxDevice* dev, const char* text, int length, GfxEffect** out, std::string* errors) {
  *out = nullptr;
  if (!dev || !text || length <= 0) return kGfxErrInvalidCall;
  std::string source(text, size_t(length));
  size_t firstEnd = source.find('\n');
  if (source.rfind("#version", 0) != 0 || firstEnd == std::string::npos) {
    if (errors) *errors = "the effect source does not begin with #version\n";
    return kGfxErrInvalidCall;
  }
  std::string version = source.substr(0, firstEnd + 1);
  std::string body = source.substr(firstEnd + 1);

  GfxEffect* e = new GfxEffect;
  e->dev = dev;
  std::vector<PassLine> passLines;
  ScanSource(body, &e->technique, &passLines, &e->params);
  if (passLines.empty()) {
    if (errors) *errors = "the effect source names no pass\n";
    delete e;
    return kGfxErrInvalidCall;
  }
  // Texture units in declaration order: the first sampler is unit 0, which
  // follows the device's sampler 0 states.
  int unit = 0;
  for (EffectParam& p : e->params)
    if (p.type == ParamType::Sampler) p.unit = unit++;

  // Both variants are built here, once: a draw only ever picks one.
  bool flatColours = body.find("COLOR_VARYING") != std::string::npos;
  std::string log;
  for (const PassLine& line : passLines) {
    EffectProgram p;
    std::vector<int> samplers;
    if (!BuildPass(dev, e->params, version, body, line, false, &p, &samplers, &log)) continue;
    e->passes.push_back(p);
    e->passSamplers.push_back(samplers);
    if (!flatColours) continue;
    // The flat twin differs only in interpolation, so it uses the same
    // samplers; its own list is not kept.
    EffectProgram twin;
    std::vector<int> unused;
    if (BuildPass(dev, e->params, version, body, line, true, &twin, &unused, &log)) e->flatPasses.push_back(twin);
  }
  if (!log.empty()) {
    if (errors) *errors = log;
    ReleaseEffect(e);
    return kGfxErrInvalidCall;
  }
  *out = e;
  return kGfxOk;
}

void ReleaseEffect(GfxEffect* e) {
  if (!e) return;
  if (e->dev->effect == e) e->dev->effect = nullptr;
  for (std::vector<EffectProgram>* list : {&e->passes, &e->flatPasses})
    for (EffectProgram& p : *list) {
      if (e->dev->currentProgram == p.program) BindProgram(e->dev, 0);
      glDeleteProgram(p.program);
    }
  for (EffectParam& p : e->params) ReleaseTexture(p.texture);
  delete e;
}

int GetParameterByName(GfxEffect* e, const char* name) {
  if (!e || !name) return 0;
  for (size_t i = 0; i < e->params.size(); i++)
    if (e->params[i].name == name) return int(i) + 1;
  return 0;
}

uint32_t SetTechnique(GfxEffect* e, const char* name) {
  return e && name && e->technique == name ? kGfxOk : kGfxErrInvalidCall;
}

void SetFloat(GfxEffect* e, int handle, float value) {
  EffectParam* p = ParamOf(e, handle);
  if (!p || p->type == ParamType::Sampler) return;
  p->value[0] = value;
  Touch(e, p);
}

void SetVector(GfxEffect* e, int handle, const float* values, int count) {
  EffectParam* p = ParamOf(e, handle);
  if (!p || p->type == ParamType::Sampler) return;
  int n = std::min(count, ParamFloats(p->type));
  std::memcpy(p->value, values, sizeof(float) * size_t(n));
  if (p->type == ParamType::Mat4) e->dev->transformSerial++;
  Touch(e, p);
}

void SetMatrix(GfxEffect* e, int handle, const Matrix& m) {
  EffectParam* p = ParamOf(e, handle);
  if (!p || p->type != ParamType::Mat4) return;
  std::memcpy(p->value, m.m, sizeof m.m);
  e->dev->transformSerial++;
  Touch(e, p);
}

void SetEffectTexture(GfxEffect* e, int handle, GfxTexture* texture) {
  EffectParam* p = ParamOf(e, handle);
  if (!p || p->type != ParamType::Sampler) return;
  if (p->texture == texture) return;
  AddRefTexture(texture);
  ReleaseTexture(p->texture);
  p->texture = texture;
  Touch(e, p);
}

int GetParameterValue(GfxEffect* e, int handle, float* out) {
  EffectParam* p = ParamOf(e, handle);
  if (!p) return 0;
  if (p->type == ParamType::Sampler) {
    out[0] = p->texture ? 1.0f : 0.0f;
    return 1;
  }
  int n = ParamFloats(p->type);
  std::memcpy(out, p->value, sizeof(float) * size_t(n));
  return n;
}

GfxTexture* GetEffectTexture(GfxEffect* e, int handle) {
  EffectParam* p = ParamOf(e, handle);
  return p ? p->texture : nullptr;
}

uint32_t Begin(GfxEffect* e, int* passes) {
  if (!e) return kGfxErrInvalidCall;
  if (passes) *passes = int(e->passes.size());
  return kGfxOk;
}

uint32_t BeginPass(GfxEffect* e, int pass) {
  if (!e || pass < 0 || pass >= int(e->passes.size())) return kGfxErrInvalidCall;
  if (e->dev->effect && e->dev->effect != e) e->dev->effect->current = -1;
  e->current = pass;
  e->dev->effect = e;
  CommitEffect(e);
  return kGfxOk;
}

uint32_t CommitChanges(GfxEffect* e) {
  if (!e || e->current < 0) return kGfxErrInvalidCall;
  CommitEffect(e);
  return kGfxOk;
}

uint32_t EndPass(GfxEffect* e) {
  if (!e) return kGfxErrInvalidCall;
  e->current = -1;
  if (e->dev->effect == e) e->dev->effect = nullptr;
  return kGfxOk;
}

uint32_t End(GfxEffect* e) { return EndPass(e); }

int CurrentPass(GfxEffect* e) { return e ? e->current : -1; }

}  // namespace gl33

}  // namespace platform
