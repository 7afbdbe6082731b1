// platform_math.h -- vectors and matrices with Direct3D's conventions:
// row vectors (v' = v x M), left-handed coordinates (y up, z into the
// screen), matrices stored row by row with the translation in row 3.
//
// Rotations follow the same signs: a positive angle about x turns +y toward
// +z, and YawPitchRoll applies roll (z) first, then pitch (x), then yaw (y)
// to a row vector. Normalising a zero vector leaves it zero.
#pragma once

namespace platform {

struct Vec3 {
  float x, y, z;
};

struct Vec4 {
  float x, y, z, w;
};

struct Matrix {
  float m[4][4];
};

constexpr float kPi = 3.14159265358979323846f;

// Vectors.
Vec3 Vec3Add(const Vec3& a, const Vec3& b);
Vec3 Vec3Subtract(const Vec3& a, const Vec3& b);
Vec3 Vec3Scale(const Vec3& v, float s);
float Vec3Dot(const Vec3& a, const Vec3& b);
Vec3 Vec3Cross(const Vec3& a, const Vec3& b);
float Vec3Length(const Vec3& v);
Vec3 Vec3Normalize(const Vec3& v);  // zero stays zero

// (x, y, z, 1) x M, divided by the resulting w.
Vec3 Vec3TransformCoord(const Vec3& v, const Matrix& m);
// (x, y, z, 0) x M: directions, no translation.
Vec3 Vec3TransformNormal(const Vec3& v, const Matrix& m);
// (x, y, z, 1) x M without the divide.
Vec4 Vec3Transform(const Vec3& v, const Matrix& m);

// Matrices.
Matrix MatrixIdentity();
Matrix MatrixMultiply(const Matrix& a, const Matrix& b);  // a then b
Matrix MatrixTranslation(float x, float y, float z);
Matrix MatrixScaling(float x, float y, float z);
Matrix MatrixRotationX(float angle);
Matrix MatrixRotationY(float angle);
Matrix MatrixRotationZ(float angle);
// Roll about z, then pitch about x, then yaw about y.
Matrix MatrixRotationYawPitchRoll(float yaw, float pitch, float roll);
// Rotation about an axis through the origin; the axis need not be unit
// length. A zero axis gives the identity.
Matrix MatrixRotationAxis(const Vec3& axis, float angle);
// The rotation of the unit quaternion (x, y, z, w) for row vectors.
Matrix MatrixRotationQuaternion(float x, float y, float z, float w);
// Left-handed view matrix looking from `eye` toward `at`.
Matrix MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up);
// Right-handed view matrix (the mirror image's camera): +z points from `at`
// back to `eye`.
Matrix MatrixLookAtRH(const Vec3& eye, const Vec3& at, const Vec3& up);
// Perspective projections with a vertical field of view in radians, depth
// mapped to 0 at `zn` and 1 at `zf` (Direct3D's clip range; the GL device
// remaps it). LH looks down +z, RH down -z.
Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zn, float zf);
Matrix MatrixPerspectiveFovRH(float fovY, float aspect, float zn, float zf);
// Orthographic projections of a w x h box centred on the axis, depth 0..1
// from `zn` to `zf`.
Matrix MatrixOrthoLH(float w, float h, float zn, float zf);
Matrix MatrixOrthoRH(float w, float h, float zn, float zf);
Matrix MatrixTranspose(const Matrix& m);
// The inverse of a general 4x4 matrix. Returns false and leaves `out`
// untouched when the matrix is singular; `determinant` may be null.
bool MatrixInverse(Matrix* out, float* determinant, const Matrix& m);

}  // namespace platform
