#include <cmath>

#include "core/random.h"
#include "core/truncate.h"
#include "objects/objects.h"
#include "settings/settings.h"

namespace tk {

ReliefObject::ReliefObject(const ResourceSource& source) {
  heightMap.Load(source, "LHEIGHT");
  colorMap.Load(source, "LCOLOR");
}

ReliefObject::~ReliefObject() {
  colorMap.Release();
  heightMap.Release();
}

void ReliefObject::Build() {
  radius = 1600;
  const Colour c = ProcessSettings().objectColor;
  for (int i = 0; i < 900; ++i) AddPoint(0, 0, 0, c);
  heading = static_cast<float>(Rand() * double{0.00019175345f});
}

void ReliefObject::PlanMotion(const Viewport& viewport) {
  SceneObject::PlanMotion(viewport);
  angleX = 0.35f;
  angleZ = 0;
  spinX = spinZ = startSpinX = startSpinZ = targetSpinX = targetSpinZ = 0;
  spinY *= 0.5f;
  startSpinY *= 0.5f;
  targetSpinY *= 0.5f;
}

uint8_t ReliefObject::At(const BitmapResource& map, int32_t row, int32_t col) const {
  // The flight never leaves rows and columns 0..126; the check only keeps a
  // picture smaller than its design from being read past its end.
  const int32_t h = map.height() < 0 ? -map.height() : map.height();
  if (!map.bits || row < 0 || col < 0 || row >= h || col >= map.width()) return 0;
  return map.bits[row * map.stride + col];
}

void ReliefObject::Update() {
  Advance();
  angleY = static_cast<float>(WrapAngle(angleY));
  heading = static_cast<float>(
      WrapAngle(heading + static_cast<double>(frameDelta * ProcessSettings().objectVelocity) * 0.00004));
  mapU = static_cast<float>((std::cos(double(heading)) + 1) * 48);
  mapV = static_cast<float>((std::sin(double(heading)) + 1) * 48);
  double whole;
  const int32_t fu = TruncToInt(std::modf(double(mapU), &whole) * 256);
  const int32_t cu = TruncToInt(whole);
  const int32_t fv = TruncToInt(std::modf(double(mapV), &whole) * 256);
  const int32_t cv = TruncToInt(whole);
  const int32_t w00 = ((256 - fu) * (256 - fv)) >> 8;
  const int32_t w10 = ((256 - fv) * fu) >> 8;
  const int32_t w01 = ((256 - fu) * fv) >> 8;
  const int32_t w11 = (fu * fv) >> 8;
  const int32_t colourCol = fu >= 128 ? cu + 1 : cu;
  const int32_t colourRow = fv >= 128 ? cv + 1 : cv;
  pointCount = 0;
  for (int32_t i = 0; i < 30; ++i) {
    for (int32_t j = 0; j < 30; ++j) {
      const int32_t r = cv + i, c = cu + j;
      const int32_t s = 40960 - (At(heightMap, r, c + 1) * w10 + At(heightMap, r + 1, c + 1) * w11 +
                                 At(heightMap, r + 1, c) * w01 + At(heightMap, r, c) * w00);
      ScenePoint& p = points[pointCount++];
      p.modelX = static_cast<float>(-1200 + 80 * j);
      p.modelZ = static_cast<float>(-1200 + 80 * i);
      p.modelY = static_cast<float>(s * 0.009375);
      const uint8_t k = At(colorMap, colourRow + i, colourCol + j);
      p.color = k < colorMap.palette.size() ? colorMap.palette[k] : 0;
    }
  }
  Matrix3 rot = RotationX(angleX);
  rot.Multiply(RotationY(angleY));
  const float* m = rot.m;
  for (int32_t i = 0; i < pointCount; ++i) {
    ScenePoint& p = points[i];
    const double mx = p.modelX, my = p.modelY, mz = p.modelZ;
    p.x = static_cast<float>(mx * m[0] + my * m[3] + mz * m[6]);
    p.y = static_cast<float>(mx * m[1] + my * m[4] + mz * m[7]);
    p.z = static_cast<float>(mx * m[2] + my * m[5] + mz * m[8]);
    p.level = DepthLevel(radius, p.z, 96);
    p.x = static_cast<float>(double(p.x) + offsetX);
    p.y = static_cast<float>(double(p.y) + offsetY);
    p.z = static_cast<float>(double(p.z) + offsetZ);
  }
}

}  // namespace tk
