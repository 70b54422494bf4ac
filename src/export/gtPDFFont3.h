// PDF font resources. A font named by family, style and size becomes either
// a simple /TrueType font with WinAnsiEncoding (its widths of the codes
// 32 .. 255 and its descriptor, measured through the system's text metrics
// at 1000 points), or a composite font for shaped text: a Type0 font with
// Identity-H or Identity-V encoding over one CIDFontType2 descendant whose
// CIDs are the font's glyph identifiers, with its widths and a ToUnicode
// map. The font data is referenced, embedded whole, or embedded as a subset
// of the glyphs the document's text uses.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/WString.h"
#include "export/gtGlyphInfo.h"

namespace nx {

enum TgtTTFontEmbedding : uint8_t { etfNone = 0, etfFull = 1, etfSubset = 2 };
enum TgtPDFFontEncoding : uint8_t {
  feWinAnsiEncoding = 0,
  feMacRomanEncoding = 1,
  feMacExpertEncoding = 2,
  feStandardEncoding = 3,
  fePDFDocEncoding = 4,
};
enum TgtFontType : uint8_t { ftTrueType, ftType1, ftStdType1 };

// The font of a text item, as the writer needs it.
struct TPdfFontSpec {
  WString Family;
  double Size = 12;  // points; may be fractional
  bool Bold = false;
  bool Italic = false;
  BYTE Charset = 1;  // DEFAULT_CHARSET
  BYTE PitchAndFamily = 0;
};

// Metrics in 1/1000 em unless noted.
struct TgtPDFFontInfo {
  int32_t FfiFontObjRef = 0;
  std::array<double, 224> FfiWidths{};  // codes 32 .. 255
  int32_t FfiFlags = 0;
  int32_t BBoxLeft = -250, BBoxTop = 900, BBoxRight = 1000, BBoxBottom = -200;
  double FfiAscent = 800, FfiDescent = -200, FfiCapHeight = 700;
  int32_t FfiAvgWidth = 576, FfiMaxWidth = 576, FfiStemH = 0, FfiStemV = 0, FfiItalicAngle = 0;
  double FfiStrikeoutSize = 0, FfiStrikeoutPosition = 0;      // points
  double FfiUnderscoreSize = 0, FfiUnderscorePosition = -1;   // points
  int32_t FfiFontWeight = 400;
  TgtFontType FfiType = ftTrueType;
  bool FfiIsFixedPitch = false;
};

// The data of the fonts a writer measures and embeds, kept from document to
// document: the system reads the whole font file on every request. Holds
// the few fonts used last.
class TgtFontDataCache {
 public:
  struct TData {
    std::string Bytes;    // empty: no TrueType data
    uint32_t Offset = 0;  // the font's table directory inside Bytes
  };
  // The data of the font selected into dc, which was created from lf.
  std::shared_ptr<const TData> Get(HDC dc, const LOGFONTW &lf);

 private:
  static constexpr size_t kKept = 8;
  std::vector<std::pair<std::string, std::shared_ptr<const TData>>> FEntries;  // most recent last
};

class TgtPDFFont {
 public:
  // Measures the font; objNo is the number of its font dictionary. The
  // embedding is the document's, or etfNone for an excluded family. The
  // font data comes through cache when one is given.
  TgtPDFFont(const TPdfFontSpec &font, TgtTTFontEmbedding embedding, bool isCID, int32_t objNo,
             TgtFontDataCache *cache = nullptr);

  // Same family (exact), bold, italic and size, same encoding (simple or
  // composite) and orientation.
  bool IsEqual(const TPdfFontSpec &font, bool isCID, bool isIdentityH) const;
  bool IsCID() const { return FIsCID; }
  // Composite fonts: Identity-H (horizontal, the default) or Identity-V.
  void SetIdentityH(bool v) { FIsIdentityH = v; }
  bool IsIdentityH() const { return FIsIdentityH; }
  const TgtPDFFontInfo &Info() const { return FFontInfo; }
  const TPdfFontSpec &Font() const { return FFont; }
  const std::string &BaseFont() const { return FBaseFont; }
  // Width of a Windows-1252 code in 1/1000 em (0 below 32).
  double CodeWidth(uint8_t code) const { return code < 32 ? 0 : FFontInfo.FfiWidths[code - 32]; }

  // Records the characters of a simple run (Windows-1252 codes) for a subset.
  void AddUsedCharacters(std::string_view codes);
  // Records the glyphs of a shaped run of a composite font: each glyph not
  // yet recorded gets the character at its position in text (counted from
  // the end for a right-to-left run, whose glyphs come in visual order) and
  // its advance in 1/1000 em (FAdvWidth is measured at size 1000).
  void AddUsedGlyphs(const WString &text, const TgtGlyphInfoList &glyphs, bool isRTL);
  // Width of a recorded glyph in 1/1000 em; nullopt when it is not recorded.
  std::optional<int32_t> GlyphWidth(uint16_t glyph) const;
  // The same, with none (kNoWidth) for a glyph not recorded: for the loops
  // that ask it of every glyph of a run.
  static constexpr int32_t kNoWidth = INT32_MIN;
  int32_t GlyphWidthOr(uint16_t glyph, int32_t none) const {
    return glyph < FWidthOfGlyph.size() && FWidthOfGlyph[glyph] != kNoWidth ? FWidthOfGlyph[glyph] : none;
  }
  // Decides what is embedded: the whole font data, a subset of the recorded
  // characters' glyphs (tagged), or nothing when the font data is damaged or
  // embedding is off. Call once, before writing the dictionaries.
  void PrepareEmbedding();
  // The bytes of the FontFile2 stream (empty: not embedded).
  const std::string &EmbeddedData() const { return FEmbedded; }
  // "ABCDEF+" when a subset is embedded, else empty.
  const std::string &SubsetPrefix() const { return FTagPrefix; }

  // The font dictionary and descriptor bodies (CR LF at the end of each);
  // fontFileObjNo 0 means no embedded font file.
  std::string SimpleFontDictionary(int32_t index, int32_t descriptorObjNo) const;
  std::string SimpleFontDescriptor(int32_t fontFileObjNo = 0) const;

  // Composite font objects. The Type0 dictionary and the descriptor end
  // with CR LF; the descendant is one "<< ... >>" dictionary. registryHex
  // and orderingHex are the hex digits of the (encrypted) strings "Adobe"
  // and "Identity".
  std::string Type0FontDictionary(int32_t index, int32_t toUnicodeObjNo, int32_t descendantObjNo) const;
  std::string CIDFontDictionary(int32_t descriptorObjNo, const std::string &registryHex,
                                const std::string &orderingHex) const;
  std::string CompositeFontDescriptor(int32_t fontFileObjNo = 0) const;
  // The ToUnicode CMap text of the recorded glyphs; empty without glyphs.
  std::string ToUnicodeCMap() const;

 private:
  void Measure(TgtFontDataCache *cache);

  std::string FBaseFont;
  TgtTTFontEmbedding FEmbedding;
  bool FSubset;
  // The font as the system holds it (a whole collection when it is in one),
  // shared with the data cache.
  std::shared_ptr<const TgtFontDataCache::TData> FFontData;
  const std::string &FontData() const {
    static const std::string kNone;
    return FFontData ? FFontData->Bytes : kNone;
  }
  uint32_t FOffset = 0;   // the font's table directory inside FFontData
  std::set<uint16_t> FUsedGlyphs;
  std::array<bool, 256> FUsedCodes{};  // by Windows-1252 code
  // Composite fonts: the recorded glyphs in order of first use, the
  // character of each (0: none) and its width in 1/1000 em.
  std::vector<uint16_t> FCID;
  std::vector<char16_t> FCharCode;
  std::vector<int32_t> FWidths;
  std::vector<int32_t> FWidthOfGlyph;  // by glyph identifier: its recorded width, kNoWidth when not recorded
  std::set<char16_t> FIncludedCharCode;  // characters of a subset font, spaces left out
  int32_t FFirstGlyph = INT32_MAX, FLastGlyph = 0;
  std::string FEmbedded;
  std::string FTagPrefix;
  bool FIsCID;
  bool FIsIdentityH = true;
  TPdfFontSpec FFont;
  TgtPDFFontInfo FFontInfo;
};

// The glyph identifiers of a run as the body of a hex string, four
// upper-case digits each ("0041002A"), for a composite font's text.
std::string GlyphRunHex(const TgtGlyphInfoList &glyphs);
// The same for the glyphs [first, end), appended to s.
void AppendGlyphRunHex(std::string &s, const TgtGlyphInfo *first, const TgtGlyphInfo *end);
// A 16-bit value as four upper-case hex digits, appended to s.
void AppendHex4(std::string &s, uint32_t v);

// "Times New Roman" bold italic -> "TimesNewRoman,BoldItalic".
std::string PdfBaseFontName(const TPdfFontSpec &font);
// ( ) < > [ ] { } / % and bytes outside the printable range as #XX.
std::string EscapePdfName(const std::string &name);

}  // namespace nx
