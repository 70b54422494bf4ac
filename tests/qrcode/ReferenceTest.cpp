// Tables and whole symbols against the independent Python encoder (qrcodegen):
// capacities, block structure, alignment positions, and every version and
// level module for module with the same data and mask.
#include <gtest/gtest.h>

#include <sstream>

#include "QRTestUtil.h"
#include "qrcode/reedQR.h"

namespace {

using namespace nx;

bool HaveQrcodegen() { return nxtest::RunCommand("/usr/bin/python3 -c 'import qrcodegen'").exitCode == 0; }
#define REQUIRE_QRCODEGEN() \
  if (!HaveQrcodegen()) GTEST_SKIP() << "python3-qrcodegen is not installed"

const char *kTablesScript = R"(
from qrcodegen import QrCode
E = [QrCode.Ecc.LOW, QrCode.Ecc.MEDIUM, QrCode.Ecc.QUARTILE, QrCode.Ecc.HIGH]
for v in range(1, 41):
    q = QrCode.__new__(QrCode)
    q._version = v
    q._size = 17 + 4 * v
    align = ",".join(str(p) for p in q._get_alignment_pattern_positions())
    print(v, QrCode._get_num_raw_data_modules(v) // 8, align or "-")
    for l, e in enumerate(E):
        print(v, l, QrCode._get_num_data_codewords(v, e), QrCode._ECC_CODEWORDS_PER_BLOCK[l][v],
              QrCode._NUM_ERROR_CORRECTION_BLOCKS[l][v])
)";

TEST(QRReference, TablesMatchQrcodegen) {
  REQUIRE_QRCODEGEN();
  nxtest::TempDir dir;
  auto r = qrtest::RunPython(kTablesScript, "", dir);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::istringstream in(r.output);
  int lines = 0;
  for (int32_t v = 1; v <= 40; ++v) {
    int32_t rv, total;
    std::string align;
    in >> rv >> total >> align;
    ASSERT_EQ(rv, v);
    EXPECT_EQ(QRTotalCodewords(v), total) << v;
    std::string ours;
    for (int32_t p : TQRBitMap::AlignmentPositions(v)) ours += (ours.empty() ? "" : ",") + std::to_string(p);
    EXPECT_EQ(ours.empty() ? "-" : ours, align) << "version " << v;
    for (int32_t l = 0; l < 4; ++l) {
      int32_t lv, ll, data, eccPerBlock, blocks;
      in >> lv >> ll >> data >> eccPerBlock >> blocks;
      auto level = TQRCodeECLevel(l);
      EXPECT_EQ(QRDataCodewords(v, level), data) << v << "/" << l;
      TQRBlockRecord rec[2];
      int32_t n = QRBlockRecords(v, level, rec);
      int32_t count = 0, sumK = 0, sumC = 0;
      for (int32_t i = 0; i < n; ++i) {
        EXPECT_EQ(rec[i].c - rec[i].k, eccPerBlock) << v << "/" << l;
        EXPECT_EQ(rec[i].ecc, eccPerBlock * blocks);
        count += rec[i].blocks;
        sumK += rec[i].blocks * rec[i].k;
        sumC += rec[i].blocks * rec[i].c;
      }
      if (n == 2) {
        EXPECT_EQ(rec[1].c, rec[0].c + 1);
      }
      EXPECT_EQ(count, blocks) << v << "/" << l;
      EXPECT_EQ(sumK, data);
      EXPECT_EQ(sumC, total);
      ++lines;
    }
  }
  EXPECT_EQ(lines, 160);
}

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
