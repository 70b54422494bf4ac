#include "export/gtEngineSettings.h"

#include <string>

#include "common/ErrorChannel.h"
#include "export/gtCstDocEng.h"

namespace nx {

TgtImageSettings::TgtImageSettings(TgtCustomDocumentEngine *Parent)
    : FSourceDPI(gtScreenResolution), FParent(Parent) {}

TgtImageSettings::TgtImageSettings(const TgtImageSettings &Other) : FSourceDPI(Other.FSourceDPI) { *this = Other; }

TgtImageSettings &TgtImageSettings::operator=(const TgtImageSettings &Other) {
  FCenter = Other.FCenter;
  FAutosize = Other.FAutosize;
  FStretch = Other.FStretch;
  FTransparent = Other.FTransparent;
  FKeepAspectRatio = Other.FKeepAspectRatio;
  FInclination = Other.FInclination;
  FIsFrame = Other.FIsFrame;
  FOutputImageFormat = Other.FOutputImageFormat;
  FImagePixelFormat = Other.FImagePixelFormat;
  FJPEGQuality = Other.FJPEGQuality;
  FSourceDPI = Other.FSourceDPI;
  FOpacity = Other.FOpacity;
  return *this;
}

void TgtImageSettings::SetOutputImageFormat(TgtOutputImageFormat Value) {
  std::string message;
  if (FParent && !FParent->IsImageFormatSupported(Value, message))
    throw ENxError(nxeArgument, message.empty() ? "Image format not supported" : message);
  FOutputImageFormat = Value;
}

}  // namespace nx
