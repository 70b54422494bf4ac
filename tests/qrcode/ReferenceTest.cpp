// Every version and level against the independent Python encoder
// (qrcodegen), module for module with the same data bits and mask: capacities,
// block structure, Reed-Solomon codewords, interleaving, alignment positions,
// placement, format and version information.
#include <gtest/gtest.h>

#include <sstream>

#include "QRTestUtil.h"
#include "qrcode/reedQR.h"

namespace {

using namespace nx;

bool HaveQrcodegen() { return nxtest::RunCommand("/usr/bin/python3 -c 'import qrcodegen'").exitCode == 0; }
#define REQUIRE_QRCODEGEN() \
  if (!HaveQrcodegen()) GTEST_SKIP() << "python3-qrcodegen is not installed"

// Reads "version level mask bits" lines; pads the data bits as the standard
// says and prints the symbol qrcodegen builds with that mask.
const char *kSymbolScript = R"(
import sys
from qrcodegen import QrCode
E = [QrCode.Ecc.LOW, QrCode.Ecc.MEDIUM, QrCode.Ecc.QUARTILE, QrCode.Ecc.HIGH]
for line in sys.stdin:
    v, l, m, bits = line.split()
    v, l, m = int(v), int(l), int(m)
    cap = QrCode._get_num_data_codewords(v, E[l]) * 8
    bits += "0" * min(4, cap - len(bits))
    bits += "0" * (-len(bits) % 8)
    data = [int(bits[i:i + 8], 2) for i in range(0, len(bits), 8)]
    pad = 0xEC
    while len(data) < cap // 8:
        data.append(pad)
        pad ^= 0xEC ^ 0x11
    q = QrCode(v, E[l], data, m)
    print("".join("1" if q.get_module(x, y) else "0" for y in range(q.get_size()) for x in range(q.get_size())))
)";

TEST(QRReference, EveryVersionAndLevelMatchesQrcodegenModuleForModule) {
  REQUIRE_QRCODEGEN();
  nxtest::TempDir dir;
  std::string input;
  std::vector<std::string> ours;
  for (int32_t v = 1; v <= 40; ++v)
    for (int32_t l = 0; l < 4; ++l) {
      TQRCode qr;
      qr.SetCorrectionLevel(TQRCodeECLevel(l));
      qr.SetPreferredVersion(v);
      qr.SetAutoConfigurate(false);
      // Mixed data about two thirds of the capacity, different per symbol.
      int32_t n = QRDataCodewords(v, TQRCodeECLevel(l)) * 2 / 3;
      std::string text;
      for (int32_t i = 0; i < n; ++i) text += char(i % 3 == 0 ? 'a' + (i * 7 + v) % 26 : '0' + (i + l) % 10);
      qr.SetCode(qrtest::U16(text));
      qr.BuildSymbol();
      std::vector<int32_t> codes = qrtest::Codes(text);
      std::string bits(qr.BuildBits(codes, v).Value());
      input += std::to_string(v) + " " + std::to_string(l) + " " + std::to_string(qr.Bitmap()->Mask()) + " " + bits + "\n";
      std::string m = qrtest::MatrixText(*qr.Bitmap());
      std::erase(m, '\n');
      ours.push_back(m);
    }
  auto r = qrtest::RunPython(kSymbolScript, input, dir);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::istringstream in(r.output);
  for (size_t i = 0; i < ours.size(); ++i) {
    std::string theirs;
    in >> theirs;
    EXPECT_EQ(ours[i], theirs) << "version " << i / 4 + 1 << " level " << i % 4;
  }
}

}  // namespace
