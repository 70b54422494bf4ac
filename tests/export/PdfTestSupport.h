// Writing PDF files with the engine for the tests, and reading them back
// through qpdf (structure, uncompressed streams) and poppler.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "export/gtExPDFEng.h"
#include "support/TestSupport.h"

namespace pdftest {

// Configures a fresh engine (compression off, no viewer), lets setup adjust
// it, begins the document, lets draw add items to page 1 (and more pages),
// ends it and returns the file's bytes (empty when it was not written).
std::string WriteWithEngine(const std::string &pathWithoutExt, const std::function<void(nx::TgtPDFEngine &)> &setup,
                            const std::function<void(nx::TgtPDFEngine &)> &draw);
// The same with an engine the caller made (a test engine of its own).
std::string WriteWithEngine(nx::TgtPDFEngine &e, const std::string &pathWithoutExt,
                            const std::function<void(nx::TgtPDFEngine &)> &setup,
                            const std::function<void(nx::TgtPDFEngine &)> &draw);

// pdffonts rows: name, type, encoding, emb, sub, uni.
std::vector<std::vector<std::string>> FontRows(const std::string &path);

// qpdf --check exit code (0 clean, 2 errors, 3 warnings), with its output.
nxtest::CommandResult QpdfCheck(const std::string &path, const std::string &password = "");
// The file rewritten by qpdf with every stream uncompressed (and decrypted).
std::string QdfText(const std::string &path, const std::string &password = "");
// The first content stream of page n (1-based) as written, decoded by qpdf.
std::string PageContent(const std::string &path, int page = 1, const std::string &password = "");

// A solid pen / brush.
nx::TgtPen Pen(COLORREF c, int32_t width = 1, nx::TgtPenStyle style = nx::psSolid);
nx::TgtBrush Brush(COLORREF c, nx::TgtBrushStyle style = nx::bsSolid);

// Adds an item to the page being filled.
template <typename T>
T &AddItem(nx::TgtPDFEngine &e) {
  auto item = std::make_unique<T>();
  T &ref = *item;
  e.CurrentDocumentItemList()->push_back(std::move(item));
  return ref;
}

}  // namespace pdftest
