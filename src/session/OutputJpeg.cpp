// Device type 7: one JPEG image per page.
#include "export/gtJPEGEng.h"
#include "session/Library.h"
#include "session/Outputs.h"
#include "session/Session.h"

namespace nx {

void ExportJpeg() {
  const TNoxtrelRec &s = Session();
  TgtJPEGEngine &engine = JpegEngine();
  engine.SetFileName(s.FileName);
  SetEnginePaper(engine, s.PaperSize);
  PlayPagesInto(engine);
}

}  // namespace nx
