// The whole PDF pipeline against libharu and Cairo's PDF surface, on a
// 1,000-page document of the drawing benchmark's page (60 text lines in
// Courier New 12 pt, 10 rules and 10 frames of 1 pt):
//   BM_NoxtrelPdf   NxBeginDoc, the pages through the exports, NxEndDoc to a
//                   PDF file with the default settings (Flate on, fonts
//                   referenced, not embedded)
//   BM_HaruPdf      libharu writing the same text, rules and frames
//                   (Courier, a standard font, not embedded; Flate on)
//   BM_CairoPdf     Cairo's PDF surface writing the same content (Courier
//                   New through fontconfig, subset-embedded as Cairo always
//                   does; Flate on)
// Counters: pages per second, file bytes per page; for ours also the CPU
// time per page of recording (NxBeginDoc and the pages) and of NxEndDoc (playback,
// interpretation, writing and deflate), and the growth of the process's peak
// resident memory per page during the first document (run BM_NoxtrelPdf
// first or alone for that figure).
#include <benchmark/benchmark.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <hpdf.h>
#include <stdlib.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

constexpr int kPages = 1000;
constexpr double kPageW = 595.2756, kPageH = 841.8898;  // A4 in points
constexpr double kFontSize = 12;
// Courier New's (Liberation Mono's) ascent: NxTextOut places the top of
// the text cell, the peers place the baseline.
constexpr double kAscent = 0.83301 * kFontSize;

double Pt(double mm) { return mm * 72.0 / 25.4; }

const std::string &Folder() {
  static const std::string dir = nxbench::MakeBenchFolder("pdf");
  return dir;
}

// The process's CPU time: the machine is shared, so the stages are timed
// in CPU seconds, as the benchmark library times the runs.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_NoxtrelPdf(benchmark::State &state) {
  const auto lines = nxbench::Lines();
  const std::string path = Folder() + "/ours.pdf";
  double recording = 0, ending = 0;
  bool first = true;
  for (auto _ : state) {
    NxInit();
    NxSetDevice(3);
    NxSetFileName(path.c_str());
    const long before = nxbench::PeakKiB();
    const double t0 = CpuSeconds();
    NxBeginDoc();
    for (int p = 0; p < kPages; ++p) {
      if (p > 0) NxNewPage();
      nxbench::DrawPage(lines);
    }
    const double t1 = CpuSeconds();
    NxEndDoc();
    recording += t1 - t0;
    ending += CpuSeconds() - t1;
    if (NxGetLastError() != 0) {
      char text[256];
      NxGetLastErrorText(text, sizeof text);
      state.SkipWithError(text);
      break;
    }
    if (first) state.counters["peak_rss_KiB_per_page"] = static_cast<double>(nxbench::PeakKiB() - before) / kPages;
    first = false;
  }
  const double pages = static_cast<double>(kPages) * static_cast<double>(state.iterations());
  state.counters["pages_per_second"] = nxbench::PerSecond(pages);
  state.counters["file_bytes_per_page"] = nxbench::FileBytes(path) / kPages;
  state.counters["record_ms_per_page"] = recording * 1000 / pages;
  state.counters["enddoc_ms_per_page"] = ending * 1000 / pages;
}
BENCHMARK(BM_NoxtrelPdf)->Unit(benchmark::kMillisecond)->Iterations(3);

void HaruError(HPDF_STATUS error, HPDF_STATUS detail, void *) {
  std::fprintf(stderr, "libharu error %04X (%u)\n", static_cast<unsigned>(error), static_cast<unsigned>(detail));
}

void BM_HaruPdf(benchmark::State &state) {
  const auto lines = nxbench::Lines();
  const std::string path = Folder() + "/haru.pdf";
  for (auto _ : state) {
    HPDF_Doc pdf = HPDF_New(HaruError, nullptr);
    HPDF_SetCompressionMode(pdf, HPDF_COMP_ALL);
    HPDF_Font font = HPDF_GetFont(pdf, "Courier", "WinAnsiEncoding");
    for (int p = 0; p < kPages; ++p) {
      HPDF_Page page = HPDF_AddPage(pdf);
      HPDF_Page_SetWidth(page, kPageW);
      HPDF_Page_SetHeight(page, kPageH);
      HPDF_Page_BeginText(page);
      HPDF_Page_SetFontAndSize(page, font, kFontSize);
      for (int i = 0; i < 60; ++i)
        HPDF_Page_TextOut(page, Pt(nxbench::kTextX), kPageH - Pt(nxbench::kTextY + i * nxbench::kTextStep) - kAscent,
                          lines[static_cast<size_t>(i)].c_str());
      HPDF_Page_EndText(page);
      HPDF_Page_SetLineWidth(page, 1);
      for (int i = 0; i < 10; ++i) {
        const double y = kPageH - Pt(nxbench::kRuleY + i * nxbench::kRuleStep);
        HPDF_Page_MoveTo(page, Pt(nxbench::kRuleX0), y);
        HPDF_Page_LineTo(page, Pt(nxbench::kRuleX1), y);
        HPDF_Page_Stroke(page);
        const double top = kPageH - Pt(nxbench::kFrameY0 + i * nxbench::kRuleStep);
        HPDF_Page_Rectangle(page, Pt(nxbench::kFrameX0), top - Pt(nxbench::kFrameY1 - nxbench::kFrameY0),
                            Pt(nxbench::kFrameX1 - nxbench::kFrameX0), Pt(nxbench::kFrameY1 - nxbench::kFrameY0));
        HPDF_Page_Stroke(page);
      }
    }
    if (HPDF_SaveToFile(pdf, path.c_str()) != HPDF_OK) state.SkipWithError("HPDF_SaveToFile failed");
    HPDF_Free(pdf);
  }
  state.counters["pages_per_second"] = nxbench::PerSecond(static_cast<double>(kPages) * state.iterations());
  state.counters["file_bytes_per_page"] = nxbench::FileBytes(path) / kPages;
}
BENCHMARK(BM_HaruPdf)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CairoPdf(benchmark::State &state) {
  const auto lines = nxbench::Lines();
  const std::string path = Folder() + "/cairo.pdf";
  for (auto _ : state) {
    cairo_surface_t *surface = cairo_pdf_surface_create(path.c_str(), kPageW, kPageH);
    cairo_t *cr = cairo_create(surface);
    cairo_select_font_face(cr, "Courier New", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    cairo_set_line_width(cr, 1);
    for (int p = 0; p < kPages; ++p) {
      for (int i = 0; i < 60; ++i) {
        cairo_move_to(cr, Pt(nxbench::kTextX), Pt(nxbench::kTextY + i * nxbench::kTextStep) + kAscent);
        cairo_show_text(cr, lines[static_cast<size_t>(i)].c_str());
      }
      for (int i = 0; i < 10; ++i) {
        const double y = Pt(nxbench::kRuleY + i * nxbench::kRuleStep);
        cairo_move_to(cr, Pt(nxbench::kRuleX0), y);
        cairo_line_to(cr, Pt(nxbench::kRuleX1), y);
        cairo_stroke(cr);
        cairo_rectangle(cr, Pt(nxbench::kFrameX0), Pt(nxbench::kFrameY0 + i * nxbench::kRuleStep),
                        Pt(nxbench::kFrameX1 - nxbench::kFrameX0), Pt(nxbench::kFrameY1 - nxbench::kFrameY0));
        cairo_stroke(cr);
      }
      cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) state.SkipWithError("Cairo PDF surface failed");
    cairo_surface_destroy(surface);
  }
  state.counters["pages_per_second"] = nxbench::PerSecond(static_cast<double>(kPages) * state.iterations());
  state.counters["file_bytes_per_page"] = nxbench::FileBytes(path) / kPages;
}
BENCHMARK(BM_CairoPdf)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char **argv) {
  const int rc = nxbench::RunWithRatios(
      argc, argv,
      {{"1,000-page PDF, libharu / ours (target >= 0.7)", "BM_HaruPdf", "BM_NoxtrelPdf"},
       {"1,000-page PDF, Cairo PDF surface / ours (target > 1)", "BM_CairoPdf", "BM_NoxtrelPdf"}});
  // The files stay for a look when NX_BENCH_KEEP is set.
  if (!getenv("NX_BENCH_KEEP")) {
    for (const char *f : {"/ours.pdf", "/haru.pdf", "/cairo.pdf"}) unlink((Folder() + f).c_str());
    rmdir(Folder().c_str());
  } else {
    std::printf("files kept in %s\n", Folder().c_str());
  }
  return rc;
}
