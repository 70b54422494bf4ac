// What the three export outputs share: the engine page's paper from the
// session's paper number, and the page loop that plays every recorded page
// into an engine.
#include <cmath>

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

// Printer pixels at dpi as the engine's measurement unit.
double ToEngineUnit(const TgtCustomDocumentEngine &engine, int pixels, int dpi) {
  return double(pixels) / dpi * gtScreenResolution / engine.NativeConversionFactor();
}

// The sheet of the first recorded page in the engine's measurement unit,
// from the printer it was recorded for; false without one.
bool RecordedPageSize(const TgtCustomDocumentEngine &engine, double &w, double &h) {
  const TNxPrinter &pages = PageStore();
  if (pages.PagesCount() == 0) return false;
  const TPageMetafile &page = pages.GetPage(0);
  if (page.SheetWidth <= 0 || page.SheetHeight <= 0 || page.DpiX <= 0 || page.DpiY <= 0) return false;
  w = ToEngineUnit(engine, page.SheetWidth, page.DpiX);
  h = ToEngineUnit(engine, page.SheetHeight, page.DpiY);
  return true;
}

// The page's frame against the pixels it was made from, on one axis. The
// frame holds the page in 0.01 mm of the reference device, rounded, and the
// player maps the frame onto the target: a target sized by the frame as
// recorded puts every recorded pixel at the printer's resolution, on both
// axes alike, so that text keeps the widths of its font. 1 when the frame
// is not the page's size rounded.
double FrameRounding(LONG frame, LONG devicePixels, LONG deviceMm, int pagePixels) {
  if (frame <= 0 || devicePixels <= 0 || deviceMm <= 0 || pagePixels <= 0) return 1;
  const double perPixel = 100.0 * deviceMm / devicePixels;  // as the player reads the frame
  const double exact = pagePixels * perPixel;
  if (std::fabs(frame - exact) > 0.5 + 1e-9 * exact) return 1;
  return frame / perPixel / pagePixels;
}

// Where a recorded page goes on the engine's sheet: the printer's printable
// area at its offset from the sheet's corner. The metafile covers only that
// area, so playing it over the whole sheet would stretch it by the margins.
// A page without its printer's figures fills the sheet (w x h).
TgtRect PrintableRect(const TgtCustomDocumentEngine &engine, const TPageMetafile &page, double w, double h) {
  if (page.DpiX <= 0 || page.DpiY <= 0 || page.PrinterWidth <= 0 || page.PrinterHeight <= 0) return {0, 0, w, h};
  double rx = 1, ry = 1;
  ENHMETAHEADER header{};
  if (page.Handle && GetEnhMetaFileHeader(page.Handle, sizeof header, &header) != 0) {
    rx = FrameRounding(header.rclFrame.right - header.rclFrame.left, header.szlDevice.cx,
                       header.szlMillimeters.cx, page.Width);
    ry = FrameRounding(header.rclFrame.bottom - header.rclFrame.top, header.szlDevice.cy,
                       header.szlMillimeters.cy, page.Height);
  }
  const double left = ToEngineUnit(engine, page.OffsetX, page.DpiX);
  const double top = ToEngineUnit(engine, page.OffsetY, page.DpiY);
  return {left, top, left + ToEngineUnit(engine, page.PrinterWidth, page.DpiX) * rx,
          top + ToEngineUnit(engine, page.PrinterHeight, page.DpiY) * ry};
}

}  // namespace

// The paper of an engine page: the engine's table size for the papers it
// has; for Custom and for numbers from 256 on (label printers) the sheet the
// pages were recorded for, so that a page is never drawn onto an older one.
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
  TNxPrinter &pages = PageStore();
  const int count = pages.PagesCount();
  if (count == 0) return;
  engine.Page().SetOrientation(Session().Orientation == DMORIENT_LANDSCAPE ? poLandscape : poPortrait);
  const double w = engine.Page().Width(), h = engine.Page().Height();
  engine.BeginDoc();
  // The engine may render each page once the next one opens.
  engine.SetExpectedPageCount(count);
  try {
    for (int i = 0; i < count; ++i) {
      const TPageMetafile &page = pages.GetPage(i);
      if (page.Handle) engine.PlayPageAt(PrintableRect(engine, page, w, h), page.Handle);
      // The engine reads the page when the next one opens (or at its end);
      // its recording goes then, so that the recorded pages and the
      // engine's items of every page are never in memory together.
      if (i == count - 1) break;
      engine.NewPage();
      pages.ReleasePage(i);
    }
  } catch (...) {
    // The engine always ends its document, but a document that could not
    // be made is not written: an earlier file of that name stays. The
    // first error is the one reported.
    engine.EndDocAfterFailure(std::current_exception());
    throw;
  }
  engine.EndDoc();
  pages.ReleasePage(count - 1);
}

}  // namespace nx
