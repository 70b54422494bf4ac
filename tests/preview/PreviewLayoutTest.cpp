// The preview window's rules with the window's own numbers: an A4 page at
// 600 dpi (4960 x 7016 printer pixels, 6.25 printer pixels a screen pixel) in
// the scroll area of the window's design size (720 x 310).
#include <gtest/gtest.h>

#include "preview/Preview.h"
#include "preview/PreviewLayout.h"
#include "support/SpoolEnv.h"

namespace nxtest {
namespace {

using namespace nx::preview;

constexpr int kPageW = 4960, kPageH = 7016;
constexpr double kFactor = 600 / 96.0;

bool Same(const RECT &a, const RECT &b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
#define EXPECT_RECT(r, l, t, rr, b) EXPECT_TRUE(Same(r, RECT{l, t, rr, b})) << (r).left << "," << (r).top << "," << (r).right << "," << (r).bottom

TEST(PreviewLayout, PaperSizeTruncatesThenDividesAndAddsTheMargins) {
  EXPECT_EQ(PaperExtent(kPageW, kFactor, 100), 809);  // 793.6 -> 79360 div 100 + 16
  EXPECT_EQ(PaperExtent(kPageW, kFactor, 33), 277);   // 26188.8 -> 26188 div 100 + 16
  EXPECT_EQ(PaperExtent(kPageH, kFactor, 50), 577);
  EXPECT_EQ(PaperExtent(kPageW, kFactor, 400), 3190);
  EXPECT_EQ(PaperExtent(1, 1.0, 20), 16);  // a page thinner than a pixel keeps the paper's margins
}

TEST(PreviewLayout, PaperIsCentredOnAnAxisWhereItFitsAndTheShadowsFollowIt) {
  const PREVIEWLAYOUT l = LayoutPaper(kPageW, kPageH, kFactor, 50, 720, 310);
  // 412 wide: centred; 577 high: taller than the area, at the top.
  EXPECT_RECT(l.paper, 154, 0, 566, 577);
  EXPECT_RECT(l.shadowRight, 566, 8, 574, 585);
  EXPECT_RECT(l.shadowBottom, 162, 577, 574, 585);
  const PREVIEWLAYOUT small = LayoutPaper(kPageW, kPageH, kFactor, 20, 720, 310);  // 174 x 240
  EXPECT_RECT(small.paper, 273, 35, 447, 275);
  const PREVIEWLAYOUT odd = LayoutPaper(kPageW, kPageH, kFactor, 20, 721, 311);  // halving rounds down
  EXPECT_EQ(odd.paper.left, 273);
  EXPECT_EQ(odd.paper.top, 35);
}

TEST(PreviewLayout, ZoomButtonsStepByTenAndStopAt20And400) {
  EXPECT_EQ(StepZoom(100, +1), 110);
  EXPECT_EQ(StepZoom(100, -1), 90);
  EXPECT_EQ(StepZoom(395, +1), 400);
  EXPECT_EQ(StepZoom(400, +1), 400);
  EXPECT_EQ(StepZoom(25, -1), 20);
  EXPECT_EQ(StepZoom(20, -1), 20);
  // Fitting may leave the range; the next step comes back into it.
  EXPECT_EQ(StepZoom(8, +1), 20);
  EXPECT_EQ(StepZoom(523, -1), 400);
}

TEST(PreviewLayout, FitRectKeepsTheAspectAndCentresOnTheFreeAxis) {
  // A wide target: the height is filled, the width centred.
  EXPECT_RECT(FitRect({10, 20, 409, 119}, {0, 0, 199, 99}, true), 110, 20, 309, 119);
  EXPECT_RECT(FitRect({10, 20, 409, 119}, {0, 0, 199, 99}, false), 10, 20, 209, 119);
  // A tall target: the width is filled, the height centred.
  EXPECT_RECT(FitRect({0, 0, 99, 199}, {0, 0, 49, 49}, true), 0, 50, 99, 149);
  EXPECT_RECT(FitRect({5, 5, 104, 204}, {0, 0, 49, 49}, false), 5, 5, 104, 104);
  // The fitted side is rounded up: 101 x 0.7 = 70.7 gives 71 columns.
  EXPECT_RECT(FitRect({0, 0, 199, 100}, {0, 0, 69, 99}, false), 0, 0, 70, 100);
}

TEST(PreviewLayout, FitPageAndFitWidthUseTheScrollAreaAndAreNotClamped) {
  const RECT area{0, 0, 720, 310};
  // Target 711 x 291 for a 4977 x 7033 source: 206 wide, (205 - 16) * 100 div 793.
  EXPECT_EQ(FitPageZoom(kPageW, kPageH, kFactor, area, 100), 23);
  EXPECT_EQ(FitWidthZoom(kPageW, kFactor, area, 100), 82);  // (720 - 64) * 100 div 793
  EXPECT_EQ(FitWidthZoom(kPageW, kFactor, {0, 0, 3400, 300}, 100), 420);
  EXPECT_EQ(FitPageZoom(kPageW, kPageH, kFactor, {0, 0, 150, 120}, 100), 6);  // 72 wide
  // A page without width on the screen keeps the zoom instead of dividing by zero.
  EXPECT_EQ(FitWidthZoom(3, kFactor, area, 70), 70);
  EXPECT_EQ(FitPageZoom(0, kPageH, kFactor, area, 70), 70);
}

TEST(PreviewLayout, InitialZoomTakes20To400AndFitsForNegativeLevels) {
  EXPECT_EQ(InitialZoom(10), 100);
  EXPECT_EQ(InitialZoom(500), 100);
  EXPECT_EQ(InitialZoom(0), 100);
  EXPECT_EQ(InitialZoom(20), 20);
  EXPECT_EQ(InitialZoom(400), 400);
  EXPECT_EQ(InitialZoom(-1), kZoomFitPage);
  EXPECT_EQ(InitialZoom(-2), kZoomFitWidth);
  EXPECT_EQ(InitialZoom(-100), kZoomFitWidth);
}

TEST(PreviewLayout, PageLabelZoomTextAndPageButtonsFor1_2And5Pages) {
  EXPECT_EQ(PageLabel(2, 12), u"3/12");
  EXPECT_EQ(PageLabel(0, 1), u"1/1");
  EXPECT_EQ(ZoomText(100), u"100 %");
  EXPECT_EQ(ZoomText(23), u"23 %");
  auto buttons = [](int i, int n) {
    TPageButtons b = PageButtons(i, n);
    return std::string{b.First ? 'F' : '-', b.Previous ? 'P' : '-', b.Next ? 'N' : '-', b.Last ? 'L' : '-'};
  };
  EXPECT_EQ(buttons(0, 1), "----");
  EXPECT_EQ(buttons(0, 2), "--NL");
  EXPECT_EQ(buttons(1, 2), "FP--");
  EXPECT_EQ(buttons(0, 5), "--NL");
  EXPECT_EQ(buttons(2, 5), "FPNL");
  EXPECT_EQ(buttons(4, 5), "FP--");
  EXPECT_EQ(PageTarget(PWC_FIRST, 3, 5), 0);
  EXPECT_EQ(PageTarget(PWC_PREVIOUS, 3, 5), 2);
  EXPECT_EQ(PageTarget(PWC_NEXT, 3, 5), 4);
  EXPECT_EQ(PageTarget(PWC_LAST, 3, 5), 4);
}

TEST(PreviewLayout, PlacementOfEachOpeningState) {
  const RECT screen{0, 0, 1280, 1024}, work{0, 0, 1280, 984};  // a 40-pixel task bar
  auto bounds = [&](int state, int l, int t, int w, int h) {
    TPlacement p = PlacementOf(state, l, t, w, h, screen, work);
    EXPECT_EQ(p.Show, SW_SHOWNORMAL);
    EXPECT_TRUE(p.HasBounds);
    return p.Bounds;
  };
  // State 3 without a size: the whole screen above the task bar.
  EXPECT_RECT(bounds(3, 0, 0, -1, -1), 0, 0, 1280, 984);
  EXPECT_RECT(bounds(3, 0, 0, 600, 800), 340, 92, 940, 892);
  // State 2 keeps its place; a negative size leaves the same margin on the far side.
  EXPECT_RECT(bounds(2, 100, 50, -1, -1), 100, 50, 1180, 934);
  EXPECT_RECT(bounds(2, 100, 50, 500, 450), 100, 50, 600, 500);
  EXPECT_EQ(PlacementOf(0, 1, 2, 3, 4, screen, work).Show, SW_MINIMIZE);
  EXPECT_EQ(PlacementOf(1, 1, 2, 3, 4, screen, work).Show, SW_MAXIMIZE);
  EXPECT_EQ(PlacementOf(9, 1, 2, 3, 4, screen, work).Show, SW_MAXIMIZE);
  EXPECT_FALSE(PlacementOf(1, 1, 2, 3, 4, screen, work).HasBounds);

  TWindowSettings stored;  // as read with no key: normal at (0, 0), 600 x 800
  TPlacement p = PlacementOf(stored);
  EXPECT_EQ(p.Show, SW_SHOWNORMAL);
  EXPECT_RECT(p.Bounds, 0, 0, 600, 800);
  stored.WindowState = 1;
  EXPECT_EQ(PlacementOf(stored).Show, SW_MINIMIZE);
  stored.WindowState = 2;
  EXPECT_EQ(PlacementOf(stored).Show, SW_MAXIMIZE);
  stored.WindowState = 7;  // the window keeps its state and size
  EXPECT_EQ(PlacementOf(stored).Show, SW_SHOWNORMAL);
  EXPECT_FALSE(PlacementOf(stored).HasBounds);
}

class PreviewSettingsTest : public SpoolTest {};

TEST_F(PreviewSettingsTest, DefaultsWithoutTheKeyAndTheStoredValuesAfterASave) {
  TWindowSettings s = LoadWindowSettings(true, 55);
  EXPECT_EQ((std::vector<int>{s.WindowState, s.Left, s.Top, s.Width, s.Height, s.Zoom}),
            (std::vector<int>{0, 0, 0, 600, 800, 100}));
  EXPECT_EQ(LoadWindowSettings(false, 55).Zoom, 55);  // a zoom set by the host stays

  ASSERT_TRUE(SaveWindowSettings({2, 11, 12, 713, 514, 130}, 1));
  s = LoadWindowSettings(true, 55);
  EXPECT_EQ((std::vector<int>{s.WindowState, s.Left, s.Top, s.Width, s.Height, s.Zoom}),
            (std::vector<int>{2, 11, 12, 713, 514, 130}));
  EXPECT_EQ(LoadWindowSettings(false, 55).Zoom, 55);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Vantorix\\Noxtrel32\\Preview", 0, KEY_READ | KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  DWORD type = 0, value = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExW(key, u"TopMost", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 1u);
  // A value missing from the key keeps its default.
  EXPECT_EQ(RegDeleteValueW(key, u"Width"), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(LoadWindowSettings(true, 55).Width, 600);
  EXPECT_EQ(LoadWindowSettings(true, 55).Height, 514);
}

}  // namespace
}  // namespace nxtest
