// What the three export outputs share: the engine page's paper from the
// session's paper number, and the page loop that plays every recorded page
// into an engine.
#include "device/NxPrinter.h"
#include "export/gtCstDocEng.h"
#include "session/Library.h"
#include "session/Outputs.h"
#include "session/Session.h"

namespace nx {

TgtPaperSize MapPaperSize(int32_t paper) {
  if (paper >= 1 && paper <= 18) return static_cast<TgtPaperSize>(paper - 1);
  if (paper == 19) return Custom;
  if (paper >= 20 && paper <= 41) return static_cast<TgtPaperSize>(paper - 2);
  return A4;
}

int32_t MapPaperSizeOrdinal(int32_t paper) { return MapPaperSize(paper); }

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

}  // namespace nx
