// JPEG files through libjpeg: baseline and progressive, colour, greyscale and
// CMYK/YCCK (Adobe's inverted form included), into a 24-bit picture. A file
// that ends before its last scan, or whose data libjpeg finds corrupt, is
// refused rather than drawn half grey; so is one with more scans or a larger
// declared size than a picture of its file size can have.
#include <algorithm>
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
  int maxScans;
};

// Memory libjpeg may take for one picture (a progressive file keeps every
// coefficient); beyond it the decoding fails instead of taking more.
constexpr long kMaxJpegMemory = 128L * 1024 * 1024;
// A complete JPEG spends at least one bit on every 8 x 8 block of a scan's
// first component, so it holds at most 512 pixels a byte; a header claiming
// more than twice that from the file's size describes data that is not there.
constexpr int64_t kMaxJpegPixelsPerByte = 1024;

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto *err = reinterpret_cast<TJpegError *>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings that mean the picture's data is damaged or missing: the decoding
// stops at the first, since the rest would be drawn grey or garbled.
bool DamagedData(int code) {
  switch (code) {
    case JWRN_JPEG_EOF: case JWRN_HIT_MARKER: case JWRN_HUFF_BAD_CODE: case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC: case JWRN_BOGUS_PROGRESSION: case JWRN_NOT_SEQUENTIAL:
      return true;
    default:
      return false;
  }
}

void EmitMessage(j_common_ptr cinfo, int level) {
  auto *err = reinterpret_cast<TJpegError *>(cinfo->err);
  if (level >= 0) return;
  ++cinfo->err->num_warnings;
  if (!DamagedData(cinfo->err->msg_code)) return;
  err->truncated = cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER;
  ErrorExit(cinfo);
}

// Refuses a progressive file with more scans than its picture can use: each
// scan runs over every block, so repeated scans multiply the work.
void CountScans(j_common_ptr cinfo) {
  auto *d = reinterpret_cast<j_decompress_ptr>(cinfo);
  auto *err = reinterpret_cast<TJpegError *>(cinfo->err);
  if (d->input_scan_number > err->maxScans) {
    std::snprintf(err->message, sizeof err->message, "it has more than %d scans", err->maxScans);
    std::longjmp(err->jump, 1);
  }
}

// Progressive files have about 10 scans, seldom more than 30: a picture may
// have 256, fewer when it is large (2^29 pixels visited in all), never fewer
// than 32.
int MaxScans(const jpeg_decompress_struct &cinfo) {
  const int64_t pixels = std::max<int64_t>(1, static_cast<int64_t>(cinfo.image_width) * cinfo.image_height);
  return static_cast<int>(std::clamp<int64_t>((int64_t{1} << 29) / pixels, 32, 256));
}

// Writes the kept pixels of one decoded scan line, whose first pixel is
// column `first` of the grid, into the picture.
void PutLine(TPicture &pic, const jpeg_decompress_struct &cinfo, const JSAMPLE *line, int32_t first, int32_t y) {
  const int32_t end = std::min<int32_t>(pic.ColumnEnd(), first + static_cast<int32_t>(cinfo.output_width));
  const int32_t step = pic.ColumnStep();
  if (cinfo.out_color_space == JCS_CMYK) {
    // Adobe writes CMYK inverted (0 = full ink).
    const bool inverted = cinfo.saw_Adobe_marker;
    for (int32_t x = pic.FirstColumnFrom(first); x < end; x += step) {
      const JSAMPLE *p = line + 4 * static_cast<size_t>(x - first);
      unsigned c = p[0], m = p[1], ye = p[2], k = p[3];
      if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
      pic.Set(x, y, static_cast<BYTE>(c * k / 255), static_cast<BYTE>(m * k / 255), static_cast<BYTE>(ye * k / 255));
    }
  } else {
    for (int32_t x = pic.FirstColumnFrom(first); x < end; x += step) {
      const JSAMPLE *p = line + 3 * static_cast<size_t>(x - first);
      pic.Set(x, y, p[0], p[1], p[2]);
    }
  }
}

// Decodes the picture's rows: libjpeg crops the lines to the kept columns
// (widened to its blocks) and skips the rows above and below the kept ones
// without colour conversion; every row's data is still read, so damage
// anywhere is found.
void ReadRows(jpeg_decompress_struct &cinfo, TPicture &pic, std::vector<JSAMPLE> &line) {
  JDIMENSION first = static_cast<JDIMENSION>(pic.ColumnBegin());
  JDIMENSION width = static_cast<JDIMENSION>(pic.ColumnEnd() - pic.ColumnBegin());
  if (width < cinfo.output_width) jpeg_crop_scanline(&cinfo, &first, &width);  // narrows the line
  const JDIMENSION begin = static_cast<JDIMENSION>(pic.RowBegin()), end = static_cast<JDIMENSION>(pic.RowEnd());
  if (begin > 0) jpeg_skip_scanlines(&cinfo, begin);
  while (cinfo.output_scanline < end) {
    JSAMPROW row = line.data();
    const int32_t y = static_cast<int32_t>(cinfo.output_scanline);
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
    if (pic.KeepsRow(y)) PutLine(pic, cinfo, line.data(), static_cast<int32_t>(first), y);
  }
  if (cinfo.output_scanline < cinfo.output_height)
    jpeg_skip_scanlines(&cinfo, cinfo.output_height - cinfo.output_scanline);
}

// True, with the reason in err->message, for a declared size beyond the
// limits or beyond what the file's size can hold.
bool TooLarge(const jpeg_decompress_struct &cinfo, size_t size, TJpegError *err) {
  const int64_t pixels = static_cast<int64_t>(cinfo.image_width) * cinfo.image_height;
  if (cinfo.image_width > static_cast<JDIMENSION>(kMaxPictureSide) ||
      cinfo.image_height > static_cast<JDIMENSION>(kMaxPictureSide) || pixels > kMaxPicturePixels) {
    std::snprintf(err->message, sizeof err->message,
                  "%u x %u is beyond the limit of 32767 pixels a side and 64 megapixels", cinfo.image_width,
                  cinfo.image_height);
    return true;
  }
  if (pixels / kMaxJpegPixelsPerByte > static_cast<int64_t>(size)) {
    std::snprintf(err->message, sizeof err->message,
                  "%u x %u cannot be held by a file of %zu bytes (the picture's data is missing)",
                  cinfo.image_width, cinfo.image_height, size);
    return true;
  }
  return false;
}

// Decodes into pic (made once the header is read). Returns false with the
// library's message in err->message on failure.
bool DecodeInto(const BYTE *data, size_t size, const TPlacement &place, TPicture *pic, std::vector<JSAMPLE> *line,
                TJpegError *err, bool *tooLarge) {
  jpeg_decompress_struct cinfo;
  cinfo.err = jpeg_std_error(&err->mgr);
  err->mgr.error_exit = ErrorExit;
  err->mgr.emit_message = EmitMessage;
  if (setjmp(err->jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxJpegMemory;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = CountScans;
  cinfo.progress = &progress;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  if (TooLarge(cinfo, size, err)) {
    *tooLarge = true;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  err->maxScans = MaxScans(cinfo);
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  // libjpeg scales by 1/2, 1/4 or 1/8 as it decodes; the picture keeps
  // every step-th pixel of what remains.
  const int32_t width = static_cast<int32_t>(cinfo.image_width), height = static_cast<int32_t>(cinfo.image_height);
  const TView view = ViewFor(width, height, place);
  unsigned denom = 1;
  while (denom < 8 && static_cast<int32_t>(denom * 2) <= std::min(view.stepX, view.stepY)) denom *= 2;
  cinfo.scale_num = 1;
  cinfo.scale_denom = denom;
  jpeg_start_decompress(&cinfo);
  try {
    *pic = TPicture(width, height, view, static_cast<int32_t>(denom));
    line->resize(static_cast<size_t>(cinfo.output_width) * static_cast<size_t>(cinfo.output_components));
  } catch (...) {
    jpeg_destroy_decompress(&cinfo);
    throw;
  }
  ReadRows(cinfo, *pic, *line);
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

TPicture DecodeJpeg(const BYTE *data, size_t size, const TPlacement &place) {
  if (size == 0) throw ENxError(nxeData, "the JPEG file is empty");
  TPicture pic;
  std::vector<JSAMPLE> line;
  TJpegError err{};
  bool tooLarge = false;
  const bool ok = DecodeInto(data, size, place, &pic, &line, &err, &tooLarge);
  if (tooLarge) throw ENxError(nxeData, std::string("the JPEG's declared size ") + err.message);
  if (err.truncated) throw ENxError(nxeData, "the JPEG file is truncated (premature end of data)");
  if (!ok) throw ENxError(nxeData, std::string("the JPEG file cannot be decoded: ") + err.message);
  return pic;
}

}  // namespace nx
