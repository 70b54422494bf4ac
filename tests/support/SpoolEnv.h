// An isolated environment for spooler tests: configuration, data, spool and
// registry folders in a temporary folder, and no CUPS server unless a test
// starts its own.
#pragma once

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "platform/win32.h"
#include "support/TestSupport.h"

namespace nxtest {

class ScopedEnv {
 public:
  void Set(const std::string &name, const std::string &value) {
    Remember(name);
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  void Unset(const std::string &name) {
    Remember(name);
    ::unsetenv(name.c_str());
  }
  ~ScopedEnv() {
    for (auto &[name, old] : saved_) {
      if (old.first)
        ::setenv(name.c_str(), old.second.c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
    cupsSetServer(nullptr);
  }

 private:
  void Remember(const std::string &name) {
    if (saved_.count(name)) return;
    const char *v = std::getenv(name.c_str());
    saved_[name] = {v != nullptr, v ? v : ""};
  }
  std::map<std::string, std::pair<bool, std::string>> saved_;
};

class SpoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("XDG_CONFIG_HOME", dir_.file("config"));
    env_.Set("XDG_DATA_HOME", dir_.file("data"));
    env_.Unset("NOXTREL_PRINTERS");
    env_.Unset("NOXTREL_SPOOL");
    // A server that is not there: no CUPS printers.
    env_.Set("CUPS_SERVER", dir_.file("no-cupsd.sock"));
    cupsSetServer(nullptr);
  }
  std::string SpoolDir() const { return dir_.file("data") + "/noxtrel/spool"; }

  TempDir dir_;
  ScopedEnv env_;
};

inline std::u16string W(const std::string &s) { return std::u16string(s.begin(), s.end()); }
inline LPWSTR Wp(std::u16string &s) { return reinterpret_cast<LPWSTR>(s.data()); }

}  // namespace nxtest
