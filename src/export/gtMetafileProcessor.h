// The enhanced-metafile interpreter of the export engines: walks a page
// metafile record by record and appends drawing items to the current page
// (or band) of its engine. It draws nothing itself.
#pragma once

#include <memory>

#include "platform/win32.h"

namespace nx {

class TgtCustomDocumentEngine;

class TgtMetafileProcessor {
 public:
  // Bound to an engine, whose item lists, capabilities, ItemsToRender, input
  // resolution, image resources and page canvas it uses.
  explicit TgtMetafileProcessor(TgtCustomDocumentEngine &Engine);
  ~TgtMetafileProcessor();
  TgtMetafileProcessor(const TgtMetafileProcessor &) = delete;
  TgtMetafileProcessor &operator=(const TgtMetafileProcessor &) = delete;

  // Text drawn at the current position continues the previous text run.
  void SetCombineCharsToSentence(bool Value) { FCombineCharsToSentence = Value; }
  // Interprets one metafile; every item position is offset by (StartX,
  // StartY) engine pixels. A damaged file gives the items up to the damage
  // and a message on the error channel.
  void Execute(HENHMETAFILE Metafile, double StartX, double StartY);

 private:
  TgtCustomDocumentEngine &FEngine;
  bool FCombineCharsToSentence = false;
};

}  // namespace nx
