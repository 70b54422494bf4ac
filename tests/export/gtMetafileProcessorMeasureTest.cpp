// Text measured from a font's advances gives the same items as text measured
// string by string on the screen: pages of text in several fonts, sizes,
// styles and alignments, interpreted both ways and compared field by field.
// Likewise text items renewed from a freed page against new ones.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "export/gtCstDocEng.h"
#include "export/gtMetafileProcessor.h"
#include "gdi/EmfTestUtil.h"

using namespace nx;

namespace {

// The items of one metafile, interpreted by a fresh interpreter.
TgtItemList Interpret(HENHMETAFILE h, bool WholeStrings) {
  TgtCustomDocumentEngine engine;
  engine.Preferences().FShowSetupDialog = false;
  engine.Preferences().FOpenAfterCreate = false;
  engine.BeginDoc();
  {
    TgtMetafileProcessor p(engine);
    p.SetCombineCharsToSentence(true);
    p.SetMeasureWholeStrings(WholeStrings);
    p.Execute(h, 3, 5);
  }
  TgtItemList items = std::move(*engine.CurrentDocumentItemList());
  engine.EndDoc();
  return items;
}

void ExpectSameFont(const TgtFont &a, const TgtFont &b) {
  EXPECT_EQ(a.Name, b.Name);
  EXPECT_EQ(a.Charset, b.Charset);
  EXPECT_EQ(a.Pitch, b.Pitch);
  EXPECT_EQ(a.Bold, b.Bold);
  EXPECT_EQ(a.Italic, b.Italic);
  EXPECT_EQ(a.Underline, b.Underline);
  EXPECT_EQ(a.StrikeOut, b.StrikeOut);
  EXPECT_EQ(a.Color, b.Color);
  EXPECT_EQ(a.PointSize, b.PointSize);
  EXPECT_EQ(a.Height, b.Height);
  EXPECT_EQ(a.Size, b.Size);
  EXPECT_EQ(a.FRotateFont, b.FRotateFont);
}

// Every field of every text item, exactly (no tolerance: the same numbers).
size_t ExpectSameTextItems(const TgtItemList &fast, const TgtItemList &general) {
  EXPECT_EQ(fast.size(), general.size());
  size_t texts = 0;
  for (size_t i = 0; i < std::min(fast.size(), general.size()); ++i) {
    auto *a = dynamic_cast<const TgtTextItem *>(fast[i].get());
    auto *b = dynamic_cast<const TgtTextItem *>(general[i].get());
    EXPECT_EQ(a == nullptr, b == nullptr) << "item " << i;
    if (!a || !b) continue;
    ++texts;
    SCOPED_TRACE("text item " + std::to_string(i));
    EXPECT_EQ(a->FX, b->FX);
    EXPECT_EQ(a->FY, b->FY);
    EXPECT_EQ(a->FLines, b->FLines);
    EXPECT_EQ(a->FRotationAngle, b->FRotationAngle);
    ExpectSameFont(a->FFont, b->FFont);
    EXPECT_EQ(a->FBrush.Style, b->FBrush.Style);
    EXPECT_EQ(a->FBrush.Color, b->FBrush.Color);
    EXPECT_EQ(a->FIsClipRect, b->FIsClipRect);
    EXPECT_EQ(a->FClipRect, b->FClipRect);
    EXPECT_EQ(a->FAlignment, b->FAlignment);
    EXPECT_EQ(a->FIsFromMetafile, b->FIsFromMetafile);
    EXPECT_EQ(a->FIsWideString, b->FIsWideString);
    EXPECT_EQ(a->FBiDiMode, b->FBiDiMode);
    EXPECT_EQ(a->FWidthOfTheText, b->FWidthOfTheText);
    EXPECT_EQ(a->FCenterAndRightAlignTextPos.x, b->FCenterAndRightAlignTextPos.x);
    EXPECT_EQ(a->FCenterAndRightAlignTextPos.y, b->FCenterAndRightAlignTextPos.y);
    EXPECT_EQ(a->FMaxDigitWidth, b->FMaxDigitWidth);
    EXPECT_EQ(a->FCharSpaceArray, b->FCharSpaceArray);
    EXPECT_EQ(a->FFontSizeInFloat, b->FFontSizeInFloat);
  }
  return texts;
}

HFONT MakeFont(const char16_t *face, LONG height, LONG weight, bool italic, LONG escapement) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  lf.lfEscapement = lf.lfOrientation = escapement;
  for (size_t i = 0; face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = face[i];
  return CreateFontIndirectW(&lf);
}

TEST(MetafileTextMeasure, AdvancesAtHandGiveTheItemsOfWholeStringMeasures) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  struct Face {
    const char16_t *name;
    LONG height, weight;
    bool italic;
    LONG escapement;
  };
  const Face faces[] = {{u"Arial", -16, 400, false, 0},          {u"Times New Roman", -37, 700, true, 0},
                        {u"Courier New", 11, 400, false, 0},     {u"Liberation Serif", -9, 700, false, 900},
                        {u"Arial", -23, 400, true, 450},         {u"DejaVu Sans", 40, 400, false, 0}};
  const UINT aligns[] = {TA_LEFT | TA_TOP, TA_CENTER | TA_BASELINE, TA_RIGHT | TA_BOTTOM,
                         TA_LEFT | TA_BASELINE | TA_UPDATECP, TA_RIGHT | TA_TOP | TA_UPDATECP};
  // Plain Latin, Latin-1 and Latin Extended (the advances at hand), and text
  // with Greek, Hebrew and a combining mark (measured on the screen).
  const std::u16string texts[] = {u"Line 7: 4 x Widget type B at 12.50 each", u"Gr\u00FC\u00DFe \u00E9t\u00E9 \u00BD",
                                  u"\u0141\u00F3d\u017A \u01FF\u02BC", u"\u03A9 = 2\u03C0r", u"\u05E9\u05DC\u05D5\u05DD ab",
                                  u"e\u0301", u" "};
  int y = 10;
  for (const Face &f : faces) {
    HFONT font = MakeFont(f.name, f.height, f.weight, f.italic, f.escapement);
    HGDIOBJ old = SelectObject(dc, font);
    for (UINT align : aligns) {
      SetTextAlign(dc, align);
      MoveToEx(dc, 20, y, nullptr);
      for (const std::u16string &s : texts) {
        ExtTextOutW(dc, 20, y, 0, nullptr, reinterpret_cast<LPCWSTR>(s.c_str()), UINT(s.size()), nullptr);
        y += 3;
      }
    }
    SelectObject(dc, old);
    DeleteObject(font);
  }
  HENHMETAFILE h = CloseEnhMetaFile(dc);
  ASSERT_NE(h, nullptr);
  const TgtItemList fast = Interpret(h, false), general = Interpret(h, true);
  DeleteEnhMetaFile(h);
  EXPECT_EQ(ExpectSameTextItems(fast, general), std::size(faces) * std::size(aligns) * std::size(texts));
}

// Records another program may write: without advances (the measured width
// stands for them), glyph indices, ANSI records, a symbol font.
TEST(MetafileTextMeasure, RecordsWithoutAdvancesAndGlyphIndicesMeasureAlike) {
  emftest::EmfBuilder e({0, 0, 1000, 1000}, 4);
  auto font = [&](DWORD index, LONG height, LONG weight, const char16_t *face, BYTE charset) {
    EMREXTCREATEFONTINDIRECTW f{};
    f.ihFont = index;
    f.elfw.elfLogFont.lfHeight = height;
    f.elfw.elfLogFont.lfWeight = weight;
    f.elfw.elfLogFont.lfCharSet = charset;
    for (size_t i = 0; face[i] && i < LF_FACESIZE - 1; ++i) f.elfw.elfLogFont.lfFaceName[i] = face[i];
    e.AddBytes(EMR_EXTCREATEFONTINDIRECTW,
               std::vector<uint8_t>(reinterpret_cast<uint8_t *>(&f) + 8, reinterpret_cast<uint8_t *>(&f) + sizeof f));
  };
  // EXTTEXTOUTW or EXTTEXTOUTA without a Dx array (offDx 0).
  auto text = [&](DWORD type, LONG x, LONG y, const std::u16string &s, DWORD options) {
    const DWORD n = DWORD(s.size());
    std::vector<DWORD> fields = {0, 0, 0, 0, GM_COMPATIBLE, 0, 0, DWORD(x), DWORD(y), n, 76, options, 0, 0,
                                 DWORD(-1), DWORD(-1), 0};
    std::vector<uint8_t> body(4 * fields.size());
    std::memcpy(body.data(), fields.data(), body.size());
    for (char16_t c : s) {
      if (type == EMR_EXTTEXTOUTW) emftest::Append(body, uint16_t(c));
      else body.push_back(uint8_t(c));
    }
    while (body.size() % 4) body.push_back(0);
    e.AddBytes(type, body);
  };
  font(1, -21, 400, u"Arial", ANSI_CHARSET);
  font(2, 30, 700, u"Liberation Mono", ANSI_CHARSET);
  font(3, -16, 400, u"Symbol", SYMBOL_CHARSET);
  const DWORD aligns[] = {TA_LEFT | TA_TOP, TA_CENTER | TA_BOTTOM, TA_RIGHT | TA_BASELINE, TA_UPDATECP};
  LONG y = 10;
  for (DWORD index : {1u, 2u, 3u}) {
    e.Add(EMR_SELECTOBJECT, {index});
    for (DWORD align : aligns) {
      e.Add(EMR_SETTEXTALIGN, {align});
      text(EMR_EXTTEXTOUTW, 10, y += 20, u"Without advances \u00E9\u0000t\u007F", 0);
      text(EMR_EXTTEXTOUTW, 10, y += 20, u"\u2019 \u0394 \uF041", 0);
      text(EMR_EXTTEXTOUTA, 10, y += 20, u"ANSI \u00E9\u0081 1", 0);
      text(EMR_EXTTEXTOUTW, 10, y += 20, std::u16string{36, 37, 38, 3, 0xFFF0}, ETO_GLYPH_INDEX);
    }
  }
  const std::vector<uint8_t> image = e.Image();
  HENHMETAFILE h = SetEnhMetaFileBits(UINT(image.size()), image.data());
  ASSERT_NE(h, nullptr);
  const TgtItemList fast = Interpret(h, false), general = Interpret(h, true);
  DeleteEnhMetaFile(h);
  EXPECT_EQ(ExpectSameTextItems(fast, general), 3 * std::size(aligns) * 4);
}

// An engine whose freed text items a test can keep and count.
class TSpareEngine : public TgtCustomDocumentEngine {
 public:
  using TgtCustomDocumentEngine::FSpareTextItems;
  using TgtCustomDocumentEngine::KeepSpareTextItems;
};

// EXTTEXTOUTW with its options, box and advances (none: offDx 0).
void AddText(emftest::EmfBuilder &e, LONG x, LONG y, const std::u16string &s, DWORD options, RECTL box,
             const std::vector<DWORD> &dx) {
  const DWORD n = DWORD(s.size()), chars = 76, advances = dx.empty() ? 0 : DWORD(chars + (2 * n + 3) / 4 * 4);
  std::vector<DWORD> fields = {0, 0, 0, 0, GM_COMPATIBLE, 0, 0, DWORD(x), DWORD(y), n, chars, options,
                               DWORD(box.left), DWORD(box.top), DWORD(box.right), DWORD(box.bottom), advances};
  std::vector<uint8_t> body(4 * fields.size());
  std::memcpy(body.data(), fields.data(), body.size());
  for (char16_t c : s) emftest::Append(body, uint16_t(c));
  while (body.size() % 4) body.push_back(0);
  for (DWORD d : dx) emftest::Append(body, uint32_t(d));
  e.AddBytes(EMR_EXTTEXTOUTW, body);
}

void AddFont(emftest::EmfBuilder &e, DWORD index, LONG height, LONG escapement, const char16_t *face) {
  EMREXTCREATEFONTINDIRECTW f{};
  f.ihFont = index;
  f.elfw.elfLogFont.lfHeight = height;
  f.elfw.elfLogFont.lfEscapement = escapement;
  f.elfw.elfLogFont.lfWeight = 700;
  f.elfw.elfLogFont.lfItalic = f.elfw.elfLogFont.lfUnderline = f.elfw.elfLogFont.lfStrikeOut = 1;
  for (size_t i = 0; face[i] && i < LF_FACESIZE - 1; ++i) f.elfw.elfLogFont.lfFaceName[i] = face[i];
  e.AddBytes(EMR_EXTCREATEFONTINDIRECTW,
             std::vector<uint8_t>(reinterpret_cast<uint8_t *>(&f) + 8, reinterpret_cast<uint8_t *>(&f) + sizeof f));
}

TEST(MetafileTextMeasure, TextItemsRenewedFromAFreedPageAreNewOnes) {
  // A page whose text items set every field a text record can set: long
  // lines in a long face name, turned, clipped, right to left, centred,
  // with advances that are no unit counts (a zero's advance joins the one
  // before it) and with pairs of advances.
  emftest::EmfBuilder first({0, 0, 1000, 1000}, 4);
  AddFont(first, 1, -37, 450, u"Times New Roman");
  first.Add(EMR_SELECTOBJECT, {1});
  first.Add(EMR_SETTEXTALIGN, {TA_CENTER | TA_BASELINE | TA_RTLREADING});
  first.Add(EMR_SETTEXTCOLOR, {0x123456});
  first.Add(EMR_SETBKMODE, {TRANSPARENT});
  std::u16string longLine = u"A long line of text, longer than any of the next page's ";
  longLine += char16_t(0);
  longLine += u"lines";
  for (int i = 0; i < 6; ++i) {
    std::vector<DWORD> dx(longLine.size(), DWORD(7 + i));
    if (i % 2) dx.resize(2 * longLine.size(), 3);  // with ETO_PDY: advance, then rise
    AddText(first, 40, 30 + 40 * i, longLine, ETO_CLIPPED | ETO_RTLREADING | (i % 2 ? ETO_PDY : 0),
            {10, 10, 900, 900}, dx);
  }
  // The next page: short left-to-right lines in the stock font, neither
  // clipped nor turned, some without advances.
  emftest::EmfBuilder next({0, 0, 1000, 1000}, 4);
  for (int i = 0; i < 9; ++i) {
    const std::u16string s = u"Short " + std::u16string(1, char16_t(u'a' + i));
    AddText(next, 20, 20 + 30 * i, s, 0, {0, 0, -1, -1}, i % 3 ? std::vector<DWORD>(s.size(), 9) : std::vector<DWORD>{});
  }
  auto load = [](const emftest::EmfBuilder &e) {
    const std::vector<uint8_t> image = e.Image();
    return SetEnhMetaFileBits(UINT(image.size()), image.data());
  };
  HENHMETAFILE hFirst = load(first), hNext = load(next);
  ASSERT_TRUE(hFirst && hNext);

  TSpareEngine engine;
  engine.Preferences().FShowSetupDialog = false;
  engine.Preferences().FOpenAfterCreate = false;
  engine.BeginDoc();
  auto interpret = [&](HENHMETAFILE h) {
    TgtMetafileProcessor p(engine);
    p.SetCombineCharsToSentence(true);
    p.Execute(h, 3, 5);
  };
  interpret(hFirst);
  TgtItemList &list = *engine.CurrentDocumentItemList();
  engine.KeepSpareTextItems(list);
  list.clear();
  ASSERT_EQ(engine.FSpareTextItems.size(), 6u);
  interpret(hNext);
  EXPECT_TRUE(engine.FSpareTextItems.empty());  // every spare item renewed
  const TgtItemList renewed = std::move(list);
  // Of a page's items only plain text items are kept, boxes of text not.
  TgtItemList mixed;
  mixed.push_back(std::make_unique<TgtTextBoxItem>());
  mixed.push_back(std::make_unique<TgtShapeItem>());
  mixed.push_back(nullptr);
  engine.KeepSpareTextItems(mixed);
  EXPECT_TRUE(engine.FSpareTextItems.empty());
  engine.EndDoc();

  const TgtItemList fresh = Interpret(hNext, false);
  DeleteEnhMetaFile(hFirst);
  DeleteEnhMetaFile(hNext);
  EXPECT_EQ(ExpectSameTextItems(renewed, fresh), 9u);
}

}  // namespace
