#include "QRTestUtil.h"

#include <algorithm>
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

std::string ZbarDecodeImage(int w, int h, const std::function<bool(int, int)> &dark, const nxtest::TempDir &dir) {
  std::string path = dir.file("qr.pbm");
  {
    std::ofstream out(path, std::ios::binary);
    out << "P4\n" << w << " " << h << "\n";
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; x += 8) {
        unsigned char b = 0;
        for (int k = 0; k < 8 && x + k < w; ++k) b |= dark(x + k, y) ? 0x80 >> k : 0;
        out.put(char(b));
      }
  }
  auto r = nxtest::RunCommand("zbarimg --nodbus --quiet --raw -Sbinary " + path + " 2>/dev/null");
  return r.exitCode == 0 ? r.output : "";
}

std::string ZbarDecode(const std::vector<const nx::TQRBitMap *> &ms, const nxtest::TempDir &dir) {
  const int quiet = 4, scale = 4;
  // Which symbol and column each module column of the image shows.
  std::vector<std::pair<const nx::TQRBitMap *, int>> column;
  int rows = 0;
  for (const nx::TQRBitMap *m : ms) {
    for (int x = -quiet; x < m->getMaxX() + quiet; ++x) column.push_back({m, x});
    rows = std::max(rows, m->getMaxY() + 2 * quiet);
  }
  return ZbarDecodeImage(int(column.size()) * scale, rows * scale, [&](int px, int py) {
    auto [m, x] = column[size_t(px / scale)];
    int y = py / scale - quiet;
    return x >= 0 && y >= 0 && x < m->getMaxX() && y < m->getMaxY() && m->isBlack(x, y);
  }, dir);
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

namespace qrtest {

bool MaskCondition(int32_t mask, int32_t i, int32_t j) {
  switch (mask) {
    case 0: return (i + j) % 2 == 0;
    case 1: return i % 2 == 0;
    case 2: return j % 3 == 0;
    case 3: return (i + j) % 3 == 0;
    case 4: return (i / 2 + j / 3) % 2 == 0;
    case 5: return (i * j) % 2 + (i * j) % 3 == 0;
    case 6: return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    default: return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
  }
}

void ForFormatModules(int side, const std::function<void(int, int, int)> &f) {
  for (int i = 0; i <= 5; ++i) f(i, 8, i);
  f(6, 8, 7);
  f(7, 8, 8);
  f(8, 7, 8);
  for (int i = 9; i < 15; ++i) f(i, 14 - i, 8);
  for (int i = 0; i < 8; ++i) f(i, side - 1 - i, 8);
  for (int i = 8; i < 15; ++i) f(i, 8, side - 15 + i);
}

void ForVersionModules(int side, const std::function<void(int, int, int)> &f) {
  if (side < 45) return;
  for (int i = 0; i < 18; ++i) {
    f(i, side - 11 + i % 3, i / 3);
    f(i, i / 3, side - 11 + i % 3);
  }
}

std::string QrencodeMatrix(const std::string &args, const std::string &data, const nxtest::TempDir &dir) {
  std::string in = dir.file("qrencode.in");
  std::ofstream(in, std::ios::binary) << data;
  auto r = nxtest::RunCommand("qrencode -t ASCII -m 0 " + args + " -r " + in + " -o - 2>/dev/null");
  if (r.exitCode != 0) return "";
  std::string out;
  for (size_t i = 0; i < r.output.size(); ++i) {
    char c = r.output[i];
    if (c == '\n') {
      out += '\n';
    } else {
      out += c == '#' ? '1' : '0';
      ++i;  // two characters a module
    }
  }
  return out;
}

}  // namespace qrtest
