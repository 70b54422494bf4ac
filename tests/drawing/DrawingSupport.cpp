#include "drawing/DrawingSupport.h"

#include <filesystem>

namespace drawtest {

int Raster::Count(int x0, int y0, int x1, int y1, COLORREF c) const {
  int n = 0;
  for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(width, x1); ++x) n += At(x, y) == c;
  return n;
}

int Raster::Dark(int x0, int y0, int x1, int y1) const {
  int n = 0;
  for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(width, x1); ++x) {
      COLORREF c = At(x, y);
      n += GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128;
    }
  return n;
}

void DrawingTest::SetUp() {
  LibraryTest::SetUp();
  TwoResolutionPrinters("Card", "40x30mm");
  std::filesystem::create_directories(Folder());
}

std::string DrawingTest::Draw(const std::function<void()> &draw, int printer, int pages) {
  EXPECT_EQ(NxInit(), 0);
  NxSetPrinter(printer);
  NxSetDevice(5);
  NxSetFileName((Folder() + "/doc.pdf").c_str());
  NxBeginDoc();
  EXPECT_TRUE(nx::DocumentOpen());
  NxSetUnit(4);
  for (int i = 0; i < pages; ++i) {
    if (i > 0) NxNewPage();
    draw();
  }
  NxEndDoc();
  return Folder() + "/Page1.emf";
}

std::vector<Record> DrawingTest::Records(const std::string &emf) { return nxtest::ReadEmfFile(emf); }

std::vector<Record> DrawingTest::OfType(const std::vector<Record> &all, DWORD type) {
  std::vector<Record> out;
  for (const Record &r : all)
    if (r.type == type) out.push_back(r);
  return out;
}

bool DrawingTest::Render(const std::string &emf, Raster *out) {
  const auto tool = nxtest::BinaryDir() / "emfrender";
  if (!std::filesystem::exists(tool)) {
    ADD_FAILURE() << "emfrender is not built: " << tool;
    return false;
  }
  const std::string png = emf + ".png", raw = emf + ".rgb";
  auto r = nxtest::RunCommand(nxtest::ShellQuote(tool.string()) + " " + nxtest::ShellQuote(emf) + " " +
                              nxtest::ShellQuote(png));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  auto size = nxtest::RunCommand("identify -format '%w %h' " + nxtest::ShellQuote(png));
  EXPECT_EQ(size.exitCode, 0) << size.output;
  if (std::sscanf(size.output.c_str(), "%d %d", &out->width, &out->height) != 2) return false;
  auto conv = nxtest::RunCommand("convert " + nxtest::ShellQuote(png) + " -depth 8 rgb:" + nxtest::ShellQuote(raw));
  EXPECT_EQ(conv.exitCode, 0) << conv.output;
  out->rgb = nxtest::ReadFileBytes(raw);
  return out->rgb.size() == static_cast<size_t>(out->width) * out->height * 3;
}

std::string DrawingTest::Picture(const std::string &args, const std::string &name) {
  const std::string path = dir_.file(name);
  auto r = nxtest::RunCommand("convert " + args + " " + nxtest::ShellQuote(path));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return path;
}

}  // namespace drawtest
