// Helpers of the drawing tests: a memory DC over a 32-bpp DIB section whose
// pixels the tests read directly, and the records of a metafile.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "gdi/EmfTestUtil.h"
#include "platform/gdi/GdiInternal.h"
#include "platform/win32.h"

namespace drawtest {

// A memory DC drawing into a white top-down 32-bpp DIB section.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t *bits = nullptr;
  int w, h;
  Canvas(int width, int height, bool bottomUp = false) : w(width), h(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = bottomUp ? h : -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *p = nullptr;
    bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint32_t *>(p);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
    for (int i = 0; i < w * h; ++i) bits[i] = 0xFFFFFF;
    this->bottomUp = bottomUp;
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  bool bottomUp = false;
  // Pixel (x, y) from the top as 0xRRGGBB.
  uint32_t At(int x, int y) const {
    int row = bottomUp ? h - 1 - y : y;
    return bits[row * w + x] & 0xFFFFFF;
  }
  // The area as text: '#' for `ink`, '.' for white, '?' for anything else.
  std::string Map(int x0, int y0, int x1, int y1, uint32_t ink = 0) const {
    std::string s;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        uint32_t p = At(x, y);
        s += p == ink ? '#' : p == 0xFFFFFF ? '.' : '?';
      }
      s += '\n';
    }
    return s;
  }
  int Count(uint32_t color) const {
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) n += At(x, y) == color;
    return n;
  }
};

using Rec = nxtest::EmfRecord;

inline std::vector<Rec> Records(HENHMETAFILE h) {
  auto *o = nx::gdi::Lookup<nx::gdi::EnhMetaFileObj>(h, nx::gdi::Kind::EnhMetaFile);
  return o ? emftest::Split(o->bytes) : std::vector<Rec>();
}

// Records of a metafile drawn by `draw`, without header and EOF.
template <class F>
std::vector<Rec> Recorded(F draw, ENHMETAHEADER *header = nullptr) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  draw(dc);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  auto all = Records(emf);
  DeleteEnhMetaFile(emf);
  if (all.size() < 2) return {};
  if (header) *header = all.front().As<ENHMETAHEADER>();
  return std::vector<Rec>(all.begin() + 1, all.end() - 1);
}

}  // namespace drawtest
