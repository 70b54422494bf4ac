// Text objects of the PDF writer. Each line of a text item is analysed into
// runs: simple runs are shown as Windows-1252 codes of a simple TrueType
// font, shaped runs as glyph identifiers of a composite font; "TJ" carries
// the adjustments that put each character (or cluster) where the metafile
// drew it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>

#include "common/Strings.h"
#include "export/gtCstPDFEng.h"
#include "export/gtCstPDFEngFormat.h"
#include "export/gtDocUsp10.h"

namespace nx {

using pdf::AppendFixed4;
using pdf::Fixed4;

namespace {

// A size played through a single-precision transform comes out as
// 11.9999997 for 12 points: whole up to that precision, it is written whole.
double WholeIfClose(double v) {
  const double r = std::round(v);
  return std::fabs(v - r) <= 1e-6 * std::max(1.0, std::fabs(v)) ? r : v;
}

double SizeOf(const TgtFont &f) { return f.Size != 0 ? std::fabs(f.Size) : std::abs(f.PointSize); }

// The PDF font of text in f, into s (whose family's buffer is reused).
void FillSpec(TPdfFontSpec &s, const TgtFont &f) {
  s.Family = f.Name;
  s.Size = SizeOf(f);
  s.Bold = f.Bold;
  s.Italic = f.Italic;
  s.Charset = f.Charset;
  s.PitchAndFamily = f.Pitch == fpFixed ? FIXED_PITCH : f.Pitch == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
}

// The text of a "( ... ) Tj" string: a tab becomes spaces up to the next
// multiple of eight columns, the rest is escaped.
void AppendTjText(std::string &out, std::string_view s) {
  if (s.find('\t') == std::string_view::npos) return pdf::AppendEscapedLiteral(out, s);
  std::string expanded;
  for (char c : s) {
    if (c == '\t') {
      do expanded += ' ';
      while (expanded.size() % 8);
    } else {
      expanded += c;
    }
  }
  pdf::AppendEscapedLiteral(out, expanded);
}

// Appends an adjustment in fixed-4 form; false when it reads 0.0000 (the
// caller takes it back out).
bool AppendAdjustment(std::string &out, double v) {
  const size_t at = out.size();
  AppendFixed4(out, v);
  return !(out.size() - at == 6 && std::memcmp(out.data() + at, "0.0000", 6) == 0);
}

bool IsCjkIdeograph(WCHAR c) { return c >= 0x4E00 && c <= 0x9FFF; }

// Whether the text holds a '%' at all, four characters at a time: most
// lines have none and skip the search for "<%". A lane of the word equal to
// '%' becomes zero; (w - ones) & ~w sets the top bit of some lane exactly
// when one lane is zero.
bool MayHoldVariable(const WString &text) {
  constexpr uint64_t kOnes = 0x0001000100010001, kTops = 0x8000800080008000;
  const WCHAR *p = text.data();
  const size_t n = text.size();
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    uint64_t w;
    std::memcpy(&w, p + i, sizeof w);
    w ^= kOnes * u'%';
    if ((w - kOnes) & ~w & kTops) return true;
  }
  for (; i < n; ++i)
    if (p[i] == u'%') return true;
  return false;
}

bool HasBackground(const TgtTextItem &item) {
  return item.FBrush.Style != bsClear && !(item.FBrush.Style == bsSolid && item.FBrush.Color == 0xFFFFFF);
}

// A glyph's own advance (reference-font pixels), without the shaper's kerning.
int32_t NominalAdvance(const TgtGlyphInfo &g) {
  const int32_t sum = g.FABCWidth.abcA + static_cast<int32_t>(g.FABCWidth.abcB) + g.FABCWidth.abcC;
  return sum != 0 || g.FAdvWidth == 0 ? sum : g.FAdvWidth;
}

}  // namespace

// The clusters of a shaped run in glyph (visual) order: their glyphs and
// the characters that belong to them. A character points at its cluster's
// first glyph in logical order, the leftmost one left to right and the
// rightmost one right to left.
void TgtCustomPDFEngine::GlyphClusters(const TgtRunStore &run, std::vector<TGlyphCluster> &out,
                                       std::vector<size_t> &chars) {
  const size_t glyphs = run.FGlyphInfoList.size();
  const bool rtl = run.FRunInfo.GlyphType & gdRTL;
  const size_t n = run.FLogClust.size();
  auto key = [&](size_t i) { return std::min<size_t>(run.FLogClust[i], glyphs ? glyphs - 1 : 0); };
  chars.resize(n);
  bool sorted = true;
  for (size_t i = 0; i < n; ++i) {
    chars[i] = i;
    if (i && key(i) < key(i - 1)) sorted = false;
  }
  // Characters grouped by their glyph, in the order of the glyphs.
  if (!sorted) std::stable_sort(chars.begin(), chars.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
  out.clear();
  size_t next = 0;
  for (size_t at = 0; at < n;) {
    const size_t k = key(chars[at]);
    size_t stop = at + 1;
    while (stop < n && key(chars[stop]) == k) ++stop;
    const size_t end = rtl ? k + 1 : (stop < n ? key(chars[stop]) : glyphs);
    out.push_back({next, std::max(end, next), at, stop});
    next = out.back().End;
    at = stop;
  }
  if (!out.empty()) out.back().End = glyphs;  // trailing glyphs stay with the last cluster
  if (out.empty() && glyphs) out.push_back({0, glyphs, 0, 0});
}

// The layout of one line of a text item while its runs are written.
struct TgtCustomPDFEngine::TTextLine {
  const TgtTextItem &Item;
  double Size = 0;       // points
  std::string SizeText;  // as "Tf" takes it
  std::string GState;
  bool MetafileAdvances = false;  // the metafile's per-character advances place the text
  bool First = true;              // the item's first run
  double Ascent = 0;              // baseline below the line's top, engine pixels
  bool PenMoves = true;           // a run may follow on the line: it starts where this one ends
};

double TgtCustomPDFEngine::UniformWidth(const TgtPDFFont &font) {
  if (&font != FUniformFont) {
    const auto &w = font.Info().FfiWidths;
    FUniformFont = &font;
    FUniformWidth = std::all_of(w.begin(), w.end(), [&](double v) { return v == w[0]; })
                        ? w[0]
                        : std::numeric_limits<double>::quiet_NaN();
  }
  return FUniformWidth;
}

// "(" text ") Tj", or with the metafile's advances "[" ... "] TJ": the
// characters in strings, and between two of them the adjustment that takes
// the pen from the font's width of the first to where the metafile put the
// second. An adjustment that rounds to nothing is left out, so characters
// the font already places right share one string; a run without any is
// shown with "Tj".
void TgtCustomPDFEngine::AppendShowOperator(std::string &out, const TgtPDFFont &font, std::string_view ansi,
                                            double size, const double *advances) {
  const bool tj = advances && !ansi.empty() && size > 0 &&
                  (font.Font().Charset != GREEK_CHARSET || font.Font().Family == u"Arial Unicode MS");
  if (!tj) {
    out += '(';
    AppendTjText(out, ansi);
    out += ") Tj";
    return;
  }
  const double S = gtScreenResolution;
  const double pixelToPoint = FPixelToPointMultiplier;
  // The text of the adjustment after a character of this width placed with
  // this advance; empty when it reads 0.0000. Far below half the last
  // decimal a value reads 0.0000 without being formatted; nearer, its text
  // tells.
  std::string &text = FAdjustText;
  auto adjustmentText = [&](double width, double advance) {
    const double natural = width * (S / 72) * size / 1000;
    const double adjust = (natural - advance) / size * 1000 * pixelToPoint;
    text.clear();
    if (std::fabs(adjust) >= 0.00004 && !AppendAdjustment(text, adjust)) text.clear();
  };
  const auto *codes = reinterpret_cast<const uint8_t *>(ansi.data());
  const size_t n = ansi.size();
  // Even spacing in a font whose codes are all one width (fixed pitch at
  // the font's own advance): every pair has the one adjustment. Without
  // one the characters are a single string. Only the characters before the
  // last count: the last one's width and advance take the pen nowhere.
  const double uniform = UniformWidth(font);
  if (!std::isnan(uniform) && std::none_of(codes, codes + n - 1, [](uint8_t c) { return c < 32; }) &&
      std::all_of(advances, advances + n - 1, [&](double a) { return a == advances[0]; })) {
    adjustmentText(uniform, advances[0]);
    if (text.empty()) {
      out += '(';
      pdf::AppendEscapedLiteral(out, ansi);
      out += ") Tj";
      return;
    }
  }
  const auto &widths = font.Info().FfiWidths;
  const size_t start = out.size();
  out += "[(";
  bool adjusted = false;
  // The adjustment depends on the font's width of the character before and
  // its advance alone: while both repeat the last one's text stands.
  // Nothing is known at first (NaN).
  double lastWidth = std::numeric_limits<double>::quiet_NaN(), lastAdvance = lastWidth;
  text.clear();     // empty: no adjustment
  size_t from = 0;  // the characters not written yet
  for (size_t i = 1; i < n; ++i) {
    const uint8_t code = codes[i - 1];
    const double width = code < 32 ? 0 : widths[code - 32];  // TgtPDFFont::CodeWidth
    const double advance = advances[i - 1];
    if (width == lastWidth && advance == lastAdvance && text.empty()) continue;
    if (width != lastWidth || advance != lastAdvance) {
      lastWidth = width;
      lastAdvance = advance;
      adjustmentText(width, advance);
    }
    if (!text.empty()) {
      pdf::AppendEscapedLiteral(out, ansi.substr(from, i - from));
      out += ')';
      out += text;
      out += '(';
      from = i;
      adjusted = true;
    }
  }
  pdf::AppendEscapedLiteral(out, ansi.substr(from));
  if (adjusted) {
    out += ")] TJ";
  } else {
    out.erase(start, 1);
    out += ") Tj";
  }
}

// Glyph identifiers as four upper-case hex digits each; where the pen has to
// land elsewhere than the font's widths take it (the metafile's advances, or
// the shaper's kerning), "TJ" with the adjustment before each cluster.
void TgtCustomPDFEngine::CompositeShow(std::string &out, const TTextLine &line, const TgtRunStore &run,
                                       const TgtPDFFont &font, double &advance) {
  const double k = line.Size / 1000;  // reference-font pixels to engine pixels
  const double S = gtScreenResolution;
  const TgtGlyphInfo *glyphs = run.FGlyphInfoList.data();
  // Written as "[<...>adjustment<...>...] TJ"; without any adjustment the
  // one string that results becomes "<...> Tj".
  const size_t start = out.size();
  out += '[';
  bool adjusted = false;
  double pending = 0;
  advance = 0;
  GlyphClusters(run, FClusters, FClusterChars);
  if (FClusters.empty()) out += "<>";
  for (size_t c = 0; c < FClusters.size(); ++c) {
    const TGlyphCluster &cluster = FClusters[c];
    double nominal = 0, placed = 0;
    for (size_t g = cluster.First; g < cluster.End; ++g) {
      // The pen moves by the width the font declares for the glyph.
      const int32_t width = font.GlyphWidthOr(glyphs[g].FID, TgtPDFFont::kNoWidth);
      nominal += width != TgtPDFFont::kNoWidth ? width * (S / 72) * k : NominalAdvance(glyphs[g]) * k;
      placed += glyphs[g].FAdvWidth * k;
    }
    double target = placed;
    if (line.MetafileAdvances) {
      target = 0;
      for (size_t ch = cluster.CharFirst; ch < cluster.CharEnd; ++ch)
        target += line.Item.FCharSpaceArray[size_t(run.FRunInfo.StartPos) + FClusterChars[ch]];
    }
    // Below half the last written digit an adjustment reads 0.0000 and is
    // left out; without one the cluster continues the string before it.
    bool moved = false;
    if (c > 0 && std::fabs(pending) >= 0.00005) {
      const size_t at = out.size();
      moved = AppendAdjustment(out, pending);
      if (!moved) out.resize(at);
    }
    adjusted = adjusted || moved;
    if (c > 0 && !moved)
      out.pop_back();
    else
      out += '<';
    AppendGlyphRunHex(out, glyphs + cluster.First, glyphs + cluster.End);
    out += '>';
    pending = line.Size > 0 ? (nominal - target) / line.Size * 1000 * FPixelToPointMultiplier : 0;
    advance += target;
  }
  if (adjusted) {
    out += "] TJ";
  } else {
    out.erase(start, 1);
    out += " Tj";
  }
}

void TgtCustomPDFEngine::RenderTextRun(TTextLine &line, const TgtRunStore &run) {
  const TgtTextItem &Item = line.Item;
  const double size = line.Size;
  const double S = gtScreenResolution;
  const bool composite = run.FRunInfo.ScriptProcessingRequired && !run.FGlyphInfoList.empty();
  // A vertical font shows CJK text top to bottom: turned by a right angle.
  const bool vertical =
      composite && IsVerticalFamily(run.FFont.Name) && !run.FRunText.empty() && IsCjkIdeograph(run.FRunText[0]);
  const int32_t angle = run.FAngle + (vertical ? 90 : 0);
  const double theta = angle * std::numbers::pi / 180;
  const double cs = std::cos(theta), sn = std::sin(theta);
  const bool upright = angle % 360 == 0;
  TPdfFontSpec &wanted = FWanted;
  FillSpec(wanted, run.FFont);
  wanted.Size = size;
  if (composite) {
    // As the run was shaped: by the face name alone, so that the glyph
    // identifiers are those of the font written.
    wanted.Charset = DEFAULT_CHARSET;
    wanted.PitchAndFamily = DEFAULT_PITCH;
  }
  int32_t fontIndex = 0;
  TgtPDFFont &font = FontResource(wanted, composite, !vertical, fontIndex);
  double advance = 0;  // engine pixels
  std::string_view ansi;
  const double *metafile = nullptr;  // the run's advances from the metafile
  const size_t first = static_cast<size_t>(run.FRunInfo.StartPos);
  if (composite) {
    // The font's widths are the glyphs' own advances; kerning and the
    // metafile's spacing are adjustments of the show operator.
    const TgtGlyphInfoList &glyphs = run.FGlyphInfoList;
    auto unrecorded = [&](const TgtGlyphInfo &g) {
      return font.GlyphWidthOr(g.FID, TgtPDFFont::kNoWidth) == TgtPDFFont::kNoWidth;
    };
    if (std::any_of(glyphs.begin(), glyphs.end(), unrecorded)) {
      TgtGlyphInfoList recorded = glyphs;
      for (TgtGlyphInfo &g : recorded) g.FAdvWidth = NominalAdvance(g);
      font.AddUsedGlyphs(run.FRunText, recorded, (run.FRunInfo.GlyphType & gdRTL) != 0);
    }
    FShow.clear();
    CompositeShow(FShow, line, run, font, advance);
  } else {
    WideTo1252(run.FRunText, FAnsi);
    ansi = FAnsi;
    font.AddUsedCharacters(ansi);
    // The run's length serves its background, its decorations and the
    // next run's start; a run without them skips the sum, a serial chain
    // of additions (kept in order: the bits of the result depend on it).
    const bool measured = line.PenMoves || HasBackground(Item) || Item.FFont.Underline || Item.FFont.StrikeOut;
    // The sum is kept in a local of its own: stores into the array could
    // otherwise reach it (its address is taken) and hold it in memory.
    double sum = 0;
    if (line.MetafileAdvances) {
      // Read once into a plain array: the show operator reads them again.
      FRunAdvances.resize(ansi.size());
      double *to = FRunAdvances.data();
      if (measured)
        for (size_t i = 0; i < ansi.size(); ++i) sum += to[i] = Item.FCharSpaceArray[first + i];
      else
        for (size_t i = 0; i < ansi.size(); ++i) to[i] = Item.FCharSpaceArray[first + i];
      metafile = to;
    } else if (measured) {
      for (size_t i = 0; i < ansi.size(); ++i) sum += font.CodeWidth(static_cast<uint8_t>(ansi[i])) * (S / 72) * size / 1000;
    }
    advance = sum;
  }
  // The baseline lies the ascent below the run's top, along the text's own
  // downward direction; underline, strike-out and background follow it.
  const double bx = FRunTextX + line.Ascent * sn, by = FRunTextY + line.Ascent * cs;
  const double ox = X(bx), oy = Y(by);
  const double runLen = LenX(advance), emLen = LenY(size * S / 72);
  auto at = [&](double along, double up) {  // written point relative to the baseline origin
    return Fixed4(ox + along * cs - up * sn) + " " + Fixed4(oy + along * sn + up * cs);
  };
  // Background of the run.
  if (HasBackground(Item)) {
    const double down = font.Info().FfiDescent / 1000 * size * YRes();
    const double up = emLen + down;
    const std::string path = at(0, down) + " m " + at(runLen, down) + " l " + at(runLen, up) + " l " + at(0, up) + " l";
    TgtBrush brush = Item.FBrush;
    FContentStream += "\r\n\r\nq\r\n" + FillSettings(&brush) + " " + path + " f\r\nQ\r\n";
  }
  // The text object, written straight into the page's content.
  std::string &t = FContentStream;
  t += "\r\n q ";
  if (Item.FIsClipRect) {
    const TgtRect &r = Item.FClipRect;
    t += Pt(r.Left, r.Bottom) + " " + Fixed4(LenX(r.Right - r.Left)) + " " + Fixed4(LenY(r.Bottom - r.Top)) +
         " re W n\r\n";
  }
  t += "BT\r\n";
  t += static_cast<char>('0' + (static_cast<int>(Item.FTextEffects.FTextRenderMode) & 3));
  t += " Tr";
  if (Item.FTextEffects.FTextRise == trSuperscript || Item.FTextEffects.FTextRise == trSubscript) {
    t += ' ';
    AppendFixed4(t, Item.FTextEffects.FTextRise == trSuperscript ? size / 2 : -size / 2);
    t += " Ts";
  }
  t += "\r\n";
  AppendFillColor(t, Item.FFont.Color);
  t += "\r\n/F";
  pdf::AppendInt(t, fontIndex);
  t += ' ';
  t += line.SizeText;
  t += " Tf\r\n";
  t += line.GState;
  if (upright) {
    AppendFixed4(t, ox);
    t += ' ';
    AppendFixed4(t, oy);
    t += " Td ";
  } else {
    for (double v : {cs, sn, -sn, cs, ox, oy}) {
      AppendFixed4(t, v);
      t += ' ';
    }
    t += "Tm \r\n";
  }
  if (line.First && Preferences().FApplyEmfCharSpacing) t += " 0 Tw\r\n0.0000 Tc\r\n";
  if (composite)
    t += FShow;
  else
    AppendShowOperator(t, font, ansi, size, metafile);
  t += "\r\nET Q \r\n";
  // Underline and strike-out along the run.
  const TgtPDFFontInfo &fi = font.Info();
  std::string deco;
  // GDI draws each line from its position down by its thickness: the
  // stroke's centre lies half the thickness below the position.
  auto decoLine = [&](double pos, double thickness) {
    const double u = (pos - std::max(thickness, 0.0) / 2) * YRes();
    deco += "\r\nq\r\n" + StrokeColor(Item.FFont.Color) + " " + Fixed4(thickness > 0 ? thickness : 0.001) + " w " +
            at(0, u) + " m " + at(runLen, u) + " l S\r\nQ";
  };
  if (Item.FFont.Underline) decoLine(fi.FfiUnderscorePosition, fi.FfiUnderscoreSize);
  if (Item.FFont.StrikeOut) decoLine(fi.FfiStrikeoutPosition, fi.FfiStrikeoutSize);
  if (!deco.empty()) FContentStream += deco + "\r\n";
  // The pen moves on along the run.
  FRunTextX += cs * (S / InputXRes()) * advance;
  FRunTextY -= sn * (S / InputXRes()) * advance;
  line.First = false;
}

const TgtFont &TgtCustomPDFEngine::PreparedFont(const TgtFont &font) {
  // The map decides by the name alone; the other fields are the item's.
  if (FPreparedKnown && font.Name == FPreparedFrom) {
    FPrepared = font;
    FPrepared.Name = FPreparedName;
    return FPrepared;
  }
  FPrepared = FMapFont.PrepareFont(font);
  FPreparedFrom = font.Name;
  FPreparedName = FPrepared.Name;
  FPreparedKnown = true;
  return FPrepared;
}

const TgtFontCell &TgtCustomPDFEngine::FontCell(const TgtFont &font) {
  // The cell depends on the fields MeasureFontCell looks at.
  const TgtFont &k = FCellFont;
  if (!FCellKnown || font.Name != k.Name || font.Bold != k.Bold || font.Italic != k.Italic ||
      font.Charset != k.Charset || font.Pitch != k.Pitch) {
    FCell = MeasureFontCell(font);
    FCellFont = font;
    FCellKnown = true;
  }
  return FCell;
}

void TgtCustomPDFEngine::RenderTextItem(TgtTextItem &Item) {
  if (!(ItemsToRender() & irText) || Item.FLines.empty()) return;
  // The family as installed, or the TrueType family that stands in for it.
  const TgtFont &font = PreparedFont(Item.FFont);
  const double size = WholeIfClose(SizeOf(Item.FFont));
  const double S = gtScreenResolution;
  const double theta = Item.FRotationAngle * std::numbers::pi / 180;
  const double em = size * (S / 72) * (S / InputXRes());
  // One baseline for every run of a line: where GDI put it for the font
  // that drew the text, whichever font shows a run.
  if (size != FSizeValue || FSizeText.empty()) {  // items of one size follow one another
    FSizeValue = size;
    FSizeText = pdf::SizeText(size);
  }
  TTextLine line{Item, size, FSizeText, {}, false, true, em * FontCell(Item.FFont).Ascent};
  if (Item.FTextEffects.FOpacity < 100) line.GState = GraphicsState(Item.FTextEffects.FOpacity);
  FRunTextX = Item.FX;
  FRunTextY = Item.FY;
  for (size_t l = 0; l < Item.FLines.size(); ++l) {
    const double lineX = FRunTextX, lineY = FRunTextY;
    // Variables open with "<%": a line without one is taken as it is.
    WString replaced;
    const WString *source = &Item.FLines[l];
    if (l == 0 && MayHoldVariable(*source) && source->find(u"<%") != WString::npos)
      source = &(replaced = ReplaceVariables(*source, true));
    const WString &text = *source;
    if (!FAnalyseEveryLine && TgtStringAnalyzer::IsSimpleLine(text, Item.FBiDiMode, FMapFont, font)) {
      // The one simple run the analyser and the run merger would make of
      // the line (their logical clusters aside, which a simple run does not
      // read), in a store kept for its buffers.
      TgtRunStore &run = FSimpleRun;
      run.FRunText = text;
      run.FFont = font;
      run.FAngle = Item.FRotationAngle;
      run.FRunInfo.EndPos = static_cast<int32_t>(text.size());
      line.MetafileAdvances = Preferences().FApplyEmfCharSpacing && Item.FIsFromMetafile &&
                              Item.FCharSpaceArray.size() == text.size();
      // The line's only run: the next line starts afresh below.
      line.PenMoves = false;
      RenderTextRun(line, run);
    } else {
      RenderAnalysedLine(line, text, font);
    }
    // The next line starts one line height further down.
    FRunTextX = lineX + em * 1.15 * std::sin(theta);
    FRunTextY = lineY + em * 1.15 * std::cos(theta);
  }
  if (FIsInsertClipState) {
    FContentStream += " Q \r\n";
    FIsInsertClipState = false;
  }
}

// A line of any text: analysed into items, shaped where needed, the items
// joined into runs.
void TgtCustomPDFEngine::RenderAnalysedLine(TTextLine &line, const WString &text, const TgtFont &font) {
  const TgtTextItem &Item = line.Item;
  TgtRunMerger merger(font, Item.FRotationAngle, text.size());
  TgtStringAnalyzer::StringAnalyze(text, Item.FBiDiMode, FMapFont, merger.Callback(), font);
  // A line that needs complex shaping is drawn as the shaper places it,
  // whatever advances the metafile holds.
  const bool complexLine = std::any_of(merger.Runs().begin(), merger.Runs().end(),
                                       [](const TgtRunStore &r) { return r.FRunInfo.GlyphType & gdComplex; });
  line.MetafileAdvances = Preferences().FApplyEmfCharSpacing && Item.FIsFromMetafile && !complexLine &&
                          !text.empty() && Item.FCharSpaceArray.size() == text.size();
  line.PenMoves = true;
  for (const TgtRunStore &run : merger.Runs()) RenderTextRun(line, run);
}

}  // namespace nx
