// The preview window's page drawing against emfrender's raster path.
//
// Pages: page 1 of the demo invoice (tools/nxrun/examples/demo.nx, recorded
// by the nxrun built beside this program, on the default printer) and two
// pages full of text (66 lines of 10-point text, recorded here).
//
// The window is the scroll area of a 1000 x 900 window (984 x 836 pixels).
//   Show/<page>/<zoom>      : what the window does when a page is shown or
//                             the zoom changes: the visible part of the page
//                             image drawn by the preview's TPageImage and its
//                             pixels painted onto the window's surface (an
//                             RGB24 surface here), as the GTK window's draw
//                             handler does. At 400 % the view is scrolled to
//                             the middle of the page.
//   Emfrender/<page>/<zoom> : emfrender's path for the same pixels: a white
//                             DIB section of the visible part's size and
//                             PlayEnhMetaFile of the whole page offset onto it.
//   EmfrenderPage/<page>/<zoom>: emfrender as the tool runs, the whole page at
//                             that zoom.
//   Paging, ZoomSteps       : the full-text pages: paging back and forth at
//                             100 % and 400 %, and the zoom buttons from 20 % to 400 %.
// After the runs the ratios Show / Emfrender are printed (target <= 1.2).
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "device/NxPrinter.h"
#include "noxtrel.h"
#include "platform/win32.h"
#include "preview/Preview.h"
#include "preview/PreviewLayout.h"
#include "session/Library.h"
#include "session/Session.h"

namespace {

namespace fs = std::filesystem;
using nx::preview::LayoutPaper;

constexpr int kAreaW = 1000 - 16, kAreaH = 900 - 64;

struct Page {
  HENHMETAFILE handle = nullptr;
  int width = 0, height = 0;  // printer pixels
};

struct Pages {
  Page invoice, text[2];
  double factor = 1.0;
  std::string error;
};

fs::path SelfDir() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : self.parent_path();
}

// The source tree: $NX_SOURCE_DIR, else the build folder's parent.
std::string SourceDir() {
  const char *dir = std::getenv("NX_SOURCE_DIR");
  return dir && *dir ? dir : (SelfDir() / "..").string();
}

// The invoice part of the demo script, run by nxrun as EMF pages in `dir`.
std::string RecordInvoice(const fs::path &dir) {
  const fs::path examples = fs::path(SourceDir()) / "tools/nxrun/examples";
  std::ifstream in(examples / "demo.nx");
  if (!in) return "cannot read " + (examples / "demo.nx").string();
  std::ostringstream script;
  script << "NxInit\n";
  std::string line;
  bool invoice = false;
  while (std::getline(in, line)) {
    if (line.rfind("NxSetDevice(5)", 0) == 0) invoice = true;
    if (invoice) script << line << "\n";
  }
  fs::create_directories(dir / "emf");
  fs::copy_file(examples / "logo.gif", dir / "logo.gif", fs::copy_options::overwrite_existing);
  std::ofstream(dir / "invoice.nx") << script.str();
  const fs::path nxrun = SelfDir() / "nxrun";
  if (!fs::exists(nxrun)) return "build nxrun beside this program (cmake --build ... --target nxrun)";
  const std::string cmd = "cd '" + dir.string() + "' && '" + nxrun.string() + "' invoice.nx >/dev/null";
  if (std::system(cmd.c_str()) != 0) return "nxrun failed: " + cmd;
  return {};
}

// Two pages of 66 lines of text, recorded through the exports.
void RecordText(Pages &out) {
  NxSetDevice(2);
  NxBeginDoc();
  NxSetFontName("Arial");
  NxSetFontSize(100000);
  for (int p = 0; p < 2; ++p) {
    if (p > 0) NxNewPage();
    for (int i = 0; i < 66; ++i) {
      std::string s = "Page " + std::to_string(p + 1) + ", line " + std::to_string(i + 1) +
                      ": 4 x Widget type B at 12.50 each, delivered 5 December 2026, order 2026-" +
                      std::to_string(1000 + i) + ", quoted with the invoice.";
      NxTextOut(150000, 150000 + i * 42000, s.c_str());
    }
  }
  NxNewPage();  // finishes the second page
  const nx::TNoxtrelRec &s = nx::Session();
  out.factor = s.HPixelsInch / 96.0;
  const auto &list = nx::PageStore().PagesList();
  for (int p = 0; p < 2; ++p)
    out.text[p] = {CopyEnhMetaFileW(list[static_cast<size_t>(p)].Handle, nullptr), list[static_cast<size_t>(p)].Width,
                   list[static_cast<size_t>(p)].Height};
  NxAbort();
}

const Pages &Load() {
  static const Pages pages = [] {
    Pages p;
    NxInit();
    RecordText(p);
    const fs::path dir = fs::temp_directory_path() / ("nx-bench-preview-" + std::to_string(getpid()));
    p.error = RecordInvoice(dir);
    if (p.error.empty()) {
      const std::u16string file = (dir / "emf" / "Page1.emf").u16string();
      p.invoice.handle = GetEnhMetaFileW(reinterpret_cast<LPCWSTR>(file.c_str()));
      if (!p.invoice.handle) p.error = "no invoice page in " + dir.string();
      // The invoice is on the same printer and paper as the text pages.
      p.invoice.width = p.text[0].width;
      p.invoice.height = p.text[0].height;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return p;
  }();
  return pages;
}

// The page image's rectangle in the scroll area's content and the visible
// part of it, for a view at the top left (100 %) or the middle (400 %).
struct View {
  int imageW, imageH;
  RECT clip;      // in image pixels
  int destX, destY;  // where the clip lands on the window's surface
};

View ViewOf(const Page &page, double factor, int zoom) {
  const PREVIEWLAYOUT l = LayoutPaper(page.width, page.height, factor, zoom, kAreaW, kAreaH);
  const int imageL = l.paper.left + 8, imageT = l.paper.top + 8;
  View v{};
  v.imageW = l.paper.right - l.paper.left - 16;
  v.imageH = l.paper.bottom - l.paper.top - 16;
  const int contentW = l.shadowRight.right, contentH = l.shadowBottom.bottom;
  const int sx = zoom > 100 ? std::max(0, (contentW - kAreaW) / 2) : 0;
  const int sy = zoom > 100 ? std::max(0, (contentH - kAreaH) / 2) : 0;
  v.clip = {std::max(0, sx - imageL), std::max(0, sy - imageT), std::min(v.imageW, sx + kAreaW - imageL),
            std::min(v.imageH, sy + kAreaH - imageT)};
  v.destX = imageL + v.clip.left - sx;
  v.destY = imageT + v.clip.top - sy;
  return v;
}

// The window's draw handler for the page: the preview draws the visible
// part into the pixels it keeps, which are painted onto the window's surface.
bool ShowOnce(nx::preview::TPageImage &image, const Page &page, const View &v, cairo_t *window) {
  const int w = v.clip.right - v.clip.left, h = v.clip.bottom - v.clip.top;
  PREVIEWPAINT paint{v.imageW, v.imageH, v.clip, nullptr, 0};
  if (!image.Paint(page.handle, paint)) return false;
  cairo_surface_t *s = cairo_image_surface_create_for_data(static_cast<unsigned char *>(paint.bits),
                                                           CAIRO_FORMAT_RGB24, w, h, paint.stride);
  cairo_set_source_surface(window, s, v.destX, v.destY);
  cairo_rectangle(window, v.destX, v.destY, w, h);
  cairo_fill(window);
  cairo_surface_destroy(s);
  return true;
}

// emfrender's path: a white DIB section, the whole page played onto it.
bool RenderOnce(const Page &page, int imageW, int imageH, const RECT &clip) {
  const int w = clip.right - clip.left, h = clip.bottom - clip.top;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bm || !bits) return false;
  auto *px = static_cast<uint32_t *>(bits);
  std::fill(px, px + static_cast<size_t>(w) * h, 0x00FFFFFFu);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  const RECT target{-clip.left, -clip.top, imageW - clip.left, imageH - clip.top};
  const BOOL played = PlayEnhMetaFile(dc, page.handle, &target);
  GdiFlush();
  benchmark::DoNotOptimize(px[static_cast<size_t>(w) * h / 2]);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
  return played != FALSE;
}

const Page *PageArg(const Pages &p, int64_t which) { return which == 0 ? &p.invoice : &p.text[0]; }

struct Window {
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kAreaW, kAreaH);
  cairo_t *cr = cairo_create(surface);
  ~Window() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
};

bool Ready(benchmark::State &state, const Pages &p, const Page *page) {
  if (!p.error.empty() || !page->handle) {
    state.SkipWithError(p.error.empty() ? "no page" : p.error.c_str());
    return false;
  }
  return true;
}

void Label(benchmark::State &state, const View &v) {
  state.SetLabel(std::to_string(v.clip.right - v.clip.left) + "x" + std::to_string(v.clip.bottom - v.clip.top) +
                 " of " + std::to_string(v.imageW) + "x" + std::to_string(v.imageH));
}

void Show(benchmark::State &state) {
  const Pages &p = Load();
  const Page *page = PageArg(p, state.range(0));
  if (!Ready(state, p, page)) return;
  const View v = ViewOf(*page, p.factor, static_cast<int>(state.range(1)));
  Window window;
  nx::preview::TPageImage image;
  for (auto _ : state)
    if (!ShowOnce(image, *page, v, window.cr)) state.SkipWithError("the page was not drawn");
  Label(state, v);
}

void Emfrender(benchmark::State &state) {
  const Pages &p = Load();
  const Page *page = PageArg(p, state.range(0));
  if (!Ready(state, p, page)) return;
  const View v = ViewOf(*page, p.factor, static_cast<int>(state.range(1)));
  for (auto _ : state)
    if (!RenderOnce(*page, v.imageW, v.imageH, v.clip)) state.SkipWithError("PlayEnhMetaFile failed");
  Label(state, v);
}

void EmfrenderPage(benchmark::State &state) {
  const Pages &p = Load();
  const Page *page = PageArg(p, state.range(0));
  if (!Ready(state, p, page)) return;
  View v = ViewOf(*page, p.factor, static_cast<int>(state.range(1)));
  v.clip = {0, 0, v.imageW, v.imageH};
  for (auto _ : state)
    if (!RenderOnce(*page, v.imageW, v.imageH, v.clip)) state.SkipWithError("PlayEnhMetaFile failed");
  Label(state, v);
}

// Page Down, Page Up, ... between the two text pages at one zoom.
void Paging(benchmark::State &state) {
  const Pages &p = Load();
  if (!Ready(state, p, &p.text[1])) return;
  const View v = ViewOf(p.text[0], p.factor, static_cast<int>(state.range(0)));
  Window window;
  nx::preview::TPageImage image;
  int shown = 0;
  for (auto _ : state) {
    shown = 1 - shown;
    ShowOnce(image, p.text[shown], v, window.cr);
  }
  Label(state, v);
}

// The zoom-in button from 20 % to 400 % on a text page: one iteration is
// the 39 steps, each a new layout and the visible part drawn.
void ZoomSteps(benchmark::State &state) {
  const Pages &p = Load();
  if (!Ready(state, p, &p.text[0])) return;
  Window window;
  nx::preview::TPageImage image;
  for (auto _ : state)
    for (int zoom = nx::preview::kMinZoom; zoom <= nx::preview::kMaxZoom;
         zoom = nx::preview::StepZoom(zoom, +1)) {
      ShowOnce(image, p.text[0], ViewOf(p.text[0], p.factor, zoom), window.cr);
      if (zoom == nx::preview::kMaxZoom) break;
    }
  state.SetLabel("39 zoom steps");
}

void PageArgs(benchmark::internal::Benchmark *b) {
  b->ArgNames({"page", "zoom"});
  for (int page : {0, 1})
    for (int zoom : {100, 400}) b->Args({page, zoom});
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(Show)->Apply(PageArgs);
BENCHMARK(Emfrender)->Apply(PageArgs);
BENCHMARK(EmfrenderPage)->Apply(PageArgs);
BENCHMARK(Paging)->Arg(100)->Arg(400)->ArgName("zoom")->Unit(benchmark::kMillisecond);
BENCHMARK(ZoomSteps)->Unit(benchmark::kMillisecond);

// Keeps each run's CPU time per iteration (the median of the repetitions
// when there are several) so the ratios can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs) {
      if (r.error_occurred) continue;
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        times_[r.run_name.str()] = r.GetAdjustedCPUTime();
        medians_ = true;
      } else if (r.run_type == Run::RT_Iteration && !medians_) {
        times_[r.run_name.str()] = r.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nShow / Emfrender for the same pixels (page 0 the invoice, 1 full text; target <= 1.2):\n");
    for (const char *args : {"page:0/zoom:100", "page:0/zoom:400", "page:1/zoom:100", "page:1/zoom:400"}) {
      auto s = times_.find(std::string("Show/") + args), e = times_.find(std::string("Emfrender/") + args);
      if (s == times_.end() || e == times_.end() || e->second <= 0) continue;
      std::printf("  %-18s %.3f\n", args, s->second / e->second);
    }
  }

 private:
  std::map<std::string, double> times_;
  bool medians_ = false;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  nx::UnloadLibraryState();
  return 0;
}
