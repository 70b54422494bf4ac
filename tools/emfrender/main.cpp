// emfrender: renders an enhanced metafile to a PNG image through
// PlayEnhMetaFile onto a DIB section, at the metafile's natural size (its
// frame in reference-device pixels) times an optional scale, or at a given
// size in pixels (the frame stretched onto it, as PlayEnhMetaFile does).
//
//   emfrender INPUT.emf OUTPUT.png [--scale F | --size WxH]
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

constexpr long kMaxSide = 20000;

int Usage() {
  std::fprintf(stderr,
               "usage: emfrender INPUT.emf OUTPUT.png [--scale F | --size WxH]\n"
               "  renders the metafile at its frame size in reference-device pixels, times F\n"
               "  (default 1), or stretched onto W x H pixels, on a white background\n");
  return 2;
}

int Fail(const std::string &msg) {
  std::fprintf(stderr, "emfrender: %s\n", msg.c_str());
  return 1;
}

std::u16string Utf16(const std::string &s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
  std::u16string w((size_t)std::max(n, 0), u'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), (LPWSTR)w.data(), n);
  return w;
}

// ---------------------------------------------------------------------------
// PNG output (8-bit RGB), with zlib for the image data and the checksums.

void Put32BE(std::vector<uint8_t> &out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(v >> s));
}

void Chunk(std::vector<uint8_t> &out, const char *type, const std::vector<uint8_t> &data) {
  Put32BE(out, (uint32_t)data.size());
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0L, out.data() + start, (uInt)(out.size() - start));
  Put32BE(out, (uint32_t)crc);
}

// pixels: top-down rows of 0x00RRGGBB.
bool WritePng(const std::string &path, const uint32_t *pixels, int w, int h) {
  std::vector<uint8_t> raw;
  raw.reserve((size_t)h * (1 + 3 * (size_t)w));
  for (int y = 0; y < h; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < w; ++x) {
      uint32_t p = pixels[(size_t)y * w + x];
      raw.push_back((uint8_t)(p >> 16));
      raw.push_back((uint8_t)(p >> 8));
      raw.push_back((uint8_t)p);
    }
  }
  uLongf zsize = compressBound((uLong)raw.size());
  std::vector<uint8_t> z(zsize);
  if (compress2(z.data(), &zsize, raw.data(), (uLong)raw.size(), 6) != Z_OK) return false;
  z.resize(zsize);
  std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  Put32BE(ihdr, (uint32_t)w);
  Put32BE(ihdr, (uint32_t)h);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

// ---------------------------------------------------------------------------

// The frame in reference-device pixels, times scale.
bool NaturalSize(const ENHMETAHEADER &h, double scale, long *w, long *hgt) {
  if (h.szlDevice.cx <= 0 || h.szlDevice.cy <= 0 || h.szlMillimeters.cx <= 0 ||
      h.szlMillimeters.cy <= 0)
    return false;
  double pxX = (double)h.szlDevice.cx / (100.0 * h.szlMillimeters.cx);  // pixels per 0.01 mm
  double pxY = (double)h.szlDevice.cy / (100.0 * h.szlMillimeters.cy);
  *w = std::lround(((double)h.rclFrame.right - h.rclFrame.left) * pxX * scale);
  *hgt = std::lround(((double)h.rclFrame.bottom - h.rclFrame.top) * pxY * scale);
  return *w > 0 && *hgt > 0;
}

// "WxH" with both sides from 1 to kMaxSide.
bool ParseSize(const char *text, long *w, long *h) {
  char *end = nullptr;
  *w = std::strtol(text, &end, 10);
  if (end == text || (*end != 'x' && *end != 'X')) return false;
  const char *rest = end + 1;
  *h = std::strtol(rest, &end, 10);
  return end != rest && !*end && *w > 0 && *h > 0 && *w <= kMaxSide && *h <= kMaxSide;
}

// size: the image's size, or 0 x 0 for the frame's size times scale.
int Render(const std::string &in, const std::string &out, double scale, SIZE size) {
  std::u16string win = Utf16(in);
  HENHMETAFILE emf = GetEnhMetaFileW((LPCWSTR)win.c_str());
  if (!emf)
    return Fail(GetLastError() == ERROR_FILE_NOT_FOUND ? "cannot open " + in
                                                       : in + " is not a valid EMF file");
  ENHMETAHEADER h{};
  GetEnhMetaFileHeader(emf, sizeof h, &h);
  long w = size.cx, hgt = size.cy;
  if (w == 0 && !NaturalSize(h, scale, &w, &hgt))
    return Fail(in + ": the picture frame or reference device size is empty");
  if (w > kMaxSide || hgt > kMaxSide)
    return Fail("the image would be " + std::to_string(w) + " x " + std::to_string(hgt) +
                " pixels; the limit is " + std::to_string(kMaxSide) + " a side");
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), (LONG)w, -(LONG)hgt, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bm || !bits) return Fail("not enough memory for the image");
  auto *px = static_cast<uint32_t *>(bits);
  std::fill(px, px + (size_t)w * hgt, 0x00FFFFFFu);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT rect{0, 0, (LONG)w, (LONG)hgt};
  BOOL played = PlayEnhMetaFile(dc, emf, &rect);
  GdiFlush();
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteEnhMetaFile(emf);
  bool written = played && WritePng(out, px, (int)w, (int)hgt);
  DeleteObject(bm);
  if (!played) return Fail("playing " + in + " failed");
  if (!written) return Fail("cannot write " + out);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> files;
  double scale = 1.0;
  SIZE size{0, 0};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--scale") {
      if (++i >= argc) return Usage();
      char *end = nullptr;
      scale = std::strtod(argv[i], &end);
      if (!end || *end || !(scale > 0) || scale > 100) {
        std::fprintf(stderr, "emfrender: --scale needs a number above 0 and at most 100\n");
        return 2;
      }
    } else if (a == "--size") {
      long w = 0, h = 0;
      if (++i >= argc || !ParseSize(argv[i], &w, &h)) {
        std::fprintf(stderr, "emfrender: --size needs WxH, each side from 1 to %ld\n", kMaxSide);
        return 2;
      }
      size = {(LONG)w, (LONG)h};
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return Usage();
  return Render(files[0], files[1], scale, size);
}
