#include "preview/PreviewLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace nx::preview {

int PaperExtent(int pagePixels, double factor, int zoom) {
  return static_cast<int>(std::trunc(pagePixels / factor * zoom)) / 100 + 2 * kPaperMargin;
}

PREVIEWLAYOUT LayoutPaper(int pageW, int pageH, double factor, int zoom, int areaW, int areaH) {
  const int w = PaperExtent(pageW, factor, zoom), h = PaperExtent(pageH, factor, zoom);
  const int left = w <= areaW ? (areaW - w) / 2 : 0;
  const int top = h <= areaH ? (areaH - h) / 2 : 0;
  PREVIEWLAYOUT l{};
  l.paper = {left, top, left + w, top + h};
  l.shadowRight = {left + w, top + kShadow, left + w + kShadow, top + kShadow + h};
  l.shadowBottom = {left + kShadow, top + h, left + kShadow + w, top + h + kShadow};
  return l;
}

int StepZoom(int zoom, int step) { return std::clamp(zoom + kZoomStep * step, kMinZoom, kMaxZoom); }

RECT FitRect(const RECT &target, const RECT &source, bool center) {
  const int tw = std::abs(target.right - target.left + 1), th = std::abs(target.bottom - target.top + 1);
  const int sw = std::abs(source.right - source.left + 1), sh = std::abs(source.bottom - source.top + 1);
  RECT r{};
  if (th <= 0 || sh <= 0) return target;
  const double a = static_cast<double>(sw) / sh;
  if (static_cast<double>(tw) / th >= a) {
    const int g = static_cast<int>(std::ceil(th * a));
    r = {0, 0, g - 1, th - 1};
    if (center) r.left += (tw - g) / 2, r.right += (tw - g) / 2;
  } else {
    const int g = static_cast<int>(std::ceil(tw / a));
    r = {0, 0, tw - 1, g - 1};
    if (center) r.top += (th - g) / 2, r.bottom += (th - g) / 2;
  }
  r.left += target.left, r.right += target.left;
  r.top += target.top, r.bottom += target.top;
  return r;
}

namespace {
// The page's width in screen pixels at 100 %, the divisor of both fits.
int ScreenWidth(int pageW, double factor) { return static_cast<int>(std::trunc(pageW / factor)); }
}  // namespace

int FitPageZoom(int pageW, int pageH, double factor, const RECT &client, int current) {
  const int divisor = ScreenWidth(pageW, factor);
  if (divisor <= 0) return current;
  const RECT source{0, 0, pageW + 2 * kPaperMargin, pageH + 2 * kPaperMargin};
  const RECT target{client.left, client.top, client.right - 10, client.bottom - 20};
  const RECT fitted = FitRect(target, source, true);
  return ((fitted.right - fitted.left) - 2 * kPaperMargin) * 100 / divisor;
}

int FitWidthZoom(int pageW, double factor, const RECT &client, int current) {
  const int divisor = ScreenWidth(pageW, factor);
  if (divisor <= 0) return current;
  return ((client.right - client.left) - 64) * 100 / divisor;
}

int InitialZoom(int level) {
  if (level < 0) return level == kZoomFitPage ? kZoomFitPage : kZoomFitWidth;
  return level < kMinZoom || level > kMaxZoom ? 100 : level;
}

namespace {
std::u16string Decimal(int n) {
  std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}
}  // namespace

std::u16string PageLabel(int index, int count) { return Decimal(index + 1) + u"/" + Decimal(count); }

std::u16string ZoomText(int zoom) { return Decimal(zoom) + u" %"; }

TPageButtons PageButtons(int index, int count) {
  return {index > 0, index > 0, index < count - 1, index < count - 1};
}

int PageTarget(int button, int index, int count) {
  switch (button) {
    case PWC_FIRST: return 0;
    case PWC_PREVIOUS: return index - 1;
    case PWC_NEXT: return index + 1;
    default: return count - 1;
  }
}

TPlacement PlacementOf(int state, int left, int top, int width, int height, const RECT &screen, const RECT &work) {
  TPlacement p;
  if (state == 0) p.Show = SW_MINIMIZE;
  if (state == 0 || state == 1 || state > 3 || state < 0) {
    if (state != 0) p.Show = SW_MAXIMIZE;
    return p;
  }
  const int screenW = screen.right - screen.left;
  const int usableH = work.bottom - work.top;
  if (width < 0) width = screenW - 2 * left;
  if (height < 0) height = usableH - 2 * top;
  if (state == 3) {
    left = (screenW - width) / 2;
    top = (usableH - height) / 2;
  }
  p.HasBounds = true;
  p.Bounds = {left, top, left + width, top + height};
  return p;
}

TPlacement PlacementOf(const TWindowSettings &s) {
  TPlacement p;
  switch (s.WindowState) {
    case 0:
      p.HasBounds = true;
      p.Bounds = {s.Left, s.Top, s.Left + s.Width, s.Top + s.Height};
      break;
    case 1: p.Show = SW_MINIMIZE; break;
    case 2: p.Show = SW_MAXIMIZE; break;
    default: break;  // the window keeps its state
  }
  return p;
}

}  // namespace nx::preview
