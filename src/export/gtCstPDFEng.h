// The PDF writer: renders the items of every page into a PDF file. The
// writer's own operations override the framework's hooks.
#pragma once

#include "export/gtCstPlnEng.h"

namespace nx {

class TgtCustomPDFEngine : public TgtCustomPlainSheetEngine {
 public:
  // Extension "pdf", description "Adobe PDF Files"; capabilities text,
  // image, shape, image stretch, image frame, input resolution, reusable
  // images.
  TgtCustomPDFEngine();
};

}  // namespace nx
