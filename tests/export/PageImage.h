// Page images for the export tests: any image ImageMagick reads, as RGB
// pixels, with the helpers that compare an engine's page with emfrender's.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace pageimage {

struct TImage {
  int Width = 0, Height = 0;
  std::vector<unsigned char> Rgb;
  // 0xRRGGBB.
  unsigned At(int x, int y) const {
    const unsigned char *p = &Rgb[(size_t(y) * size_t(Width) + size_t(x)) * 3];
    return unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | p[2];
  }
};

// The image at path converted by ImageMagick to a binary PPM; empty when it
// cannot be read.
inline TImage Load(const std::string &path) {
  const std::string ppm = path + ".ppm";
  TImage img;
  if (nxtest::RunCommand("convert " + nxtest::ShellQuote(path) + " -depth 8 " + nxtest::ShellQuote(ppm)).exitCode)
    return img;
  std::ifstream in(ppm, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> img.Width >> img.Height >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255) return TImage{};
  img.Rgb.assign(size_t(img.Width) * size_t(img.Height) * 3, 0);
  in.read(reinterpret_cast<char *>(img.Rgb.data()), std::streamsize(img.Rgb.size()));
  return img;
}

// Whether two colours differ by at most tol in each channel.
inline bool Near(unsigned a, unsigned b, int tol = 24) {
  for (int s = 0; s <= 16; s += 8) {
    const int d = int(a >> s & 0xFF) - int(b >> s & 0xFF);
    if (d > tol || d < -tol) return false;
  }
  return true;
}

// The root-mean-square difference of two images' grey levels (0..1), the
// second resized to the first's size; -1 when ImageMagick gives none.
inline double Rmse(const std::string &a, const std::string &b) {
  const auto size = nxtest::RunCommand("identify -format '%wx%h' " + nxtest::ShellQuote(a));
  const auto cmp = nxtest::RunCommand("convert " + nxtest::ShellQuote(b) + " -resize " + size.output + "! -colorspace gray " +
                                      nxtest::ShellQuote(b + ".g.png") + " && convert " + nxtest::ShellQuote(a) +
                                      " -colorspace gray " + nxtest::ShellQuote(a + ".g.png") + " && compare -metric RMSE " +
                                      nxtest::ShellQuote(a + ".g.png") + " " + nxtest::ShellQuote(b + ".g.png") + " null: 2>&1");
  std::smatch m;
  if (!std::regex_search(cmp.output, m, std::regex("\\(([0-9.e-]+)\\)"))) return -1;
  return std::stod(m[1]);
}

// The smallest box [x0, x1) x [y0, y1) holding the pixels darker than
// mid-grey inside the window; x0 = -1 when there are none.
struct TBox {
  int X0 = -1, Y0 = -1, X1 = -1, Y1 = -1;
};
inline TBox Ink(const TImage &img, int wx0, int wy0, int wx1, int wy1) {
  TBox b;
  for (int y = std::max(0, wy0); y < std::min(img.Height, wy1); ++y)
    for (int x = std::max(0, wx0); x < std::min(img.Width, wx1); ++x) {
      const unsigned c = img.At(x, y);
      if ((c >> 16 & 0xFF) + (c >> 8 & 0xFF) + (c & 0xFF) >= 3 * 128) continue;
      if (b.X0 < 0) b = {x, y, x + 1, y + 1};
      b.X0 = std::min(b.X0, x), b.Y0 = std::min(b.Y0, y);
      b.X1 = std::max(b.X1, x + 1), b.Y1 = std::max(b.Y1, y + 1);
    }
  return b;
}

}  // namespace pageimage
