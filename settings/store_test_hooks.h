#pragma once
// For the tests only: places where a test makes the settings file store meet
// what the world does to it (a full disk, another program's change, a hung
// mount). Process-wide; a test sets them and puts them back.
#include <cstddef>
#include <functional>

namespace tk {

struct StoreTestHooks {
  // The write of a new file fails once this many bytes were written.
  size_t writeLimit = static_cast<size_t>(-1);
  // Runs after a save has written its new file and before it replaces the
  // old one, where another program may change the file.
  std::function<void()> beforeReplace;
  // Runs on the loading thread before it reads, as a hung mount would hold it.
  std::function<void()> beforeLoad;
  // How long a load waits for the file; 0 for the store's own limit.
  int loadTimeoutMs = 0;
};

StoreTestHooks& TestHooks();

}  // namespace tk
