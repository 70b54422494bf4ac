// Pictures of the RTF writer: positioned frames holding a JPEG, PNG,
// enhanced metafile or Windows metafile picture, shape bitmaps and rotated
// text drawn into a bitmap.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "device/MemoryBitmap.h"
#include "export/gtJPEGEng.h"
#include "export/gtRTFEng.h"

namespace nx {
namespace {

std::string Num(long long v) { return std::to_string(v); }

void Put32BE(std::vector<BYTE> &o, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) o.push_back(BYTE(v >> s));
}

void PngChunk(std::vector<BYTE> &o, const char *type, const std::vector<BYTE> &data) {
  Put32BE(o, uint32_t(data.size()));
  const size_t start = o.size();
  o.insert(o.end(), type, type + 4);
  o.insert(o.end(), data.begin(), data.end());
  Put32BE(o, uint32_t(crc32(0, o.data() + start, uInt(o.size() - start))));
}

// A PNG file: 8-bit RGBA when the picture has alpha, else RGB.
std::vector<BYTE> EncodePNG(const TgtBitmap &p) {
  const int ch = p.Alpha ? 4 : 3;
  std::vector<BYTE> raw;
  raw.reserve(size_t(p.Height()) * (size_t(p.Width()) * ch + 1));
  for (int32_t y = 0; y < p.Height(); ++y) {
    raw.push_back(0);
    const uint32_t *row = p.Row(y);
    for (int32_t x = 0; x < p.Width(); ++x) {
      raw.push_back(BYTE(row[x] >> 16)), raw.push_back(BYTE(row[x] >> 8)), raw.push_back(BYTE(row[x]));
      if (ch == 4) raw.push_back(BYTE(row[x] >> 24));
    }
  }
  uLongf zsize = compressBound(uLong(raw.size()));
  std::vector<BYTE> z(zsize);
  if (compress2(z.data(), &zsize, raw.data(), uLong(raw.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
    throw ENxError(nxeData, "PNG compression failed");
  z.resize(zsize);
  std::vector<BYTE> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<BYTE> ihdr;
  Put32BE(ihdr, uint32_t(p.Width()));
  Put32BE(ihdr, uint32_t(p.Height()));
  ihdr.insert(ihdr.end(), {8, BYTE(p.Alpha ? 6 : 2), 0, 0, 0});
  PngChunk(out, "IHDR", ihdr);
  PngChunk(out, "IDAT", z);
  PngChunk(out, "IEND", {});
  return out;
}

// A bottom-up 24-bit DIB (header and bits) of the picture, laid over white.
std::vector<BYTE> PackedDib(const TgtBitmap &p) {
  const uint32_t stride = (uint32_t(p.Width()) * 3 + 3) & ~3u;
  std::vector<BYTE> out(sizeof(BITMAPINFOHEADER) + size_t(stride) * size_t(p.Height()));
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = p.Width();
  h.biHeight = p.Height();
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biSizeImage = stride * uint32_t(p.Height());
  std::memcpy(out.data(), &h, sizeof h);
  for (int32_t y = 0; y < p.Height(); ++y) {
    BYTE *d = out.data() + sizeof h + size_t(stride) * size_t(p.Height() - 1 - y);
    const uint32_t *row = p.Row(y);
    for (int32_t x = 0; x < p.Width(); ++x) {
      const uint32_t a = p.Alpha ? row[x] >> 24 : 255;
      for (int c = 0; c < 3; ++c) d[x * 3 + c] = BYTE(((row[x] >> (8 * c) & 0xFF) * a + 255 * (255 - a) + 127) / 255);
    }
  }
  return out;
}

void Put16(std::vector<BYTE> &o, uint32_t v) { o.push_back(BYTE(v)), o.push_back(BYTE(v >> 8)); }
void Put32(std::vector<BYTE> &o, uint32_t v) { Put16(o, v & 0xFFFF), Put16(o, v >> 16); }

// A Windows metafile holding the picture as one stretched DIB, without its
// end record (the caller's hexadecimal data ends with it).
std::vector<BYTE> EncodeWMF(const TgtBitmap &p) {
  const std::vector<BYTE> dib = PackedDib(p);
  std::vector<BYTE> body;
  auto record = [&](uint16_t fn, std::initializer_list<uint16_t> params, const std::vector<BYTE> *tail) {
    const size_t words = 3 + params.size() + (tail ? (tail->size() + 1) / 2 : 0);
    Put32(body, uint32_t(words));
    Put16(body, fn);
    for (uint16_t v : params) Put16(body, v);
    if (tail) {
      body.insert(body.end(), tail->begin(), tail->end());
      if (tail->size() % 2) body.push_back(0);
    }
  };
  const uint16_t w = uint16_t(p.Width()), h = uint16_t(p.Height());
  record(0x020B, {0, 0}, nullptr);  // META_SETWINDOWORG
  record(0x020C, {h, w}, nullptr);  // META_SETWINDOWEXT
  // META_STRETCHDIB: rop SRCCOPY, DIB_RGB_COLORS, source and destination boxes.
  record(0x0F43, {0x0020, 0x00CC, 0, h, w, 0, 0, h, w, 0, 0}, &dib);
  const size_t eofWords = 3;
  std::vector<BYTE> out;
  Put16(out, 1);       // in memory
  Put16(out, 9);       // header words
  Put16(out, 0x0300);  // version
  Put32(out, uint32_t(9 + body.size() / 2 + eofWords));
  Put16(out, 0);  // objects
  Put32(out, uint32_t(3 + 11 + (dib.size() + 1) / 2));
  Put16(out, 0);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// An enhanced metafile drawing the picture over its own pixels.
std::vector<BYTE> EncodeEMF(const TgtBitmap &p) {
  const RECT frame{0, 0, int(std::lround(p.Width() * 2540.0 / gtScreenResolution)),
                   int(std::lround(p.Height() * 2540.0 / gtScreenResolution))};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  if (!dc) throw ENxError(nxeGeneral, "The picture metafile could not be created");
  const std::vector<BYTE> dib = PackedDib(p);
  const auto *info = reinterpret_cast<const BITMAPINFO *>(dib.data());
  StretchDIBits(dc, 0, 0, p.Width(), p.Height(), 0, 0, p.Width(), p.Height(), dib.data() + sizeof(BITMAPINFOHEADER),
                info, DIB_RGB_COLORS, SRCCOPY);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  const UINT size = GetEnhMetaFileBits(emf, 0, nullptr);
  std::vector<BYTE> out(size);
  GetEnhMetaFileBits(emf, size, out.data());
  DeleteEnhMetaFile(emf);
  return out;
}

// A picture one pixel high, two pixels high (for JPEG readers that refuse
// a single row).
TgtBitmap TwoRowsHigh(const TgtBitmap &p) {
  TgtBitmap out(p.Width(), 2);
  for (int y = 0; y < 2; ++y) std::copy_n(p.Row(0), p.Width(), out.Row(y));
  out.Alpha = p.Alpha;
  return out;
}

void Hex(std::string &out, const std::vector<BYTE> &bytes) {
  static const char digits[] = "0123456789ABCDEF";
  out.reserve(out.size() + bytes.size() * 2);
  for (BYTE b : bytes) out += digits[b >> 4], out += digits[b & 15];
}

}  // namespace

std::string TgtRTFEngine::Picture(const TgtBitmap &Pic, TgtOutputImageFormat Format, int32_t Quality,
                                  int32_t SourceDpi, double Width, double Height) const {
  std::string s = "{\\pict";
  std::vector<BYTE> data;
  switch (Format) {
    case ifJPEG:
      s += "\\jpegblip";
      data = gtEncodeJPEG(Pic.Height() == 1 ? TwoRowsHigh(Pic) : Pic, Quality);
      break;
    case ifPNG:
      s += "\\pngblip";
      data = EncodePNG(Pic);
      break;
    case ifMetafile:
      s += "\\emfblip";
      data = EncodeEMF(Pic);
      break;
    default:
      s += "\\wmetafile8";
      data = EncodeWMF(Pic);
      break;
  }
  const double scale = SourceDpi == -1 || SourceDpi <= 0 ? 1.0 : double(gtScreenResolution) / SourceDpi;
  const double pw = Pic.Width() * scale, ph = Pic.Height() * scale;
  s += "\\picw" + Tw(pw) + "\\pich" + Tw(ph);
  s += "\\picscalex" + Num(std::lround(Width / pw * 100)) + "\\picscaley" + Num(std::lround(Height / ph * 100));
  s += "\\picwgoal" + Tw(pw) + "\\pichgoal" + Tw(ph);
  s += "\\picbmp\\picbpp4 ";
  const TgtRTFPreferences &prefs = const_cast<TgtRTFEngine *>(this)->Preferences();
  if (prefs.FGraphicDataInBinary && Format != ifBMP) {
    s += "\\bin" + Num(long(data.size())) + " ";
    s.append(reinterpret_cast<const char *>(data.data()), data.size());
  } else {
    Hex(s, data);
    if (Format != ifJPEG && Format != ifPNG && Format != ifMetafile) s += "030000000000";  // the metafile's end
  }
  return s + "}";
}

void TgtRTFEngine::RenderImageItem(TgtImageItem &Item) {
  if (Item.FIndexNo < 0 || size_t(Item.FIndexNo) >= ImageResources().size()) return;
  const std::shared_ptr<TgtBitmap> &pic = ImageResources()[size_t(Item.FIndexNo)];
  if (!pic || pic->Empty()) return;
  std::string s = "{\\pard\\pvpg\\phpg\\absw" + Tw(Item.FWidth) + "\\absh" + Tw(Item.FHeight) + "\\posx" +
                  Tw(Item.FX) + "\\posy" + Tw(Item.FY) + "\\overlay";
  if (Item.FSettings.FIsFrame) {
    static const char *const kBorder[] = {"\\brdrs", "\\brdrdash", "\\brdrdot", "\\brdrdashd", "\\brdrdashdd"};
    const TgtPen &pen = Item.FPen;
    s += (pen.Style <= psDashDotDot ? kBorder[pen.Style] : "\\brdrs") + std::string("\\brdrw") +
         Num(std::llround(Pen().Width * FRTFFactor)) + "\\brdrcf" + Num(ColorIndex(pen.Color));
    if (Item.FFrame.FIsTop) s += "\\brdrt";
    if (Item.FFrame.FIsRight) s += "\\brdrr";
    if (Item.FFrame.FIsBottom) s += "\\brdrb";
    if (Item.FFrame.FIsLeft) s += "\\brdrl";
  }
  static const char *const kShading[] = {"\\shading10000", "", "\\bghoriz", "\\bgvert",
                                         "\\bgfdiag",      "\\bgbdiag", "\\bgcross", "\\bgdcross"};
  if (Item.FBrush.Style != bsClear) s += kShading[Item.FBrush.Style] + std::string("\\cfpat") + Num(ColorIndex(Item.FBrush.Color));
  s += Picture(*pic, Item.FSettings.OutputImageFormat(), Item.FSettings.FJPEGQuality, Item.FSettings.FSourceDPI,
               Item.FWidth, Item.FHeight);
  RoutedStream() += s + "\\par}";
}

void TgtRTFEngine::RenderShapeBitmap(const TgtBitmap &Bitmap, double X, double Y) {
  if (Bitmap.Empty()) return;
  const TgtImageSettings &is = ImageSettings();
  std::string s = "{\\pard\\pvpg\\phpg\\posx" + Tw(X) + "\\posy" + Tw(Y) + "\\overlay";
  s += Picture(Bitmap, is.OutputImageFormat(), is.FJPEGQuality, -1, Bitmap.Width(), Bitmap.Height());
  RoutedStream() += s + "\\par}";
}

// Rotated text is drawn with our GDI into a bitmap that covers the turned
// text, placed so that the text's anchor stays where the item has it.
void TgtRTFEngine::RenderRotatedText(const TgtTextItem &Item, const WString &Text) {
  HDC probe = CreateCompatibleDC(nullptr);
  LOGFONTW lf = Item.FFont.ToLogFont(gtScreenResolution);
  lf.lfEscapement = lf.lfOrientation = Item.FRotationAngle * 10;
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(probe, font);
  SIZE ext{};
  GetTextExtentPoint32W(probe, Text.c_str(), int(Text.size()), &ext);
  SelectObject(probe, old);
  DeleteDC(probe);
  const double a = Item.FRotationAngle * 3.14159265358979323846 / 180.0, c = std::cos(a), sn = std::sin(a);
  // Corners of the turned text box relative to its anchor (y grows downwards).
  const double xs[4] = {0, ext.cx * c, ext.cy * sn, ext.cx * c + ext.cy * sn};
  const double ys[4] = {0, -ext.cx * sn, ext.cy * c, -ext.cx * sn + ext.cy * c};
  const double minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
  const double minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
  const int32_t w = int32_t(std::ceil(maxX - minX)) + 2, h = int32_t(std::ceil(maxY - minY)) + 2;
  if (w < 1 || h < 1 || w > TMemoryBitmap::kMaxSide || h > TMemoryBitmap::kMaxSide) {
    DeleteObject(font);
    return;
  }
  TMemoryBitmap bm(w, h);
  const bool opaque = Item.FBrush.Style == bsSolid;
  for (int32_t y = 0; y < h; ++y) std::fill_n(bm.Row(y), w, 0xFFFFFFu);
  old = SelectObject(bm.dc(), font);
  SetTextColor(bm.dc(), Item.FFont.Color);
  SetBkColor(bm.dc(), Item.FBrush.Color);
  SetBkMode(bm.dc(), opaque ? OPAQUE : TRANSPARENT);
  SetTextAlign(bm.dc(), TA_LEFT | TA_TOP);
  TextOutW(bm.dc(), int(std::lround(1 - minX)), int(std::lround(1 - minY)), Text.c_str(), int(Text.size()));
  SelectObject(bm.dc(), old);
  DeleteObject(font);
  TgtBitmap pic(w, h);
  for (int32_t y = 0; y < h; ++y) std::copy_n(bm.Row(y), w, pic.Row(y));
  RenderShapeBitmap(pic, Item.FX + minX - 1, Item.FY + minY - 1);
}

}  // namespace nx
