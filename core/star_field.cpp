#include "core/star_field.h"

#include "core/clock.h"
#include "core/random.h"
#include "host/frame_buffer.h"
#include "settings/settings.h"

namespace tk {

StarField::StarField(const Viewport& viewport, const Settings& settings) : settings_(settings) {
  stars_.resize(static_cast<size_t>(settings.starNumber > 0 ? settings.starNumber : 0));
  for (Star& s : stars_) Respawn(s, viewport);
  lastTick_ = TickCount();
}

void StarField::Respawn(Star& s, const Viewport& v) {
  // t^2 scaling makes the depths denser at the near end than a uniform z.
  const double t = 15000.0 + UniformDraw(15000);
  s.z = static_cast<float>(t * t * static_cast<double>(0.00007f));
  const double hx = (static_cast<double>(v.width) * s.z / v.focal) * 0.5;
  s.x = static_cast<float>(SymmetricDraw(hx));
  const double hy = (static_cast<double>(v.height) * s.z / v.focal) * 0.5;
  s.y = static_cast<float>(SymmetricDraw(hy));
  s.brightness = TruncToInt(80.0 + UniformDraw(192));
  s.color = settings_.starColor;
  if (s.z > 100.0f) {
    s.screenY = ProjectY(v, s.y, s.z);
    // A new row exactly on the bottom edge keeps the old column; the frame
    // buffer drops that square.
    if (s.screenY >= 0 && s.screenY < v.height) s.screenX = ProjectX(v, s.x, s.z);
  }
}

void StarField::Draw(FrameBuffer& fb, const Viewport& v) {
  const uint32_t now = TickCount();
  const uint32_t step = (now - lastTick_) * static_cast<uint32_t>(settings_.starVelocity) * 2u;
  lastTick_ = now;
  const int32_t side = PointSize(v);
  for (Star& s : stars_) {
    fb.FillSquare(s.screenX, s.screenY, side, 0);
    s.z = static_cast<float>(static_cast<double>(s.z) - static_cast<double>(step));
    bool onScreen = false;
    if (s.z > 100.0f) {
      s.screenY = ProjectY(v, s.y, s.z);
      if (s.screenY >= 0 && s.screenY < v.height) {
        s.screenX = ProjectX(v, s.x, s.z);
        onScreen = s.screenX >= 0 && s.screenX < v.width;
      }
    }
    if (!onScreen) Respawn(s, v);
    fb.FillSquare(s.screenX, s.screenY, side, ScaleColor(s.color, Level(s.z, s.brightness)));
  }
}

}  // namespace tk
