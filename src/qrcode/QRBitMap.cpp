#include "qrcode/QRBitMap.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>

namespace nx {

namespace {

// ISO/IEC 18004 Annex E: alignment pattern centres, versions 2 to 40.
constexpr uint8_t kAlignment[41][8] = {
    {}, {},
    {6, 18}, {6, 22}, {6, 26}, {6, 30}, {6, 34},
    {6, 22, 38}, {6, 24, 42}, {6, 26, 46}, {6, 28, 50}, {6, 30, 54}, {6, 32, 58}, {6, 34, 62},
    {6, 26, 46, 66}, {6, 26, 48, 70}, {6, 26, 50, 74}, {6, 30, 54, 78}, {6, 30, 56, 82}, {6, 30, 58, 86},
    {6, 34, 62, 90},
    {6, 28, 50, 72, 94}, {6, 26, 50, 74, 98}, {6, 30, 54, 78, 102}, {6, 28, 54, 80, 106},
    {6, 32, 58, 84, 110}, {6, 30, 58, 86, 114}, {6, 34, 62, 90, 118},
    {6, 26, 50, 74, 98, 122}, {6, 30, 54, 78, 102, 126}, {6, 26, 52, 78, 104, 130},
    {6, 30, 56, 82, 108, 134}, {6, 34, 60, 86, 112, 138}, {6, 30, 58, 86, 114, 142},
    {6, 34, 62, 90, 118, 146},
    {6, 30, 54, 78, 102, 126, 150}, {6, 24, 50, 76, 102, 128, 154}, {6, 28, 54, 80, 106, 132, 158},
    {6, 32, 58, 84, 110, 136, 162}, {6, 26, 54, 82, 110, 138, 166}, {6, 30, 58, 86, 114, 142, 170},
};

// ISO/IEC 18004 Annex C: format information, already masked with
// 101010000010010, indexed by level bits (M 00, L 01, H 10, Q 11) * 8 + mask.
constexpr uint16_t kFormatInfo[32] = {
    0x5412, 0x5125, 0x5E7C, 0x5B4B, 0x45F9, 0x40CE, 0x4F97, 0x4AA0,
    0x77C4, 0x72F3, 0x7DAA, 0x789D, 0x662F, 0x6318, 0x6C41, 0x6976,
    0x1689, 0x13BE, 0x1CE7, 0x19D0, 0x0762, 0x0255, 0x0D0C, 0x083B,
    0x355F, 0x3068, 0x3F31, 0x3A06, 0x24B4, 0x2183, 0x2EDA, 0x2BED};

// ISO/IEC 18004 Annex D: version information, versions 7 to 40.
constexpr uint32_t kVersionInfo[34] = {
    0x07C94, 0x085BC, 0x09A99, 0x0A4D3, 0x0BBF6, 0x0C762, 0x0D847, 0x0E60D, 0x0F928,
    0x10B78, 0x1145D, 0x12A17, 0x13532, 0x149A6, 0x15683, 0x168C9, 0x177EC, 0x18EC4,
    0x191E1, 0x1AFAB, 0x1B08E, 0x1CC1A, 0x1D33F, 0x1ED75, 0x1F250, 0x209D5, 0x216F0,
    0x228BA, 0x2379F, 0x24B0B, 0x2542E, 0x26A64, 0x27541, 0x28C69};

// Calls f(bit, x, y) for the two copies of each of the 15 format bits.
template <typename F>
void ForFormatModules(int32_t w, int32_t h, F &&f) {
  static constexpr int8_t kColumn8[8] = {0, 1, 2, 3, 4, 5, 7, 8};
  for (int32_t b = 0; b < 8; ++b) {
    f(b, 8, kColumn8[b]);
    f(b, w - 1 - b, 8);
  }
  for (int32_t b = 8; b < 15; ++b) {
    f(b, 8, h - 7 + (b - 8));
    f(b, b == 8 ? 7 : 14 - b, 8);
  }
}

// Calls f(bit, x, y) for the two copies of each of the 18 version bits.
template <typename F>
void ForVersionModules(int32_t w, int32_t h, F &&f) {
  for (int32_t b = 0; b < 18; ++b) {
    f(b, b / 3, h - 11 + b % 3);
    f(b, w - 11 + b % 3, b / 3);
  }
}

}  // namespace

std::vector<int32_t> TQRBitMap::AlignmentPositions(int32_t version) {
  std::vector<int32_t> out;
  if (version < 1 || version > kQRMaxVersion) return out;
  for (uint8_t p : kAlignment[version])
    if (p) out.push_back(p);
  return out;
}

uint16_t TQRBitMap::FormatInfo(int32_t index) { return kFormatInfo[index & 31]; }

uint32_t TQRBitMap::VersionInfo(int32_t version) {
  return version >= 7 && version <= kQRMaxVersion ? kVersionInfo[version - 7] : 0;
}

TQRBitMap::TQRBitMap(int32_t w, int32_t h, int32_t version)
    : Fbitmap(size_t(w) * size_t(h), qmEmpty), FcodeVersion(version), FmaxX(w), FmaxY(h) {
  if (w < 21 || h < 21 || w > 177 || h > 177) throw std::invalid_argument("QR matrix size out of range");
  for (auto [cx, cy] : {std::pair{0, 0}, {w - 7, 0}, {0, h - 7}})
    for (int32_t dy = 0; dy < 7; ++dy)
      for (int32_t dx = 0; dx < 7; ++dx) {
        int32_t ring = std::max(std::abs(dx - 3), std::abs(dy - 3));
        set(cx + dx, cy + dy, ring == 2 ? qmFinderLight : qmFinderDark);
      }
  for (int32_t i = 0; i < 8; ++i) {
    set(7, i, qmAlignLight);
    set(i, 7, qmAlignLight);
    set(w - 8, i, qmAlignLight);
    set(w - 8 + i, 7, qmAlignLight);
    set(7, h - 8 + i, qmAlignLight);
    set(i, h - 8, qmAlignLight);
  }
  std::vector<int32_t> pos = AlignmentPositions(version);
  for (int32_t x : pos)
    for (int32_t y : pos) {
      int32_t at = getBit(x, y);
      if (at == qmFinderLight || at == qmFinderDark) continue;
      for (int32_t dy = -2; dy <= 2; ++dy)
        for (int32_t dx = -2; dx <= 2; ++dx)
          set(x + dx, y + dy, std::max(std::abs(dx), std::abs(dy)) == 1 ? qmAlignLight : qmAlignDark);
    }
  PlaceFormatInfo(-1);
  PlaceVersionInfo(true);
  for (int32_t i = 8; i <= w - 9; ++i) set(i, 6, i % 2 == 0 ? qmTimingDark : qmTimingLight);
  for (int32_t i = 8; i <= h - 9; ++i) set(6, i, i % 2 == 0 ? qmTimingDark : qmTimingLight);
}

void TQRBitMap::PlaceFormatInfo(int32_t index) {
  uint32_t bits = index < 0 ? 0 : kFormatInfo[index & 31];
  ForFormatModules(FmaxX, FmaxY, [&](int32_t b, int32_t x, int32_t y) {
    set(x, y, (bits >> b) & 1 ? qmFormatDark : qmFormatLight);
  });
  set(8, FmaxY - 8, qmFormatDark);
}

void TQRBitMap::PlaceVersionInfo(bool reserve) {
  if (FcodeVersion < 7) return;
  uint32_t bits = reserve ? 0 : VersionInfo(FcodeVersion);
  ForVersionModules(FmaxX, FmaxY, [&](int32_t b, int32_t x, int32_t y) {
    set(x, y, (bits >> b) & 1 ? qmVersionDark : qmVersionLight);
  });
}

void TQRBitMap::placeCodewords(const TQRVector &cws) {
  struct Cursor {
    int32_t x, y, dir;
  } cur[2] = {{FmaxX - 1, FmaxY, -1}, {FmaxX - 2, FmaxY, -1}};
  int32_t turn = 0;
  auto advance = [&](Cursor &c) {
    c.y += c.dir;
    if (c.y < 0 || c.y >= FmaxY) {
      c.y = c.y < 0 ? 0 : FmaxY - 1;
      c.dir = -c.dir;
      c.x -= (c.x == 7 || c.x == 8) ? 3 : 2;
    }
  };
  for (int32_t cw : cws)
    for (int32_t b = 7; b >= 0; --b) {
      for (;;) {
        Cursor &c = cur[turn];
        turn ^= 1;
        advance(c);
        if (c.x < 0) {
          if (cur[turn].x < 0) return;  // the matrix is full
          continue;
        }
        if (getBit(c.x, c.y) == qmEmpty) {
          set(c.x, c.y, (cw >> b) & 1 ? qmDataDark : qmDataLight);
          break;
        }
      }
    }
}

void TQRBitMap::ApplyMask(int32_t mask) {
  for (int32_t i = 0; i < FmaxY; ++i)
    for (int32_t j = 0; j < FmaxX; ++j) {
      int32_t v = getBit(j, i);
      if (v != qmDataLight && v != qmDataDark && v != qmEmpty) continue;
      bool dark = (v == qmDataDark) != QRMaskHolds(mask, i, j);
      set(j, i, dark ? qmDataDark : qmDataLight);
    }
}

std::array<int32_t, 8> TQRBitMap::MaskScores(int32_t formatBase) const {
  const int32_t w = FmaxX, h = FmaxY;
  TQRMaskSearch search(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      int32_t v = getBit(x, y);
      if (v == qmEmpty || v == qmDataLight || v == qmDataDark)
        search.SetData(x, y, v == qmDataDark);
      else if (v != qmFormatLight)  // format bits depend on the mask
        search.SetFixed(x, y, isBlackValue(v));
    }
  ForFormatModules(w, h, [&](int32_t b, int32_t x, int32_t y) { search.SetFormat(x, y, b); });
  search.SetFixed(8, h - 8, true);
  if (FcodeVersion >= 7) {
    uint32_t word = VersionInfo(FcodeVersion);
    ForVersionModules(w, h, [&](int32_t b, int32_t x, int32_t y) { search.SetFixed(x, y, (word >> b) & 1); });
  }
  std::array<int32_t, 8> scores;
  for (int32_t m = 0; m < 8; ++m) scores[size_t(m)] = search.Score(m, kFormatInfo[(formatBase + m) & 31]).total();
  return scores;
}

int32_t TQRBitMap::ChooseMask(int32_t formatBase) const {
  std::array<int32_t, 8> scores = MaskScores(formatBase);
  return int32_t(std::min_element(scores.begin(), scores.end()) - scores.begin());  // first of equals
}

void TQRBitMap::placeMask(int32_t value, int32_t ecLevel) {
  int32_t m = ChooseMask(value * 8);
  PlaceFormatInfo(value * 8 + m);
  PlaceVersionInfo(false);
  ApplyMask(m);
  FMask = m;
}

}  // namespace nx
