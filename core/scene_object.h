#pragma once
#include <cstdint>
#include <memory>

#include "core/colour.h"
#include "core/matrix.h"
#include "core/renderable.h"
#include "core/viewport.h"

namespace tk {

// One coloured point of a scene object.
struct ScenePoint {
  float x = 0, y = 0, z = 0;        // camera space, rewritten every frame
  int32_t screenX = -1000, screenY = -1000;  // where it was last plotted
  float modelX = 0, modelY = 0, modelZ = 0;
  int32_t level = 255;              // brightness, 256 = colour unchanged
  Colour color = 0;
};

// Every shown object: a cloud of at most 1000 points that enters, shows at
// rest depth 7400 and leaves, rotated, shaded by depth and drawn as squares.
class SceneObject : public Renderable {
 public:
  static constexpr int kMaxPoints = 1000;
  static constexpr int kRestDepth = 7400;
  static constexpr int kRevealRamp = 3000;

  SceneObject();
  ~SceneObject() override;

  void Update() override;
  void Draw(FrameBuffer& fb, const Viewport& viewport) override;
  virtual void Build() = 0;
  virtual void ChooseTransitions();
  virtual void PlanMotion(const Viewport& viewport);
  virtual void Start(const Viewport& viewport);

  // The timeline step every Update runs first.
  void Advance();

  // Appends a point whose model and camera positions are (x, y, z).
  void AddPoint(double x, double y, double z, Colour color);

  // The object's rotation R = Ry * (Rx * Rz) for the current angles.
  Matrix3 Rotation() const;
  // Reduces the three angles into (-2pi, 2pi).
  void WrapAngles();

  int32_t pointCount = 0;
  int32_t visibleCount = 0;
  int32_t hiddenCount = 0;
  std::unique_ptr<ScenePoint[]> points;
  int32_t radius = 0;
  float angleX = 0, angleY = 0, angleZ = 0;
  float offsetX = 0, offsetY = 0, offsetZ = 0;
  float spinX = 0, spinY = 0, spinZ = 0;
  int32_t entryMode = 0;
  int32_t exitMode = 0;
  int32_t entryDuration = 0;
  int32_t exitDuration = 0;
  std::unique_ptr<int32_t[]> revealOrder;
  bool shuffled = false;
  int32_t exitStart = 0;
  uint32_t lastTick = 0;
  uint32_t startTick = 0;
  int32_t frameDelta = 0;
  float startSpinX = 0, startSpinY = 0, startSpinZ = 0;
  float targetSpinX = 0, targetSpinY = 0, targetSpinZ = 0;
  float entryFromX = 0, entryFromY = 0, entryFromZ = 0;
  float exitToX = 0, exitToY = 0, exitToZ = 0;
};

// fmod by the saver's 2pi constant; keeps the sign.
double WrapAngle(double a);
inline constexpr double kTurn = 6.283185307;

// Depth-shading level: 296 at depth -radius, 40 at +radius.
inline int32_t DepthLevel(int32_t radius, float z, int32_t base = 40) {
  return ((radius - TruncToInt(z)) * 256) / (2 * radius) + base;
}

// Rotation matrices in row-vector form.
Matrix3 RotationY(double a);
Matrix3 RotationX(double a);
Matrix3 RotationZ(double a);

}  // namespace tk
