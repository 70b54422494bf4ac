// Pens, brushes and ROP2 on Cairo.
#include "platform/gdi/Raster.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/gdi/Dib.h"

namespace nx::gdi {

void AddToCairo(cairo_t *cr, const DevicePath &p) {
  const size_t n = p.pts.size();
  for (size_t i = 0; i < n; ++i) {
    BYTE t = p.types[i] & ~PT_CLOSEFIGURE;
    double x = p.pts[i].x + 0.5, y = p.pts[i].y + 0.5;
    if (t == PT_MOVETO || (i == 0 && t != PT_BEZIERTO)) {
      cairo_move_to(cr, x, y);
    } else if (t == PT_BEZIERTO && i + 2 < n) {
      cairo_curve_to(cr, x, y, p.pts[i + 1].x + 0.5, p.pts[i + 1].y + 0.5, p.pts[i + 2].x + 0.5,
                     p.pts[i + 2].y + 0.5);
      i += 2;
    } else {
      cairo_line_to(cr, x, y);
    }
    if (p.types[i] & PT_CLOSEFIGURE) cairo_close_path(cr);
  }
}

double PenDeviceWidth(const Dc &dc, const PenObj &pen) {
  if (pen.width <= 1 && !pen.Geometric()) return 1.0;
  double w = std::round(pen.width * LogicalToDevice(dc).Scale());
  return std::max(1.0, w);
}

PenObj *DrawingPen(const Dc &dc) {
  PenObj *p = LookupPen(dc.st.pen);
  if (!p || p->Dash() == PS_NULL) return nullptr;
  return p;
}

BrushObj *DrawingBrush(const Dc &dc) {
  auto *b = Lookup<BrushObj>(dc.st.brush, Kind::Brush);
  if (!b || b->style == BS_NULL) return nullptr;
  return b;
}

Rop2Paint ResolveRop2(int rop2, COLORREF color) {
  Rop2Paint r;
  r.color = color;
  switch (rop2) {
    case R2_NOP:
      r.draws = false;
      break;
    case R2_BLACK:
      r.fixedColor = true;
      r.color = RGB(0, 0, 0);
      break;
    case R2_WHITE:
      r.fixedColor = true;
      r.color = RGB(255, 255, 255);
      break;
    case R2_NOTCOPYPEN:
      r.fixedColor = true;
      r.color = (~color) & 0xFFFFFF;
      break;
    case R2_NOT:  // |white - dst| = ~dst
      r.fixedColor = true;
      r.color = RGB(255, 255, 255);
      r.op = CAIRO_OPERATOR_DIFFERENCE;
      break;
    case R2_XORPEN:  // bitwise for colour channels of 0 or 255
      r.fixedColor = true;
      r.op = CAIRO_OPERATOR_DIFFERENCE;
      break;
    case R2_MASKPEN:  // AND, exact for channels of 0 or 255
      r.fixedColor = true;
      r.op = CAIRO_OPERATOR_MULTIPLY;
      break;
    case R2_MERGEPEN:  // OR, exact for channels of 0 or 255
      r.fixedColor = true;
      r.op = CAIRO_OPERATOR_SCREEN;
      break;
    default:  // R2_COPYPEN and the codes without a Cairo counterpart
      break;
  }
  return r;
}

namespace {

// GDI's cosmetic dash patterns, in pixels. A geometric pen's user style is
// in logical units (`scale` takes them to device pixels); its predefined
// styles grow with its width.
std::vector<double> DashPattern(const PenObj &pen, double width, double scale) {
  std::vector<double> d;
  switch (pen.Dash()) {
    case PS_DASH:
      d = {18, 6};
      break;
    case PS_DOT:
      d = {3, 3};
      break;
    case PS_DASHDOT:
      d = {9, 6, 3, 6};
      break;
    case PS_DASHDOTDOT:
      d = {9, 3, 3, 3, 3, 3};
      break;
    case PS_ALTERNATE:
      d = {1, 1};
      break;
    case PS_USERSTYLE:
      for (DWORD v : pen.userStyle) d.push_back((double)v);
      break;
    default:
      return d;
  }
  if (pen.Geometric() && pen.Dash() == PS_USERSTYLE)
    for (double &v : d) v *= scale;
  else if (pen.Geometric() && width > 1)
    for (double &v : d) v *= width;
  bool any = std::any_of(d.begin(), d.end(), [](double v) { return v > 0; });
  if (!any) d.clear();
  return d;
}

// The longest mitre of a one-pixel line, in line widths: a right angle
// (sqrt 2) keeps its corner pixel.
constexpr double kThinMiterLimit = 1.5;

void ApplyCapsAndJoins(const Dc &dc, cairo_t *cr, const PenObj &pen, double width) {
  if (width <= 1) {
    // A thin line stops before its end point. GDI draws its segments one by
    // one, without joins: a corner is filled up to a right angle, a sharper
    // one is cut (a mitre there would be a spike up to ten pixels long).
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, kThinMiterLimit);
    return;
  }
  DWORD cap = pen.style & PS_ENDCAP_MASK, join = pen.style & PS_JOIN_MASK;
  cairo_set_line_cap(cr, cap == PS_ENDCAP_FLAT     ? CAIRO_LINE_CAP_BUTT
                         : cap == PS_ENDCAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                                                   : CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, join == PS_JOIN_BEVEL   ? CAIRO_LINE_JOIN_BEVEL
                          : join == PS_JOIN_MITER ? CAIRO_LINE_JOIN_MITER
                                                  : CAIRO_LINE_JOIN_ROUND);
  cairo_set_miter_limit(cr, dc.st.miterLimit);
}

COLORREF PenColor(const Dc &dc, const PenObj &pen) {
  return pen.stock && pen.stockIndex == DC_PEN ? dc.st.dcPenColor : pen.color;
}

cairo_surface_t *HatchTile(const Dc &dc, const BrushObj &b) {
  static const uint8_t kHatch[6][8] = {
      {0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00},  // horizontal
      {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
      {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // falling left to right
      {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // rising left to right
      {0x08, 0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08},  // cross
      {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
  };
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  cairo_surface_flush(s);
  uint8_t *data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  auto argb = [](COLORREF c) {
    return 0xFF000000u | (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c);
  };
  uint32_t fg = argb(b.color);
  uint32_t bg = dc.st.bkMode == OPAQUE ? argb(dc.st.bkColor) : 0u;
  const uint8_t *rows = kHatch[std::min<ULONG>(b.hatch, HS_DIAGCROSS)];
  for (int y = 0; y < 8; ++y) {
    auto *row = reinterpret_cast<uint32_t *>(data + y * stride);
    for (int x = 0; x < 8; ++x) row[x] = (rows[y] & (0x80 >> x)) ? fg : bg;
  }
  cairo_surface_mark_dirty(s);
  return s;
}

cairo_surface_t *PatternTile(BrushObj &b) {
  if (!b.pattern) {
    DibView v;
    if (!ParseDibInfo(b.dib.data(), b.dib.size(), b.usage, &v) ||
        !AttachDibBits(&v, b.dib.data() + v.infoSize, b.dib.size() - v.infoSize))
      return nullptr;
    b.pattern = DibToSurface(v);
  }
  return cairo_surface_reference(b.pattern);
}

// A monochrome pattern in the DC's colours: 0 bits in the text colour,
// 1 bits in the background colour (whatever the background mode).
cairo_surface_t *MonoTile(const Dc &dc, const BrushObj &b) {
  DibView v;
  if (!ParseDibInfo(b.dib.data(), b.dib.size(), b.usage, &v) ||
      !AttachDibBits(&v, b.dib.data() + v.infoSize, b.dib.size() - v.infoSize) || v.bpp != 1)
    return nullptr;
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, v.width, v.height);
  cairo_surface_flush(s);
  uint8_t *data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  auto rgb = [](COLORREF c) {
    return (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c);
  };
  uint32_t fg = rgb(dc.st.textColor), bg = rgb(dc.st.bkColor);
  for (int y = 0; y < v.Rows(); ++y) {
    auto *row = reinterpret_cast<uint32_t *>(data + (size_t)y * stride);
    for (int x = 0; x < v.width; ++x) row[x] = v.Pixel(x, y) ? bg : fg;
  }
  cairo_surface_mark_dirty(s);
  return s;
}

}  // namespace

bool SetBrushSource(const Dc &dc, cairo_t *cr, const BrushObj &brush) {
  cairo_surface_t *tile = nullptr;
  switch (brush.style) {
    case BS_NULL:
      return false;
    case BS_SOLID:
      SetCairoColor(cr, brush.stock && brush.stockIndex == DC_BRUSH ? dc.st.dcBrushColor
                                                                     : brush.color);
      return true;
    case BS_HATCHED:
      tile = HatchTile(dc, brush);
      break;
    default:
      tile = brush.mono ? MonoTile(dc, brush) : PatternTile(const_cast<BrushObj &>(brush));
      break;
  }
  if (!tile) {
    SetCairoColor(cr, brush.color);
    return true;
  }
  cairo_pattern_t *pat = cairo_pattern_create_for_surface(tile);
  cairo_pattern_set_extend(pat, CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(pat, CAIRO_FILTER_NEAREST);
  cairo_matrix_t m;
  cairo_matrix_init_translate(&m, -dc.st.brushOrg.x, -dc.st.brushOrg.y);
  cairo_pattern_set_matrix(pat, &m);
  cairo_set_source(cr, pat);
  cairo_pattern_destroy(pat);
  cairo_surface_destroy(tile);
  return true;
}

namespace {

// The binary raster operations Cairo's operators give exactly only for
// channels of 0 or 255 (or not at all).
bool BitwiseRop2(cairo_t *cr, int rop2) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE || rop2 == R2_COPYPEN || rop2 == R2_NOP ||
      rop2 == R2_BLACK || rop2 == R2_WHITE || rop2 == R2_NOTCOPYPEN)
    return false;
  return cairo_surface_get_type(cairo_get_target(cr)) == CAIRO_SURFACE_TYPE_IMAGE;
}

// GDI numbers the sixteen operations so that code - 1 is their truth
// table: its bit (2 * pen + destination) is the result.
uint32_t Rop2Bits(int rop2, uint32_t p, uint32_t d) {
  unsigned t = (unsigned)(rop2 - 1);
  uint32_t r = 0;
  if (t & 1) r |= ~p & ~d;
  if (t & 2) r |= ~p & d;
  if (t & 4) r |= p & ~d;
  if (t & 8) r |= p & d;
  return r & 0xFFFFFF;
}

uint32_t Mix(uint32_t a, uint32_t b, unsigned alpha) {
  uint32_t out = 0;
  for (int s = 0; s < 24; s += 8) {
    unsigned x = (a >> s) & 255, y = (b >> s) & 255;
    out |= ((x * alpha + y * (255 - alpha) + 127) / 255) << s;
  }
  return out;
}

uint32_t Unpremultiply(uint32_t p, unsigned alpha) {
  uint32_t u = 0;
  for (int s = 0; s < 24; s += 8) u |= std::min(255u, (((p >> s) & 255) * 255 + alpha / 2) / alpha) << s;
  return u;
}

// Combines what was drawn into `group` (premultiplied ARGB, aligned with
// the target by the two surfaces' device offsets) with the target's pixels
// bit by bit.
void CombineBits(cairo_surface_t *group, cairo_surface_t *target, int rop2) {
  cairo_format_t tf = cairo_image_surface_get_format(target);
  if (cairo_image_surface_get_format(group) != CAIRO_FORMAT_ARGB32 ||
      (tf != CAIRO_FORMAT_ARGB32 && tf != CAIRO_FORMAT_RGB24))
    return;
  cairo_surface_flush(group);
  cairo_surface_flush(target);
  double gx, gy, tx, ty;
  cairo_surface_get_device_offset(group, &gx, &gy);
  cairo_surface_get_device_offset(target, &tx, &ty);
  const int dx = (int)std::lround(tx - gx), dy = (int)std::lround(ty - gy);
  const int gw = cairo_image_surface_get_width(group), gh = cairo_image_surface_get_height(group);
  const int tw = cairo_image_surface_get_width(target), th = cairo_image_surface_get_height(target);
  const uint8_t *gdata = cairo_image_surface_get_data(group);
  uint8_t *tdata = cairo_image_surface_get_data(target);
  if (!gdata || !tdata) return;
  for (int y = 0; y < gh; ++y) {
    int ty2 = y + dy;
    if (ty2 < 0 || ty2 >= th) continue;
    const auto *grow = reinterpret_cast<const uint32_t *>(gdata + (size_t)y * cairo_image_surface_get_stride(group));
    auto *trow = reinterpret_cast<uint32_t *>(tdata + (size_t)ty2 * cairo_image_surface_get_stride(target));
    for (int x = 0; x < gw; ++x) {
      unsigned a = grow[x] >> 24;
      int tx2 = x + dx;
      if (!a || tx2 < 0 || tx2 >= tw) continue;
      uint32_t p = grow[x] & 0xFFFFFF, d = trow[tx2] & 0xFFFFFF;
      if (a != 255) p = Unpremultiply(p, a);
      uint32_t r = Rop2Bits(rop2, p, d);
      if (a != 255) r = Mix(r, d, a);
      trow[tx2] = (trow[tx2] & 0xFF000000u) | r;
    }
  }
  cairo_surface_mark_dirty(target);
}

// Draws into a group while it lives, then combines the group with the
// target through the raster operation. The group covers the path's box
// widened by `margin` device pixels. The current path is kept.
class BitwiseGroup {
 public:
  BitwiseGroup(cairo_t *cr, int rop2, double margin)
      : cr_(cr), rop2_(rop2), path_(cairo_copy_path(cr)) {
    double x1, y1, x2, y2;
    cairo_path_extents(cr_, &x1, &y1, &x2, &y2);
    cairo_save(cr_);
    cairo_new_path(cr_);
    cairo_rectangle(cr_, x1 - margin, y1 - margin, x2 - x1 + 2 * margin, y2 - y1 + 2 * margin);
    cairo_clip(cr_);
    cairo_push_group(cr_);
    cairo_new_path(cr_);
    cairo_append_path(cr_, path_);
  }
  ~BitwiseGroup() {
    cairo_pattern_t *g = cairo_pop_group(cr_);
    cairo_surface_t *gs = nullptr;
    if (cairo_pattern_get_surface(g, &gs) == CAIRO_STATUS_SUCCESS &&
        cairo_surface_get_type(gs) == CAIRO_SURFACE_TYPE_IMAGE)
      CombineBits(gs, cairo_get_target(cr_), rop2_);
    cairo_pattern_destroy(g);
    cairo_restore(cr_);
    cairo_new_path(cr_);
    cairo_append_path(cr_, path_);
    cairo_path_destroy(path_);
  }
  BitwiseGroup(const BitwiseGroup &) = delete;
  BitwiseGroup &operator=(const BitwiseGroup &) = delete;

 private:
  cairo_t *cr_;
  int rop2_;
  cairo_path_t *path_;
};

void StrokeWithRop2(Dc *dc, cairo_t *cr, const PenObj &pen, int rop2) {
  Rop2Paint rop = ResolveRop2(rop2, PenColor(*dc, pen));
  if (!rop.draws) return;
  double w = PenDeviceWidth(*dc, pen);
  cairo_save(cr);
  cairo_set_line_width(cr, w);
  ApplyCapsAndJoins(*dc, cr, pen, w);
  cairo_set_operator(cr, rop.op);
  std::vector<double> dashes = DashPattern(pen, w, LogicalToDevice(*dc).Scale());
  if (!dashes.empty() && dc->st.bkMode == OPAQUE && rop.op == CAIRO_OPERATOR_OVER) {
    // The gaps of a styled pen show the background colour.
    SetCairoColor(cr, dc->st.bkColor);
    cairo_stroke_preserve(cr);
  }
  if (!dashes.empty()) cairo_set_dash(cr, dashes.data(), (int)dashes.size(), 0);
  bool solidBrushPen = !pen.ext || pen.brushStyle == BS_SOLID;
  if (!solidBrushPen && !rop.fixedColor) {
    BrushObj b;
    b.style = pen.brushStyle;
    b.color = pen.color;
    b.hatch = pen.hatch;
    b.dib = pen.dib;
    b.usage = pen.dibUsage;
    b.mono = pen.mono;
    if (!SetBrushSource(*dc, cr, b)) SetCairoColor(cr, rop.color);
  } else {
    SetCairoColor(cr, rop.color);
  }
  cairo_stroke_preserve(cr);
  cairo_restore(cr);
}

void FillWithRop2(Dc *dc, cairo_t *cr, const BrushObj &brush, int rop2) {
  cairo_save(cr);
  cairo_set_fill_rule(cr, dc->st.polyFillMode == WINDING ? CAIRO_FILL_RULE_WINDING
                                                         : CAIRO_FILL_RULE_EVEN_ODD);
  Rop2Paint rop = ResolveRop2(rop2, brush.color);
  if (rop.draws) {
    cairo_set_operator(cr, rop.op);
    bool ok = true;
    if (rop.fixedColor) SetCairoColor(cr, rop.color);
    else ok = SetBrushSource(*dc, cr, brush);
    if (ok) cairo_fill_preserve(cr);
  }
  cairo_restore(cr);
}

}  // namespace

// The pen or brush is drawn as it is into a group; the operations Cairo
// cannot give exactly then combine it with the target pixel by pixel.
void StrokeCurrentPath(Dc *dc, cairo_t *cr, const PenObj &pen) {
  if (!BitwiseRop2(cr, dc->st.rop2)) return StrokeWithRop2(dc, cr, pen, dc->st.rop2);
  double w = PenDeviceWidth(*dc, pen);
  BitwiseGroup group(cr, dc->st.rop2, w * std::max(2.0, (double)dc->st.miterLimit) + 2);
  StrokeWithRop2(dc, cr, pen, R2_COPYPEN);
}

void FillCurrentPath(Dc *dc, cairo_t *cr, const BrushObj &brush) {
  if (!BitwiseRop2(cr, dc->st.rop2)) return FillWithRop2(dc, cr, brush, dc->st.rop2);
  BitwiseGroup group(cr, dc->st.rop2, 2);
  FillWithRop2(dc, cr, brush, R2_COPYPEN);
}

COLORREF ReadPixel(Dc *dc, int x, int y) {
  cairo_surface_t *s = dc->surface;
  if (!s || cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE) return CLR_INVALID;
  double sx = x + 0.5, sy = y + 0.5;
  cairo_matrix_transform_point(&dc->deviceMatrix, &sx, &sy);
  int px = (int)std::floor(sx), py = (int)std::floor(sy);
  if (px < 0 || py < 0 || px >= cairo_image_surface_get_width(s) ||
      py >= cairo_image_surface_get_height(s))
    return CLR_INVALID;
  cairo_surface_flush(s);
  const uint8_t *row = cairo_image_surface_get_data(s) + (size_t)py * cairo_image_surface_get_stride(s);
  uint32_t p;
  std::memcpy(&p, row + 4 * px, 4);
  return RGB((p >> 16) & 255, (p >> 8) & 255, p & 255);
}

}  // namespace nx::gdi
