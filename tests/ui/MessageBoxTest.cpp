// MessageBoxW: the message sink and stderr without a display, a GTK dialog
// with one. Each box runs in a child process, so that the display the
// library sees can differ and a stuck dialog cannot hang the test.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <sstream>
#include <thread>

#include "support/SpoolEnv.h"

namespace nxtest {
namespace {

struct Received {
  std::u16string text, caption;
  UINT type = 0;
  int calls = 0;
};

void Sink(LPCWSTR text, LPCWSTR caption, UINT type, void *ctx) {
  auto *r = static_cast<Received *>(ctx);
  r->text = text;
  r->caption = caption;
  r->type = type;
  r->calls++;
}

// Runs body in a child process; what it prints to stdout comes back, and
// the child is killed after the timeout.
std::string InChild(const std::function<void()> &body, const std::function<void(pid_t)> &drive = {}) {
  int out[2];
  if (::pipe(out) != 0) return "pipe failed";
  fflush(stdout);
  fflush(stderr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    body();
    fflush(stdout);
    _exit(0);
  }
  ::close(out[1]);
  if (drive) drive(pid);
  int status = 0;
  for (int i = 0; i < 200 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (::kill(pid, 0) == 0 && ::waitpid(pid, &status, WNOHANG) == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  std::string got;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(out[0], buf, sizeof buf)) > 0) got.append(buf, n);
  ::close(out[0]);
  return got;
}

TEST(MessageBox, WithoutDisplayTheTextGoesToTheSinkAndStderr) {
  std::string report = InChild([] {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    Received r;
    SetMessageBoxSink(Sink, &r);
    int errPipe[2];
    if (::pipe(errPipe) != 0) return;
    ::dup2(errPipe[1], 2);
    int a = MessageBoxW(nullptr, u"Barcode error : 'x1' is not a valid integer value", u"Noxtrel",
                        MB_OK | MB_ICONERROR);
    std::string text(r.text.begin(), r.text.end()), caption(r.caption.begin(), r.caption.end());
    UINT type = r.type;
    int b = MessageBoxW(nullptr, u"?", nullptr, MB_YESNO | MB_DEFBUTTON2);
    int c = MessageBoxW(nullptr, u"?", nullptr, MB_YESNOCANCEL);
    SetMessageBoxSink(nullptr, nullptr);
    int d = MessageBoxW(nullptr, u"?", nullptr, MB_OKCANCEL);
    ::close(errPipe[1]);
    ::close(2);
    char err[4096] = {0};
    ssize_t n = ::read(errPipe[0], err, sizeof err - 1);
    (void)n;
    std::printf("%d %d %d %d %d %u|%s|%s|%s", a, b, c, d, r.calls, type, text.c_str(),
                caption.c_str(), err);
  });
  std::ostringstream want;
  want << IDOK << " " << IDNO << " " << IDYES << " " << IDOK << " 3 " << (MB_OK | MB_ICONERROR)
       << "|Barcode error : 'x1' is not a valid integer value|Noxtrel|"
       << "Noxtrel: Barcode error : 'x1' is not a valid integer value\nError: ?\n";
  EXPECT_EQ(report.substr(0, want.str().size()), want.str()) << report;
}

TEST(MessageBox, WithDisplayADialogShowsAndAnswers) {
  const char *display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "needs a display (tests/support/with-xvfb gives one)";
  NX_REQUIRE_TOOL("xdotool");
  bool clicked = false;
  std::string report = InChild(
      [] {
        Received r;
        SetMessageBoxSink(Sink, &r);
        int a = MessageBoxW(nullptr, u"Replace the file?", u"NxBoxTest", MB_YESNO | MB_ICONQUESTION);
        std::printf("%d %d", a, r.calls);
      },
      [&](pid_t) {
        // Find the dialog by its caption and click its second button (No).
        CommandResult found;
        for (int i = 0; i < 100; ++i) {
          found = RunCommand("xdotool search --name '^NxBoxTest$'");
          if (found.exitCode == 0) break;
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (found.exitCode != 0) return;
        std::string win = found.output.substr(0, found.output.find('\n'));
        CommandResult geo = RunCommand("xdotool getwindowgeometry --shell " + win);
        int w = 0, h = 0;
        std::sscanf(geo.output.c_str() + geo.output.find("WIDTH="), "WIDTH=%d", &w);
        std::sscanf(geo.output.c_str() + geo.output.find("HEIGHT="), "HEIGHT=%d", &h);
        clicked = RunCommand("xdotool mousemove --window " + win + " " + std::to_string(w * 3 / 4) +
                             " " + std::to_string(h - 12) + " click 1")
                      .exitCode == 0;
      });
  EXPECT_TRUE(clicked) << "no dialog window appeared";
  std::ostringstream want;
  want << IDNO << " 0";  // answered by the dialog, nothing sent to the sink
  EXPECT_EQ(report, want.str());
}

}  // namespace
}  // namespace nxtest
