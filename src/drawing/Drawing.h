// What the drawing commands share: colour codes, fill patterns, the Ex
// sentinels, pen widths in points, host text and the surface they draw on.
#pragma once

#include <cstdint>

#include "device/Surface.h"
#include "platform/win32.h"
#include "session/Session.h"

namespace nx {

// Ex arguments that take the session's value instead.
constexpr int32_t kSessionCode = -999;          // justify, style, colours, angle, pattern
constexpr int32_t kSessionSize = -10000000;     // sizes and thicknesses (fixed-point -1000.0)
constexpr int32_t kTransparentColor = -255;     // a background or fill code meaning "none"

// A colour code of the drawing commands as the value GDI is handed: -1 to
// -16 the 16-colour palette, 1 the desktop system colour (-255), any other
// value unchanged.
int32_t MapColor(int32_t code);
// A mapped colour as an RGB value: a negative value names the system colour
// of its low byte.
COLORREF ColorToRGB(int32_t color);
// Both steps at once.
inline COLORREF CodeToRGB(int32_t code) { return ColorToRGB(MapColor(code)); }

// The brush style of a fill pattern code (0 solid, 1 none, 2..7 hatches;
// anything else none).
TBrushStyle MapFillPattern(int32_t pattern);

// Pen width in device pixels for a thickness in points: whole pixels per
// point (HPixelsInch div 72), times the thickness, truncated.
int32_t PenWidth(double points);

// Host text in UTF-16 for drawing in the given face: from the OEM code page
// when the session's AsciiAnsi flag is set (one unit per byte), else from the
// ANSI code page. Text for the symbol face "WingDings" is taken byte for
// byte: its glyphs sit at the byte values, and no code page applies to them.
WString HostText(const char *text, const WString &face);
// The same into *out, whose storage is reused: a caller converting a line
// per call keeps one buffer instead of allocating a string each time.
void HostTextInto(const char *text, const WString &face, WString *out);

// The surface of the open document (the printer's or the current page's);
// nullptr when no document is open.
TSurface *DocumentSurface();

}  // namespace nx
