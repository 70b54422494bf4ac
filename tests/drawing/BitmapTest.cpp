// NxBitmap: sizes (natural, derived sides, keep-aspect fit, swapped
// coordinates), the DIB path and the surface path with transparency, and
// bad picture files that must not stop the document.
#include <filesystem>

#include "drawing/DrawingSupport.h"

namespace drawtest {
namespace {

struct Dest {
  LONG x, y, cx, cy;
};

std::vector<Dest> DibDests(const std::vector<Record> &recs) {
  std::vector<Dest> out;
  for (const Record &r : DrawingTest::OfType(recs, EMR_STRETCHDIBITS)) {
    auto s = r.As<EMRSTRETCHDIBITS>();
    out.push_back({s.xDest, s.yDest, s.cxDest, s.cyDest});
  }
  return out;
}

TEST_F(DrawingTest, PictureSizesOnTheDibPath) {
  NX_REQUIRE_TOOL("convert");
  const std::string pic = Picture("-size 200x100 xc:red", "wide.bmp");
  auto recs = Records(Draw([&] {
    NxBitmap(1000000, 1000000, 0, 0, pic.c_str(), -255, 0);            // natural size
    NxBitmap(0, 0, 10000000, 0, pic.c_str(), -255, 0);                 // height from the width
    NxBitmap(0, 0, 0, 2000000, pic.c_str(), -255, 0);                  // width from the height
    NxBitmap(0, 0, 10000000, 10000000, pic.c_str(), -255, 1);          // fitted into 1001 x 1001
    NxBitmap(0, 0, 10000000, 10000000, pic.c_str(), -255, 0x100);      // low byte 0: stretched
    NxSetCoorSystem(1);
    NxBitmap(0, 0, 0, 10000000, pic.c_str(), -255, 0);                 // (row, column): height derived
  }));
  auto d = DibDests(recs);
  ASSERT_EQ(d.size(), 6u);
  EXPECT_EQ((std::vector<LONG>{d[0].x, d[0].y, d[0].cx, d[0].cy}), (std::vector<LONG>{100, 100, 200, 100}));
  EXPECT_EQ(d[1].cx, 1000);
  EXPECT_EQ(d[1].cy, 500);
  EXPECT_EQ(d[2].cx, 400);
  EXPECT_EQ(d[2].cy, 200);
  EXPECT_EQ(d[3].cx, 1001);
  EXPECT_EQ(d[3].cy, 500);
  EXPECT_EQ(d[4].cx, 1000);
  EXPECT_EQ(d[4].cy, 1000);
  EXPECT_EQ(d[5].cx, 1000);
  EXPECT_EQ(d[5].cy, 500);
  auto first = OfType(recs, EMR_STRETCHDIBITS)[0].As<EMRSTRETCHDIBITS>();
  EXPECT_EQ(first.cxSrc, 200);
  EXPECT_EQ(first.cySrc, 100);
  EXPECT_EQ(first.dwRop, static_cast<DWORD>(SRCCOPY));
}

TEST_F(DrawingTest, KeepAspectFitRendersTheExactArea) {
  NX_REQUIRE_TOOL("convert");
  const std::string pic = Picture("-size 200x100 xc:red", "wide.bmp");
  const std::string tall = Picture("-size 100x200 xc:blue", "tall.gif");
  // 300 dpi: boxes of 301 x 301 and 141 x 301 pixels.
  std::string emf = Draw(
      [&] {
        NxBitmap(100000, 100000, 3100000, 3100000, pic.c_str(), -255, 1);
        NxBitmap(3200000, 100000, 4600000, 3100000, tall.c_str(), -255, 1);
      },
      1);
  Raster page;
  ASSERT_TRUE(Render(emf, &page));
  EXPECT_EQ(page.Count(0, 0, 320, 320, RGB(255, 0, 0)), 301 * 150);
  EXPECT_EQ(page.Count(0, 160, 320, page.height, RGB(255, 0, 0)), 0) << "150 rows from y = 10";
  EXPECT_EQ(page.Count(320, 0, page.width, page.height, RGB(0, 0, 255)), 141 * 282) << "narrower than tall";
}

TEST_F(DrawingTest, TheSurfacePathLeavesTheTopLeftColourUndrawn) {
  NX_REQUIRE_TOOL("convert");
  const std::string pic = Picture("-size 40x20 xc:white -fill red -draw 'rectangle 10,5 29,14'", "logo.gif");
  std::string emf = Draw([&] {
    NxFrameEx(1000000, 1000000, 1800000, 1400000, 0, -1, -3, 0, 0);  // green under the picture
    NxSetUseDIB(0);
    NxBitmap(1000000, 1000000, 0, 0, pic.c_str(), -1, 0);           // transparent, natural size
    NxFrameEx(3000000, 1000000, 3800000, 1400000, 0, -1, -3, 0, 0);
    NxBitmap(3000000, 1000000, 3800000, 1400000, pic.c_str(), -1, 0);  // transparent, doubled
    NxBitmap(5000000, 1000000, 0, 0, pic.c_str(), -255, 0);           // opaque: a blit
    NxBitmap(5000000, 2000000, 6000000, 2500000, pic.c_str(), 1, 0);  // code 1 maps to -255: opaque, stretched
  });
  auto recs = Records(emf);
  EXPECT_EQ(OfType(recs, EMR_BITBLT).size() + OfType(recs, EMR_STRETCHBLT).size(), 2u);
  for (const Dest &d : DibDests(recs)) {
    EXPECT_TRUE(d.x >= 300 ? d.x >= 320 && d.x + d.cx <= 360 : d.x >= 110 && d.x + d.cx <= 130)
        << "only the red middle is drawn, at " << d.x;
  }
  Raster page;
  ASSERT_TRUE(Render(emf, &page));
  EXPECT_EQ(page.Count(100, 100, 140, 120, RGB(255, 255, 255)), 0);
  EXPECT_EQ(page.Count(100, 100, 140, 120, RGB(255, 0, 0)), 20 * 10);
  EXPECT_EQ(page.Count(100, 100, 140, 120, RGB(0, 128, 0)), 40 * 20 - 200);
  EXPECT_EQ(page.Count(300, 100, 380, 140, RGB(255, 0, 0)), 40 * 20);
  // A frame without outline fills one pixel less on the right and bottom (GDI's null-pen rule).
  EXPECT_EQ(page.Count(300, 100, 379, 139, RGB(255, 255, 255)), 0);
  EXPECT_EQ(page.Count(379, 100, 380, 140, RGB(255, 255, 255)), 40);
  EXPECT_EQ(page.Count(500, 100, 540, 120, RGB(255, 255, 255)), 40 * 20 - 200) << "opaque: white stays";
}

TEST_F(DrawingTest, ExtremeCornersOnAFinePrinterGiveHeldSizes) {
  NX_REQUIRE_TOOL("convert");
  std::ofstream(dir_.file("printers.ini"))
      << "[Card4800]\nResolution = 4800\nPaper = 300, Card, 40x30mm\nMargins = 0\n";
  const std::string tall = Picture("-size 1x100 xc:red", "tall.bmp");
  auto recs = Records(Draw([&] {
    NxSetUnit(3);  // inches: 4800 pixels each
    // Width 2 x 10^9 pixels: the derived height, 100 times that, is held
    // at the coordinates' end instead of wrapping to a negative value.
    NxBitmap(-2147483647, 0, 2147483647, 0, tall.c_str(), -255, 0);
    NxBitmap(-2147483647, -2147483647, 2147483647, 2147483647, tall.c_str(), -255, 1);
  }));
  auto d = DibDests(recs);
  ASSERT_EQ(d.size(), 2u);
  EXPECT_GT(d[0].cx, 2000000000);
  EXPECT_GT(d[0].cy, 2000000000) << "held, not wrapped";
  EXPECT_GT(d[1].cx, 0);
  EXPECT_GT(d[1].cy, 2000000000);
}

// An RLE8 file of a few bytes declaring 32767 x 2047 pixels of colour 0.
std::vector<unsigned char> HugeRle8() {
  std::vector<unsigned char> b(14 + 40 + 8 + 4, 0);
  b[0] = 'B', b[1] = 'M';
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  put32(10, 14 + 40 + 8);
  put32(14, 40);
  put32(18, 32767);
  put32(22, 2047);
  b[26] = 1, b[28] = 8;
  put32(30, BI_RLE8);
  put32(46, 2);
  b[54 + 2] = 255;  // colour 0 red, colour 1 black
  b[62] = 4, b[63] = 1, b[64] = 0, b[65] = 1;  // four black pixels, end of bitmap
  return b;
}

TEST_F(DrawingTest, PicturesAreKeptAtAboutTheDevicePixelsTheyCover) {
  NX_REQUIRE_TOOL("convert");
  const std::string big = Picture("-size 800x400 xc:blue", "big.bmp");
  const std::string huge = dir_.file("huge.bmp");
  nxtest::WriteFileBytes(huge, HugeRle8());
  std::string emf = Draw([&] {
    NxBitmap(0, 0, 0, 0, huge.c_str(), -255, 0);             // natural size, far beyond the sheet
    NxBitmap(0, 0, 1000000, 500000, big.c_str(), -255, 0);  // into 100 x 50 pixels
    EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
  });
  auto recs = Records(emf);
  auto dibs = OfType(recs, EMR_STRETCHDIBITS);
  ASSERT_EQ(dibs.size(), 2u);
  auto thumb = dibs[1].As<EMRSTRETCHDIBITS>();
  EXPECT_EQ(thumb.cxDest, 100);
  EXPECT_EQ(thumb.cxSrc, 100) << "800 columns kept as every 8th";
  EXPECT_EQ(thumb.cySrc, 50);
  auto page = dibs[0].As<EMRSTRETCHDIBITS>();
  EXPECT_EQ(page.cxDest, 32767) << "placed at its declared size";
  EXPECT_EQ(page.cyDest, 2047);
  // The sheet is 944 x 708 pixels: at most two kept pixels for each.
  EXPECT_LE(page.cxSrc, 2 * 944);
  EXPECT_LE(page.cySrc, 2 * 708);
  EXPECT_LT(nxtest::ReadFileBytes(emf).size(), 8u << 20) << "no page of 200 MB";
  Raster r;
  if (!Render(emf, &r)) return;
  EXPECT_EQ(r.At(10, 10), RGB(0, 0, 255));
  EXPECT_EQ(r.At(500, 300), RGB(255, 0, 0));
}

// A large picture that the sheet cuts is kept only where the sheet shows it,
// pixel for pixel, and drawn there: an 1800 x 1000 picture on the 944 x 708
// card at its natural size from (-500, -300), and at twice its size from
// (-1000, -600), on the DIB path and on the surface path. The page shows the
// picture's own pixels where they belong. A transparent picture is kept
// whole: its transparent colour is that of its own top-left pixel.
TEST_F(DrawingTest, LargePicturesTheSheetCutsAreKeptWhereItShowsThem) {
  NX_REQUIRE_TOOL("convert");
  const std::string src = Picture(
      "-size 1800x1000 gradient:red-blue -fill lime -draw 'circle 900,600 1100,900' "
      "-fill white -draw 'rectangle 600,400 700,900'",
      "src.png");
  for (const char *name : {"big.bmp", "big.gif", "big.jpg"}) {
    SCOPED_TRACE(name);
    const std::string path = Picture(nxtest::ShellQuote(src) + (name[4] == 'b' ? " -type truecolor" : ""), name);
    const std::string raw = dir_.file("ref.rgb");
    ASSERT_EQ(
        nxtest::RunCommand("convert " + nxtest::ShellQuote(path) + " -depth 8 rgb:" + nxtest::ShellQuote(raw)).exitCode,
        0);
    const auto ref = nxtest::ReadFileBytes(raw);
    ASSERT_EQ(ref.size(), 1800u * 1000 * 3);
    auto source = [&](int x, int y) {
      const uint8_t *p = &ref[(static_cast<size_t>(y) * 1800 + x) * 3];
      return RGB(p[0], p[1], p[2]);
    };
    struct Case {
      int32_t x1, y1, x2, y2, scale;
      bool dib, transparent;
    };
    for (const Case &c :
         {Case{-5000000, -3000000, 0, 0, 1, true, false}, Case{-10000000, -6000000, 26000000, 14000000, 2, true, false},
          Case{-10000000, -6000000, 26000000, 14000000, 2, false, false},
          Case{-5000000, -3000000, 0, 0, 1, false, true}}) {
      SCOPED_TRACE(std::to_string(c.scale) + (c.dib ? " DIB" : " surface") + (c.transparent ? " transparent" : ""));
      const std::string emf = Draw([&] {
        NxSetUseDIB(c.dib ? 1 : 0);
        NxBitmap(c.x1, c.y1, c.x2, c.y2, path.c_str(), c.transparent ? 0 : -255, 0);
        EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
      });
      const auto recs = Records(emf);
      if (!c.transparent) {
        const auto dibs = OfType(recs, c.dib ? EMR_STRETCHDIBITS : EMR_STRETCHBLT);
        ASSERT_EQ(dibs.size(), 1u);
      }
      if (c.dib) {
        const auto dibs = OfType(recs, EMR_STRETCHDIBITS);
        ASSERT_EQ(dibs.size(), 1u);
        const auto d = dibs[0].As<EMRSTRETCHDIBITS>();
        EXPECT_EQ((std::vector<LONG>{d.xDest, d.yDest, d.cxDest, d.cyDest}),
                  (std::vector<LONG>{0, 0, 944, c.scale == 1 ? 700 : 708}));
        EXPECT_EQ(d.cxSrc, 944 / c.scale) << "the columns the sheet shows, every one";
        EXPECT_EQ(d.cySrc, c.scale == 1 ? 700 : 354);
      }
      Raster page;
      if (!Render(emf, &page)) return;
      ASSERT_EQ(page.width, 944);
      const int shown = c.scale == 1 ? 700 : 708;
      int differ = 0, worst = 0;
      for (int y = 0; y < shown; y += 3)
        for (int x = 0; x < 944; x += 3) {
          const COLORREF want = source((x + 500 * c.scale) / c.scale, (y + 300 * c.scale) / c.scale);
          const COLORREF got = page.At(x, y);
          if (c.transparent && want == source(0, 0)) continue;  // transparent there
          const int d =
              std::max({std::abs(GetRValue(want) - GetRValue(got)), std::abs(GetGValue(want) - GetGValue(got)),
                        std::abs(GetBValue(want) - GetBValue(got))});
          worst = std::max(worst, d);
          differ += d > 0;
        }
      EXPECT_EQ(differ, 0) << "largest difference " << worst;
    }
  }
}

TEST_F(DrawingTest, BadPicturesDrawNothingAndTheDocumentGoesOn) {
  NX_REQUIRE_TOOL("convert");
  const std::string good = Picture("-size 200x200 gradient:blue-white", "good.jpg");
  auto bytes = nxtest::ReadFileBytes(good);
  bytes.resize(bytes.size() / 2);
  const std::string cut = dir_.file("cut.jpg");
  nxtest::WriteFileBytes(cut, bytes);
  const std::string noImage = dir_.file("empty.gif");
  nxtest::WriteFileBytes(noImage, {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x3B});
  const std::string folder = dir_.file("pictures.bmp");
  std::filesystem::create_directories(folder);
  std::filesystem::create_directories(dir_.file("pictures"));
  const std::string png = Picture("-size 30x30 xc:blue", "pic.png");
  auto huge = nxtest::ReadFileBytes(Picture("-size 10x10 xc:red", "huge.bmp"));
  for (size_t at : {18u, 22u}) huge[at] = 0x30, huge[at + 1] = 0x75;  // 30000 x 30000
  nxtest::WriteFileBytes(dir_.file("huge.bmp"), huge);

  std::vector<std::pair<int32_t, std::string>> errors;
  auto recs = Records(Draw([&] {
    auto attempt = [&](const std::string &path) {
      nx::ClearLastNxError();
      NxBitmap(0, 0, 0, 0, path.c_str(), -255, 0);
      errors.push_back({NxGetLastError(), ErrorText()});
      NxLine(0, 0, 1000000, 0);
    };
    attempt(dir_.file("missing.bmp"));
    attempt(png);
    attempt(cut);
    attempt(noImage);
    attempt(folder);
    attempt(dir_.file("pictures"));  // a folder without a picture's extension: not a picture, no error
    attempt(dir_.file("huge.bmp"));
    attempt(good);
  }));
  EXPECT_EQ(OfType(recs, EMR_LINETO).size(), 8u) << "every line after a bad picture is drawn";
  EXPECT_EQ(OfType(recs, EMR_STRETCHDIBITS).size(), 1u) << "only the good picture";
  ASSERT_EQ(errors.size(), 8u);
  EXPECT_EQ(errors[0].first, 0) << "a missing file is no error";
  EXPECT_EQ(errors[1].first, 0) << "another file type is not drawn";
  EXPECT_EQ(errors[2].first, nx::nxeData);
  EXPECT_NE(errors[2].second.find("truncated"), std::string::npos) << errors[2].second;
  EXPECT_NE(errors[2].second.find("cut.jpg"), std::string::npos);
  EXPECT_NE(errors[3].second.find("no image"), std::string::npos) << errors[3].second;
  EXPECT_EQ(errors[4].first, nx::nxeFile);
  EXPECT_NE(errors[4].second.find("folder"), std::string::npos) << errors[4].second;
  EXPECT_EQ(errors[5].first, 0);
  EXPECT_EQ(errors[6].first, nx::nxeData);
  EXPECT_NE(errors[6].second.find("beyond the limit"), std::string::npos) << errors[6].second;
  EXPECT_EQ(errors[7].first, 0);
}

TEST_F(DrawingTest, EveryCommandOnOnePageReadsInEmf2svg) {
  NX_REQUIRE_TOOL("emf2svg-conv");
  NX_REQUIRE_TOOL("convert");
  const std::string pic = Picture("-size 60x30 gradient:red-blue", "grad.jpg");
  std::string emf = Draw([&] {
    NxTextOut(200000, 200000, "Text");
    NxTextOutEx(200000, 1500000, "Turned", 0, "Arial", 80000, 1, -2, -15, 30);
    NxTextBox(3000000, 200000, 9000000, 2500000, "A text box with a few words in it");
    NxLine(200000, 4000000, 9000000, 4000000);
    NxFrameEx(200000, 4500000, 3000000, 6500000, 10000, -2, -15, 5, 40);
    NxEllipse(3500000, 4500000, 5500000, 6500000);
    NxBitmap(6000000, 4500000, 0, 0, pic.c_str(), -255, 0);
    NxSetUseDIB(0);
    NxBitmap(6000000, 5500000, 0, 0, pic.c_str(), -1, 0);
  });
  const std::string svg = emf + ".svg";
  auto r = nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(emf) + " -o " + nxtest::ShellQuote(svg));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  auto bytes = nxtest::ReadFileBytes(svg);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("Text"), std::string::npos);
  EXPECT_NE(text.find("<image"), std::string::npos);
}

}  // namespace
}  // namespace drawtest
