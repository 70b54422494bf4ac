// The preview window's rules as pure functions: the paper's size and place at
// a zoom, the zoom steps, fitting the page, the window's placement for each
// opening state, the page label and the page buttons, the stored settings.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace nx::preview {

constexpr int kMinZoom = 20;
constexpr int kMaxZoom = 400;
constexpr int kZoomStep = 10;
constexpr int kPaperMargin = 8;  // the page lies this far inside the paper
constexpr int kShadow = 8;

// The paper panel's width (or height) for a page side of `pagePixels`
// printer pixels: Trunc(pagePixels / factor * zoom) div 100 + 16.
int PaperExtent(int pagePixels, double factor, int zoom);

// The paper and its shadows in a scroll area of client size areaW x areaH,
// centred on an axis where the paper fits.
PREVIEWLAYOUT LayoutPaper(int pageW, int pageH, double factor, int zoom, int areaW, int areaH);

// The zoom after a zoom button (step -1 or +1), held within 20..400.
int StepZoom(int zoom, int step);

// Fits `source` into `target` keeping its aspect, centred on the free axis
// when `center` is set.
RECT FitRect(const RECT &target, const RECT &source, bool center);

// The zoom that shows the whole page, and the one that fills the width, in
// a scroll area with client rectangle `client`; `current` when the page has
// no width on the screen. Neither is held within 20..400.
int FitPageZoom(int pageW, int pageH, double factor, const RECT &client, int current);
int FitWidthZoom(int pageW, double factor, const RECT &client, int current);

// The zoom a showing starts at: `level` 20..400 as it is, other values >= 0
// as 100; negative values mean fitting (ZoomFitPage for -1, else width).
constexpr int kZoomFitPage = -1;
constexpr int kZoomFitWidth = -2;
int InitialZoom(int level);

// "3/12": the label of page index `index` of `count`.
std::u16string PageLabel(int index, int count);
// "100 %".
std::u16string ZoomText(int zoom);

struct TPageButtons {
  bool First, Previous, Next, Last;
};
TPageButtons PageButtons(int index, int count);

// The page index a page button shows (before ShowPage clamps it).
int PageTarget(int button, int index, int count);

// The window's geometry as stored in the registry; WindowState numbers 0
// normal, 1 minimized, 2 maximized.
struct TWindowSettings {
  int WindowState = 0;
  int Left = 0, Top = 0, Width = 600, Height = 800;
  int Zoom = 100;
};

// How the window opens: a show command and, for SW_SHOWNORMAL, the bounds
// (none: the window keeps its own).
struct TPlacement {
  int Show = SW_SHOWNORMAL;
  bool HasBounds = false;
  RECT Bounds{};
};

// The placement of opening states 0 to 3 and any other but 4: `screen` is
// the monitor and `work` its work area (the usable height).
TPlacement PlacementOf(int state, int left, int top, int width, int height, const RECT &screen, const RECT &work);
// The placement of state 4 from the stored settings.
TPlacement PlacementOf(const TWindowSettings &stored);

}  // namespace nx::preview
