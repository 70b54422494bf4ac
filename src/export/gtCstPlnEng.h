// Document-style engines (PDF, RTF): the base of engines that write a
// document file, with plain-sheet preferences.
#pragma once

#include <memory>

#include "export/gtCstDocEng.h"

namespace nx {

class TgtCustomPlainSheetEngine : public TgtCustomDocumentEngine {
 public:
  TgtCustomPlainSheetEngine();
  std::unique_ptr<TgtPreferences> PreferencesClass() const override;  // 108
  TgtPlainSheetPreferences &Preferences() {
    return static_cast<TgtPlainSheetPreferences &>(TgtCustomDocumentEngine::Preferences());
  }
};

}  // namespace nx
