// Interim body of the interpreter: the end-of-file record of every played
// metafile becomes a TgtEOFItem. The full record table replaces it.
#include "export/gtMetafileProcessor.h"

#include <memory>

#include "export/gtCstDocEng.h"

namespace nx {

TgtMetafileProcessor::TgtMetafileProcessor(TgtCustomDocumentEngine &Engine) : FEngine(Engine) {}

TgtMetafileProcessor::~TgtMetafileProcessor() = default;

void TgtMetafileProcessor::Execute(HENHMETAFILE Metafile, double StartX, double StartY) {
  auto proc = [](HDC, HANDLETABLE *, const ENHMETARECORD *record, int, LPARAM param) -> int {
    auto *engine = reinterpret_cast<TgtCustomDocumentEngine *>(param);
    if (record->iType == EMR_EOF && engine->CurrentDocumentItemList())
      engine->CurrentDocumentItemList()->push_back(std::make_unique<TgtEOFItem>());
    return 1;
  };
  EnumEnhMetaFile(nullptr, Metafile, proc, &FEngine, nullptr);
}

}  // namespace nx
