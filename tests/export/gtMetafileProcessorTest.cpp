// The metafile interpreter, record by record: metafiles written by hand as
// another program might write them, interpreted into the items of a page.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/ErrorChannel.h"
#include "export/gtCstDocEng.h"
#include "export/gtMetafileProcessor.h"
#include "gdi/EmfTestUtil.h"

using namespace nx;
using emftest::EmfBuilder;

namespace {

DWORD F(float v) {
  DWORD d;
  std::memcpy(&d, &v, 4);
  return d;
}

// An engine with a page open; each Interpret runs a fresh interpreter on
// a metafile image and answers the page's items.
class Page {
 public:
  Page() {
    engine.Preferences().FShowSetupDialog = false;
    engine.Preferences().FOpenAfterCreate = false;
    engine.BeginDoc();
  }
  ~Page() { engine.EndDoc(); }
  TgtItemList &Interpret(const std::vector<uint8_t> &image, double x = 0, double y = 0) {
    HENHMETAFILE h = SetEnhMetaFileBits(UINT(image.size()), image.data());
    EXPECT_NE(h, nullptr);
    TgtMetafileProcessor p(engine);
    p.SetCombineCharsToSentence(true);
    p.Execute(h, x, y);
    DeleteEnhMetaFile(h);
    return *engine.CurrentDocumentItemList();
  }
  template <class T>
  std::vector<T *> Of() {
    std::vector<T *> out;
    for (auto &i : *engine.CurrentDocumentItemList())
      if (auto *t = dynamic_cast<T *>(i.get())) out.push_back(t);
    return out;
  }
  TgtCustomDocumentEngine engine;
};

// EXTCREATEFONTINDIRECTW of 332 bytes.
void Font(EmfBuilder &e, DWORD index, LONG height, LONG weight, const char16_t *face, BYTE charset = 0,
          LONG escapement = 0) {
  EMREXTCREATEFONTINDIRECTW f{};
  f.ihFont = index;
  f.elfw.elfLogFont.lfHeight = height;
  f.elfw.elfLogFont.lfWeight = weight;
  f.elfw.elfLogFont.lfEscapement = escapement;
  f.elfw.elfLogFont.lfCharSet = charset;
  for (size_t i = 0; face[i] && i < LF_FACESIZE - 1; ++i) f.elfw.elfLogFont.lfFaceName[i] = face[i];
  std::vector<uint8_t> body(reinterpret_cast<uint8_t *>(&f) + 8, reinterpret_cast<uint8_t *>(&f) + sizeof f);
  e.AddBytes(EMR_EXTCREATEFONTINDIRECTW, body);
}

// EXTTEXTOUTW at (x, y) with advances dx (one per character).
void Text(EmfBuilder &e, LONG x, LONG y, const std::u16string &s, std::vector<LONG> dx, DWORD options = 0,
          RECTL rcl = {0, 0, -1, -1}) {
  const DWORD n = DWORD(s.size());
  const DWORD offString = 76, offDx = offString + 2 * ((n + 1) & ~1u);
  std::vector<DWORD> f = {0, 0, 0, 0, GM_COMPATIBLE, 0, 0, DWORD(x), DWORD(y), n, offString, options,
                          DWORD(rcl.left), DWORD(rcl.top), DWORD(rcl.right), DWORD(rcl.bottom), offDx};
  std::vector<uint8_t> body(4 * f.size());
  std::memcpy(body.data(), f.data(), body.size());
  for (char16_t c : s) emftest::Append(body, uint16_t(c));
  if (n % 2) emftest::Append(body, uint16_t(0));
  for (LONG d : dx) emftest::Append(body, d);
  e.AddBytes(EMR_EXTTEXTOUTW, body);
}

// A 24-bit bottom-up DIB: header and bits.
std::vector<uint8_t> Dib(int w, int h, COLORREF fill) {
  BITMAPINFOHEADER bih{sizeof bih, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const size_t stride = ((size_t(w) * 24 + 31) / 32) * 4;
  bih.biSizeImage = DWORD(stride * size_t(h));
  std::vector<uint8_t> out(reinterpret_cast<uint8_t *>(&bih), reinterpret_cast<uint8_t *>(&bih) + sizeof bih);
  for (int y = 0; y < h; ++y)
    for (size_t x = 0; x < stride; ++x)
      out.push_back(x < size_t(3 * w) ? uint8_t(x % 3 == 0 ? GetBValue(fill) : x % 3 == 1 ? GetGValue(fill) : GetRValue(fill)) : 0);
  return out;
}

// STRETCHBLT of a w x h DIB onto (x, y, cx, cy) with a raster operation.
void StretchBlt(EmfBuilder &e, LONG x, LONG y, LONG cx, LONG cy, DWORD rop, int w, int h, COLORREF fill) {
  auto dib = Dib(w, h, fill);
  const DWORD bits = DWORD(dib.size() - 40);
  std::vector<DWORD> f = {0, 0, 0, 0, DWORD(x), DWORD(y), DWORD(cx), DWORD(cy), rop, 0, 0,
                          F(1), 0, 0, F(1), 0, 0, 0, 0, 108, 40, 148, bits, DWORD(w), DWORD(h)};
  std::vector<uint8_t> body(4 * f.size());
  std::memcpy(body.data(), f.data(), body.size());
  body.insert(body.end(), dib.begin(), dib.end());
  e.AddBytes(EMR_STRETCHBLT, body);
}

TEST(MetafileProcessor, HeaderAndEofGiveOneEofItem) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 1);
  auto &items = page.Interpret(e.Image());
  ASSERT_EQ(items.size(), 1u);
  auto *eof = dynamic_cast<TgtEOFItem *>(items[0].get());
  ASSERT_NE(eof, nullptr);
  EXPECT_TRUE(eof->FStatus);
}

TEST(MetafileProcessor, ShapesAreMappedAndOffsetByTheStartPoint) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 3);
  e.Add(EMR_RECTANGLE, {10, 20, 110, 70});
  e.Add(EMR_CREATEPEN, {1, PS_SOLID, 0, 0, 0x0000FF});  // width 0
  e.Add(EMR_SELECTOBJECT, {1});
  e.Add(EMR_SELECTOBJECT, {ENHMETA_STOCK_OBJECT | DKGRAY_BRUSH});
  e.Add(EMR_SETMAPMODE, {MM_ANISOTROPIC});
  e.Add(EMR_SETWINDOWEXTEX, {1000, 1000});
  e.Add(EMR_SETVIEWPORTEXTEX, {500, 500});
  e.Add(EMR_SETVIEWPORTORGEX, {3, 4});
  e.Add(EMR_ELLIPSE, {200, 100, 400, 300});
  e.Add(EMR_ROUNDRECT, {0, 0, 100, 100, 20, 40});
  page.Interpret(e.Image());
  auto shapes = page.Of<TgtShapeItem>();
  ASSERT_EQ(shapes.size(), 3u);
  EXPECT_EQ(shapes[0]->FShapeType, stRectangle);
  EXPECT_EQ(shapes[0]->FPoints, (TgtPoints{{10, 20}, {110, 70}}));
  EXPECT_EQ(shapes[1]->FShapeType, stEllipse);
  EXPECT_EQ(shapes[1]->FPoints, (TgtPoints{{103, 54}, {203, 154}}));
  EXPECT_EQ(shapes[1]->FPen.Width, 1);
  EXPECT_EQ(shapes[1]->FPen.Color, 0x0000FFu);
  EXPECT_EQ(shapes[1]->FBrush->Color, 0x404040u);
  // The corner is a size: scaled, not moved.
  EXPECT_EQ(shapes[2]->FPoints[2], (TgtPoint{10, 20}));
  // With a start point every position moves.
  Page moved;
  EmfBuilder r({0, 0, 1000, 1000}, 1);
  r.Add(EMR_RECTANGLE, {10, 20, 110, 70});
  moved.Interpret(r.Image(), 5.5, -2.25);
  EXPECT_EQ(moved.Of<TgtShapeItem>()[0]->FPoints, (TgtPoints{{15.5, 17.75}, {115.5, 67.75}}));
}

TEST(MetafileProcessor, TheArialSequenceGivesOneTwelvePointTextItem) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 2);
  e.Add(EMR_SETBKMODE, {TRANSPARENT});
  Font(e, 1, -16, 700, u"Arial");
  e.Add(EMR_SELECTOBJECT, {1});
  e.Add(EMR_SETTEXTCOLOR, {0x0000FF});
  Text(e, 100, 200, u"Total", {9, 9, 4, 9, 4});
  page.Interpret(e.Image());
  auto texts = page.Of<TgtTextItem>();
  ASSERT_EQ(texts.size(), 1u);
  const TgtTextItem &t = *texts[0];
  EXPECT_DOUBLE_EQ(t.FX, 100);
  EXPECT_DOUBLE_EQ(t.FY, 200);
  EXPECT_EQ(t.FFont.Name, u"Arial");
  EXPECT_TRUE(t.FFont.Bold);
  EXPECT_EQ(t.FFont.PointSize, 12);
  EXPECT_EQ(t.FFont.Color, 0x0000FFu);
  EXPECT_EQ(t.FBrush.Style, bsClear);
  EXPECT_EQ(t.FAlignment, haLeft);
  EXPECT_EQ(t.FRotationAngle, 0);
  EXPECT_EQ(t.FLines, std::vector<WString>{u"Total"});
  EXPECT_EQ(t.FCharSpaceArray, (std::vector<double>{9, 9, 4, 9, 4}));
  EXPECT_GT(t.FWidthOfTheText, 20);
}

TEST(MetafileProcessor, TextAnchorsSizesAndCharacterRules) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 4);
  Font(e, 1, -15, 800, u"Arial");  // 11.25 points; 800 is not bold
  e.Add(EMR_SELECTOBJECT, {1});
  e.Add(EMR_SETTEXTALIGN, {TA_RIGHT | TA_BASELINE});
  Text(e, 300, 400, u"ab", {7, 8});
  e.Add(EMR_SETTEXTALIGN, {TA_LEFT | TA_TOP});
  Text(e, 10, 10, u"\u2019", {5});         // ordinary font: U+2019 -> U+02BC
  Text(e, 10, 30, u"", {});                // no characters: one empty line
  Font(e, 2, -16, 400, u"Symbol", SYMBOL_CHARSET);
  e.Add(EMR_SELECTOBJECT, {2});
  Text(e, 10, 50, u"\uF041", {5});         // symbol font: the low byte
  page.Interpret(e.Image());
  auto t = page.Of<TgtTextItem>();
  ASSERT_EQ(t.size(), 4u);
  // The top lies the ascent above the baseline, as GDI draws it: Arial's
  // 0.905 of the 15-pixel em, not the whole em (text then sat too high).
  const double h = 15 * 0.905;
  EXPECT_NEAR(t[0]->FX, 300 - 15, 1e-9);
  EXPECT_NEAR(t[0]->FY, 400 - h, 0.02);
  EXPECT_FALSE(t[0]->FFont.Bold);
  EXPECT_EQ(t[0]->FFont.PointSize, 11);
  EXPECT_DOUBLE_EQ(double(t[0]->FFontSizeInFloat), 11.25);
  EXPECT_EQ(t[0]->FAlignment, haRight);
  EXPECT_EQ(t[1]->FLines, std::vector<WString>{u"\u02BC"});
  EXPECT_TRUE(t[1]->FIsWideString);
  EXPECT_EQ(t[2]->FLines, std::vector<WString>{u""});
  EXPECT_EQ(t[3]->FLines, std::vector<WString>{u"A"});
}

// Records of one run share the interpreter's buffers: every item keeps
// exactly its own characters and advances, whatever came before it.
TEST(MetafileProcessor, TextRecordsKeepOnlyTheirOwnCharactersAndAdvances) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 2);
  Font(e, 1, -16, 400, u"Arial");
  e.Add(EMR_SELECTOBJECT, {1});
  Text(e, 10, 10, u"Widgets and more", std::vector<LONG>(16, 7));
  Text(e, 10, 30, u"ab", {3, 4});
  // Zeros and ANSI control characters go; their advances join the
  // character before them (a leading one's advance is lost).
  Text(e, 10, 50, std::u16string(u"\0a\0b\x7F", 5), {1, 2, 3, 4, 5});
  Text(e, 10, 70, u"", {});
  // Wide text keeps its control characters.
  Text(e, 10, 90, u"\u20AC\x7F", {2, 3});
  // Without a Dx array the advances stay empty.
  Text(e, 10, 110, u"xyz", {}, 0);
  e.Add(EMR_SETTEXTALIGN, {TA_CENTER});
  Text(e, 100, 130, u"abc", {5, 6, 7});
  e.Add(EMR_SETTEXTALIGN, {TA_RIGHT});
  Text(e, 100, 150, u"ab", {10, 20});
  Text(e, 10, 170, u"x\x81y\x8E\x9D\x8D\x8F\x90\x7E", {1, 2, 3, 4, 5, 6, 7, 8, 9});
  page.Interpret(e.Image());
  auto t = page.Of<TgtTextItem>();
  ASSERT_EQ(t.size(), 9u);
  EXPECT_EQ(t[8]->FLines, std::vector<WString>{u"xy\x8E\x7E"});
  EXPECT_EQ(t[8]->FCharSpaceArray, (std::vector<double>{3, 3, 30, 9}));
  EXPECT_EQ(t[0]->FLines, std::vector<WString>{u"Widgets and more"});
  EXPECT_EQ(t[0]->FCharSpaceArray, std::vector<double>(16, 7));
  EXPECT_EQ(t[1]->FLines, std::vector<WString>{u"ab"});
  EXPECT_EQ(t[1]->FCharSpaceArray, (std::vector<double>{3, 4}));
  EXPECT_EQ(t[2]->FLines, std::vector<WString>{u"ab"});
  EXPECT_EQ(t[2]->FCharSpaceArray, (std::vector<double>{5, 9}));
  EXPECT_FALSE(t[2]->FIsWideString);
  EXPECT_EQ(t[3]->FLines, std::vector<WString>{u""});
  EXPECT_TRUE(t[3]->FCharSpaceArray.empty());
  EXPECT_EQ(t[4]->FLines, std::vector<WString>{u"\u20AC\x7F"});
  EXPECT_EQ(t[4]->FCharSpaceArray, (std::vector<double>{2, 3}));
  EXPECT_TRUE(t[4]->FIsWideString);
  EXPECT_EQ(t[5]->FLines, std::vector<WString>{u"xyz"});
  EXPECT_TRUE(t[5]->FCharSpaceArray.empty());
  EXPECT_DOUBLE_EQ(t[5]->FX, 10);
  // Centred and right-aligned text moves back by its advances' sum.
  EXPECT_DOUBLE_EQ(t[6]->FX, 100 - 9);
  EXPECT_EQ(t[6]->FAlignment, haCenter);
  EXPECT_DOUBLE_EQ(t[7]->FX, 100 - 30);
  EXPECT_EQ(t[7]->FAlignment, haRight);
}

TEST(MetafileProcessor, FontsOfFixedMapModesGetTheSizeOfTheirMappedHeight) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 2);
  e.Add(EMR_SETMAPMODE, {MM_TEXT});
  e.Add(EMR_SETWORLDTRANSFORM, {F(0.5f), 0, 0, F(0.5f), 0, 0});
  Font(e, 1, -40, 400, u"Arial");  // 20 pixels: 15 points
  e.Add(EMR_SELECTOBJECT, {1});
  Text(e, 0, 0, u"x", {10});
  page.Interpret(e.Image());
  auto t = page.Of<TgtTextItem>();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0]->FFont.PointSize, 15);
  EXPECT_DOUBLE_EQ(double(t[0]->FFontSizeInFloat), 15);
  EXPECT_DOUBLE_EQ(t[0]->FCharSpaceArray[0], 5);
}

TEST(MetafileProcessor, SavedStatesAndClipping) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 1);
  e.Add(EMR_RESTOREDC, {DWORD(-1)});  // nothing saved: only a restoring clip
  e.Add(EMR_SETTEXTCOLOR, {0x000001});
  e.Add(EMR_SAVEDC, {});
  e.Add(EMR_SETTEXTCOLOR, {0x000002});
  e.Add(EMR_SAVEDC, {});
  e.Add(EMR_SETTEXTCOLOR, {0x000003});
  e.Add(EMR_SAVEDC, {});
  e.Add(EMR_INTERSECTCLIPRECT, {10, 10, 50, 60});
  e.Add(EMR_RESTOREDC, {DWORD(-2)});  // back to the second state; the third goes too
  Text(e, 0, 0, u"a", {1});
  e.Add(EMR_RESTOREDC, {DWORD(-1)});  // the first state
  Text(e, 0, 0, u"b", {1});
  e.Add(EMR_RESTOREDC, {DWORD(-1)});  // nothing left
  Text(e, 0, 0, u"c", {1});
  auto &items = page.Interpret(e.Image());
  auto clips = page.Of<TgtClipItem>();
  ASSERT_EQ(clips.size(), 5u);
  EXPECT_TRUE(clips[0]->FRestore);
  EXPECT_FALSE(clips[1]->FRestore);
  EXPECT_EQ(clips[1]->FClipRects.size(), 1u);
  EXPECT_EQ(clips[1]->FClipRects[0].right, 50);
  EXPECT_EQ(clips[1]->FMode, RGN_AND);
  EXPECT_TRUE(clips[2]->FRestore);
  EXPECT_TRUE(clips[2]->FFromInsert);
  auto t = page.Of<TgtTextItem>();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0]->FFont.Color, 0x000002u);
  EXPECT_EQ(t[1]->FFont.Color, 0x000001u);
  EXPECT_EQ(t[2]->FFont.Color, 0x000001u);
  EXPECT_TRUE(dynamic_cast<TgtClipItem *>(items[0].get()));
}

TEST(MetafileProcessor, RegionsClipAndFillWithTheBrushTheyName) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 2);
  e.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_HATCHED, 0x00FF00, HS_CROSS});
  // Two-rectangle region for EXTSELECTCLIPRGN, one for FILLRGN.
  std::vector<DWORD> two = {32, RDH_RECTANGLES, 2, 32, 0, 0, 20, 20, 0, 0, 10, 10, 10, 10, 20, 20};
  std::vector<DWORD> clip = {DWORD(4 * two.size()), RGN_COPY};
  clip.insert(clip.end(), two.begin(), two.end());
  e.Add(EMR_EXTSELECTCLIPRGN, clip);
  e.Add(EMR_EXTSELECTCLIPRGN, {0, RGN_COPY});
  std::vector<DWORD> one = {32, RDH_RECTANGLES, 1, 16, 5, 6, 7, 8, 5, 6, 7, 8};
  for (DWORD brush : {DWORD(7), ENHMETA_STOCK_OBJECT | GRAY_BRUSH, DWORD(1)}) {
    std::vector<DWORD> fill = {5, 6, 6, 7, DWORD(4 * one.size()), brush};
    fill.insert(fill.end(), one.begin(), one.end());
    e.Add(EMR_FILLRGN, fill);
  }
  e.Add(EMR_RECTANGLE, {0, 0, 1, 1});
  page.Interpret(e.Image(), 100, 0);
  auto clips = page.Of<TgtClipItem>();
  ASSERT_EQ(clips.size(), 2u);
  ASSERT_EQ(clips[0]->FClipRects.size(), 3u);
  EXPECT_EQ(clips[0]->FClipRects[0].left, 100);
  EXPECT_EQ(clips[0]->FClipRects[2].right, 120);
  EXPECT_EQ(clips[0]->FMode, RGN_COPY);
  EXPECT_TRUE(clips[1]->FRestore);
  // Index 7 names nothing: that fill is skipped, the page goes on.
  auto shapes = page.Of<TgtShapeItem>();
  ASSERT_EQ(shapes.size(), 3u);
  EXPECT_EQ(shapes[0]->FBrush->Color, 0x808080u);
  EXPECT_EQ(shapes[1]->FBrush->Style, bsCross);
  EXPECT_EQ(shapes[1]->FPoints, (TgtPoints{{105, 6}, {107, 8}}));
  EXPECT_EQ(shapes[1]->FPen.Style, psClear);
  EXPECT_EQ(shapes[2]->FShapeType, stRectangle);
}

TEST(MetafileProcessor, BlitsOntoOneRectangleComposeOnePicture) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 1);
  StretchBlt(e, 10, 10, 40, 20, SRCAND, 2, 1, 0x00FF00);      // mask
  StretchBlt(e, 10, 10, 40, 20, SRCPAINT, 2, 1, 0x0000FF);    // image
  StretchBlt(e, 100, 10, 40, 20, SRCCOPY, 2, 1, 0x0000FF);    // elsewhere
  page.Interpret(e.Image());
  auto images = page.Of<TgtImageItem>();
  ASSERT_EQ(images.size(), 2u);
  EXPECT_DOUBLE_EQ(images[0]->FX, 10);
  EXPECT_DOUBLE_EQ(images[0]->FWidth, 40);
  EXPECT_DOUBLE_EQ(images[0]->FHeight, 20);
  EXPECT_TRUE(images[0]->FSettings.FStretch);
  const auto &res = page.engine.ImageResources();
  ASSERT_LT(size_t(images[0]->FIndexNo), res.size());
  // A new picture starts black: SRCAND leaves black, SRCPAINT then adds red.
  EXPECT_EQ(res[size_t(images[0]->FIndexNo)]->Pixel(0, 0), 0x0000FFu);
}

TEST(MetafileProcessor, SourcelessBlitsBecomeRectangles) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 2);
  e.Add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0x123456, 0});
  e.Add(EMR_SELECTOBJECT, {1});
  std::vector<DWORD> blt = {0, 0, 0, 0, 10, 20, 30, 40, PATCOPY, 0, 0, F(1), 0, 0, F(1), 0, 0, 0, 0, 0, 0, 0, 0};
  e.Add(EMR_BITBLT, blt);
  blt[8] = 0x00AA0029;  // an operation that paints nothing known
  e.Add(EMR_BITBLT, blt);
  page.Interpret(e.Image());
  auto shapes = page.Of<TgtShapeItem>();
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0]->FShapeType, stRectangle);
  EXPECT_EQ(shapes[0]->FPoints, (TgtPoints{{10, 20}, {40, 60}}));
  EXPECT_EQ(shapes[0]->FBrush->Color, 0x123456u);
  EXPECT_EQ(shapes[0]->FPen.Style, psClear);
}

TEST(MetafileProcessor, PolyRecordsOfEveryWidthAreInterpreted) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 1);
  e.Add(EMR_POLYLINE, {0, 0, 0, 0, 2, 1, 2, 3, 4});
  e.Add(EMR_POLYLINE16, {0, 0, 0, 0, 2, 0x00020001, 0x00040003});
  e.Add(EMR_POLYPOLYGON16, {0, 0, 0, 0, 2, 6, 3, 3, 0x00000000, 0x00000005, 0x00050005,
                            0x000A000A, 0x000A000F, 0x000F000F});
  e.Add(EMR_POLYDRAW, {0, 0, 0, 0, 2, 1, 1, 9, 9, 0x0206});
  e.Add(EMR_MOVETOEX, {7, 7});
  e.Add(EMR_POLYLINETO16, {0, 0, 0, 0, 1, 0x00080008});
  e.Add(EMR_LINETO, {0, 0});
  page.Interpret(e.Image());
  auto shapes = page.Of<TgtShapeItem>();
  ASSERT_EQ(shapes.size(), 4u);
  EXPECT_EQ(shapes[0]->FPoints, (TgtPoints{{1, 2}, {3, 4}}));
  EXPECT_EQ(shapes[0]->FPoints, shapes[1]->FPoints);
  EXPECT_FALSE(shapes[0]->FBrush.has_value());
  EXPECT_EQ(shapes[2]->FPoints, (TgtPoints{{7, 7}, {8, 8}}));
  EXPECT_EQ(shapes[3]->FPoints, (TgtPoints{{8, 8}, {0, 0}}));
  auto pp = page.Of<TgtPolyPolygonItem>();
  ASSERT_EQ(pp.size(), 1u);
  EXPECT_EQ(pp[0]->FNoPoints, (std::vector<int32_t>{6, 3, 3}));
  EXPECT_TRUE(pp[0]->FFillAlternate);
  auto pd = page.Of<TgtPolyDrawItem>();
  ASSERT_EQ(pd.size(), 1u);
  EXPECT_EQ(pd[0]->FOperations, (std::vector<BYTE>{6, 2}));
}

TEST(MetafileProcessor, DamagedRecordsAndPicturesLoseOnlyThemselves) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 1);
  e.Add(EMR_POLYLINE16, {0, 0, 0, 0, 1000, 0x00020001});  // more points than it holds
  e.Add(EMR_RECTANGLE, {1, 1});                           // too short
  // A bitmap whose header says 5000 x 5000 with 16 bytes of bits.
  std::vector<DWORD> sdib = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 80, 40, 120, 16, 0, SRCCOPY, 10, 10};
  BITMAPINFOHEADER bih{sizeof bih, 5000, 5000, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<DWORD> hdr(10);
  std::memcpy(hdr.data(), &bih, 40);
  sdib.insert(sdib.end(), hdr.begin(), hdr.end());
  sdib.insert(sdib.end(), {0, 0, 0, 0});
  e.Add(EMR_STRETCHDIBITS, sdib);
  e.Add(EMR_ELLIPSE, {1, 2, 3, 4});
  const uint64_t before = NxErrorCount();
  page.Interpret(e.Image());
  EXPECT_EQ(page.Of<TgtShapeItem>().size(), 1u);
  EXPECT_EQ(page.Of<TgtImageItem>().size(), 0u);
  EXPECT_EQ(page.Of<TgtEOFItem>().size(), 1u);
  ASSERT_GT(NxErrorCount(), before);
  const std::string msg = LastNxErrorText();
  EXPECT_NE(msg.find("Page 1"), std::string::npos) << msg;
  EXPECT_NE(msg.find("picture"), std::string::npos) << msg;
  EXPECT_NE(msg.find("POLYLINE16"), std::string::npos) << msg;
}

TEST(MetafileProcessor, ObjectsKeepTheirHandleIndices) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 9);
  e.Add(EMR_CREATEBRUSHINDIRECT, {5, BS_SOLID, 0x0000AA, 0});  // index 5 first
  e.Add(EMR_CREATEBRUSHINDIRECT, {2, BS_NULL, 0, 0});
  e.Add(EMR_SELECTOBJECT, {5});
  e.Add(EMR_RECTANGLE, {0, 0, 1, 1});
  e.Add(EMR_SELECTOBJECT, {2});
  e.Add(EMR_RECTANGLE, {0, 0, 1, 1});
  e.Add(EMR_DELETEOBJECT, {5});
  e.Add(EMR_SELECTOBJECT, {5});  // deleted: nothing changes
  e.Add(EMR_SELECTOBJECT, {40});  // beyond the table: ignored
  e.Add(EMR_RECTANGLE, {0, 0, 1, 1});
  page.Interpret(e.Image());
  auto s = page.Of<TgtShapeItem>();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0]->FBrush->Color, 0x0000AAu);
  EXPECT_EQ(s[1]->FBrush->Style, bsClear);
  EXPECT_EQ(s[2]->FBrush->Style, bsClear);
}

}  // namespace

namespace {

TEST(MetafileProcessor, PatternBrushesTileTheirPictureOverTheRectangle) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 2);
  auto dib = Dib(8, 8, 0x00FF00);
  std::vector<DWORD> brush = {1, DIB_RGB_COLORS, 32, 40, 72, DWORD(dib.size() - 40)};
  std::vector<uint8_t> body(4 * brush.size());
  std::memcpy(body.data(), brush.data(), body.size());
  body.insert(body.end(), dib.begin(), dib.end());
  e.AddBytes(EMR_CREATEDIBPATTERNBRUSHPT, body);
  e.Add(EMR_SELECTOBJECT, {1});
  e.Add(EMR_SETBKMODE, {TRANSPARENT});
  e.Add(EMR_BITBLT, {0, 0, 0, 0, 0, 0, 20, 10, PATCOPY, 0, 0, F(1), 0, 0, F(1), 0, 0, 0, 0, 0, 0, 0, 0});
  auto &items = page.Interpret(e.Image());
  // Rectangle, clip, tiles 3 x 2 (the last ones reach past it), restore.
  auto tiles = page.Of<TgtImageItem>();
  ASSERT_EQ(tiles.size(), 6u);
  EXPECT_DOUBLE_EQ(tiles[5]->FX, 16);
  EXPECT_DOUBLE_EQ(tiles[5]->FY, 8);
  EXPECT_TRUE(tiles[0]->FSettings.FTransparent);
  for (auto *t : tiles) EXPECT_EQ(t->FIndexNo, tiles[0]->FIndexNo);
  EXPECT_EQ(page.engine.ImageResources()[size_t(tiles[0]->FIndexNo)]->Pixel(3, 3), 0x00FF00u);
  ASSERT_TRUE(dynamic_cast<TgtShapeItem *>(items[0].get()));
  auto *clip = dynamic_cast<TgtClipItem *>(items[1].get());
  ASSERT_NE(clip, nullptr);
  EXPECT_EQ(clip->FClipRects[0].right, 20);
  auto *restore = dynamic_cast<TgtClipItem *>(items[8].get());
  ASSERT_NE(restore, nullptr);
  EXPECT_TRUE(restore->FRestore);
}

TEST(MetafileProcessor, BandsOfOnePictureJoin) {
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 1);
  for (DWORD band : {0u, 1u}) {
    auto dib = Dib(2, 1, band ? 0x0000FF : 0xFF0000);
    std::vector<DWORD> f = {0, 0, 0, 0, 5, 6, 0, 0, 2, 2, 76, 40, 116, DWORD(dib.size() - 40), 0, band, 1};
    std::vector<uint8_t> body(4 * f.size());
    std::memcpy(body.data(), f.data(), body.size());
    body.insert(body.end(), dib.begin(), dib.end());
    e.AddBytes(EMR_SETDIBITSTODEVICE, body);
  }
  page.Interpret(e.Image());
  auto images = page.Of<TgtImageItem>();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_DOUBLE_EQ(images[0]->FHeight, 2);
  const auto &pic = page.engine.ImageResources()[size_t(images[0]->FIndexNo)];
  EXPECT_EQ(pic->Height(), 2);
  EXPECT_EQ(pic->Pixel(0, 0), 0xFF0000u);
  EXPECT_EQ(pic->Pixel(0, 1), 0x0000FFu);
}

TEST(MetafileProcessor, GlyphIndexTextBecomesCharacters) {
  // The glyph of 'A' in the font, from its own character map.
  LOGFONTW lf{};
  lf.lfHeight = -16;
  const char16_t face[] = u"Liberation Sans";
  std::memcpy(lf.lfFaceName, face, sizeof face);
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  TgtGlyphTable table;
  table.CreateTTFGlyphs(dc);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  WORD glyphA = 0, glyphQuote = 0;
  for (WORD g = 1; g < 2000; ++g) {
    if (table.CharOf(g) == u'A') glyphA = g;
    if (table.CharOf(g) == u'\u2019') glyphQuote = g;
  }
  ASSERT_NE(glyphA, 0);
  Page page;
  EmfBuilder e({0, 0, 1000, 1000}, 2);
  Font(e, 1, -16, 400, u"Liberation Sans");
  e.Add(EMR_SELECTOBJECT, {1});
  std::u16string glyphs{char16_t(glyphA), char16_t(glyphQuote), 0xFFF0};
  Text(e, 0, 0, glyphs, {9, 4, 3}, ETO_GLYPH_INDEX);
  page.Interpret(e.Image());
  auto t = page.Of<TgtTextItem>();
  ASSERT_EQ(t.size(), 1u);
  // A glyph the font does not have is dropped; its advance stays.
  EXPECT_EQ(t[0]->FLines, std::vector<WString>{glyphQuote ? u"A\u02BC" : u"A"});
  double sum = 0;
  for (double a : t[0]->FCharSpaceArray) sum += a;
  EXPECT_DOUBLE_EQ(sum, 16);
}

}  // namespace
