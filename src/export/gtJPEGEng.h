// The JPEG writer: one JPEG image per page, and the JPEG encoder the other
// writers use for pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "export/gtCstGfxEng.h"

namespace nx {

// Encodes the picture as a JFIF stream at the quality (clamped to 1..100),
// baseline or progressive; Gray writes one luminance channel. A picture with
// alpha is laid over white first. Density: Dpi pixels per inch.
std::vector<BYTE> gtEncodeJPEG(const TgtBitmap &Picture, int32_t Quality, bool Progressive = false,
                               bool Gray = false, int32_t Dpi = 96);

// The same for a picture without alpha held as Height rows of Width pixels
// 0x??RRGGBB (the top byte is ignored), row y at Pixels + y * Stride.
std::vector<BYTE> gtEncodeJPEGPixels(const uint32_t *Pixels, int32_t Width, int32_t Height, size_t Stride,
                                     int32_t Quality, bool Progressive = false, bool Gray = false,
                                     int32_t Dpi = 96);

class TgtJPEGEngine : public TgtCustomGraphicsEngine {
 public:
  // Extension "jpg", description "JPEG File Interchange Format".
  TgtJPEGEngine();

  bool ProgressiveEncoding() const { return FProgressiveEncoding; }
  void SetProgressiveEncoding(bool Value) { FProgressiveEncoding = Value; }
  int32_t Quality() const { return FQuality; }
  // 1 to 100; other values are refused (ENxError nxeArgument).
  void SetQuality(int32_t Value);

  // Called with the page's file name (without the extension) before it is
  // written; may change it.
  std::function<void(TgtJPEGEngine &, WString &FileName, int32_t PageNo)> FOnNeedFileName;

 protected:
  // Rasterises the page and writes FileName + page number + ".jpg".
  void EndPage() override;  // 74

 private:
  bool FProgressiveEncoding = false;
  int32_t FQuality = 100;
};

}  // namespace nx
