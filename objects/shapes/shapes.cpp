// The shapes whose points come from formulas. Every angle loop keeps its
// angle in double and grows it by repeated addition: the point counts depend
// on the rounding of exactly that sum.
#include <cmath>

#include "core/truncate.h"
#include "objects/objects.h"
#include "settings/settings.h"

namespace tk {
namespace {

constexpr double kLongitudeStep = 0.22439947525;
constexpr double kHalfTurn = 3.1415926535;
constexpr double kLatitudeStep = 0.20943951023333335;
constexpr double kDegree = 0.017453292519444445;

Colour ObjectColour() { return ProcessSettings().objectColor; }

void GreatCircleSphere(SceneObject& o, double r) {
  const Colour c = ObjectColour();
  for (double theta = 0; theta < kHalfTurn; theta += kLongitudeStep) {
    for (double phi = 0; phi < kTurn; phi += kLatitudeStep) {
      o.AddPoint(TruncToInt(r * std::cos(theta) * std::cos(phi)), TruncToInt(r * std::sin(phi)),
                 TruncToInt(r * std::sin(theta) * std::cos(phi)), c);
    }
  }
}

void FlatRings(SceneObject& o) {
  const Colour c = ObjectColour();
  for (double r = 935.0; r <= 1300.0; r += 100.0) {
    const int32_t n = TruncToInt(r * kDegree);
    const double step = kHalfTurn / n;
    for (double a = 0; a < kTurn; a += step) o.AddPoint(r * std::cos(a), 0, r * std::sin(a), c);
  }
}

}  // namespace

void SphereObject::Build() {
  radius = 1100;
  GreatCircleSphere(*this, 1100);
}

void SaturnObject::Build() {
  radius = 1200;
  GreatCircleSphere(*this, 700);
  FlatRings(*this);
}

void DiskObject::Build() {
  radius = 1200;
  FlatRings(*this);
}

void SpiralObject::Build() {
  radius = 1000;
  const Colour c = ObjectColour();
  for (double t = -1000.0; t < radius; t += radius / 37) {
    const double psi = t * 10.36725575655 / radius;
    const int32_t cx = TruncToInt(400 * std::cos(psi)), cy = TruncToInt(t), cz = TruncToInt(400 * std::sin(psi));
    for (double b = 0; b < kTurn; b += 0.6283185307) {
      AddPoint(cx + 120 * std::cos(b) * std::cos(psi), cy + 120 * std::sin(b), cz + 120 * std::cos(b) * std::sin(psi),
               c);
    }
  }
}

void TorusObject::Build() {
  radius = 1000;
  const Colour c = ObjectColour();
  for (double theta = 0; theta < kTurn; theta += 0.157079632675) {
    const int32_t cx = TruncToInt(850 * std::cos(theta)), cz = TruncToInt(850 * std::sin(theta));
    for (double phi = 0; phi < kTurn; phi += 0.3926990816875) {
      AddPoint(cx + 300 * std::cos(phi) * std::cos(theta), 300 * std::sin(phi),
               cz + 300 * std::cos(phi) * std::sin(theta), c);
    }
  }
}

namespace {
// The glass's outline from the rim down to the foot: (radius, height).
constexpr float kGlassProfile[19][2] = {
    {218.248f, 328.24802f},   {217.96f, 286.632f},       {217.528f, 243.28897f},    {216.23201f, 200.736f},
    {209.89601f, 161.712f},   {197.43999f, 121.608f},    {169.36f, 90.86398f},      {129.61601f, 73.944f},
    {87.92799f, 64.29599f},   {46.311996f, 46.224f},     {27.231995f, 1.29599f},    {25.216003f, -63.64801f},
    {22.984009f, -124.199005f}, {20.608002f, -187.848f}, {20.751999f, -246.96f},    {36.160004f, -291.24f},
    {74.39201f, -316.44f},    {121.479996f, -323.568f},  {167.34401f, -328.968f},
};
}  // namespace

void WineGlassObject::Build() {
  radius = 1300;
  const Colour c = ObjectColour();
  for (double theta = 0; theta < kTurn; theta += kLongitudeStep) {
    for (const auto& row : kGlassProfile) {
      const double r = row[0], h = row[1];
      AddPoint(2.9 * r * std::sin(theta), 2.9 * h, 2.9 * r * std::cos(theta), c);
    }
  }
}

namespace {
// A dotted line along `axis` at fixed coordinates (a, b), from -l to +l.
void CubeLine(SceneObject& o, int axis, int32_t a, int32_t b, int32_t l, Colour c) {
  for (int32_t s = -l; s <= l; s += 120) {
    int32_t p[3];
    p[axis] = s;
    p[axis == 0 ? 1 : 0] = a;
    p[axis == 2 ? 1 : 2] = b;
    o.AddPoint(p[0], p[1], p[2], c);
  }
}
}  // namespace

void CubeObject::Build() {
  radius = 1000;
  const Colour c = ObjectColour();
  auto edges = [&](int32_t e) {
    static constexpr int kSigns[3][4][2] = {
        {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}},
        {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}},
        {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}},
    };
    for (int axis = 0; axis < 3; ++axis)
      for (const auto& s : kSigns[axis]) CubeLine(*this, axis, s[0] * e, s[1] * e, e, c);
  };
  edges(720);
  static constexpr int32_t kFace[8][2] = {{-720, -600}, {-600, -720}, {720, -600}, {600, -720},
                                          {-720, 600},  {-600, 720},  {720, 600},  {600, 720}};
  for (int axis = 0; axis < 3; ++axis)
    for (const auto& f : kFace) CubeLine(*this, axis, f[0], f[1], 600, c);
  edges(600);
}

}  // namespace tk
