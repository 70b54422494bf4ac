// Device type 3: a PDF file. The session's PDF settings go to the PDF engine
// in a fixed order, then every page metafile is played into it.
#include <string>

#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "export/gtExPDFEng.h"
#include "session/Library.h"
#include "session/Outputs.h"
#include "session/Session.h"

namespace nx {

TgtPDFVersion MapPDFVersion(int32_t v) {
  return v >= 0 && v <= 6 ? static_cast<TgtPDFVersion>(v) : PDF_VER16;
}

TgtPDFFontEncoding MapPDFEncoding(int32_t v) {
  switch (v) {
    case 1: return feStandardEncoding;
    case 2: return fePDFDocEncoding;
    default: return feWinAnsiEncoding;
  }
}

TgtTTFontEmbedding MapFontEmbedding(int32_t v) {
  switch (v) {
    case 1: return etfFull;
    case 2: return etfSubset;
    default: return etfNone;
  }
}

int32_t MapPDFVersionOrdinal(int32_t version) { return MapPDFVersion(version); }
int32_t MapPDFEncodingOrdinal(int32_t encoding) { return MapPDFEncoding(encoding); }
int32_t MapFontEmbeddingOrdinal(int32_t embedding) { return MapFontEmbedding(embedding); }

void ExportPdf() {
  const TNoxtrelRec &s = Session();
  TgtPDFEngine &engine = PdfEngine();
  engine.SetFileName(s.FileName);
  engine.SetPDFVersion(MapPDFVersion(s.PDFVersion));
  engine.SetFontEncoding(MapPDFEncoding(s.PDFEncoding));
  engine.Preferences().FEmbedTrueTypeFonts = MapFontEmbedding(s.PDFFontEmbedding);
  SetEnginePaper(engine, s.PaperSize);
  engine.DocInfo().FTitle = s.Title;
  engine.Preferences().FOpenAfterCreate = s.PDFShow;
  engine.Compression().Enabled = true;
  engine.Compression().Level = PdfMaxCompression() ? clMaxCompress : clNormal;
  TgtPDFEncryptionSettings &enc = engine.Encryption();
  // Without a password the document is not encrypted, also when the one
  // before it was.
  enc.SetEnabled(!s.PDFPassword.empty());
  if (enc.Enabled()) {
    const std::string pw = WideToAnsi(s.PDFPassword);
    enc.SetOwnerPassword(pw);
    enc.SetUserPassword(pw);
    enc.SetLevel(elRC4_128Bit);
    enc.SetUserPermissions({AllowCopy, AllowPrint, AllowAnnotation});
  }
  PlayPagesInto(engine);
}

}  // namespace nx
