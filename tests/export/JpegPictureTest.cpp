// Pictures on JPEG pages: turned pictures (PLGBLT, and blits under a world
// transform that turns them) and pictures with see-through pixels (masks,
// transparent colours, alpha), judged by their pixels and beside
// emfrender's rendering of the same page.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

#include "common/Strings.h"
#include "export/gtJPEGEng.h"
#include "support/SpoolEnv.h"
#include "export/PageImage.h"

using namespace nx;
using pageimage::Near;

namespace {

constexpr unsigned kWhite = 0xFFFFFF, kGrey = 0x808080, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF,
                   kBlack = 0x000000;

class TJpegProbe : public TgtJPEGEngine {
 public:
  TJpegProbe() {
    Preferences().FShowSetupDialog = false;
    Preferences().FOpenAfterCreate = false;
  }
  void Add(std::unique_ptr<TgtDocumentItem> item) { CurrentDocumentItemList()->push_back(std::move(item)); }
};

// A w x h picture in a memory DC: quadrants top-left blue, top-right green,
// bottom-left red, bottom-right black (colours as 0xRRGGBB).
struct TQuadrants {
  TQuadrants(int w, int h) : W(w), H(h) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    Bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &Bits, nullptr, 0);
    Dc = CreateCompatibleDC(nullptr);
    Old = SelectObject(Dc, Bitmap);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Pixels()[y * w + x] = y < h / 2 ? (x < w / 2 ? kBlue : kGreen) : (x < w / 2 ? kRed : kBlack);
    GdiFlush();
  }
  ~TQuadrants() {
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DeleteObject(Bitmap);
  }
  uint32_t *Pixels() { return static_cast<uint32_t *>(Bits); }
  BITMAPINFO Info() const {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), W, -H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    return bi;
  }
  int W, H;
  HBITMAP Bitmap = nullptr;
  void *Bits = nullptr;
  HDC Dc = nullptr;
  HGDIOBJ Old = nullptr;
};

void Fill(HDC dc, int l, int t, int r, int b, COLORREF c) {
  HBRUSH br = CreateSolidBrush(c);
  const RECT rc{l, t, r, b};
  FillRect(dc, &rc, br);
  DeleteObject(br);
}

// Where a point (u, v) of a picture lands when its top-left corner is at
// (x, y) and it is turned anticlockwise by degrees on the page.
POINT Turned(double x, double y, double degrees, double u, double v) {
  const double t = degrees * std::numbers::pi / 180;
  return {LONG(std::lround(x + u * std::cos(t) + v * std::sin(t))), LONG(std::lround(y - u * std::sin(t) + v * std::cos(t)))};
}

class JpegPictures : public nxtest::SpoolTest {
 protected:
  // An A4 page at the screen's resolution: grey panels, a picture through
  // PLGBLT turned by 30 degrees about (400, 600), a masked picture through
  // PLGBLT with a hole over the first panel, and a picture drawn with
  // StretchDIBits under a world transform turning it by 90 degrees about
  // (200, 1000).
  HENHMETAFILE Page() {
    HDC screen = GetDC(nullptr);
    const RECT frame{0, 0, 21000, 29700};
    HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
    ReleaseDC(nullptr, screen);
    Fill(dc, 100, 100, 400, 300, RGB(128, 128, 128));
    Fill(dc, 330, 480, 620, 740, RGB(128, 128, 128));
    TQuadrants q(120, 80);
    const POINT turned[3] = {Turned(400, 600, 30, 0, 0), Turned(400, 600, 30, 120, 0), Turned(400, 600, 30, 0, 80)};
    EXPECT_TRUE(PlgBlt(dc, turned, q.Dc, 0, 0, 120, 80, nullptr, 0, 0));
    // The mask: 1 (drawn) everywhere but a 40 x 20 hole from (40, 20).
    std::vector<BYTE> bits(16 * 80, 0xFF);
    for (int y = 20; y < 40; ++y)
      for (int x = 40; x < 80; ++x) bits[size_t(y) * 16 + size_t(x) / 8] &= BYTE(~(0x80 >> (x % 8)));
    HBITMAP mask = CreateBitmap(120, 80, 1, 1, bits.data());
    const POINT upright[3] = {{150, 150}, {270, 150}, {150, 230}};
    EXPECT_TRUE(PlgBlt(dc, upright, q.Dc, 0, 0, 120, 80, mask, 0, 0));
    DeleteObject(mask);
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM quarter{0, -1, 1, 0, 200, 1000};
    SetWorldTransform(dc, &quarter);
    const BITMAPINFO bi = q.Info();
    StretchDIBits(dc, 0, 0, 120, 80, 0, 0, 120, 80, q.Pixels(), &bi, DIB_RGB_COLORS, SRCCOPY);
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    SetGraphicsMode(dc, GM_COMPATIBLE);
    return CloseEnhMetaFile(dc);
  }

  std::string Jpeg(const std::function<void(TJpegProbe &)> &fill) {
    TJpegProbe e;
    e.SetFileName(AsciiToWide(dir_.file("page")));
    e.BeginDoc();
    fill(e);
    e.EndDoc();
    return dir_.file("page1.jpg");
  }

  // Each quadrant's colour near its corner of a 120 x 80 picture placed
  // with its top-left corner at (x, y) and turned by degrees; the page
  // just outside its left edge shows `behind`.
  static void ExpectQuadrants(const pageimage::TImage &img, double x, double y, double degrees, unsigned behind,
                              const char *what) {
    SCOPED_TRACE(what);
    const struct {
      double u, v;
      unsigned colour;
    } probes[] = {{8, 8, kBlue}, {112, 8, kGreen}, {8, 72, kRed}, {112, 72, kBlack}, {-6, 40, behind}};
    for (const auto &p : probes) {
      const POINT at = Turned(x, y, degrees, p.u, p.v);
      EXPECT_TRUE(Near(img.At(at.x, at.y), p.colour))
          << "(" << p.u << ", " << p.v << ") at " << at.x << ", " << at.y << ": " << std::hex << img.At(at.x, at.y);
    }
  }
};

TEST_F(JpegPictures, TurnedAndMaskedPicturesMatchTheMetafileRendering) {
  NX_REQUIRE_TOOL("convert");
  HENHMETAFILE page = Page();
  const std::string emf = dir_.file("page.emf"), png = dir_.file("emf.png");
  DeleteEnhMetaFile(CopyEnhMetaFileW(page, reinterpret_cast<LPCWSTR>(AsciiToWide(emf).c_str())));
  const std::string jpg = Jpeg([&](TJpegProbe &e) { e.PlayMetafile(TgtRect{0, 0, e.Page().Width(), e.Page().Height()}, page); });
  DeleteEnhMetaFile(page);
  const pageimage::TImage out = pageimage::Load(jpg);
  ASSERT_EQ(out.Width, 794);
  ASSERT_EQ(out.Height, 1123);
  const auto emfrender = nxtest::BinaryDir() / "emfrender";
  ASSERT_TRUE(std::filesystem::exists(emfrender)) << "emfrender is not built";
  ASSERT_EQ(nxtest::RunCommand(nxtest::ShellQuote(emfrender.string()) + " " + emf + " " + png).exitCode, 0);
  const pageimage::TImage ref = pageimage::Load(png);
  for (const pageimage::TImage *img : {&out, &ref}) {
    SCOPED_TRACE(img == &out ? "JPEG page" : "emfrender");
    ExpectQuadrants(*img, 400, 600, 30, kGrey, "PLGBLT turned by 30 degrees over a panel");
    // The corner of the turned picture's upright box stays the panel's.
    EXPECT_TRUE(Near(img->At(405, 545), kGrey)) << std::hex << img->At(405, 545);
    ExpectQuadrants(*img, 150, 150, 0, kGrey, "PLGBLT with a mask");
    EXPECT_TRUE(Near(img->At(210, 180), kGrey)) << "the hole shows the panel: " << std::hex << img->At(210, 180);
    EXPECT_TRUE(Near(img->At(185, 180), kBlue)) << std::hex << img->At(185, 180);
    ExpectQuadrants(*img, 200, 1000, 90, kWhite, "StretchDIBits under a world transform");
  }
  const double rmse = pageimage::Rmse(jpg, png);
  std::cout << "JPEG page beside emfrender: RMSE " << rmse << "\n";
  EXPECT_GE(rmse, 0);
  EXPECT_LT(rmse, 0.03);  // JPEG blurs the saturated colours: 0.018 here
}

// Items made directly: the inclination turns the picture about its top-left
// corner, the picture's transparent colour and an item that asks for
// transparency (its brush colour) let the page through, and a frame follows
// the turned edges.
TEST_F(JpegPictures, InclinationTransparencyAndFramesOfImageItems) {
  NX_REQUIRE_TOOL("convert");
  const std::string jpg = Jpeg([](TJpegProbe &e) {
    auto picture = [&](unsigned key, bool transparent) {
      auto bmp = std::make_shared<TgtBitmap>(120, 80);
      for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x) bmp->Row(y)[x] = y < 40 ? (x < 60 ? kBlue : kGreen) : (x < 60 ? kRed : kBlack);
      for (int y = 30; y < 50; ++y)
        for (int x = 50; x < 70; ++x) bmp->Row(y)[x] = key;  // a square in the middle
      bmp->Transparent = transparent;
      bmp->TransparentColor = RGB(key >> 16 & 0xFF, key >> 8 & 0xFF, key & 0xFF);
      const int32_t slot = e.ReserveImageSlot();
      e.StoreImage(slot, bmp, bmp->Digest());
      return slot;
    };
    auto item = [&](int32_t slot, double x, double y, int32_t degrees) {
      auto img = std::make_unique<TgtImageItem>();
      img->FIndexNo = slot;
      img->FX = x, img->FY = y, img->FWidth = 120, img->FHeight = 80;
      img->FSettings.FInclination = degrees;
      return img;
    };
    auto panel = std::make_unique<TgtShapeItem>();
    panel->FShapeType = stRectangle;
    panel->FPoints = {{50, 50}, {750, 1000}};
    panel->FNoPoints = 2;
    panel->FPen = TgtPen{psClear, 1, 0};
    panel->FBrush = TgtBrush{bsSolid, RGB(128, 128, 128), nullptr};
    e.Add(std::move(panel));
    e.Add(item(picture(0xFFFF00, true), 100, 100, 0));  // transparent yellow
    auto byBrush = item(picture(0x00FFFF, false), 300, 100, 0);
    byBrush->FSettings.FTransparent = true;
    byBrush->FBrush = TgtBrush{bsSolid, RGB(0, 255, 255), nullptr};  // cyan
    e.Add(std::move(byBrush));
    e.Add(item(picture(0xFFFFFF, false), 400, 500, 400));  // 40 degrees
    auto framed = item(picture(0xFFFFFF, false), 200, 800, 270);
    framed->FSettings.FIsFrame = true;
    framed->FFrame = TgtFrame{};
    framed->FFrame.FIsTop = framed->FFrame.FIsLeft = framed->FFrame.FIsBottom = framed->FFrame.FIsRight = true;
    framed->FPen = TgtPen{psSolid, 3, RGB(255, 0, 255)};
    e.Add(std::move(framed));
  });
  const pageimage::TImage img = pageimage::Load(jpg);
  ASSERT_EQ(img.Width, 794);
  ExpectQuadrants(img, 100, 100, 0, kGrey, "transparent colour");
  EXPECT_TRUE(Near(img.At(160, 140), kGrey)) << std::hex << img.At(160, 140);
  ExpectQuadrants(img, 300, 100, 0, kGrey, "brush colour");
  EXPECT_TRUE(Near(img.At(360, 140), kGrey)) << std::hex << img.At(360, 140);
  ExpectQuadrants(img, 400, 500, 40, kGrey, "turned by 40 degrees");
  EXPECT_TRUE(Near(img.At(Turned(400, 500, 40, 60, 40).x, Turned(400, 500, 40, 60, 40).y), kWhite));
  ExpectQuadrants(img, 200, 800, 270, kGrey, "turned by 270 degrees, framed");
  // The frame's left side runs along the turned left edge.
  const POINT side = Turned(200, 800, 270, 0, 40);
  EXPECT_TRUE(Near(img.At(side.x, side.y), 0xFF00FF, 40)) << std::hex << img.At(side.x, side.y);
}

}  // namespace
