#include "core/matrix.h"

#include <cmath>

namespace tk {

Matrix3& Matrix3::Multiply(const Matrix3& b) {
  const float* a = m;
  const float* c = b.m;
  // Written out in full: this runs once per frame per object, and the
  // evaluation in double with one rounding per element matches the rest of
  // the saver's arithmetic.
  const float r[9] = {
      static_cast<float>(double(c[0]) * a[0] + double(c[1]) * a[3] + double(c[2]) * a[6]),
      static_cast<float>(double(c[0]) * a[1] + double(c[1]) * a[4] + double(c[2]) * a[7]),
      static_cast<float>(double(c[0]) * a[2] + double(c[1]) * a[5] + double(c[2]) * a[8]),
      static_cast<float>(double(c[3]) * a[0] + double(c[4]) * a[3] + double(c[5]) * a[6]),
      static_cast<float>(double(c[3]) * a[1] + double(c[4]) * a[4] + double(c[5]) * a[7]),
      static_cast<float>(double(c[3]) * a[2] + double(c[4]) * a[5] + double(c[5]) * a[8]),
      static_cast<float>(double(c[6]) * a[0] + double(c[7]) * a[3] + double(c[8]) * a[6]),
      static_cast<float>(double(c[6]) * a[1] + double(c[7]) * a[4] + double(c[8]) * a[7]),
      static_cast<float>(double(c[6]) * a[2] + double(c[7]) * a[5] + double(c[8]) * a[8]),
  };
  for (int i = 0; i < 9; ++i) m[i] = r[i];
  return *this;
}

Matrix4& Matrix4::Multiply(const Matrix4& b) {
  float r[16];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += double(b.m[i * 4 + k]) * m[k * 4 + j];
      r[i * 4 + j] = static_cast<float>(s);
    }
  }
  for (int i = 0; i < 16; ++i) m[i] = r[i];
  return *this;
}

void Matrix4::SetPlaneRotation(int a, int b, float theta) {
  *this = Matrix4{};
  const float c = static_cast<float>(std::cos(double(theta)));
  const float s = static_cast<float>(std::sin(double(theta)));
  at(a, a) = c;
  at(b, b) = c;
  at(a, b) = s;
  at(b, a) = -s;
}

void Matrix4::TransformToPoint(const float p[4], float out[3]) const {
  for (int c = 0; c < 3; ++c) {
    out[c] = static_cast<float>(double(p[0]) * m[c] + double(p[1]) * m[4 + c] + double(p[2]) * m[8 + c] +
                                double(p[3]) * m[12 + c]);
  }
}

}  // namespace tk
