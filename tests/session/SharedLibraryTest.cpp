// The shared library as a host loads it: only the Nx exports are visible,
// loading creates the session, and unloading or exiting with a document still
// open is clean.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/SpoolEnv.h"

namespace {

std::string LibraryPath() { return (nxtest::BinaryDir() / "libnoxtrel.so").string(); }

using IntFn = int32_t (*)();
using VoidFn = void (*)();
using IntArgFn = void (*)(int32_t);
using StrFn = void (*)(const char *);

// Runs body in a child process; its exit status (or -1 after a signal).
template <typename F>
int InChild(F &&body) {
  pid_t pid = fork();
  if (pid == 0) std::_Exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SharedLibraryTest : public nxtest::SpoolTest {};

TEST_F(SharedLibraryTest, OnlyTheExportsAreVisible) {
  void *lib = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  EXPECT_NE(dlsym(lib, "NxInit"), nullptr);
  EXPECT_NE(dlsym(lib, "NxGetLastErrorText"), nullptr);
  EXPECT_EQ(dlsym(lib, "nx_library_attach"), nullptr);
  auto getUnit = reinterpret_cast<IntFn>(dlsym(lib, "NxGetUnit"));
  auto getCopies = reinterpret_cast<IntFn>(dlsym(lib, "NxGetCopies"));
  ASSERT_NE(getUnit, nullptr);
  EXPECT_EQ(getUnit(), 0);  // the load values
  EXPECT_EQ(getCopies(), 1);
  EXPECT_EQ(dlclose(lib), 0);
}

TEST_F(SharedLibraryTest, UnloadingOrExitingDuringADocumentIsClean) {
  nxtest::TempDir out;
  auto openDocument = [&](void *lib) {
    reinterpret_cast<IntFn>(dlsym(lib, "NxInit"))();
    reinterpret_cast<IntArgFn>(dlsym(lib, "NxSetDevice"))(5);
    reinterpret_cast<StrFn>(dlsym(lib, "NxSetFileName"))((out.path().string() + "/doc.pdf").c_str());
    reinterpret_cast<VoidFn>(dlsym(lib, "NxBeginDoc"))();
    reinterpret_cast<VoidFn>(dlsym(lib, "NxNewPage"))();
  };
  int unloaded = InChild([&] {
    void *lib = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return 2;
    openDocument(lib);
    if (dlclose(lib) != 0) return 3;
    lib = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);  // loads afresh
    return lib && reinterpret_cast<IntFn>(dlsym(lib, "NxGetUnit"))() == 0 ? 0 : 4;
  });
  EXPECT_EQ(unloaded, 0);
  int exited = InChild([&] {
    void *lib = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return 2;
    openDocument(lib);
    std::exit(0);  // with the document still open
    return 0;
  });
  EXPECT_EQ(exited, 0);
}

// The picture frame in a page file's header, 0.01 mm.
RECTL FrameOf(const std::string &emf) {
  std::u16string name(emf.begin(), emf.end());
  HENHMETAFILE h = GetEnhMetaFileW(reinterpret_cast<LPCWSTR>(name.c_str()));
  ENHMETAHEADER header{};
  if (!h || GetEnhMetaFileHeader(h, sizeof header, &header) == 0) header.rclFrame = {-1, -1, -1, -1};
  if (h) DeleteEnhMetaFile(h);
  return header.rclFrame;
}

// Three pages on the built-in virtual printer (A4 at 600 dpi, printable area
// 4760 x 6815 pixels), saved as EMF files into the folder of the file name.
TEST_F(SharedLibraryTest, AHostWritesThreeEmfPages) {
  NX_REQUIRE_TOOL("emf2svg-conv");
  nxtest::TempDir out;
  std::filesystem::create_directory(out.path() / "out");
  // In a child, which exits without the leak check: the platform layer's
  // process-wide tables are not freed when the library is unloaded.
  int host = InChild([&] {
    void *lib = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return 2;
    auto fn = [&](const char *name) { return dlsym(lib, name); };
    if (reinterpret_cast<IntFn>(fn("NxInit"))() != 0) return 3;
    reinterpret_cast<IntArgFn>(fn("NxSetDevice"))(5);
    // A host written for Windows separates folders with a backslash.
    reinterpret_cast<StrFn>(fn("NxSetFileName"))((out.path().string() + "\\out\\report.pdf").c_str());
    reinterpret_cast<VoidFn>(fn("NxBeginDoc"))();
    reinterpret_cast<VoidFn>(fn("NxNewPage"))();
    reinterpret_cast<VoidFn>(fn("NxNewPage"))();
    reinterpret_cast<VoidFn>(fn("NxEndDoc"))();
    if (reinterpret_cast<IntFn>(fn("NxGetLastError"))() != 0) return 4;
    if (reinterpret_cast<IntFn>(fn("NxGetPageSize"))() != 9) return 5;  // reset after the document
    return dlclose(lib) == 0 ? 0 : 6;
  });
  ASSERT_EQ(host, 0);

  // Each page file states the printable area at its physical size: 4760 x
  // 6815 pixels of the 600-dpi virtual printer, in 0.01 mm.
  const LONG width = MulDiv(4760, 2540, 600);
  const LONG height = MulDiv(6815, 2540, 600);
  for (int page = 1; page <= 3; ++page) {
    std::string emf = out.file("out/Page" + std::to_string(page) + ".emf");
    nxtest::CommandResult r = nxtest::RunCommand("emf2svg-conv -i " + nxtest::ShellQuote(emf) + " -o " +
                                                 nxtest::ShellQuote(emf + ".svg"));
    EXPECT_EQ(r.exitCode, 0) << emf << ": " << r.output;
    RECTL frame = FrameOf(emf);
    EXPECT_EQ(frame.right, width) << emf;
    EXPECT_EQ(frame.bottom, height) << emf;
  }
  EXPECT_FALSE(std::filesystem::exists(out.file("out/Page4.emf")));
  EXPECT_FALSE(std::filesystem::exists(out.file("out/report.pdf")));
}

}  // namespace
