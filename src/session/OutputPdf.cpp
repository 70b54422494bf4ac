// Device type 3: a PDF file.
#include "common/ErrorChannel.h"
#include "session/Outputs.h"

namespace nx {

void ExportPdf() { SetLastNxError(nxeNotBuilt, "PDF output is not built yet; no file was written"); }

}  // namespace nx
