// A small file system for full-disk tests: a tmpfs of a given size mounted
// on a fresh folder, unmounted with the object. Mounting needs root; tests
// skip themselves when it is not available.
#pragma once

#include <string>

#include "support/TestSupport.h"

namespace nxtest {

class SmallDisk {
 public:
  explicit SmallDisk(size_t bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk &) = delete;
  SmallDisk &operator=(const SmallDisk &) = delete;
  bool ok() const { return mounted_; }
  // Why it is not mounted.
  const std::string &why() const { return why_; }
  std::string path() const { return dir_.path().string(); }
  std::string file(const std::string &name) const { return dir_.file(name); }

 private:
  TempDir dir_;
  bool mounted_ = false;
  std::string why_;
};

}  // namespace nxtest

// Skips the current test unless the small disk is mounted.
#define NX_REQUIRE_SMALL_DISK(disk) \
  if (!(disk).ok()) GTEST_SKIP() << "no small file system for a full-disk test: " << (disk).why()
