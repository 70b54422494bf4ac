// Images of the PDF writer: XObjects in the page image buffer (JPEG through
// libjpeg, or Flate-compressed RGB), one per resource and variant, with a
// soft mask where the picture has see-through pixels, and their placement.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include <jpeglib.h>

#include "export/gtCstPDFEng.h"
#include "export/gtCstPDFEngFormat.h"

namespace nx {

using pdf::Fixed4;

namespace {

struct TJpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void JpegFail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TJpegError *>(cinfo->err)->jump, 1); }

// The RGB bytes of the picture, rows top to bottom, no padding.
std::string RgbBytes(const TgtBitmap &bmp) {
  std::string out(static_cast<size_t>(bmp.Width()) * bmp.Height() * 3, '\0');
  char *p = out.data();
  for (int32_t y = 0; y < bmp.Height(); ++y) {
    const uint32_t *row = bmp.Row(y);
    for (int32_t x = 0; x < bmp.Width(); ++x) {
      *p++ = static_cast<char>(row[x] >> 16);
      *p++ = static_cast<char>(row[x] >> 8);
      *p++ = static_cast<char>(row[x]);
    }
  }
  return out;
}

std::string EncodeJpeg(const TgtBitmap &bmp, int quality) {
  const std::string rgb = RgbBytes(bmp);
  jpeg_compress_struct cinfo{};
  TJpegError err{};
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegFail;
  unsigned char *mem = nullptr;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(mem);
    throw ENxError(nxeData, "The picture could not be encoded as JPEG");
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = static_cast<JDIMENSION>(bmp.Width());
  cinfo.image_height = static_cast<JDIMENSION>(bmp.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, std::clamp(quality, 1, 100), TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<char *>(rgb.data()) +
                                              static_cast<size_t>(cinfo.next_scanline) * bmp.Width() * 3);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string out(reinterpret_cast<const char *>(mem), size);
  jpeg_destroy_compress(&cinfo);
  std::free(mem);
  return out;
}

// The alpha of every pixel (or 0 for the transparent colour); empty when
// every pixel is opaque.
std::string MaskBytes(const TgtBitmap &bmp) {
  if (!bmp.Alpha && !bmp.Transparent) return {};
  std::string out(static_cast<size_t>(bmp.Width()) * bmp.Height(), '\xFF');
  bool any = false;
  size_t k = 0;
  for (int32_t y = 0; y < bmp.Height(); ++y)
    for (int32_t x = 0; x < bmp.Width(); ++x, ++k) {
      uint8_t a = bmp.Alpha ? bmp.AlphaAt(x, y) : 255;
      if (bmp.Transparent && bmp.Pixel(x, y) == (bmp.TransparentColor & 0xFFFFFF)) a = 0;
      out[k] = static_cast<char>(a);
      any |= a != 255;
    }
  return any ? out : std::string();
}

bool SameVariant(const TgtImageSettings &a, const TgtImageSettings &b) {
  return a.FOutputImageFormat == b.FOutputImageFormat &&
         (a.FOutputImageFormat != ifJPEG || a.FJPEGQuality == b.FJPEGQuality) &&
         a.FImagePixelFormat == b.FImagePixelFormat && a.FSourceDPI == b.FSourceDPI &&
         a.FAutosize == b.FAutosize && a.FStretch == b.FStretch;
}

// Width, height and components of a JPEG from its frame header.
bool JpegFrame(const std::vector<BYTE> &d, int32_t &w, int32_t &h, int &components) {
  size_t i = 2;
  if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
  while (i + 9 < d.size()) {
    if (d[i] != 0xFF) return false;
    const BYTE m = d[i + 1];
    const size_t len = (static_cast<size_t>(d[i + 2]) << 8) | d[i + 3];
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
      h = (d[i + 5] << 8) | d[i + 6];
      w = (d[i + 7] << 8) | d[i + 8];
      components = d[i + 9];
      return true;
    }
    i += 2 + len;
  }
  return false;
}

}  // namespace

std::string TgtCustomPDFEngine::ImageObject(int32_t objNo, const std::string &name, int32_t w, int32_t h,
                                            const char *filter, const char *colourSpace, std::string data) {
  EncryptStreamData(data, data.size(), 0, objNo);
  std::string s;
  pdf::AppendInt(s, objNo);
  s += " 0 obj\r\n<< /Type/XObject/Subtype/Image";
  if (!name.empty()) s += "/Name/" + name;
  s += "/Width " + std::to_string(w) + "/Height " + std::to_string(h) + "/BitsPerComponent 8" + filter + colourSpace +
       "/Length " + std::to_string(data.size()) + ">>\r\nstream\r\n";
  s += data;
  s += "\r\nendstream\r\nendobj\r\n";
  return s;
}

void TgtCustomPDFEngine::AddPageImage(int32_t objNo, const std::string &object) {
  FImageXRefList.emplace_back(objNo, FImageStream.size());
  FImageStream += object;
}

void TgtCustomPDFEngine::PlaceImage(const TgtImageItem &item, const std::string &name) {
  if (item.FSettings.FIsFrame) RenderRectangle(item.FPen, nullptr, item.FX, item.FY, item.FX + item.FWidth,
                                               item.FY + item.FHeight);
  const double w = item.FWidth != 0 ? item.FWidth : 1, h = item.FHeight != 0 ? item.FHeight : 1;
  std::string s = "\r\nq";
  const int32_t incl = item.FSettings.FInclination;
  if (incl % 360 == 0) {
    s += "\r\n" + Fixed4(LenX(w)) + " 0 0 " + Fixed4(LenY(h)) + " " + Pt(item.FX, item.FY + std::fabs(h)) + " cm\r\n";
  } else {
    // Rotated about the picture's top-left corner.
    const double t = incl * std::numbers::pi / 180, c = std::cos(t), sn = std::sin(t);
    const double hx = LenY(std::fabs(h));
    const double x = X(item.FX) + hx * sn, y = Y(item.FY) - hx * c;
    s += " 1 0 0 1 " + Fixed4(x) + " " + Fixed4(y) + " cm\r" + Fixed4(c) + " " + Fixed4(sn) + " " + Fixed4(-sn) +
         " " + Fixed4(c) + " 0 0 cm\r" + Fixed4(LenX(w)) + " " + Fixed4(0) + " " + Fixed4(0) + " " +
         Fixed4(LenY(h)) + " 0 0 cm\r";
  }
  if (item.FSettings.FOpacity < 100) s += GraphicsState(item.FSettings.FOpacity);
  s += "/" + name + " Do\r\nQ";
  FContentStream += s;
}

void TgtCustomPDFEngine::RenderImageItem(TgtImageItem &Item) {
  if (!(ItemsToRender() & irImage)) return;
  const auto &res = ImageResources();
  if (Item.FIndexNo < 0 || static_cast<size_t>(Item.FIndexNo) >= res.size() || !res[Item.FIndexNo] ||
      res[Item.FIndexNo]->Empty())
    return;  // the resource is gone: nothing is drawn
  std::vector<TImageVariant> &variants = FImageSettings[Item.FIndexNo];
  for (const TImageVariant &v : variants)
    if (SameVariant(v.Settings, Item.FSettings)) {
      PlaceImage(Item, v.Name);
      return;
    }
  const TgtBitmap &bmp = *res[Item.FIndexNo];
  const int32_t obj = NextObjectNumber();
  // "Img" + resource index + "_" + variant index: unique, where the two
  // numbers written one after the other could collide (1 and 11, 11 and 1).
  const std::string name = "Img" + std::to_string(Item.FIndexNo) + "_" + std::to_string(variants.size());
  std::string smask;
  const std::string mask = MaskBytes(bmp);
  int32_t maskObj = 0;
  if (!mask.empty()) {
    maskObj = NextObjectNumber();
    const bool z = FCompression.Enabled;
    AddPageImage(maskObj, ImageObject(maskObj, "", bmp.Width(), bmp.Height(), z ? "/Filter/FlateDecode" : "",
                                      "/ColorSpace/DeviceGray", z ? pdf::Deflate(mask, FCompression.Level) : mask));
    smask = "/SMask " + pdf::Ref(maskObj);
  }
  const std::string space = "/ColorSpace/DeviceRGB" + smask;
  if (Item.FSettings.FOutputImageFormat == ifJPEG) {
    AddPageImage(obj, ImageObject(obj, name, bmp.Width(), bmp.Height(), "/Filter/DCTDecode", space.c_str(),
                                  EncodeJpeg(bmp, Item.FSettings.FJPEGQuality)));
  } else {
    const bool z = FCompression.Enabled;
    const std::string rgb = RgbBytes(bmp);
    AddPageImage(obj, ImageObject(obj, name, bmp.Width(), bmp.Height(), z ? "/Filter/FlateDecode" : "",
                                  space.c_str(), z ? pdf::Deflate(rgb, FCompression.Level) : rgb));
  }
  variants.push_back({Item.FSettings, obj, name});
  PlaceImage(Item, name);
}

void TgtCustomPDFEngine::RenderImageStream(TgtImageStream &Item) {
  if (!(ItemsToRender() & irImage)) return;
  int32_t w = Item.FImageWidth, h = Item.FImageHeight;
  int components = 3;
  if (!JpegFrame(Item.FStream, w, h, components)) return;  // not JPEG data: skipped
  const int32_t obj = NextObjectNumber();
  const std::string name = "ImgS" + std::to_string(FImageStreamCount++);
  const char *space = components == 1 ? "/ColorSpace/DeviceGray" : components == 4 ? "/ColorSpace/DeviceCMYK"
                                                                                    : "/ColorSpace/DeviceRGB";
  AddPageImage(obj, ImageObject(obj, name, w, h, "/Filter/DCTDecode", space,
                                std::string(Item.FStream.begin(), Item.FStream.end())));
  FImageSettings[-1 - FImageStreamCount].push_back({Item.FSettings, obj, name});
  PlaceImage(Item, name);
}

}  // namespace nx
