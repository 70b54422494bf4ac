#include "export/gtRTFEng.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <string>

#include "common/Strings.h"

namespace nx {
namespace {

constexpr const char *kGenerator = "NOXTREL RTF writer 1.0";

std::string Num(long long v) { return std::to_string(v); }

const char *BorderStyleWord(TgtPenStyle s) {
  switch (s) {
    case psDash: return "\\brdrdash";
    case psDot: return "\\brdrdot";
    case psDashDot: return "\\brdrdashd";
    case psDashDotDot: return "\\brdrdashdd";
    default: return "\\brdrs";
  }
}

const char *LineStyleWord(TgtPenStyle s) {
  switch (s) {
    case psDash: return "\\dplinedash";
    case psDot: return "\\dplinedot";
    case psDashDot: return "\\dplinedado";
    case psDashDotDot: return "\\dplinedadodo";
    case psClear: return "\\dplinehollow";
    default: return "\\dplinesolid";
  }
}

int FillPattern(TgtBrushStyle s) {
  switch (s) {
    case bsSolid: return 1;
    case bsClear: return 0;
    case bsHorizontal: return 14;
    case bsVertical: return 15;
    case bsFDiagonal: return 16;
    case bsBDiagonal: return 17;
    case bsCross: return 18;
    default: return 19;
  }
}

std::string FillAttributes(const TgtBrush &b) {
  return "\\dpfillfgcr255\\dpfillfgcg255\\dpfillfgcb255\\dpfillbgcr" + Num(GetRValue(b.Color)) + "\\dpfillbgcg" +
         Num(GetGValue(b.Color)) + "\\dpfillbgcb" + Num(GetBValue(b.Color)) + "\\dpfillpat" +
         Num(FillPattern(b.Style)) + " ";
}

// A clear brush writes no fill: readers such as LibreOffice fill a pattern
// of 0 with the background colour.
std::string OptionalFill(const TgtBrush *b) { return b && b->Style != bsClear ? FillAttributes(*b) : ""; }

// "\yr2026\mo3\dy7\hr9\min5" of the local time.
std::string CreationTime() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return "\\yr" + Num(t.tm_year + 1900) + "\\mo" + Num(t.tm_mon + 1) + "\\dy" + Num(t.tm_mday) + "\\hr" +
         Num(t.tm_hour) + "\\min" + Num(t.tm_min);
}

bool EqualsNoCaseAt(const WString &s, size_t at, const char16_t *marker) {
  for (size_t i = 0; marker[i]; ++i) {
    if (at + i >= s.size()) return false;
    char16_t a = s[at + i], b = marker[i];
    if (a >= u'a' && a <= u'z') a = char16_t(a - 32);
    if (b >= u'a' && b <= u'z') b = char16_t(b - 32);
    if (a != b) return false;
  }
  return true;
}

}  // namespace

WString gtRTFPlainEscape(const WString &Text) {
  WString out;
  out.reserve(Text.size());
  for (char16_t c : Text) {
    if (c == u'\\' || c == u'{' || c == u'}') out += u'\\';
    out += c;
  }
  return out;
}

WString gtRTFFullEscape(const WString &Text) {
  WString out;
  bool declared = false;
  for (char16_t c : Text) {
    if (c < 0x100) {
      if (c == u'\\' || c == u'{' || c == u'}') out += u'\\';
      out += c;
      continue;
    }
    if (!declared) out += u"\\uc1";
    declared = true;
    out += u"\\u" + AsciiToWide(Num(int16_t(c))) + u"?";
  }
  return out;
}

// A character is written as the code page's byte when it is one byte there,
// as hexadecimal escapes when it takes more (a trail byte may be a
// backslash or a brace), and as \u with a "?" fallback when the code page
// lacks it, so that a reader decoding with \ansicpg gets the character back.
std::string gtRTFEncode(const WString &Text, UINT CodePage) {
  std::string out;
  out.reserve(Text.size());
  for (size_t i = 0; i < Text.size(); ++i) {
    const char16_t c = Text[i];
    if (c < 0x80) {
      out += char(c);
      continue;
    }
    const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 && Text[i + 1] < 0xE000;
    const int units = pair ? 2 : 1;
    char bytes[16];
    BOOL lacking = FALSE;
    const int n = WideCharToMultiByte(CodePage, 0, reinterpret_cast<LPCWSTR>(&Text[i]), units, bytes, sizeof bytes,
                                      nullptr, CodePage == CP_UTF8 ? nullptr : &lacking);
    if (n == 1 && !lacking) {
      out += bytes[0];
    } else if (n > 1 && !lacking) {
      static const char kHex[] = "0123456789abcdef";
      for (int k = 0; k < n; ++k) out += std::string("\\'") + kHex[BYTE(bytes[k]) >> 4] + kHex[BYTE(bytes[k]) & 15];
    } else {
      for (int k = 0; k < units; ++k) out += "\\uc1\\u" + Num(int16_t(Text[i + size_t(k)])) + "?";
    }
    i += size_t(units - 1);
  }
  return out;
}

int32_t gtRTFCharsetOfCodePage(UINT CodePage) {
  switch (CodePage) {
    case 932: return 128;
    case 949: return 129;
    case 1361: return 130;
    case 936: return 134;
    case 950: return 136;
    case 1253: return 161;
    case 1254: return 162;
    case 1258: return 163;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    case 1251: return 204;
    case 874: return 222;
    case 1250: return 238;
    default: return 0;  // 1252, 1200 and the others
  }
}

TgtRTFEngine::TgtRTFEngine() {
  RecreatePreferences();
  SetFileType(u"rtf", u"Rich Text Format");
  SetCapabilities(ckText | ckImage | ckShape | ckHeader | ckFooter | ckWatermark);
}

std::unique_ptr<TgtPreferences> TgtRTFEngine::PreferencesClass() const {
  return std::make_unique<TgtRTFPreferences>();
}

void TgtRTFEngine::SetDocumentEncodingType(TgtRTFEncodingType Value) {
  if (Value != etPositionalAccuracy) throw ENxError(nxeArgument, "The RTF Engine writes positioned layout only");
  FDocumentEncodingType = Value;
}

bool TgtRTFEngine::IsImageFormatSupported(TgtOutputImageFormat Format, std::string &Message) {
  if (Format == ifBMP || Format == ifJPEG || Format == ifPNG || Format == ifMetafile) return true;
  Message = "The RTF Engine does not support this format";
  return false;
}

bool TgtRTFEngine::InBand() const {
  return BandType() == btHeader || BandType() == btFooter || BandType() == btWatermark;
}

WString TgtRTFEngine::ReplacePageVariables(const WString &Text) {
  if (!InBand()) return TgtCustomDocumentEngine::ReplacePageVariables(Text);
  WString out;
  for (size_t i = 0; i < Text.size();) {
    if (EqualsNoCaseAt(Text, i, u"<%Pg#%>")) {
      out += u"{\\field{\\*\\fldinst { PAGE }}}";
      i += 7;
    } else if (EqualsNoCaseAt(Text, i, u"<%PgCnt%>")) {
      out += u"{\\field{\\*\\fldinst { NUMPAGES }}}";
      i += 9;
    } else {
      out += Text[i++];
    }
  }
  return out;
}

std::string TgtRTFEngine::Tw(double Pixels) const { return Num(std::llround(Pixels * FRTFFactor)); }

int32_t TgtRTFEngine::FontIndex(const TgtFont &Font) {
  for (size_t i = 0; i < FFontTable.size(); ++i)
    if (FFontTable[i].first == Font.Name && FFontTable[i].second == Font.Charset) return int32_t(i);
  FFontTable.emplace_back(Font.Name, Font.Charset);
  return int32_t(FFontTable.size() - 1);
}

int32_t TgtRTFEngine::ColorIndex(COLORREF Color) {
  Color &= 0xFFFFFF;
  auto it = std::find(FColorTable.begin(), FColorTable.end(), Color);
  if (it != FColorTable.end()) return int32_t(it - FColorTable.begin()) + 1;
  FColorTable.push_back(Color);
  return int32_t(FColorTable.size());
}

std::string &TgtRTFEngine::RoutedStream() {
  if (BandType() == btHeader || BandType() == btWatermark) return FHeaderStream;
  if (BandType() == btFooter) return FFooterStream;
  return FRTFStream;
}

void TgtRTFEngine::Put(std::string &Stream, const WString &Text) { Stream += gtRTFEncode(Text, GetACP()); }

// ---- document and pages ------------------------------------------------------

void TgtRTFEngine::StartDocument() {
  FDefaultTabStop = gtScreenResolution * 0.5;
  FOutputFile = CreateOutputFile(FileName() + u"." + FileExtension());
  FRTFStream.clear();
  FHeaderStream.clear();
  FFooterStream.clear();
  FFontTable.clear();
  FColorTable.clear();
  FRTFFactor = 20.0 / gtPixelsPerPoint;
  FHasLastText = false;
  const TgtDocInfo &info = DocInfo();
  WString s = u"{\\info";
  if (!info.FTitle.empty()) s += u"{\\title " + gtRTFFullEscape(info.FTitle) + u"}";
  if (!info.FSubject.empty()) s += u"{\\subject " + gtRTFFullEscape(info.FSubject) + u"}";
  s += u"{\\author " + gtRTFFullEscape(info.FAuthor) + u"}{\\keywords " + gtRTFFullEscape(info.FKeywords) + u"}";
  s += u"{\\doccomm " + gtRTFPlainEscape(AsciiToWide(kGenerator)) + u"}{\\creatim" + AsciiToWide(CreationTime()) +
       u"}}\\viewkind1";
  Put(FRTFStream, s);
  const TgtPageSettings &p = Pages().front()->FSettings;
  PutBody("\\paperw" + Tw(p.FWidth) + "\\paperh" + Tw(p.FHeight) + "\\margl" + Tw(p.FLeftMargin) + "\\margr" +
          Tw(p.FRightMargin) + "\\margt" + Tw(p.FTopMargin) + "\\margb" + Tw(p.FBottomMargin) + "\\headery" +
          Tw(p.FHeaderHeight) + "\\footery" + Tw(p.FFooterHeight));
}

void TgtRTFEngine::StartPage() {
  FRepeatedText.clear();
  FCountTextItem = 1;
  const TgtPageSettings &p = Pages()[size_t(CurrentPage()) - 1]->FSettings;
  std::string s = " \\sectd";
  if (p.FOrientation == poLandscape) s += "\\lndscpsxn";
  s += "\\pgwsxn" + Tw(p.FWidth) + "\\pghsxn" + Tw(p.FHeight) + "\\marglsxn" + Tw(p.FLeftMargin) + "\\margrsxn" +
       Tw(p.FRightMargin) + "\\margtsxn" + Tw(p.FTopMargin) + "\\margbsxn" + Tw(p.FBottomMargin);
  if (const int32_t bin = Page().BinNumber()) s += "\\binfsxn" + Num(bin) + "\\binsxn" + Num(bin);
  s += "\\headery" + Tw(p.FHeaderHeight) + "\\footery" + Tw(p.FFooterHeight) + "\\sectdefaultcl";
  s += "\\pgbrdrhead\\pgbrdrfoot";
  const TgtBorder &b = PageBorder();
  const std::string def = std::string(BorderStyleWord(b.FStyle)) + "\\brdrw" + Num(b.FWidth) + "\\brdrcf" +
                          Num(ColorIndex(b.FColor));
  if (b.FDrawLeft) s += "\\pgbrdrl" + def;
  if (b.FDrawRight) s += "\\pgbrdrr" + def;
  if (b.FDrawTop) s += "\\pgbrdrt" + def;
  if (b.FDrawBottom) s += "\\pgbrdrb" + def;
  PutBody(s + "\r\n{");
}

void TgtRTFEngine::EndPage() {
  if (!FHeaderStream.empty()) PutBody("{\\header " + FHeaderStream + "}");
  if (!FFooterStream.empty()) PutBody("{\\footer " + FFooterStream + "}");
  FHeaderStream.clear();
  FFooterStream.clear();
  PutBody("}\\sect");
}

void TgtRTFEngine::EndDocument() {
  TgtCustomDocumentEngine::EndDocument();
  const UINT acp = GetACP();
  WString head = u"{\\rtf1\\ansi\\ansicpg" + AsciiToWide(Num(acp)) + u"\\deff0\\deftab" +
                 AsciiToWide(Num(std::llround(std::round(FDefaultTabStop) * FRTFFactor))) + u"{\\fonttbl";
  for (size_t i = 0; i < FFontTable.size(); ++i) {
    int32_t charset = FFontTable[i].second;
    if (acp != 1252) charset = gtRTFCharsetOfCodePage(acp);
    head += u"{\\f" + AsciiToWide(Num(long(i)));
    if (acp != 1252 || charset != DEFAULT_CHARSET) head += u"\\fcharset" + AsciiToWide(Num(charset));
    head += u" " + FFontTable[i].first + u";}";
  }
  head += u"}{\\colortbl;";
  for (COLORREF c : FColorTable)
    head += AsciiToWide("\\red" + Num(GetRValue(c)) + "\\green" + Num(GetGValue(c)) + "\\blue" + Num(GetBValue(c)) + ";");
  head += u"}";
  std::string out;
  Put(out, head);
  out += FRTFStream;
  out += "}";
  std::unique_ptr<TOutputFile> file = std::move(FOutputFile);
  FRTFStream.clear();
  FFontTable.clear();
  FColorTable.clear();
  if (!file) return;
  file->Write(out);
  CommitOutputFile(*file);
}

// ---- text --------------------------------------------------------------------

std::string TgtRTFEngine::FontFormatting(const TgtFont &Font) {
  const double points = std::fabs(Font.Size != 0 ? Font.Size : Font.PointSize);
  std::string s = "\\f" + Num(FontIndex(Font)) + "\\cf" + Num(ColorIndex(Font.Color)) + "\\fs" +
                  Num(std::llround(points * 2));
  if (Font.Bold) s += " \\b";
  if (Font.Italic) s += " \\i";
  if (Font.StrikeOut) s += " \\strike";
  if (Font.Underline) s += " \\ul";
  return s;
}

// The text as it goes into the file. The page markers are replaced after
// escaping, so that the fields of a band keep their control words.
WString TgtRTFEngine::ItemText(const TgtTextItem &Item, const WString &Line) {
  const WString text = ReplaceVariables(Line, false);
  const bool ansi = Item.FFont.Charset == ANSI_CHARSET || (Item.FFont.Charset == DEFAULT_CHARSET && GetACP() == 1252);
  if (!Item.FIsClipRect || !ansi) return ReplacePageVariables(gtRTFFullEscape(text));
  // Cut to the characters that fit the clipping rectangle.
  const double room = Item.FClipRect.Right - Item.FClipRect.Left;
  HDC dc = CreateCompatibleDC(nullptr);
  LOGFONTW lf = Item.FFont.ToLogFont(gtScreenResolution);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  size_t n = 0;
  for (; n < text.size(); ++n) {
    SIZE ext{};
    GetTextExtentPoint32W(dc, text.c_str(), int(n + 1), &ext);
    if (ext.cx > room) break;
  }
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  return ReplacePageVariables(gtRTFPlainEscape(text.substr(0, n)));
}

void TgtRTFEngine::RenderTextItem(TgtTextItem &Item) {
  WString whole;
  for (size_t i = 0; i < Item.FLines.size(); ++i) whole += (i ? u"\r\n" : u"") + Item.FLines[i];
  if (whole.empty()) return;
  ++FCountTextItem;
  if (FRemoveDuplicates) {
    for (const TRepeated &r : FRepeatedText)
      if (r.Text == whole && r.X == Item.FX && r.Y == Item.FY) return;
    FRepeatedText.push_back({whole, Item.FX, Item.FY});
  }
  if (FHasLastText && FCheckRepeatText == whole && FRepeatTextX == Item.FX && FRepeatTextY == Item.FY) return;
  FHasLastText = true;
  FCheckRepeatText = whole;
  FRepeatTextX = Item.FX;
  FRepeatTextY = Item.FY;
  if (Item.FRotationAngle % 360 != 0) return RenderRotatedText(Item, ReplaceVariables(whole, true));
  std::string open = "{\\pard\\pvpg\\phpg\\posy" + Tw(Item.FY) + "\\posx" + Tw(Item.FX) + "\\overlay" +
                     FontFormatting(Item.FFont);
  const TgtBrush &b = Item.FBrush;
  if (b.Style == bsSolid && (b.Color & 0xFFFFFF) != 0xFFFFFF)
    open += "\\chshdng10000\\chcfpat" + Num(ColorIndex(b.Color));
  WString text;
  for (size_t i = 0; i < Item.FLines.size(); ++i) text += (i ? u"\\line " : u"") + ItemText(Item, Item.FLines[i]);
  std::string &out = RoutedStream();
  out += open + " ";
  Put(out, text);
  out += "\\par}";
}

// ---- drawing objects -----------------------------------------------------------

namespace {

std::string LineAttributes(const TgtPen &Pen, double Factor) {
  return std::string(LineStyleWord(Pen.Style)) + "\\dplinecor" + Num(GetRValue(Pen.Color)) + "\\dplinecog" +
         Num(GetGValue(Pen.Color)) + "\\dplinecob" + Num(GetBValue(Pen.Color)) + "\\dplinew" +
         Num(std::llround(Pen.Width * Factor)) + " ";
}

}  // namespace

void TgtRTFEngine::RenderLine(const TgtPen &Pen, double X1, double Y1, double X2, double Y2) {
  PutBody("{\\*\\do\\dobxpage\\dobypage\\dpline\\dpx" + Tw(X1) + "\\dpy" + Tw(Y1) + "\\dpxsize" + Tw(X2 - X1) +
          "\\dpysize" + Tw(Y2 - Y1) + LineAttributes(Pen, FRTFFactor) + "}");
}

void TgtRTFEngine::Shape(const char *Opening, const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1,
                         double X2, double Y2, std::string *Out) {
  const double x = std::min(X1, X2), y = std::min(Y1, Y2);
  std::string s = std::string("{\\lang1024 {\\*\\do\\dobxpage\\dobypage") + Opening + "\\dpx" + Tw(x) + "\\dpy" +
                  Tw(y) + "\\dpxsize" + Tw(std::fabs(X2 - X1)) + "\\dpysize" + Tw(std::fabs(Y2 - Y1)) +
                  LineAttributes(Pen, FRTFFactor);
  s += OptionalFill(Brush);
  *Out += s + "}}";
}

void TgtRTFEngine::RenderRectangle(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                   double Y2) {
  Shape("\\dprect", Pen, Brush, X1, Y1, X2, Y2, &RoutedStream());
}

void TgtRTFEngine::RenderRoundRect(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                   double Y2, double, double) {
  Shape("\\dprect\\dproundr", Pen, Brush, X1, Y1, X2, Y2, &FRTFStream);
}

void TgtRTFEngine::RenderEllipse(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                                 double Y2) {
  Shape("\\dpellipse", Pen, Brush, X1, Y1, X2, Y2, &FRTFStream);
}

void TgtRTFEngine::RenderPolygon(const TgtPoints &Points, int32_t NoPoints, const TgtBrush *Brush,
                                 const TgtPen &Pen, bool IsClosed) {
  const size_t n = std::min(Points.size(), size_t(std::max(NoPoints, 0)));
  if (n == 0) return;
  double minX = Points[0].X, minY = Points[0].Y, maxX = minX, maxY = minY;
  for (size_t i = 0; i < n; ++i) {
    minX = std::min(minX, Points[i].X), maxX = std::max(maxX, Points[i].X);
    minY = std::min(minY, Points[i].Y), maxY = std::max(maxY, Points[i].Y);
  }
  std::string s = std::string("{\\lang1024 {\\*\\do\\dobxpage\\dobypage") + (IsClosed ? "\\dppolygon" : "\\dppolyline") +
                  "\\dppolycount" + Num(long(n));
  for (size_t i = 0; i < n; ++i) s += "\\dpptx" + Tw(Points[i].X - minX) + "\\dppty" + Tw(Points[i].Y - minY);
  s += "\\dpx" + Tw(minX) + "\\dpy" + Tw(minY) + "\\dpxsize" + Tw(maxX - minX) + "\\dpysize" + Tw(maxY - minY) +
       LineAttributes(Pen, FRTFFactor);
  s += OptionalFill(Brush);
  PutBody(s + "}}");
}

void TgtRTFEngine::RenderPolyBezier(const TgtPoints &Points, int32_t NoPoints, const TgtPen &Pen) {
  RenderPolygon(Points, NoPoints, nullptr, Pen, false);
}

}  // namespace nx
