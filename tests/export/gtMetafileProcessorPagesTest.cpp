// Pages drawn through the exports, played into an engine and interpreted:
// the items must be what was drawn, at the exact scaled positions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/ErrorChannel.h"
#include "export/gtCstDocEng.h"
#include "gdi/EmfTestUtil.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "support/SpoolEnv.h"

using namespace nx;

namespace {

class DrawnPages : public nxtest::SpoolTest {
 public:
  void SetUp() override {
    SpoolTest::SetUp();
    UnloadLibraryState();
    const std::string ini = dir_.file("printers.ini");
    std::ofstream(ini) << "[A4 600]\nResolution = 600\nPaper = 9, A4, 210x297mm\nMargins = 0\n";
    env_.Set("NOXTREL_PRINTERS", ini);
    std::filesystem::create_directories(dir_.file("out"));
  }
  void TearDown() override { UnloadLibraryState(); }

  // Draws one page in device pixels (unit 4) and loads it.
  HENHMETAFILE Draw(void (*draw)(const std::string &picture)) {
    EXPECT_EQ(NxInit(), 0);
    NxSetDevice(5);
    NxSetFileName((dir_.file("out") + "/doc.pdf").c_str());
    NxBeginDoc();
    NxSetUnit(4);
    draw(Picture());
    NxEndDoc();
    const std::string page = dir_.file("out") + "/Page1.emf";
    if (std::getenv("NX_KEEP_PAGE")) std::filesystem::copy_file(page, std::getenv("NX_KEEP_PAGE"), std::filesystem::copy_options::overwrite_existing);
    std::u16string name(page.begin(), page.end());
    return GetEnhMetaFileW(reinterpret_cast<LPCWSTR>(name.c_str()));
  }

  // A 24-bit BMP of 4 x 2 pixels.
  std::string Picture() {
    const std::string path = dir_.file("pic.bmp");
    BITMAPINFOHEADER h{sizeof h, 4, 2, 1, 24, BI_RGB, 32, 0, 0, 0, 0};
    BITMAPFILEHEADER f{0x4D42, DWORD(14 + 40 + 32), 0, 0, 54};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(&f), 14);
    out.write(reinterpret_cast<const char *>(&h), 40);
    for (int i = 0; i < 32; ++i) out.put(char(i * 7));
    return path;
  }
};

// Plays the page into an engine as the library does and keeps page 1's items.
struct Interpreted {
  explicit Interpreted(HENHMETAFILE page) {
    engine.Preferences().FShowSetupDialog = false;
    engine.Preferences().FOpenAfterCreate = false;
    engine.BeginDoc();
    engine.PlayMetafile(TgtRect{0, 0, engine.Page().Width(), engine.Page().Height()}, page);
    engine.NewPage();
    ENHMETAHEADER h{};
    GetEnhMetaFileHeader(page, sizeof h, &h);
    // The player maps the frame onto (0, 0, w, h): x' = (x * mm / px * 100 -
    // frame.left) * w / frame width, for x in reference pixels.
    const double w = std::lround(engine.Page().Width() * 96), hgt = std::lround(engine.Page().Height() * 96);
    kx = 100.0 * h.szlMillimeters.cx / h.szlDevice.cx * w / (h.rclFrame.right - h.rclFrame.left);
    ky = 100.0 * h.szlMillimeters.cy / h.szlDevice.cy * hgt / (h.rclFrame.bottom - h.rclFrame.top);
    ox = -h.rclFrame.left * w / double(h.rclFrame.right - h.rclFrame.left);
    oy = -h.rclFrame.top * hgt / double(h.rclFrame.bottom - h.rclFrame.top);
  }
  ~Interpreted() { engine.EndDoc(); }
  template <class T>
  std::vector<T *> Of() {
    std::vector<T *> out;
    for (auto &i : engine.Pages()[0]->FDocumentItems)
      if (auto *t = dynamic_cast<T *>(i.get())) out.push_back(t);
    return out;
  }
  TgtCustomDocumentEngine engine;
  double kx = 0, ky = 0, ox = 0, oy = 0;
};

// Device pixels as the exports take them: fixed point, value x 10000.
constexpr int32_t P(int32_t v) { return v * 10000; }

void DrawEverything(const std::string &picture) {
  NxTextOut(P(1237), P(2001), "Left text");
  NxTextOutEx(P(3001), P(2501), "Right text", 1, "Arial", 105000, 1, -2, -255, 0);
  NxTextOutEx(P(3001), P(3001), "Centred", 2, "Times New Roman", 140000, 2, -1, -16, 0);
  NxTextOutEx(P(1501), P(3501), "Angled", 0, "Arial", 120000, 0, -1, -255, 30);
  NxLine(P(1003), P(4001), P(4007), P(4003));
  NxFrameEx(P(1001), P(4501), P(2003), P(5003), 2, -1, -5, 4, 0);
  NxEllipse(P(2501), P(4501), P(3503), P(5007));
  NxFrame(P(4001), P(4501), P(4503), P(5001), 50);
  NxBitmap(P(1001), P(5501), P(1401), P(5701), picture.c_str(), -255, 0);
  NxBarCode(P(1001), P(6001), "12345678", 30, 10000, 1, 2, 0, 0);
  char why[256] = "";
  NxGetLastErrorText(why, sizeof why);
  EXPECT_EQ(NxGetLastError(), 0) << why;
  NxQRCode(P(3001), P(6001), "hello", 1, 200, 4);
}

TEST_F(DrawnPages, ItemsAreWhatWasDrawnAtTheExactScaledPositions) {
  HENHMETAFILE page = Draw(DrawEverything);
  ASSERT_NE(page, nullptr);
  const auto records = emftest::Enumerate(page);
  Interpreted run(page);
  auto X = [&](double x) { return x * run.kx + run.ox; };
  auto Y = [&](double y) { return y * run.ky + run.oy; };
  constexpr double tol = 0.01;

  // Text: every text record of the page is one item, at the scaled point
  // (anchored at the top: the library draws with TA_TOP).
  std::vector<EMREXTTEXTOUTW> drawn;
  std::vector<std::u16string> strings;
  std::vector<LONG> heights;  // of the font each text was drawn in
  LONG height = 0;
  for (const auto &r : records) {
    if (r.type == EMR_EXTCREATEFONTINDIRECTW) height = emftest::As<EMREXTCREATEFONTINDIRECTW>(r).elfw.elfLogFont.lfHeight;
    if (r.type == EMR_EXTTEXTOUTW) {
      heights.push_back(height);
      auto t = emftest::As<EMREXTTEXTOUTW>(r);
      drawn.push_back(t);
      std::u16string s(t.emrtext.nChars, u'\0');
      std::memcpy(s.data(), r.bytes.data() + t.emrtext.offString, 2 * s.size());
      strings.push_back(s);
    }
  }
  auto texts = run.Of<TgtTextItem>();
  ASSERT_EQ(texts.size(), drawn.size());
  ASSERT_GE(texts.size(), 4u);
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(texts[i]->FLines, std::vector<WString>{WString(strings[i].begin(), strings[i].end())});
    // Fractional sizes: the page font's pixels at 96 dpi, in points.
    EXPECT_NEAR(double(texts[i]->FFontSizeInFloat), std::abs(heights[i]) * run.ky * 72 / 96, 1e-4);
    {  // TA_TOP | TA_LEFT: the reference point is the anchor, also when rotated
      EXPECT_NEAR(texts[i]->FX, X(drawn[i].emrtext.ptlReference.x), tol);
      EXPECT_NEAR(texts[i]->FY, Y(drawn[i].emrtext.ptlReference.y), tol);
    }
  }
  EXPECT_EQ(texts[0]->FFont.PointSize, 12);
  EXPECT_EQ(texts[1]->FFont.Name, u"Arial");
  EXPECT_TRUE(texts[1]->FFont.Bold);
  EXPECT_EQ(texts[1]->FFont.Color, 0xFF0000u);  // -2: blue
  EXPECT_EQ(texts[2]->FFont.Name, u"Times New Roman");
  EXPECT_TRUE(texts[2]->FFont.Italic);
  EXPECT_EQ(texts[2]->FBrush.Style, bsSolid);
  EXPECT_EQ(texts[3]->FRotationAngle, 30);

  // Shapes: the line's ends and the boxes' corners.
  auto shapes = run.Of<TgtShapeItem>();
  std::vector<TgtShapeItem *> lines, rects, ellipses, rounds;
  for (auto *s : shapes) {
    if (s->FShapeType == stLine) lines.push_back(s);
    if (s->FShapeType == stRectangle) rects.push_back(s);
    if (s->FShapeType == stEllipse) ellipses.push_back(s);
    if (s->FShapeType == stRoundRect) rounds.push_back(s);
  }
  for (const auto &r : records) {
    if (r.type == EMR_ELLIPSE) {
      ASSERT_EQ(ellipses.size(), 1u);
      auto e = emftest::As<EMRELLIPSE>(r);
      EXPECT_NEAR(ellipses[0]->FPoints[0].X, X(e.rclBox.left), tol);
      EXPECT_NEAR(ellipses[0]->FPoints[1].Y, Y(e.rclBox.bottom), tol);
    }
    if (r.type == EMR_ROUNDRECT) {
      ASSERT_EQ(rounds.size(), 1u);
      auto e = emftest::As<EMRROUNDRECT>(r);
      EXPECT_NEAR(rounds[0]->FPoints[1].X, X(e.rclBox.right), tol);
      EXPECT_NEAR(rounds[0]->FPoints[2].X, e.szlCorner.cx * run.kx, tol);
    }
    if (r.type == EMR_LINETO) {
      ASSERT_FALSE(lines.empty());
      auto e = emftest::As<EMRLINETO>(r);
      EXPECT_NEAR(lines[0]->FPoints[1].X, X(e.ptl.x), tol);
      EXPECT_NEAR(lines[0]->FPoints[1].Y, Y(e.ptl.y), tol);
      lines.erase(lines.begin());
    }
  }
  ASSERT_FALSE(rects.empty());
  // The hatched frame: pattern and colours.
  bool hatched = false;
  for (auto *r : rects) hatched |= r->FBrush && r->FBrush->Style == bsCross;
  EXPECT_TRUE(hatched);

  // Pictures: the bitmap, the barcode and the QR code, each one image at
  // its scaled rectangle, with its pixels.
  auto images = run.Of<TgtImageItem>();
  struct Blit {
    LONG x, y, cx, cy, width;
  };
  std::vector<Blit> blits;
  for (const auto &r : records) {
    if (r.type == EMR_STRETCHDIBITS) {
      auto b = emftest::As<EMRSTRETCHDIBITS>(r);
      blits.push_back({b.xDest, b.yDest, b.cxDest, b.cyDest, b.cxSrc});
    }
    if (r.type == EMR_BITBLT) {
      auto b = emftest::As<EMRBITBLT>(r);
      BITMAPINFOHEADER bih;
      std::memcpy(&bih, r.bytes.data() + b.offBmiSrc, sizeof bih);
      blits.push_back({b.xDest, b.yDest, b.cxDest, b.cyDest, bih.biWidth});
    }
  }
  ASSERT_EQ(images.size(), blits.size());
  ASSERT_GE(images.size(), 3u);
  for (size_t i = 0; i < images.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(images[i]->FX, X(blits[i].x), tol);
    EXPECT_NEAR(images[i]->FY, Y(blits[i].y), tol);
    EXPECT_NEAR(images[i]->FWidth, blits[i].cx * run.kx, tol);
    EXPECT_NEAR(images[i]->FHeight, blits[i].cy * run.ky, tol);
    const auto &pic = run.engine.ImageResources()[size_t(images[i]->FIndexNo)];
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->Width(), blits[i].width);
  }
  DeleteEnhMetaFile(page);
}

}  // namespace
