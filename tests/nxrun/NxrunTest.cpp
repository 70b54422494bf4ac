// The nxrun command: scripts of Nx calls, their printed results and errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TestSupport.h"

namespace {

struct ScriptRun {
  int exitCode;
  std::string out;   // standard output
  std::string err;   // standard error
};

ScriptRun RunScript(const std::string &script) {
  nxtest::TempDir dir;
  std::string path = dir.file("script.nx");
  nxtest::WriteFileBytes(path, std::vector<unsigned char>(script.begin(), script.end()));
  std::string nxrun = (nxtest::BinaryDir() / "nxrun").string();
  std::string cmd = "(cd " + nxtest::ShellQuote(dir.path().string()) + " && " + nxtest::ShellQuote(nxrun) +
                    " script.nx 2>err.txt)";
  nxtest::CommandResult r = nxtest::RunCommand(cmd);
  auto err = nxtest::ReadFileBytes(dir.file("err.txt"));
  return ScriptRun{r.exitCode, r.output, std::string(err.begin(), err.end())};
}

TEST(Nxrun, PrintsEachQueryResultOnItsOwnLine) {
  ScriptRun r = RunScript(
      "# settings and queries\n"
      "\n"
      "NxGetUnit\n"
      "NxSetUnit(3)   # inches\n"
      "NxGetUnit();\n"
      "  NxSetBorderColor( -16 )\n"
      "NxGetBorderColor()\n"
      "NxSetFillColor(0xFF00000F)\n"
      "NxGetFillColor\n"
      "NxGetVersion\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "0\n3\n-16\n-16777201\n3.0.4.124\n");
  EXPECT_EQ(r.err, "");
}

TEST(Nxrun, StringsReachTheLibraryInTheAnsiCodePage) {
  ScriptRun r = RunScript(
      "NxSetTitle(\"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC # not a comment\")\n"  // UTF-8 text
      "NxGetTitle\n"
      "NxSetTitle(\"\\xE4\\x80\\t\\\"q\\\"\\101\")\n"  // raw 1252 bytes and C escapes
      "NxGetTitle\n"
      "NxSetTitle(\"cut\\x00here\")\n"
      "NxGetTitle\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC # not a comment\n"
            "\xC3\xA4\xE2\x82\xAC\t\"q\"A\n"
            "cut\n");
}

TEST(Nxrun, ScriptErrorsStopTheRunWithTheirLine) {
  struct Case {
    std::string line;
    std::string message;
  } cases[] = {
      {"NxFrobnicate(1)", "unknown function NxFrobnicate"},
      {"NxSetUnit()", "too few arguments for NxSetUnit"},
      {"NxSetUnit(1, 2)", "NxSetUnit takes fewer arguments"},
      {"NxSetUnit(\"1\")", "argument 1 of NxSetUnit must be a number"},
      {"NxSetTitle(3)", "must be a string in double quotes"},
      {"NxSetTitle(\"open", "no closing quote"},
      {"NxSetTitle(\"\\q\")", "unknown escape \\q"},
      {"NxSetUnit(2147483648)", "does not fit in a signed 32-bit integer"},
      {"NxSetUnit(0x100000000)", "does not fit in 32 bits"},
      {"NxSetTitle(\"\xE2\x98\x83\")", "ANSI code page 1252 cannot hold"},
      {"NxSetUnit(1) NxGetUnit", "unexpected text after the call"},
  };
  for (const Case &c : cases) {
    ScriptRun r = RunScript("NxGetUnit\n# fine so far\n" + c.line + "\nNxGetUnit\n");
    EXPECT_EQ(r.exitCode, 2) << c.line;
    EXPECT_EQ(r.out, "0\n") << c.line;  // the line after the error never ran
    EXPECT_NE(r.err.find("script.nx:3: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.line << " gave " << r.err;
  }
}

TEST(Nxrun, NegativeAndHexNumbers) {
  // A script saved by a Windows editor: byte order mark and CR LF line ends.
  ScriptRun r = RunScript("\xEF\xBB\xBFNxSetFontAngle(-2147483648)\r\nNxGetFontAngle\r\nNxSetFontAngle(0xFFFFFFFF)\nNxGetFontAngle\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "-2147483648\n-1\n");
}

}  // namespace

namespace {

// The demo script on the built-in virtual printer, in a folder of its own:
// a two-page print job with a QR code on each page, and a two-page invoice
// as EMF files whose second page carries barcodes.
TEST(Nxrun, TheDemoScriptPrintsAndWritesEmfPages) {
  NX_REQUIRE_TOOL("emf2svg-conv");
  NX_REQUIRE_TOOL("pdfinfo");
  nxtest::TempDir dir;
  std::filesystem::create_directory(dir.path() / "emf");
  const std::string q = nxtest::ShellQuote(dir.path().string());
  const std::string cmd = "cd " + q + " && env XDG_CONFIG_HOME=" + q + "/config XDG_DATA_HOME=" + q +
                          "/data NOXTREL_SPOOL=" + q + "/spool CUPS_SERVER=" + q + "/no-cupsd.sock " +
                          nxtest::ShellQuote((nxtest::BinaryDir() / "nxrun").string()) + " " +
                          nxtest::ShellQuote(std::string(NX_SOURCE_DIR) + "/tools/nxrun/examples/demo.nx");
  nxtest::CommandResult r = nxtest::RunCommand(cmd);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  // Version, printer found, default printer 0, A4 in millimetres at 600 dpi,
  // and no error after either document.
  EXPECT_EQ(r.output, "3.0.4.124\n0\n0\n2099733\n2969683\n0\n0\n");
  for (const char *page : {"Page1.emf", "Page2.emf"}) {
    std::string emf = (dir.path() / "emf" / page).string();
    nxtest::CommandResult svg = nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(emf) + " -o " +
                                                   nxtest::ShellQuote(emf + ".svg"));
    EXPECT_EQ(svg.exitCode, 0) << page << ": " << svg.output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "emf" / "Page3.emf"));
  nxtest::CommandResult info = nxtest::RunCommand("pdfinfo " + q + "/spool/job-1.pdf");
  EXPECT_EQ(info.exitCode, 0) << info.output;
  EXPECT_NE(info.output.find("Pages:           2"), std::string::npos) << info.output;
  // Each printed page carries its QR code.
  NX_REQUIRE_TOOL("zbarimg");
  nxtest::CommandResult png = nxtest::RunCommand("pdftoppm -r 100 -png " + q + "/spool/job-1.pdf " + q + "/page");
  ASSERT_EQ(png.exitCode, 0) << png.output;
  nxtest::CommandResult codes = nxtest::RunCommand("zbarimg --nodbus -q " + q + "/page-1.png " + q + "/page-2.png");
  EXPECT_EQ(codes.output, "QR-Code:NOXTREL demo, page 1\nQR-Code:NOXTREL demo, page 2\n");
  // The invoice's second page carries its QR code and two barcodes.
  const std::string svg = (dir.path() / "emf" / "Page2.emf.svg").string();
  nxtest::CommandResult slip =
      nxtest::RunCommand("convert -background white " + nxtest::ShellQuote(svg) + " -flatten " + q + "/slip.png");
  ASSERT_EQ(slip.exitCode, 0) << slip.output;
  codes = nxtest::RunCommand("zbarimg --nodbus -q " + q + "/slip.png");
  EXPECT_EQ(codes.output, "QR-Code:NOXTREL demo, page 2\nEAN-13:4006381333931\nCODE-128:INV 2026-0117\n");
}

}  // namespace
