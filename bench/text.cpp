// Text measuring and shaping against the libraries underneath, in one run:
// compare BM_Extent with BM_FreeTypeSum, and BM_ScriptShapePlace with
// BM_HarfBuzzShape (same strings, same font file).
#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include <hb-ot.h>
#include <hb.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/script/ScriptCache.h"
#include "platform/text/TextRecord.h"
#include "platform/win32.h"

namespace {

const std::vector<std::u16string> &Strings() {
  static const std::vector<std::u16string> s = {
      u"Invoice 2026-0042", u"The quick brown fox jumps over the lazy dog.", u"Total amount due: 1,234.56",
      u"\u00C9tat des lieux, r\u00E9sum\u00E9 et \u00E9ch\u00E9ancier", u"Customer reference / order number",
  };
  return s;
}

std::shared_ptr<nx::text::SizedFont> Font() {
  LOGFONTW lf{};
  lf.lfHeight = -100;
  const char16_t name[] = u"Arial";
  for (size_t i = 0; name[i]; ++i) lf.lfFaceName[i] = WCHAR(name[i]);
  return nx::text::ResolveFont(lf);
}

void BM_Extent(benchmark::State &state) {
  auto font = Font();
  for (auto _ : state)
    for (const auto &s : Strings())
      benchmark::DoNotOptimize(font->Extent(reinterpret_cast<const WCHAR *>(s.data()), s.size()));
  state.SetItemsProcessed(int64_t(state.iterations() * Strings().size()));
}
BENCHMARK(BM_Extent);

// The whole GDI call on a memory DC with the same font selected.
void BM_GetTextExtentPoint32W(benchmark::State &state) {
  HDC dc = CreateCompatibleDC(nullptr);
  LOGFONTW lf = Font()->Logical();
  HFONT font = CreateFontIndirectW(&lf);
  SelectObject(dc, font);
  SIZE size{};
  for (auto _ : state)
    for (const auto &s : Strings()) {
      GetTextExtentPoint32W(dc, reinterpret_cast<const WCHAR *>(s.data()), int(s.size()), &size);
      benchmark::DoNotOptimize(size);
    }
  state.SetItemsProcessed(int64_t(state.iterations() * Strings().size()));
  DeleteDC(dc);
  DeleteObject(font);
}
BENCHMARK(BM_GetTextExtentPoint32W);

// The peer: FreeType's advances summed directly, scaled and rounded the same way.
void BM_FreeTypeSum(benchmark::State &state) {
  auto font = Font();
  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  FT_New_Face(lib, font->Face().Path().c_str(), font->Face().Index(), &face);
  const double scale = 100.0 / face->units_per_EM;
  for (auto _ : state) {
    for (const auto &s : Strings()) {
      long sum = 0;
      for (char16_t c : s) {
        FT_Fixed adv = 0;
        FT_Get_Advance(face, FT_Get_Char_Index(face, c), FT_LOAD_NO_SCALE, &adv);
        sum += std::lround(adv * scale);
      }
      benchmark::DoNotOptimize(sum);
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations() * Strings().size()));
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}
BENCHMARK(BM_FreeTypeSum);

// What ExtTextOutW does for a metafile DC apart from appending: the dx array
// from the cached advances, the bounds estimate and the record bytes.
void BM_RecordTextLine(benchmark::State &state) {
  auto font = Font();
  std::vector<INT> dx(256);
  for (auto _ : state) {
    for (const auto &s : Strings()) {
      auto *w = reinterpret_cast<const WCHAR *>(s.data());
      font->Advances(w, s.size(), dx.data());
      long width = 0;
      for (size_t i = 0; i < s.size(); ++i) width += dx[i];
      nx::text::TextRecordInput in;
      in.bounds = nx::text::EstimateTextBounds(100, 100, width, font->Metrics().tmHeight, font->Metrics().tmDescent, 0);
      in.text = w;
      in.count = s.size();
      in.dx = dx.data();
      benchmark::DoNotOptimize(nx::text::BuildExtTextOutRecord(in));
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations() * Strings().size()));
}
BENCHMARK(BM_RecordTextLine);

void BM_ScriptShapePlace(benchmark::State &state) {
  SCRIPT_CACHE sc = nx::script::MakeScriptCache(Font());
  std::vector<WORD> glyphs(256), clusters(256);
  std::vector<SCRIPT_VISATTR> attrs(256);
  std::vector<int> adv(256);
  std::vector<GOFFSET> offs(256);
  for (auto _ : state) {
    for (const auto &s : Strings()) {
      SCRIPT_ANALYSIS a{};
      int n = 0;
      ScriptShape(nullptr, &sc, reinterpret_cast<const WCHAR *>(s.data()), int(s.size()), 256, &a, glyphs.data(),
                  clusters.data(), attrs.data(), &n);
      ScriptPlace(nullptr, &sc, glyphs.data(), n, attrs.data(), &a, adv.data(), offs.data(), nullptr);
      benchmark::DoNotOptimize(adv.data());
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations() * Strings().size()));
  ScriptFreeCache(&sc);
}
BENCHMARK(BM_ScriptShapePlace);

void BM_HarfBuzzShape(benchmark::State &state) {
  auto font = Font();
  hb_blob_t *blob = hb_blob_create_from_file(font->Face().Path().c_str());
  hb_face_t *face = hb_face_create(blob, 0);
  hb_font_t *hb = hb_font_create(face);
  hb_buffer_t *buf = hb_buffer_create();
  for (auto _ : state) {
    for (const auto &s : Strings()) {
      hb_buffer_reset(buf);
      hb_buffer_add_utf16(buf, reinterpret_cast<const uint16_t *>(s.data()), int(s.size()), 0, int(s.size()));
      hb_buffer_guess_segment_properties(buf);
      hb_shape(hb, buf, nullptr, 0);
      benchmark::DoNotOptimize(hb_buffer_get_glyph_positions(buf, nullptr));
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations() * Strings().size()));
  hb_buffer_destroy(buf);
  hb_font_destroy(hb);
  hb_face_destroy(face);
  hb_blob_destroy(blob);
}
BENCHMARK(BM_HarfBuzzShape);

}  // namespace

BENCHMARK_MAIN();
