// platform_math.cpp -- row-vector, left-handed vector and matrix helpers.

#include <cmath>

#include "platform/platform_math.h"

namespace platform {

Vec3 Vec3Add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

Vec3 Vec3Subtract(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

Vec3 Vec3Scale(const Vec3& v, float s) { return {v.x * s, v.y * s, v.z * s}; }

float Vec3Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 Vec3Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Vec3Length(const Vec3& v) { return std::sqrt(Vec3Dot(v, v)); }

Vec3 Vec3Normalize(const Vec3& v) {
  float length = Vec3Length(v);
  if (length == 0.0f) return {0.0f, 0.0f, 0.0f};
  return Vec3Scale(v, 1.0f / length);
}

Vec4 Vec3Transform(const Vec3& v, const Matrix& m) {
  return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0],
          v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1],
          v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2],
          v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + m.m[3][3]};
}

Vec3 Vec3TransformCoord(const Vec3& v, const Matrix& m) {
  Vec4 r = Vec3Transform(v, m);
  if (r.w == 0.0f) return {0.0f, 0.0f, 0.0f};
  float inv = 1.0f / r.w;
  return {r.x * inv, r.y * inv, r.z * inv};
}

Vec3 Vec3TransformNormal(const Vec3& v, const Matrix& m) {
  return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0],
          v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
          v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

Matrix MatrixIdentity() {
  Matrix r{};
  r.m[0][0] = r.m[1][1] = r.m[2][2] = r.m[3][3] = 1.0f;
  return r;
}

Matrix MatrixMultiply(const Matrix& a, const Matrix& b) {
  Matrix r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                  a.m[i][3] * b.m[3][j];
  return r;
}

Matrix MatrixTranslation(float x, float y, float z) {
  Matrix r = MatrixIdentity();
  r.m[3][0] = x;
  r.m[3][1] = y;
  r.m[3][2] = z;
  return r;
}

Matrix MatrixScaling(float x, float y, float z) {
  Matrix r = MatrixIdentity();
  r.m[0][0] = x;
  r.m[1][1] = y;
  r.m[2][2] = z;
  return r;
}

Matrix MatrixRotationX(float angle) {
  float c = std::cos(angle), s = std::sin(angle);
  Matrix r = MatrixIdentity();
  r.m[1][1] = c;
  r.m[1][2] = s;
  r.m[2][1] = -s;
  r.m[2][2] = c;
  return r;
}

Matrix MatrixRotationY(float angle) {
  float c = std::cos(angle), s = std::sin(angle);
  Matrix r = MatrixIdentity();
  r.m[0][0] = c;
  r.m[0][2] = -s;
  r.m[2][0] = s;
  r.m[2][2] = c;
  return r;
}

Matrix MatrixRotationZ(float angle) {
  float c = std::cos(angle), s = std::sin(angle);
  Matrix r = MatrixIdentity();
  r.m[0][0] = c;
  r.m[0][1] = s;
  r.m[1][0] = -s;
  r.m[1][1] = c;
  return r;
}

Matrix MatrixRotationYawPitchRoll(float yaw, float pitch, float roll) {
  // Roll, then pitch, then yaw (Z x X x Y), multiplied out. Each sum adds
  // 0 as the full products do, so the entries keep their bits (a -0 comes
  // out as +0).
  float sy = std::sin(yaw), cy = std::cos(yaw);
  float sp = std::sin(pitch), cp = std::cos(pitch);
  float sr = std::sin(roll), cr = std::cos(roll);
  float srsp = sr * sp, crsp = cr * sp;
  Matrix r = MatrixIdentity();
  r.m[0][0] = cr * cy + srsp * sy + 0.0f;
  r.m[0][1] = sr * cp + 0.0f;
  r.m[0][2] = -(cr * sy) + srsp * cy + 0.0f;
  r.m[1][0] = -sr * cy + crsp * sy + 0.0f;
  r.m[1][1] = cr * cp + 0.0f;
  r.m[1][2] = -sr * -sy + crsp * cy + 0.0f;
  r.m[2][0] = cp * sy + 0.0f;
  r.m[2][1] = -sp + 0.0f;
  r.m[2][2] = cp * cy + 0.0f;
  return r;
}

Matrix MatrixRotationAxis(const Vec3& axis, float angle) {
  Vec3 v = Vec3Normalize(axis);
  if (v.x == 0.0f && v.y == 0.0f && v.z == 0.0f) return MatrixIdentity();
  float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
  Matrix r = MatrixIdentity();
  r.m[0][0] = t * v.x * v.x + c;
  r.m[0][1] = t * v.x * v.y + s * v.z;
  r.m[0][2] = t * v.x * v.z - s * v.y;
  r.m[1][0] = t * v.y * v.x - s * v.z;
  r.m[1][1] = t * v.y * v.y + c;
  r.m[1][2] = t * v.y * v.z + s * v.x;
  r.m[2][0] = t * v.z * v.x + s * v.y;
  r.m[2][1] = t * v.z * v.y - s * v.x;
  r.m[2][2] = t * v.z * v.z + c;
  return r;
}

namespace {

// A view matrix from its unit axes: the rows of the rotation are the axes'
// components and the translation moves the eye to the origin.
Matrix ViewFromAxes(const Vec3& eye, const Vec3& zAxis, const Vec3& up) {
  Vec3 xAxis = Vec3Normalize(Vec3Cross(up, zAxis));
  Vec3 yAxis = Vec3Cross(zAxis, xAxis);
  Matrix r = MatrixIdentity();
  r.m[0][0] = xAxis.x;
  r.m[1][0] = xAxis.y;
  r.m[2][0] = xAxis.z;
  r.m[0][1] = yAxis.x;
  r.m[1][1] = yAxis.y;
  r.m[2][1] = yAxis.z;
  r.m[0][2] = zAxis.x;
  r.m[1][2] = zAxis.y;
  r.m[2][2] = zAxis.z;
  r.m[3][0] = -Vec3Dot(xAxis, eye);
  r.m[3][1] = -Vec3Dot(yAxis, eye);
  r.m[3][2] = -Vec3Dot(zAxis, eye);
  return r;
}

}  // namespace

// Left-handed: the view looks down +z.
Matrix MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up) {
  return ViewFromAxes(eye, Vec3Normalize(Vec3Subtract(at, eye)), up);
}

// Right-handed: the view looks down -z.
Matrix MatrixLookAtRH(const Vec3& eye, const Vec3& at, const Vec3& up) {
  return ViewFromAxes(eye, Vec3Normalize(Vec3Subtract(eye, at)), up);
}

Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
  float yScale = 1.0f / std::tan(fovY * 0.5f);
  float xScale = yScale / aspect;
  Matrix r{};
  r.m[0][0] = xScale;
  r.m[1][1] = yScale;
  r.m[2][2] = zf / (zf - zn);
  r.m[2][3] = 1.0f;
  r.m[3][2] = -zn * zf / (zf - zn);
  return r;
}

Matrix MatrixPerspectiveFovRH(float fovY, float aspect, float zn, float zf) {
  float yScale = 1.0f / std::tan(fovY * 0.5f);
  float xScale = yScale / aspect;
  Matrix r{};
  r.m[0][0] = xScale;
  r.m[1][1] = yScale;
  r.m[2][2] = zf / (zn - zf);
  r.m[2][3] = -1.0f;
  r.m[3][2] = zn * zf / (zn - zf);
  return r;
}

Matrix MatrixOrthoLH(float w, float h, float zn, float zf) {
  Matrix r = MatrixIdentity();
  r.m[0][0] = 2.0f / w;
  r.m[1][1] = 2.0f / h;
  r.m[2][2] = 1.0f / (zf - zn);
  r.m[3][2] = zn / (zn - zf);
  return r;
}

Matrix MatrixOrthoRH(float w, float h, float zn, float zf) {
  Matrix r = MatrixIdentity();
  r.m[0][0] = 2.0f / w;
  r.m[1][1] = 2.0f / h;
  r.m[2][2] = 1.0f / (zn - zf);
  r.m[3][2] = zn / (zn - zf);
  return r;
}

Matrix MatrixTranspose(const Matrix& m) {
  Matrix r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) r.m[i][j] = m.m[j][i];
  return r;
}

bool MatrixInverse(Matrix* out, float* determinant, const Matrix& m) {
  // Cofactor expansion in double precision, so near-singular view and
  // world matrices keep their float accuracy.
  double a[16];
  for (int i = 0; i < 16; i++) a[i] = m.m[i / 4][i % 4];
  double inv[16];
  inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] +
           a[9] * a[7] * a[14] + a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
  inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] -
           a[8] * a[7] * a[14] - a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
  inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] +
           a[8] * a[7] * a[13] + a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
  inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] -
            a[8] * a[6] * a[13] - a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
  inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] -
           a[9] * a[3] * a[14] - a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
  inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] +
           a[8] * a[3] * a[14] + a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
  inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] -
           a[8] * a[3] * a[13] - a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
  inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] +
            a[8] * a[2] * a[13] + a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
  inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] +
           a[5] * a[3] * a[14] + a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
  inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] -
           a[4] * a[3] * a[14] - a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
  inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] +
            a[4] * a[3] * a[13] + a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
  inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] -
            a[4] * a[2] * a[13] - a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
  inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] -
           a[5] * a[3] * a[10] - a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
  inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] +
           a[4] * a[3] * a[10] + a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
  inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] -
            a[4] * a[3] * a[9] - a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
  inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] +
            a[4] * a[2] * a[9] + a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
  double det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
  if (determinant) *determinant = float(det);
  if (det == 0.0 || !std::isfinite(det)) return false;
  double scale = 1.0 / det;
  for (int i = 0; i < 16; i++) out->m[i / 4][i % 4] = float(inv[i] * scale);
  return true;
}

Matrix MatrixRotationQuaternion(float x, float y, float z, float w) {
  Matrix m = MatrixIdentity();
  m.m[0][0] = 1.0f - 2.0f * (y * y + z * z);
  m.m[0][1] = 2.0f * (x * y + z * w);
  m.m[0][2] = 2.0f * (x * z - y * w);
  m.m[1][0] = 2.0f * (x * y - z * w);
  m.m[1][1] = 1.0f - 2.0f * (x * x + z * z);
  m.m[1][2] = 2.0f * (y * z + x * w);
  m.m[2][0] = 2.0f * (x * z + y * w);
  m.m[2][1] = 2.0f * (y * z - x * w);
  m.m[2][2] = 1.0f - 2.0f * (x * x + y * y);
  return m;
}

}  // namespace platform
