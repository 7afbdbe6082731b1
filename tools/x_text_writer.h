// x_text_writer.h -- pieces the model-writing tools share: numbers as the
// text X format writes them, a whole-file writer, and a text X writer for
// one mesh with normals, texture coordinates and one material, or several
// materials chosen per face and the skin weights of its bones (the body
// can be written inside a frame of a hierarchy).
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
  // Several materials: when not empty they replace the one above, and
  // `faceMaterials` gives each face's material by index.
  struct Material {
    std::array<float, 4> diffuse = {1, 1, 1, 1};
    float power = 10.0f;
    std::array<float, 3> specular = {0, 0, 0};
    std::array<float, 3> emissive = {0, 0, 0};
  };
  std::vector<Material> materials;
  std::vector<int> faceMaterials;
  // Skin: the vertices each bone (a frame of that name) moves, with their
  // weights, and the bone's offset matrix (mesh space to bone space, row
  // by row). Written with an XSkinMeshHeader when not empty.
  struct Bone {
    std::string frame;
    std::vector<int> vertices;
    std::vector<float> weights;
    std::array<float, 16> offset = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  };
  std::vector<Bone> bones;
  int maxWeightsPerVertex = 1, maxWeightsPerFace = 1;
};

// A 4 x 4 matrix as FrameTransformMatrix and SkinWeights write it, one row
// a line behind `indent`.
inline std::string MatrixToText(const std::array<float, 16>& m, const std::string& indent) {
  std::string s;
  for (int r = 0; r < 4; r++) {
    s += indent;
    for (int k = 0; k < 4; k++) s += Number(m[size_t(r * 4 + k)]) + (r == 3 && k == 3 ? ";;\n" : ",");
    if (r < 3) s += "\n";
  }
  return s;
}

// The Mesh object alone, each line behind `indent` (" " for one at the top
// level, deeper inside a frame).
inline std::string MeshBodyToText(const Mesh& m, const std::string& in) {
  auto vec = [](const float* v, int n) {
    std::string s;
    for (int i = 0; i < n; i++) s += Number(v[i]) + ";";
    return s;
  };
  auto faceList = [&m](const std::string& indent) {
    std::string s = indent + std::to_string(m.faces.size()) + ";\n";
    for (size_t f = 0; f < m.faces.size(); f++) {
      s += indent + std::to_string(m.faces[f].size()) + ";";
      for (size_t k = 0; k < m.faces[f].size(); k++) s += (k ? "," : "") + std::to_string(m.faces[f][k]);
      s += f + 1 == m.faces.size() ? ";;\n" : ";,\n";
    }
    return s;
  };
  auto material = [&vec](const float* diffuse, float power, const float* specular, const float* emissive,
                         const std::string& texture, const std::string& indent) {
    std::string s = indent + "Material {\n" + indent + " " + vec(diffuse, 4) + ";\n" + indent + " " + Number(power) +
                    ";\n" + indent + " " + vec(specular, 3) + ";\n" + indent + " " + vec(emissive, 3) + ";\n";
    if (!texture.empty()) s += indent + " TextureFilename {\n" + indent + "  \"" + texture + "\";\n" + indent + " }\n";
    return s + indent + "}\n";
  };
  const std::string outer = in.substr(0, in.size() > 0 ? in.size() - 1 : 0);  // the Mesh line's own indent
  const std::string in2 = in + " ";
  const size_t n = m.positions.size();
  std::string out = outer + "Mesh " + m.name + " {\n" + in + std::to_string(n) + ";\n";
  for (size_t i = 0; i < n; i++) out += in + vec(m.positions[i].data(), 3) + (i + 1 == n ? ";\n" : ",\n");
  out += faceList(in);
  out += "\n" + in + "MeshNormals {\n" + in2 + std::to_string(m.normals.size()) + ";\n";
  for (size_t i = 0; i < m.normals.size(); i++)
    out += in2 + vec(m.normals[i].data(), 3) + (i + 1 == m.normals.size() ? ";\n" : ",\n");
  out += faceList(in2) + in + "}\n";
  if (!m.uvs.empty()) {
    out += "\n" + in + "MeshTextureCoords {\n" + in2 + std::to_string(m.uvs.size()) + ";\n";
    for (size_t i = 0; i < m.uvs.size(); i++)
      out += in2 + vec(m.uvs[i].data(), 2) + (i + 1 == m.uvs.size() ? ";\n" : ",\n");
    out += in + "}\n";
  }
  const bool several = !m.materials.empty();
  out += "\n" + in + "MeshMaterialList {\n" + in2 + std::to_string(several ? m.materials.size() : 1) + ";\n" + in2 +
         std::to_string(m.faces.size()) + ";\n" + in2;
  for (size_t f = 0; f < m.faces.size(); f++) {
    std::string index = several && f < m.faceMaterials.size() ? std::to_string(m.faceMaterials[f]) : "0";
    out += index + (f + 1 == m.faces.size() ? ";\n" : ",");
  }
  if (several) {
    for (const Mesh::Material& k : m.materials)
      out += material(k.diffuse.data(), k.power, k.specular.data(), k.emissive.data(), "", in2);
  } else {
    out += material(m.diffuse.data(), m.power, m.specular.data(), m.emissive.data(), m.texture, in2);
  }
  out += in + "}\n";
  if (!m.bones.empty()) {
    out += "\n" + in + "XSkinMeshHeader {\n" + in2 + std::to_string(m.maxWeightsPerVertex) + ";\n" + in2 +
           std::to_string(m.maxWeightsPerFace) + ";\n" + in2 + std::to_string(m.bones.size()) + ";\n" + in + "}\n";
    for (const Mesh::Bone& b : m.bones) {
      out += "\n" + in + "SkinWeights {\n" + in2 + "\"" + b.frame + "\";\n" + in2 + std::to_string(b.vertices.size()) +
             ";\n" + in2;
      for (size_t k = 0; k < b.vertices.size(); k++)
        out += std::to_string(b.vertices[k]) + (k + 1 == b.vertices.size() ? ";\n" : ",");
      out += in2;
      for (size_t k = 0; k < b.weights.size(); k++) out += Number(b.weights[k]) + (k + 1 == b.weights.size() ? ";\n" : ",");
      out += MatrixToText(b.offset, in2) + in + "}\n";
    }
  }
  return out + outer + "}\n";
}

inline std::string MeshToText(const Mesh& m) {
  std::string out = "xof 0303txt 0032\n";
  if (!m.comment.empty()) out += "// " + m.comment + "\n";
  return out + "Header {\n 1;\n 0;\n 1;\n}\n\n" + MeshBodyToText(m, " ");
}

}  // namespace xtext
