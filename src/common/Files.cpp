#include "common/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "common/ErrorChannel.h"
#include "common/Strings.h"

namespace nx {
namespace {

bool IsSeparator(WCHAR c) { return c == u'\\' || c == u'/'; }

// A name for a temporary file in the target's folder that no other file is
// likely to have; creation is exclusive, so a clash only costs another try.
std::string TemporaryName(const std::string &folder) {
  static std::mt19937_64 random{std::random_device{}()};
  static const char digits[] = "0123456789abcdef";
  std::string name = folder + ".~nx";
  uint64_t bits = random();
  for (int i = 0; i < 12; ++i, bits >>= 4) name += digits[bits & 15];
  return name + ".tmp";
}

}  // namespace

WString FolderOf(const WString &name) {
  for (size_t i = name.size(); i > 0; --i)
    if (IsSeparator(name[i - 1])) return name.substr(0, i);
  return {};
}

std::string NativePath(const WString &name) {
  std::string path = WideToAnsi(name, CP_UTF8);
#ifndef _WIN32
  for (char &c : path)
    if (c == '\\') c = '/';
#endif
  return path;
}

bool ReadInputFile(const WString &name, size_t maxBytes, const std::string &what, std::string *bytes) {
  namespace fs = std::filesystem;
  bytes->clear();
  auto refuse = [&](const std::string &why) {
    bytes->clear();
    throw ENxError(nxeFile, "Cannot read " + what + " " + WideToAnsi(name) + ": " + why);
  };
  const fs::path path(NativePath(name));
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return false;
  if (ec) refuse(ec.message());
  // Opening a FIFO would wait for a writer, and a device may never end.
  if (!fs::is_regular_file(status)) refuse("it is not a regular file");
  const std::string limit = "it is larger than " + std::to_string(maxBytes) + " bytes";
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) refuse(ec.message());
  if (size > maxBytes) refuse(limit);
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (!file) refuse(std::strerror(errno));
  char buf[8192];
  size_t got;
  // At most one byte beyond the limit is read: the file may have grown.
  while (bytes->size() <= maxBytes &&
         (got = std::fread(buf, 1, std::min(sizeof buf, maxBytes + 1 - bytes->size()), file)) > 0)
    bytes->append(buf, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) refuse("the file cannot be read");
  if (bytes->size() > maxBytes) refuse(limit);
  return true;
}

TOutputFile::TOutputFile(const WString &target) : target_(target) {
  const std::string folder = NativePath(FolderOf(target));
  int err = EEXIST;
  for (int attempt = 0; attempt < 64 && err == EEXIST; ++attempt) {
    const std::string path = TemporaryName(folder);
    errno = 0;
    file_ = std::fopen(path.c_str(), "wbx");  // O_CREAT | O_EXCL: never through a link
    if (file_) {
      tempPath_ = path;
      std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
      return;
    }
    err = errno ? errno : EIO;
  }
  Fail("create", err);
}

TOutputFile::~TOutputFile() { Discard(); }

void TOutputFile::Write(const void *data, size_t size) {
  if (!file_) Fail("write", EBADF);
  errno = 0;
  if (size != 0 && std::fwrite(data, 1, size, file_) != size) Fail("write", errno ? errno : EIO);
  size_ += size;
}

void TOutputFile::Commit() {
  if (!file_) Fail("write", EBADF);
  std::FILE *f = file_;
  file_ = nullptr;
  int err = 0;
  errno = 0;
  if (std::fflush(f) != 0 || std::ferror(f)) err = errno ? errno : EIO;
  errno = 0;
  if (std::fclose(f) != 0 && err == 0) err = errno ? errno : EIO;
  if (err != 0) Fail("write", err);
  std::error_code ec;
  std::filesystem::rename(tempPath_, NativePath(target_), ec);
  if (ec) Fail("create", ec.value());
  committed_ = true;
}

void TOutputFile::Fail(const char *what, int err) {
  Discard();
  throw ENxError(nxeFile, std::string("Cannot ") + what + " file " + WideToAnsi(target_) + ": " + std::strerror(err));
}

void TOutputFile::Discard() noexcept {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!committed_ && !tempPath_.empty()) std::remove(tempPath_.c_str());
  tempPath_.clear();
}

void WriteWholeFile(const WString &name, const std::vector<BYTE> &bytes) {
  TOutputFile file(name);
  file.Write(bytes.data(), bytes.size());
  file.Commit();
}

}  // namespace nx
