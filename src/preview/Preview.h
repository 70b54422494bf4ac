// TPreviewForm: the modal preview window of device type 2. The form keeps the
// state and the rules (paging, zoom, fitting, placement, keys, the stored
// geometry, printing); the UI module's window shows it and reports the
// user's actions.
#pragma once

#include <cstdint>
#include <vector>

#include "common/WString.h"
#include "device/NxPrinter.h"
#include "platform/win32.h"
#include "preview/PreviewLayout.h"

namespace nx {
class TSysPrinter;
}

namespace nx::preview {

// Where the window's geometry is kept between showings (HKEY_CURRENT_USER).
inline constexpr const WCHAR *kRegistryKey = u"Software\\Vantorix\\Noxtrel32\\Preview";

// The stored settings, or the defaults when the key is not there. The zoom
// is read only when `withZoom` is set; otherwise `zoom` is kept.
TWindowSettings LoadWindowSettings(bool withZoom, int zoom);
// Writes the window's geometry, zoom and top-most flag; false when the
// registry refused.
bool SaveWindowSettings(const TWindowSettings &s, int topMost);

struct TPreviewColors {
  COLORREF Background = 0x5F5F5F, Paper = 0xFFFFFF, Shadow = 0, ToolBar = 0xFF00000F;
};

// The pixels of the page image the window shows: a DIB section kept from
// one paint to the next and made anew only when the visible part changes
// size, so that scrolling, paging and zooming draw without allocating.
class TPageImage {
 public:
  TPageImage() = default;
  ~TPageImage();
  TPageImage(const TPageImage &) = delete;
  TPageImage &operator=(const TPageImage &) = delete;

  // Draws the part `paint.clip` of `page` at `paint.width` x `paint.height`
  // pixels on white and points `paint.bits` and `paint.stride` at it.
  bool Paint(HENHMETAFILE page, PREVIEWPAINT &paint);

 private:
  bool Reserve(int width, int height);

  HBITMAP FBitmap = nullptr;
  uint32_t *FBits = nullptr;
  int FWidth = 0, FHeight = 0;
};

class TPreviewForm {
 public:
  // Creates the window (hidden); throws when no window can be shown.
  TPreviewForm(const WString &caption, const WString &printerName, const TPreviewColors &colors);
  ~TPreviewForm();
  TPreviewForm(const TPreviewForm &) = delete;
  TPreviewForm &operator=(const TPreviewForm &) = delete;

  // The pages (not owned); shows the first.
  void SetPagesList(const std::vector<TPageMetafile> *pages);
  void SetWinPos(int left, int top) { FPosition = {left, top}; }
  void SetWinSize(int width, int height) { FSize = {width, height}; }
  // Shows the window and returns when the user closed it.
  void ShowModal();

  double FFactor = 1.0;
  int32_t FCopies = 1;
  int32_t FOrientation = 0;
  int32_t FWinState = 4;
  int32_t FZoomLevel = -1;
  bool FZoomed = false;
  int32_t FTopMost = 0;

  int ImgIdx() const { return FImgIdx; }
  int Zoom() const { return FZoom; }

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);

  void ShowPage(int index);
  void UpdatePageLabel(int number);
  void ApplyZoom(int zoom);
  void FormShow();
  void FormClose();
  void FormResize(int clientW, int clientH);
  void FormKeyDown(WPARAM key);
  void FormKeyUp(WPARAM key);
  void KeyRepeatTimer();
  void MouseWheel(int delta, bool ctrl, bool pointerInside);
  void Command(int id);
  void PageZoomClick();
  void WidthZoomClick();
  void PrintClick();
  bool PaintPage(PREVIEWPAINT &paint);

  LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const { return SendMessageW(FWindow, msg, wParam, lParam); }
  void Enable(int id, bool on) const { Send(PWM_ENABLE, id, on ? TRUE : FALSE); }
  // The scroll area's client rectangle with content of that size.
  RECT ScrollClient(int contentW = 0, int contentH = 0) const;
  const TPageMetafile *ShownPage() const;

  HWND FWindow = nullptr;
  const std::vector<TPageMetafile> *Pages = nullptr;
  int FImgIdx = -1;
  int FZoom = 100;
  WORD FKey = 0;
  int FRepeatInterval = 400;
  POINT FPosition{0, 0};
  POINT FSize{-1, -1};
  bool FClosed = false;
  TPageImage FImage;  // outlives the window, which shows its pixels
};

// Draws pages [from, to] (1-based; all when `all`) of `pages` on a printer
// job, each page stretched over the printable area; a new sheet only
// between two printed pages.
void PrintPages(TSysPrinter &printer, const std::vector<TPageMetafile> &pages, bool all, int from, int to);

}  // namespace nx::preview
