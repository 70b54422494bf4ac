// Device type 2: the preview window.
#include "common/ErrorChannel.h"
#include "session/Outputs.h"

namespace nx {

void ShowPreview() { SetLastNxError(nxeNotBuilt, "The preview window is not built yet; the document was not shown"); }

}  // namespace nx
