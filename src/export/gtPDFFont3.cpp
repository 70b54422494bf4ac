#include "export/gtPDFFont3.h"

#include <cmath>
#include <cstdio>

#include "common/Strings.h"
#include "export/gtCstPDFEngFormat.h"
#include "export/gtPDFFontFile.h"

namespace nx {

namespace {

// The screen device context with a font selected for the life of the object.
class TScreenFont {
 public:
  explicit TScreenFont(const LOGFONTW &lf) : dc_(GetDC(nullptr)), font_(CreateFontIndirectW(&lf)) {
    if (dc_ && font_) old_ = SelectObject(dc_, font_);
  }
  ~TScreenFont() {
    if (dc_ && old_) SelectObject(dc_, old_);
    if (font_) DeleteObject(font_);
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  TScreenFont(const TScreenFont &) = delete;
  TScreenFont &operator=(const TScreenFont &) = delete;
  bool Ok() const { return dc_ && font_ && old_; }
  HDC Dc() const { return dc_; }

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ old_ = nullptr;
};

int ScreenResolution() {
  HDC dc = GetDC(nullptr);
  const int s = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ReleaseDC(nullptr, dc);
  return s > 0 ? s : 96;
}

LOGFONTW ReferenceFont(const TPdfFontSpec &f, int s) {
  LOGFONTW lf{};
  lf.lfHeight = -static_cast<LONG>(std::lround(1000.0 * s / 72));
  lf.lfWeight = f.Bold ? 700 : 400;
  lf.lfItalic = f.Italic ? 1 : 0;
  lf.lfCharSet = f.Charset;
  lf.lfPitchAndFamily = f.PitchAndFamily;
  const size_t n = std::min<size_t>(f.Family.size(), LF_FACESIZE - 1);
  for (size_t i = 0; i < n; ++i) lf.lfFaceName[i] = f.Family[i];
  return lf;
}

// The Unicode character a Windows-1252 code stands for.
WCHAR CodeChar(uint8_t code) {
  const char c = static_cast<char>(code);
  const WString w = AnsiToWide(std::string(1, c).c_str(), 1252);
  return w.empty() ? static_cast<WCHAR>(code) : w[0];
}

// The font selected into dc as the system holds it: table 0 is the font
// from its directory on; "ttcf" the whole collection holding it, in which
// the font's directory lies at the difference. No data for fonts with
// PostScript outlines: they are not TrueType fonts here.
TgtFontDataCache::TData ReadFontData(HDC dc) {
  TgtFontDataCache::TData out;
  const DWORD size = GetFontData(dc, 0, 0, nullptr, 0);
  if (size == GDI_ERROR || size == 0) return out;
  const DWORD kTtcf = 0x66637474;
  const DWORD whole = GetFontData(dc, kTtcf, 0, nullptr, 0);
  const bool collection = whole != GDI_ERROR && whole > size;
  std::string data(collection ? whole : size, '\0');
  if (GetFontData(dc, collection ? kTtcf : 0, 0, data.data(), static_cast<DWORD>(data.size())) != data.size())
    return out;
  const uint32_t offset = collection ? whole - size : 0;
  if (!HasTrueTypeOutlines(data, offset)) return out;
  out.Bytes = std::move(data);
  out.Offset = offset;
  return out;
}

}  // namespace

std::shared_ptr<const TgtFontDataCache::TData> TgtFontDataCache::Get(HDC dc, const LOGFONTW &lf) {
  const std::string key(reinterpret_cast<const char *>(&lf), sizeof lf);
  for (auto it = FEntries.begin(); it != FEntries.end(); ++it)
    if (it->first == key) {
      auto entry = *it;
      FEntries.erase(it);
      FEntries.push_back(entry);
      return entry.second;
    }
  auto data = std::make_shared<const TData>(ReadFontData(dc));
  if (FEntries.size() >= kKept) FEntries.erase(FEntries.begin());
  FEntries.emplace_back(key, data);
  return data;
}

std::string EscapePdfName(const std::string &name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x21 || c > 0x7E || std::string_view("()<>[]{}/%#").find(static_cast<char>(c)) != std::string_view::npos) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "#%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string PdfBaseFontName(const TPdfFontSpec &f) {
  WString family;
  for (WCHAR c : f.Family)
    if (c != u' ') family += c;
  std::string name = WideToAnsi(family);
  if (f.Family != u"Symbol" && (f.Bold || f.Italic)) {
    name += ',';
    if (f.Bold) name += "Bold";
    if (f.Italic) name += "Italic";
  }
  return name;
}

TgtPDFFont::TgtPDFFont(const TPdfFontSpec &font, TgtTTFontEmbedding embedding, bool isCID, int32_t objNo,
                       TgtFontDataCache *cache)
    : FEmbedding(embedding), FSubset(embedding == etfSubset), FIsCID(isCID), FFont(font) {
  FFontInfo.FfiFontObjRef = objNo;
  const double size = std::fabs(font.Size);
  FFontInfo.FfiStrikeoutSize = std::floor(size / 20);
  FFontInfo.FfiStrikeoutPosition = std::floor(size / 5);
  FFontInfo.FfiUnderscoreSize = std::floor(size / 10);
  FBaseFont = PdfBaseFontName(font);
  Measure(cache);
}

bool TgtPDFFont::IsEqual(const TPdfFontSpec &f, bool isCID, bool isIdentityH) const {
  return f.Family == FFont.Family && f.Bold == FFont.Bold && f.Italic == FFont.Italic && f.Size == FFont.Size &&
         isCID == FIsCID && isIdentityH == FIsIdentityH;
}

void TgtPDFFont::Measure(TgtFontDataCache *cache) {
  const int s = ScreenResolution();
  const double k = 72.0 / s;
  const LOGFONTW reference = ReferenceFont(FFont, s);
  TScreenFont sf(reference);
  if (!sf.Ok()) return;
  TEXTMETRICW tm{};
  if (!GetTextMetricsW(sf.Dc(), &tm)) return;
  TgtPDFFontInfo &fi = FFontInfo;
  const bool proportional = tm.tmPitchAndFamily & TMPF_FIXED_PITCH;
  if (tm.tmPitchAndFamily & TMPF_TRUETYPE) {
    const auto data = cache ? cache->Get(sf.Dc(), reference)
                            : std::make_shared<const TgtFontDataCache::TData>(ReadFontData(sf.Dc()));
    FFontData = data;
    FOffset = data->Offset;
  }
  const bool trueType = !FontData().empty();
  fi.FfiType = trueType ? ftTrueType
               : (tm.tmPitchAndFamily & (TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_DEVICE)) ==
                       (TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_DEVICE)
                   ? ftType1
                   : ftTrueType;
  fi.FfiIsFixedPitch = !proportional;
  for (int c = 32; c <= 255; ++c) {
    // Each code's width is the width of the character it shows in
    // WinAnsiEncoding (the euro sign for 0x80, not the control U+0080).
    const WCHAR ch = CodeChar(static_cast<uint8_t>(c));
    SIZE ext{};
    GetTextExtentPoint32W(sf.Dc(), &ch, 1, &ext);
    fi.FfiWidths[c - 32] = ext.cx * k;
  }
  const int family = tm.tmPitchAndFamily & 0xF0;
  fi.FfiFlags = 33 - (proportional ? 1 : 0) + ((family & 0x10) ? 2 : 0) + ((family & 0x40) ? 8 : 0) -
                (tm.tmCharSet == SYMBOL_CHARSET ? 28 : 0);
  if (FFont.Italic) fi.FfiFlags |= 64;
  fi.FfiAscent = tm.tmAscent * k;
  fi.FfiDescent = -std::abs(tm.tmDescent) * k;
  fi.FfiCapHeight = fi.FfiAscent;
  fi.FfiAvgWidth = (tm.tmAveCharWidth / s) * 72;
  if (proportional) {
    fi.FfiMaxWidth = (tm.tmMaxCharWidth / s) * 72;
  } else if (!FSubset) {
    SIZE ext{};
    const WCHAR sp = u' ';
    GetTextExtentPoint32W(sf.Dc(), &sp, 1, &ext);
    fi.FfiMaxWidth = static_cast<int32_t>(std::lround(ext.cx * k));
  }
  fi.FfiFontWeight = tm.tmWeight;
  fi.BBoxLeft = -250;
  fi.BBoxTop = static_cast<int32_t>(std::lround(fi.FfiAscent));
  fi.BBoxRight = fi.FfiMaxWidth;
  fi.BBoxBottom = static_cast<int32_t>(std::lround(fi.FfiDescent));
  if (!trueType) return;
  OUTLINETEXTMETRICW otm{};
  otm.otmSize = sizeof otm;
  if (!GetOutlineTextMetricsW(sf.Dc(), sizeof otm, &otm)) return;
  fi.FfiItalicAngle = otm.otmItalicAngle / 10;
  fi.FfiStemV = 78;
  const double size = std::fabs(FFont.Size);
  fi.FfiStrikeoutSize = size * (otm.otmsStrikeoutSize * k) / 1000;
  fi.FfiStrikeoutPosition = size * (otm.otmsStrikeoutPosition * k) / 1000;
  fi.FfiUnderscoreSize = size * (otm.otmsUnderscoreSize * k) / 1000;
  fi.FfiUnderscorePosition = size * (otm.otmsUnderscorePosition * k) / 1000;
}

void TgtPDFFont::AddUsedCharacters(std::string_view codes) {
  if (FSubset)
    for (char c : codes) FUsedCodes[static_cast<uint8_t>(c)] = true;
}

void TgtPDFFont::PrepareEmbedding() {
  FEmbedded.clear();
  FTagPrefix.clear();
  const std::string &data = FontData();
  if (FEmbedding == etfNone || data.empty()) return;
  std::set<uint16_t> glyphs;
  if (FSubset && FIsCID) {
    glyphs = FUsedGlyphs;  // a composite run records glyph identifiers
  } else if (FSubset) {
    std::set<char16_t> chars;
    for (unsigned c = 32; c < FUsedCodes.size(); ++c)
      if (FUsedCodes[c]) chars.insert(static_cast<char16_t>(CodeChar(static_cast<uint8_t>(c))));
    for (const auto &[ch, glyph] : ReadUnicodeCmap(data, FOffset))
      if (chars.count(ch)) glyphs.insert(glyph);
    FUsedGlyphs.insert(glyphs.begin(), glyphs.end());
  } else {
    // The whole font is only embedded when all of its glyph data is sound.
    uint16_t count = 0;
    for (const TTrueTypeTable &t : ReadTableDirectory(data, FOffset))
      if (t.Tag == TableTag("maxp") && t.Length >= 6)
        count = static_cast<uint16_t>((uint8_t(data[t.Offset + 4]) << 8) | uint8_t(data[t.Offset + 5]));
    for (uint32_t g = 0; g < count; ++g) glyphs.insert(static_cast<uint16_t>(g));
  }
  const std::optional<std::string> subset = BuildTrueTypeSubset(data, FOffset, glyphs);
  if (!subset) return;  // damaged font data: the font stays referenced
  if (FSubset && subset->size() < data.size()) {
    FEmbedded = *subset;
    FTagPrefix = SubsetTag(std::string_view(data).substr(FOffset), FUsedGlyphs) + "+";
  } else {
    FEmbedded = data;
  }
}

std::string TgtPDFFont::SimpleFontDictionary(int32_t index, int32_t descriptorObjNo) const {
  std::string s = "/Type /Font/Subtype /TrueType/Name /F";
  pdf::AppendInt(s, index);
  s += "/BaseFont /" + FTagPrefix;
  s += EscapePdfName(FBaseFont);
  s += " /Encoding /WinAnsiEncoding/FirstChar 32/LastChar 255/Widths [";
  for (size_t i = 0; i < FFontInfo.FfiWidths.size(); ++i) {
    if (i) s += ' ';
    pdf::AppendGeneral(s, FFontInfo.FfiWidths[i]);
  }
  s += "]/FontDescriptor ";
  pdf::AppendInt(s, descriptorObjNo);
  s += " 0 R\r\n";
  return s;
}

std::string TgtPDFFont::SimpleFontDescriptor(int32_t fontFileObjNo) const {
  const TgtPDFFontInfo &fi = FFontInfo;
  std::string s = "/Type /FontDescriptor/FontName /" + FTagPrefix;
  s += EscapePdfName(FBaseFont);
  char buf[96];
  std::snprintf(buf, sizeof buf, " /Flags %d/FontBBox[%d %d %d %d]", fi.FfiFlags, fi.BBoxLeft, fi.BBoxBottom,
                fi.BBoxRight, fi.BBoxTop);
  s += buf;
  s += "/Ascent " + pdf::General(fi.FfiAscent) + "/Descent " + pdf::General(fi.FfiDescent) + "/CapHeight " +
       pdf::General(fi.FfiCapHeight);
  const int32_t italic = FFont.Italic && fi.FfiItalicAngle == 0 ? -12 : fi.FfiItalicAngle;
  std::snprintf(buf, sizeof buf, "/AvgWidth %d/MaxWidth %d/MissingWidth %d/StemH %d/StemV %d/FontWeight %d",
                fi.FfiAvgWidth, fi.FfiMaxWidth, fi.FfiMaxWidth, fi.FfiStemV, fi.FfiStemV, fi.FfiFontWeight);
  s += buf;
  s += "/ItalicAngle ";
  pdf::AppendInt(s, italic);
  if (fontFileObjNo) {
    s += "/FontFile2 ";
    pdf::AppendInt(s, fontFileObjNo);
    s += " 0 R";
  }
  s += "\r\n";
  return s;
}

}  // namespace nx
