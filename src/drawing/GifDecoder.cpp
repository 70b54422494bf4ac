// GIF files through giflib: the first image, de-interlaced, drawn onto a
// white 24-bit picture of the logical screen's size. Pixels of the image's
// transparent index are left white.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>

#include "common/ErrorChannel.h"
#include "drawing/Picture.h"

namespace nx {
namespace {

struct TMemoryInput {
  const BYTE *data;
  size_t size;
  size_t at;
};

int ReadMemory(GifFileType *gif, GifByteType *buf, int len) {
  auto *in = static_cast<TMemoryInput *>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(len < 0 ? 0 : len), in->size - in->at);
  if (n == 0) return 0;  // an empty file has no bytes, and maybe no buffer
  std::memcpy(buf, in->data + in->at, n);
  in->at += n;
  return static_cast<int>(n);
}

[[noreturn]] void GifProblem(int error) {
  const char *text = GifErrorString(error);
  std::string why = text ? text : "unknown error";
  if (error == D_GIF_ERR_READ_FAILED) why = "the GIF file is truncated";
  throw ENxError(nxeData, "the GIF file cannot be decoded: " + why);
}

// Closes the file whatever way the decoding ends.
struct TGifHandle {
  GifFileType *gif = nullptr;
  ~TGifHandle() {
    int err = 0;
    if (gif) DGifCloseFile(gif, &err);
  }
};

// The transparent colour index of a graphic control extension, or -1.
int TransparentIndex(const GifByteType *ext) {
  if (ext[0] < 4) return -1;
  return (ext[1] & 1) ? ext[4] : -1;
}

// Reads the extension blocks that follow; returns the transparent index of a
// graphic control extension among them (or the previous value).
int SkipExtension(GifFileType *gif, int transparent) {
  int code = 0;
  GifByteType *ext = nullptr;
  if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) GifProblem(gif->Error);
  if (code == GRAPHICS_EXT_FUNC_CODE && ext) transparent = TransparentIndex(ext);
  while (ext) {
    if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) GifProblem(gif->Error);
  }
  return transparent;
}

TPicture ReadImage(GifFileType *gif, int transparent, const TPlacement &place) {
  if (DGifGetImageDesc(gif) == GIF_ERROR) GifProblem(gif->Error);
  const GifImageDesc &d = gif->Image;
  const ColorMapObject *map = d.ColorMap ? d.ColorMap : gif->SColorMap;
  if (!map) throw ENxError(nxeData, "the GIF image has no colour table");
  if (d.Width <= 0 || d.Height <= 0) throw ENxError(nxeData, "the GIF image has no pixels");
  const int32_t width = std::max<int32_t>(gif->SWidth, d.Left + d.Width);
  const int32_t height = std::max<int32_t>(gif->SHeight, d.Top + d.Height);
  TPicture pic(width, height, ViewFor(width, height, place));
  // The kept columns of the image's lines.
  const int32_t from = pic.FirstColumnFrom(d.Left) - d.Left;
  const int32_t to = std::min<int32_t>(d.Width, pic.ColumnEnd() - d.Left);
  std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
  static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  const int passes = d.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int step = d.Interlace ? kStep[pass] : 1;
    for (int y = d.Interlace ? kStart[pass] : 0; y < d.Height; y += step) {
      if (DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR) GifProblem(gif->Error);
      if (!pic.KeepsRow(d.Top + y)) continue;
      for (int32_t x = from; x < to; x += pic.ColumnStep()) {
        const int index = line[static_cast<size_t>(x)];
        if (index == transparent) continue;
        if (index >= map->ColorCount) continue;  // outside the table: nothing to paint
        const GifColorType &c = map->Colors[index];
        pic.Set(d.Left + x, d.Top + y, c.Red, c.Green, c.Blue);
      }
    }
  }
  return pic;
}

}  // namespace

TPicture DecodeGif(const BYTE *data, size_t size, const TPlacement &place) {
  TMemoryInput input{data, size, 0};
  int error = 0;
  TGifHandle handle;
  handle.gif = DGifOpen(&input, ReadMemory, &error);
  if (!handle.gif) GifProblem(error);
  GifFileType *gif = handle.gif;
  if (gif->SWidth > kMaxPictureSide || gif->SHeight > kMaxPictureSide)
    throw ENxError(nxeData, "the GIF's declared size " + std::to_string(gif->SWidth) + " x " +
                                std::to_string(gif->SHeight) + " is beyond the limit of 32767 pixels a side");
  int transparent = -1;
  while (true) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) GifProblem(gif->Error);
    switch (type) {
      case IMAGE_DESC_RECORD_TYPE: return ReadImage(gif, transparent, place);
      case EXTENSION_RECORD_TYPE: transparent = SkipExtension(gif, transparent); break;
      case TERMINATE_RECORD_TYPE: throw ENxError(nxeData, "the GIF file contains no image");
      default: throw ENxError(nxeData, "the GIF file is corrupt (unknown block)");
    }
  }
}

}  // namespace nx
