// The barcode component: properties, factor rules, image geometry and the
// definition file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "barcode/ZbrBarcode.h"
#include "common/ErrorChannel.h"
#include "support/TestSupport.h"

namespace {

using namespace nx;

std::u16string Wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

TEST(ZbrComponent, FactorRulesAndRounding) {
  TZbrBarcode bc;
  EXPECT_FLOAT_EQ(bc.GetFactor(), 3.0f);  // CODE39 as created, no factor reset
  bc.SetCodeType(EAN13);
  EXPECT_FLOAT_EQ(bc.GetFactor(), 2.0f);
  bc.SetFactor(2.5f);
  EXPECT_FLOAT_EQ(bc.GetFactor(), 2.5f);
  bc.SetFactor(1.0f);
  EXPECT_FLOAT_EQ(bc.GetFactor(), 2.0f);  // raised to 200
  bc.SetCodeType(MATRIX_25);              // keeps 200, clamped to 225
  EXPECT_FLOAT_EQ(bc.GetFactor(), 2.25f);
  bc.SetCodeType(POSTNET);
  EXPECT_FLOAT_EQ(bc.GetFactor(), 1.0f);
  bc.SetFactor(9.0f);
  EXPECT_FLOAT_EQ(bc.GetFactor(), 6.0f);
  bc.SetFactor(2.345f);  // 234.5 -> 235 upward
  EXPECT_FLOAT_EQ(bc.GetFactor(), 2.35f);
  // Lengths: Round(value x 10), ties to even.
  bc.SetBarWidth(0.25f);
  EXPECT_FLOAT_EQ(bc.GetBarWidth(), 0.2f);
  bc.SetBarWidth(0.35f);  // the single 0.35 lies just below .35
  EXPECT_FLOAT_EQ(bc.GetBarWidth(), 0.3f);
  bc.SetBHeight(10.0f);
  EXPECT_FLOAT_EQ(bc.GetBHeight(), 10.0f);
  // Values beyond a 32-bit field are held at its end; an image that large
  // is refused rather than laid out with wrapped-around coordinates.
  bc.SetFactor(1e12f);
  EXPECT_FLOAT_EQ(bc.GetFactor(), 6.0f);
  bc.SetBarWidth(1e12f);
  EXPECT_FLOAT_EQ(bc.GetBarWidth(), 214748364.7f);
  EXPECT_THROW(bc.Layout(), ENxError);
  bc.SetBarWidth(-1e12f);
  EXPECT_THROW(bc.Layout(), ENxError);
}

TEST(ZbrComponent, ImageGeometryMarginsAndRotation) {
  TZbrBarcode bc;
  bc.SetCodeType(CODE128B);
  bc.SetBarWidth(0.1f);  // narrow 1 pixel: every bar fills its slot
  bc.SetLeftRightMargin(0);
  bc.SetTopBottomMargin(0);
  bc.SetShowNumber(false);
  bc.SetBarCode("A");
  TZbrLayout l = bc.Layout();
  // start, 'A', check (11 modules each) and stop (13) at ratio 2, no margins.
  EXPECT_EQ(bc.ImageWidth(), 46);
  EXPECT_EQ(bc.ImageHeight(), 100);
  // Bar modules: start B 2+1+1, 'A' 1+1+2, check 34 1+1+2, stop 2+3+1+2.
  LONG dark = 0;
  for (const RECT &r : l.Bars) dark += r.right - r.left;
  EXPECT_EQ(dark, 4 + 4 + 4 + 8);

  // Text below the bars: height + top margin + font height, or two margins.
  bc.SetShowNumber(true);
  bc.SetTopBottomMargin(5.0f);  // 50 > font 30
  bc.Layout();
  EXPECT_EQ(bc.ImageHeight(), 100 + 100);
  bc.SetFontHeight(8.0f);
  bc.Layout();
  EXPECT_EQ(bc.ImageHeight(), 100 + 50 + 80);

  // Rotation swaps the image and maps each bar like the image.
  bc.SetBarWidth(0.3f);
  TZbrLayout flat = bc.Layout();
  LONG w = bc.ImageWidth(), h = bc.ImageHeight();
  bc.SetAngle(zba90);
  TZbrLayout turned = bc.Layout();
  EXPECT_EQ(bc.ImageWidth(), h);
  EXPECT_EQ(bc.ImageHeight(), w);
  ASSERT_EQ(turned.Bars.size(), flat.Bars.size());
  const RECT &a = flat.Bars[0], &b = turned.Bars[0];
  EXPECT_EQ(b.left, a.top);
  EXPECT_EQ(b.top, w - a.right);
  bc.SetAngle(zba180);
  TZbrLayout upside = bc.Layout();
  EXPECT_EQ(upside.Bars[0].right, w - a.left);
  EXPECT_EQ(upside.Bars[0].bottom, h - a.top);
}

TEST(ZbrComponent, EanGuardsAndTextAnchors) {
  TZbrBarcode bc;
  bc.SetCodeType(EAN13);
  bc.SetBarCode("5901234123457");
  TZbrLayout l = bc.Layout();
  // Long guard bars reach three quarters of the font height below the bars.
  EXPECT_EQ(l.Bars[0].bottom - l.Bars[0].top, 100 + 23);
  ASSERT_EQ(l.Texts.size(), 3u);
  EXPECT_EQ(l.Texts[0].Text, "5");
  EXPECT_EQ(l.Texts[1].Text, "901234");
  EXPECT_EQ(l.Texts[2].Text, "123457");
  // Left group centred on the point after 15 elements: guard (3 modules) and
  // three digits (7 each) of 3-pixel modules after the 50-pixel margin.
  EXPECT_EQ(l.Texts[1].X, 50 + 3 * 24);
  EXPECT_EQ(l.Texts[2].X, 50 + 3 * (3 + 42 + 5 + 21));
  EXPECT_EQ(l.Texts[0].X, 50 - 2 * 3);
  bc.SetShowNumber(false);
  l = bc.Layout();
  EXPECT_EQ(l.Bars[0].bottom - l.Bars[0].top, 100);
  EXPECT_TRUE(l.Texts.empty());
  // Code 39 text is centred over the bars.
  TZbrBarcode c39;
  TZbrLayout m = c39.Layout();
  ASSERT_EQ(m.Texts.size(), 1u);
  EXPECT_EQ(m.Texts[0].X, (c39.ImageWidth() + 1) / 2);
  // An encoder failure leaves background and text but no bars.
  bc.SetBarCode("59012");
  bc.SetShowNumber(true);
  l = bc.Layout();
  EXPECT_TRUE(l.Bars.empty());
  EXPECT_EQ(bc.ImageWidth(), 100);
}

TEST(ZbrComponent, PreparedCodeSizesTheImage) {
  TZbrBarcode bc;
  bc.SetCodeType(UPCA);
  bc.SetBarCode("03600029145");  // check digit added by preparation
  TZbrLayout l = bc.Layout();
  EXPECT_EQ(bc.DisplayCode(), "036000291452");
  LONG right = 0;
  for (const RECT &r : l.Bars) right = std::max(right, r.right);
  EXPECT_LE(right, bc.ImageWidth());
  EXPECT_EQ(bc.ImageWidth(), 50 + 95 * 3 + 50);
}

TEST(ZbrDefinitionFile, DefaultComponentIs48Bytes) {
  nxtest::TempDir dir;
  TZbrBarcode bc;
  bc.SaveToFile(Wide(dir.file("a.zbr")));
  std::vector<unsigned char> expect = {1, 0, 0, 0, 5, '8', '8', '8', '8', '8', 4, 0, 0, 0, 3, 0, 0, 0,
                                       100, 0, 0, 0, 0, 0, 0, 0, 30, 0, 0, 0, 50, 0, 0, 0, 50, 0, 0, 0,
                                       0x2C, 1, 0, 0, 0, 1, 1, 0, 0, 0};
  EXPECT_EQ(nxtest::ReadFileBytes(dir.file("a.zbr")), expect);
}

TEST(ZbrDefinitionFile, RoundTripLongCodesAndBadFiles) {
  nxtest::TempDir dir;
  TZbrBarcode bc;
  bc.SetBarCode(std::string(200, 'X'));
  bc.SetCodeType(MSI);
  bc.SetChecksum(true);
  bc.SaveToFile(Wide(dir.file("long.zbr")));
  auto bytes = nxtest::ReadFileBytes(dir.file("long.zbr"));
  ASSERT_GT(bytes.size(), 6u);
  EXPECT_EQ(bytes[4], 0xC8);
  EXPECT_EQ(bytes[5], 0x01);

  TZbrBarcode back;
  back.LoadFromFile(Wide(dir.file("long.zbr")));
  EXPECT_EQ(back.BarCode(), std::string(200, 'X'));
  EXPECT_EQ(back.CodeType(), MSI);
  EXPECT_TRUE(back.Checksum());
  EXPECT_EQ(back.FileReaded, 1);

  // ANSI text goes through UTF-8: e-acute (0xE9) becomes two bytes.
  TZbrBarcode accent;
  accent.SetBarCode("\xE9");
  accent.SaveToFile(Wide(dir.file("e.zbr")));
  bytes = nxtest::ReadFileBytes(dir.file("e.zbr"));
  EXPECT_EQ(bytes.size(), 48u - 5 + 2);
  EXPECT_EQ(bytes[4], 2);
  TZbrBarcode e2;
  e2.LoadFromFile(Wide(dir.file("e.zbr")));
  EXPECT_EQ(e2.BarCode(), "\xE9");

  // A later version number is read the same way; a short file throws.
  bytes = nxtest::ReadFileBytes(dir.file("e.zbr"));
  bytes[0] = 7;
  nxtest::WriteFileBytes(dir.file("v7.zbr"), bytes);
  e2.LoadFromFile(Wide(dir.file("v7.zbr")));
  EXPECT_EQ(e2.FileReaded, 7);
  bytes.resize(20);
  nxtest::WriteFileBytes(dir.file("short.zbr"), bytes);
  TZbrBarcode s;
  EXPECT_THROW(s.LoadFromFile(Wide(dir.file("short.zbr"))), ENxError);
  EXPECT_EQ(s.BarCode(), "\xE9");  // fields read before the end keep their values

  std::u16string told;
  TZbrBarcode missing;
  missing.OnZbrError = [&](TZbrBarcode *sender, const std::u16string &text) {
    EXPECT_EQ(sender, &missing);
    told = text;
  };
  missing.LoadFromFile(Wide(dir.file("none.zbr")));
  EXPECT_EQ(told, u"File not found!");
  EXPECT_EQ(missing.BarCode(), "88888");
  EXPECT_THROW(bc.SaveToFile(Wide(dir.file("no/such/dir.zbr"))), ENxError);
}

// Names that are not regular files are refused at once with the reason and
// change nothing: a FIFO without a writer blocked the reader, /dev/zero was
// read as a definition of zeros, a folder as a file that ends early.
TEST(ZbrDefinitionFile, NamesThatAreNotFilesAreRefusedAtOnce) {
  nxtest::TempDir dir;
  const std::string fifo = dir.file("fifo.zbr"), big = dir.file("big.zbr");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TZbrBarcode saved;
  saved.SaveToFile(Wide(big));
  auto bytes = nxtest::ReadFileBytes(big);
  bytes.resize(1 << 20, 0);  // a valid definition with a megabyte of trailing bytes
  nxtest::WriteFileBytes(big, bytes);
  const std::pair<std::string, const char *> cases[] = {{fifo, "not a regular file"},
                                                        {"/dev/zero", "not a regular file"},
                                                        {dir.path().string(), "not a regular file"},
                                                        {big, "larger than"}};
  for (const auto &[name, why] : cases) {
    SCOPED_TRACE(name);
    auto load = std::async(std::launch::async, [name = name] {
      TZbrBarcode bc;
      bc.SetBarCode("12345");
      try {
        bc.LoadFromFile(Wide(name));
      } catch (const ENxError &e) {
        return std::make_tuple(static_cast<int>(e.code()), std::string(e.what()), bc.BarCode());
      }
      return std::make_tuple(0, std::string(), bc.BarCode());
    });
    if (load.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets the blocked reader go on
      ADD_FAILURE() << "reading blocked";
    }
    const auto [code, text, kept] = load.get();
    EXPECT_EQ(code, static_cast<int>(nxeFile)) << text;
    EXPECT_NE(text.find(why), std::string::npos) << text;
    EXPECT_NE(text.find(name), std::string::npos) << text;
    EXPECT_EQ(kept, "12345") << "nothing changes";
  }
}

}  // namespace
