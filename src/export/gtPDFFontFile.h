// TrueType font data for PDF embedding: the table directory, the Unicode
// cmap, subsets that keep glyph identifiers, and subset tags. Every reader
// works on bytes the caller holds and checks each offset against them:
// damaged data gives "no result", never a read outside the buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nx {

struct TTrueTypeTable {
  uint32_t Tag = 0;
  uint32_t Checksum = 0;
  uint32_t Offset = 0;  // from the start of the data
  uint32_t Length = 0;
};

// The table directory at dirOffset (non-zero inside a collection). Empty
// when the directory or any of its tables lies outside the data.
std::vector<TTrueTypeTable> ReadTableDirectory(std::string_view data, uint32_t dirOffset);

// A four-letter tag as a big-endian number ("glyf" -> 0x676C7966).
constexpr uint32_t TableTag(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
         uint32_t(uint8_t(s[3]));
}

// True when the font has TrueType outlines ('glyf' and 'loca'), not CFF.
bool HasTrueTypeOutlines(std::string_view data, uint32_t dirOffset);

// (character, glyph) pairs of the platform 3 encoding 1 subtable, else the
// platform 3 encoding 0 one, segment by segment; empty unless it is format 4.
std::vector<std::pair<char16_t, uint16_t>> ReadUnicodeCmap(std::string_view data, uint32_t dirOffset);

// Composite glyphs are followed this deep; deeper (or looping) data is bad.
inline constexpr int kMaxCompositeDepth = 16;

// A font file that holds only the required tables and, in 'glyf', only the
// used glyphs (glyph 0 always) and every glyph their composites name, at any
// depth; other glyphs stay with empty data and zero metrics in 'hmtx', so
// identifiers do not change.
// nullopt when the font's tables are damaged (truncated, 'loca' past 'glyf',
// components that loop or nest too deep, a glyph id past numGlyphs).
std::optional<std::string> BuildTrueTypeSubset(std::string_view data, uint32_t dirOffset,
                                               const std::set<uint16_t> &usedGlyphs);

// Six upper-case letters derived from the font data and the glyph set: the
// same font and glyphs give the same tag, different subsets different tags.
std::string SubsetTag(std::string_view fontData, const std::set<uint16_t> &glyphs);

}  // namespace nx
