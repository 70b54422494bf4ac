#include "export/gtPDFFontFile.h"

#include <array>
#include <map>

namespace nx {

namespace {

// Big-endian reads that report failure instead of reading past the data.
struct TReader {
  std::string_view d;
  bool Has(uint64_t pos, uint64_t n) const { return pos <= d.size() && n <= d.size() - pos; }
  bool U16(uint64_t pos, uint16_t &v) const {
    if (!Has(pos, 2)) return false;
    v = static_cast<uint16_t>((uint8_t(d[pos]) << 8) | uint8_t(d[pos + 1]));
    return true;
  }
  bool U32(uint64_t pos, uint32_t &v) const {
    uint16_t hi = 0, lo = 0;
    if (!U16(pos, hi) || !U16(pos + 2, lo)) return false;
    v = (uint32_t(hi) << 16) | lo;
    return true;
  }
};

void Put16(std::string &s, size_t pos, uint32_t v) {
  s[pos] = static_cast<char>((v >> 8) & 0xFF);
  s[pos + 1] = static_cast<char>(v & 0xFF);
}
void Put32(std::string &s, size_t pos, uint32_t v) {
  Put16(s, pos, v >> 16);
  Put16(s, pos + 2, v & 0xFFFF);
}
void Append16(std::string &s, uint32_t v) {
  s.append(2, '\0');
  Put16(s, s.size() - 2, v);
}
void Append32(std::string &s, uint32_t v) {
  s.append(4, '\0');
  Put32(s, s.size() - 4, v);
}
void Pad4(std::string &s) { s.append((4 - s.size() % 4) % 4, '\0'); }

uint32_t Checksum(std::string_view s) {
  uint32_t sum = 0;
  for (size_t i = 0; i < s.size(); i += 4) {
    uint32_t w = 0;
    for (size_t k = 0; k < 4; ++k) w = (w << 8) | (i + k < s.size() ? uint8_t(s[i + k]) : 0u);
    sum += w;
  }
  return sum;
}

const TTrueTypeTable *Find(const std::vector<TTrueTypeTable> &dir, uint32_t tag) {
  for (const TTrueTypeTable &t : dir)
    if (t.Tag == tag) return &t;
  return nullptr;
}

constexpr std::array<uint32_t, 10> kRequiredTables = {
    TableTag("cmap"), TableTag("cvt "), TableTag("fpgm"), TableTag("glyf"), TableTag("head"),
    TableTag("hhea"), TableTag("hmtx"), TableTag("loca"), TableTag("maxp"), TableTag("prep")};

// The glyph outlines of a font, checked once: every loca entry lies inside
// 'glyf' and never decreases.
class TGlyphData {
 public:
  bool Load(std::string_view data, const std::vector<TTrueTypeTable> &dir) {
    const TTrueTypeTable *glyf = Find(dir, TableTag("glyf")), *loca = Find(dir, TableTag("loca"));
    const TTrueTypeTable *head = Find(dir, TableTag("head")), *maxp = Find(dir, TableTag("maxp"));
    if (!glyf || !loca || !head || !maxp || head->Length < 54) return false;
    TReader r{data};
    uint16_t format = 0;
    if (!r.U16(maxp->Offset + 4, NumGlyphs) || !r.U16(head->Offset + 50, format) || format > 1) return false;
    LongLoca = format == 1;
    const uint32_t entry = LongLoca ? 4 : 2;
    if (uint64_t(NumGlyphs) + 1 > loca->Length / entry) return false;
    Glyf = data.substr(glyf->Offset, glyf->Length);
    Offsets.resize(size_t(NumGlyphs) + 1);
    for (size_t i = 0; i <= NumGlyphs; ++i) {
      uint32_t v = 0;
      uint16_t v16 = 0;
      if (LongLoca ? !r.U32(loca->Offset + 4 * i, v) : !r.U16(loca->Offset + 2 * i, v16)) return false;
      Offsets[i] = LongLoca ? v : uint32_t(v16) * 2;
      if (Offsets[i] > Glyf.size() || (i && Offsets[i] < Offsets[i - 1])) return false;
    }
    return true;
  }
  std::string_view Glyph(uint16_t g) const { return Glyf.substr(Offsets[g], Offsets[g + 1] - Offsets[g]); }

  // Adds g and, for a composite glyph, its components at every level.
  bool Collect(uint16_t g, int depth, std::map<uint16_t, bool> &state) const {
    if (g >= NumGlyphs || depth > kMaxCompositeDepth) return false;
    const auto it = state.find(g);
    if (it != state.end()) return it->second;  // false while g is being followed: a loop
    state[g] = false;
    const std::string_view s = Glyph(g);
    TReader r{s};
    uint16_t contours = 0;
    if (s.size() >= 10 && r.U16(0, contours) && contours == 0xFFFF) {
      uint64_t pos = 10;
      uint16_t flags = 0x20;
      while (flags & 0x20) {  // MORE_COMPONENTS
        uint16_t component = 0;
        if (!r.U16(pos, flags) || !r.U16(pos + 2, component)) return false;
        pos += 4 + ((flags & 0x01) ? 4 : 2);
        if (flags & 0x08) pos += 2;       // WE_HAVE_A_SCALE
        else if (flags & 0x40) pos += 4;  // WE_HAVE_AN_X_AND_Y_SCALE
        else if (flags & 0x80) pos += 8;  // WE_HAVE_A_TWO_BY_TWO
        if (pos > s.size() || !Collect(component, depth + 1, state)) return false;
      }
    }
    state[g] = true;
    return true;
  }

  uint16_t NumGlyphs = 0;
  bool LongLoca = false;

 private:
  std::string_view Glyf;
  std::vector<uint32_t> Offsets;
};

// 'hmtx' with the metrics of glyphs outside the subset set to zero: no text
// draws them, and the runs of zeros compress to almost nothing. A table
// shorter than 'hhea' says stays as it is.
std::string SubsetMetrics(std::string_view data, const std::vector<TTrueTypeTable> &dir, const TTrueTypeTable &hmtx,
                          uint16_t numGlyphs, const std::map<uint16_t, bool> &kept) {
  std::string table(data.substr(hmtx.Offset, hmtx.Length));
  const TTrueTypeTable *hhea = Find(dir, TableTag("hhea"));
  uint16_t longMetrics = 0;
  if (!hhea || hhea->Length < 36 || !TReader{data}.U16(hhea->Offset + 34, longMetrics) || longMetrics == 0 ||
      longMetrics > numGlyphs || table.size() < 4u * longMetrics + 2u * (numGlyphs - longMetrics))
    return table;
  for (uint32_t g = 0; g < numGlyphs; ++g) {
    if (kept.count(static_cast<uint16_t>(g))) continue;
    if (g < longMetrics)
      Put32(table, 4 * size_t(g), 0);
    else
      Put16(table, 4 * size_t(longMetrics) + 2 * size_t(g - longMetrics), 0);
  }
  return table;
}

}  // namespace

std::vector<TTrueTypeTable> ReadTableDirectory(std::string_view data, uint32_t dirOffset) {
  TReader r{data};
  uint16_t count = 0;
  if (!r.U16(uint64_t(dirOffset) + 4, count)) return {};
  std::vector<TTrueTypeTable> dir(count);
  for (uint16_t i = 0; i < count; ++i) {
    const uint64_t p = uint64_t(dirOffset) + 12 + 16 * uint64_t(i);
    TTrueTypeTable &t = dir[i];
    if (!r.U32(p, t.Tag) || !r.U32(p + 4, t.Checksum) || !r.U32(p + 8, t.Offset) || !r.U32(p + 12, t.Length) ||
        !r.Has(t.Offset, t.Length))
      return {};
  }
  return dir;
}

bool HasTrueTypeOutlines(std::string_view data, uint32_t dirOffset) {
  const auto dir = ReadTableDirectory(data, dirOffset);
  return Find(dir, TableTag("glyf")) && Find(dir, TableTag("loca"));
}

std::vector<std::pair<char16_t, uint16_t>> ReadUnicodeCmap(std::string_view data, uint32_t dirOffset) {
  const auto dir = ReadTableDirectory(data, dirOffset);
  const TTrueTypeTable *cmap = Find(dir, TableTag("cmap"));
  if (!cmap) return {};
  const TReader r{data.substr(cmap->Offset, cmap->Length)};
  uint16_t count = 0;
  if (!r.U16(2, count)) return {};
  uint32_t sub = 0;
  for (int wanted : {1, 0}) {
    for (uint16_t i = 0; i < count && !sub; ++i) {
      uint16_t platform = 0, encoding = 0;
      uint32_t offset = 0;
      if (!r.U16(4 + 8 * i, platform) || !r.U16(6 + 8 * i, encoding) || !r.U32(8 + 8 * i, offset)) return {};
      if (platform == 3 && encoding == wanted) sub = offset;
    }
    if (sub) break;
  }
  uint16_t format = 0, segX2 = 0;
  if (!sub || !r.U16(sub, format) || format != 4 || !r.U16(sub + 6, segX2)) return {};
  const uint64_t ends = sub + 14, starts = ends + segX2 + 2, deltas = starts + segX2, ranges = deltas + segX2;
  std::vector<std::pair<char16_t, uint16_t>> pairs;
  for (uint32_t seg = 0; seg < segX2 / 2u; ++seg) {
    uint16_t end = 0, start = 0, delta = 0, range = 0;
    if (!r.U16(ends + 2 * seg, end) || !r.U16(starts + 2 * seg, start) || !r.U16(deltas + 2 * seg, delta) ||
        !r.U16(ranges + 2 * seg, range))
      return {};
    for (uint32_t c = start; c <= end && c < 0xFFFF; ++c) {
      uint16_t g = 0;
      if (range == 0) {
        g = static_cast<uint16_t>(c + delta);
      } else {
        if (!r.U16(ranges + 2 * seg + range + 2 * (c - start), g)) return {};
        if (g) g = static_cast<uint16_t>(g + delta);
      }
      // Overlapping segments could name every character many times over.
      if (pairs.size() >= 0x20000) return {};
      pairs.emplace_back(static_cast<char16_t>(c), g);
    }
  }
  return pairs;
}

std::optional<std::string> BuildTrueTypeSubset(std::string_view data, uint32_t dirOffset,
                                               const std::set<uint16_t> &usedGlyphs) {
  const auto dir = ReadTableDirectory(data, dirOffset);
  TGlyphData glyphs;
  if (dir.empty() || !glyphs.Load(data, dir)) return std::nullopt;
  std::map<uint16_t, bool> state;
  if (!glyphs.Collect(0, 0, state)) return std::nullopt;
  for (uint16_t g : usedGlyphs)
    if (!glyphs.Collect(g, 0, state)) return std::nullopt;

  std::string glyf, loca;
  for (uint32_t g = 0; g <= glyphs.NumGlyphs; ++g) {
    if (glyphs.LongLoca) Append32(loca, static_cast<uint32_t>(glyf.size()));
    else Append16(loca, static_cast<uint32_t>(glyf.size() / 2));
    if (g < glyphs.NumGlyphs && state.count(static_cast<uint16_t>(g))) {
      glyf += glyphs.Glyph(static_cast<uint16_t>(g));
      if (glyf.size() % 2) glyf += '\0';  // the short format counts in words
    }
  }

  std::vector<const TTrueTypeTable *> kept;
  for (const TTrueTypeTable &t : dir)
    for (uint32_t tag : kRequiredTables)
      if (t.Tag == tag) kept.push_back(&t);
  const uint32_t n = static_cast<uint32_t>(kept.size());
  uint32_t log2 = 0;
  while ((2u << log2) <= n) ++log2;
  std::string out;
  Append32(out, 0x00010000);
  Append16(out, n);
  Append16(out, 16u << log2);
  Append16(out, log2);
  Append16(out, 16 * n - (16u << log2));
  std::string body;
  size_t headAt = 0;
  const size_t bodyStart = 12 + 16 * size_t(n);
  for (const TTrueTypeTable *t : kept) {
    std::string table = t->Tag == TableTag("glyf")   ? glyf
                        : t->Tag == TableTag("loca") ? loca
                        : t->Tag == TableTag("hmtx") ? SubsetMetrics(data, dir, *t, glyphs.NumGlyphs, state)
                                                     : std::string(data.substr(t->Offset, t->Length));
    if (t->Tag == TableTag("head")) {
      Put32(table, 8, 0);  // checkSumAdjustment, set once the file is whole
      headAt = bodyStart + body.size();
    }
    Append32(out, t->Tag);
    Append32(out, Checksum(table));
    Append32(out, static_cast<uint32_t>(bodyStart + body.size()));
    Append32(out, static_cast<uint32_t>(table.size()));
    body += table;
    Pad4(body);
  }
  out += body;
  Put32(out, headAt + 8, 0xB1B0AFBAu - Checksum(out));
  return out;
}

std::string SubsetTag(std::string_view fontData, const std::set<uint16_t> &glyphs) {
  // FNV-1a over the font's table directory (names, checksums and sizes of
  // its tables identify the font) and the glyph identifiers.
  uint64_t h = 0xCBF29CE484222325ull;
  auto mix = [&h](uint8_t b) { h = (h ^ b) * 0x100000001B3ull; };
  TReader r{fontData};
  uint16_t count = 0;
  size_t dirEnd = fontData.size();
  if (r.U16(4, count)) dirEnd = std::min(dirEnd, size_t(12) + 16 * size_t(count));
  for (size_t i = 0; i < dirEnd; ++i) mix(uint8_t(fontData[i]));
  for (uint16_t g : glyphs) {
    mix(uint8_t(g >> 8));
    mix(uint8_t(g));
  }
  std::string tag;
  for (int i = 0; i < 6; ++i) {
    tag += static_cast<char>('A' + h % 26);
    h /= 26;
  }
  return tag;
}

}  // namespace nx
