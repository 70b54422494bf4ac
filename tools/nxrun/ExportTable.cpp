#include "ExportTable.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <tuple>
#include <type_traits>

#include "noxtrel.h"

namespace nxrun {
namespace {

// Result buffers are larger than any string the library writes.
constexpr int32_t kBufferSize = 65536;

// A pointer-and-size argument (NxPrintRawData), given in the script as one
// quoted string whose bytes are passed with their count.
struct Bytes {
  const void *data;
  int32_t size;
};

// The arguments of one call while they are bound to parameters.
struct Binding {
  explicit Binding(const Call &c) : call(c) {}
  const Call &call;
  size_t next = 0;
  std::deque<std::vector<char>> buffers;  // result buffers, printed afterwards

  const Arg &Take(Arg::Kind kind) {
    if (next >= call.args.size()) throw ScriptError("too few arguments for " + call.name);
    const Arg &arg = call.args[next++];
    if (arg.kind != kind)
      throw ScriptError("argument " + std::to_string(next) + " of " + call.name + " must be " +
                        (kind == Arg::Number ? "a number" : "a string in double quotes"));
    return arg;
  }
};

template <typename T>
T Bind(Binding &b);

template <>
int32_t Bind<int32_t>(Binding &b) {
  return b.Take(Arg::Number).number;
}
template <>
const char *Bind<const char *>(Binding &b) {
  return b.Take(Arg::String).bytes.c_str();
}
template <>
Bytes Bind<Bytes>(Binding &b) {
  const std::string &s = b.Take(Arg::String).bytes;
  return Bytes{s.data(), static_cast<int32_t>(s.size())};
}
template <>
char *Bind<char *>(Binding &b) {
  b.buffers.emplace_back(static_cast<size_t>(kBufferSize), '\0');
  return b.buffers.back().data();
}

template <typename R>
void AddResult(std::vector<std::string> &out, R value) {
  if constexpr (std::is_same_v<R, char *>) {
    (void)value;  // a string result is its Dest buffer, printed below
  } else {
    out.push_back(std::to_string(value));
  }
}

using Adapter = std::vector<std::string> (*)(const Call &);

// Binds the script's arguments to the parameters in order, calls the export
// and collects the printed lines.
template <auto Fn, typename R, typename... A>
std::vector<std::string> Run(const Call &call) {
  Binding b(call);
  std::tuple<A...> args{Bind<A>(b)...};
  if (b.next != call.args.size())
    throw ScriptError(call.name + " takes fewer arguments than the " + std::to_string(call.args.size()) + " given");
  std::vector<std::string> out;
  if constexpr (std::is_void_v<R>) {
    std::apply(Fn, args);
  } else {
    AddResult(out, std::apply(Fn, args));
  }
  for (const auto &buf : b.buffers) out.push_back(AnsiToUtf8(buf.data()));
  return out;
}

template <auto Fn, typename R, typename... A>
constexpr Adapter MakeAdapter(R(NX_CALL *)(A...)) {
  return &Run<Fn, R, A...>;
}

#define NX_ENTRY(fn) {#fn, MakeAdapter<&fn>(&fn)}

// Exports whose C signature needs help: a buffer with its size, bytes with
// their count.
void LastErrorText(char *dest) { NxGetLastErrorText(dest, kBufferSize); }
void PrintRawData(Bytes bytes) { NxPrintRawData(bytes.data, bytes.size); }

const std::map<std::string, Adapter> &Table() {
  static const std::map<std::string, Adapter> table = {
      {"NxGetLastErrorText", &Run<&LastErrorText, void, char *>},
      NX_ENTRY(NxGetLastError),
      NX_ENTRY(NxInit),
      NX_ENTRY(NxAbort),
      NX_ENTRY(NxBeginDoc),
      NX_ENTRY(NxNewPage),
      NX_ENTRY(NxEndDoc),
      NX_ENTRY(NxGetVersion),
      NX_ENTRY(NxGetDocVersion),
      NX_ENTRY(NxIsPreviewVisible),
      NX_ENTRY(NxSetAsciiToAnsi),
      NX_ENTRY(NxGetAsciiToAnsi),
      NX_ENTRY(NxSetBorderThickness),
      NX_ENTRY(NxGetBorderThickness),
      NX_ENTRY(NxSetBorderColor),
      NX_ENTRY(NxGetBorderColor),
      NX_ENTRY(NxSetCopies),
      NX_ENTRY(NxGetCopies),
      NX_ENTRY(NxSetDecimalSep),
      NX_ENTRY(NxGetDecimalSep),
      NX_ENTRY(NxSetDevice),
      NX_ENTRY(NxSetDirectPrint),
      NX_ENTRY(NxSetDuplex),
      NX_ENTRY(NxGetDuplex),
      NX_ENTRY(NxSetFileName),
      NX_ENTRY(NxSetFillColor),
      NX_ENTRY(NxGetFillColor),
      NX_ENTRY(NxSetFillPattern),
      NX_ENTRY(NxGetFillPattern),
      NX_ENTRY(NxSetFontName),
      NX_ENTRY(NxGetFontName),
      NX_ENTRY(NxSetFontSize),
      NX_ENTRY(NxSetFontStyle),
      NX_ENTRY(NxGetFontSize),
      NX_ENTRY(NxGetFontStyle),
      NX_ENTRY(NxSetFontFColor),
      NX_ENTRY(NxGetFontFColor),
      NX_ENTRY(NxSetFontBColor),
      NX_ENTRY(NxGetFontBColor),
      NX_ENTRY(NxSetFontAngle),
      NX_ENTRY(NxGetFontAngle),
      NX_ENTRY(NxSetJustify),
      NX_ENTRY(NxGetJustify),
      NX_ENTRY(NxSetOrientation),
      NX_ENTRY(NxGetOrientation),
      NX_ENTRY(NxSetPaperBin),
      NX_ENTRY(NxGetPaperBin),
      NX_ENTRY(NxSetPageSize),
      NX_ENTRY(NxGetPageSize),
      NX_ENTRY(NxGetDefaultPrinter),
      NX_ENTRY(NxGetPrinter),
      NX_ENTRY(NxSetTitle),
      NX_ENTRY(NxGetTitle),
      NX_ENTRY(NxSetUseDIB),
      NX_ENTRY(NxGetUseDIB),
      NX_ENTRY(NxSetXerox),
      NX_ENTRY(NxGetXerox),
      NX_ENTRY(NxSetPrintPreview),
      NX_ENTRY(NxSetPDFOwnerPassword),
      NX_ENTRY(NxSetPDFVersion),
      NX_ENTRY(NxSetPDFEncoding),
      NX_ENTRY(NxShowPDF),
      NX_ENTRY(NxSetPDFEmbeddedFonts),
      NX_ENTRY(NxSetPDFCharSet),
      NX_ENTRY(NxSetPDFCompression),
      NX_ENTRY(NxSetPWColors),
      NX_ENTRY(NxSetPWState),
      NX_ENTRY(NxSetPWPosition),
      NX_ENTRY(NxSetPWSize),
      NX_ENTRY(NxSetPWBounds),
      NX_ENTRY(NxSetPWZoomLevel),
      NX_ENTRY(NxSetPWTopMost),
      NX_ENTRY(NxSetUnit),
      NX_ENTRY(NxGetUnit),
      NX_ENTRY(NxSetCoorSystem),
      NX_ENTRY(NxGetCoorSystem),
      NX_ENTRY(NxSetCPI),
      NX_ENTRY(NxGetCPI),
      NX_ENTRY(NxSetLPI),
      NX_ENTRY(NxGetLPI),
      NX_ENTRY(NxSetRowCol),
      NX_ENTRY(NxGetMaxWidth),
      NX_ENTRY(NxGetMaxHeight),
      NX_ENTRY(NxGetPrinterCount),
      NX_ENTRY(NxGetPrinterNames),
      NX_ENTRY(NxSetPrinter),
      NX_ENTRY(NxGetPrinterHandle),
      NX_ENTRY(NxGetPrinterCaps),
      NX_ENTRY(NxGetPaperCount),
      NX_ENTRY(NxGetPaperNames),
      NX_ENTRY(NxGetPaperNumbers),
      NX_ENTRY(NxGetPaperBinCount),
      NX_ENTRY(NxGetPaperBinNames),
      NX_ENTRY(NxGetPaperBinNumbers),
      NX_ENTRY(NxGetFontCount),
      NX_ENTRY(NxGetFontNames),
      NX_ENTRY(NxPrintDialog),
      NX_ENTRY(NxBeginRawDoc),
      {"NxPrintRawData", &Run<&PrintRawData, void, Bytes>},
      NX_ENTRY(NxEndRawDoc),
      NX_ENTRY(NxBarCode),
      NX_ENTRY(NxQRCode),
      NX_ENTRY(NxTextOutEx),
      NX_ENTRY(NxTextOut),
      NX_ENTRY(NxUnicodeCharEx),
      NX_ENTRY(NxUnicodeChar),
      NX_ENTRY(NxGetTextWidth),
      NX_ENTRY(NxGetTextHeight),
      NX_ENTRY(NxTextBoxEx),
      NX_ENTRY(NxTextBox),
      NX_ENTRY(NxLineEx),
      NX_ENTRY(NxLine),
      NX_ENTRY(NxFrameEx),
      NX_ENTRY(NxFrame),
      NX_ENTRY(NxEllipseEx),
      NX_ENTRY(NxEllipse),
      NX_ENTRY(NxBitmap),
  };
  return table;
}

}  // namespace

std::vector<std::string> Invoke(const Call &call) {
  auto it = Table().find(call.name);
  if (it == Table().end()) throw ScriptError("unknown function " + call.name);
  return it->second(call);
}

}  // namespace nxrun
