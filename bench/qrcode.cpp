// QR symbols per second: our whole build (segments, version choice,
// codewords, matrix and mask choice) against libqrencode's QRcode_encodeString
// on the same short (20 bytes), medium (300) and long (2,000) texts, level L.
#include <benchmark/benchmark.h>
#include <qrencode.h>

#include <string>

#include "qrcode/QRCode.h"

namespace {

// Business-like text: words, numbers, punctuation.
std::string Text(size_t n) {
  const std::string words = "Invoice 2026-0471 for ACME Ltd, 12 x Widget (EUR 19.99) due 31.01.; ";
  std::string s;
  while (s.size() < n) s += words;
  s.resize(n);
  return s;
}

void Ours(benchmark::State &state, size_t n) {
  std::string text = Text(n);
  nx::TQRCode qr;
  qr.SetCode(std::u16string(text.begin(), text.end()));
  for (auto _ : state) {
    qr.BuildSymbol();
    benchmark::DoNotOptimize(qr.Bitmap());
  }
  state.counters["version"] = qr.SelectedVersion();
  state.SetItemsProcessed(state.iterations());
}

void Libqrencode(benchmark::State &state, size_t n) {
  std::string text = Text(n);
  int version = 0;
  for (auto _ : state) {
    QRcode *code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1);
    benchmark::DoNotOptimize(code);
    version = code ? code->version : -1;
    QRcode_free(code);
  }
  state.counters["version"] = version;
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(Ours, Short20, 20);
BENCHMARK_CAPTURE(Libqrencode, Short20, 20);
BENCHMARK_CAPTURE(Ours, Medium300, 300);
BENCHMARK_CAPTURE(Libqrencode, Medium300, 300);
BENCHMARK_CAPTURE(Ours, Long2000, 2000);
BENCHMARK_CAPTURE(Libqrencode, Long2000, 2000);

}  // namespace

BENCHMARK_MAIN();
