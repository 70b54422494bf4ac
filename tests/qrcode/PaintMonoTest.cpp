// The QR code stretched to its square straight at one bit a pixel: the page
// records exactly what the 32-bit drawing records, for symbols of several
// versions, module widths, squares, margins and offsets; cases it cannot do
// alike are left to the 32-bit drawing.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "QRTestUtil.h"
#include "common/ErrorChannel.h"
#include "device/MemoryBitmap.h"
#include "device/Surface.h"

namespace {

using namespace nx;

// The bytes of a metafile holding one TSurface::Draw of the bitmap at (x, y).
std::vector<uint8_t> RecordedDraw(HBITMAP bitmap, int x, int y) {
  HDC meta = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  TSurface surface;
  surface.Attach(meta);
  surface.Draw(x, y, bitmap);
  surface.Attach(nullptr);
  HENHMETAFILE emf = CloseEnhMetaFile(meta);
  std::vector<uint8_t> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
  GetEnhMetaFileBits(emf, UINT(bytes.size()), bytes.data());
  DeleteEnhMetaFile(emf);
  return bytes;
}

struct TCase {
  std::string Text;
  int32_t Version, ModuleWidth, Side, Margin, OffsetX, OffsetY;
};

void Configure(TQRCode &qr, const TCase &c) {
  qr.SetCode(qrtest::U16(c.Text));
  qr.SetPreferredVersion(c.Version);
  qr.SetModuleWidth(c.ModuleWidth);
  qr.SetMarginPixels(c.Margin);
  qr.SetOffset(c.OffsetX, c.OffsetY);
  qr.SetBounds(c.Side, c.Side);
}

std::string Describe(const TCase &c) {
  return "version " + std::to_string(c.Version) + ", module " + std::to_string(c.ModuleWidth) + ", side " +
         std::to_string(c.Side) + ", margin " + std::to_string(c.Margin) + ", offset " + std::to_string(c.OffsetX) +
         "," + std::to_string(c.OffsetY);
}

TEST(QRPaintMono, RecordsTheSameBytesAsThe32BitDrawing) {
  const std::string longer(150, 'q');
  const std::vector<TCase> cases = {
      {"Invoice 2026-0117, EUR 885.36", 1, 2, 614, 30, 0, 0},  // NxQRCode's invoice at 600 dpi
      {"NOXTREL demo, page 1", 1, 2, 1251, 30, 0, 0},
      {"NOXTREL", 1, 4, 307, 30, 0, 0},   // as at 300 dpi
      {"NOXTREL", 1, 1, 113, 30, 0, 0},   // 21 + 90: hardly stretched at all
      {"NOXTREL", 1, 1, 111, 30, 0, 0},   // exactly the natural size
      {"NOXTREL", 3, 3, 997, 30, 0, 0},   // odd side, fixed larger version
      {longer, 1, 3, 1019, 30, 0, 0},     // a version with version information
      {"ODD", 2, 5, 523, 7, 3, 5},        // odd margin and offsets
      {"ODD", 2, 5, 523, 0, 0, 0},        // no margin: the first pixel is dark
      {"NEG", 1, 3, 401, 11, -4, -9},     // offsets before the origin
  };
  for (const TCase &c : cases) {
    TQRCode general, fast;
    Configure(general, c);
    Configure(fast, c);
    TMemoryBitmap image(c.Side, c.Side);
    general.paintBarcodeAutoSize(image.dc());
    TMonoBitmap mono;
    ASSERT_TRUE(fast.paintBarcodeAutoSizeMono(mono)) << Describe(c);
    EXPECT_EQ(fast.SelectedVersion(), general.SelectedVersion());
    EXPECT_EQ(fast.CurrentX(), general.CurrentX());
    ASSERT_EQ(mono.Width(), c.Side);
    ASSERT_EQ(mono.Height(), c.Side);
    EXPECT_TRUE(RecordedDraw(mono.Handle(), 17, 9) == RecordedDraw(image.Deselect(), 17, 9)) << Describe(c);
  }
}

TEST(QRPaintMono, DecodesWithZbar) {
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::TempDir dir;
  const std::string text = "Invoice 2026-0117, EUR 885.36";
  TQRCode qr;
  Configure(qr, {text, 1, 2, 614, 30, 0, 0});
  TMonoBitmap mono;
  ASSERT_TRUE(qr.paintBarcodeAutoSizeMono(mono));
  auto dark = [&](int x, int y) { return (mono.Row(y)[x >> 3] >> (7 - (x & 7)) & 1) != 0; };  // colour 1: the bars
  EXPECT_EQ(qrtest::ZbarDecodeImage(614, 614, dark, dir), text);
}

// Where the 32-bit drawing merges pixels or has other than two colours, the
// fast path declines and makes nothing.
TEST(QRPaintMono, LeavesShrinkingAndOtherColoursToTheGeneralPath) {
  TMonoBitmap mono;
  TQRCode small;
  Configure(small, {"NOXTREL", 1, 4, 150, 30, 0, 0});  // 84 + 90 pixels into 150
  EXPECT_FALSE(small.paintBarcodeAutoSizeMono(mono));
  EXPECT_EQ(mono.Handle(), nullptr);
  TQRCode blank;
  Configure(blank, {"NOXTREL", 1, 2, 300, 30, 0, 0});
  blank.SetBarColor(RGB(255, 255, 255));  // one colour
  EXPECT_FALSE(blank.paintBarcodeAutoSizeMono(mono));
  // A blue symbol offset to the right: the strip left of the background is
  // black, a third colour.
  TQRCode blue;
  Configure(blue, {"NOXTREL", 1, 2, 300, 30, 12, 0});
  blue.SetBarColor(RGB(0, 0, 160));
  EXPECT_FALSE(blue.paintBarcodeAutoSizeMono(mono));
  // Without the offset it has two colours and records as the general path does.
  TQRCode general;
  Configure(blue, {"NOXTREL", 1, 2, 300, 30, 0, 0});
  Configure(general, {"NOXTREL", 1, 2, 300, 30, 0, 0});
  general.SetBarColor(RGB(0, 0, 160));
  ASSERT_TRUE(blue.paintBarcodeAutoSizeMono(mono));
  TMemoryBitmap image(300, 300);
  general.paintBarcodeAutoSize(image.dc());
  EXPECT_TRUE(RecordedDraw(mono.Handle(), 0, 0) == RecordedDraw(image.Deselect(), 0, 0));
  // A build error propagates as from the general path.
  TQRCode bad;
  bad.SetCode(u"\x20AC");
  bad.SetBounds(300, 300);
  EXPECT_THROW(bad.paintBarcodeAutoSizeMono(mono), ENxError);
}

}  // namespace
