// ShellExecuteW hands documents to xdg-open without waiting for it.
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "support/SpoolEnv.h"

namespace nxtest {
namespace {

class ShellTest : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    // A stand-in xdg-open that records what it was asked to open, and
    // lingers as a viewer would.
    std::filesystem::create_directories(dir_.file("bin"));
    std::string script = dir_.file("bin/xdg-open");
    std::ofstream(script) << "#!/bin/sh\nsleep 1\nprintf '%s' \"$1\" > " << dir_.file("opened")
                          << ".tmp && mv " << dir_.file("opened.tmp") << " " << dir_.file("opened")
                          << "\n";
    ::chmod(script.c_str(), 0755);
    const char *path = std::getenv("PATH");
    env_.Set("PATH", dir_.file("bin") + ":" + (path ? path : "/usr/bin:/bin"));
  }
  std::string Opened() {
    for (int i = 0; i < 100 && !std::filesystem::exists(dir_.file("opened")); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto b = ReadFileBytes(dir_.file("opened"));
    return std::string(b.begin(), b.end());
  }
};

INT_PTR Open(const std::u16string &file, const WCHAR *verb = u"Open") {
  return reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, verb, file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

TEST_F(ShellTest, OpenStartsTheHandlerDetached) {
  std::string pdf = dir_.file("report.pdf");
  std::ofstream(pdf) << "%PDF-1.4\n";
  auto start = std::chrono::steady_clock::now();
  // Written with Windows separators.
  std::u16string winPath = W(pdf);
  for (auto &c : winPath)
    if (c == u'/') c = u'\\';
  EXPECT_GT(Open(winPath), 32);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(Opened(), pdf);
}

TEST_F(ShellTest, FailuresAreReported) {
  EXPECT_EQ(Open(W(dir_.file("missing.pdf"))), SE_ERR_FNF);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(u""), SE_ERR_FNF);
  std::string pdf = dir_.file("x.pdf");
  std::ofstream(pdf) << "x";
  EXPECT_EQ(Open(W(pdf), u"print"), SE_ERR_NOASSOC);
  // No handler installed at all.
  env_.Set("PATH", dir_.file("empty-bin"));
  EXPECT_EQ(Open(W(pdf)), SE_ERR_NOASSOC);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("opened")));
}

// xdg-open reads "--help" or "-x://a" as its own options; they are files.
TEST_F(ShellTest, NamesLikeOptionsAreOpenedAsFiles) {
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  std::ofstream("--help") << "x";
  INT_PTR relative = Open(u"--help");
  std::string opened = Opened();
  EXPECT_EQ(Open(u"-x://host/a.pdf"), SE_ERR_FNF);  // not an address: no such file
  std::filesystem::current_path(before);
  EXPECT_GT(relative, 32);
  EXPECT_EQ(opened, "./--help");
}

}  // namespace
}  // namespace nxtest
