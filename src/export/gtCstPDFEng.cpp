#include "export/gtCstPDFEng.h"

namespace nx {

TgtCustomPDFEngine::TgtCustomPDFEngine() {
  SetFileType(u"pdf", u"Adobe PDF Files");
  SetCapabilities(ckText | ckImage | ckShape | ckImageStretch | ckImageFrame | ckInputRes | ckImageReusable);
}

}  // namespace nx
