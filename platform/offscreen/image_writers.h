#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tk {

// Writes packed 8-bit RGB rows as a PNG. The file is written to a new
// temporary file made exclusively beside the target and renamed into place,
// so a failure never leaves a half-written picture and a name planted by
// someone else is never written through. A link is followed to its file (by
// the kernel's protected-link rule in shared folders); a read-only file is
// refused; a device or pipe is written in place. Returns false with a
// one-line reason.
bool WritePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb,
              std::string& error);

// An animated GIF built frame by frame on a fixed 6x7x6 colour cube, so the
// same frames always give the same bytes.
class GifWriter {
 public:
  GifWriter();
  ~GifWriter();
  bool Open(const std::string& path, int32_t width, int32_t height, std::string& error);
  // delayMs is how long this frame stays up; beyond the format's 655.35 s the
  // frame is repeated for the rest of the time.
  bool AddFrame(const std::vector<uint8_t>& rgb, uint32_t delayMs, std::string& error);
  // Finishes the file and renames it into place.
  bool Close(std::string& error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tk
