#include "session/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "session/ErrorChannel.h"
#include "session/Strings.h"

namespace nx {
namespace {

bool IsSeparator(WCHAR c) { return c == u'\\' || c == u'/'; }

[[noreturn]] void FileError(const WString &name, int err) {
  throw ENxError(nxeFile, "Cannot create file " + WideToAnsi(name) + ": " + std::strerror(err));
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

void WriteWholeFile(const WString &name, const std::vector<BYTE> &bytes) {
  std::FILE *f = std::fopen(NativePath(name).c_str(), "wb");
  if (!f) FileError(name, errno);
  size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
  int writeErr = written == bytes.size() ? 0 : (errno ? errno : EIO);
  if (std::fclose(f) != 0 && writeErr == 0) writeErr = errno ? errno : EIO;
  if (writeErr != 0) FileError(name, writeErr);
}

}  // namespace nx
