// Lines, shapes and bitmaps drawn on a surface with its current pen and brush.
#include "device/Surface.h"

namespace nx {

void TSurface::MoveTo(int x, int y) {
  if (dc_) MoveToEx(dc_, x, y, nullptr);
}

void TSurface::LineTo(int x, int y) {
  if (!dc_) return;
  SelectPen();
  ::LineTo(dc_, x, y);
}

void TSurface::Rectangle(int x1, int y1, int x2, int y2) {
  if (!dc_) return;
  SelectPen();
  SelectBrush();
  ::Rectangle(dc_, x1, y1, x2, y2);
}

void TSurface::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
  if (!dc_) return;
  SelectPen();
  SelectBrush();
  ::RoundRect(dc_, x1, y1, x2, y2, x3, y3);
}

void TSurface::Ellipse(const RECT &r) {
  if (!dc_) return;
  SelectPen();
  SelectBrush();
  ::Ellipse(dc_, r.left, r.top, r.right, r.bottom);
}

void TSurface::Draw(int x, int y, HBITMAP bitmap) {
  BITMAP info{};
  if (!dc_ || !bitmap || GetObjectW(bitmap, sizeof info, &info) == 0) return;
  HDC source = CreateCompatibleDC(dc_);
  if (!source) return;
  HGDIOBJ old = SelectObject(source, bitmap);
  BitBlt(dc_, x, y, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
}

}  // namespace nx
