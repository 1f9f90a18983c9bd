#include "platform/offscreen/image_writers.h"

#include <gif_lib.h>
#include <png.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/replace_file.h"

namespace tk {
namespace {

constexpr uint64_t kMaxGifDelay = 65535;  // hundredths of a second, the field's 16 bits

// Where a picture goes: a device or a pipe (/dev/stdout, a fifo) is written
// in place, since renaming a finished file over one would replace the node
// itself; anything else is written to a new file that only we can have made,
// beside the target, and renamed over it when whole. A link is written
// through to its file, as the user who made the link expects; a read-only
// file is refused rather than replaced behind its owner's back.
struct Output {
  int fd = -1;
  std::string target, temp;  // temp is empty when writing in place
};

bool OpenOutput(const std::string& path, Output& out, std::string& error) {
  // The kernel follows /dev/stdout's links to a pipe, which no path names.
  struct stat node {};
  if (::stat(path.c_str(), &node) == 0 && !S_ISREG(node.st_mode)) {
    out.fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (out.fd < 0) error = "cannot write " + path + ": " + std::strerror(errno);
    return out.fd >= 0;
  }
  ReplaceTarget t;
  std::string why;
  if (!ResolveTarget(path, t, why)) {
    error = "cannot write " + path + ": " + why;
    return false;
  }
  out.target = t.path;
  if (t.exists && !S_ISREG(t.st.st_mode)) {
    error = "cannot write " + path + ": it changed while it was looked at";
    return false;
  }
  if (t.exists && (::access(t.path.c_str(), W_OK) != 0 || (t.st.st_mode & 0222) == 0)) {
    error = "cannot write " + path + ": the file is read-only";
    return false;
  }
  const std::string pid = std::to_string(::getpid());
  out.fd = CreateExclusive(
      [&](int k) { return k == 0 ? t.path + ".part" : t.path + "." + pid + "-" + std::to_string(k) + ".part"; },
      t.exists ? 0600 : 0666, out.temp, why);
  if (out.fd < 0) {
    error = "cannot write " + path + ": " + why;
    return false;
  }
  CopyOwnerAndMode(out.fd, t);
  return true;
}

void Abandon(const Output& out) {
  if (!out.temp.empty()) ::unlink(out.temp.c_str());
}

bool Finish(const Output& out, const std::string& path, std::string& error) {
  if (out.temp.empty()) return true;
  if (std::rename(out.temp.c_str(), out.target.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    Abandon(out);
    return false;
  }
  return true;
}

// libpng would print its own line; the caller reports the failure once.
[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// The part that libpng may leave by longjmp: only plain values live here.
bool WritePngRows(FILE* f, int32_t width, int32_t height, const uint8_t* rgb) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  volatile bool ok = png && info;
  if (ok && setjmp(png_jmpbuf(png))) ok = false;
  else if (ok) {
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y)
      png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(y) * width * 3));
    png_write_end(png, nullptr);
  }
  if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  return ok;
}

}  // namespace

bool WritePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb,
              std::string& error) {
  Output out;
  if (!OpenOutput(path, out, error)) return false;
  FILE* f = ::fdopen(out.fd, "wb");
  if (!f) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    ::close(out.fd);
    Abandon(out);
    return false;
  }
  errno = 0;  // so a write error below is reported with its own reason
  const bool ok = WritePngRows(f, width, height, rgb.data());
  const bool flushed = std::fflush(f) == 0;
  const bool closed = std::fclose(f) == 0;
  if (!ok || !flushed || !closed) {
    error = "cannot write " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    Abandon(out);
    return false;
  }
  return Finish(out, path, error);
}

struct GifWriter::Impl {
  GifFileType* gif = nullptr;
  std::string path;
  Output out;
  int32_t width = 0, height = 0;
  std::vector<GifByteType> indices;
};

GifWriter::GifWriter() : impl_(std::make_unique<Impl>()) {}
GifWriter::~GifWriter() {
  if (impl_->gif) {
    int err = 0;
    EGifCloseFile(impl_->gif, &err);
    Abandon(impl_->out);
  }
}

bool GifWriter::Open(const std::string& path, int32_t width, int32_t height, std::string& error) {
  impl_->path = path;
  impl_->width = width;
  impl_->height = height;
  if (!OpenOutput(path, impl_->out, error)) return false;
  int err = 0;
  // The writer owns the descriptor from here on and closes it.
  impl_->gif = EGifOpenFileHandle(impl_->out.fd, &err);
  if (!impl_->gif) {
    ::close(impl_->out.fd);
    Abandon(impl_->out);
    error = "cannot write " + path + ": " + GifErrorString(err);
    return false;
  }
  GifColorType colours[256] = {};
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 7; ++g)
      for (int b = 0; b < 6; ++b) {
        GifColorType& c = colours[(r * 7 + g) * 6 + b];
        c.Red = static_cast<GifByteType>(r * 51);
        c.Green = static_cast<GifByteType>(g * 255 / 6);
        c.Blue = static_cast<GifByteType>(b * 51);
      }
  ColorMapObject* map = GifMakeMapObject(256, colours);
  EGifSetGifVersion(impl_->gif, true);
  const bool ok = EGifPutScreenDesc(impl_->gif, width, height, 8, 0, map) == GIF_OK;
  GifFreeMapObject(map);
  // Loop for ever.
  static const GifByteType netscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType loop[] = {1, 0, 0};
  const bool ext = ok && EGifPutExtensionLeader(impl_->gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
                   EGifPutExtensionBlock(impl_->gif, sizeof netscape, netscape) == GIF_OK &&
                   EGifPutExtensionBlock(impl_->gif, sizeof loop, loop) == GIF_OK &&
                   EGifPutExtensionTrailer(impl_->gif) == GIF_OK;
  if (!ext) error = "cannot write " + path;
  return ext;
}

bool GifWriter::AddFrame(const std::vector<uint8_t>& rgb, uint32_t delayMs, std::string& error) {
  const size_t n = static_cast<size_t>(impl_->width) * impl_->height;
  impl_->indices.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const int r = (rgb[3 * i] * 5 + 127) / 255, g = (rgb[3 * i + 1] * 6 + 127) / 255,
              b = (rgb[3 * i + 2] * 5 + 127) / 255;
    impl_->indices[i] = static_cast<GifByteType>((r * 7 + g) * 6 + b);
  }
  // A delay is 16 bits of hundredths (at most 655.35 s); a frame shown
  // longer is repeated with the rest of its time, so the animation keeps the
  // run's timing instead of wrapping it.
  uint64_t remaining = (static_cast<uint64_t>(delayMs) + 5) / 10;
  bool ok = true;
  do {
    const uint64_t part = remaining < kMaxGifDelay ? remaining : kMaxGifDelay;
    remaining -= part;
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
    gcb.DelayTime = static_cast<int>(part);
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    const size_t len = EGifGCBToExtension(&gcb, ext);
    ok = EGifPutExtension(impl_->gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(len), ext) == GIF_OK &&
         EGifPutImageDesc(impl_->gif, 0, 0, impl_->width, impl_->height, false, nullptr) == GIF_OK;
    for (int32_t y = 0; ok && y < impl_->height; ++y)
      ok = EGifPutLine(impl_->gif, &impl_->indices[static_cast<size_t>(y) * impl_->width], impl_->width) == GIF_OK;
  } while (ok && remaining > 0);
  if (!ok) error = "cannot write " + impl_->path;
  return ok;
}

bool GifWriter::Close(std::string& error) {
  int err = 0;
  const bool ok = EGifCloseFile(impl_->gif, &err) == GIF_OK;
  impl_->gif = nullptr;
  if (!ok) {
    error = "cannot write " + impl_->path + ": " + GifErrorString(err);
    Abandon(impl_->out);
    return false;
  }
  return Finish(impl_->out, impl_->path, error);
}

}  // namespace tk
