// Image resources, text variables, the rasterised shape fallbacks, output
// files, the page canvas, and the engines the library owns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "EngineTestSupport.h"
#include "common/Strings.h"
#include "export/gtExPDFEng.h"
#include "export/gtJPEGEng.h"
#include "export/gtRTFEng.h"
#include "session/Library.h"
#include "support/TestSupport.h"

using namespace nx;
using namespace enginetest;

namespace {

uint32_t Px(COLORREF c) { return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c); }

TgtBitmap Picture(COLORREF dot) {
  TgtBitmap bm(4, 3, RGB(255, 255, 255));
  bm.Row(1)[2] = Px(dot);
  return bm;
}

std::string Hex(const TgtDigest &d) {
  static const char *digits = "0123456789abcdef";
  std::string s;
  for (BYTE b : d) s += {digits[b >> 4], digits[b & 15]};
  return s;
}

struct TReusableEngine : TLogEngine {
  TReusableEngine() { SetCapabilities(ckText | ckImage | ckShape | ckImageReusable); }
};

}  // namespace

TEST(ImageResources, IdenticalImagesAreStoredOnceByTheirMD5) {
  EXPECT_EQ(Hex(gtMD5("abc", 3)), "900150983cd24fb0d6963f7d28e17f72");
  TReusableEngine e;
  e.BeginDoc();
  int32_t a = e.AddImage(Picture(RGB(255, 0, 0)), true);
  int32_t b = e.AddImage(Picture(RGB(0, 0, 255)), true);
  int32_t again = e.AddImage(Picture(RGB(255, 0, 0)), true);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(again, a);
  ASSERT_EQ(e.ImageResources().size(), 2u);
  EXPECT_TRUE(e.ImageResourceHashes()[0].Shared);
  EXPECT_FALSE(e.ImageResourceHashes()[1].Shared);
  EXPECT_EQ(e.ImageResourceHashes()[0].Digest, Picture(RGB(255, 0, 0)).Digest());
  // Without reuse every image gets a slot of its own.
  e.Preferences().FUseImagesAsResources = false;
  EXPECT_EQ(e.AddImage(Picture(RGB(255, 0, 0)), true), 2);
  EXPECT_THROW(e.AddImage(TgtBitmap(), true), EUnsupportedGraphics);
  e.EndDoc();
  EXPECT_TRUE(e.ImageResources().empty());

  TLogEngine plain;  // no ckImageReusable
  plain.BeginDoc();
  EXPECT_EQ(plain.AddImage(Picture(RGB(255, 0, 0)), true), 0);
  EXPECT_EQ(plain.AddImage(Picture(RGB(255, 0, 0)), true), 1);
  plain.EndDoc();
}

TEST(ImageResources, SlotsTheInterpreterReservesAndReleases) {
  TReusableEngine e;
  e.BeginDoc();
  int32_t first = e.ReserveImageSlot();
  int32_t second = e.ReserveImageSlot();
  TgtBitmap pic = Picture(RGB(0, 128, 0));
  e.StoreImage(first, std::make_shared<TgtBitmap>(pic), pic.Digest());
  EXPECT_EQ(e.FindImageDigest(pic.Digest()), first);
  e.ReleaseImageSlot(second);  // the last slot goes
  EXPECT_EQ(e.ImageResources().size(), 1u);
  int32_t third = e.ReserveImageSlot();
  e.ReserveImageSlot();
  e.ReleaseImageSlot(third);  // a middle slot is emptied, indices stay
  EXPECT_EQ(e.ImageResources().size(), 3u);
  EXPECT_EQ(e.ImageResources()[size_t(third)], nullptr);
  EXPECT_EQ(e.FindImageDigest(Picture(RGB(1, 2, 3)).Digest()), -1);
  e.EndDoc();
}

TEST(ImageResources, BitmapsFromDIBsAndAsBMPStreams) {
  // A 1-bit DIB, 3 x 2, palette red / blue; bottom row first.
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD colors[2];
  } info{};
  info.h = {sizeof(BITMAPINFOHEADER), 3, 2, 1, 1, BI_RGB, 0, 0, 0, 0, 0};
  info.colors[0] = {0, 0, 255, 0};  // red
  info.colors[1] = {255, 0, 0, 0};  // blue
  BYTE bits[8] = {0xA0, 0, 0, 0, 0x40, 0, 0, 0};  // bottom: 1 0 1; top: 0 1 0
  TgtBitmap bm = TgtBitmap::FromDIB(reinterpret_cast<BITMAPINFO *>(&info), sizeof info, bits, sizeof bits);
  ASSERT_EQ(bm.Width(), 3);
  ASSERT_EQ(bm.Height(), 2);
  EXPECT_EQ(bm.PixelFormat, pf1bit);
  EXPECT_EQ(bm.Pixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(bm.Pixel(1, 0), RGB(0, 0, 255));
  EXPECT_EQ(bm.Pixel(0, 1), RGB(0, 0, 255));
  EXPECT_EQ(bm.Pixel(1, 1), RGB(255, 0, 0));
  EXPECT_THROW(TgtBitmap::FromDIB(reinterpret_cast<BITMAPINFO *>(&info), sizeof info, bits, 4), ENxError);
  std::vector<BYTE> bmp = bm.SaveToStream();
  ASSERT_EQ(bmp.size(), 14u + 40u + 2u * 12u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[28], 24);
  // Bottom-up rows: the file's first pixel is the bitmap's bottom-left (blue).
  EXPECT_EQ(bmp[54], 255);
  EXPECT_EQ(bmp[56], 0);
}

namespace {

// Writes the text of the first text item of each page with its variables.
struct TVariableEngine : TLogEngine {
  std::vector<WString> Written;
  void RenderTextItem(TgtTextItem &item) override { Written.push_back(ReplaceVariables(item.FLines[0], true)); }
};

}  // namespace

TEST(TextVariables, PageNumbersAndDocumentFieldsInAnyLetterCase) {
  TVariableEngine e;
  e.DocInfo().FTitle = u"Report";
  e.DocInfo().FAuthor = u"Ann";
  e.FOnCalcVariables = [](TgtCustomDocumentEngine &, const WString &name) { return u"[" + name + u"]"; };
  e.BeginDoc();
  for (int p = 1; p <= 7; ++p) {
    if (p > 1) e.NewPage();
    auto text = std::make_unique<TgtTextItem>();
    text->FLines = {u"Page <%pg#%> of <%PGCNT%> <%Pg#%>, <%title%> by <%AUTHOR%> <%Mine%> <%%>"};
    e.Add(std::move(text));
  }
  e.EndDoc();
  ASSERT_EQ(e.Written.size(), 7u);
  EXPECT_EQ(e.Written[2], u"Page 3 of 7 3, Report by Ann [Mine] <%%>");

  TVariableEngine off;
  off.Preferences().FCalculateVariables = false;
  off.BeginDoc();
  auto text = std::make_unique<TgtTextItem>();
  text->FLines = {u"<%Pg#%>"};
  off.Add(std::move(text));
  off.EndDoc();
  EXPECT_EQ(off.Written.at(0), u"<%Pg#%>");
}

TEST(TextVariables, DatesAndTimesAreReplaced) {
  TLogEngine e;
  e.BeginDoc();
  WString s = e.ReplaceVariables(u"<%ShortDate%>|<%shorttime%>|<%LongDate%>|<%LongTime%>", false);
  e.EndDoc();
  EXPECT_EQ(s.find(u"<%"), WString::npos);
  EXPECT_EQ(std::count(s.begin(), s.end(), u'|'), 3);
  EXPECT_GT(s.size(), 12u);
}

TEST(ShapeFallbacks, ShapesReachRenderShapeBitmapAsTransparentBitmaps) {
  TLogEngine e;
  e.Rasterise = true;
  e.BeginDoc();
  auto line = std::make_unique<TgtShapeItem>();
  line->FShapeType = stLine;
  line->FPen = {psSolid, 1, RGB(255, 0, 0)};
  line->FPoints = {{10.25, 20}, {30.25, 20}};  // horizontal: a box without height
  line->FNoPoints = 2;
  e.Add(std::move(line));
  auto box = std::make_unique<TgtShapeItem>();
  box->FShapeType = stEllipse;
  box->FPen = {psClear, 1, 0};
  box->FBrush = TgtBrush{bsSolid, RGB(0, 0, 255), nullptr};
  box->FPoints = {{100, 50}, {140, 90}};
  box->FNoPoints = 2;
  e.Add(std::move(box));
  e.EndDoc();
  ASSERT_EQ(e.Bitmaps.size(), 2u);

  const auto &[lineBm, linePos] = e.Bitmaps[0];
  ASSERT_FALSE(lineBm.Empty());
  EXPECT_TRUE(lineBm.Alpha);
  // Find the stroke: opaque red pixels on one row, at page y 20.
  int redRow = -1, reds = 0;
  for (int y = 0; y < lineBm.Height(); ++y)
    for (int x = 0; x < lineBm.Width(); ++x)
      if (lineBm.AlphaAt(x, y) == 255 && lineBm.Pixel(x, y) == RGB(255, 0, 0)) redRow = y, ++reds;
  EXPECT_GE(reds, 19);
  EXPECT_NEAR(linePos.Y + redRow, 20, 1.0);
  EXPECT_NEAR(linePos.X, 10.25 - 1, 1.0);

  const auto &[ell, ellPos] = e.Bitmaps[1];
  EXPECT_DOUBLE_EQ(ellPos.X, 100);  // no pen: no margin
  EXPECT_EQ(ell.Width(), 40);
  EXPECT_EQ(ell.AlphaAt(20, 20), 255);
  EXPECT_EQ(ell.Pixel(20, 20), RGB(0, 0, 255));
  EXPECT_EQ(ell.AlphaAt(0, 0), 0);  // outside the ellipse
}

TEST(ShapeFallbacks, PolyPolygonCountsBeyondThePointsAreCut) {
  TLogEngine e;
  e.Rasterise = true;
  e.BeginDoc();
  auto pp = std::make_unique<TgtPolyPolygonItem>();
  pp->FNoPoly = 2;
  pp->FNoPoints = {100, 3, 97};  // claims more points than it holds
  pp->FPoints = {{0, 0}, {10, 0}, {10, 10}, {20, 20}};
  pp->FBrush = {bsSolid, RGB(0, 255, 0), nullptr};
  pp->FPen = {psClear, 1, 0};
  e.Add(std::move(pp));
  e.EndDoc();
  ASSERT_EQ(e.Bitmaps.size(), 1u);
  EXPECT_EQ(e.Bitmaps[0].first.Width(), 20);
}

namespace {

// Writes one file per name in Outputs at EndDocument.
struct TFileEngine : TLogEngine {
  std::vector<WString> Outputs;
  void EndDocument() override {
    for (const WString &name : Outputs) {
      auto file = CreateOutputFile(name);
      file->Write("data");
      CommitOutputFile(*file);
    }
    TLogEngine::EndDocument();
  }
};

}  // namespace

TEST(OutputFiles, AFileThatCannotBeCreatedAbandonsTheDocument) {
  nxtest::TempDir dir;
  WString good = AnsiToWide(dir.file("one.txt").c_str());
  TFileEngine e;
  e.Outputs = {good};
  e.BeginDoc();
  e.EndDoc();
  EXPECT_TRUE(std::filesystem::exists(dir.file("one.txt")));
  EXPECT_EQ(e.EngineStatus(), esFinished);

  e.Outputs = {good, AnsiToWide(dir.file("missing/two.txt").c_str())};
  std::filesystem::remove(dir.file("one.txt"));
  e.BeginDoc();
  try {
    e.EndDoc();
    FAIL() << "no error";
  } catch (const EFileCreateError &err) {
    EXPECT_STREQ(err.what(), "File could not be created!\r\n\r\nPossible cause: It could be in use by some other application");
    EXPECT_EQ(err.code(), nxeFile);
  }
  EXPECT_EQ(e.EngineStatus(), esError);
  EXPECT_FALSE(e.IsDocumentStarted());
  EXPECT_FALSE(std::filesystem::exists(dir.file("one.txt")));  // produced earlier in the document
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
  e.Outputs.clear();
  e.BeginDoc();  // reusable
  EXPECT_TRUE(e.IsDocumentStarted());
  e.EndDoc();
}

namespace {

// Keeps the records of the page canvas handed to the interpreter.
struct TCanvasEngine : TLogEngine {
  std::vector<std::vector<BYTE>> Records;
  void ProcessMetafile(HENHMETAFILE m, double x, double y) override {
    Records.clear();
    auto proc = [](HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) -> int {
      auto *out = reinterpret_cast<std::vector<std::vector<BYTE>> *>(p);
      const BYTE *b = reinterpret_cast<const BYTE *>(r);
      out->emplace_back(b, b + r->nSize);
      return 1;
    };
    EnumEnhMetaFile(nullptr, m, proc, &Records, nullptr);
    TLogEngine::ProcessMetafile(m, x, y);
  }
};

XFORM Multiply(const XFORM &a, const XFORM &b) {  // a then b
  return {a.eM11 * b.eM11 + a.eM12 * b.eM21, a.eM11 * b.eM12 + a.eM12 * b.eM22,
          a.eM21 * b.eM11 + a.eM22 * b.eM21, a.eM21 * b.eM12 + a.eM22 * b.eM22,
          a.eDx * b.eM11 + a.eDy * b.eM21 + b.eDx, a.eDx * b.eM12 + a.eDy * b.eM22 + b.eDy};
}

// Where the canvas puts the end of its first LINETO, following its world
// transform records.
TgtPoint LineEnd(const std::vector<std::vector<BYTE>> &records) {
  XFORM world{1, 0, 0, 1, 0, 0};
  for (const auto &r : records) {
    DWORD type;
    std::memcpy(&type, r.data(), 4);
    if (type == EMR_SETWORLDTRANSFORM) {
      std::memcpy(&world, r.data() + 8, sizeof world);
    } else if (type == EMR_MODIFYWORLDTRANSFORM) {
      XFORM x;
      DWORD mode;
      std::memcpy(&x, r.data() + 8, sizeof x);
      std::memcpy(&mode, r.data() + 8 + sizeof x, 4);
      if (mode == MWT_IDENTITY) world = {1, 0, 0, 1, 0, 0};
      else if (mode == MWT_LEFTMULTIPLY) world = Multiply(x, world);
      else if (mode == MWT_RIGHTMULTIPLY) world = Multiply(world, x);
      else world = x;
    } else if (type == EMR_LINETO) {
      POINTL p;
      std::memcpy(&p, r.data() + 8, sizeof p);
      return {p.x * world.eM11 + p.y * world.eM21 + world.eDx, p.x * world.eM12 + p.y * world.eM22 + world.eDy};
    }
  }
  return {-1, -1};
}

// A page recorded at 600 dpi: a metafile whose frame is the A4 sheet and whose
// logical units are 1/600 inch, as a page of a 600-dpi printer.
HENHMETAFILE PrinterPage(int x, int y) {
  HDC screen = GetDC(nullptr);
  RECT frame{0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
  ReleaseDC(nullptr, screen);
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 600, 600, nullptr);
  SetViewportExtEx(dc, 96, 96, nullptr);
  MoveToEx(dc, 0, 0, nullptr);
  LineTo(dc, x, y);
  return CloseEnhMetaFile(dc);
}

}  // namespace

TEST(PageCanvas, PagesArePlayedScaledWithoutRoundingToEnginePixels) {
  HENHMETAFILE page = PrinterPage(1001, 2003);
  ENHMETAHEADER h{};
  GetEnhMetaFileHeader(page, sizeof h, &h);
  // The frame's extent in the page's own device pixels (the frame is
  // inclusive of its right and bottom edge).
  const double frameX = (h.rclFrame.right - h.rclFrame.left) * h.szlDevice.cx / (h.szlMillimeters.cx * 100.0);
  const double frameY = (h.rclFrame.bottom - h.rclFrame.top) * h.szlDevice.cy / (h.szlMillimeters.cy * 100.0);
  const double expectX = 1001 * 96 / 600.0 * 384 / frameX;
  const double expectY = 2003 * 96 / 600.0 * 528 / frameY;
  for (bool keepCorner : {false, true}) {
    for (double left : {0.0, 1.0}) {
      SCOPED_TRACE(std::to_string(keepCorner) + " " + std::to_string(left));
      TCanvasEngine e;
      e.BeginDoc();
      // A rectangle of 4 x 5.5 inches: 384 x 528 engine pixels. The slot-55
      // form starts at the page's corner whatever its left and top;
      // PlayMetafileAt keeps the corner (96 engine pixels an inch).
      const TgtRect rect{left, left, left + 4, left + 5.5};
      if (keepCorner)
        e.PlayMetafileAt(rect, page);
      else
        e.PlayMetafile(rect, page);
      e.EndDoc();
      TgtPoint end = LineEnd(e.Records);
      const double shift = keepCorner ? left * 96 : 0;
      EXPECT_NEAR(end.X, expectX + shift, 0.01);
      EXPECT_NEAR(end.Y, expectY + shift, 0.01);
      EXPECT_NE(end.X, std::round(end.X));
    }
  }
  DeleteEnhMetaFile(page);
}

TEST(LibraryEngines, CreatedAtLoadWithTheirFixedSettingsAndFreedAtUnload) {
  LoadLibraryState();
  TgtPDFEngine &pdf = PdfEngine();
  EXPECT_FALSE(pdf.Preferences().FOpenAfterCreate);
  EXPECT_FALSE(pdf.Preferences().FShowSetupDialog);
  EXPECT_FALSE(pdf.Preferences().FActiveHyperLinks);
  EXPECT_TRUE(pdf.DocInfo().FCreator.empty());
  EXPECT_EQ(pdf.FileExtension(), u"pdf");
  EXPECT_FALSE(RtfEngine().Preferences().FOpenAfterCreate);
  EXPECT_FALSE(RtfEngine().Preferences().FActiveHyperLinks);
  EXPECT_FALSE(JpegEngine().Preferences().FShowSetupDialog);
  EXPECT_EQ(JpegEngine().FileExtension(), u"jpg");
  pdf.SetFileName(u"kept");
  EXPECT_EQ(PdfEngine().FileName(), u"kept");
  UnloadLibraryState();
  LoadLibraryState();
  EXPECT_TRUE(PdfEngine().FileName().empty());
  UnloadLibraryState();
}
