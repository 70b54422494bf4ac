// The page store: a document recorded as an ordered list of pages, each page
// one enhanced metafile at the selected printer's resolution.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "device/Surface.h"
#include "platform/win32.h"

namespace nx {

// Raised when the page store is used in the wrong state.
class ENxPrinter : public ENxError {
 public:
  explicit ENxPrinter(const std::string &message) : ENxError(nxePrinter, message) {}
};

// One recorded page. The handle is set when the page's recording is finished;
// the size is the nominal size the metafile was created with.
struct TPageMetafile {
  HENHMETAFILE Handle = nullptr;
  int Width = 0;
  int Height = 0;
  // The printer the page is recorded for: its printable area in pixels and
  // its resolution in pixels per inch.
  int PrinterWidth = 0;
  int PrinterHeight = 0;
  int DpiX = 0;
  int DpiY = 0;
  // Where that area lies on the sheet: the sheet's size in printer pixels
  // and the printable area's distance from the sheet's top-left corner.
  int SheetWidth = 0;
  int SheetHeight = 0;
  int OffsetX = 0;
  int OffsetY = 0;
};

class TNxPrinter {
 public:
  // Pages are recorded at the resolution of the printer whose device
  // context printerDC gives (read anew for every page).
  explicit TNxPrinter(std::function<HDC()> printerDC);
  ~TNxPrinter();
  TNxPrinter(const TNxPrinter &) = delete;
  TNxPrinter &operator=(const TNxPrinter &) = delete;

  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  void ClearPages();

  // The metafile of page index (from 0); throws outside the list.
  const TPageMetafile &GetPage(int index) const;
  // Frees the metafile of page index once the document's output has taken
  // it; the page keeps its figures and a null handle. Throws outside the list.
  void ReleasePage(int index);
  int PagesCount() const { return static_cast<int>(pages_.size()); }
  const std::vector<TPageMetafile> &PagesList() const { return pages_; }

  // The recording surface of the current page; opens a page if none is open.
  TSurface &Canvas();
  // Whether a page is open (Canvas would otherwise open one).
  bool PageOpen() const { return canvas_ != nullptr; }
  HDC Handle() { return Canvas().Handle(); }
  int PageWidth();
  int PageHeight();
  int PageNumber() const { return pageNumber_; }
  bool Printing() const { return printing_; }

 private:
  // Finishes the open page's metafile; returns the SaveDC index taken first
  // when saveState is set.
  int CloseCanvas(bool saveState);

  std::function<HDC()> printerDC_;
  std::vector<TPageMetafile> pages_;
  HDC canvasDC_ = nullptr;  // the recording of the current page
  std::unique_ptr<TSurface> canvas_;
  int pageNumber_ = 0;
  bool printing_ = false;
};

}  // namespace nx
