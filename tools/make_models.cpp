// make_models.cpp -- writes the project's own X-file models: a textured box
// (text, binary and both compressed forms) and a small skinned arm with
// named frames and two animation sets, plus the box's texture; the sample
// units' models, each a few coloured boxes; and the sample scene's models,
// textured boxes with their textures.
//
//   tkw4-make-models FOLDER...
//   tkw4-make-models --units FOLDER
//   tkw4-make-models --scene FOLDER
//
// The first form writes box.x, box_bin.x, box_tzip.x, box_bzip.x, arm.x,
// arm_bzip.x and box.bmp into every FOLDER (tests/render/data and
// games/Demo/Model); the second writes plane.x, vehicle.x, ship.x, aagun.x,
// missile.x, tracer.x, tire.x, vtol.x and the name tags tag_blue.bmp and
// tag_red.bmp into FOLDER (games/Demo/Unit); the third ground.x, runway.x,
// hangar.x, tower.x, house.x, tree.x, water.x and their textures grass.bmp,
// runway.bmp, wall.bmp, leaves.bmp and water.bmp into FOLDER
// (games/Demo/Map). The
// output is the same on every run, so the committed files can be made again
// byte for byte. The binary and compressed forms are converted from the
// text form by this tool's own token writer and MSZIP block writer.

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cctype>
#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "x_text_writer.h"

namespace {

// ----------------------------------------------------------------------------
// The text models
// ----------------------------------------------------------------------------

const char kBoxText[] = R"(xof 0303txt 0032
// A box from -1 to 1 with a red textured material; eight corners, split by
// their six face normals when read.
Header {
 1;
 0;
 1;
}

Mesh Box {
 8;
 -1.000000;-1.000000;-1.000000;,
 1.000000;-1.000000;-1.000000;,
 1.000000;1.000000;-1.000000;,
 -1.000000;1.000000;-1.000000;,
 -1.000000;-1.000000;1.000000;,
 1.000000;-1.000000;1.000000;,
 1.000000;1.000000;1.000000;,
 -1.000000;1.000000;1.000000;;
 6;
 4;3,2,1,0;,
 4;4,5,6,7;,
 4;0,4,7,3;,
 4;1,2,6,5;,
 4;3,7,6,2;,
 4;0,1,5,4;;

 MeshNormals {
  6;
  0.000000;0.000000;-1.000000;,
  0.000000;0.000000;1.000000;,
  -1.000000;0.000000;0.000000;,
  1.000000;0.000000;0.000000;,
  0.000000;1.000000;0.000000;,
  0.000000;-1.000000;0.000000;;
  6;
  4;0,0,0,0;,
  4;1,1,1,1;,
  4;2,2,2,2;,
  4;3,3,3,3;,
  4;4,4,4,4;,
  4;5,5,5,5;;
 }

 MeshTextureCoords {
  8;
  0.000000;1.000000;,
  1.000000;1.000000;,
  1.000000;0.000000;,
  0.000000;0.000000;,
  0.000000;1.000000;,
  1.000000;1.000000;,
  1.000000;0.000000;,
  0.000000;0.000000;;
 }

 MeshMaterialList {
  1;
  6;
  0,0,0,0,0,0;
  Material Red {
   1.000000;0.000000;0.000000;1.000000;;
   10.000000;
   0.500000;0.500000;0.500000;;
   0.000000;0.000000;0.000000;;
   TextureFilename {
    "box.bmp";
   }
  }
 }
}
)";

// An arm of two bones: Bone1 at the root, Bone2 two units up. Vertices at
// y 0 follow Bone1, at y 4 Bone2, at y 2 both by half. "Bend" turns Bone2
// a quarter turn about z over one second; "Lift" raises Bone1 by one unit.
const char kArmText[] = R"(xof 0303txt 0032
AnimTicksPerSecond {
 100;
}

Frame Root {
 FrameTransformMatrix {
  1.000000,0.000000,0.000000,0.000000,
  0.000000,1.000000,0.000000,0.000000,
  0.000000,0.000000,1.000000,0.000000,
  0.000000,0.000000,0.000000,1.000000;;
 }

 Mesh ArmMesh {
  6;
  -0.500000;0.000000;0.000000;,
  0.500000;0.000000;0.000000;,
  -0.500000;2.000000;0.000000;,
  0.500000;2.000000;0.000000;,
  -0.500000;4.000000;0.000000;,
  0.500000;4.000000;0.000000;;
  2;
  4;0,2,3,1;,
  4;2,4,5,3;;

  MeshMaterialList {
   1;
   2;
   0,0;
   Material {
    0.000000;1.000000;0.000000;1.000000;;
    0.000000;
    0.000000;0.000000;0.000000;;
    0.000000;0.000000;0.000000;;
   }
  }

  XSkinMeshHeader {
   2;
   2;
   2;
  }

  SkinWeights {
   "Bone1";
   4;
   0,1,2,3;
   1.000000,1.000000,0.500000,0.500000;
   1.000000,0.000000,0.000000,0.000000,
   0.000000,1.000000,0.000000,0.000000,
   0.000000,0.000000,1.000000,0.000000,
   0.000000,0.000000,0.000000,1.000000;;
  }

  SkinWeights {
   "Bone2";
   4;
   2,3,4,5;
   0.500000,0.500000,1.000000,1.000000;
   1.000000,0.000000,0.000000,0.000000,
   0.000000,1.000000,0.000000,0.000000,
   0.000000,0.000000,1.000000,0.000000,
   0.000000,-2.000000,0.000000,1.000000;;
  }
 }

 Frame Bone1 {
  FrameTransformMatrix {
   1.000000,0.000000,0.000000,0.000000,
   0.000000,1.000000,0.000000,0.000000,
   0.000000,0.000000,1.000000,0.000000,
   0.000000,0.000000,0.000000,1.000000;;
  }

  Frame Bone2 {
   FrameTransformMatrix {
    1.000000,0.000000,0.000000,0.000000,
    0.000000,1.000000,0.000000,0.000000,
    0.000000,0.000000,1.000000,0.000000,
    0.000000,2.000000,0.000000,1.000000;;
   }
  }
 }
}

AnimationSet Bend {
 Animation {
  {Bone2}
  AnimationKey {
   0;
   2;
   0;4;1.000000,0.000000,0.000000,0.000000;;,
   100;4;0.707107,0.000000,0.000000,0.707107;;;
  }
  AnimationKey {
   2;
   2;
   0;3;0.000000,2.000000,0.000000;;,
   100;3;0.000000,2.000000,0.000000;;;
  }
 }
}

AnimationSet Lift {
 Animation {
  {Bone1}
  AnimationKey {
   2;
   2;
   0;3;0.000000,0.000000,0.000000;;,
   200;3;0.000000,1.000000,0.000000;;;
  }
 }
}
)";

// ----------------------------------------------------------------------------
// Text to binary: the same tokens in the binary form. Runs of numbers
// become integer or float lists; separators are dropped except the one that
// ends a string.
// ----------------------------------------------------------------------------

void Put16(std::string* out, uint16_t v) {
  out->push_back(char(v & 255));
  out->push_back(char(v >> 8));
}
void Put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; i++) out->push_back(char((v >> (8 * i)) & 255));
}

std::string TextToBinary(const std::string& text) {
  std::string out = "xof 0303bin 0032";
  size_t p = 16;
  std::vector<double> run;
  bool runFloat = false;
  auto flush = [&] {
    if (run.empty()) return;
    Put16(&out, runFloat ? 7 : 6);
    Put32(&out, uint32_t(run.size()));
    for (double d : run) {
      if (runFloat) {
        float f = float(d);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        Put32(&out, bits);
      } else {
        Put32(&out, uint32_t(int64_t(d)));
      }
    }
    run.clear();
  };
  while (p < text.size()) {
    char c = text[p];
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == ',' || c == ';') {
      p++;
    } else if (c == '/' && p + 1 < text.size() && text[p + 1] == '/') {
      while (p < text.size() && text[p] != '\n') p++;
    } else if (c == '{' || c == '}') {
      flush();
      Put16(&out, c == '{' ? 10 : 11);
      p++;
    } else if (c == '"') {
      flush();
      size_t close = text.find('"', p + 1);
      Put16(&out, 2);
      Put32(&out, uint32_t(close - p - 1));
      out += text.substr(p + 1, close - p - 1);
      Put16(&out, 20);  // the string's terminator
      p = close + 1;
    } else if ((c >= '0' && c <= '9') || c == '-' || c == '.') {
      size_t s = p;
      while (p < text.size() && (std::strchr("0123456789-+.eE", text[p]) != nullptr)) p++;
      std::string number = text.substr(s, p - s);
      bool isFloat = number.find_first_of(".eE") != std::string::npos;
      if (!run.empty() && isFloat != runFloat) flush();
      runFloat = isFloat;
      run.push_back(std::strtod(number.c_str(), nullptr));
    } else {
      flush();
      size_t s = p;
      while (p < text.size() && (std::isalnum(static_cast<unsigned char>(text[p])) || text[p] == '_')) p++;
      Put16(&out, 1);
      Put32(&out, uint32_t(p - s));
      out += text.substr(s, p - s);
    }
  }
  flush();
  return out;
}

// ----------------------------------------------------------------------------
// MSZIP: blocks of at most 32 KB, each raw deflate with the previous 32 KB
// of content as its dictionary, behind the 16-byte header and the size of
// the inflated file.
// ----------------------------------------------------------------------------

std::string Compress(const std::string& file, const char* format) {
  std::string out = file.substr(0, 8) + format + file.substr(12, 4);
  std::string content = file.substr(16);
  Put32(&out, uint32_t(file.size()));
  for (size_t at = 0; at < content.size(); at += 32768) {
    size_t n = std::min<size_t>(32768, content.size() - at);
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    size_t history = std::min<size_t>(at, 32768);
    if (history) deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(content.data() + at - history), uInt(history));
    std::vector<uint8_t> packed(deflateBound(&z, uLong(n)) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data() + at));
    z.avail_in = uInt(n);
    z.next_out = packed.data();
    z.avail_out = uInt(packed.size());
    deflate(&z, Z_FINISH);
    size_t stored = packed.size() - z.avail_out;
    deflateEnd(&z);
    Put16(&out, uint16_t(n));
    Put16(&out, uint16_t(stored + 2));
    out += "CK";
    out.append(reinterpret_cast<const char*>(packed.data()), stored);
  }
  return out;
}

// A w x h 24-bit BMP (w a multiple of 4, so rows need no padding), rows
// from the bottom; `pixel(x, y)` gives each pixel's bytes blue, green, red
// and is called in file order.
template <typename Pixel>
std::string Bmp24(int w, int h, Pixel pixel) {
  const int row = w * 3;
  std::string out = "BM";
  Put32(&out, uint32_t(54 + row * h));
  Put32(&out, 0);
  Put32(&out, 54);
  Put32(&out, 40);
  Put32(&out, uint32_t(w));
  Put32(&out, uint32_t(h));
  Put16(&out, 1);
  Put16(&out, 24);
  for (int i = 0; i < 6; i++) Put32(&out, 0);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      std::array<uint8_t, 3> bgr = pixel(x, y);
      out.append(reinterpret_cast<const char*>(bgr.data()), bgr.size());
    }
  return out;
}

// An 8 x 8 checker of white and light grey, 24-bit BMP.
std::string CheckerBmp() {
  return Bmp24(8, 8, [](int x, int y) {
    uint8_t v = ((x / 2 + y / 2) & 1) ? 0xC0 : 0xFF;
    return std::array<uint8_t, 3>{v, v, v};
  });
}

// ----------------------------------------------------------------------------
// The sample units' models: boxes of one colour each, in model units (z
// forward, y up), written as text X files with face normals.
// ----------------------------------------------------------------------------

struct Box {
  float x0, y0, z0, x1, y1, z1;
  float r, g, b;
};

using xtext::Number;

std::string BoxesToText(const char* name, const std::vector<Box>& boxes) {
  std::string out = "xof 0303txt 0032\n// A sample unit made of boxes; written by tkw4-make-models --units.\n";
  out += "Header {\n 1;\n 0;\n 1;\n}\n\nMesh " + std::string(name) + " {\n";
  size_t n = boxes.size();
  out += " " + std::to_string(8 * n) + ";\n";
  for (size_t i = 0; i < n; i++) {
    const Box& b = boxes[i];
    const float corners[8][3] = {{b.x0, b.y0, b.z0}, {b.x1, b.y0, b.z0}, {b.x1, b.y1, b.z0}, {b.x0, b.y1, b.z0},
                                 {b.x0, b.y0, b.z1}, {b.x1, b.y0, b.z1}, {b.x1, b.y1, b.z1}, {b.x0, b.y1, b.z1}};
    for (int c = 0; c < 8; c++) {
      out += " " + Number(corners[c][0]) + ";" + Number(corners[c][1]) + ";" + Number(corners[c][2]) + ";";
      out += (i + 1 == n && c == 7) ? ";\n" : ",\n";
    }
  }
  // The faces of the box model above, per box.
  static const int kFaces[6][4] = {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 4, 7, 3}, {1, 2, 6, 5}, {3, 7, 6, 2}, {0, 1, 5, 4}};
  static const char* kNormals[6] = {"0.000000;0.000000;-1.000000;", "0.000000;0.000000;1.000000;",
                                    "-1.000000;0.000000;0.000000;", "1.000000;0.000000;0.000000;",
                                    "0.000000;1.000000;0.000000;",  "0.000000;-1.000000;0.000000;"};
  out += " " + std::to_string(6 * n) + ";\n";
  for (size_t i = 0; i < n; i++)
    for (int f = 0; f < 6; f++) {
      int base = int(8 * i);
      out += " 4;" + std::to_string(base + kFaces[f][0]) + "," + std::to_string(base + kFaces[f][1]) + "," +
             std::to_string(base + kFaces[f][2]) + "," + std::to_string(base + kFaces[f][3]) + ";";
      out += (i + 1 == n && f == 5) ? ";\n" : ",\n";
    }
  out += "\n MeshNormals {\n  6;\n";
  for (int f = 0; f < 6; f++) out += "  " + std::string(kNormals[f]) + (f == 5 ? ";\n" : ",\n");
  out += "  " + std::to_string(6 * n) + ";\n";
  for (size_t i = 0; i < n; i++)
    for (int f = 0; f < 6; f++) {
      std::string k = std::to_string(f);
      out += "  4;" + k + "," + k + "," + k + "," + k + ";" + ((i + 1 == n && f == 5) ? ";\n" : ",\n");
    }
  out += " }\n\n MeshMaterialList {\n  " + std::to_string(n) + ";\n  " + std::to_string(6 * n) + ";\n  ";
  for (size_t i = 0; i < n; i++)
    for (int f = 0; f < 6; f++) out += std::to_string(i) + ((i + 1 == n && f == 5) ? ";\n" : ",");
  for (size_t i = 0; i < n; i++) {
    const Box& b = boxes[i];
    out += "  Material {\n   " + Number(b.r) + ";" + Number(b.g) + ";" + Number(b.b) + ";1.000000;;\n";
    out += "   10.000000;\n   0.300000;0.300000;0.300000;;\n   0.000000;0.000000;0.000000;;\n  }\n";
  }
  out += " }\n}\n";
  return out;
}

// The sample units and their shots: sizes in metres, nose toward +z.
std::vector<std::pair<const char*, std::string>> UnitModels() {
  const Box plane[] = {
      {-0.8f, -0.8f, -7.0f, 0.8f, 0.8f, 7.0f, 0.55f, 0.6f, 0.65f},    // fuselage
      {-5.0f, -0.15f, -2.0f, 5.0f, 0.15f, 1.5f, 0.5f, 0.55f, 0.6f},   // wings
      {-2.2f, -0.1f, -7.0f, 2.2f, 0.1f, -5.5f, 0.5f, 0.55f, 0.6f},    // tailplane
      {-0.1f, 0.8f, -7.0f, 0.1f, 3.0f, -5.2f, 0.45f, 0.5f, 0.55f},    // fin
      {-0.5f, 0.6f, 2.5f, 0.5f, 1.3f, 5.0f, 0.2f, 0.3f, 0.5f},        // canopy
  };
  const Box vehicle[] = {
      {-1.7f, 0.4f, -3.2f, 1.7f, 1.6f, 3.2f, 0.35f, 0.42f, 0.25f},    // hull
      {-1.1f, 1.6f, -1.2f, 1.1f, 2.4f, 1.2f, 0.3f, 0.38f, 0.22f},     // turret
      {-0.12f, 1.85f, 1.2f, 0.12f, 2.1f, 5.0f, 0.2f, 0.2f, 0.2f},     // barrel
      {-1.9f, 0.0f, -3.0f, -1.5f, 0.8f, 3.0f, 0.1f, 0.1f, 0.1f},      // tracks
      {1.5f, 0.0f, -3.0f, 1.9f, 0.8f, 3.0f, 0.1f, 0.1f, 0.1f},
  };
  const Box ship[] = {
      {-6.0f, -3.0f, -40.0f, 6.0f, 3.0f, 40.0f, 0.45f, 0.47f, 0.5f},  // hull
      {-4.0f, 3.0f, -15.0f, 4.0f, 9.0f, 5.0f, 0.6f, 0.62f, 0.65f},    // bridge
      {-1.2f, 9.0f, -8.0f, 1.2f, 16.0f, -5.0f, 0.3f, 0.3f, 0.3f},     // mast
      {-2.0f, 3.0f, 18.0f, 2.0f, 5.0f, 24.0f, 0.4f, 0.42f, 0.45f},    // gun house
  };
  const Box aagun[] = {
      {-2.0f, 0.0f, -2.0f, 2.0f, 0.8f, 2.0f, 0.4f, 0.4f, 0.35f},      // base
      {-0.8f, 0.8f, -0.8f, 0.8f, 2.0f, 0.8f, 0.35f, 0.4f, 0.3f},      // mount
      {-0.35f, 1.6f, 0.8f, -0.15f, 1.8f, 4.5f, 0.15f, 0.15f, 0.15f},  // barrels
      {0.15f, 1.6f, 0.8f, 0.35f, 1.8f, 4.5f, 0.15f, 0.15f, 0.15f},
  };
  const Box missile[] = {
      {-0.1f, -0.1f, -1.5f, 0.1f, 0.1f, 1.5f, 0.85f, 0.85f, 0.85f},  // body
      {-0.35f, -0.02f, -1.5f, 0.35f, 0.02f, -1.1f, 0.6f, 0.6f, 0.6f},  // fins
      {-0.02f, -0.35f, -1.5f, 0.02f, 0.35f, -1.1f, 0.6f, 0.6f, 0.6f},
  };
  // A tire on its strut; the tire point is the bottom of the wheel.
  const Box tire[] = {
      {-0.08f, 0.0f, -0.08f, 0.08f, 1.2f, 0.08f, 0.3f, 0.3f, 0.3f},   // strut
      {-0.15f, -0.35f, -0.35f, 0.15f, 0.35f, 0.35f, 0.1f, 0.1f, 0.1f},  // wheel
  };
  // A rotor craft: a stubby body with two engine pods.
  const Box vtol[] = {
      {-1.2f, -1.0f, -5.0f, 1.2f, 1.2f, 4.0f, 0.35f, 0.4f, 0.3f},     // body
      {-0.8f, 0.6f, 2.0f, 0.8f, 1.4f, 4.2f, 0.2f, 0.3f, 0.45f},       // canopy
      {-4.5f, -0.2f, -1.0f, 4.5f, 0.2f, 1.0f, 0.3f, 0.35f, 0.25f},    // stub wings
      {-5.2f, -0.8f, -1.6f, -3.8f, 0.8f, 1.6f, 0.25f, 0.25f, 0.25f},  // engine pods
      {3.8f, -0.8f, -1.6f, 5.2f, 0.8f, 1.6f, 0.25f, 0.25f, 0.25f},
      {-0.2f, 0.4f, -7.5f, 0.2f, 2.4f, -5.0f, 0.3f, 0.35f, 0.25f},    // tail
  };
  // A gun shot: a thin glowing streak.
  const Box tracer[] = {
      {-0.06f, -0.06f, -2.0f, 0.06f, 0.06f, 2.0f, 1.0f, 0.85f, 0.3f},
  };
  return {
      {"plane.x", BoxesToText("Plane", {std::begin(plane), std::end(plane)})},
      {"vehicle.x", BoxesToText("Vehicle", {std::begin(vehicle), std::end(vehicle)})},
      {"ship.x", BoxesToText("Ship", {std::begin(ship), std::end(ship)})},
      {"aagun.x", BoxesToText("AaGun", {std::begin(aagun), std::end(aagun)})},
      {"missile.x", BoxesToText("Missile", {std::begin(missile), std::end(missile)})},
      {"tracer.x", BoxesToText("Tracer", {std::begin(tracer), std::end(tracer)})},
      {"tire.x", BoxesToText("Tire", {std::begin(tire), std::end(tire)})},
      {"vtol.x", BoxesToText("Vtol", {std::begin(vtol), std::end(vtol)})},
  };
}

using xtext::Write;

// ----------------------------------------------------------------------------
// The sample scene's models: textured boxes (four corners a face, so every
// face has its own texture coordinates), the texture repeated every `tile`
// model units. Written as text X files with face normals.
// ----------------------------------------------------------------------------

struct TexturedBox {
  float x0, y0, z0, x1, y1, z1;
  float tile;  // model units per texture repeat
};

std::string TexturedBoxesToText(const char* name, const std::vector<TexturedBox>& boxes, const char* texture,
                                float r, float g, float b) {
  // Per face: its normal and its four corners (indices into the box's
  // eight corners), wound as the unit models' faces are.
  static const int kFaces[6][4] = {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 4, 7, 3}, {1, 2, 6, 5}, {3, 7, 6, 2}, {0, 1, 5, 4}};
  static const float kNormals[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  xtext::Mesh m;
  m.name = name;
  m.comment = "A sample scene model of textured boxes; written by tkw4-make-models --scene.";
  m.diffuse = {r, g, b, 1.0f};
  m.specular = {0.2f, 0.2f, 0.2f};
  m.texture = texture;
  for (const TexturedBox& bx : boxes) {
    const float c[8][3] = {{bx.x0, bx.y0, bx.z0}, {bx.x1, bx.y0, bx.z0}, {bx.x1, bx.y1, bx.z0}, {bx.x0, bx.y1, bx.z0},
                           {bx.x0, bx.y0, bx.z1}, {bx.x1, bx.y0, bx.z1}, {bx.x1, bx.y1, bx.z1}, {bx.x0, bx.y1, bx.z1}};
    for (int f = 0; f < 6; f++) {
      std::vector<int> face;
      for (int k = 0; k < 4; k++) {
        const float* p = c[kFaces[f][k]];
        // The two axes across the face give the coordinates.
        float u, v;
        if (kNormals[f][1] != 0) {
          u = p[0], v = p[2];
        } else if (kNormals[f][0] != 0) {
          u = p[2], v = p[1];
        } else {
          u = p[0], v = p[1];
        }
        face.push_back(int(m.positions.size()));
        m.positions.push_back({p[0], p[1], p[2]});
        m.normals.push_back({kNormals[f][0], kNormals[f][1], kNormals[f][2]});
        m.uvs.push_back({u / bx.tile, -v / bx.tile});
      }
      m.faces.push_back(face);
    }
  }
  return xtext::MeshToText(m);
}

// A 32 x 32 24-bit BMP whose pixel colour `paint` gives (bytes blue, green,
// red).
template <typename Paint>
std::string PaintedBmp(Paint paint) {
  uint32_t noise = 12345;
  return Bmp24(32, 32, [&](int x, int y) {
    noise = noise * 1103515245u + 12345u;  // a fixed sequence: the same bytes every run
    int grain = int((noise >> 16) % 21) - 10;
    uint8_t rgb[3];
    paint(x, y, grain, rgb);
    return std::array<uint8_t, 3>{rgb[2], rgb[1], rgb[0]};
  });
}

uint8_t Clamp8(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// The scene: a ground plane, a runway, a hangar with a control tower, a
// house, a tree and a sheet of sea water (the map master makes it a mirror);
// each model's texture beside it.
std::vector<std::pair<const char*, std::string>> SceneModels() {
  const TexturedBox ground[] = {{-12000.0f, -1.0f, -12000.0f, 12000.0f, 0.0f, 12000.0f, 50.0f}};
  // Four low walls far out in the haze: the fog paints them in its colour
  // and so closes the view between the ground's far edge and the sky sheet.
  const TexturedBox horizon[] = {
      {-7000.0f, -10.0f, 7000.0f, 7000.0f, 1800.0f, 7040.0f, 400.0f},
      {-7000.0f, -10.0f, -7040.0f, 7000.0f, 1800.0f, -7000.0f, 400.0f},
      {7000.0f, -10.0f, -7000.0f, 7040.0f, 1800.0f, 7000.0f, 400.0f},
      {-7040.0f, -10.0f, -7000.0f, -7000.0f, 1800.0f, 7000.0f, 400.0f},
  };
  const TexturedBox runway[] = {{-30.0f, 0.0f, -1000.0f, 30.0f, 0.2f, 1000.0f, 60.0f}};
  const TexturedBox hangar[] = {
      {-20.0f, 0.0f, -15.0f, 20.0f, 12.0f, 15.0f, 8.0f},  // hall
      {-22.0f, 12.0f, -17.0f, 22.0f, 13.0f, 17.0f, 8.0f},  // roof
  };
  const TexturedBox tower[] = {
      {-3.0f, 0.0f, -3.0f, 3.0f, 20.0f, 3.0f, 4.0f},      // shaft
      {-5.0f, 20.0f, -5.0f, 5.0f, 25.0f, 5.0f, 4.0f},     // cab
  };
  const TexturedBox house[] = {
      {-6.0f, 0.0f, -5.0f, 6.0f, 7.0f, 5.0f, 4.0f},
      {-6.5f, 7.0f, -5.5f, 6.5f, 7.6f, 5.5f, 4.0f},
  };
  const TexturedBox tree[] = {
      {-0.4f, 0.0f, -0.4f, 0.4f, 3.0f, 0.4f, 2.0f},       // trunk
      {-2.5f, 3.0f, -2.5f, 2.5f, 6.0f, 2.5f, 2.0f},       // crown
      {-1.6f, 6.0f, -1.6f, 1.6f, 8.0f, 1.6f, 2.0f},
  };
  // A thin sheet just above the ground's top, so the two never fight for
  // the same depth; wide enough to reach the fog.
  const TexturedBox water[] = {{-1200.0f, 0.0f, -4000.0f, 1200.0f, 0.3f, 4000.0f, 40.0f}};
  auto text = [](const char* name, const auto& boxes, const char* texture, float r, float g, float b) {
    return TexturedBoxesToText(name, {std::begin(boxes), std::end(boxes)}, texture, r, g, b);
  };
  return {
      {"ground.x", text("Ground", ground, "grass.bmp", 1.0f, 1.0f, 1.0f)},
      {"runway.x", text("Runway", runway, "runway.bmp", 1.0f, 1.0f, 1.0f)},
      {"hangar.x", text("Hangar", hangar, "wall.bmp", 0.8f, 0.85f, 0.9f)},
      {"tower.x", text("Tower", tower, "wall.bmp", 1.0f, 1.0f, 1.0f)},
      {"house.x", text("House", house, "wall.bmp", 1.0f, 0.9f, 0.8f)},
      {"tree.x", text("Tree", tree, "leaves.bmp", 1.0f, 1.0f, 1.0f)},
      {"water.x", text("Water", water, "water.bmp", 1.0f, 1.0f, 1.0f)},
      {"horizon.x", text("Horizon", horizon, "wall.bmp", 0.7f, 0.8f, 0.9f)},
      {"grass.bmp", PaintedBmp([](int, int, int g, uint8_t* c) {
         c[0] = Clamp8(70 + g), c[1] = Clamp8(120 + 2 * g), c[2] = Clamp8(50 + g);
       })},
      {"runway.bmp", PaintedBmp([](int x, int y, int g, uint8_t* c) {
         // Grey asphalt, a dashed white centre line along the runway.
         bool line = x >= 15 && x <= 16 && y < 20;
         int v = line ? 235 : 90 + g;
         c[0] = c[1] = c[2] = Clamp8(v);
       })},
      {"wall.bmp", PaintedBmp([](int x, int y, int g, uint8_t* c) {
         // Panels with darker seams.
         bool seam = x % 16 == 0 || y % 8 == 0;
         int v = (seam ? 140 : 200) + g;
         c[0] = Clamp8(v), c[1] = Clamp8(v), c[2] = Clamp8(v - 10);
       })},
      {"water.bmp", PaintedBmp([](int x, int y, int g, uint8_t* c) {
         // Deep blue with lighter wave crests running across.
         bool crest = (x + 2 * y) % 11 == 0;
         c[0] = Clamp8((crest ? 70 : 25) + g / 2), c[1] = Clamp8((crest ? 110 : 60) + g), c[2] = Clamp8((crest ? 170 : 120) + g);
       })},
      {"leaves.bmp", PaintedBmp([](int x, int y, int g, uint8_t* c) {
         bool dark = ((x / 4) + (y / 4)) % 3 == 0;
         c[0] = Clamp8((dark ? 30 : 50) + g), c[1] = Clamp8((dark ? 80 : 110) + 2 * g), c[2] = Clamp8(30 + g);
       })},
  };
}

}  // namespace

int main(int argc, char** argv) {
  bool units = argc >= 2 && std::strcmp(argv[1], "--units") == 0;
  bool scene = argc >= 2 && std::strcmp(argv[1], "--scene") == 0;
  if (argc < 2 || ((units || scene) && argc != 3)) {
    std::fprintf(stderr,
                 "usage: tkw4-make-models FOLDER...\n       tkw4-make-models --units FOLDER\n"
                 "       tkw4-make-models --scene FOLDER\n");
    return 2;
  }
  if (units || scene) {
    std::filesystem::path folder = argv[2];
    std::filesystem::create_directories(folder);
    std::vector<std::pair<const char*, std::string>> files = units ? UnitModels() : SceneModels();
    if (units) {
      // Name tags (HUD_NAME_FILE) of the two sides: a framed bar, blue or red.
      for (bool blue : {true, false})
        files.push_back({blue ? "tag_blue.bmp" : "tag_red.bmp", PaintedBmp([blue](int x, int y, int, uint8_t* c) {
                           bool frame = x < 2 || x > 29 || y < 2 || y > 29;
                           c[0] = frame ? 255 : (blue ? 40 : 220);
                           c[1] = frame ? 255 : (blue ? 90 : 50);
                           c[2] = frame ? 255 : (blue ? 220 : 40);
                         })});
    }
    for (const auto& [name, bytes] : files)
      if (!Write(folder / name, bytes)) {
        std::fprintf(stderr, "tkw4-make-models: cannot write %s\n", (folder / name).string().c_str());
        return 1;
      }
    return 0;
  }
  std::string box = kBoxText, arm = kArmText;
  std::string boxBin = TextToBinary(box), armBin = TextToBinary(arm);
  const std::pair<const char*, std::string> files[] = {
      {"box.x", box},
      {"box_bin.x", boxBin},
      {"box_tzip.x", Compress(box, "tzip")},
      {"box_bzip.x", Compress(boxBin, "bzip")},
      {"arm.x", arm},
      {"arm_bzip.x", Compress(armBin, "bzip")},
      {"box.bmp", CheckerBmp()},
  };
  for (int i = 1; i < argc; i++) {
    std::filesystem::path folder = argv[i];
    std::filesystem::create_directories(folder);
    for (const auto& [name, bytes] : files)
      if (!Write(folder / name, bytes)) {
        std::fprintf(stderr, "tkw4-make-models: cannot write %s\n", (folder / name).string().c_str());
        return 1;
      }
  }
  return 0;
}
