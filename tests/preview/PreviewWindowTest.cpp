// The preview window under a display (tests/support/with-xvfb gives ctest
// one): the document is shown in this process by NxEndDoc while a driver
// thread finds the window and works it with xdotool, looks at it with xprop
// and ImageMagick's import, and presses Escape to close it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "noxtrel.h"
#include "preview/Preview.h"
#include "session/Library.h"
#include "session/Session.h"
#include "support/SpoolEnv.h"
#include "support/cupsd.h"

namespace nxtest {
namespace {

namespace fs = std::filesystem;

#define NX_REQUIRE_DISPLAY()                                                    \
  NX_REQUIRE_TOOL("xdotool");                                                   \
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display: run under tests/support/with-xvfb"

// Finds the window (caption "Preview test - [printer]") into $id.
const char *kFindWindow =
    "id=; for i in $(seq 150); do id=$(xdotool search --onlyvisible --name '^Preview test - \\[' | head -1); "
    "[ -n \"$id\" ] && break; sleep 0.1; done; [ -n \"$id\" ] || { echo 'no window'; exit 1; }; sleep 0.6; ";
// Closes the window if the script left it open, so that a failure cannot
// hang the test.
const char *kEnsureClosed =
    "; for i in $(seq 50); do xdotool search --onlyvisible --name '^Preview test - \\[' >/dev/null || exit 0; "
    "sleep 0.1; done; echo 'still open'; xdotool search --name '^Preview test - \\[' key --window %1 Escape; sleep 1; "
    "xdotool search --name '^Preview test - \\[' windowkill";

// P opens the print dialog; pages 2 to 3 are chosen and printed, then the
// window is closed.
const char *kPrintPagesTwoToThree =
    "xdotool mousemove --window $id 300 300; xdotool key p; "
    "d=; for i in $(seq 150); do d=$(xdotool search --onlyvisible --name '^Print$' | head -1); "
    "[ -n \"$d\" ] && break; sleep 0.1; done; echo \"dialog: $d\"; sleep 0.5; "
    "xdotool key --delay 150 alt+g Tab ctrl+a 2 Tab ctrl+a 3 Return; sleep 1; xdotool key Escape";

class PreviewWindowTest : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    ASSERT_EQ(NxInit(), 0);
  }
  void TearDown() override { nx::UnloadLibraryState(); }

  // Shows a document of `pages` pages ("Page 1", ...) with the preview
  // settings `settings` made, while `driver` (shell, $id is the window)
  // runs; returns the driver's output. `visible` gets NxIsPreviewVisible
  // as read while the window was on the screen.
  std::string Show(int pages, const std::function<void()> &settings, const std::string &driver,
                   int *visible = nullptr) {
    NxSetDevice(2);
    settings();
    NxSetTitle("Preview test");
    Record(pages);
    std::string output;
    std::thread t([&] {
      CommandResult found = RunCommand(std::string(kFindWindow) + "echo found");
      // Read while NxEndDoc runs the window on the test's thread.
      if (visible) *visible = NxIsPreviewVisible();
      CommandResult r = RunCommand(std::string(kFindWindow) + driver + kEnsureClosed);
      output = found.output + r.output;
    });
    NxEndDoc();
    t.join();
    return output;
  }

  static void Record(int pages) {
    NxBeginDoc();
    for (int i = 1; i <= pages; ++i) {
      if (i > 1) NxNewPage();
      NxSetFontSize(360000);
      NxTextOut(200000, 300000, ("Page " + std::to_string(i)).c_str());
      NxFrame(100000, 100000, 1900000, 2800000, 0);
    }
  }

  static int Stored(const char16_t *name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, nx::preview::kRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return -999;
    DWORD type = 0, value = 0, size = sizeof value;
    LSTATUS st = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    return st == ERROR_SUCCESS && type == REG_DWORD ? static_cast<int>(value) : -999;
  }
  static std::vector<int> StoredGeometry() {
    return {Stored(u"WindowState"), Stored(u"Left"), Stored(u"Top"), Stored(u"Width"), Stored(u"Height"),
            Stored(u"Zoom"), Stored(u"TopMost")};
  }

  // The number of pixels that differ between two images of the same size.
  static long Differing(const std::string &a, const std::string &b) {
    CommandResult r = RunCommand("compare -metric AE -fuzz 20% " + ShellQuote(a) + " " + ShellQuote(b) + " null: 2>&1");
    return std::atol(r.output.c_str());
  }
};

TEST_F(PreviewWindowTest, StateTwoOpensWhereToldZoomKeysAndWheelAndEscapeStoresTheGeometry) {
  NX_REQUIRE_DISPLAY();
  int visible = -1;
  std::string out = Show(
      2,
      [] {
        NxSetPWState(2);
        NxSetPWBounds(100, 50, 700, 500);
        NxSetPWZoomLevel(50);
      },
      "xdotool getwindowgeometry $id; xdotool mousemove --window $id 350 300; sleep 0.2; "
      "xdotool key --delay 100 KP_Add KP_Add; xdotool keydown ctrl click 4 keyup ctrl; "
      "xdotool key --delay 100 KP_Subtract; sleep 0.3; xdotool key Escape",
      &visible);
  EXPECT_NE(out.find("Position: 100,50"), std::string::npos) << out;
  EXPECT_NE(out.find("Geometry: 700x500"), std::string::npos) << out;
  EXPECT_EQ(visible, 1);
  EXPECT_EQ(NxIsPreviewVisible(), 0);
  EXPECT_FALSE(nx::Session().PreviewInfo.Zoomed);  // lasts one showing
  // 50 + 10 + 10 + 10 (Ctrl and the wheel) - 10.
  EXPECT_EQ(StoredGeometry(), (std::vector<int>{0, 100, 50, 700, 500, 70, 0}));

  // State 4 opens as the registry says, at its zoom (Escape stores it again).
  out = Show(1, [] { NxSetPWState(4); }, "xdotool getwindowgeometry $id; xdotool key Escape");
  EXPECT_NE(out.find("Position: 100,50"), std::string::npos) << out;
  EXPECT_NE(out.find("Geometry: 700x500"), std::string::npos) << out;
  EXPECT_EQ(Stored(u"Zoom"), 70);
  // A zoom the host set wins over the stored one.
  Show(1, [] { NxSetPWZoomLevel(250); }, "xdotool key Escape");
  EXPECT_EQ(Stored(u"Zoom"), 250);
  // A level outside 20..400 opens at 100 %.
  Show(1, [] { NxSetPWZoomLevel(500); }, "xdotool key Escape");
  EXPECT_EQ(Stored(u"Zoom"), 100);
}

TEST_F(PreviewWindowTest, StateThreeCentresOnTheWorkAreaAndFillsItWithoutASize) {
  NX_REQUIRE_DISPLAY();
  CommandResult screen = RunCommand("xdotool getdisplaygeometry");
  int sw = 0, sh = 0;
  ASSERT_EQ(std::sscanf(screen.output.c_str(), "%d %d", &sw, &sh), 2) << screen.output;
  std::string out = Show(
      1,
      [] {
        NxSetPWState(3);
        NxSetPWSize(600, 800);
      },
      "xdotool getwindowgeometry $id; xdotool key Escape");
  // A screen without panels: the work area is the screen.
  EXPECT_NE(out.find("Position: " + std::to_string((sw - 600) / 2) + "," + std::to_string((sh - 800) / 2)),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Geometry: 600x800"), std::string::npos) << out;
  out = Show(
      1,
      [] {
        NxSetPWState(3);
        NxSetPWBounds(0, 0, -1, -1);
      },
      "xdotool getwindowgeometry $id; xdotool key Escape");
  EXPECT_NE(out.find("Position: 0,0"), std::string::npos) << out;
  EXPECT_NE(out.find("Geometry: " + std::to_string(sw) + "x" + std::to_string(sh)), std::string::npos) << out;
}

TEST_F(PreviewWindowTest, MaximizedMinimizedAndTopMostAreAskedOfTheWindowManager) {
  NX_REQUIRE_DISPLAY();
  NX_REQUIRE_TOOL("xprop");
  std::string out = Show(
      1,
      [] {
        NxSetPWState(1);
        NxSetPWTopMost(1);
      },
      "xprop -id $id _NET_WM_STATE WM_CLASS; xdotool key Escape");
  EXPECT_NE(out.find("_NET_WM_STATE_MAXIMIZED_VERT"), std::string::npos) << out;
  EXPECT_NE(out.find("_NET_WM_STATE_ABOVE"), std::string::npos) << out;
  EXPECT_EQ(Stored(u"TopMost"), 1);
  out = Show(
      1,
      [] {
        NxSetPWState(0);
        NxSetPWTopMost(0);
      },
      "xprop -id $id WM_HINTS _NET_WM_STATE; xdotool key Escape");
  EXPECT_NE(out.find("Iconic"), std::string::npos) << out;
  EXPECT_EQ(out.find("_NET_WM_STATE_ABOVE"), std::string::npos) << out;
  EXPECT_EQ(Stored(u"TopMost"), 0);
}

// Screenshots of the page at 50 % in a window where the whole paper fits:
// the page image lies at the scroll area (10, 59) + the centred paper + 8.
TEST_F(PreviewWindowTest, PagesShowTheirMetafileAtTheZoomAndKeysAndTheWheelPageAndScroll) {
  NX_REQUIRE_DISPLAY();
  NX_REQUIRE_TOOL("import");
  NX_REQUIRE_TOOL("compare");
  // The pages as EMF files, rendered independently at the same size.
  NxSetDevice(5);
  NxSetFileName((dir_.path() / "x.emf").string().c_str());
  Record(5);
  NxEndDoc();
  const nx::TNoxtrelRec &s = nx::Session();
  NxSetDevice(2);
  NxBeginDoc();  // the page size the window shows
  const int pw = s.AreaWidth, ph = s.AreaHeight, dpi = s.HPixelsInch;
  NxAbort();
  ASSERT_GT(dpi, 0);
  const int iw = static_cast<int>(pw / (dpi / 96.0) * 50) / 100, ih = static_cast<int>(ph / (dpi / 96.0) * 50) / 100;
  const int areaW = 1000 - 16, areaH = 900 - 64;
  ASSERT_LE(ih + 16, areaH);
  const int x = 10 + (areaW - iw - 16) / 2 + 8, y = 59 + (areaH - ih - 16) / 2 + 8;
  const std::string crop = std::to_string(iw - 2) + "x" + std::to_string(ih - 2) + "+" + std::to_string(x + 1) +
                           "+" + std::to_string(y + 1);
  const std::string scale = std::to_string(0.5 * 96.0 / dpi);
  for (int page : {1, 2}) {
    CommandResult r = RunCommand((BinaryDir() / "emfrender").string() + " " +
                                 ShellQuote((dir_.path() / ("Page" + std::to_string(page) + ".emf")).string()) + " " +
                                 ShellQuote(dir_.file("want" + std::to_string(page) + ".png")) + " --scale " + scale +
                                 " && convert " + ShellQuote(dir_.file("want" + std::to_string(page) + ".png")) +
                                 " -crop " + std::to_string(iw - 2) + "x" + std::to_string(ih - 2) + "+1+1 +repage " +
                                 ShellQuote(dir_.file("want" + std::to_string(page) + ".png")));
    ASSERT_EQ(r.exitCode, 0) << r.output;
  }
  auto shot = [&](const std::string &name) {
    return "import -window $id -crop " + crop + " +repage " + ShellQuote(dir_.file(name)) + "; ";
  };
  std::string out = Show(
      5,
      [] {
        NxSetPWState(2);
        NxSetPWBounds(0, 0, 1000, 900);
        NxSetPWZoomLevel(50);
      },
      "xdotool mousemove --window $id 500 400; sleep 0.2; " + shot("p1.png") +
          "xdotool key Next; sleep 0.5; " + shot("p2.png") + "xdotool key End Prior; sleep 0.5; " + shot("back.png") +
          "xdotool key Escape");
  ASSERT_TRUE(fs::exists(dir_.file("p1.png"))) << out;
  if (const char *keep = std::getenv("NX_KEEP_SHOTS")) fs::copy(dir_.path(), keep, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const long area = static_cast<long>(iw - 2) * (ih - 2);
  EXPECT_LT(Differing(dir_.file("p1.png"), dir_.file("want1.png")), area / 100) << out;
  EXPECT_LT(Differing(dir_.file("p2.png"), dir_.file("want2.png")), area / 100) << out;
  EXPECT_GT(Differing(dir_.file("p2.png"), dir_.file("want1.png")), 50) << out;
  EXPECT_LT(Differing(dir_.file("back.png"), dir_.file("want1.png")), area / 100) << out;

  // At 100 % the page is taller than the area: the wheel and the arrow keys
  // scroll it, and scrolling back shows the top again.
  const std::string top = "import -window $id -crop 900x300+20+70 +repage ";
  out = Show(
      2,
      [] {
        NxSetPWState(2);
        NxSetPWBounds(0, 0, 1000, 900);
        NxSetPWZoomLevel(100);
      },
      "xdotool mousemove --window $id 500 400; sleep 0.2; " + top + ShellQuote(dir_.file("top.png")) +
          "; xdotool click 5; sleep 0.4; " + top + ShellQuote(dir_.file("down.png")) +
          "; xdotool click 4; sleep 0.4; " + top + ShellQuote(dir_.file("up.png")) +
          "; xdotool keydown Down; sleep 0.8; xdotool keyup Down; sleep 0.3; " + top +
          ShellQuote(dir_.file("held.png")) + "; xdotool click 4 click 4 click 4; sleep 0.4; " + top +
          ShellQuote(dir_.file("back.png")) + "; xdotool key Escape");
  EXPECT_GT(Differing(dir_.file("top.png"), dir_.file("down.png")), 100) << out;
  EXPECT_EQ(Differing(dir_.file("top.png"), dir_.file("up.png")), 0) << out;
  EXPECT_GT(Differing(dir_.file("top.png"), dir_.file("held.png")), 100) << out;
  EXPECT_EQ(Differing(dir_.file("top.png"), dir_.file("back.png")), 0) << out;
  EXPECT_EQ(Stored(u"Zoom"), 100);  // the wheel without Ctrl does not zoom
}

TEST_F(PreviewWindowTest, PrintingPagesTwoToThreeFromTheWindowSendsAJobOfTwoPages) {
  NX_REQUIRE_DISPLAY();
  NX_REQUIRE_TOOL("pdfinfo");
  std::string out = Show(
      5, [] { NxSetPWState(2); },
      kPrintPagesTwoToThree);
  EXPECT_EQ(out.find("dialog: \n"), std::string::npos) << out;  // the dialog's window was found
  const std::string job = SpoolDir() + "/job-1.pdf";
  ASSERT_TRUE(fs::exists(job)) << out;
  EXPECT_FALSE(fs::exists(SpoolDir() + "/job-2.pdf"));
  CommandResult info = RunCommand("pdfinfo " + ShellQuote(job));
  EXPECT_NE(info.output.find("Pages:           2"), std::string::npos) << info.output;
  CommandResult text = RunCommand("pdftotext " + ShellQuote(job) + " -");
  EXPECT_NE(text.output.find("Page 2"), std::string::npos) << text.output;
  EXPECT_NE(text.output.find("Page 3"), std::string::npos) << text.output;
  EXPECT_EQ(text.output.find("Page 4"), std::string::npos) << text.output;
}

TEST_F(PreviewWindowTest, PrintingPagesTwoToThreeOnACupsQueueSendsOneJobOfTwoPages) {
  NX_REQUIRE_DISPLAY();
  NX_REQUIRE_TOOL("pdfinfo");
  using namespace std::chrono_literals;
  AppSocketListener device;
  PrivateCupsd cupsd;
  NX_REQUIRE_CUPSD(cupsd);
  ASSERT_TRUE(cupsd.AddQueue("NxTest", TestPpd(), device.port())) << cupsd.ErrorLog();
  ASSERT_TRUE(cupsd.SetDefault("NxTest"));  // the private printer object starts on it
  std::string out = Show(5, [] { NxSetPWState(2); }, kPrintPagesTwoToThree);
  EXPECT_EQ(out.find("dialog: \n"), std::string::npos) << out;
  auto got = device.WaitJob(0, 30s);
  ASSERT_TRUE(got.has_value()) << out << cupsd.ErrorLog();
  EXPECT_TRUE(cupsd.WaitIdle(10s));
  EXPECT_EQ(device.JobCount(), 1u);
  const std::string pdf = dir_.file("job.pdf");
  WriteFileBytes(pdf, *got);
  CommandResult info = RunCommand("pdfinfo " + ShellQuote(pdf));
  EXPECT_NE(info.output.find("Pages:           2"), std::string::npos) << info.output;
  EXPECT_FALSE(fs::exists(SpoolDir() + "/job-1.pdf"));  // not on the virtual printer
}

TEST_F(PreviewWindowTest, WithoutADisplayTheErrorSaysSoAndTheNextDocumentStartsClean) {
  // The module may be loaded already in this process: the host runs in a
  // child without a display.
  std::ofstream(dir_.file("s.nx")) << "NxInit\nNxSetDevice(2)\nNxSetTitle(\"Kept\")\nNxBeginDoc\nNxNewPage\n"
                                      "NxEndDoc\nNxGetLastErrorText\nNxIsPreviewVisible\nNxGetTitle\n";
  CommandResult r = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY timeout 30 " + (BinaryDir() / "nxrun").string() +
                               " " + ShellQuote(dir_.file("s.nx")));
  EXPECT_NE(r.output.find("The preview window cannot be shown: no display is available"), std::string::npos)
      << r.output;
  // Not visible, and the session was reset as after any document.
  EXPECT_NE(r.output.find("available\n0\nUntitled\n"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace nxtest
