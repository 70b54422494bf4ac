// Configuration files of the platform layer (the virtual printers, the
// registry hive): read only when they are regular files of a sane size, so
// that a FIFO, a device or a huge file at their name neither blocks nor
// exhausts memory.
#pragma once

#include <string>

#include "platform/win32.h"

namespace nx {

// The largest configuration file read.
constexpr size_t kMaxConfigFileBytes = 1024 * 1024;

// Reads the whole file into *text. ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when
// there is none; ERROR_BAD_FILE_TYPE when the name is not a regular file;
// ERROR_FILE_TOO_LARGE beyond kMaxConfigFileBytes; ERROR_ACCESS_DENIED or
// ERROR_READ_FAULT when it cannot be read. *text is empty unless it succeeds.
DWORD ReadConfigFile(const std::string &path, std::string *text);

}  // namespace nx
