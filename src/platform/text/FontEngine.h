// Font resolution and metrics for the text part of the platform layer.
// A LOGFONTW (heights already in device pixels) resolves through fontconfig
// to a font file and face index; the FreeType face of each file is opened
// once, and each (face, pixel size) pair is a SizedFont with its metrics and
// a cache of GDI-rounded advances.
#pragma once

#include "platform/win32.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

typedef struct FT_FaceRec_ *FT_Face;
typedef struct hb_font_t hb_font_t;
typedef struct _cairo_font_face cairo_font_face_t;

namespace nx::text {

// One opened font file (or one face of a collection).
class FontFace {
 public:
  FontFace(FT_Face face, std::string path, int index);
  ~FontFace();
  FontFace(const FontFace &) = delete;
  FontFace &operator=(const FontFace &) = delete;

  FT_Face Face() const { return face_; }
  const std::string &Path() const { return path_; }
  int Index() const { return index_; }
  // An sfnt file (TrueType or OpenType) whose tables GetFontData can read.
  bool Sfnt() const;
  // TrueType outlines ('glyf'): what GDI calls a TrueType font. OpenType
  // fonts with PostScript outlines and Type 1 fonts are not.
  bool TrueTypeOutlines() const;
  std::u16string FamilyName() const;
  std::u16string StyleName() const;
  FONTSIGNATURE Signature() const;
  int UnitsPerEm() const;
  // Serialises use of the FreeType face, which is not thread safe.
  std::mutex &Lock() const { return mu_; }

 private:
  FT_Face face_;
  std::string path_;
  int index_;
  mutable std::mutex mu_;
};

// A face at one pixel size, with the requested style of the LOGFONTW.
class SizedFont {
 public:
  SizedFont(std::shared_ptr<FontFace> face, const LOGFONTW &lf);
  ~SizedFont();

  const FontFace &Face() const { return *face_; }
  const std::shared_ptr<FontFace> &SharedFace() const { return face_; }
  const LOGFONTW &Logical() const { return lf_; }
  int EmPixels() const { return em_; }
  const TEXTMETRICW &Metrics() const { return tm_; }
  bool Outline(OUTLINETEXTMETRICW &otm) const;

  // Advance of a character in whole pixels (design advance scaled and
  // rounded, no kerning); a character the font lacks measures as .notdef.
  int Advance(char32_t ch) const;
  // Advances of each UTF-16 unit of a string (a surrogate pair gives its
  // advance to the high unit and 0 to the low one; an unpaired surrogate
  // measures as U+FFFD).
  void Advances(const WCHAR *s, size_t n, int *out) const;
  long Extent(const WCHAR *s, size_t n) const;
  bool CharAbc(char32_t ch, ABC &abc) const;
  UINT GlyphIndex(char32_t ch) const;
  // Advance of a glyph by index, in whole pixels (ETO_GLYPH_INDEX strings).
  int GlyphAdvance(UINT glyph) const;
  // HarfBuzz font on the FreeType face at this size (created on first use).
  hb_font_t *HbFont() const;
  // Cairo font face on the FreeType face, emboldened or slanted where the
  // face lacks the asked-for style (created on first use, owned here: one
  // face per font keeps Cairo's glyph caches warm across calls).
  cairo_font_face_t *CairoFace() const;

 private:
  int Scale(long designUnits) const;
  int AdvanceLocked(char32_t ch) const;
  void ComputeMetrics();

  std::shared_ptr<FontFace> face_;
  LOGFONTW lf_;
  int em_ = 0;
  TEXTMETRICW tm_{};
  mutable std::mutex mu_;
  mutable std::vector<int> bmp_;  // -1 = not measured yet
  mutable std::unordered_map<char32_t, int> astral_;
  mutable hb_font_t *hb_ = nullptr;
  mutable cairo_font_face_t *cairo_ = nullptr;
};

// Resolves a logical font to a sized font; cached by the LOGFONTW bytes.
// Null only when no font at all can be opened.
std::shared_ptr<SizedFont> ResolveFont(const LOGFONTW &lf);

// The face that fontconfig picks for a logical font, opened (cached per file
// and index). Files FreeType cannot open are skipped for the next match.
std::shared_ptr<FontFace> OpenFace(const std::string &path, int index);

// GetFontData on a face: table 0 is the font from its table directory to the
// end of the file (the whole file for a plain font); "ttcf" is the whole
// collection and fails for a plain font, so the font's offset inside a
// collection is size("ttcf") - size(0); otherwise a table by tag (tag bytes
// in file order, as GDI takes them in a little-endian DWORD).
// Returns the table size when buffer is null, GDI_ERROR on failure.
DWORD FontData(const FontFace &face, DWORD table, DWORD offset, void *buffer, DWORD size);

// The installed family that serves one of the core TrueType families a
// Windows host names (Arial, Courier New, Times New Roman), with the core
// name as Windows spells it; both empty for any other name.
struct CoreFamily {
  std::u16string name;
  std::u16string standIn;
};
CoreFamily CoreFamilyOf(const std::u16string &family);

// The charsets a font supports, from its OS/2 code-page ranges, in bit order.
std::vector<BYTE> CharsetsOf(const FONTSIGNATURE &fs);

// Decodes one character at s[i] (n units), advancing i; unpaired surrogates
// become U+FFFD.
char32_t NextChar(const WCHAR *s, size_t n, size_t &i);

// Whether s[i] is the second half of a surrogate pair: it has no glyph of its
// own and takes no character extra.
inline bool LowSurrogateOfPair(const WCHAR *s, size_t i) {
  return i > 0 && (s[i] & 0xFC00) == 0xDC00 && (s[i - 1] & 0xFC00) == 0xD800;
}

}  // namespace nx::text

namespace nx::text {
// The font selected into a DC, resolved at the DC's device size (TextDc.cpp);
// null for a handle that is not a DC.
std::shared_ptr<SizedFont> FontOfDc(HDC hdc);
}  // namespace nx::text
