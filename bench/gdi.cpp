// Metafile recording and playback against Cairo doing the same work.
//
// A "page" is 100 primitives (40 lines, 30 rectangles, 30 ellipses with
// three pens and three brushes) on A4 at 96 dpi.
//   Record/*   : our metafile DC recording the page and closing it, against a
//                Cairo recording surface given the same drawing.
//   Play/*     : our PlayEnhMetaFile of the recorded page onto a 32-bpp DIB
//                section at 96 and 300 dpi, against Cairo drawing the page
//                directly onto an image surface of that size (no
//                antialiasing, as the GDI raster backend draws).
// After the runs the ratios of CPU times are printed (targets: recording at least 2x
// faster than Cairo's recording surface; playback within 1.5x of direct
// Cairo drawing).
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

constexpr int kPageW = 794, kPageH = 1123;  // A4 at 96 dpi
const RECT kA4Frame{0, 0, 21000, 29700};     // 0.01 mm

enum class Kind { Line, Rect, Ellipse };
struct Prim {
  Kind kind;
  int x0, y0, x1, y1;
  int pen, brush;
};

const COLORREF kPenColors[3] = {RGB(0, 0, 0), RGB(200, 0, 0), RGB(0, 0, 160)};
const int kPenWidths[3] = {1, 2, 3};
const COLORREF kBrushColors[3] = {RGB(255, 255, 200), RGB(200, 230, 255), RGB(220, 220, 220)};

const std::vector<Prim> &Page() {
  static const std::vector<Prim> page = [] {
    std::vector<Prim> v;
    uint32_t s = 12345;
    auto rnd = [&](int n) {
      s = s * 1103515245u + 12345u;
      return (int)((s >> 8) % (uint32_t)n);
    };
    for (int i = 0; i < 100; ++i) {
      Kind k = i < 40 ? Kind::Line : i < 70 ? Kind::Rect : Kind::Ellipse;
      int x = 20 + rnd(kPageW - 160), y = 20 + rnd(kPageH - 160);
      v.push_back({k, x, y, x + 20 + rnd(120), y + 10 + rnd(120), i % 3, (i / 3) % 3});
    }
    return v;
  }();
  return page;
}

// ---------------------------------------------------------------------------
// The page through GDI calls.

void DrawGdi(HDC dc) {
  HPEN pens[3];
  HBRUSH brushes[3];
  for (int i = 0; i < 3; ++i) {
    pens[i] = CreatePen(PS_SOLID, kPenWidths[i], kPenColors[i]);
    brushes[i] = CreateSolidBrush(kBrushColors[i]);
  }
  HGDIOBJ oldPen = SelectObject(dc, pens[0]);
  HGDIOBJ oldBrush = SelectObject(dc, brushes[0]);
  for (const Prim &p : Page()) {
    SelectObject(dc, pens[p.pen]);
    if (p.kind == Kind::Line) {
      MoveToEx(dc, p.x0, p.y0, nullptr);
      LineTo(dc, p.x1, p.y1);
      continue;
    }
    SelectObject(dc, brushes[p.brush]);
    if (p.kind == Kind::Rect) Rectangle(dc, p.x0, p.y0, p.x1, p.y1);
    else Ellipse(dc, p.x0, p.y0, p.x1, p.y1);
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  for (int i = 0; i < 3; ++i) {
    DeleteObject(pens[i]);
    DeleteObject(brushes[i]);
  }
}

HENHMETAFILE RecordPage() {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kA4Frame, nullptr);
  DrawGdi(dc);
  return CloseEnhMetaFile(dc);
}

// ---------------------------------------------------------------------------
// The same page through Cairo.

void SetColor(cairo_t *cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void DrawCairo(cairo_t *cr) {
  for (const Prim &p : Page()) {
    cairo_set_line_width(cr, kPenWidths[p.pen]);
    if (p.kind == Kind::Line) {
      cairo_move_to(cr, p.x0 + 0.5, p.y0 + 0.5);
      cairo_line_to(cr, p.x1 + 0.5, p.y1 + 0.5);
    } else if (p.kind == Kind::Rect) {
      cairo_rectangle(cr, p.x0 + 0.5, p.y0 + 0.5, p.x1 - p.x0 - 1, p.y1 - p.y0 - 1);
    } else {
      double cx = (p.x0 + p.x1) / 2.0, cy = (p.y0 + p.y1) / 2.0;
      cairo_save(cr);
      cairo_translate(cr, cx, cy);
      cairo_scale(cr, (p.x1 - p.x0 - 1) / 2.0, (p.y1 - p.y0 - 1) / 2.0);
      cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
      cairo_restore(cr);
    }
    if (p.kind != Kind::Line) {
      SetColor(cr, kBrushColors[p.brush]);
      cairo_fill_preserve(cr);
    }
    SetColor(cr, kPenColors[p.pen]);
    cairo_stroke(cr);
  }
}

// ---------------------------------------------------------------------------

void RecordOurs(benchmark::State &state) {
  for (auto _ : state) {
    HENHMETAFILE h = RecordPage();
    benchmark::DoNotOptimize(h);
    DeleteEnhMetaFile(h);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * Page().size()));
}

void RecordCairo(benchmark::State &state) {
  cairo_rectangle_t extents{0, 0, kPageW, kPageH};
  for (auto _ : state) {
    cairo_surface_t *s = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
    cairo_t *cr = cairo_create(s);
    DrawCairo(cr);
    cairo_destroy(cr);
    benchmark::DoNotOptimize(s);
    cairo_surface_destroy(s);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * Page().size()));
}

void PlayOurs(benchmark::State &state) {
  int dpi = (int)state.range(0);
  int w = kPageW * dpi / 96, h = kPageH * dpi / 96;
  HENHMETAFILE page = RecordPage();
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT rect{0, 0, w, h};
  for (auto _ : state) {
    if (!PlayEnhMetaFile(dc, page, &rect)) state.SkipWithError("PlayEnhMetaFile failed");
    benchmark::DoNotOptimize(bits);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
  DeleteEnhMetaFile(page);
  state.SetItemsProcessed(int64_t(state.iterations() * Page().size()));
}

void PlayCairo(benchmark::State &state) {
  int dpi = (int)state.range(0);
  int w = kPageW * dpi / 96, h = kPageH * dpi / 96;
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  for (auto _ : state) {
    cairo_t *cr = cairo_create(s);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_scale(cr, dpi / 96.0, dpi / 96.0);
    DrawCairo(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    benchmark::DoNotOptimize(s);
  }
  cairo_surface_destroy(s);
  state.SetItemsProcessed(int64_t(state.iterations() * Page().size()));
}

BENCHMARK(RecordOurs);
BENCHMARK(RecordCairo);
BENCHMARK(PlayOurs)->Arg(96)->Arg(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlayCairo)->Arg(96)->Arg(300)->Unit(benchmark::kMicrosecond);

// Keeps each run's time per iteration so the ratios can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration)
        times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nRatios (higher is better for us):\n");
    Ratio("recording, Cairo recording surface / ours (target >= 2)", "RecordCairo", "RecordOurs");
    Ratio("raster playback 96 dpi, direct Cairo / ours (target >= 0.67)", "PlayCairo/96",
          "PlayOurs/96");
    Ratio("raster playback 300 dpi, direct Cairo / ours (target >= 0.67)", "PlayCairo/300",
          "PlayOurs/300");
  }

 private:
  void Ratio(const char *what, const std::string &peer, const std::string &ours) const {
    auto p = times_.find(peer), o = times_.find(ours);
    if (p == times_.end() || o == times_.end() || o->second <= 0) return;
    std::printf("  %-62s %.2f\n", what, p->second / o->second);
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
