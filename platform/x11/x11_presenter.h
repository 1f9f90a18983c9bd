#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "host/damage_list.h"
#include "host/display.h"
#include "shell/linux/present_options.h"

struct _XDisplay;
struct _XImage;
struct _XGC;

namespace tk::x11 {

// What presenting cost, for the measurements: frames presented, squares
// drawn, rectangles sent and pixels in them; how the frames went at the end.
struct Figures {
  uint64_t frames = 0, squares = 0, rectangles = 0, pixels = 0, colours = 0;
  bool filled = false;  // filled rectangles at the end, else images
  bool sharedMemory = false;
};
// One line for the measuring scripts (bench/x11_cpu.sh reads it):
// "x11: F frames, S squares, R rectangles, P pixels, C colours, way, image".
std::string FiguresLine(const Figures& figures);

// Where a presenter sends: the display's own connection, window and GC, and
// the visual its images are made for. `origin` is the image's top-left
// corner in the window (a monitor's place, or 0,0).
struct PresentTarget {
  _XDisplay* dpy = nullptr;
  unsigned long window = 0;
  _XGC* gc = nullptr;
  void* visual = nullptr;
  int depth = 0;
  uint32_t pixelMask = 0;  // the red, green and blue masks together
};

// How a frame reaches the server, chosen once when the display opens: filled
// rectangles, shared images or plain images. It owns the image the frame
// buffer writes into. Render thread only, between the display's Open and
// Close.
class Presenter {
 public:
  enum class Kind { kFill, kSharedImages, kPlainImages };
  virtual ~Presenter();
  Presenter(const Presenter&) = delete;
  Presenter& operator=(const Presenter&) = delete;

  Kind kind() const { return kind_; }
  // Makes a black image of the size; false when it cannot, and the display
  // falls back (see ChoosePresenter).
  virtual bool Make(int32_t width, int32_t height) = 0;
  void Drop();
  _XImage* image() const { return image_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  // How the frame buffer records the damage this way of sending wants.
  virtual void Prepare(DamageList& damage) const = 0;
  // Sends what the frame changed.
  virtual void Present(const DamageList& damage, int originX, int originY, Figures& figures) = 0;
  // Sends the whole image (after an Expose, or when it was made anew).
  void Repaint(int originX, int originY, Figures& figures);

 protected:
  Presenter(Kind kind, const PresentTarget& target) : kind_(kind), t_(target) {}
  // One rectangle of the image to its place in the window.
  virtual void Put(const Rect& r, int originX, int originY, Figures& figures);
  // Frees what Make made besides the XImage itself.
  virtual void Release() = 0;
  void Adopt(_XImage* image, int32_t width, int32_t height);

  const Kind kind_;
  const PresentTarget t_;
  _XImage* image_ = nullptr;
  int32_t width_ = 0, height_ = 0;
};

// The way of presenting for a display whose area is `width` pixels wide:
// filled rectangles, except shared images for small points where the server
// has shared memory (see kFillFromWidth in x11_presenter.cpp), unless the
// options fix the way. `sharedMemory` is whether the server offers it.
std::unique_ptr<Presenter> ChoosePresenter(const X11PresentOptions& options, bool sharedMemory, int32_t width,
                                           const PresentTarget& target);
// When a shared image could not be made: filled rectangles where the way was
// the saver's to choose, plain images where the options asked for images.
std::unique_ptr<Presenter> WithoutSharedMemory(const X11PresentOptions& options, const PresentTarget& target);

std::unique_ptr<Presenter> MakeFillPresenter(const PresentTarget& target);
std::unique_ptr<Presenter> MakeSharedImagePresenter(const PresentTarget& target, int32_t foldPixels);
std::unique_ptr<Presenter> MakePlainImagePresenter(const PresentTarget& target);

}  // namespace tk::x11
