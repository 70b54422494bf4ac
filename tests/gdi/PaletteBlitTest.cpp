// Blits from palette DIB sections onto a metafile: the source travels at its
// own depth with its colour table, and plays back as drawn.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "ReplayCompare.h"

namespace {

using drawtest::Rec;

// A bottom-up DIB section of `bpp` bits whose table runs through distinct
// colours and whose pixels cycle through the table.
struct PaletteBitmap {
  HBITMAP bitmap = nullptr;
  std::vector<uint32_t> table;  // 0x00RRGGBB
  PaletteBitmap(int bpp, int w, int h) {
    const int n = 1 << bpp;
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + n * sizeof(RGBQUAD));
    BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), w, h, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(info.data(), &header, sizeof header);
    for (int i = 0; i < n; ++i) {
      const uint32_t c = uint32_t(i * 255 / (n - 1)) << 16 | uint32_t(255 - i * 97 % 256) << 8 | uint32_t(i * 53 % 256);
      table.push_back(c);
      RGBQUAD q{BYTE(c), BYTE(c >> 8), BYTE(c >> 16), 0};
      std::memcpy(info.data() + sizeof header + i * sizeof q, &q, sizeof q);
    }
    void *bits = nullptr;
    bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
    const size_t stride = (size_t(w) * bpp + 31) / 32 * 4;
    auto *p = static_cast<uint8_t *>(bits);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int index = (x / 3 + y) % n, bit = x * bpp;
        p[y * stride + bit / 8] |= uint8_t(index << (8 - bpp - bit % 8));
      }
  }
  ~PaletteBitmap() { DeleteObject(bitmap); }
};

void Blit(HDC dc, HBITMAP bitmap, int srcX, int srcY, int w, int h) {
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, bitmap);
  BitBlt(dc, 10, 12, w, h, source, srcX, srcY, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
}

TEST(PaletteBlit, SourcesKeepTheirDepthAndTableAndPlayBackAsDrawn) {
  for (int bpp : {1, 4, 8}) {
    PaletteBitmap pb(bpp, 90, 40);
    SCOPED_TRACE(bpp);
    // The whole bitmap, and an area of it that starts inside a byte.
    for (auto [sx, sy, w, h] : {std::array{0, 0, 90, 40}, std::array{5, 3, 61, 30}}) {
      auto draw = [&](HDC dc) { Blit(dc, pb.bitmap, sx, sy, w, h); };
      replay::ExpectSameAsDirect(draw, "area from " + std::to_string(sx));
      std::vector<Rec> recs = drawtest::Recorded(draw);
      auto blt = std::find_if(recs.begin(), recs.end(), [](const Rec &r) { return r.type == EMR_BITBLT; });
      ASSERT_NE(blt, recs.end());
      const auto r = blt->As<EMRBITBLT>();
      const auto bih = blt->At<BITMAPINFOHEADER>(r.offBmiSrc);
      EXPECT_EQ(bih.biBitCount, bpp);
      EXPECT_EQ(bih.biWidth, w);
      EXPECT_EQ(bih.biHeight, h);
      ASSERT_EQ(r.cbBmiSrc, sizeof(BITMAPINFOHEADER) + pb.table.size() * sizeof(RGBQUAD));
      for (size_t i = 0; i < pb.table.size(); ++i) {
        const auto q = blt->At<RGBQUAD>(r.offBmiSrc + sizeof(BITMAPINFOHEADER) + i * sizeof(RGBQUAD));
        EXPECT_EQ(uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue, pb.table[i]) << i;
      }
      EXPECT_EQ(r.cbBitsSrc, (size_t(w) * bpp + 31) / 32 * 4 * size_t(h));
    }
  }
}

// The recorded bits are the section's own indices of the area, rows
// bottom-up and padding clear, read where the section holds them.
TEST(PaletteBlit, RecordedIndicesAreTheSectionsOwn) {
  for (int bpp : {1, 4, 8}) {
    const int bw = 45, bh = 19;
    PaletteBitmap pb(bpp, bw, bh);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectW(pb.bitmap, sizeof ds, &ds), int(sizeof ds));
    const auto *section = static_cast<const uint8_t *>(ds.dsBm.bmBits);
    const size_t sectionStride = (size_t(bw) * bpp + 31) / 32 * 4;
    auto indexAt = [&](const uint8_t *rows, size_t stride, int x, int row) {
      const int bit = x * bpp;
      return (rows[size_t(row) * stride + size_t(bit / 8)] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
    };
    for (auto [sx, sy, w, h] : {std::array{0, 0, bw, bh}, std::array{5, 3, 31, 11}, std::array{1, 7, 44, 12}}) {
      SCOPED_TRACE(std::to_string(bpp) + " bpp from " + std::to_string(sx) + "," + std::to_string(sy));
      std::vector<Rec> recs = drawtest::Recorded([&](HDC dc) { Blit(dc, pb.bitmap, sx, sy, w, h); });
      auto blt = std::find_if(recs.begin(), recs.end(), [](const Rec &r) { return r.type == EMR_BITBLT; });
      ASSERT_NE(blt, recs.end());
      const auto r = blt->As<EMRBITBLT>();
      const size_t stride = (size_t(w) * bpp + 31) / 32 * 4;
      ASSERT_EQ(r.cbBitsSrc, stride * size_t(h));
      std::vector<uint8_t> bits(r.cbBitsSrc);
      for (size_t i = 0; i < bits.size(); ++i) bits[i] = blt->At<uint8_t>(r.offBitsSrc + i);
      for (int y = 0; y < h; ++y) {
        // Row y of the area from the top; the section is bottom-up too.
        const int sectionRow = bh - 1 - (sy + y), recordRow = h - 1 - y;
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(indexAt(bits.data(), stride, x, recordRow), indexAt(section, sectionStride, sx + x, sectionRow))
              << x << "," << y;
        for (size_t bit = size_t(w) * bpp; bit < stride * 8; ++bit)
          ASSERT_EQ(bits[size_t(recordRow) * stride + bit / 8] >> (7 - bit % 8) & 1, 0) << "padding of row " << y;
      }
    }
  }
}

// A whole section is recorded from its own bits: top-down rows come out
// bottom-up, stray bits past the width are cleared, and a table that holds a
// colour twice records each pixel at that colour's first index, as an area of
// the same section does.
TEST(PaletteBlit, WholeSectionsMatchTheirAreas) {
  struct Case {
    int bpp;
    bool topDown, twice;
  };
  for (Case c : {Case{1, false, false}, Case{1, true, false}, Case{4, true, false}, Case{8, true, false},
                 Case{4, false, true}, Case{1, true, true}}) {
    SCOPED_TRACE(std::to_string(c.bpp) + (c.topDown ? " top-down" : " bottom-up") + (c.twice ? " twice" : ""));
    const int n = 1 << c.bpp, w = 37, h = 9;
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + n * sizeof(RGBQUAD));
    const BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), w, c.topDown ? -h : h, 1, WORD(c.bpp), BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(info.data(), &header, sizeof header);
    for (int i = 0; i < n; ++i) {
      const int colour = c.twice && i == 1 ? 0 : i;
      const RGBQUAD q{BYTE(colour * 7), BYTE(255 - colour), BYTE(colour * 3 % 256), 0};
      std::memcpy(info.data() + sizeof header + i * sizeof q, &q, sizeof q);
    }
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    const size_t stride = (size_t(w) * c.bpp + 31) / 32 * 4;
    for (size_t i = 0; i < stride * h; ++i) static_cast<uint8_t *>(bits)[i] = uint8_t(i * 131 + 17);  // padding too
    // A wider twin holds the same pixels; its first w columns go the general way.
    const BITMAPINFOHEADER wider{sizeof(BITMAPINFOHEADER), w + 8, header.biHeight, 1, WORD(c.bpp), BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint8_t> info2(info);
    std::memcpy(info2.data(), &wider, sizeof wider);
    void *bits2 = nullptr;
    HBITMAP twin = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(info2.data()), DIB_RGB_COLORS, &bits2, nullptr, 0);
    ASSERT_NE(twin, nullptr);
    const size_t stride2 = (size_t(w + 8) * c.bpp + 31) / 32 * 4;
    for (int y = 0; y < h; ++y)
      std::memcpy(static_cast<uint8_t *>(bits2) + y * stride2, static_cast<uint8_t *>(bits) + y * stride, stride);
    auto recorded = [](HBITMAP b, int width, int height) {
      std::vector<Rec> recs = drawtest::Recorded([&](HDC dc) { Blit(dc, b, 0, 0, width, height); });
      auto blt = std::find_if(recs.begin(), recs.end(), [](const Rec &r) { return r.type == EMR_BITBLT; });
      std::vector<uint8_t> out;
      if (blt == recs.end()) return out;
      const auto r = blt->As<EMRBITBLT>();
      for (size_t i = 0; i < r.cbBmiSrc + r.cbBitsSrc; ++i) out.push_back(blt->At<uint8_t>(r.offBmiSrc + i));
      return out;
    };
    const std::vector<uint8_t> whole = recorded(bitmap, w, h), area = recorded(twin, w, h);
    ASSERT_FALSE(whole.empty());
    EXPECT_EQ(whole, area);
    DeleteObject(bitmap);
    DeleteObject(twin);
  }
}

TEST(PaletteBlit, ColourSourcesTravelAtTwentyFourBits) {
  drawtest::Canvas colour(30, 20);
  std::vector<Rec> recs = drawtest::Recorded([&](HDC dc) { BitBlt(dc, 0, 0, 30, 20, colour.dc, 0, 0, SRCCOPY); });
  auto blt = std::find_if(recs.begin(), recs.end(), [](const Rec &r) { return r.type == EMR_BITBLT; });
  ASSERT_NE(blt, recs.end());
  EXPECT_EQ(blt->At<BITMAPINFOHEADER>(blt->As<EMRBITBLT>().offBmiSrc).biBitCount, 24);
}

}  // namespace
