// The emfrender command: metafiles to PNG at their natural size, scaled,
// and clear failures.
#include <cairo.h>
#include <gtest/gtest.h>

#include "gdi/EmfTestUtil.h"
#include "support/TestSupport.h"

using namespace emftest;

namespace {

std::string Emfrender() { return (nxtest::BinaryDir() / "emfrender").string(); }

nxtest::CommandResult RunEmfrender(const std::string &args) {
  return nxtest::RunCommand(nxtest::ShellQuote(Emfrender()) + " " + args + " 2>&1");
}

// 0x00RRGGBB at (x, y) of a PNG, or 0xFFFFFFFF when it cannot be read.
struct Png {
  explicit Png(const std::string &path) : s(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Png() { cairo_surface_destroy(s); }
  bool ok() const { return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(s); }
  int height() const { return cairo_image_surface_get_height(s); }
  uint32_t at(int x, int y) const {
    if (!ok() || x < 0 || y < 0 || x >= width() || y >= height()) return 0xFFFFFFFF;
    cairo_surface_flush(s);
    const uint8_t *row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    uint32_t p;
    std::memcpy(&p, row + 4 * x, 4);
    return p & 0xFFFFFF;
  }
  cairo_surface_t *s;
};

TEST(EmfRender, ForeignPagesRenderAtTheirFrameSizeAndScaled) {
  nxtest::TempDir tmp;
  std::string emf = tmp.file("page.emf"), png = tmp.file("page.png"), png2 = tmp.file("x2.png");
  auto bytes = ForeignPage();
  nxtest::WriteFileBytes(emf, std::vector<unsigned char>(bytes.begin(), bytes.end()));
  auto r = RunEmfrender(nxtest::ShellQuote(emf) + " " + nxtest::ShellQuote(png));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  Png a(png);
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(a.width(), 480);
  EXPECT_EQ(a.height(), 360);
  EXPECT_EQ(a.at(70, 50), 0xFFC800u);   // inside the filled rectangle (20,20)-(120,80)
  EXPECT_EQ(a.at(20, 50), 0x0000C8u);   // its outline
  EXPECT_EQ(a.at(130, 50), 0xFFFFFFu);  // between the rectangle and the ellipse
  // The 2 x 2 bottom-up DIB stretched over (300,200)-(460,340): blue, red
  // on top; red, blue below.
  EXPECT_EQ(a.at(301, 201), 0x0000FFu);
  EXPECT_EQ(a.at(458, 201), 0xFF0000u);
  EXPECT_EQ(a.at(301, 338), 0xFF0000u);
  int green = 0;  // "Hi!" in green at (40, 300)
  for (int y = 300; y < 330; ++y)
    for (int x = 40; x < 100; ++x) green += a.at(x, y) == 0x008000u;
  EXPECT_GT(green, 30);

  r = RunEmfrender(nxtest::ShellQuote(emf) + " " + nxtest::ShellQuote(png2) + " --scale 2");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  Png b(png2);
  EXPECT_EQ(b.width(), 960);
  EXPECT_EQ(b.height(), 720);
  EXPECT_EQ(b.at(140, 100), 0xFFC800u);
  EXPECT_EQ(b.at(260, 100), 0xFFFFFFu);

  // --size stretches the frame onto the given pixels, aspect and all.
  std::string png3 = tmp.file("sized.png");
  r = RunEmfrender(nxtest::ShellQuote(emf) + " " + nxtest::ShellQuote(png3) + " --size 240x90");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  Png c(png3);
  EXPECT_EQ(c.width(), 240);
  EXPECT_EQ(c.height(), 90);
  EXPECT_EQ(c.at(35, 12), 0xFFC800u);
  EXPECT_EQ(c.at(65, 12), 0xFFFFFFu);
  for (const char *bad : {"0x10", "10x", "10", "10x20000000", "ax5"}) {
    r = RunEmfrender(nxtest::ShellQuote(emf) + " " + nxtest::ShellQuote(png3) + " --size " + bad);
    EXPECT_EQ(r.exitCode, 2) << bad;
  }
}

TEST(EmfRender, BadInputGivesAMessageAndAFailingStatus) {
  nxtest::TempDir tmp;
  std::string junk = tmp.file("junk.emf"), out = tmp.file("out.png");
  nxtest::WriteFileBytes(junk, std::vector<unsigned char>(300, 0x41));
  auto r = RunEmfrender(nxtest::ShellQuote(junk) + " " + nxtest::ShellQuote(out));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("not a valid EMF file"), std::string::npos) << r.output;
  r = RunEmfrender(nxtest::ShellQuote(tmp.file("missing.emf")) + " " + nxtest::ShellQuote(out));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("cannot open"), std::string::npos) << r.output;
  r = RunEmfrender("only-one-argument.emf");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("usage: emfrender"), std::string::npos);
  r = RunEmfrender("a.emf b.png --scale -3");
  EXPECT_EQ(r.exitCode, 2);
  // A frame of zero size cannot give an image.
  auto flat = EmfBuilder({0, 0, 0, 5000}, 1).Image();
  std::string flatPath = tmp.file("flat.emf");
  nxtest::WriteFileBytes(flatPath, std::vector<unsigned char>(flat.begin(), flat.end()));
  r = RunEmfrender(nxtest::ShellQuote(flatPath) + " " + nxtest::ShellQuote(out));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("frame"), std::string::npos) << r.output;
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
