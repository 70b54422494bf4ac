#include "preview/Preview.h"

#include <algorithm>

#include "common/ErrorChannel.h"

namespace nx::preview {
namespace {

constexpr UINT_PTR kKeyRepeatTimer = 1;
constexpr int kKeyScroll = 20;  // one arrow-key step, as a wheel delta

// The form whose window is on the screen: one preview at a time.
TPreviewForm *g_form = nullptr;

}  // namespace

TPreviewForm::TPreviewForm(const WString &caption, const WString &printerName, const TPreviewColors &colors) {
  PREVIEWWNDW info{};
  info.cbSize = sizeof info;
  info.proc = &TPreviewForm::WindowProc;
  info.caption = caption.c_str();
  info.background = colors.Background;
  info.paper = colors.Paper;
  info.shadow = colors.Shadow;
  info.toolbar = colors.ToolBar;
  FWindow = CreatePreviewWindowW(&info);
  if (!FWindow) throw ENxError(nxeGeneral, "The preview window cannot be shown: no display is available");
  Send(PWM_SETTEXT, PWC_PRINT, reinterpret_cast<LPARAM>(printerName.c_str()));
  Send(PWM_SETTEXT, PWC_ZOOM, reinterpret_cast<LPARAM>(ZoomText(FZoom).c_str()));
  for (int id = PWC_FIRST; id <= PWC_LAST; ++id) Enable(id, false);
}

TPreviewForm::~TPreviewForm() {
  if (g_form == this) g_form = nullptr;
  if (FWindow) DestroyWindow(FWindow);
}

void TPreviewForm::SetPagesList(const std::vector<TPageMetafile> *pages) {
  Pages = pages;
  ShowPage(0);
}

void TPreviewForm::ShowModal() {
  g_form = this;
  FormShow();
  RunPreviewWindow(FWindow);
  g_form = nullptr;
  FWindow = nullptr;  // destroyed by the loop's end
}

LRESULT CALLBACK TPreviewForm::WindowProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
  // The window calls from inside its toolkit's loop: no exception may
  // leave; a failure (a refused print job) reaches the error channel and
  // the window stays.
  return NxGuard<LRESULT>(0, [&] { return g_form ? g_form->Handle(msg, wParam, lParam) : 0; });
}

LRESULT TPreviewForm::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND: Command(LOWORD(wParam)); return 0;
    case WM_KEYDOWN: FormKeyDown(wParam); return 0;
    case WM_KEYUP: FormKeyUp(wParam); return 0;
    case WM_MOUSEWHEEL:
      MouseWheel(GET_WHEEL_DELTA_WPARAM(wParam), (GET_KEYSTATE_WPARAM(wParam) & MK_CONTROL) != 0, lParam != 0);
      return 1;
    case WM_SIZE: FormResize(LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_SHOWWINDOW: {
      // The zoom waits for the window's size on the screen.
      const int level = InitialZoom(FZoomLevel);
      if (level == kZoomFitPage) PageZoomClick();
      else if (level == kZoomFitWidth) WidthZoomClick();
      else ApplyZoom(level);
      return 0;
    }
    case WM_TIMER: KeyRepeatTimer(); return 0;
    case WM_CLOSE: FormClose(); return 0;
    case PWN_PAINTPAGE: return PaintPage(*reinterpret_cast<PREVIEWPAINT *>(lParam)) ? 1 : 0;
    default: return 0;
  }
}

const TPageMetafile *TPreviewForm::ShownPage() const {
  if (!Pages || FImgIdx < 0 || FImgIdx >= static_cast<int>(Pages->size())) return nullptr;
  return &(*Pages)[static_cast<size_t>(FImgIdx)];
}

RECT TPreviewForm::ScrollClient(int contentW, int contentH) const {
  RECT r{};
  Send(PWM_GETSCROLLBOX, MAKEWPARAM(std::clamp(contentW, 0, 0xFFFF), std::clamp(contentH, 0, 0xFFFF)),
       reinterpret_cast<LPARAM>(&r));
  return r;
}

void TPreviewForm::ShowPage(int index) {
  if (!Pages || Pages->empty()) return;
  const int n = static_cast<int>(Pages->size());
  const int i = std::clamp(index, 0, n - 1);
  if (i == index && i == FImgIdx) return;
  FImgIdx = i;
  const TPageButtons b = PageButtons(i, n);
  Enable(PWC_FIRST, b.First);
  Enable(PWC_PREVIOUS, b.Previous);
  Enable(PWC_NEXT, b.Next);
  Enable(PWC_LAST, b.Last);
  Send(PWM_INVALIDATE);
  UpdatePageLabel(i + 1);
}

void TPreviewForm::UpdatePageLabel(int number) {
  const std::u16string text = PageLabel(number - 1, Pages ? static_cast<int>(Pages->size()) : 0);
  Send(PWM_SETTEXT, PWC_PAGES, reinterpret_cast<LPARAM>(text.c_str()));
}

void TPreviewForm::ApplyZoom(int zoom) {
  if (zoom == FZoom) return;
  FZoom = zoom;
  Send(PWM_SETTEXT, PWC_ZOOM, reinterpret_cast<LPARAM>(ZoomText(zoom).c_str()));
  const TPageMetafile *page = ShownPage();
  if (!page) return;
  // The paper with its shadows decides which scroll bars the area shows.
  const RECT client = ScrollClient(PaperExtent(page->Width, FFactor, zoom) + kShadow,
                                   PaperExtent(page->Height, FFactor, zoom) + kShadow);
  PREVIEWLAYOUT layout = LayoutPaper(page->Width, page->Height, FFactor, zoom, client.right - client.left,
                                     client.bottom - client.top);
  Send(PWM_LAYOUT, 0, reinterpret_cast<LPARAM>(&layout));
}

void TPreviewForm::PageZoomClick() {
  if (const TPageMetafile *page = ShownPage())
    ApplyZoom(FitPageZoom(page->Width, page->Height, FFactor, ScrollClient(), FZoom));
}

void TPreviewForm::WidthZoomClick() {
  if (const TPageMetafile *page = ShownPage()) ApplyZoom(FitWidthZoom(page->Width, FFactor, ScrollClient(), FZoom));
}

void TPreviewForm::FormResize(int clientW, int clientH) {
  Send(PWM_SETSCROLLBOX, std::max(0, clientW - 16), std::max(0, clientH - 64));
  const int zoom = FZoom;
  FZoom = 1;
  ApplyZoom(zoom);
}

void TPreviewForm::FormShow() {
  if (Pages && !Pages->empty()) ShowPage(0);
  Send(PWM_SETTOPMOST, FTopMost == 1 ? TRUE : FALSE);
  TPlacement placement;
  if (FWinState == 4) {
    const TWindowSettings stored = LoadWindowSettings(!FZoomed, FZoomLevel);
    FZoomLevel = stored.Zoom;
    placement = PlacementOf(stored);
  } else {
    RECT area[2]{};
    Send(PWM_GETWORKAREA, 0, reinterpret_cast<LPARAM>(area));
    placement = PlacementOf(FWinState, FPosition.x, FPosition.y, FSize.x, FSize.y, area[0], area[1]);
  }
  Send(PWM_SETPLACEMENT, static_cast<WPARAM>(placement.Show),
       placement.HasBounds ? reinterpret_cast<LPARAM>(&placement.Bounds) : 0);
  // The zoom follows on WM_SHOWWINDOW, when the scroll area has its size.
}

void TPreviewForm::FormClose() {
  PREVIEWPLACEMENT p{};
  Send(PWM_GETPLACEMENT, 0, reinterpret_cast<LPARAM>(&p));
  TWindowSettings s;
  s.WindowState = p.state;
  s.Left = p.bounds.left;
  s.Top = p.bounds.top;
  s.Width = p.bounds.right - p.bounds.left;
  s.Height = p.bounds.bottom - p.bounds.top;
  s.Zoom = FZoom;
  const bool saved = SaveWindowSettings(s, FTopMost);
  Send(PWM_SETTIMER, kKeyRepeatTimer, 0);
  Pages = nullptr;
  DestroyWindow(FWindow);
  if (!saved) SetLastNxError(nxeFile, "The preview window's settings could not be written to the registry");
}

void TPreviewForm::Command(int id) {
  if (!Pages && id != PWC_PRINT) return;
  switch (id) {
    case PWC_FIRST:
    case PWC_PREVIOUS:
    case PWC_NEXT:
    case PWC_LAST: ShowPage(PageTarget(id, FImgIdx, static_cast<int>(Pages->size()))); break;
    case PWC_ZOOMMINUS: ApplyZoom(StepZoom(FZoom, -1)); break;
    case PWC_ZOOMPLUS: ApplyZoom(StepZoom(FZoom, +1)); break;
    case PWC_ZOOMPAGE: PageZoomClick(); break;
    case PWC_ZOOMWIDTH: WidthZoomClick(); break;
    case PWC_PRINT: PrintClick(); break;
    default: break;
  }
}

void TPreviewForm::FormKeyDown(WPARAM key) {
  switch (key) {
    case VK_ESCAPE: FormClose(); break;
    case VK_PRIOR: Command(PWC_PREVIOUS); break;
    case VK_NEXT: Command(PWC_NEXT); break;
    case 'P': Command(PWC_PRINT); break;
    case VK_ADD: Command(PWC_ZOOMPLUS); break;
    case VK_SUBTRACT: Command(PWC_ZOOMMINUS); break;
    case VK_UP:
    case VK_DOWN: {
      const bool running = FKey != 0;
      FKey = static_cast<WORD>(key);
      MouseWheel(key == VK_UP ? kKeyScroll : -kKeyScroll, false, false);
      if (!running) Send(PWM_SETTIMER, kKeyRepeatTimer, FRepeatInterval);
      break;
    }
    default: break;
  }
}

void TPreviewForm::FormKeyUp(WPARAM) {
  if (FKey != VK_UP && FKey != VK_DOWN) return;
  Send(PWM_SETTIMER, kKeyRepeatTimer, 0);
  FKey = 0;
}

void TPreviewForm::KeyRepeatTimer() {
  if (FRepeatInterval != 100) {
    FRepeatInterval = 100;
    Send(PWM_SETTIMER, kKeyRepeatTimer, FRepeatInterval);
  }
  if (FKey) MouseWheel(FKey == VK_UP ? kKeyScroll : -kKeyScroll, false, false);
}

void TPreviewForm::MouseWheel(int delta, bool ctrl, bool pointerInside) {
  if (ctrl) {
    Command(delta > 0 ? PWC_ZOOMPLUS : PWC_ZOOMMINUS);
    return;
  }
  if (FKey != 0 || pointerInside) Send(PWM_SCROLLBY, 0, -delta);
}

bool TPreviewForm::PaintPage(PREVIEWPAINT &paint) {
  const TPageMetafile *page = ShownPage();
  return page && FImage.Paint(page->Handle, paint);
}

TPageImage::~TPageImage() {
  if (FBitmap) DeleteObject(FBitmap);
}

bool TPageImage::Reserve(int width, int height) {
  if (FBitmap && width == FWidth && height == FHeight) return true;
  if (FBitmap) DeleteObject(FBitmap);
  FBitmap = nullptr;
  FBits = nullptr;
  FWidth = FHeight = 0;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bm || !bits) {
    if (bm) DeleteObject(bm);
    return false;
  }
  FBitmap = bm;
  FBits = static_cast<uint32_t *>(bits);
  FWidth = width;
  FHeight = height;
  return true;
}

bool TPageImage::Paint(HENHMETAFILE page, PREVIEWPAINT &paint) {
  paint.bits = nullptr;
  paint.stride = 0;
  const int w = paint.clip.right - paint.clip.left, h = paint.clip.bottom - paint.clip.top;
  if (!page || w <= 0 || h <= 0 || !Reserve(w, h)) return false;
  std::fill(FBits, FBits + static_cast<size_t>(w) * h, 0x00FFFFFFu);
  // The page is played at the image's size, offset so that only the
  // clipped part lands in the bitmap.
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, FBitmap);
  const RECT target{-paint.clip.left, -paint.clip.top, paint.width - paint.clip.left,
                    paint.height - paint.clip.top};
  const BOOL played = PlayEnhMetaFile(dc, page, &target);
  GdiFlush();
  SelectObject(dc, old);
  DeleteDC(dc);
  if (!played) return false;
  paint.bits = FBits;
  paint.stride = w * 4;
  return true;
}

}  // namespace nx::preview
