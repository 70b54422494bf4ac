// Device type 3: a PDF file. The session's PDF settings go to the PDF engine
// in a fixed order, then every page metafile is played into it.
#include <string>

#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/NxPrinter.h"
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

TgtPaperSize MapPaperSize(int32_t paper) {
  if (paper >= 1 && paper <= 18) return static_cast<TgtPaperSize>(paper - 1);
  if (paper == 19) return Custom;
  if (paper >= 20 && paper <= 41) return static_cast<TgtPaperSize>(paper - 2);
  return A4;
}

int32_t MapPaperSizeOrdinal(int32_t paper) { return MapPaperSize(paper); }
int32_t MapPDFVersionOrdinal(int32_t version) { return MapPDFVersion(version); }
int32_t MapPDFEncodingOrdinal(int32_t encoding) { return MapPDFEncoding(encoding); }
int32_t MapFontEmbeddingOrdinal(int32_t embedding) { return MapFontEmbedding(embedding); }

namespace {

// The size of the first recorded page in the engine's measurement unit,
// from its metafile frame (hundredths of a millimetre); false without one.
bool RecordedPageSize(const TgtCustomDocumentEngine &engine, double &w, double &h) {
  const TNxPrinter &pages = PageStore();
  if (pages.PagesCount() == 0) return false;
  ENHMETAHEADER hdr{};
  if (!GetEnhMetaFileHeader(pages.GetPage(0).Handle, sizeof hdr, &hdr)) return false;
  const double mmW = (hdr.rclFrame.right - hdr.rclFrame.left) / 100.0;
  const double mmH = (hdr.rclFrame.bottom - hdr.rclFrame.top) / 100.0;
  if (mmW <= 0 || mmH <= 0) return false;
  const double pxPerMm = gtScreenResolution / 25.4;
  w = mmW * pxPerMm / engine.NativeConversionFactor();
  h = mmH * pxPerMm / engine.NativeConversionFactor();
  return true;
}

}  // namespace

// The paper of an engine page: the engine's table size for the papers it
// has; for Custom and for numbers from 256 on (label printers) the recorded
// page's own size, so that the page is never drawn onto an older sheet.
void SetEnginePaper(TgtCustomDocumentEngine &engine, int32_t paper) {
  const TgtPaperSize size = MapPaperSize(paper);
  double w = 0, h = 0;
  if ((paper >= 256 || size == Custom) && RecordedPageSize(engine, w, h)) {
    TgtPageSettings &page = engine.Page();
    page.SetPaperSize(Custom);
    // The recorded page is in the document's orientation already; the
    // page loop swaps width and height when the engine page's orientation
    // changes, so they are stored the other way round then.
    const bool swaps = (page.Orientation() == poLandscape) != (Session().Orientation == DMORIENT_LANDSCAPE);
    page.SetWidth(swaps ? h : w);
    page.SetHeight(swaps ? w : h);
    return;
  }
  if (paper < 256) engine.Page().SetPaperSize(size);
}

void PlayPagesInto(TgtCustomDocumentEngine &engine) {
  const TNxPrinter &pages = PageStore();
  const int count = pages.PagesCount();
  if (count == 0) return;
  engine.Page().SetOrientation(Session().Orientation == DMORIENT_LANDSCAPE ? poLandscape : poPortrait);
  const double w = engine.Page().Width(), h = engine.Page().Height();
  engine.BeginDoc();
  try {
    for (int i = 0; i < count; ++i) {
      if (HENHMETAFILE emf = pages.GetPage(i).Handle) engine.PlayMetafile(TgtRect{0, 0, w, h}, emf);
      if (i != count - 1) engine.NewPage();
    }
  } catch (...) {
    // The engine always ends its document; the first error is the one reported.
    try {
      engine.EndDoc();
    } catch (...) {
    }
    throw;
  }
  engine.EndDoc();
}

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
