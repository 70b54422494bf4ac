// The exports that store or report session values.
#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "device/SysPrinter.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/PrinterSetup.h"
#include "session/Session.h"

using nx::NxGuard;
using nx::NxGuardVoid;
using nx::Session;

namespace {

bool IsTrue(int32_t flag) { return flag == 1; }

// Runs a setter body unless a document is open.
template <typename F>
void OutsideDocument(F &&body) {
  NxGuardVoid([&] {
    if (!nx::DocumentOpen()) body();
  });
}

// Runs a PDF setter body only when the device type was set to PDF or RTF.
template <typename F>
void InPDFMode(F &&body) {
  NxGuardVoid([&] {
    if (Session().PDFMode) body();
  });
}

char *CopyVersion(char *dest, const char *text) {
  return NxGuard(dest, [&] {
    nx::CopyToDest(dest, std::string(text));
    return dest;
  });
}

}  // namespace

extern "C" {

NX_API char *NxGetVersion(char *Dest) { return CopyVersion(Dest, "3.0.4.124"); }
NX_API char *NxGetDocVersion(char *Dest) { return CopyVersion(Dest, "289.3"); }

NX_API int32_t NxIsPreviewVisible(void) {
  return NxGuard(0, [] { return Session().PreviewInfo.Showing ? 1 : 0; });
}

NX_API void NxSetAsciiToAnsi(int32_t Flag) {
  NxGuardVoid([&] { Session().AsciiAnsi = IsTrue(Flag); });
}
NX_API int32_t NxGetAsciiToAnsi(void) {
  return NxGuard(0, [] { return Session().AsciiAnsi ? 1 : 0; });
}

NX_API void NxSetBorderThickness(int32_t Points) {
  NxGuardVoid([&] { Session().Thickness = nx::FromFixed(Points); });
}
NX_API int32_t NxGetBorderThickness(void) {
  return NxGuard(0, [] { return nx::ToFixed(Session().Thickness); });
}

NX_API void NxSetBorderColor(int32_t Color) {
  NxGuardVoid([&] { Session().BorderColor = Color; });
}
NX_API int32_t NxGetBorderColor(void) {
  return NxGuard(0, [] { return Session().BorderColor; });
}

NX_API void NxSetCopies(int32_t Copies) {
  NxGuardVoid([&] {
    if (nx::DocumentOpen()) return;
    Session().Copies = Copies;
    if (!Session().PDFMode) nx::SysPrinter().SetCopies(Copies);
  });
}
NX_API int32_t NxGetCopies(void) {
  return NxGuard(0, [] { return Session().Copies; });
}

NX_API void NxSetDecimalSep(int32_t Char) {
  NxGuardVoid([&] { Session().DecimalSep = static_cast<WCHAR>(Char & 0xFFFF); });
}
NX_API int32_t NxGetDecimalSep(void) {
  return NxGuard(0, [] { return static_cast<int32_t>(static_cast<uint16_t>(Session().DecimalSep)); });
}

NX_API void NxSetDevice(int32_t Device) {
  NxGuardVoid([&] {
    nx::TNoxtrelRec &s = Session();
    s.Device = Device;
    s.PDFMode = Device == nx::dtPDF || Device == nx::dtRTF;
    s.PreviewMode = Device == nx::dtPreview || Device == nx::dtEMF;
  });
}

NX_API void NxSetDirectPrint(int32_t Flag) {
  NxGuardVoid([&] { Session().DirectParams = IsTrue(Flag); });
}

NX_API void NxSetDuplex(int32_t Duplex) {
  OutsideDocument([&] { Session().Duplex = Duplex; });
}
NX_API int32_t NxGetDuplex(void) {
  return NxGuard(0, [] { return Session().Duplex; });
}

NX_API void NxSetFileName(const char *FileName) {
  NxGuardVoid([&] { Session().FileName = nx::AnsiToWide(FileName); });
}

NX_API void NxSetFillColor(int32_t Color) {
  NxGuardVoid([&] { Session().FillColor = Color; });
}
NX_API int32_t NxGetFillColor(void) {
  return NxGuard(0, [] { return Session().FillColor; });
}

NX_API void NxSetFillPattern(int32_t Pattern) {
  NxGuardVoid([&] { Session().Pattern = Pattern; });
}
NX_API int32_t NxGetFillPattern(void) {
  return NxGuard(0, [] { return Session().Pattern; });
}

NX_API void NxSetFontName(const char *FontName) {
  NxGuardVoid([&] {
    Session().FontName = nx::AnsiToWide(FontName);
    if (!nx::DocumentOpen()) return;
    if (nx::TFont *font = nx::Device().Font()) font->Name = Session().FontName;
  });
}
NX_API void NxGetFontName(char *Dest) {
  NxGuardVoid([&] { nx::CopyToDest(Dest, Session().FontName); });
}
NX_API void NxSetFontSize(int32_t Points) {
  NxGuardVoid([&] {
    Session().FontSize = nx::FromFixed(Points);
    nx::ApplyFontSize();
  });
}
NX_API int32_t NxGetFontSize(void) {
  return NxGuard(0, [] { return nx::ToFixed(Session().FontSize); });
}
NX_API void NxSetFontStyle(int32_t Style) {
  NxGuardVoid([&] {
    Session().FontStyle = Style;
    nx::ApplyFontStyle(Style);
  });
}
NX_API int32_t NxGetFontStyle(void) {
  return NxGuard(0, [] { return Session().FontStyle; });
}

NX_API void NxSetFontFColor(int32_t Color) {
  NxGuardVoid([&] { Session().FontFColor = Color; });
}
NX_API int32_t NxGetFontFColor(void) {
  return NxGuard(0, [] { return Session().FontFColor; });
}

NX_API void NxSetFontBColor(int32_t Color) {
  NxGuardVoid([&] { Session().FontBColor = Color; });
}
NX_API int32_t NxGetFontBColor(void) {
  return NxGuard(0, [] { return Session().FontBColor; });
}

NX_API void NxSetFontAngle(int32_t Degrees) {
  NxGuardVoid([&] { Session().FontAngle = Degrees; });
}
NX_API int32_t NxGetFontAngle(void) {
  return NxGuard(0, [] { return Session().FontAngle; });
}

NX_API void NxSetJustify(int32_t Justify) {
  NxGuardVoid([&] { Session().FontJustify = Justify; });
}
NX_API int32_t NxGetJustify(void) {
  return NxGuard(0, [] { return Session().FontJustify; });
}

NX_API void NxSetOrientation(int32_t Orientation) {
  NxGuardVoid([&] {
    if (nx::DocumentOpen() || (Orientation != 1 && Orientation != 2)) return;
    Session().Orientation = Orientation;
    nx::Device().SetOrientation(Orientation);
  });
}
NX_API int32_t NxGetOrientation(void) {
  return NxGuard(0, [] { return Session().Orientation; });
}

NX_API void NxSetPaperBin(int32_t Bin) {
  OutsideDocument([&] {
    if (Bin > 0) Session().PaperBin = Bin;
  });
}
NX_API int32_t NxGetPaperBin(void) {
  return NxGuard(-1, [] { return nx::DocumentOpen() ? -1 : Session().PaperBin; });
}

NX_API void NxSetPageSize(int32_t PaperSize) {
  OutsideDocument([&] { Session().PaperSize = PaperSize; });
}
NX_API int32_t NxGetPageSize(void) {
  return NxGuard(-1, [] { return nx::DocumentOpen() ? -1 : Session().PaperSize; });
}

NX_API void NxSetTitle(const char *Title) {
  NxGuardVoid([&] { Session().Title = nx::AnsiToWide(Title); });
}
NX_API void NxGetTitle(char *Dest) {
  NxGuardVoid([&] { nx::CopyToDest(Dest, Session().Title); });
}

NX_API void NxSetUseDIB(int32_t Flag) {
  NxGuardVoid([&] { Session().UseDIB = IsTrue(Flag); });
}
NX_API int32_t NxGetUseDIB(void) {
  return NxGuard(0, [] { return Session().UseDIB ? 1 : 0; });
}

NX_API void NxSetXerox(int32_t Flag) {
  NxGuardVoid([&] { Session().XeroxPrinter = IsTrue(Flag); });
}
NX_API int32_t NxGetXerox(void) {
  return NxGuard(0, [] { return Session().XeroxPrinter ? 1 : 0; });
}

NX_API void NxSetPrintPreview(int32_t Flag) {
  NxGuardVoid([&] { Session().PreviewMode = IsTrue(Flag); });
}

NX_API void NxSetPDFOwnerPassword(const char *Password) {
  InPDFMode([&] {
    if (!nx::DocumentOpen()) Session().PDFPassword = nx::AnsiToWide(Password);
  });
}
NX_API void NxSetPDFCompression(int32_t Flag) {
  NxGuardVoid([&] {
    if (!nx::DocumentOpen()) nx::PdfMaxCompression() = Flag == 1;
  });
}
NX_API void NxSetPDFVersion(int32_t Version) {
  InPDFMode([&] { Session().PDFVersion = Version; });
}
NX_API void NxSetPDFEncoding(int32_t Encoding) {
  InPDFMode([&] { Session().PDFEncoding = Encoding; });
}
NX_API void NxShowPDF(int32_t Flag) {
  InPDFMode([&] { Session().PDFShow = IsTrue(Flag); });
}
NX_API void NxSetPDFEmbeddedFonts(int32_t Embedding) {
  InPDFMode([&] { Session().PDFFontEmbedding = Embedding; });
}
NX_API void NxSetPDFCharSet(int32_t CharSet) {}

NX_API void NxSetPWColors(int32_t Background, int32_t Paper, int32_t Shadow, int32_t ToolBar) {
  NxGuardVoid([&] {
    nx::TPreviewInfo &p = Session().PreviewInfo;
    const int32_t keep = -999;
    if (Background != keep) p.BGColor = Background;
    if (Paper != keep) p.PaperColor = Paper;
    if (Shadow != keep) p.ShadowColor = Shadow;
    if (ToolBar != keep) p.ToolBarColor = ToolBar;
  });
}
NX_API void NxSetPWState(int32_t State) {
  NxGuardVoid([&] {
    if (State >= 0 && State <= 4) Session().PreviewInfo.State = State;
  });
}
NX_API void NxSetPWPosition(int32_t Left, int32_t Top) {
  NxGuardVoid([&] {
    Session().PreviewInfo.Left = Left;
    Session().PreviewInfo.Top = Top;
  });
}
NX_API void NxSetPWSize(int32_t Width, int32_t Height) {
  NxGuardVoid([&] {
    Session().PreviewInfo.Width = Width;
    Session().PreviewInfo.Height = Height;
  });
}
NX_API void NxSetPWBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  NxSetPWPosition(Left, Top);
  NxSetPWSize(Width, Height);
}
NX_API void NxSetPWZoomLevel(int32_t ZoomLevel) {
  NxGuardVoid([&] {
    Session().PreviewInfo.ZoomLevel = ZoomLevel;
    Session().PreviewInfo.Zoomed = true;
  });
}
NX_API void NxSetPWTopMost(int32_t TopMost) {
  NxGuardVoid([&] { Session().PreviewInfo.TopMost = TopMost; });
}

}  // extern "C"
