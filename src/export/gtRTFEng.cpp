#include "export/gtRTFEng.h"

namespace nx {

TgtRTFEngine::TgtRTFEngine() {
  RecreatePreferences();
  SetFileType(u"rtf", u"Rich Text Format");
  SetCapabilities(ckText | ckImage | ckShape | ckHeader | ckFooter | ckWatermark);
}

std::unique_ptr<TgtPreferences> TgtRTFEngine::PreferencesClass() const {
  return std::make_unique<TgtRTFPreferences>();
}

}  // namespace nx
