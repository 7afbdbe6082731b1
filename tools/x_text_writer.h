// x_text_writer.h -- pieces the model-writing tools share: numbers as the
// text X format writes them, a whole-file writer, and a text X writer for
// one mesh with normals, texture coordinates and one material.
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace xtext {

// "%f", as every committed text model writes its numbers.
inline std::string Number(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%f", double(v));
  return text;
}

// Writes `bytes` to `path`, replacing the file. False on any failure.
inline bool Write(const std::filesystem::path& path, const std::string& bytes) {
  FILE* f = std::fopen(path.string().c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// One mesh: vertices with a normal and texture coordinates each, polygon
// faces by vertex index, and one material worn by every face.
struct Mesh {
  std::string name;
  std::string comment;                      // one line, written after the magic
  std::vector<std::array<float, 3>> positions;
  std::vector<std::array<float, 3>> normals;  // one a vertex
  std::vector<std::array<float, 2>> uvs;      // one a vertex, or none
  std::vector<std::vector<int>> faces;
  std::array<float, 4> diffuse = {1, 1, 1, 1};
  float power = 10.0f;
  std::array<float, 3> specular = {0, 0, 0};
  std::array<float, 3> emissive = {0, 0, 0};
  std::string texture;                      // empty: no TextureFilename
};

inline std::string MeshToText(const Mesh& m) {
  auto vec = [](const float* v, int n) {
    std::string s;
    for (int i = 0; i < n; i++) s += Number(v[i]) + ";";
    return s;
  };
  auto faceList = [&m](const char* indent) {
    std::string s = indent + std::to_string(m.faces.size()) + ";\n";
    for (size_t f = 0; f < m.faces.size(); f++) {
      s += indent + std::to_string(m.faces[f].size()) + ";";
      for (size_t k = 0; k < m.faces[f].size(); k++) s += (k ? "," : "") + std::to_string(m.faces[f][k]);
      s += f + 1 == m.faces.size() ? ";;\n" : ";,\n";
    }
    return s;
  };
  const size_t n = m.positions.size();
  std::string out = "xof 0303txt 0032\n";
  if (!m.comment.empty()) out += "// " + m.comment + "\n";
  out += "Header {\n 1;\n 0;\n 1;\n}\n\nMesh " + m.name + " {\n " + std::to_string(n) + ";\n";
  for (size_t i = 0; i < n; i++) out += " " + vec(m.positions[i].data(), 3) + (i + 1 == n ? ";\n" : ",\n");
  out += faceList(" ");
  out += "\n MeshNormals {\n  " + std::to_string(m.normals.size()) + ";\n";
  for (size_t i = 0; i < m.normals.size(); i++)
    out += "  " + vec(m.normals[i].data(), 3) + (i + 1 == m.normals.size() ? ";\n" : ",\n");
  out += faceList("  ") + " }\n";
  if (!m.uvs.empty()) {
    out += "\n MeshTextureCoords {\n  " + std::to_string(m.uvs.size()) + ";\n";
    for (size_t i = 0; i < m.uvs.size(); i++)
      out += "  " + vec(m.uvs[i].data(), 2) + (i + 1 == m.uvs.size() ? ";\n" : ",\n");
    out += " }\n";
  }
  out += "\n MeshMaterialList {\n  1;\n  " + std::to_string(m.faces.size()) + ";\n  ";
  for (size_t f = 0; f < m.faces.size(); f++) out += f + 1 == m.faces.size() ? "0;\n" : "0,";
  out += "  Material {\n   " + vec(m.diffuse.data(), 4) + ";\n   " + Number(m.power) + ";\n   " +
         vec(m.specular.data(), 3) + ";\n   " + vec(m.emissive.data(), 3) + ";\n";
  if (!m.texture.empty()) out += "   TextureFilename {\n    \"" + m.texture + "\";\n   }\n";
  out += "  }\n }\n}\n";
  return out;
}

}  // namespace xtext
