// Device type 6: an RTF file.
#include "export/gtRTFEng.h"
#include "session/Library.h"
#include "session/Outputs.h"
#include "session/Session.h"

namespace nx {

void ExportRtf() {
  const TNoxtrelRec &s = Session();
  TgtRTFEngine &engine = RtfEngine();
  engine.SetFileName(s.FileName);
  SetEnginePaper(engine, s.PaperSize);
  engine.DocInfo().FTitle = s.Title;
  PlayPagesInto(engine);
}

}  // namespace nx
