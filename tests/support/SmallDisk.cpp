#include "support/SmallDisk.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nxtest {

SmallDisk::SmallDisk(size_t bytes) {
  if (::geteuid() != 0) {
    why_ = "mounting a tmpfs needs root";
    return;
  }
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
  if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    why_ = std::string("mount: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
}

}  // namespace nxtest
