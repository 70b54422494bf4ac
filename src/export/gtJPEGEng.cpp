#include "export/gtJPEGEng.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Strings.h"

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

BYTE Channel(uint32_t px, int shift, bool alpha) {
  const uint32_t v = px >> shift & 0xFF;
  if (!alpha) return BYTE(v);
  const uint32_t a = px >> 24;
  return BYTE((v * a + 255 * (255 - a) + 127) / 255);  // over white
}

// One scan line as the encoder takes it: RGB triples or grey values.
void ScanLine(const TgtBitmap &p, int32_t y, bool gray, std::vector<BYTE> &out) {
  const uint32_t *row = p.Row(y);
  for (int32_t x = 0; x < p.Width(); ++x) {
    const BYTE r = Channel(row[x], 16, p.Alpha), g = Channel(row[x], 8, p.Alpha), b = Channel(row[x], 0, p.Alpha);
    if (gray) {
      out[size_t(x)] = BYTE((r * 299 + g * 587 + b * 114 + 500) / 1000);
    } else {
      out[size_t(x) * 3] = r, out[size_t(x) * 3 + 1] = g, out[size_t(x) * 3 + 2] = b;
    }
  }
}

}  // namespace

std::vector<BYTE> gtEncodeJPEG(const TgtBitmap &Picture, int32_t Quality, bool Progressive, bool Gray,
                               int32_t Dpi) {
  if (Picture.Empty()) throw ENxError(nxeData, "A picture without pixels cannot be encoded as JPEG");
  jpeg_compress_struct c{};
  TJpegError err{};
  c.err = jpeg_std_error(&err.Mgr);
  err.Mgr.error_exit = OnJpegError;
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  std::vector<BYTE> line(size_t(Picture.Width()) * (Gray ? 1 : 3));
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&c);
    std::free(buffer);
    throw ENxError(nxeData, std::string("JPEG encoding failed: ") + err.Message);
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = JDIMENSION(Picture.Width());
  c.image_height = JDIMENSION(Picture.Height());
  c.input_components = Gray ? 1 : 3;
  c.in_color_space = Gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, std::clamp(Quality, 1, 100), TRUE);
  c.density_unit = 1;  // dots per inch
  c.X_density = c.Y_density = UINT16(std::clamp(Dpi, 1, 65535));
  if (Progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  for (int32_t y = 0; y < Picture.Height(); ++y) {
    ScanLine(Picture, y, Gray, line);
    JSAMPROW row = line.data();
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<BYTE> out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return out;
}

TgtJPEGEngine::TgtJPEGEngine() { SetFileType(u"jpg", u"JPEG File Interchange Format"); }

void TgtJPEGEngine::SetQuality(int32_t Value) {
  if (Value < 1 || Value > 100) throw ENxError(nxeArgument, "JPEG quality must be 1 to 100");
  FQuality = Value;
}

void TgtJPEGEngine::EndPage() {
  TgtCustomGraphicsEngine::EndPage();
  const TgtBitmap page = RasterisePage();
  const std::vector<BYTE> jpeg =
      gtEncodeJPEG(page, FQuality, FProgressiveEncoding, Monochrome(), int32_t(std::lround(gtScreenResolution * ScaleX())));
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
