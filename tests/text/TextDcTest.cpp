#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "platform/text/FontEngine.h"
#include "platform/text/TextDc.h"
#include "text/TextDcSupport.h"

using textdc::Canvas;
using textdc::I32;
using textdc::MakeFont;
using textdc::MetafileFile;
using textdc::U32;
using textdc::W;

namespace {

void Le(std::vector<uint8_t> &v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

const RECT kFrame{0, 0, 5000, 3000};

// Arial at a 20-pixel em: H = 1479 and i = 455 design units of 2048 -> 14
// and 4 pixels; the cell is 1854 + 434 units -> 18 + 4 = 22 pixels.
TEST(TextDc, RecordedTextMatchesTheBytesGdiWrites) {
  MetafileFile mf(kFrame);
  ASSERT_TRUE(mf.dc);
  HFONT font = MakeFont(u"Arial", -20);
  SelectObject(mf.dc, font);
  ASSERT_TRUE(ExtTextOutW(mf.dc, 10, 20, 0, nullptr, NXW("Hi"), 2, nullptr));
  mf.Close();
  auto recs = mf.Records(EMR_EXTTEXTOUTW);
  ASSERT_EQ(1u, recs.size());
  std::vector<uint8_t> want;
  Le(want, 84);
  Le(want, 76 + 4 + 8);
  for (uint32_t v : {10u, 20u, 10u + 18u + 1u, 20u + 22u + 1u}) Le(want, v);
  Le(want, 1);
  float ex = 100.0f * 508 / 1920, ey = 100.0f * 381 / 1440;  // the screen DC's size and resolution
  uint32_t exBits, eyBits;
  std::memcpy(&exBits, &ex, 4);
  std::memcpy(&eyBits, &ey, 4);
  Le(want, exBits);
  Le(want, eyBits);
  Le(want, 10);
  Le(want, 20);
  Le(want, 2);
  Le(want, 76);
  Le(want, 0);
  for (uint32_t v : {0u, 0u, 0xFFFFFFFFu, 0xFFFFFFFFu}) Le(want, v);
  Le(want, 80);
  for (int b : {0x48, 0, 0x69, 0}) want.push_back(uint8_t(b));
  Le(want, 14);
  Le(want, 4);
  EXPECT_EQ(want, recs[0]);

  // The font went in before the text as the 332-byte record with the LOGFONTW.
  auto fonts = mf.Records(EMR_EXTCREATEFONTINDIRECTW);
  ASSERT_EQ(1u, fonts.size());
  ASSERT_EQ(332u, fonts[0].size());
  EXPECT_EQ(332u, U32(fonts[0], 4));
  EXPECT_EQ(1u, U32(fonts[0], 8));
  EXPECT_EQ(-20, I32(fonts[0], 12));
  EXPECT_EQ(u'A', fonts[0][40]);
  EXPECT_EQ(u'l', fonts[0][48]);
  DeleteObject(font);
}

TEST(TextDc, DxCarriesCharacterExtraOrTheCallersAdvancesAndOddCountsArePadded) {
  MetafileFile mf(kFrame);
  HFONT font = MakeFont(u"Arial", -20);
  SelectObject(mf.dc, font);
  SetTextCharacterExtra(mf.dc, 3);
  ExtTextOutW(mf.dc, 0, 0, 0, nullptr, NXW("Hi"), 2, nullptr);
  const INT dx[3] = {30, 31, 32};
  ExtTextOutW(mf.dc, 0, 40, 0, nullptr, NXW("Hey"), 3, dx);
  mf.Close();
  auto recs = mf.Records(EMR_EXTTEXTOUTW);
  ASSERT_EQ(2u, recs.size());
  EXPECT_EQ(17, I32(recs[0], 80));
  EXPECT_EQ(7, I32(recs[0], 84));
  EXPECT_EQ(17 + 7 + 1, I32(recs[0], 16));  // the bounds follow the widened advances
  // Three characters take four units: Dx starts at 84.
  EXPECT_EQ(84u, U32(recs[1], 72));
  EXPECT_EQ(96u, recs[1].size());
  EXPECT_EQ(0, recs[1][82] | recs[1][83]);  // the padding unit after "Hey"
  EXPECT_EQ((std::vector<int>{30, 31, 32}), (std::vector<int>{I32(recs[1], 84), I32(recs[1], 88), I32(recs[1], 92)}));
  DeleteObject(font);
}

// Without the caller's advances, pairs (ETO_PDY) carry the font's advance
// plus the character extra and a 0 rise; lines longer than a few hundred
// characters take the same values as short ones.
TEST(TextDc, PairsAndLongLinesCarryTheFontsAdvances) {
  MetafileFile mf(kFrame);
  HFONT font = MakeFont(u"Arial", -20);
  SelectObject(mf.dc, font);
  SetTextCharacterExtra(mf.dc, 3);
  std::u16string line;
  for (int i = 0; i < 600; ++i) line.push_back(char16_t(u'a' + (i * 7) % 26));
  for (size_t n : {size_t(2), size_t(255), size_t(256), size_t(257), size_t(600)}) {
    ExtTextOutW(mf.dc, 0, 0, 0, nullptr, W(line), UINT(n), nullptr);
    ExtTextOutW(mf.dc, 0, 40, ETO_PDY, nullptr, W(line), UINT(n), nullptr);
  }
  std::vector<int> widths(26);
  ASSERT_TRUE(GetCharWidth32W(mf.dc, 'a', 'z', widths.data()));
  mf.Close();
  auto recs = mf.Records(EMR_EXTTEXTOUTW);
  ASSERT_EQ(10u, recs.size());
  for (size_t k = 0; k < recs.size(); ++k) {
    const auto &r = recs[k];
    const bool pairs = k % 2 == 1;
    const size_t n = U32(r, 44), offDx = U32(r, 72);
    ASSERT_EQ(offDx + 4 * n * (pairs ? 2 : 1), r.size()) << k;
    long sum = 0;
    for (size_t i = 0; i < n; ++i) {
      const int want = widths[size_t(line[i] - u'a')] + 3;
      ASSERT_EQ(want, I32(r, offDx + 4 * (pairs ? 2 * i : i))) << k << "/" << i;
      if (pairs) {
        ASSERT_EQ(0, I32(r, offDx + 8 * i + 4)) << k << "/" << i;
      }
      sum += want;
    }
    EXPECT_EQ(sum + 1, I32(r, 16)) << k;  // the bounds span the advances
  }
  DeleteObject(font);
}

// Without character extra the Dx values are the font's advances as they
// stand: one a character, (advance, 0) pairs with ETO_PDY, and 0 for the
// low half of a surrogate pair; the bounds span their sum.
TEST(TextDc, WithoutSpacingDxIsTheFontsAdvances) {
  MetafileFile mf(kFrame);
  HFONT font = MakeFont(u"Arial", -20);
  SelectObject(mf.dc, font);
  std::u16string text = u"Widget, 12.50";
  text += u"\U0001D400";  // a pair: the advance sits on its high half
  text += u"x";
  for (UINT options : {0u, UINT(ETO_PDY)}) ExtTextOutW(mf.dc, 0, 0, options, nullptr, W(text), UINT(text.size()), nullptr);
  std::vector<int> want;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool high = text[i] >= 0xD800 && text[i] < 0xDC00, low = text[i] >= 0xDC00 && text[i] < 0xE000;
    const UINT ch = high ? 0x1D400 : text[i];
    int w = 0;
    if (!low) {
      ASSERT_TRUE(GetCharWidth32W(mf.dc, ch, ch, &w));
    }
    want.push_back(w);
  }
  mf.Close();
  auto recs = mf.Records(EMR_EXTTEXTOUTW);
  ASSERT_EQ(2u, recs.size());
  for (size_t k = 0; k < 2; ++k) {
    const size_t per = k + 1, offDx = U32(recs[k], 72);
    ASSERT_EQ(offDx + 4 * per * text.size(), recs[k].size());
    long sum = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      EXPECT_EQ(want[i], I32(recs[k], offDx + 4 * per * i)) << k << "/" << i;
      if (per == 2) {
        EXPECT_EQ(0, I32(recs[k], offDx + 8 * i + 4)) << i;
      }
      sum += want[i];
    }
    EXPECT_EQ(sum + 1, I32(recs[k], 16)) << k;
  }
  DeleteObject(font);
}

// With TA_UPDATECP the current position moves by the text's width in
// device pixels. A recording sums the caller's advances its own way, a
// drawing DC through the rounded steps it draws at: both must land on the
// same position, under scales that round, with pairs, and with advances so
// large that the steps are held at the 32-bit ends.
TEST(TextDc, RecordingAndDrawingMoveTheCurrentPositionAlike) {
  const std::vector<INT> dxs[] = {{27, 31, 29, 40, 13},
                                  {-5, 18, 0, 7, 1},
                                  {2000000000, 7, -2000000000, 1500000000, 3},
                                  {2147483647, 2147483647, 2147483647, 2147483647, 2147483647}};
  const SIZE scales[][2] = {{{100, 100}, {37, 37}}, {{3, 7}, {8, 5}}, {{1, 1}, {3, 3}}, {{9, 10}, {10, 9}}};
  for (const auto &sc : scales)
    for (const auto &dx : dxs)
      for (UINT options : {0u, UINT(ETO_PDY)}) {
        MetafileFile mf(kFrame);
        Canvas canvas(64, 64);
        POINT at[2];
        HDC dcs[2] = {mf.dc, canvas.dc};
        for (int k = 0; k < 2; ++k) {
          HDC dc = dcs[k];
          SetMapMode(dc, MM_ANISOTROPIC);
          SetWindowExtEx(dc, sc[0].cx, sc[0].cy, nullptr);
          SetViewportExtEx(dc, sc[1].cx, sc[1].cy, nullptr);
          HFONT font = MakeFont(u"Arial", -20);
          HGDIOBJ old = SelectObject(dc, font);
          SetTextAlign(dc, TA_UPDATECP);
          MoveToEx(dc, 11, 5, nullptr);
          const UINT n = options & ETO_PDY ? 2 : 5;  // pairs: two characters, four values
          ExtTextOutW(dc, 0, 0, options, nullptr, NXW("Hello"), n, dx.data());
          GetCurrentPositionEx(dc, &at[k]);
          SelectObject(dc, old);
          DeleteObject(font);
        }
        EXPECT_EQ(at[0].x, at[1].x) << sc[1].cx << "/" << sc[0].cx << " " << dx[0] << " " << options;
        EXPECT_EQ(at[0].y, at[1].y) << sc[1].cx << "/" << sc[0].cx << " " << dx[0] << " " << options;
        mf.Close();
      }
}

TEST(TextDc, BoundsFollowTheAlignmentTheClipAndTheOpaqueRectangle) {
  struct Case {
    UINT align;
    UINT options;
    RECT rect;
    RECTL bounds;
  } cases[] = {
      {TA_LEFT | TA_TOP, 0, {}, {100, 50, 119, 73}},
      {TA_RIGHT | TA_BOTTOM, 0, {}, {81, 27, 100, 50}},
      {TA_CENTER | TA_BASELINE, 0, {}, {90, 27, 110, 55}},
      {TA_LEFT | TA_TOP, ETO_CLIPPED, {100, 50, 110, 60}, {100, 50, 109, 59}},
      {TA_LEFT | TA_TOP, ETO_OPAQUE, {0, 0, 200, 100}, {0, 0, 199, 99}},
  };
  for (const Case &c : cases) {
    MetafileFile mf(kFrame);
    HFONT font = MakeFont(u"Arial", -20);
    SelectObject(mf.dc, font);
    SetTextAlign(mf.dc, c.align);
    ExtTextOutW(mf.dc, 100, 50, c.options, c.options ? &c.rect : nullptr, NXW("Hi"), 2, nullptr);
    mf.Close();
    auto recs = mf.Records(EMR_EXTTEXTOUTW);
    ASSERT_EQ(1u, recs.size());
    RECTL got{I32(recs[0], 8), I32(recs[0], 12), I32(recs[0], 16), I32(recs[0], 20)};
    EXPECT_EQ(c.bounds.left, got.left) << c.align << "/" << c.options;
    EXPECT_EQ(c.bounds.top, got.top) << c.align << "/" << c.options;
    EXPECT_EQ(c.bounds.right, got.right) << c.align << "/" << c.options;
    EXPECT_EQ(c.bounds.bottom, got.bottom) << c.align << "/" << c.options;
    EXPECT_EQ(c.options, U32(recs[0], 52));
    if (c.options) {
      EXPECT_EQ(c.rect.right, I32(recs[0], 64));  // the rectangle in logical units
    }
    auto header = mf.Records(EMR_HEADER);
    ASSERT_EQ(1u, header.size());
    EXPECT_EQ(c.bounds.left, I32(header[0], 8));
    EXPECT_EQ(c.bounds.bottom, I32(header[0], 20));
    DeleteObject(font);
  }
}

TEST(TextDc, MetafileWithTextOpensInEmf2Svg) {
  NX_REQUIRE_TOOL("emf2svg-conv");
  MetafileFile mf(kFrame);
  HFONT font = MakeFont(u"Arial", -20);
  SelectObject(mf.dc, font);
  SetBkMode(mf.dc, TRANSPARENT);
  TextOutW(mf.dc, 10, 10, NXW("Invoice"), 7);
  RECT box{10, 40, 110, 200};
  DrawTextW(mf.dc, NXW("Quarterly totals for every region"), -1, &box, DT_WORDBREAK | DT_NOPREFIX);
  mf.Close();
  std::string svgPath = mf.dir.file("text.svg");
  auto r = nxtest::RunCommand("emf2svg-conv -i " + mf.path + " -o " + svgPath);
  ASSERT_EQ(0, r.exitCode) << r.output;
  auto svg = nxtest::ReadFileBytes(svgPath);
  std::string s(svg.begin(), svg.end());
  EXPECT_NE(std::string::npos, s.find("Invoice"));
  EXPECT_NE(std::string::npos, s.find("Quarterly"));
  EXPECT_NE(std::string::npos, s.find("region"));
}

// ---------------------------------------------------------------------------
// Metrics at the device size.

struct MemDc {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = nullptr;
  void Use(HFONT f) {
    SelectObject(dc, f);
    if (font) DeleteObject(font);
    font = f;
  }
  ~MemDc() {
    DeleteDC(dc);
    if (font) DeleteObject(font);
  }
};

TEST(TextDc, NegativeHeightIsTheEmAndPositiveTheCell) {
  MemDc m;
  m.Use(MakeFont(u"Arial", -20));
  TEXTMETRICW tm{};
  ASSERT_TRUE(GetTextMetricsW(m.dc, &tm));
  EXPECT_EQ(22, tm.tmHeight);
  EXPECT_EQ(18, tm.tmAscent);
  EXPECT_EQ(4, tm.tmDescent);
  EXPECT_EQ(2, tm.tmInternalLeading);  // cell - em
  m.Use(MakeFont(u"Arial", 20));
  ASSERT_TRUE(GetTextMetricsW(m.dc, &tm));
  EXPECT_EQ(20, tm.tmHeight);  // the cell: an em of 20 * 2048 / 2288 = 18 pixels
  EXPECT_EQ(0, tm.tmInternalLeading > 2 ? 1 : 0);
  EXPECT_EQ(TMPF_VECTOR | TMPF_TRUETYPE | TMPF_FIXED_PITCH, tm.tmPitchAndFamily & 0x0F);
  // Courier New at 12 points on a 600-dpi device: a 100-pixel em, 60-pixel advances.
  m.Use(MakeFont(u"Courier New", -100));
  INT w = 0;
  ASSERT_TRUE(GetCharWidth32W(m.dc, 'W', 'W', &w));
  EXPECT_EQ(60, w);
  ASSERT_TRUE(GetTextMetricsW(m.dc, &tm));
  EXPECT_EQ(60, tm.tmAveCharWidth);
  EXPECT_EQ(0, tm.tmPitchAndFamily & TMPF_FIXED_PITCH);  // the bit set means variable pitch
}

TEST(TextDc, ScaledDcResolvesTheFontAtItsDeviceSize) {
  MemDc m;
  SetMapMode(m.dc, MM_ANISOTROPIC);
  SetWindowExtEx(m.dc, 1, 1, nullptr);
  SetViewportExtEx(m.dc, 2, 2, nullptr);
  m.Use(MakeFont(u"Arial", -20));  // a 40-pixel em on the device
  SIZE sz{};
  ASSERT_TRUE(GetTextExtentPoint32W(m.dc, NXW("Hi"), 2, &sz));
  // 1479 and 455 units at 40 pixels round to 29 + 9 = 38 device pixels, 19
  // logical units (the logical size alone would give 18).
  EXPECT_EQ(19, sz.cx);
  EXPECT_EQ(22, sz.cy);  // 36 + 8 device pixels
  TEXTMETRICW tm{};
  ASSERT_TRUE(GetTextMetricsW(m.dc, &tm));
  EXPECT_EQ(22, tm.tmHeight);
  OUTLINETEXTMETRICW otm{};
  ASSERT_EQ(sizeof otm, GetOutlineTextMetricsW(m.dc, sizeof otm, &otm));
  EXPECT_EQ(22, otm.otmTextMetrics.tmHeight);
  EXPECT_EQ(2048u, otm.otmEMSquare);
  // The outline fields come back in logical units too: halves of the 40-pixel
  // em's values.
  auto device = nx::text::ResolveFont([] {
    LOGFONTW lf{};
    lf.lfHeight = -40;
    std::memcpy(lf.lfFaceName, NXW("Arial"), 6 * sizeof(WCHAR));
    return lf;
  }());
  OUTLINETEXTMETRICW big{};
  ASSERT_TRUE(device && device->Outline(big));
  EXPECT_NEAR(big.otmAscent / 2.0, otm.otmAscent, 0.5);
  EXPECT_NEAR(big.otmsUnderscorePosition / 2.0, otm.otmsUnderscorePosition, 0.5);
  EXPECT_NEAR(big.otmrcFontBox.right / 2.0, otm.otmrcFontBox.right, 0.5);
  EXPECT_NEAR(big.otmptSubscriptSize.y / 2.0, otm.otmptSubscriptSize.y, 0.5);
}

TEST(TextDc, ExtentsWidthsAbcAndCharacterExtraAgree) {
  MemDc m;
  m.Use(MakeFont(u"Arial", -20));
  const std::u16string text = u"Wave, Tide; fly!";
  SIZE sz{};
  ASSERT_TRUE(GetTextExtentPoint32W(m.dc, W(text), int(text.size()), &sz));
  int sum = 0, abcSum = 0;
  for (char16_t ch : text) {
    INT w = 0;
    ABC abc{};
    ASSERT_TRUE(GetCharWidth32W(m.dc, ch, ch, &w));
    ASSERT_TRUE(GetCharABCWidthsW(m.dc, ch, ch, &abc));
    sum += w;
    abcSum += abc.abcA + int(abc.abcB) + abc.abcC;
  }
  EXPECT_EQ(sum, sz.cx);  // no kerning: "Wa" and "Ty" are not pulled together
  EXPECT_EQ(sum, abcSum);
  SetTextCharacterExtra(m.dc, 3);
  SIZE wide{};
  ASSERT_TRUE(GetTextExtentPoint32W(m.dc, W(text), int(text.size()), &wide));
  EXPECT_EQ(sz.cx + 3 * int(text.size()), wide.cx);
  ASSERT_TRUE(GetTextExtentPoint32W(m.dc, NXW(""), 0, &sz));
  EXPECT_EQ(0, sz.cx);
  EXPECT_EQ(22, sz.cy);
}

TEST(TextDc, SurrogatePairTakesTheCharacterExtraOnceInExtentsAndRecords) {
  MetafileFile mf(kFrame);
  HFONT font = MakeFont(u"DejaVu Sans", -20);
  SelectObject(mf.dc, font);
  SetTextCharacterExtra(mf.dc, 3);
  const WCHAR text[] = {u'a', 0xD835, 0xDC00, u'b'};  // a, mathematical bold A, b
  SIZE sz{};
  ASSERT_TRUE(GetTextExtentPoint32W(mf.dc, text, 4, &sz));
  SetTextCharacterExtra(mf.dc, 0);
  SIZE plain{};
  ASSERT_TRUE(GetTextExtentPoint32W(mf.dc, text, 4, &plain));
  EXPECT_EQ(plain.cx + 3 * 3, sz.cx);  // three characters, not four units
  SetTextCharacterExtra(mf.dc, 3);
  ExtTextOutW(mf.dc, 0, 0, 0, nullptr, text, 4, nullptr);
  mf.Close();
  auto recs = mf.Records(EMR_EXTTEXTOUTW);
  ASSERT_EQ(1u, recs.size());
  const uint32_t offDx = U32(recs[0], 72);
  int sum = 0;
  for (int i = 0; i < 4; ++i) sum += I32(recs[0], offDx + 4 * i);
  EXPECT_EQ(sz.cx, sum);
  EXPECT_EQ(0, I32(recs[0], offDx + 8));  // the low half of the pair
  DeleteObject(font);
}

TEST(TextDc, FaceNameCharsetAndFontData) {
  MemDc m;
  m.Use(MakeFont(u"Arial", -20));
  WCHAR face[LF_FACESIZE];
  EXPECT_EQ(16, GetTextFaceW(m.dc, LF_FACESIZE, face));  // with the NUL
  EXPECT_EQ(u"Liberation Sans", std::u16string(reinterpret_cast<char16_t *>(face)));
  EXPECT_EQ(16, GetTextFaceW(m.dc, 0, nullptr));
  EXPECT_EQ(5, GetTextFaceW(m.dc, 5, face));
  EXPECT_EQ(u"Libe", std::u16string(reinterpret_cast<char16_t *>(face)));
  // The outline metrics carry the names after the structure, by offset.
  UINT otmSize = GetOutlineTextMetricsW(m.dc, 0, nullptr);
  ASSERT_GT(otmSize, sizeof(OUTLINETEXTMETRICW));
  std::vector<unsigned char> otm(otmSize);
  auto *o = reinterpret_cast<OUTLINETEXTMETRICW *>(otm.data());
  ASSERT_EQ(otmSize, GetOutlineTextMetricsW(m.dc, otmSize, o));
  EXPECT_EQ(otmSize, o->otmSize);
  auto name = [&](char *field) {
    size_t off = reinterpret_cast<size_t>(field);
    EXPECT_LT(off, otmSize);
    return std::u16string(reinterpret_cast<const char16_t *>(otm.data() + off));
  };
  EXPECT_EQ(u"Liberation Sans", name(o->otmpFamilyName));
  EXPECT_EQ(u"Regular", name(o->otmpStyleName));
  EXPECT_EQ(u"Liberation Sans", name(o->otmpFaceName));
  FONTSIGNATURE fs{};
  EXPECT_EQ(ANSI_CHARSET, GetTextCharsetInfo(m.dc, &fs, 0));
  EXPECT_TRUE(fs.fsCsb[0] & 1);  // Latin 1
  // The whole font is the file's bytes.
  auto font = nx::text::FontOfDc(m.dc);
  ASSERT_TRUE(font);
  auto file = nxtest::ReadFileBytes(font->Face().Path());
  DWORD size = GetFontData(m.dc, 0, 0, nullptr, 0);
  ASSERT_EQ(file.size(), size);
  std::vector<unsigned char> data(size);
  EXPECT_EQ(size, GetFontData(m.dc, 0, 0, data.data(), size));
  EXPECT_EQ(file, data);
  const DWORD head = 'h' | 'e' << 8 | 'a' << 16 | DWORD('d') << 24;
  EXPECT_EQ(54u, GetFontData(m.dc, head, 0, nullptr, 0));
}

TEST(TextDc, CreatedFontTakesTheCharsetAndPitchAsked) {
  // Liberation Sans declares no Arabic code page: an Arabic charset gives a
  // font that does, and the DC reports that charset; a fixed pitch gives
  // Arial's fixed-pitch counterpart.
  LOGFONTW lf{};
  lf.lfHeight = -20;
  std::memcpy(lf.lfFaceName, u"Arial", sizeof u"Arial");
  lf.lfCharSet = ARABIC_CHARSET;
  MemDc m;
  m.Use(CreateFontIndirectW(&lf));
  TEXTMETRICW tm{};
  ASSERT_TRUE(GetTextMetricsW(m.dc, &tm));
  EXPECT_EQ(ARABIC_CHARSET, tm.tmCharSet);
  FONTSIGNATURE fs{};
  EXPECT_EQ(ARABIC_CHARSET, GetTextCharsetInfo(m.dc, &fs, 0));
  EXPECT_TRUE(fs.fsCsb[0] & (1u << 6));
  WCHAR face[LF_FACESIZE];
  ASSERT_GT(GetTextFaceW(m.dc, LF_FACESIZE, face), 0);
  EXPECT_NE(u"Liberation Sans", std::u16string(reinterpret_cast<char16_t *>(face)));
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfPitchAndFamily = FIXED_PITCH;
  m.Use(CreateFontIndirectW(&lf));
  ASSERT_TRUE(GetTextMetricsW(m.dc, &tm));
  EXPECT_EQ(ANSI_CHARSET, tm.tmCharSet);  // the font's first
  EXPECT_FALSE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH);
  ASSERT_GT(GetTextFaceW(m.dc, LF_FACESIZE, face), 0);
  EXPECT_EQ(u"Liberation Mono", std::u16string(reinterpret_cast<char16_t *>(face)));
}

TEST(TextDc, ShapingWithTheDcsFont) {
  MemDc m;
  m.Use(MakeFont(u"Arial", -20));
  SCRIPT_CACHE sc = nullptr;
  SCRIPT_ANALYSIS sa{};
  WORD glyphs[8], clusters[8];
  SCRIPT_VISATTR attrs[8];
  int n = 0;
  ASSERT_EQ(S_OK, ScriptShape(m.dc, &sc, NXW("Hi"), 2, 8, &sa, glyphs, clusters, attrs, &n));
  ASSERT_EQ(2, n);
  int adv[2];
  GOFFSET off[2];
  ABC abc;
  ASSERT_EQ(S_OK, ScriptPlace(m.dc, &sc, glyphs, n, attrs, &sa, adv, off, &abc));
  EXPECT_EQ(14, adv[0]);
  EXPECT_EQ(4, adv[1]);
  long height = 0;
  EXPECT_EQ(S_OK, ScriptCacheGetHeight(m.dc, &sc, &height));
  EXPECT_EQ(22, height);
  ScriptFreeCache(&sc);
}

TEST(TextDc, BadInputFailsCleanly) {
  MemDc m;
  m.Use(MakeFont(u"Arial", -20));
  SIZE sz{};
  EXPECT_FALSE(GetTextExtentPoint32W(m.dc, nullptr, 5, &sz));
  EXPECT_FALSE(GetTextExtentPoint32W(m.dc, NXW("a"), -1, &sz));
  EXPECT_FALSE(GetTextExtentPoint32W(m.dc, NXW("a"), 1, nullptr));
  EXPECT_FALSE(GetTextExtentPoint32W(nullptr, NXW("a"), 1, &sz));
  EXPECT_FALSE(ExtTextOutW(m.dc, 0, 0, 0, nullptr, nullptr, 3, nullptr));
  EXPECT_FALSE(ExtTextOutW(m.dc, 0, 0, 0, nullptr, NXW("a"), 0x7FFFFFFF, nullptr));
  EXPECT_FALSE(ExtTextOutW(reinterpret_cast<HDC>(m.font), 0, 0, 0, nullptr, NXW("a"), 1, nullptr));
  EXPECT_FALSE(TextOutW(m.dc, 0, 0, NXW("a"), -2));
  INT w;
  EXPECT_FALSE(GetCharWidth32W(m.dc, 'b', 'a', &w));
  EXPECT_FALSE(GetCharABCWidthsW(m.dc, 0, 0xFFFFFFFF, nullptr));
  EXPECT_EQ(0, GetTextFaceW(m.dc, -1, nullptr));
  EXPECT_EQ(DWORD(GDI_ERROR), GetFontData(nullptr, 0, 0, nullptr, 0));
  RECT r{0, 0, 100, 100};
  EXPECT_EQ(0, DrawTextW(m.dc, nullptr, 4, &r, 0));
  EXPECT_EQ(0, DrawTextW(m.dc, NXW("a"), -5, &r, 0));
  // An unpaired surrogate measures as a replacement character.
  ASSERT_TRUE(GetTextExtentPoint32W(m.dc, NXW("a\xD800" "b"), 3, &sz));
  EXPECT_GT(sz.cx, 0);
}

}  // namespace

// The text calls' rounding is std::lround's, halves away from zero, on the
// values that decide it: halves, the doubles either side of them, the ends
// of the exact range, LONG's ends and values that are not numbers.
TEST(TextDc, RoundingIsLroundsToTheLastBit) {
  std::vector<double> values = {0.0, -0.0, 0.49999999999999994, -0.49999999999999994, 4503599627370495.5,
                                -4503599627370495.5, 4503599627370496.0, -4503599627370497.0, 9007199254740993.0,
                                2147483647.4, 2147483647.5, -2147483648.5, -2147483649.0, 1e300, -1e300,
                                std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::denorm_min()};
  for (int k = -4000; k <= 4000; ++k) {
    const double v = k / 4.0;
    values.insert(values.end(), {v, std::nextafter(v, 1e9), std::nextafter(v, -1e9), v / 3.0, v * 1e6 + 0.5});
  }
  for (double v : values) EXPECT_EQ(LONG(std::lround(v)), nx::text::Round(v)) << std::hexfloat << v;
}

// A drawing call reuses the advances its measuring call read only for the
// same font and text: each step records the same bytes whether the text it
// draws was measured just before (in that step's font, DC state and text)
// or something else was.
TEST(TextDc, DrawingAfterMeasuringRecordsWhatDrawingAloneRecords) {
  struct Step {
    std::u16string measured, drawn;
    void (*between)(HDC dc);  // changes made after measuring, before drawing
    UINT options;
  };
  const std::u16string pair = u"A\U0001D400b";
  const Step steps[] = {
      {u"Widget 12.50", u"Widget 12.50", nullptr, 0},
      {u"Widget iiii", u"Widget WWWW", nullptr, 0},
      {u"Widget WWWW", u"Widget WWWW", [](HDC dc) { SetTextCharacterExtra(dc, 3); }, 0},
      {u"Widget WWWW", u"Widget WWWW", nullptr, ETO_PDY},
      {pair, pair, nullptr, 0},
      {u"", u"", nullptr, 0},
      // Another font, made where the measured one may have been freed.
      {u"Widget WWWW", u"Widget WWWW",
       [](HDC dc) {
         DeleteObject(SelectObject(dc, MakeFont(u"Times New Roman", -31)));
       },
       0},
      {u"Turned", u"Turned", [](HDC dc) { DeleteObject(SelectObject(dc, MakeFont(u"Arial", -20, 450))); }, 0},
      // A scale that gives the DC's font another device size.
      {u"Scaled 123", u"Scaled 123",
       [](HDC dc) {
         SetMapMode(dc, MM_ANISOTROPIC);
         SetWindowExtEx(dc, 100, 100, nullptr);
         SetViewportExtEx(dc, 250, 250, nullptr);
       },
       0},
  };
  std::vector<std::vector<uint8_t>> records[2];
  for (int measureFirst = 0; measureFirst < 2; ++measureFirst) {
    MetafileFile mf(kFrame);
    ASSERT_TRUE(mf.dc);
    SelectObject(mf.dc, MakeFont(u"Arial", -20));
    for (const Step &st : steps) {
      SIZE size;
      const std::u16string other = u"#";
      const std::u16string &measured = measureFirst ? st.measured : other;
      ASSERT_TRUE(GetTextExtentPoint32W(mf.dc, W(measured), int(measured.size()), &size));
      if (st.between) st.between(mf.dc);
      ExtTextOutW(mf.dc, 10, 40, st.options, nullptr, W(st.drawn), UINT(st.drawn.size()), nullptr);
      SetTextCharacterExtra(mf.dc, 0);
    }
    DeleteObject(SelectObject(mf.dc, GetStockObject(SYSTEM_FONT)));
    mf.Close();
    records[measureFirst] = mf.Records(EMR_EXTTEXTOUTW);
  }
  ASSERT_EQ(std::size(steps), records[0].size());
  for (size_t i = 0; i < records[0].size(); ++i) EXPECT_EQ(records[0][i], records[1][i]) << "step " << i;
}

// One font object stays selected while the DC's scale moves back and forth
// through extents, world transforms and a scale that rounds to the same
// device size: every measure matches a fresh font object's, which has no
// size kept from before.
TEST(TextDc, KeptFontFollowsEveryChangeOfTheDcsScale) {
  MemDc m;
  m.Use(MakeFont(u"Arial", -20));
  SetGraphicsMode(m.dc, GM_ADVANCED);
  SetMapMode(m.dc, MM_ANISOTROPIC);
  const std::u16string text = u"Widget 12.50 iiWW";
  auto measure = [&](HDC dc) {
    SIZE sz{};
    EXPECT_TRUE(GetTextExtentPoint32W(dc, W(text), int(text.size()), &sz));
    return std::make_pair(sz.cx, sz.cy);
  };
  auto fresh = [&] {
    HFONT own = MakeFont(u"Arial", -20);
    HGDIOBJ kept = SelectObject(m.dc, own);
    auto r = measure(m.dc);
    SelectObject(m.dc, kept);
    DeleteObject(own);
    return r;
  };
  struct Scale {
    int window, viewport;
    float world;
  };
  // 1.01 gives the same 20-pixel em as 1; 2.5 and 0.5 do not.
  const Scale scales[] = {{1, 1, 1}, {100, 250, 1}, {1, 1, 1}, {100, 101, 1}, {1, 1, 2.5f},
                          {100, 250, 1}, {2, 1, 1},  {1, 1, 1}, {100, 101, 1}, {1, 1, 1}};
  std::set<std::pair<LONG, LONG>> seen;
  for (const Scale &s : scales) {
    SetWindowExtEx(m.dc, s.window, s.window, nullptr);
    SetViewportExtEx(m.dc, s.viewport, s.viewport, nullptr);
    const XFORM x{s.world, 0, 0, s.world, 0, 0};
    ASSERT_TRUE(SetWorldTransform(m.dc, &x));
    const auto kept = measure(m.dc);
    EXPECT_EQ(fresh(), kept) << s.window << ":" << s.viewport << " x" << s.world;
    // The kept font is asked again after the fresh one: still the same.
    EXPECT_EQ(kept, measure(m.dc));
    seen.insert(kept);
  }
  EXPECT_GE(seen.size(), 3u);  // the scales gave different sizes
}
