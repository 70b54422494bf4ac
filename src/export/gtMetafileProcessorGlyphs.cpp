// Format-4 character maps read backwards: glyph index -> character.
#include "export/gtMetafileProcessorGlyphs.h"

namespace nx {

namespace {

constexpr DWORD kCmapTag = 0x70616D63;  // "cmap" as GetFontData takes a tag

uint16_t Be16(const uint8_t *p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t Be32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

bool TgtGlyphTable::CreateTTFGlyphs(HDC hdc) {
  chars_.clear();
  const DWORD size = GetFontData(hdc, kCmapTag, 0, nullptr, 0);
  if (size == GDI_ERROR || size == 0 || size > (1u << 24)) return false;
  std::vector<uint8_t> cmap(size);
  if (GetFontData(hdc, kCmapTag, 0, cmap.data(), size) != size) return false;
  return Parse(cmap.data(), cmap.size());
}

bool TgtGlyphTable::Parse(const uint8_t *cmap, size_t size) {
  chars_.clear();
  if (size < 4) return false;
  const size_t n = Be16(cmap + 2);
  // Preference order of the encoding records: Unicode BMP, Unicode, symbol.
  size_t best = 0;
  int bestRank = 0;
  for (size_t i = 0; i < n && 4 + 8 * (i + 1) <= size; ++i) {
    const uint8_t *rec = cmap + 4 + 8 * i;
    const uint16_t platform = Be16(rec), encoding = Be16(rec + 2);
    const uint32_t off = Be32(rec + 4);
    if (off > size - 2 || Be16(cmap + off) != 4) continue;
    const int rank = platform == 3 && encoding == 1 ? 3 : platform == 0 ? 2 : platform == 3 && encoding == 0 ? 1 : 0;
    if (rank > bestRank) {
      bestRank = rank;
      best = off;
    }
  }
  return bestRank > 0 && ParseFormat4(cmap + best, size - best);
}

bool TgtGlyphTable::ParseFormat4(const uint8_t *sub, size_t size) {
  if (size < 14) return false;
  size_t length = Be16(sub + 2);
  if (length < 14 || length > size) length = size;  // some fonts write a short length
  const size_t segs = Be16(sub + 6) / 2;
  const size_t ends = 14, starts = ends + 2 * segs + 2, deltas = starts + 2 * segs,
               ranges = deltas + 2 * segs;
  if (ranges + 2 * segs > length) return false;
  std::vector<WCHAR> chars;
  // Segments are sorted and do not overlap: each character is looked at
  // once, whatever the table claims.
  uint32_t next = 0;
  for (size_t s = 0; s < segs; ++s) {
    const uint32_t end = Be16(sub + ends + 2 * s), first = Be16(sub + starts + 2 * s);
    const uint32_t start = first < next ? next : first;
    next = end + 1 > next ? end + 1 : next;
    const uint16_t delta = Be16(sub + deltas + 2 * s), range = Be16(sub + ranges + 2 * s);
    for (uint32_t c = start; c <= end && c != 0xFFFF; ++c) {
      uint32_t glyph;
      if (range == 0) {
        glyph = (c + delta) & 0xFFFF;
      } else {
        const size_t at = ranges + 2 * s + range + 2 * size_t(c - first);
        if (at + 2 > length) break;
        glyph = Be16(sub + at);
        if (glyph) glyph = (glyph + delta) & 0xFFFF;
      }
      if (glyph == 0) continue;
      if (glyph >= chars.size()) chars.resize(glyph + 1, 0);
      if (!chars[glyph] || c < chars[glyph]) chars[glyph] = (WCHAR)c;
    }
  }
  chars_ = std::move(chars);
  return !chars_.empty();
}

}  // namespace nx
