// Composite fonts: what a shaped run records of its glyphs, and the Type0
// dictionary, the CIDFontType2 descendant, its descriptor and the ToUnicode
// map written from those records.
#include <cmath>
#include <cstdio>

#include "export/gtCstPDFEngFormat.h"
#include "export/gtCstPDFEngWriter.h"
#include "export/gtEngineTypes.h"
#include "export/gtPDFFont3.h"

namespace nx {

using pdf::Ref;

namespace {

}  // namespace

void AppendHex4(std::string &s, uint32_t v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const char buf[4] = {kDigits[(v >> 12) & 0xF], kDigits[(v >> 8) & 0xF], kDigits[(v >> 4) & 0xF], kDigits[v & 0xF]};
  s.append(buf, 4);
}

void AppendGlyphRunHex(std::string &s, const TgtGlyphInfo *first, const TgtGlyphInfo *end) {
  for (; first != end; ++first) AppendHex4(s, first->FID);
}

std::string GlyphRunHex(const TgtGlyphInfoList &glyphs) {
  std::string s;
  s.reserve(glyphs.size() * 4);
  AppendGlyphRunHex(s, glyphs.data(), glyphs.data() + glyphs.size());
  return s;
}

void TgtPDFFont::AddUsedGlyphs(const WString &text, const TgtGlyphInfoList &glyphs, bool isRTL) {
  const double toEm = 72.0 / (gtScreenResolution > 0 ? gtScreenResolution : 96);
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const TgtGlyphInfo &g = glyphs[i];
    if (g.FID < FWidthOfGlyph.size() && FWidthOfGlyph[g.FID] != kNoWidth) continue;
    // A right-to-left run's glyphs come in visual order: the first glyph
    // shows the last character. A glyph past the end of the text (shaping
    // made more glyphs than characters) has no character of its own.
    char16_t ch = 0;
    if (i < text.size()) ch = text[isRTL ? text.size() - 1 - i : i];
    if (FWidthOfGlyph.size() <= g.FID) FWidthOfGlyph.resize(size_t(g.FID) + 1, kNoWidth);
    FWidthOfGlyph[g.FID] = static_cast<int32_t>(std::lround(g.FAdvWidth * toEm));
    FCID.push_back(g.FID);
    FUsedGlyphs.insert(g.FID);
    FCharCode.push_back(ch);
    if (FSubset && ch && ch != u' ') FIncludedCharCode.insert(ch);
    FWidths.push_back(FWidthOfGlyph[g.FID]);
    FFirstGlyph = std::min<int32_t>(FFirstGlyph, g.FID);
    FLastGlyph = std::max<int32_t>(FLastGlyph, g.FID);
  }
}

std::optional<int32_t> TgtPDFFont::GlyphWidth(uint16_t glyph) const {
  if (glyph >= FWidthOfGlyph.size() || FWidthOfGlyph[glyph] == kNoWidth) return std::nullopt;
  return FWidthOfGlyph[glyph];
}

std::string TgtPDFFont::Type0FontDictionary(int32_t index, int32_t toUnicodeObjNo, int32_t descendantObjNo) const {
  std::string s = "/Type/Font/Subtype/Type0/Name/F";
  pdf::AppendInt(s, index);
  s += "/BaseFont/" + FTagPrefix + EscapePdfName(FBaseFont);
  s += FIsIdentityH ? "/Encoding/Identity-H" : "/Encoding/Identity-V";
  s += "/ToUnicode " + Ref(toUnicodeObjNo) + "/DescendantFonts [" + Ref(descendantObjNo) + "]\r\n";
  return s;
}

std::string TgtPDFFont::CIDFontDictionary(int32_t descriptorObjNo, const std::string &registryHex,
                                          const std::string &orderingHex) const {
  std::string s = "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + FTagPrefix + EscapePdfName(FBaseFont);
  s += "/FontDescriptor " + Ref(descriptorObjNo);
  s += "/CIDSystemInfo<</Registry<" + registryHex + ">/Ordering<" + orderingHex + ">/Supplement 0>>";
  if (!FFontInfo.FfiIsFixedPitch) {
    s += "/W [";
    for (size_t i = 0; i < FCID.size(); ++i) {
      pdf::AppendInt(s, FCID[i]);
      s += '[';
      pdf::AppendInt(s, FWidths[i]);
      s += ']';
    }
    s += ']';
  }
  const bool firstWidth = FFontInfo.FfiIsFixedPitch && !FWidths.empty() && FWidths[0] != 0;
  s += "/DW ";
  pdf::AppendInt(s, firstWidth ? FWidths[0] : FFontInfo.FfiMaxWidth);
  s += "/CIDToGIDMap/Identity>>";
  return s;
}

std::string TgtPDFFont::CompositeFontDescriptor(int32_t fontFileObjNo) const {
  const TgtPDFFontInfo &fi = FFontInfo;
  std::string s = "/Type/FontDescriptor/FontName/" + FTagPrefix + EscapePdfName(FBaseFont);
  char buf[128];
  std::snprintf(buf, sizeof buf, "/Flags %d/FontBBox [%d %d %d %d]", fi.FfiFlags, fi.BBoxLeft, fi.BBoxBottom,
                fi.BBoxRight, fi.BBoxTop);
  s += buf;
  s += "/Ascent " + pdf::General(fi.FfiAscent) + "/Descent " + pdf::General(fi.FfiDescent) + "/CapHeight " +
       pdf::General(fi.FfiCapHeight);
  std::snprintf(buf, sizeof buf, "/AvgWidth %d/MaxWidth %d/MissingWidth %d/StemV %d/ItalicAngle %d/FontWeight %d",
                fi.FfiAvgWidth, fi.FfiMaxWidth, fi.FfiMaxWidth, fi.FfiStemV, fi.FfiItalicAngle, fi.FfiFontWeight);
  s += buf;
  if (fontFileObjNo) s += "/FontFile2 " + Ref(fontFileObjNo);
  s += "\r\n";
  return s;
}

std::string TgtPDFFont::ToUnicodeCMap() const {
  if (FCID.empty()) return {};
  // A two-byte codespace range bounds each byte on its own: when the used
  // glyphs span several high bytes, the low byte must take every value.
  uint32_t low = static_cast<uint32_t>(FFirstGlyph), high = static_cast<uint32_t>(FLastGlyph);
  if ((low >> 8) != (high >> 8)) {
    low &= 0xFF00;
    high |= 0x00FF;
  }
  std::string s =
      "/CIDInit /ProcSet findresource begin\r\n12 dict begin\r\nbegincmap\r\n/CIDSystemInfo\r\n"
      "<</Registry(Adobe)/Ordering(UCS)/Supplement 0>> def\r\n/CMapName /Adobe-Identity-UCS def\r\n"
      "/CMapType 2 def\r\n1 begincodespacerange\r\n<";
  AppendHex4(s, low);
  s += "><";
  AppendHex4(s, high);
  s += ">\r\nendcodespacerange\r\n";
  std::string ranges;
  size_t count = 0;
  for (size_t i = 0; i < FCID.size(); ++i) {
    if (!FCharCode[i]) continue;  // a glyph without a character of its own
    ++count;
    ranges += '<';
    AppendHex4(ranges, FCID[i]);
    ranges += "><";
    AppendHex4(ranges, FCID[i]);
    ranges += "><";
    AppendHex4(ranges, FCharCode[i]);
    ranges += ">\r\n";
  }
  pdf::AppendInt(s, static_cast<int64_t>(count));
  s += " beginbfrange\r\n" + ranges;
  s += "endbfrange\r\nendcmap\r\nCMapName currentdict /CMap defineresource pop\r\nend end";
  return s;
}

}  // namespace nx
