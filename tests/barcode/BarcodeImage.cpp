#include "BarcodeImage.h"

#include <cstdlib>
#include <fstream>

namespace bctest {

void WritePpm(const nx::TMemoryBitmap &bmp, const std::string &path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << bmp.Width() << " " << bmp.Height() << "\n255\n";
  for (int32_t y = 0; y < bmp.Height(); ++y)
    for (int32_t x = 0; x < bmp.Width(); ++x) {
      COLORREF c = bmp.Pixel(x, y);
      out.put(char(GetRValue(c))).put(char(GetGValue(c))).put(char(GetBValue(c)));
    }
}

std::string ZbarRead(const std::string &path) {
  auto r = nxtest::RunCommand("zbarimg --nodbus --quiet --raw " + nxtest::ShellQuote(path) + " 2>/dev/null");
  std::string out = r.output;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string Decode(const nx::TMemoryBitmap &bmp, const nxtest::TempDir &dir, const std::string &name) {
  const std::string path = dir.file("barcode.ppm");
  WritePpm(bmp, path);
  if (const char *keep = std::getenv("NX_KEEP_BARCODES"))
    nxtest::RunCommand("convert " + path + " " + nxtest::ShellQuote(std::string(keep) + "/" + name + ".png"));
  return ZbarRead(path);
}

}  // namespace bctest
