// TQRCode: the QR code component. Turns a text (or an array of character
// codes) into a QR Code symbol (Model 2): tilde escapes, Structured Append,
// ECI and FNC1 headers, the choice of encoding modes, the segment bits and the
// choice of the version; the matrix itself is TQRBitMap.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "common/WString.h"
#include "platform/win32.h"
#include "qrcode/BitString.h"
#include "qrcode/QRBitMap.h"
#include "qrcode/QRTypes.h"

namespace nx {

class TMonoBitmap;

class TQRCode {
 public:
  TQRCode();
  ~TQRCode();

  // The data text. Characters up to U+00FF are bytes; any other character
  // goes in kanji mode as its Shift JIS code, and one without such a code
  // cannot be encoded. Raw character codes go through setCodeBinary.
  const WString &Code() const { return Fcode; }
  void SetCode(const WString &v) { Fcode = v; }
  TQRCodeEncoding Encoding() const { return Fencoding; }
  void SetEncoding(TQRCodeEncoding v) { Fencoding = v; }
  TQRCodeECLevel CorrectionLevel() const { return FcorrectionLevel; }
  void SetCorrectionLevel(TQRCodeECLevel v) { FcorrectionLevel = v; }
  int32_t PreferredVersion() const { return FpreferredVersion; }
  void SetPreferredVersion(int32_t v) { FpreferredVersion = v; }
  bool AutoConfigurate() const { return FautoConfigurate; }
  void SetAutoConfigurate(bool v) { FautoConfigurate = v; }
  bool ProcessTildeEnabled() const { return FprocessTilde; }
  void SetProcessTilde(bool v) { FprocessTilde = v; }
  int32_t Eci() const { return Feci; }
  void SetEci(int32_t v) { Feci = v; }
  TQRCodeFNC1Mode Fnc1Mode() const { return Ffnc1Mode; }
  void SetFnc1Mode(TQRCodeFNC1Mode v) { Ffnc1Mode = v; }
  int32_t ApplicationIndicator() const { return FapplicationIndicator; }
  void SetApplicationIndicator(int32_t v) { FapplicationIndicator = v; }
  bool StructuredAppend() const { return FstructuredAppend; }
  void SetStructuredAppend(bool v) { FstructuredAppend = v; }
  int32_t StructuredAppendCounter() const { return FstructuredAppendCounter; }
  void SetStructuredAppendCounter(int32_t v) { FstructuredAppendCounter = v; }
  int32_t StructuredAppendIndex() const { return FstructuredAppendIndex; }
  void SetStructuredAppendIndex(int32_t v) { FstructuredAppendIndex = v; }
  // The parity byte of a Structured Append header. Readers expect the parity
  // of the whole message in every symbol of a sequence; -1 (the default)
  // takes the parity of this symbol's own data, which is right only for a
  // sequence of one.
  int32_t StructuredAppendParity() const { return FstructuredAppendParity; }
  void SetStructuredAppendParity(int32_t v) { FstructuredAppendParity = v; }
  // The parity of character codes: both bytes of a kanji code, the low byte of any other.
  static int32_t Parity(std::span<const int32_t> codes);
  // Character codes used instead of the text from now on.
  void setCodeBinary(const TQRIntegerArray &a);

  // Builds the symbol from the fields: sets SelectedVersion() and replaces
  // Bitmap(). Throws ENxError (nxeData) when the data has a character no mode
  // can carry or fits no version (or not the fixed one), and (nxeArgument)
  // for a version or header value out of range; the previous symbol stays.
  void BuildSymbol();
  int32_t SelectedVersion() const { return FselectedVersion; }
  const TQRBitMap *Bitmap() const { return Fbitmap.get(); }
  const TQRVector &ControlChars() const { return FcontrolChars; }

  // Drawing. The control's own size is the target of scaled drawing.
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetBounds(int32_t width, int32_t height) { FWidth = width, FHeight = height; }
  bool AutoFit() const { return FAutoFit; }
  void SetAutoFit(bool v) { FAutoFit = v; }
  int32_t OffsetX() const { return FoffsetX; }
  int32_t OffsetY() const { return FoffsetY; }
  void SetOffset(int32_t x, int32_t y) { FoffsetX = x, FoffsetY = y; }
  int32_t MarginPixels() const { return FmarginPixels; }
  void SetMarginPixels(int32_t v) { FmarginPixels = v; }
  int32_t ModuleWidth() const { return FmoduleWidth; }
  void SetModuleWidth(int32_t v) { FmoduleWidth = v; }
  COLORREF BarColor() const { return FbarColor; }
  void SetBarColor(COLORREF v) { FbarColor = v; }
  COLORREF BackColor() const { return FbackColor; }
  void SetBackColor(COLORREF v) { FbackColor = v; }
  // Right and bottom extent of the last drawing: the symbol's far edge plus one margin.
  int32_t CurrentX() const { return FcurrentX; }
  int32_t CurrentY() const { return FcurrentY; }

  // Builds the symbol and draws it at FmoduleWidth pixels a module, after a
  // margin, at the offset. A build error propagates and nothing is drawn.
  void paintBarcode(HDC canvas);
  // Builds the symbol and draws it stretched to the control's size at (0, 0).
  void paintBarcodeAutoSize(HDC c);
  // paintBarcodeAutoSize's pixels of the control's size as a 1-bpp bitmap,
  // the colour of its first pixel first: what TSurface::Draw makes of them,
  // without a 32-bit picture of the control's size. False, and nothing made,
  // when the symbol must shrink to fit or has not two colours; a build error
  // propagates.
  bool paintBarcodeAutoSizeMono(TMonoBitmap &out);
  // The control's paint: scaled with AutoFit, else natural size through a
  // bitmap of the control's size.
  void Paint(HDC canvas);
  // A filled square of exactly size x size pixels.
  static void DrawModule(HDC canvas, int32_t x, int32_t y, COLORREF colour, int32_t size);

  // Expands tilde escapes (~~, ~dNNN, ~eNNNNNN) and records the ECI numbers
  // of ~e escapes in ControlChars() at their placeholder positions.
  WString ProcessTilde(const WString &text);
  // The complete data bit string for a version (headers and segments).
  TBitString BuildBits(std::span<const int32_t> codes, int32_t version) const;

  // Segment writers: mode, count indicator and data of the characters from
  // start, at most count of them; return the index after the last one used.
  static int32_t EncodeNumeric(std::span<const int32_t> codes, int32_t start, int32_t count, int32_t version,
                               TBitString &bs);
  static int32_t EncodeAlphanumeric(std::span<const int32_t> codes, int32_t start, int32_t count, int32_t version,
                                    TBitString &bs);
  static int32_t EncodeByte(std::span<const int32_t> codes, int32_t start, int32_t count, int32_t version,
                            TBitString &bs);
  static int32_t EncodeKanji(std::span<const int32_t> codes, int32_t start, int32_t count, int32_t version,
                             TBitString &bs);
  // The mode of every character under automatic segmentation.
  static std::vector<TQRCodeEncoding> AutoModes(std::span<const int32_t> codes, int32_t version);

 private:
  // Checks the module width and margin and builds the symbol.
  void BuildChecked();
  // Sets FcurrentX and FcurrentY for drawing the built symbol; throws when
  // its pixels would overflow.
  void Measure();
  // Draws the built symbol at natural size after Measure's checks.
  void DrawSymbol(HDC canvas);
  // The codes the segment writers take: setCodeBinary's as they are, the
  // text's bytes and Shift JIS kanji codes. Throws ENxError(nxeData) for a
  // character that has neither.
  std::vector<int32_t> CharacterCodes();
  void CheckSettings(std::span<const int32_t> codes) const;
  // The segments of a run of codes that starts at position `first` of the data.
  void EncodeData(std::span<const int32_t> codes, size_t first, int32_t version, TBitString &bs) const;

  bool FstructuredAppend = false;
  int32_t FstructuredAppendCounter = 1;
  int32_t FstructuredAppendIndex = 1;
  int32_t FstructuredAppendParity = -1;
  bool FprocessTilde = false;
  int32_t FselectedVersion = -1;
  int32_t FpreferredVersion = 1;
  TQRVector FcontrolChars;
  int32_t Feci = -1;
  bool FautoConfigurate = true;
  WString Fcode;
  TQRCodeEncoding Fencoding = ENC_AUTO;
  TQRCodeFNC1Mode Ffnc1Mode = NO;
  int32_t FapplicationIndicator = 0;
  std::unique_ptr<TQRBitMap> Fbitmap;
  TQRCodeECLevel FcorrectionLevel = LEVEL_L;
  TQRIntegerArray FcodeBinary;
  bool FuseBinary = false;

  int32_t FWidth = 200, FHeight = 200;
  bool FAutoFit = false;
  int32_t FoffsetX = 0, FoffsetY = 0;
  int32_t FmarginPixels = 30;
  int32_t FcurrentX = 0, FcurrentY = 0;
  int32_t FmoduleWidth = 4;
  COLORREF FbarColor = 0;
  COLORREF FbackColor = 0xFFFFFF;
};

// The side in printer pixels of NxQRCode's square of `size` screen pixels
// (0.264583 mm each) at dpi: trunc(dpi x round(size x 0.264583) / 25.4).
int32_t QRSymbolSide(int32_t dpi, int32_t size);

// The format bits of a level: L 1, M 0, Q 3, H 2.
int32_t QRLevelFormatBits(TQRCodeECLevel level);

}  // namespace nx
