// The invoice page of scripts/demo as a JPEG file at 96 dpi (794 x 1123,
// quality 100, baseline), against Cairo drawing the same page onto an image
// surface and libjpeg encoding it:
//   BM_NoxtrelJpeg      the invoice's first page as the demo draws it (the
//                       calls of tools/nxrun/examples/demo.nx, run through
//                       nxrun's own parser and export table) on device type 7:
//                       NxBeginDoc, the drawing, NxEndDoc writing the JPEG
//                       file (recording, playback into the engine, the page
//                       redrawn and rasterised, encoding, writing)
//   BM_NoxtrelJpegExport  the JPEG engine alone on the already recorded page
//                       (PlayMetafile, EndDoc), without the recording
//   BM_CairoJpeg        the same page drawn with Cairo: the logo decoded with
//                       giflib, text in Liberation Sans and DejaVu Sans through
//                       Cairo's font selection, the text boxes wrapped at words
//                       with Cairo's extents, the QR code from libqrencode,
//                       hatch and rounded corners; then libjpeg at quality 100
//                       from Cairo's pixels (JCS_EXT_BGRX, no conversion) into
//                       a file
// Counters: pages per second and JPEG bytes per page.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <qrencode.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ExportTable.h"
#include "ScriptParser.h"
#include "device/NxPrinter.h"
#include "export/gtJPEGEng.h"
#include "platform/win32.h"
#include "session/Library.h"

namespace {

constexpr int kPageW = 794, kPageH = 1123;  // A4 at 96 dpi
const std::string kExamples = NX_SOURCE_DIR "/tools/nxrun/examples";

const std::string &Folder() {
  static const std::string dir = nxbench::MakeBenchFolder("jpeg");
  return dir;
}

// ---- ours -----------------------------------------------------------------

// The demo's invoice up to its second page, on device type 7, writing
// Folder()/ours1.jpg, the logo taken from the examples folder.
std::vector<nxrun::Call> InvoiceCalls() {
  std::ifstream in(kExamples + "/demo.nx");
  std::vector<nxrun::Call> calls;
  bool inInvoice = false;
  std::string line;
  while (std::getline(in, line)) {
    auto call = nxrun::ParseLine(line);
    if (!call) continue;
    if (call->name == "NxSetDevice" && call->args.at(0).number == 5) {
      inInvoice = true;
      call->args[0].number = 7;
    }
    if (!inInvoice) continue;
    if (call->name == "NxNewPage") break;
    if (call->name == "NxSetFileName") call->args.at(0).bytes = Folder() + "/ours";
    if (call->name == "NxBitmap") call->args.at(4).bytes = kExamples + "/" + call->args[4].bytes;
    calls.push_back(*call);
  }
  calls.push_back({"NxEndDoc", {}});
  return calls;
}

bool Failed(benchmark::State &state) {
  if (NxGetLastError() == 0) return false;
  char text[256];
  NxGetLastErrorText(text, sizeof text);
  state.SkipWithError(text);
  return true;
}

void BM_NoxtrelJpeg(benchmark::State &state) {
  const std::vector<nxrun::Call> calls = InvoiceCalls();
  if (calls.size() < 20) return state.SkipWithError("the invoice was not found in demo.nx");
  NxInit();
  for (auto _ : state) {
    for (const nxrun::Call &c : calls) nxrun::Invoke(c);
    if (Failed(state)) break;
  }
  state.counters["pages_per_second"] = nxbench::PerSecond(double(state.iterations()));
  state.counters["jpeg_bytes_per_page"] = nxbench::FileBytes(Folder() + "/ours1.jpg");
}
BENCHMARK(BM_NoxtrelJpeg)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The invoice's first page recorded once through the exports (device type
// 5 kept in memory), copied out of the page store.
HENHMETAFILE RecordedInvoicePage() {
  static HENHMETAFILE page = [] {
    NxInit();
    for (nxrun::Call c : InvoiceCalls()) {
      if (c.name == "NxSetDevice") c.args[0].number = 5;
      if (c.name == "NxEndDoc") break;
      nxrun::Invoke(c);
    }
    NxNewPage();
    HENHMETAFILE copy = CopyEnhMetaFileW(nx::PageStore().PagesList().front().Handle, nullptr);
    NxAbort();
    return copy;
  }();
  return page;
}

void BM_NoxtrelJpegExport(benchmark::State &state) {
  HENHMETAFILE page = RecordedInvoicePage();
  nx::TgtJPEGEngine engine;
  engine.Preferences().FShowSetupDialog = false;
  engine.Preferences().FOpenAfterCreate = false;
  const std::string name = Folder() + "/export";
  engine.SetFileName(nx::WString(name.begin(), name.end()));
  for (auto _ : state) {
    engine.BeginDoc();
    engine.PlayMetafile(nx::TgtRect{0, 0, engine.Page().Width(), engine.Page().Height()}, page);
    engine.EndDoc();
  }
  state.counters["pages_per_second"] = nxbench::PerSecond(double(state.iterations()));
  state.counters["jpeg_bytes_per_page"] = nxbench::FileBytes(Folder() + "/export1.jpg");
}
BENCHMARK(BM_NoxtrelJpegExport)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// ---- Cairo and libjpeg ------------------------------------------------------

constexpr double kPxPerMm = 96 / 25.4, kPxPerPt = 96.0 / 72;
double Mm(double mm) { return mm * kPxPerMm; }

// Colours of the demo's palette codes.
struct Rgb {
  double r, g, b;
};
constexpr Rgb kBlack{0, 0, 0}, kNavy{0, 0, 0.5}, kGrey{0.5, 0.5, 0.5}, kSilver{0.75, 0.75, 0.75},
    kRed{1, 0, 0}, kAqua{0, 1, 1}, kWhite{1, 1, 1}, kGreen{0, 0.5, 0};

void SetColor(cairo_t *cr, Rgb c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

enum Justify { kLeft, kRight, kCentre, kDecimal };

void SelectFont(cairo_t *cr, const char *face, double points, int style) {
  cairo_select_font_face(cr, face, style & 2 ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         style & 1 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, points * kPxPerPt);
}

double Advance(cairo_t *cr, const std::string &text) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  return e.x_advance;
}

// Text with its cell's top-left corner (before alignment) at (x, y) mm;
// returns where it ended, in pixels.
double Text(cairo_t *cr, double x, double y, const std::string &text, Justify j, double points, int style, Rgb color,
            const Rgb *background = nullptr, double angle = 0, const char *face = "Arial") {
  SelectFont(cr, face, points, style);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  const double width = Advance(cr, text);
  double px = Mm(x);
  if (j == kRight) px -= width;
  if (j == kCentre) px -= width / 2;
  if (j == kDecimal) {
    const size_t dot = text.find('.');
    px -= dot == std::string::npos ? width : Advance(cr, text.substr(0, dot));
  }
  cairo_save(cr);
  cairo_translate(cr, px, Mm(y));
  cairo_rotate(cr, -angle * M_PI / 180);
  if (background) {
    SetColor(cr, *background);
    cairo_rectangle(cr, 0, 0, width, fe.ascent + fe.descent);
    cairo_fill(cr);
  }
  SetColor(cr, color);
  cairo_move_to(cr, 0, fe.ascent);
  cairo_show_text(cr, text.c_str());
  cairo_restore(cr);
  return px + width;
}

void Line(cairo_t *cr, double x0, double y0, double x1, double y1, double points, Rgb color) {
  cairo_set_line_width(cr, std::max(1.0, points * kPxPerPt));
  SetColor(cr, color);
  cairo_move_to(cr, Mm(x0), Mm(y0));
  cairo_line_to(cr, Mm(x1), Mm(y1));
  cairo_stroke(cr);
}

void RoundedBox(cairo_t *cr, double x0, double y0, double x1, double y1, double radius) {
  if (radius <= 0) return cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
  cairo_new_sub_path(cr);
  cairo_arc(cr, x1 - radius, y0 + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x1 - radius, y1 - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x0 + radius, y1 - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x0 + radius, y0 + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

// A frame in mm: fill (or none), an optional hatch in the border colour,
// then the border.
void Frame(cairo_t *cr, double x0, double y0, double x1, double y1, double points, Rgb border, const Rgb *fill,
           bool hatch = false, double cornerPx = 0) {
  RoundedBox(cr, Mm(x0), Mm(y0), Mm(x1), Mm(y1), cornerPx / 2);
  if (fill) {
    SetColor(cr, *fill);
    cairo_fill_preserve(cr);
  }
  if (hatch) {
    cairo_surface_t *tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    cairo_t *t = cairo_create(tile);
    SetColor(t, border);
    cairo_set_line_width(t, 1);
    cairo_move_to(t, 0, 0);
    cairo_line_to(t, 8, 8);
    cairo_stroke(t);
    cairo_destroy(t);
    cairo_pattern_t *p = cairo_pattern_create_for_surface(tile);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_surface_destroy(tile);
  }
  cairo_set_line_width(cr, std::max(1.0, points * kPxPerPt));
  SetColor(cr, border);
  cairo_stroke(cr);
}

// Text wrapped at words (and at "\r\n") inside a box in mm, with an optional
// border that also insets the text.
void TextBox(cairo_t *cr, double x0, double y0, double x1, double y1, const std::string &text, double points,
             int style, Rgb color, double borderPt) {
  double inset = 0;
  if (borderPt > 0) {
    Frame(cr, x0, y0, x1, y1, borderPt, kBlack, nullptr);
    inset = borderPt * kPxPerPt + 10 * 96.0 / 600;
  }
  SelectFont(cr, "Arial", points, style);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  const double left = Mm(x0) + inset, right = Mm(x1) - inset, bottom = Mm(y1) - inset;
  double y = Mm(y0) + inset;
  SetColor(cr, color);
  auto emit = [&](const std::string &l) {
    if (y + fe.height > bottom) return;
    cairo_move_to(cr, left, y + fe.ascent);
    cairo_show_text(cr, l.c_str());
    y += fe.height;
  };
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line;
    size_t w = start;
    while (w < end) {
      size_t space = text.find(' ', w);
      if (space == std::string::npos || space > end) space = end;
      const std::string word = text.substr(w, space - w);
      const std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && Advance(cr, candidate) > right - left) {
        emit(line);
        line = word;
      } else {
        line = candidate;
      }
      w = space + 1;
    }
    emit(line);
    start = end + 2;
  }
}

// The logo, decoded from its GIF file with giflib, drawn w mm wide at (x, y)
// with the height its aspect gives.
void Logo(cairo_t *cr, double x, double y, double w) {
  int error = 0;
  GifFileType *gif = DGifOpenFileName((kExamples + "/logo.gif").c_str(), &error);
  if (!gif) return;
  if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
    DGifCloseFile(gif, &error);
    return;
  }
  const SavedImage &img = gif->SavedImages[0];
  const ColorMapObject *map = img.ImageDesc.ColorMap ? img.ImageDesc.ColorMap : gif->SColorMap;
  const int iw = img.ImageDesc.Width, ih = img.ImageDesc.Height;
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, iw, ih);
  unsigned char *data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int row = 0; row < ih; ++row) {
    auto *px = reinterpret_cast<uint32_t *>(data + row * stride);
    for (int col = 0; col < iw; ++col) {
      const GifColorType c = map->Colors[img.RasterBits[row * iw + col] % map->ColorCount];
      px[col] = uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
    }
  }
  cairo_surface_mark_dirty(s);
  DGifCloseFile(gif, &error);
  const double scale = Mm(w) / iw;
  cairo_save(cr);
  cairo_translate(cr, Mm(x), Mm(y));
  cairo_scale(cr, scale, scale);
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(s);
}

// The QR code from libqrencode (level L, from version 1), a square of
// `size` pixels with a quiet zone of four modules, at (x, y) mm.
void QrCode(cairo_t *cr, double x, double y, const char *data, double size) {
  QRcode *qr = QRcode_encodeString(data, 1, QR_ECLEVEL_L, QR_MODE_8, 1);
  if (!qr) return;
  const double module = size / (qr->width + 8);
  SetColor(cr, kWhite);
  cairo_rectangle(cr, Mm(x), Mm(y), size, size);
  cairo_fill(cr);
  SetColor(cr, kBlack);
  for (int r = 0; r < qr->width; ++r)
    for (int c = 0; c < qr->width; ++c)
      if (qr->data[r * qr->width + c] & 1)
        cairo_rectangle(cr, Mm(x) + (c + 4) * module, Mm(y) + (r + 4) * module, module, module);
  cairo_fill(cr);
  QRcode_free(qr);
}

// The invoice's first page, as demo.nx draws it (positions in mm).
void DrawInvoice(cairo_t *cr) {
  SetColor(cr, kWhite);
  cairo_paint(cr);
  Logo(cr, 20, 15, 25);
  Text(cr, 50, 16, "Lindqvist & Hale", kLeft, 20, 1, kNavy);
  Text(cr, 50, 25, "Office supplies and printing", kLeft, 10, 2, kGrey);
  Text(cr, 50, 30, "14 Harbour Street, Brightwater BW2 4LT", kLeft, 9, 0, kBlack);
  Text(cr, 190, 16, "INVOICE", kRight, 24, 1, kNavy);
  Text(cr, 190, 26, "No. 2026-0117", kRight, 10, 0, kBlack);
  Text(cr, 190, 31, "9 December 2026", kRight, 10, 0, kBlack);
  Line(cr, 20, 42, 190, 42, 1.5, kNavy);
  TextBox(cr, 20, 48, 95, 76,
          "Bill to:\r\nNorthfield Dental Practice\r\nAccounts Department\r\n22 Mill Lane\r\nEastbridge EB7 1QP", 10, 0,
          kBlack, 0.5);
  TextBox(cr, 105, 48, 190, 76,
          "Order 4471 of 2 December 2026, delivered 5 December 2026. Please quote the invoice number with your "
          "payment.",
          9, 2, kGrey, 0);
  Frame(cr, 20, 82, 190, 90, 0, kBlack, &kSilver);
  Text(cr, 23, 84, "Description", kLeft, 10, 1, kBlack);
  Text(cr, 120, 84, "Qty", kRight, 10, 1, kBlack);
  Text(cr, 153, 84, "Unit price", kRight, 10, 1, kBlack);
  Text(cr, 187, 84, "Amount", kRight, 10, 1, kBlack);
  struct Row {
    const char *what, *qty, *price, *amount;
  };
  const Row rows[] = {{"Copy paper A4, 80 g/m2, box of 5 reams", "12", "24.90", "298.80"},
                      {"Toner cartridge, black, high yield", "3", "112.5", "337.5"},
                      {"Appointment cards, printed both sides (1,000)", "2", "46.00", "92.00"},
                      {"Delivery", "", "", "9.5"}};
  for (int i = 0; i < 4; ++i) {
    const double y = 93 + 9 * i;
    Text(cr, 23, y, rows[i].what, kLeft, 10, 0, kBlack);
    if (*rows[i].qty) Text(cr, 120, y, rows[i].qty, kRight, 10, 0, kBlack);
    if (*rows[i].price) Text(cr, 148, y, rows[i].price, kDecimal, 10, 0, kBlack);
    Text(cr, 183, y, rows[i].amount, kDecimal, 10, 0, kBlack);
    if (i < 3) Line(cr, 20, y + 7, 190, y + 7, 0.5, kSilver);
  }
  Frame(cr, 20, 82, 190, 127, 1, kBlack, nullptr);
  for (double x : {100.0, 125.0, 156.0}) Line(cr, x, 82, x, 127, 0.5, kGrey);
  Text(cr, 153, 131, "Subtotal", kRight, 10, 0, kBlack);
  Text(cr, 183, 131, "737.80", kDecimal, 10, 0, kBlack);
  Text(cr, 153, 138, "VAT 20%", kRight, 10, 0, kBlack);
  Text(cr, 183, 138, "147.56", kDecimal, 10, 0, kBlack);
  Frame(cr, 115, 144, 190, 153, 1, kAqua, &kWhite, true, 30 * 96.0 / 600);
  Text(cr, 153, 146, "Total due (EUR)", kRight, 12, 1, kBlack, &kWhite);
  Text(cr, 183, 146, "885.36", kDecimal, 12, 1, kBlack, &kWhite);
  cairo_new_path(cr);
  cairo_save(cr);
  cairo_translate(cr, Mm(50), Mm(144.5));
  cairo_scale(cr, Mm(25), Mm(11.5));
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  cairo_set_line_width(cr, 2 * kPxPerPt);
  SetColor(cr, kRed);
  cairo_stroke(cr);
  Text(cr, 34, 150, "PAID IN PART", kLeft, 14, 1, kRed, nullptr, 12);
  TextBox(cr, 20, 165, 190, 186,
          "Payment terms: 30 days net from the invoice date. Goods remain our property until paid in full. Please "
          "transfer the amount due to account 4021 7788 0193 at Brightwater Savings Bank, quoting the invoice "
          "number. Questions about this invoice: accounts@lindqvist-hale.example, telephone 0171 555 0100. Thank "
          "you for your order.",
          9, 0, kBlack, 1);
  const double end = Text(cr, 20, 192, "\xE2\x98\xBA", kLeft, 14, 0, kGreen, nullptr, 0, "DejaVu Sans");
  Text(cr, end / kPxPerMm, 192, " We look forward to serving you again.", kLeft, 9, 2, kGreen);
  Line(cr, 20, 275, 190, 275, 0, kGrey);
  Text(cr, 105, 277, "Lindqvist & Hale Ltd - registered in Brightwater No. 0448120 - VAT GB 448 1200 17", kCentre, 7,
       0, kGrey);
  // The size our page shows: 29 modules (version 1 and the quiet zone) of
  // 1.8 pixels.
  QrCode(cr, 165, 188, "Invoice 2026-0117, EUR 885.36", 52);
}

// libjpeg at quality 100 (baseline, 96 dpi) straight from Cairo's pixels,
// into a file.
bool EncodeJpeg(cairo_surface_t *s, const std::string &path) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = JDIMENSION(cairo_image_surface_get_width(s));
  c.image_height = JDIMENSION(cairo_image_surface_get_height(s));
  c.input_components = 4;
  c.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  c.density_unit = 1;
  c.X_density = c.Y_density = 96;
  jpeg_start_compress(&c, TRUE);
  unsigned char *data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = data + size_t(c.next_scanline) * size_t(stride);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

void BM_CairoJpeg(benchmark::State &state) {
  const std::string path = Folder() + "/cairo1.jpg";
  for (auto _ : state) {
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPageW, kPageH);
    cairo_t *cr = cairo_create(s);
    DrawInvoice(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    if (!EncodeJpeg(s, path)) state.SkipWithError("the JPEG file could not be written");
    cairo_surface_destroy(s);
  }
  state.counters["pages_per_second"] = nxbench::PerSecond(double(state.iterations()));
  state.counters["jpeg_bytes_per_page"] = nxbench::FileBytes(path);
}
BENCHMARK(BM_CairoJpeg)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

int main(int argc, char **argv) {
  const int rc = nxbench::RunWithRatios(
      argc, argv,
      {{"invoice page to JPEG, Cairo + libjpeg / ours (target >= 0.67)", "BM_CairoJpeg", "BM_NoxtrelJpeg"},
       {"the same, ours from the recorded page (export only)", "BM_CairoJpeg", "BM_NoxtrelJpegExport"}});
  if (!getenv("NX_BENCH_KEEP")) {
    for (const char *f : {"/ours1.jpg", "/export1.jpg", "/cairo1.jpg"}) unlink((Folder() + f).c_str());
    rmdir(Folder().c_str());
  } else {
    std::printf("files kept in %s\n", Folder().c_str());
  }
  return rc;
}
