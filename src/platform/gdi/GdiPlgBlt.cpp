// PlgBlt: a source rectangle drawn onto a parallelogram (any rotation,
// shear or mirroring), through an optional monochrome mask whose clear
// bits leave the destination as it was.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/gdi/Raster.h"

namespace nx::gdi {
namespace {

// The source area as top-down 32-bpp pixels, read through BitBlt.
bool ReadSourceArea(HDC src, int x, int y, int w, int h, std::vector<uint32_t> *px) {
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bm) return false;
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, bm);
  bool ok = BitBlt(mem, 0, 0, w, h, src, x, y, SRCCOPY);
  GdiFlush();
  if (ok) px->assign(static_cast<uint32_t *>(bits), static_cast<uint32_t *>(bits) + (size_t)w * h);
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bm);
  return ok;
}

// The mask's bits over w x h from (mx, my): 1 where set.
bool ReadMask(HBITMAP mask, int mx, int my, int w, int h, std::vector<uint8_t> *bits) {
  auto *bm = Lookup<BitmapObj>(mask, Kind::Bitmap);
  if (!bm || bm->bpp != 1 || mx < 0 || my < 0 || (int64_t)mx + w > bm->width ||
      (int64_t)my + h > bm->height)
    return false;
  std::vector<uint32_t> px((size_t)bm->width * bm->height);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), bm->width, -bm->height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  if (!GetDIBits(nullptr, mask, 0, (UINT)bm->height, px.data(), &bi, DIB_RGB_COLORS)) return false;
  bits->resize((size_t)w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      (*bits)[(size_t)y * w + x] = (px[(size_t)(my + y) * bm->width + mx + x] & 0xFFFFFF) != 0;
  return true;
}

template <class T>
void Put(std::vector<uint8_t> *b, const T &v) {
  const auto *p = reinterpret_cast<const uint8_t *>(&v);
  b->insert(b->end(), p, p + sizeof v);
}

// EMR_PLGBLT: the source as a 32-bpp top-down DIB, the mask as a 1-bpp one.
void RecordPlgBlt(Dc *dc, const POINT *pts, int w, int h,
                  const std::vector<uint32_t> &px, const std::vector<uint8_t> *mask, COLORREF bk) {
  constexpr DWORD kHead = 140;
  std::vector<uint8_t> src, msk;
  Put(&src, BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB,
                             (DWORD)(4 * px.size()), 0, 0, 0, 0});
  size_t srcInfo = src.size();
  for (uint32_t p : px) Put(&src, p);
  size_t maskInfo = 0;
  if (mask) {
    size_t stride = ((size_t)w + 31) / 32 * 4;
    Put(&msk, BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 1, BI_RGB,
                               (DWORD)(stride * h), 0, 0, 2, 0});
    Put(&msk, (uint32_t)0);
    Put(&msk, (uint32_t)0xFFFFFF);
    maskInfo = msk.size();
    msk.resize(maskInfo + stride * h, 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if ((*mask)[(size_t)y * w + x]) msk[maskInfo + stride * y + x / 8] |= (uint8_t)(0x80 >> (x % 8));
  }
  uint8_t *r = dc->rec->Append(EMR_PLGBLT, kHead + src.size() + msk.size());
  POINT corners[4] = {pts[0], pts[1], pts[2],
                      {ClampToLong((double)pts[1].x + pts[2].x - pts[0].x),
                       ClampToLong((double)pts[1].y + pts[2].y - pts[0].y)}};
  RECTL box = DeviceBox(*dc, corners, 4);
  std::vector<uint8_t> f;
  Put(&f, box);
  for (int i = 0; i < 3; ++i) Put(&f, pts[i]);
  for (LONG v : {(LONG)0, (LONG)0, (LONG)w, (LONG)h}) Put(&f, v);  // the DIB holds just the area
  Put(&f, XFORM{1, 0, 0, 1, 0, 0});
  Put(&f, bk);
  DWORD offMask = mask ? kHead + (DWORD)src.size() : 0;
  for (DWORD v : {(DWORD)DIB_RGB_COLORS, kHead, (DWORD)srcInfo, kHead + (DWORD)srcInfo,
                  (DWORD)(src.size() - srcInfo), 0u, 0u, (DWORD)DIB_RGB_COLORS, offMask,
                  (DWORD)maskInfo, mask ? offMask + (DWORD)maskInfo : 0u,
                  (DWORD)(msk.size() - maskInfo)})
    Put(&f, v);
  std::memcpy(r + 8, f.data(), f.size());
  std::memcpy(r + kHead, src.data(), src.size());
  if (!msk.empty()) std::memcpy(r + kHead + src.size(), msk.data(), msk.size());
  AddDrawBounds(dc, box, false);
}

// Draws the pixels (alpha 0 where the mask is clear) onto the parallelogram.
bool DrawPlg(Dc *dc, const POINT *pts, int w, int h, const std::vector<uint32_t> &px,
             const std::vector<uint8_t> *mask) {
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_surface_flush(s);
  uint8_t *data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < h; ++y) {
    auto *row = reinterpret_cast<uint32_t *>(data + (size_t)y * stride);
    for (int x = 0; x < w; ++x) {
      size_t i = (size_t)y * w + x;
      row[x] = mask && !(*mask)[i] ? 0u : 0xFF000000u | (px[i] & 0xFFFFFF);
    }
  }
  cairo_surface_mark_dirty(s);
  Affine m = LogicalToDevice(*dc);
  DPoint p0 = RoundedDevice(m, pts[0].x, pts[0].y), p1 = RoundedDevice(m, pts[1].x, pts[1].y),
         p2 = RoundedDevice(m, pts[2].x, pts[2].y);
  // Source pixels -> device: (u, v) -> p0 + u/w (p1 - p0) + v/h (p2 - p0).
  cairo_matrix_t toDev{(p1.x - p0.x) / w, (p1.y - p0.y) / w, (p2.x - p0.x) / h,
                       (p2.y - p0.y) / h, p0.x, p0.y};
  bool ok = cairo_matrix_invert(&toDev) == CAIRO_STATUS_SUCCESS;
  RasterScope rs(dc);
  cairo_t *cr = rs.cr();
  if (ok && cr) {
    cairo_pattern_t *pat = cairo_pattern_create_for_surface(s);
    cairo_pattern_set_matrix(pat, &toDev);
    cairo_pattern_set_filter(pat, CAIRO_FILTER_NEAREST);
    cairo_save(cr);
    cairo_set_source(cr, pat);
    cairo_move_to(cr, p0.x, p0.y);
    cairo_line_to(cr, p1.x, p1.y);
    cairo_line_to(cr, p1.x + p2.x - p0.x, p1.y + p2.y - p0.y);
    cairo_line_to(cr, p2.x, p2.y);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_pattern_destroy(pat);
  }
  cairo_surface_destroy(s);
  return ok && cr;
}

}  // namespace
}  // namespace nx::gdi

using namespace nx::gdi;

BOOL WINAPI PlgBlt(HDC hdcDest, const POINT *lpPoint, HDC hdcSrc, int xSrc, int ySrc, int width,
                   int height, HBITMAP hbmMask, int xMask, int yMask) {
  Dc *dc = DcFromHandle(hdcDest);
  if (!dc || !lpPoint || !DcFromHandle(hdcSrc) || width <= 0 || height <= 0 ||
      (int64_t)width * height > (1 << 26)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<uint32_t> px;
  std::vector<uint8_t> mask;
  if (!ReadSourceArea(hdcSrc, xSrc, ySrc, width, height, &px) ||
      (hbmMask && !ReadMask(hbmMask, xMask, yMask, width, height, &mask))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::vector<uint8_t> *m = hbmMask ? &mask : nullptr;
  if (dc->IsMetafile()) {
    RecordPlgBlt(dc, lpPoint, width, height, px, m, GetBkColor(hdcSrc));
    return TRUE;
  }
  return DrawPlg(dc, lpPoint, width, height, px, m);
}
