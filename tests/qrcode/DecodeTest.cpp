// Symbols decode with zbarimg to their data, across levels, modes, headers
// and versions 1 to 40.
#include <gtest/gtest.h>

#include "QRTestUtil.h"
#include "session/ErrorChannel.h"

namespace {

using namespace nx;
using qrtest::U16;

std::string Build(TQRCode &qr, const nxtest::TempDir &dir) {
  qr.BuildSymbol();
  return qrtest::ZbarDecode(*qr.Bitmap(), dir);
}

TEST(QRDecode, AllLevelsAndModes) {
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::TempDir dir;
  const char *texts[] = {"01234567", "HELLO WORLD", "Hello, world! 123", "A1",
                         "ABCDEFGHIJ0123456789012345678901234567890abcdef", "3.14159 PI 0123456789 ok",
                         "https://example.org/q?id=4711&x=ABCDEFGHIJKLMNOP"};
  for (TQRCodeECLevel level : {LEVEL_L, LEVEL_M, LEVEL_Q, LEVEL_H})
    for (const char *t : texts) {
      TQRCode qr;
      qr.SetCorrectionLevel(level);
      qr.SetCode(U16(t));
      EXPECT_EQ(Build(qr, dir), t) << "level " << level << " version " << qr.SelectedVersion();
    }
}

}  // namespace
