// The RTF writer: renders the items of every page into an RTF file in which
// everything keeps its place: text as absolutely positioned paragraph frames,
// pictures as positioned frames, shapes as drawing objects. The body is built
// in memory; the header, the font and colour tables (known only when every
// page is rendered) and the body are written when the document ends.
//
// Lengths in the file are twips: round(engine pixels × RTFFactor).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "export/gtCstPlnEng.h"

namespace nx {

enum TgtRTFEncodingType : uint8_t { etPositionalAccuracy, etEaseOfEditing };

// Plain escaping: '\', '{' and '}' get a backslash.
WString gtRTFPlainEscape(const WString &Text);
// Full escaping: plain below U+0100; above it "\u" and the code as a signed
// 16-bit number followed by one "?" for readers without Unicode, with "\uc1"
// before the first one.
WString gtRTFFullEscape(const WString &Text);
// Escaped text as the file's bytes in the code page: ASCII unchanged, a
// character the code page has as its byte (two or more bytes as "\'hh"
// escapes), one it lacks as "\uc1\u" + code + "?".
std::string gtRTFEncode(const WString &Text, UINT CodePage);
// The font charset every entry gets on a system whose ANSI code page is not
// 1252 (0 for code pages not listed).
int32_t gtRTFCharsetOfCodePage(UINT CodePage);

class TgtRTFEngine : public TgtCustomPlainSheetEngine {
 public:
  // Extension "rtf", description "Rich Text Format"; capabilities text,
  // image, shape, header, footer, watermark; RTF preferences.
  TgtRTFEngine();
  std::unique_ptr<TgtPreferences> PreferencesClass() const override;  // 108
  TgtRTFPreferences &Preferences() {
    return static_cast<TgtRTFPreferences &>(TgtCustomDocumentEngine::Preferences());
  }

  bool RemoveDuplicates() const { return FRemoveDuplicates; }
  void SetRemoveDuplicates(bool Value) { FRemoveDuplicates = Value; }
  TgtRTFEncodingType DocumentEncodingType() const { return FDocumentEncodingType; }
  // The ease-of-editing layout is not built: refused (ENxError nxeArgument).
  void SetDocumentEncodingType(TgtRTFEncodingType Value);

  // BMP, JPEG, PNG and metafiles; any other format is refused with "The RTF
  // Engine does not support this format".
  bool IsImageFormatSupported(TgtOutputImageFormat Format, std::string &Message) override;  // 106
  // In header, footer and watermark bands the page number and count become
  // PAGE and NUMPAGES fields; elsewhere numbers.
  WString ReplacePageVariables(const WString &Text) override;  // 102

 protected:
  void StartDocument() override;  // 75
  void EndDocument() override;    // 76
  void StartPage() override;      // 73
  void EndPage() override;        // 74
  void RenderTextItem(TgtTextItem &Item) override;    // 77
  void RenderImageItem(TgtImageItem &Item) override;  // 80
  void RenderLine(const TgtPen &Pen, double X1, double Y1, double X2, double Y2) override;  // 89
  void RenderRectangle(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                       double Y2) override;  // 90
  void RenderRoundRect(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2, double Y2,
                       double X3, double Y3) override;  // 91
  void RenderEllipse(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                     double Y2) override;  // 92
  void RenderPolygon(const TgtPoints &Points, int32_t NoPoints, const TgtBrush *Brush, const TgtPen &Pen,
                     bool IsClosed) override;  // 93
  void RenderPolyBezier(const TgtPoints &Points, int32_t NoPoints, const TgtPen &Pen) override;  // 98
  void RenderShapeBitmap(const TgtBitmap &Bitmap, double X, double Y) override;  // 99
  void RenderPageBorder() override {}  // 100: StartPage writes the borders

 private:
  // Twips of an engine length, as decimal text.
  std::string Tw(double Pixels) const;
  int32_t FontIndex(const TgtFont &Font);
  int32_t ColorIndex(COLORREF Color);
  // The stream items of the current band go to (header, footer or body).
  std::string &RoutedStream();
  bool InBand() const;
  // Appends the text in the ANSI code page that \ansicpg announces.
  static void Put(std::string &Stream, const WString &Text);
  void PutBody(const std::string &Ascii) { FRTFStream += Ascii; }
  std::string FontFormatting(const TgtFont &Font);
  WString ItemText(const TgtTextItem &Item, const WString &Line);
  void RenderRotatedText(const TgtTextItem &Item, const WString &Text);
  // "{\pict" ... "}" of a picture shown at Width x Height engine pixels.
  std::string Picture(const TgtBitmap &Pic, TgtOutputImageFormat Format, int32_t Quality, int32_t SourceDpi,
                      double Width, double Height) const;
  // A rectangle-shaped drawing object (rectangle, rounded rectangle, ellipse).
  void Shape(const char *Opening, const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
             double Y2, std::string *Out);

  std::string FRTFStream, FHeaderStream, FFooterStream;
  std::unique_ptr<TOutputFile> FOutputFile;
  std::vector<std::pair<WString, BYTE>> FFontTable;  // face, charset
  std::vector<COLORREF> FColorTable;
  double FRTFFactor = 15.0;
  double FDefaultTabStop = 48.0;
  TgtRTFEncodingType FDocumentEncodingType = etPositionalAccuracy;
  WString FCheckRepeatText;
  double FRepeatTextX = 0, FRepeatTextY = 0;
  bool FHasLastText = false;
  bool FRemoveDuplicates = false;
  int32_t FCountTextItem = 0;
  struct TRepeated {
    WString Text;
    double X, Y;
  };
  std::vector<TRepeated> FRepeatedText;
};

}  // namespace nx
