// Matrix construction and products. Elements are worked out in double and
// rounded once to the element type.
#include <cmath>

#include "render3d/maths.h"
#include "render3d/render3d.h"

void setIdentity(Matrix4& matrix) {
  for (float& e : matrix.m) e = 0;
  matrix.m[0] = matrix.m[5] = matrix.m[10] = matrix.m[15] = 1;
}

Matrix4 translation(float x, float y, float z) {
  Matrix4 t;
  setIdentity(t);
  t.m[12] = x;
  t.m[13] = y;
  t.m[14] = z;
  return t;
}

Matrix4 rotationY(float angle) {
  const double c = maths::cos(double(angle));
  const double s = maths::sin(double(angle));
  Matrix4 r = {};
  r.m[0] = float(c);
  r.m[2] = float(-s);
  r.m[5] = 1;
  r.m[8] = float(s);
  r.m[10] = float(c);
  r.m[15] = 1;
  return r;
}

Matrix4d rotationX(double angle) {
  const double c = maths::cos(angle);
  const double s = maths::sin(angle);
  Matrix4d r = {};
  r.m[0] = 1;
  r.m[5] = c;
  r.m[6] = s;
  r.m[9] = -s;
  r.m[10] = c;
  r.m[15] = 1;
  return r;
}

namespace {

template <typename Right>
Matrix4 multiply(const Matrix4& a, const Right& b) {
  Matrix4 out;
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      double sum = double(a.m[r]) * b.m[4 * c];
      sum += double(a.m[4 + r]) * b.m[4 * c + 1];
      sum += double(a.m[8 + r]) * b.m[4 * c + 2];
      sum += double(a.m[12 + r]) * b.m[4 * c + 3];
      out.m[4 * c + r] = float(sum);
    }
  }
  return out;
}

}  // namespace

Matrix4 operator*(const Matrix4& a, const Matrix4& b) { return multiply(a, b); }
Matrix4 operator*(const Matrix4& a, const Matrix4d& b) { return multiply(a, b); }

Matrix4 lookAt(Vec3 eye, Vec3 target, Vec3 up) {
  // f: from the target back to the eye.
  double fx = double(eye.x) - target.x, fy = double(eye.y) - target.y, fz = double(eye.z) - target.z;
  const double fScale = 1.0 / std::sqrt(fx * fx + fy * fy + fz * fz);
  fx *= fScale;
  fy *= fScale;
  fz *= fScale;
  // s = normalize(up x f)
  double sx = up.y * fz - up.z * fy, sy = up.z * fx - up.x * fz, sz = up.x * fy - up.y * fx;
  const double sScale = 1.0 / std::sqrt(sx * sx + sy * sy + sz * sz);
  sx *= sScale;
  sy *= sScale;
  sz *= sScale;
  // u = f x s is unit length already.
  const double ux = fy * sz - fz * sy, uy = fz * sx - fx * sz, uz = fx * sy - fy * sx;

  Matrix4 rotation = {};
  rotation.m[0] = float(sx);
  rotation.m[4] = float(sy);
  rotation.m[8] = float(sz);
  rotation.m[1] = float(ux);
  rotation.m[5] = float(uy);
  rotation.m[9] = float(uz);
  rotation.m[2] = float(fx);
  rotation.m[6] = float(fy);
  rotation.m[10] = float(fz);
  rotation.m[15] = 1;
  return rotation * translation(-eye.x, -eye.y, -eye.z);
}

Matrix4 perspective(float fovY, float aspect, float zNear, float zFar) {
  const double c = 1.0 / maths::tan(double(fovY) / 2);
  const double depthScale = double(zFar) / (double(zFar) - zNear);
  Matrix4 p = {};
  p.m[0] = float(c * aspect);
  p.m[5] = float(c);
  p.m[10] = float(depthScale);
  p.m[11] = -1;
  p.m[14] = float(depthScale * zNear);
  return p;
}
