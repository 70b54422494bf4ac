// Barcodes per second, ours against libzint on the same data, for EAN-13,
// Code 128 and Code 39:
// - Encode: our prepare + encode against ZBarcode_Encode;
// - Render: our whole drawing into a fresh 24-bit bitmap (prepare, encode,
//   layout, bars and, with text, the digits in Arial) against
//   ZBarcode_Encode + ZBarcode_Buffer (zint's own raster, 24-bit), both at
//   4 pixels a module and 100 pixels of bars.
#include <benchmark/benchmark.h>
#include <zint.h>

#include <cstring>
#include <string>

#include "barcode/ZbrBarcode.h"
#include "barcode/ZbrUtils.h"
#include "device/MemoryBitmap.h"

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

void OursRender(benchmark::State &state, nx::TZbrBarCodeType type, const char *data, bool checksum, bool text) {
  for (auto _ : state) {
    nx::TZbrBarcode bc;
    bc.SetCodeType(type);
    bc.SetBarCode(data);
    bc.SetChecksum(checksum);
    bc.SetBarWidth(0.4f);  // 4 pixels
    bc.SetFactor(2.0f);
    bc.SetShowNumber(text);
    // About the size of zint's image: no margin above and below, EAN-13's
    // quiet zones at the sides.
    bc.SetTopBottomMargin(0.0f);
    bc.SetLeftRightMargin(type == nx::EAN13 ? 3.6f : 0.0f);
    nx::TMemoryBitmap image;
    bc.SaveBarcodeImage(image);
    benchmark::DoNotOptimize(image.dc());
  }
  state.SetItemsProcessed(state.iterations());
}

void ZintRender(benchmark::State &state, int symbology, const char *data, int option2, bool text) {
  for (auto _ : state) {
    zint_symbol *s = ZBarcode_Create();
    s->symbology = symbology;
    s->option_2 = option2;
    s->scale = 2.0f;  // 4 pixels a module in zint's raster
    s->height = 25.0f;
    s->show_hrt = text ? 1 : 0;
    int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char *>(data), int(std::strlen(data)));
    if (rc < ZINT_ERROR) rc = ZBarcode_Buffer(s, 0);
    benchmark::DoNotOptimize(s->bitmap);
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

BENCHMARK_CAPTURE(OursRender, Ean13Bars, nx::EAN13, "590123412345", true, false);
BENCHMARK_CAPTURE(ZintRender, Ean13Bars, BARCODE_EANX, "590123412345", 0, false);
BENCHMARK_CAPTURE(OursRender, Code128BBars, nx::CODE128B, "Order 4711/2026-A", false, false);
BENCHMARK_CAPTURE(ZintRender, Code128BBars, BARCODE_CODE128B, "Order 4711/2026-A", 0, false);
BENCHMARK_CAPTURE(OursRender, Code39Bars, nx::CODE39, "NOXTREL-39 TEST", true, false);
BENCHMARK_CAPTURE(ZintRender, Code39Bars, BARCODE_CODE39, "NOXTREL-39 TEST", 1, false);

BENCHMARK_CAPTURE(OursRender, Ean13Text, nx::EAN13, "590123412345", true, true);
BENCHMARK_CAPTURE(ZintRender, Ean13Text, BARCODE_EANX, "590123412345", 0, true);
BENCHMARK_CAPTURE(OursRender, Code128BText, nx::CODE128B, "Order 4711/2026-A", false, true);
BENCHMARK_CAPTURE(ZintRender, Code128BText, BARCODE_CODE128B, "Order 4711/2026-A", 0, true);
BENCHMARK_CAPTURE(OursRender, Code39Text, nx::CODE39, "NOXTREL-39 TEST", true, true);
BENCHMARK_CAPTURE(ZintRender, Code39Text, BARCODE_CODE39, "NOXTREL-39 TEST", 1, true);

}  // namespace

BENCHMARK_MAIN();
