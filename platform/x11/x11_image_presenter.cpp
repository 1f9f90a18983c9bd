// Images: each damage rectangle of the frame goes to the server as one put
// request, from a shared-memory image where the server is local and offers
// MIT-SHM, else from a plain image over the connection. Of the ways to send
// images, one put request for each damage rectangle cost the server less
// than one clip list of the damage and a single copy (from a shared pixmap,
// or a shared image put through the clip): building a region of a thousand
// small rectangles and copying it band by band costs more than the requests
// (bench/x11/floor.cpp's -present forms).
#include <cstdlib>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "platform/x11/x11_errors.h"
#include "platform/x11/x11_presenter.h"

namespace tk::x11 {
namespace {

// What one more put request costs the server, in pixels copied; a damage
// rectangle is widened by up to this much to save one. Measured on Xvfb with
// MIT-SHM at 1920x1080, 500 stars, two runs each: 0 -> 5.0 %, 100 -> 4.1 %,
// 400 -> 3.6 %, 1500 -> 3.8..5.4 % server CPU. Over the wire every byte
// counts instead, so plain images widen nothing.
constexpr int32_t kSharedRequestPixels = 400;

class ImagePresenter : public Presenter {
 public:
  using Presenter::Presenter;
  void Present(const DamageList& damage, int originX, int originY, Figures& figures) override {
    for (const Rect& r : damage.Rects()) Put(r, originX, originY, figures);
  }
};

class SharedImagePresenter final : public ImagePresenter {
 public:
  SharedImagePresenter(const PresentTarget& target, int32_t foldPixels)
      : ImagePresenter(Kind::kSharedImages, target), fold_(foldPixels >= 0 ? foldPixels : kSharedRequestPixels) {}
  ~SharedImagePresenter() override { Drop(); }

  bool Make(int32_t width, int32_t height) override {
    Drop();
    if (width <= 0 || height <= 0) return false;
    auto segment = std::make_unique<XShmSegmentInfo>();
    XShmSegmentInfo& info = *segment;
    XImage* img = XShmCreateImage(t_.dpy, static_cast<Visual*>(t_.visual), static_cast<unsigned>(t_.depth), ZPixmap,
                                  nullptr, &info, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!img) return false;
    const size_t bytes = static_cast<size_t>(img->bytes_per_line) * static_cast<size_t>(height);
    info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (info.shmid < 0) {
      XDestroyImage(img);
      return false;
    }
    info.shmaddr = static_cast<char*>(shmat(info.shmid, nullptr, 0));
    if (info.shmaddr == reinterpret_cast<char*>(-1)) {
      shmctl(info.shmid, IPC_RMID, nullptr);
      XDestroyImage(img);
      return false;
    }
    info.readOnly = False;
    BeginTrap();
    const Bool attached = XShmAttach(t_.dpy, &info);
    const int error = EndTrap(t_.dpy);
    // Marked for removal at once: being killed is how a saver usually ends,
    // and the segment then goes with the last detach instead of leaking.
    shmctl(info.shmid, IPC_RMID, nullptr);
    if (!attached || error != 0) {
      shmdt(info.shmaddr);
      XDestroyImage(img);
      return false;
    }
    // A new segment is zero-filled (black) by the kernel; clearing it here
    // would only make every page of a screen-sized image resident at once.
    // The image points at the segment's record for as long as it lives.
    img->data = info.shmaddr;
    segment_ = std::move(segment);
    Adopt(img, width, height);
    return true;
  }

  void Prepare(DamageList& damage) const override {
    damage.KeepSquares(false);
    damage.SetFoldAllowance(fold_);
  }

 private:
  void Put(const Rect& r, int originX, int originY, Figures& figures) override {
    const unsigned w = static_cast<unsigned>(r.Width()), h = static_cast<unsigned>(r.Height());
    XShmPutImage(t_.dpy, t_.window, t_.gc, image_, r.left, r.top, originX + r.left, originY + r.top, w, h, False);
    ++figures.rectangles;
    figures.pixels += uint64_t{w} * h;
  }

  void Release() override {
    BeginTrap();
    XShmDetach(t_.dpy, segment_.get());
    EndTrap(t_.dpy);
    image_->data = nullptr;
    XDestroyImage(image_);
    shmdt(segment_->shmaddr);
    segment_.reset();
  }

  const int32_t fold_;
  std::unique_ptr<XShmSegmentInfo> segment_;
};

class PlainImagePresenter final : public ImagePresenter {
 public:
  explicit PlainImagePresenter(const PresentTarget& target) : ImagePresenter(Kind::kPlainImages, target) {}
  ~PlainImagePresenter() override { Drop(); }

  bool Make(int32_t width, int32_t height) override {
    Drop();
    if (width <= 0 || height <= 0) return false;
    XImage* img = XCreateImage(t_.dpy, static_cast<Visual*>(t_.visual), static_cast<unsigned>(t_.depth), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!img) return false;
    img->data = static_cast<char*>(std::calloc(static_cast<size_t>(img->bytes_per_line), static_cast<size_t>(height)));
    if (!img->data) {
      XDestroyImage(img);
      return false;
    }
    Adopt(img, width, height);
    return true;
  }

  void Prepare(DamageList& damage) const override {
    damage.KeepSquares(false);
    damage.SetFoldAllowance(0);
  }

 private:
  void Release() override { XDestroyImage(image_); }  // frees the calloc'd pixels too
};

}  // namespace

std::unique_ptr<Presenter> MakeSharedImagePresenter(const PresentTarget& target, int32_t foldPixels) {
  return std::make_unique<SharedImagePresenter>(target, foldPixels);
}

std::unique_ptr<Presenter> MakePlainImagePresenter(const PresentTarget& target) {
  return std::make_unique<PlainImagePresenter>(target);
}

}  // namespace tk::x11
