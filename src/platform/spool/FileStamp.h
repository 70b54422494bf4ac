// What tells one state of a file from another without reading it: its
// identity, size and change times (or that it is not there).
#pragma once

#include <sys/stat.h>

#include <string>

namespace nx::spool {

struct FileStamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{}, ctime{};
  bool operator==(const FileStamp &o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
           ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

inline FileStamp StampOf(const std::string &path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
  return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

}  // namespace nx::spool
