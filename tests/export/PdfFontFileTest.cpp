// TrueType data for embedding: subsets of a real font and of small built
// fonts (composites at several levels, both loca formats), damaged fonts
// that must give no result rather than a read outside the data, subset tags,
// and a fixed-seed fuzz of the subsetter and the cmap reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "export/gtPDFFontFile.h"
#include "support/TestSupport.h"

using namespace nx;

namespace {

const char *kSans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

std::string ReadAll(const char *path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Add16(std::string &s, uint32_t v) {
  s += static_cast<char>((v >> 8) & 0xFF);
  s += static_cast<char>(v & 0xFF);
}
void Add32(std::string &s, uint32_t v) {
  Add16(s, v >> 16);
  Add16(s, v & 0xFFFF);
}
uint32_t Get32(const std::string &s, size_t p) {
  return (uint32_t(uint8_t(s[p])) << 24) | (uint32_t(uint8_t(s[p + 1])) << 16) | (uint32_t(uint8_t(s[p + 2])) << 8) |
         uint8_t(s[p + 3]);
}
uint32_t FileChecksum(const std::string &s) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 3 < s.size(); i += 4) sum += Get32(s, i);
  return sum;
}

// A simple glyph with no contours and a composite glyph naming components.
std::string SimpleGlyph() {
  std::string g;
  Add16(g, 0);
  for (int i = 0; i < 4; ++i) Add16(g, 0);
  Add16(g, 0);  // instruction length
  return g;
}
std::string CompositeGlyph(std::vector<uint16_t> components) {
  std::string g;
  Add16(g, 0xFFFF);
  for (int i = 0; i < 4; ++i) Add16(g, 0);
  for (size_t i = 0; i < components.size(); ++i) {
    const uint16_t more = i + 1 < components.size() ? 0x20 : 0;
    Add16(g, 0x0001 | 0x0008 | more);  // word arguments and a scale
    Add16(g, components[i]);
    Add32(g, 0);
    Add16(g, 0x4000);
  }
  return g;
}

// A font of the given glyphs with head, maxp, loca, glyf and a format-4 cmap
// mapping 'A' + i to glyph i + 1.
std::string BuildFont(const std::vector<std::string> &glyphs, bool longLoca, uint16_t cmapFormat = 4) {
  std::string glyf, loca;
  for (const std::string &g : glyphs) {
    if (longLoca) Add32(loca, static_cast<uint32_t>(glyf.size()));
    else Add16(loca, static_cast<uint32_t>(glyf.size() / 2));
    glyf += g;
    if (glyf.size() % 2) glyf += '\0';
  }
  if (longLoca) Add32(loca, static_cast<uint32_t>(glyf.size()));
  else Add16(loca, static_cast<uint32_t>(glyf.size() / 2));
  std::string head(54, '\0');
  head[51] = longLoca ? 1 : 0;
  std::string maxp;
  Add32(maxp, 0x00005000);
  Add16(maxp, static_cast<uint32_t>(glyphs.size()));
  std::string cmap;
  Add16(cmap, 0);
  Add16(cmap, 1);
  Add16(cmap, 3);
  Add16(cmap, 1);
  Add32(cmap, 12);
  const uint16_t last = static_cast<uint16_t>('A' + glyphs.size() - 2);
  Add16(cmap, cmapFormat);
  Add16(cmap, 32);
  Add16(cmap, 0);
  Add16(cmap, 4);  // two segments
  Add16(cmap, 4);
  Add16(cmap, 1);
  Add16(cmap, 0);
  Add16(cmap, last);
  Add16(cmap, 0xFFFF);
  Add16(cmap, 0);
  Add16(cmap, 'A');
  Add16(cmap, 0xFFFF);
  Add16(cmap, static_cast<uint16_t>(1 - 'A'));
  Add16(cmap, 1);
  Add16(cmap, 0);
  Add16(cmap, 0);
  const std::vector<std::pair<const char *, std::string>> tables = {
      {"cmap", cmap}, {"glyf", glyf}, {"head", head}, {"loca", loca}, {"maxp", maxp}};
  std::string out;
  Add32(out, 0x00010000);
  Add16(out, static_cast<uint32_t>(tables.size()));
  Add16(out, 64);
  Add16(out, 2);
  Add16(out, 16);
  std::string body;
  const size_t start = 12 + 16 * tables.size();
  for (const auto &[tag, data] : tables) {
    out += tag;
    Add32(out, 0);
    Add32(out, static_cast<uint32_t>(start + body.size()));
    Add32(out, static_cast<uint32_t>(data.size()));
    body += data;
    while (body.size() % 4) body += '\0';
  }
  return out + body;
}

// The bytes of glyph g inside a font, through its own loca.
std::string GlyphBytes(const std::string &font, uint16_t g) {
  const auto dir = ReadTableDirectory(font, 0);
  uint32_t loca = 0, glyf = 0;
  bool longLoca = false;
  for (const TTrueTypeTable &t : dir) {
    if (t.Tag == TableTag("loca")) loca = t.Offset;
    if (t.Tag == TableTag("glyf")) glyf = t.Offset;
    if (t.Tag == TableTag("head")) longLoca = font[t.Offset + 51] == 1;
  }
  auto at = [&](uint32_t i) {
    return longLoca ? Get32(font, loca + 4 * i)
                    : 2 * ((uint32_t(uint8_t(font[loca + 2 * i])) << 8) | uint8_t(font[loca + 2 * i + 1]));
  };
  return font.substr(glyf + at(g), at(g + 1) - at(g));
}

TEST(PdfFontFile, SubsetOfARealFontKeepsIdentifiersAndChecksums) {
  const std::string font = ReadAll(kSans);
  ASSERT_FALSE(font.empty()) << kSans;
  ASSERT_TRUE(HasTrueTypeOutlines(font, 0));
  std::set<uint16_t> used;
  const std::u16string text = u"Hello é";
  for (const auto &[ch, glyph] : ReadUnicodeCmap(font, 0))
    if (text.find(ch) != std::u16string::npos) used.insert(glyph);
  ASSERT_EQ(used.size(), 6u);  // H e l o space é
  const auto subset = BuildTrueTypeSubset(font, 0, used);
  ASSERT_TRUE(subset);
  EXPECT_LT(subset->size() * 10, font.size());
  EXPECT_EQ(FileChecksum(*subset), 0xB1B0AFBAu);
  for (uint16_t g : used) EXPECT_EQ(GlyphBytes(*subset, g), GlyphBytes(font, g)) << g;
  EXPECT_EQ(GlyphBytes(*subset, 0), GlyphBytes(font, 0));
  // A glyph the text does not use keeps its identifier with no outline.
  uint16_t unused = 1;
  while (used.count(unused) || GlyphBytes(font, unused).empty()) ++unused;
  EXPECT_TRUE(GlyphBytes(*subset, unused).empty());
  // The cmap reader agrees with the subset's own cmap.
  EXPECT_EQ(ReadUnicodeCmap(*subset, 0), ReadUnicodeCmap(font, 0));
}

// fontTools reads the subset: the used glyphs (and the components of the
// composite 'Aacute') keep their advances and side bearings, the others
// have none.
TEST(PdfFontFile, SubsetKeepsTheMetricsOfItsGlyphsOnly) {
  const std::string font = ReadAll(kSans);
  ASSERT_FALSE(font.empty()) << kSans;
  std::set<uint16_t> used;
  const std::u16string text = u"W\u00c1\u03a6";  // W, A acute, Phi
  for (const auto &[ch, glyph] : ReadUnicodeCmap(font, 0))
    if (text.find(ch) != std::u16string::npos) used.insert(glyph);
  ASSERT_EQ(used.size(), 3u);
  const auto subset = BuildTrueTypeSubset(font, 0, used);
  ASSERT_TRUE(subset);
  EXPECT_EQ(FileChecksum(*subset), 0xB1B0AFBAu);
  nxtest::TempDir dir;
  {
    std::ofstream out(dir.file("subset.ttf"), std::ios::binary);
    out << *subset;
  }
  const std::string script =
      "import sys\nfrom fontTools.ttLib import TTFont\n"
      "a=TTFont(sys.argv[1]); b=TTFont(sys.argv[2])\n"
      "ma=[a['hmtx'][n] for n in a.getGlyphOrder()]; mb=[b['hmtx'][n] for n in b.getGlyphOrder()]\n"
      "kept=[i for i in range(len(mb)) if mb[i]!=(0,0)]\n"
      "print(len(ma)==len(mb), sorted(a.getGlyphName(i) for i in kept), all(ma[i]==mb[i] for i in kept))\n";
  const auto r = nxtest::RunCommand("/usr/bin/python3 -c " + nxtest::ShellQuote(script) + " " + kSans + " " +
                                    nxtest::ShellQuote(dir.file("subset.ttf")));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  // .notdef, the three glyphs, and A and acute that Aacute is built from.
  EXPECT_EQ(r.output, "True ['.notdef', 'A', 'Aacute', 'Phi', 'W', 'acute.uc'] True\n");
}

TEST(PdfFontFile, CompositesAreFollowedToEveryLevelInBothLocaFormats) {
  // 1 -> (2, 3); 2 -> 4; 4 -> 5; 6 unused.
  const std::vector<std::string> glyphs = {SimpleGlyph(),      CompositeGlyph({2, 3}), CompositeGlyph({4}),
                                           SimpleGlyph(),      CompositeGlyph({5}),    SimpleGlyph() + "abcd",
                                           SimpleGlyph() + "x"};
  for (bool longLoca : {false, true}) {
    const std::string font = BuildFont(glyphs, longLoca);
    const auto subset = BuildTrueTypeSubset(font, 0, {1});
    ASSERT_TRUE(subset) << longLoca;
    for (uint16_t g : {0, 1, 2, 3, 4, 5}) EXPECT_EQ(GlyphBytes(*subset, g), GlyphBytes(font, g)) << g;
    EXPECT_TRUE(GlyphBytes(*subset, 6).empty());
    EXPECT_EQ(FileChecksum(*subset), 0xB1B0AFBAu);
  }
}

TEST(PdfFontFile, DamagedFontsGiveNoSubset) {
  const std::vector<std::string> fine = {SimpleGlyph(), SimpleGlyph(), CompositeGlyph({1})};
  EXPECT_TRUE(BuildTrueTypeSubset(BuildFont(fine, false), 0, {2}));
  // Components that loop back, or name a glyph past numGlyphs.
  EXPECT_FALSE(BuildTrueTypeSubset(BuildFont({SimpleGlyph(), CompositeGlyph({2}), CompositeGlyph({1})}, true), 0, {1}));
  EXPECT_FALSE(BuildTrueTypeSubset(BuildFont({SimpleGlyph(), CompositeGlyph({1})}, true), 0, {1}));
  EXPECT_FALSE(BuildTrueTypeSubset(BuildFont({SimpleGlyph(), CompositeGlyph({9})}, true), 0, {1}));
  // A chain deeper than the limit.
  std::vector<std::string> chain = {SimpleGlyph()};
  for (int i = 1; i <= kMaxCompositeDepth + 2; ++i) chain.push_back(CompositeGlyph({static_cast<uint16_t>(i + 1)}));
  chain.push_back(SimpleGlyph());
  EXPECT_FALSE(BuildTrueTypeSubset(BuildFont(chain, true), 0, {1}));
  EXPECT_TRUE(BuildTrueTypeSubset(BuildFont(chain, true), 0, {static_cast<uint16_t>(chain.size() - kMaxCompositeDepth)}));
  // A used glyph identifier the font does not have.
  EXPECT_FALSE(BuildTrueTypeSubset(BuildFont(fine, false), 0, {7}));
  // loca pointing past the end of glyf.
  std::string font = BuildFont(fine, true);
  for (const TTrueTypeTable &t : ReadTableDirectory(font, 0))
    if (t.Tag == TableTag("loca")) font[t.Offset + t.Length - 2] = 0x7F;
  EXPECT_FALSE(BuildTrueTypeSubset(font, 0, {2}));
  // Truncated files: the directory no longer fits, or a table does not.
  const std::string whole = BuildFont(fine, false);
  for (size_t cut : {size_t(0), size_t(10), size_t(40), whole.size() - 3}) {
    EXPECT_FALSE(BuildTrueTypeSubset(whole.substr(0, cut), 0, {1})) << cut;
    EXPECT_TRUE(ReadUnicodeCmap(whole.substr(0, cut), 0).empty()) << cut;
  }
}

TEST(PdfFontFile, CmapIsReadOnlyFromFormat4) {
  const std::vector<std::string> glyphs = {SimpleGlyph(), SimpleGlyph(), SimpleGlyph(), SimpleGlyph()};
  const auto pairs = ReadUnicodeCmap(BuildFont(glyphs, false), 0);
  const std::vector<std::pair<char16_t, uint16_t>> expected = {{u'A', 1}, {u'B', 2}, {u'C', 3}};
  EXPECT_EQ(pairs, expected);
  EXPECT_TRUE(ReadUnicodeCmap(BuildFont(glyphs, false, 6), 0).empty());
  EXPECT_TRUE(ReadUnicodeCmap(BuildFont(glyphs, false, 12), 0).empty());
}

TEST(PdfFontFile, SubsetTagsAreSixLettersAndFollowFontAndGlyphs) {
  const std::string sans = ReadAll(kSans);
  const std::string serif = ReadAll("/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf");
  const std::string tag = SubsetTag(sans, {0, 43, 72});
  ASSERT_EQ(tag.size(), 6u);
  for (char c : tag) EXPECT_TRUE(c >= 'A' && c <= 'Z') << tag;
  EXPECT_EQ(SubsetTag(sans, {0, 43, 72}), tag);
  EXPECT_NE(SubsetTag(sans, {0, 43, 73}), tag);
  EXPECT_NE(SubsetTag(serif, {0, 43, 72}), tag);
  EXPECT_NE(tag, "WYOIAS");
}

// Mutated fonts must never make the readers leave the data; the sanitizer
// build turns any such read into a failure. A result, when there is one,
// must be a font the readers accept again.
TEST(PdfFontFile, FuzzedFontsAreReadSafely) {
  const std::string original = ReadAll(kSans);
  ASSERT_FALSE(original.empty());
  std::set<uint16_t> used;
  for (const auto &[ch, glyph] : ReadUnicodeCmap(original, 0))
    if (ch < 0x180) used.insert(glyph);
  const auto dir = ReadTableDirectory(original, 0);
  // Mutations aim at the directory, cmap, head, maxp and loca, where
  // damage changes the readers' course, and also hit anywhere.
  std::vector<std::pair<uint32_t, uint32_t>> targets = {{0, 12 + 16 * uint32_t(dir.size())}};
  for (const TTrueTypeTable &t : dir)
    if (t.Tag != TableTag("glyf")) targets.emplace_back(t.Offset, std::min<uint32_t>(t.Length, 4096));
  targets.emplace_back(0, static_cast<uint32_t>(original.size()));
  std::mt19937 rng(20261210);
  int built = 0;
  for (int round = 0; round < 300; ++round) {
    std::string font = original;
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      const auto &[from, len] = targets[rng() % targets.size()];
      const size_t at = from + rng() % std::max<uint32_t>(len, 1);
      if (at < font.size()) font[at] = static_cast<char>(rng());
    }
    if (rng() % 5 == 0) font.resize(rng() % font.size());
    (void)ReadUnicodeCmap(font, 0);
    const auto subset = BuildTrueTypeSubset(font, 0, used);
    if (subset) {
      ++built;
      EXPECT_FALSE(ReadTableDirectory(*subset, 0).empty());
      EXPECT_TRUE(BuildTrueTypeSubset(*subset, 0, used));
    }
  }
  EXPECT_GT(built, 0);
}

// Glyph data is where composites are followed: mutated component records
// (flags, glyph indices, argument sizes) and loca entries of a font made of
// nested composites must give a sound subset or none.
TEST(PdfFontFile, FuzzedCompositeGlyphsAreFollowedSafely) {
  std::vector<std::string> glyphs = {SimpleGlyph()};
  for (uint16_t i = 1; i < 40; ++i)
    glyphs.push_back(i % 3 ? CompositeGlyph({static_cast<uint16_t>(i + 1), static_cast<uint16_t>((i * 7) % 40 + 1)})
                           : SimpleGlyph() + "wxyz");
  glyphs.push_back(SimpleGlyph());
  std::mt19937 rng(20261211);
  int built = 0;
  for (bool longLoca : {false, true}) {
    const std::string original = BuildFont(glyphs, longLoca);
    uint32_t from = 0, len = 0;
    for (const TTrueTypeTable &t : ReadTableDirectory(original, 0))
      if (t.Tag == TableTag("glyf") || t.Tag == TableTag("loca")) {
        from = from ? std::min(from, t.Offset) : t.Offset;
        len = std::max(len, t.Offset + t.Length - from);
      }
    ASSERT_GT(len, 0u);
    for (int round = 0; round < 2000; ++round) {
      std::string font = original;
      for (int e = 1 + static_cast<int>(rng() % 4); e > 0; --e) font[from + rng() % len] = static_cast<char>(rng());
      const std::set<uint16_t> used = {static_cast<uint16_t>(rng() % 42), static_cast<uint16_t>(rng() % 42)};
      const auto subset = BuildTrueTypeSubset(font, 0, used);
      if (!subset) continue;
      ++built;
      EXPECT_EQ(FileChecksum(*subset), 0xB1B0AFBAu);
      EXPECT_TRUE(BuildTrueTypeSubset(*subset, 0, used));
    }
  }
  EXPECT_GT(built, 100);
}

}  // namespace
