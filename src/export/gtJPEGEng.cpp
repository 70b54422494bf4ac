#include "export/gtJPEGEng.h"

namespace nx {

TgtJPEGEngine::TgtJPEGEngine() { SetFileType(u"jpg", u"JPEG File Interchange Format"); }

}  // namespace nx
