// The export engines' metafile interpretation of the drawing benchmark's
// page (60 text lines, 10 lines and 10 frames), beside the time to record
// that page through the exports:
//   BM_RecordPage     the page drawn through the exports into the page store
//   BM_PlayAndItems   the page played onto an engine's page canvas and the
//                     canvas turned into items (PlayMetafile + NewPage), as
//                     the PDF, RTF and JPEG outputs do it
//   BM_ItemsOnly      the interpreter alone on the already played canvas
// Counters: pages per second, and the items per page.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "device/NxPrinter.h"
#include "export/gtCstDocEng.h"
#include "export/gtMetafileProcessor.h"
#include "BenchSupport.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "platform/win32.h"

namespace {

using nxbench::DrawPage;
using nxbench::Lines;

// One recorded page of the drawing benchmark, copied out of the page store.
HENHMETAFILE RecordedPage() {
  static HENHMETAFILE page = [] {
    const auto lines = Lines();
    NxInit();
    NxSetDevice(5);
    NxSetFileName("/tmp/noxtrel-bench/doc.pdf");
    NxBeginDoc();
    DrawPage(lines);
    NxNewPage();
    HENHMETAFILE copy = CopyEnhMetaFileW(nx::PageStore().PagesList().front().Handle, nullptr);
    NxAbort();
    return copy;
  }();
  return page;
}

// An engine with a document open that interprets but never renders.
struct Engine {
  Engine() {
    e.Preferences().FShowSetupDialog = false;
    e.Preferences().FOpenAfterCreate = false;
    e.SetPagesToRender("999999");
    e.BeginDoc();
  }
  ~Engine() { e.EndDoc(); }
  nx::TgtCustomDocumentEngine e;
};

void BM_RecordPage(benchmark::State &state) {
  const auto lines = Lines();
  RecordedPage();
  NxInit();
  NxSetDevice(5);
  NxSetFileName("/tmp/noxtrel-bench/doc.pdf");
  NxBeginDoc();
  for (auto _ : state) {
    DrawPage(lines);
    NxNewPage();
  }
  NxAbort();
  state.counters["pages_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecordPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PlayAndItems(benchmark::State &state) {
  HENHMETAFILE page = RecordedPage();
  Engine engine;
  const nx::TgtRect rect{0, 0, engine.e.Page().Width(), engine.e.Page().Height()};
  size_t items = 0;
  int pages = 0;
  for (auto _ : state) {
    engine.e.PlayMetafile(rect, page);
    engine.e.NewPage();  // interprets the canvas into the finished page's items
    items = engine.e.Pages()[engine.e.Pages().size() - 2]->FDocumentItems.size();
    if (++pages % 200 == 0) {  // keep memory flat
      state.PauseTiming();
      engine.e.EndDoc();
      engine.e.BeginDoc();
      state.ResumeTiming();
    }
  }
  state.counters["pages_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["items_per_page"] = static_cast<double>(items);
}
BENCHMARK(BM_PlayAndItems)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ItemsOnly(benchmark::State &state) {
  HENHMETAFILE page = RecordedPage();
  Engine engine;
  // The canvas as the engine records it: the page played at 96 dpi.
  HDC screen = GetDC(nullptr);
  HDC canvas = CreateEnhMetaFileW(screen, nullptr, nullptr, nullptr);
  ReleaseDC(nullptr, screen);
  RECT rect{0, 0, LONG(engine.e.Page().Width() * 96 + 0.5), LONG(engine.e.Page().Height() * 96 + 0.5)};
  PlayEnhMetaFile(canvas, page, &rect);
  HENHMETAFILE played = CloseEnhMetaFile(canvas);
  size_t items = 0;
  for (auto _ : state) {
    engine.e.CurrentDocumentItemList()->clear();
    nx::TgtMetafileProcessor p(engine.e);
    p.SetCombineCharsToSentence(true);
    p.Execute(played, 0, 0);
    items = engine.e.CurrentDocumentItemList()->size();
  }
  DeleteEnhMetaFile(played);
  state.counters["pages_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["items_per_page"] = static_cast<double>(items);
}
BENCHMARK(BM_ItemsOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
