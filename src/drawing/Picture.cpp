#include "drawing/Picture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/ErrorChannel.h"
#include "common/Files.h"
#include "common/Strings.h"

namespace nx {
namespace {

// Picture files beyond this size are refused rather than read into memory.
constexpr std::uintmax_t kMaxPictureFileBytes = 256u * 1024 * 1024;

WString UpperExtension(const WString &name) {
  size_t dot = name.find_last_of(u'.');
  size_t sep = name.find_last_of(u"\\/");
  if (dot == WString::npos || (sep != WString::npos && sep > dot)) return {};
  WString ext = name.substr(dot);
  for (WCHAR &c : ext)
    if (c >= u'a' && c <= u'z') c = static_cast<WCHAR>(c - u'a' + u'A');
  return ext;
}

[[noreturn]] void FileProblem(const WString &name, const std::string &why) {
  throw ENxError(nxeFile, "Cannot read picture " + WideToAnsi(name) + ": " + why);
}

std::vector<BYTE> ReadPictureFile(const WString &name) {
  namespace fs = std::filesystem;
  const fs::path path(NativePath(name));
  std::error_code ec;
  if (fs::is_directory(path, ec)) FileProblem(name, "the name is a folder");
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) FileProblem(name, ec.message());
  if (size > kMaxPictureFileBytes) FileProblem(name, "the file is larger than 256 MB");
  std::ifstream in(path, std::ios::binary);
  if (!in) FileProblem(name, "the file cannot be opened");
  std::vector<BYTE> bytes(static_cast<size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(size)))
    FileProblem(name, "the file cannot be read");
  return bytes;
}

}  // namespace

void CheckPictureSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) throw ENxError(nxeData, "the picture has no pixels");
  if (width > kMaxPictureSide || height > kMaxPictureSide ||
      static_cast<int64_t>(width) * height > kMaxPicturePixels)
    throw ENxError(nxeData, "the declared size " + std::to_string(width) + " x " + std::to_string(height) +
                                " is beyond the limit of 32767 pixels a side and 64 megapixels");
}

TView WholeView(int32_t width, int32_t height) { return TView{0, 0, width, height, 1, 1}; }

TView ViewFor(int32_t width, int32_t height, const TPlacement &place) {
  if (!place) return WholeView(width, height);
  TView v = place(width, height);
  auto hold = [](int32_t &begin, int32_t &end, int32_t size) {
    begin = std::clamp(begin, 0, size - 1);
    end = std::clamp(end, begin + 1, size);
  };
  hold(v.x0, v.x1, width);
  hold(v.y0, v.y1, height);
  v.stepX = std::max(1, v.stepX);
  v.stepY = std::max(1, v.stepY);
  return v;
}

TPicture::TPicture(int32_t width, int32_t height, const TView &view, int32_t scale) {
  CheckPictureSize(width, height);
  declaredWidth_ = width;
  declaredHeight_ = height;
  const TView v = ViewFor(width, height, [&](int32_t, int32_t) { return view; });
  scale_ = std::max(1, scale);
  // The grid's share of the view, and the declared pixels that share shows.
  auto grid = [&](int32_t begin, int32_t end, int32_t size, int32_t &g0, int32_t &g1) {
    const int32_t gridSize = static_cast<int32_t>((int64_t{size} + scale_ - 1) / scale_);
    g0 = begin / scale_;
    g1 = std::min(gridSize, static_cast<int32_t>((int64_t{end} + scale_ - 1) / scale_));
  };
  grid(v.x0, v.x1, width, gridX0_, gridX1_);
  grid(v.y0, v.y1, height, gridY0_, gridY1_);
  window_ = RECT{gridX0_ * scale_, gridY0_ * scale_, std::min<LONG>(width, LONG{gridX1_} * scale_),
                 std::min<LONG>(height, LONG{gridY1_} * scale_)};
  stepX_ = std::max(1, v.stepX / scale_);
  stepY_ = std::max(1, v.stepY / scale_);
  width_ = (gridX1_ - gridX0_ + stepX_ - 1) / stepX_;
  height_ = (gridY1_ - gridY0_ + stepY_ - 1) / stepY_;
  stride_ = ((static_cast<size_t>(width_) * 24 + 31) / 32) * 4;
  bits_.assign(stride_ * static_cast<size_t>(height_), 0xFF);
  // White pixels; the padding of each row stays 0, as GDI gives its DIBs.
  const size_t used = static_cast<size_t>(width_) * 3;
  if (used < stride_)
    for (int32_t y = 0; y < height_; ++y) std::fill(Row(y) + used, Row(y) + stride_, BYTE{0});
}

void TPicture::Fill(BYTE r, BYTE g, BYTE b) {
  for (int32_t y = 0; y < height_; ++y) {
    BYTE *p = Row(y);
    for (int32_t x = 0; x < width_; ++x, p += 3) p[0] = b, p[1] = g, p[2] = r;
  }
}

BITMAPINFOHEADER TPicture::Header() const {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width_;
  h.biHeight = height_;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(bits_.size());
  return h;
}

TPictureKind PictureKindOf(const WString &fileName) {
  const WString ext = UpperExtension(fileName);
  if (ext == NXW(".BMP")) return TPictureKind::Bmp;
  if (ext == NXW(".GIF")) return TPictureKind::Gif;
  if (ext == NXW(".JPG") || ext == NXW(".JPEG")) return TPictureKind::Jpeg;
  return TPictureKind::Unknown;
}

TPicture DecodePicture(TPictureKind kind, const BYTE *data, size_t size, const TPlacement &place) {
  switch (kind) {
    case TPictureKind::Bmp: return DecodeBmp(data, size, place);
    case TPictureKind::Gif: return DecodeGif(data, size, place);
    case TPictureKind::Jpeg: return DecodeJpeg(data, size, place);
    default: throw ENxError(nxeData, "the file type is not a picture type");
  }
}

TPicture LoadPicture(const WString &fileName, TPictureKind kind, const TPlacement &place) {
  const std::vector<BYTE> bytes = ReadPictureFile(fileName);
  try {
    return DecodePicture(kind, bytes.data(), bytes.size(), place);
  } catch (const ENxError &e) {
    throw ENxError(e.code(), "Cannot draw picture " + WideToAnsi(fileName) + ": " + e.what());
  }
}

}  // namespace nx
