// Pictures that do not sit upright on the page: blits under a world
// transform that turns them, and PLGBLT's parallelograms with their masks.
// They become image items with an inclination.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "export/gtMetafileProcessor.h"
#include "export/gtMetafileProcessorBitmap.h"

namespace nx {

namespace {

// The w x h area of the picture from (x, y), which lies inside it.
std::shared_ptr<TgtBitmap> Area(const TgtBitmap &Pic, int32_t X, int32_t Y, int32_t W, int32_t H) {
  if (X == 0 && Y == 0 && W == Pic.Width() && H == Pic.Height()) return std::make_shared<TgtBitmap>(Pic);
  auto out = std::make_shared<TgtBitmap>(W, H);
  out->PixelFormat = Pic.PixelFormat;
  for (int32_t y = 0; y < H; ++y) std::copy_n(Pic.Row(Y + y) + X, W, out->Row(y));
  return out;
}

// Pixels whose mask bit is clear become transparent; a mask smaller than
// the area leaves the pixels beyond it drawn.
void ApplyMask(TgtBitmap &Pic, const TgtBitmap &Mask, int32_t MX, int32_t MY) {
  Pic.Alpha = true;
  Pic.PixelFormat = pf32bit;
  for (int32_t y = 0; y < Pic.Height(); ++y)
    for (int32_t x = 0; x < Pic.Width(); ++x) {
      const int64_t mx = int64_t(MX) + x, my = int64_t(MY) + y;
      const bool drawn = mx < 0 || my < 0 || mx >= Mask.Width() || my >= Mask.Height() ||
                         Mask.Pixel(int32_t(mx), int32_t(my)) != 0;
      Pic.Row(y)[x] = (Pic.Row(y)[x] & 0xFFFFFF) | (drawn ? 0xFF000000u : 0);
    }
}

}  // namespace

std::unique_ptr<TgtImageItem> TgtMetafileProcessor::TurnedImageItem(const TgtPoint &P0, const TgtPoint &P1,
                                                                     const TgtPoint &P2) const {
  auto item = std::make_unique<TgtImageItem>();
  item->FSettings = FEngine->ImageSettings();
  if (!item->FSettings.FAutosize) item->FSettings.FStretch = true;
  item->FIsFromMetafile = true;
  const double ux = P1.X - P0.X, uy = P1.Y - P0.Y, vx = P2.X - P0.X, vy = P2.Y - P0.Y;
  item->FWidth = std::hypot(ux, uy);
  item->FHeight = std::hypot(vx, vy);
  // Page y grows downwards: the top edge's anticlockwise angle.
  const double degrees = std::atan2(-uy, ux) * 180 / std::numbers::pi;
  long turn = std::isfinite(degrees) ? std::lround(degrees) % 360 : 0;
  if (turn < 0) turn += 360;
  item->FSettings.FInclination = int32_t(turn);
  // A mirrored parallelogram: the picture turned about its other corner
  // covers the same place (it is shown unmirrored).
  const bool mirrored = ux * vy - uy * vx < 0;
  item->FX = mirrored ? P2.X : P0.X;
  item->FY = mirrored ? P2.Y : P0.Y;
  return item;
}

bool TgtMetafileProcessor::DoPlgBlt(const TgtEmfRecord &r) {
  constexpr DWORD kFixed = 140;
  DWORD f[33];
  if (r.Size() < kFixed) return false;
  for (DWORD i = 0; i < 33; ++i) r.U32(8 + 4 * i, &f[i]);
  // f[4..9] the three points, f[10..13] the source area, f[22..25] its DIB,
  // f[26..27] the mask's corner, f[29..32] the mask's DIB.
  const DWORD cbBmi = f[23], cbBits = f[25];
  if (cbBmi == 0 || cbBits == 0 || !FProcessImage) return true;
  const int32_t sx = int32_t(f[10]), sy = int32_t(f[11]), cx = int32_t(f[12]), cy = int32_t(f[13]);
  if (cx <= 0 || cy <= 0) return true;
  auto source = DecodeDib(r, f[22], cbBmi, f[24], cbBits);
  if (!source) return true;
  if (sx < 0 || sy < 0 || int64_t(sx) + cx > source->Width() || int64_t(sy) + cy > source->Height()) {
    PictureLost(r, "the source area lies outside its bitmap");
    return true;
  }
  std::shared_ptr<TgtBitmap> picture = Area(*source, sx, sy, cx, cy);
  if (f[30] != 0 && f[32] != 0)
    if (auto mask = DecodeDib(r, f[29], f[30], f[31], f[32]))
      ApplyMask(*picture, *mask, int32_t(f[26]), int32_t(f[27]));
  auto at = [&](int i) { return Map(double(LONG(f[4 + 2 * i])), double(LONG(f[5 + 2 * i]))); };
  auto item = TurnedImageItem(at(0), at(1), at(2));
  item->FIndexNo = StoreImage(std::move(picture));
  Append(std::move(item));
  return true;
}

}  // namespace nx
