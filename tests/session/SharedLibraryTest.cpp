// The shared library as a host loads it: only the Nx exports are visible,
// loading creates the session, and unloading or exiting with a document still
// open is clean.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "spool/SpoolEnv.h"

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

}  // namespace
