#include "core/scene_object.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/clock.h"
#include "core/random.h"
#include "core/truncate.h"
#include "host/frame_buffer.h"
#include "settings/settings.h"

namespace tk {

double WrapAngle(double a) { return std::fmod(a, kTurn); }

Matrix3 RotationY(double a) {
  const float c = static_cast<float>(std::cos(a)), s = static_cast<float>(std::sin(a));
  Matrix3 m;
  m.m[0] = c, m.m[1] = 0, m.m[2] = -s;
  m.m[3] = 0, m.m[4] = 1, m.m[5] = 0;
  m.m[6] = s, m.m[7] = 0, m.m[8] = c;
  return m;
}

Matrix3 RotationX(double a) {
  const float c = static_cast<float>(std::cos(a)), s = static_cast<float>(std::sin(a));
  Matrix3 m;
  m.m[0] = 1, m.m[1] = 0, m.m[2] = 0;
  m.m[3] = 0, m.m[4] = c, m.m[5] = s;
  m.m[6] = 0, m.m[7] = -s, m.m[8] = c;
  return m;
}

Matrix3 RotationZ(double a) {
  const float c = static_cast<float>(std::cos(a)), s = static_cast<float>(std::sin(a));
  Matrix3 m;
  m.m[0] = c, m.m[1] = s, m.m[2] = 0;
  m.m[3] = -s, m.m[4] = c, m.m[5] = 0;
  m.m[6] = 0, m.m[7] = 0, m.m[8] = 1;
  return m;
}

SceneObject::SceneObject() {
  lastTick = startTick = TickCount();
}

SceneObject::~SceneObject() = default;

void SceneObject::AddPoint(double x, double y, double z, Colour color) {
  if (pointCount >= kMaxPoints) return;
  ScenePoint& p = points[pointCount++];
  p.x = p.modelX = static_cast<float>(x);
  p.y = p.modelY = static_cast<float>(y);
  p.z = p.modelZ = static_cast<float>(z);
  p.screenX = p.screenY = -1000;
  p.level = 255;
  p.color = color;
}

void SceneObject::Start(const Viewport& viewport) {
  points = std::make_unique<ScenePoint[]>(kMaxPoints);
  Build();
  radius = radius + radius / 10;
  ChooseTransitions();
  PlanMotion(viewport);
}

void SceneObject::ChooseTransitions() {
  if (Decile() >= 4) {
    entryMode = 0;
  } else {
    entryMode = Decile() < 5 ? 1 : 2;
  }
  if (Decile() >= 4) {
    exitMode = 0;
  } else {
    exitMode = Decile() < 5 ? 1 : 2;
  }
}

namespace {

// A start or end point of a flight: a depth, stretched by `stretch` beyond the
// rest depth, and a place just beyond one edge of the visible area there.
void PlanFlightEnd(const Viewport& v, int32_t radius, double stretch, float& outX, float& outY, float& outZ) {
  double z = UniformDraw(36000) - 7400.0;
  if (z > 7400.0) z = (z - 7400.0) * stretch + 7400.0;
  outZ = static_cast<float>(z);
  const double w = static_cast<double>(v.width / 2) * z / v.focal;
  const double h = static_cast<double>(v.height / 2) * z / v.focal;
  if (Decile() >= 5) {
    outX = static_cast<float>(SymmetricDraw(w));
    outY = static_cast<float>(2.0 * radius + h);
    if (Decile() < 5) outY = -outY;
  } else {
    outX = static_cast<float>(2.0 * radius + w);
    outY = static_cast<float>(SymmetricDraw(h));
    if (Decile() < 5) outX = -outX;
  }
}

}  // namespace

void SceneObject::PlanMotion(const Viewport& viewport) {
  const double k = static_cast<double>(5000000 / ProcessSettings().objectVelocity);
  angleX = static_cast<float>(UniformDraw(100.0 * M_PI) * 0.02);
  angleY = static_cast<float>(UniformDraw(100.0 * M_PI) * 0.02);
  angleZ = static_cast<float>(UniformDraw(100.0 * M_PI) * 0.02);
  spinX = targetSpinX = static_cast<float>((UniformDraw(2400) - 1200.0) / k);
  spinY = targetSpinY = static_cast<float>((UniformDraw(2400) - 1200.0) / k);
  spinZ = targetSpinZ = static_cast<float>((UniformDraw(2400) - 1200.0) / k);
  if (entryMode != 0) {
    entryDuration = TruncToInt(UniformDraw(3000) + 5000.0);
    spinX = startSpinX = static_cast<float>((UniformDraw(2000) - 1000.0) / k * 0.1);
    spinY = startSpinY = static_cast<float>((UniformDraw(2000) - 1000.0) / k * 0.1);
    spinZ = startSpinZ = static_cast<float>((UniformDraw(2000) - 1000.0) / k * 0.1);
  } else {
    entryDuration = TruncToInt(UniformDraw(3000) + 6000.0);
    PlanFlightEnd(viewport, radius, 4.0, entryFromX, entryFromY, entryFromZ);
  }
  exitStart = TruncToInt(UniformDraw(22000) + entryDuration + 2000.0);
  if (exitMode == 0) {
    exitDuration = TruncToInt(UniformDraw(3000) + 6000.0);
    PlanFlightEnd(viewport, radius, 3.0, exitToX, exitToY, exitToZ);
  } else {
    exitDuration = TruncToInt(UniformDraw(3000) + 3000.0);
  }
  if (entryMode == 2 || exitMode == 2) {
    revealOrder = std::make_unique<int32_t[]>(pointCount > 0 ? pointCount : 1);
    for (int32_t i = 0; i < pointCount; ++i) revealOrder[i] = i;
    for (int32_t i = 0; i < pointCount; ++i) std::swap(revealOrder[i], revealOrder[Rand() % pointCount]);
  }
}

namespace {
// The quadratic flight: from * r^2 / D^2, division first, in double.
float FlightOffset(float from, double d, double r) {
  return static_cast<float>(TruncToInt(static_cast<double>(TruncToInt(from)) / (d * d) * r * r));
}
}  // namespace

void SceneObject::Advance() {
  const uint32_t now = TickCount();
  frameDelta = static_cast<int32_t>(now - lastTick);
  lastTick = now;
  const int32_t t = static_cast<int32_t>(now - startTick);
  if (t < entryDuration) {
    if (entryMode != 0) {
      offsetX = offsetY = 0;
      offsetZ = static_cast<float>(kRestDepth);
      if (t < kRevealRamp) {
        visibleCount = std::min<int32_t>(static_cast<int32_t>(int64_t{pointCount} * t / kRevealRamp), pointCount);
        if (visibleCount < 0) visibleCount = 0;
      } else {
        visibleCount = pointCount;
        const double span = entryDuration - kRevealRamp, dt = t - kRevealRamp;
        spinX = static_cast<float>(startSpinX + dt * (double(targetSpinX) - startSpinX) / span);
        spinY = static_cast<float>(startSpinY + dt * (double(targetSpinY) - startSpinY) / span);
        spinZ = static_cast<float>(startSpinZ + dt * (double(targetSpinZ) - startSpinZ) / span);
      }
      if (entryMode == 2) shuffled = true;
    } else {
      visibleCount = pointCount;
      const double r = entryDuration - t, d = entryDuration;
      offsetX = FlightOffset(entryFromX, d, r);
      offsetY = FlightOffset(entryFromY, d, r);
      offsetZ = static_cast<float>(
          TruncToInt((static_cast<double>(TruncToInt(entryFromZ)) - kRestDepth) / (d * d) * r * r) + kRestDepth);
    }
  } else if (t < exitStart) {
    visibleCount = pointCount;
    spinX = targetSpinX, spinY = targetSpinY, spinZ = targetSpinZ;
    offsetX = offsetY = 0;
    offsetZ = static_cast<float>(kRestDepth);
    shuffled = false;
  } else {
    const int32_t te = t - exitStart;
    if (te > exitDuration) finished = true;
    if (exitMode != 0) {
      hiddenCount = std::min<int32_t>(static_cast<int32_t>(int64_t{pointCount} * te / exitDuration), pointCount);
      if (exitMode == 2) shuffled = true;
    } else {
      visibleCount = pointCount;
      const double e = exitDuration, tt = te;
      offsetX = FlightOffset(exitToX, e, tt);
      offsetY = FlightOffset(exitToY, e, tt);
      offsetZ = static_cast<float>(
          TruncToInt((static_cast<double>(TruncToInt(exitToZ)) - kRestDepth) / (e * e) * tt * tt) + kRestDepth);
    }
  }
  angleX = static_cast<float>(angleX + static_cast<double>(frameDelta) * spinX);
  angleY = static_cast<float>(angleY + static_cast<double>(frameDelta) * spinY);
  angleZ = static_cast<float>(angleZ + static_cast<double>(frameDelta) * spinZ);
}

void SceneObject::WrapAngles() {
  angleX = static_cast<float>(WrapAngle(angleX));
  angleY = static_cast<float>(WrapAngle(angleY));
  angleZ = static_cast<float>(WrapAngle(angleZ));
}

Matrix3 SceneObject::Rotation() const {
  Matrix3 r = RotationZ(angleZ);
  r.Multiply(RotationX(angleX));
  r.Multiply(RotationY(angleY));
  return r;
}

void SceneObject::Update() {
  Advance();
  WrapAngles();
  const Matrix3 r = Rotation();
  const float* m = r.m;
  for (int32_t i = 0; i < pointCount; ++i) {
    ScenePoint& p = points[i];
    const double mx = p.modelX, my = p.modelY, mz = p.modelZ;
    p.x = static_cast<float>(mx * m[0] + my * m[3] + mz * m[6]);
    p.y = static_cast<float>(mx * m[1] + my * m[4] + mz * m[7]);
    p.z = static_cast<float>(mx * m[2] + my * m[5] + mz * m[8]);
    p.level = DepthLevel(radius, p.z);
    p.x = static_cast<float>(double(p.x) + offsetX);
    p.y = static_cast<float>(double(p.y) + offsetY);
    p.z = static_cast<float>(double(p.z) + offsetZ);
  }
}

namespace {
inline void PlotPoint(FrameBuffer& fb, const Viewport& v, ScenePoint& p, int32_t side) {
  if (p.z > 100.0f) {
    p.screenY = ProjectY(v, p.y, p.z);
    p.screenX = ProjectX(v, p.x, p.z);
    fb.FillSquare(p.screenX, p.screenY, side, ScaleColor(p.color, static_cast<uint32_t>(p.level)));
  }
}
}  // namespace

void SceneObject::Draw(FrameBuffer& fb, const Viewport& viewport) {
  if (!points) return;
  const int32_t side = PointSize(viewport);
  const bool viaOrder = shuffled && revealOrder;
  auto at = [&](int32_t i) -> ScenePoint& { return points[viaOrder ? revealOrder[i] : i]; };
  const int32_t hidden = std::clamp(hiddenCount, 0, pointCount);
  const int32_t visible = std::clamp(visibleCount, 0, pointCount);
  for (int32_t i = 0; i < hidden; ++i) {
    ScenePoint& p = at(i);
    fb.FillSquare(p.screenX, p.screenY, side, 0);
  }
  if (viaOrder) {
    for (int32_t i = hidden; i < visible; ++i) {
      ScenePoint& p = at(i);
      fb.FillSquare(p.screenX, p.screenY, side, 0);
      PlotPoint(fb, viewport, p, side);
    }
    return;
  }
  // In batches of 20: erasing a batch before plotting it keeps a point from
  // wiping out its neighbour's fresh square.
  for (int32_t begin = hidden; begin < visible; begin += 20) {
    const int32_t end = std::min(begin + 20, visible);
    for (int32_t i = begin; i < end; ++i) fb.FillSquare(points[i].screenX, points[i].screenY, side, 0);
    for (int32_t i = begin; i < end; ++i) PlotPoint(fb, viewport, points[i], side);
  }
}

}  // namespace tk
