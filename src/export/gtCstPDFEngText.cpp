// Text objects of the PDF writer: the simple TrueType font path, with "Tj",
// or "TJ" with the adjustments that put each character where the metafile
// drew it.
#include <cmath>
#include <numbers>

#include "common/Strings.h"
#include "export/gtCstPDFEng.h"
#include "export/gtCstPDFEngFormat.h"

namespace nx {

using pdf::AppendFixed4;
using pdf::Fixed4;

namespace {

// Windows-1252 bytes of the text, one byte per UTF-16 unit; characters the
// code page lacks become '?'.
std::string Ansi1252(const WString &text) {
  std::string out;
  out.reserve(text.size());
  for (WCHAR c : text) {
    if (c >= 0x20 && c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    const std::string b = WideToAnsi(WString(1, c), 1252);
    out += b.size() == 1 ? b[0] : '?';
  }
  return out;
}

TPdfFontSpec SpecOf(const TgtFont &f) {
  TPdfFontSpec s;
  s.Family = f.Name;
  s.Size = f.Size != 0 ? std::fabs(f.Size) : std::abs(f.PointSize);
  s.Bold = f.Bold;
  s.Italic = f.Italic;
  s.Charset = f.Charset;
  s.PitchAndFamily = f.Pitch == fpFixed ? FIXED_PITCH : f.Pitch == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
  return s;
}

// A tab becomes spaces up to the next multiple of eight columns.
std::string ExpandTabs(const std::string &s) {
  std::string out;
  for (char c : s) {
    if (c == '\t') {
      do out += ' ';
      while (out.size() % 8);
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

TgtPDFFont &TgtCustomPDFEngine::FontFor(const TPdfFontSpec &wanted, int32_t &index) {
  for (size_t i = 0; i < FFontTable.size(); ++i)
    if (FFontTable[i]->IsEqual(wanted, false, true)) {
      index = static_cast<int32_t>(i);
      return *FFontTable[i];
    }
  FFontTable.push_back(std::make_unique<TgtPDFFont>(wanted, EmbeddingOf(wanted.Family), false, NextObjectNumber()));
  index = static_cast<int32_t>(FFontTable.size()) - 1;
  return *FFontTable.back();
}

std::string TgtCustomPDFEngine::ShowOperator(const TgtTextItem &item, const TgtPDFFont &font,
                                             const std::string &ansi, double size) {
  const bool tj = Preferences().FApplyEmfCharSpacing && item.FIsFromMetafile && !ansi.empty() &&
                  item.FCharSpaceArray.size() >= ansi.size() && size > 0 &&
                  (font.Font().Family == u"Arial Unicode MS" || font.Font().Charset != GREEK_CHARSET);
  std::string s;
  if (!tj) {
    s = "(";
    pdf::AppendEscapedLiteral(s, ExpandTabs(ansi));
    return s + ") Tj";
  }
  const double S = gtScreenResolution;
  s = "[";
  for (size_t i = 0; i < ansi.size(); ++i) {
    if (i) {
      const uint8_t prev = static_cast<uint8_t>(ansi[i - 1]);
      const double natural = font.CodeWidth(prev) * (S / 72) * size / 1000;
      const double adjust = (natural - item.FCharSpaceArray[i - 1]) / size * 1000 * FPixelToPointMultiplier;
      AppendFixed4(s, adjust);
    }
    s += '(';
    const char c = ansi[i];
    if (c == '(' || c == ')' || c == '\\') s += '\\';
    s += c;
    s += ')';
  }
  return s + "] TJ";
}

void TgtCustomPDFEngine::RenderTextItem(TgtTextItem &Item) {
  if (!(ItemsToRender() & irText) || Item.FLines.empty()) return;
  const TPdfFontSpec wanted = SpecOf(Item.FFont);
  const double size = wanted.Size;
  const double S = gtScreenResolution;
  const double theta = Item.FRotationAngle * std::numbers::pi / 180;
  const double cs = std::cos(theta), sn = std::sin(theta);
  const bool upright = Item.FRotationAngle % 360 == 0;
  const double em = size * (S / 72) * (S / InputXRes());
  int32_t fontIndex = 0;
  TgtPDFFont &font = FontFor(wanted, fontIndex);
  std::string gs;
  if (Item.FTextEffects.FOpacity < 100) gs = GraphicsState(Item.FTextEffects.FOpacity);
  FRunTextX = Item.FX;
  FRunTextY = Item.FY;
  for (size_t line = 0; line < Item.FLines.size(); ++line) {
    const std::string ansi = Ansi1252(line == 0 ? ReplaceVariables(Item.FLines[0], true)
                                                                          : Item.FLines[line]);
    // The baseline lies one em below the item's top, along the text's own
    // downward direction.
    const double bx = FRunTextX + em * sn, by = FRunTextY + em * cs;
    const double ox = X(bx), oy = Y(by);
    font.AddUsedCharacters(ansi);
    double advance = 0;  // engine pixels
    for (char c : ansi) advance += font.CodeWidth(static_cast<uint8_t>(c)) * (S / 72) * size / 1000;
    if (Item.FIsFromMetafile && Item.FCharSpaceArray.size() >= ansi.size() && !ansi.empty()) {
      advance = 0;
      for (size_t i = 0; i < ansi.size(); ++i) advance += Item.FCharSpaceArray[i];
    }
    const double runLen = LenX(advance), emLen = LenY(size * S / 72);
    auto at = [&](double along, double up) {  // written point relative to the baseline origin
      return Fixed4(ox + along * cs - up * sn) + " " + Fixed4(oy + along * sn + up * cs);
    };
    // Background of the run.
    if (Item.FBrush.Style != bsClear && !(Item.FBrush.Style == bsSolid && Item.FBrush.Color == 0xFFFFFF)) {
      const double down = font.Info().FfiDescent / 1000 * size * YRes();
      const double up = emLen + down;
      const std::string path = at(0, down) + " m " + at(runLen, down) + " l " + at(runLen, up) + " l " +
                               at(0, up) + " l";
      FContentStream += "\r\n\r\nq\r\n" + FillSettings(&Item.FBrush) + " " + path + " f\r\nQ\r\n";
    }
    std::string t = "\r\n q ";
    if (Item.FIsClipRect) {
      const TgtRect &r = Item.FClipRect;
      t += Pt(r.Left, r.Bottom) + " " + Fixed4(LenX(r.Right - r.Left)) + " " + Fixed4(LenY(r.Bottom - r.Top)) +
           " re W n\r\n";
    }
    t += "BT\r\n";
    t += std::to_string(static_cast<int>(Item.FTextEffects.FTextRenderMode) & 3) + " Tr";
    if (Item.FTextEffects.FTextRise == trSuperscript) t += " " + Fixed4(size / 2) + " Ts";
    if (Item.FTextEffects.FTextRise == trSubscript) t += " " + Fixed4(-size / 2) + " Ts";
    t += "\r\n" + FillColor(Item.FFont.Color) + "\r\n/F" + std::to_string(fontIndex) + " " + pdf::General(size) +
         " Tf\r\n" + gs;
    if (upright)
      t += Fixed4(ox) + " " + Fixed4(oy) + " Td ";
    else
      t += Fixed4(cs) + " " + Fixed4(sn) + " " + Fixed4(-sn) + " " + Fixed4(cs) + " " + Fixed4(ox) + " " +
           Fixed4(oy) + " Tm \r\n";
    if (line == 0 && Preferences().FApplyEmfCharSpacing) t += " 0 Tw\r\n" + Fixed4(0) + " Tc\r\n";
    t += ShowOperator(Item, font, ansi, size) + "\r\nET Q \r\n";
    FContentStream += t;
    // Underline and strike-out along the run.
    const TgtPDFFontInfo &fi = font.Info();
    std::string deco;
    auto decoLine = [&](double pos, double thickness) {
      const double u = pos * YRes();
      deco += "\r\nq\r\n" + StrokeColor(Item.FFont.Color) + " " + Fixed4(thickness > 0 ? thickness : 0.001) + " w " +
              at(0, u) + " m " + at(runLen, u) + " l S\r\nQ";
    };
    if (Item.FFont.Underline) decoLine(fi.FfiUnderscorePosition, fi.FfiUnderscoreSize);
    if (Item.FFont.StrikeOut) decoLine(fi.FfiStrikeoutPosition, fi.FfiStrikeoutSize);
    if (!deco.empty()) FContentStream += deco + "\r\n";
    // The next line starts one line height further down.
    FRunTextX += em * 1.15 * sn;
    FRunTextY += em * 1.15 * cs;
  }
  if (FIsInsertClipState) {
    FContentStream += " Q \r\n";
    FIsInsertClipState = false;
  }
}

}  // namespace nx
