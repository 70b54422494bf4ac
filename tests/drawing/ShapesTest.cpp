// Lines, frames and ellipses: the pens, brushes and shape records they write,
// and how the rendered page looks.
#include "drawing/Drawing.h"
#include "drawing/DrawingSupport.h"

namespace drawtest {
namespace {

LOGPEN LastPen(const std::vector<Record> &recs) {
  auto pens = DrawingTest::OfType(recs, EMR_CREATEPEN);
  return pens.empty() ? LOGPEN{} : pens.back().As<EMRCREATEPEN>().lopn;
}

TEST_F(DrawingTest, LinePenWidthIsWholePixelsPerPointTimesTheThickness) {
  // Default thickness 1 point at 600 dpi: 600 div 72 = 8 pixels, not 8.33.
  std::string emf = Draw([] { NxLine(100000, 200000, 800000, 200000); });
  auto recs = Records(emf);
  EXPECT_EQ(LastPen(recs).lopnWidth.x, 8);
  EXPECT_EQ(LastPen(recs).lopnStyle, static_cast<UINT>(PS_SOLID));
  auto moves = OfType(recs, EMR_MOVETOEX);
  auto lines = OfType(recs, EMR_LINETO);
  ASSERT_FALSE(moves.empty());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(moves.back().As<EMRMOVETOEX>().ptl.x, 10);
  EXPECT_EQ(moves.back().As<EMRMOVETOEX>().ptl.y, 20);
  EXPECT_EQ(lines[0].As<EMRLINETO>().ptl.x, 80);

  Raster page;
  if (Render(emf, &page)) {
    EXPECT_EQ(page.Dark(40, 0, 41, page.height), 8) << "an 8-pixel line";
  }

  // Half a point at 300 dpi: truncate(0.5 x 4) = 2; colour -5 is red.
  emf = Draw([] { NxLineEx(0, 0, 1000000, 1000000, 5000, -5); }, 1);
  recs = Records(emf);
  EXPECT_EQ(LastPen(recs).lopnWidth.x, 2);
  EXPECT_EQ(LastPen(recs).lopnColor, RGB(255, 0, 0));
}

TEST_F(DrawingTest, FramesFollowThicknessFillAndPattern) {
  // Thickness 0: filled, no outline. Fill -255: outline only.
  auto recs = Records(Draw([] {
    NxFrameEx(100000, 100000, 2000000, 1000000, 0, -1, -5, 0, 0);
    NxFrameEx(100000, 100000, 2000000, 1000000, 20000, -1, -255, 4, 0);
  }));
  auto pens = OfType(recs, EMR_CREATEPEN);
  auto brushes = OfType(recs, EMR_CREATEBRUSHINDIRECT);
  ASSERT_GE(pens.size(), 2u);
  ASSERT_GE(brushes.size(), 2u);
  EXPECT_EQ(pens[pens.size() - 2].As<EMRCREATEPEN>().lopn.lopnStyle, static_cast<UINT>(PS_NULL));
  EXPECT_EQ(brushes[brushes.size() - 2].As<EMRCREATEBRUSHINDIRECT>().lb.lbStyle, static_cast<UINT>(BS_SOLID));
  EXPECT_EQ(brushes[brushes.size() - 2].As<EMRCREATEBRUSHINDIRECT>().lb.lbColor, RGB(255, 0, 0));
  EXPECT_EQ(pens.back().As<EMRCREATEPEN>().lopn.lopnWidth.x, 16);
  EXPECT_EQ(brushes.back().As<EMRCREATEBRUSHINDIRECT>().lb.lbStyle, static_cast<UINT>(BS_NULL));
  auto rects = OfType(recs, EMR_RECTANGLE);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0].As<EMRRECTANGLE>().rclBox.left, 10);
  EXPECT_EQ(rects[0].As<EMRRECTANGLE>().rclBox.top, 10);
}

TEST_F(DrawingTest, HatchIsDrawnInTheBorderColourOnTheFillColour) {
  // Pattern 4 (cross), border -2 blue, fill -15 yellow.
  std::string emf = Draw([] { NxFrameEx(1000000, 1000000, 5000000, 4000000, 10000, -2, -15, 4, 0); });
  auto recs = Records(emf);
  auto brushes = OfType(recs, EMR_CREATEBRUSHINDIRECT);
  ASSERT_FALSE(brushes.empty());
  const LOGBRUSH32 lb = brushes.back().As<EMRCREATEBRUSHINDIRECT>().lb;
  EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_HATCHED));
  EXPECT_EQ(lb.lbHatch, static_cast<ULONG>(HS_CROSS));
  EXPECT_EQ(lb.lbColor, RGB(0, 0, 255));
  // The background in force at the rectangle: opaque yellow.
  int mode = 0;
  COLORREF bk = 0;
  for (const Record &r : recs) {
    if (r.type == EMR_SETBKMODE) mode = static_cast<int>(r.As<EMRSETBKMODE>().iMode);
    if (r.type == EMR_SETBKCOLOR) bk = r.As<EMRSETTEXTCOLOR>().crColor;
    if (r.type == EMR_RECTANGLE) break;
  }
  EXPECT_EQ(mode, OPAQUE);
  EXPECT_EQ(bk, RGB(255, 255, 0));

  Raster page;
  if (Render(emf, &page)) {
    // Inside the frame (clear of its 8-pixel border): only blue and yellow.
    const int area = 150 * 150;
    const int blue = page.Count(120, 120, 270, 270, RGB(0, 0, 255));
    const int yellow = page.Count(120, 120, 270, 270, RGB(255, 255, 0));
    EXPECT_EQ(blue + yellow, area);
    EXPECT_GT(blue, area / 10);
    EXPECT_GT(yellow, area / 2);
  }
}

TEST_F(DrawingTest, RoundedCornersAreDevicePixelsAndEllipsesNeedASize) {
  auto recs = Records(Draw([] {
    NxSetUnit(1);  // millimetres: the corner stays in pixels
    NxFrame(50000, 50000, 300000, 200000, 50);
    NxEllipse(50000, 50000, 50000, 200000);                   // X2 = X1: nothing
    NxEllipseEx(50000, 50000, 300000, 200000, 0, -1, -3, 0);  // filled green, no outline
  }));
  auto round = OfType(recs, EMR_ROUNDRECT);
  ASSERT_EQ(round.size(), 1u);
  EXPECT_EQ(round[0].As<EMRROUNDRECT>().szlCorner.cx, 50);
  EXPECT_EQ(round[0].As<EMRROUNDRECT>().szlCorner.cy, 50);
  EXPECT_EQ(round[0].As<EMRROUNDRECT>().rclBox.left, 118);  // 5 mm at 600 dpi
  auto ellipses = OfType(recs, EMR_ELLIPSE);
  ASSERT_EQ(ellipses.size(), 1u);
  EXPECT_EQ(OfType(recs, EMR_CREATEBRUSHINDIRECT).back().As<EMRCREATEBRUSHINDIRECT>().lb.lbColor, RGB(0, 128, 0));
}

TEST_F(DrawingTest, SessionStylingAndSentinels) {
  auto recs = Records(Draw([] {
    NxSetBorderThickness(5000);  // half a point: 4 pixels
    NxSetBorderColor(-10);       // navy
    NxSetFillColor(0x123456);
    NxSetFillPattern(0);
    NxFrame(0, 0, 1000000, 1000000, 0);
    NxLineEx(0, 0, 1000000, 0, -10000000, -999);  // the session's thickness and colour
  }));
  auto pens = OfType(recs, EMR_CREATEPEN);
  ASSERT_FALSE(pens.empty());
  EXPECT_EQ(pens.back().As<EMRCREATEPEN>().lopn.lopnWidth.x, 4);
  EXPECT_EQ(pens.back().As<EMRCREATEPEN>().lopn.lopnColor, RGB(0, 0, 128));
  EXPECT_EQ(OfType(recs, EMR_CREATEBRUSHINDIRECT).back().As<EMRCREATEBRUSHINDIRECT>().lb.lbColor,
            static_cast<COLORREF>(0x123456));
  EXPECT_EQ(OfType(recs, EMR_LINETO).size(), 1u);
}

TEST_F(DrawingTest, NothingIsDrawnWithoutADocument) {
  NxInit();
  NxLine(0, 0, 100000, 100000);
  NxFrame(0, 0, 100000, 100000, 0);
  NxTextOut(0, 0, "x");
  EXPECT_EQ(NxGetTextWidth("abc"), 0);
  EXPECT_EQ(NxGetLastError(), 0);
  EXPECT_EQ(nx::PageStore().PagesCount(), 0);
}

TEST_F(DrawingTest, PatternOneAndUnknownPatternsFillNothing) {
  std::string emf = Draw([] {
    NxFrameEx(1000000, 1000000, 4000000, 4000000, 10000, -2, -5, 1, 0);  // pattern 1: hollow
    NxFrameEx(5000000, 1000000, 8000000, 4000000, 10000, -2, -5, 9, 0);  // outside 0..7: hollow
  });
  auto recs = Records(emf);
  auto brushes = OfType(recs, EMR_CREATEBRUSHINDIRECT);
  ASSERT_FALSE(brushes.empty());
  EXPECT_EQ(brushes.back().As<EMRCREATEBRUSHINDIRECT>().lb.lbStyle, static_cast<UINT>(BS_NULL));
  Raster page;
  ASSERT_TRUE(Render(emf, &page));
  EXPECT_EQ(page.Count(110, 110, 390, 390, RGB(255, 255, 255)), 280 * 280) << "inside stays white";
  EXPECT_EQ(page.Count(510, 110, 790, 390, RGB(255, 255, 255)), 280 * 280);
  EXPECT_GT(page.Count(90, 90, 410, 410, RGB(0, 0, 255)), 4 * 280 * 8) << "the blue outline is drawn";
  EXPECT_EQ(page.Count(0, 0, page.width, page.height, RGB(255, 0, 0)), 0) << "no red fill anywhere";
}

TEST(ColourCodes, PaletteDesktopSystemColoursAndPassThrough) {
  static constexpr COLORREF kExpected[16] = {0x000000, 0xFF0000, 0x008000, 0x808000, 0x0000FF, 0x800080,
                                             0x000080, 0xC0C0C0, 0x808080, 0x800000, 0x00FF00, 0xFFFF00,
                                             0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  for (int i = 1; i <= 16; ++i) EXPECT_EQ(nx::CodeToRGB(-i), kExpected[i - 1]) << "code " << -i;
  EXPECT_EQ(nx::MapColor(1), -255) << "code 1 is the desktop colour, not the transparency marker";
  EXPECT_EQ(nx::CodeToRGB(1), GetSysColor(COLOR_BACKGROUND));
  EXPECT_EQ(nx::MapColor(0x123456), 0x123456);
  EXPECT_EQ(nx::CodeToRGB(static_cast<int32_t>(0xFF00000F)), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(240, 240, 240));
  EXPECT_EQ(nx::CodeToRGB(-17), GetSysColor(0xEF)) << "any other negative value names a system colour";
  EXPECT_EQ(nx::MapFillPattern(4), nx::TBrushStyle::Cross);
  EXPECT_EQ(nx::MapFillPattern(8), nx::TBrushStyle::Clear);
  EXPECT_EQ(nx::MapFillPattern(-1), nx::TBrushStyle::Clear);
}

}  // namespace
}  // namespace drawtest
