// The interpreter's font and text records.
#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <numeric>
#include <type_traits>

#include "common/Strings.h"
#include "export/gtMetafileProcessor.h"

namespace nx {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Wide units a symbol-less font shows as another character.
WCHAR Substitute(WCHAR c) {
  switch (c) {
    case 0x02B9: case 0x02BC: case 0x02C8: case 0x0301: case 0x2032: case 0xA78C: return 0x0027;
    case 0x066D: return 0x002A;
    case 0x2019: return 0x02BC;
    default: return c;
  }
}

// Low bytes 0x7F, 0x81, 0x8D, 0x8F, 0x90 and 0x9D, as bits from 0x7F on.
constexpr uint32_t kDroppedBits = 1u << 0 | 1u << 2 | 1u << 14 | 1u << 16 | 1u << 17 | 1u << 30;

bool Dropped(WCHAR c) {
  const unsigned low = c & 0xFF;
  return low >= 0x7F && low <= 0x9D && (kDroppedBits >> (low - 0x7F) & 1);
}

std::u16string FontKey(const LOGFONTW &lf) {
  std::u16string key(sizeof lf / 2, u'\0');
  std::memcpy(key.data(), &lf, sizeof lf);
  return key;
}

}  // namespace

// ---------------------------------------------------------------------------
// Fonts.

bool TgtMetafileProcessor::CreateFont(const TgtEmfRecord &r) {
  constexpr size_t kLogFontEnd = offsetof(EMREXTCREATEFONTINDIRECTW, elfw) + sizeof(LOGFONTW);
  const uint8_t *p = r.Bytes(0, kLogFontEnd);
  if (!p) return false;
  if (!FProcessText) return true;
  DWORD index;
  LOGFONTW lf;
  std::memcpy(&index, p + 8, 4);
  std::memcpy(&lf, p + offsetof(EMREXTCREATEFONTINDIRECTW, elfw), sizeof lf);
  TgtGDIOBJ &o = NewObject(index);
  o.FGDIOBJType = goFont;
  TgtFont &f = o.FFont;
  size_t n = 0;
  while (n < LF_FACESIZE && lf.lfFaceName[n]) ++n;
  f.Name.assign(lf.lfFaceName, n);
  f.Charset = lf.lfCharSet;
  const BYTE pitch = lf.lfPitchAndFamily & 3;
  f.Pitch = pitch == FIXED_PITCH ? fpFixed : pitch == VARIABLE_PITCH ? fpVariable : fpDefault;
  f.Italic = lf.lfItalic != 0;
  f.Bold = lf.lfWeight == FW_BOLD;  // heavier weights are not bold
  f.Underline = lf.lfUnderline != 0;
  f.StrikeOut = lf.lfStrikeOut != 0;
  // The em height in engine pixels the font has where it is used.
  const double res = gtScreenResolution;
  const double eM22 = std::fabs(FSpace.FXForm.eM22);
  double em;
  if (FSpace.FMapMode == 0) {
    em = -double(lf.lfHeight) * eM22;
  } else if (FSpace.Scaled()) {
    em = -double(lf.lfHeight) * eM22 * std::fabs(FSpace.FMapMYmul) * FSpace.FResY;
  } else {
    const double h = RoundEven(double(lf.lfHeight) * eM22);
    f.Height = std::clamp(h, -1e6, 1e6) == h ? int32_t(h) : 0;
    em = -double(f.Height) * FSpace.FResY;
  }
  if (em < 0) {
    // A positive height is the cell height: the em is the cell less the
    // internal leading.
    LOGFONTW cell = f.ToLogFont(gtScreenResolution);
    cell.lfHeight = LONG(std::clamp(RoundEven(-em), 1.0, 1e6));
    cell.lfEscapement = cell.lfOrientation = 0;
    TEXTMETRICW tm{};
    if (!FScreen) FScreen = GetDC(nullptr);
    HFONT font = CreateFontIndirectW(&cell);
    HGDIOBJ old = ::SelectObject(FScreen, font);
    const bool ok = GetTextMetricsW(FScreen, &tm) && tm.tmHeight > 0;
    ::SelectObject(FScreen, old);
    DeleteObject(font);
    em = ok ? -em * double(tm.tmHeight - tm.tmInternalLeading) / tm.tmHeight : -em;
  }
  if (!std::isfinite(em)) em = 0;  // a transform of NaNs or infinities
  f.Size = std::min(em * 72.0 / res, 1e6);
  f.PointSize = int32_t(RoundEven(f.Size));
  f.FRotateFont = int32_t(lf.lfEscapement % 3600);
  return true;
}

// ---------------------------------------------------------------------------
// Text.

bool TgtMetafileProcessor::DoText(const TgtEmfRecord &r) {
  if (r.Type() == EMR_EXTCREATEFONTINDIRECTW) return CreateFont(r);
  return TextOut(r, r.Type() == EMR_EXTTEXTOUTW);
}

void TgtMetafileProcessor::OpaqueTextBox(const RECTL &Box) {
  const TgtPoint a = Map(Box.left, Box.top), b = Map(Box.right, Box.bottom);
  if (a.X != b.X && a.Y != b.Y) {
    TgtShapeItem &s = AddShape(stRectangle, true, {a, b});
    s.FPen.Style = psClear;
    if (FCurrentBrush.Style != bsClear) s.FBrush = TgtBrush{bsSolid, FBKColor, nullptr};
    else s.FBrush->Style = bsClear;
  } else {
    TgtShapeItem &s = AddShape(stLine, false, {a, b});
    s.FPen.Color = FCurrentBrush.Color;
  }
}

// The record's characters: wide units (or the characters of glyph indices),
// or ANSI bytes in the code page, one character per byte with the zeros kept.
WString TgtMetafileProcessor::RecordText(const uint8_t *Chars, DWORD Count, bool Wide, bool Glyphs) {
  if (Wide && !Glyphs) {
    WString text(Count, u'\0');
    if (Count) std::memcpy(text.data(), Chars, 2 * size_t(Count));
    return text;
  }
  std::vector<WORD> units(Count);
  for (DWORD i = 0; i < Count; ++i) units[i] = Wide ? WORD(Chars[2 * i] | Chars[2 * i + 1] << 8) : Chars[i];
  if (Glyphs) return TextOfGlyphs(units);
  WString text(units.begin(), units.end());
  std::string bytes(units.begin(), units.end());
  for (char &c : bytes)
    if (c == 0) c = '\x01';  // kept apart; dropped with the zeros
  const WString w = AnsiToWide(bytes.c_str());
  if (w.size() == text.size())
    for (size_t i = 0; i < w.size(); ++i) text[i] = units[i] ? w[i] : 0;
  return text;
}

WString TgtMetafileProcessor::TextOfGlyphs(const std::vector<WORD> &Glyphs) {
  const LOGFONTW lf = FCurrentFont.ToLogFont(gtScreenResolution);
  std::u16string key(lf.lfFaceName);
  key += FCurrentFont.Bold ? u"/b" : u"/";
  key += FCurrentFont.Italic ? u"i" : u"";
  auto it = FGlyphTables.find(key);
  if (it == FGlyphTables.end()) {
    TgtGlyphTable table;
    if (!FScreen) FScreen = GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(FScreen, ScreenFont(FCurrentFont));
    table.CreateTTFGlyphs(FScreen);
    ::SelectObject(FScreen, old);
    it = FGlyphTables.emplace(key, std::move(table)).first;
  }
  WString out;
  for (WORD g : Glyphs) out.push_back(it->second.CharOf(g));
  return out;
}

// A font for measuring on the screen, kept for the run.
HFONT TgtMetafileProcessor::ScreenFont(const TgtFont &Font) {
  LOGFONTW lf = Font.ToLogFont(gtScreenResolution);
  if (Font.Height == 0 && Font.Size > 0)
    lf.lfHeight = -LONG(std::max(1.0, RoundEven(Font.Size * gtScreenResolution / 72.0)));
  lf.lfEscapement = lf.lfOrientation = 0;
  // Text records mostly keep to one font: the last one is at hand.
  if (FLastScreenFont && std::memcmp(&lf, &FLastScreenLogFont, sizeof lf) == 0) return FLastScreenFont;
  const std::u16string key = FontKey(lf);
  auto it = FScreenFonts.find(key);
  if (it == FScreenFonts.end()) it = FScreenFonts.emplace(key, CreateFontIndirectW(&lf)).first;
  FLastScreenLogFont = lf;
  FLastScreenFont = it->second;
  return it->second;
}

// A screen font's advances of the characters below the combining marks and
// its cell height: GDI measures such text as the sum of the advances. Fonts
// resolve alike all along, so the answers are kept for the process.
struct TgtScreenWidths {
  bool Ok = false;
  LONG Height = 0;
  std::array<INT, 0x300> Advance{};
};

namespace {
std::mutex gScreenWidthsGuard;
std::map<std::u16string, std::unique_ptr<TgtScreenWidths>> gScreenWidths;
}  // namespace

const TgtScreenWidths &TgtMetafileProcessor::ScreenWidths(HFONT Font, const LOGFONTW &Lf) {
  if (FLastWidths && FLastWidthsFont == Font) return *FLastWidths;
  const std::lock_guard<std::mutex> lock(gScreenWidthsGuard);
  std::unique_ptr<TgtScreenWidths> &w = gScreenWidths[FontKey(Lf)];
  if (!w) {
    w = std::make_unique<TgtScreenWidths>();
    HGDIOBJ old = ::SelectObject(FScreen, Font);
    SIZE cell{0, 0};
    w->Ok = GetCharWidth32W(FScreen, 0, UINT(w->Advance.size() - 1), w->Advance.data()) &&
            GetTextExtentPoint32W(FScreen, u" ", 1, &cell);
    w->Height = cell.cy;
    ::SelectObject(FScreen, old);
  }
  FLastWidthsFont = Font;
  FLastWidths = w.get();
  return *w;
}

SIZE TgtMetafileProcessor::MeasureText(const TgtFont &Font, const WString &Text) {
  SIZE size{0, 0};
  if (!FScreen) FScreen = GetDC(nullptr);
  HFONT font = ScreenFont(Font);
  // Text below the combining marks is neither shaped nor reordered: its
  // width is the sum of the advances, without asking the screen each time.
  if (!FMeasureWholeStrings && std::all_of(Text.begin(), Text.end(), [](WCHAR c) { return c < 0x300; })) {
    const TgtScreenWidths &w = ScreenWidths(font, FLastScreenLogFont);  // lf of font
    int64_t sum = 0;
    for (WCHAR c : Text) sum += w.Advance[c];
    if (w.Ok && sum >= 0 && sum <= 0x7FFFFFFF) return {LONG(sum), w.Height};
  }
  HGDIOBJ old = ::SelectObject(FScreen, font);
  if (!GetTextExtentPoint32W(FScreen, Text.c_str(), int(Text.size()), &size)) size = {0, 0};
  ::SelectObject(FScreen, old);
  return size;
}

// Moves the reference point to the top-left corner of the text.
void TgtMetafileProcessor::AnchorText(TgtTextItem &Item, double A, double ExtentHeight) const {
  const double theta = Item.FRotationAngle * kPi / 180.0;
  // Unturned text (the most) has cos 1 and sin 0, exactly what they give.
  const double cs = Item.FRotationAngle ? std::cos(theta) : 1.0;
  const double sn = Item.FRotationAngle ? std::sin(theta) : 0.0;
  const TgtEMFAlignment a = FTextAlignment;
  const bool center = (a & taCenter) && A != 0, right = (a & taRight) && !(a & taCenter) && A != 0;
  const bool top = !(a & (taBaseline | taBottom));
  if (top) {
    const double d = center ? A / 2 : right ? A : 0;
    Item.FX -= d * cs;
    Item.FY += d * sn;
    return;
  }
  // The top lies the font's ascent above the baseline and its cell height
  // above the bottom, as GDI measures the face.
  const TgtFontCell cell = MeasureFontCell(FCurrentFont);
  const double em = FCurrentFont.Size * gtScreenResolution / 72.0 * FSpace.FResY;
  const double h = (a & taBaseline) ? cell.Ascent * em
                   : cell.Measured ? (cell.Ascent + cell.Descent) * em
                                     : ExtentHeight * FSpace.FResY;
  if (!center && !right) {
    Item.FX -= h * sn;
    Item.FY -= h * cs;
    return;
  }
  const double along = center ? A / 2 : A;
  const double d = std::hypot(h, along), phi = theta - std::atan(h / along);
  Item.FX -= d * std::cos(phi);
  Item.FY += d * std::sin(phi);
}

// The characters of a text record that stay, with their advances, into
// FKeptChars and FKeptAdvances (grown as needed, reused by every record);
// returns how many stay. A zero goes and its advance stays with the
// character before it; so do the control characters of the ANSI range
// unless the text is wide. FKeptCounts gets the Dx step that gave each
// advance, or kUnknownCount where two were added.
size_t TgtMetafileProcessor::GatherCharacters(const TgtTextUnits &u, bool *Wide) {
  if (FKeptChars.size() < u.Count) {
    FKeptChars.resize(u.Count);
    FKeptAdvances.resize(u.Count);
    FKeptCounts.resize(u.Count);
  }
  WCHAR *out = FKeptChars.data();
  double *adv = FKeptAdvances.data();
  int32_t *counts = FKeptCounts.data();
  constexpr int32_t kAdded = TgtAdvances::kUnknownCount;
  // The record's fields in locals, the mode fixed for each loop: the
  // stores into the buffers cannot change them.
  const uint8_t *const chars = u.Chars, *const dx = u.Dx;
  const size_t count = u.Count, stride = u.Pdy ? 8 : 4;
  const double scale = u.Scale;
  bool wide = false, dropped = false;
  size_t n = 0;
  auto gather = [&](auto mode) {
    for (size_t i = 0; i < count; ++i) {
      WCHAR c;
      std::memcpy(&c, chars + 2 * i, 2);
      if constexpr (decltype(mode)::value == TgtTextUnits::kSubstituted) {
        if (c >= 0x02B9) c = Substitute(c);  // the first unit substituted
        wide |= c > 0xFF;
      } else if constexpr (decltype(mode)::value == TgtTextUnits::kLowBytes) {
        c &= 0xFF;
      }
      int32_t step = 0;
      if (dx) std::memcpy(&step, dx + stride * i, 4);
      const double a = dx ? step * scale : 0;
      if (c == 0) {
        if (n) adv[n - 1] += a, counts[n - 1] = kAdded;
        continue;
      }
      dropped |= Dropped(c);
      out[n] = c;
      counts[n] = step;
      adv[n++] = a;
    }
  };
  using TMode = TgtTextUnits::TMode;
  if (u.Mode == TgtTextUnits::kSubstituted) gather(std::integral_constant<TMode, TgtTextUnits::kSubstituted>());
  else if (u.Mode == TgtTextUnits::kLowBytes) gather(std::integral_constant<TMode, TgtTextUnits::kLowBytes>());
  else gather(std::integral_constant<TMode, TgtTextUnits::kAsIs>());
  *Wide = wide;
  if (wide || !dropped) return n;
  // 15. Control characters of the ANSI range go, their advances with the
  // character before them.
  size_t m = 0;
  for (size_t i = 0; i < n; ++i) {
    if (Dropped(out[i])) {
      if (m) adv[m - 1] += adv[i], counts[m - 1] = kAdded;
      continue;
    }
    out[m] = out[i];
    counts[m] = counts[i];
    adv[m++] = adv[i];
  }
  return m;
}

bool TgtMetafileProcessor::TextOut(const TgtEmfRecord &r, bool Wide) {
  EMREXTTEXTOUTW e;
  if (!r.Read(&e)) return false;
  const EMRTEXT &t = e.emrtext;
  const uint8_t *chars = r.Bytes(t.offString, uint64_t(t.nChars) * (Wide ? 2 : 1));
  if (!chars) return false;
  if (!FProcessText) return true;
  const bool pdy = (t.fOptions & ETO_PDY) != 0;
  const uint64_t dxCount = uint64_t(t.nChars) * (pdy ? 2 : 1);
  const uint8_t *dx = t.offDx != 0 ? r.Bytes(t.offDx, dxCount * 4) : nullptr;
  const bool haveDx = dx != nullptr;
  // 1. The opaque box.
  // An empty rectangle ({0, 0, -1, -1}, or one without area) paints nothing.
  const bool box = t.rcl.right > t.rcl.left && t.rcl.bottom > t.rcl.top;
  if (t.nChars && (t.fOptions & ETO_OPAQUE) && box && FProcessShape) OpaqueTextBox(t.rcl);
  // 2, 3. The characters, each with its advance, gathered in the run's
  // scratch buffers; the item gets exact copies of what is kept.
  // Plain wide records are read in place; other records are converted first.
  const bool plain = Wide && !(t.fOptions & ETO_GLYPH_INDEX);
  const WString text = plain ? WString() : RecordText(chars, t.nChars, Wide, Wide && t.nChars);
  const TgtTextUnits units{plain ? chars : reinterpret_cast<const uint8_t *>(text.data()),
                           plain ? size_t(t.nChars) : text.size(),
                           dx,
                           pdy,
                           !Wide                         ? TgtTextUnits::kAsIs
                           : FSymbolCharsetFontIdx == 1 ? TgtTextUnits::kSubstituted
                                                         : TgtTextUnits::kLowBytes,
                           FSpace.FXForm.eM11 * (FSpace.Scaled() ? FSpace.FMapMXmul : 1.0)};
  bool wide = false;
  const size_t kept = GatherCharacters(units, &wide);
  std::unique_ptr<TgtTextItem> item = FEngine->NewTextItem();
  WString &line = item->FLines.emplace_back();
  line.assign(FKeptChars.data(), kept);
  // 4. The item.
  item->FIsFromMetafile = true;
  item->FIsWideString = wide;
  const TgtEMFAlignment a = FTextAlignment;
  item->FAlignment = (a & taCenter) ? haCenter : (a & taRight) ? haRight : haLeft;
  // 8. Font: whole points as given, the fraction kept apart.
  item->FFont = FCurrentFont;
  item->FFont.PointSize = int32_t(RoundEven(FCurrentFont.Size));
  item->FFontSizeInFloat = FCurrentFont.Size;
  item->FRotationAngle = int32_t(RoundEven(FCurrentFont.FRotateFont / 10.0));
  // 10. Width measured with the item's font.
  const SIZE extent = MeasureText(item->FFont, line);
  item->FWidthOfTheText = extent.cx;
  // 5. Advances; without a Dx array the measured width stands for them.
  // Only centred and right-aligned text is placed by their sum.
  double total = extent.cx;
  if (haveDx) {
    item->FCharSpaceArray.Assign(FKeptAdvances.data(), FKeptAdvances.data() + kept, FKeptCounts.data(),
                                 units.Scale);
    if (a & (taCenter | taRight)) total = std::accumulate(FKeptAdvances.data(), FKeptAdvances.data() + kept, 0.0);
  }
  // 6. Reference point.
  const bool joined = (a & taUpdateCP) && FCombineCharsToSentence;
  TgtMetaPoint ref;
  if (joined) {
    ref = FSpace.MapPoint(FCurrentPathPoint.x, FCurrentPathPoint.y);
    ref.X += FUpdatePathX;
  } else {
    ref = FSpace.MapPoint(t.ptlReference.x, t.ptlReference.y);
  }
  item->FX = ref.X + FStartX;
  item->FY = ref.Y + FStartY;
  // 7. Clipping rectangle.
  if (t.fOptions & ETO_CLIPPED) {
    const TgtPoint c1 = Map(t.rcl.left, t.rcl.top), c2 = Map(t.rcl.right, t.rcl.bottom);
    FIsClipRect = true;
    FClipRect = {c1.X, c1.Y, c2.X, c2.Y};
    item->FIsClipRect = true;
    item->FClipRect = FClipRect;
  }
  // 11. The current position moves on.
  if (joined) FUpdatePathX += (a & taRight) && !(a & taCenter) ? -item->FWidthOfTheText : item->FWidthOfTheText;
  // 12, 13, 14.
  if ((a & taRTLReading) || (t.fOptions & ETO_RTLREADING)) item->FBiDiMode = bdRightToLeft;
  AnchorText(*item, total, extent.cy);
  item->FFont.Color = FTextColor;
  item->FBrush = TgtBrush{FBKMode == TRANSPARENT ? bsClear : bsSolid, FBKColor, nullptr};
  // 16.
  AppendText(std::move(item));
  FJustProcessedTextItem = 3;
  return true;
}

}  // namespace nx
