#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/text/TextRecord.h"

using nx::text::BuildExtTextOutRecord;
using nx::text::TextRecordInput;

namespace {

// Little-endian helpers for writing the expected bytes out by hand.
void Le(std::vector<uint8_t> &v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

TEST(TextRecord, OddLengthStringIsPaddedAndDxFollows) {
  const WCHAR text[] = {u'A', u'b', u'c'};
  const INT dx[] = {60, 61, 62};
  const RECT clip{10, 20, 300, 400};
  TextRecordInput in;
  in.bounds = RECTL{100, 200, 284, 318};
  in.exScale = 2.5f;
  in.eyScale = 2.5f;
  in.reference = POINTL{100, 200};
  in.options = ETO_CLIPPED | ETO_NO_RECT;  // ETO_NO_RECT is dropped
  in.rect = &clip;
  in.text = text;
  in.count = 3;
  in.dx = dx;
  std::vector<uint8_t> want;
  Le(want, 84);                    // iType
  Le(want, 76 + 8 + 12);           // nSize: header, 4 units of string, 3 dx
  for (uint32_t v : {100u, 200u, 284u, 318u}) Le(want, v);
  Le(want, 1);                     // GM_COMPATIBLE
  Le(want, 0x40200000);            // 2.5f
  Le(want, 0x40200000);
  Le(want, 100);
  Le(want, 200);
  Le(want, 3);                     // nChars
  Le(want, 76);                    // offString
  Le(want, 4);                     // fOptions
  for (uint32_t v : {10u, 20u, 300u, 400u}) Le(want, v);
  Le(want, 84);                    // offDx = 76 + 8
  for (int b : {0x41, 0, 0x62, 0, 0x63, 0, 0, 0}) want.push_back(uint8_t(b));  // "Abc" + pad
  for (uint32_t v : {60u, 61u, 62u}) Le(want, v);
  EXPECT_EQ(want, BuildExtTextOutRecord(in));
}

TEST(TextRecord, NoRectangleAndEmptyString) {
  TextRecordInput in;
  auto rec = BuildExtTextOutRecord(in);
  ASSERT_EQ(76u, rec.size());
  int32_t rcl[4];
  std::memcpy(rcl, &rec[56], 16);
  EXPECT_EQ(0, rcl[0]);
  EXPECT_EQ(-1, rcl[2]);
  EXPECT_EQ(-1, rcl[3]);
  uint32_t offDx;
  std::memcpy(&offDx, &rec[72], 4);
  EXPECT_EQ(76u, offDx);
  // A count without a string writes no characters.
  in.count = 1000;
  EXPECT_EQ(76u, BuildExtTextOutRecord(in).size());
}

TEST(TextRecord, PdyCarriesTwoValuesPerCharacter) {
  const WCHAR text[] = {u'x', u'y'};
  const INT dx[] = {5, 0, 6, 1};
  TextRecordInput in;
  in.options = ETO_PDY;
  in.text = text;
  in.count = 2;
  in.dx = dx;
  auto rec = BuildExtTextOutRecord(in);
  ASSERT_EQ(76u + 4 + 16, rec.size());
  int32_t got[4];
  std::memcpy(got, &rec[80], 16);
  EXPECT_EQ(6, got[2]);
  EXPECT_EQ(1, got[3]);
}

TEST(TextRecord, BoundsFollowTheAlignment) {
  using nx::text::EstimateTextBounds;
  auto b = EstimateTextBounds(100, 50, 40, 20, 4, 0);  // TA_LEFT | TA_TOP
  EXPECT_EQ((std::vector<LONG>{100, 50, 141, 71}), (std::vector<LONG>{b.left, b.top, b.right, b.bottom}));
  b = EstimateTextBounds(100, 50, 40, 20, 4, 2 | 8);  // TA_RIGHT | TA_BOTTOM
  EXPECT_EQ((std::vector<LONG>{59, 29, 100, 50}), (std::vector<LONG>{b.left, b.top, b.right, b.bottom}));
  b = EstimateTextBounds(100, 50, 40, 20, 4, 6 | 24);  // TA_CENTER | TA_BASELINE
  EXPECT_EQ((std::vector<LONG>{79, 29, 121, 55}), (std::vector<LONG>{b.left, b.top, b.right, b.bottom}));
}

// The record written in place over a used buffer (as the metafile DC does)
// sets every byte, padding included: it equals the record built afresh.
TEST(TextRecord, WrittenInPlaceOverOldBytesEqualsTheBuiltRecord) {
  const WCHAR text[] = {u'O', u'd', u'd', u'!', u'\u00e9'};
  const INT dx[] = {7, -1, 8, 2, 9, 0, 10, 4, 11, 5};
  const RECT box{1, 2, 3, 4};
  for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{5}})
    for (UINT options : {0u, UINT(ETO_PDY), UINT(ETO_OPAQUE | ETO_NO_RECT)})
      for (const INT *d : {dx, static_cast<const INT *>(nullptr)}) {
        TextRecordInput in;
        in.bounds = RECTL{-5, 6, 70, 80};
        in.graphicsMode = 2;
        in.reference = POINTL{-3, 9};
        in.options = options;
        in.rect = options & ETO_OPAQUE ? &box : nullptr;
        in.text = text;
        in.count = n;
        in.dx = d;
        const std::vector<uint8_t> built = BuildExtTextOutRecord(in);
        ASSERT_EQ(built.size(), nx::text::ExtTextOutRecordSize(in));
        std::vector<uint8_t> used(built.size(), 0xCD);
        nx::text::WriteExtTextOutRecord(in, used.data());
        EXPECT_EQ(built, used) << n << "/" << options << "/" << (d != nullptr);
      }
}

}  // namespace
