// JPEG files through libjpeg: baseline and progressive, colour, greyscale and
// CMYK/YCCK (Adobe's inverted form included), into a 24-bit picture. A file
// that ends before its last scan is refused rather than drawn half grey.
#include <csetjmp>
#include <cstdio>
#include <cstring>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "common/ErrorChannel.h"
#include "drawing/Picture.h"

namespace nx {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to DecodeInto, whose frame holds no objects with destructors.
struct TJpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
};

void ErrorExit(j_common_ptr cinfo) {
  auto *err = reinterpret_cast<TJpegError *>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  auto *err = reinterpret_cast<TJpegError *>(cinfo->err);
  if (level < 0) {
    ++cinfo->err->num_warnings;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) err->truncated = true;
  }
}

// Writes one decoded scan line into the picture.
void PutLine(TPicture &pic, const jpeg_decompress_struct &cinfo, const JSAMPLE *line, int32_t y) {
  const int32_t w = pic.Width();
  if (cinfo.out_color_space == JCS_CMYK) {
    // Adobe writes CMYK inverted (0 = full ink).
    const bool inverted = cinfo.saw_Adobe_marker;
    for (int32_t x = 0; x < w; ++x) {
      const JSAMPLE *p = line + 4 * static_cast<size_t>(x);
      unsigned c = p[0], m = p[1], ye = p[2], k = p[3];
      if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
      pic.Set(x, y, static_cast<BYTE>(c * k / 255), static_cast<BYTE>(m * k / 255), static_cast<BYTE>(ye * k / 255));
    }
  } else {
    for (int32_t x = 0; x < w; ++x) {
      const JSAMPLE *p = line + 3 * static_cast<size_t>(x);
      pic.Set(x, y, p[0], p[1], p[2]);
    }
  }
}

// Decodes into pic (made once the header is read). Returns false with the
// library's message in err->message on failure.
bool DecodeInto(const BYTE *data, size_t size, TPicture *pic, std::vector<JSAMPLE> *line, TJpegError *err,
                bool *tooLarge) {
  jpeg_decompress_struct cinfo;
  cinfo.err = jpeg_std_error(&err->mgr);
  err->mgr.error_exit = ErrorExit;
  err->mgr.emit_message = EmitMessage;
  if (setjmp(err->jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = 512L * 1024 * 1024;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.image_width > static_cast<JDIMENSION>(kMaxPictureSide) ||
      cinfo.image_height > static_cast<JDIMENSION>(kMaxPictureSide) ||
      static_cast<int64_t>(cinfo.image_width) * cinfo.image_height > kMaxPicturePixels) {
    std::snprintf(err->message, sizeof err->message, "%u x %u", cinfo.image_width, cinfo.image_height);
    *tooLarge = true;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  try {
    *pic = TPicture(static_cast<int32_t>(cinfo.output_width), static_cast<int32_t>(cinfo.output_height));
    line->resize(static_cast<size_t>(cinfo.output_width) * static_cast<size_t>(cinfo.output_components));
  } catch (...) {
    jpeg_destroy_decompress(&cinfo);
    throw;
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = line->data();
    const int32_t y = static_cast<int32_t>(cinfo.output_scanline);
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
    PutLine(*pic, cinfo, line->data(), y);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

TPicture DecodeJpeg(const BYTE *data, size_t size) {
  if (size == 0) throw ENxError(nxeData, "the JPEG file is empty");
  TPicture pic;
  std::vector<JSAMPLE> line;
  TJpegError err{};
  bool tooLarge = false;
  const bool ok = DecodeInto(data, size, &pic, &line, &err, &tooLarge);
  if (tooLarge)
    throw ENxError(nxeData, std::string("the JPEG's declared size ") + err.message +
                                " is beyond the limit of 32767 pixels a side and 64 megapixels");
  if (!ok) throw ENxError(nxeData, std::string("the JPEG file cannot be decoded: ") + err.message);
  if (err.truncated) throw ENxError(nxeData, "the JPEG file is truncated (premature end of data)");
  return pic;
}

}  // namespace nx
