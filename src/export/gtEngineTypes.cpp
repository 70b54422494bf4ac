#include "export/gtEngineTypes.h"

namespace nx {

int32_t gtScreenResolution = 96;
double gtPixelsPerPoint = 96.0 / 72.0;

void gtReadScreenResolution() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  gtScreenResolution = dpi > 0 ? dpi : 96;
  gtPixelsPerPoint = gtScreenResolution / 72.0;
}

double gtUnitFactor(TgtUnitType unit) {
  const double k = gtPixelsPerPoint;
  switch (unit) {
    case muPixels: return 1.0;
    case muInches: return k * 72.0;
    case muMM: return k * 2.83464;
    case muPoints: return k;
    case muTwips: return k * 0.05;
  }
  return 1.0;
}

}  // namespace nx
