// Device type 7: JPEG images.
#include "common/ErrorChannel.h"
#include "session/Outputs.h"

namespace nx {

void ExportJpeg() { SetLastNxError(nxeNotBuilt, "JPEG output is not built yet; no file was written"); }

}  // namespace nx
