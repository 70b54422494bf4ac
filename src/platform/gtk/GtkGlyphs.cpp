#include "platform/gtk/GtkGlyphs.h"

#include <cmath>

#include "platform/win32/ui.h"

namespace nx::gtk {
namespace {

void Triangle(cairo_t *cr, double tipX, double baseX) {
  cairo_move_to(cr, tipX, 12);
  cairo_line_to(cr, baseX, 5);
  cairo_line_to(cr, baseX, 19);
  cairo_close_path(cr);
  cairo_fill(cr);
}

void Page(cairo_t *cr, double x, double y, double w, double h) {
  cairo_save(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill_preserve(cr);
  cairo_restore(cr);
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
}

void Magnifier(cairo_t *cr, int sign) {
  cairo_set_line_width(cr, 2);
  cairo_arc(cr, 10, 10, 6.5, 0, 2 * M_PI);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 3.5);
  cairo_move_to(cr, 15, 15);
  cairo_line_to(cr, 21, 21);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 2);
  cairo_move_to(cr, 6.5, 10);
  cairo_line_to(cr, 13.5, 10);
  if (sign > 0) {
    cairo_move_to(cr, 10, 6.5);
    cairo_line_to(cr, 10, 13.5);
  }
  cairo_stroke(cr);
}

void Printer(cairo_t *cr) {
  Page(cr, 7, 3, 10, 7);
  cairo_rectangle(cr, 3, 9, 18, 8);
  cairo_fill(cr);
  Page(cr, 7, 14, 10, 7);
}

void WidthArrows(cairo_t *cr) {
  Page(cr, 4, 3, 16, 18);
  cairo_set_line_width(cr, 1.5);
  cairo_move_to(cr, 7, 12);
  cairo_line_to(cr, 17, 12);
  cairo_stroke(cr);
  cairo_move_to(cr, 6, 12), cairo_line_to(cr, 9, 9), cairo_line_to(cr, 9, 15), cairo_close_path(cr);
  cairo_move_to(cr, 18, 12), cairo_line_to(cr, 15, 9), cairo_line_to(cr, 15, 15), cairo_close_path(cr);
  cairo_fill(cr);
}

void WholePage(cairo_t *cr) {
  Page(cr, 6, 2, 12, 20);
  cairo_set_line_width(cr, 1);
  for (double y = 6; y <= 17; y += 3) {
    cairo_move_to(cr, 8, y + 0.5);
    cairo_line_to(cr, 16, y + 0.5);
  }
  cairo_stroke(cr);
}

gboolean OnDraw(GtkWidget *w, cairo_t *cr, gpointer data) {
  const int id = GPOINTER_TO_INT(data);
  const int aw = gtk_widget_get_allocated_width(w), ah = gtk_widget_get_allocated_height(w);
  cairo_translate(cr, (aw - 24) / 2, (ah - 24) / 2);
  DrawGlyph(cr, id, gtk_widget_is_sensitive(w));
  return TRUE;
}

}  // namespace

void DrawGlyph(cairo_t *cr, int id, bool enabled) {
  if (enabled) cairo_set_source_rgb(cr, 0.12, 0.25, 0.50);
  else cairo_set_source_rgb(cr, 0.62, 0.62, 0.62);
  switch (id) {
    case PWC_FIRST:
      cairo_rectangle(cr, 4, 5, 3, 14);
      cairo_fill(cr);
      Triangle(cr, 8, 19);
      break;
    case PWC_PREVIOUS: Triangle(cr, 6, 17); break;
    case PWC_NEXT: Triangle(cr, 18, 7); break;
    case PWC_LAST:
      Triangle(cr, 16, 5);
      cairo_rectangle(cr, 17, 5, 3, 14);
      cairo_fill(cr);
      break;
    case PWC_PRINT: Printer(cr); break;
    case PWC_ZOOMPAGE: WholePage(cr); break;
    case PWC_ZOOMWIDTH: WidthArrows(cr); break;
    case PWC_ZOOMMINUS: Magnifier(cr, -1); break;
    case PWC_ZOOMPLUS: Magnifier(cr, +1); break;
    default: break;
  }
}

GtkWidget *GlyphWidget(int id) {
  GtkWidget *w = gtk_drawing_area_new();
  gtk_widget_set_size_request(w, 24, 24);
  g_signal_connect(w, "draw", G_CALLBACK(OnDraw), GINT_TO_POINTER(id));
  return w;
}

GdkPixbuf *GlyphIcon() {
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 48, 48);
  cairo_t *cr = cairo_create(s);
  cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
  cairo_scale(cr, 2, 2);
  Page(cr, 3, 1, 15, 20);
  cairo_set_source_rgb(cr, 0.12, 0.25, 0.50);
  cairo_translate(cr, 4, 3);
  cairo_scale(cr, 0.8, 0.8);
  Magnifier(cr, +1);
  cairo_destroy(cr);
  GdkPixbuf *icon = gdk_pixbuf_get_from_surface(s, 0, 0, 48, 48);
  cairo_surface_destroy(s);
  return icon;
}

}  // namespace nx::gtk
