// The preview window's button glyphs and window icon, drawn with Cairo: each
// glyph has a normal and a disabled (grey) look.
#pragma once

#include <gtk/gtk.h>

namespace nx::gtk {

// A 24 x 24 drawing of the glyph of button `id` (PWC_*), grey while the
// button is disabled.
GtkWidget *GlyphWidget(int id);
// Draws glyph `id` at 24 x 24 on `cr`, normal or disabled.
void DrawGlyph(cairo_t *cr, int id, bool enabled);
// The window icon (a page under a magnifier), 48 x 48; owned by the caller.
GdkPixbuf *GlyphIcon();

}  // namespace nx::gtk
