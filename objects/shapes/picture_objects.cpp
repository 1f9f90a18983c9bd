#include <cmath>

#include "core/random.h"
#include "core/truncate.h"
#include "objects/objects.h"
#include "settings/settings.h"

namespace tk {

void PictureObject::BuildFromPicture(const char* name, int32_t a) {
  BitmapResource bmp;
  // The start-up check has made sure the pictures are there; a picture that
  // cannot be read simply gives an object without points.
  if (!bmp.Load(source_, name) || bmp.header.bitCount != 8) return;
  const int32_t w = bmp.width(), h = bmp.height() < 0 ? -bmp.height() : bmp.height();
  const int32_t q = h / w;
  radius = TruncToInt(std::sqrt(q * q + 1.0) * a * 0.5);
  const Colour objectColour = ProcessSettings().objectColor;
  for (int32_t c = 0; c < w; ++c) {
    const int32_t x = a * (c - (w >> 1)) / w;
    for (int32_t r = 0; r < h && pointCount < kMaxPoints; ++r) {
      const uint8_t p = bmp.bits[r * bmp.stride + c];
      const uint32_t e = p < bmp.palette.size() ? bmp.palette[p] : 0;
      if (e == 0) continue;
      const uint32_t j = (e & 0xFF) + 1;
      const int32_t z = a * (r - (h >> 1)) / w;
      AddPoint(x, 0, z, ScaleColor(objectColour, j));
    }
  }
  bmp.Release();
}

void PictureObject::PlanMotion(const Viewport& viewport) {
  SceneObject::PlanMotion(viewport);
  const float third = 0.33333334f;
  spinZ *= third;
  startSpinZ *= third;
  targetSpinZ *= third;
}

void SlowSpins(SceneObject& o, float f) {
  o.spinX *= f, o.spinY *= f, o.spinZ *= f;
  o.startSpinX *= f, o.startSpinY *= f, o.startSpinZ *= f;
  o.targetSpinX *= f, o.targetSpinY *= f, o.targetSpinZ *= f;
}

void Cube4DObject::Build() {
  radius = 1100;
  const Colour c = ProcessSettings().objectColor;
  for (int i = 0; i < 656; ++i) AddPoint(0, 0, 0, c);
  int n = 0;
  for (int j = 0; j < 15; ++j)
    for (int k = j; k < 16; ++k) {
      const int d = j ^ k;
      if (d == 1 || d == 2 || d == 4 || d == 8) edges[n++] = {j, k};
    }
  angleXW = static_cast<float>(Rand() * double{0.00019175345f});
  angleYW = static_cast<float>(Rand() * double{0.00019175345f});
  angleZW = static_cast<float>(Rand() * double{0.00019175345f});
}

void Cube4DObject::PlanMotion(const Viewport& viewport) {
  SceneObject::PlanMotion(viewport);
  SlowSpins(*this, 0.6f);
}

void Cube4DObject::Update() {
  Advance();
  const double d = static_cast<float>(frameDelta);
  WrapAngles();
  angleXW = static_cast<float>(WrapAngle(angleXW + (double(spinX) + spinY) * d * 0.5));
  angleYW = static_cast<float>(WrapAngle(angleYW + (double(spinZ) + spinX) * d * 0.5));
  angleZW = static_cast<float>(WrapAngle(angleZW + (double(spinZ) + spinY) * d * 0.5));
  const Matrix3 r = Rotation();
  Matrix4 m;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.at(i, j) = r.at(i, j);
  Matrix4 t, p;
  t.SetPlaneRotation(0, 3, angleXW);
  p.SetPlaneRotation(1, 3, angleYW);
  t.Multiply(p);
  p.SetPlaneRotation(2, 3, angleZW);
  t.Multiply(p);
  t.Multiply(m);
  pointCount = 0;
  for (int i = 0; i < 16; ++i) {
    const float v[4] = {(i & 1) ? 560.f : -560.f, (i & 2) ? 560.f : -560.f, (i & 4) ? 560.f : -560.f,
                        (i & 8) ? 560.f : -560.f};
    float out[3];
    t.TransformToPoint(v, out);
    ScenePoint& q = points[pointCount++];
    q.x = out[0], q.y = out[1], q.z = out[2];
  }
  for (const auto& e : edges) {
    const ScenePoint& a = points[e[0]];
    const ScenePoint& b = points[e[1]];
    for (int i = 0; i < 20; ++i) {
      const double f = (i + 1) * double{0.04761905f};
      ScenePoint& q = points[pointCount + i];
      q.x = static_cast<float>(a.x + (double(b.x) - a.x) * f);
      q.y = static_cast<float>(a.y + (double(b.y) - a.y) * f);
      q.z = static_cast<float>(a.z + (double(b.z) - a.z) * f);
    }
    pointCount += 20;
  }
  for (int32_t i = 0; i < pointCount; ++i) {
    ScenePoint& q = points[i];
    q.level = DepthLevel(radius, q.z);
    q.x = static_cast<float>(double(q.x) + offsetX);
    q.y = static_cast<float>(double(q.y) + offsetY);
    q.z = static_cast<float>(double(q.z) + offsetZ);
  }
}

}  // namespace tk
