// Blit records played onto a metafile DC: the records written again must be
// the ones a blit from a DIB section of the record's DIB gives (the general
// path), whatever the DIB's format, source rectangle, raster operation or
// the destination's transform, and they must draw the page as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gdi/DrawTestSupport.h"
#include "support/TestSupport.h"

namespace {

using drawtest::Rec;

// A DIB as a record carries it: header with colours or masks, then bits.
struct TestDib {
  std::vector<uint8_t> info, bits;
  int w = 0, h = 0, bpp = 0;
  size_t stride = 0;
};

struct DibSpec {
  int bpp = 24, w = 37, h = 23;
  bool topDown = false;
  DWORD compression = BI_RGB;
  DWORD clrUsed = 0;        // 0: a full table
  bool twice = false;       // one colour stands twice in the table
  const char *name = "";
};

// Every byte of the bits differs from its neighbours, the row padding
// included (the general path drops what lies past the width).
TestDib MakeDib(const DibSpec &s) {
  TestDib d;
  d.w = s.w, d.h = s.h, d.bpp = s.bpp;
  d.stride = (size_t(s.w) * s.bpp + 31) / 32 * 4;
  BITMAPINFOHEADER bih{sizeof(BITMAPINFOHEADER), s.w, s.topDown ? -s.h : s.h, 1, WORD(s.bpp), s.compression,
                       0, 0, 0, s.clrUsed, 0};
  emftest::Append(d.info, bih);
  if (s.compression == BI_BITFIELDS) {
    const DWORD m16[3] = {0xF800, 0x07E0, 0x001F}, m32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    for (DWORD m : s.bpp == 16 ? m16 : m32) emftest::Append(d.info, m);
  }
  if (s.bpp <= 8) {
    const int n = s.clrUsed ? int(s.clrUsed) : 1 << s.bpp;
    for (int i = 0; i < n; ++i) {
      const int k = s.twice && i == n - 1 ? 0 : i;
      RGBQUAD q{BYTE(k * 37 + 11), BYTE(255 - k * 13), BYTE(k * 89 + 200), 0};
      emftest::Append(d.info, q);
    }
  }
  d.bits.resize(d.stride * size_t(s.h));
  uint32_t x = 12345;
  for (uint8_t &b : d.bits) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
  return d;
}

struct BlitSpec {
  DWORD type = EMR_BITBLT;
  RECTL dest{10, 12, 37, 23};  // x, y, cx, cy
  RECTL src{0, 0, 37, 23};     // x, y, cx, cy (STRETCHBLT)
  DWORD rop = SRCCOPY;
  COLORREF bk = RGB(10, 200, 30);
  size_t cutBits = 0;  // bytes left off the end of the bits
  DWORD usage = DIB_RGB_COLORS;
};

std::vector<uint8_t> BlitRecordBytes(const TestDib &d, const BlitSpec &b) {
  const bool stretch = b.type == EMR_STRETCHBLT;
  const size_t head = stretch ? sizeof(EMRSTRETCHBLT) : sizeof(EMRBITBLT);
  const size_t nbits = d.bits.size() - b.cutBits;
  std::vector<uint8_t> out(head + d.info.size() + ((nbits + 3) & ~size_t{3}), 0);
  EMRSTRETCHBLT r{};
  r.emr = {b.type, DWORD(out.size())};
  r.rclBounds = {b.dest.left, b.dest.top, b.dest.left + b.dest.right - 1, b.dest.top + b.dest.bottom - 1};
  r.xDest = b.dest.left, r.yDest = b.dest.top, r.cxDest = b.dest.right, r.cyDest = b.dest.bottom;
  r.dwRop = b.rop;
  r.xSrc = b.src.left, r.ySrc = b.src.top;
  r.xformSrc = {1, 0, 0, 1, 0, 0};
  r.crBkColorSrc = b.bk;
  r.iUsageSrc = b.usage;
  r.offBmiSrc = DWORD(head), r.cbBmiSrc = DWORD(d.info.size());
  r.offBitsSrc = DWORD(head + d.info.size()), r.cbBitsSrc = DWORD(nbits);
  r.cxSrc = b.src.right, r.cySrc = b.src.bottom;
  std::memcpy(out.data(), &r, head);
  std::memcpy(out.data() + head, d.info.data(), d.info.size());
  std::memcpy(out.data() + head + d.info.size(), d.bits.data(), nbits);
  return out;
}

// The blit as the general path draws it: the DIB made a DIB section in a
// memory DC (bits missing from the record are zero; BI_RGB bits taken as
// they are, others through SetDIBits), then BitBlt or StretchBlt onto the
// destination.
BOOL BlitThroughSection(HDC dst, const TestDib &d, const BlitSpec &b) {
  void *bits = nullptr;
  auto *bmi = reinterpret_cast<const BITMAPINFO *>(d.info.data());
  HBITMAP bm = CreateDIBSection(nullptr, bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bm) return FALSE;
  std::vector<uint8_t> full(d.bits.begin(), d.bits.end() - long(b.cutBits));
  full.resize(d.bits.size(), 0);
  if (bmi->bmiHeader.biCompression == BI_RGB) std::memcpy(bits, full.data(), full.size());
  else SetDIBits(nullptr, bm, 0, UINT(d.h), full.data(), bmi, DIB_RGB_COLORS);
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, bm);
  SetBkColor(mem, b.bk);
  const RECTL &t = b.dest;
  BOOL ok = b.type == EMR_BITBLT
                ? BitBlt(dst, t.left, t.top, t.right, t.bottom, mem, b.src.left, b.src.top, b.rop)
                : StretchBlt(dst, t.left, t.top, t.right, t.bottom, mem, b.src.left, b.src.top, b.src.right,
                             b.src.bottom, b.rop);
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bm);
  return ok;
}

// The records a metafile DC under world transform `xf` receives from `draw`.
template <class F>
std::vector<Rec> RecordedUnder(const XFORM &xf, F draw) {
  return drawtest::Recorded([&](HDC dc) {
    SetGraphicsMode(dc, GM_ADVANCED);
    SetWorldTransform(dc, &xf);
    draw(dc);
  });
}

const XFORM kIdentity{1, 0, 0, 1, 0, 0}, kScaled{2.5f, 0, 0, 0.75f, 7, 3}, kMirrored{-1, 0, 0, 1, 200, 0},
    kTurned{0.8660254f, 0.5f, -0.5f, 0.8660254f, 40, -10};

// Plays the record onto a metafile DC and blits through a section onto
// another; both must record the same bytes.
void ExpectSameAsSection(const TestDib &d, const BlitSpec &b, const XFORM &xf, const std::string &what) {
  const std::vector<uint8_t> rec = BlitRecordBytes(d, b);
  BOOL played = FALSE, drawn = FALSE;
  HANDLETABLE table{{nullptr}};
  auto viaPlay = RecordedUnder(xf, [&](HDC dc) {
    played = PlayEnhMetaFileRecord(dc, &table, reinterpret_cast<const ENHMETARECORD *>(rec.data()), 1);
  });
  auto viaSection = RecordedUnder(xf, [&](HDC dc) { drawn = BlitThroughSection(dc, d, b); });
  EXPECT_EQ(played, drawn) << what;
  ASSERT_EQ(viaPlay.size(), viaSection.size()) << what;
  bool blit = false;
  for (size_t i = 0; i < viaPlay.size(); ++i) {
    EXPECT_EQ(viaPlay[i].type, viaSection[i].type) << what << ", record " << i;
    EXPECT_TRUE(viaPlay[i].bytes == viaSection[i].bytes) << what << ", record " << i << " of type " << viaPlay[i].type;
    blit = blit || viaPlay[i].type == EMR_BITBLT || viaPlay[i].type == EMR_STRETCHBLT;
  }
  EXPECT_TRUE(blit || !drawn) << what << ": no blit recorded";
}

const std::vector<DibSpec> &Formats() {
  static const std::vector<DibSpec> all = {
      {1, 37, 23, false, BI_RGB, 0, false, "1 bpp"},
      {1, 64, 9, true, BI_RGB, 0, false, "1 bpp top-down, whole bytes"},
      {4, 37, 23, false, BI_RGB, 0, false, "4 bpp"},
      {4, 37, 23, true, BI_RGB, 0, false, "4 bpp top-down"},
      {8, 37, 23, false, BI_RGB, 0, false, "8 bpp"},
      {8, 37, 23, true, BI_RGB, 0, false, "8 bpp top-down"},
      {8, 37, 23, false, BI_RGB, 7, false, "8 bpp, 7 colours"},
      {4, 37, 23, false, BI_RGB, 0, true, "4 bpp, a colour twice"},
      {16, 37, 23, false, BI_RGB, 0, false, "16 bpp"},
      {16, 37, 23, true, BI_BITFIELDS, 0, false, "16 bpp 5-6-5 top-down"},
      {24, 37, 23, false, BI_RGB, 0, false, "24 bpp"},
      {24, 37, 23, true, BI_RGB, 0, false, "24 bpp top-down"},
      {32, 37, 23, false, BI_RGB, 0, false, "32 bpp"},
      {32, 37, 23, true, BI_RGB, 0, false, "32 bpp top-down"},
      {32, 37, 23, false, BI_BITFIELDS, 0, false, "32 bpp bit fields"},
  };
  return all;
}

TEST(BitmapReplay, EveryDibFormatRecordsAsABlitFromItsSectionWould) {
  for (const DibSpec &f : Formats()) {
    const TestDib d = MakeDib(f);
    BlitSpec whole;
    whole.dest = {10, 12, f.w, f.h};
    whole.src = {0, 0, f.w, f.h};
    ExpectSameAsSection(d, whole, kIdentity, std::string(f.name) + ", BITBLT");
    BlitSpec stretched = whole;
    stretched.type = EMR_STRETCHBLT;
    stretched.dest = {5, 6, 2 * f.w + 3, f.h / 2 + 1};
    ExpectSameAsSection(d, stretched, kIdentity, std::string(f.name) + ", STRETCHBLT");
  }
}

TEST(BitmapReplay, SourceRectanglesInsideAndBeyondTheDib) {
  const RECTL areas[] = {
      {0, 0, 20, 9},     // from the corner
      {3, 5, 17, 11},    // inside, off the byte grid of 1 and 4 bpp
      {9, 0, 28, 23},    // to the right edge, every row
      {30, 15, 20, 20},  // past the right and bottom edges
      {-4, -2, 12, 10},  // before the left and top edges
      {20, 10, -8, 6},   // a negative width
      {5, 5, 0, 6},      // an empty one
  };
  for (const DibSpec &f : Formats())
    for (const RECTL &a : areas) {
      const TestDib d = MakeDib(f);
      BlitSpec b;
      b.type = EMR_STRETCHBLT;
      b.dest = {4, 4, 40, 30};
      b.src = a;
      ExpectSameAsSection(d, b, kIdentity,
                          std::string(f.name) + ", source " + std::to_string(a.left) + "," + std::to_string(a.top) +
                              " " + std::to_string(a.right) + "x" + std::to_string(a.bottom));
    }
}

TEST(BitmapReplay, TransformsOperationsAndShortBits) {
  const XFORM transforms[] = {kIdentity, kScaled, kMirrored, kTurned};
  const char *names[] = {"identity", "scaled", "mirrored", "turned"};
  for (const DibSpec &f : Formats())
    for (int t = 0; t < 4; ++t) {
      const TestDib d = MakeDib(f);
      BlitSpec b;
      b.type = EMR_STRETCHBLT;
      b.dest = {15, 8, -30, 45};  // mirrored by its own extent too
      b.src = {2, 1, 30, 20};
      const std::string what = std::string(f.name) + ", " + names[t];
      ExpectSameAsSection(d, b, transforms[t], what);
      for (DWORD rop : {SRCAND, SRCPAINT, NOTSRCCOPY, MERGECOPY, PATCOPY}) {
        b.rop = rop;
        ExpectSameAsSection(d, b, transforms[t], what + ", rop " + std::to_string(rop));
      }
      b.rop = SRCCOPY;
      b.cutBits = d.stride * 5 + 3;  // the record ends five and a bit rows early
      ExpectSameAsSection(d, b, transforms[t], what + ", short bits");
    }
}

// ---------------------------------------------------------------------------
// A page of pictures played onto a canvas metafile, as the export engines do.
// A DIB with a short colour table is left out: its pixels past the table
// have no colour of their own (the canvas takes the nearest of the table).

int PagePictures() {
  int n = 0;
  for (const DibSpec &f : Formats()) n += f.clrUsed == 0;
  return n;
}

std::vector<uint8_t> PicturePage() {
  emftest::EmfBuilder page({0, 0, 12700, 9525}, 1);  // 480 x 360 reference pixels
  int x = 4, y = 4;
  for (const DibSpec &f : Formats()) {
    if (f.clrUsed) continue;
    const TestDib d = MakeDib(f);
    BlitSpec b;
    b.type = (x / 4) % 2 ? EMR_STRETCHBLT : EMR_BITBLT;
    b.dest = {x, y, f.w, f.h};
    b.src = {0, 0, f.w, f.h};
    if (b.type == EMR_STRETCHBLT) b.dest.right = f.w * 3 / 2, b.src = {2, 3, f.w - 5, f.h - 6};
    std::vector<uint8_t> rec = BlitRecordBytes(d, b);
    page.AddBytes(b.type, std::vector<uint8_t>(rec.begin() + 8, rec.end()));
    x += 100;
    if (x > 400) x = 4, y += 60;
  }
  return page.Image();
}

HENHMETAFILE ToCanvas(HENHMETAFILE page) {
  const RECT rect{0, 0, 480, 360}, frame{0, 0, 12700, 9525};
  HDC canvas = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  EXPECT_TRUE(PlayEnhMetaFile(canvas, page, &rect));
  return CloseEnhMetaFile(canvas);
}

TEST(BitmapReplay, ACanvasOfPicturesDrawsLikeItsPage) {
  const std::vector<uint8_t> image = PicturePage();
  HENHMETAFILE page = SetEnhMetaFileBits(UINT(image.size()), image.data());
  ASSERT_TRUE(page);
  HENHMETAFILE canvas = ToCanvas(page);
  ASSERT_TRUE(canvas);
  int blits = 0;
  for (const Rec &r : drawtest::Records(canvas)) blits += r.type == EMR_BITBLT || r.type == EMR_STRETCHBLT;
  EXPECT_EQ(blits, PagePictures());
  const RECT rect{0, 0, 480, 360};
  emftest::Canvas a, b;
  ASSERT_TRUE(PlayEnhMetaFile(a.dc, page, &rect));
  ASSERT_TRUE(PlayEnhMetaFile(b.dc, canvas, &rect));
  int differ = 0, white = 0;
  for (int yy = 0; yy < 360; ++yy)
    for (int xx = 0; xx < 480; ++xx) {
      differ += a.At(xx, yy) != b.At(xx, yy);
      white += a.At(xx, yy) == 0xFFFFFF;
    }
  EXPECT_EQ(differ, 0);
  EXPECT_LT(white, 480 * 360 - 12000) << "the pictures were not drawn";
  DeleteEnhMetaFile(canvas);
  DeleteEnhMetaFile(page);
}

TEST(BitmapReplay, AnIndependentReaderShowsEveryPictureOfTheCanvas) {
  NX_REQUIRE_TOOL("emf2svg-conv");
  nxtest::TempDir tmp;
  const std::vector<uint8_t> image = PicturePage();
  HENHMETAFILE page = SetEnhMetaFileBits(UINT(image.size()), image.data());
  ASSERT_TRUE(page);
  HENHMETAFILE canvas = ToCanvas(page);
  const std::string emf = tmp.file("canvas.emf"), svg = tmp.file("canvas.svg");
  std::u16string wide(emf.begin(), emf.end());
  DeleteEnhMetaFile(CopyEnhMetaFileW(canvas, reinterpret_cast<LPCWSTR>(wide.c_str())));
  auto run = nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(emf) + " -o " + nxtest::ShellQuote(svg));
  EXPECT_EQ(run.exitCode, 0) << run.output;
  auto bytes = nxtest::ReadFileBytes(svg);
  const std::string text(bytes.begin(), bytes.end());
  int images = 0;
  for (size_t at = text.find("<image"); at != std::string::npos; at = text.find("<image", at + 1)) ++images;
  EXPECT_EQ(images, PagePictures()) << text.substr(0, 400);
  DeleteEnhMetaFile(canvas);
  DeleteEnhMetaFile(page);
}

}  // namespace

namespace {

// A table of palette indices (DIB_PAL_COLORS) names colours of the default
// palette: index 0 black, 255 white. The record plays with those colours.
TEST(BitmapReplay, APaletteIndexTableNamesDefaultColours) {
  TestDib d;
  d.w = 16, d.h = 2, d.bpp = 1, d.stride = 4;
  emftest::Append(d.info, BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 16, 2, 1, 1, BI_RGB, 0, 0, 0, 0, 0});
  emftest::Append(d.info, WORD(0));
  emftest::Append(d.info, WORD(255));
  d.bits = {0xF0, 0x0F, 0, 0, 0xF0, 0x0F, 0, 0};
  BlitSpec b;
  b.dest = {2, 3, 16, 2};
  b.src = {0, 0, 16, 2};
  b.usage = DIB_PAL_COLORS;
  const std::vector<uint8_t> rec = BlitRecordBytes(d, b);
  drawtest::Canvas canvas(24, 8);
  HANDLETABLE table{{nullptr}};
  ASSERT_TRUE(PlayEnhMetaFileRecord(canvas.dc, &table, reinterpret_cast<const ENHMETARECORD *>(rec.data()), 1));
  for (int y = 3; y < 5; ++y) {
    SCOPED_TRACE("row " + std::to_string(y));
    for (int x = 2; x < 18; ++x) EXPECT_EQ(canvas.At(x, y), (x - 2) / 4 % 3 == 0 ? 0xFFFFFFu : 0u) << x;
  }
}

}  // namespace

namespace {

// A section made from a table of palette indices keeps the colours they name;
// its RGB table is twice the size of the index table it came from.
TEST(BitmapReplay, ASectionFromPaletteIndicesKeepsItsColours) {
  std::vector<uint8_t> info;
  emftest::Append(info, BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 16, -2, 1, 1, BI_RGB, 0, 0, 0, 0, 0});
  emftest::Append(info, WORD(0));
  emftest::Append(info, WORD(255));
  void *bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO *>(info.data()), DIB_PAL_COLORS,
                                     &bits, nullptr, 0);
  ASSERT_TRUE(section && bits);
  const uint8_t rows[8] = {0xF0, 0x0F, 0, 0, 0x0F, 0xF0, 0, 0};
  std::memcpy(bits, rows, sizeof rows);
  drawtest::Canvas canvas(16, 2);
  HDC mem = CreateCompatibleDC(canvas.dc);
  HGDIOBJ old = SelectObject(mem, section);
  ASSERT_TRUE(BitBlt(canvas.dc, 0, 0, 16, 2, mem, 0, 0, SRCCOPY));
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(section);
  for (int x = 0; x < 16; ++x) {
    const bool firstRowWhite = (x / 4) % 3 == 0;
    EXPECT_EQ(canvas.At(x, 0), firstRowWhite ? 0xFFFFFFu : 0u) << x;
    EXPECT_EQ(canvas.At(x, 1), (x / 4 == 1 || x / 4 == 2) ? 0xFFFFFFu : 0u) << x;
  }
}

}  // namespace
