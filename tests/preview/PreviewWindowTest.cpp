// The preview window under a display (tests/support/with-xvfb gives ctest
// one): the document is shown in this process by NxEndDoc while a driver
// thread finds the window and works it with xdotool, looks at it with xprop
// and ImageMagick's import, and presses Escape to close it.
#include <gtest/gtest.h>
#include <signal.h>

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

// The same two, also while the window is not visible (minimized), under a
// window manager: a window left open is closed as its close button would.
const char *kFindAnyWindow =
    "id=; for i in $(seq 150); do id=$(xdotool search --name '^Preview test - \\[' 2>/dev/null | head -1); "
    "[ -n \"$id\" ] && break; sleep 0.1; done; [ -n \"$id\" ] || { echo 'no window'; exit 1; }; sleep 1; ";
const char *kEnsureAnyClosed =
    "; for i in $(seq 50); do xdotool search --name '^Preview test - \\[' >/dev/null 2>&1 || exit 0; "
    "sleep 0.1; done; echo 'still open'; wmctrl -i -c $id; sleep 1; "
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
  // `find` finds the window into $id (kFindWindow: once it is visible).
  std::string Show(int pages, const std::function<void()> &settings, const std::string &driver,
                   int *visible = nullptr, const std::function<void()> &record = {},
                   const char *find = kFindWindow) {
    NxSetDevice(2);
    settings();
    NxSetTitle("Preview test");
    if (record) {
      NxBeginDoc();
      record();
    } else {
      Record(pages);
    }
    std::string output;
    std::thread t([&] {
      CommandResult found = RunCommand(std::string(find) + "echo found");
      // Read while NxEndDoc runs the window on the test's thread.
      if (visible) *visible = NxIsPreviewVisible();
      CommandResult r =
          RunCommand(std::string(find) + driver + (find == kFindAnyWindow ? kEnsureAnyClosed : kEnsureClosed));
      output = found.output + r.output;
    });
    NxEndDoc();
    t.join();
    return output;
  }

  static void Record(int pages) {
    NxBeginDoc();
    RecordPages(pages);
  }
  static void RecordPages(int pages) {
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

  // The printable area in printer pixels and the resolution the window
  // shows pages of the default printer at.
  struct PageGeometry {
    int width, height, dpi;
  };
  static PageGeometry ShownPageGeometry() {
    const nx::TNoxtrelRec &s = nx::Session();
    NxSetDevice(2);
    NxBeginDoc();
    const PageGeometry g{s.AreaWidth, s.AreaHeight, s.HPixelsInch};
    NxAbort();
    return g;
  }

  // The pages `record` draws, saved as Page1.emf, ... in the test folder.
  void SaveAsEmf(const std::function<void()> &record) {
    NxSetDevice(5);
    NxSetFileName((dir_.path() / "x.emf").string().c_str());
    NxBeginDoc();
    record();
    NxEndDoc();
  }

  // emfrender's image of saved page `page` at `scale`, then `convert`
  // options (a crop, an enlargement) into the test folder's file `out`.
  CommandResult RenderPage(int page, double scale, const std::string &convertOptions, const std::string &out) {
    const std::string png = ShellQuote(dir_.file(out));
    return RunCommand((BinaryDir() / "emfrender").string() + " " +
                      ShellQuote((dir_.path() / ("Page" + std::to_string(page) + ".emf")).string()) + " " + png +
                      " --scale " + std::to_string(scale) + " && convert " + png + " " + convertOptions + " " + png);
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

// The colours of NxSetPWColors on the window's parts, and the caption: job
// title, " - [", printer name, "]". The page at 50 % fits the area, so the
// paper is centred in it.
TEST_F(PreviewWindowTest, TheWindowShowsTheHostsColoursAndCaption) {
  NX_REQUIRE_DISPLAY();
  NX_REQUIRE_TOOL("import");
  NX_REQUIRE_TOOL("convert");
  const auto [pw, ph, dpi] = ShownPageGeometry();
  ASSERT_GT(dpi, 0);
  const int w = static_cast<int>(pw / (dpi / 96.0) * 50) / 100 + 16, h = static_cast<int>(ph / (dpi / 96.0) * 50) / 100 + 16;
  const int x = 10 + (1000 - 16 - w) / 2, y = 59 + (900 - 64 - h) / 2;
  ASSERT_GT(y, 59);
  std::string printer(256, '\0');
  NxGetPrinterNames(NxGetPrinter(), printer.data());
  printer.resize(printer.find('\0'));
  const std::string out = Show(
      1,
      [] {
        NxSetPWState(2);
        NxSetPWBounds(0, 0, 1000, 900);
        NxSetPWZoomLevel(50);
        NxSetPWColors(0x203040, 0xE0F0FF, 0x0000C0, 0x80FF80);
      },
      "xdotool getwindowname $id; import -window $id " + ShellQuote(dir_.file("window.png")) + "; xdotool key Escape");
  EXPECT_NE(out.find("\nPreview test - [" + printer + "]\n"), std::string::npos) << out;
  ASSERT_TRUE(fs::exists(dir_.file("window.png"))) << out;
  auto pixel = [&](int px, int py) {
    CommandResult r = RunCommand("convert " + ShellQuote(dir_.file("window.png")) + " -crop 1x1+" +
                                 std::to_string(px) + "+" + std::to_string(py) +
                                 " -format '%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]' info:");
    return r.output;
  };
  EXPECT_EQ(pixel(4, 500), "64,48,32");          // the window around the scroll area
  EXPECT_EQ(pixel(14, 63), "64,48,32");          // the scroll area around the paper
  EXPECT_EQ(pixel(600, 25), "128,255,128");      // the tool bar
  EXPECT_EQ(pixel(x + 3, y + 3), "255,240,224");  // the paper, inside its border and outside the page
  EXPECT_EQ(pixel(x, y + h / 2), "0,0,0");       // its border
  EXPECT_EQ(pixel(x + w + 4, y + h / 2), "192,0,0");  // the shadow at the right
  EXPECT_EQ(pixel(x + w / 2, y + h + 4), "192,0,0");  // and at the bottom
  EXPECT_EQ(pixel(x + w + 4, y + 4), "64,48,32");     // the shadows start 8 pixels down and right
  EXPECT_EQ(pixel(x + 4, y + h + 4), "64,48,32");
}

// A window manager on the test's display for one test: openbox, with a
// 40-pixel margin at the bottom of the screen standing for a panel (the work
// area ends above it) and no window decorations (a window's geometry is its
// client area: no title bar and no border). Stopped, and its windows gone,
// when the test ends.
class WindowManager {
 public:
  static constexpr int kPanel = 40;
  explicit WindowManager(const TempDir &dir) {
    const std::string rc = dir.file("openbox-rc.xml");
    std::ofstream(rc) << "<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
                         "<margins><top>0</top><bottom>" << kPanel << "</bottom><left>0</left><right>0</right></margins>\n"
                         "<focus><focusNew>yes</focusNew></focus><desktops><number>1</number></desktops>\n"
                         "<theme><keepBorder>no</keepBorder></theme>\n"
                         "<applications><application class=\"*\"><decor>no</decor></application></applications>\n"
                         "</openbox_config>\n";
    CommandResult r = RunCommand("openbox --sm-disable --config-file " + ShellQuote(rc) + " >" +
                                 ShellQuote(dir.file("openbox.log")) + " 2>&1 & echo $!");
    pid_ = std::atoi(r.output.c_str());
    // Running once it announces itself on the root window.
    r = RunCommand("for i in $(seq 100); do w=$(xprop -root _NET_SUPPORTING_WM_CHECK | grep -o '0x[0-9a-f]*'); "
                   "[ -n \"$w\" ] && xwininfo -id $w >/dev/null 2>&1 && { echo $w; exit 0; }; sleep 0.1; done; exit 1");
    if (r.exitCode == 0) check_ = r.output.substr(0, r.output.find('\n'));
  }
  ~WindowManager() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    // Its check window goes with its connection.
    if (!check_.empty())
      RunCommand("for i in $(seq 50); do xwininfo -id " + check_ + " >/dev/null 2>&1 || exit 0; sleep 0.1; done");
  }
  bool Running() const { return pid_ > 0 && !check_.empty(); }

 private:
  int pid_ = 0;
  std::string check_;
};

// Under a window manager the opening states give the geometry they ask for:
// maximized fills the work area (above the panel), minimized is iconic,
// state 3 without a size fills the work area and with one is centred in it;
// the state stored on closing (2 maximized, 1 minimized) opens again with
// state 4.
TEST_F(PreviewWindowTest, UnderAWindowManagerTheStatesGiveTheirGeometryAndComeBackFromTheRegistry) {
  NX_REQUIRE_DISPLAY();
  NX_REQUIRE_TOOL("openbox");
  NX_REQUIRE_TOOL("xprop");
  NX_REQUIRE_TOOL("xwininfo");
  NX_REQUIRE_TOOL("wmctrl");
  WindowManager wm(dir_);
  ASSERT_TRUE(wm.Running()) << RunCommand("cat " + ShellQuote(dir_.file("openbox.log"))).output;
  CommandResult screen = RunCommand("xdotool getdisplaygeometry");
  int sw = 0, sh = 0;
  ASSERT_EQ(std::sscanf(screen.output.c_str(), "%d %d", &sw, &sh), 2) << screen.output;
  const int workH = sh - WindowManager::kPanel;
  const std::string workArea = "Position: 0,0 (screen: 0)\n  Geometry: " + std::to_string(sw) + "x" + std::to_string(workH);
  const char *geometry = "xdotool getwindowgeometry $id; xprop -id $id WM_STATE _NET_WM_STATE; ";

  // 1: maximized, the work area; kept on top by the manager.
  std::string out = Show(
      1,
      [] {
        NxSetPWState(1);
        NxSetPWTopMost(1);
      },
      std::string(geometry) + "xdotool key Escape");
  EXPECT_NE(out.find(workArea), std::string::npos) << out;
  EXPECT_NE(out.find("window state: Normal"), std::string::npos) << out;
  EXPECT_NE(out.find("_NET_WM_STATE_MAXIMIZED_HORZ"), std::string::npos) << out;
  EXPECT_NE(out.find("_NET_WM_STATE_ABOVE"), std::string::npos) << out;
  EXPECT_EQ(Stored(u"WindowState"), 2);
  // 4 restores it maximized.
  out = Show(1, [] { NxSetPWState(4); }, std::string(geometry) + "xdotool key Escape");
  EXPECT_NE(out.find(workArea), std::string::npos) << out;
  EXPECT_EQ(Stored(u"WindowState"), 2);

  // 0: minimized, iconic; closed while iconic (by the manager, as from the
  // task bar) it stores 1, and 4 opens it minimized again.
  const std::string closeIconic = std::string(geometry) + "wmctrl -i -c $id";
  out = Show(1, [] { NxSetPWState(0); }, closeIconic, nullptr, {}, kFindAnyWindow);
  EXPECT_NE(out.find("window state: Iconic"), std::string::npos) << out;
  EXPECT_NE(out.find("_NET_WM_STATE_HIDDEN"), std::string::npos) << out;
  EXPECT_EQ(Stored(u"WindowState"), 1) << out;
  out = Show(1, [] { NxSetPWState(4); }, closeIconic, nullptr, {}, kFindAnyWindow);
  EXPECT_NE(out.find("window state: Iconic"), std::string::npos) << out;

  // 3 without a size: the work area; with one: centred in it.
  out = Show(
      1,
      [] {
        NxSetPWState(3);
        NxSetPWBounds(0, 0, -1, -1);
      },
      std::string(geometry) + "xdotool key Escape");
  EXPECT_NE(out.find(workArea), std::string::npos) << out;
  EXPECT_NE(out.find("window state: Normal"), std::string::npos) << out;
  EXPECT_EQ(Stored(u"WindowState"), 0);
  out = Show(
      1,
      [] {
        NxSetPWState(3);
        NxSetPWSize(600, 800);
      },
      std::string(geometry) + "xdotool key Escape");
  EXPECT_NE(out.find("Position: " + std::to_string((sw - 600) / 2) + "," + std::to_string((workH - 800) / 2)),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Geometry: 600x800"), std::string::npos) << out;
}

// Screenshots of the page at 50 % in a window where the whole paper fits:
// the page image lies at the scroll area (10, 59) + the centred paper + 8.
TEST_F(PreviewWindowTest, PagesShowTheirMetafileAtTheZoomAndKeysAndTheWheelPageAndScroll) {
  NX_REQUIRE_DISPLAY();
  NX_REQUIRE_TOOL("import");
  NX_REQUIRE_TOOL("compare");
  // The pages as EMF files, rendered independently at the same size.
  SaveAsEmf([] { RecordPages(5); });
  const auto [pw, ph, dpi] = ShownPageGeometry();
  ASSERT_GT(dpi, 0);
  const int iw = static_cast<int>(pw / (dpi / 96.0) * 50) / 100, ih = static_cast<int>(ph / (dpi / 96.0) * 50) / 100;
  const int areaW = 1000 - 16, areaH = 900 - 64;
  ASSERT_LE(ih + 16, areaH);
  const int x = 10 + (areaW - iw - 16) / 2 + 8, y = 59 + (areaH - ih - 16) / 2 + 8;
  const std::string crop = std::to_string(iw - 2) + "x" + std::to_string(ih - 2) + "+" + std::to_string(x + 1) +
                           "+" + std::to_string(y + 1);
  for (int page : {1, 2}) {
    CommandResult r = RenderPage(page, 0.5 * 96.0 / dpi,
                                 "-crop " + std::to_string(iw - 2) + "x" + std::to_string(ih - 2) + "+1+1 +repage",
                                 "want" + std::to_string(page) + ".png");
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

// At 400 % the page is drawn from its metafile at that size, so small text
// stays sharp: scrolled down by three wheel steps (360 pixels), the window
// shows what emfrender draws of the page at 400 %, and not the 100 % image
// enlarged four times.
TEST_F(PreviewWindowTest, AtFourHundredPerCentTheScrolledPageIsItsMetafileDrawnAtThatSize) {
  NX_REQUIRE_DISPLAY();
  NX_REQUIRE_TOOL("import");
  NX_REQUIRE_TOOL("compare");
  auto fineText = [] {
    NxSetUnit(1);
    NxSetFontName("Arial");
    NxSetFontSize(70000);
    for (int i = 0; i < 12; ++i)
      NxTextOut(150000, 150000 + i * 35000,
                ("Line " + std::to_string(i + 1) + ": fine print, 0123456789 (a/b) [x] {y} @ 12.50 EUR").c_str());
    NxFrame(100000, 100000, 1000000, 600000, 0);
  };
  SaveAsEmf(fineText);
  const auto [pw, ph, dpi] = ShownPageGeometry();
  ASSERT_GT(dpi, 0);
  const int iw = static_cast<int>(pw / (dpi / 96.0) * 400) / 100;
  // Image pixels (0..900, 360..1060) lie in the window at (10, 59) + the
  // paper's margin of 8 - the scroll position (the paper is wider and taller
  // than the area, so it starts at the area's corner).
  const int cw = 900, ch = 700, scrolled = 3 * WHEEL_DELTA;
  ASSERT_GT(iw, cw);
  const std::string region = std::to_string(cw) + "x" + std::to_string(ch);
  const std::string crop = "-crop " + region + "+0+" + std::to_string(scrolled) + " +repage";
  CommandResult r = RenderPage(1, 4 * 96.0 / dpi, crop, "want.png");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  // The blurred alternative: the 100 % image, enlarged.
  r = RenderPage(1, 96.0 / dpi, "-resize 400% " + crop, "enlarged.png");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string shot = "import -window $id -crop " + region + "+18+" + std::to_string(59 + 8) + " +repage " +
                           ShellQuote(dir_.file("shot.png")) + "; ";
  const std::string out = Show(
      1,
      [] {
        NxSetPWState(2);
        NxSetPWBounds(0, 0, 1000, 900);
        NxSetPWZoomLevel(400);
      },
      "xdotool mousemove --window $id 500 400; sleep 0.2; xdotool click --delay 150 --repeat 3 5; sleep 0.5; " + shot +
          "xdotool key Escape",
      nullptr, fineText);
  ASSERT_TRUE(fs::exists(dir_.file("shot.png"))) << out;
  if (const char *keep = std::getenv("NX_KEEP_SHOTS")) fs::copy(dir_.path(), keep, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  EXPECT_EQ(Stored(u"Zoom"), 400);
  const long area = static_cast<long>(cw) * ch;
  const long sharp = Differing(dir_.file("shot.png"), dir_.file("want.png"));
  const long blurred = Differing(dir_.file("shot.png"), dir_.file("enlarged.png"));
  EXPECT_LT(sharp, area / 200) << out;
  EXPECT_GT(blurred, 4 * sharp + 500) << out;
  // The view is the one asked for: the same part one wheel step higher differs.
  r = RenderPage(1, 4 * 96.0 / dpi, "-crop " + region + "+0+" + std::to_string(scrolled - WHEEL_DELTA) + " +repage",
                 "higher.png");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_GT(Differing(dir_.file("shot.png"), dir_.file("higher.png")), 4 * sharp + 500) << out;
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
