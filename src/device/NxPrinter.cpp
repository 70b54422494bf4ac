#include "device/NxPrinter.h"

#include <utility>

namespace nx {
namespace {

// The factor by which the system scales the process's screen: 96 unscaled,
// 144 at 150 %.
int ScreenScalingFactor() {
  HWND desktop = GetDesktopWindow();
  HDC dc = GetWindowDC(desktop);
  int factor = MulDiv(96, GetDeviceCaps(dc, DESKTOPVERTRES), GetDeviceCaps(dc, VERTRES));
  ReleaseDC(desktop, dc);
  return factor > 0 ? factor : 96;
}

// The system's default font before the session sets one.
constexpr double kDefaultFontPoints = 8;

}  // namespace

TNxPrinter::TNxPrinter(std::function<HDC()> printerDC) : printerDC_(std::move(printerDC)) {}

TNxPrinter::~TNxPrinter() {
  CloseCanvas(false);
  ClearPages();
}

int TNxPrinter::PageWidth() { return GetDeviceCaps(printerDC_(), HORZRES); }

int TNxPrinter::PageHeight() { return GetDeviceCaps(printerDC_(), VERTRES); }

int TNxPrinter::CloseCanvas(bool saveState) {
  if (!canvas_) return 0;
  int saved = saveState ? SaveDC(canvasDC_) : 0;
  canvas_.reset();  // deselects and deletes the page's objects
  pages_.back().Handle = CloseEnhMetaFile(canvasDC_);
  canvasDC_ = nullptr;
  return saved;
}

void TNxPrinter::BeginDoc() {
  if (printing_) throw ENxPrinter("Printing in progress");
  printing_ = true;
  pageNumber_ = 1;
  Canvas();
  CloseCanvas(false);
  ClearPages();
}

void TNxPrinter::NewPage() {
  int saved = CloseCanvas(true);

  const int factor = ScreenScalingFactor();
  HDC printer = printerDC_();
  TPageMetafile page;
  page.PrinterWidth = GetDeviceCaps(printer, HORZRES);
  page.PrinterHeight = GetDeviceCaps(printer, VERTRES);
  page.Width = page.PrinterWidth * 96 / factor;
  page.Height = page.PrinterHeight * 96 / factor;
  page.DpiX = GetDeviceCaps(printer, LOGPIXELSX);
  page.DpiY = GetDeviceCaps(printer, LOGPIXELSY);
  page.SheetWidth = GetDeviceCaps(printer, PHYSICALWIDTH);
  page.SheetHeight = GetDeviceCaps(printer, PHYSICALHEIGHT);
  page.OffsetX = GetDeviceCaps(printer, PHYSICALOFFSETX);
  page.OffsetY = GetDeviceCaps(printer, PHYSICALOFFSETY);

  HDC screen = GetDC(nullptr);
  RECT frame{0, 0, MulDiv(page.Width, GetDeviceCaps(screen, HORZSIZE) * 100, GetDeviceCaps(screen, HORZRES)),
             MulDiv(page.Height, GetDeviceCaps(screen, VERTSIZE) * 100, GetDeviceCaps(screen, VERTRES))};
  HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
  ReleaseDC(nullptr, screen);
  if (!dc) throw ENxPrinter("Cannot create the page metafile");
  pages_.push_back(page);
  canvasDC_ = dc;
  canvas_ = std::make_unique<TSurface>(dc);

  if (saved != 0) {
    RestoreDC(dc, saved);
    canvas_->MoveTo(0, 0);
  }
  ++pageNumber_;

  // Point sizes give the right pixel heights on the printer.
  TFont &font = canvas_->Font();
  font.PixelsPerInch = GetDeviceCaps(printerDC_(), LOGPIXELSY);
  font.SetSize(kDefaultFontPoints);
}

void TNxPrinter::EndDoc() {
  if (!printing_) throw ENxPrinter("Printer is not currently printing");
  CloseCanvas(false);
  printing_ = false;
  pageNumber_ = 0;
}

void TNxPrinter::Abort() {
  if (!printing_) throw ENxPrinter("Printer is not currently printing");
  CloseCanvas(false);
  printing_ = false;
  pageNumber_ = 0;
  ClearPages();
}

void TNxPrinter::ClearPages() {
  CloseCanvas(false);
  while (!pages_.empty()) {
    if (pages_.back().Handle) DeleteEnhMetaFile(pages_.back().Handle);
    pages_.pop_back();
  }
}

const TPageMetafile &TNxPrinter::GetPage(int index) const {
  if (index < 0 || index >= PagesCount()) throw ENxPrinter("Printer page not valid");
  return pages_[static_cast<size_t>(index)];
}

void TNxPrinter::ReleasePage(int index) {
  TPageMetafile &page = const_cast<TPageMetafile &>(GetPage(index));
  if (page.Handle) DeleteEnhMetaFile(page.Handle);
  page.Handle = nullptr;
}

TSurface &TNxPrinter::Canvas() {
  if (!canvas_) NewPage();
  return *canvas_;
}

}  // namespace nx
