#include "platform/offscreen/sheet.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/random.h"
#include "host/frame_buffer.h"
#include "objects/objects.h"
#include "platform/offscreen/image_writers.h"
#include "platform/offscreen/memory_display.h"
#include "settings/settings.h"

namespace tk {
namespace {

constexpr int32_t kCellW = 320, kCellH = 240, kColumns = 5, kGap = 4;

// Digits 0..9 as 3 x 5 bitmaps, one row per 3 low bits (left pixel highest).
constexpr uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

void PutLabel(std::vector<uint8_t>& rgb, int32_t sheetW, int32_t left, int32_t top, int kind) {
  const std::string text = std::to_string(kind);
  constexpr int kScale = 3;
  for (size_t i = 0; i < text.size(); ++i) {
    const int d = text[i] - '0';
    for (int row = 0; row < 5; ++row)
      for (int col = 0; col < 3; ++col) {
        if (!((kDigits[d][row] >> (2 - col)) & 1)) continue;
        for (int sy = 0; sy < kScale; ++sy)
          for (int sx = 0; sx < kScale; ++sx) {
            const int32_t x = left + static_cast<int32_t>(i) * 4 * kScale + col * kScale + sx;
            const int32_t y = top + row * kScale + sy;
            uint8_t* p = &rgb[(static_cast<size_t>(y) * sheetW + x) * 3];
            p[0] = 255, p[1] = 220, p[2] = 60;
          }
      }
  }
}

}  // namespace

int RunSheetImpl(const Options& options) {
  const std::string path = options.sheetPath.empty() ? std::string("sheet.png") : options.sheetPath;
  // Twelve objects, then the two forms of the maker's picture (kind 12).
  struct Cell {
    int kind, pictureDraw;
  };
  std::vector<Cell> cells;
  for (int k = 0; k < 12; ++k) cells.push_back({k, 0});
  cells.push_back({12, 0});
  cells.push_back({12, 9});
  const int32_t rows = static_cast<int32_t>((cells.size() + kColumns - 1) / kColumns);
  const int32_t sheetW = kColumns * kCellW + (kColumns + 1) * kGap;
  const int32_t sheetH = rows * kCellH + (rows + 1) * kGap;
  std::vector<uint8_t> sheet(static_cast<size_t>(sheetW) * sheetH * 3, 40);

  SimulatedTickSource ticks(100000);
  InstallTickSource(&ticks);
  SeedRandom(options.seed);
  const Viewport v = MakeViewport(kCellW, kCellH);
  for (size_t i = 0; i < cells.size(); ++i) {
    MemoryDisplay cell(kCellW, kCellH);
    cell.Open();
    auto o = MakeObject(cells[i].kind, cells[i].pictureDraw);
    o->Start(v);
    // A moment into the showing phase: at rest, in the middle of the cell.
    ticks.Advance(static_cast<uint32_t>(o->entryDuration) + 700);
    o->Update();
    {
      std::vector<Rect> visible;
      FrameBuffer fb(cell, visible);
      o->Draw(fb, v);
    }
    const std::vector<uint8_t> rgb = cell.ToRgb();
    const int32_t left = kGap + static_cast<int32_t>(i % kColumns) * (kCellW + kGap);
    const int32_t top = kGap + static_cast<int32_t>(i / kColumns) * (kCellH + kGap);
    for (int32_t y = 0; y < kCellH; ++y)
      std::copy_n(&rgb[static_cast<size_t>(y) * kCellW * 3], kCellW * 3,
                  &sheet[(static_cast<size_t>(top + y) * sheetW + left) * 3]);
    PutLabel(sheet, sheetW, left + 6, top + 6, cells[i].kind);
    cell.Close();
  }
  InstallTickSource(nullptr);

  std::string error;
  if (!WritePng(path, sheetW, sheetH, sheet, error)) {
    std::fprintf(stderr, "telkarim: %s\n", OneLine(error).c_str());
    return 2;
  }
  return 0;
}

}  // namespace tk
