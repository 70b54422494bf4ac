// The JPEG writer: one JPEG image per page.
#pragma once

#include "export/gtCstGfxEng.h"

namespace nx {

class TgtJPEGEngine : public TgtCustomGraphicsEngine {
 public:
  // Extension "jpg", description "JPEG File Interchange Format".
  TgtJPEGEngine();
};

}  // namespace nx
