#pragma once
// Where a star field's centre is, from how its stars moved between two
// looks at the screen: the program tests check that every monitor or output
// gets a scene of its own, centred on it. The lit pixels alone cannot tell:
// the stars are spread evenly over the screen whatever the centre.
#include <algorithm>
#include <cstddef>
#include <vector>

namespace tk::test {

// The settings a program test writes so that a look can find the stars: red
// (0x00BBGGRR) stays pure red at every brightness, apart from the green
// objects and the pictures, and the most stars there can be make the centre
// steady.
constexpr const char* kStarsRed =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\Software\\Telkarim\\Telkarim's Screen Saver]\n"
    "\"StarColor\"=dword:000000ff\n"
    "\"ObjectColor\"=dword:0000ff00\n"
    "\"StarNumber\"=dword:000001f4\n"
    "\"StarVelocity\"=dword:00000002\n";

// A star as seen in one look: the middle of its square.
struct Star {
  double x, y;
};

// Every star flies straight out from the centre, so stars before it move
// back and stars after it move on. Each star of a look is paired with the
// nearest star of the look before; the centre is where the fewest pairs
// move the wrong way. Pairs of two different stars (a slow look on a busy
// machine lets fast stars move farther than stars lie apart) move either
// way anywhere, so they blur the count without moving where it is least.
class CentreEstimate {
 public:
  void AddPair(const std::vector<Star>& before, const std::vector<Star>& after) {
    constexpr double kSameStar = 12.0;
    for (const Star& b : after) {
      const Star* nearest = nullptr;
      double best = kSameStar * kSameStar;
      for (const Star& a : before) {
        const double d2 = (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y);
        if (d2 < best) {
          best = d2;
          nearest = &a;
        }
      }
      if (!nearest) continue;
      if (b.x != nearest->x) x_.push_back({(nearest->x + b.x) / 2, b.x > nearest->x});
      if (b.y != nearest->y) y_.push_back({(nearest->y + b.y) / 2, b.y > nearest->y});
    }
  }
  // In the looks' coordinates; far outside them when nothing moved.
  double X() { return Split(x_); }
  double Y() { return Split(y_); }
  size_t moves() const { return x_.size(); }

 private:
  struct Move {
    double at;
    bool onwards;
  };
  static double Split(std::vector<Move>& moves) {
    if (moves.empty()) return -1e9;
    std::sort(moves.begin(), moves.end(), [](const Move& a, const Move& b) { return a.at < b.at; });
    // Centre before every move: the wrong ones are those moving back.
    long wrong = 0;
    for (const Move& m : moves) wrong += !m.onwards;
    long fewest = wrong;
    double at = moves.front().at;
    for (size_t i = 0; i < moves.size(); ++i) {
      wrong += moves[i].onwards ? 1 : -1;  // moves[i] now lies before the centre
      if (wrong < fewest) {
        fewest = wrong;
        at = i + 1 < moves.size() ? (moves[i].at + moves[i + 1].at) / 2 : moves[i].at;
      }
    }
    return at;
  }
  std::vector<Move> x_, y_;
};

}  // namespace tk::test
