// The GTK module: the preview window. A view over the owner's window
// procedure: a tool bar of ten flat buttons, the page label and the zoom box,
// and a scroll area with the paper, its page and two shadow bars. The page
// image is drawn by the owner, only the part that is exposed, at the zoom's
// size.
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/gtk/GtkGlyphs.h"
#include "platform/gtk/GtkModule.h"
#include "platform/win32/ui.h"

namespace {

constexpr int kToolBarHeight = 49;
constexpr int kButtons = 9;
struct ButtonSpec {
  int id, x;
  const char *hint;
};
constexpr ButtonSpec kButtonSpecs[kButtons] = {
    {PWC_FIRST, 8, "First page"},       {PWC_PREVIOUS, 40, "Previous page"}, {PWC_NEXT, 144, "Next page"},
    {PWC_LAST, 176, "Last page"},       {PWC_PRINT, 216, "Print"},           {PWC_ZOOMPAGE, 256, "Whole page"},
    {PWC_ZOOMWIDTH, 288, "Page width"}, {PWC_ZOOMMINUS, 328, "Zoom out"},    {PWC_ZOOMPLUS, 408, "Zoom in"},
};

// The last part of the page image drawn, kept for redraws of the same area:
// the owner's pixels, wrapped (valid until the owner is asked again).
struct PageCache {
  cairo_surface_t *surface = nullptr;
  int x = 0, y = 0, w = 0, h = 0;
  void Drop() {
    if (surface) cairo_surface_destroy(surface);
    surface = nullptr;
  }
  bool Covers(int cx, int cy, int cw, int ch) const {
    return surface && cx >= x && cy >= y && cx + cw <= x + w && cy + ch <= y + h;
  }
};

struct Preview {
  WNDPROC proc = nullptr;
  COLORREF colors[4]{};  // background, paper, shadow, tool bar
  GtkWidget *window = nullptr, *box = nullptr, *toolbar = nullptr, *scroll = nullptr, *area = nullptr;
  GtkWidget *buttons[kButtons]{};
  GtkWidget *pages = nullptr, *zoom = nullptr;
  GtkCssProvider *css = nullptr;
  PREVIEWLAYOUT layout{};
  bool hasLayout = false;
  int scrollW = 720, scrollH = 310;
  int clientW = 0, clientH = 0;
  guint timer = 0, timerId = 0, showTimeout = 0;
  bool wantMaximized = false, shownSent = false;
  GMainLoop *loop = nullptr;
  PageCache cache;
};

Preview *g_preview = nullptr;  // the one preview window

LRESULT Call(Preview *p, UINT msg, WPARAM w, LPARAM l) {
  return p->proc ? p->proc(reinterpret_cast<HWND>(p), msg, w, l) : 0;
}

void SetRgb(cairo_t *cr, COLORREF c) {
  cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
}

std::string Hex(COLORREF c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<unsigned>(c & 0xFF),
                static_cast<unsigned>((c >> 8) & 0xFF), static_cast<unsigned>((c >> 16) & 0xFF));
  return buf;
}

std::string Utf8(const void *utf16) {
  if (!utf16) return {};
  gchar *s = g_utf16_to_utf8(static_cast<const gunichar2 *>(utf16), -1, nullptr, nullptr, nullptr);
  std::string out = s ? s : "";
  g_free(s);
  return out;
}

void FillRect(cairo_t *cr, const RECT &r) { cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top); }

// The exposed part of the page image, drawn by the owner (or from the cache).
void DrawPage(Preview *p, cairo_t *cr, const RECT &image) {
  const int iw = image.right - image.left, ih = image.bottom - image.top;
  double x1, y1, x2, y2;
  cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
  const int cx = std::max(0, static_cast<int>(std::floor(x1)) - image.left);
  const int cy = std::max(0, static_cast<int>(std::floor(y1)) - image.top);
  const int cr2 = std::min(iw, static_cast<int>(std::ceil(x2)) - image.left);
  const int cb = std::min(ih, static_cast<int>(std::ceil(y2)) - image.top);
  if (cr2 <= cx || cb <= cy) return;
  if (!p->cache.Covers(cx, cy, cr2 - cx, cb - cy)) {
    p->cache.Drop();  // before the owner draws over the pixels it wraps
    PREVIEWPAINT paint{iw, ih, {cx, cy, cr2, cb}, nullptr, 0};
    if (!Call(p, PWN_PAINTPAGE, 0, reinterpret_cast<LPARAM>(&paint)) || !paint.bits) return;
    cairo_surface_t *s = cairo_image_surface_create_for_data(static_cast<unsigned char *>(paint.bits),
                                                             CAIRO_FORMAT_RGB24, cr2 - cx, cb - cy, paint.stride);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      return;
    }
    p->cache = {s, cx, cy, cr2 - cx, cb - cy};
  }
  cairo_set_source_surface(cr, p->cache.surface, image.left + p->cache.x, image.top + p->cache.y);
  cairo_rectangle(cr, image.left + cx, image.top + cy, cr2 - cx, cb - cy);
  cairo_fill(cr);
}

gboolean OnDrawArea(GtkWidget *, cairo_t *cr, gpointer data) {
  auto *p = static_cast<Preview *>(data);
  SetRgb(cr, p->colors[0]);
  cairo_paint(cr);
  if (!p->hasLayout) return TRUE;
  const PREVIEWLAYOUT &l = p->layout;
  SetRgb(cr, p->colors[2]);
  FillRect(cr, l.shadowRight);
  FillRect(cr, l.shadowBottom);
  cairo_fill(cr);
  SetRgb(cr, p->colors[1]);
  FillRect(cr, l.paper);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);  // the panel's single border
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, l.paper.left + 0.5, l.paper.top + 0.5, l.paper.right - l.paper.left - 1,
                  l.paper.bottom - l.paper.top - 1);
  cairo_stroke(cr);
  const RECT image{l.paper.left + 8, l.paper.top + 8, l.paper.right - 8, l.paper.bottom - 8};
  if (image.right > image.left && image.bottom > image.top) DrawPage(p, cr, image);
  return TRUE;
}

GtkAdjustment *VAdjust(Preview *p) { return gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(p->scroll)); }
GtkAdjustment *HAdjust(Preview *p) { return gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(p->scroll)); }

int ScrollBarThickness(GtkWidget *bar, bool vertical) {
  if (!bar) return 0;
  int min = 0, nat = 0;
  if (vertical) gtk_widget_get_preferred_width(bar, &min, &nat);
  else gtk_widget_get_preferred_height(bar, &min, &nat);
  return nat;
}

// The scroll area's client rectangle with content of cw x ch pixels: its
// size without the scroll bars that content needs.
RECT ScrollClient(Preview *p, int cw, int ch) {
  GtkScrolledWindow *sw = GTK_SCROLLED_WINDOW(p->scroll);
  const int vw = ScrollBarThickness(gtk_scrolled_window_get_vscrollbar(sw), true);
  const int hh = ScrollBarThickness(gtk_scrolled_window_get_hscrollbar(sw), false);
  int w = p->scrollW, h = p->scrollH;
  bool needV = ch > h, needH = cw > w;
  if (needV) w -= vw;
  if (needH) h -= hh;
  if (!needV && ch > h) w -= vw;  // the horizontal bar made room for a vertical one
  if (!needH && cw > w) h -= hh;
  return {0, 0, std::max(0, w), std::max(0, h)};
}

void ApplyLayout(Preview *p, const PREVIEWLAYOUT &l) {
  p->layout = l;
  p->hasLayout = true;
  p->cache.Drop();
  const int cw = std::max(l.shadowRight.right, l.shadowBottom.right);
  const int ch = std::max(l.shadowRight.bottom, l.shadowBottom.bottom);
  const RECT c = ScrollClient(p, cw, ch);
  gtk_widget_set_size_request(p->area, std::max<int>(c.right, cw), std::max<int>(c.bottom, ch));
  gtk_adjustment_set_value(HAdjust(p), 0);
  gtk_adjustment_set_value(VAdjust(p), 0);
  gtk_widget_queue_draw(p->area);
}

gboolean OnTimer(gpointer data) {
  auto *p = static_cast<Preview *>(data);
  Call(p, WM_TIMER, p->timerId, 0);
  return G_SOURCE_CONTINUE;
}

void SetTimer(Preview *p, UINT id, int ms) {
  if (p->timer) g_source_remove(p->timer);
  p->timer = 0;
  p->timerId = id;
  if (ms > 0) p->timer = g_timeout_add(static_cast<guint>(ms), OnTimer, p);
}

void SetPlacement(Preview *p, int show, const RECT *r) {
  GtkWindow *w = GTK_WINDOW(p->window);
  p->wantMaximized = show == SW_MAXIMIZE;
  if (show == SW_MINIMIZE) gtk_window_iconify(w);
  else if (show == SW_MAXIMIZE) gtk_window_maximize(w);
  else {
    gtk_window_unmaximize(w);
    gtk_window_deiconify(w);
    if (r) {
      gtk_window_move(w, r->left, r->top);
      gtk_window_resize(w, std::max(1, static_cast<int>(r->right - r->left)),
                        std::max(1, static_cast<int>(r->bottom - r->top)));
    }
  }
}

void GetPlacement(Preview *p, PREVIEWPLACEMENT *out) {
  GtkWindow *w = GTK_WINDOW(p->window);
  GdkWindow *g = gtk_widget_get_window(p->window);
  const GdkWindowState st = g ? gdk_window_get_state(g) : static_cast<GdkWindowState>(0);
  out->state = (st & GDK_WINDOW_STATE_ICONIFIED) ? 1 : (st & GDK_WINDOW_STATE_MAXIMIZED) ? 2 : 0;
  int x = 0, y = 0, wd = 0, ht = 0;
  gtk_window_get_position(w, &x, &y);
  gtk_window_get_size(w, &wd, &ht);
  out->bounds = {x, y, x + wd, y + ht};
}

void GetWorkArea(Preview *p, RECT *out) {
  GdkDisplay *d = gtk_widget_get_display(p->window);
  GdkWindow *g = gtk_widget_get_window(p->window);
  GdkMonitor *m = g ? gdk_display_get_monitor_at_window(d, g) : gdk_display_get_primary_monitor(d);
  if (!m) m = gdk_display_get_monitor(d, 0);
  GdkRectangle geo{0, 0, 0, 0}, work{0, 0, 0, 0};
  if (m) {
    gdk_monitor_get_geometry(m, &geo);
    gdk_monitor_get_workarea(m, &work);
  }
  out[0] = {geo.x, geo.y, geo.x + geo.width, geo.y + geo.height};
  out[1] = {work.x, work.y, work.x + work.width, work.y + work.height};
}

GtkWidget *Button(Preview *p, int id) {
  for (int i = 0; i < kButtons; ++i)
    if (kButtonSpecs[i].id == id) return p->buttons[i];
  return nullptr;
}

void SetText(Preview *p, int id, const void *text) {
  const std::string s = Utf8(text);
  if (id == PWC_PAGES) gtk_label_set_text(GTK_LABEL(p->pages), s.c_str());
  else if (id == PWC_ZOOM) gtk_entry_set_text(GTK_ENTRY(p->zoom), s.c_str());
  else if (GtkWidget *b = Button(p, id)) gtk_widget_set_tooltip_text(b, s.c_str());
}

// ---------------------------------------------------------------------------
// Events.

void SendShown(Preview *p) {
  if (p->shownSent) return;
  p->shownSent = true;
  if (p->showTimeout) g_source_remove(p->showTimeout);
  p->showTimeout = 0;
  Call(p, WM_SHOWWINDOW, TRUE, 0);
}

gboolean OnShowTimeout(gpointer data) {
  auto *p = static_cast<Preview *>(data);
  p->showTimeout = 0;
  SendShown(p);
  return G_SOURCE_REMOVE;
}

gboolean OnMapped(GtkWidget *w, GdkEvent *, gpointer data) {
  auto *p = static_cast<Preview *>(data);
  // The window becomes the active one, and takes the keys, also on a
  // screen without a window manager.
  GdkWindow *g = gtk_widget_get_window(w);
  if (g && !(gdk_window_get_state(g) & GDK_WINDOW_STATE_ICONIFIED)) gdk_window_focus(g, GDK_CURRENT_TIME);
  // A maximized window has its size once the window manager says so; a
  // screen without one never does.
  if (!p->shownSent && !p->showTimeout) p->showTimeout = g_timeout_add(p->wantMaximized ? 400 : 20, OnShowTimeout, p);
  return FALSE;
}

gboolean OnWindowState(GtkWidget *, GdkEventWindowState *e, gpointer data) {
  auto *p = static_cast<Preview *>(data);
  if ((e->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) && p->wantMaximized && p->showTimeout) {
    g_source_remove(p->showTimeout);
    p->showTimeout = g_timeout_add(20, OnShowTimeout, p);
  }
  return FALSE;
}

void OnSizeAllocate(GtkWidget *, GdkRectangle *a, gpointer data) {
  auto *p = static_cast<Preview *>(data);
  if (a->width == p->clientW && a->height == p->clientH) return;
  p->clientW = a->width;
  p->clientH = a->height;
  Call(p, WM_SIZE, 0, MAKELPARAM(a->width, a->height));
}

gboolean OnDelete(GtkWidget *, GdkEvent *, gpointer data) {
  Call(static_cast<Preview *>(data), WM_CLOSE, 0, 0);
  return TRUE;  // the owner destroys the window
}

UINT KeyOf(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Escape: return VK_ESCAPE;
    case GDK_KEY_Page_Up: case GDK_KEY_KP_Page_Up: return VK_PRIOR;
    case GDK_KEY_Page_Down: case GDK_KEY_KP_Page_Down: return VK_NEXT;
    case GDK_KEY_Up: case GDK_KEY_KP_Up: return VK_UP;
    case GDK_KEY_Down: case GDK_KEY_KP_Down: return VK_DOWN;
    case GDK_KEY_KP_Add: return VK_ADD;
    case GDK_KEY_KP_Subtract: return VK_SUBTRACT;
    case GDK_KEY_p: case GDK_KEY_P: return 'P';
    default: return 0;
  }
}

// The window sees keys before its controls.
gboolean OnKey(GtkWidget *, GdkEventKey *e, gpointer data) {
  const UINT vk = KeyOf(e->keyval);
  if (!vk || (e->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK))) return FALSE;
  Call(static_cast<Preview *>(data), e->type == GDK_KEY_PRESS ? WM_KEYDOWN : WM_KEYUP, vk, 0);
  return TRUE;
}

gboolean OnScroll(GtkWidget *, GdkEventScroll *e, gpointer data) {
  auto *p = static_cast<Preview *>(data);
  int delta = 0;
  if (e->direction == GDK_SCROLL_UP) delta = WHEEL_DELTA;
  else if (e->direction == GDK_SCROLL_DOWN) delta = -WHEEL_DELTA;
  else if (e->direction == GDK_SCROLL_SMOOTH) delta = static_cast<int>(std::lround(-e->delta_y * WHEEL_DELTA));
  else return TRUE;
  if (delta == 0) return TRUE;
  bool inside = false;
  if (GdkWindow *g = gtk_widget_get_window(p->scroll)) {
    int ox = 0, oy = 0;
    gdk_window_get_origin(g, &ox, &oy);
    GtkAllocation a;
    gtk_widget_get_allocation(p->scroll, &a);
    if (!gtk_widget_get_has_window(p->scroll)) ox += a.x, oy += a.y;
    inside = e->x_root > ox && e->x_root < ox + a.width - 1 && e->y_root > oy && e->y_root < oy + a.height - 1;
  }
  const WORD keys = (e->state & GDK_CONTROL_MASK) ? MK_CONTROL : 0;
  Call(p, WM_MOUSEWHEEL, MAKEWPARAM(keys, static_cast<WORD>(static_cast<short>(delta))), inside ? 1 : 0);
  return TRUE;
}

void OnClicked(GtkButton *, gpointer data) {
  auto *button = static_cast<const ButtonSpec *>(data);
  if (g_preview) Call(g_preview, WM_COMMAND, MAKEWPARAM(button->id, 0), 0);
}

// ---------------------------------------------------------------------------
// Building the window.

void AddCss(Preview *p) {
  const std::string css = "#nxpreview { background-color: " + Hex(p->colors[0]) +
                          "; }\n#nxtoolbar { background-color: " + Hex(p->colors[3]) +
                          "; }\n#nxpages { background-color: #ffffff; color: #000000; font-family: \"Segoe UI\"; "
                          "font-size: 11px; }\n#nxzoom { font-family: \"Segoe UI\"; font-size: 11px; border: none; "
                          "box-shadow: none; min-height: 0; padding: 0; background: #ffffff; color: #000000; }\n"
                          "button.nxbutton { padding: 0; min-width: 0; min-height: 0; border-width: 0; }\n";
  p->css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(p->css, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(p->css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void BuildToolBar(Preview *p) {
  p->toolbar = gtk_event_box_new();
  gtk_widget_set_name(p->toolbar, "nxtoolbar");
  GtkWidget *bar = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(p->toolbar), bar);
  for (int i = 0; i < kButtons; ++i) {
    const ButtonSpec &s = kButtonSpecs[i];
    GtkWidget *b = gtk_button_new();
    gtk_button_set_relief(GTK_BUTTON(b), GTK_RELIEF_NONE);
    gtk_widget_set_can_focus(b, FALSE);
    gtk_style_context_add_class(gtk_widget_get_style_context(b), "nxbutton");
    gtk_widget_set_size_request(b, 32, 32);
    gtk_container_add(GTK_CONTAINER(b), nx::gtk::GlyphWidget(s.id));
    gtk_widget_set_tooltip_text(b, s.hint);
    g_signal_connect(b, "clicked", G_CALLBACK(OnClicked), const_cast<ButtonSpec *>(&s));
    gtk_fixed_put(GTK_FIXED(bar), b, s.x, 8);
    p->buttons[i] = b;
  }
  GtkWidget *labelBox = gtk_event_box_new();
  gtk_widget_set_name(labelBox, "nxpages");
  p->pages = gtk_label_new("");
  gtk_widget_set_name(p->pages, "nxpages");
  gtk_label_set_justify(GTK_LABEL(p->pages), GTK_JUSTIFY_CENTER);
  gtk_container_add(GTK_CONTAINER(labelBox), p->pages);
  gtk_widget_set_size_request(labelBox, 61, 17);
  gtk_fixed_put(GTK_FIXED(bar), labelBox, 78, 16);
  p->zoom = gtk_entry_new();
  gtk_widget_set_name(p->zoom, "nxzoom");
  gtk_editable_set_editable(GTK_EDITABLE(p->zoom), FALSE);
  gtk_widget_set_can_focus(p->zoom, FALSE);
  gtk_entry_set_has_frame(GTK_ENTRY(p->zoom), FALSE);
  gtk_entry_set_alignment(GTK_ENTRY(p->zoom), 0.5);
  gtk_entry_set_width_chars(GTK_ENTRY(p->zoom), 1);
  gtk_widget_set_size_request(p->zoom, 41, 17);
  gtk_fixed_put(GTK_FIXED(bar), p->zoom, 364, 16);
  gtk_widget_set_size_request(p->toolbar, -1, kToolBarHeight);
  gtk_box_pack_start(GTK_BOX(p->box), p->toolbar, FALSE, FALSE, 0);
}

void BuildScrollArea(Preview *p) {
  p->scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(p->scroll), FALSE);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(p->scroll), GTK_SHADOW_NONE);
  p->area = gtk_drawing_area_new();
  g_signal_connect(p->area, "draw", G_CALLBACK(OnDrawArea), p);
  gtk_container_add(GTK_CONTAINER(p->scroll), p->area);
  // Client width - 16 by client height - 64, at (10, 59).
  gtk_widget_set_margin_start(p->scroll, 10);
  gtk_widget_set_margin_end(p->scroll, 6);
  gtk_widget_set_margin_top(p->scroll, 10);
  gtk_widget_set_margin_bottom(p->scroll, 5);
  gtk_box_pack_start(GTK_BOX(p->box), p->scroll, TRUE, TRUE, 0);
  g_signal_connect(p->scroll, "scroll-event", G_CALLBACK(OnScroll), p);
}

void Destroy(Preview *p) {
  if (p->timer) g_source_remove(p->timer);
  if (p->showTimeout) g_source_remove(p->showTimeout);
  p->cache.Drop();
  if (p->css) {
    gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(p->css));
    g_object_unref(p->css);
  }
  if (p->window) gtk_widget_destroy(p->window);
  while (gtk_events_pending()) gtk_main_iteration();
  if (g_preview == p) g_preview = nullptr;
  delete p;
}

}  // namespace

namespace nx::gtk {

void *PreviewCreate(const void *data) {
  const auto *info = static_cast<const PREVIEWWNDW *>(data);
  if (!info || info->cbSize < sizeof(PREVIEWWNDW) || g_preview) return nullptr;
  auto *p = new Preview;
  p->proc = info->proc;
  p->colors[0] = info->background;
  p->colors[1] = info->paper;
  p->colors[2] = info->shadow;
  p->colors[3] = info->toolbar;
  AddCss(p);
  p->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(p->window, "nxpreview");
  GtkWindow *w = GTK_WINDOW(p->window);
  gtk_window_set_title(w, Utf8(info->caption).c_str());
  gtk_window_set_default_size(w, 736, 374);
  GdkGeometry hints{};
  hints.min_width = 400;
  hints.min_height = 400;
  gtk_window_set_geometry_hints(w, nullptr, &hints, GDK_HINT_MIN_SIZE);
  gtk_window_set_skip_taskbar_hint(w, FALSE);
  gtk_window_set_type_hint(w, GDK_WINDOW_TYPE_HINT_NORMAL);
  if (GdkPixbuf *icon = GlyphIcon()) {
    gtk_window_set_icon(w, icon);
    g_object_unref(icon);
  }
  p->box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(p->window), p->box);
  BuildToolBar(p);
  BuildScrollArea(p);
  g_signal_connect(p->window, "key-press-event", G_CALLBACK(OnKey), p);
  g_signal_connect(p->window, "key-release-event", G_CALLBACK(OnKey), p);
  g_signal_connect(p->window, "scroll-event", G_CALLBACK(OnScroll), p);
  g_signal_connect(p->window, "delete-event", G_CALLBACK(OnDelete), p);
  g_signal_connect(p->window, "map-event", G_CALLBACK(OnMapped), p);
  g_signal_connect(p->window, "window-state-event", G_CALLBACK(OnWindowState), p);
  g_signal_connect(p->box, "size-allocate", G_CALLBACK(OnSizeAllocate), p);
  gtk_widget_add_events(p->window, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                                       GDK_KEY_RELEASE_MASK | GDK_STRUCTURE_MASK);
  gtk_widget_show_all(p->box);
  g_preview = p;
  return p;
}

intptr_t PreviewSend(void *window, unsigned msg, uintptr_t wParam, intptr_t lParam) {
  auto *p = static_cast<Preview *>(window);
  if (!p || p != g_preview) return 0;
  switch (msg) {
    case WM_SETTEXT: gtk_window_set_title(GTK_WINDOW(p->window), Utf8(reinterpret_cast<const void *>(lParam)).c_str()); return 1;
    case PWM_SETTEXT: SetText(p, static_cast<int>(wParam), reinterpret_cast<const void *>(lParam)); return 1;
    case PWM_ENABLE:
      if (GtkWidget *b = Button(p, static_cast<int>(wParam))) gtk_widget_set_sensitive(b, lParam != 0);
      return 1;
    case PWM_LAYOUT: ApplyLayout(p, *reinterpret_cast<const PREVIEWLAYOUT *>(lParam)); return 1;
    case PWM_SETSCROLLBOX:  // the box's margins give it this size; its allocation may follow later
      p->scrollW = static_cast<int>(wParam);
      p->scrollH = static_cast<int>(lParam);
      return 1;
    case PWM_GETSCROLLBOX:
      *reinterpret_cast<RECT *>(lParam) = ScrollClient(p, LOWORD(wParam), HIWORD(wParam));
      return 1;
    case PWM_SCROLLBY: {
      GtkAdjustment *v = VAdjust(p);
      gtk_adjustment_set_value(v, gtk_adjustment_get_value(v) + static_cast<double>(lParam));
      return 1;
    }
    case PWM_SETPLACEMENT: SetPlacement(p, static_cast<int>(wParam), reinterpret_cast<const RECT *>(lParam)); return 1;
    case PWM_GETPLACEMENT: GetPlacement(p, reinterpret_cast<PREVIEWPLACEMENT *>(lParam)); return 1;
    case PWM_SETTOPMOST: gtk_window_set_keep_above(GTK_WINDOW(p->window), wParam != 0); return 1;
    case PWM_GETWORKAREA: GetWorkArea(p, reinterpret_cast<RECT *>(lParam)); return 1;
    case PWM_SETTIMER: SetTimer(p, static_cast<UINT>(wParam), static_cast<int>(lParam)); return 1;
    case PWM_INVALIDATE:
      p->cache.Drop();
      gtk_widget_queue_draw(p->area);
      return 1;
    default: return 0;
  }
}

void PreviewRun(void *window) {
  auto *p = static_cast<Preview *>(window);
  if (!p || p != g_preview) return;
  p->loop = g_main_loop_new(nullptr, FALSE);
  gtk_widget_show(p->window);
  g_main_loop_run(p->loop);
  g_main_loop_unref(p->loop);
  p->loop = nullptr;
  Destroy(p);
}

int PreviewDestroy(void *window) {
  auto *p = static_cast<Preview *>(window);
  if (!p || p != g_preview) return 0;
  if (p->loop) {
    // The loop's end destroys the window; until then it shows nothing.
    gtk_widget_hide(p->window);
    p->proc = nullptr;
    g_main_loop_quit(p->loop);
  } else {
    Destroy(p);
  }
  return 1;
}

}  // namespace nx::gtk
