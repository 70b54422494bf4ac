// Raster engines: one image per page.
#pragma once

#include "export/gtCstDocEng.h"

namespace nx {

class TgtCustomGraphicsEngine : public TgtCustomDocumentEngine {};

}  // namespace nx
