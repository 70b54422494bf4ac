#include "platform/kernel/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace nx {
namespace {

DWORD OpenError(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_READ_FAULT;
  }
}

struct TFd {
  int fd;
  ~TFd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

DWORD ReadConfigFile(const std::string &path, std::string *text) {
  text->clear();
  // O_NONBLOCK: opening a FIFO without a writer would wait for one.
  TFd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
  if (f.fd < 0) return OpenError(errno);
  struct stat st;
  if (::fstat(f.fd, &st) != 0) return ERROR_READ_FAULT;
  if (!S_ISREG(st.st_mode)) return ERROR_BAD_FILE_TYPE;
  if (st.st_size > static_cast<off_t>(kMaxConfigFileBytes)) return ERROR_FILE_TOO_LARGE;
  std::string bytes;
  char buf[8192];
  while (true) {
    const ssize_t n = ::read(f.fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ERROR_READ_FAULT;
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
    // The file may have grown since it was measured.
    if (bytes.size() > kMaxConfigFileBytes) return ERROR_FILE_TOO_LARGE;
  }
  *text = std::move(bytes);
  return ERROR_SUCCESS;
}

}  // namespace nx
