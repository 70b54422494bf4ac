// The raster engine's short ways give what the general ones give: pictures
// decoded from DIBs of every depth, image digests taken a row at a time,
// JPEG encoding straight from the page raster, and two-colour pictures
// carried at one bit per pixel on the page (kept from decoding for 1-bpp
// DIBs).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <cstdio>  // before the JPEG library's header, which uses FILE
#include <jpeglib.h>

#include "common/Strings.h"
#include "device/MemoryBitmap.h"
#include "export/gtJPEGEng.h"

using namespace nx;

namespace {

// A packed DIB of pseudo-random bits (row padding included) and, at 8 bpp
// and below, a colour table of `colours` entries (all when 0).
std::vector<uint8_t> RandomDib(int w, int h, int bpp, bool topDown, DWORD colours, unsigned seed,
                               DWORD compression = BI_RGB) {
  const size_t stride = (size_t(w) * bpp + 31) / 32 * 4;
  const size_t table = compression == BI_BITFIELDS ? 3 : bpp <= 8 ? (colours ? colours : 1u << bpp) : 0;
  BITMAPINFOHEADER head{sizeof head, w, topDown ? -h : h, 1, WORD(bpp), compression, 0, 0, 0, colours, 0};
  std::vector<uint8_t> dib(sizeof head + 4 * table + stride * size_t(h));
  std::mt19937 rng(seed);
  for (uint8_t &b : dib) b = uint8_t(rng());
  std::memcpy(dib.data(), &head, sizeof head);
  if (compression == BI_BITFIELDS) {
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(dib.data() + sizeof head, masks, sizeof masks);
  }
  return dib;
}

size_t InfoSize(const std::vector<uint8_t> &dib) {
  BITMAPINFOHEADER h;
  std::memcpy(&h, dib.data(), sizeof h);
  if (h.biCompression == BI_BITFIELDS) return sizeof h + 12;
  return sizeof h + 4 * (h.biBitCount <= 8 ? (h.biClrUsed ? h.biClrUsed : 1u << h.biBitCount) : 0);
}

TEST(JpegRaster, PicturesDecodeAsStretchDIBitsDrawsThem) {
  for (int w : {1, 9, 31}) {
    for (bool topDown : {false, true}) {
      for (int bpp : {1, 4, 8, 16, 24, 32}) {
        for (DWORD compression : {DWORD(BI_RGB), DWORD(BI_BITFIELDS)}) {
          if (compression == BI_BITFIELDS && bpp != 16) continue;
          const int h = 6;
          const std::vector<uint8_t> dib = RandomDib(w, h, bpp, topDown, bpp == 8 ? 5 : 0, unsigned(w * 100 + bpp),
                                                     compression);
          const size_t info = InfoSize(dib);
          const auto *bmi = reinterpret_cast<const BITMAPINFO *>(dib.data());
          SCOPED_TRACE(std::to_string(bpp) + " bpp, width " + std::to_string(w) + (topDown ? ", top-down" : "") +
                       (compression == BI_BITFIELDS ? ", bit fields" : ""));
          const TgtBitmap got = TgtBitmap::FromDIB(bmi, info, dib.data() + info, dib.size() - info);
          TMemoryBitmap want(w, h);
          ASSERT_EQ(StretchDIBits(want.dc(), 0, 0, w, h, 0, 0, w, h, dib.data() + info, bmi, DIB_RGB_COLORS, SRCCOPY),
                    h);
          GdiFlush();
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
              ASSERT_EQ(got.Row(y)[x], want.Row(y)[x] & 0xFFFFFF) << x << "," << y;
        }
      }
    }
  }
  // Compressed bits are not decoded.
  std::vector<uint8_t> rle = RandomDib(8, 2, 8, false, 0, 3);
  reinterpret_cast<BITMAPINFOHEADER *>(rle.data())->biCompression = BI_RLE8;
  EXPECT_THROW(TgtBitmap::FromDIB(reinterpret_cast<const BITMAPINFO *>(rle.data()), InfoSize(rle),
                                  rle.data() + InfoSize(rle), 64),
               ENxError);
}

// The header and colour table are read only within the bytes given for
// them.
TEST(JpegRaster, PicturesAreDecodedOnlyFromTheirHeadersBytes) {
  std::vector<uint8_t> dib = RandomDib(5, 3, 4, false, 0, 11);
  const size_t info = InfoSize(dib);
  const auto *bmi = reinterpret_cast<const BITMAPINFO *>(dib.data());
  const uint8_t *bits = dib.data() + info;
  const size_t bitsSize = dib.size() - info;
  EXPECT_NO_THROW(TgtBitmap::FromDIB(bmi, info, bits, bitsSize));
  EXPECT_THROW(TgtBitmap::FromDIB(bmi, info - 4, bits, bitsSize), ENxError) << "colour table cut";
  EXPECT_THROW(TgtBitmap::FromDIB(bmi, info, bits, bitsSize - 1), ENxError) << "bits short";
  reinterpret_cast<BITMAPINFOHEADER *>(dib.data())->biSize = DWORD(info + 4);
  EXPECT_THROW(TgtBitmap::FromDIB(bmi, info, bits, bitsSize), ENxError) << "header past its bytes";
}

TEST(JpegRaster, NewBitmapsHoldTheirFillAndRefuseUnmakeableSizes) {
  // Bitmaps made one after another, so a fill left out would show the
  // pixels of the one before.
  for (COLORREF fill : {RGB(0xFF, 0x00, 0x00), RGB(1, 2, 3), RGB(0, 0, 0)})
    for (int w : {1, 37, 640}) {
      const TgtBitmap b(w, 9, fill);
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(b.Pixel(x, y), fill) << w << ": " << x << "," << y;
    }
  EXPECT_THROW(TgtBitmap(0, 5), ENxError);
  EXPECT_THROW(TgtBitmap(5, -1), ENxError);
  EXPECT_THROW(TgtBitmap(32768, 1), ENxError);
  EXPECT_THROW(TgtBitmap(32767, 32767), ENxError);  // beyond the pixel count
}

TEST(JpegRaster, DigestIsTheMD5OfTheBitmapFile) {
  for (bool alpha : {false, true})
    for (int w : {1, 3, 5, 8}) {
      TgtBitmap b(w, 3);
      std::mt19937 rng{unsigned(w)};
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < w; ++x) b.Row(y)[x] = rng();
      b.Alpha = alpha;
      const std::vector<BYTE> file = b.SaveToStream();
      EXPECT_EQ(b.Digest(), gtMD5(file.data(), file.size())) << w << (alpha ? " with alpha" : "");
    }
}

TEST(JpegRaster, PixelsEncodeAsThePictureDoes) {
  const int w = 37, h = 21;
  TgtBitmap picture(w, h);
  std::vector<uint32_t> rows(size_t(w + 3) * h);  // three unused pixels end each row
  std::mt19937 rng(5);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t px = (x * 7 + y * 3) % 5 ? rng() & 0xFFFFFF : 0xFFFFFF;
      picture.Row(y)[x] = px;
      rows[size_t(y) * (w + 3) + x] = px | (rng() & 0xFF000000u);  // the top byte is not part of the colour
    }
  for (bool gray : {false, true})
    for (bool progressive : {false, true})
      for (int quality : {100, 40})
        EXPECT_EQ(gtEncodeJPEGPixels(rows.data(), w, h, w + 3, quality, progressive, gray, 150),
                  gtEncodeJPEG(picture, quality, progressive, gray, 150))
            << (gray ? "grey " : "colour ") << (progressive ? "progressive " : "baseline ") << quality;
}

class TRasterProbe : public TgtJPEGEngine {
 public:
  TRasterProbe() {
    Preferences().FShowSetupDialog = false;
    Preferences().FOpenAfterCreate = false;
  }
  using TgtCustomDocumentEngine::CurrentDocumentItemList;
  // The page, drawn when it ends, before it is encoded.
  TgtBitmap Page;

 protected:
  void EndPage() override {
    TgtCustomGraphicsEngine::EndPage();
    Page = RasterisePage();
  }
};

struct TPlaced {
  std::shared_ptr<TgtBitmap> Picture;
  int X, Y, W, H;
};

// The A4 page an engine draws: white, then the pictures stretched over
// their rectangles from 32-bit DIBs, through a metafile of the page's frame.
TgtBitmap GeneralPage(const std::vector<TPlaced> &placed) {
  const int w = 794, h = 1123;
  const RECT frame{0, 0, LONG(std::lround(w * 2540.0 / 96)), LONG(std::lround(h * 2540.0 / 96))};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  HBRUSH white = CreateSolidBrush(0xFFFFFF);
  const RECT all{0, 0, w, h};
  FillRect(dc, &all, white);
  DeleteObject(white);
  for (const TPlaced &p : placed) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), p.Picture->Width(), -p.Picture->Height(), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, p.X, p.Y, p.W, p.H, 0, 0, p.Picture->Width(), p.Picture->Height(), p.Picture->Row(0), &bi,
                  DIB_RGB_COLORS, SRCCOPY);
  }
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  TMemoryBitmap raster(w, h);
  for (int y = 0; y < h; ++y) std::fill_n(raster.Row(y), w, 0xFFFFFFu);
  EXPECT_TRUE(PlayEnhMetaFile(raster.dc(), emf, &all));
  DeleteEnhMetaFile(emf);
  GdiFlush();
  TgtBitmap out(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.Row(y)[x] = raster.Row(y)[x] & 0xFFFFFF;
  return out;
}

TEST(JpegRaster, TwoColourPicturesDrawAsTheirFullColourSelves) {
  // A QR-like picture of two colours (the first pixel the second colour),
  // one of a single colour, and one of three colours, shrunk, enlarged and
  // at their own size.
  auto pattern = [](int w, int h, std::vector<uint32_t> colours) {
    auto b = std::make_shared<TgtBitmap>(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b->Row(y)[x] = colours[size_t((x / 3 * 7 + y / 2 * 3 + 1) % colours.size())];
    return b;
  };
  const std::vector<TPlaced> placed = {{pattern(614, 613, {0x000000, 0xFFFFFF}), 50, 60, 98, 97},
                                       {pattern(37, 29, {0x123456, 0xFEDCBA}), 200, 60, 301, 203},
                                       {pattern(45, 33, {0x00FF00}), 550, 60, 45, 33},
                                       {pattern(41, 41, {0x000000, 0xFFFFFF, 0x0000FF}), 50, 400, 77, 59}};
  TRasterProbe e;
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("nx-jpegraster-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  e.SetFileName(AsciiToWide((dir / "page").string()));
  e.BeginDoc();
  for (const TPlaced &p : placed) {
    auto item = std::make_unique<TgtImageItem>();
    item->FIndexNo = e.ReserveImageSlot();
    e.StoreImage(item->FIndexNo, p.Picture);
    item->FX = p.X, item->FY = p.Y, item->FWidth = p.W, item->FHeight = p.H;
    e.CurrentDocumentItemList()->push_back(std::move(item));
  }
  e.EndDoc();
  std::filesystem::remove_all(dir);
  const TgtBitmap want = GeneralPage(placed);
  ASSERT_EQ(e.Page.Width(), want.Width());
  ASSERT_EQ(e.Page.Height(), want.Height());
  int differ = 0;
  for (int y = 0; y < want.Height(); ++y)
    for (int x = 0; x < want.Width(); ++x) differ += e.Page.Row(y)[x] != want.Row(y)[x];
  EXPECT_EQ(differ, 0);
  int inked = 0;
  for (int y = 0; y < want.Height(); ++y)
    for (int x = 0; x < want.Width(); ++x) inked += want.Row(y)[x] != 0xFFFFFF;
  EXPECT_GT(inked, 98 * 97 / 4) << "the pictures were not drawn";
}

// A 1-bpp DIB of w x h pixels: random bits (row padding included), a table
// of the two colours given, or of one entry when `second` is CLR_INVALID
// (the other entry is then the default white).
std::vector<uint8_t> OneBitDib(int w, int h, bool topDown, COLORREF first, COLORREF second, unsigned seed,
                               int fill = -1) {
  std::vector<uint8_t> dib = RandomDib(w, h, 1, topDown, second == CLR_INVALID ? 1 : 2, seed);
  const RGBQUAD q[2] = {{GetBValue(first), GetGValue(first), GetRValue(first), 0},
                        {GetBValue(second), GetGValue(second), GetRValue(second), 0}};
  std::memcpy(dib.data() + sizeof(BITMAPINFOHEADER), q, second == CLR_INVALID ? 4 : 8);
  if (fill >= 0) std::fill(dib.begin() + long(InfoSize(dib)), dib.end(), uint8_t(fill));
  return dib;
}

TgtBitmap Decoded(const std::vector<uint8_t> &dib) {
  const size_t info = InfoSize(dib);
  return TgtBitmap::FromDIB(reinterpret_cast<const BITMAPINFO *>(dib.data()), info, dib.data() + info,
                            dib.size() - info);
}

// Where the one-bit forms differ, or "".
std::string OneBitDifference(const TgtOneBitPicture &a, const TgtOneBitPicture &b) {
  if (a.Colours[0] != b.Colours[0] || a.Colours[1] != b.Colours[1]) return "colours";
  if (a.Stride != b.Stride || a.Rows.size() != b.Rows.size()) return "size";
  for (size_t i = 0; i < a.Rows.size(); ++i)
    if (a.Rows[i] != b.Rows[i]) return "word " + std::to_string(i);
  return "";
}

TEST(JpegRaster, OneBitFormKeptFromDecodingIsTheMeasuredOne) {
  const COLORREF red = RGB(200, 10, 20), ink = RGB(1, 2, 3);
  for (int w : {1, 7, 8, 9, 31, 32, 33, 70}) {
    for (bool topDown : {false, true}) {
      for (unsigned seed = 1; seed <= 4; ++seed) {
        // Random bits (the first pixel either index), a picture of one
        // index, two equal entries, and a table of one entry.
        const std::vector<std::vector<uint8_t>> dibs = {
            OneBitDib(w, 5, topDown, red, ink, seed), OneBitDib(w, 5, topDown, red, ink, seed, seed % 2 ? 0xFF : 0),
            OneBitDib(w, 5, topDown, ink, ink, seed), OneBitDib(w, 5, topDown, ink, CLR_INVALID, seed)};
        for (size_t k = 0; k < dibs.size(); ++k) {
          SCOPED_TRACE("width " + std::to_string(w) + (topDown ? " top-down" : " bottom-up") + ", seed " +
                       std::to_string(seed) + ", case " + std::to_string(k));
          const TgtBitmap pic = Decoded(dibs[k]);
          const auto kept = pic.OneBit();
          ASSERT_TRUE(kept);
          EXPECT_EQ(kept, pic.OneBit()) << "not kept from decoding";
          TgtBitmap copy = pic;
          copy.Row(0);  // may change the pixels: measured from them from now on
          const auto measured = copy.OneBit();
          ASSERT_TRUE(measured);
          EXPECT_NE(measured, copy.OneBit());
          EXPECT_EQ(OneBitDifference(*kept, *measured), "");
        }
      }
    }
  }
}

TEST(JpegRaster, OneBitFormFollowsChangedPixels) {
  TgtBitmap pic = Decoded(OneBitDib(20, 6, false, RGB(0, 0, 0), RGB(255, 255, 255), 5));
  ASSERT_TRUE(pic.OneBit());
  pic.Row(3)[7] = 0x0000FF;  // a third colour
  EXPECT_FALSE(pic.OneBit());
  // Pictures of more bits per pixel are measured: two colours at 4 bpp.
  std::vector<uint8_t> four = RandomDib(9, 4, 4, true, 2, 8);
  for (size_t i = InfoSize(four); i < four.size(); ++i) four[i] &= 0x11;
  const TgtBitmap two = Decoded(four);
  const auto measured = two.OneBit();
  ASSERT_TRUE(measured);
  EXPECT_NE(measured, two.OneBit());
  EXPECT_FALSE(Decoded(RandomDib(9, 4, 24, false, 0, 2)).OneBit());
}

TEST(JpegRaster, DecodedOneBitPicturesDrawAsTheirFullColourSelves) {
  // Pictures decoded from 1-bpp DIBs, their first pixel of either index,
  // shrunk, enlarged and at their own size; the reference draws them from
  // their 32-bit pixels.
  auto decoded = [](int w, int h, bool topDown, COLORREF a, COLORREF b, unsigned seed) {
    return std::make_shared<TgtBitmap>(Decoded(OneBitDib(w, h, topDown, a, b, seed)));
  };
  const std::vector<TPlaced> placed = {{decoded(613, 611, false, RGB(0, 0, 0), RGB(255, 255, 255), 1), 50, 60, 98, 97},
                                       {decoded(37, 29, true, RGB(18, 52, 86), RGB(254, 220, 186), 2), 200, 60, 301, 203},
                                       {decoded(45, 33, false, RGB(9, 9, 9), RGB(9, 9, 9), 3), 550, 60, 45, 33},
                                       {decoded(41, 40, true, RGB(0, 0, 255), CLR_INVALID, 4), 50, 400, 77, 59}};
  TRasterProbe e;
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("nx-jpegonebit-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  e.SetFileName(AsciiToWide((dir / "page").string()));
  e.BeginDoc();
  for (const TPlaced &p : placed) {
    auto item = std::make_unique<TgtImageItem>();
    item->FIndexNo = e.ReserveImageSlot();
    e.StoreImage(item->FIndexNo, p.Picture);
    item->FX = p.X, item->FY = p.Y, item->FWidth = p.W, item->FHeight = p.H;
    e.CurrentDocumentItemList()->push_back(std::move(item));
  }
  e.EndDoc();
  std::filesystem::remove_all(dir);
  const TgtBitmap want = GeneralPage(placed);
  ASSERT_EQ(e.Page.Width(), want.Width());
  ASSERT_EQ(e.Page.Height(), want.Height());
  int differ = 0, inked = 0;
  for (int y = 0; y < want.Height(); ++y)
    for (int x = 0; x < want.Width(); ++x) {
      differ += e.Page.Row(y)[x] != want.Row(y)[x];
      inked += want.Row(y)[x] != 0xFFFFFF;
    }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(inked, 98 * 97 / 4) << "the pictures were not drawn";
}

// Every page of a document as drawn before encoding.
class TPagesProbe : public TgtJPEGEngine {
 public:
  TPagesProbe() {
    Preferences().FShowSetupDialog = false;
    Preferences().FOpenAfterCreate = false;
  }
  using TgtCustomDocumentEngine::CurrentDocumentItemList;
  std::vector<TgtBitmap> Pages;

 protected:
  void EndPage() override {
    TgtCustomGraphicsEngine::EndPage();
    Pages.push_back(RasterisePage());
  }
};

// The page raster is kept from page to page: a page drawn after one covered
// in black is white wherever it has nothing, at 1:1 and scaled.
TEST(JpegRaster, EachPageStartsWhiteWhateverThePageBeforeIt) {
  for (double scale : {1.0, 0.7, 1.3}) {
    TPagesProbe e;
    e.SetScaleX(scale);
    e.SetScaleY(scale);
    e.BeginDoc();
    auto cover = std::make_unique<TgtShapeItem>();
    cover->FShapeType = stRectangle;
    cover->FPoints = {{-20, -20}, {2000, 2000}};
    cover->FNoPoints = 2;
    cover->FBrush = TgtBrush{bsSolid, 0x000000, nullptr};
    e.CurrentDocumentItemList()->push_back(std::move(cover));
    e.NewPage();
    auto rule = std::make_unique<TgtShapeItem>();
    rule->FShapeType = stLine;
    rule->FPoints = {{100, 500}, {300, 500}};
    rule->FNoPoints = 2;
    e.CurrentDocumentItemList()->push_back(std::move(rule));
    e.EndDoc();
    ASSERT_EQ(e.Pages.size(), 2u);
    const TgtBitmap &first = e.Pages[0], &second = e.Pages[1];
    EXPECT_EQ(second.Width(), std::lround(794 * scale));
    EXPECT_EQ(second.Height(), std::lround(1123 * scale));
    int black = 0, white = 0;
    for (int y = 0; y < first.Height(); ++y)
      for (int x = 0; x < first.Width(); ++x) black += first.Row(y)[x] == 0;
    for (int y = 0; y < second.Height(); ++y)
      for (int x = 0; x < second.Width(); ++x) white += second.Row(y)[x] == 0xFFFFFF;
    EXPECT_EQ(black, first.Width() * first.Height()) << "scale " << scale;
    // Only the rule is drawn: 200 pixels long at 1:1, a pixel or two thick.
    const int inked = second.Width() * second.Height() - white;
    EXPECT_GT(inked, int(150 * scale)) << "scale " << scale;
    EXPECT_LT(inked, int(600 * scale)) << "scale " << scale;
  }
}

// A stream larger than the room first given to it comes out whole: the same
// bytes as the JPEG library's own memory destination gives.
TEST(JpegRaster, LargeStreamsEncodeAsIntoTheLibrarysOwnBuffer) {
  const int w = 203, h = 157;
  std::vector<uint32_t> noise(size_t(w) * h);
  std::mt19937 rng(11);
  for (uint32_t &px : noise) px = rng();
  for (bool progressive : {false, true}) {
    const std::vector<BYTE> ours = gtEncodeJPEGPixels(noise.data(), w, h, w, 100, progressive, false, 96);
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = w, c.image_height = h, c.input_components = 4, c.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    c.density_unit = 1;
    c.X_density = c.Y_density = 96;
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < h; ++y) {
      JSAMPROW row = reinterpret_cast<JSAMPROW>(noise.data() + size_t(y) * w);
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    const std::vector<BYTE> want(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    EXPECT_GT(want.size(), size_t(w) * h / 4 + 4096) << "the stream must outgrow the first room";
    EXPECT_EQ(ours, want) << (progressive ? "progressive" : "baseline");
  }
}

}  // namespace
