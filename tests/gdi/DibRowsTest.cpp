// DIB rows converted a row at a time agree with the per-pixel accessor at
// every depth and layout, and one picture blitted from different DIB
// layouts (drawn from where it lies, converted, 1 bpp) gives the same pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ReplayCompare.h"
#include "platform/gdi/Dib.h"

namespace {

using nx::gdi::DibView;

// A packed DIB whose bits (row padding included) are pseudo-random bytes.
struct TestDib {
  std::vector<uint8_t> info, bits;
  DibView view;
  TestDib(int w, int h, int bpp, bool topDown, DWORD compression = BI_RGB, std::array<uint32_t, 3> masks = {},
          DWORD colours = 0, unsigned seed = 1) {
    BITMAPINFOHEADER head{sizeof head, w, topDown ? -h : h, 1, WORD(bpp), compression, 0, 0, 0, colours, 0};
    info.resize(sizeof head);
    std::memcpy(info.data(), &head, sizeof head);
    std::mt19937 rng(seed);
    if (compression == BI_BITFIELDS) {
      info.resize(info.size() + 12);
      std::memcpy(info.data() + sizeof head, masks.data(), 12);
    } else if (bpp <= 8) {
      const size_t n = colours ? colours : size_t{1} << bpp;
      for (size_t i = 0; i < 4 * n; ++i) info.push_back(uint8_t(i % 4 == 3 ? 0 : rng()));
    }
    bits.resize(nx::gdi::DibStride(w, bpp) * size_t(h));
    for (uint8_t &b : bits) b = uint8_t(rng());
    EXPECT_TRUE(nx::gdi::ParseDibInfo(info.data(), info.size(), DIB_RGB_COLORS, &view));
    EXPECT_TRUE(nx::gdi::AttachDibBits(&view, bits.data(), bits.size()));
  }
  const BITMAPINFO *Info() const { return reinterpret_cast<const BITMAPINFO *>(info.data()); }
};

// Where Row and Pixel first disagree, or "".
std::string RowsAgainstPixels(const DibView &v) {
  std::vector<uint32_t> row(size_t(v.width));
  for (int y = 0; y < v.height; ++y) {
    for (uint32_t set : {0u, 0xFF000000u}) {
      v.Row(y, row.data(), set);
      for (int x = 0; x < v.width; ++x)
        if (row[size_t(x)] != (set | v.Pixel(x, y)))
          return "row " + std::to_string(y) + " column " + std::to_string(x);
    }
  }
  return "";
}

TEST(DibRows, EveryDepthAndLayoutConvertsAsPixelDoes) {
  for (int w : {1, 7, 13, 33}) {
    for (bool topDown : {false, true}) {
      SCOPED_TRACE("width " + std::to_string(w) + (topDown ? " top-down" : " bottom-up"));
      for (int bpp : {1, 4, 8, 16, 24, 32}) {
        TestDib dib(w, 5, bpp, topDown);
        EXPECT_EQ(RowsAgainstPixels(dib.view), "") << bpp << " bpp";
      }
      // A short colour table: the entries beyond it are the defaults.
      for (int bpp : {4, 8}) EXPECT_EQ(RowsAgainstPixels(TestDib(w, 4, bpp, topDown, BI_RGB, {}, 3).view), "");
      const std::array<uint32_t, 3> m565{0xF800, 0x07E0, 0x001F}, m444{0x0F00, 0x00F0, 0x000F},
          bgr{0x0000FF, 0x00FF00, 0xFF0000}, m1010{0x3FF00000, 0x000FFC00, 0x000003FF}, gaps{0xFF0000, 0, 0x0F0F};
      for (auto masks : {m565, m444}) EXPECT_EQ(RowsAgainstPixels(TestDib(w, 3, 16, topDown, BI_BITFIELDS, masks).view), "");
      for (auto masks : {bgr, m1010, gaps})
        EXPECT_EQ(RowsAgainstPixels(TestDib(w, 3, 32, topDown, BI_BITFIELDS, masks).view), "");
    }
  }
}

// Where DIBitsToPixels and SetDIBits into a 32-bpp top-down DIB section
// (then the colour bits of the section) first disagree, or "".
std::string DirectAgainstSection(const TestDib &dib) {
  const int w = dib.view.width, h = dib.view.height;
  BITMAPINFO top{};
  top.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *p = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, &top, DIB_RGB_COLORS, &p, nullptr, 0);
  if (!section || !p) return "no section";
  const int lines = SetDIBits(nullptr, section, 0, UINT(h), dib.bits.data(), dib.Info(), DIB_RGB_COLORS);
  GdiFlush();
  std::vector<uint32_t> want(static_cast<const uint32_t *>(p), static_cast<const uint32_t *>(p) + size_t(w) * h);
  DeleteObject(section);
  // Bytes the conversion leaves alone would keep this pattern.
  std::vector<DWORD> got(size_t(w) * h, 0xA5A5A5A5u);
  const int rows = DIBitsToPixels(dib.Info(), dib.info.size(), dib.bits.data(), dib.bits.size(), DIB_RGB_COLORS,
                                  got.data());
  if (rows != h || lines != h) return "rows " + std::to_string(rows) + " and " + std::to_string(lines);
  for (size_t i = 0; i < got.size(); ++i)
    if (got[i] != (want[i] & 0xFFFFFF)) return "pixel " + std::to_string(i);
  return "";
}

TEST(DibRows, DirectConversionGivesTheSectionsPixels) {
  const std::array<uint32_t, 3> m565{0xF800, 0x07E0, 0x001F}, m1010{0x3FF00000, 0x000FFC00, 0x000003FF};
  for (int w : {1, 7, 13, 33, 64}) {
    for (bool topDown : {false, true}) {
      SCOPED_TRACE("width " + std::to_string(w) + (topDown ? " top-down" : " bottom-up"));
      for (int bpp : {1, 4, 8, 16, 24, 32}) EXPECT_EQ(DirectAgainstSection(TestDib(w, 5, bpp, topDown)), "") << bpp;
      for (int bpp : {1, 4, 8})  // short colour tables
        EXPECT_EQ(DirectAgainstSection(TestDib(w, 4, bpp, topDown, BI_RGB, {}, bpp == 1 ? 1 : 3, 9)), "") << bpp;
      EXPECT_EQ(DirectAgainstSection(TestDib(w, 3, 16, topDown, BI_BITFIELDS, m565)), "");
      EXPECT_EQ(DirectAgainstSection(TestDib(w, 3, 32, topDown, BI_BITFIELDS, m1010)), "");
    }
  }
}

TEST(DibRows, DirectConversionRefusesUnsoundDibsAndWritesNothing) {
  const TestDib good(9, 4, 8, false);
  std::vector<DWORD> out(36, 0x5A5A5A5Au);
  auto refused = [&](const std::vector<uint8_t> &info, size_t infoSize, size_t bitsSize) {
    const int rows = DIBitsToPixels(reinterpret_cast<const BITMAPINFO *>(info.data()), infoSize, good.bits.data(),
                                    bitsSize, DIB_RGB_COLORS, out.data());
    return rows == 0 && std::all_of(out.begin(), out.end(), [](DWORD p) { return p == 0x5A5A5A5Au; });
  };
  const size_t all = good.bits.size();
  EXPECT_TRUE(refused(good.info, good.info.size(), all - 1)) << "a row short";
  EXPECT_TRUE(refused(good.info, good.info.size() - 4, all)) << "colour table past the header's bytes";
  EXPECT_TRUE(refused(good.info, sizeof(BITMAPINFOHEADER) - 1, all)) << "header cut";
  auto with = [&](auto change) {
    std::vector<uint8_t> info = good.info;
    BITMAPINFOHEADER h;
    std::memcpy(&h, info.data(), sizeof h);
    change(h);
    std::memcpy(info.data(), &h, sizeof h);
    return info;
  };
  for (DWORD c : {DWORD(BI_RLE8), DWORD(BI_RLE4), DWORD(BI_JPEG), DWORD(BI_PNG)})
    EXPECT_TRUE(refused(with([c](BITMAPINFOHEADER &h) { h.biCompression = c; }), good.info.size(), all)) << c;
  EXPECT_TRUE(refused(with([](BITMAPINFOHEADER &h) { h.biBitCount = 2; }), good.info.size(), all));
  EXPECT_TRUE(refused(with([](BITMAPINFOHEADER &h) { h.biPlanes = 2; }), good.info.size(), all));
  EXPECT_TRUE(refused(with([](BITMAPINFOHEADER &h) { h.biWidth = 0; }), good.info.size(), all));
  EXPECT_TRUE(refused(with([](BITMAPINFOHEADER &h) { h.biHeight = 0; }), good.info.size(), all));
  EXPECT_TRUE(refused(with([](BITMAPINFOHEADER &h) { h.biSize = 4096; }), good.info.size(), all));
  EXPECT_EQ(DIBitsToPixels(good.Info(), good.info.size(), nullptr, all, DIB_RGB_COLORS, out.data()), 0);
  EXPECT_EQ(DIBitsToPixels(good.Info(), good.info.size(), good.bits.data(), all, DIB_RGB_COLORS, nullptr), 0);
  EXPECT_EQ(DIBitsToPixels(good.Info(), good.info.size(), good.bits.data(), all, DIB_RGB_COLORS, out.data()), 4);
}

// The same picture as a packed DIB of another layout: 32 bpp either way
// up, 24 bpp bottom-up, or 1 bpp with a two-colour table when it has two.
std::vector<uint8_t> Repacked(const std::vector<uint32_t> &px, int w, int h, int bpp, bool topDown,
                              size_t *infoSize) {
  const size_t stride = nx::gdi::DibStride(w, bpp), table = bpp == 1 ? 2 : 0;
  *infoSize = sizeof(BITMAPINFOHEADER) + 4 * table;
  std::vector<uint8_t> out(*infoSize + stride * size_t(h), 0);
  BITMAPINFOHEADER head{sizeof head, w, topDown ? -h : h, 1, WORD(bpp), BI_RGB, 0, 0, 0, DWORD(table), 0};
  std::memcpy(out.data(), &head, sizeof head);
  const uint32_t one = px[0], other = bpp == 1 ? *std::find_if(px.begin(), px.end(), [&](uint32_t p) { return p != one; }) : 0;
  if (bpp == 1) {
    std::memcpy(out.data() + sizeof head, &one, 4);
    std::memcpy(out.data() + sizeof head + 4, &other, 4);
  }
  for (int y = 0; y < h; ++y) {
    uint8_t *row = out.data() + *infoSize + stride * size_t(topDown ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) {
      const uint32_t p = px[size_t(y) * size_t(w) + size_t(x)];
      if (bpp == 32) std::memcpy(row + 4 * x, &p, 4);
      if (bpp == 24) std::memcpy(row + 3 * x, &p, 3);
      if (bpp == 1 && p == other) row[x / 8] |= uint8_t(0x80 >> (x % 8));
    }
  }
  return out;
}

// Stretched, shrunk, mirrored, a part of the source (sy counted from the
// picture's top), and clipped.
struct Blit {
  int x, y, w, h, sx, sy, sw, sh;
  bool clip;
};
constexpr Blit kBlits[] = {{3, 2, 61, 45, 0, 0, 61, 45, false},   {5, 4, 150, 80, 0, 0, 61, 45, false},
                           {2, 1, 17, 13, 0, 0, 61, 45, false},   {90, 70, -40, -31, 0, 0, 61, 45, false},
                           {10, 6, 77, 29, 7, 5, 33, 21, false},  {4, 3, 120, 85, 0, 0, 61, 45, true}};

// A bottom-up DIB's source rectangle starts from its lower left corner.
void Draw(HDC dc, const std::vector<uint8_t> &dib, size_t infoSize, const Blit &b) {
  BITMAPINFOHEADER head;
  std::memcpy(&head, dib.data(), sizeof head);
  const int sy = head.biHeight < 0 ? b.sy : head.biHeight - b.sy - b.sh;
  SaveDC(dc);
  if (b.clip) IntersectClipRect(dc, 20, 15, 71, 58);
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, b.x, b.y, b.w, b.h, b.sx, sy, b.sw, b.sh, dib.data() + infoSize,
                reinterpret_cast<const BITMAPINFO *>(dib.data()), DIB_RGB_COLORS, SRCCOPY);
  RestoreDC(dc, -1);
}

void ExpectLayoutsAgree(const std::vector<uint32_t> &px, int w, int h, const std::vector<int> &depths) {
  size_t refInfo = 0;
  const std::vector<uint8_t> reference = Repacked(px, w, h, 24, false, &refInfo);
  for (const Blit &b : kBlits) {
    drawtest::Canvas want(replay::kW, replay::kH);
    Draw(want.dc, reference, refInfo, b);
    for (int bpp : depths)
      for (bool topDown : {false, true}) {
        size_t info = 0;
        const std::vector<uint8_t> dib = Repacked(px, w, h, bpp, topDown, &info);
        const std::string what = std::to_string(bpp) + " bpp" + (topDown ? " top-down" : " bottom-up") +
                                 " into " + std::to_string(b.w) + " x " + std::to_string(b.h) + " at " +
                                 std::to_string(b.x) + "," + std::to_string(b.y);
        drawtest::Canvas got(replay::kW, replay::kH), played(replay::kW, replay::kH);
        Draw(got.dc, dib, info, b);
        HENHMETAFILE emf = replay::Record([&](HDC dc) { Draw(dc, dib, info, b); });
        replay::Play(emf, &played);
        DeleteEnhMetaFile(emf);
        std::string first;
        EXPECT_EQ(replay::Differences(want, got, &first), 0) << what << ": " << first;
        EXPECT_EQ(replay::Differences(want, played, &first), 0) << what << " played: " << first;
      }
  }
}

TEST(DibRows, OnePictureBlitsAlikeFromEveryLayout) {
  const int w = 61, h = 45;
  std::vector<uint32_t> px(size_t(w) * h);
  std::mt19937 rng(7);
  for (uint32_t &p : px) p = rng() & 0xFFFFFF;
  ExpectLayoutsAgree(px, w, h, {24, 32});
}

TEST(DibRows, TwoColourPictureBlitsAlikeAtOneBit) {
  const int w = 61, h = 45;
  std::vector<uint32_t> px(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px[size_t(y) * w + x] = ((x / 3 + y / 2) % 3 == 0) ? 0x102030 : 0xF0E0D0;
  ExpectLayoutsAgree(px, w, h, {1, 32});
}

}  // namespace
