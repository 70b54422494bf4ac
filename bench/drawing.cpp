// A 1,000-page document through the exported interface into the page store
// (device type 5, pages kept in memory until the document is dropped): 60
// text lines, 10 lines and 10 frames per page. The peer draws the same
// records with plain GDI calls on metafile DCs, so BM_Exports / BM_GdiPeer is
// the cost of the interface, the session and the surface on top of GDI.
// Counters: pages per second, metafile bytes per page, and the growth of the
// process's peak resident memory per page (first iteration only).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "device/NxPrinter.h"
#include "BenchSupport.h"
#include "noxtrel.h"
#include "platform/win32.h"
#include "session/Library.h"

namespace {

using nxbench::DrawPage;
using nxbench::Lines;
using nxbench::PeakKiB;

constexpr int kPages = 1000;

size_t StoredBytes() {
  size_t total = 0;
  for (const auto &page : nx::PageStore().PagesList())
    if (page.Handle) total += GetEnhMetaFileBits(page.Handle, 0, nullptr);
  return total;
}

void BM_Exports(benchmark::State &state) {
  const auto lines = Lines();
  NxInit();
  bool first = true;
  for (auto _ : state) {
    state.PauseTiming();
    NxSetDevice(5);
    NxSetFileName("/tmp/noxtrel-bench/doc.pdf");
    const long before = PeakKiB();
    state.ResumeTiming();
    NxBeginDoc();
    for (int p = 0; p < kPages; ++p) {
      if (p > 0) NxNewPage();
      DrawPage(lines);
    }
    NxNewPage();  // finishes page 1000 (and opens an empty one)
    state.PauseTiming();
    const size_t bytes = StoredBytes();
    state.counters["metafile_bytes_per_page"] = static_cast<double>(bytes) / kPages;
    if (first) state.counters["peak_rss_KiB_per_page"] = static_cast<double>(PeakKiB() - before) / kPages;
    first = false;
    NxAbort();  // the pages are dropped, not written
    state.ResumeTiming();
  }
  state.counters["pages_per_second"] =
      benchmark::Counter(static_cast<double>(kPages) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Exports)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same page with GDI alone: a font, pens and brushes made once per page,
// 60 text outputs, 10 lines and 10 rectangles, recorded and kept.
void BM_GdiPeer(benchmark::State &state) {
  std::vector<std::u16string> lines;
  for (const auto &l : Lines()) lines.emplace_back(l.begin(), l.end());
  HDC screen = GetDC(nullptr);
  for (auto _ : state) {
    std::vector<HENHMETAFILE> pages;
    for (int p = 0; p < kPages; ++p) {
      HDC dc = CreateEnhMetaFileW(screen, nullptr, nullptr, nullptr);
      LOGFONTW lf{};
      lf.lfHeight = -100;
      const char16_t face[] = u"Courier New";
      for (size_t i = 0; face[i]; ++i) lf.lfFaceName[i] = static_cast<WCHAR>(face[i]);
      HFONT font = CreateFontIndirectW(&lf);
      HPEN pen = CreatePen(PS_SOLID, 8, RGB(0, 0, 0));
      HBRUSH brush = CreateSolidBrush(RGB(255, 255, 255));
      SelectObject(dc, font);
      SelectObject(dc, pen);
      SelectObject(dc, brush);
      SetBkMode(dc, TRANSPARENT);
      for (int i = 0; i < 60; ++i) {
        const auto &s = lines[static_cast<size_t>(i)];
        SIZE size{};
        GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(s.data()), static_cast<int>(s.size()), &size);
        ExtTextOutW(dc, 400, 400 + i * 106, 0, nullptr, reinterpret_cast<LPCWSTR>(s.data()),
                    static_cast<UINT>(s.size()), nullptr);
        MoveToEx(dc, 400 + size.cx, 400 + i * 106, nullptr);
      }
      for (int i = 0; i < 10; ++i) {
        MoveToEx(dc, 472, 354 + i * 637, nullptr);
        LineTo(dc, 4488, 354 + i * 637);
        Rectangle(dc, 3543, 472 + i * 637, 4488, 944 + i * 637);
      }
      pages.push_back(CloseEnhMetaFile(dc));
      DeleteObject(font);
      DeleteObject(pen);
      DeleteObject(brush);
    }
    for (HENHMETAFILE h : pages) DeleteEnhMetaFile(h);
  }
  ReleaseDC(nullptr, screen);
  state.counters["pages_per_second"] =
      benchmark::Counter(static_cast<double>(kPages) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GdiPeer)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
