#include "device/Device.h"

#include <optional>

#include "session/Session.h"

namespace nx {

TDevice::Route TDevice::Current() {
  const int32_t type = Session().Device;
  if (type == dtPrinter) return Route::Printer;
  if (type >= dtPreview && type <= dtJPEG) return Route::Store;
  return Route::None;
}

bool TDevice::Printing() {
  switch (Current()) {
    case Route::Printer: return printer_.Printing();
    case Route::Store: return pages_.Printing();
    default: return false;
  }
}

TSurface *TDevice::Surface() {
  switch (Current()) {
    case Route::Printer: return &printer_.Canvas();
    case Route::Store: return &pages_.Canvas();
    default: return nullptr;
  }
}

HDC TDevice::Handle() {
  TSurface *s = Surface();
  return s ? s->Handle() : nullptr;
}

TPen *TDevice::Pen() {
  TSurface *s = Surface();
  return s ? &s->Pen() : nullptr;
}

TBrush *TDevice::Brush() {
  TSurface *s = Surface();
  return s ? &s->Brush() : nullptr;
}

TFont *TDevice::Font() {
  TSurface *s = Surface();
  return s ? &s->Font() : nullptr;
}

int TDevice::FontCount() {
  const int32_t type = Session().Device;
  if (type != dtPrinter && type != dtPreview && type != dtEMF) return 0;
  return static_cast<int>(printer_.Fonts().size());
}

int TDevice::Orientation() { return printer_.Orientation(); }

void TDevice::SetOrientation(int orientation) { printer_.SetOrientation(orientation); }

void TDevice::SetTitle(const WString &title) {
  switch (Session().Device) {
    case dtPDF:  // the PDF engine's document title: set with the engine's settings at the end of the document
    case dtRTF:  // likewise the RTF engine's
      break;
    case dtPrinter:
    case dtPreview:
    case dtReserved:  // no document, but the printer keeps the title
    case dtEMF:
    case dtJPEG: printer_.SetTitle(title); break;
    default: break;
  }
}

void TDevice::BeginDoc() {
  switch (Current()) {
    case Route::Printer:
      printer_.SetCopies(Session().Copies);
      printer_.BeginDoc();
      break;
    case Route::Store: pages_.BeginDoc(); break;
    default: break;
  }
}

void TDevice::NewPage() {
  switch (Current()) {
    case Route::Printer: printer_.NewPage(); break;
    case Route::Store: NewStorePage(); break;
    default: break;
  }
}

// Each page of the store starts with fresh objects. The device keeps its font
// across the break, as the printer's surface does, so that a measure before
// the next text command sees the font of the last one.
void TDevice::NewStorePage() {
  std::optional<TFont> font;
  if (pages_.PageOpen()) font = pages_.Canvas().Font();
  pages_.NewPage();
  if (font) pages_.Canvas().Font() = *font;
}

void TDevice::EndDoc() {
  switch (Current()) {
    case Route::Printer: printer_.EndDoc(); break;
    case Route::Store: pages_.EndDoc(); break;
    default: break;
  }
}

void TDevice::Abort() {
  switch (Current()) {
    case Route::Printer: printer_.Abort(); break;
    case Route::Store: pages_.Abort(); break;
    default: break;
  }
}

void TDevice::MoveTo(int x, int y) {
  if (TSurface *s = Surface()) s->MoveTo(x, y);
}

void TDevice::LineTo(int x, int y) {
  if (TSurface *s = Surface()) s->LineTo(x, y);
}

void TDevice::Rectangle(int x1, int y1, int x2, int y2) {
  if (TSurface *s = Surface()) s->Rectangle(x1, y1, x2, y2);
}

void TDevice::Rectangle(const RECT &r) {
  if (TSurface *s = Surface()) s->Rectangle(r);
}

void TDevice::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
  if (TSurface *s = Surface()) s->RoundRect(x1, y1, x2, y2, x3, y3);
}

void TDevice::Ellipse(const RECT &r) {
  if (TSurface *s = Surface()) s->Ellipse(r);
}

void TDevice::Draw(int x, int y, HBITMAP bitmap) {
  if (TSurface *s = Surface()) s->Draw(x, y, bitmap);
}

void TDevice::TextOut(int x, int y, const WString &text) {
  if (TSurface *s = Surface()) s->TextOut(x, y, text);
}

int TDevice::TextWidth(const WString &text) {
  TSurface *s = Surface();
  return s ? s->TextWidth(text) : 0;
}

int TDevice::TextHeight(const WString &text) {
  TSurface *s = Surface();
  return s ? s->TextHeight(text) : 0;
}

}  // namespace nx
