// Encoded barcodes per second: our prepare + encode against libzint's
// ZBarcode_Encode on the same data, for EAN-13, Code 128 and Code 39.
#include <benchmark/benchmark.h>
#include <zint.h>

#include <cstring>
#include <string>

#include "barcode/ZbrUtils.h"

namespace {

void Ours(benchmark::State &state, nx::TZbrBarCodeType type, const char *data, bool checksum) {
  std::string elements;
  for (auto _ : state) {
    nx::TZbrPrepared p = nx::PrepareCode(data, type, checksum);
    nx::EncodePatternInto(p.Code, type, true, elements);
    benchmark::DoNotOptimize(elements.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void Zint(benchmark::State &state, int symbology, const char *data, int option2) {
  for (auto _ : state) {
    zint_symbol *s = ZBarcode_Create();
    s->symbology = symbology;
    s->option_2 = option2;
    int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char *>(data), int(std::strlen(data)));
    benchmark::DoNotOptimize(rc);
    ZBarcode_Delete(s);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(Ours, Ean13, nx::EAN13, "590123412345", true);
BENCHMARK_CAPTURE(Zint, Ean13, BARCODE_EANX, "590123412345", 0);
BENCHMARK_CAPTURE(Ours, Code128B, nx::CODE128B, "Order 4711/2026-A", false);
BENCHMARK_CAPTURE(Zint, Code128B, BARCODE_CODE128B, "Order 4711/2026-A", 0);
BENCHMARK_CAPTURE(Ours, Code39, nx::CODE39, "NOXTREL-39 TEST", true);
BENCHMARK_CAPTURE(Zint, Code39, BARCODE_CODE39, "NOXTREL-39 TEST", 1);

}  // namespace

BENCHMARK_MAIN();
