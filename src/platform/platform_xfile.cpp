// platform_xfile.cpp -- the X-file reader: MSZIP inflation, one tokeniser
// for the text and binary forms, and the parser of the standard templates.
//
// Index
//  [SECTION] Inflation
//  [SECTION] Tokens
//  [SECTION] Parser: values and structure
//  [SECTION] Parser: meshes
//  [SECTION] Parser: frames and animation
//  [SECTION] Entry

#include "platform/platform_xfile.h"

#include <zlib.h>

#include <charconv>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace platform {

namespace {

// ----------------------------------------------------------------------------
// [SECTION] Inflation
// A compressed file is the 16-byte header, a 4-byte size of the whole
// inflated file (header included), then blocks: 2 bytes inflated size, 2
// bytes stored size, "CK" and raw deflate data (the stored size counts the
// "CK"). Each block may refer back into the previous 32 KB of output.
// ----------------------------------------------------------------------------

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool InflateBlocks(const uint8_t* p, size_t size, std::string* out, std::string* error) {
  out->clear();
  if (size < 4) {
    *error = "compressed file without its size";
    return false;
  }
  uint32_t total = Get32(p);
  if (total < 16 || total - 16 > kXMaxInflatedBytes) {
    *error = "compressed file announces an impossible size";
    return false;
  }
  size_t wanted = total - 16;
  size_t at = 4;
  out->reserve(wanted);
  while (out->size() < wanted) {
    if (size - at < 6) {
      *error = "compressed block header cut short";
      return false;
    }
    uint32_t inflated = Get16(p + at), stored = Get16(p + at + 2);
    if (stored < 2 || stored > size - at - 4 || p[at + 4] != 'C' || p[at + 5] != 'K' || inflated == 0 ||
        inflated > wanted - out->size()) {
      *error = "damaged compressed block";
      return false;
    }
    z_stream z = {};
    if (inflateInit2(&z, -15) != Z_OK) {
      *error = "inflate could not start";
      return false;
    }
    size_t history = out->size() < 32768 ? out->size() : 32768;
    if (history) inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(out->data() + out->size() - history),
                                      uInt(history));
    size_t start = out->size();
    out->resize(start + inflated);
    z.next_in = const_cast<Bytef*>(p + at + 6);
    z.avail_in = stored - 2;
    z.next_out = reinterpret_cast<Bytef*>(&(*out)[start]);
    z.avail_out = inflated;
    int r = inflate(&z, Z_FINISH);
    bool ok = (r == Z_STREAM_END || r == Z_OK || r == Z_BUF_ERROR) && z.avail_out == 0;
    inflateEnd(&z);
    if (!ok) {
      *error = "compressed block does not inflate to its size";
      return false;
    }
    at += 4 + stored;
  }
  return true;
}

// ----------------------------------------------------------------------------
// [SECTION] Tokens
// Text and binary files give the same tokens. Binary integer and float
// lists are handed out one number at a time.
// ----------------------------------------------------------------------------

// Brackets and the ellipsis come only from the member lists of template
// definitions ("array DWORD a[2];", "[Mesh, MeshNormals]", "[...]"); data
// that holds them is damaged.
enum class Tok {
  End, Name, String, Int, Float, Guid, OBrace, CBrace, OBracket, CBracket, Ellipsis, Separator, Template, Bad
};

struct Token {
  Tok kind = Tok::End;
  std::string_view text;  // names and strings
  double number = 0;      // Int and Float
};

// Binary token numbers.
enum : uint16_t {
  kBinName = 1,
  kBinString = 2,
  kBinInteger = 3,
  kBinGuid = 5,
  kBinIntegerList = 6,
  kBinFloatList = 7,
  kBinOBrace = 10,
  kBinCBrace = 11,
  kBinOBracket = 14,
  kBinCBracket = 15,
  kBinComma = 19,
  kBinSemicolon = 20,
  kBinTemplate = 31,
};

class Lexer {
 public:
  Lexer(const uint8_t* p, size_t size, bool binary, int floatBytes)
      : start_(p), tokenStart_(p), p_(p), end_(p + size), binary_(binary), floatBytes_(floatBytes) {}

  Token Next() {
    if (peeked_) {
      peeked_ = false;
      return peek_;
    }
    return binary_ ? NextBinary() : NextText();
  }
  Token Peek() {
    if (!peeked_) {
      peek_ = binary_ ? NextBinary() : NextText();
      peeked_ = true;
    }
    return peek_;
  }
  // Bytes not yet read: an upper bound for any count still to come.
  size_t Remaining() const { return size_t(end_ - p_) + (listLeft_ ? listLeft_ * 4 : 0); }
  bool Binary() const { return binary_; }
  // The line of the last token read (of a text file; 0 for a binary one),
  // for messages about damage.
  int Line() const {
    if (binary_) return 0;
    int line = 1;
    for (const uint8_t* q = start_; q < tokenStart_; q++) line += *q == '\n';
    return line;
  }

 private:
  Token NextText() {
    for (;;) {
      while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n')) p_++;
      if (p_ >= end_) return {};
      if (*p_ == '#' || (*p_ == '/' && p_ + 1 < end_ && p_[1] == '/')) {
        while (p_ < end_ && *p_ != '\n') p_++;
        continue;
      }
      break;
    }
    Token t;
    tokenStart_ = p_;
    uint8_t c = *p_;
    if (c == '{') t.kind = Tok::OBrace, p_++;
    else if (c == '}') t.kind = Tok::CBrace, p_++;
    else if (c == '[') t.kind = Tok::OBracket, p_++;
    else if (c == ']') t.kind = Tok::CBracket, p_++;
    else if (c == '.' && end_ - p_ >= 3 && p_[1] == '.' && p_[2] == '.') t.kind = Tok::Ellipsis, p_ += 3;
    else if (c == ',' || c == ';') t.kind = Tok::Separator, p_++;
    else if (c == '<') {
      const uint8_t* close = static_cast<const uint8_t*>(std::memchr(p_, '>', size_t(end_ - p_)));
      if (!close) return Bad();
      p_ = close + 1;
      t.kind = Tok::Guid;
    } else if (c == '"') {
      const uint8_t* close = static_cast<const uint8_t*>(std::memchr(p_ + 1, '"', size_t(end_ - p_ - 1)));
      if (!close) return Bad();
      t.kind = Tok::String;
      t.text = std::string_view(reinterpret_cast<const char*>(p_ + 1), size_t(close - p_ - 1));
      p_ = close + 1;
    } else if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
      const uint8_t* s = p_;
      bool isFloat = false;
      while (p_ < end_ && ((*p_ >= '0' && *p_ <= '9') || *p_ == '-' || *p_ == '+' || *p_ == '.' || *p_ == 'e' ||
                           *p_ == 'E')) {
        if (*p_ == '.' || *p_ == 'e' || *p_ == 'E') isFloat = true;
        p_++;
      }
      const char* first = reinterpret_cast<const char*>(s);
      if (*first == '+') first++;
      double v = 0;
      auto r = std::from_chars(first, reinterpret_cast<const char*>(p_), v);
      if (r.ec != std::errc() || r.ptr != reinterpret_cast<const char*>(p_)) return Bad();
      t.kind = isFloat ? Tok::Float : Tok::Int;
      t.number = v;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80) {
      const uint8_t* s = p_;
      while (p_ < end_ && ((*p_ >= 'A' && *p_ <= 'Z') || (*p_ >= 'a' && *p_ <= 'z') || (*p_ >= '0' && *p_ <= '9') ||
                           *p_ == '_' || *p_ == '-' || *p_ == '.' || *p_ >= 0x80))
        p_++;
      t.text = std::string_view(reinterpret_cast<const char*>(s), size_t(p_ - s));
      t.kind = t.text == "template" ? Tok::Template : Tok::Name;
    } else {
      return Bad();
    }
    return t;
  }

  Token NextBinary() {
    Token t;
    if (listLeft_) {
      listLeft_--;
      if (listKind_ == kBinIntegerList) {
        t.kind = Tok::Int;
        t.number = Get32(p_);
        p_ += 4;
      } else if (floatBytes_ == 8) {
        double d;
        std::memcpy(&d, p_, 8);
        p_ += 8;
        t.kind = Tok::Float;
        t.number = d;
      } else {
        float f;
        std::memcpy(&f, p_, 4);
        p_ += 4;
        t.kind = Tok::Float;
        t.number = f;
      }
      return t;
    }
    if (end_ - p_ < 2) return p_ == end_ ? Token{} : Bad();
    uint16_t code = Get16(p_);
    p_ += 2;
    switch (code) {
      case kBinName:
      case kBinString: {
        if (end_ - p_ < 4) return Bad();
        uint32_t n = Get32(p_);
        p_ += 4;
        if (n > size_t(end_ - p_)) return Bad();
        t.kind = code == kBinName ? Tok::Name : Tok::String;
        t.text = std::string_view(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return t;
      }
      case kBinInteger:
        if (end_ - p_ < 4) return Bad();
        t.kind = Tok::Int;
        t.number = Get32(p_);
        p_ += 4;
        return t;
      case kBinGuid:
        if (end_ - p_ < 16) return Bad();
        p_ += 16;
        t.kind = Tok::Guid;
        return t;
      case kBinIntegerList:
      case kBinFloatList: {
        if (end_ - p_ < 4) return Bad();
        uint32_t n = Get32(p_);
        p_ += 4;
        size_t each = code == kBinIntegerList ? 4 : size_t(floatBytes_);
        if (n > size_t(end_ - p_) / each) return Bad();
        listKind_ = code;
        listLeft_ = n;
        if (!n) t.kind = Tok::Separator;  // an empty list reads as nothing
        else return NextBinary();
        return t;
      }
      case kBinOBrace: t.kind = Tok::OBrace; return t;
      case kBinCBrace: t.kind = Tok::CBrace; return t;
      case kBinOBracket: t.kind = Tok::OBracket; return t;
      case kBinCBracket: t.kind = Tok::CBracket; return t;
      case kBinComma:
      case kBinSemicolon: t.kind = Tok::Separator; return t;
      case kBinTemplate: t.kind = Tok::Template; return t;
      default:
        // Type keywords and the rest of the punctuation appear only inside
        // template definitions, which SkipTemplate passes over.
        if (code >= 12 && code <= 52) {
          t.kind = Tok::Separator;
          return t;
        }
        return Bad();
    }
  }

  Token Bad() {
    p_ = end_;
    listLeft_ = 0;
    Token t;
    t.kind = Tok::Bad;
    return t;
  }

  const uint8_t* start_;
  const uint8_t* tokenStart_;
  const uint8_t* p_;
  const uint8_t* end_;
  bool binary_;
  int floatBytes_;
  uint16_t listKind_ = 0;
  uint32_t listLeft_ = 0;
  Token peek_;
  bool peeked_ = false;
};

// ----------------------------------------------------------------------------
// [SECTION] Parser: values and structure
// ----------------------------------------------------------------------------

// A mesh as the file states it, before splitting and triangulation.
struct RawMesh {
  std::vector<Vec3> positions;
  std::vector<uint32_t> faceStart, faceSize, faceIndices;  // corners by position
  std::vector<Vec3> normals;
  std::vector<uint32_t> faceNormalIndices;  // parallel to faceIndices; empty without normals
  std::vector<float> texCoords;
  std::vector<Vec4> colours;
  std::vector<uint8_t> hasColour;
  std::vector<uint32_t> faceMaterials;
};

class Parser {
 public:
  Parser(Lexer& lex, XScene* scene) : lex_(lex), scene_(scene) {}

  bool Run(std::string* error) {
    bool ok = ParseTop();
    if (!ok) *error = error_.empty() ? "damaged X file" : error_;
    return ok;
  }

 private:
  // The first failure is the one reported, with its line in a text file.
  bool Fail(const char* why) {
    if (error_.empty()) Record(why);
    return false;
  }
  void Record(const char* why) {
    error_ = why;
    if (int line = lex_.Line()) error_ += " (line " + std::to_string(line) + ")";
  }

  // The next token that is not a separator.
  Token NextValue() {
    Token t = lex_.Next();
    while (t.kind == Tok::Separator) t = lex_.Next();
    return t;
  }
  Tok PeekValue() {
    while (lex_.Peek().kind == Tok::Separator) lex_.Next();
    return lex_.Peek().kind;
  }

  bool ReadUInt(uint32_t* out) {
    Token t = NextValue();
    if (t.kind != Tok::Int && t.kind != Tok::Float) return Fail("a number was expected");
    if (!(t.number >= 0 && t.number <= 4294967295.0)) return Fail("a count or index out of range");
    *out = uint32_t(t.number);
    return true;
  }
  bool ReadFloat(float* out) {
    Token t = NextValue();
    if (t.kind != Tok::Int && t.kind != Tok::Float) return Fail("a number was expected");
    *out = float(t.number);
    return true;
  }
  bool ReadFloats(float* out, int n) {
    for (int i = 0; i < n; i++)
      if (!ReadFloat(&out[i])) return false;
    return true;
  }
  bool ReadString(std::string* out) {
    Token t = NextValue();
    if (t.kind != Tok::String && t.kind != Tok::Name) return Fail("a text was expected");
    out->assign(t.text);
    return true;
  }
  // A count of elements of at least `unitBytes` bytes each in the file:
  // refused when the rest of the file cannot hold them.
  bool ReadCount(uint32_t* out, size_t unitBytes) {
    if (!ReadUInt(out)) return false;
    if (size_t(*out) > lex_.Remaining() / unitBytes) return Fail("a count is larger than the file");
    return true;
  }
  bool ReadMatrix(Matrix* m) { return ReadFloats(&m->m[0][0], 16); }

  // Skips the rest of a data object or template whose opening brace has
  // been read.
  bool SkipBody() {
    int depth = 1;
    while (depth > 0) {
      Token t = lex_.Next();
      if (t.kind == Tok::End || t.kind == Tok::Bad) return Fail("an object is not closed");
      if (t.kind == Tok::OBrace) depth++;
      else if (t.kind == Tok::CBrace) depth--;
    }
    return true;
  }

  // A template definition after its keyword: a name, "{", the identifier,
  // members ("DWORD n;", "array Vector v[n];", "array FLOAT m[4][4];") and
  // at most one restriction at the end, open ("[...]") or a list of
  // templates ("[Mesh, Material <guid>]"). The reader knows the templates it
  // reads, so the definition is only checked for its shape and skipped. A
  // brace inside is damage: counting it as nesting would swallow the data
  // objects that follow into the definition.
  bool SkipTemplate() {
    Token t = NextValue();
    if (t.kind != Tok::Name) return Fail("a template definition without its name");
    if (NextValue().kind != Tok::OBrace) return Fail("a template definition without its opening brace");
    bool inBrackets = false;
    for (;;) {
      t = lex_.Next();
      switch (t.kind) {
        case Tok::CBrace:
          if (inBrackets) return Fail("a template definition with an unclosed bracket");
          return true;
        case Tok::OBracket:
          if (inBrackets) return Fail("a template definition with an unclosed bracket");
          inBrackets = true;
          break;
        case Tok::CBracket:
          if (!inBrackets) return Fail("a template definition with a stray bracket");
          inBrackets = false;
          break;
        case Tok::End:
        case Tok::Bad:
        case Tok::OBrace:
        case Tok::Template:
          return Fail("a template definition is not closed");
        default:
          break;
      }
    }
  }

  // An optional name and an optional identifier, then `closing`: the
  // header of a data object after its template name ("{"), or the rest of a
  // reference "{ Name }" or "{ Name <guid> }" whose brace has been read ("}").
  bool ReadNameThen(std::string* name, Tok closing, const char* damage) {
    Token t = NextValue();
    if (t.kind == Tok::Name) {
      name->assign(t.text);
      t = NextValue();
    }
    if (t.kind == Tok::Guid) t = NextValue();
    if (t.kind != closing) return Fail(damage);
    return true;
  }

  bool ReadObjectHead(std::string* name) {
    return ReadNameThen(name, Tok::OBrace, "an object without its opening brace");
  }

  bool ReadReference(std::string* name) { return ReadNameThen(name, Tok::CBrace, "a damaged reference"); }

  // The next child of an object at `depth`: kEnd at the object's closing
  // brace; kReference for a reference "{ Name }" (its name in `*name`);
  // kObject for a data object whose header has been read (its template in
  // `*type`, its name in `*name`); kFailed on damage, `inside` naming the
  // object in the message for data that is neither.
  enum class Child { kEnd, kReference, kObject, kFailed };
  Child NextChild(int depth, const char* inside, std::string* type, std::string* name) {
    name->clear();
    Token t = NextValue();
    if (t.kind == Tok::CBrace) return Child::kEnd;
    if (t.kind == Tok::OBrace) return ReadReference(name) ? Child::kReference : Child::kFailed;
    if (t.kind != Tok::Name) return Fail(inside), Child::kFailed;
    if (depth + 1 > kXMaxDepth) return Fail("objects nested too deep"), Child::kFailed;
    type->assign(t.text);
    return ReadObjectHead(name) ? Child::kObject : Child::kFailed;
  }

  bool ParseTop() {
    for (;;) {
      Token t = NextValue();
      if (t.kind == Tok::End) return true;
      if (t.kind == Tok::Template) {
        if (!SkipTemplate()) return false;
      } else if (t.kind == Tok::Name) {
        if (!ParseObject(t.text, -1, 1)) return false;
      } else {
        return Fail("unexpected data at the top level");
      }
    }
  }

  // A data object of template `type` (its template name read), in frame
  // `parent` (-1 at the top).
  bool ParseObject(std::string_view type, int parent, int depth) {
    if (depth > kXMaxDepth) return Fail("objects nested too deep");
    std::string name;
    if (!ReadObjectHead(&name)) return false;
    if (type == "Frame") return ParseFrame(name, parent, depth);
    if (type == "Mesh") return ParseMesh(name, parent, depth);
    if (type == "AnimTicksPerSecond") {
      uint32_t ticks;
      if (!ReadUInt(&ticks)) return false;
      if (ticks) scene_->ticksPerSecond = ticks;
      return SkipBody();
    }
    if (type == "AnimationSet") return ParseAnimationSet(name, depth);
    if (type == "Material") {
      XMaterial m;
      if (!ParseMaterialBody(&m, depth)) return false;
      namedMaterials_[name] = m;
      return true;
    }
    return SkipBody();
  }

  // Children of an object that takes none of them: skipped.
  bool SkipChildren(int depth) {
    std::string type, name;
    for (;;) {
      switch (NextChild(depth, "unexpected data inside an object", &type, &name)) {
        case Child::kEnd: return true;
        case Child::kReference: break;
        case Child::kObject:
          if (!SkipBody()) return false;
          break;
        case Child::kFailed: return false;
      }
    }
  }

  bool ParseMaterialBody(XMaterial* m, int depth) {
    if (!ReadFloats(m->diffuse, 4) || !ReadFloat(&m->power) || !ReadFloats(m->specular, 3) ||
        !ReadFloats(m->emissive, 3))
      return false;
    std::string type, name;
    for (;;) {
      Child child = NextChild(depth, "unexpected data inside a material", &type, &name);
      if (child == Child::kEnd) return true;
      if (child == Child::kFailed) return false;
      if (child != Child::kObject) continue;
      if (type == "TextureFilename" || type == "TextureFileName") {
        if (!ReadString(&m->textureFile) || !SkipBody()) return false;
      } else if (!SkipBody()) {
        return false;
      }
    }
  }

  // ----------------------------------------------------------------------------
  // [SECTION] Parser: meshes
  // ----------------------------------------------------------------------------

  bool ParseMesh(const std::string& name, int parent, int depth) {
    RawMesh raw;
    XMesh mesh;
    mesh.name = name;
    uint32_t n;
    if (!ReadCount(&n, 3)) return false;
    raw.positions.resize(n);
    for (Vec3& v : raw.positions)
      if (!ReadFloats(&v.x, 3)) return false;
    uint32_t faces;
    if (!ReadCount(&faces, 4)) return false;
    raw.faceStart.resize(faces);
    raw.faceSize.resize(faces);
    for (uint32_t f = 0; f < faces; f++) {
      uint32_t k;
      if (!ReadCount(&k, 1)) return false;
      if (k < 3) return Fail("a face with fewer than three corners");
      raw.faceStart[f] = uint32_t(raw.faceIndices.size());
      raw.faceSize[f] = k;
      for (uint32_t i = 0; i < k; i++) {
        uint32_t index;
        if (!ReadUInt(&index)) return false;
        if (index >= n) return Fail("a face names a vertex that does not exist");
        raw.faceIndices.push_back(index);
      }
    }
    raw.texCoords.assign(size_t(n) * 2, 0.0f);
    raw.colours.assign(n, Vec4{1, 1, 1, 1});
    raw.hasColour.assign(n, 0);
    bool hasUv = false, hasColours = false;
    std::vector<XSkinWeights> skin;
    std::string type, childName;
    for (;;) {
      Child child = NextChild(depth, "unexpected data inside a mesh", &type, &childName);
      if (child == Child::kEnd) break;
      if (child == Child::kFailed) return false;
      if (child != Child::kObject) continue;
      if (type == "MeshNormals") {
        if (!ParseNormals(&raw, depth + 1)) return false;
      } else if (type == "MeshTextureCoords") {
        uint32_t count;
        if (!ReadCount(&count, 2)) return false;
        if (count != n) return Fail("texture coordinates do not match the vertices");
        for (uint32_t i = 0; i < count * 2; i++)
          if (!ReadFloat(&raw.texCoords[i])) return false;
        hasUv = true;
        if (!SkipChildren(depth + 1)) return false;
      } else if (type == "MeshVertexColors") {
        uint32_t count;
        if (!ReadCount(&count, 5)) return false;
        for (uint32_t i = 0; i < count; i++) {
          uint32_t index;
          Vec4 c;
          if (!ReadUInt(&index) || !ReadFloats(&c.x, 4)) return false;
          if (index >= n) return Fail("a vertex colour names a vertex that does not exist");
          raw.colours[index] = c;
          raw.hasColour[index] = 1;
        }
        hasColours = true;
        if (!SkipChildren(depth + 1)) return false;
      } else if (type == "MeshMaterialList") {
        if (!ParseMaterialList(&raw, &mesh, faces, depth + 1)) return false;
      } else if (type == "XSkinMeshHeader") {
        uint32_t a, b, c;
        if (!ReadUInt(&a) || !ReadUInt(&b) || !ReadUInt(&c)) return false;
        mesh.maxWeightsPerVertex = int(a > 64 ? 64 : a);
        mesh.maxWeightsPerFace = int(b > 64 ? 64 : b);
        if (!SkipChildren(depth + 1)) return false;
      } else if (type == "SkinWeights") {
        XSkinWeights w;
        uint32_t count;
        if (!ReadString(&w.frameName) || !ReadCount(&count, 2)) return false;
        w.vertices.resize(count);
        w.weights.resize(count);
        for (uint32_t& v : w.vertices) {
          if (!ReadUInt(&v)) return false;
          if (v >= n) return Fail("a skin weight names a vertex that does not exist");
        }
        for (float& f : w.weights)
          if (!ReadFloat(&f)) return false;
        if (!ReadMatrix(&w.offset) || !SkipChildren(depth + 1)) return false;
        skin.push_back(std::move(w));
      } else {
        if (!SkipBody()) return false;
      }
    }
    if (!BuildMesh(raw, hasUv, hasColours, &skin, &mesh)) return false;
    if (parent < 0) {
      // A mesh outside every frame hangs from a frame of its own.
      int f = AddFrame("", -1);
      scene_->frames[f].meshes.push_back(int(scene_->meshes.size()));
    } else {
      scene_->frames[parent].meshes.push_back(int(scene_->meshes.size()));
    }
    scene_->meshes.push_back(std::move(mesh));
    return true;
  }

  bool ParseNormals(RawMesh* raw, int depth) {
    uint32_t n;
    if (!ReadCount(&n, 3)) return false;
    raw->normals.resize(n);
    for (Vec3& v : raw->normals)
      if (!ReadFloats(&v.x, 3)) return false;
    uint32_t faces;
    if (!ReadCount(&faces, 4)) return false;
    if (faces != raw->faceSize.size()) return Fail("face normals do not match the faces");
    raw->faceNormalIndices.resize(raw->faceIndices.size());
    for (uint32_t f = 0; f < faces; f++) {
      uint32_t k;
      if (!ReadUInt(&k)) return false;
      if (k != raw->faceSize[f]) return Fail("face normals do not match the faces");
      for (uint32_t i = 0; i < k; i++) {
        uint32_t index;
        if (!ReadUInt(&index)) return false;
        if (index >= n) return Fail("a face names a normal that does not exist");
        raw->faceNormalIndices[raw->faceStart[f] + i] = index;
      }
    }
    return SkipChildren(depth);
  }

  bool ParseMaterialList(RawMesh* raw, XMesh* mesh, uint32_t faces, int depth) {
    uint32_t materials, indexCount;
    if (!ReadCount(&materials, 1) || !ReadCount(&indexCount, 1)) return false;
    raw->faceMaterials.assign(faces, 0);
    uint32_t last = 0;
    for (uint32_t i = 0; i < indexCount; i++) {
      uint32_t m;
      if (!ReadUInt(&m)) return false;
      if (m >= materials) return Fail("a face names a material that does not exist");
      if (i < faces) raw->faceMaterials[i] = m;
      last = m;
    }
    // Faces past the list take its last entry.
    for (uint32_t i = indexCount; i < faces; i++) raw->faceMaterials[i] = last;
    std::string type, name;
    for (;;) {
      Child child = NextChild(depth, "unexpected data inside a material list", &type, &name);
      if (child == Child::kEnd) break;
      if (child == Child::kFailed) return false;
      if (child == Child::kReference) {
        auto it = namedMaterials_.find(name);
        if (it == namedMaterials_.end()) return Fail("a reference to a material that does not exist");
        mesh->materials.push_back(it->second);
      } else if (type == "Material") {
        XMaterial m;
        if (!ParseMaterialBody(&m, depth + 1)) return false;
        if (!name.empty()) namedMaterials_[name] = m;
        mesh->materials.push_back(m);
      } else if (!SkipBody()) {
        return false;
      }
    }
    if (mesh->materials.size() < materials) return Fail("a material list lacks its materials");
    return true;
  }

  // Splits positions by normal, cuts faces into fans and carries the
  // per-position tables over to the split vertices.
  bool BuildMesh(const RawMesh& raw, bool hasUv, bool hasColours, std::vector<XSkinWeights>* skin, XMesh* mesh) {
    bool hasNormals = !raw.faceNormalIndices.empty();
    std::unordered_map<uint64_t, uint32_t> split;
    std::vector<uint32_t> vertexOf(raw.faceIndices.size());
    std::vector<uint32_t> positionOf;
    positionOf.reserve(raw.positions.size());
    // Positions keep their own numbers when first met (so files without
    // normals keep their vertex order), extra vertices follow.
    std::vector<int64_t> firstNormal(raw.positions.size(), -1);
    for (uint32_t p = 0; p < raw.positions.size(); p++) positionOf.push_back(p);
    for (size_t c = 0; c < raw.faceIndices.size(); c++) {
      uint32_t p = raw.faceIndices[c];
      if (!hasNormals) {
        vertexOf[c] = p;
        continue;
      }
      uint32_t nIndex = raw.faceNormalIndices[c];
      if (firstNormal[p] < 0 || uint32_t(firstNormal[p]) == nIndex) {
        firstNormal[p] = nIndex;
        vertexOf[c] = p;
        continue;
      }
      uint64_t key = uint64_t(p) << 32 | nIndex;
      auto it = split.find(key);
      if (it == split.end()) {
        it = split.emplace(key, uint32_t(positionOf.size())).first;
        positionOf.push_back(p);
      }
      vertexOf[c] = it->second;
    }
    size_t count = positionOf.size();
    mesh->positions.resize(count);
    if (hasNormals) mesh->normals.assign(count, Vec3{0, 0, 0});
    if (hasUv) mesh->texCoords.resize(count * 2);
    if (hasColours) mesh->colours.resize(count);
    for (size_t v = 0; v < count; v++) {
      uint32_t p = positionOf[v];
      mesh->positions[v] = raw.positions[p];
      if (hasUv) {
        mesh->texCoords[v * 2] = raw.texCoords[p * 2];
        mesh->texCoords[v * 2 + 1] = raw.texCoords[p * 2 + 1];
      }
      if (hasColours) mesh->colours[v] = raw.colours[p];
    }
    if (hasNormals)
      for (size_t c = 0; c < raw.faceIndices.size(); c++)
        mesh->normals[vertexOf[c]] = raw.normals[raw.faceNormalIndices[c]];
    for (size_t f = 0; f < raw.faceSize.size(); f++) {
      uint32_t s = raw.faceStart[f];
      uint32_t material = raw.faceMaterials.empty() ? 0 : raw.faceMaterials[f];
      for (uint32_t i = 1; i + 1 < raw.faceSize[f]; i++) {
        mesh->triangles.push_back(vertexOf[s]);
        mesh->triangles.push_back(vertexOf[s + i]);
        mesh->triangles.push_back(vertexOf[s + i + 1]);
        mesh->triangleMaterials.push_back(material);
      }
    }
    if (mesh->materials.empty()) mesh->materials.emplace_back();  // one plain white material
    // Skin weights name positions: every vertex split from a position takes
    // its weights.
    if (!skin->empty() && count > raw.positions.size()) {
      std::vector<std::vector<uint32_t>> extra(raw.positions.size());
      for (size_t v = raw.positions.size(); v < count; v++) extra[positionOf[v]].push_back(uint32_t(v));
      // A weight list that names a much-split vertex many times would grow
      // without bound: past 16 M entries the file is refused.
      size_t total = 0;
      for (const XSkinWeights& w : *skin)
        for (uint32_t v : w.vertices) total += 1 + extra[v].size();
      if (total > (size_t(1) << 24)) return Fail("skin weights too large");
      for (XSkinWeights& w : *skin) {
        size_t original = w.vertices.size();
        for (size_t i = 0; i < original; i++)
          for (uint32_t v : extra[w.vertices[i]]) {
            w.vertices.push_back(v);
            w.weights.push_back(w.weights[i]);
          }
      }
    }
    mesh->skin = std::move(*skin);
    return true;
  }

  // ----------------------------------------------------------------------------
  // [SECTION] Parser: frames and animation
  // ----------------------------------------------------------------------------

  int AddFrame(const std::string& name, int parent) {
    int index = int(scene_->frames.size());
    XFrame f;
    f.name = name;
    f.transform = MatrixIdentity();
    scene_->frames.push_back(f);
    int* link = nullptr;
    if (parent < 0) {
      scene_->roots.push_back(index);
      if (scene_->roots.size() > 1) link = &scene_->frames[scene_->roots[scene_->roots.size() - 2]].nextSibling;
    } else {
      link = &scene_->frames[parent].firstChild;
      while (*link >= 0) link = &scene_->frames[*link].nextSibling;
    }
    if (link) *link = index;
    return index;
  }

  bool ParseFrame(const std::string& name, int parent, int depth) {
    int index = AddFrame(name, parent);
    for (;;) {
      Token t = NextValue();
      if (t.kind == Tok::CBrace) return true;
      if (t.kind == Tok::OBrace) {
        std::string ignored;
        if (!ReadReference(&ignored)) return false;
        continue;
      }
      if (t.kind != Tok::Name) return Fail("unexpected data inside a frame");
      if (t.text == "FrameTransformMatrix") {
        std::string ignored;
        Matrix m;
        if (!ReadObjectHead(&ignored) || !ReadMatrix(&m) || !SkipChildren(depth + 1)) return false;
        scene_->frames[index].transform = m;
      } else if (!ParseObject(t.text, index, depth + 1)) {
        return false;
      }
    }
  }

  bool ParseAnimationSet(const std::string& name, int depth) {
    XAnimationSet set;
    set.name = name;
    std::string type, childName;
    for (;;) {
      Child child = NextChild(depth, "unexpected data inside an animation set", &type, &childName);
      if (child == Child::kEnd) break;
      if (child == Child::kFailed) return false;
      if (child != Child::kObject) continue;
      if (type == "Animation") {
        XAnimation a;
        if (!ParseAnimation(&a, depth + 1)) return false;
        set.animations.push_back(std::move(a));
      } else if (!SkipBody()) {
        return false;
      }
    }
    scene_->animationSets.push_back(std::move(set));
    return true;
  }

  bool ParseAnimation(XAnimation* a, int depth) {
    std::string type, childName;
    for (;;) {
      Child child = NextChild(depth, "unexpected data inside an animation", &type, &childName);
      if (child == Child::kEnd) return true;
      if (child == Child::kFailed) return false;
      if (child == Child::kReference) {
        if (!childName.empty()) a->frameName = childName;  // "{ <guid> }" names no frame
        continue;
      }
      if (type != "AnimationKey") {
        if (!SkipBody()) return false;
        continue;
      }
      uint32_t keyType, keys;
      if (!ReadUInt(&keyType) || !ReadCount(&keys, 3)) return false;
      int wanted;
      std::vector<XAnimationKey>* list;
      switch (keyType) {
        case 0: wanted = 4, list = &a->rotations; break;
        case 1: wanted = 3, list = &a->scales; break;
        case 2: wanted = 3, list = &a->positions; break;
        case 3:
        case 4: wanted = 16, list = &a->matrices; break;
        default: return Fail("an animation key of an unknown type");
      }
      list->resize(keys);
      for (XAnimationKey& k : *list) {
        uint32_t values;
        if (!ReadUInt(&k.time) || !ReadUInt(&values)) return false;
        if (int(values) != wanted || values != uint32_t(wanted)) return Fail("an animation key of the wrong size");
        if (!ReadFloats(k.values, wanted)) return false;
      }
      if (!SkipChildren(depth + 1)) return false;
    }
  }

  Lexer& lex_;
  XScene* scene_;
  std::string error_;
  std::unordered_map<std::string, XMaterial> namedMaterials_;
};

}  // namespace

// ----------------------------------------------------------------------------
// [SECTION] Entry
// ----------------------------------------------------------------------------

bool InflateXFile(const uint8_t* bytes, size_t size, std::string* out, std::string* error) {
  if (size < 16) {
    *error = "not an X file";
    return false;
  }
  return InflateBlocks(bytes + 16, size - 16, out, error);
}

bool ReadXFile(const void* data, size_t size, XScene* out, std::string* error) {
  *out = XScene{};
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (!bytes || size < 16 || std::memcmp(bytes, "xof ", 4) != 0) {
    *error = "not an X file";
    return false;
  }
  std::string_view format(reinterpret_cast<const char*>(bytes + 8), 4);
  std::string_view floats(reinterpret_cast<const char*>(bytes + 12), 4);
  int floatBytes = floats == "0064" ? 8 : 4;
  if (floats != "0032" && floats != "0064") {
    *error = "unknown float size";
    return false;
  }
  std::string inflated;
  const uint8_t* body = bytes + 16;
  size_t bodySize = size - 16;
  bool binary;
  if (format == "txt ") binary = false;
  else if (format == "bin ") binary = true;
  else if (format == "tzip" || format == "bzip") {
    binary = format == "bzip";
    if (!InflateXFile(bytes, size, &inflated, error)) return false;
    body = reinterpret_cast<const uint8_t*>(inflated.data());
    bodySize = inflated.size();
  } else {
    *error = "unknown X file format";
    return false;
  }
  Lexer lex(body, bodySize, binary, floatBytes);
  Parser parser(lex, out);
  if (!parser.Run(error)) {
    *out = XScene{};
    return false;
  }
  return true;
}

}  // namespace platform
