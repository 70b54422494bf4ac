#include "BarcodeImage.h"

#include <cstdlib>
#include <fstream>

namespace bctest {

void WritePpm(const nx::TMemoryBitmap &bmp, const std::string &path, int magnify) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << bmp.Width() * magnify << " " << bmp.Height() * magnify << "\n255\n";
  for (int32_t y = 0; y < bmp.Height() * magnify; ++y)
    for (int32_t x = 0; x < bmp.Width() * magnify; ++x) {
      COLORREF c = bmp.Pixel(x / magnify, y / magnify);
      out.put(char(GetRValue(c))).put(char(GetGValue(c))).put(char(GetBValue(c)));
    }
}

std::string ZbarRead(const std::string &path) {
  auto r = nxtest::RunCommand("zbarimg --nodbus --quiet --raw " + nxtest::ShellQuote(path) + " 2>/dev/null");
  std::string out = r.output;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string Decode(const nx::TMemoryBitmap &bmp, const nxtest::TempDir &dir, const std::string &name, int magnify) {
  const std::string path = dir.file("barcode.ppm");
  WritePpm(bmp, path, magnify);
  if (const char *keep = std::getenv("NX_KEEP_BARCODES"))
    nxtest::RunCommand("convert " + path + " " + nxtest::ShellQuote(std::string(keep) + "/" + name + ".png"));
  return ZbarRead(path);
}

}  // namespace bctest
