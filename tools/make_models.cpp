// make_models.cpp -- writes the project's own X-file models: a textured box
// (text, binary and both compressed forms) and a small skinned arm with
// named frames and two animation sets, plus the box's texture; the sample
// units' models, each a few coloured boxes; the sample scene's models,
// textured boxes with their textures; and the sword-action game's models.
//
//   tkw4-make-models FOLDER...
//   tkw4-make-models --units FOLDER
//   tkw4-make-models --scene FOLDER
//   tkw4-make-models --arena FOLDER
//
// The first form writes box.x, box_bin.x, box_tzip.x, box_bzip.x, arm.x,
// arm_bzip.x and box.bmp into every FOLDER (tests/render/data and
// games/Demo/Model); the second writes plane.x, vehicle.x, ship.x, aagun.x,
// missile.x, tracer.x, tire.x, vtol.x and the name tags tag_blue.bmp and
// tag_red.bmp into FOLDER (games/Demo/Unit); the third ground.x, runway.x,
// hangar.x, tower.x, house.x, tree.x, water.x and their textures grass.bmp,
// runway.bmp, wall.bmp, leaves.bmp and water.bmp into FOLDER
// (games/Demo/Map); the fourth writes into FOLDER/Unit (games/Arena/Unit)
// the sword actor sworder.x (a skinned figure with every animation set the
// actor plays), the balls, the beam, laser, target mark and piece, the name
// tags and the sword trail's texture trail.bmp, and into FOLDER/Map the
// arena's floor, walls, pillar, dais and hills with their textures. The
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
#include <functional>
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


// ----------------------------------------------------------------------------
// The sword-action sample game (games/Arena): the actor, a skinned humanoid
// of boxes with named animation sets; the balls and their shots; and the
// arena, a stone floor ringed by walls with four pillars.
// ----------------------------------------------------------------------------

// A coloured box on one bone of a skinned mesh (bind-pose model space).
struct BoneBox {
  int bone;
  int material;
  float x0, y0, z0, x1, y1, z1;
};

// A bone of the humanoid: its frame name, its parent (-1: the root frame
// that holds the mesh) and its joint's offset from the parent's joint. In
// the bind pose no frame is turned, so a bone's offset matrix is the
// translation by minus its joint's place in the model.
struct Bone {
  const char* name;
  int parent;
  float x, y, z;
};

// Model space: y up, the actor faces -z (its right hand is at -x), feet at
// y 0, about 1.8 tall.
enum BoneId {
  kHips, kSpine, kChest, kHead, kArmR, kForearmR, kHandR, kSword, kArmL, kForearmL, kHandL,
  kThighR, kShinR, kFootR, kThighL, kShinL, kFootL, kBoneCount
};
const Bone kBones[kBoneCount] = {
    {"Hips", -1, 0.0f, 0.95f, 0.0f},      {"Spine", kHips, 0.0f, 0.1f, 0.0f},
    {"Chest", kSpine, 0.0f, 0.25f, 0.0f}, {"Head", kChest, 0.0f, 0.22f, 0.0f},
    {"ArmR", kChest, -0.23f, 0.16f, 0.0f}, {"ForearmR", kArmR, 0.0f, -0.28f, 0.0f},
    {"HandR", kForearmR, 0.0f, -0.26f, 0.0f}, {"Sword", kHandR, 0.0f, -0.04f, 0.0f},
    {"ArmL", kChest, 0.23f, 0.16f, 0.0f}, {"ForearmL", kArmL, 0.0f, -0.28f, 0.0f},
    {"HandL", kForearmL, 0.0f, -0.26f, 0.0f}, {"ThighR", kHips, -0.1f, 0.0f, 0.0f},
    {"ShinR", kThighR, 0.0f, -0.45f, 0.0f}, {"FootR", kShinR, 0.0f, -0.42f, 0.0f},
    {"ThighL", kHips, 0.1f, 0.0f, 0.0f},   {"ShinL", kThighL, 0.0f, -0.45f, 0.0f},
    {"FootL", kShinL, 0.0f, -0.42f, 0.0f},
};

std::array<float, 3> JointOf(int bone) {
  std::array<float, 3> p = {0, 0, 0};
  for (int b = bone; b >= 0; b = kBones[b].parent) {
    p[0] += kBones[b].x;
    p[1] += kBones[b].y;
    p[2] += kBones[b].z;
  }
  return p;
}

// Materials of the actor: skin, tunic, trousers, armour, blade, dark.
struct Colour {
  float r, g, b;
  float emissive;
};
const Colour kActorColours[] = {
    {0.92f, 0.74f, 0.58f, 0.0f}, {0.18f, 0.32f, 0.72f, 0.0f}, {0.28f, 0.22f, 0.16f, 0.0f},
    {0.72f, 0.72f, 0.78f, 0.0f}, {0.9f, 0.94f, 1.0f, 0.35f},  {0.08f, 0.08f, 0.1f, 0.0f},
};

std::vector<BoneBox> ActorBoxes() {
  // The sword lies along -z in the right hand: guard, grip and blade; the
  // blade runs from z -0.14 to -1.15 at the hand's height.
  const float hx = -0.23f, hy = 0.92f - 0.04f;
  return {
      {kHips, 2, -0.17f, 0.84f, -0.1f, 0.17f, 1.03f, 0.1f},
      {kSpine, 1, -0.16f, 1.03f, -0.09f, 0.16f, 1.28f, 0.09f},
      {kChest, 1, -0.2f, 1.28f, -0.11f, 0.2f, 1.5f, 0.11f},
      {kChest, 3, -0.21f, 1.36f, -0.13f, 0.21f, 1.48f, -0.11f},    // breastplate
      {kHead, 0, -0.06f, 1.5f, -0.05f, 0.06f, 1.56f, 0.05f},       // neck
      {kHead, 0, -0.1f, 1.56f, -0.11f, 0.1f, 1.8f, 0.1f},
      {kHead, 5, -0.11f, 1.72f, -0.08f, 0.11f, 1.83f, 0.12f},      // hair
      {kHead, 5, -0.07f, 1.67f, -0.12f, 0.07f, 1.7f, -0.11f},      // eyes
      {kArmR, 1, -0.29f, 1.18f, -0.06f, -0.17f, 1.5f, 0.06f},
      {kArmR, 3, -0.31f, 1.38f, -0.08f, -0.15f, 1.52f, 0.08f},     // pauldron
      {kForearmR, 0, -0.28f, 0.94f, -0.05f, -0.18f, 1.18f, 0.05f},
      {kHandR, 0, -0.28f, 0.84f, -0.05f, -0.18f, 0.94f, 0.05f},
      {kSword, 3, hx - 0.1f, hy - 0.02f, -0.14f, hx + 0.1f, hy + 0.02f, -0.1f},  // guard
      {kSword, 5, hx - 0.02f, hy - 0.02f, -0.1f, hx + 0.02f, hy + 0.02f, 0.08f},  // grip
      {kSword, 4, hx - 0.012f, hy - 0.035f, -1.15f, hx + 0.012f, hy + 0.035f, -0.14f},
      {kArmL, 1, 0.17f, 1.18f, -0.06f, 0.29f, 1.5f, 0.06f},
      {kArmL, 3, 0.15f, 1.38f, -0.08f, 0.31f, 1.52f, 0.08f},
      {kForearmL, 0, 0.18f, 0.94f, -0.05f, 0.28f, 1.18f, 0.05f},
      {kHandL, 0, 0.18f, 0.84f, -0.05f, 0.28f, 0.94f, 0.05f},
      {kThighR, 2, -0.19f, 0.5f, -0.08f, -0.03f, 0.95f, 0.08f},
      {kShinR, 2, -0.18f, 0.08f, -0.07f, -0.04f, 0.5f, 0.07f},
      {kShinR, 3, -0.19f, 0.1f, -0.09f, -0.03f, 0.38f, -0.05f},    // greave
      {kFootR, 5, -0.18f, 0.0f, -0.2f, -0.04f, 0.08f, 0.07f},
      {kThighL, 2, 0.03f, 0.5f, -0.08f, 0.19f, 0.95f, 0.08f},
      {kShinL, 2, 0.04f, 0.08f, -0.07f, 0.18f, 0.5f, 0.07f},
      {kShinL, 3, 0.03f, 0.1f, -0.09f, 0.19f, 0.38f, -0.05f},
      {kFootL, 5, 0.04f, 0.0f, -0.2f, 0.18f, 0.08f, 0.07f},
  };
}

// ---- Poses ----------------------------------------------------------------

constexpr float kPi = 3.14159265f;
constexpr float kDeg = kPi / 180.0f;

// A bone's turn in degrees about x (a hanging limb swings forward for
// positive x), z (a hanging limb swings toward +x) and y (forward turns
// toward -x, the actor's right), applied in that order.
struct Turn {
  float x = 0, y = 0, z = 0;
};
struct Pose {
  Turn bone[kBoneCount];
  float hipsDrop = 0;  // the hips lowered by this much (crouches, falls)
  float hipsBack = 0;  // and moved back (+z)
};

struct Quat4 {
  float w, x, y, z;
};
// Hamilton product a b: the turn b, then a.
Quat4 Mul(Quat4 a, Quat4 b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
Quat4 AxisTurn(float degrees, int axis) {
  float h = degrees * kDeg * 0.5f;
  Quat4 q = {std::cos(h), 0, 0, 0};
  (&q.x)[axis] = std::sin(h);
  return q;
}
Quat4 TurnQuat(const Turn& t) { return Mul(AxisTurn(t.y, 1), Mul(AxisTurn(t.z, 2), AxisTurn(t.x, 0))); }

float Lerp(float a, float b, float t) { return a + (b - a) * t; }
// 0 before a, 1 after b, smooth in between.
float Ramp(float t, float a, float b) {
  if (t <= a) return 0;
  if (t >= b) return 1;
  float u = (t - a) / (b - a);
  return u * u * (3 - 2 * u);
}

// The stance the other poses start from: sword held forward and up in the
// right hand, the left hand loose, knees soft.
Pose Guarded() {
  Pose p;
  p.bone[kArmR] = {25, 0, -8};
  p.bone[kForearmR] = {35, 0, 0};
  p.bone[kHandR] = {-25, 0, 0};
  p.bone[kArmL] = {10, 0, 12};
  p.bone[kForearmL] = {25, 0, 0};
  p.bone[kThighR] = {12, 0, 0};
  p.bone[kShinR] = {-18, 0, 0};
  p.bone[kFootR] = {6, 0, 0};
  p.bone[kThighL] = {-4, 0, 0};
  p.bone[kShinL] = {-10, 0, 0};
  p.bone[kFootL] = {14, 0, 0};
  p.hipsDrop = 0.03f;
  return p;
}

// Legs in a stride: phase 0..1 over one full cycle, `swing` degrees.
void Stride(Pose* p, float phase, float swing, float knee) {
  float s = std::sin(2 * kPi * phase);
  float c = std::cos(2 * kPi * phase);
  p->bone[kThighR] = {swing * s, 0, 0};
  p->bone[kThighL] = {-swing * s, 0, 0};
  p->bone[kShinR] = {-knee * (0.5f + 0.5f * c), 0, 0};
  p->bone[kShinL] = {-knee * (0.5f - 0.5f * c), 0, 0};
  p->bone[kFootR] = {-0.3f * swing * s, 0, 0};
  p->bone[kFootL] = {0.3f * swing * s, 0, 0};
  p->bone[kArmL] = {-0.8f * swing * s, 0, 10};
  p->hipsDrop = 0.02f + 0.02f * std::fabs(c);
}

// The sword arm held out at `lift` degrees forward and swept `sweep`
// degrees about the shoulder (positive: to the actor's right), the blade
// kept level and pointing along the arm.
void SwordOut(Pose* p, float lift, float sweep, float bladeTilt) {
  p->bone[kArmR] = {lift, sweep, -6};
  p->bone[kForearmR] = {0, 0, 0};
  p->bone[kHandR] = {-lift + bladeTilt, 0, 0};
}

// A slash: from the wind-up (lift a0, sweep s0) to the follow-through (a1,
// s1) inside the strike window [w0, w1], the chest twisting with it, back to
// the stance by 59.
Pose Slash(float t, float w0, float w1, float a0, float s0, float a1, float s1, float tilt, float twist) {
  Pose p = Guarded();
  float in = Ramp(t, 0, w0), cut = Ramp(t, w0, w1), back = Ramp(t, w1 + 12, 59);
  float lift = Lerp(Lerp(25, a0, in), a1, cut);
  float sweep = Lerp(s0 * in, s1, cut);
  lift = Lerp(lift, 25, back);
  sweep = Lerp(sweep, 0, back);
  if (back < 1 && t > 0) SwordOut(&p, lift, sweep, tilt * (1 - back));
  float tw = Lerp(Lerp(twist * in, -twist, cut), 0, back);
  p.bone[kChest].y = tw;
  p.bone[kSpine].x = -8 * (in - back > 0 ? in - back : 0);
  // A step into the cut.
  float step = cut * (1 - back);
  p.bone[kThighR] = {Lerp(12, 35, step), 0, 0};
  p.bone[kShinR] = {Lerp(-18, -30, step), 0, 0};
  p.bone[kThighL] = {Lerp(-4, -20, step), 0, 0};
  p.hipsDrop = 0.03f + 0.08f * step;
  return p;
}

// Every animation set the actor plays; t is the animation time in steps
// (0..60), as the behaviour counts it.
struct SetDef {
  const char* name;
  Pose (*pose)(float t);
};

Pose PosePose(float t) {
  Pose p = Guarded();
  float b = std::sin(2 * kPi * t / 60);
  p.bone[kChest].x = 2 * b;
  p.bone[kArmL].z = 12 + 2 * b;
  return p;
}
Pose PoseWalk(float t) {
  Pose p = Guarded();
  Stride(&p, t / 60, 22, 30);
  return p;
}
Pose PoseRun(float t) {
  // Two strides a second: feet down at 5 and 20 (and 35, 50).
  Pose p = Guarded();
  Stride(&p, (t - 5) / 30 + 0.25f, 42, 70);
  p.bone[kSpine].x = -14;
  p.bone[kArmR] = {-20, 0, -10};
  p.bone[kForearmR] = {50, 0, 0};
  p.bone[kHandR] = {10, 0, 0};
  p.hipsDrop += 0.04f;
  return p;
}
Pose PoseJump(float t) {
  // 0..30 crouch and spring (held at 30 while the button is), then tucked
  // in the air and reaching for the ground by 59.
  Pose p = Guarded();
  float crouch = Ramp(t, 0, 8) * (1 - Ramp(t, 18, 30));
  float tuck = Ramp(t, 30, 40) * (1 - Ramp(t, 48, 59));
  p.hipsDrop = 0.25f * crouch;
  p.bone[kThighR].x = 12 + 50 * crouch + 70 * tuck;
  p.bone[kThighL].x = -4 + 50 * crouch + 40 * tuck;
  p.bone[kShinR].x = -18 - 90 * crouch - 100 * tuck;
  p.bone[kShinL].x = -10 - 90 * crouch - 60 * tuck;
  p.bone[kSpine].x = -20 * crouch;
  p.bone[kArmL] = {-30 * crouch + 40 * tuck, 0, 30 * tuck + 12};
  return p;
}
// A dodge: the body thrown the way it goes (leanX forward, leanZ sideways).
Pose Dodge(float t, float leanX, float leanZ) {
  Pose p = Guarded();
  float k = Ramp(t, 0, 6) * (1 - Ramp(t, 36, 51));
  p.hipsDrop = 0.2f * k;
  p.bone[kSpine] = {leanX * k, 0, leanZ * k};
  p.bone[kThighR].x = 12 + 60 * k;
  p.bone[kThighL].x = -4 + 30 * k;
  p.bone[kShinR].x = -18 - 80 * k;
  p.bone[kShinL].x = -10 - 70 * k;
  p.bone[kArmL].z = 12 + 40 * k;
  return p;
}
Pose PoseBack(float t) { return Dodge(t, -25, 0); }
Pose PoseSideR(float t) { return Dodge(t, -10, -25); }
Pose PoseSideL(float t) { return Dodge(t, -10, 25); }
Pose PoseTd(float t) {
  // Landing: knees take it at once, up again by 21.
  Pose p = Guarded();
  float k = 1 - Ramp(t, 2, 21);
  p.hipsDrop = 0.03f + 0.3f * k;
  p.bone[kThighR].x = 12 + 60 * k;
  p.bone[kThighL].x = -4 + 60 * k;
  p.bone[kShinR].x = -18 - 100 * k;
  p.bone[kShinL].x = -10 - 100 * k;
  p.bone[kFootR].x = 6 + 40 * k;
  p.bone[kFootL].x = 14 + 40 * k;
  p.bone[kSpine].x = -25 * k;
  return p;
}
Pose PoseGuard(float t) {
  // The blade raised across the body by 6 and held.
  Pose p = Guarded();
  float k = Ramp(t, 0, 6);
  p.bone[kArmR] = {Lerp(25, 60, k), Lerp(0, -35, k), -6};
  p.bone[kForearmR] = {Lerp(35, 40, k), 0, 0};
  p.bone[kHandR] = {Lerp(-25, -100, k), Lerp(0, -60, k), 0};
  p.bone[kArmL] = {Lerp(10, 55, k), 0, Lerp(12, -20, k)};
  p.bone[kForearmL] = {Lerp(25, 70, k), 0, 0};
  p.hipsDrop = 0.03f + 0.08f * k;
  return p;
}
Pose PoseGuard2(float t) {
  // The parry: the guard snapped outward and back.
  Pose p = PoseGuard(60);
  float k = Ramp(t, 0, 4) * (1 - Ramp(t, 10, 30));
  p.bone[kArmR].y = -35 + 50 * k;
  p.bone[kChest].y = 15 * k;
  return p;
}
Pose PoseAt1(float t) { return Slash(t, 3, 10, 80, 70, 75, -80, 0, 25); }
Pose PoseAt2(float t) { return Slash(t, 6, 12, 75, -80, 80, 75, 0, -25); }
Pose PoseAt3(float t) { return Slash(t, 6, 16, 170, 10, 30, -10, -30, 10); }
Pose PoseAt4(float t) { return Slash(t, 6, 15, 20, 30, 165, -20, 20, -15); }
Pose PoseAt5(float t) {
  // The rising spin: the whole body turns once between 3 and 16.
  Pose p = Slash(t, 3, 16, 85, 60, 85, -60, 0, 0);
  p.bone[kHips].y = -360 * Ramp(t, 3, 16);
  p.bone[kThighR].x = 12 + 50 * Ramp(t, 3, 8) * (1 - Ramp(t, 20, 40));
  p.bone[kShinR].x = -18 - 80 * Ramp(t, 3, 8) * (1 - Ramp(t, 20, 40));
  return p;
}
Pose PoseAt6(float t) {
  // Turning about: the body swings round to strike behind (16..21).
  Pose p = Slash(t, 16, 21, 80, -90, 80, 90, 0, -30);
  p.bone[kHips].y = 180 * Ramp(t, 8, 21);
  return p;
}
Pose PoseAt7(float t) {
  // From the air: legs tucked, a downward cut in 10..17.
  Pose p = Slash(t, 10, 17, 175, 0, 10, 0, -40, 0);
  float tuck = 1 - Ramp(t, 30, 59);
  p.bone[kThighR].x = 60 * tuck;
  p.bone[kThighL].x = 30 * tuck;
  p.bone[kShinR].x = -100 * tuck;
  p.bone[kShinL].x = -70 * tuck;
  return p;
}
Pose PoseRunA(float t) {
  // A running thrust (10..16), a long lunge held until 36.
  Pose p = Slash(t, 10, 16, 60, 40, 90, 0, 0, 20);
  float lunge = Ramp(t, 8, 14) * (1 - Ramp(t, 36, 59));
  p.bone[kThighR].x = 12 + 60 * lunge;
  p.bone[kShinR].x = -18 - 50 * lunge;
  p.bone[kThighL].x = -4 - 40 * lunge;
  p.bone[kSpine].x = -20 * lunge;
  p.hipsDrop = 0.03f + 0.15f * lunge;
  return p;
}
Pose PoseTdA(float t) {
  // Rising from a landing with an upward cut (14..21).
  Pose p = Slash(t, 14, 21, 10, 30, 160, -30, 20, 15);
  float k = 1 - Ramp(t, 0, 14);
  p.hipsDrop += 0.25f * k;
  p.bone[kThighR].x += 50 * k;
  p.bone[kThighL].x += 50 * k;
  p.bone[kShinR].x -= 90 * k;
  p.bone[kShinL].x -= 90 * k;
  return p;
}
Pose PoseDmg(float t) {
  // Staggered back, balanced again by 59.
  Pose p = Guarded();
  float k = Ramp(t, 0, 5) * (1 - Ramp(t, 20, 59));
  p.bone[kSpine].x = 25 * k;
  p.bone[kHead].x = 20 * k;
  p.bone[kArmR].x = 25 - 30 * k;
  p.bone[kArmL] = {-30 * k, 0, 12 + 40 * k};
  p.bone[kThighL].x = -4 - 25 * k;
  p.hipsBack = 0.1f * k;
  return p;
}
Pose PoseDmg2(float t) {
  // Knocked off the feet: thrown back and lying from 30 (the behaviour
  // holds 59 while the actor is down).
  Pose p;
  float fall = Ramp(t, 0, 30);
  // On the back: the hips turned up about x carry the body back and the
  // legs forward; the chin tucked, the arms flung out.
  p.bone[kHips].x = 85 * fall;
  p.hipsDrop = 0.8f * fall;
  p.hipsBack = 0.3f * fall;
  p.bone[kHead].x = -25 * fall;
  p.bone[kArmR] = {-20 * fall, 0, -60 * fall};
  p.bone[kArmL] = {-20 * fall, 0, 60 * fall};
  p.bone[kThighR].x = 20 * fall;
  p.bone[kShinR].x = -40 * fall;
  p.bone[kThighL].x = -5 * fall;
  return p;
}

const SetDef kActorSets[] = {
    {"AnimationSet_pose", PosePose},   {"AnimationSet_walk", PoseWalk},     {"AnimationSet_run", PoseRun},
    {"AnimationSet_jump", PoseJump},   {"AnimationSet_back", PoseBack},     {"AnimationSet_side_r", PoseSideR},
    {"AnimationSet_side_l", PoseSideL}, {"AnimationSet_td", PoseTd},        {"AnimationSet_guard", PoseGuard},
    {"AnimationSet_guard2", PoseGuard2}, {"AnimationSet_at1", PoseAt1},     {"AnimationSet_at2", PoseAt2},
    {"AnimationSet_at3", PoseAt3},     {"AnimationSet_at4", PoseAt4},       {"AnimationSet_at5", PoseAt5},
    {"AnimationSet_at6", PoseAt6},     {"AnimationSet_at7", PoseAt7},       {"AnimationSet_run_a", PoseRunA},
    {"AnimationSet_td_a", PoseTdA},    {"AnimationSet_dmg", PoseDmg},       {"AnimationSet_dmg2", PoseDmg2},
};

// Boxes of one bone each as the faces of `m` (four corners a face, face
// normals), each box's faces in its material and its vertices on its bone.
void AddBoneBoxes(xtext::Mesh* m, const std::vector<BoneBox>& boxes) {
  static const int kFaces[6][4] = {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 4, 7, 3}, {1, 2, 6, 5}, {3, 7, 6, 2}, {0, 1, 5, 4}};
  static const float kNormals[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  for (const BoneBox& b : boxes) {
    const float c[8][3] = {{b.x0, b.y0, b.z0}, {b.x1, b.y0, b.z0}, {b.x1, b.y1, b.z0}, {b.x0, b.y1, b.z0},
                           {b.x0, b.y0, b.z1}, {b.x1, b.y0, b.z1}, {b.x1, b.y1, b.z1}, {b.x0, b.y1, b.z1}};
    for (int f = 0; f < 6; f++) {
      std::vector<int> face;
      for (int k = 0; k < 4; k++) {
        int v = int(m->positions.size());
        face.push_back(v);
        const float* p = c[kFaces[f][k]];
        m->positions.push_back({p[0], p[1], p[2]});
        m->normals.push_back({kNormals[f][0], kNormals[f][1], kNormals[f][2]});
        m->bones[size_t(b.bone)].vertices.push_back(v);
        m->bones[size_t(b.bone)].weights.push_back(1.0f);
      }
      m->faces.push_back(face);
      m->faceMaterials.push_back(b.material);
    }
  }
}

std::array<float, 16> Translation(float x, float y, float z) {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
}

// The actor as a text X file: the root frame "Actor" holds one skinned
// mesh (every vertex on one bone), the bone frames hang beneath it, and
// each animation set keys every bone from 0 to 60 (60 ticks a second, so a
// key's time is the animation time in steps; a set's period is 60 and the
// behaviour's time / 60 is the fraction of it).
std::string ActorToText() {
  xtext::Mesh m;
  m.name = "ActorMesh";
  for (const Colour& c : kActorColours) {
    xtext::Mesh::Material k;
    k.diffuse = {c.r, c.g, c.b, 1.0f};
    k.power = 12.0f;
    k.specular = {0.3f, 0.3f, 0.3f};
    k.emissive = {c.r * c.emissive, c.g * c.emissive, c.b * c.emissive};
    m.materials.push_back(k);
  }
  // The bind pose turns no frame, so a bone's offset is the translation by
  // minus its joint's place in the model.
  for (int b = 0; b < kBoneCount; b++) {
    xtext::Mesh::Bone bone;
    bone.frame = kBones[b].name;
    std::array<float, 3> j = JointOf(b);
    bone.offset = Translation(-j[0], -j[1], -j[2]);
    m.bones.push_back(bone);
  }
  AddBoneBoxes(&m, ActorBoxes());
  m.maxWeightsPerVertex = m.maxWeightsPerFace = 1;

  std::string out = "xof 0303txt 0032\n";
  out += "// The Arena's sword actor: a skinned figure of boxes with its animation sets; written by\n";
  out += "// tkw4-make-models --arena.\n";
  out += "AnimTicksPerSecond {\n 60;\n}\n\nFrame Actor {\n FrameTransformMatrix {\n";
  out += xtext::MatrixToText(Translation(0, 0, 0), "  ") + " }\n\n" + xtext::MeshBodyToText(m, "  ");
  // The bone frames, children after their parent (the table's order).
  std::function<void(int, const std::string&)> frame = [&](int b, const std::string& indent) {
    out += "\n" + indent + "Frame " + kBones[b].name + " {\n" + indent + " FrameTransformMatrix {\n";
    out += xtext::MatrixToText(Translation(kBones[b].x, kBones[b].y, kBones[b].z), indent + "  ") + indent + " }\n";
    for (int c = 0; c < kBoneCount; c++)
      if (kBones[c].parent == b) frame(c, indent + " ");
    out += indent + "}\n";
  };
  frame(kHips, " ");
  out += "}\n";

  // The animation sets: a key every 5 steps from 0 to 60 (the pose of 59
  // at 60, where the behaviour holds a finished move).
  for (const SetDef& set : kActorSets) {
    out += "\nAnimationSet " + std::string(set.name) + " {\n";
    std::vector<Pose> keys;
    for (int t = 0; t <= 60; t += 5) keys.push_back(set.pose(float(t > 59 ? 59 : t)));
    for (int b = 0; b < kBoneCount; b++) {
      out += " Animation {\n  {" + std::string(kBones[b].name) + "}\n  AnimationKey {\n   0;\n   " +
             std::to_string(keys.size()) + ";\n";
      for (size_t k = 0; k < keys.size(); k++) {
        Quat4 q = TurnQuat(keys[k].bone[b]);
        out += "   " + std::to_string(5 * k) + ";4;" + Number(q.w) + "," + Number(q.x) + "," + Number(q.y) + "," +
               Number(q.z) + (k + 1 == keys.size() ? ";;;\n" : ";;,\n");
      }
      out += "  }\n";
      if (b == kHips) {
        out += "  AnimationKey {\n   2;\n   " + std::to_string(keys.size()) + ";\n";
        for (size_t k = 0; k < keys.size(); k++)
          out += "   " + std::to_string(5 * k) + ";3;" + Number(kBones[b].x) + "," +
                 Number(kBones[b].y - keys[k].hipsDrop) + "," + Number(kBones[b].z + keys[k].hipsBack) +
                 (k + 1 == keys.size() ? ";;;\n" : ";;,\n");
        out += "  }\n";
      }
      out += " }\n";
    }
    out += "}\n";
  }
  return out;
}

// A ball of radius `r` (a latitude-longitude sphere with smooth normals,
// stretched along z by `stretchZ`) in one colour, with a band of a second
// colour round its middle; the maximum x of its box is r, the size the
// ball behaviours go by.
std::string BallToText(const char* name, float r, Colour body, Colour band, float stretchZ = 1.0f) {
  xtext::Mesh m;
  m.name = name;
  m.comment = "An Arena ball; written by tkw4-make-models --arena.";
  const int rings = 8, segments = 12;
  for (int i = 0; i <= rings; i++) {
    float phi = kPi * float(i) / rings;
    for (int j = 0; j < segments; j++) {
      float theta = 2 * kPi * float(j) / segments;
      float nx = std::sin(phi) * std::cos(theta), ny = std::cos(phi), nz = std::sin(phi) * std::sin(theta);
      m.positions.push_back({r * nx, r * ny, r * nz * stretchZ});
      m.normals.push_back({nx, ny, nz});
    }
  }
  for (int i = 0; i < rings; i++)
    for (int j = 0; j < segments; j++) {
      int a = i * segments + j, b = i * segments + (j + 1) % segments;
      m.faces.push_back({a, b, b + segments, a + segments});
      m.faceMaterials.push_back(i == rings / 2 - 1 || i == rings / 2 ? 1 : 0);
    }
  for (const Colour& c : {body, band}) {
    xtext::Mesh::Material k;
    k.diffuse = {c.r, c.g, c.b, 1.0f};
    k.power = 30.0f;
    k.specular = {0.6f, 0.6f, 0.6f};
    k.emissive = {c.r * c.emissive, c.g * c.emissive, c.b * c.emissive};
    m.materials.push_back(k);
  }
  return xtext::MeshToText(m);
}

std::vector<std::pair<const char*, std::string>> ArenaUnitModels() {
  // The target mark: a flat cross lying on the ground.
  const Box mark[] = {
      {-0.6f, 0.0f, -0.08f, 0.6f, 0.03f, 0.08f, 1.0f, 0.2f, 0.2f},
      {-0.08f, 0.0f, -0.6f, 0.08f, 0.03f, 0.6f, 1.0f, 0.2f, 0.2f},
  };
  // The laser: a square beam one unit long along +z, one unit across (the
  // behaviour scales it).
  const Box laser[] = {{-0.5f, -0.5f, 0.0f, 0.5f, 0.5f, 1.0f, 0.6f, 0.8f, 1.0f}};
  return {
      {"sworder.x", ActorToText()},
      {"ball.x", BallToText("Ball", 0.5f, {0.85f, 0.3f, 0.15f, 0.0f}, {0.2f, 0.1f, 0.05f, 0.0f})},
      {"ball_large.x", BallToText("BallLarge", 0.8f, {0.85f, 0.3f, 0.15f, 0.0f}, {0.2f, 0.1f, 0.05f, 0.0f})},
      {"ball_speed.x", BallToText("BallSpeed", 0.4f, {0.95f, 0.8f, 0.1f, 0.0f}, {0.2f, 0.2f, 0.2f, 0.0f})},
      {"ball_electric.x", BallToText("BallElectric", 0.5f, {0.2f, 0.45f, 1.0f, 0.3f}, {0.9f, 0.95f, 1.0f, 0.8f})},
      {"ball_silver.x", BallToText("BallSilver", 0.55f, {0.78f, 0.8f, 0.85f, 0.0f}, {0.2f, 0.25f, 0.35f, 0.0f})},
      {"ball_evil.x", BallToText("BallEvil", 0.7f, {0.3f, 0.05f, 0.35f, 0.0f}, {0.95f, 0.1f, 0.1f, 0.7f})},
      {"piece.x", BallToText("Piece", 0.12f, {0.3f, 1.0f, 0.5f, 0.6f}, {0.3f, 1.0f, 0.5f, 0.6f})},
      {"beam.x", BallToText("Beam", 0.15f, {0.5f, 0.6f, 1.0f, 1.0f}, {0.9f, 0.95f, 1.0f, 1.0f}, 4.0f)},
      {"laser.x", BoxesToText("Laser", {std::begin(laser), std::end(laser)})},
      {"mark.x", BoxesToText("Mark", {std::begin(mark), std::end(mark)})},
  };
}

// The arena: a 60 x 60 stone floor, walls round it, four pillars and a
// low dais in the middle.
std::vector<std::pair<const char*, std::string>> ArenaSceneModels() {
  const TexturedBox floor[] = {{-30.0f, -1.0f, -30.0f, 30.0f, 0.0f, 30.0f, 4.0f}};
  const TexturedBox walls[] = {
      {-31.0f, 0.0f, 30.0f, 31.0f, 3.0f, 31.0f, 2.0f},
      {-31.0f, 0.0f, -31.0f, 31.0f, 3.0f, -30.0f, 2.0f},
      {30.0f, 0.0f, -30.0f, 31.0f, 3.0f, 30.0f, 2.0f},
      {-31.0f, 0.0f, -30.0f, -30.0f, 3.0f, 30.0f, 2.0f},
  };
  const TexturedBox pillar[] = {
      {-0.8f, 0.0f, -0.8f, 0.8f, 5.0f, 0.8f, 1.6f},
      {-1.1f, 5.0f, -1.1f, 1.1f, 5.4f, 1.1f, 1.6f},  // capital
  };
  const TexturedBox dais[] = {{-3.0f, 0.0f, -3.0f, 3.0f, 0.4f, 3.0f, 2.0f}};
  // Far hills all round, for a horizon under the sky.
  const TexturedBox hills[] = {
      {-400.0f, -5.0f, 380.0f, 400.0f, 60.0f, 400.0f, 40.0f},
      {-400.0f, -5.0f, -400.0f, 400.0f, 60.0f, -380.0f, 40.0f},
      {380.0f, -5.0f, -380.0f, 400.0f, 60.0f, 380.0f, 40.0f},
      {-400.0f, -5.0f, -380.0f, -380.0f, 60.0f, 380.0f, 40.0f},
      {-400.0f, -6.0f, -400.0f, 400.0f, -5.0f, 400.0f, 40.0f},
  };
  auto text = [](const char* name, const auto& boxes, const char* texture, float r, float g, float b) {
    return TexturedBoxesToText(name, {std::begin(boxes), std::end(boxes)}, texture, r, g, b);
  };
  return {
      {"floor.x", text("Floor", floor, "flagstone.bmp", 1.0f, 1.0f, 1.0f)},
      {"walls.x", text("Walls", walls, "brick.bmp", 1.0f, 1.0f, 1.0f)},
      {"pillar.x", text("Pillar", pillar, "marble.bmp", 1.0f, 1.0f, 1.0f)},
      {"dais.x", text("Dais", dais, "marble.bmp", 0.9f, 0.85f, 0.8f)},
      {"hills.x", text("Hills", hills, "moss.bmp", 0.8f, 0.9f, 0.8f)},
      {"flagstone.bmp", PaintedBmp([](int x, int y, int g, uint8_t* c) {
         // Square slabs with dark joints.
         bool joint = x % 16 == 0 || y % 16 == 0;
         int v = (joint ? 70 : 150) + g;
         c[0] = Clamp8(v + 5), c[1] = Clamp8(v), c[2] = Clamp8(v - 12);
       })},
      {"brick.bmp", PaintedBmp([](int x, int y, int g, uint8_t* c) {
         // Courses of bricks, each course offset by half a brick.
         bool joint = y % 8 == 0 || (x + (y / 8 % 2) * 8) % 16 == 0;
         c[0] = Clamp8((joint ? 170 : 150) + g), c[1] = Clamp8((joint ? 165 : 80) + g), c[2] = Clamp8((joint ? 150 : 60) + g);
       })},
      {"marble.bmp", PaintedBmp([](int x, int y, int g, uint8_t* c) {
         bool vein = (x + y / 2) % 13 == 0;
         int v = (vein ? 180 : 228) + g / 2;
         c[0] = Clamp8(v), c[1] = Clamp8(v - 4), c[2] = Clamp8(v - 10);
       })},
      {"moss.bmp", PaintedBmp([](int, int, int g, uint8_t* c) {
         c[0] = Clamp8(60 + g), c[1] = Clamp8(100 + 2 * g), c[2] = Clamp8(55 + g);
       })},
  };
}

// The sword trail's texture: white, fading toward the blade's base.
std::string TrailBmp() {
  return Bmp24(32, 32, [](int x, int) {
    uint8_t v = uint8_t(80 + x * 5);
    return std::array<uint8_t, 3>{255, v, v};
  });
}

// Name tags (HUD_NAME_FILE) of the two sides: a framed bar, blue or red.
std::vector<std::pair<const char*, std::string>> NameTags() {
  std::vector<std::pair<const char*, std::string>> files;
  for (bool blue : {true, false})
    files.push_back({blue ? "tag_blue.bmp" : "tag_red.bmp", PaintedBmp([blue](int x, int y, int, uint8_t* c) {
                       bool frame = x < 2 || x > 29 || y < 2 || y > 29;
                       c[0] = frame ? 255 : (blue ? 40 : 220);
                       c[1] = frame ? 255 : (blue ? 90 : 50);
                       c[2] = frame ? 255 : (blue ? 220 : 40);
                     })});
  return files;
}
}  // namespace

int main(int argc, char** argv) {
  bool units = argc >= 2 && std::strcmp(argv[1], "--units") == 0;
  bool scene = argc >= 2 && std::strcmp(argv[1], "--scene") == 0;
  bool arena = argc >= 2 && std::strcmp(argv[1], "--arena") == 0;
  if (argc < 2 || ((units || scene || arena) && argc != 3)) {
    std::fprintf(stderr,
                 "usage: tkw4-make-models FOLDER...\n       tkw4-make-models --units FOLDER\n"
                 "       tkw4-make-models --scene FOLDER\n       tkw4-make-models --arena FOLDER\n");
    return 2;
  }
  if (units || scene) {
    std::filesystem::path folder = argv[2];
    std::filesystem::create_directories(folder);
    std::vector<std::pair<const char*, std::string>> files = units ? UnitModels() : SceneModels();
    if (units)
      for (auto& tag : NameTags()) files.push_back(std::move(tag));
    for (const auto& [name, bytes] : files)
      if (!Write(folder / name, bytes)) {
        std::fprintf(stderr, "tkw4-make-models: cannot write %s\n", (folder / name).string().c_str());
        return 1;
      }
    return 0;
  }
  if (arena) {
    // The actor, the balls, their shots, tags and the trail into Unit/; the
    // arena's models and textures into Map/.
    std::filesystem::path folder = argv[2];
    std::vector<std::pair<std::filesystem::path, std::string>> files;
    for (auto& [name, bytes] : ArenaUnitModels()) files.push_back({folder / "Unit" / name, std::move(bytes)});
    for (auto& [name, bytes] : NameTags()) files.push_back({folder / "Unit" / name, std::move(bytes)});
    files.push_back({folder / "Unit" / "trail.bmp", TrailBmp()});
    for (auto& [name, bytes] : ArenaSceneModels()) files.push_back({folder / "Map" / name, std::move(bytes)});
    for (const auto& [path, bytes] : files) {
      std::filesystem::create_directories(path.parent_path());
      if (!Write(path, bytes)) {
        std::fprintf(stderr, "tkw4-make-models: cannot write %s\n", path.string().c_str());
        return 1;
      }
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
