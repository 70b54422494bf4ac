#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/GdiInternal.h"
#include "platform/text/FontEngine.h"
#include "text/TextDcSupport.h"

using textdc::Canvas;
using textdc::MakeFont;
using textdc::MetafileFile;
using textdc::W;

namespace {

// Arial -20: "Hi" is 14 + 4 = 18 pixels wide, the cell 18 + 4 = 22 high.
struct TextCanvas : Canvas {
  HFONT font;
  explicit TextCanvas(HFONT f, int width = 200, int height = 120) : Canvas(width, height), font(f) {
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
  }
  ~TextCanvas() {
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
  }
};

bool Inside(const RECT &inner, const RECT &outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

TEST(TextDcRaster, AlignmentPlacesTheInkAroundTheReferencePoint) {
  struct Case {
    UINT align;
    RECT cell;  // where GDI puts the 18 x 22 cell for the point (100, 50)
  } cases[] = {
      {TA_LEFT | TA_TOP, {100, 50, 118, 72}},
      {TA_RIGHT | TA_TOP, {82, 50, 100, 72}},
      {TA_CENTER | TA_BOTTOM, {91, 28, 109, 50}},
      {TA_LEFT | TA_BASELINE, {100, 32, 118, 54}},
  };
  for (const Case &c : cases) {
    TextCanvas t(MakeFont(u"Arial", -20));
    SetTextAlign(t.dc, c.align);
    ASSERT_TRUE(TextOutW(t.dc, 100, 50, NXW("Hi"), 2));
    RECT ink = t.Ink();
    EXPECT_TRUE(Inside(ink, c.cell)) << c.align << ": " << ink.left << "," << ink.top << "," << ink.right << ","
                                     << ink.bottom;
    EXPECT_GT(ink.right - ink.left, 10) << c.align;  // both letters are there
    EXPECT_GT(ink.bottom - ink.top, 10) << c.align;
  }
}

TEST(TextDcRaster, OpaqueRectangleClippingAndBackground) {
  TextCanvas t(MakeFont(u"Arial", -20));
  SetBkColor(t.dc, RGB(0, 0, 255));
  RECT r{20, 20, 60, 40};
  ASSERT_TRUE(ExtTextOutW(t.dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr));
  RECT blue = t.Box([](uint32_t p) { return p == 0x0000FF; });  // DIB order: 0x00RRGGBB
  EXPECT_EQ(20, blue.left);
  EXPECT_EQ(20, blue.top);
  EXPECT_EQ(60, blue.right);
  EXPECT_EQ(40, blue.bottom);

  // Clipped: text drawn across the rectangle's edge stops at it.
  t.Clear();
  RECT clip{0, 0, 108, 120};
  ExtTextOutW(t.dc, 100, 20, ETO_CLIPPED, &clip, NXW("HHHH"), 4, nullptr);
  RECT ink = t.Ink();
  EXPECT_GE(ink.left, 100);  // the H's side bearing
  EXPECT_LE(ink.left, 103);
  EXPECT_LE(ink.right, 108);
  EXPECT_GE(ink.right, 106);

  // The opaque background mode fills the text cell behind the glyphs.
  t.Clear();
  SetBkMode(t.dc, OPAQUE);
  TextOutW(t.dc, 30, 30, NXW("Hi"), 2);
  blue = t.Box([](uint32_t p) { return p == 0x0000FF; });
  EXPECT_EQ(30, blue.left);
  EXPECT_EQ(30, blue.top);
  EXPECT_EQ(48, blue.right);
  EXPECT_EQ(52, blue.bottom);
}

TEST(TextDcRaster, DxCharacterExtraAndCurrentPosition) {
  TextCanvas t(MakeFont(u"Arial", -20));
  const INT dx[2] = {60, 4};
  ExtTextOutW(t.dc, 10, 10, 0, nullptr, NXW("Hi"), 2, dx);
  RECT ink = t.Ink();
  EXPECT_GE(ink.right, 70);  // the i sits 60 pixels after the H
  EXPECT_LE(ink.right, 74);
  t.Clear();
  SetTextCharacterExtra(t.dc, 20);
  TextOutW(t.dc, 10, 10, NXW("Hi"), 2);
  RECT wide = t.Ink();
  EXPECT_GE(wide.right, 10 + 14 + 20);
  SetTextCharacterExtra(t.dc, 0);

  // TA_UPDATECP draws at the current position and moves it to the end
  // (TA_LEFT) or to the start (TA_RIGHT).
  nx::gdi::Dc *dc = nx::gdi::DcFromHandle(t.dc);
  ASSERT_TRUE(dc);
  dc->st.curPos = POINT{20, 60};
  SetTextAlign(t.dc, TA_UPDATECP);
  t.Clear();
  TextOutW(t.dc, 150, 0, NXW("Hi"), 2);
  EXPECT_EQ(38, dc->st.curPos.x);
  EXPECT_EQ(60, dc->st.curPos.y);
  EXPECT_GE(t.Ink().left, 20);
  EXPECT_LT(t.Ink().right, 40);
  SetTextAlign(t.dc, TA_UPDATECP | TA_RIGHT);
  TextOutW(t.dc, 150, 0, NXW("Hi"), 2);
  EXPECT_EQ(20, dc->st.curPos.x);
}

TEST(TextDcRaster, EscapementUnderlineAndStrikeOut) {
  // 90 degrees: the text runs upwards from the reference point.
  TextCanvas up(MakeFont(u"Arial", -20, 900));
  TextOutW(up.dc, 50, 100, NXW("HHHH"), 4);
  RECT ink = up.Ink();
  EXPECT_GE(ink.left, 50);
  EXPECT_LE(ink.right, 50 + 22);
  EXPECT_LE(ink.bottom, 100);
  EXPECT_GE(ink.bottom - ink.top, 50);  // four H of 14 pixels along the baseline

  // Spaces draw nothing but their underline and strike-out.
  TextCanvas plain(MakeFont(u"Arial", -20));
  TextOutW(plain.dc, 10, 10, NXW("    "), 4);
  EXPECT_TRUE(plain.Blank());
  TextCanvas under(MakeFont(u"Arial", -20, 0, 1));
  TextOutW(under.dc, 10, 10, NXW("    "), 4);
  RECT u = under.Ink();
  EXPECT_EQ(10, u.left);
  EXPECT_GE(u.top, 10 + 18);  // below the baseline
  TextCanvas strike(MakeFont(u"Arial", -20, 0, 0, 1));
  TextOutW(strike.dc, 10, 10, NXW("    "), 4);
  RECT s = strike.Ink();
  EXPECT_LT(s.bottom, 10 + 18);  // above the baseline
  EXPECT_GT(s.top, 10 + 2);
}

TEST(TextDcRaster, DrawTextBreaksLinesInsideTheRectangle) {
  TextCanvas t(MakeFont(u"Arial", -20), 240, 200);
  RECT box{10, 10, 110, 90};  // room for three 22-pixel lines with DT_EDITCONTROL
  const UINT flags = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS;
  RECT calc = box;
  int h = DrawTextW(t.dc, NXW("Quarterly totals for every region of the world"), -1, &calc, flags | DT_CALCRECT);
  EXPECT_TRUE(t.Blank());  // DT_CALCRECT only measures
  EXPECT_EQ(0, h % 22);
  EXPECT_GE(h, 3 * 22);
  EXPECT_LE(calc.right, 110);
  h = DrawTextW(t.dc, NXW("Quarterly totals for every region of the world"), -1, &box, flags);
  EXPECT_EQ(3 * 22, h);
  RECT ink = t.Ink();
  EXPECT_TRUE(Inside(ink, box));
  EXPECT_GE(ink.bottom, 10 + 2 * 22 + 10);  // the third line is drawn
  // Single line, centred: one line in the middle.
  t.Clear();
  RECT wide{0, 100, 240, 130};
  DrawTextW(t.dc, NXW("Hi"), 2, &wide, DT_SINGLELINE | DT_CENTER | DT_NOPREFIX);
  ink = t.Ink();
  EXPECT_GE(ink.left, 111);
  EXPECT_LE(ink.right, 129);
}

// GDI runs text that needs it through the script processor: the raster of
// TextOutW equals drawing the glyphs ScriptShape and ScriptPlace give.
TEST(TextDcRaster, RightToLeftAndJoiningTextIsDrawnAsTheScriptCallsShapeIt) {
  const std::u16string words[] = {u"\u05E9\u05DC\u05D5\u05DD",   // Hebrew: reordered only
                                  u"\u0633\u0644\u0627\u0645"};  // Arabic: joined, lam-alef ligature
  for (const std::u16string &word : words) {
    TextCanvas text(MakeFont(u"DejaVu Sans", -30));
    ASSERT_TRUE(TextOutW(text.dc, 20, 20, W(word), int(word.size())));
    ASSERT_FALSE(text.Blank());
    SCRIPT_ITEM items[4];
    int nItems = 0;
    ASSERT_EQ(S_OK, ScriptItemize(W(word), int(word.size()), 4, nullptr, nullptr, items, &nItems));
    ASSERT_EQ(1, nItems);
    ASSERT_TRUE(items[0].a.fRTL);
    SCRIPT_CACHE sc = nullptr;
    WORD glyphs[16], clusters[16];
    SCRIPT_VISATTR attrs[16];
    int n = 0;
    ASSERT_EQ(S_OK, ScriptShape(text.dc, &sc, W(word), int(word.size()), 16, &items[0].a, glyphs, clusters, attrs, &n));
    int adv[16];
    GOFFSET off[16];
    ASSERT_EQ(S_OK, ScriptPlace(text.dc, &sc, glyphs, n, attrs, &items[0].a, adv, off, nullptr));
    ScriptFreeCache(&sc);
    SIZE extent{};
    ASSERT_TRUE(GetTextExtentPoint32W(text.dc, W(word), int(word.size()), &extent));
    int placed = 0;
    for (int i = 0; i < n; ++i) placed += adv[i];
    EXPECT_EQ(placed, extent.cx);  // measured as drawn
    TextCanvas byGlyphs(MakeFont(u"DejaVu Sans", -30));
    ASSERT_TRUE(ExtTextOutW(byGlyphs.dc, 20, 20, ETO_GLYPH_INDEX, nullptr, reinterpret_cast<const WCHAR *>(glyphs),
                            UINT(n), adv));
    EXPECT_EQ(0, std::memcmp(text.bits, byGlyphs.bits, size_t(text.w) * text.h * 4)) << "word of " << word.size();
    // The Arabic letters' isolated forms in visual order are another picture.
    if (word[0] == u'\u0633') {
      TextCanvas isolated(MakeFont(u"DejaVu Sans", -30));
      auto font = nx::text::FontOfDc(isolated.dc);
      ASSERT_TRUE(font);
      std::vector<WCHAR> ids;
      for (auto it = word.rbegin(); it != word.rend(); ++it) ids.push_back(WCHAR(font->GlyphIndex(*it)));
      ExtTextOutW(isolated.dc, 20, 20, ETO_GLYPH_INDEX, nullptr, ids.data(), UINT(ids.size()), nullptr);
      EXPECT_NE(0, std::memcmp(text.bits, isolated.bits, size_t(text.w) * text.h * 4));
    }
  }
}

TEST(TextDcRaster, DrawTextOnAMetafileWritesOneRecordPerLine) {
  MetafileFile mf(RECT{0, 0, 5000, 3000});
  HFONT font = MakeFont(u"Arial", -20);
  SelectObject(mf.dc, font);
  RECT box{10, 10, 110, 200};
  int h = DrawTextW(mf.dc, NXW("Quarterly totals for every region"), -1, &box,
                    DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS);
  mf.Close();
  auto recs = mf.Records(EMR_EXTTEXTOUTW);
  ASSERT_EQ(size_t(h / 22), recs.size());
  ASSERT_GE(recs.size(), 2u);
  std::u16string joined;
  for (size_t i = 0; i < recs.size(); ++i) {
    const auto &r = recs[i];
    EXPECT_EQ(10, textdc::I32(r, 36));
    EXPECT_EQ(int32_t(10 + 22 * i), textdc::I32(r, 40));
    EXPECT_EQ(uint32_t(ETO_CLIPPED), textdc::U32(r, 52));
    EXPECT_EQ(110, textdc::I32(r, 64));  // rcl is the DrawText rectangle
    uint32_t n = textdc::U32(r, 44);
    for (uint32_t k = 0; k < n; ++k) joined += char16_t(r[76 + 2 * k] | r[77 + 2 * k] << 8);
  }
  EXPECT_EQ(u"Quarterly totals for every region", joined);
  DeleteObject(font);
}

}  // namespace
