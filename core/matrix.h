#pragma once

namespace tk {

// Row-major single-precision matrices used with row vectors: p' = p * M.

struct Matrix3 {
  float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

  float& at(int row, int col) { return m[row * 3 + col]; }
  float at(int row, int col) const { return m[row * 3 + col]; }

  // Sets *this = b * (*this) and returns it. Computed into a temporary first,
  // so b may be *this.
  Matrix3& Multiply(const Matrix3& b);
};

struct Matrix4 {
  float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  float& at(int row, int col) { return m[row * 4 + col]; }
  float at(int row, int col) const { return m[row * 4 + col]; }

  // Sets *this = b * (*this) and returns it; b may be *this.
  Matrix4& Multiply(const Matrix4& b);
  // Identity, then a rotation by theta in the plane of axes a and b (0..3).
  void SetPlaneRotation(int a, int b, float theta);
  // out[c] = sum_k p[k] * M[k][c] for c = 0..2; the fourth column is unused.
  void TransformToPoint(const float p[4], float out[3]) const;
};

}  // namespace tk
