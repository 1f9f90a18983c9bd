#pragma once
// The squares the floors draw: a star field flying towards the viewer and a
// turning ball of points at the objects' resting depth, moved one frame at a
// time. The X11 and the Wayland floor draw exactly these, so their figures
// and the saver's compare like with like on either front end.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstddef>
#include <ctime>
#include <random>
#include <vector>

namespace tk::bench {

class FloorSquares {
 public:
  FloorSquares(int width, int height, int stars, int points)
      : width_(width), height_(height), side_(std::max(1, width / 320)), focal_(2.0 * width) {
    field_.resize(static_cast<size_t>(stars));
    for (Point& s : field_) Spawn(s);
    // A quarter of the height in radius, turning about the vertical axis.
    ball_.resize(static_cast<size_t>(points));
    const double radius = height * 0.25 * 7400.0 / focal_;
    for (Point& p : ball_) {
      const double u = 2.0 * unit_(rng_) - 1.0, a = 6.283185307 * unit_(rng_);
      const double r = std::sqrt(1.0 - u * u);
      p = Point{radius * r * std::cos(a), radius * u, radius * r * std::sin(a)};
    }
  }

  int side() const { return side_; }
  size_t capacity() const { return field_.size() + ball_.size(); }

  // Moves everything by one frame at `fps` and calls square(x, y) for the
  // top-left pixel of every square on the screen, stars first.
  template <typename Square>
  void Step(int fps, Square&& square) {
    for (Point& s : field_) {
      s.z -= 10.0 * 1000.0 / fps;
      int sx = 0, sy = 0;
      bool on = s.z > 100.0;
      if (on) {
        sx = static_cast<int>(focal_ * s.x / s.z + (width_ >> 1));
        sy = static_cast<int>(focal_ * s.y / s.z + (height_ >> 1));
        on = sx >= 0 && sy >= 0 && sx + side_ <= width_ && sy + side_ <= height_;
      }
      if (!on) {
        Spawn(s);
        continue;
      }
      square(sx, sy);
    }
    angle_ += 1.0 / fps;
    const double c = std::cos(angle_), sn = std::sin(angle_);
    for (const Point& p : ball_) {
      const double x = p.x * c + p.z * sn, z = -p.x * sn + p.z * c + 7400.0;
      const int sx = static_cast<int>(focal_ * x / z + (width_ >> 1));
      const int sy = static_cast<int>(focal_ * p.y / z + (height_ >> 1));
      if (sx < 0 || sy < 0 || sx + side_ > width_ || sy + side_ > height_) continue;
      square(sx, sy);
    }
  }

 private:
  struct Point {
    double x, y, z;
  };
  // Stars as the saver spawns them: depth t^2 * 0.00007 for t in
  // [15000, 30000], anywhere in the view at that depth, 10 units nearer a ms.
  void Spawn(Point& s) {
    const double t = 15000.0 + 15000.0 * unit_(rng_);
    s.z = t * t * 0.00007;
    s.x = (unit_(rng_) - 0.5) * width_ * s.z / focal_;
    s.y = (unit_(rng_) - 0.5) * height_ * s.z / focal_;
  }

  int width_, height_, side_;
  double focal_;
  std::mt19937 rng_{1};
  std::uniform_real_distribution<double> unit_{0.0, 1.0};
  std::vector<Point> field_, ball_;
  double angle_ = 0.0;
};

// Frames at a steady rate: each sleep ends a whole period after the last
// one's end, whatever the frame took, until `stop` is set.
class FrameClock {
 public:
  explicit FrameClock(int fps) : period_(1000000000L / fps) { clock_gettime(CLOCK_MONOTONIC, &next_); }
  void Wait(const volatile std::sig_atomic_t& stop) {
    next_.tv_nsec += period_;
    while (next_.tv_nsec >= 1000000000L) {
      next_.tv_nsec -= 1000000000L;
      ++next_.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next_, nullptr) != 0 && !stop) {
    }
  }

 private:
  long period_;
  timespec next_;
};

}  // namespace tk::bench
