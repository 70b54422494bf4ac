// Drawing through GDI: natural size with margin and offset, scaled drawing,
// and the drawn symbols decode with zbarimg.
#include <gtest/gtest.h>

#include <cstdint>

#include "QRTestUtil.h"
#include "common/ErrorChannel.h"

namespace {

using namespace nx;

// A white 24-bit DIB section in a memory DC, readable pixel by pixel.
class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    dc_ = CreateCompatibleDC(nullptr);
    bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bmp_);
    std::fill(bits_, bits_ + size_t(Stride()) * size_t(h), 0xFF);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  bool Dark(int x, int y) const { return bits_[size_t(y) * size_t(Stride()) + size_t(x) * 3] < 128; }
  std::string Decode(const nxtest::TempDir &dir) const {
    return qrtest::ZbarDecodeImage(w_, h_, [this](int x, int y) { return Dark(x, y); }, dir);
  }

 private:
  int Stride() const { return (w_ * 3 + 3) & ~3; }
  int w_, h_;
  HDC dc_;
  HBITMAP bmp_;
  HGDIOBJ old_;
  unsigned char *bits_ = nullptr;
};

TEST(QRPaint, NaturalSizeWithMarginAndOffset) {
  TQRCode qr;
  qr.SetCode(u"HELLO WORLD");
  qr.SetOffset(10, 5);
  qr.SetBounds(300, 300);
  Canvas canvas(300, 300);
  qr.paintBarcode(canvas.dc());
  EXPECT_EQ(qr.CurrentX(), 10 + 30 + 21 * 4 + 30);
  EXPECT_EQ(qr.CurrentY(), 5 + 30 + 21 * 4 + 30);
  // The finder's top-left module: exactly 4 x 4 pixels at (40, 35).
  EXPECT_TRUE(canvas.Dark(40, 35));
  EXPECT_TRUE(canvas.Dark(43, 38));
  EXPECT_FALSE(canvas.Dark(39, 35));
  EXPECT_FALSE(canvas.Dark(40, 34));
  EXPECT_FALSE(canvas.Dark(44, 39));  // the finder's light ring at module (1, 1)
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 21; ++x)
      ASSERT_EQ(canvas.Dark(40 + 4 * x + 2, 35 + 4 * y + 2), qr.Bitmap()->isBlack(x, y)) << x << "," << y;
  nxtest::TempDir dir;
  if (nxtest::HaveTool("zbarimg")) {
    EXPECT_EQ(canvas.Decode(dir), "HELLO WORLD");
  }
}

TEST(QRPaint, ScaledToTheControlAndDecodable) {
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::TempDir dir;
  // As at 600 dpi with Size 200: a 1251-pixel square; version 1 is first
  // drawn on 174 x 174 pixels (30 + 84 + 60).
  TQRCode qr;
  qr.SetCode(u"NOXTREL");
  qr.SetBounds(1251, 1251);
  Canvas canvas(1251, 1251);
  qr.paintBarcodeAutoSize(canvas.dc());
  EXPECT_EQ(qr.CurrentX(), 144);
  int left = 0, top = 0;
  while (left < 1251 && !canvas.Dark(left, 400)) ++left;  // through the top-left finder
  while (top < 1251 && !canvas.Dark(400, top)) ++top;
  EXPECT_NEAR(left, 216, 1);
  EXPECT_NEAR(top, 216, 1);
  EXPECT_EQ(canvas.Decode(dir), "NOXTREL");
  // Larger symbols, every level, with module widths 1 to 3.
  for (TQRCodeECLevel level : {LEVEL_L, LEVEL_M, LEVEL_Q, LEVEL_H}) {
    TQRCode big;
    std::string text(200 + 150 * level, 'x');
    for (size_t i = 0; i < text.size(); ++i) text[i] = char('a' + i * 7 % 26);
    big.SetCode(qrtest::U16(text));
    big.SetCorrectionLevel(level);
    big.SetModuleWidth(1 + level % 3);
    big.SetBounds(700, 700);
    Canvas c(700, 700);
    big.paintBarcodeAutoSize(c.dc());
    EXPECT_EQ(c.Decode(dir), text) << "level " << level << " version " << big.SelectedVersion();
  }
}

TEST(QRPaint, ABuildErrorDrawsNothing) {
  TQRCode qr;
  qr.SetCode(u"\x20AC");
  Canvas canvas(100, 100);
  EXPECT_THROW(qr.paintBarcode(canvas.dc()), ENxError);
  // Modules or offsets that reach beyond 32-bit coordinates are refused
  // before anything is drawn.
  auto code = [&](TQRCode &symbol) {
    try {
      symbol.paintBarcode(canvas.dc());
    } catch (const ENxError &e) {
      return e.code();
    }
    return nxeNone;
  };
  TQRCode wide;
  wide.SetCode(u"1");
  wide.SetModuleWidth(110000000);  // 21 modules: 2.3e9 pixels
  EXPECT_EQ(code(wide), nxeArgument);
  TQRCode far;
  far.SetCode(u"1");
  far.SetOffset(0, INT32_MAX - 100);
  EXPECT_EQ(code(far), nxeArgument);
  for (int y = 0; y < 100; y += 7)
    for (int x = 0; x < 100; x += 7) ASSERT_FALSE(canvas.Dark(x, y));
}

}  // namespace
