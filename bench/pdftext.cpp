// Text-heavy PDF with subset-embedded fonts against Cairo's PDF surface
// (which always embeds subsets): a 100-page document of mixed Latin and
// Greek text, 40 lines of about 75 characters a page (about 3,000
// characters), Arial 10 pt (Liberation Sans through fontconfig).
//   BM_NoxtrelPdfText   NxBeginDoc, the lines through NxTextOut, NxEndDoc to
//                       a PDF file with NxSetPDFEmbeddedFonts(2) (subsets),
//                       everything else at its default
//   BM_CairoPdfText     Cairo's PDF surface writing the same lines
// The host hands the library ANSI text, so the process runs under the Greek
// ANSI code page (NOXTREL_ACP=1253, set before the library is first used)
// and the lines go to NxTextOut in Windows-1253; Cairo gets the same lines
// in UTF-8. Counters: pages per second and file bytes per page. The
// library writes whatever its PDF fonts support at the time: characters a
// simple (8-bit) font cannot carry are written as "?", so compare the
// counters with pdftotext of the kept files (NX_BENCH_KEEP=1).
#include <benchmark/benchmark.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

constexpr int kPages = 100, kLines = 40;
constexpr double kPageW = 595.2756, kPageH = 841.8898;  // A4 in points
constexpr double kFontSize = 10;
constexpr double kAscent = 0.905 * kFontSize;  // Liberation Sans
constexpr double kLeftMm = 20, kTopMm = 20, kStepMm = 6;

double Pt(double mm) { return mm * 72.0 / 25.4; }

// A line in UTF-8 (for Cairo) and in Windows-1253 (for the library).
struct Line {
  std::string utf8, ansi;
};

void Append(Line &line, char32_t c) {
  if (c < 0x80) {
    line.utf8 += char(c);
    line.ansi += char(c);
    return;
  }
  line.utf8 += char(0xC0 | (c >> 6));
  line.utf8 += char(0x80 | (c & 0x3F));
  // Windows-1253 holds U+0388..U+03CE at the code point minus 0x2D0.
  line.ansi += char(c - 0x2D0);
}

void AppendWord(Line &line, const std::u32string &word) {
  if (!line.utf8.empty()) Append(line, U' ');
  for (char32_t c : word) Append(line, c);
}

// Latin and Greek words in turn, chosen by a fixed sequence, until the line
// holds about 75 characters.
const std::vector<Line> &Lines() {
  static const std::vector<Line> lines = [] {
    const std::u32string latin[] = {U"invoice", U"order",   U"quantity", U"price",    U"total",    U"payment",
                                    U"date",    U"number",  U"product",  U"delivery", U"customer", U"12.50"};
    const std::u32string greek[] = {U"τιμολόγιο", U"παραγγελία", U"ποσότητα", U"τιμή",
                                    U"σύνολο",    U"πληρωμή",    U"ημερομηνία", U"αριθμός",
                                    U"προϊόν",    U"παράδοση",   U"πελάτης",  U"ΦΠΑ"};
    std::vector<Line> out;
    uint32_t seed = 17;
    for (int i = 0; i < kLines; ++i) {
      Line line;
      size_t chars = 0;
      for (int w = 0; chars < 70; ++w) {
        seed = seed * 1103515245u + 12345u;
        const std::u32string &word = (w % 2 ? greek : latin)[(seed >> 8) % 12];
        AppendWord(line, word);
        chars += word.size() + 1;
      }
      out.push_back(line);
    }
    return out;
  }();
  return lines;
}

const std::string &Folder() {
  static const std::string dir = nxbench::MakeBenchFolder("pdftext");
  return dir;
}

size_t CharactersPerPage() {
  size_t n = 0;
  for (const Line &l : Lines()) n += l.ansi.size();
  return n;
}

void BM_NoxtrelPdfText(benchmark::State &state) {
  const std::string path = Folder() + "/ours.pdf";
  for (auto _ : state) {
    NxInit();
    NxSetDevice(3);
    NxSetFileName(path.c_str());
    NxSetPDFEmbeddedFonts(2);
    NxSetFontName("Arial");
    NxSetFontSize(100000);
    NxBeginDoc();
    for (int p = 0; p < kPages; ++p) {
      if (p > 0) NxNewPage();
      for (int i = 0; i < kLines; ++i)
        NxTextOut(int32_t(kLeftMm * 10000), int32_t((kTopMm + i * kStepMm) * 10000), Lines()[size_t(i)].ansi.c_str());
    }
    NxEndDoc();
    if (NxGetLastError() != 0) {
      char text[256];
      NxGetLastErrorText(text, sizeof text);
      state.SkipWithError(text);
      break;
    }
  }
  state.counters["pages_per_second"] = nxbench::PerSecond(double(kPages) * double(state.iterations()));
  state.counters["file_bytes_per_page"] = nxbench::FileBytes(path) / kPages;
  state.counters["chars_per_page"] = double(CharactersPerPage());
}
BENCHMARK(BM_NoxtrelPdfText)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_CairoPdfText(benchmark::State &state) {
  const std::string path = Folder() + "/cairo.pdf";
  for (auto _ : state) {
    cairo_surface_t *surface = cairo_pdf_surface_create(path.c_str(), kPageW, kPageH);
    cairo_t *cr = cairo_create(surface);
    cairo_select_font_face(cr, "Arial", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    for (int p = 0; p < kPages; ++p) {
      for (int i = 0; i < kLines; ++i) {
        cairo_move_to(cr, Pt(kLeftMm), Pt(kTopMm + i * kStepMm) + kAscent);
        cairo_show_text(cr, Lines()[size_t(i)].utf8.c_str());
      }
      cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) state.SkipWithError("Cairo PDF surface failed");
    cairo_surface_destroy(surface);
  }
  state.counters["pages_per_second"] = nxbench::PerSecond(double(kPages) * double(state.iterations()));
  state.counters["file_bytes_per_page"] = nxbench::FileBytes(path) / kPages;
  state.counters["chars_per_page"] = double(CharactersPerPage());
}
BENCHMARK(BM_CairoPdfText)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char **argv) {
  // Before the library reads its code page for the first time.
  setenv("NOXTREL_ACP", "1253", 1);
  const int rc = nxbench::RunWithRatios(
      argc, argv,
      {{"100-page Latin and Greek PDF, Cairo / ours (target >= 1)", "BM_CairoPdfText", "BM_NoxtrelPdfText"}});
  if (!getenv("NX_BENCH_KEEP")) {
    for (const char *f : {"/ours.pdf", "/cairo.pdf"}) unlink((Folder() + f).c_str());
    rmdir(Folder().c_str());
  } else {
    std::printf("files kept in %s\n", Folder().c_str());
  }
  return rc;
}
