// The RTF writer: renders the items of every page into an RTF file.
#pragma once

#include <memory>

#include "export/gtCstPlnEng.h"

namespace nx {

class TgtRTFEngine : public TgtCustomPlainSheetEngine {
 public:
  // Extension "rtf", description "Rich Text Format"; capabilities text,
  // image, shape, header, footer, watermark; RTF preferences.
  TgtRTFEngine();
  std::unique_ptr<TgtPreferences> PreferencesClass() const override;  // 108
  TgtRTFPreferences &Preferences() {
    return static_cast<TgtRTFPreferences &>(TgtCustomDocumentEngine::Preferences());
  }
};

}  // namespace nx
