// File names from hosts written for Windows: '\' and '/' both separate
// folders. The session keeps names as the host gave them; these helpers
// translate at the point where a file is created.
#pragma once

#include <string>
#include <vector>

#include "session/Session.h"

namespace nx {

// The folder part of a name including its final separator ('\' or '/'),
// empty when the name has none.
WString FolderOf(const WString &name);

// The name with the system's separator, as the file system takes it.
std::string NativePath(const WString &name);

// Creates or overwrites the file; a refusal of the file system is thrown as
// an ENxError (nxeFile) naming the file and the reason.
void WriteWholeFile(const WString &name, const std::vector<BYTE> &bytes);

}  // namespace nx
