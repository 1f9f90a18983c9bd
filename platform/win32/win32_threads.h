#pragma once
#include <windows.h>

#include <functional>

#include "host/render_host.h"

namespace tk::win32 {

// The render thread as the saver has always run it: a 16000-byte stack and
// the settings priority passed to the system unchanged.
class Win32ThreadStarter final : public ThreadStarter {
 public:
  ~Win32ThreadStarter() override;
  bool Start(std::function<void()> body, int32_t priority) override;
  void Join() override;

 private:
  static DWORD WINAPI Entry(void* self);
  std::function<void()> body_;
  HANDLE thread_ = nullptr;
};

}  // namespace tk::win32
