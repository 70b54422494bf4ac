// Device type 6: an RTF file.
#include "common/ErrorChannel.h"
#include "session/Outputs.h"

namespace nx {

void ExportRtf() { SetLastNxError(nxeNotBuilt, "RTF output is not built yet; no file was written"); }

}  // namespace nx
