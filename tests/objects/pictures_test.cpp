#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/bitmap_resource.h"
#include "host/picture_check.h"
#include "host/render_host.h"
#include "platform/offscreen/memory_display.h"
#include "test_support.h"

namespace tk {
namespace {

TEST(BitmapResource, StrideRule) {
  EXPECT_EQ(BitmapStride(8, 129), 132);
  EXPECT_EQ(BitmapStride(8, 189), 192);
  EXPECT_EQ(BitmapStride(8, 70), 72);
  EXPECT_EQ(BitmapStride(8, 38), 40);
  EXPECT_EQ(BitmapStride(8, 64), 64);
  EXPECT_EQ(BitmapStride(24, 3), 12);
}

TEST(BitmapResource, ShippedPicturesLoad) {
  struct Want {
    const char* name;
    int w, h, stride;
    uint32_t used;
  };
  for (const Want& w : {Want{"BANNER", 189, 15, 192, 256}, Want{"TKLOGO", 70, 34, 72, 256},
                        Want{"YINYANG", 38, 38, 40, 0}, Want{"LCOLOR", 129, 129, 132, 0},
                        Want{"LHEIGHT", 129, 129, 132, 0}}) {
    BitmapResource b;
    ASSERT_TRUE(b.Load(EmbeddedResources(), w.name)) << w.name;
    EXPECT_EQ(b.width(), w.w);
    EXPECT_EQ(b.height(), w.h);
    EXPECT_EQ(b.stride, w.stride);
    EXPECT_EQ(b.header.bitCount, 8);
    EXPECT_EQ(b.header.colorsUsed, w.used);
    EXPECT_EQ(b.palette.size(), 256u);
    b.Release();
    EXPECT_FALSE(b.loaded());
  }
}

TEST(BitmapResource, ColourTableBecomesRedLow) {
  testing::CopiedResources res(EmbeddedResources());
  auto& b = res.bytes["YINYANG"];
  b[40 + 4 * 3] = 0x10, b[41 + 4 * 3] = 0x20, b[42 + 4 * 3] = 0x30, b[43 + 4 * 3] = 0;
  BitmapResource bmp;
  ASSERT_TRUE(bmp.Load(res, "YINYANG"));
  EXPECT_EQ(bmp.palette[3], 0x00102030u);
}

TEST(BitmapResource, RefusesMissingAndTruncatedPictures) {
  testing::CopiedResources res(EmbeddedResources());
  BitmapResource bmp;
  EXPECT_FALSE(bmp.Load(res, "NOSUCH"));
  res.bytes["LHEIGHT"].resize(2000);
  EXPECT_FALSE(bmp.Load(res, "LHEIGHT"));
  EXPECT_FALSE(bmp.loaded());
  res.bytes["BANNER"][32] = 0x00, res.bytes["BANNER"][33] = 0x10;  // 4096 colours claimed
  EXPECT_FALSE(bmp.Load(res, "BANNER"));
}

TEST(PictureCheck, ShippedPicturesAreIntact) { EXPECT_TRUE(PicturesIntact(EmbeddedResources())); }

TEST(PictureCheck, AnyDamagedPictureFails) {
  for (const char* name : {"BANNER", "TKLOGO", "YINYANG", "LCOLOR", "LHEIGHT"}) {
    testing::CopiedResources res(EmbeddedResources());
    auto& b = res.bytes[name];
    b[b.size() - 7] ^= 0x01;
    EXPECT_FALSE(PicturesIntact(res)) << name;
    res.bytes[name].clear();
    EXPECT_FALSE(PicturesIntact(res)) << name;
  }
}

// Start-up looks at the logo first and gives up at the first bad picture.
// Catches a reordered check list and a check that reads on past a mismatch.
TEST(PictureCheck, ChecksInOrderAndStopsAtTheFirstMismatch) {
  class Recording final : public ResourceSource {
   public:
    explicit Recording(const ResourceSource& from) : from_(from) {}
    ResourceBytes FindBitmap(std::string_view name) const override {
      asked.emplace_back(name);
      return from_.FindBitmap(name);
    }
    mutable std::vector<std::string> asked;

   private:
    const ResourceSource& from_;
  };
  const std::vector<std::string> all{"TKLOGO", "BANNER", "YINYANG", "LCOLOR", "LHEIGHT"};
  {
    Recording res(EmbeddedResources());
    EXPECT_TRUE(PicturesIntact(res));
    EXPECT_EQ(res.asked, all);
  }
  testing::CopiedResources copy(EmbeddedResources());
  auto& b = copy.bytes["YINYANG"];
  b[b.size() - 1] ^= 0x80;
  Recording res(copy);
  EXPECT_FALSE(PicturesIntact(res));
  EXPECT_EQ(res.asked, (std::vector<std::string>{"TKLOGO", "BANNER", "YINYANG"}));
}

class NoStore final : public SettingsStore {
 public:
  bool Open() override { return false; }
  Value Query(std::string_view) override { return {}; }
  bool Save(std::span<const NamedValue>) override { return false; }
};

class CountingThreads final : public ThreadStarter {
 public:
  bool Start(std::function<void()>, int32_t) override {
    ++starts;
    return true;
  }
  void Join() override {}
  int starts = 0;
};

TEST(PictureCheck, CorruptPictureStopsTheHost) {
  testing::CopiedResources res(EmbeddedResources());
  res.bytes["LCOLOR"][5000] ^= 0xFF;
  MemoryDisplay display(320, 240);
  NoStore store;
  CountingThreads threads;
  HostPlatform platform{{&display}, store, res, threads, nullptr};
  {
    RenderHost host(platform, 42);
    ASSERT_NE(host.errorText(), nullptr);
    EXPECT_STREQ(host.errorText(), messages::kFileCorrupt);
    EXPECT_FALSE(host.threadStarted());
  }
  EXPECT_EQ(threads.starts, 0);
  EXPECT_FALSE(display.isOpen());
}

}  // namespace
}  // namespace tk
