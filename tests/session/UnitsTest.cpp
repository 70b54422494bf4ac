// Units, coordinate order and the text grid against page metrics built by
// hand (a 600 dpi A4 printer with a 100 x 120 pixel physical offset).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "noxtrel.h"
#include "session/Library.h"
#include "session/Session.h"
#include "session/Units.h"

namespace {

nx::TPageMetrics A4At600() {
  nx::TPageMetrics m;
  m.PaperWidth = 4960;
  m.PaperHeight = 7016;
  m.LeftMargin = 100;
  m.TopMargin = 120;
  m.AreaWidth = 4800;
  m.AreaHeight = 6776;
  m.MAreaWidth = 203;
  m.MAreaHeight = 286;
  m.HPixelsInch = 600;
  m.VPixelsInch = 600;
  return m;
}

class UnitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nx::UnloadLibraryState();
    nx::ResetSession();
    nx::StorePageMetrics(A4At600());
  }
  static POINT At(double a, double b) { return nx::UnitsToPoint(a, b); }
};

TEST_F(UnitsTest, PhysicalUnitsMeasureFromTheSheetCorner) {
  NxSetUnit(3);
  EXPECT_EQ(At(1, 1).x, 500);
  EXPECT_EQ(At(1, 1).y, 480);
  NxSetUnit(4);
  EXPECT_EQ(At(100, 0).x, 0);  // the printable edge
  EXPECT_EQ(At(0, 0).y, -120);
  NxSetUnit(1);
  EXPECT_EQ(At(25.4, 50.8).x, 500);
  EXPECT_EQ(At(25.4, 50.8).y, 1080);
  NxSetUnit(2);
  EXPECT_EQ(At(2.54, 0).x, 500);
  NxSetUnit(5);
  EXPECT_EQ(At(6, 6).x, 500);
  NxSetUnit(6);
  EXPECT_EQ(At(72, 0).x, 500);
  NxSetUnit(7);
  EXPECT_EQ(At(1440, 2880).y, 1080);
}

TEST_F(UnitsTest, MarginIsSubtractedBeforeTruncating) {
  NxSetUnit(4);
  EXPECT_EQ(At(99.5, 0).x, 0);  // -0.5 truncates toward zero
  EXPECT_EQ(At(98.5, 0).x, -1);
  EXPECT_EQ(At(100.99, 0).x, 0);
}

TEST_F(UnitsTest, GridAndLineModelMeasureFromThePrintableArea) {
  NxSetUnit(8);
  EXPECT_EQ(nx::Session().PixelsCol, 60);
  EXPECT_EQ(nx::Session().PixelsRow, 6776 / 63);
  EXPECT_EQ(At(10, 2).x, 600);
  EXPECT_EQ(At(10, 2).y, 2 * (6776 / 63));
  // NxSetRowCol(0, 0) keeps rows and columns but recomputes the cells.
  nx::Session().AreaWidth = 2400;
  NxSetRowCol(0, 0);
  EXPECT_EQ(nx::Session().TextCols, 80);
  EXPECT_EQ(At(10, 0).x, 300);
  NxSetRowCol(-1, 40);
  EXPECT_EQ(nx::Session().TextRows, 63);
  EXPECT_EQ(At(10, 0).x, 600);

  NxSetUnit(0);  // 10 CPI, 6 LPI: ten characters are one inch
  EXPECT_EQ(At(10, 6).x, 600);
  EXPECT_EQ(At(10, 6).y, 600);
  NxSetLPI(8);
  EXPECT_EQ(At(0, 8).y, 600);
}

TEST_F(UnitsTest, SwappedCoordinatesAndUnknownCodes) {
  NxSetUnit(3);
  NxSetCoorSystem(1);  // (row, column)
  POINT p = At(1, 2);
  EXPECT_EQ(p.x, 2 * 600 - 100);
  EXPECT_EQ(p.y, 600 - 120);
  NxSetCoorSystem(2);  // behaves as 0
  EXPECT_EQ(At(1, 2).x, 500);
  RECT r = nx::UnitsToRect(1, 1, 2, 3);
  EXPECT_EQ(r.left, 500);
  EXPECT_EQ(r.bottom, 3 * 600 - 120);

  NxSetUnit(9);
  EXPECT_EQ(At(5, 5).x, 0);
  EXPECT_EQ(At(5, 5).y, 0);
  EXPECT_EQ(NxGetMaxWidth(), 0);
  NxSetUnit(-1);
  EXPECT_EQ(At(5, 5).x, 0);
  EXPECT_EQ(NxGetMaxHeight(), 0);
}

TEST_F(UnitsTest, CharactersPerInchTable) {
  struct Row {
    int32_t cpi;
    double mm;
    int32_t size;
  };
  for (Row r : {Row{8, 3.175, 150000}, Row{10, 2.54, 120000}, Row{12, 25.4 / 12, 100000}, Row{15, 25.4 / 15, 80000},
                Row{16, 25.4 / 17, 70000}, Row{17, 25.4 / 17, 70000}, Row{18, 25.4 / 18, 66500},
                Row{20, 1.27, 60000}, Row{0, 2.54, 120000}, Row{-12, 2.54, 120000}}) {
    NxSetCPI(r.cpi);
    EXPECT_EQ(NxGetCPI(), r.cpi);
    EXPECT_DOUBLE_EQ(nx::Session().MMHorz, r.mm) << r.cpi;
    EXPECT_EQ(NxGetFontSize(), r.size) << r.cpi;
  }
  NxSetLPI(8);
  NxSetLPI(6);
  EXPECT_DOUBLE_EQ(nx::Session().MMVert, 25.4 / 6);

  NxSetCPI(11);
  EXPECT_EQ(NxGetCPI(), 11);
  EXPECT_DOUBLE_EQ(nx::Session().MMHorz, 2.54);
  EXPECT_EQ(NxGetFontSize(), 120000);
  NxSetCPI(16);
  EXPECT_DOUBLE_EQ(nx::Session().MMHorz, 25.4 / 17);
  EXPECT_EQ(NxGetFontSize(), 70000);
  NxSetCPI(18);
  EXPECT_EQ(NxGetFontSize(), 66500);
  NxSetCPI(8);
  EXPECT_DOUBLE_EQ(nx::Session().MMHorz, 3.175);
  EXPECT_EQ(NxGetFontSize(), 150000);

  NxSetLPI(8);
  NxSetLPI(7);  // keeps the line height of 8 LPI
  EXPECT_EQ(NxGetLPI(), 7);
  EXPECT_DOUBLE_EQ(nx::Session().MMVert, 3.175);
}

TEST_F(UnitsTest, SheetSizeInEveryUnit) {
  const int32_t expectWidth[] = {80 * 10000, 2099733, 209973, 82666, 49600000, 496000, 5952000, 119040000};
  for (int32_t unit = 0; unit <= 7; ++unit) {
    NxSetUnit(unit);
    EXPECT_EQ(NxGetMaxWidth(), expectWidth[unit]) << "unit " << unit;
  }
  NxSetUnit(8);
  EXPECT_EQ(NxGetMaxWidth(), 800000);
  EXPECT_EQ(NxGetMaxHeight(), nx::ToFixed(6776 / 600.0 * 6));
  NxSetUnit(1);
  EXPECT_EQ(NxGetMaxHeight(), nx::ToFixed(7016 / 600.0 * 25.4));
}

TEST_F(UnitsTest, NothingMeasuredGivesZeroAndHugeSheetsSaturate) {
  nx::ResetSession();  // paper size back to 0
  NxSetUnit(4);
  EXPECT_EQ(NxGetMaxWidth(), 0);
  nx::StorePageMetrics(nx::TPageMetrics{});  // no resolution at all
  for (int32_t unit = 0; unit <= 8; ++unit) {
    NxSetUnit(unit);
    EXPECT_EQ(NxGetMaxWidth(), 0);
    EXPECT_EQ(NxGetMaxHeight(), 0);
  }
  nx::TPageMetrics huge = A4At600();
  huge.PaperWidth = 2000000000;
  nx::StorePageMetrics(huge);
  NxSetUnit(7);
  EXPECT_EQ(NxGetMaxWidth(), std::numeric_limits<int32_t>::max());
  NxSetUnit(3);
  EXPECT_EQ(At(-2e9, 0).x, std::numeric_limits<LONG>::min());
}

}  // namespace
