#pragma once
#include <array>
#include <memory>

#include "core/scene_object.h"
#include "host/bitmap_resource.h"
#include "host/resources.h"

namespace tk {

class SphereObject : public SceneObject {
 public:
  void Build() override;
};
class SaturnObject : public SceneObject {
 public:
  void Build() override;
};
class DiskObject : public SceneObject {
 public:
  void Build() override;
};
class SpiralObject : public SceneObject {
 public:
  void Build() override;
};
class TorusObject : public SceneObject {
 public:
  void Build() override;
};
class WineGlassObject : public SceneObject {
 public:
  void Build() override;
};
class CubeObject : public SceneObject {
 public:
  void Build() override;
};

// One point per non-black pixel of an 8-bit picture, lit by its red level.
class PictureObject : public SceneObject {
 public:
  explicit PictureObject(const ResourceSource& source = EmbeddedResources()) : source_(source) {}
  void BuildFromPicture(const char* name, int32_t a);
  void PlanMotion(const Viewport& viewport) override;

 private:
  const ResourceSource& source_;
};
class YinYangObject : public PictureObject {
 public:
  using PictureObject::PictureObject;
  void Build() override { BuildFromPicture("YINYANG", 2400); }
};
class LogoObject : public PictureObject {
 public:
  using PictureObject::PictureObject;
  void Build() override { BuildFromPicture("TKLOGO", 3000); }
};
class BannerObject : public PictureObject {
 public:
  using PictureObject::PictureObject;
  void Build() override { BuildFromPicture("BANNER", 3500); }
};

// All spins slowed to 0.6; shared by the 4D cube and the molecule.
void SlowSpins(SceneObject& o, float factor);

class Cube4DObject : public SceneObject {
 public:
  void Build() override;
  void Update() override;
  void PlanMotion(const Viewport& viewport) override;

  std::array<std::array<int32_t, 2>, 32> edges{};
  float angleXW = 0, angleYW = 0, angleZW = 0;
};

class ReliefObject : public SceneObject {
 public:
  explicit ReliefObject(const ResourceSource& source = EmbeddedResources());
  ~ReliefObject() override;
  void Build() override;
  void Update() override;
  void PlanMotion(const Viewport& viewport) override;

  float mapU = 0, mapV = 0;
  float heading = 0;
  BitmapResource heightMap;
  BitmapResource colorMap;

 private:
  // Map bytes, read only inside the picture (0 outside).
  uint8_t At(const BitmapResource& map, int32_t row, int32_t col) const;
};

struct ElectronOrbit {
  float orbitRadius = 0;
  float angularSpeed = 0;
  float angle = 0;
  Matrix3 orientation;
};

struct Vec3f {
  float x, y, z;
};
extern const std::array<Vec3f, 32> BallPoints;
const std::array<Vec3f, 180>& NucleusPoints();

class AtomObject : public SceneObject {
 public:
  void Build() override;
  void Update() override;

  std::array<ElectronOrbit, 13> orbits{};
};

class MoleculeObject : public SceneObject {
 public:
  void Build() override;
  void Update() override;
  void PlanMotion(const Viewport& viewport) override;
};

// The object of a kind (0..11, or 12 with the banner/logo draw q = rand() % 10).
std::unique_ptr<SceneObject> MakeObject(int kind, int pictureDraw = 0);

}  // namespace tk
