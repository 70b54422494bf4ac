#include "export/gtCstPlnEng.h"

namespace nx {

TgtCustomPlainSheetEngine::TgtCustomPlainSheetEngine() { RecreatePreferences(); }

std::unique_ptr<TgtPreferences> TgtCustomPlainSheetEngine::PreferencesClass() const {
  return std::make_unique<TgtPlainSheetPreferences>();
}

}  // namespace nx
