// The settings objects an engine owns besides its page settings: document
// information, preferences, image settings, frame, page border, text effects
// and line-art settings. Plain values; copying one copies every value (the
// engine states and the items rely on it).
#pragma once

#include <cstdint>

#include "common/WString.h"
#include "export/gtEngineTypes.h"
#include "export/gtGraphics.h"

namespace nx {

class TgtCustomDocumentEngine;

struct TgtDocInfo {
  WString FCreator;
  WString FTitle;
  WString FKeywords;
  WString FAuthor;
  WString FSubject;
};

// Preferences; each engine class chooses the class it creates
// (TgtCustomDocumentEngine::PreferencesClass).
struct TgtPreferences {
  virtual ~TgtPreferences() = default;
  bool FProcessAfterEachPage = false;
  bool FOutputToUserStream = false;
  bool FOpenAfterCreate = true;
  bool FEmailAfterCreate = false;
  bool FShowSetupDialog = true;
  bool FCalculateVariables = true;
  bool FUseImagesAsResources = true;
};

struct TgtPlainSheetPreferences : TgtPreferences {
  bool FActiveHyperLinks = true;
};

struct TgtRTFPreferences : TgtPlainSheetPreferences {
  bool FGraphicDataInBinary = false;
  bool FMetafileAsImage = false;
  bool FApplyEmfCharSpacing = false;
};

enum TgtOutputImageFormat : uint8_t { ifBMP, ifJPEG, ifGIF, ifPNG, ifMetafile, ifCCITT3, ifCCITT4 };

class TgtImageSettings {
 public:
  explicit TgtImageSettings(TgtCustomDocumentEngine *Parent = nullptr);
  // Copies take the values, not the owner.
  TgtImageSettings(const TgtImageSettings &Other);
  TgtImageSettings &operator=(const TgtImageSettings &Other);

  TgtOutputImageFormat OutputImageFormat() const { return FOutputImageFormat; }
  // Asks the owning engine whether it writes the format and refuses it with
  // the engine's message (ENxError nxeArgument) if not.
  void SetOutputImageFormat(TgtOutputImageFormat Value);

  bool FCenter = false;
  bool FAutosize = false;
  bool FStretch = false;
  bool FTransparent = false;
  bool FKeepAspectRatio = false;
  int32_t FInclination = 0;
  bool FIsFrame = false;
  TgtOutputImageFormat FOutputImageFormat = ifJPEG;
  TgtPixelFormat FImagePixelFormat = pf24bit;
  int32_t FJPEGQuality = 100;  // 1 to 100
  int32_t FSourceDPI;          // the screen resolution at creation
  int32_t FOpacity = 100;      // 0 to 100

 private:
  TgtCustomDocumentEngine *FParent = nullptr;
};

struct TgtFrame {
  bool FIsLeft = true;
  bool FIsRight = true;
  bool FIsTop = true;
  bool FIsBottom = true;
  TgtRect FInternalMargin;
};

struct TgtBorder {
  bool FDrawBottom = false;
  bool FDrawLeft = false;
  bool FDrawTop = false;
  bool FDrawRight = false;
  int32_t FWidth = 1;
  COLORREF FColor = 0;
  TgtPenStyle FStyle = psSolid;
};

enum TgtTextRenderMode : uint8_t { trmFill, trmStroke, trmFillStroke, trmInvisible };
enum TgtTextRise : uint8_t { trNormal, trSuperscript, trSubscript };

struct TgtTextEffects {
  TgtTextRenderMode FTextRenderMode = trmFill;
  TgtTextRise FTextRise = trNormal;
  int32_t FOpacity = 100;  // 0 to 100
};

struct TgtLineArtSettings {
  int32_t FOpacity = 100;  // 0 to 100
};

}  // namespace nx
