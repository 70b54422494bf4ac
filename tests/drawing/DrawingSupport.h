// Drawing tests run whole documents through the exports on virtual printers
// of a small card paper (40 x 30 mm, no margins) at 600 and 300 dpi, saved as
// EMF pages; the records are read back with EnumEnhMetaFile and the pages
// rendered with emfrender.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "device/NxPrinter.h"
#include "noxtrel.h"
#include "platform/win32.h"
#include "session/Library.h"
#include "support/EmfRecords.h"
#include "support/LibraryTest.h"

namespace drawtest {

using Record = nxtest::EmfRecord;

// A rendered page: RGB pixels, top row first.
struct Raster {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  COLORREF At(int x, int y) const {
    const uint8_t *p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return RGB(p[0], p[1], p[2]);
  }
  // Pixels of the colour inside the rectangle [x0, x1) x [y0, y1).
  int Count(int x0, int y0, int x1, int y1, COLORREF c) const;
  // Pixels darker than mid-grey inside the rectangle.
  int Dark(int x0, int y0, int x1, int y1) const;
};

class DrawingTest : public nxtest::LibraryTest {
 public:
  void SetUp() override;

  // Draws one document on printer `printer` (0: 600 dpi, 1: 300 dpi) in
  // device pixels (unit 4) and returns the path of its first page file.
  std::string Draw(const std::function<void()> &draw, int printer = 0, int pages = 1);
  // The records of a page file.
  static std::vector<Record> Records(const std::string &emf);
  static std::vector<Record> OfType(const std::vector<Record> &all, DWORD type);
  // Renders a page with emfrender; false when emfrender is not built.
  static bool Render(const std::string &emf, Raster *out);
  std::string Folder() const { return dir_.file("out"); }
  // A picture made with ImageMagick's convert from the given arguments.
  std::string Picture(const std::string &args, const std::string &name);
};

}  // namespace drawtest
