// NxPrintDialog: the GTK dialog under a display (tests/support/with-xvfb
// gives ctest one), driven with xdotool key presses while nxrun, a child
// process, runs the host's script; and its answers without a display and in
// PDF mode.
#include <cstdlib>
#include <sstream>

#include "printers/PrintersEnv.h"

namespace nxtest {
namespace {

const char *kPrinters = R"INI(
[Office]
Resolution = 300
Paper = 9
Paper = 1
DefaultPaper = 9
Bin = 1
Bin = 2
Bin = 4

[Labels]
Resolution = 203
Paper = 301, Label 4x6, 4x6in
DefaultPaper = 301
Bin = 7
Bin = 260, Roll
DefaultBin = 260
)INI";

class PrintDialogTest : public PrintersTest {
 protected:
  void SetUp() override {
    PrintersTest::SetUp();
    VirtualPrinters(kPrinters);
  }

  // Runs the script in nxrun; every key list answers one dialog, in order:
  // the driver waits for a new dialog window, notes which window has the
  // keyboard focus, then presses the keys. Returns nxrun's output lines,
  // then one "focus: NAME" line per dialog.
  std::vector<std::string> Run(const std::string &script, const std::vector<std::string> &dialogs) {
    std::string file = dir_.file("script.nx"), out = dir_.file("nxrun.out"), focus = dir_.file("focus.out");
    std::ofstream(file) << script;
    // GTK and the libraries under it keep process-lifetime allocations that
    // a sanitizer build of nxrun would report at exit; ours are still checked.
    std::string suppressions = dir_.file("lsan.supp");
    std::ofstream(suppressions) << "leak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
                                   "leak:libgio-2.0.so\nleak:libfontconfig.so\nleak:libdbus-1.so\nleak:libpango\n"
                                   "leak:libatk\nleak:libatspi\nleak:libcairo\n";
    std::ostringstream sh;
    sh << "xdotool mousemove 0 0; LSAN_OPTIONS=suppressions=" << suppressions
       << ":print_suppressions=0 timeout 60 " << (BinaryDir() / "nxrun").string() << " " << file << " > " << out
       << " 2>&1 & host=$!; last=none; ";
    for (const std::string &keys : dialogs) {
      sh << "id=; for i in $(seq 150); do id=$(xdotool search --onlyvisible --name '^Print$' | tail -1); "
            "[ -n \"$id\" ] && [ \"$id\" != \"$last\" ] && break; id=; sleep 0.1; done; last=$id; "
            "sleep 0.5; echo \"focus: $(xdotool getwindowfocus getwindowname 2>/dev/null)\" >> "
         << focus << "; xdotool key --delay 150 " << keys << "; ";
    }
    sh << "wait $host";
    CommandResult r = RunCommand(sh.str());
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> lines;
    for (const std::string &path : {out, focus}) {
      std::ifstream in(path);
      for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    return lines;
  }
};

#define NX_REQUIRE_DISPLAY()                                                    \
  NX_REQUIRE_TOOL("xdotool");                                                   \
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display: run under tests/support/with-xvfb"

TEST_F(PrintDialogTest, ConfirmTakesTheSetupTheDialogOpenedOnAndComesToTheFront) {
  NX_REQUIRE_DISPLAY();
  auto lines = Run(
      "NxInit\n"
      "NxSetCopies(3)\n NxSetOrientation(2)\n NxSetPageSize(1)\n"
      "NxPrintDialog\n"
      "NxGetCopies\n NxGetOrientation\n NxGetPageSize\n NxGetPaperBinCount\n NxGetPaperBinNames(2)\n"
      "NxEndDoc\n NxGetCopies\n"                      // the reset...
      "NxBeginDoc\n NxGetCopies\n NxGetOrientation\n NxAbort\n",  // ...and the dialog's setup again
      {"Return"});
  EXPECT_EQ(lines, (std::vector<std::string>{"0", "1", "3", "2", "1", "3", "Manual Feed", "1", "3", "2",
                                             "focus: Print"}));
}

TEST_F(PrintDialogTest, AnotherPrinterPaperAndCopiesChosenInTheDialog) {
  NX_REQUIRE_DISPLAY();
  auto lines = Run(
      "NxInit\n NxSetOrientation(2)\n"
      "NxPrintDialog\n"
      "NxGetCopies\n NxGetOrientation\n NxGetPageSize\n NxGetPaperBin\n NxGetPaperBinNames(1)\n"
      "NxGetPrinterCaps(88)\n"
      "NxBeginDoc\n NxGetPrinter\n NxAbort\n",
      {"alt+r Down alt+i ctrl+a 4 Return"});
  EXPECT_EQ(lines, (std::vector<std::string>{"0", "1", "4", "2", "301", "260", "Roll", "203", "1", "focus: Print"}));
}

TEST_F(PrintDialogTest, CancelChangesNothingAndForgetsAnEarlierConfirmation) {
  NX_REQUIRE_DISPLAY();
  auto lines = Run(
      "NxInit\n"
      "NxPrintDialog\n NxGetPageSize\n"  // confirmed on the label printer
      "NxSetCopies(2)\n"
      "NxPrintDialog\n NxGetCopies\n NxGetPageSize\n"  // cancelled
      "NxBeginDoc\n NxGetPrinter\n NxGetCopies\n NxAbort\n",
      {"alt+r Down alt+i Return", "Escape"});
  // The document takes the session's printer and copies, not the dialog's.
  EXPECT_EQ(lines, (std::vector<std::string>{"0", "1", "301", "0", "2", "301", "0", "2", "focus: Print",
                                             "focus: Print"}));
}

TEST_F(PrintDialogTest, WithoutADisplayNothingIsShownAndTheErrorSaysSo) {
  std::ofstream(dir_.file("s.nx")) << "NxInit\nNxPrintDialog\nNxGetLastErrorText\n"
                                      "NxSetDevice(3)\nNxPrintDialog\n";
  CommandResult r = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY timeout 30 " + (BinaryDir() / "nxrun").string() +
                               " " + dir_.file("s.nx"));
  std::vector<std::string> results;  // without nxrun's own report of the error
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(dir_.file("s.nx"), 0) != 0) results.push_back(line);
  EXPECT_EQ(results, (std::vector<std::string>{"0", "0", "The print dialog cannot be shown: no display is available",
                                               "1"}));
}

}  // namespace
}  // namespace nxtest
