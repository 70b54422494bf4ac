#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/TestSupport.h"

namespace {

HFONT Arial(LONG height) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  const char16_t name[] = u"Arial";
  for (size_t i = 0; name[i]; ++i) lf.lfFaceName[i] = WCHAR(name[i]);
  return CreateFontIndirectW(&lf);
}

void Le(std::vector<uint8_t> &v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

std::vector<std::vector<uint8_t>> Records(HENHMETAFILE emf, DWORD type) {
  UINT size = GetEnhMetaFileBits(emf, 0, nullptr);
  std::vector<uint8_t> bytes(size);
  GetEnhMetaFileBits(emf, size, bytes.data());
  std::vector<std::vector<uint8_t>> out;
  for (size_t off = 0; off + 8 <= bytes.size();) {
    uint32_t t, n;
    std::memcpy(&t, &bytes[off], 4);
    std::memcpy(&n, &bytes[off + 4], 4);
    if (n < 8) break;
    if (t == type) out.emplace_back(bytes.begin() + off, bytes.begin() + off + n);
    off += n;
  }
  return out;
}

TEST(TextDc, RecordedTextMatchesTheBytesGdiWrites) {
  RECT frame{0, 0, 5000, 2000};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  ASSERT_TRUE(dc);
  HFONT font = Arial(-20);
  SelectObject(dc, font);
  ASSERT_TRUE(ExtTextOutW(dc, 10, 20, 0, nullptr, NXW("Hi"), 2, nullptr));
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  auto recs = Records(emf, 84);
  ASSERT_EQ(1u, recs.size());
  // Arial at a 20-pixel em: H = 1479 and i = 455 design units of 2048 -> 14
  // and 4 pixels; the cell is 1854 + 434 units -> 18 + 4 = 22 pixels.
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
  DeleteEnhMetaFile(emf);
  DeleteObject(font);
}

TEST(TextDc, ExtentsCharacterExtraAndFaceName) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = Arial(-20);
  SelectObject(dc, font);
  SIZE sz{};
  ASSERT_TRUE(GetTextExtentPoint32W(dc, NXW("Hi"), 2, &sz));
  EXPECT_EQ(18, sz.cx);
  EXPECT_EQ(22, sz.cy);
  SetTextCharacterExtra(dc, 3);
  ASSERT_TRUE(GetTextExtentPoint32W(dc, NXW("Hi"), 2, &sz));
  EXPECT_EQ(24, sz.cx);
  WCHAR face[LF_FACESIZE];
  EXPECT_GT(GetTextFaceW(dc, LF_FACESIZE, face), 0);
  EXPECT_EQ(std::u16string(u"Liberation Sans"), std::u16string(reinterpret_cast<char16_t *>(face)));
  EXPECT_FALSE(GetTextExtentPoint32W(dc, nullptr, 5, &sz));
  EXPECT_FALSE(GetTextExtentPoint32W(dc, NXW("a"), -1, &sz));
  EXPECT_EQ(DWORD(GDI_ERROR), GetFontData(nullptr, 0, 0, nullptr, 0));
  DeleteDC(dc);
  DeleteObject(font);
}

TEST(TextDc, DrawTextRecordsOneLinePerRowAndEmf2SvgShowsIt) {
  RECT frame{0, 0, 5000, 3000};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  HFONT font = Arial(-20);
  SelectObject(dc, font);
  RECT box{10, 10, 110, 200};
  int h = DrawTextW(dc, NXW("Quarterly totals for every region"), -1, &box,
                    DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS);
  EXPECT_GT(h, 22);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  auto recs = Records(emf, 84);
  EXPECT_EQ(size_t(h / 22), recs.size());
  for (auto &r : recs) {
    uint32_t options;
    std::memcpy(&options, &r[52], 4);
    EXPECT_EQ(4u, options);  // ETO_CLIPPED with the DrawText rectangle
  }
  nxtest::TempDir dir;
  UINT size = GetEnhMetaFileBits(emf, 0, nullptr);
  std::vector<unsigned char> bytes(size);
  GetEnhMetaFileBits(emf, size, bytes.data());
  nxtest::WriteFileBytes(dir.file("text.emf"), bytes);
  if (nxtest::HaveTool("emf2svg-conv")) {
    auto r = nxtest::RunCommand("emf2svg-conv -i " + dir.file("text.emf") + " -o " + dir.file("text.svg"));
    EXPECT_EQ(0, r.exitCode);
    auto svg = nxtest::ReadFileBytes(dir.file("text.svg"));
    std::string s(svg.begin(), svg.end());
    EXPECT_NE(std::string::npos, s.find("Quarterly"));
  }
  DeleteEnhMetaFile(emf);
  DeleteObject(font);
}

}  // namespace
