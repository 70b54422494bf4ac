#include "export/PdfTestSupport.h"

#include <fstream>
#include <regex>
#include <sstream>

#include "common/Strings.h"

namespace pdftest {

using nxtest::RunCommand;
using nxtest::ShellQuote;

std::string WriteWithEngine(const std::string &pathWithoutExt, const std::function<void(nx::TgtPDFEngine &)> &setup,
                            const std::function<void(nx::TgtPDFEngine &)> &draw) {
  nx::TgtPDFEngine e;
  return WriteWithEngine(e, pathWithoutExt, setup, draw);
}

std::string WriteWithEngine(nx::TgtPDFEngine &e, const std::string &pathWithoutExt,
                            const std::function<void(nx::TgtPDFEngine &)> &setup,
                            const std::function<void(nx::TgtPDFEngine &)> &draw) {
  e.Preferences().FOpenAfterCreate = false;
  e.Preferences().FShowSetupDialog = false;
  e.Compression().Enabled = false;
  e.SetFileName(nx::AsciiToWide(pathWithoutExt));
  if (setup) setup(e);
  e.BeginDoc();
  if (draw) draw(e);
  e.EndDoc();
  std::ifstream in(pathWithoutExt + ".pdf", std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::vector<std::string>> FontRows(const std::string &path) {
  const auto r = RunCommand("pdffonts " + ShellQuote(path));
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(r.output);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    if (++n <= 2) continue;
    static const std::regex row(R"((\S+)\s+(TrueType|CID TrueType)\s+(\S+)\s+(yes|no)\s+(yes|no)\s+(yes|no))");
    std::smatch m;
    if (std::regex_search(line, m, row)) rows.push_back({m[1], m[2], m[3], m[4], m[5], m[6]});
  }
  return rows;
}

nxtest::CommandResult QpdfCheck(const std::string &path, const std::string &password) {
  const std::string pw = password.empty() ? "" : " --password=" + ShellQuote(password);
  return RunCommand("qpdf --check" + pw + " " + ShellQuote(path));
}

std::string QdfText(const std::string &path, const std::string &password) {
  const std::string pw = password.empty() ? "" : " --password=" + ShellQuote(password);
  const std::string out = path + ".qdf";
  RunCommand("qpdf --qdf --object-streams=disable --decrypt" + pw + " " + ShellQuote(path) + " " + ShellQuote(out));
  std::ifstream in(out, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string PageContent(const std::string &path, int page, const std::string &password) {
  const std::string pw = password.empty() ? "" : " --password=" + ShellQuote(password);
  // Page n's content: ask qpdf for the pages' content objects.
  const auto pages = RunCommand("qpdf" + pw + " --show-pages " + ShellQuote(path));
  // Lines look like "page 1: 6 0 R" then "  content:" then "    7 0 R".
  std::istringstream in(pages.output);
  std::string line;
  int current = 0;
  bool inContent = false;
  while (std::getline(in, line)) {
    if (line.rfind("page ", 0) == 0) {
      current = std::stoi(line.substr(5));
      inContent = false;
    } else if (line.find("content:") != std::string::npos) {
      inContent = true;
    } else if (inContent && current == page) {
      const int obj = std::stoi(line);
      return RunCommand("qpdf" + pw + " --show-object=" + std::to_string(obj) + " --filtered-stream-data " +
                        ShellQuote(path))
          .output;
    }
  }
  return {};
}

nx::TgtPen Pen(COLORREF c, int32_t width, nx::TgtPenStyle style) {
  nx::TgtPen p;
  p.Color = c;
  p.Width = width;
  p.Style = style;
  return p;
}

nx::TgtBrush Brush(COLORREF c, nx::TgtBrushStyle style) {
  nx::TgtBrush b;
  b.Color = c;
  b.Style = style;
  return b;
}

}  // namespace pdftest
