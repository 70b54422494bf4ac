// Every symbology zbarimg reads, drawn into a bitmap with and without its
// text and in all four rotations, decodes to the data.
#include <gtest/gtest.h>

#include "BarcodeImage.h"
#include "barcode/ZbrBarcode.h"
#include "barcode/ZbrUtils.h"

namespace {

using namespace nx;

struct Case {
  TZbrBarCodeType type;
  const char *code;
  bool checksum;
  const char *expect;
};
constexpr Case kCases[] = {
    {EAN13, "5901234123457", false, "5901234123457"},
    {EAN13, "400638133393", true, "4006381333931"},
    {EAN8, "9638507", true, "96385074"},
    {UPCA, "03600029145", false, "0036000291452"},  // zbar reads UPC-A as EAN-13
    {UPCE0, "0123456", true, "0012345000065"},      // and expands UPC-E
    {CODE39, "NOXTREL-39", false, "NOXTREL-39"},
    {CODE93, "TEST93", false, "TEST93"},
    {CODE128B, "Order 4711/a", false, "Order 4711/a"},
    {CODE128C, "12345", false, "012345"},
    {CODE128A, "ABC-12", false, "ABC-12"},
    {CODABAR, "40156", false, "A40156B"},
    {INTER_25, "1234567", false, "01234567"},
};

TEST(ZbrDecode, EverySymbologyZbarReadsWithTextInFourRotations) {
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::TempDir dir;
  for (bool text : {false, true})
    for (TPZbrAngle angle : {zba0, zba90, zba180, zba270})
      for (const auto &c : kCases) {
        TZbrBarcode bc;
        bc.SetCodeType(c.type);
        bc.SetBarCode(c.code);
        bc.SetChecksum(c.checksum);
        bc.SetBarWidth(0.4f);
        bc.SetLeftRightMargin(10.0f);
        bc.SetShowNumber(text);
        bc.SetAngle(angle);
        TMemoryBitmap image;
        bc.SaveBarcodeImage(image);
        const std::string name =
            std::string(ZbrTypeName(c.type)) + "-" + std::to_string(90 * angle) + (text ? "-text" : "");
        EXPECT_EQ(bctest::Decode(image, dir, name), c.expect) << name;
      }
}

// Narrow elements of one to three pixels: the bars keep their columns.
TEST(ZbrDecode, NarrowElementsOfOneToThreePixels) {
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::TempDir dir;
  for (float narrow : {0.1f, 0.2f, 0.3f})
    for (const auto &c : kCases) {
      TZbrBarcode bc;
      bc.SetCodeType(c.type);
      bc.SetBarCode(c.code);
      bc.SetChecksum(c.checksum);
      bc.SetBarWidth(narrow);
      bc.SetLeftRightMargin(2.0f);
      bc.SetShowNumber(false);
      TMemoryBitmap image;
      bc.SaveBarcodeImage(image);
      const std::string name = std::string(ZbrTypeName(c.type)) + "-" + std::to_string(int(narrow * 10)) + "px";
      EXPECT_EQ(bctest::Decode(image, dir, name, narrow < 0.15f ? 2 : 1), c.expect) << name;
    }
}

}  // namespace
