#include "win32_threads.h"

namespace tk::win32 {

Win32ThreadStarter::~Win32ThreadStarter() { Join(); }

DWORD WINAPI Win32ThreadStarter::Entry(void* self) {
  static_cast<Win32ThreadStarter*>(self)->body_();
  return 0;
}

bool Win32ThreadStarter::Start(std::function<void()> body, int32_t priority) {
  if (thread_) return false;
  body_ = std::move(body);
  DWORD id = 0;
  // The stack size is a commit size here; the render thread's frames are small.
  thread_ = CreateThread(nullptr, 16000, Entry, this, 0, &id);
  if (!thread_) return false;
  SetThreadPriority(thread_, priority);
  return true;
}

void Win32ThreadStarter::Join() {
  if (!thread_) return;
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
}

}  // namespace tk::win32
