#include "export/gtJPEGEng.h"

#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "common/Strings.h"
#include "device/MemoryBitmap.h"

namespace nx {
namespace {

struct TJpegError {
  jpeg_error_mgr Mgr;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr c) {
  auto *err = reinterpret_cast<TJpegError *>(c->err);
  c->err->format_message(c, err->Message);
  std::longjmp(err->Jump, 1);
}

// The encoder's output straight into a vector, grown when full and cut to
// the stream's length at the end: no second copy of the stream.
struct TVectorDestination {
  jpeg_destination_mgr Mgr;
  std::vector<BYTE> *Out;
};

void StartDestination(j_compress_ptr c) {
  auto *d = reinterpret_cast<TVectorDestination *>(c->dest);
  d->Mgr.next_output_byte = d->Out->data();
  d->Mgr.free_in_buffer = d->Out->size();
}

boolean GrowDestination(j_compress_ptr c) {
  auto *d = reinterpret_cast<TVectorDestination *>(c->dest);
  const size_t used = d->Out->size();  // the whole buffer: the encoder filled it
  bool grown = true;
  try {
    d->Out->resize(used * 2);
  } catch (const std::bad_alloc &) {
    grown = false;
  }
  if (!grown) ERREXIT1(c, JERR_OUT_OF_MEMORY, 10);  // leaves through OnJpegError
  d->Mgr.next_output_byte = d->Out->data() + used;
  d->Mgr.free_in_buffer = d->Out->size() - used;
  return TRUE;
}

void EndDestination(j_compress_ptr c) {
  auto *d = reinterpret_cast<TVectorDestination *>(c->dest);
  d->Out->resize(d->Out->size() - d->Mgr.free_in_buffer);
}

BYTE Channel(uint32_t px, int shift, bool alpha) {
  const uint32_t v = px >> shift & 0xFF;
  if (!alpha) return BYTE(v);
  const uint32_t a = px >> 24;
  return BYTE((v * a + 255 * (255 - a) + 127) / 255);  // over white
}

BYTE GrayOf(uint32_t r, uint32_t g, uint32_t b) { return BYTE((r * 299 + g * 587 + b * 114 + 500) / 1000); }

// One scan line as the encoder takes it: RGB triples or grey values.
void ScanLine(const TgtBitmap &p, int32_t y, bool gray, std::vector<BYTE> &out) {
  const uint32_t *row = p.Row(y);
  for (int32_t x = 0; x < p.Width(); ++x) {
    const BYTE r = Channel(row[x], 16, p.Alpha), g = Channel(row[x], 8, p.Alpha), b = Channel(row[x], 0, p.Alpha);
    if (gray) {
      out[size_t(x)] = GrayOf(r, g, b);
    } else {
      out[size_t(x) * 3] = r, out[size_t(x) * 3 + 1] = g, out[size_t(x) * 3 + 2] = b;
    }
  }
}

// Encodes Height scan lines of Width pixels in the colour space; Line(y)
// gives scan line y as the encoder takes it.
std::vector<BYTE> Encode(int32_t Width, int32_t Height, J_COLOR_SPACE Space, int Components, int32_t Quality,
                         bool Progressive, int32_t Dpi, const std::function<const BYTE *(int32_t)> &Line) {
  jpeg_compress_struct c{};
  TJpegError err{};
  c.err = jpeg_std_error(&err.Mgr);
  err.Mgr.error_exit = OnJpegError;
  // Room for a page of text and rules at the highest quality in one go.
  std::vector<BYTE> out(size_t(Width) * size_t(Height) / 4 + 4096);
  TVectorDestination dest{{}, &out};
  dest.Mgr.init_destination = StartDestination;
  dest.Mgr.empty_output_buffer = GrowDestination;
  dest.Mgr.term_destination = EndDestination;
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&c);
    throw ENxError(nxeData, std::string("JPEG encoding failed: ") + err.Message);
  }
  jpeg_create_compress(&c);
  c.dest = &dest.Mgr;
  c.image_width = JDIMENSION(Width);
  c.image_height = JDIMENSION(Height);
  c.input_components = Components;
  c.in_color_space = Space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, std::clamp(Quality, 1, 100), TRUE);
  c.density_unit = 1;  // dots per inch
  c.X_density = c.Y_density = UINT16(std::clamp(Dpi, 1, 65535));
  if (Progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  for (int32_t y = 0; y < Height; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(Line(y));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return out;
}

}  // namespace

std::vector<BYTE> gtEncodeJPEG(const TgtBitmap &Picture, int32_t Quality, bool Progressive, bool Gray,
                               int32_t Dpi) {
  if (Picture.Empty()) throw ENxError(nxeData, "A picture without pixels cannot be encoded as JPEG");
  std::vector<BYTE> line(size_t(Picture.Width()) * (Gray ? 1 : 3));
  return Encode(Picture.Width(), Picture.Height(), Gray ? JCS_GRAYSCALE : JCS_RGB, Gray ? 1 : 3, Quality,
                Progressive, Dpi, [&](int32_t y) {
                  ScanLine(Picture, y, Gray, line);
                  return line.data();
                });
}

std::vector<BYTE> gtEncodeJPEGPixels(const uint32_t *Pixels, int32_t Width, int32_t Height, size_t Stride,
                                     int32_t Quality, bool Progressive, bool Gray, int32_t Dpi) {
  if (!Pixels || Width <= 0 || Height <= 0)
    throw ENxError(nxeData, "A picture without pixels cannot be encoded as JPEG");
  auto row = [&](int32_t y) { return Pixels + size_t(y) * Stride; };
  if (!Gray)  // the pixels' own byte order: blue, green, red, unused
    return Encode(Width, Height, JCS_EXT_BGRX, 4, Quality, Progressive, Dpi,
                  [&](int32_t y) { return reinterpret_cast<const BYTE *>(row(y)); });
  std::vector<BYTE> line(static_cast<size_t>(Width));
  return Encode(Width, Height, JCS_GRAYSCALE, 1, Quality, Progressive, Dpi, [&](int32_t y) {
    const uint32_t *px = row(y);
    for (int32_t x = 0; x < Width; ++x) line[size_t(x)] = GrayOf(px[x] >> 16 & 0xFF, px[x] >> 8 & 0xFF, px[x] & 0xFF);
    return line.data();
  });
}

TgtJPEGEngine::TgtJPEGEngine() { SetFileType(u"jpg", u"JPEG File Interchange Format"); }

void TgtJPEGEngine::SetQuality(int32_t Value) {
  if (Value < 1 || Value > 100) throw ENxError(nxeArgument, "JPEG quality must be 1 to 100");
  FQuality = Value;
}

void TgtJPEGEngine::EndPage() {
  TgtCustomGraphicsEngine::EndPage();
  const TMemoryBitmap &page = DrawPageRaster();
  const std::vector<BYTE> jpeg =
      gtEncodeJPEGPixels(page.Row(0), page.Width(), page.Height(), size_t(page.Width()), FQuality, FProgressiveEncoding,
                         Monochrome(), int32_t(std::lround(gtScreenResolution * ScaleX())));
  WString name = FileName() + AsciiToWide(std::to_string(CurrentPage()));
  if (FOnNeedFileName) FOnNeedFileName(*this, name, CurrentPage());
  std::unique_ptr<TOutputFile> file = CreateOutputFile(name + u"." + FileExtension());
  try {
    file->Write(jpeg.data(), jpeg.size());
  } catch (const ENxError &) {
    // A failed write discards the file, so completing it fails too: a page
    // that cannot be written takes the same way as one that cannot be
    // completed, and the document's earlier pages are deleted.
  }
  CommitOutputFile(*file);
}

}  // namespace nx
