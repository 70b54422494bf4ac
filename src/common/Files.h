// File names from hosts written for Windows: '\' and '/' both separate
// folders. The session keeps names as the host gave them; these helpers
// translate at the point where a file is created.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/WString.h"

namespace nx {

// The folder part of a name including its final separator ('\' or '/'),
// empty when the name has none.
WString FolderOf(const WString &name);

// The name with the system's separator, as the file system takes it.
std::string NativePath(const WString &name);

// An output file that is written beside its target and put in its place only
// when complete. Until Commit the target keeps whatever it held; a write that
// fails, or a file abandoned without Commit (an exception on the way), leaves
// no trace but the error. Commit replaces the target's directory entry, so a
// symbolic link at the target's name is replaced, never followed, and the
// temporary name is created exclusively, so no link planted there is followed
// either. Failures throw ENxError (nxeFile) naming the target and the reason.
class TOutputFile {
 public:
  explicit TOutputFile(const WString &target);
  ~TOutputFile();
  TOutputFile(const TOutputFile &) = delete;
  TOutputFile &operator=(const TOutputFile &) = delete;

  void Write(const void *data, size_t size);
  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
  // Bytes written so far.
  uint64_t Size() const { return size_; }
  const WString &Target() const { return target_; }
  // Closes the file and renames it over the target.
  void Commit();

 private:
  [[noreturn]] void Fail(const char *what, int err);
  void Discard() noexcept;

  WString target_;
  std::string tempPath_;
  std::FILE *file_ = nullptr;
  uint64_t size_ = 0;
  bool committed_ = false;
};

// Reads a whole input file (a barcode definition file) only when it is a
// regular file of at most maxBytes, so that a FIFO, a device or a huge file
// at its name neither blocks nor exhausts memory (no more than maxBytes + 1
// bytes are read, should it grow). False when no file has
// the name; a refused or unreadable one throws ENxError (nxeFile) whose
// message names it as `what` and says why.
bool ReadInputFile(const WString &name, size_t maxBytes, const std::string &what, std::string *bytes);

// Creates or replaces the file with the bytes, through a TOutputFile.
void WriteWholeFile(const WString &name, const std::vector<BYTE> &bytes);

}  // namespace nx
