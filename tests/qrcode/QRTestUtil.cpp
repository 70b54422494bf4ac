#include "QRTestUtil.h"

#include <fstream>

namespace qrtest {

std::string MatrixText(const nx::TQRBitMap &m) {
  std::string out;
  for (int32_t y = 0; y < m.getMaxY(); ++y) {
    for (int32_t x = 0; x < m.getMaxX(); ++x) out += m.isBlack(x, y) ? '1' : '0';
    out += '\n';
  }
  return out;
}

void WritePbm(const nx::TQRBitMap &m, const std::string &path, int scale) {
  const int quiet = 4;
  int w = (m.getMaxX() + 2 * quiet) * scale, h = (m.getMaxY() + 2 * quiet) * scale;
  std::ofstream out(path, std::ios::binary);
  out << "P4\n" << w << " " << h << "\n";
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; px += 8) {
      unsigned char b = 0;
      for (int k = 0; k < 8 && px + k < w; ++k) {
        int x = (px + k) / scale - quiet, y = py / scale - quiet;
        if (x >= 0 && y >= 0 && x < m.getMaxX() && y < m.getMaxY() && m.isBlack(x, y)) b |= 0x80 >> k;
      }
      out.put(char(b));
    }
}

std::string ZbarDecode(const nx::TQRBitMap &m, const nxtest::TempDir &dir) {
  std::string path = dir.file("qr.pbm");
  WritePbm(m, path);
  auto r = nxtest::RunCommand("zbarimg --nodbus --quiet --raw -Sbinary " + path + " 2>/dev/null");
  return r.exitCode == 0 ? r.output : "";
}

nxtest::CommandResult RunPython(const std::string &script, const std::string &input, const nxtest::TempDir &dir) {
  std::string py = dir.file("ref.py"), in = dir.file("ref.in");
  std::ofstream(py) << script;
  std::ofstream(in, std::ios::binary) << input;
  return nxtest::RunCommand("/usr/bin/python3 " + py + " < " + in);
}

std::u16string U16(const std::string &latin1) {
  std::u16string s;
  for (unsigned char c : latin1) s.push_back(c);
  return s;
}

std::vector<int32_t> Codes(const std::string &latin1) {
  std::vector<int32_t> v;
  for (unsigned char c : latin1) v.push_back(c);
  return v;
}

}  // namespace qrtest
