// Symbols compared with qrencode: the data modules (unmasked with each
// symbol's own mask) always, and every module where both chose the same mask.
#include <gtest/gtest.h>

#include "QRTestUtil.h"
#include "qrcode/reedQR.h"

namespace {

using namespace nx;

// The mask number from the format information.
int32_t MaskOf(const std::vector<std::string> &rows) {
  int32_t f = 0;
  qrtest::ForFormatModules(int(rows.size()), [&](int b, int x, int y) {
    if (rows[size_t(y)][size_t(x)] == '1') f |= 1 << b;
  });
  return ((f ^ 0x5412) >> 10) & 7;
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> out;
  size_t from = 0;
  for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1) out.push_back(text.substr(from, nl - from));
  return out;
}

// Undoes a mask on the data and remainder modules of the layout; format modules (which
// name the mask) become '-'.
std::vector<std::string> Unmask(std::vector<std::string> rows, const TQRBitMap &layout, int32_t mask) {
  for (int32_t y = 0; y < layout.getMaxY(); ++y)
    for (int32_t x = 0; x < layout.getMaxX(); ++x) {
      int32_t v = layout.getBit(x, y);
      if ((v == -1 || v == 0 || v == 16) && qrtest::MaskCondition(mask, y, x)) rows[size_t(y)][size_t(x)] ^= 1;
      if (v == 5 || v == 80) rows[size_t(y)][size_t(x)] = '-';
    }
  return rows;
}

// "x,y" of the first module that differs, or "".
std::string FirstDifference(const std::vector<std::string> &a, const std::vector<std::string> &b) {
  for (size_t y = 0; y < a.size() && y < b.size(); ++y)
    for (size_t x = 0; x < a[y].size() && x < b[y].size(); ++x)
      if (a[y][x] != b[y][x]) return std::to_string(x) + "," + std::to_string(y);
  return a.size() == b.size() ? "" : "size";
}

TEST(QRCrossCheck, SameSymbolsAsQrencode) {
  NX_REQUIRE_TOOL("qrencode");
  nxtest::TempDir dir;
  struct Case {
    std::string text;
    TQRCodeEncoding mode;
  };
  std::vector<Case> cases;
  for (int n : {1, 7, 8, 17, 41, 60, 128, 300, 777, 1500, 3000, 7089})
    for (int seed : {0, 1}) {
      std::string digits;
      for (int i = 0; i < n; ++i) digits += char('0' + (i * (7 + seed) + i / 9 + seed) % 10);
      cases.push_back({digits, ENC_AUTO});
    }
  for (int n : {2, 11, 25, 77, 200, 640, 1800, 4296})
    for (int seed : {0, 3}) {
      std::string alpha;
      const char *set = "ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
      for (int i = 0; i < n; ++i) alpha += set[(i * (5 + seed) + i / 7) % 35];
      cases.push_back({alpha, ENC_AUTO});
    }
  for (int n : {1, 14, 32, 100, 256, 999, 2000, 2953})
    for (int seed : {0, 5}) {
      std::string bytes;
      for (int i = 0; i < n; ++i) bytes += char(1 + (i * (13 + seed) + i / 11) % 255);
      cases.push_back({bytes, ENC_BYTE});
    }
  int32_t compared = 0, sameMask = 0;
  for (const Case &c : cases)
    for (TQRCodeECLevel level : {LEVEL_L, LEVEL_M, LEVEL_Q, LEVEL_H}) {
      TQRCode qr;
      qr.SetCorrectionLevel(level);
      qr.SetEncoding(c.mode);
      qr.setCodeBinary(qrtest::Codes(c.text));
      try {
        qr.BuildSymbol();
      } catch (const std::exception &) {
        continue;  // too long at this level
      }
      std::string args = std::string("-l ") + "LMQH"[level] + " -v " + std::to_string(qr.SelectedVersion()) +
                         (c.mode == ENC_BYTE ? " -8" : "");
      std::vector<std::string> theirs = Lines(qrtest::QrencodeMatrix(args, c.text, dir));
      ASSERT_EQ(int32_t(theirs.size()), qr.Bitmap()->getMaxY()) << args << " " << c.text.size();
      std::vector<std::string> ours = Lines(qrtest::MatrixText(*qr.Bitmap()));
      int32_t v = qr.SelectedVersion(), side = 17 + 4 * v;
      TQRBitMap layout(side, side, v);
      TBitString bits = qr.BuildBits(qrtest::Codes(c.text), v);
      layout.placeCodewords(AssembleCodewords(bits, v, level));
      EXPECT_EQ(FirstDifference(Unmask(ours, layout, qr.Bitmap()->Mask()), Unmask(theirs, layout, MaskOf(theirs))), "")
          << args << " length " << c.text.size();
      if (MaskOf(theirs) == qr.Bitmap()->Mask()) {
        EXPECT_EQ(ours, theirs) << args << " length " << c.text.size();
        ++sameMask;
      }
      ++compared;
    }
  EXPECT_GE(compared, 150);
  EXPECT_GE(sameMask, 20);
  std::printf("compared %d symbols with qrencode, %d with the same mask\n", compared, sameMask);
}

}  // namespace
