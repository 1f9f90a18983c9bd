#include <cmath>

#include "core/random.h"
#include "core/truncate.h"
#include "objects/objects.h"
#include "settings/settings.h"

namespace tk {

const std::array<Vec3f, 32> BallPoints{{
    {23.57f, -80.474f, 23.57f},   {80.474f, -23.57f, 23.57f},   {47.14f, -47.14f, 47.14f},
    {23.57f, -23.57f, 80.474f},   {-23.57f, -80.474f, 23.57f},  {-23.57f, -23.57f, 80.474f},
    {-47.14f, -47.14f, 47.14f},   {-80.474f, -23.57f, 23.57f},  {-23.57f, -80.474f, -23.57f},
    {-80.474f, -23.57f, -23.57f}, {-47.14f, -47.14f, -47.14f},  {-23.57f, -23.57f, -80.474f},
    {23.57f, -80.474f, -23.57f},  {23.57f, -23.57f, -80.474f},  {47.14f, -47.14f, -47.14f},
    {80.474f, -23.57f, -23.57f},  {23.57f, 80.474f, 23.57f},    {23.57f, 23.57f, 80.474f},
    {47.14f, 47.14f, 47.14f},     {80.474f, 23.57f, 23.57f},    {-23.57f, 80.474f, 23.57f},
    {-80.474f, 23.57f, 23.57f},   {-47.14f, 47.14f, 47.14f},    {-23.57f, 23.57f, 80.474f},
    {-23.57f, 80.474f, -23.57f},  {-23.57f, 23.57f, -80.474f},  {-47.14f, 47.14f, -47.14f},
    {-80.474f, 23.57f, -23.57f},  {23.57f, 80.474f, -23.57f},   {80.474f, 23.57f, -23.57f},
    {47.14f, 47.14f, -47.14f},    {23.57f, 23.57f, -80.474f},
}};

namespace {
// The nucleus's first face: nine points on the icosahedron face that touches
// the -y vertex and the lower-ring vertices at 0 and 72 degrees (measured
// from +x towards +z), starting at the -y corner and working out towards the
// other two.
constexpr Vec3f kNucleusFace0[9] = {
    {15.74f, -95.511f, 11.436f}, {50.437f, -82.595f, 11.613f}, {31.724f, -89.025f, 23.049f},
    {26.63f, -82.595f, 44.38f},  {78.389f, -56.792f, 11.436f}, {64.558f, -68.733f, 23.049f},
    {61.084f, -61.301f, 44.38f}, {41.87f, -68.733f, 54.276f},  {35.1f, -56.792f, 71.018f},
};

// Every other face is the first one carried over by the icosahedron's own
// rotations, so the whole ball keeps the first face's spacing: the rotation
// that takes face 0's corners (in order) onto face f's corners is
// C_f * C_0^-1, with the corner directions as the columns of C. The corner
// orders below all run the same way round seen from outside, which makes
// every one of those maps a rotation, never a mirror image. Faces 0..4 share
// the -y vertex and 15..19 the +y vertex, each listed with that vertex
// first, so each of those faces starts next to its pole.
std::array<Vec3f, 180> MakeNucleus() {
  using Mat = std::array<std::array<double, 3>, 3>;
  struct Dir {
    double x, y, z;
  };
  Dir vert[12];
  const double h = 1.0 / std::sqrt(5.0), rr = 2.0 / std::sqrt(5.0);
  vert[0] = {0, -1, 0};
  for (int i = 0; i < 5; ++i) {
    const double a = 2 * M_PI * i / 5;
    vert[1 + i] = {rr * std::cos(a), -h, rr * std::sin(a)};
    const double b = a + M_PI / 5;
    vert[6 + i] = {rr * std::cos(b), h, rr * std::sin(b)};
  }
  vert[11] = {0, 1, 0};
  int faces[20][3];
  for (int i = 0; i < 5; ++i) {
    const int j = (i + 1) % 5;
    faces[i][0] = 0, faces[i][1] = 1 + i, faces[i][2] = 1 + j;                    // around -y
    faces[5 + i][0] = 1 + i, faces[5 + i][1] = 6 + i, faces[5 + i][2] = 1 + j;    // belt, pointing up
    faces[10 + i][0] = 6 + i, faces[10 + i][1] = 6 + j, faces[10 + i][2] = 1 + j;  // belt, pointing down
    faces[15 + i][0] = 11, faces[15 + i][1] = 6 + j, faces[15 + i][2] = 6 + i;    // around +y
  }
  const auto corners = [&](const int* f) {
    Mat c;
    for (int col = 0; col < 3; ++col) {
      c[0][col] = vert[f[col]].x;
      c[1][col] = vert[f[col]].y;
      c[2][col] = vert[f[col]].z;
    }
    return c;
  };
  // C_0^-1 by cofactors.
  const Mat c0 = corners(faces[0]);
  const double det = c0[0][0] * (c0[1][1] * c0[2][2] - c0[1][2] * c0[2][1]) -
                     c0[0][1] * (c0[1][0] * c0[2][2] - c0[1][2] * c0[2][0]) +
                     c0[0][2] * (c0[1][0] * c0[2][1] - c0[1][1] * c0[2][0]);
  Mat inv0;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      inv0[r][c] = (c0[(c + 1) % 3][(r + 1) % 3] * c0[(c + 2) % 3][(r + 2) % 3] -
                    c0[(c + 1) % 3][(r + 2) % 3] * c0[(c + 2) % 3][(r + 1) % 3]) /
                   det;

  std::array<Vec3f, 180> out{};
  // Face 0 exactly as written above: carrying it by the identity would round it.
  for (int k = 0; k < 9; ++k) out[k] = kNucleusFace0[k];
  for (int f = 1; f < 20; ++f) {
    const Mat cf = corners(faces[f]);
    Mat m{};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k) m[r][c] += cf[r][k] * inv0[k][c];
    for (int k = 0; k < 9; ++k) {
      const Vec3f& p = kNucleusFace0[k];
      Vec3f& q = out[9 * f + k];
      q.x = static_cast<float>(m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z);
      q.y = static_cast<float>(m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z);
      q.z = static_cast<float>(m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z);
    }
  }
  return out;
}
}  // namespace

const std::array<Vec3f, 180>& NucleusPoints() {
  static const std::array<Vec3f, 180> table = MakeNucleus();
  return table;
}

void AtomObject::Build() {
  radius = 1300;
  const int32_t velocity = ProcessSettings().objectVelocity;
  for (ElectronOrbit& o : orbits) {
    o.orbitRadius = static_cast<float>(UniformDraw(400) + 900);
    o.angularSpeed = static_cast<float>((UniformDraw(50) + 75) * (1.4 / o.orbitRadius) * velocity * 0.002);
    o.angle = static_cast<float>(UniformDraw(1000) * 0.006283185307);
    const double alpha = UniformDraw(1000) * 0.006283185307;
    const double beta = UniformDraw(1000) * 0.006283185307;
    o.orientation = RotationZ(beta);
    o.orientation.Multiply(RotationY(alpha));
  }
  for (int e = 0; e < 13; ++e) {
    const uint32_t q = static_cast<uint32_t>(Rand() % 200 + 200);
    const Colour c = ScaleColor(0xFF5340, q);
    for (const Vec3f& b : BallPoints) AddPoint(0.9 * b.x, 0.9 * b.y, 0.9 * b.z, c);
  }
  const Colour nucleus = ProcessSettings().objectColor;
  for (const Vec3f& b : NucleusPoints()) AddPoint(3.3 * b.x, 3.3 * b.y, 3.3 * b.z, nucleus);
}

namespace {
// A ball's point: turned with the object about the ball's own centre, lit by
// its depth in the whole object and, on top, by its depth within the ball.
inline void PlaceBallPoint(ScenePoint& p, const float* m, double px, double py, double pz, int32_t radius,
                           const SceneObject& o) {
  const double mx = p.modelX, my = p.modelY, mz = p.modelZ;
  float x = static_cast<float>(mx * m[0] + my * m[3] + mz * m[6]);
  float y = static_cast<float>(mx * m[1] + my * m[4] + mz * m[7]);
  float z = static_cast<float>(mx * m[2] + my * m[5] + mz * m[8]);
  const int32_t zl = TruncToInt(z);
  x = static_cast<float>(x + px);
  y = static_cast<float>(y + py);
  z = static_cast<float>(z + pz);
  p.level = DepthLevel(radius, z) + ((-zl) >> 1);
  p.x = static_cast<float>(double(x) + o.offsetX);
  p.y = static_cast<float>(double(y) + o.offsetY);
  p.z = static_cast<float>(double(z) + o.offsetZ);
}
}  // namespace

void AtomObject::Update() {
  Advance();
  WrapAngles();
  const Matrix3 r = Rotation();
  const float* m = r.m;
  for (int e = 0; e < 13; ++e) {
    ElectronOrbit& o = orbits[e];
    o.angle = static_cast<float>(WrapAngle(frameDelta * double(o.angularSpeed) + o.angle));
    const double c = std::cos(double(o.angle)) * o.orbitRadius, s = std::sin(double(o.angle)) * o.orbitRadius;
    const float* q = o.orientation.m;
    const double px = c * q[0] + s * q[3], py = c * q[1] + s * q[4], pz = c * q[2] + s * q[5];
    for (int k = 32 * e; k < 32 * e + 32 && k < pointCount; ++k) PlaceBallPoint(points[k], m, px, py, pz, radius, *this);
  }
  for (int32_t i = 416; i < pointCount; ++i) {
    ScenePoint& p = points[i];
    const double mx = p.modelX, my = p.modelY, mz = p.modelZ;
    p.x = static_cast<float>(mx * m[0] + my * m[3] + mz * m[6]);
    p.y = static_cast<float>(mx * m[1] + my * m[4] + mz * m[7]);
    p.z = static_cast<float>(mx * m[2] + my * m[5] + mz * m[8]);
    p.level = ((750 - TruncToInt(p.z)) * 256) / 1500 + 40;
    p.x = static_cast<float>(double(p.x) + offsetX);
    p.y = static_cast<float>(double(p.y) + offsetY);
    p.z = static_cast<float>(double(p.z) + offsetZ);
  }
}

// Histidine, centred on the origin; the model uses it three times larger.
namespace {
struct MoleculeAtom {
  float x, y, z;
  char element;
};
constexpr MoleculeAtom kAtoms[20] = {
    {102.42f, -161.125f, -85.545f, 'N'}, {240.02f, -161.125f, -85.545f, 'C'}, {286.92f, -31.925f, -85.545f, 'N'},
    {178.12f, 51.775f, -85.845f, 'C'},   {64.02f, -29.025f, -86.645f, 'C'},   {-78.58f, 20.775f, -81.045f, 'C'},
    {-89.98f, 104.875f, -149.445f, 'H'}, {-112.38f, 66.275f, 62.355f, 'C'},   {-43.08f, 144.975f, 92.555f, 'H'},
    {-102.18f, -46.725f, 155.855f, 'N'}, {-252.48f, 120.675f, 64.755f, 'C'},  {-347.78f, 47.475f, 30.455f, 'O'},
    {-271.28f, 242.975f, 82.155f, 'O'},  {302.52f, -250.425f, -83.945f, 'H'}, {389.62f, -2.025f, -83.745f, 'H'},
    {180.12f, 160.775f, -83.545f, 'H'},  {-146.18f, -59.425f, -110.945f, 'H'}, {-7.28f, -82.325f, 157.155f, 'H'},
    {-165.38f, -120.725f, 127.355f, 'H'}, {-127.18f, -15.725f, 249.155f, 'H'},
};
constexpr int32_t kBonds[20][2] = {{0, 1}, {1, 2},  {2, 3},   {0, 4},  {3, 4}, {4, 5},  {5, 6},
                                   {5, 7}, {7, 8},  {7, 9},   {7, 10}, {10, 11}, {10, 12}, {1, 13},
                                   {2, 14}, {3, 15}, {5, 16}, {9, 17}, {9, 18}, {9, 19}};

Colour ElementColour(char e) {
  switch (e) {
    case 'C': return 0x606060;
    case 'H': return 0xFFFFFF;
    case 'N': return 0xFF5340;
    case 'O': return 0x4540FF;
    case 'S': return 0x20FFFF;
    default: return ProcessSettings().objectColor;
  }
}
}  // namespace

void MoleculeObject::Build() {
  radius = 1300;
  for (const MoleculeAtom& a : kAtoms) {
    const Colour c = ElementColour(a.element);
    for (const Vec3f& b : BallPoints) AddPoint(1.3 * b.x, 1.3 * b.y, 1.3 * b.z, c);
  }
  for (const auto& bond : kBonds) {
    const MoleculeAtom &a = kAtoms[bond[0]], &b = kAtoms[bond[1]];
    const double px = 3.0 * a.x, py = 3.0 * a.y, pz = 3.0 * a.z;
    const double dx = 3.0 * b.x - px, dy = 3.0 * b.y - py, dz = 3.0 * b.z - pz;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double g = d - 260;
    const double k = g * double{0.030303031f};
    const int32_t n = k > 1 ? TruncToInt(k) : 1;
    const double step = g / (n + 1);
    for (int32_t t = 1; t <= n; ++t) {
      const double f = (t * step + 130) / d;
      AddPoint(px + f * dx, py + f * dy, pz + f * dz, 0xFFFFFF);
    }
  }
}

void MoleculeObject::PlanMotion(const Viewport& viewport) {
  SceneObject::PlanMotion(viewport);
  SlowSpins(*this, 0.6f);
}

void MoleculeObject::Update() {
  Advance();
  WrapAngles();
  const Matrix3 r = Rotation();
  const float* m = r.m;
  for (int a = 0; a < 20; ++a) {
    const double ax = 3.0 * kAtoms[a].x, ay = 3.0 * kAtoms[a].y, az = 3.0 * kAtoms[a].z;
    const float ox = static_cast<float>(ax * m[0] + ay * m[3] + az * m[6]);
    const float oy = static_cast<float>(ax * m[1] + ay * m[4] + az * m[7]);
    const float oz = static_cast<float>(ax * m[2] + ay * m[5] + az * m[8]);
    for (int k = 32 * a; k < 32 * a + 32 && k < pointCount; ++k) PlaceBallPoint(points[k], m, ox, oy, oz, radius, *this);
  }
  for (int32_t i = 640; i < pointCount; ++i) {
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

std::unique_ptr<SceneObject> MakeObject(int kind, int pictureDraw) {
  switch (kind) {
    case 0: return std::make_unique<SphereObject>();
    case 1: return std::make_unique<SaturnObject>();
    case 2: return std::make_unique<DiskObject>();
    case 3: return std::make_unique<SpiralObject>();
    case 4: return std::make_unique<TorusObject>();
    case 5: return std::make_unique<WineGlassObject>();
    case 6: return std::make_unique<CubeObject>();
    case 7: return std::make_unique<YinYangObject>();
    case 8: return std::make_unique<Cube4DObject>();
    case 9: return std::make_unique<ReliefObject>();
    case 10: return std::make_unique<AtomObject>();
    case 11: return std::make_unique<MoleculeObject>();
    default:
      if (pictureDraw <= 5) return std::make_unique<BannerObject>();
      return std::make_unique<LogoObject>();
  }
}

}  // namespace tk
