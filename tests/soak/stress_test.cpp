// A thousand start-ups and teardowns of the render host with its real
// thread, torn down at the awkward moments: during the first frame, during
// the pause before an object, in error mode, and right after a monitor
// power-down. Run under the thread sanitizer in the test command.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host/render_host.h"
#include "platform/offscreen/memory_display.h"
#include "platform/offscreen/memory_store.h"

namespace tk {
namespace {

TEST(StartStopStress, AThousandStartUpsAndTeardowns) {
  MemorySettingsStore store;
  int started = 0, errors = 0, powerDowns = 0;
  for (int i = 0; i < 1000; ++i) {
    MemoryDisplay display(96, 64);
    StdThreadStarter threads;
    HostPlatform p{{&display}, store, EmbeddedResources(), threads, nullptr};
    const int variant = i % 4;
    if (variant == 2) display.failOpen = DisplayOpen::kSurfaceFailed;
    {
      RenderHost host(p, static_cast<uint32_t>(i));
      switch (variant) {
        case 0:  // torn down during the first frame
          break;
        case 1:  // during the pause before the first object
          std::this_thread::sleep_for(std::chrono::microseconds(300));
          break;
        case 2:
          ASSERT_NE(host.errorText(), nullptr);
          ++errors;
          break;
        case 3:
          std::this_thread::sleep_for(std::chrono::microseconds(100));
          host.OnMonitorPowerDown();
          ++powerDowns;
          EXPECT_FALSE(display.isOpen());
          break;
      }
      started += host.threadStarted();
    }
    ASSERT_FALSE(display.isOpen());
    ASSERT_FALSE(display.isLocked());
    ASSERT_LE(display.closeCount, 1);
    ASSERT_EQ(display.attachCount, display.detachCount);
  }
  EXPECT_EQ(started, 750);
  EXPECT_EQ(errors, 250);
  EXPECT_EQ(powerDowns, 250);
}

}  // namespace
}  // namespace tk
